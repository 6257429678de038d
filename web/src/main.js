// Starts the page: the WebAssembly module from the bytes inside the page,
// the programming interface, and the page itself.
import { startApp } from './app.js';
import { Engine } from './engine.js';

function fromBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

export async function main(createModule, wasmBase64) {
  const module = await createModule({ wasmBinary: fromBase64(wasmBase64) });
  const engine = new Engine(module);
  globalThis.cdmg2csv = {
    convert: (files, input) => engine.convert(files, input),
    analyse: (files, input, options) => engine.analyse(files, input, options),
  };
  startApp(engine, document);
  document.documentElement.dataset.ready = 'true';
}

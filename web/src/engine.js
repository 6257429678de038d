// The program's run in the page: the WebAssembly module's conversion on an
// in-memory working folder, given and returned as bytes.

const encoder = new TextEncoder();

function checkFiles(files) {
  if (files === null || typeof files !== 'object')
    throw new TypeError('files: an object of file names and Uint8Arrays');
  for (const [name, bytes] of Object.entries(files)) {
    // The folder has no sub-folders: a name is one plain part.
    if (name === '' || name === '.' || name === '..' || /[/\0]/.test(name))
      throw new TypeError(`files: "${name}" is not a plain file name`);
    if (!(bytes instanceof Uint8Array)) throw new TypeError(`files: "${name}" is not a Uint8Array`);
  }
}

function inputBytes(input) {
  if (typeof input === 'string') return encoder.encode(input);
  if (input instanceof Uint8Array) return input;
  throw new TypeError('input: a Uint8Array or a string');
}

// Lays out a run's request as the module reads it: the file count, each
// file's name length, bytes length, name and bytes, then the input.
function request(files, stdin) {
  const parts = [];
  const word = (n) => parts.push(new Uint8Array(Uint32Array.of(n).buffer));
  const entries = Object.entries(files);
  word(entries.length);
  for (const [name, bytes] of entries) {
    const nameBytes = encoder.encode(name);
    word(nameBytes.length);
    word(bytes.length);
    parts.push(nameBytes, bytes);
  }
  word(stdin.length);
  parts.push(stdin);
  const all = new Uint8Array(parts.reduce((sum, part) => sum + part.length, 0));
  let at = 0;
  for (const part of parts) {
    all.set(part, at);
    at += part.length;
  }
  return all;
}

export class Engine {
  constructor(module) {
    this.module = module;
    // What the library fixes: the component files' names and the prompt.
    const facts = module._cdmg_facts();
    const words = this.words(facts, 1 + 2 * (this.words(facts, 1)[0] + 1));
    const text = (k) => new TextDecoder().decode(this.bytesAt(words[k], words[k + 1]));
    this.componentNames = Array.from({ length: words[0] }, (_, k) => text(1 + 2 * k));
    this.prompt = text(1 + 2 * words[0]);
  }

  words(pointer, count) {
    return new Uint32Array(this.module.HEAPU8.buffer, pointer, count).slice();
  }

  bytesAt(pointer, length) {
    return this.module.HEAPU8.slice(pointer, pointer + length);
  }

  // One run: what convert() gives, with the table's name, the samples and
  // the rows' times.
  run(files, input) {
    checkFiles(files);
    const bytes = request(files, inputBytes(input));
    const m = this.module;
    const at = m._malloc(bytes.length);
    m.HEAPU8.set(bytes, at);
    let pointer;
    try {
      pointer = m._cdmg_run(at);
    } finally {
      m._free(at);
    }
    const head = 5 + 4 + 4;
    const fileCount = this.words(pointer, head)[4];
    const w = this.words(pointer, head + 4 * fileCount);
    const [aborted, exitStatus, rowWord, table] = w;
    const rows = rowWord | 0;
    const decoder = new TextDecoder();
    const folder = {};
    let tableName = null;
    for (let k = 0; k < fileCount; ++k) {
      const at = head + 4 * k;
      const name = decoder.decode(this.bytesAt(w[at], w[at + 1]));
      folder[name] = this.bytesAt(w[at + 2], w[at + 3]);
      if (k === table) tableName = name;
    }
    const floats = (address) =>
      rows > 0 ? new Float32Array(m.HEAPF32.buffer, address, rows).slice() : new Float32Array(0);
    return {
      result: {
        stdout: this.bytesAt(w[5], w[6]),
        stderr: this.bytesAt(w[7], w[8]),
        exitStatus: aborted ? null : exitStatus,
        aborted: aborted === 1,
        files: folder,
      },
      tableName,
      samples: [w[9], w[10], w[11]].map(floats),
      times: floats(w[12]),
    };
  }

  // The programming interface: a run as a Promise of its result.
  convert(files, input) {
    try {
      return Promise.resolve(this.run(files, input).result);
    } catch (error) {
      return Promise.reject(error);
    }
  }
}

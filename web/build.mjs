// Builds the page: one self-contained HTML file that holds the WebAssembly
// module and its glue, the page's modules bundled by esbuild (uPlot
// inlined), and the styles, under a Content-Security-Policy that allows no
// connection of any kind. The same inputs give the same bytes. The module's
// bytes are embedded here rather than by emscripten's single-file mode,
// whose loader first tries to fetch its data: URL, a connection the policy
// refuses.
// Usage: node build.mjs MODULE.js MODULE.wasm VERSION OUT.html
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { buildSync } from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const read = (path) => readFileSync(path, 'utf8');

// The page's modules, with the npm packages they import, as one classic
// script (an IIFE whose `cdmgPage` holds main.js's exports).
export function bundle(entry) {
  const built = buildSync({
    entryPoints: [entry],
    bundle: true,
    format: 'iife',
    globalName: 'cdmgPage',
    minify: true,
    legalComments: 'none',
    charset: 'utf8',
    write: false,
  });
  return built.outputFiles[0].text;
}

const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

export function buildPage(glue, wasm, version) {
  const uplot = join(here, 'node_modules', 'uplot', 'dist');
  const scripts = [
    glue,
    `${bundle(join(here, 'src', 'main.js'))}cdmgPage.main(createCdmgModule, "${wasm.toString('base64')}");\n`,
  ];
  // No source may be fetched, and no connection made: scripts run only when
  // they are these very texts, and WebAssembly only from the bytes inside.
  const policy = [
    "default-src 'none'",
    `script-src ${scripts.map(hash).join(' ')} 'wasm-unsafe-eval'`,
    "style-src 'unsafe-inline'",
    "connect-src 'none'",
    "form-action 'none'",
    "base-uri 'none'",
  ].join('; ');
  const fill = { CSP: policy, VERSION: version, STYLES: read(join(uplot, 'uPlot.min.css')) + read(join(here, 'page.css')) };
  fill.SCRIPTS = scripts.map((script) => `<script>${script}</script>`).join('\n');
  // A script's text may not hold its own end tag.
  for (const script of scripts) {
    if (/<\/script/i.test(script)) throw new Error('a script holds "</script"');
  }
  return read(join(here, 'page.html')).replace(/@(\w+)@/g, (_, key) => fill[key]);
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [glue, wasm, version, out] = process.argv.slice(2);
  writeFileSync(out, buildPage(read(glue), readFileSync(wasm), version));
}

// Builds the page: one self-contained HTML file that holds the WebAssembly
// module and its glue, uPlot, the page's own modules and styles, under a
// Content-Security-Policy that allows no connection of any kind. The same
// inputs give the same bytes.
// Usage: node build.mjs MODULE.js MODULE.wasm VERSION OUT.html
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const read = (path) => readFileSync(path, 'utf8');

// The page's modules as one classic script: each module becomes a function
// scope that returns its exports, in the order the imports need them. Only
// `import { a, b } from './x.js';` and `export` before a declaration are
// understood; anything else is refused.
export function bundle(folder, entry) {
  const done = new Map();
  const visit = (file, path) => {
    if (done.has(file)) return;
    if (path.includes(file)) throw new Error(`import cycle: ${[...path, file].join(' -> ')}`);
    let code = read(join(folder, file));
    const imports = [];
    code = code.replace(/^import \{([^}]*)\} from '\.\/([\w-]+\.js)';\n/gm, (_, names, from) => {
      imports.push({ names: names.trim().replace(/\s+/g, ' '), from });
      return '';
    });
    if (/^import\b/m.test(code)) throw new Error(`${file}: an import the page's build does not read`);
    const exported = [];
    code = code.replace(/^export (async function|function|const|let|class) (\w+)/gm, (_, kind, name) => {
      exported.push(name);
      return `${kind} ${name}`;
    });
    if (/^export\b/m.test(code)) throw new Error(`${file}: an export the page's build does not read`);
    for (const { from } of imports) visit(from, [...path, file]);
    done.set(file, { imports, exported, code });
  };
  visit(entry, []);
  const scopeName = (file) => `module_${file.replace(/\W/g, '_')}`;
  let text = '';
  for (const [file, { imports, exported, code }] of done) {
    const uses = imports.map(({ names, from }) => `const { ${names} } = ${scopeName(from)};\n`);
    text += `const ${scopeName(file)} = (() => {\n${uses.join('')}${code}return { ${exported.join(', ')} };\n})();\n`;
  }
  return { text, entry: scopeName(entry) };
}

const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

export function buildPage(glue, wasm, version) {
  const { text, entry } = bundle(join(here, 'src'), 'main.js');
  const uplot = join(here, 'node_modules', 'uplot', 'dist');
  const scripts = [
    glue,
    read(join(uplot, 'uPlot.iife.min.js')),
    `${text}${entry}.main(createCdmgModule, "${wasm.toString('base64')}");\n`,
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

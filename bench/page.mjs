// The page's figures for bench/page.sh: medians of 21 in headless Chromium,
// the record's analysis among them.
// Usage: node bench/page.mjs PAGE.html RECORD-FOLDER NATIVE-MS
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const puppeteer = createRequire(join(root, 'web', 'package.json'))('puppeteer-core');
const [pagePath, record, nativeMs] = process.argv.slice(2);
const RUNS = 21;
const median = (values) => values.slice().sort((a, b) => a - b)[values.length >> 1];
const names = ['WKZ-base-N022.txt', 'WKZ-base-N292.txt', 'WKZ-base-UP.txt'];

const args = ['--disable-gpu', '--disable-background-networking', '--disable-component-update',
  '--no-first-run', '--disable-sync'];
if (process.getuid() === 0) args.push('--no-sandbox');
const browser = await puppeteer.launch({ executablePath: process.env.CDMG_CHROMIUM || '/usr/bin/chromium', headless: true, args });

const page = await browser.newPage();
await page.setViewport({ width: 1200, height: 900 });
const url = pathToFileURL(pagePath).href;
// Load: navigation start to the module ready, in a fresh page each time.
const loads = [];
for (let k = 0; k < RUNS; ++k) {
  await page.goto('about:blank');
  await page.goto(url);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
  loads.push(await page.evaluate(() => performance.now()));
}

const wire = names.map((name) => [name, [...readFileSync(join(record, name))]]);
const converts = await page.evaluate(async (wire, runs) => {
  const files = Object.fromEntries(wire.map(([n, b]) => [n, new Uint8Array(b)]));
  globalThis.benchFiles = files;
  const times = [];
  for (let k = 0; k < runs; ++k) {
    const start = performance.now();
    await globalThis.cdmg2csv.convert(files, 'out.csv\n');
    times.push(performance.now() - start);
  }
  return times;
}, wire, RUNS);

// The analysis in the page: analyse() (100 periods, 5%) less convert().
const analyses = await page.evaluate(async (runs) => {
  const times = [];
  for (let k = 0; k < runs; ++k) {
    const start = performance.now();
    await globalThis.cdmg2csv.analyse(globalThis.benchFiles, 'out.csv\n');
    times.push(performance.now() - start);
  }
  return times;
}, RUNS);

// Convert to drawn plots: the button's click to the frame after the record
// and its spectra were drawn, the files placed as a person drops them.
await page.evaluate(() => {
  const transfer = new DataTransfer();
  for (const [name, bytes] of Object.entries(globalThis.benchFiles)) transfer.items.add(new File([bytes], name));
  document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
});
await page.waitForFunction(() => document.getElementById('chosen-2').textContent.includes('bytes'));
const plots = [];
for (let k = 0; k < RUNS; ++k) {
  plots.push(await page.evaluate(() => new Promise((resolve) => {
    const start = performance.now();
    document.getElementById('convert').click();
    requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
  })));
}
// Another damping chosen: the change to the frame after the spectra were
// drawn again.
const redraws = [];
for (let k = 0; k < RUNS; ++k) {
  redraws.push(await page.evaluate((k) => new Promise((resolve) => {
    const select = document.getElementById('damping');
    select.value = k % 2 ? '0.05' : '0.02';
    const start = performance.now();
    select.dispatchEvent(new Event('change'));
    requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now() - start)));
  }), k));
}
await browser.close();

const html = readFileSync(pagePath);
const kb = (bytes) => `${(bytes / 1000).toFixed(1)} KB`;
console.log(`page: ${kb(html.length)}, ${kb(gzipSync(html, { level: 9 }).length)} gzipped`);
console.log(`load (navigation to ready), median of ${RUNS}: ${median(loads).toFixed(1)} ms`);
const convert = median(converts);
console.log(`full capacity, fixed fields, medians of ${RUNS}:`);
console.log(`  convert() in the page   ${convert.toFixed(2)} ms`);
console.log(`  cdmg2csv (whole run)    ${Number(nativeMs).toFixed(2)} ms`);
console.log(`  ratio                   ${(convert / Number(nativeMs)).toFixed(2)}`);
console.log(`  analysis in the page    ${(median(analyses) - convert).toFixed(1)} ms (analyse() ${median(analyses).toFixed(1)} ms less convert())`);
console.log(`  Convert to drawn plot and spectra  ${median(plots).toFixed(1)} ms`);
console.log(`  another damping, drawn  ${median(redraws).toFixed(1)} ms`);

// The page in headless Chromium, from file://: as a person uses it, and its
// convert() against the console program on the same folders and input.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import {
  COMPONENTS, PAGE_URL, SOURCE, component, convertInPage, fullCapacity, launch, openPage,
  outputFolder, runNative, sample, scratch,
} from './support.mjs';

const latin1 = (bytes) => Buffer.from(bytes).toString('latin1');
const DEADLINE = 60000; // ms: generous, for a loaded machine

let browser;
before(async () => {
  browser = await launch();
});
after(async () => {
  await browser.close();
});

async function convertByHand(page) {
  await page.click('#convert');
  await page.waitForFunction(() => document.getElementById('status').textContent !== '', {
    timeout: DEADLINE,
  });
}

const text = (page, selector) => page.$eval(selector, (e) => e.textContent);
const hidden = (page, selector) => page.$eval(selector, (e) => e.hidden);

test('the sample record: chosen, converted, downloaded', async () => {
  const { page } = await openPage(browser);
  const chooser = await page.$('#files-any');
  await chooser.uploadFile(...COMPONENTS.map((name) => join(SOURCE, 'examples', name)));
  await page.waitForFunction(() => document.getElementById('chosen-2').textContent.includes('WKZ-base-UP.txt'));
  await convertByHand(page);
  const native = await runNative(sample(), 'table.csv\n');
  assert.equal(await text(page, '#console'), `${latin1(native.stdout)}table.csv\n`);
  assert.equal(await hidden(page, '#errors'), true);

  const downloads = outputFolder('downloads');
  rmSync(join(downloads, 'table.csv'), { force: true });
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
  const done = new Promise((resolve) => {
    cdp.on('Browser.downloadProgress', (event) => event.state !== 'inProgress' && resolve(event.state));
  });
  await page.click('#download');
  assert.equal(await done, 'completed');
  assert.deepEqual(readFileSync(join(downloads, 'table.csv')), readFileSync(join(SOURCE, 'examples', 'expected.csv')));
  await page.close();
});

test('a damaged or missing component: the report as on standard error, no table', async () => {
  const good = sample();
  const damaged = { ...good };
  const lines = latin1(good[COMPONENTS[1]]).split('\n');
  lines[40] = `${lines[40].slice(0, 25)}Q${lines[40].slice(26)}`;
  damaged[COMPONENTS[1]] = Buffer.from(lines.join('\n'), 'latin1');
  const missing = { [COMPONENTS[0]]: good[COMPONENTS[0]], [COMPONENTS[1]]: good[COMPONENTS[1]] };
  for (const files of [damaged, missing]) {
    const { page } = await openPage(browser);
    const folder = scratch(files);
    for (const [k, name] of COMPONENTS.entries()) {
      if (files[name]) await (await page.$(`#file-${k}`)).uploadFile(join(folder, name));
    }
    await page.waitForFunction((n) => document.querySelectorAll('.chosen').length === 3 &&
      [...document.querySelectorAll('.chosen')].filter((e) => e.textContent.includes('bytes')).length === n,
    {}, Object.keys(files).length);
    await convertByHand(page);
    const native = await runNative(files, 'table.csv\n');
    assert.equal(native.aborted, true);
    assert.equal(await text(page, '#errors'), latin1(native.stderr));
    assert.equal(await hidden(page, '#errors'), false);
    assert.equal(await hidden(page, '#download'), true);
    assert.match(await text(page, '#status'), /ended abnormally/);
    rmSync(folder, { recursive: true });
    await page.close();
  }
});

// The pixels of each panel in its series' colour (the axes are grey).
const drawnPixels = (page) =>
  page.$$eval('#figure canvas', (canvases) =>
    canvases.map((canvas) => {
      const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
      let drawn = 0;
      for (let i = 0; i < data.length; i += 4) {
        const [r, g, b, a] = data.subarray(i, i + 4);
        drawn += a > 0 && Math.max(r, g, b) - Math.min(r, g, b) > 60;
      }
      return drawn;
    }),
  );
const panelImages = (page) => page.$$eval('#figure canvas', (canvases) => canvases.map((c) => c.toDataURL()));

test('a full-capacity record, dropped on the page, converts and plots; drag zooms all panels', async () => {
  const { page } = await openPage(browser);
  const files = Object.fromEntries(COMPONENTS.map((name, k) => [name, fullCapacity(`C${k}`, k)]));
  // Dropped anywhere, in another order than the places'.
  await page.evaluate((wire) => {
    const transfer = new DataTransfer();
    for (const [name, bytes] of wire.reverse()) transfer.items.add(new File([new Uint8Array(bytes)], name));
    document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, Object.entries(files).map(([name, bytes]) => [name, [...bytes]]));
  await page.waitForFunction(() => document.getElementById('chosen-0').textContent.includes('WKZ-base-N022.txt'));
  await convertByHand(page);
  assert.equal(await text(page, '#status'), 'Converted: 33000 rows.');
  const pixels = await drawnPixels(page);
  assert.equal(pixels.length, 3);
  for (const count of pixels) assert.ok(count > 1000, `a panel with ${count} drawn pixels`);
  const peaks = await page.$$eval('.peak', (p) => p.map((e) => e.textContent));
  assert.match(peaks[0], /^first component: peak \d+\.\d{3} at \d+\.\d{3} s$/);
  await page.setViewport({ width: 1200, height: 1400 });
  const screenshot = join(outputFolder('screenshots'), 'page-full-capacity.png');
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(`# screenshot: ${screenshot}`);

  // Drag across a tenth of the first panel: all three show that range;
  // a double click shows the whole record again.
  const whole = await panelImages(page);
  const box = await (await page.$('#figure .u-over')).boundingBox();
  const y = box.y + box.height / 2;
  await page.mouse.move(box.x + box.width * 0.3, y);
  assert.match(await text(page, '.readout'), /^t = \d+\.\d{3} s: first -?\d+\.\d{3}, second -?\d+\.\d{3}, third -?\d+\.\d{3}$/);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.4, y, { steps: 5 });
  await page.mouse.up();
  const zoomed = await panelImages(page);
  for (let k = 0; k < 3; ++k) assert.notEqual(zoomed[k], whole[k], `panel ${k + 1} zoomed`);
  await page.mouse.click(box.x + box.width * 0.5, y, { clickCount: 2 });
  assert.deepEqual(await panelImages(page), whole, 'a double click shows the whole record');
  await page.mouse.move(box.x + box.width * 0.3, y);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.4, y, { steps: 5 });
  await page.mouse.up();
  await page.click('#figure button');
  assert.deepEqual(await panelImages(page), whole, 'so does the button');
  await page.close();
});

test('no request leaves the page while it loads and runs', async () => {
  const { page, requests, errors } = await openPage(browser);
  const result = await convertInPage(page, sample(), 'table.csv\n');
  assert.equal(result.aborted, false);
  await (await page.$('#files-any')).uploadFile(...COMPONENTS.map((name) => join(SOURCE, 'examples', name)));
  await convertByHand(page);
  const policy = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (m) => m.content);
  assert.match(policy, /default-src 'none'/);
  assert.match(policy, /connect-src 'none'/);
  // Even a script that tried could not send a record anywhere.
  const sent = await page.evaluate(() => fetch('http://127.0.0.1:9/').then(() => 'sent', () => 'refused'));
  assert.equal(sent, 'refused');
  assert.deepEqual(requests.filter((url) => url !== PAGE_URL), []);
  assert.deepEqual(errors, []);
  await page.close();
});

// The end-to-end vectors of the run's fuzz target: up to three components
// and the console input, split at "|||" (a fault plan after them is the
// in-memory system's, not a folder's).
function corpusCases() {
  const folder = join(SOURCE, 'fuzz', 'corpus', 'run');
  return readdirSync(folder).sort().map((name) => {
    let rest = readFileSync(join(folder, name));
    const parts = [];
    for (let k = 0; k < 4; ++k) {
      const cut = rest.indexOf('|||');
      if (cut < 0) break;
      parts.push(rest.subarray(0, cut));
      rest = rest.subarray(cut + 3);
    }
    parts.push(rest);
    if (parts.length === 5) parts.pop();
    const input = parts.pop();
    return { what: `fuzz seed ${name}`, files: Object.fromEntries(parts.map((bytes, k) => [COMPONENTS[k], bytes])), input };
  });
}

// The public records, re-laid as the real-data tests lay them.
function realCases() {
  const data = process.env.CDMG_REALDATA_DIR;
  if (!data || !existsSync(data)) {
    if (process.env.CDMG_REQUIRE_REALDATA === '1') throw new Error(`no real records at ${data}, and they are required`);
    return [];
  }
  const out = mkdtempSync(join(tmpdir(), 'cdmg2csv-real-'));
  const relay = spawnSync('bash', [join(SOURCE, 'tests', 'relay_realdata.sh'), data, out]);
  if (relay.status !== 0) throw new Error(`relay_realdata.sh: ${relay.stderr}`);
  return readdirSync(out).sort().map((set) => ({
    what: `real record ${set}`,
    files: Object.fromEntries(COMPONENTS.map((name) => [name, readFileSync(join(out, set, name))])),
    input: 'table.csv\n',
  }));
}

test('convert() gives what the console program gives in a folder of the same files', async () => {
  const { page } = await openPage(browser);
  const good = sample();
  const full = Object.fromEntries(COMPONENTS.map((name, k) => [name, fullCapacity(`C${k}`, k)]));
  const cases = [
    { what: 'the sample', files: good, input: 'table.csv\n' },
    { what: 'an empty input', files: good, input: '' },
    { what: 'a name without its line end', files: good, input: 'table.csv' },
    { what: 'a longer table there already', files: { ...good, 'table.csv': Buffer.alloc(200000, 'A') }, input: 'table.csv\n' },
    { what: 'a full-capacity record', files: full, input: 't.csv\n' },
    { what: 'no samples: an older table untouched', files: { [COMPONENTS[0]]: component('X', []), [COMPONENTS[1]]: component('Y', []), [COMPONENTS[2]]: component('Z', []), 't.csv': Buffer.from('keep me') }, input: 't.csv\n' },
    { what: 'no files at all', files: {}, input: 't.csv\n' },
    ...['   ', '.', '..', './t.csv', 't.csv/', 'no/t.csv', `${COMPONENTS[2]}/t.csv`, `${COMPONENTS[2]}`, ' lead.csv  ', 'tab\there.csv', 'tablé.csv', 'x'.repeat(90), 't.csv\r'].map(
      (name) => ({ what: `the name "${name}"`, files: good, input: `${name}\n` }),
    ),
    ...corpusCases(),
    ...realCases(),
  ];
  for (const c of cases) {
    const inPage = await convertInPage(page, c.files, c.input);
    const native = await runNative(c.files, c.input);
    assert.deepEqual(inPage, native, c.what);
  }
  await page.close();
});

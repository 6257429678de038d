// The record's figures in headless Chromium, from file://: as a person gets
// them (controls changed, both downloads held to analyse()'s numbers),
// records the analysis cannot use, and analyse()'s options.
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import {
  COMPONENTS, PAGE_URL, SOURCE, analyseInPage, component, downloadsTo, launch, openPage, outputFolder, sample, scratch,
} from './support.mjs';

const DEADLINE = 60000; // ms: generous, for a loaded machine
const QUANTITIES = ['sd', 'sv', 'sa', 'psv', 'psa'];

let browser;
before(async () => {
  browser = await launch();
});
after(async () => {
  await browser.close();
});

// How many numbers in `value`, however deep, are NaN or infinite.
const nonFinite = (value) =>
  typeof value === 'number' ? (Number.isFinite(value) ? 0 : 1)
    : value && typeof value === 'object' ? Object.values(value).reduce((n, v) => n + nonFinite(v), 0) : 0;

const csv = (text) => text.trimEnd().split('\r\n').map((line) => line.split(','));
const number = (cell) => (cell === '' ? null : Number(cell));

// The downloaded measures and spectra, cell by cell, against analyse().
function checkDownloads(measures, spectra, analysis) {
  const rows = csv(measures);
  assert.equal(rows.length, 4);
  assert.match(rows[0][1], /^PGA \(/);
  analysis.components.forEach((c, k) => {
    const cells = rows[k + 1].slice(1, 12).map(number);
    const want = c.problem ? Array(11).fill(null) : [c.pga.value, c.pga.time, c.pgv.value, c.pgv.time,
      c.pgd.value, c.pgd.time, c.arias, c.d5_75, c.d5_95, c.cav, c.cav_g];
    assert.deepEqual(cells, want, `measures of component ${k + 1}`);
  });
  const table = csv(spectra);
  const [s] = analysis.spectra;
  assert.equal(table.length, 1 + s.periods.length);
  assert.equal(table[0].length, 1 + 17);
  s.periods.forEach((period, p) => {
    const cells = table[p + 1].map(number);
    const want = [period];
    for (const c of s.components) for (const q of QUANTITIES) want.push(c ? c[q][p] : null);
    want.push(s.rotd50 ? s.rotd50[p] : null, s.rotd100 ? s.rotd100[p] : null);
    assert.deepEqual(cells, want, `spectra at ${period} s`);
  });
}

async function typeInto(page, selector, text) {
  await page.click(selector, { clickCount: 3 });
  await page.keyboard.press('Backspace');
  await page.type(selector, text);
}

async function convertSample(page) {
  await (await page.$('#files-any')).uploadFile(...COMPONENTS.map((name) => join(SOURCE, 'examples', name)));
  await page.waitForFunction(() => document.getElementById('chosen-2').textContent.includes('bytes'));
  await page.click('#convert');
  await page.waitForFunction(() => document.querySelectorAll('#measures tbody tr').length === 11 &&
    document.querySelector('#spectrum canvas'), { timeout: DEADLINE });
}

test('the sample record: figures, controls and downloads as a person gets them', async () => {
  const { page, requests, errors } = await openPage(browser);
  await page.setViewport({ width: 1200, height: 900 });
  await convertSample(page);
  const saved = await downloadsTo(page, outputFolder('downloads'));
  const first = await analyseInPage(page, sample(), 'table.csv\n');
  checkDownloads(await saved('#download-measures', 'measures.csv'), await saved('#download-spectra', 'spectra.csv'),
    first.analysis);
  const shots = outputFolder('screenshots');
  const section = await page.$('#analysis');
  await section.screenshot({ path: join(shots, 'figures-desktop.png') });

  // Another interval, unit and damping: every figure follows.
  await page.select('#damping', '0.02');
  await page.select('#unit', 'm/s2');
  await typeInto(page, '#dt', '0.02');
  await page.waitForFunction(() => document.querySelector('#measures tbody th').textContent === 'PGA (m/s²)');
  const second = await analyseInPage(page, sample(), 'table.csv\n', { dt: 0.02, unit: 'm/s2', damping: 0.02 });
  const measures = await saved('#download-measures', 'measures.csv');
  checkDownloads(measures, await saved('#download-spectra', 'spectra.csv'), second.analysis);
  assert.notEqual(second.analysis.spectra[0].components[0].psa[40], first.analysis.spectra[0].components[0].psa[40]);

  // What the analysis cannot take is refused beside its field; the last
  // good figures stay.
  for (const [selector, text, error] of [['#dt', '0', '#dt-error'], ['#dt', 'x', '#dt-error']]) {
    await typeInto(page, selector, text);
    assert.notEqual(await page.$eval(error, (e) => e.textContent), '');
    assert.equal(await saved('#download-measures', 'measures.csv'), measures);
  }
  await typeInto(page, '#dt', '0.02');
  await page.select('#damping', 'other');
  await typeInto(page, '#damping-other', '100');
  assert.notEqual(await page.$eval('#damping-error', (e) => e.textContent), '');
  await typeInto(page, '#damping-other', '7.5');
  assert.equal(await page.$eval('#damping-error', (e) => e.textContent), '');
  const third = await analyseInPage(page, sample(), 'table.csv\n', { dt: 0.02, unit: 'm/s2', damping: 0.075 });
  checkDownloads(await saved('#download-measures', 'measures.csv'), await saved('#download-spectra', 'spectra.csv'),
    third.analysis);

  // The record plot shows velocity; the spectra another quantity; the
  // cursor reads out a period.
  await page.select('#motion', 'velocity');
  await page.select('#spectrum-quantity', 'sd');
  const box = await (await page.$('#spectrum .u-over')).boundingBox();
  await page.mouse.move(box.x + box.width * 0.5, box.y + box.height / 2);
  assert.match(await page.$eval('#spectrum-readout', (e) => e.textContent), /^T = [\d.]+ s: first /);

  // At a phone's width nothing lies over a plot, and the plots fit.
  await page.setViewport({ width: 412, height: 900 });
  await page.evaluate(() => window.dispatchEvent(new Event('resize')));
  const overlaps = await page.evaluate(() => {
    const boxes = (selector) => [...document.querySelectorAll(selector)].map((e) => e.getBoundingClientRect());
    const charts = boxes('.chart');
    const over = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    return boxes('.peak, label, .readout').filter((t) => charts.some((c) => over(t, c))).length;
  });
  assert.equal(overlaps, 0);
  const widest = await page.evaluate(() => Math.max(...[...document.querySelectorAll('canvas')].map((c) => c.getBoundingClientRect().right)));
  assert.ok(widest <= 412, `a plot reaches ${widest} px`);
  await section.screenshot({ path: join(shots, 'figures-412px.png') });
  console.log(`# screenshots: ${join(shots, 'figures-desktop.png')}, ${join(shots, 'figures-412px.png')}`);

  assert.deepEqual(requests.filter((url) => url !== PAGE_URL), []);
  assert.deepEqual(errors, []);
  await page.close();
});

test('a record the analysis cannot use gets one sentence, never NaN', async () => {
  const fields = (values) => values.map((v) => v.padStart(10)).join('');
  const ordinary = Array.from({ length: 20 }, (_, r) => fields(Array.from({ length: 8 }, (_, f) => (Math.sin(r * 8 + f) * 50).toFixed(4))));
  const overflowing = ordinary.slice();
  overflowing[2] = fields(['1.0', '1.000E+99', '1.0', '1.0', '1.0', '1.0', '1.0', '1.0']);
  const cases = [
    { what: 'an infinite field', files: { [COMPONENTS[0]]: component('X', ordinary), [COMPONENTS[1]]: component('Y', overflowing), [COMPONENTS[2]]: component('Z', ordinary) },
      sentence: /^The second component has a sample that is not a finite number at row 18 /, measures: true },
    { what: 'no rows', files: { [COMPONENTS[0]]: component('X', []), [COMPONENTS[1]]: component('Y', []), [COMPONENTS[2]]: component('Z', []) },
      sentence: /^The record has no rows/, measures: false },
    { what: 'a component of zeros', files: { [COMPONENTS[0]]: component('X', ordinary), [COMPONENTS[1]]: component('Y', ordinary), [COMPONENTS[2]]: component('Z', ordinary.map(() => fields(Array(8).fill('0.0')))) },
      sentence: /^The third component is zero at every row/, measures: true },
  ];
  for (const c of cases) {
    const { page, errors } = await openPage(browser);
    const folder = scratch(c.files);
    await (await page.$('#files-any')).uploadFile(...COMPONENTS.map((name) => join(folder, name)));
    await page.waitForFunction(() => document.getElementById('chosen-2').textContent.includes('bytes'));
    await page.click('#convert');
    await page.waitForFunction(() => document.getElementById('problems').textContent !== '', { timeout: DEADLINE });
    assert.match(await page.$eval('#problems', (e) => e.textContent), c.sentence, c.what);
    assert.equal(await page.$eval('#measures-place', (e) => !e.hidden), c.measures, c.what);
    const shown = await page.$eval('#analysis', (e) => e.textContent);
    assert.doesNotMatch(shown, /NaN|Infinity/, c.what);
    const result = await analyseInPage(page, c.files, 't.csv\n');
    assert.equal(nonFinite(result.analysis), 0, c.what);
    if (!c.measures) assert.equal(result.analysis, null, c.what);
    assert.deepEqual(errors, []);
    await page.close();
  }
});

test('analyse(): its defaults, a TypeError naming a bad option, and no analysis without rows', async () => {
  const { page } = await openPage(browser);
  const defaults = await analyseInPage(page, sample(), 't.csv\n');
  assert.equal(defaults.analysis.dt, 0.01);
  assert.equal(defaults.analysis.unit, 'cm/s2');
  assert.equal(defaults.analysis.spectra.length, 1);
  assert.equal(defaults.analysis.spectra[0].damping, 0.05);
  assert.equal(defaults.analysis.spectra[0].periods.length, 100);
  assert.equal(defaults.analysis.spectra[0].periods[0], 0.01);
  assert.ok(Math.abs(defaults.analysis.spectra[0].periods[99] - 10) < 1e-12);
  const several = await analyseInPage(page, sample(), 't.csv\n', { damping: [0, 0.2], periods: [0.1, 1] });
  assert.deepEqual(several.analysis.spectra.map((s) => [s.damping, s.periods]), [[0, [0.1, 1]], [0.2, [0.1, 1]]]);
  for (const [options, name] of [[{ dt: 0 }, 'dt'], [{ dt: 'x' }, 'dt'], [{ unit: 'ft/s2' }, 'unit'],
    [{ damping: 1 }, 'damping'], [{ damping: [] }, 'damping'], [{ periods: [0] }, 'periods'], [{ periods: 1 }, 'periods']]) {
    const r = await analyseInPage(page, sample(), 't.csv\n', options);
    assert.match(r.error, new RegExp(`^TypeError: ${name}:`), JSON.stringify(options));
  }
  const aborted = await analyseInPage(page, { [COMPONENTS[0]]: sample()[COMPONENTS[0]] }, 't.csv\n');
  assert.equal(aborted.aborted, true);
  assert.equal(aborted.analysis, null);
  await page.close();
});

// The page's own logic, without a browser: where files go, the peaks of
// the plot, and the transcript.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { placeFiles } from '../src/places.js';
import { peak } from '../src/record.js';
import { transcript } from '../src/transcript.js';

const file = (name) => ({ name, bytes: new Uint8Array() });
const NAMES = ['WKZ-base-N022.txt', 'WKZ-base-N292.txt', 'WKZ-base-UP.txt'];
const names = (places) => places.map((f) => (f ? f.name : null));

test('files go to their places', () => {
  const empty = [null, null, null];
  const cases = [
    // [already placed, arriving, placed after, left out]
    [empty, ['a', 'b'], ['a', 'b', null], []],
    [empty, ['x', 'WKZ-base-N022.txt', 'y'], ['WKZ-base-N022.txt', 'x', 'y'], []],
    [empty, ['WKZ-base-UP.txt', 'a', 'b', 'c'], ['a', 'b', 'WKZ-base-UP.txt'], ['c']],
    [[file('a'), null, file('c')], ['WKZ-base-N022.txt', 'd'], ['WKZ-base-N022.txt', 'd', 'c'], []],
  ];
  for (const [before, arriving, after, leftOut] of cases) {
    const placed = placeFiles(before, arriving.map(file), NAMES);
    assert.deepEqual(names(placed.places), after);
    assert.deepEqual(placed.leftOut.map((f) => f.name), leftOut);
  }
});

test('peaks are the first largest magnitude', () => {
  assert.deepEqual(peak(Float32Array.of(1, -3, 2, 3)), { index: 1, value: -3 });
  assert.equal(peak(new Float32Array(0)), null);
});

test('the typed name follows the prompt, as a terminal echoes it', () => {
  const bytes = (text) => new TextEncoder().encode(text);
  const words = 'Enter Output Acceleration File Name (CSV format)';
  const prompt = `\n ${words}\n`;
  assert.deepEqual(transcript(bytes(`x${prompt}`), bytes(''), 't.csv', words), {
    console: `x${prompt}t.csv\n`,
    errors: '',
  });
  // A run that ends before the prompt read nothing.
  assert.equal(transcript(bytes('x\n'), bytes('open: ...\n'), 't.csv', words).console, 'x\n');
  // Any byte of a header record shows as one character.
  assert.equal(transcript(Uint8Array.of(0xe9, 10), bytes(''), '', words).console, 'é\n');
});

test('figures read as four significant digits, and download exactly', async () => {
  const { measuresCsv, shown, spectraCsv, spectrumSeries } = await import('../src/figures.js');
  for (const [value, text] of [[0, '0'], [-230.2517, '-230.3'], [0.000123, '1.230e-4'], [12345.678, '12346'],
    [0.0123456, '0.01235'], [1e8, '1.000e+8'], [null, '']]) assert.equal(shown(value), text);
  const figures = (k) => ({ pga: { value: -1.5 * k, time: 0.25 }, pgv: { value: 2, time: 0.5 }, pgd: { value: 3, time: 1 },
    arias: 0.1, d5_75: 1.25, d5_95: 2.5, cav: 4, cav_g: 0.004, problem: null });
  const spectrum = (k) => ({ sd: [k, 2 * k], sv: [0, 0], sa: [5, 6], psv: [7, 8], psa: [9, 10] });
  const analysis = {
    dt: 0.01, unit: 'g', rows: 3,
    components: [figures(1), figures(2), { ...figures(3), pga: null, problem: 'The third component is zero at every row.' }],
    spectra: [{ damping: 0.05, periods: [0.1, 1], components: [spectrum(1), spectrum(2), null], rotd50: [11, 12], rotd100: [13, 14] }],
  };
  assert.equal(measuresCsv(analysis).split('\r\n')[0],
    'component,PGA (g),PGA time (s),PGV (g·s),PGV time (s),PGD (g·s²),PGD time (s),Arias intensity (m/s),D5–75 (s),D5–95 (s),CAV (g·s),CAV (g·s),problem');
  assert.equal(measuresCsv(analysis).split('\r\n')[1], 'first,-1.5,0.25,2,0.5,3,1,0.1,1.25,2.5,4,0.004,');
  assert.equal(measuresCsv(analysis).split('\r\n')[3], 'third,,,,,,,,,,,,The third component is zero at every row.');
  const rows = spectraCsv(analysis).split('\r\n');
  assert.equal(rows[0].split(',').length, 18);
  assert.equal(rows[0].split(',')[1], 'first Sd (g·s²) 5%');
  assert.equal(rows[2], '1,2,0,6,8,10,4,0,6,8,10,,,,,,12,14');
  // RotD is PSA: as PSV it is divided by ω, as Sd by ω²; PSA in g from cm/s².
  const sd = spectrumSeries(analysis, analysis.spectra[0], 'sd', false);
  assert.deepEqual(sd.series.map((s) => s.label), ['first', 'second', 'third', 'RotD50', 'RotD100']);
  assert.ok(Math.abs(sd.series[4].values[1] - 14 / (2 * Math.PI) ** 2) < 1e-12);
  assert.equal(spectrumSeries(analysis, analysis.spectra[0], 'sa', false).series.length, 3);
  const inG = spectrumSeries({ ...analysis, unit: 'cm/s2' }, analysis.spectra[0], 'psa', true);
  assert.equal(inG.unit, 'g');
  assert.ok(Math.abs(inG.series[0].values[0] - 9 * 0.01 / 9.80665) < 1e-15);
});

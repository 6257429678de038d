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

// What the page's browser tests share: the page in headless Chromium, the
// console program run in a folder of its own, and records to feed both.
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

import puppeteer from 'puppeteer-core';

const required = (name) => {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run these tests through ctest in the page's build`);
  return value;
};

export const PAGE = required('CDMG_PAGE');
export const NATIVE = required('CDMG_NATIVE');
export const SOURCE = required('CDMG_SOURCE');
export const OUTPUT = required('CDMG_OUTPUT');
export const COMPONENTS = ['WKZ-base-N022.txt', 'WKZ-base-N292.txt', 'WKZ-base-UP.txt'];
export const PAGE_URL = pathToFileURL(PAGE).href;

// A browser that makes no connection of its own, so that every request
// seen is the page's.
export async function launch() {
  const args = ['--disable-gpu', '--disable-background-networking', '--disable-component-update',
    '--no-first-run', '--disable-sync', '--disable-quic'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  return puppeteer.launch({
    executablePath: process.env.CDMG_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args,
  });
}

// The page, loaded and ready; `requests` lists every request it made.
export async function openPage(browser) {
  const page = await browser.newPage();
  const requests = [];
  const errors = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(PAGE_URL);
  await page.waitForFunction(() => document.documentElement.dataset.ready === 'true');
  return { page, requests, errors };
}

// convert() in the page, with bytes in and out as Buffers.
export async function convertInPage(page, files, input) {
  const wire = Object.fromEntries(Object.entries(files).map(([name, bytes]) => [name, [...bytes]]));
  const result = await page.evaluate(
    async (wire, input) => {
      const files = Object.fromEntries(Object.entries(wire).map(([n, b]) => [n, new Uint8Array(b)]));
      const r = await globalThis.cdmg2csv.convert(files, new Uint8Array(input));
      const out = Object.fromEntries(Object.entries(r.files).map(([n, b]) => [n, [...b]]));
      return { stdout: [...r.stdout], stderr: [...r.stderr], exitStatus: r.exitStatus, aborted: r.aborted, files: out };
    },
    wire,
    [...Buffer.from(input)],
  );
  const bytes = (list) => Buffer.from(list);
  return {
    stdout: bytes(result.stdout),
    stderr: bytes(result.stderr),
    exitStatus: result.exitStatus,
    aborted: result.aborted,
    files: Object.fromEntries(Object.entries(result.files).map(([n, b]) => [n, bytes(b)])),
  };
}

// The console program in a fresh folder holding `files`, its standard input
// a pipe with `input` (which it may leave unread): the same shape as
// convert()'s result.
export async function runNative(files, input) {
  const folder = mkdtempSync(join(tmpdir(), 'cdmg2csv-page-'));
  try {
    for (const [name, bytes] of Object.entries(files)) writeFileSync(join(folder, name), bytes);
    const child = spawn(NATIVE, [], { cwd: folder });
    const collect = (stream) => {
      const chunks = [];
      stream.on('data', (chunk) => chunks.push(chunk));
      return new Promise((resolve) => stream.on('end', () => resolve(Buffer.concat(chunks))));
    };
    const stdout = collect(child.stdout);
    const stderr = collect(child.stderr);
    child.stdin.on('error', () => {}); // a run that ended first leaves the rest unread
    child.stdin.end(Buffer.from(input));
    const [code, signal] = await new Promise((resolve, reject) => {
      child.on('error', reject);
      child.on('close', (c, s) => resolve([c, s]));
    });
    const after = {};
    for (const name of readdirSync(folder)) {
      if (statSync(join(folder, name)).isFile()) after[name] = readFileSync(join(folder, name));
    }
    return {
      stdout: await stdout,
      stderr: await stderr,
      exitStatus: signal ? null : code,
      aborted: signal === 'SIGABRT',
      files: after,
    };
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

// A component file: 32 header records, then data records, LF line ends.
export function component(label, records) {
  let text = '';
  for (let n = 1; n <= 32; ++n) text += n === 6 ? `RECORD SIX ${label}\n` : n === 31 ? `RECORD 31 ${label}\n` : `header ${n}\n`;
  return Buffer.from(text + records.map((r) => `${r}\n`).join(''));
}

// A full-capacity component of 4125 data records of eight fixed-point fields
// with four decimals, a slow wave with some noise.
export function fullCapacity(label, phase) {
  const records = [];
  for (let r = 0; r < 4125; ++r) {
    let line = '';
    for (let f = 0; f < 8; ++f) {
      const i = r * 8 + f;
      const value = 150 * Math.sin(i / 400 + phase) * Math.exp(-i / 20000) + 3 * Math.sin(i * 1.7);
      line += value.toFixed(4).padStart(10);
    }
    records.push(line);
  }
  return component(label, records);
}

// The bundled sample record.
export function sample() {
  return Object.fromEntries(COMPONENTS.map((name) => [name, readFileSync(join(SOURCE, 'examples', name))]));
}

// A folder for files the browser is to choose.
export function scratch(files) {
  const folder = mkdtempSync(join(tmpdir(), 'cdmg2csv-choose-'));
  for (const [name, bytes] of Object.entries(files)) writeFileSync(join(folder, name), bytes);
  return folder;
}

export function outputFolder(name) {
  const folder = join(OUTPUT, name);
  mkdirSync(folder, { recursive: true });
  return folder;
}

// analyse() in the page: the run's streams as Buffers and its analysis.
export async function analyseInPage(page, files, input, options) {
  const wire = Object.fromEntries(Object.entries(files).map(([name, bytes]) => [name, [...bytes]]));
  return page.evaluate(
    async (wire, input, options) => {
      const files = Object.fromEntries(Object.entries(wire).map(([n, b]) => [n, new Uint8Array(b)]));
      try {
        const r = await globalThis.cdmg2csv.analyse(files, input, options);
        return { aborted: r.aborted, exitStatus: r.exitStatus, analysis: r.analysis };
      } catch (error) {
        return { error: `${error.name}: ${error.message}` };
      }
    },
    wire,
    input,
    options,
  );
}

// Lets the page download into `folder`; `saved(name)` waits for the next
// download to end and returns the file's text.
export async function downloadsTo(page, folder) {
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder, eventsEnabled: true });
  return async (selector, name) => {
    rmSync(join(folder, name), { force: true });
    const done = new Promise((resolve) => {
      const listener = (event) => {
        if (event.state === 'inProgress') return;
        cdp.off('Browser.downloadProgress', listener);
        resolve(event.state);
      };
      cdp.on('Browser.downloadProgress', listener);
    });
    await page.click(selector);
    if ((await done) !== 'completed') throw new Error(`the download of ${name} did not complete`);
    return readFileSync(join(folder, name), 'utf8');
  };
}

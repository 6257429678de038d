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

// Lays out a run's request in the module's memory, as the module reads it:
// the file count, each file's name length, bytes length, name and bytes,
// then the input. Returns its address, which the caller frees.
function placeRequest(module, files, stdin) {
  const entries = Object.entries(files).map(([name, bytes]) => [encoder.encode(name), bytes]);
  const size = 4 + entries.reduce((sum, [name, bytes]) => sum + 8 + name.length + bytes.length, 0) + 4 + stdin.length;
  const at = module._malloc(size);
  // The views after the allocation: a grown memory has a new buffer.
  const heap = module.HEAPU8;
  const view = new DataView(heap.buffer);
  let k = at;
  const word = (n) => {
    view.setUint32(k, n, true);
    k += 4;
  };
  const put = (bytes) => {
    heap.set(bytes, k);
    k += bytes.length;
  };
  word(entries.length);
  for (const [name, bytes] of entries) {
    word(name.length);
    word(bytes.length);
    put(name);
    put(bytes);
  }
  word(stdin.length);
  put(stdin);
  return at;
}

// The record's units, in m/s², and their names in figures.
export const UNITS = {
  'cm/s2': { metres: 0.01, acceleration: 'cm/s²', velocity: 'cm/s', displacement: 'cm' },
  'm/s2': { metres: 1, acceleration: 'm/s²', velocity: 'm/s', displacement: 'm' },
  g: { metres: 9.80665, acceleration: 'g', velocity: 'g·s', displacement: 'g·s²' },
};

// analyse()'s options with their defaults; a bad one is a TypeError that
// names it.
export function analysisOptions(options) {
  if (options === undefined || options === null) options = {};
  if (typeof options !== 'object') throw new TypeError('options: an object of dt, unit, damping and periods');
  const { dt = 0.01, unit = 'cm/s2', damping = 0.05, periods } = options;
  if (typeof dt !== 'number' || !Number.isFinite(dt) || dt <= 0)
    throw new TypeError('dt: the sample interval, a positive number of seconds');
  if (!Object.hasOwn(UNITS, unit)) throw new TypeError("unit: 'cm/s2', 'm/s2' or 'g'");
  const dampings = Array.isArray(damping) ? damping : [damping];
  if (dampings.length === 0 || !dampings.every((z) => typeof z === 'number' && z >= 0 && z < 1))
    throw new TypeError('damping: a fraction from 0 to less than 1, or an array of them');
  if (periods !== undefined && (!Array.isArray(periods) || periods.length === 0 ||
      !periods.every((t) => typeof t === 'number' && Number.isFinite(t) && t > 0)))
    throw new TypeError('periods: an array of positive numbers of seconds');
  return { dt, unit, dampings, periods: periods ?? [] };
}

// The components as the page names them, in the order they are read.
export const ORDERS = ['first', 'second', 'third'];

// The sentence that stands for a component's figures when it has none.
function problemSentence(code, row, k) {
  const which = `The ${ORDERS[k]} component`;
  if (code === 1) return `${which} has no samples: it has no figures.`;
  if (code === 2) return `${which} is zero at every row: it has no peaks, durations or spectra.`;
  if (code === 3)
    return `${which} has a sample that is not a finite number at row ${row + 1} ` +
      '(a field too large for single precision reads as infinity): it has no figures.';
  return null;
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

  // One run: what convert() gives, with the table's name and the samples.
  run(files, input) {
    checkFiles(files);
    const m = this.module;
    const at = placeRequest(m, files, inputBytes(input));
    let pointer;
    try {
      pointer = m._cdmg_run(at);
    } finally {
      m._free(at);
    }
    const head = 5 + 4 + 3;
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
    };
  }

  // The analysis of the last run's rows (see analysisOptions), and the
  // record's motion for the plot: each row's time, and each component's
  // acceleration, velocity and displacement.
  analysis(options, samples) {
    const m = this.module;
    const rows = samples[0].length;
    const request = Float64Array.of(options.dt, UNITS[options.unit].metres, options.dampings.length,
      ...options.dampings, options.periods.length, ...options.periods);
    const at = m._malloc(request.byteLength);
    m.HEAPF64.set(request, at / 8);
    let pointer;
    try {
      pointer = m._cdmg_analyse(at);
    } finally {
      m._free(at);
    }
    const head = new Float64Array(m.HEAPF64.buffer, pointer, 3);
    const [, dampingCount, periodCount] = head;
    const total = 3 + 3 * 13 + periodCount + dampingCount * (1 + 17 * periodCount) + 7 * rows;
    const w = new Float64Array(m.HEAPF64.buffer, pointer, total);
    let k = 3;
    const take = (count) => {
      const part = Array.from(w.subarray(k, k + count));
      k += count;
      return part;
    };
    const problems = [];
    const components = ORDERS.map((_, c) => {
      const [code, row, pga, pgaTime, pgv, pgvTime, pgd, pgdTime, arias, d575, d595, cav, cavG] = take(13);
      const problem = problemSentence(code, row, c);
      problems.push(problem);
      if (problem)
        return { pga: null, pgv: null, pgd: null, arias: null, d5_75: null, d5_95: null, cav: null, cav_g: null, problem };
      return {
        pga: { value: pga, time: pgaTime }, pgv: { value: pgv, time: pgvTime }, pgd: { value: pgd, time: pgdTime },
        arias, d5_75: d575, d5_95: d595, cav, cav_g: cavG, problem,
      };
    });
    const periods = take(periodCount);
    const spectra = [];
    for (let d = 0; d < dampingCount; ++d) {
      const [damping] = take(1);
      const parts = ORDERS.map((_, c) => {
        const [sd, sv, sa, psv, psa] = [0, 1, 2, 3, 4].map(() => take(periodCount));
        return problems[c] ? null : { sd, sv, sa, psv, psa };
      });
      const rotd50 = take(periodCount);
      const rotd100 = take(periodCount);
      const horizontal = !problems[0] && !problems[1];
      spectra.push({ damping, periods, components: parts, rotd50: horizontal ? rotd50 : null,
        rotd100: horizontal ? rotd100 : null });
    }
    const series = () => {
      const part = w.slice(k, k + rows);
      k += rows;
      return part;
    };
    const times = series();
    const velocity = [];
    const displacement = [];
    for (let c = 0; c < 3; ++c) {
      velocity.push(series());
      displacement.push(series());
    }
    return {
      analysis: { dt: options.dt, unit: options.unit, rows, components, spectra },
      motion: { times, acceleration: samples.map((s) => Float64Array.from(s)), velocity, displacement },
    };
  }

  // The programming interface: a run and its analysis, as a Promise.
  analyse(files, input, options) {
    try {
      const checked = analysisOptions(options);
      const run = this.run(files, input);
      const rows = run.result.aborted ? 0 : run.samples[0].length;
      const analysis = rows > 0 ? this.analysis(checked, run.samples).analysis : null;
      return Promise.resolve({ ...run.result, analysis });
    } catch (error) {
      return Promise.reject(error);
    }
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

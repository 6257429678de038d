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

export class Engine {
  constructor(module) {
    this.module = module;
  }

  // Copies bytes into the module's memory for the length of `use`.
  withBytes(bytes, use) {
    const m = this.module;
    const at = m._malloc(Math.max(bytes.length, 1));
    m.HEAPU8.set(bytes, at);
    try {
      return use(at, bytes.length);
    } finally {
      m._free(at);
    }
  }

  bytesAt(pointer, length) {
    return this.module.HEAPU8.slice(pointer, pointer + length);
  }

  cString(pointer) {
    return this.bytesAt(pointer, this.module.HEAPU8.indexOf(0, pointer) - pointer);
  }

  // One run: what convert() gives, with the table's name and the samples.
  run(files, input) {
    checkFiles(files);
    const stdin = inputBytes(input);
    const m = this.module;
    m._cdmg_begin();
    for (const [name, bytes] of Object.entries(files)) {
      this.withBytes(encoder.encode(name), (namePointer, nameLength) =>
        this.withBytes(bytes, (at, length) => m._cdmg_add_file(namePointer, nameLength, at, length)),
      );
    }
    this.withBytes(stdin, (at, length) => m._cdmg_set_input(at, length));
    const results = m._cdmg_convert();
    const result = (k) => this.bytesAt(m._cdmg_result_bytes(k), m._cdmg_result_length(k));
    const folder = {};
    const decoder = new TextDecoder();
    for (let k = 2; k < results; ++k) {
      folder[decoder.decode(this.bytesAt(m._cdmg_result_name(k), m._cdmg_result_name_length(k)))] =
        result(k);
    }
    const aborted = m._cdmg_aborted() === 1;
    const rows = m._cdmg_rows();
    const samples = [0, 1, 2].map((component) =>
      rows > 0
        ? new Float32Array(m.HEAPF32.buffer, m._cdmg_samples(component), rows).slice()
        : new Float32Array(0),
    );
    const tableName = rows >= 0 ? decoder.decode(this.cString(m._cdmg_table_name())) : null;
    return {
      result: {
        stdout: result(0),
        stderr: result(1),
        exitStatus: aborted ? null : m._cdmg_exit_status(),
        aborted,
        files: folder,
      },
      tableName,
      samples,
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

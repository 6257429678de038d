// The page: three places for the component files, the output name, the
// conversion with its console transcript, the table's download, the plot
// and the record's figures.
import { startFigures } from './figures_view.js';
import { folderOf, placeFiles } from './places.js';
import { transcript } from './transcript.js';

async function readFile(file) {
  return { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
}

export function startApp(engine, document) {
  const byId = (id) => document.getElementById(id);
  const names = engine.componentNames;
  let places = [null, null, null];
  let download = null;
  const figures = startFigures(engine, document);

  const showPlaces = () => {
    places.forEach((file, k) => {
      byId(`chosen-${k}`).textContent = file
        ? `${file.name} (${file.bytes.length} bytes)`
        : 'no file yet';
    });
  };
  const take = async (fileList, into) => {
    const files = await Promise.all(Array.from(fileList, readFile));
    if (into === undefined) {
      const placed = placeFiles(places, files, names);
      places = placed.places;
      byId('status').textContent = placed.leftOut.length
        ? `Not placed (all three places are taken): ${placed.leftOut.map((f) => f.name).join(', ')}`
        : '';
    } else if (files.length > 0) {
      places = places.slice();
      places[into] = files[0];
    }
    showPlaces();
  };

  names.forEach((name, k) => {
    byId(`name-${k}`).textContent = name;
    const input = byId(`file-${k}`);
    input.addEventListener('change', () => take(input.files, k).then(() => (input.value = '')));
    const swap = byId(`swap-${k}`);
    if (swap) {
      swap.addEventListener('click', () => {
        places = places.slice();
        [places[k], places[k + 1]] = [places[k + 1], places[k]];
        showPlaces();
      });
    }
  });
  const any = byId('files-any');
  any.addEventListener('change', () => take(any.files).then(() => (any.value = '')));
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    if (event.dataTransfer && event.dataTransfer.files.length) take(event.dataTransfer.files);
  });

  byId('convert').addEventListener('click', () => {
    const typed = byId('output-name').value;
    const { result, tableName, samples } = engine.run(folderOf(places, names), `${typed}\n`);
    const shown = transcript(result.stdout, result.stderr, typed, engine.prompt);
    byId('console').textContent = shown.console;
    const errors = byId('errors');
    errors.textContent = shown.errors;
    errors.hidden = shown.errors === '';
    const link = byId('download');
    if (download) URL.revokeObjectURL(download);
    download = null;
    if (result.aborted) {
      byId('status').textContent = 'The run ended abnormally: no table.';
      link.hidden = true;
      figures.show(null);
      return;
    }
    const table = result.files[tableName];
    download = URL.createObjectURL(new Blob([table], { type: 'text/csv' }));
    link.href = download;
    link.download = tableName.split('/').pop();
    link.textContent = `Download ${link.download} (${table.length} bytes)`;
    link.hidden = false;
    byId('status').textContent = `Converted: ${samples[0].length} rows.`;
    figures.show(samples);
  });
  showPlaces();
}

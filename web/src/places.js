// The three places for the component files, and where chosen or dropped
// files go.

export const COMPONENTS = [
  { name: 'WKZ-base-N022.txt', order: 'first' },
  { name: 'WKZ-base-N292.txt', order: 'second' },
  { name: 'WKZ-base-UP.txt', order: 'third' },
];

// Places after `files` (each {name, bytes}) arrive: a file with a fixed name
// goes to its place; the others fill the empty places in order, and what
// finds no empty place is left out. Returns the new places and the files
// left out.
export function placeFiles(places, files) {
  const next = places.slice();
  const others = [];
  for (const file of files) {
    const fixed = COMPONENTS.findIndex((component) => component.name === file.name);
    if (fixed >= 0) next[fixed] = file;
    else others.push(file);
  }
  const leftOut = [];
  for (const file of others) {
    const empty = next.findIndex((place) => place === null);
    if (empty >= 0) next[empty] = file;
    else leftOut.push(file);
  }
  return { places: next, leftOut };
}

// The working folder of a run: each placed file under its place's name.
export function folderOf(places) {
  const folder = {};
  places.forEach((file, k) => {
    if (file) folder[COMPONENTS[k].name] = file.bytes;
  });
  return folder;
}

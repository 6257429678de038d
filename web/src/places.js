// The three places for the component files, and where chosen or dropped
// files go. The files' names are the library's (Engine.componentNames).

// Places after `files` (each {name, bytes}) arrive: a file with a place's name
// goes to its place; the others fill the empty places in order, and what
// finds no empty place is left out. Returns the new places and the files
// left out.
export function placeFiles(places, files, names) {
  const next = places.slice();
  const others = [];
  for (const file of files) {
    const fixed = names.indexOf(file.name);
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
export function folderOf(places, names) {
  const folder = {};
  places.forEach((file, k) => {
    if (file) folder[names[k]] = file.bytes;
  });
  return folder;
}

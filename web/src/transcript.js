// The console as a terminal shows it: standard output, the typed name
// echoed after the prompt, and a failure report's lines.

// Header records may hold any byte: each byte is shown as one character.
const decoder = new TextDecoder('latin1');

export function decodeForDisplay(bytes) {
  return decoder.decode(bytes);
}

// The transcript's parts: the console text (with the typed line where the
// run asked for it, after its `prompt` line) and the error text.
export function transcript(stdout, stderr, typedLine, prompt) {
  let console = decodeForDisplay(stdout);
  if (console.endsWith(` ${prompt}\n`)) console += `${typedLine}\n`;
  return { console, errors: decodeForDisplay(stderr) };
}

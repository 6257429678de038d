// What the plot shows of a converted record: each component's peak. The
// rows' times come from the library's analysis.

// The largest magnitude among `values` and the index where it first
// stands; an empty series has none.
export function peak(values) {
  let index = -1;
  let largest = -1;
  for (let i = 0; i < values.length; ++i) {
    const magnitude = Math.abs(values[i]);
    if (magnitude > largest) {
      largest = magnitude;
      index = i;
    }
  }
  return index < 0 ? null : { index, value: values[index] };
}

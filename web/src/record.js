// What the plot shows of a converted record: row i at time i x dt, as in
// the table, and each component's peak.

const DT = Math.fround(0.01);

// The time of each row: the exact product of the index and dt, rounded
// once to single precision, as the table's time column has it.
export function rowTimes(rows) {
  const times = new Float64Array(rows);
  for (let i = 0; i < rows; ++i) times[i] = Math.fround(i * DT);
  return times;
}

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

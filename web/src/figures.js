// The record's figures as the page shows and offers them: the measures'
// table, the spectra's series, and both as CSV. The figures themselves come
// from the library (Engine.analysis); nothing here computes one.
import { ORDERS, UNITS } from './engine.js';

export { ORDERS };
export const QUANTITIES = {
  psa: { name: 'PSA', kind: 'acceleration' },
  sa: { name: 'Sa', kind: 'acceleration' },
  psv: { name: 'PSV', kind: 'velocity' },
  sd: { name: 'Sd', kind: 'displacement' },
};
const STANDARD_GRAVITY = 9.80665;

// A figure for reading: four significant digits, without an exponent
// where one is not needed.
export function shown(value) {
  if (value === null || value === undefined) return '';
  const magnitude = Math.abs(value);
  if (magnitude === 0) return '0';
  if (magnitude < 1e-3 || magnitude >= 1e7) return value.toExponential(3);
  return value.toFixed(Math.max(0, 3 - Math.floor(Math.log10(magnitude))));
}

// The measures, a row each: its name with its unit, and each component's value.
export function measureRows(analysis) {
  const u = UNITS[analysis.unit];
  const pick = (f) => analysis.components.map((c) => (c.problem ? null : f(c)));
  return [
    { name: `PGA (${u.acceleration})`, values: pick((c) => c.pga.value) },
    { name: 'PGA time (s)', values: pick((c) => c.pga.time) },
    { name: `PGV (${u.velocity})`, values: pick((c) => c.pgv.value) },
    { name: 'PGV time (s)', values: pick((c) => c.pgv.time) },
    { name: `PGD (${u.displacement})`, values: pick((c) => c.pgd.value) },
    { name: 'PGD time (s)', values: pick((c) => c.pgd.time) },
    { name: 'Arias intensity (m/s)', values: pick((c) => c.arias) },
    { name: 'D5–75 (s)', values: pick((c) => c.d5_75) },
    { name: 'D5–95 (s)', values: pick((c) => c.d5_95) },
    { name: `CAV (${u.velocity})`, values: pick((c) => c.cav) },
    { name: 'CAV (g·s)', values: pick((c) => c.cav_g) },
  ];
}

const csvNumber = (value) => (value === null ? '' : String(value));
const csvText = (text) => (/[",\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text);
const csvLine = (cells) => `${cells.map(csvText).join(',')}\r\n`;

// The measures as CSV: a row a component, a column a measure with its unit,
// the component's problem last.
export function measuresCsv(analysis) {
  const rows = measureRows(analysis);
  let text = csvLine(['component', ...rows.map((r) => r.name), 'problem']);
  ORDERS.forEach((order, k) => {
    text += csvLine([order, ...rows.map((r) => csvNumber(r.values[k])), analysis.components[k].problem ?? '']);
  });
  return text;
}

const percent = (damping) => `${+(damping * 100).toPrecision(12)}%`;

// The spectra as CSV: a row a period; for each damping, each component's
// Sd, Sv, Sa, PSV and PSA, then RotD50 and RotD100 (as PSA), each column
// named with its unit. A component without figures has empty cells.
export function spectraCsv(analysis) {
  const u = UNITS[analysis.unit];
  const names = { sd: `Sd (${u.displacement})`, sv: `Sv (${u.velocity})`, sa: `Sa (${u.acceleration})`,
    psv: `PSV (${u.velocity})`, psa: `PSA (${u.acceleration})` };
  const header = ['period (s)'];
  for (const s of analysis.spectra) {
    for (const order of ORDERS) for (const q of Object.keys(names)) header.push(`${order} ${names[q]} ${percent(s.damping)}`);
    header.push(`RotD50 PSA (${u.acceleration}) ${percent(s.damping)}`, `RotD100 PSA (${u.acceleration}) ${percent(s.damping)}`);
  }
  let text = csvLine(header);
  const periods = analysis.spectra[0].periods;
  periods.forEach((period, p) => {
    const cells = [String(period)];
    for (const s of analysis.spectra) {
      for (const c of s.components) for (const q of Object.keys(names)) cells.push(csvNumber(c ? c[q][p] : null));
      cells.push(csvNumber(s.rotd50 ? s.rotd50[p] : null), csvNumber(s.rotd100 ? s.rotd100[p] : null));
    }
    text += csvLine(cells);
  });
  return text;
}

// The series of one spectrum's plot: `quantity` of each component, and for
// the pseudo-quantities RotD50 and RotD100 in the same measure (RotD is the
// peak of a displacement's projection, times ω² for PSA, ω for PSV). PSA
// and Sa in g when `inG`. A component without figures has no series.
export function spectrumSeries(analysis, spectrum, quantity, inG) {
  const { kind } = QUANTITIES[quantity];
  const scale = kind === 'acceleration' && inG ? UNITS[analysis.unit].metres / STANDARD_GRAVITY : 1;
  const unit = scale !== 1 ? 'g' : UNITS[analysis.unit][kind];
  const omega = (p) => (2 * Math.PI) / spectrum.periods[p];
  const toQuantity = { psa: () => 1, psv: (p) => 1 / omega(p), sd: (p) => 1 / omega(p) ** 2 }[quantity];
  const series = spectrum.components.map((c, k) => ({
    label: ORDERS[k],
    values: c ? c[quantity].map((x) => x * scale) : null,
  }));
  if (toQuantity) {
    for (const [label, values] of [['RotD50', spectrum.rotd50], ['RotD100', spectrum.rotd100]])
      series.push({ label, values: values ? values.map((x, p) => x * toQuantity(p) * scale) : null });
  }
  return { unit, series };
}

// The record's figures below its plot: the interval and unit, the record
// plot's quantity, the measures' table, the spectra and their downloads.
// Each change of a control recomputes them from the run's samples; a value
// the analysis cannot take is refused beside its field, and the last good
// figures stay.
import { analysisOptions } from './engine.js';
import { ORDERS, QUANTITIES, measureRows, measuresCsv, shown, spectraCsv, spectrumSeries } from './figures.js';
import { plotRecord } from './plot.js';
import { plotSpectrum } from './response_plot.js';

export function startFigures(engine, document) {
  const byId = (id) => document.getElementById(id);
  let run = null; // { samples }: the last run with rows
  let current = null; // the last good { analysis, motion }
  let recordPlot = null;
  let spectrumPlot = null;
  const links = { spectra: null, measures: null };

  const offer = (id, name, text) => {
    const link = byId(`download-${id}`);
    if (links[id]) URL.revokeObjectURL(links[id]);
    links[id] = URL.createObjectURL(new Blob([text], { type: 'text/csv' }));
    link.href = links[id];
    link.download = name;
    link.textContent = `Download the ${id} (${name})`;
    link.hidden = false;
  };

  // The controls as analyse() options, or null with the field's complaint.
  const options = () => {
    let ok = true;
    const dtText = byId('dt').value.trim();
    const dt = dtText === '' ? NaN : Number(dtText);
    const dtGood = Number.isFinite(dt) && dt > 0;
    byId('dt-error').textContent = dtGood ? '' : 'The interval is a positive number of seconds.';
    ok &&= dtGood;
    const chosen = byId('damping').value;
    byId('damping-other-label').hidden = chosen !== 'other';
    const otherText = byId('damping-other').value.trim();
    const damping = chosen === 'other' ? (otherText === '' ? NaN : Number(otherText) / 100) : Number(chosen);
    const dampingGood = damping >= 0 && damping < 1;
    byId('damping-error').textContent = dampingGood ? '' : 'The damping is from 0 to less than 100%.';
    ok &&= dampingGood;
    return ok ? analysisOptions({ dt, unit: byId('unit').value, damping }) : null;
  };

  const drawRecord = () => {
    if (recordPlot) recordPlot.destroy();
    recordPlot = null;
    const kind = byId('motion').value;
    const { motion } = current;
    recordPlot = plotRecord(byId('figure'), motion.times, motion[kind], ORDERS);
  };

  const drawSpectra = () => {
    if (spectrumPlot) spectrumPlot.destroy();
    spectrumPlot = null;
    const { analysis } = current;
    const horizontalOk = analysis.components.some((c) => !c.problem);
    byId('spectrum').replaceChildren();
    if (!horizontalOk) return;
    const quantity = byId('spectrum-quantity').value;
    const spectrum = analysis.spectra[0];
    const inG = byId('spectrum-unit').value === 'g';
    spectrumPlot = plotSpectrum(byId('spectrum'), spectrum.periods,
      spectrumSeries(analysis, spectrum, quantity, inG), QUANTITIES[quantity].name);
  };

  const showMeasures = () => {
    const { analysis } = current;
    const problems = analysis.components.map((c) => c.problem).filter(Boolean);
    byId('problems').textContent = problems.join(' ');
    const body = byId('measures').tBodies[0];
    body.replaceChildren();
    for (const row of measureRows(analysis)) {
      const tr = document.createElement('tr');
      const th = document.createElement('th');
      th.scope = 'row';
      th.textContent = row.name;
      tr.append(th);
      for (const value of row.values) {
        const td = document.createElement('td');
        td.textContent = shown(value);
        tr.append(td);
      }
      body.append(tr);
    }
    byId('measures-place').hidden = problems.length === 3;
    offer('measures', 'measures.csv', measuresCsv(analysis));
    offer('spectra', 'spectra.csv', spectraCsv(analysis));
  };

  const recompute = () => {
    if (!run) return;
    const checked = options();
    if (!checked) return; // the last good figures stay
    current = engine.analysis(checked, run.samples);
    showMeasures();
    drawSpectra();
    drawRecord();
  };

  for (const id of ['dt', 'damping-other']) byId(id).addEventListener('input', recompute);
  for (const id of ['unit', 'damping']) byId(id).addEventListener('change', recompute);
  byId('spectrum-quantity').addEventListener('change', () => current && drawSpectra());
  byId('spectrum-unit').addEventListener('change', () => current && drawSpectra());
  byId('motion').addEventListener('change', () => current && drawRecord());

  return {
    // A new run's samples, or none after an abnormal end.
    show(samples) {
      for (const plot of [recordPlot, spectrumPlot]) if (plot) plot.destroy();
      recordPlot = spectrumPlot = null;
      current = null;
      byId('figure').replaceChildren();
      byId('spectrum').replaceChildren();
      const rows = samples ? samples[0].length : 0;
      run = rows > 0 ? { samples } : null;
      byId('analysis').hidden = samples === null;
      byId('motion-controls').hidden = run === null;
      for (const id of ['spectra', 'measures']) byId(`download-${id}`).hidden = true;
      byId('measures-place').hidden = run === null;
      byId('problems').textContent = samples && !run ? 'The record has no rows: there is nothing to analyse.' : '';
      recompute();
    },
  };
}

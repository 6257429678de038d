// The response spectra on a logarithmic period axis: each component, and
// RotD50 and RotD100 where the quantity has them; the cursor reads out the
// period and every series' value.
import uPlot from 'uplot';

import { shown } from './figures.js';

const COLOURS = ['#1f5fa8', '#b2461e', '#2e7d32', '#6a3d9a', '#222222'];
const HEIGHT = 320;

const widthOf = (element) => Math.max(element.clientWidth, 200);

export function plotSpectrum(figure, periods, { unit, series }, quantityName) {
  figure.replaceChildren();
  const drawn = series.filter((s) => s.values);
  const readout = document.createElement('p');
  readout.className = 'readout';
  readout.id = 'spectrum-readout';
  readout.textContent = 'Point at the spectra to read the values.';
  const chart = document.createElement('div');
  chart.className = 'chart';
  chart.setAttribute('role', 'img');
  chart.setAttribute('aria-label', `${quantityName} (${unit}) against period: ${drawn.map((s) => s.label).join(', ')}`);
  figure.append(chart, readout);
  const onCursor = (plot) => {
    const i = plot.cursor.idx;
    if (i === null || i === undefined) return;
    const values = drawn.map((s) => `${s.label} ${shown(s.values[i])}`);
    readout.textContent = `T = ${shown(periods[i])} s: ${values.join(', ')} ${unit}`;
  };
  const plot = new uPlot(
    {
      width: widthOf(figure),
      height: HEIGHT,
      scales: { x: { time: false, distr: 3, log: 10 } },
      legend: { show: true, live: false },
      series: [{ label: 'period (s)' }, ...drawn.map((s) => ({ label: s.label, stroke: COLOURS[series.indexOf(s)], width: s.label.startsWith('RotD') ? 2 : 1.5, dash: s.label === 'RotD50' ? [6, 4] : undefined }))],
      axes: [{ label: 'period (s)' }, { label: `${quantityName} (${unit})`, size: 70 }],
      hooks: { setCursor: [onCursor] },
    },
    [periods, ...drawn.map((s) => s.values)],
    chart,
  );
  const resize = () => plot.setSize({ width: widthOf(figure), height: HEIGHT });
  window.addEventListener('resize', resize);
  return {
    plot,
    destroy() {
      window.removeEventListener('resize', resize);
      plot.destroy();
    },
  };
}

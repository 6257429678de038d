// Three stacked panels of the record, first, second and third component,
// on one time axis: dragging zooms all three to a time range, a double
// click (or the reset button) shows the whole record again, and the cursor
// reads out the time and the three values.
import uPlot from 'uplot';
import { peak } from './record.js';

const COLOURS = ['#1f5fa8', '#b2461e', '#2e7d32'];
const PANEL_HEIGHT = 200;

function format(value) {
  return value.toFixed(3);
}

export function plotRecord(figure, times, samples, orders) {
  figure.replaceChildren();
  const readout = document.createElement('p');
  readout.className = 'readout';
  readout.textContent = 'Point at the plot to read the values; drag to zoom, double-click to reset.';
  const plots = [];
  let syncing = false;
  const showAll = () => {
    for (const plot of plots) plot.setScale('x', { min: times[0], max: times[times.length - 1] });
  };
  const reset = document.createElement('button');
  reset.type = 'button';
  reset.textContent = 'Show the whole record';
  reset.addEventListener('click', showAll);
  figure.append(readout);

  const onScale = (source, key) => {
    if (key !== 'x' || syncing) return;
    syncing = true;
    const { min, max } = source.scales.x;
    for (const plot of plots) if (plot !== source) plot.setScale('x', { min, max });
    syncing = false;
  };
  const onCursor = (source) => {
    const i = source.cursor.idx;
    if (i === null || i === undefined) return;
    const values = samples.map((values, k) => `${orders[k]} ${format(values[i])}`);
    readout.textContent = `t = ${format(times[i])} s: ${values.join(', ')}`;
  };

  samples.forEach((values, k) => {
    const panel = document.createElement('div');
    panel.className = 'panel';
    const chart = document.createElement('div');
    chart.className = 'chart';
    chart.setAttribute('role', 'img');
    const top = peak(values);
    const side = document.createElement('p');
    side.className = 'peak';
    side.textContent = top
      ? `${orders[k]} component: peak ${format(Math.abs(top.value))} at ${format(times[top.index])} s`
      : `${orders[k]} component: no samples`;
    chart.setAttribute('aria-label', `${orders[k]} component against time; ${side.textContent}`);
    panel.append(chart, side);
    figure.append(panel);
    const last = k === samples.length - 1;
    const options = {
      width: Math.max(chart.clientWidth, 200),
      height: PANEL_HEIGHT,
      legend: { show: false },
      scales: { x: { time: false } },
      cursor: { sync: { key: 'record' }, drag: { x: true, y: false } },
      series: [{}, { label: orders[k], stroke: COLOURS[k], width: 1 }],
      axes: [{ label: last ? "time (s)" : undefined }, { size: 70, space: 24 }],
      hooks: { setScale: [onScale], setCursor: [onCursor] },
    };
    plots.push(new uPlot(options, [times, values], chart));
  });
  figure.append(reset);
  const resize = () => {
    for (const plot of plots) {
      plot.setSize({ width: Math.max(plot.root.parentElement.clientWidth, 200), height: PANEL_HEIGHT });
    }
  };
  window.addEventListener('resize', resize);
  return {
    plots,
    destroy() {
      window.removeEventListener('resize', resize);
      for (const plot of plots) plot.destroy();
    },
  };
}

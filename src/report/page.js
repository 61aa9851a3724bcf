// The chart page's script: picks a probe from the table and draws its charts with
// dygraphs from the points the program wrote into the page. BUCKETS_PER_LINE is set by
// the program just before this script.
(function () {
  'use strict';
  const body = document.body;
  window.addEventListener('error', (e) => { body.dataset.error = String(e.message); });

  const data = JSON.parse(document.getElementById('chart-data').textContent);
  const byId = new Map(data.probes.map((p) => [p.id, p]));
  const EPOCH_2000 = Date.UTC(2000, 0, 1);  // the files' times carry no zone: shown as written
  const DEPTH_COLOURS = ['#1f77b4', '#ff7f0e', '#2ca02c', '#d62728', '#9467bd', '#8c564b'];
  const TEMPERATURE = 0, MOISTURE = 6, VOLTS = 12, AMBIENT = 13;
  const LOW_VOLTS = 3.4;
  const STUCK = 0, OUT_OF_RANGE = 1, STEP = 2, CONFLICT = 3;
  const ms = (seconds) => EPOCH_2000 + seconds * 1000;

  const two = (n) => String(n).padStart(2, '0');
  const timeText = (ms) => {
    const d = new Date(ms);
    return d.getUTCFullYear() + '/' + two(d.getUTCMonth() + 1) + '/' + two(d.getUTCDate()) + ' ' +
      two(d.getUTCHours()) + ':' + two(d.getUTCMinutes()) + ':' + two(d.getUTCSeconds());
  };

  // One line's points as [ms, value], from its step-coded times and hundredths.
  function decode(line) {
    const [steps, values] = line;
    const out = new Array(steps.length);
    let t = 0;
    for (let i = 0; i < steps.length; i++) {
      t += steps[i];
      out[i] = [EPOCH_2000 + t * 1000, values[i] / 100];
    }
    return out;
  }

  // Rows for dygraphs from lines whose points fall at different times: a line without a
  // point at a row's time has null there, and its line is drawn across.
  function rows(lines) {
    const points = lines.map(decode);
    const next = points.map(() => 0);
    const out = [];
    for (;;) {
      let t = Infinity;
      points.forEach((p, k) => { if (next[k] < p.length && p[next[k]][0] < t) t = p[next[k]][0]; });
      if (t === Infinity) return out;
      const row = [new Date(t)];
      points.forEach((p, k) => {
        if (next[k] < p.length && p[next[k]][0] === t) row.push(p[next[k]++][1]);
        else row.push(null);
      });
      out.push(row);
    }
  }

  let charts = [];
  let syncing = false;

  // Zooming or panning one chart moves the others to the same span of time.
  function follow(me, initial) {
    if (syncing || initial) return;
    syncing = true;
    const range = me.xAxisRange();
    charts.forEach((c) => { if (c !== me) c.updateOptions({ dateWindow: range }); });
    syncing = false;
  }

  function chart(id, lines, labels, options) {
    const div = document.getElementById(id);
    const legend = document.getElementById(id + '-legend');
    div.textContent = '';
    legend.textContent = '';
    const data = rows(lines);
    if (data.length === 0) {
      div.innerHTML = '<div class="nothing">No values for this probe.</div>';
      return null;
    }
    return new Dygraph(div, data, Object.assign({
      labels: ['Time'].concat(labels),
      labelsUTC: true,
      labelsDiv: legend,
      labelsSeparateLines: true,
      legend: 'always',
      connectSeparatedPoints: true,
      strokeWidth: 1.4,
      gridLineColor: '#e6eaee',
      axisLineColor: '#b8c0c8',
      highlightCircleSize: 3,
      drawCallback: follow,
      axes: {
        x: { valueFormatter: timeText },
        y: { axisLabelWidth: 44 },
      },
    }, options));
  }

  const depthLabels = (what) => DEPTH_COLOURS.map((_, i) => what + ' depth ' + (i + 1));

  // The probe's gaps shaded grey on every chart, and on each chart the marks of its own
  // columns (`first` to `first` + 5; none for the battery): stuck stretches in the
  // depth's colour, values out of range in red, steps and conflicting readings as lines.
  function underlay(probe, first) {
    return (ctx, area, g) => {
      const x = (seconds) => g.toDomXCoord(ms(seconds));
      const band = (from, to, style) => {
        const a = Math.max(area.x, x(from)), b = Math.min(area.x + area.w, x(to));
        if (b < a - 1) return;
        ctx.fillStyle = style;
        ctx.fillRect(a, area.y, Math.max(b - a, 2), area.h);
      };
      const line = (at, style) => {
        const a = x(at);
        if (a < area.x || a > area.x + area.w) return;
        ctx.strokeStyle = style;
        ctx.setLineDash([3, 2]);
        ctx.beginPath();
        ctx.moveTo(a, area.y);
        ctx.lineTo(a, area.y + area.h);
        ctx.stroke();
        ctx.setLineDash([]);
      };
      probe.gaps.forEach(([from, to]) => band(from, to, 'rgba(91, 102, 112, 0.16)'));
      probe.marks.forEach(([column, kind, from, to]) => {
        if (kind === CONFLICT) { line(from, 'rgba(128, 0, 160, 0.7)'); return; }
        if (first === null || column < first || column >= first + 6) return;
        if (kind === STUCK) band(from, to, DEPTH_COLOURS[column - first] + '26');
        else if (kind === OUT_OF_RANGE) band(from, to, 'rgba(180, 35, 24, 0.18)');
        else if (kind === STEP) line(from, 'rgba(180, 35, 24, 0.8)');
      });
    };
  }

  function draw(probe) {
    charts.forEach((c) => c.destroy());
    const lines = probe.lines;
    const pick = (from, n) => lines.slice(from, from + n);
    const hasAmbient = lines[AMBIENT][0].length > 0;
    const volts = lines[VOLTS][1];
    const lowest = volts.length ? volts.reduce((a, b) => Math.min(a, b)) / 100 : LOW_VOLTS;
    const highest = volts.length ? volts.reduce((a, b) => Math.max(a, b)) / 100 : LOW_VOLTS;
    const batteryMarks = underlay(probe, null);
    charts = [
      chart('moisture', pick(MOISTURE, 6), depthLabels('Water%'), {
        colors: DEPTH_COLOURS,
        underlayCallback: underlay(probe, MOISTURE),
        axes: { x: { valueFormatter: timeText }, y: { axisLabelWidth: 44, valueFormatter: (v) => v.toFixed(2) + ' %' } },
      }),
      chart('temperature', pick(TEMPERATURE, 6).concat(hasAmbient ? [lines[AMBIENT]] : []),
        depthLabels('Temp').concat(hasAmbient ? ['Ambient'] : []), {
          colors: DEPTH_COLOURS.concat(['#6b7480']),
          series: { Ambient: { strokePattern: [5, 3], strokeWidth: 1.2 } },
          underlayCallback: underlay(probe, TEMPERATURE),
          axes: { x: { valueFormatter: timeText }, y: { axisLabelWidth: 44, valueFormatter: (v) => v.toFixed(1) + ' °C' } },
        }),
      chart('battery', [lines[VOLTS]], ['Battery'], {
        colors: ['#2f6f3e'],
        valueRange: [Math.min(lowest, 3.2) - 0.1, Math.max(highest, 3.6) + 0.1],
        axes: { x: { valueFormatter: timeText }, y: { axisLabelWidth: 44, valueFormatter: (v) => v.toFixed(1) + ' V' } },
        // The band below 3.4 V, where the run reports a low battery.
        underlayCallback: (ctx, area, g) => {
          batteryMarks(ctx, area, g);
          const y = g.toDomYCoord(LOW_VOLTS);
          ctx.fillStyle = 'rgba(180, 35, 24, 0.08)';
          ctx.fillRect(area.x, y, area.w, area.y + area.h - y);
          ctx.strokeStyle = 'rgba(180, 35, 24, 0.6)';
          ctx.setLineDash([4, 3]);
          ctx.beginPath();
          ctx.moveTo(area.x, y);
          ctx.lineTo(area.x + area.w, y);
          ctx.stroke();
          ctx.setLineDash([]);
        },
      }),
    ].filter((c) => c !== null);
  }

  function note(probe, row) {
    const readings = Number(row.dataset.readings);
    const most = probe.lines.slice(0, AMBIENT).reduce((m, l) => Math.max(m, l[0].length), 0);
    let text = readings + ' readings.';
    if (most < readings) {
      text += ' Each line is thinned to at most ' + 2 * BUCKETS_PER_LINE +
        ' points, keeping every high and low; a zoom shows the same points closer.';
    }
    if (probe.lines[AMBIENT][0].length === 0) text += ' No dump holds an ambient temperature of this probe.';
    if (probe.gaps.length) text += ' Grey: gaps.';
    if (probe.marks.length) text += ' Red: values out of range, steps; tinted: a stuck sensor; purple: conflicting readings.';
    return text;
  }

  function select(row) {
    const probe = byId.get(Number(row.dataset.probe));
    if (!probe) return;
    document.querySelectorAll('tbody tr.selected').forEach((r) => r.classList.remove('selected'));
    row.classList.add('selected');
    document.getElementById('chart-title').textContent = 'Probe ' + probe.id;
    document.getElementById('chart-note').textContent = note(probe, row);
    draw(probe);
    if (location.hash !== '#probe-' + probe.id) history.replaceState(null, '', '#probe-' + probe.id);
  }

  const rowsOfTable = Array.from(document.querySelectorAll('tbody tr'));
  rowsOfTable.forEach((row) => {
    row.addEventListener('click', () => select(row));
    row.addEventListener('keydown', (e) => { if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); select(row); } });
  });
  document.getElementById('reset').addEventListener('click', () => {
    syncing = true;
    charts.forEach((c) => c.resetZoom());
    syncing = false;
  });

  const chosen = rowsOfTable.find((r) => location.hash === '#probe-' + r.dataset.probe) || rowsOfTable[0];
  select(chosen);
  // For whoever checks the page: every chart of the first probe has drawn.
  body.dataset.drawn = String(charts.length);
  body.dataset.drawMs = String(Math.round(performance.now()));
})();

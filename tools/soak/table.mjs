#!/usr/bin/env node
// Sums the match tool's JSON reports of a soak into one Markdown table: per
// opponent and clock the games, Brevalt's score and every kind of fault on
// either side, then the totals.
import fs from 'node:fs';
import path from 'node:path';

const KINDS = ['illegal', 'crash', 'timeForfeit', 'falseClaim', 'rejected', 'error', 'outOfTurn'];
const rows = [];
for (const file of process.argv.slice(2)) {
  const j = JSON.parse(fs.readFileSync(file, 'utf8'));
  const me = j.engines.indexOf('Brevalt');
  if (me < 0) continue;
  const opp = j.engines[1 - me];
  // The match tool's own score: a game cut short counts for neither side.
  const score = j.scores?.find((s) => s.engine === 'Brevalt');
  if (!score) {
    console.error(`soak table: ${file} has no score of Brevalt (a report of an older match tool?)`);
    continue;
  }
  const { wins: w, draws: d, losses: l } = score;
  const ponder = path.basename(file).includes('-ponder');
  rows.push({ opp, tc: j.timeControl + (ponder ? ' ponder' : ''), w, d, l,
              mine: j.problems.Brevalt, theirs: j.problems[opp] });
}
const cell = (p) => KINDS.map((k) => p?.[k] ?? 0).join(' / ');
console.log('| opponent | clock | games | W | D | L | score | Brevalt faults | opponent faults |');
console.log('|---|---|---|---|---|---|---|---|---|');
const total = { n: 0, w: 0, d: 0, l: 0, mine: {}, theirs: {} };
for (const r of rows) {
  const n = r.w + r.d + r.l;
  const pct = n ? ((100 * (r.w + r.d / 2)) / n).toFixed(1) : '0.0';
  console.log(`| ${r.opp} | ${r.tc} | ${n} | ${r.w} | ${r.d} | ${r.l} | ${pct}% | ${cell(r.mine)} | ${cell(r.theirs)} |`);
  total.n += n; total.w += r.w; total.d += r.d; total.l += r.l;
  for (const k of KINDS) {
    total.mine[k] = (total.mine[k] ?? 0) + (r.mine?.[k] ?? 0);
    total.theirs[k] = (total.theirs[k] ?? 0) + (r.theirs?.[k] ?? 0);
  }
}
const tp = total.n ? ((100 * (total.w + total.d / 2)) / total.n).toFixed(1) : '0.0';
console.log(`| **all** | | ${total.n} | ${total.w} | ${total.d} | ${total.l} | ${tp}% | ${cell(total.mine)} | ${cell(total.theirs)} |`);
console.log('');
console.log('Faults are counted as illegal moves / crashes / time forfeits / false claims / rejected moves / error lines / moves out of turn.');

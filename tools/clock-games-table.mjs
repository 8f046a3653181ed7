#!/usr/bin/env node
// Sums up the runs of tools/clock-games.sh: one row per JSON report in the
// folder given, with the games and the score of the engine named "Brevalt"
// (the match tool's own, from the report), the faults of the Brevalt
// processes and of the opponent, and the median
// share of its available time (start + increments received; moves times
// the fixed time per move) that Brevalt spent, over the games in which a
// Brevalt process made at least 40 moves.
import { readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';

const MIN_MOVES = 40;
const FAULTS = ['illegal', 'crash', 'timeForfeit', 'falseClaim', 'rejected'];
const dir = process.argv[2];
if (!dir) {
  console.error('usage: clock-games-table.mjs FOLDER');
  process.exit(2);
}

const median = (xs) => {
  if (xs.length === 0) return null;
  const s = [...xs].sort((a, b) => a - b);
  const m = s.length >> 1;
  return s.length % 2 ? s[m] : (s[m - 1] + s[m]) / 2;
};
const ours = (name) => name === 'Brevalt' || name === 'Brevalt-2';

const rows = [];
for (const file of readdirSync(dir).filter((f) => f.endsWith('.json')).sort()) {
  let report;
  try {
    report = JSON.parse(readFileSync(join(dir, file), 'utf8'));
  } catch {
    continue;  // a run still being written
  }
  // The score is the match tool's own: a game cut short counts for neither
  // side and is not a game played.
  const score = report.scores?.find((s) => s.engine === 'Brevalt');
  if (!score) {
    console.error(`clock-games-table: ${file} has no score of Brevalt (a report of an older match tool?)`);
    continue;
  }
  const shares = [];
  for (const game of report.games) {
    const names = [game.white, game.black];
    (game.clockUse ?? []).forEach((use, side) => {
      if (use && ours(names[side]) && use.moves >= MIN_MOVES && use.availableMs > 0)
        shares.push(use.spentMs / use.availableMs);
    });
  }
  const faults = (who) =>
    Object.entries(report.problems)
      .filter(([name]) => who(name))
      .reduce((sum, [, p]) => sum + FAULTS.reduce((s, k) => s + (p[k] ?? 0), 0), 0);
  const m = median(shares);
  rows.push([
    file.replace(/\.json$/, ''),
    score.games,
    `${score.points} (${score.percent.toFixed(1)}%)`,
    faults(ours),
    faults((n) => !ours(n)),
    m === null ? '-' : `${m.toFixed(2)} over ${shares.length}`,
  ]);
}
console.log('| run | games | Brevalt score | Brevalt faults | opponent faults | Brevalt clock use (median, games >= 40 moves) |');
console.log('|---|---|---|---|---|---|');
for (const r of rows) console.log(`| ${r.join(' | ')} |`);

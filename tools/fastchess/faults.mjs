// The faults of Brevalt in a fastchess run: games it lost on time, by an
// illegal move, by a disconnect or a stall (fastchess's Termination tags),
// and fastchess's warnings that name it (a bestmove or pv line fastchess
// found wrong). Prints "Brevalt faults: N" and one line per fault.
//   node faults.mjs games.pgn fastchess.out [fastchess.log]
import fs from 'node:fs';

const [pgnFile, ...logs] = process.argv.slice(2);
const faults = [];
const text = fs.existsSync(pgnFile) ? fs.readFileSync(pgnFile, 'utf8') : '';
let games = 0;
for (const game of text.split(/\n(?=\[Event )/)) {
  const tag = (name) => (new RegExp(`\\[${name} "([^"]*)"\\]`).exec(game) || [])[1];
  if (!tag('Event')) continue;
  games += 1;
  const termination = (tag('Termination') || '').toLowerCase();
  const result = tag('Result');
  const brevaltLost = (tag('White') === 'Brevalt' && result === '0-1') || (tag('Black') === 'Brevalt' && result === '1-0');
  if (/time forfeit|illegal|abandon|stall|disconnect|unterminated/.test(termination) && (brevaltLost || result === '*'))
    faults.push(`game ${games} (${tag('White')} - ${tag('Black')}, ${result}): ${termination}`);
}
for (const file of logs) {
  if (!fs.existsSync(file)) continue;
  for (const line of fs.readFileSync(file, 'utf8').split('\n'))
    if (/Brevalt/.test(line) && /warn|illegal|loses on time|disconnect|stall|invalid/i.test(line)) faults.push(line.trim());
}
console.log(`Brevalt faults: ${faults.length} in ${games} games`);
for (const f of faults) console.log(`  ${f}`);

// The book tool's counts checked against chess.js, an independent rules
// library. The same PGN files are read and replayed by chess.js, every
// position's results are counted as the book counts them (positions after
// 0 to the tool's ply limit, once per game, games from a set-up position or
// without a result left out, a game that repeats an earlier counted game's
// moves left out), and the tool must agree on the game totals, on the
// number of records, and, through its probe, on the counts of a sample of
// positions and of every position one move after them.
//
// The engine's book key holds the placement of the men and the side to
// move, not the castling rights or the en passant square that a FEN also
// holds: positions are compared on the engine's terms, by the first two
// fields of chess.js's FEN.
//
// Usage: node book_reference.mjs PATH/TO/brevalt-book FILE.pgn[.xz] ...
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

// chess.js is installed beside the perft reference.
const require = createRequire(new URL('../reference/package.json', import.meta.url));
const { Chess } = require('chess.js');

// How many positions the probe is asked about: spread over the key order,
// the most played ones, and ones at the ply limit (whose moves lead out of
// the book).
const SPREAD_SAMPLES = 60;
const TOP_SAMPLES = 10;
const LIMIT_SAMPLES = 10;

const RESULTS = { '1-0': 0, '0-1': 1, '1/2-1/2': 2 };

const [tool, ...files] = process.argv.slice(2);
if (!tool || files.length === 0) {
  console.error('usage: node book_reference.mjs PATH/TO/brevalt-book FILE.pgn[.xz] ...');
  process.exit(2);
}

// Placement and side to move: what the engine's key tells apart.
const positionOf = (fen) => fen.split(' ').slice(0, 2).join(' ');

// Step 1. The tool's build and its totals.
const dir = mkdtempSync(join(tmpdir(), 'brevalt-book-ref-'));
const book = join(dir, 'book.bin');
const summaryText = execFileSync(tool, ['build', book, ...files], {
  encoding: 'utf8',
  stdio: ['ignore', 'pipe', 'inherit'],
});
const summary = {};
for (const line of summaryText.trim().split('\n')) {
  const [name, value] = line.split(': ');
  summary[name] = Number(value);
}
const plyLimit = summary['ply limit'];

// Step 2. The same games through chess.js.
const counts = new Map(); // position -> [white, black, draws]
const fenOf = new Map(); // position -> a full FEN of it, to probe with
const plyOf = new Map(); // position -> the ply it was first met at
const seenGames = new Set();
const mine = { games: 0, setup: 0, noResult: 0, duplicate: 0 };
for (const file of files) {
  const raw = file.endsWith('.xz') ? execFileSync('xz', ['-dc', file]) : readFileSync(file);
  const text = raw.toString('latin1').replace(/\r/g, '');
  for (const game of text.split(/\n(?=\[Event )/)) {
    if (!game.trim()) continue;
    ++mine.games;
    const tags = Object.fromEntries([...game.matchAll(/^\[(\w+)\s+"(.*)"\]$/gm)].map((m) => [m[1], m[2]]));
    if (tags.FEN !== undefined || tags.SetUp === '1') {
      ++mine.setup;
      continue;
    }
    const movetext = game.split('\n').filter((l) => !l.startsWith('[')).join(' ').trim();
    const last = movetext.split(/\s+/).pop();
    if (!(last in RESULTS) || tags.Result === '*') {
      ++mine.noResult;
      continue;
    }
    const chess = new Chess();
    chess.loadPgn(game); // throws on a move chess.js cannot play: the slices hold none
    const history = chess.history({ verbose: true });
    const identity = history.map((m) => m.lan).join(' ');
    if (seenGames.has(identity)) {
      ++mine.duplicate;
      continue;
    }
    seenGames.add(identity);
    const fens = [new Chess().fen(), ...history.map((m) => m.after)].slice(0, plyLimit + 1);
    const once = new Set();
    fens.forEach((fen, ply) => {
      const position = positionOf(fen);
      if (once.has(position)) return;
      once.add(position);
      if (!counts.has(position)) {
        counts.set(position, [0, 0, 0]);
        fenOf.set(position, fen);
        plyOf.set(position, ply);
      }
      ++counts.get(position)[RESULTS[last]];
    });
  }
}

let failures = 0;
function check(what, actual, expected) {
  if (actual === expected) return;
  ++failures;
  console.log(`FAIL ${what}: tool ${actual}, chess.js ${expected}`);
}

// Step 3. Totals.
check('games read', summary['games read'], mine.games);
check('skipped, set-up position', summary['skipped, set-up position'], mine.setup);
check('skipped, no result', summary['skipped, no result'], mine.noResult);
check('skipped, duplicate', summary['skipped, duplicate'], mine.duplicate);
check('cut short by an illegal move', summary['cut short by an illegal move'], 0);
check('records written', summary['records written'], counts.size);
console.log(
  `totals: ${mine.games} games (${mine.setup} from a set-up position, ${mine.noResult} without a result, ` +
    `${mine.duplicate} repeated), ${counts.size} positions up to ply ${plyLimit}`,
);

// Step 4. The sample, probed position by position.
const positions = [...counts.keys()].sort();
const sample = new Set([positionOf(new Chess().fen())]);
for (let i = 0; i < SPREAD_SAMPLES; ++i) sample.add(positions[Math.floor((i * positions.length) / SPREAD_SAMPLES)]);
const total = (p) => counts.get(p).reduce((a, b) => a + b, 0);
[...positions].sort((a, b) => total(b) - total(a) || (a < b ? -1 : 1)).slice(0, TOP_SAMPLES).forEach((p) => sample.add(p));
positions.filter((p) => plyOf.get(p) === plyLimit).slice(0, LIMIT_SAMPLES).forEach((p) => sample.add(p));

const shown = (position) => (counts.has(position) ? counts.get(position).join(' ') : 'not in book');
let compared = 0;
for (const position of sample) {
  const fen = fenOf.get(position);
  const lines = execFileSync(tool, ['probe', book, fen], { encoding: 'utf8' }).trim().split('\n');
  const reported = new Map();
  for (const line of lines) {
    const [name, rest] = line.split(': ');
    reported.set(name, rest.replace(/ (accepted|refused)$/, ''));
  }
  check(`${fen}: the position`, reported.get('position'), shown(position));
  ++compared;
  // Every move chess.js allows (promotions to a queen, as the engine
  // plays them), and no other, with the counts of the position it leads to.
  const chess = new Chess(fen);
  const moves = chess.moves({ verbose: true }).filter((m) => !m.promotion || m.promotion === 'q');
  check(`${fen}: number of moves`, reported.size - 1, moves.length);
  for (const move of moves) {
    check(`${fen}: ${move.lan}`, reported.get(move.lan), shown(positionOf(move.after)));
    ++compared;
  }
}
rmSync(dir, { recursive: true, force: true });
console.log(`${compared} positions compared in ${sample.size} probes`);
console.log(failures ? `${failures} difference(s)` : 'the book agrees with chess.js');
process.exit(failures ? 1 : 0);

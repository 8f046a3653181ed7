// A tiny UCI engine for the match tool's tests, keeping the position with
// chess.js. Its first argument picks how it plays:
//   legal [DELAY_MS]  a mating move when there is one, else the first legal
//                     move, after DELAY_MS (default 0); "bestmove X ponder
//                     Y" guessing the opponent's first legal reply on its
//                     odd-numbered moves and the last one on the others
//   illegal           moves its king two squares along its file
//   crash             exits with status 3 on its second "go"
//   silent            answers "uci" and "isready" but never moves
//   slow              moves 300 ms after its clock (or movetime) has run out
//   at OFFSET_MS      moves OFFSET_MS after its clock runs out (before it
//                     when negative, at once when that is already past)
//   castle-promote    castles when it can (e1g1), else promotes to a knight
//                     when it can (b7a8n), else the first legal move
//   shuffle           moves a knight out and back (g1f3 f3g1 ...)
//   early             like legal, but answers "go ponder" at once, which a
//                     pondering engine must not do
//   interrupt         like legal with White; with Black, on its first "go"
//                     it interrupts the program that started it (SIGINT to
//                     its parent, as a person's Ctrl-C) and does not move
// On "uci" it adds its process id to the file fake-uci.started in its
// working folder, which shows where it ran.
// It checks the tool's side of the protocol and exits with status 9 and a
// line on standard error when the tool breaks it: a command before "uci",
// "position" or "go" during a search, "ponderhit" when not pondering, a
// "go" without a position, or a move in "position" that is not legal.
import fs from 'node:fs';
import { createRequire } from 'node:module';
import { performance } from 'node:perf_hooks';
import readline from 'node:readline';
import { playCoordinateMove } from '../../../tools/match/lib/notation.mjs';

const require = createRequire(new URL('../../../tools/match/package.json', import.meta.url));
const { Chess } = require('chess.js');

const [behaviour = 'legal', delayArg = '0'] = process.argv.slice(2);
const delayMs = Number(delayArg);
const out = (line) => process.stdout.write(line + '\n');

function violation(text) {
  process.stderr.write(`fake uci: protocol broken: ${text}\n`);
  process.exit(9);
}

const uci = (m) => m.from + m.to + (m.promotion ?? '');

let greeted = false;
let board = null; // the position of the last "position", null after a "go"
let search = null; // { board, ponder, timer, clockMs }
let moves = 0;
let gos = 0;

function choose(b) {
  const legal = b.moves({ verbose: true });
  if (behaviour === 'illegal') {
    const king = b.findPiece({ type: 'k', color: b.turn() })[0];
    const rank = Number(king[1]);
    return `${king}${king[0]}${rank <= 6 ? rank + 2 : rank - 2}`;
  }
  if (behaviour === 'castle-promote') {
    const pick =
      legal.find((m) => m.flags.includes('k') || m.flags.includes('q')) ?? legal.find((m) => m.promotion === 'n');
    if (pick) return uci(pick);
  }
  if (behaviour === 'shuffle') {
    const home = b.turn() === 'w' ? ['g1', 'f3'] : ['g8', 'f6'];
    const pick = legal.find((m) => m.piece === 'n' && home.includes(m.from) && home.includes(m.to));
    if (pick) return uci(pick);
  }
  for (const m of legal) {
    b.move(m);
    const mate = b.isCheckmate();
    b.undo();
    if (mate) return uci(m);
  }
  return uci(legal[0]);
}

// The lines answering search s, its move and its thinking, worked out once
// and written at once, so that a wait before them is all the time it takes.
function reply(s) {
  if (s.lines === null) {
    const text = choose(s.board);
    let line = `bestmove ${text}`;
    const after = new Chess(s.board.fen());
    if (playCoordinateMove(after, text)) {
      const replies = after.moves({ verbose: true });
      if (replies.length) line += ` ponder ${uci(moves % 2 === 0 ? replies[0] : replies[replies.length - 1])}`;
    }
    moves++;
    s.lines = `info depth 3 score cp ${17 + moves} nodes 100 pv ${text}\n${line}\n`;
  }
  return s.lines;
}

function answer() {
  const s = search;
  search = null;
  clearTimeout(s.timer);
  process.stdout.write(reply(s));
}

function think() {
  if (behaviour === 'silent') return;
  reply(search);
  let wait = delayMs;
  if (behaviour === 'slow') wait = search.clockMs + 300;
  else if (behaviour === 'at') wait = search.clockMs + delayMs;
  // Counted from the arrival of "go" or "ponderhit": working out the move
  // used some of it.
  search.timer = setTimeout(answer, Math.max(0, wait - (performance.now() - search.since)));
}

const rl = readline.createInterface({ input: process.stdin });
rl.on('line', (raw) => {
  const [cmd, ...rest] = raw.trim().split(/\s+/);
  if (cmd === '') return;
  if (cmd === 'quit') process.exit(0);
  if (!greeted && cmd !== 'uci') violation(`"${raw}" before "uci"`);
  if (cmd === 'uci') {
    greeted = true;
    fs.appendFileSync('fake-uci.started', `${process.pid}\n`);
    out(`id name Fake UCI ${behaviour}`);
    out('option name Hash type spin default 1 min 1 max 64');
    out('option name Ponder type check default false');
    out('uciok');
  } else if (cmd === 'isready') out('readyok');
  else if (cmd === 'setoption' || cmd === 'ucinewgame') {
    // accepted and forgotten
  } else if (cmd === 'position') {
    if (search) violation(`"${raw}" during a search`);
    if (rest[0] !== 'startpos' || (rest.length > 1 && rest[1] !== 'moves')) violation(`"${raw}"`);
    board = new Chess();
    for (const text of rest.slice(2)) {
      if (!playCoordinateMove(board, text)) violation(`"${text}" in "${raw}" is not legal`);
    }
  } else if (cmd === 'go') {
    if (search) violation(`"${raw}" during a search`);
    if (!board) violation(`"${raw}" without a position`);
    gos++;
    if (behaviour === 'crash' && gos >= 2) {
      process.stderr.write('fake crash: giving up\n');
      process.exit(3);
    }
    if (behaviour === 'interrupt' && board.turn() === 'b') {
      process.kill(process.ppid, 'SIGINT');
      return;
    }
    const words = Object.fromEntries(rest.map((w, k) => [w, rest[k + 1]]));
    const clockMs = Number(words.movetime ?? (board.turn() === 'w' ? words.wtime : words.btime));
    search = { board, ponder: rest[0] === 'ponder', timer: null, clockMs, lines: null, since: performance.now() };
    board = null;
    if (search.ponder && behaviour === 'early') answer();
    else if (!search.ponder) think();
  } else if (cmd === 'ponderhit') {
    if (!search || !search.ponder) violation('"ponderhit" when not pondering');
    search.ponder = false;
    search.since = performance.now();
    think();
  } else if (cmd === 'stop') {
    if (search) answer();
  } else violation(`unknown command "${raw}"`);
});
rl.on('close', () => process.exit(0));

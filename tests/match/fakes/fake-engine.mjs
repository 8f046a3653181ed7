// A tiny xboard-protocol engine for the match tool's tests. It keeps the
// position with chess.js (from tools/match/node_modules), follows "new",
// "force", "go", moves (bare or after "usermove") and "ping", and lets each
// fake decide what it prints when it is on move. A real engine would
// search; these only misbehave in chosen ways.
import { createRequire } from 'node:module';
import readline from 'node:readline';
import { playCoordinateMove } from '../../../tools/match/lib/notation.mjs';

const require = createRequire(new URL('../../../tools/match/package.json', import.meta.url));
export const { Chess } = require('chess.js');

const KNOWN = new Set([
  'xboard', 'accepted', 'rejected', 'level', 'st', 'time', 'otim', 'post', 'nopost',
  'easy', 'hard', 'computer', 'result', 'name', 'ics', 'random',
]);

// options:
//   features  the feature line (without "feature ") sent after "protover"
//   play(board, state) -> array of lines to print when on move, or null to
//             stay silent; `state` carries the fake's own counters:
//             state.turns (moves made so far), state.clockMs (last "time"),
//             state.force (in force mode when the move came).
//             A line "move X" must be followed by the fake applying its
//             move: return { lines, move } where move is a chess.js move.
//   onMove(board, text, state) -> lines to print instead of accepting a
//             received move (for a fake that rejects moves), or null.
export function runFake({ features = 'done=1', play, onMove = null }) {
  let board = new Chess();
  let force = false;
  let side = 'b';
  const state = { turns: 0, clockMs: null, force: false };
  const out = (line) => process.stdout.write(line + '\n');

  const think = () => {
    const answer = play(board, state);
    if (!answer) return;
    if (answer.move) {
      board.move({ from: answer.move.from, to: answer.move.to, promotion: answer.move.promotion });
      state.turns++;
    }
    const emit = () => answer.lines.forEach(out);
    if (answer.delayMs) setTimeout(emit, answer.delayMs);
    else emit();
  };

  const receiveMove = (text) => {
    state.force = force;
    const rejected = onMove ? onMove(board, text, state) : null;
    if (rejected) {
      rejected.forEach(out);
      return;
    }
    if (!playCoordinateMove(board, text)) {
      out(`Illegal move: ${text}`);
      return;
    }
    if (!force && board.turn() === side) think();
  };

  const rl = readline.createInterface({ input: process.stdin });
  rl.on('line', (raw) => {
    const line = raw.trim();
    const [cmd, ...rest] = line.split(/\s+/);
    if (cmd === '') return;
    if (cmd === 'protover') out(`feature ${features}`);
    else if (cmd === 'new') {
      board = new Chess();
      force = false;
      side = 'b';
      state.turns = 0;
    } else if (cmd === 'force') force = true;
    else if (cmd === 'go') {
      force = false;
      side = board.turn();
      think();
    } else if (cmd === 'ping') out(`pong ${rest[0]}`);
    else if (cmd === 'quit') process.exit(0);
    else if (cmd === 'usermove') receiveMove(rest[0]);
    else if (cmd === 'time') state.clockMs = Number(rest[0]) * 10;
    else if (KNOWN.has(cmd)) {
      // nothing to do
    } else if (/^[a-h][1-8][a-h][1-8][qrbn]?$/.test(cmd)) receiveMove(cmd);
    else out(`Error (unknown command): ${cmd}`);
  });
  rl.on('close', () => process.exit(0));
}

// The first legal move chess.js lists, in coordinate notation.
export function firstLegal(board) {
  const move = board.moves({ verbose: true })[0];
  return move ? { move, lines: [`move ${move.from}${move.to}${move.promotion ?? ''}`] } : null;
}

#!/usr/bin/env node
// Counts, in the match tool's protocol transcripts, how often the opponent
// played the reply Brevalt expected: the second move of the variation in
// Brevalt's last thinking line before each of its moves, which is the move
// it ponders on (with "hard") or keeps as its expected reply. With
// pondering on, each such reply was answered from a ponder search that had
// the right move on the board: a ponder hit, or a reply stored by a ponder
// search that had already finished.
//
// Usage: node tools/soak/ponder_hits.mjs LOG_DIR... [--engine NAME]
// Prints one line per folder and a total.
import fs from 'node:fs';
import path from 'node:path';
import { Chess } from '../match/node_modules/chess.js/dist/esm/chess.js';
import { parseEngineMove } from '../match/lib/notation.mjs';

const args = process.argv.slice(2);
let engine = 'Brevalt';
const dirs = [];
for (let i = 0; i < args.length; ++i) {
  if (args[i] === '--engine') engine = args[++i];
  else dirs.push(args[i]);
}

// A move as the engine's thinking line writes it: the piece standing on the
// target square afterwards (a promotion shows the queen, castling the king),
// nothing for a pawn, whose capture shows its file; 'x' for a capture.
function engineNotation(move) {
  const capture = move.captured !== undefined;
  if (move.piece === 'p' && move.promotion === undefined) return (capture ? `${move.from[0]}x` : '') + move.to;
  const letter = (move.promotion ?? move.piece).toUpperCase();
  return letter + (capture ? 'x' : '') + move.to;
}

// A transcript line: milliseconds, the side's label (White or Black),
// "<" for a line sent to that engine or ">" for one it printed, the text.
const LINE = /^\s*[\d.]+ (\S+) (<|>) {1,2}(.*)$/;

function countGame(file) {
  const lines = fs.readFileSync(file, 'utf8').split('\n');
  // The engine's label is the side whose feature lines name it.
  let label = null;
  for (const raw of lines) {
    const m = LINE.exec(raw);
    if (m && m[2] === '>' && m[3].startsWith('feature myname=') && m[3].includes(engine)) label = m[1];
  }
  const board = new Chess();
  let lastPv = null;
  let prediction = null;
  let predicted = 0;
  let hits = 0;
  for (const raw of lines) {
    const m = LINE.exec(raw);
    if (!m || m[1] !== label) continue;
    const [, , way, text] = m;
    const dir = way === '>' ? '<' : '>';  // below: '<' the engine printed, '>' it was sent
    if (dir === '>' && /^new$/.test(text)) {
      board.reset();
      lastPv = prediction = null;
    } else if (dir === '<' && /^\d+ -?\d+ \d+ \d+ /.test(text)) {
      lastPv = text.trim().split(/\s+/).slice(4);
    } else if (dir === '<' && text.startsWith('move ')) {
      const move = parseEngineMove(board, text.slice(5));
      if (!move) return { predicted, hits, broken: true };
      board.move(move);
      prediction = lastPv && lastPv.length >= 2 ? lastPv[1] : null;
      if (prediction) ++predicted;
      lastPv = null;
    } else if (dir === '>' && /^(usermove )?[a-h][1-8][a-h][1-8][qrbn]?$/.test(text)) {
      const coords = text.replace(/^usermove /, '');
      let move;
      try {
        move = board.move({ from: coords.slice(0, 2), to: coords.slice(2, 4), promotion: coords[4] });
      } catch {
        return { predicted, hits, broken: true };
      }
      if (prediction && engineNotation(move) === prediction) ++hits;
      prediction = null;
    }
  }
  return { predicted, hits, broken: false };
}

let allPredicted = 0;
let allHits = 0;
for (const dir of dirs) {
  let predicted = 0;
  let hits = 0;
  let broken = 0;
  for (const f of fs.readdirSync(dir).filter((n) => n.endsWith('.log')).sort()) {
    const r = countGame(path.join(dir, f));
    predicted += r.predicted;
    hits += r.hits;
    if (r.broken) ++broken;
  }
  allPredicted += predicted;
  allHits += hits;
  console.log(`${dir}: ${hits} of ${predicted} expected replies played${broken ? ` (${broken} transcripts not read to the end)` : ''}`);
}
console.log(`total: ${allHits} of ${allPredicted} expected replies played`);

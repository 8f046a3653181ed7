// Short, well-known opening lines in coordinate notation, played from the
// standard starting position before the engines take over. Each game pair
// plays one line twice, with colours swapped.
import fs from 'node:fs';
import { Chess } from 'chess.js';
import { playCoordinateMove } from './notation.mjs';

export const OPENINGS = [
  ['Ruy Lopez, Morphy Defence', 'e2e4 e7e5 g1f3 b8c6 f1b5 a7a6'],
  ['Ruy Lopez, Berlin Defence', 'e2e4 e7e5 g1f3 b8c6 f1b5 g8f6 e1g1 f6e4'],
  ['Italian Game, Giuoco Piano', 'e2e4 e7e5 g1f3 b8c6 f1c4 f8c5'],
  ['Two Knights Defence', 'e2e4 e7e5 g1f3 b8c6 f1c4 g8f6'],
  ['Evans Gambit Accepted', 'e2e4 e7e5 g1f3 b8c6 f1c4 f8c5 b2b4 c5b4'],
  ['Scotch Game', 'e2e4 e7e5 g1f3 b8c6 d2d4 e5d4'],
  ['Four Knights Game', 'e2e4 e7e5 g1f3 b8c6 b1c3 g8f6'],
  ['Ponziani Opening', 'e2e4 e7e5 g1f3 b8c6 c2c3 g8f6'],
  ['Petrov Defence', 'e2e4 e7e5 g1f3 g8f6 f3e5 d7d6'],
  ['Philidor Defence', 'e2e4 e7e5 g1f3 d7d6 d2d4 g8f6'],
  ['Vienna Gambit', 'e2e4 e7e5 b1c3 g8f6 f2f4 d7d5'],
  ["King's Gambit Accepted", 'e2e4 e7e5 f2f4 e5f4 g1f3 g7g5'],
  ['Centre Game', 'e2e4 e7e5 d2d4 e5d4 d1d4 b8c6'],
  ["Bishop's Opening", 'e2e4 e7e5 f1c4 g8f6 d2d3 c7c6'],
  ['Sicilian Defence, Open, 2...d6', 'e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6'],
  ['Sicilian Defence, Open, 2...Nc6', 'e2e4 c7c5 g1f3 b8c6 d2d4 c5d4 f3d4 g8f6'],
  ['Sicilian Defence, Taimanov', 'e2e4 c7c5 g1f3 e7e6 d2d4 c5d4 f3d4 b8c6'],
  ['Sicilian Defence, Alapin', 'e2e4 c7c5 c2c3 g8f6 e4e5 f6d5'],
  ['Sicilian Defence, Closed', 'e2e4 c7c5 b1c3 b8c6 g2g3 g7g6'],
  ['Sicilian Defence, Rossolimo', 'e2e4 c7c5 g1f3 b8c6 f1b5 g7g6'],
  ['French Defence, Winawer', 'e2e4 e7e6 d2d4 d7d5 b1c3 f8b4'],
  ['French Defence, Tarrasch', 'e2e4 e7e6 d2d4 d7d5 b1d2 g8f6'],
  ['French Defence, Advance', 'e2e4 e7e6 d2d4 d7d5 e4e5 c7c5'],
  ['Caro-Kann Defence, Classical', 'e2e4 c7c6 d2d4 d7d5 b1c3 d5e4 c3e4 c8f5'],
  ['Caro-Kann Defence, Advance', 'e2e4 c7c6 d2d4 d7d5 e4e5 c8f5'],
  ['Pirc Defence', 'e2e4 d7d6 d2d4 g8f6 b1c3 g7g6'],
  ['Modern Defence', 'e2e4 g7g6 d2d4 f8g7 b1c3 d7d6'],
  ['Alekhine Defence', 'e2e4 g8f6 e4e5 f6d5 d2d4 d7d6'],
  ['Scandinavian Defence', 'e2e4 d7d5 e4d5 d8d5 b1c3 d5a5'],
  ["Queen's Gambit Declined", 'd2d4 d7d5 c2c4 e7e6 b1c3 g8f6'],
  ["Queen's Gambit Accepted", 'd2d4 d7d5 c2c4 d5c4 g1f3 g8f6'],
  ['Tarrasch Defence', 'd2d4 d7d5 c2c4 e7e6 b1c3 c7c5'],
  ['Slav Defence', 'd2d4 d7d5 c2c4 c7c6 g1f3 g8f6'],
  ['Semi-Slav Defence', 'd2d4 d7d5 c2c4 c7c6 g1f3 g8f6 b1c3 e7e6'],
  ['Nimzo-Indian Defence', 'd2d4 g8f6 c2c4 e7e6 b1c3 f8b4'],
  ["Queen's Indian Defence", 'd2d4 g8f6 c2c4 e7e6 g1f3 b7b6'],
  ['Bogo-Indian Defence', 'd2d4 g8f6 c2c4 e7e6 g1f3 f8b4'],
  ['Catalan Opening', 'd2d4 g8f6 c2c4 e7e6 g2g3 d7d5 f1g2'],
  ["King's Indian Defence", 'd2d4 g8f6 c2c4 g7g6 b1c3 f8g7 e2e4 d7d6'],
  ['Grünfeld Defence', 'd2d4 g8f6 c2c4 g7g6 b1c3 d7d5'],
  ['Modern Benoni', 'd2d4 g8f6 c2c4 c7c5 d4d5 e7e6'],
  ['Benko Gambit', 'd2d4 g8f6 c2c4 c7c5 d4d5 b7b5'],
  ['Dutch Defence, Leningrad', 'd2d4 f7f5 g2g3 g8f6 f1g2 g7g6'],
  ['London System', 'd2d4 d7d5 c1f4 g8f6 e2e3 c7c5'],
  ['Colle System', 'd2d4 d7d5 g1f3 g8f6 e2e3 e7e6'],
  ['Trompowsky Attack', 'd2d4 g8f6 c1g5 f6e4'],
  ['English Opening, Symmetrical', 'c2c4 c7c5 b1c3 b8c6 g2g3 g7g6'],
  ['English Opening, Reversed Sicilian', 'c2c4 e7e5 b1c3 g8f6 g2g3 d7d5'],
  ['Réti Opening', 'g1f3 d7d5 c2c4 e7e6 g2g3 g8f6'],
  ["King's Indian Attack", 'g1f3 d7d5 g2g3 g8f6 f1g2 c7c5 e1g1'],
  ["Bird's Opening", 'f2f4 d7d5 g1f3 g8f6 e2e3 g7g6'],
  ['Nimzowitsch-Larsen Attack', 'b2b3 e7e5 c1b2 b8c6 e2e3 g8f6'],
].map(([name, line]) => ({ name, moves: line.split(' ') }));

// Plays every line on a board and throws, naming the line and the move,
// when a move is not legal there.
export function checkOpenings(openings) {
  for (const { name, moves } of openings) {
    const board = new Chess();
    for (const mv of moves) {
      if (!playCoordinateMove(board, mv)) throw new Error(`opening "${name}": move ${mv} is not legal after ${board.history().join(' ') || 'the start'}`);
    }
  }
  return openings;
}

// Opening lines from a text file: one line per opening, coordinate moves
// separated by spaces, optionally followed by "; name". Empty lines and lines
// starting with "#" are skipped.
export function readOpeningsFile(file) {
  const openings = [];
  const lines = fs.readFileSync(file, 'utf8').split(/\r?\n/);
  lines.forEach((raw, i) => {
    const line = raw.trim();
    if (line === '' || line.startsWith('#')) return;
    const [movesPart, ...nameParts] = line.split(';');
    const moves = movesPart.trim().split(/\s+/).filter(Boolean);
    const name = nameParts.join(';').trim() || `${file}:${i + 1}`;
    openings.push({ name, moves });
  });
  if (openings.length === 0) throw new Error(`${file} holds no opening lines`);
  return openings;
}

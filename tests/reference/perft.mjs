// Perft by an independent rules library (chess.js), with promotions
// restricted to queens so that the counts compare with the engine, which
// promotes to nothing else. The walk uses the library's own move generator,
// make and undo: the same internal routines its built-in perft() uses, but
// that one counts all four promotion pieces.
//
// As a command: node perft.mjs "FEN" DEPTH [divide]
import { Chess } from 'chess.js';

// A move counts when it is no promotion or a promotion to a queen.
const queenOrNone = (move) => move.promotion === undefined || move.promotion === 'q';

// 0x88 square index -> "e2".
const squareName = (sq) => 'abcdefgh'[sq & 15] + String(8 - (sq >> 4));

function legalQueenMoves(chess) {
  return chess._moves({ legal: true }).filter(queenOrNone);
}

function walk(chess, depth) {
  const moves = legalQueenMoves(chess);
  if (depth === 1) return moves.length;
  let nodes = 0;
  for (const move of moves) {
    chess._makeMove(move);
    nodes += walk(chess, depth - 1);
    chess._undoMove();
  }
  return nodes;
}

// Leaves of the legal-move tree of `depth` plies, queen promotions only.
export function perftQueens(fen, depth) {
  const chess = new Chess(fen);
  return depth < 1 ? 1 : walk(chess, depth);
}

// Per root move: [{ move: "e2e4" / "e7e8q", nodes }], depth >= 1.
export function divideQueens(fen, depth) {
  const chess = new Chess(fen);
  return legalQueenMoves(chess).map((move) => {
    chess._makeMove(move);
    const nodes = depth > 1 ? walk(chess, depth - 1) : 1;
    chess._undoMove();
    const name = squareName(move.from) + squareName(move.to) + (move.promotion ? 'q' : '');
    return { move: name, nodes };
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [fen, depthText, mode] = process.argv.slice(2);
  const depth = Number.parseInt(depthText, 10);
  if (!fen || !(depth >= 1)) {
    console.error('usage: node perft.mjs "FEN" DEPTH [divide]');
    process.exit(2);
  }
  if (mode === 'divide') {
    for (const { move, nodes } of divideQueens(fen, depth)) console.log(`${move}: ${nodes}`);
  }
  console.log(String(perftQueens(fen, depth)));
}

// Chess960 perft by chessops (lichess's rules library), an implementation of
// the rules independent of the engine's, with promotions restricted to
// queens as in perft.mjs (the engine promotes to nothing else). Castling is
// the king's move onto its own rook, the form chessops and UCI's Chess960
// mode use, so the per-move breakdown names it "e1h1", "b1a1".
//
// As a command: node perft960.mjs "X-FEN or Shredder-FEN" DEPTH [divide]
import { Chess } from 'chessops/chess';
import { parseFen } from 'chessops/fen';
import { makeSquare } from 'chessops/util';

export function position(fen) {
  const setup = parseFen(fen);
  if (setup.isErr) throw new Error(`unreadable FEN "${fen}": ${setup.error.message}`);
  const pos = Chess.fromSetup(setup.value);
  if (pos.isErr) throw new Error(`impossible position "${fen}": ${pos.error.message}`);
  return pos.value;
}

// The legal moves, a pawn reaching the last rank once, as a queen.
function legalQueenMoves(pos) {
  const moves = [];
  for (const [from, dests] of pos.allDests()) {
    const pawn = pos.board.get(from).role === 'pawn';
    for (const to of dests) {
      const last = to >> 3 === 0 || to >> 3 === 7;
      moves.push(pawn && last ? { from, to, promotion: 'queen' } : { from, to });
    }
  }
  return moves;
}

function walk(pos, depth) {
  const moves = legalQueenMoves(pos);
  if (depth === 1) return moves.length;
  let nodes = 0;
  for (const move of moves) {
    const child = pos.clone();
    child.play(move);
    nodes += walk(child, depth - 1);
  }
  return nodes;
}

export function perft960(fen, depth) {
  return depth < 1 ? 1 : walk(position(fen), depth);
}

// Per root move: [{ move: "e1h1" / "e7e8q", nodes }], depth >= 1.
export function divide960(fen, depth) {
  const pos = position(fen);
  return legalQueenMoves(pos).map((move) => {
    const child = pos.clone();
    child.play(move);
    const nodes = depth > 1 ? walk(child, depth - 1) : 1;
    return { move: makeSquare(move.from) + makeSquare(move.to) + (move.promotion ? 'q' : ''), nodes };
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [fen, depthText, mode] = process.argv.slice(2);
  const depth = Number.parseInt(depthText, 10);
  if (!fen || !(depth >= 1)) {
    console.error('usage: node perft960.mjs "FEN" DEPTH [divide]');
    process.exit(2);
  }
  if (mode === 'divide') {
    for (const { move, nodes } of divide960(fen, depth)) console.log(`${move}: ${nodes}`);
  }
  console.log(String(perft960(fen, depth)));
}

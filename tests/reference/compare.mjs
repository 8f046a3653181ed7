// Runs the engine's perft tool on positions chosen to exercise the special
// rules (castling, promotion, en passant, pins, checks) and compares every
// count with chess.js, an independent implementation of the rules, walked
// with promotions restricted to queens as the engine plays them. On a
// difference the per-move breakdowns of both are compared to name the root
// moves that disagree.
//
// Usage: node compare.mjs PATH/TO/brevalt-perft
import { execFileSync } from 'node:child_process';
import { perftQueens, divideQueens } from './perft.mjs';

// [description, FEN, depth]. Depths keep the whole run to some seconds.
const POSITIONS = [
  ['start position', 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1', 4],
  ['Kiwipete: castling, pins, en passant, promotions', 'r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -', 4],
  ['perft position 3: rank pins and en passant', '8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1', 5],
  ['perft position 4', 'r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1', 4],
  ['perft position 4 mirrored', 'r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1', 4],
  ['perft position 5', 'rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8', 4],
  ['perft position 6', 'r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10', 3],
  // En passant.
  ['en passant along the rank exposes the white king (exd6 refused)', '8/8/8/K2pP2r/8/8/8/7k w - d6 0 1', 4],
  ['en passant along the rank exposes the black king (exd3 refused)', '8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1', 4],
  ['en passant removes a diagonal blocker (exd3 refused)', '8/k7/8/8/3Pp3/8/8/4K1B1 b - d3 0 1', 4],
  ['en passant by a diagonally pinned pawn (refused)', '4k2b/8/8/3pP3/8/8/8/K7 w - d6 0 1', 4],
  ['en passant by a file-pinned pawn (refused)', '4r2k/8/8/3pP3/8/8/8/4K3 w - d6 0 1', 4],
  ['en passant captures the checking pawn', '8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1', 4],
  ['en passant gives check', '8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1', 5],
  ['illegal en passant: king on the rank', '3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1', 5],
  ['illegal en passant: bishop pin', '8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1', 5],
  // Castling.
  ['kingside castling gives check', '5k2/8/8/8/8/8/8/4K2R w K - 0 1', 5],
  ['queenside castling gives check', '3k4/8/8/8/8/8/8/R3K3 w Q - 0 1', 5],
  ['castling rights and attacked squares', 'r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1', 3],
  ['castling prevented by queens', 'r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1', 3],
  ['rook captured on its corner, another rook arrives there', 'k7/7R/8/8/8/8/6b1/4K2R b K - 0 1', 4],
  // Promotion.
  ['promotions of both colours with captures', 'n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1', 4],
  ['promotion out of check', '2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1', 5],
  ['promotion gives check', '4k3/1P6/8/8/8/8/K7/8 w - - 0 1', 5],
  ['promotion race', '8/P1k5/K7/8/8/8/8/8 w - - 0 1', 6],
  ['self stalemate', 'K1k5/8/P7/8/8/8/8/8 w - - 0 1', 6],
  ['stalemate and checkmate', '8/k1P5/8/1K6/8/8/8/8 w - - 0 1', 6],
  // Pins and checks.
  ['pinned bishop', '4k3/8/8/8/1b6/8/3B4/4K3 w - - 0 1', 4],
  ['check by a knight', '4k3/8/8/8/8/3n4/8/RB2K2R w KQ - 0 1', 4],
  ['double check by rook and knight', '4r2k/8/8/8/8/3n4/8/R3K3 w Q - 0 1', 4],
  ['discovered check', '8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1', 4],
  ['stalemate and checkmate by queen and knight', '8/8/2k5/5q2/5n2/8/5K2/8 b - - 0 1', 4],
];

function enginePerft(tool, fen, depth, divide) {
  const args = divide ? [fen, String(depth), 'divide'] : [fen, String(depth)];
  const out = execFileSync(tool, args, { encoding: 'utf8', stdio: ['pipe', 'pipe', 'inherit'] });
  const lines = out.trim().split('\n');
  return { total: Number(lines[lines.length - 1]), lines: lines.slice(0, -1) };
}

function explain(tool, fen, depth) {
  const engine = new Map();
  for (const line of enginePerft(tool, fen, depth, true).lines) {
    const [move, count] = line.split(': ');
    engine.set(move, Number(count));
  }
  const reference = new Map(divideQueens(fen, depth).map(({ move, nodes }) => [move, nodes]));
  for (const move of new Set([...engine.keys(), ...reference.keys()])) {
    const e = engine.get(move);
    const r = reference.get(move);
    if (e !== r) console.log(`    ${move}: engine ${e ?? 'absent'}, chess.js ${r ?? 'absent'}`);
  }
}

const tool = process.argv[2];
if (!tool) {
  console.error('usage: node compare.mjs PATH/TO/brevalt-perft');
  process.exit(2);
}

let failures = 0;
for (const [name, fen, depth] of POSITIONS) {
  for (let d = 1; d <= depth; ++d) {
    const expected = perftQueens(fen, d);
    const actual = enginePerft(tool, fen, d, false).total;
    if (actual !== expected) {
      ++failures;
      console.log(`FAIL ${name}: depth ${d}: engine ${actual}, chess.js ${expected}\n  ${fen}`);
      explain(tool, fen, d);
      break;
    }
    if (d === depth) console.log(`ok   ${name}: depth ${d} = ${actual}`);
  }
}
console.log(failures ? `${failures} position(s) differ` : `all ${POSITIONS.length} positions agree`);
process.exit(failures ? 1 : 0);

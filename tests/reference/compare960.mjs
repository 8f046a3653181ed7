// Runs the engine's perft tool on mid-game Chess960 positions, written as
// X-FEN or Shredder-FEN, that put castling through its special cases, and
// compares every count with chessops, an independent implementation of the
// rules, walked with promotions restricted to queens as the engine plays
// them. Before that, the walk itself is checked against published Chess960
// perft counts. On a difference the per-move breakdowns of both are
// compared to name the root moves that disagree (chessops names castling
// as the king's move onto its rook).
//
// Usage: node compare960.mjs PATH/TO/brevalt-perft
// (the tool is run as: brevalt-perft "FEN" DEPTH [divide] 960)
import { execFileSync } from 'node:child_process';
import { perft960, divide960 } from './perft960.mjs';

// Published counts (Chess960 perft results as listed by Reinhard Scharnagl
// on the chess programming wiki); none of them has a promotion within these
// depths, so the queen-only walk must give them exactly.
const PUBLISHED = [
  ['bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9', [21, 528, 12189, 326672]],
  ['2nnrbkr/p1qppppp/8/1ppb4/6PP/3PP3/PPP2P2/BQNNRBKR w HEhe - 1 9', [21, 807, 18002, 667366]],
  ['b1q1rrkb/pppppppp/3nn3/8/P7/1PPP4/4PPPP/BQNNRKRB w GE - 1 9', [20, 479, 10471, 273318]],
];

// [description, FEN, depth].
const POSITIONS = [
  ['king already on g1: castling moves the rook only', '1r4kr/pp1b1ppp/2n1pn2/2pp4/2PP4/2N1PN2/PP1B1PPP/1R4KR w HBhb - 0 9', 4],
  ['rook already on f1: castling from b1 moves the king only', '1k3r1r/ppp1bppp/2n1pn2/3p4/3P4/2N1PN2/PPP1BPPP/1K3R1R w Ff - 0 9', 4],
  ['king on f1 and rook on g1 swap squares', '1r3kr1/pppb1ppp/2n1pn2/3p4/3P4/2N1PN2/PPPB1PPP/1R3KR1 w GBgb - 0 9', 4],
  ['king on d1 and rook on c1 swap squares (queen side), X-FEN', '2rk2r1/pp1nbppp/2p1pn2/3p4/3P4/2P1PN2/PP1NBPPP/2RK2R1 w KQkq - 0 9', 4],
  ['queen-side castling from b1: king to c1, rook a1 to d1, X-FEN', 'rk2r3/pppq1ppp/2n1bn2/3pp3/3PP3/2N1BN2/PPPQ1PPP/RK2R3 w KQkq - 0 9', 4],
  ['two rooks on the king side, the right on the inner one (file letter)', 'r1rk4/pp1nbppp/2p1pn2/3p4/3P4/2P1PN2/PP1NBPPP/4KR1R w Fc - 0 9', 4],
  ['two rooks on the king side, the right on the outer one, blocked by the inner', 'r1rk4/pp1nbppp/2p1pn2/3p4/3P4/2P1PN2/PP1NBPPP/4KR1R w Ka - 0 9', 4],
  ['castling through an attacked square refused; the rook may land on one', 'rk5r/ppp2ppp/2nq4/8/5B2/2N5/PPP2PPP/RK5R w HAha - 0 9', 4],
  ['castling into check along the file the rook leaves refused', '1r2k1r1/pp3p1p/2n5/8/8/2N5/PP3P1P/1R2K1R1 w GBgb - 0 9', 4],
  ['rights lost by captures on the rooks\' squares', '1r3k1r/p4p1p/8/4B3/4b3/2n5/PP3P1P/1R3K1R w HBhb - 0 9', 4],
  ['published position, Shredder-FEN', PUBLISHED[0][0], 4],
  ['published position with the king on g1, Shredder-FEN', PUBLISHED[2][0], 4],
];

function enginePerft(tool, fen, depth, divide) {
  // The last word "960" has the tool read the position as Chess960 (X-FEN's
  // KQkq then name the outermost rooks).
  const args = divide ? [fen, String(depth), 'divide', '960'] : [fen, String(depth), '960'];
  try {
    const out = execFileSync(tool, args, { encoding: 'utf8', stdio: ['pipe', 'pipe', 'pipe'] });
    const lines = out.trim().split('\n');
    return { total: Number(lines[lines.length - 1]), lines: lines.slice(0, -1) };
  } catch (e) {
    return { total: NaN, lines: [], error: `${(e.stderr ?? '').trim() || e.message}` };
  }
}

function explain(tool, fen, depth) {
  const engine = new Map();
  for (const line of enginePerft(tool, fen, depth, true).lines) {
    const [move, count] = line.split(': ');
    engine.set(move, Number(count));
  }
  const reference = new Map(divide960(fen, depth).map(({ move, nodes }) => [move, nodes]));
  for (const move of new Set([...engine.keys(), ...reference.keys()])) {
    const e = engine.get(move);
    const r = reference.get(move);
    if (e !== r) console.log(`    ${move}: engine ${e ?? 'absent'}, chessops ${r ?? 'absent'}`);
  }
}

const tool = process.argv[2];
if (!tool) {
  console.error('usage: node compare960.mjs PATH/TO/brevalt-perft');
  process.exit(2);
}

let failures = 0;
for (const [fen, counts] of PUBLISHED) {
  counts.forEach((expected, i) => {
    const got = perft960(fen, i + 1);
    if (got !== expected) {
      ++failures;
      console.log(`FAIL reference walk: ${fen} depth ${i + 1}: chessops ${got}, published ${expected}`);
    }
  });
}
if (failures) {
  console.log('the reference walk disagrees with the published counts; the engine is not compared');
  process.exit(1);
}
console.log(`ok   the reference walk gives the published counts of ${PUBLISHED.length} positions`);

for (const [name, fen, depth] of POSITIONS) {
  for (let d = 1; d <= depth; ++d) {
    const expected = perft960(fen, d);
    const actual = enginePerft(tool, fen, d, false);
    if (actual.total !== expected) {
      ++failures;
      console.log(`FAIL ${name}: depth ${d}: engine ${actual.error ? `error: ${actual.error}` : actual.total}, chessops ${expected}\n  ${fen}`);
      if (!actual.error) explain(tool, fen, d);
      break;
    }
    if (d === depth) console.log(`ok   ${name}: depth ${d} = ${actual.total}`);
  }
}
console.log(failures ? `${failures} position(s) differ` : `all ${POSITIONS.length} positions agree`);
process.exit(failures ? 1 : 0);

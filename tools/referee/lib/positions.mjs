// Positions the sessions set up with "setboard": the start position,
// promotions one step away, castling for both sides, en passant chances,
// repetition chances, middlegames, bare endings, lopsided positions (for
// resignations) and mates in one; and positions reached from these by a few
// random legal moves.
import { Chess, START_FEN, playableFen } from './referee.mjs';

// The engine reads at most 78 characters of a command line (and its line
// end): longer "setboard" lines are not sent.
export const MAX_COMMAND = 78;

export const POSITIONS = [
  // the start position
  START_FEN,
  // promotions near
  'R6k/5P2/4N3/8/8/8/8/K7 b - - 0 1',
  '8/5P1k/8/8/8/8/8/K7 w - - 0 1',
  '8/1P4k1/8/8/8/8/6p1/K7 w - - 0 1',
  '4k3/1P6/8/8/8/8/6p1/4K3 b - - 0 1',
  '2r4k/1P5p/8/8/8/8/6p1/4K2R w K - 0 1',
  '1n2k3/P7/8/8/8/8/7p/4K3 w - - 0 1',
  '8/2P5/8/8/5k2/8/3p4/1K6 b - - 0 1',
  '3q2k1/4P3/8/8/8/8/8/4K2R w K - 0 1',
  // castling available for both sides
  'r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1',
  'r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1',
  'r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R w KQkq - 0 1',
  'r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1',
  'r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1',
  'r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1',
  // en passant chances, two of them with the square in the FEN
  '4k3/2p5/8/3P4/8/8/8/4K3 b - - 0 1',
  '4k3/8/8/8/5p2/8/4P1P1/4K3 w - - 0 1',
  'rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3',
  '8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1',
  // repetition chances
  'r6k/4P2p/5P1N/8/8/8/8/2K5 w - - 0 1',
  '6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1',
  '7k/8/8/8/8/8/8/K1N1N3 w - - 0 1',
  '6rk/6pp/8/8/8/8/6PP/6RK w - - 0 1',
  // middlegames
  'r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4',
  'r1bq1rk1/pp3ppp/2n1pn2/2bp4/2B5/2N1PN2/PP3PPP/R1BQ1RK1 w - - 0 1',
  '2rq1rk1/pp1bppbp/3p1np1/4n3/3NP3/1BN1BP2/PPPQ2PP/2KR3R w - - 0 1',
  'r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/5N1P/PPBN1PP1/R1BQR1K1 b - - 0 1',
  // bare-ish endings
  '8/8/3k4/2b5/3B4/8/4K3/8 w - - 0 1',
  '8/8/3k4/2b5/8/3B4/4K3/8 b - - 0 1',
  '8/8/4k3/8/8/2NN4/8/4K3 w - - 0 1',
  '8/8/4k3/8/8/8/3B4/4K3 b - - 0 1',
  '8/8/8/4k3/8/8/8/4K3 w - - 0 1',
  '8/8/4k3/8/3n4/8/8/4K3 w - - 0 1',
  '3k4/8/8/8/8/8/8/3KR3 w - - 0 1',
  '8/8/8/4k3/8/8/3P4/4K3 w - - 0 1',
  // lopsided: the side to move is far behind
  '4k3/8/8/8/8/8/8/QQ2K3 b - - 0 1',
  'rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1',
  'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNB1KBNR w KQkq - 0 1',
  // mates and stalemates one move away
  '7k/5Q2/6K1/8/8/8/8/8 w - - 0 1',
  'k7/8/1K6/8/8/8/8/7R w - - 0 1',
  '6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1',
  '7k/8/6K1/5Q2/8/8/8/8 w - - 0 1',
];

for (const fen of POSITIONS) {
  if (!playableFen(fen)) throw new Error(`positions.mjs: not a playable position: ${fen}`);
}

// The en passant field of a FEN, or '-'.
export function epField(fen) {
  return fen.split(' ')[3] ?? '-';
}

export function fits(fen) {
  return `setboard ${fen}`.length <= MAX_COMMAND;
}

// A position for "setboard": from the list, or reached from a listed one by
// a few random legal moves. epFens: whether FENs with an en passant square
// may be chosen.
export function choosePosition(rng, { epFens = true } = {}) {
  for (let attempt = 0; attempt < 50; attempt += 1) {
    const base = rng.pick(POSITIONS);
    let fen = base;
    if (rng.chance(0.35)) {
      const chess = new Chess(base);
      const n = rng.int(1, 12);
      for (let i = 0; i < n; i += 1) {
        const moves = chess.moves({ verbose: true });
        if (moves.length === 0) break;
        const m = rng.pick(moves);
        chess.move({ from: m.from, to: m.to, promotion: m.promotion });
        if (chess.isGameOver()) {
          chess.undo();
          break;
        }
      }
      fen = chess.fen();
    }
    if (!fits(fen) || !playableFen(fen)) continue;
    if (!epFens && epField(fen) !== '-') continue;
    return fen;
  }
  return START_FEN;
}

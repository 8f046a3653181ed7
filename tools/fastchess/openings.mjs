// Opening files for fastchess, one FEN per line (EPD):
//   node openings.mjs standard   the positions after the match tool's opening lines
//   node openings.mjs chess960   the 960 Fischer random starting positions, by their
//                                standard numbers 0 to 959 (518 is the standard start)
// The 960 positions follow the numbering every 960 list uses: the number's
// remainders place the light-squared bishop, the dark-squared bishop, the
// queen, and then the knights among the five squares left (one of ten
// patterns); the rooks and the king take the last three squares, the king
// between the rooks.
import { Chess } from '../match/node_modules/chess.js/dist/esm/chess.js';
import { OPENINGS } from '../match/lib/openings.mjs';
import { playCoordinateMove } from '../match/lib/notation.mjs';

const KNIGHTS = [[0, 1], [0, 2], [0, 3], [0, 4], [1, 2], [1, 3], [1, 4], [2, 3], [2, 4], [3, 4]];

// The back rank of position n, as eight piece letters from the a-file.
export function backRank960(n) {
  const rank = Array(8).fill(null);
  rank[2 * (n % 4) + 1] = 'B';
  n = Math.floor(n / 4);
  rank[2 * (n % 4)] = 'B';
  n = Math.floor(n / 4);
  const free = () => rank.map((p, i) => (p ? -1 : i)).filter((i) => i >= 0);
  rank[free()[n % 6]] = 'Q';
  n = Math.floor(n / 6);
  const [a, b] = KNIGHTS[n];
  const left = free();
  rank[left[a]] = 'N';
  rank[left[b]] = 'N';
  const last = free();
  rank[last[0]] = 'R';
  rank[last[1]] = 'K';
  rank[last[2]] = 'R';
  return rank.join('');
}

// X-FEN of position n: KQkq names the outermost rook on each side.
export function fen960(n) {
  const white = backRank960(n);
  return `${white.toLowerCase()}/pppppppp/8/8/8/8/PPPPPPPP/${white} w KQkq - 0 1`;
}

function standardFens() {
  return OPENINGS.map(({ name, moves }) => {
    const board = new Chess();
    for (const mv of moves) if (!playCoordinateMove(board, mv)) throw new Error(`${name}: ${mv}`);
    return board.fen();
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const kind = process.argv[2];
  const fens = kind === 'standard' ? standardFens() : kind === 'chess960' ? Array.from({ length: 960 }, (_, n) => fen960(n)) : null;
  if (!fens) {
    console.error('usage: node openings.mjs standard|chess960');
    process.exit(2);
  }
  process.stdout.write(fens.join('\n') + '\n');
}

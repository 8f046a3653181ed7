// Opening files for fastchess, one FEN per line (EPD):
//   node openings.mjs standard   the positions after the match tool's opening lines
//   node openings.mjs chess960   the 960 Fischer random starting positions, by their
//                                standard numbers 0 to 959 (518 is the standard start),
//                                as the match tool numbers them
import { Chess } from '../match/node_modules/chess.js/dist/esm/chess.js';
import { OPENINGS } from '../match/lib/openings.mjs';
import { playCoordinateMove } from '../match/lib/notation.mjs';
import { startFen960 } from '../match/lib/chess960.mjs';

function standardFens() {
  return OPENINGS.map(({ name, moves }) => {
    const board = new Chess();
    for (const mv of moves) if (!playCoordinateMove(board, mv)) throw new Error(`${name}: ${mv}`);
    return board.fen();
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const kind = process.argv[2];
  const fens = kind === 'standard' ? standardFens() : kind === 'chess960' ? Array.from({ length: 960 }, (_, n) => startFen960(n)) : null;
  if (!fens) {
    console.error('usage: node openings.mjs standard|chess960');
    process.exit(2);
  }
  process.stdout.write(fens.join('\n') + '\n');
}

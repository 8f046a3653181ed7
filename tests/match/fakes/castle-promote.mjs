// Castles whenever it can, writing "o-o" or "o-o-o"; otherwise promotes
// whenever it can, writing the move without a promotion letter ("b7b8");
// otherwise plays the first legal move.
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({
  features: 'myname="Castle Promote" done=1',
  play(board) {
    const moves = board.moves({ verbose: true });
    const castle = moves.find((m) => m.flags.includes('k') || m.flags.includes('q'));
    if (castle) return { move: castle, lines: [`move ${castle.flags.includes('k') ? 'o-o' : 'o-o-o'}`] };
    // The move printed has no letter; the fake itself plays the queen.
    const promotion = moves.find((m) => m.promotion);
    if (promotion) {
      const queen = moves.find((m) => m.from === promotion.from && m.to === promotion.to && m.promotion === 'q');
      return { move: queen, lines: [`move ${promotion.from}${promotion.to}`] };
    }
    return firstLegal(board);
  },
});

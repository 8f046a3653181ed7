// Plays a mating move when there is one and then claims the win, as engines
// do ("move d8h4" followed by "0-1 {Black mates}"); else the first legal move.
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({
  features: 'myname="Mate Finder" done=1',
  play(board) {
    for (const move of board.moves({ verbose: true })) {
      board.move(move);
      const mate = board.isCheckmate();
      board.undo();
      if (mate) {
        const claim = move.color === 'w' ? '1-0 {White mates}' : '0-1 {Black mates}';
        return { move, lines: [`move ${move.from}${move.to}`, claim] };
      }
    }
    return firstLegal(board);
  },
});

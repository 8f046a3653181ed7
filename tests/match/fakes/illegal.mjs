// Moves its king two squares along its file, which is never legal.
import { runFake } from './fake-engine.mjs';

runFake({
  features: 'myname="Illegal" done=1',
  play(board) {
    const king = board.findPiece({ type: 'k', color: board.turn() })[0];
    const rank = Number(king[1]);
    const target = `${king[0]}${rank <= 6 ? rank + 2 : rank - 2}`;
    return { lines: [`move ${king}${target}`] };
  },
});

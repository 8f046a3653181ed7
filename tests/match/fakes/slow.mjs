// Moves 300 ms after its clock (from "time") has run out.
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({
  features: 'myname="Slow" done=1',
  play(board, state) {
    const answer = firstLegal(board);
    return { ...answer, delayMs: (state.clockMs ?? 0) + 300 };
  },
});

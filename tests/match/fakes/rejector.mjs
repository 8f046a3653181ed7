// Answers the first move it receives in play (not in force mode) with
// "Illegal move", as an engine with a broken move parser would.
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({
  features: 'myname="Rejector" done=1',
  play: firstLegal,
  onMove(board, text, state) {
    return state.force ? null : [`Illegal move: ${text}`];
  },
});

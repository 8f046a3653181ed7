// Makes its move and then claims a draw by repetition that is not there.
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({
  features: 'myname="False Draw" done=1',
  play(board) {
    const answer = firstLegal(board);
    return { ...answer, lines: [...answer.lines, '1/2-1/2 {Draw by repetition}'] };
  },
});

// Plays one move, then on its second turn writes to standard error and exits
// with status 3 without moving.
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({
  features: 'myname="Crash" done=1',
  play(board, state) {
    if (state.turns >= 1) {
      process.stderr.write('fake crash: giving up\n');
      process.exit(3);
    }
    return firstLegal(board);
  },
});

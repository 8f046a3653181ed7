// Answers the protocol but never moves.
import { runFake } from './fake-engine.mjs';

runFake({ features: 'myname="Silent" ping=1 done=1', play: () => null });

// Plays the first legal move chess.js lists; asks for "usermove".
import { runFake, firstLegal } from './fake-engine.mjs';

runFake({ features: 'usermove=1 myname="First Legal" ping=1 done=1', play: firstLegal });

// One engine process speaking UCI: "uci" and the wait for "uciok", the
// options it offers, "setoption", and "isready"/"readyok" in place of
// xboard's ping. Starting the process, reading its output and noticing its
// end are shared with the xboard engine (engine.mjs); the game itself is
// driven by game.mjs.
import { performance } from 'node:perf_hooks';
import { Engine, sleep } from './engine.mjs';

const UCIOK_WAIT_MS = 10000;

// The words a UCI engine may send that the game does not need: they end
// here, logged in the transcript only.
const QUIET = /^(id|option|copyprotection|registration)\b/;

export class UciEngine extends Engine {
  constructor(setup, label, log) {
    super(setup, label, log);
    this.uci = true;
    this.uciokSeen = false;
    this.idName = null;
    this.offered = new Map(); // option name in lower case -> { name, type }
    // What the engine is doing, as far as the tool has asked it to:
    //   idle       no search
    //   thinking   "go" (or "ponderhit") sent, its bestmove is the move
    //   pondering  "go ponder" sent on the expected reply ponderMove
    //   stopping   "stop" sent after a ponder miss; its bestmove is dropped
    this.state = 'idle';
    this.ponderMove = null;
  }

  handleLine(line, t) {
    if (this.log) this.log(`${this.label} >  ${line}`);
    const trimmed = line.trim();
    if (trimmed === 'uciok') {
      this.uciokSeen = true;
      if (this.initResolve) this.initResolve();
      return;
    }
    if (trimmed === 'readyok') {
      // Answers come in order: the oldest "isready" is the one answered.
      const [first] = this.pongWaiters.keys();
      if (first !== undefined) {
        const resolve = this.pongWaiters.get(first);
        this.pongWaiters.delete(first);
        resolve(true);
      }
      return;
    }
    let m;
    if ((m = /^id\s+name\s+(.*)$/.exec(trimmed))) this.idName = m[1];
    if ((m = /^option\s+name\s+(.*?)\s+type\s+(\S+)/.exec(trimmed))) {
      this.offered.set(m[1].toLowerCase(), { name: m[1], type: m[2] });
    }
    if (QUIET.test(trimmed)) return;
    if (this.onLine) this.onLine(trimmed, t);
  }

  // "uci", then everything up to "uciok", for at most ten seconds. An
  // engine that stays silent still gets its game: if it never moves either,
  // its clock decides, as for any engine that hangs.
  async init() {
    this.send('uci');
    if (this.uciokSeen || !this.alive) return;
    await new Promise((resolve) => {
      const timer = setTimeout(() => finish(), Math.max(0, UCIOK_WAIT_MS - (performance.now() - this.startTime)));
      const finish = () => {
        clearTimeout(timer);
        this.initResolve = null;
        resolve();
      };
      this.initResolve = finish;
    });
  }

  // "setoption" for the options of the engine description, in their order,
  // then "Ponder" when the engine offers it and the description does not
  // set it: pondering engines plan their time with it. A name the engine
  // did not offer is sent all the same (an engine may answer with an
  // "info string" line, which the transcript keeps).
  setOptions(options, ponder) {
    for (const [name, value] of options) {
      this.send(value === '' ? `setoption name ${name}` : `setoption name ${name} value ${value}`);
    }
    const offered = this.offered.get('ponder');
    if (offered && offered.type === 'check' && !options.some(([name]) => name.toLowerCase() === 'ponder')) {
      this.send(`setoption name ${offered.name} value ${ponder ? 'true' : 'false'}`);
    }
  }

  // "isready" and the wait for "readyok": true on the answer, false on a
  // timeout or when the engine is gone.
  async ping(timeoutMs) {
    if (!this.alive) return true;
    const n = ++this.pingCounter;
    const answered = new Promise((resolve) => this.pongWaiters.set(n, resolve));
    this.send('isready');
    const result = await Promise.race([answered, sleep(timeoutMs).then(() => false)]);
    this.pongWaiters.delete(n);
    return result;
  }
}

// The depth and score of a UCI "info" line ("info depth 12 seldepth 18
// score cp -31 nodes ... pv ..." or "... score mate 3 ..."), the score
// written as a PGN comment shows it: "-0.31", "+M3", "-M2"; null for
// lines without both ("info currmove ...", "info string ...").
export function uciThinking(line) {
  if (/^info\s+string\b/.test(line)) return null;
  const depth = /\bdepth\s+(\d+)/.exec(line);
  const score = /\bscore\s+(cp|mate)\s+(-?\d+)/.exec(line);
  if (!depth || !score) return null;
  const n = Number(score[2]);
  if (score[1] === 'mate') return { depth: Number(depth[1]), score: n > 0 ? `+M${n}` : `-M${-n}` };
  return { depth: Number(depth[1]), score: (n >= 0 ? '+' : '') + (n / 100).toFixed(2) };
}

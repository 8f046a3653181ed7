// One engine process speaking the xboard protocol (CECP) version 2: starts
// it, negotiates features the way xboard does, passes its output on line by
// line with the time each chunk arrived, and notices when it goes away.
import { spawn } from 'node:child_process';
import { performance } from 'node:perf_hooks';

// Feature names the tool accepts. Everything else is rejected.
//   usermove, san     moves are sent as "usermove e2e4" / in SAN when asked for
//   time              "time"/"otim" are sent unless time=0
//   ping              used to wait until an engine has settled before a game
//   name, ics         "name OPPONENT" and "ics -" are sent when asked for
//   myname            the engine's name when --engine gives none
//   done              ends the feature negotiation
//   the rest          harmless here: the tool never sends signals while an
//                     engine plays, never uses setboard, analyze, draw offers
//                     or reuse (a fresh process plays each game), and sends no
//                     "white"/"black" commands whatever colors says
const ACCEPTED_FEATURES = new Set([
  'usermove', 'san', 'time', 'ping', 'name', 'ics', 'myname', 'done', 'sigint',
  'sigterm', 'setboard', 'colors', 'draw', 'reuse', 'analyze', 'variants',
  'debug', 'option',
]);

const INIT_WAIT_MS = 2000; // for the first features, as xboard waits
const INIT_WAIT_DONE0_MS = 10000; // after "done=0" asked for more time
const STDERR_KEEP = 20;

// Splits a command line into words; double and single quotes group words.
export function splitCommand(cmd) {
  const words = [];
  const re = /"([^"]*)"|'([^']*)'|(\S+)/g;
  let m;
  while ((m = re.exec(cmd)) !== null) words.push(m[1] ?? m[2] ?? m[3]);
  return words;
}

// Reads the name=value pairs of a "feature" line; values may be quoted.
export function parseFeatures(text) {
  const out = [];
  const re = /([A-Za-z_][\w-]*)=("([^"]*)"|\S+)/g;
  let m;
  while ((m = re.exec(text)) !== null) out.push([m[1], m[3] ?? m[2]]);
  return out;
}

export class Engine {
  // setup: { name, argv, dir, computer }; label: short name for logs;
  // log(text): transcript writer or null.
  constructor(setup, label, log) {
    this.setup = setup;
    this.label = label;
    this.log = log;
    this.features = {};
    this.alive = false;
    this.onLine = null; // (line, time) => void
    this.onGone = null; // (info) => void, once, when the process is gone
    this.stderrTail = [];
    this.exitInfo = null;
    this.spawnError = null;
    this.pingCounter = 0;
    this.pongWaiters = new Map();
    this.doneSeen = false;
    this.done0Seen = false;
    this.goneNotified = false;
    this.closing = false; // the tool asked it to quit: going away is expected
  }

  get usermove() {
    return this.features.usermove === '1';
  }
  get san() {
    return this.features.san === '1';
  }
  get sendsTime() {
    return this.features.time !== '0';
  }
  get myname() {
    return this.features.myname;
  }

  start() {
    const [file, ...args] = this.setup.argv;
    this.alive = true;
    this.startTime = performance.now();
    this.exited = new Promise((resolve) => {
      this.resolveExited = resolve;
    });
    try {
      this.proc = spawn(file, args, {
        cwd: this.setup.dir || undefined,
        stdio: ['pipe', 'pipe', 'pipe'],
      });
    } catch (err) {
      this.spawnError = err;
      this.resolveExited(null);
      queueMicrotask(() => this.markGone());
      return;
    }
    this.proc.on('error', (err) => {
      this.spawnError = err;
      this.resolveExited(null);
      this.markGone();
    });
    this.proc.on('exit', (code, signal) => {
      this.exitInfo = { code, signal };
      this.resolveExited(this.exitInfo);
      // Output still buffered in the pipe arrives before stdout closes; give
      // it a moment, but do not wait forever for a pipe a child process of
      // the engine may hold open.
      setTimeout(() => this.markGone(), 300);
    });
    this.proc.stdin.on('error', () => {}); // EPIPE after a crash: noticed elsewhere
    let pending = '';
    this.proc.stdout.on('data', (chunk) => {
      const t = performance.now();
      pending += chunk.toString('utf8');
      let nl;
      while ((nl = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, nl).replace(/\r$/, '');
        pending = pending.slice(nl + 1);
        this.handleLine(line, t);
      }
    });
    this.proc.stdout.on('close', () => {
      if (pending !== '') this.handleLine(pending.replace(/\r$/, ''), performance.now());
      pending = '';
      // Wait briefly for the exit status, which the report wants.
      Promise.race([this.exited, sleep(1000)]).then(() => this.markGone());
    });
    let errPending = '';
    this.proc.stderr.on('data', (chunk) => {
      errPending += chunk.toString('utf8');
      const lines = errPending.split('\n');
      errPending = lines.pop();
      for (const l of lines) this.keepStderr(l);
    });
    this.proc.stderr.on('close', () => {
      if (errPending !== '') this.keepStderr(errPending);
      errPending = '';
    });
  }

  keepStderr(line) {
    this.stderrTail.push(line);
    if (this.stderrTail.length > STDERR_KEEP) this.stderrTail.shift();
    if (this.log) this.log(`${this.label} 2> ${line}`);
  }

  markGone() {
    if (this.goneNotified) return;
    this.goneNotified = true;
    this.alive = false;
    for (const resolve of this.pongWaiters.values()) resolve(false);
    this.pongWaiters.clear();
    if (this.initResolve) this.initResolve();
    if (this.onGone) this.onGone(this.goneInfo());
  }

  // What is known about the end of the process, for reports.
  goneInfo() {
    let how;
    if (this.spawnError) how = `could not be started: ${this.spawnError.message}`;
    else if (this.exitInfo && this.exitInfo.signal) how = `killed by signal ${this.exitInfo.signal}`;
    else if (this.exitInfo) how = `exited with code ${this.exitInfo.code}`;
    else how = 'closed its output';
    return { how, stderr: [...this.stderrTail] };
  }

  send(line) {
    if (this.log) this.log(`${this.label} <  ${line}`);
    if (!this.alive || !this.proc || !this.proc.stdin.writable) return;
    this.proc.stdin.write(line + '\n');
  }

  handleLine(line, t) {
    if (this.log) this.log(`${this.label} >  ${line}`);
    const trimmed = line.trim();
    if (trimmed.startsWith('feature ') || trimmed === 'feature') {
      this.handleFeatures(trimmed.slice(7));
      return;
    }
    const pong = /^pong\s+(-?\d+)/.exec(trimmed);
    if (pong) {
      const resolve = this.pongWaiters.get(Number(pong[1]));
      if (resolve) {
        this.pongWaiters.delete(Number(pong[1]));
        resolve(true);
      }
      return;
    }
    if (this.onLine) this.onLine(trimmed, t);
  }

  handleFeatures(text) {
    for (const [name, value] of parseFeatures(text)) {
      const accept = ACCEPTED_FEATURES.has(name);
      this.send(`${accept ? 'accepted' : 'rejected'} ${name}`);
      if (!accept) continue;
      this.features[name] = value;
      if (name === 'done') {
        if (value === '1') {
          this.doneSeen = true;
          if (this.initResolve) this.initResolve();
        } else {
          this.done0Seen = true;
        }
      }
    }
  }

  // "xboard", "protover 2", then the features until done=1: at most two
  // seconds, or ten when the engine sent done=0 to ask for more time.
  // Engines that never send done=1 simply play after the wait.
  async init() {
    this.send('xboard');
    this.send('protover 2');
    if (this.doneSeen || !this.alive) return;
    await new Promise((resolve) => {
      let timer;
      const finish = () => {
        clearTimeout(timer);
        this.initResolve = null;
        resolve();
      };
      this.initResolve = finish;
      const check = () => {
        const waited = performance.now() - this.startTime;
        const limit = this.done0Seen ? INIT_WAIT_DONE0_MS : INIT_WAIT_MS;
        if (this.doneSeen || !this.alive || waited >= limit) finish();
        else timer = setTimeout(check, Math.min(limit - waited, 250));
      };
      check();
    });
  }

  // "ping N" and the wait for "pong N" (engines with feature ping=1 only).
  // Resolves true on the pong, false on a timeout or when the engine is gone.
  async ping(timeoutMs) {
    if (this.features.ping !== '1' || !this.alive) return true;
    const n = ++this.pingCounter;
    const answered = new Promise((resolve) => this.pongWaiters.set(n, resolve));
    this.send(`ping ${n}`);
    const result = await Promise.race([answered, sleep(timeoutMs).then(() => false)]);
    this.pongWaiters.delete(n);
    return result;
  }

  // "quit", then SIGTERM and SIGKILL if the process is still there.
  async quit(graceMs = 1000) {
    this.closing = true;
    if (!this.proc || this.spawnError) return;
    if (this.alive) this.send('quit');
    const done = await Promise.race([this.exited.then(() => true), sleep(graceMs).then(() => false)]);
    if (done) return;
    this.kill('SIGTERM');
    const termed = await Promise.race([this.exited.then(() => true), sleep(500).then(() => false)]);
    if (!termed) this.kill('SIGKILL');
    await Promise.race([this.exited, sleep(1000)]);
  }

  kill(signal = 'SIGKILL') {
    if (this.proc && this.exitInfo === null && !this.spawnError) {
      try {
        this.proc.kill(signal);
      } catch {
        // already gone
      }
    }
  }
}

// A pause that does not keep the tool alive once everything else is done.
export function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms).unref());
}

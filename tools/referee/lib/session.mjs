// One refereed session: a fresh engine process in a scratch copy of the data
// folder, driven the way xboard drives it, every line it prints checked
// against the referee's own position (chess.js). See sessions.mjs for the
// list of checks.
import { spawn } from 'node:child_process';
import { performance } from 'node:perf_hooks';
import fs from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';

import { parseEngineMove } from '../../match/lib/notation.mjs';
import { Rng } from './random.mjs';
import { Chess, Referee, START_FEN, judgeClaim, judgeStatus, variationFits } from './referee.mjs';
import { choosePosition, epField, fits } from './positions.mjs';

// Time controls as xboard writes them. The engine reads whole minutes from
// the base ("0:20" is 0 minutes to it); the real clock reaches it through
// "time" and "otim" before every move, as from xboard.
const LEVELS = [
  // 0.5 s a move (the engine's least under a control), pondering above 10 s
  { cmd: 'level 40 0:20 0', mps: 40, baseMs: 20000, incMs: 0, weight: 8 },
  { cmd: 'level 40 0:30 0', mps: 40, baseMs: 30000, incMs: 0, weight: 1 },
  { cmd: 'level 60 0:15 0', mps: 60, baseMs: 15000, incMs: 0, weight: 2 },
  // under 8 s of sudden death the engine moves at once and never ponders
  { cmd: 'level 0 0:07 0', mps: 0, baseMs: 7000, incMs: 0, weight: 7 },
  // about a second a move
  { cmd: 'level 0 0:20 0', mps: 0, baseMs: 20000, incMs: 0, weight: 1 },
  { cmd: 'level 0 0:09 1', mps: 0, baseMs: 9000, incMs: 1000, weight: 1 },
  { cmd: 'level 40 1 0', mps: 40, baseMs: 60000, incMs: 0, weight: 0.5 },
  // a few seconds a move
  { cmd: 'level 0 1 0', mps: 0, baseMs: 60000, incMs: 0, weight: 0.3 },
  { cmd: 'level 0 1 1', mps: 0, baseMs: 60000, incMs: 1000, weight: 0.3 },
];

// The result texts a user may send with "result".
const USER_RESULTS = [
  '1-0 {White wins by adjudication}',
  '0-1 {Black wins by adjudication}',
  '1/2-1/2 {Draw agreed}',
  '1-0 {x}',
  '1-0 {Black resigns}',
];
const MIN_CLOCK_TO_GO_MS = 1500; // a side switch hands the engine at least this

// Actions by state, with their weights. A name listed in --skip is never chosen.
const ACTIONS = {
  // the engine is thinking on its own time
  onMove: {
    waitMove: 60, moveNow: 7, see: 3, force: 3, edit: 2, new: 2, result: 1, toggle: 4, draw: 2, ping: 3,
    remove: 1, variant: 1, exitOutside: 1, bk: 1, setting: 1, misc: 1,
  },
  // force mode: the user moves either side
  force: {
    userMove: 28, burst: 8, go: 22, takeback: 6, edit: 5, new: 3, see: 3, wait: 2, toggle: 4, draw: 2, illegal: 3, result: 1, analyze: 6, ping: 2,
    remove: 3, variant: 1, exitOutside: 1, bk: 1, hint: 1, misc: 2, playother: 1, pause: 1, strength: 1,
  },
  // the engine waits for the user's move (and may be pondering)
  user: {
    userMove: 34, illegal: 4, ponder: 8, switch: 8, takeback: 7, edit: 4, wait: 3, see: 3, draw: 2, toggle: 5, new: 2, result: 1, force: 3, analyze: 3, ping: 3,
    remove: 5, variant: 1, exitOutside: 1, bk: 1, hint: 2, misc: 1, setting: 2,
  },
  // the game is over and the result has been sent
  over: { new: 10, see: 1, toggle: 1, wait: 1, ping: 1, variant: 1, exitOutside: 1, bk: 1, misc: 1, strength: 1 },
  // Analysis mode: the user moves, takes back, sets up positions and asks
  // for the status while the engine analyses, and leaves with "exit"
  analysis: {
    aMove: 24, aIllegal: 3, aUndo: 6, aRewind: 2, aSetboard: 4, aNew: 1, dot: 8, ping: 3, aWait: 6, toggle: 2, see: 1, exit: 7,
    aRemove: 3, exclude: 3, setting: 3, variant: 1, bk: 1, hint: 1, misc: 1,
  },
};
export const ACTION_NAMES = [...new Set(Object.values(ACTIONS).flatMap((a) => Object.keys(a)))];

const SILENCE_MARGIN_MS = 1000; // on move past its clock by this much: silent
const MARKER_TIMEOUT_MS = 5000;
const QUIT_TIMEOUT_MS = 5000;
const STARTUP_TIMEOUT_MS = 10000;
const PONDER_MIN_CLOCK_MS = 11000; // the engine ponders only with more than 10 s
const STATUS_TIMEOUT_MS = 5000; // for the stat01 answer to "."
// An analysis of a position with moves to make has printed a line by then.
const ANALYSIS_SILENCE_MS = 3000;

class Fault extends Error {}

const THINKING = /^\s*(-?\d+)\s+(-?\d+)\s+(-?\d+)\s+(-?\d+)(?:\s+(.*))?$/;
const CLAIM = /^(1-0|0-1|1\/2-1\/2) \{[^}]*\}$/;
// The engine's answers to "memory N": the size its tables came to, in a
// comment line xboard ignores, or a refusal that keeps the old tables.
const MEMORY_REPLY = /^# memory \d+ MB: transposition tables of \d+ entries each$/;
const MEMORY_REFUSED = /^Error \(cannot allocate \d+ MB\): memory$/;
// The engine's answer to "cores N" when it could not start all N search
// threads: it searches on the M it has. A granted count is not answered.
const CORES_SHORTFALL = /^Error \(cannot start \d+ search threads, searching on \d+\): cores$/;
// The sizes "memory" asks for after "new", in MB, as xboard sends its
// hash-size setting: small, so that sessions side by side stay light.
const MEMORY_SIZES = [
  [1, 1],
  [16, 2],
  [64, 2],
];

// Variants xboard may name that the engine does not play (it plays ordinary
// chess and Fischer random chess). Names as the engine reads them, lower-cased.
const OTHER_VARIANTS = ['suicide', 'crazyhouse', 'atomic', 'shatranj', '3check', 'losers', 'xiangqi'];

// Commands of the protocol that change nothing the referee keeps: the
// engine takes them in silence or answers with an Error line of their own
// word ("Error (unknown command): partner" from an engine without them).
const QUIET_COMMANDS = [
  'computer',
  'name Referee',
  'rating 2300 2400',
  'rating 2500 2400',
  'random',
  'egtpath syzygy /nonexistent',
  'lift e2',
  'put e4',
  'hover e4',
  'partner',
  'partner Friend',
  'ptell hello',
  'holding [QR] [n]',
  'ics -',
  'ics freechess.org',
  'accepted exclude',
  'rejected pause',
  'sd 6',
  'sd 30',
];

// The engine's levels for people ("feature option" lines): a check and a
// spin; bad values are refused in a line of their own.
const STRENGTH_RANGE = [1000, 1800];

function other(color) {
  return color === 'w' ? 'b' : 'w';
}

function moveText(m) {
  return m.from + m.to + (m.promotion ?? '');
}

function centiseconds(ms) {
  return Math.floor(ms / 10);
}

// The moves of a position that one move of the engine's thinking-line
// notation may mean: piece letter (none for a pawn), the file of a capturing
// pawn, 'x' for a capture, the destination. Promotions carry no letter.
function movesForPvToken(chess, token) {
  const m = /^([KQRBN])?([a-h])?(x)?([a-h][1-8])$/.exec(token);
  if (!m) return [];
  const piece = m[1] ? m[1].toLowerCase() : 'p';
  return chess
    .moves({ verbose: true })
    .filter(
      (mv) => mv.piece === piece && mv.to === m[4] && (!m[2] || mv.from[0] === m[2]) && (mv.piece !== 'p' || !!m[3] === (mv.from[0] !== mv.to[0])),
    );
}

export class Session {
  // cfg: { engine, data, timeMarginMs, allowRefusals, noClaimsRequired,
  //        epFens, fens: [], skip: Set, minActions, maxActions }
  constructor(cfg, seed) {
    this.cfg = cfg;
    this.seed = seed;
    this.rng = new Rng(seed);
    this.t0 = performance.now();
    this.transcript = [];
    this.fault = null;
    this.waiters = new Set();
    this.stats = {
      commands: 0,
      analyses: 0,
      analysisLines: 0,
      statusLines: 0,
      pongs: 0,
      actions: 0,
      games: 0,
      userMoves: 0,
      engineMoves: 0,
      claims: 0,
      ponder: 0,
      illegal: 0,
      refusals: 0,
      markers: 0,
      inFlight: 0,
      resigns: 0,
      draws: 0,
      drawAccepts: 0,
      removes: 0,
      thinkMs: 0,
      pauseMs: 0,
      startMs: 0,
    };
    this.refusalLog = [];

    // The interface's side of the game.
    this.ref = new Referee(START_FEN);
    this.force = false;
    this.engineColor = 'b';
    this.gameOver = null; // { result } once the game has ended
    this.resultSent = false;
    this.resignedGame = false; // the engine resigned: no move or result may follow
    this.onMove = false;
    this.onMoveSince = 0;
    this.deadline = 0;
    this.level = LEVELS[0];
    this.clocks = { w: this.level.baseMs, b: this.level.baseMs };
    this.counts = { w: 0, b: 0 };
    this.running = null;
    this.runningSince = 0;
    this.hard = false;
    this.post = false;
    this.usermove = false;
    this.pv = null; // moves of the last thinking line of the current own search
    // Analysis mode: null outside it; else { prev, reached, refused, lines,
    // since }: the positions the last change passed through while lines of
    // them may still be in flight (until the pong after the change), how
    // far along them the lines have come, whether the engine refused the
    // position it was given, the lines of the current position, and when
    // it was given.
    this.analysis = null;
    // Pings awaiting their pong, in the order sent, and "." awaiting stat01.
    this.pingCounter = 0;
    this.pings = [];
    this.statusPending = [];
    this.prediction = null; // { key, moves } the reply the engine expects
    this.lastEngineMoveAt = -1; // ply count after the engine's last move in this game
    this.needSync = false;

    // Markers, race windows, states claims may be about, and commands whose
    // refusal the referee has to hear about before it follows them.
    this.markerCounter = 0;
    this.markers = new Map();
    this.windows = [];
    this.stateSeq = 0;
    this.states = [];
    this.syncSeq = 0;
    this.gameStartSeq = 0; // the state a new game or set-up position began with
    this.confirm = [];
    this.illegalPending = [];
    this.due = []; // draw claims the engine owes
    // Commands awaiting their reply (or none), answered before the next
    // marker: { kind, word, cmd, expect, strict, required, got, chess }.
    this.asks = [];
    // "draw" offers awaiting the engine's answer, with what was known when
    // each was sent; the positions the engine's own moves led to (by its
    // stricter key), which it has a score of; whether the last line read
    // was the engine's move (its own offer may follow that).
    this.drawsPending = [];
    this.scoredKeys = new Set();
    this.lastWasMove = false;
    // "memory" commands sent and answered: a pong says every earlier one
    // has been served.
    this.memorySent = 0;
    this.memoryAnswered = 0;
    this.pushState();
  }

  // ----- transcript, faults, waiting -----

  now() {
    return performance.now() - this.t0;
  }
  log(dir, text, t = this.now()) {
    this.transcript.push(`${t.toFixed(0).padStart(7)} ${dir} ${text}`);
  }
  note(text) {
    this.log('#', text);
  }
  fail(message) {
    if (this.fault) return;
    this.fault = message;
    this.note(`FAULT: ${message}`);
    for (const w of this.waiters) {
      clearTimeout(w.timer);
      w.reject(new Fault(message));
    }
    this.waiters.clear();
    if (this.proc && this.alive) this.proc.kill('SIGKILL');
  }
  check() {
    if (this.fault) throw new Fault(this.fault);
  }
  // Resolves once pred() holds (looked at after every engine line); on
  // timeout it fails the session with `what`, or just resolves when `what`
  // is null (a pause).
  waitFor(pred, timeoutMs, what) {
    this.check();
    if (pred && pred()) return Promise.resolve();
    return new Promise((resolve, reject) => {
      const w = { pred, resolve, reject, timer: null };
      if (Number.isFinite(timeoutMs)) {
        w.timer = setTimeout(() => {
          this.waiters.delete(w);
          if (what === null) {
            resolve();
          } else {
            this.fail(`timed out after ${Math.round(timeoutMs)} ms waiting for ${what}`);
            reject(new Fault(this.fault));
          }
        }, timeoutMs);
      }
      this.waiters.add(w);
    });
  }
  poke() {
    for (const w of [...this.waiters]) {
      if (w.pred && w.pred()) {
        clearTimeout(w.timer);
        this.waiters.delete(w);
        w.resolve();
      }
    }
  }
  pause(ms) {
    this.stats.pauseMs += ms;
    return this.waitFor(null, ms, null);
  }

  // ----- the engine process -----

  async start() {
    this.dir = await fs.mkdtemp(path.join(os.tmpdir(), 'brevalt-referee-'));
    this.copied = [];
    for (const entry of await fs.readdir(this.cfg.data, { withFileTypes: true })) {
      if (!entry.isFile()) continue;
      const to = path.join(this.dir, entry.name);
      await fs.copyFile(path.join(this.cfg.data, entry.name), to);
      const st = await fs.stat(to);
      this.copied.push({ to, size: st.size, mtimeMs: st.mtimeMs });
    }
    this.quitting = false;
    this.alive = true;
    this.proc = spawn(path.resolve(this.cfg.engine), [], { cwd: this.dir, stdio: ['pipe', 'pipe', 'pipe'] });
    this.exited = new Promise((resolve) => {
      this.proc.on('exit', (code, signal) => {
        this.alive = false;
        this.exitInfo = { code, signal };
        this.note(`engine exited: code ${code}, signal ${signal}`);
        resolve();
        if (!this.quitting) this.fail(`the engine went away (exit code ${code}, signal ${signal})`);
        this.poke();
      });
    });
    this.proc.on('error', (err) => {
      this.alive = false;
      this.fail(`cannot run the engine: ${err.message}`);
    });
    this.proc.stdin.on('error', () => {});
    let pending = '';
    this.proc.stdout.on('data', (chunk) => {
      const t = this.now();
      pending += chunk.toString('utf8');
      let nl;
      while ((nl = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, nl).replace(/\r$/, '');
        pending = pending.slice(nl + 1);
        this.onLine(line, t);
      }
    });
    this.proc.stdout.on('close', () => {
      if (pending !== '') this.onLine(pending.replace(/\r$/, ''), this.now());
      pending = '';
    });
    let errPending = '';
    this.proc.stderr.on('data', (chunk) => {
      errPending += chunk.toString('utf8');
      const lines = errPending.split('\n');
      errPending = lines.pop();
      for (const l of lines) {
        this.log('!', l);
        this.fail(`the engine wrote to its standard error: ${l}`);
      }
    });
    this.watchdog = setInterval(() => {
      if (this.fault || !this.onMove) return;
      const late = this.now() - this.deadline;
      if (late > SILENCE_MARGIN_MS) {
        this.fail(
          `the engine is silent: on move (${this.engineColor === 'w' ? 'White' : 'Black'}) since ${this.onMoveSince.toFixed(0)} ms ` +
            `with ${(this.deadline - this.onMoveSince).toFixed(0)} ms on its clock, and no move ${late.toFixed(0)} ms after its flag fell`,
        );
      }
    }, 50);
  }

  send(cmd) {
    this.check();
    const t = this.now();
    this.log('>', cmd, t);
    this.stats.commands += 1;
    this.proc.stdin.write(`${cmd}\n`);
    return t;
  }

  async stop() {
    clearInterval(this.watchdog);
    if (this.proc && this.alive) {
      this.proc.kill('SIGKILL');
      let timer;
      await Promise.race([this.exited, new Promise((r) => (timer = setTimeout(r, 2000)))]);
      clearTimeout(timer);
    }
    if (this.dir && !this.fault) {
      await fs.rm(this.dir, { recursive: true, force: true });
      this.dirRemoved = true;
    } else if (this.dir) {
      // A failed session's folder is kept, less the big copies the engine
      // left as they were (the opening book): they are in the data folder.
      for (const c of this.copied ?? []) {
        const st = await fs.stat(c.to).catch(() => null);
        if (st && c.size > 1 << 20 && st.size === c.size && st.mtimeMs === c.mtimeMs) await fs.rm(c.to, { force: true });
      }
    }
  }

  // ----- clocks and the engine's turn -----

  settle(t) {
    if (this.running) this.clocks[this.running] -= t - this.runningSince;
    this.runningSince = t;
  }
  // After any change of the game: which clock runs, and whether the engine
  // is on move (it is when not in force mode, the game is on, and the side
  // to move is its side).
  retime(t) {
    this.settle(t);
    const live = !this.force && !this.gameOver;
    this.running = live ? this.ref.turn : null;
    const should = live && this.ref.turn === this.engineColor;
    if (should && !this.onMove) {
      this.onMove = true;
      this.onMoveSince = t;
      this.deadline = t + this.clocks[this.engineColor];
      this.pv = null;
    } else if (!should) {
      if (this.onMove) this.stats.thinkMs += t - this.onMoveSince;
      this.onMove = false;
    }
  }
  sendClocks(engineColor) {
    this.send(`time ${centiseconds(this.clocks[engineColor])}`);
    this.send(`otim ${centiseconds(this.clocks[other(engineColor)])}`);
  }

  // ----- the referee's position -----

  pushState() {
    this.stateSeq += 1;
    this.states.push({ seq: this.stateSeq, facts: this.ref.facts() });
    // Only states since the last answered marker can be meant by a claim.
    while (this.states.length > 1 && this.states[0].seq <= this.syncSeq - 1) this.states.shift();
  }

  // The first state of a game: after "new" or an accepted "setboard".
  startGameState() {
    this.pushState();
    this.gameStartSeq = this.stateSeq;
  }

  // A move on the referee's board, with the clock bookkeeping that goes with it.
  // certain: the engine plays this move on its own board outside any ponder
  // search, so a draw claim that is due after it must follow at once.
  applyMove(move, t, certain = false) {
    this.settle(t);
    const color = this.ref.turn;
    const extra = { clocks: { ...this.clocks }, counts: { ...this.counts } };
    const done = this.ref.apply(move, extra);
    if (!this.force) {
      this.clocks[color] += this.level.incMs;
      this.counts[color] += 1;
      if (this.level.mps > 0 && this.counts[color] % this.level.mps === 0) this.clocks[color] += this.level.baseMs;
    }
    this.pushState();
    if (certain && !this.gameOver && !this.cfg.noClaimsRequired) {
      const text = done.san;
      if (this.ref.last.quiet >= 100) this.due.push({ seq: this.stateSeq, claim: '1/2-1/2 {Draw by 50-move rule}', after: text, fen: this.ref.fen() });
      if (this.ref.strictRepetitions() >= 3) this.due.push({ seq: this.stateSeq, claim: '1/2-1/2 {Draw by repetition}', after: text, fen: this.ref.fen() });
    }
    // xboard itself ends a game that has no move left.
    if (this.ref.chess.isCheckmate()) {
      this.endGame(this.ref.turn === 'b' ? '1-0 {White mates}' : '0-1 {Black mates}', t);
    } else if (this.ref.chess.isStalemate()) {
      this.endGame('1/2-1/2 {Stalemate}', t);
    }
    this.retime(t);
    return done;
  }

  endGame(result, t) {
    if (this.gameOver) return;
    this.settle(t);
    this.gameOver = { result };
    this.note(`game over: ${result}`);
    this.retime(t);
  }

  // ----- markers: knowing exactly when the engine has read a command -----

  async sync() {
    this.markerCounter += 1;
    const id = this.markerCounter;
    const name = `xyzzy${id}`;
    const marker = { id, seqAtSend: this.stateSeq, answered: false };
    const movesBefore = this.stats.engineMoves;
    this.markers.set(name, marker);
    this.stats.markers += 1;
    this.send(name);
    const thinking = this.onMove ? Math.max(0, this.deadline - this.now()) + SILENCE_MARGIN_MS : 0;
    await this.waitFor(() => marker.answered, MARKER_TIMEOUT_MS + thinking, `the answer to the marker command ${name}`);
    // What the engine printed after a move it made before reading the marker
    // has arrived; a move printed after it still needs a marker of its own.
    if (this.stats.engineMoves === movesBefore) this.needSync = false;
  }

  onMarker(marker) {
    marker.answered = true;
    this.markers.delete(`xyzzy${marker.id}`);
    this.syncSeq = Math.max(this.syncSeq, marker.seqAtSend);
    // Output in flight before the marker was read has all arrived now.
    this.windows = this.windows.filter((w) => w.openedAfter >= marker.id);
    const owed = this.due.find((d) => d.seq <= marker.seqAtSend);
    if (owed) {
      this.fail(
        `missing claim: "${owed.claim}" was due right after ${owed.after} (position ${owed.fen}), ` +
          `but the engine had read the next marker without printing it`,
      );
    }
  }

  // A race window: the engine was on move when a command that takes the
  // move away from it was sent. A move it printed before reading that
  // command may still arrive until the next marker is answered.
  openWindow(kind, apply) {
    if (!this.onMove) return;
    const board = apply ? this.ref : this.ref.clone();
    this.windows.push({ kind, board, apply, moveSeen: false, openedAfter: this.markerCounter });
    this.note(`race window opened (${kind}): a move already in flight may arrive`);
  }

  // ----- checking what the engine prints -----

  onLine(line, t) {
    this.log('<', line, t);
    if (this.fault) return;
    try {
      this.checkLine(line.trim(), t, line);
    } catch (err) {
      if (!(err instanceof Fault)) this.fail(`runner error: ${err.stack}`);
    }
    this.poke();
  }

  checkLine(line, t, raw = line) {
    let m;
    if (this.onBookLine(raw)) return;
    if (line === '') return;
    const afterMove = this.lastWasMove;
    this.lastWasMove = false;
    if ((m = /^Error \((.*)\): (\S+)$/.exec(line)) && this.onAskError(line, m[2])) return;
    if ((m = /^Hint: (.*)$/.exec(line))) return this.onHint(m[1].trim());
    if (line.startsWith('feature ')) {
      if (/\bsmp=1\b/.test(line)) this.smp = true;
      if (/\bdone=1\b/.test(line)) this.featuresDone = true;
      return;
    }
    if ((m = /^Error \(unknown command\): (.*)$/.exec(line))) {
      const marker = this.markers.get(m[1].trim());
      if (marker) this.onMarker(marker);
      else this.refusalLog.push(`unknown command ${m[1]}`);
      return;
    }
    if ((m = /^Error \(command not legal now\): (.*)$/.exec(line))) return this.onRefusal(m[1].trim());
    if ((m = /^Illegal move: (.*)$/.exec(line))) return this.onIllegal(m[1].trim());
    if ((m = /^move (\S+)$/.exec(line))) {
      this.onEngineMove(m[1], t);
      this.lastWasMove = true;
      return;
    }
    if ((m = /^pong (\d+)$/.exec(line))) return this.onPong(Number(m[1]));
    if (line.startsWith('stat01:')) return this.onStatus(line);
    if (line === 'resign') return this.onResign(t);
    if (CLAIM.test(line)) return this.onClaim(line, t);
    if (line === 'offer draw') return this.onDrawOffer(afterMove);
    if (MEMORY_REPLY.test(line) || MEMORY_REFUSED.test(line)) {
      this.memoryAnswered += 1;
      if (this.memoryAnswered > this.memorySent) this.fail(`"${line}" with no "memory" left to answer`);
      return;
    }
    if (CORES_SHORTFALL.test(line)) return;
    if (/^telluser result is -?\d+$/.test(line)) return;
    if (line === 'tellusererror Illegal position') return this.onRefusal('setboard', line);
    if (/^(tellics|kibitz|whisper) /.test(line)) return;
    if ((m = THINKING.exec(line))) {
      const pv = (m[5] ?? '').trim().split(/\s+/).filter(Boolean);
      if (this.onMove) this.pv = pv;
      if (this.analysis) this.onAnalysisLine(line, pv);
      return;
    }
    this.fail(`unknown output from the engine: "${line}"`);
  }

  onRefusal(cmd, text = null) {
    this.stats.refusals += 1;
    this.refusalLog.push(text ?? `refused ${cmd}`);
    if (cmd === 'draw') {
      // no game in progress as far as the engine knows: harmless
      this.drawsPending.shift();
      return;
    }
    if (cmd === 'remove') return this.onRemoveRefused(text);
    const pending = this.confirm.find((c) => c.cmd === cmd && !c.refused);
    if (pending && this.cfg.allowRefusals) {
      pending.refused = true;
      this.note(`refusal of ${cmd} allowed (--allow-refusals): the referee keeps its position`);
      return;
    }
    this.fail(
      `the engine refused "${pending ? pending.line : cmd}" (${text ?? `Error (command not legal now): ${cmd}`}), ` +
        `a command xboard sends in this state; xboard would go on with a position the engine does not have`,
    );
  }

  onIllegal(text) {
    const expected = this.illegalPending[0];
    if (expected !== undefined && text === expected.slice(0, 4)) {
      this.illegalPending.shift();
      return;
    }
    this.fail(`"Illegal move: ${text}" but the referee finds the user's moves legal (last position ${this.ref.fen()})`);
  }

  onEngineMove(text, t) {
    if (this.resignedGame) return this.fail(`move ${text} after the engine resigned`);
    const window = this.onMove ? null : this.windows.find((w) => !w.moveSeen);
    if (!this.onMove && !window) {
      return this.fail(
        this.gameOver
          ? `move ${text} after the game ended (${this.gameOver.result})`
          : `move ${text} while the engine is not on move (${this.force ? 'force mode' : 'the user is on move'}; position ${this.ref.fen()})`,
      );
    }
    if (window) {
      const mv = parseEngineMove(window.board.chess, text);
      if (!mv) return this.fail(`illegal move ${text} (in flight before "${window.kind}") in ${window.board.fen()}`);
      window.moveSeen = true;
      this.stats.engineMoves += 1;
      this.stats.inFlight += 1;
      this.note(`move ${text} was in flight before "${window.kind}": ${window.apply ? 'played' : 'not played'} on the referee's board`);
      if (window.apply) {
        this.applyMove(mv, t);
        this.afterEngineMove(t);
      } else {
        window.board.apply(mv);
        window.facts = window.board.facts();
        this.scoredKeys.add(window.board.last.strict);
      }
      return;
    }
    const mv = parseEngineMove(this.ref.chess, text);
    if (!mv) return this.fail(`illegal move ${text} in ${this.ref.fen()}`);
    this.settle(t);
    const left = this.clocks[this.engineColor];
    if (left < -this.cfg.timeMarginMs) {
      return this.fail(
        `time loss: move ${text} arrived ${(t - this.onMoveSince).toFixed(0)} ms after the engine went on move, ` +
          `${(-left).toFixed(0)} ms past its clock (${(this.deadline - this.onMoveSince).toFixed(0)} ms)`,
      );
    }
    this.stats.engineMoves += 1;
    const pv = this.pv;
    this.applyMove(mv, t, true);
    this.afterEngineMove(t, pv);
  }

  afterEngineMove(t, pv = null) {
    this.scoredKeys.add(this.ref.last.strict);
    this.needSync = true;
    this.lastEngineMoveAt = this.ref.plies;
    this.prediction = null;
    if (pv && pv.length >= 2) {
      const moves = movesForPvToken(this.ref.chess, pv[1]);
      if (moves.length > 0) this.prediction = { key: this.ref.last.key, plies: this.ref.plies, moves };
    }
  }

  onResign(t) {
    if (this.resignedGame) return this.fail('resign after the engine resigned');
    const window = this.onMove ? null : this.windows.find((w) => !w.moveSeen);
    if (!this.onMove && !window) return this.fail(`resign while the engine is not on move`);
    if (window) window.moveSeen = true;
    this.stats.resigns += 1;
    const color = window ? window.board.turn : this.engineColor;
    this.resignedGame = true;
    this.endGame(color === 'w' ? '0-1 {White resigns}' : '1-0 {Black resigns}', t);
  }

  onClaim(text, t) {
    this.stats.claims += 1;
    if (this.analysis) return this.fail(`result line "${text}" during analysis, where the engine plays no game`);
    if (this.resignedGame) return this.fail(`result line "${text}" after the engine resigned`);
    if (judgeClaim(text, this.ref.facts()) === null) return this.fail(`a result line the referee does not know: "${text}"`);
    // Claims are judged in the current position, or one the game stood in
    // since the last answered marker was sent (output in flight: a "go"
    // answered with a claim just as "new" went out is about the old game),
    // or in a race window's position.
    const sinceMarker = this.states.filter((s) => s.seq >= this.syncSeq);
    const inGame = [{ facts: this.ref.facts() }, ...sinceMarker].some((s) => judgeClaim(text, s.facts));
    // A claim borne out only by a position from before the current game began
    // ended that game: the new one goes on.
    const current = sinceMarker.filter((s) => s.seq >= this.gameStartSeq);
    const endsThisGame = [{ facts: this.ref.facts() }, ...current].some((s) => judgeClaim(text, s.facts));
    const inWindow = this.windows.some((w) => w.facts && judgeClaim(text, w.facts));
    if (!inGame && !inWindow) {
      const f = this.ref.facts();
      return this.fail(
        `false claim "${text}": position ${f.fen}, occurred ${f.repetitions} time(s) since the set-up position, ` +
          `${f.quiet} quiet half-moves since then, ${f.checkmate ? 'checkmate' : f.stalemate ? 'stalemate' : 'moves to play'}` +
          `${f.insufficient ? ', insufficient material' : ''}`,
      );
    }
    this.due = this.due.filter((d) => d.claim !== text);
    if (endsThisGame && !this.gameOver) {
      // A claim made while on move may be followed by the move the engine
      // had already decided on; xboard ignores it once the game is over.
      if (this.onMove) {
        this.windows.push({ kind: 'claim', board: this.ref.clone(), apply: false, moveSeen: false, openedAfter: this.markerCounter });
      }
      this.endGame(text, t);
    }
  }

  // ----- commands -----

  async userMove(move) {
    const text = moveText(move);
    const t = this.now();
    this.settle(t);
    const willMove = !this.force;
    if (willMove && this.clocks[this.ref.turn] < 0) {
      // The user's flag has fallen: xboard ends the game.
      this.endGame(this.ref.turn === 'w' ? "0-1 {White's flag fell}" : "1-0 {Black's flag fell}", t);
      return;
    }
    if (willMove) {
      // xboard sends the clocks before the move the engine is to answer,
      // with the user's increment already added.
      const color = this.ref.turn;
      const clocks = { ...this.clocks };
      clocks[color] += this.level.incMs;
      if (this.level.mps > 0 && (this.counts[color] + 1) % this.level.mps === 0) clocks[color] += this.level.baseMs;
      this.send(`time ${centiseconds(clocks[other(color)])}`);
      this.send(`otim ${centiseconds(clocks[color])}`);
      this.engineColor = other(color);
    }
    this.send(this.usermove ? `usermove ${text}` : text);
    this.stats.userMoves += 1;
    // Outside force mode with pondering on, the move may be a ponder hit,
    // which the engine does not look at for claims.
    this.applyMove(move, this.now(), !willMove || !this.hard);
    this.lastUserMove = move;
    if (!willMove) {
      await this.sync();
      if (!this.gameOver && this.rng.chance(0.06)) await this.draw();
    }
  }

  chooseUserMove(preferPredicted = false) {
    const legal = this.ref.legalMoves();
    const p = this.prediction;
    if (p && p.key === this.ref.last.key && p.plies === this.ref.plies && (preferPredicted || this.rng.chance(0.3))) {
      const promos = p.moves.filter((m) => m.promotion);
      if (promos.length > 0) {
        const under = promos.filter((m) => m.promotion !== 'q');
        return this.rng.chance(0.75) && under.length ? this.rng.pick(under) : promos.find((m) => m.promotion === 'q') ?? promos[0];
      }
      return p.moves[0];
    }
    const under = legal.filter((m) => m.promotion && m.promotion !== 'q');
    if (under.length > 0 && this.rng.chance(0.7)) return this.rng.pick(under);
    // En passant and castling whenever they come up, mostly.
    const special = legal.filter((m) => /[ekq]/.test(m.flags));
    if (special.length > 0 && this.rng.chance(0.5)) return this.rng.pick(special);
    // Going back where the same side came from invites repetitions.
    const back = this.reversal(legal);
    if (back && this.rng.chance(0.25)) return back;
    return this.rng.pick(legal);
  }

  // The move that takes back the last move of the side to move, if legal.
  reversal(legal) {
    const e = this.ref.entries;
    if (e.length < 3) return null;
    const prev = e[e.length - 2].move;
    if (!prev || prev.promotion || prev.flags.includes('k') || prev.flags.includes('q')) return null;
    return legal.find((m) => m.from === prev.to && m.to === prev.from && !m.captured) ?? null;
  }

  chooseIllegalText() {
    const legal = new Set(this.ref.legalMoves().map((m) => m.from + m.to));
    const squares = [];
    for (const f of 'abcdefgh') for (const r of '12345678') squares.push(f + r);
    const own = squares.filter((s) => this.ref.chess.get(s)?.color === this.ref.turn);
    for (let i = 0; i < 200; i += 1) {
      const from = this.rng.chance(0.7) ? this.rng.pick(own) : this.rng.pick(squares);
      const to = this.rng.pick(squares);
      if (from !== to && !legal.has(from + to)) return from + to;
    }
    return 'a1a1';
  }

  async illegalMove() {
    const text = this.chooseIllegalText();
    this.stats.illegal += 1;
    this.illegalPending.push(text);
    this.send(this.usermove ? `usermove ${text}` : text);
    await this.sync();
    // Read during a ponder search, the move is only looked at once the
    // search has stopped, which may be after the marker.
    if (this.illegalPending.length > 0) await this.waitFor(() => this.illegalPending.length === 0, 2000, `"Illegal move: ${text}"`);
  }

  async go() {
    const t = this.now();
    this.settle(t);
    const color = this.ref.turn;
    // Not with a clock the engine could not move on (the user's, run down).
    if (this.clocks[color] < MIN_CLOCK_TO_GO_MS) return;
    this.sendClocks(color);
    this.send('go');
    this.force = false;
    this.engineColor = color;
    this.retime(this.now());
  }

  async forceCmd() {
    const t = this.now();
    this.openWindow('force', true);
    this.settle(t);
    this.send('force');
    this.force = true;
    this.retime(t);
    await this.sync();
  }

  async result(text) {
    const t = this.now();
    this.openWindow('result', false);
    this.send(`result ${text}`);
    this.resultSent = true;
    this.endGame(text, t);
    await this.sync();
  }

  // setboard after force; the referee follows once the engine has taken it.
  async setboard(fen) {
    const line = `setboard ${fen}`;
    this.confirm = [{ cmd: 'setboard', line, refused: false }];
    this.send(line);
    await this.sync();
    const ok = !this.confirm[0].refused;
    this.confirm = [];
    if (!ok) return false;
    const t = this.now();
    this.settle(t);
    this.ref = new Referee(fen);
    this.counts = { w: 0, b: 0 };
    this.gameOver = null;
    this.resultSent = false;
    this.prediction = null;
    this.lastEngineMoveAt = -1;
    this.startGameState();
    this.retime(t);
    return true;
  }

  async newGame() {
    const t = this.now();
    this.openWindow('new', false);
    this.settle(t);
    this.send('new');
    this.stats.games += 1;
    this.ref = new Referee(START_FEN);
    this.force = false;
    this.engineColor = 'b';
    this.gameOver = null;
    this.resultSent = false;
    this.prediction = null;
    this.lastEngineMoveAt = -1;
    this.level = this.rng.weighted(LEVELS.map((l) => [l, l.weight]));
    this.clocks = { w: this.level.baseMs, b: this.level.baseMs };
    this.counts = { w: 0, b: 0 };
    this.running = null;
    this.startGameState();
    if (this.rng.chance(0.5)) this.send('random');
    if (this.rng.chance(0.5)) {
      this.memorySent += 1;
      this.send(`memory ${this.rng.weighted(MEMORY_SIZES)}`);
    }
    // xboard tells an engine that announced smp=1 its number of search
    // threads after "new"; here once, in the session's first prelude.
    if (this.smp && !this.coresSent) {
      this.send(`cores ${this.cfg.threads ?? 1}`);
      this.coresSent = true;
    }
    this.send(this.level.cmd);
    this.post = this.rng.chance(0.75);
    this.send(this.post ? 'post' : 'nopost');
    this.hard = this.rng.chance(0.6);
    this.send(this.hard ? 'hard' : 'easy');
    // The levels for people, now and then, set as xboard's engine settings
    // dialog sends them; on several threads too.
    if (this.rng.chance(0.2)) await this.strength();
    this.retime(this.now());
    await this.sync();
    this.closeAsks();
    this.resignedGame = false;
    const r = this.cfg.fens.length ? 0 : this.rng.next();
    if (r < 0.45) {
      this.send('force');
      this.force = true;
      this.retime(this.now());
      const fen = this.choosePosition();
      if (!(await this.setboard(fen))) return;
      for (let i = this.rng.chance(0.5) ? 0 : this.rng.int(1, 2); i > 0 && !this.gameOver; i -= 1) await this.userMove(this.chooseUserMove());
      if (!this.gameOver && this.rng.chance(0.6)) await this.go();
    } else if (r < 0.7) {
      await this.go();
    }
  }

  choosePosition() {
    if (this.cfg.fens.length) return this.rng.pick(this.cfg.fens);
    return choosePosition(this.rng, { epFens: this.cfg.epFens });
  }

  // Edit Position during a game: force, then setboard with no new. xboard
  // starts editing from the position on its board.
  async editPosition() {
    await this.forceCmd();
    if (this.gameOver) return;
    let fen;
    const r = this.rng.next();
    const current = this.ref.fen();
    const earlier = this.ref.plies > 0 ? this.rng.pick(this.ref.entries.slice(1)).move.before : null;
    if (r < 0.4) fen = current;
    else if (r < 0.55 && earlier) fen = earlier;
    else fen = this.choosePosition();
    if (!fits(fen) || (!this.cfg.epFens && epField(fen) !== '-')) fen = this.choosePosition();
    if (!(await this.setboard(fen))) return;
    // A draw offer on a position just set up: the engine has no score of it.
    if (this.rng.chance(0.2)) await this.draw();
    if (this.rng.chance(0.35)) await this.go();
  }

  async takeBack() {
    await this.forceCmd();
    if (this.gameOver || this.ref.plies === 0) return;
    const n = this.ref.plies >= 2 && this.rng.chance(0.75) ? 2 : 1;
    this.confirm = [];
    for (let i = 0; i < n; i += 1) {
      this.confirm.push({ cmd: 'undo', line: 'undo', refused: false });
      this.send('undo');
    }
    await this.sync();
    const t = this.now();
    for (const c of this.confirm) {
      if (c.refused) continue;
      const e = this.ref.undo();
      if (e.extra) {
        this.clocks = { ...e.extra.clocks };
        this.counts = { ...e.extra.counts };
      }
      this.pushState();
    }
    this.confirm = [];
    this.prediction = null;
    this.lastEngineMoveAt = -1;
    this.retime(t);
    if (this.rng.chance(0.15)) await this.draw();
    if (this.rng.chance(0.85)) await this.userMove(this.chooseUserMove());
    if (!this.gameOver && this.rng.chance(0.85)) await this.go();
  }

  async waitMove() {
    // Now and then the user presses Move Now after a moment.
    if (!this.cfg.skip.has('moveNow') && this.rng.chance(this.level.baseMs >= 60000 ? 0.8 : 0.5)) {
      await this.pause(this.rng.int(20, 300));
      if (this.onMove) this.send('?');
    }
    await this.waitFor(() => !this.onMove || !!this.fault, Infinity, 'a move');
    await this.sync();
  }

  async burst() {
    // A shuffling burst goes back and forth and brings positions back.
    const n = this.rng.int(4, 40);
    const shuffle = this.rng.chance(0.5) ? 0.9 : 0.3;
    for (let i = 0; i < n && !this.gameOver; i += 1) {
      const legal = this.ref.legalMoves();
      const back = this.reversal(legal);
      const quiet = legal.filter((m) => m.piece !== 'p' && !m.captured);
      let mv;
      if (back && this.rng.chance(shuffle)) mv = back;
      else if (quiet.length && this.rng.chance(0.85)) mv = this.rng.pick(quiet);
      else mv = this.rng.pick(legal);
      await this.userMove(mv);
    }
  }

  ponderLikely() {
    return (
      this.hard && !this.force && !this.onMove && !this.gameOver && this.lastEngineMoveAt === this.ref.plies && this.clocks[this.engineColor] > PONDER_MIN_CLOCK_MS
    );
  }

  async toggle() {
    const cmd = this.rng.pick(['hard', 'easy', 'post', 'nopost']);
    this.send(cmd);
    if (cmd === 'hard' || cmd === 'easy') this.hard = cmd === 'hard';
    else this.post = cmd === 'post';
    await this.sync();
  }

  async switchSides() {
    if (this.rng.chance(0.6)) await this.forceCmd();
    if (this.gameOver) return;
    await this.go();
  }

  // ----- replies the referee waits for -----

  // A command whose reply is judged: expect is the exact line it must get
  // (null: none); strict, that it must get no Error line either; otherwise
  // any Error line of its own word will do (an engine without the command
  // says "Error (unknown command): WORD"). required: some reply must come
  // before the engine answers the next marker.
  ask(a) {
    const entry = { strict: false, required: a.expect != null, got: false, expect: null, ...a };
    this.asks.push(entry);
    return entry;
  }

  // After the marker (or pong) that follows the asks: those owed a reply
  // have had it.
  closeAsks() {
    for (const a of this.asks) {
      if (a.required && !a.got) this.fail(`no reply to "${a.cmd}"${a.expect ? ` (expected "${a.expect}")` : ''} before the engine answered the command after it`);
    }
    this.asks = [];
  }

  // An Error line naming the word of a command awaiting its reply.
  onAskError(line, word) {
    const a = this.asks.find((x) => !x.got && x.word === word);
    if (!a) return false;
    a.got = true;
    if (a.expect != null) {
      if (line !== a.expect) this.fail(`"${line}" in reply to "${a.cmd}", which must be answered "${a.expect}"`);
    } else if (a.strict) {
      this.fail(`"${line}" in reply to "${a.cmd}", which the engine takes without a word`);
    }
    return true;
  }

  // The answer to "bk": lines that begin with a blank or a tab, ended by an
  // empty line (an engine without the command answers with an Error line).
  // Thinking lines may come meanwhile, from a search that reads "bk" later.
  onBookLine(raw) {
    const a = this.asks.find((x) => !x.got && x.kind === 'bk');
    if (!a || THINKING.test(raw)) return false;
    if (raw.trim() === '') {
      a.got = true;
      return true;
    }
    if (/^[ \t]/.test(raw)) {
      a.text = true;
      return true;
    }
    if (a.text) {
      this.fail(`the answer to "bk" is not ended by an empty line before "${raw}"`);
      return true;
    }
    return false;
  }

  // "Hint: MOVE": only in reply to "hint", a legal move of the position the
  // interface showed when it asked.
  onHint(text) {
    const a = this.asks.find((x) => !x.got && x.kind === 'hint');
    if (!a) return this.fail(`"Hint: ${text}" when no "hint" awaits an answer`);
    a.got = true;
    if (!a.chess) return this.fail(`"Hint: ${text}" in a position the engine refused`);
    if (!parseEngineMove(a.chess, text)) this.fail(`"Hint: ${text}" is no legal move in ${a.chess.fen()}`);
  }

  // "offer draw": the engine's own offer right after its move, or its
  // acceptance of the user's "draw". It judges an offer only on a score of
  // the position on the board, which it has while it searches that
  // position on its own time or once its move has led to it; a position
  // set up, reached by a take-back or by a move entered in force mode has
  // none until a search has looked at it (unless it is one the engine's
  // own move led to).
  onDrawOffer(afterMove) {
    if (afterMove) return;
    const d = this.drawsPending.shift();
    if (!d) return this.fail('"offer draw" with no "draw" to answer, and not right after a move of the engine');
    this.stats.drawAccepts += 1;
    if (d.onMove || this.onMove || this.scoredKeys.has(d.key) || this.scoredKeys.has(this.ref.last.strict)) return;
    this.fail(`the engine accepted a draw offer in ${this.ref.fen()}, a position no search of its own has scored`);
  }

  async draw() {
    this.drawsPending.push({ onMove: this.onMove, key: this.ref.last.strict });
    this.stats.draws += 1;
    this.send('draw');
    await this.sync();
    this.drawsPending = [];
  }

  // "remove" (xboard's Retract Move): two half-moves back, the engine keeps
  // its colour and the user moves again. Refused only while the engine
  // searches on its own time, or with fewer than two half-moves to take
  // back; a refusal changes nothing.
  onRemoveRefused(text) {
    const c = this.confirm.find((x) => x.cmd === 'remove' && !x.refused);
    if (!c) return this.fail(`${text ?? 'Error (command not legal now): remove'} with no "remove" sent`);
    c.refused = true;
    if (this.onMove || c.plies < 2 || (this.analysis && this.analysis.refused)) return;
    this.fail(
      `the engine refused "remove" with ${c.plies} half-moves to take back since the set-up position, while not searching on its own time ` +
        `(position ${this.ref.fen()})`,
    );
  }

  async remove() {
    const c = { cmd: 'remove', line: 'remove', refused: false, plies: this.ref.plies };
    this.confirm = [c];
    this.stats.removes += 1;
    this.send('remove');
    await this.sync();
    this.confirm = [];
    if (c.refused) return;
    if (this.ref.plies < 2) {
      return this.fail(`"remove" taken in silence with ${this.ref.plies} half-move(s) to take back since the set-up position`);
    }
    const t = this.now();
    this.settle(t);
    for (let i = 0; i < 2; i += 1) {
      const e = this.ref.undo();
      if (e.extra) {
        this.clocks = { ...e.extra.clocks };
        this.counts = { ...e.extra.counts };
      }
      this.pushState();
    }
    this.prediction = null;
    this.lastEngineMoveAt = -1;
    this.retime(t);
    if (this.rng.chance(0.3)) await this.draw();
  }

  // "remove" in Analysis mode: two half-moves back and the analysis starts
  // over there; with fewer it is refused and the analysis goes on.
  async analysisRemove() {
    const a = this.analysis;
    const c = { cmd: 'remove', line: 'remove', refused: false, plies: this.ref.plies };
    const end = this.beginChange();
    this.confirm = [c];
    this.stats.removes += 1;
    this.send('remove');
    const undone = [];
    if (c.plies >= 2) {
      for (let i = 0; i < 2; i += 1) {
        undone.push(this.ref.undo());
        this.pushState();
      }
    }
    await this.ping(end);
    this.confirm = [];
    if (c.plies < 2 && !c.refused && !a.refused) this.fail(`"remove" taken in silence in analysis with ${c.plies} half-move(s) to take back`);
    if (c.refused) for (let i = undone.length - 1; i >= 0; i -= 1) this.ref.apply(undone[i].move, undone[i].extra);
    this.prediction = null;
    this.lastEngineMoveAt = -1;
  }

  // "variant": "normal" is taken in silence, any other name and no name
  // are refused in lines of their own, and the game stays as it was.
  async variant() {
    const r = this.rng.next();
    let cmd;
    let expect = null;
    if (r < 0.3) cmd = 'variant normal';
    else if (r < 0.45) {
      cmd = 'variant';
      expect = 'Error (variant needs a name): variant';
    } else {
      const name = this.rng.pick(OTHER_VARIANTS);
      cmd = `variant ${name}`;
      expect = `Error (no such variant ${name}): variant`;
    }
    this.ask({ kind: 'variant', word: 'variant', cmd, expect, strict: true });
    this.send(cmd);
    await this.sync();
    this.closeAsks();
  }

  // "exit" outside Analysis mode: nothing to leave; the game goes on.
  async exitOutside() {
    this.send('exit');
    await this.sync();
  }

  async book() {
    this.ask({ kind: 'bk', word: 'bk', cmd: 'bk', required: true });
    this.send('bk');
    await this.sync();
    this.closeAsks();
  }

  async hint() {
    const refused = this.analysis && this.analysis.refused;
    this.ask({ kind: 'hint', word: 'hint', cmd: 'hint', chess: refused ? null : new Chess(this.ref.fen()) });
    this.send('hint');
    await this.sync();
    this.closeAsks();
  }

  async quietCommand() {
    const cmd = this.rng.pick(QUIET_COMMANDS);
    this.ask({ kind: 'quiet', word: cmd.split(' ')[0], cmd });
    this.send(cmd);
    await this.sync();
    this.closeAsks();
  }

  // "pause" and "resume" in force mode, where no clock runs.
  async pauseResume() {
    this.ask({ kind: 'quiet', word: 'pause', cmd: 'pause' });
    this.ask({ kind: 'quiet', word: 'resume', cmd: 'resume' });
    this.send('pause');
    await this.pause(this.rng.int(20, 300));
    this.send('resume');
    await this.sync();
    this.closeAsks();
  }

  // "playother" in force mode: the engine takes the side not on move and
  // the user moves. An engine without it says so and stays in force mode.
  async playOther() {
    const a = this.ask({ kind: 'playother', word: 'playother', cmd: 'playother' });
    this.send('playother');
    await this.sync();
    this.closeAsks();
    if (a.got) return;
    const t = this.now();
    this.force = false;
    this.engineColor = other(this.ref.turn);
    this.retime(t);
  }

  // The levels for people: "Limit Strength" and "Strength", now and then a
  // value out of range, which is refused and changes nothing.
  async strength() {
    const r = this.rng.next();
    let cmd;
    let expect = null;
    if (r < 0.35) cmd = `option Limit Strength=${this.rng.chance(0.6) ? 1 : 0}`;
    else if (r < 0.8) cmd = `option Strength=${this.rng.int(STRENGTH_RANGE[0], STRENGTH_RANGE[1])}`;
    else {
      const limit = this.rng.chance(0.5);
      const v = this.rng.pick(limit ? ['2', 'x', '-1'] : [String(STRENGTH_RANGE[0] - 1), String(STRENGTH_RANGE[1] + 1), 'abc']);
      cmd = `option ${limit ? 'Limit Strength' : 'Strength'}=${v}`;
      expect = `Error (bad value ${v}): option`;
    }
    this.ask({ kind: 'option', word: 'option', cmd, expect, strict: true });
    this.send(cmd);
  }

  // "memory" or "cores" and a ping after it: the pong comes once the
  // setting is served (an analysis or a ponder search starts over on it).
  async setting() {
    if (!this.smp || this.rng.chance(0.5)) {
      this.memorySent += 1;
      this.send(`memory ${this.rng.weighted(MEMORY_SIZES)}`);
    } else {
      this.send(`cores ${this.rng.pick([...new Set([1, this.cfg.threads ?? 1])])}`);
    }
    await this.ping();
  }

  // "exclude" and "include" in Analysis mode: the moves of the root the
  // analysis looks at. Its lines stay legal variations; the status line
  // may count fewer moves until the position changes.
  async exclude() {
    const a = this.analysis;
    const legal = this.ref.legalMoves();
    const r = this.rng.next();
    let cmd;
    if (r < 0.15 || legal.length === 0) cmd = 'exclude all';
    else if (r < 0.3) cmd = 'include all';
    else cmd = `${this.rng.chance(0.65) ? 'exclude' : 'include'} ${moveText(this.rng.pick(legal))}`;
    a.exclusions = true;
    this.ask({ kind: 'exclude', word: cmd.split(' ')[0], cmd });
    this.send(cmd);
    await this.ping();
    this.closeAsks();
  }

  // ----- ping -----

  // "ping N", and the wait for "pong N", which comes once every command
  // sent before it has taken effect: after the engine's move when it was
  // on move. `then` runs when the pong is read, before any later line.
  async ping(then = null) {
    this.pingCounter += 1;
    const p = { n: this.pingCounter, onMove: this.onMove, answered: false, then, memoryBefore: this.memorySent };
    this.pings.push(p);
    this.send(`ping ${p.n}`);
    const thinking = this.onMove ? Math.max(0, this.deadline - this.now()) + SILENCE_MARGIN_MS : 0;
    await this.waitFor(() => p.answered, MARKER_TIMEOUT_MS + thinking, `pong ${p.n}`);
  }

  onPong(n) {
    const p = this.pings[0];
    if (!p || p.n !== n) {
      return this.fail(`pong ${n} out of order (${p ? `ping ${p.n} is the oldest one unanswered` : 'no ping is unanswered'})`);
    }
    if (p.onMove && this.onMove) {
      return this.fail(`pong ${n} before the engine's move: it was on move when the ping was sent, and the pong says every earlier command has taken effect`);
    }
    if (this.memoryAnswered < (p.memoryBefore ?? 0)) {
      return this.fail(`pong ${n} before the engine served the "memory" sent before ping ${n}: its answer has not come`);
    }
    this.pings.shift();
    p.answered = true;
    this.stats.pongs += 1;
    if (p.then) p.then();
  }

  // ----- analysis mode -----

  // Analysis mode as xboard enters it: Edit Game first ("force"), "post"
  // (the lines come after "nopost" too), "analyze".
  async analyze() {
    if (!this.force) await this.forceCmd();
    if (this.gameOver) return;
    if (this.rng.chance(0.15)) this.send('nopost');
    else if (this.rng.chance(0.85)) this.send('post');
    this.send('analyze');
    this.stats.analyses += 1;
    this.analysis = { prev: null, reached: 0, refused: false, lines: 0, since: this.now() };
    await this.ping();
  }

  // A line of the analysis: a legal variation in the analysed position,
  // or, while a change is in flight, in a position the change passed
  // through (the one before it, those between the take-backs of several
  // moves), in the order the change passed them: no line of a position
  // after one of a later position.
  onAnalysisLine(line, pv) {
    const a = this.analysis;
    this.stats.analysisLines += 1;
    if (pv.length === 0) return this.fail(`analysis line without a variation: "${line}"`);
    const candidates = [...(a.prev ? a.prev.slice(a.reached) : []), this.ref.chess];
    const k = candidates.findIndex((chess) => variationFits(chess, pv));
    if (k === candidates.length - 1) {
      if (a.prev) a.reached = a.prev.length;
      a.lines += 1;
      return;
    }
    if (k >= 0) {
      a.reached += k;
      return;
    }
    const passed = candidates.length > 1 ? `, nor in the positions the last change passed through (${candidates.slice(0, -1).map((c) => c.fen()).join('; ')})` : '';
    this.fail(`analysis line "${line}" is no legal variation in the analysed position ${this.ref.fen()}${passed}`);
  }

  // The analysed position changes: lines of the one before (and of those
  // passed through, see passThrough) may still come until the pong that
  // follows the change, which calls what this returns.
  beginChange() {
    const a = this.analysis;
    a.prev = [new Chess(this.ref.fen())];
    a.exclusions = false;
    a.reached = 0;
    a.lines = 0;
    a.since = this.now();
    return () => {
      a.prev = null;
    };
  }

  // A position the change passes through on its way.
  passThrough() {
    this.analysis.prev.push(new Chess(this.ref.fen()));
  }

  // The user moves in Analysis mode: the move alone (no clocks run).
  async analysisMove() {
    const move = this.chooseUserMove();
    const text = moveText(move);
    const end = this.beginChange();
    this.send(this.usermove ? `usermove ${text}` : text);
    this.stats.userMoves += 1;
    this.ref.apply(move);
    this.pushState();
    this.prediction = null;
    await this.ping(end);
  }

  // An illegal move: "Illegal move", and the analysis goes on.
  async analysisIllegalMove() {
    const text = this.chooseIllegalText();
    this.stats.illegal += 1;
    this.illegalPending.push(text);
    this.send(this.usermove ? `usermove ${text}` : text);
    await this.ping();
    if (this.illegalPending.length > 0) this.fail(`no "Illegal move: ${text}" before the pong that followed it`);
  }

  // Take-backs as xboard sends them in Analysis mode (one "undo" per
  // half-move), or as its rewind does: out of the analysis for them and
  // into it again.
  async analysisUndo(rewind = false) {
    const n = rewind ? this.rng.int(1, Math.min(this.ref.plies, 4)) : this.ref.plies >= 2 && this.rng.chance(0.3) ? 2 : 1;
    const end = this.beginChange();
    if (rewind) {
      this.send('exit');
      this.send('force');
    }
    this.confirm = [];
    const undone = [];
    for (let i = 0; i < n; i += 1) {
      this.confirm.push({ cmd: 'undo', line: 'undo', refused: false });
      this.send('undo');
      undone.push(this.ref.undo());
      this.pushState();
      if (i < n - 1) this.passThrough();
    }
    if (rewind) this.send('analyze');
    await this.ping(end);
    for (let i = n - 1; i >= 0; i -= 1) if (this.confirm[i].refused) this.ref.apply(undone[i].move, undone[i].extra);
    this.confirm = [];
    this.prediction = null;
    this.lastEngineMoveAt = -1;
  }

  analysisRewind() {
    return this.analysisUndo(true);
  }

  // Edit Position in Analysis mode: "setboard" alone.
  async analysisSetboard() {
    let fen = this.rng.chance(0.3) ? this.ref.fen() : this.choosePosition();
    if (!fits(fen) || (!this.cfg.epFens && epField(fen) !== '-')) fen = this.choosePosition();
    const line = `setboard ${fen}`;
    const before = this.ref;
    const a = this.analysis;
    const end = this.beginChange();
    this.confirm = [{ cmd: 'setboard', line, refused: false }];
    this.send(line);
    this.ref = new Referee(fen);
    this.pushState();
    await this.ping(end);
    a.refused = this.confirm[0].refused;
    this.confirm = [];
    if (a.refused) {
      this.ref = before;
      this.pushState();
    }
    this.counts = { w: 0, b: 0 };
    this.prediction = null;
    this.lastEngineMoveAt = -1;
  }

  // "new" inside the analysis, which stays on (the start position), then
  // the level again, as xboard sends it after every "new".
  async analysisNew() {
    const a = this.analysis;
    const end = this.beginChange();
    this.send('new');
    this.stats.games += 1;
    this.ref = new Referee(START_FEN);
    this.engineColor = 'b';
    this.counts = { w: 0, b: 0 };
    this.clocks = { w: this.level.baseMs, b: this.level.baseMs };
    this.prediction = null;
    this.lastEngineMoveAt = -1;
    this.pushState();
    this.send(this.level.cmd);
    await this.ping(end);
    a.refused = false;
  }

  // "." and its stat01 line, about the analysed position (never while a
  // change is in flight).
  async status() {
    const a = this.analysis;
    if (a.prev) return;
    const pending = { chess: a.refused ? null : new Chess(this.ref.fen()), answered: false, exclusions: !!a.exclusions };
    this.statusPending.push(pending);
    this.send('.');
    await this.waitFor(() => pending.answered, STATUS_TIMEOUT_MS, 'the stat01 answer to "."');
  }

  onStatus(line) {
    const pending = this.statusPending.shift();
    if (!pending) return this.fail(`"${line}" when no "." awaits an answer`);
    pending.answered = true;
    this.stats.statusLines += 1;
    const problem = judgeStatus(line, pending.chess, { exclusions: pending.exclusions });
    if (problem) this.fail(`"${line}": ${problem} (position ${pending.chess ? pending.chess.fen() : 'refused by the engine'})`);
  }

  // "exit" (and now and then "force", as xboard's Edit Game sends it): the
  // analysis ends; lines of it may come until the pong, none after. The
  // engine stays in force mode on the analysed position, where the game
  // goes on.
  async exitAnalysis() {
    const a = this.analysis;
    const silent = this.now() - a.since;
    if (!a.refused && !a.prev && !a.exclusions && a.lines === 0 && silent > ANALYSIS_SILENCE_MS && this.ref.legalMoves().length > 0) {
      return this.fail(`no analysis line in ${silent.toFixed(0)} ms of analysing ${this.ref.fen()}`);
    }
    this.send('exit');
    if (this.rng.chance(0.5)) this.send('force');
    await this.ping(() => {
      this.analysis = null;
    });
    const t = this.now();
    if (this.ref.chess.isCheckmate()) this.endGame(this.ref.turn === 'b' ? '1-0 {White mates}' : '0-1 {Black mates}', t);
    else if (this.ref.chess.isStalemate()) this.endGame('1/2-1/2 {Stalemate}', t);
    this.retime(t);
  }

  // Lets a ponder search run (and perhaps finish), then does one of the
  // things a stored ponder reply has to survive.
  async ponderProbe() {
    this.stats.ponder += 1;
    // A ponder search can only finish in a small position: only there is a
    // long wait worth it.
    const pieces = this.ref.fen().split(' ')[0].replace(/[^a-zA-Z]/g, '').length;
    await this.pause(pieces <= 7 && this.rng.chance(0.5) ? this.rng.int(800, 2500) : this.rng.int(150, 700));
    if (this.gameOver || this.onMove || this.force) return;
    const what = this.rng.weighted([
      ['predicted', 6],
      ['switch', this.cfg.skip.has('switch') ? 0 : 3],
      ['takeback', this.cfg.skip.has('takeback') ? 0 : 3],
      ['edit', this.cfg.skip.has('edit') ? 0 : 1],
      ['new', this.cfg.skip.has('new') ? 0 : 1],
    ]);
    this.note(`ponder probe: ${what}`);
    if (what === 'predicted') await this.userMove(this.chooseUserMove(true));
    else if (what === 'switch') await this.switchSides();
    else if (what === 'takeback') await this.takeBack();
    else if (what === 'edit') await this.editPosition();
    else await this.newGame();
  }

  state() {
    if (this.analysis) return 'analysis';
    if (this.gameOver) return 'over';
    if (this.onMove) return 'onMove';
    if (this.force) return 'force';
    return 'user';
  }

  async step() {
    if (this.needSync) await this.sync();
    if (this.gameOver && !this.resultSent) {
      await this.result(this.gameOver.result);
      return;
    }
    const state = this.state();
    const table = ACTIONS[state];
    const entries = Object.entries(table).filter(([name]) => {
      if (this.cfg.skip.has(name)) return false;
      // In a position the engine refused, moves and take-backs are refused.
      if (['aMove', 'aIllegal', 'aUndo', 'aRewind', 'aRemove', 'exclude'].includes(name) && this.analysis.refused) return false;
      if (name === 'takeback' || name === 'aUndo' || name === 'aRewind') return this.ref.plies > 0;
      if (name === 'aMove' || name === 'aIllegal') return this.ref.legalMoves().length > 0;
      if (name === 'ponder') return this.ponderLikely();
      return true;
    });
    const fallback = { onMove: 'waitMove', force: 'go', user: 'userMove', over: 'new', analysis: 'exit' }[state];
    const action = entries.length ? this.rng.weighted(entries) : fallback;
    this.stats.actions += 1;
    // An interruption of the engine's thinking comes at once or a moment
    // into the search; if the move arrives meanwhile, the step is over.
    if (state === 'onMove' && action !== 'waitMove' && this.rng.chance(0.6)) {
      await this.pause(this.rng.int(20, 400));
      if (!this.onMove) return;
    }
    if (this.ponderLikely() && action !== 'ponder') this.stats.ponder += 1;
    switch (action) {
      case 'waitMove':
        return this.waitMove();
      case 'moveNow':
        this.send('?');
        await this.waitFor(() => !this.onMove || !!this.fault, Infinity, 'a move');
        return this.sync();
      case 'see':
        this.send(`see ${this.rng.int(0, 63)}`);
        return this.sync();
      case 'force':
        return this.forceCmd();
      case 'edit':
        return this.editPosition();
      case 'new':
        return this.newGame();
      case 'result':
        return this.result(this.rng.pick(USER_RESULTS));
      case 'toggle':
        return this.toggle();
      case 'draw':
        return this.draw();
      case 'remove':
        return this.remove();
      case 'aRemove':
        return this.analysisRemove();
      case 'variant':
        return this.variant();
      case 'exitOutside':
        return this.exitOutside();
      case 'bk':
        return this.book();
      case 'hint':
        return this.hint();
      case 'misc':
        return this.quietCommand();
      case 'pause':
        return this.pauseResume();
      case 'playother':
        return this.playOther();
      case 'strength':
        await this.strength();
        await this.sync();
        return this.closeAsks();
      case 'setting':
        return this.setting();
      case 'exclude':
        return this.exclude();
      case 'userMove':
        return this.userMove(this.chooseUserMove());
      case 'burst':
        return this.burst();
      case 'go':
        return this.go();
      case 'takeback':
        return this.takeBack();
      case 'wait':
        return this.pause(this.rng.chance(0.85) ? this.rng.int(200, 400) : this.rng.int(400, 3000));
      case 'illegal':
        return this.illegalMove();
      case 'ponder':
        return this.ponderProbe();
      case 'switch':
        return this.switchSides();
      case 'ping':
        return this.ping();
      case 'analyze':
        return this.analyze();
      case 'aMove':
        return this.analysisMove();
      case 'aIllegal':
        return this.analysisIllegalMove();
      case 'aUndo':
        return this.analysisUndo();
      case 'aRewind':
        return this.analysisRewind();
      case 'aSetboard':
        return this.analysisSetboard();
      case 'aNew':
        return this.analysisNew();
      case 'dot':
        return this.status();
      case 'aWait':
        return this.pause(this.rng.chance(0.7) ? this.rng.int(50, 400) : this.rng.int(400, 2000));
      case 'exit':
        return this.exitAnalysis();
      default:
        throw new Error(`unknown action ${action}`);
    }
  }

  async handshake() {
    this.send('xboard');
    this.send('protover 2');
    await this.waitFor(() => this.featuresDone, STARTUP_TIMEOUT_MS, 'feature done=1');
    this.usermove = this.rng.chance(0.5);
    for (const f of ['setboard', 'sigint', 'sigterm', 'colors', 'analyze', 'ping', 'ics', 'memory', 'myname', 'done']) this.send(`accepted ${f}`);
    if (this.smp) this.send('accepted smp');
    this.send(this.usermove ? 'accepted usermove' : 'rejected usermove');
    this.send('ics -');
  }

  async quit() {
    this.openWindow('quit', false);
    this.quitting = true;
    this.send('quit');
    let timer;
    const ok = await Promise.race([
      this.exited.then(() => true),
      new Promise((r) => {
        timer = setTimeout(() => r(false), QUIT_TIMEOUT_MS);
      }),
    ]);
    clearTimeout(timer);
    if (!ok) return this.fail(`the engine did not exit within ${QUIT_TIMEOUT_MS / 1000} s of quit`);
    // Lines it printed before going away have been checked by now.
    await new Promise((r) => setImmediate(r));
    if (this.exitInfo.code !== 0) this.fail(`the engine exited with ${this.exitInfo.signal ? `signal ${this.exitInfo.signal}` : `status ${this.exitInfo.code}`} after quit`);
  }

  async run() {
    const started = Date.now();
    try {
      await this.start();
      await this.handshake();
      this.stats.startMs = this.now();
      await this.newGame();
      const actions = this.rng.int(this.cfg.minActions, this.cfg.maxActions);
      for (let i = 0; i < actions; i += 1) await this.step();
      // xboard leaves Analysis mode before it ends the engine, most times.
      if (this.analysis && this.rng.chance(0.7)) await this.exitAnalysis();
      if (this.needSync) await this.sync();
      await this.quit();
    } catch (err) {
      if (!(err instanceof Fault)) this.fail(`runner error: ${err.stack}`);
    } finally {
      await this.stop();
    }
    return {
      seed: this.seed,
      ok: !this.fault,
      fault: this.fault,
      transcript: this.transcript,
      stats: this.stats,
      refusals: this.refusalLog,
      dir: this.dir,
      dirKept: !!this.fault && !this.dirRemoved,
      ms: Date.now() - started,
    };
  }
}

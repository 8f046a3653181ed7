// A refereed Chess960 session over xboard's protocol: the engine is asked
// for "variant fischerandom", set up with "setboard" (X-FEN or Shredder-FEN,
// a starting position or a mid-game one), and plays games in which the
// interface's moves and the engine's are judged by chessops through the
// Chess960 referee (tools/match/lib/chess960.mjs), never by anything the
// engine says about itself:
//   - the feature line offers fischerandom in variants=;
//   - "move X": only on move, X legal in the referee's position, castling
//     written O-O / O-O-O (a king's move onto its rook or two squares
//     towards it is no move in this protocol);
//   - a user move in the wrong castling form (king takes rook), a castling
//     the position does not allow, or O-O-O where only O-O is legal gets
//     "Illegal move: X" (X as sent, or the coordinates the engine read it
//     as: for O-O the king's square and another square) and changes
//     nothing; a legal user castling O-O / O-O-O is taken;
//   - result claims are true in the referee's position (mate with the right
//     winner, stalemate, insufficient material, repetition, 50 moves since
//     the set-up); "resign" ends the game;
//   - no Error or tellusererror line answers "variant fischerandom",
//     "setboard" or a legal move; nothing on standard error; exit within
//     5 s of quit.
// The result has the shape of Session.run()'s, so sessions.mjs reports both
// alike.
import { spawn } from 'node:child_process';
import { performance } from 'node:perf_hooks';
import fs from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { Rng } from './random.mjs';
import { judgeClaim } from './referee.mjs';
import { Referee960, castlingOf, startFen960, uciMove960 } from '../../match/lib/chess960.mjs';
import { makeSquare } from '../../match/node_modules/chessops/dist/esm/util.js';

// Mid-game positions whose castling is out of the ordinary (the king or a
// rook already on its destination, king and rook swapping, a right on an
// inner rook), in both FEN forms.
export const MIDGAME_960 = [
  '1r4kr/pp1b1ppp/2n1pn2/2pp4/2PP4/2N1PN2/PP1B1PPP/1R4KR w HBhb - 0 9',
  '1k3r1r/ppp1bppp/2n1pn2/3p4/3P4/2N1PN2/PPP1BPPP/1K3R1R w Ff - 0 9',
  '1r3kr1/pppb1ppp/2n1pn2/3p4/3P4/2N1PN2/PPPB1PPP/1R3KR1 w GBgb - 0 9',
  '2rk2r1/pp1nbppp/2p1pn2/3p4/3P4/2P1PN2/PP1NBPPP/2RK2R1 w KQkq - 0 9',
  'rk2r3/pppq1ppp/2n1bn2/3pp3/3PP3/2N1BN2/PPPQ1PPP/RK2R3 w KQkq - 0 9',
  'r1rk4/pp1nbppp/2p1pn2/3p4/3P4/2P1PN2/PP1NBPPP/4KR1R w Fc - 0 9',
  'rk5r/ppp2ppp/2nq4/8/5B2/2N5/PPP2PPP/RK5R w HAha - 0 9',
];

const MOVE_TIMEOUT_MS = 15000;
const REPLY_TIMEOUT_MS = 5000;

class Fault extends Error {}

// Shredder-FEN of a starting position: the rooks' files instead of KQkq.
function shredder(fen) {
  const f = fen.split(' ');
  const rank = f[0].split('/')[7];
  const rooks = [...rank].flatMap((p, i) => (p === 'R' ? ['ABCDEFGH'[i]] : []));
  f[2] = `${rooks[1]}${rooks[0]}${rooks[1].toLowerCase()}${rooks[0].toLowerCase()}`;
  return f.join(' ');
}

export class Session960 {
  // cfg: { engine, engineArgs = [], data, minActions, maxActions }.
  constructor(cfg, seed) {
    this.cfg = cfg;
    this.seed = seed;
    this.rng = new Rng(seed);
    this.transcript = [];
    this.fault = null;
    this.lines = [];
    this.waiter = null;
    this.pings = 0;
    this.stats = { commands: 0, actions: 0, games: 0, userMoves: 0, engineMoves: 0, claims: 0, illegal: 0, resigns: 0, pongs: 0, startMs: 0, thinkMs: 0, pauseMs: 0 };
  }

  now() {
    return performance.now() - this.t0;
  }
  note(text) {
    this.log('#', text);
  }
  log(mark, text) {
    this.transcript.push(`${this.now().toFixed(0).padStart(7)} ${mark} ${text}`);
  }
  fail(why) {
    if (!this.fault) {
      this.fault = why;
      this.log('#', `FAULT: ${why}`);
    }
    throw new Fault(why);
  }
  send(cmd) {
    if (this.fault) throw new Fault(this.fault);
    this.log('>', cmd);
    this.stats.commands += 1;
    this.proc.stdin.write(`${cmd}\n`);
  }

  async start() {
    this.t0 = performance.now();
    this.dir = await fs.mkdtemp(path.join(os.tmpdir(), 'brevalt-referee960-'));
    for (const entry of await fs.readdir(this.cfg.data, { withFileTypes: true })) {
      if (entry.isFile()) await fs.copyFile(path.join(this.cfg.data, entry.name), path.join(this.dir, entry.name));
    }
    this.proc = spawn(path.resolve(this.cfg.engine), this.cfg.engineArgs ?? [], { cwd: this.dir, stdio: ['pipe', 'pipe', 'pipe'] });
    this.exited = new Promise((resolve) => this.proc.on('exit', (code, signal) => resolve({ code, signal })));
    this.proc.on('error', (err) => (this.fault ??= `cannot run the engine: ${err.message}`));
    this.proc.stdin.on('error', () => {});
    let pending = '';
    this.proc.stdout.on('data', (chunk) => {
      pending += chunk.toString('utf8');
      let nl;
      while ((nl = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, nl).replace(/\r$/, '');
        pending = pending.slice(nl + 1);
        this.log('<', line);
        this.lines.push(line);
        this.waiter?.();
      }
    });
    this.proc.stderr.on('data', (chunk) => {
      this.log('!', chunk.toString('utf8').trimEnd());
      this.fault ??= `the engine wrote to its standard error: ${chunk.toString('utf8').trim()}`;
    });
  }

  // The first line (taken from the queue) that pred accepts; lines before it
  // go to other(line), which may fail. Fails after timeoutMs.
  async expect(pred, what, timeoutMs, other = () => {}) {
    const deadline = performance.now() + timeoutMs;
    for (;;) {
      if (this.fault) throw new Fault(this.fault);
      while (this.lines.length) {
        const line = this.lines.shift();
        if (pred(line)) return line;
        other(line);
      }
      const left = deadline - performance.now();
      if (left <= 0) this.fail(`no ${what} within ${timeoutMs} ms`);
      await new Promise((resolve) => {
        const timer = setTimeout(resolve, Math.min(left, 100));
        this.waiter = () => {
          clearTimeout(timer);
          resolve();
        };
      });
      this.waiter = null;
    }
  }

  // Lines the engine may print besides the one waited for.
  harmless(line, during) {
    if (line === '' || line.startsWith('#') || /^\d+\s+-?\d+\s+\d+\s+\d+/.test(line) || /^(feature|telluser |tellics|kibitz|whisper|offer draw)/.test(line)) return;
    if (/^(Error|tellusererror|Illegal move)/.test(line)) this.fail(`"${line}" ${during}`);
    this.fail(`unexpected line "${line}" ${during}`);
  }

  // ping N / pong N: everything the engine printed before the pong is in.
  async sync(during, other) {
    const n = ++this.pings;
    this.send(`ping ${n}`);
    await this.expect((l) => l === `pong ${n}`, `pong ${n}`, REPLY_TIMEOUT_MS, other ?? ((l) => this.harmless(l, during)));
    this.stats.pongs += 1;
  }

  async handshake() {
    this.send('xboard');
    this.send('protover 2');
    let variants = null;
    await this.expect(
      (l) => /^feature\b.*\bdone=1/.test(l) && ((variants ??= /variants="([^"]*)"/.exec(l)?.[1] ?? null), true),
      'feature line with done=1',
      REPLY_TIMEOUT_MS,
      (l) => {
        const m = /variants="([^"]*)"/.exec(l);
        if (m) variants = m[1];
      },
    );
    if (!variants || !variants.split(',').includes('fischerandom')) this.fail(`the engine offers no fischerandom variant (variants="${variants ?? ''}")`);
    for (const f of ['usermove', 'setboard', 'ping', 'done']) this.send(`accepted ${f}`);
  }

  // A starting position (X-FEN or Shredder-FEN) or a mid-game position.
  chooseFen() {
    if (this.rng.chance(0.4)) return this.rng.pick(MIDGAME_960);
    const fen = startFen960(this.rng.int(0, 959));
    return this.rng.chance(0.5) ? shredder(fen) : fen;
  }

  // Castling texts no engine may take in the referee's position: O-O or
  // O-O-O where that castling is not allowed, and the king's move onto one
  // of its own rooks (the other protocol's castling form) where that
  // castling is not allowed either.
  illegalTexts() {
    const pos = this.ref.pos;
    const castles = this.ref.legalMoves().filter((m) => castlingOf(pos, m));
    const out = [];
    for (const t of ['O-O', 'O-O-O']) if (!this.ref.parse(t, 'cecp')) out.push(t);
    const king = pos.board.kingOf(pos.turn);
    for (const rook of pos.board.pieces(pos.turn, 'rook')) {
      if (rook >> 3 === king >> 3 && !castles.some((m) => m.to === rook)) out.push(uciMove960({ from: king, to: rook }));
    }
    return out;
  }

  // Whether line refuses the user move text: "Illegal move: " and the text,
  // or the coordinates the engine read it as (its first four characters,
  // as the standard referee takes them; for O-O / O-O-O the king's square
  // and another square, the engine's reading of the castling).
  echoes(line, text) {
    const m = /^Illegal move: (\S+)$/.exec(line);
    if (!m) return false;
    // The engine reads the line lower-cased, and may echo it so.
    const said = m[1].toLowerCase();
    if (said === text.toLowerCase() || said === text.slice(0, 4).toLowerCase()) return true;
    if (!/^O-O(-O)?$/.test(text)) return false;
    const king = makeSquare(this.ref.pos.board.kingOf(this.ref.pos.turn));
    return new RegExp(`^${king}[a-h][1-8]$`).test(m[1]);
  }

  // A claim or resignation while a game is on: true when it ends the game.
  judgeEnd(line) {
    if (/^resign\b/.test(line)) {
      this.stats.resigns += 1;
      return true;
    }
    const m = /^(1-0|0-1|1\/2-1\/2)\s*(\{[^}]*\})/.exec(line);
    if (!m) return false;
    this.stats.claims += 1;
    const verdict = judgeClaim(`${m[1]} ${m[2]}`, this.ref.facts());
    if (verdict !== true) this.fail(`claim "${line}" is ${verdict === false ? 'false' : 'unknown'} in ${this.ref.fen()}`);
    return true;
  }

  async engineMove(during) {
    let ended = false;
    const t = this.now();
    const line = await this.expect(
      (l) => /^move\s+\S+/.test(l) || (ended = this.judgeEnd(l)),
      'move',
      MOVE_TIMEOUT_MS,
      (l) => this.harmless(l, during),
    );
    this.stats.thinkMs += this.now() - t;
    if (ended) return false;
    const text = /^move\s+(\S+)/.exec(line)[1];
    const move = this.ref.parse(text, 'cecp');
    if (!move) this.fail(`"${line}" is no legal move (castling O-O / O-O-O) in ${this.ref.fen()}`);
    this.ref.apply(move);
    this.stats.engineMoves += 1;
    return true;
  }

  async game() {
    this.stats.games += 1;
    const fen = this.chooseFen();
    this.ref = new Referee960(fen);
    this.send('new');
    this.send('variant fischerandom');
    this.send('sd 2');
    this.send('post');
    this.send('force');
    this.send(`setboard ${fen}`);
    await this.sync('after variant fischerandom and setboard');
    // The user plays a few moves in force mode, then the engine takes the
    // side to move with "go", and from then on answers each user move.
    const forced = this.rng.int(0, 3);
    const rounds = this.rng.int(2, 8);
    for (let i = 0; i < forced && !this.ref.outcome(); i += 1) await this.userMove(true);
    if (this.ref.outcome()) return this.endGame();
    this.send('go');
    if (!(await this.engineMove('while the engine is on move'))) return this.endGame();
    for (let i = 0; i < rounds && !this.ref.outcome(); i += 1) {
      await this.userMove();
      if (this.ref.outcome()) break;
      if (!(await this.engineMove('after a user move'))) break;
    }
    return this.endGame();
  }

  // One user move: now and then first a text the position does not allow,
  // which must be refused; then a legal move, a castling most times when
  // there is one, in O-O / O-O-O form.
  async userMove(forceMode = false) {
    this.stats.actions += 1;
    const wrong = this.illegalTexts();
    if (wrong.length && this.rng.chance(0.5)) {
      const text = this.rng.pick(wrong);
      this.stats.illegal += 1;
      this.send(`usermove ${text}`);
      let refused = false;
      await this.sync(`after the illegal user move ${text}`, (l) => {
        if (this.echoes(l, text)) refused = true;
        else this.harmless(l, `after the illegal user move ${text}`);
      });
      if (!refused) this.fail(`the illegal move "${text}" got no "Illegal move: ${text}" in ${this.ref.fen()}`);
    }
    const legal = this.ref.legalMoves().filter((m) => !m.promotion || m.promotion === 'queen');
    const castles = legal.filter((m) => castlingOf(this.ref.pos, m));
    // A legal castling in the other protocol's form (the king taking its
    // rook) is no CECP move, but it names the castling unmistakably (a king
    // never moves onto its own piece): the engine may refuse it or play the
    // castling, and the referee follows what it did. Tried in force mode
    // only, where a taken move brings no reply.
    if (forceMode && castles.length && this.rng.chance(0.5)) {
      const castle = this.rng.pick(castles);
      const text = uciMove960(castle);
      this.send(`usermove ${text}`);
      let refused = false;
      await this.sync(`after the user move ${text}`, (l) => {
        if (this.echoes(l, text)) refused = true;
        else this.harmless(l, `after the user move ${text}`);
      });
      if (!refused) {
        this.note(`${text} taken as castling ${this.ref.moveText(castle, 'cecp')}`);
        this.ref.apply(castle);
        this.stats.userMoves += 1;
        return 'taken';
      }
    }
    const move = castles.length && this.rng.chance(0.7) ? this.rng.pick(castles) : this.rng.pick(legal);
    const text = this.ref.moveText(move, 'cecp');
    this.ref.apply(move);
    this.stats.userMoves += 1;
    this.send(`usermove ${text}`);
  }

  async endGame() {
    await this.sync('at the end of the game', (l) => {
      if (!this.judgeEnd(l)) this.harmless(l, 'at the end of the game');
    });
    this.send('force');
  }

  async run() {
    const started = Date.now();
    try {
      await this.start();
      await this.handshake();
      this.stats.startMs = this.now();
      const games = this.rng.int(1, 3);
      for (let g = 0; g < games; g += 1) await this.game();
      this.send('quit');
      const timer = new Promise((r) => setTimeout(() => r(null), 5000));
      const exit = await Promise.race([this.exited, timer]);
      if (!exit) this.fail('the engine did not exit within 5 s of quit');
      if (exit.code !== 0) this.fail(`the engine exited with status ${exit.code} (signal ${exit.signal})`);
    } catch (err) {
      if (!(err instanceof Fault)) this.fault ??= `runner error: ${err.stack}`;
    } finally {
      if (this.proc && this.proc.exitCode === null && this.proc.signalCode === null) this.proc.kill('SIGKILL');
      if (this.dir && !this.fault) await fs.rm(this.dir, { recursive: true, force: true });
    }
    return {
      seed: this.seed,
      ok: !this.fault,
      fault: this.fault,
      transcript: this.transcript,
      stats: this.stats,
      refusals: [],
      dir: this.dir,
      dirKept: !!this.fault,
      ms: Date.now() - started,
    };
  }
}

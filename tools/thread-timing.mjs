#!/usr/bin/env node
// How long the engine takes to answer a short clock at several thread
// counts: the time from writing the "go" line to reading the move, which
// includes starting and stopping the helper threads. For each count it runs
// twenty tries of each case from the positions of a short game (the book
// off, so every answer is searched):
//   uci-clock     UCI "go wtime 100 btime 100": the whole clock is 100 ms,
//                 so the move must come before it runs out: < 100 ms;
//   uci-movetime  UCI "go movetime 50": <= 50 ms, nothing added (the
//                 engine's own limit holds back its move overhead, so a
//                 correct answer has room to spare even through the pipes);
//   cecp-clock    CECP "cores N", "time 10", "otim 10", "go": 10 cs, the
//                 whole clock again: < 100 ms.
// Prints the maximum and the median of each case per count and exits 1 when
// any answer was late.
//
// Usage: node tools/thread-timing.mjs [--engine BINARY] [--threads 1,2,32,256] [--tries 20]
// Run it on an otherwise idle machine: a build
// running beside it takes the cores the measurement is about.
import { spawn } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
let engine = join(root, 'build-dev', 'brevalt');
let counts = [1, 2, 32, 256];
let tries = 20;
for (let i = 2; i < process.argv.length; i += 2) {
  const [flag, value] = [process.argv[i], process.argv[i + 1]];
  if (flag === '--engine') engine = resolve(value);
  else if (flag === '--threads') counts = value.split(',').map(Number);
  else if (flag === '--tries') tries = Number(value);
  else {
    console.error(`thread-timing: unknown option ${flag}`);
    process.exit(2);
  }
}

// 1.e4 e5 2.Nf3 Nc6 3.Bc4 Bc5 4.c3 Nf6 5.d4 exd4 6.cxd4 Bb4+ 7.Nc3 Nxe4
// 8.O-O Bxc3 9.d5 Bf6 10.Re1 Ne7 11.Rxe4 d6: try k starts after the first
// 1 + k % 20 plies, so both sides are to move in turn.
const GAME = 'e2e4 e7e5 g1f3 b8c6 f1c4 f8c5 c2c3 g8f6 d2d4 e5d4 c3d4 c5b4 b1c3 f6e4 e1g1 b4c3 d4d5 c3f6 f1e1 c6e7 e1e4 d7d6'.split(' ');
const prefix = (k) => GAME.slice(0, 1 + (k % 20));

// One engine process in a scratch copy of the data folder, read line by line.
class Engine {
  constructor(dir) {
    this.proc = spawn(engine, [], { cwd: dir, stdio: ['pipe', 'pipe', 'inherit'] });
    this.buffer = '';
    this.waiter = null;
    this.proc.stdout.setEncoding('utf8');
    this.proc.stdout.on('data', (chunk) => {
      this.buffer += chunk;
      this.check();
    });
    this.proc.on('exit', () => {
      if (this.waiter) this.waiter.reject(new Error(`the engine ended; output so far:\n${this.buffer}`));
    });
  }
  send(text) {
    this.proc.stdin.write(text);
  }
  // Resolves with the time (ms, from now) at which a line starting with
  // `start` was read, dropping everything up to and including that line.
  until(start, limitMs = 60000) {
    return new Promise((resolvePromise, reject) => {
      const timer = setTimeout(() => reject(new Error(`no "${start}" within ${limitMs} ms; output:\n${this.buffer}`)), limitMs);
      this.waiter = {
        start,
        resolve: (line) => {
          clearTimeout(timer);
          resolvePromise(line);
        },
        reject,
      };
      this.check();
    });
  }
  check() {
    if (!this.waiter) return;
    let from = 0;
    for (;;) {
      const end = this.buffer.indexOf('\n', from);
      if (end < 0) break;
      const line = this.buffer.slice(from, end);
      from = end + 1;
      if (line.startsWith(this.waiter.start)) {
        const at = performance.now();
        const w = this.waiter;
        this.waiter = null;
        this.buffer = this.buffer.slice(from);
        w.resolve({ line, at });
        return;
      }
    }
    this.buffer = this.buffer.slice(from);
  }
  async quit() {
    const ended = new Promise((r) => this.proc.on('exit', r));
    this.send('quit\n');
    await ended;
  }
}

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};

// The UCI cases: the position is set and synchronised with isready, then
// the "go" line alone is timed.
async function uciCase(e, go) {
  const times = [];
  for (let k = 0; k < tries; ++k) {
    e.send(`ucinewgame\nposition startpos moves ${prefix(k).join(' ')}\nisready\n`);
    await e.until('readyok');
    const sent = performance.now();
    e.send(`${go}\n`);
    const { at } = await e.until('bestmove ');
    times.push(at - sent);
  }
  return times;
}

async function cecpCase(e, threads) {
  const times = [];
  for (let k = 0; k < tries; ++k) {
    e.send(`new\ncores ${threads}\nforce\n${prefix(k).join('\n')}\nping ${k + 1}\n`);
    await e.until(`pong ${k + 1}`);
    const sent = performance.now();
    e.send('time 10\notim 10\ngo\n');
    const { line, at } = await e.until('move ');
    times.push(at - sent);
    if (!/^move ([a-h][1-8][a-h][1-8][qrbn]?|o-o|o-o-o)$/.test(line)) throw new Error(`unexpected move line "${line}"`);
  }
  return times;
}

const dir = mkdtempSync(join(tmpdir(), 'thread-timing-'));
let late = 0;
try {
  cpSync(join(root, 'data'), dir, { recursive: true });
  const ini = join(dir, 'Brevalt.ini');
  writeFileSync(ini, readFileSync(ini, 'utf8').replace(/^1 opening book/m, '0 opening book'));
  const cases = [
    { name: 'uci-clock', limit: 'under 100 ms', ok: (t) => t < 100 },
    { name: 'uci-movetime', limit: 'up to 50 ms', ok: (t) => t <= 50 },
    { name: 'cecp-clock', limit: 'under 100 ms', ok: (t) => t < 100 },
  ];
  console.log(`thread-timing: ${engine}, ${tries} tries per case`);
  console.log('threads  case           max ms  median ms  late  (limit)');
  for (const threads of counts) {
    const results = {};
    const uci = new Engine(dir);
    uci.send(`uci\nsetoption name Threads value ${threads}\nsetoption name OwnBook value false\nisready\n`);
    await uci.until('readyok');
    results['uci-clock'] = await uciCase(uci, 'go wtime 100 btime 100');
    results['uci-movetime'] = await uciCase(uci, 'go movetime 50');
    await uci.quit();
    const cecp = new Engine(dir);
    cecp.send('xboard\nprotover 2\n');
    await cecp.until('feature done=1');
    results['cecp-clock'] = await cecpCase(cecp, threads);
    await cecp.quit();
    for (const c of cases) {
      const t = results[c.name];
      const bad = t.filter((x) => !c.ok(x)).length;
      late += bad;
      const max = Math.max(...t);
      console.log(
        `${String(threads).padStart(7)}  ${c.name.padEnd(13)} ${max.toFixed(1).padStart(7)} ${median(t).toFixed(1).padStart(10)} ${String(bad).padStart(5)}  (${c.limit})`,
      );
    }
  }
} finally {
  rmSync(dir, { recursive: true, force: true });
}
if (late > 0) {
  console.log(`thread-timing: ${late} answers came too late`);
  process.exit(1);
}
console.log('thread-timing: every answer in time');

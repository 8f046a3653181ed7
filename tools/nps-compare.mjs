// Nodes per second of Brevalt and a peer engine on the same positions, in
// one run: one engine searches at a time, each position for the same time,
// Brevalt and the peer taking turns position by position so that both meet
// the machine in the same state. An engine's speed on a position is the
// node count over the time of its last thinking line. Prints a line per
// position, then the median of the ratios Brevalt / peer.
//
// Brevalt thinks on a long clock and is stopped with "?" (it offers no
// analyze mode); it runs in a scratch folder holding MoveFile, hash_values
// and Brevalt.ini but no book, so that the start position is searched too.
// The peer runs in analyze mode and is stopped with "exit".
//
// Usage: node tools/nps-compare.mjs [--brevalt CMD] [--data DIR] [--peer CMD]
//                                   [--seconds S] [--fen FEN]...
// Defaults: build/brevalt, data/, /usr/games/fairymax, 5 s, the six
// positions below.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { Engine, splitCommand } from './match/lib/engine.mjs';

const POSITIONS = [
  'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1',
  'r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R b K - 1 8',
  'r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1',
  '8/2R2pk1/6p1/7p/P6P/6P1/r4PK1/8 w - - 0 1',
  '8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1',
  'r2q1rk1/pp2ppbp/1np2np1/2Q3B1/3PP1b1/2N2N2/PP3PPP/3RKB1R b K - 3 11',
];

// A thinking line: depth, score, centiseconds, nodes, then the variation.
const THINKING = /^\s*(\d+)\s+(-?\d+)\s+(\d+)\s+(\d+)(\s|$)/;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function parseArgs(argv) {
  const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
  const o = {
    brevalt: path.join(root, 'build/brevalt'),
    data: path.join(root, 'data'),
    peer: '/usr/games/fairymax',
    seconds: 5,
    fens: [],
  };
  for (let i = 0; i < argv.length; i += 1) {
    const value = argv[i + 1];
    switch (argv[i]) {
      // The engine runs in a scratch folder: a path given relative to
      // here must be made absolute first (a bare name is looked up on PATH).
      case '--brevalt': o.brevalt = value.includes('/') ? path.resolve(value) : value; i += 1; break;
      case '--data': o.data = value; i += 1; break;
      case '--peer': o.peer = value; i += 1; break;
      case '--seconds': o.seconds = Number(value); i += 1; break;
      case '--fen': o.fens.push(value); i += 1; break;
      default:
        console.error(`nps-compare: unknown argument ${argv[i]}`);
        process.exit(2);
    }
  }
  if (!(o.seconds > 0)) {
    console.error('nps-compare: --seconds needs a positive number');
    process.exit(2);
  }
  if (o.fens.length === 0) o.fens = POSITIONS;
  return o;
}

// Starts an engine and collects its thinking lines; `last` is the latest.
async function startEngine(command, dir) {
  const engine = new Engine({ name: path.basename(command), argv: splitCommand(command), dir }, 'e', null);
  const seen = { last: null, lines: [] };
  engine.onLine = (line) => {
    seen.lines.push(line);
    const m = THINKING.exec(line);
    if (m) seen.last = { depth: Number(m[1]), cs: Number(m[3]), nodes: Number(m[4]) };
  };
  engine.start();
  await engine.init();
  if (!engine.alive) throw new Error(`${command} did not start`);
  return { engine, seen };
}

function speed(last) {
  if (!last || last.cs <= 0) return null;
  return { nps: Math.round((last.nodes * 100) / last.cs), depth: last.depth };
}

async function searchBrevalt(e, fen, seconds) {
  e.seen.last = null;
  e.seen.lines = [];
  // A clock long enough that only "?" ends the search.
  for (const c of ['new', 'force', `setboard ${fen}`, 'post', 'level 1 600 0', 'time 3600000', 'otim 3600000', 'go'])
    e.engine.send(c);
  await sleep(seconds * 1000);
  e.engine.send('?');
  for (let waited = 0; waited < 5000 && !e.seen.lines.some((l) => l.startsWith('move ')); waited += 20) await sleep(20);
  return speed(e.seen.last);
}

// The commands that put a position on an engine's board: "setboard" where
// the engine offers it, else edit mode as xboard uses it (a first move in
// force mode gives Black the move, since edit mode leaves the side alone).
function positionCommands(engine, fen) {
  if (engine.features.setboard === '1') return ['new', 'force', `setboard ${fen}`];
  const [placement, side] = fen.split(' ');
  const white = [];
  const black = [];
  placement.split('/').forEach((row, r) => {
    let file = 0;
    for (const ch of row) {
      if (/\d/.test(ch)) {
        file += Number(ch);
        continue;
      }
      const square = String.fromCharCode(97 + file) + (8 - r);
      (ch === ch.toUpperCase() ? white : black).push(ch.toUpperCase() + square);
      file += 1;
    }
  });
  return ['new', 'force', ...(side === 'b' ? ['a2a3'] : []), 'edit', '#', ...white, 'c', ...black, '.'];
}

async function searchPeer(e, fen, seconds) {
  e.seen.last = null;
  for (const c of [...positionCommands(e.engine, fen), 'post', 'analyze']) e.engine.send(c);
  await sleep(seconds * 1000);
  const result = speed(e.seen.last);
  e.engine.send('exit');
  await sleep(200);
  return result;
}

function median(values) {
  const v = [...values].sort((a, b) => a - b);
  const mid = Math.floor(v.length / 2);
  return v.length % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

const o = parseArgs(process.argv.slice(2));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'nps-compare-'));
for (const name of ['MoveFile', 'hash_values', 'Brevalt.ini']) fs.copyFileSync(path.join(o.data, name), path.join(scratch, name));
const peerDir = fs.mkdtempSync(path.join(os.tmpdir(), 'nps-compare-peer-'));

let brevalt;
let peer;
let status = 0;
try {
  brevalt = await startEngine(o.brevalt, scratch);
  peer = await startEngine(o.peer, peerDir);
  const peerName = peer.engine.myname || path.basename(o.peer);
  const ratios = [];
  for (const [i, fen] of o.fens.entries()) {
    const b = await searchBrevalt(brevalt, fen, o.seconds);
    const p = await searchPeer(peer, fen, o.seconds);
    const show = (s) => (s ? `${s.nps.toLocaleString('en-US')} n/s (depth ${s.depth})` : 'no thinking line');
    let line = `position ${i + 1}: Brevalt ${show(b)}, ${peerName} ${show(p)}`;
    if (b && p && p.nps > 0) {
      ratios.push(b.nps / p.nps);
      line += `, ratio ${(b.nps / p.nps).toFixed(2)}`;
    }
    console.log(line);
  }
  if (ratios.length === 0) {
    console.log('no ratio: an engine printed no thinking line');
    status = 1;
  } else {
    console.log(`median ratio Brevalt / ${peerName}: ${median(ratios).toFixed(2)} (${ratios.length} positions, ${o.seconds} s each)`);
  }
} catch (err) {
  console.error(`nps-compare: ${err.message}`);
  status = 1;
} finally {
  if (brevalt) await brevalt.engine.quit();
  if (peer) await peer.engine.quit();
  fs.rmSync(scratch, { recursive: true, force: true });
  fs.rmSync(peerDir, { recursive: true, force: true });
}
process.exit(status);

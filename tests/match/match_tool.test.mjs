// Tests of the match tool (tools/match/match.mjs) against small fake engines
// (tests/match/fakes/), each misbehaving in one way. Chess facts are checked
// with chess.js from tools/match/node_modules ("npm ci --prefix tools/match").
// Run with: node --test tests/match/match_tool.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const ROOT = fileURLToPath(new URL('../../', import.meta.url));
const MATCH = path.join(ROOT, 'tools/match/match.mjs');
const FAKES = path.join(ROOT, 'tests/match/fakes');
const require = createRequire(path.join(ROOT, 'tools/match/package.json'));
const { Chess } = require('chess.js');
const { parseTimeControl, levelCommand, parseEngineMove } = await import(
  new URL('../../tools/match/lib/notation.mjs', import.meta.url)
);

const CASTLE_PROMOTE_LINE = 'e2e4 d7d5 e4d5 c7c6 d5c6 g8f6 c6b7 e7e6 g1f3 f8e7 f1e2 e8g8 ; castle and promote';
const FOOLS_MATE_LINE = 'f2f3 e7e5 g2g4 ; fool';

function engine(fakeName, extra = '') {
  return `cmd="${process.execPath}" "${path.join(FAKES, `${fakeName}.mjs`)}",name=${fakeName}${extra}`;
}

// Runs the tool in a fresh folder, removed afterwards; returns its exit
// status, output, the JSON report and the PGN games, and with `logs` the
// lines each game's transcript shows sent to each colour.
function runMatch(args, { openings = null, logs = false } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'match-test-'));
  const full = [MATCH, ...args, '--json', 'out.json', '--pgn', 'out.pgn'];
  if (openings !== null) {
    fs.writeFileSync(path.join(dir, 'openings.txt'), openings + '\n');
    full.push('--openings-file', 'openings.txt');
  }
  if (logs) full.push('--log', 'logs');
  return new Promise((resolve) => {
    execFile(process.execPath, full, { cwd: dir, timeout: 60000 }, (err, stdout, stderr) => {
      const code = err ? err.code : 0;
      const read = (f) => (fs.existsSync(path.join(dir, f)) ? fs.readFileSync(path.join(dir, f), 'utf8') : null);
      const jsonText = read('out.json');
      const pgnText = read('out.pgn');
      const sent = logs
        ? fs.readdirSync(path.join(dir, 'logs')).sort().map((f) => sentLines(read(path.join('logs', f))))
        : null;
      fs.rmSync(dir, { recursive: true, force: true });
      resolve({
        code,
        stdout,
        stderr,
        json: jsonText ? JSON.parse(jsonText) : null,
        pgn: pgnText ? pgnText.split(/\n\n(?=\[Event )/).filter((g) => g.trim() !== '') : [],
        sent,
      });
    });
  });
}

// The lines a transcript shows the tool sending to White and to Black.
function sentLines(log) {
  const sent = { White: [], Black: [] };
  for (const line of log.trim().split('\n')) {
    const m = /^\s*[\d.]+ (White|Black) <  (.*)$/.exec(line);
    if (m) sent[m[1]].push(m[2]);
  }
  return sent;
}

// Loads one PGN game with chess.js, failing the test when it cannot.
function loadGame(pgn) {
  const board = new Chess();
  board.loadPgn(pgn);
  return board;
}

function problemsOf(game, kind) {
  return game.problems.filter((p) => p.kind === kind);
}

test('time controls are read and turned into level commands', () => {
  assert.deepEqual(parseTimeControl('2+0.05'), { moves: 0, baseMs: 2000, incMs: 50, stMs: 0, text: '2+0.05' });
  assert.deepEqual(parseTimeControl('40/30'), { moves: 40, baseMs: 30000, incMs: 0, stMs: 0, text: '40/30' });
  assert.deepEqual(parseTimeControl('40/5:00+1'), { moves: 40, baseMs: 300000, incMs: 1000, stMs: 0, text: '40/300+1' });
  assert.deepEqual(parseTimeControl('st=0.1'), { moves: 0, baseMs: 100, incMs: 0, stMs: 100, text: '0.1/move' });
  assert.equal(parseTimeControl('60').text, '60+0');
  assert.equal(parseTimeControl('st=5').text, '5/move');
  for (const bad of ['', '2+', '+1', 'x', '0+1', '0/30', '1:75', '40/', 'st=0', 'st=', 'st=x', 'st=1+1']) {
    assert.throws(() => parseTimeControl(bad), undefined, bad);
  }
});

test('level commands: whole seconds by default, as xboard writes them with level=exact', () => {
  for (const [tc, whole, exact] of [
    ['10+0.1', 'level 0 0:10 0', 'level 0 0:10 0.1'],
    ['60+0', 'level 0 1 0', 'level 0 1 0'],
    ['40/20', 'level 40 0:20 0', 'level 40 0:20 0'],
    ['2+0.05', 'level 0 0:02 0', 'level 0 0:02 0.05'],
    ['300+3', 'level 0 5 3', 'level 0 5 3'],
    ['90+1.5', 'level 0 1:30 1', 'level 0 1:30 1.5'],
    ['40/5:00+1', 'level 40 5 1', 'level 40 5 1'],
    ['0.3+0', 'level 0 0:01 0', 'level 0 0:00.3 0'],
    ['125.5+2.25', 'level 0 2:06 2', 'level 0 2:05.5 2.25'],
  ]) {
    assert.equal(levelCommand(parseTimeControl(tc)), whole, tc);
    assert.equal(levelCommand(parseTimeControl(tc), { exact: true }), exact, tc);
  }
});

test('level=exact in an engine description gives that engine the exact level', async () => {
  const r = await runMatch(
    ['--engine', engine('first-legal', ',level=exact'), '--engine', engine('first-legal'), '--games', '1', '--tc', '10+0.1', '--max-plies', '2'],
    { logs: true },
  );
  assert.equal(r.code, 0, r.stderr);
  const levels = ['White', 'Black'].map((side) => r.sent[0][side].filter((c) => c.startsWith('level ')));
  assert.deepEqual(levels, [['level 0 0:10 0.1'], ['level 0 0:10 0']]);
});

test('engine moves are read as xboard reads them', () => {
  // White may castle on both wings and has a pawn on b7 that can promote.
  const fen = 'r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1';
  const read = (text) => {
    const m = parseEngineMove(new Chess(fen), text);
    return m && m.san;
  };
  assert.equal(read('o-o'), 'O-O');
  assert.equal(read('O-O'), 'O-O');
  assert.equal(read('0-0'), 'O-O');
  assert.equal(read('o-o-o'), 'O-O-O');
  assert.equal(read('O-O-O'), 'O-O-O');
  assert.equal(read('e1g1'), 'O-O');
  assert.equal(read('e1c1'), 'O-O-O');
  assert.equal(read('b7b8'), 'b8=Q+');
  assert.equal(read('b7a8'), 'bxa8=Q+');
  assert.equal(read('b7b8n'), 'b8=N');
  assert.equal(read('b7b8N'), 'b8=N');
  assert.equal(read('b7b8=r'), 'b8=R+');
  assert.equal(read('b7b8k'), null);
  assert.equal(read('e1e2q'), null);
  assert.equal(read('a1a8'), 'Rxa8+');
  assert.equal(read('Rxa8'), 'Rxa8+');
  assert.equal(read('b8=Q+'), 'b8=Q+');
  assert.equal(read('e1e3'), null);
  assert.equal(read('xyz'), null);
  assert.equal(read(''), null);
  // Castling is for the side to move only, and not when it is illegal.
  assert.equal(parseEngineMove(new Chess('r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1'), 'o-o').san, 'O-O');
  assert.equal(parseEngineMove(new Chess('r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1'), 'o-o'), null);
});

test('bad arguments give exit status 2', async () => {
  const fakeEngine = engine('first-legal');
  for (const args of [
    [],
    ['--engine', fakeEngine],
    ['--engine', fakeEngine, '--tc', '2+x'],
    ['--engine', fakeEngine, '--tc', '2', '--games', '0'],
    ['--engine', fakeEngine, '--tc', '2', '--bogus'],
    ['--engine', 'name=x', '--tc', '2'],
    ['--engine', 'cmd=/nonexistent/engine', '--tc', '2'],
    ['--engine', fakeEngine, '--engine', fakeEngine, '--engine', fakeEngine, '--tc', '2'],
  ]) {
    const r = await runMatch(args);
    assert.equal(r.code, 2, `${args.join(' ')}: ${r.stderr}`);
    assert.match(r.stderr, /match: /);
  }
  const help = await runMatch(['--help']);
  assert.equal(help.code, 0);
  assert.match(help.stdout, /--tc TC/);
});

test('castling written "o-o" and a promotion without a letter are understood', async () => {
  const r = await runMatch(
    [
      '--engine', engine('castle-promote'), '--engine', engine('first-legal'),
      '--games', '1', '--tc', '5+0', '--max-plies', '16', '--comments',
    ],
    { openings: CASTLE_PROMOTE_LINE },
  );
  assert.equal(r.code, 0, r.stderr);
  const game = r.json.games[0];
  assert.deepEqual(game.problems, []);
  const castleAt = game.sent.indexOf('o-o');
  assert.ok(castleAt >= 0, `sent: ${game.sent}`);
  assert.equal(game.moves[castleAt], 'O-O');
  const promoteAt = game.sent.findIndex((s) => s && /^[a-h]7[a-h]8$/.test(s));
  assert.ok(promoteAt >= 0, `sent: ${game.sent}`);
  assert.match(game.moves[promoteAt], /8=Q/);
  // The PGN replays with chess.js; a white queen stands on the eighth rank
  // right after the promotion.
  assert.equal(r.pgn.length, 1);
  const board = loadGame(r.pgn[0]);
  assert.deepEqual(board.history(), game.moves);
  const replay = new Chess();
  for (const san of game.moves.slice(0, promoteAt + 1)) replay.move(san);
  const square = game.sent[promoteAt].slice(2, 4);
  assert.deepEqual(replay.get(square), { type: 'q', color: 'w' });
  assert.equal(game.result, '1/2-1/2');
  assert.equal(game.termination, 'adjudication');
});

test('a checkmate ends the game with the right result; the claim after it is no false claim', async () => {
  const r = await runMatch(
    ['--engine', engine('first-legal'), '--engine', engine('mate-finder'), '--games', '1', '--tc', '5+0', '--strict'],
    { openings: FOOLS_MATE_LINE },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  const game = r.json.games[0];
  assert.equal(game.result, '0-1');
  assert.match(game.reason, /^checkmate/);
  assert.equal(game.termination, 'normal');
  assert.deepEqual(game.problems, []);
  assert.match(r.stdout, /game 1\/1: first-legal - mate-finder 0-1 \(checkmate/);
  const board = loadGame(r.pgn[0]);
  assert.ok(board.isCheckmate());
  assert.equal(board.turn(), 'w');
  assert.equal(board.getHeaders().Result, '0-1');
  assert.equal(board.getHeaders().White, 'first-legal');
});

test('an illegal move loses and fails --strict', async () => {
  const r = await runMatch(['--engine', engine('first-legal'), '--engine', engine('illegal'), '--games', '2', '--tc', '5+0', '--strict']);
  assert.equal(r.code, 1, r.stdout + r.stderr);
  const [g1, g2] = r.json.games;
  assert.equal(g1.result, '1-0'); // the illegal fake is Black in game 1
  assert.equal(g2.result, '0-1'); // and White in game 2
  for (const g of [g1, g2]) {
    assert.equal(g.termination, 'rules infraction');
    const [p] = problemsOf(g, 'illegal');
    assert.equal(p.engine, 'illegal');
    // chess.js confirms the move is not legal in the position reported.
    const [, text, fen] = /^"(\S+)" in (.*)$/.exec(p.detail);
    assert.ok(!new Chess(fen).moves({ verbose: true }).some((m) => m.lan === text), p.detail);
  }
  assert.equal(r.json.problems.illegal.illegal, 2);
  assert.equal(r.json.problems['first-legal'].illegal, 0);
  assert.match(r.stdout, /illegal moves\s+0\s+2/);
  for (const pgn of r.pgn) loadGame(pgn);
  // Without --strict the same match ends with status 0.
  const relaxed = await runMatch(['--engine', engine('first-legal'), '--engine', engine('illegal'), '--games', '1', '--tc', '5+0']);
  assert.equal(relaxed.code, 0);
});

test('an engine that exits during a game loses by a crash, with its exit status and last error output', async () => {
  const r = await runMatch(['--engine', engine('crash'), '--engine', engine('first-legal'), '--games', '1', '--tc', '5+0', '--strict']);
  assert.equal(r.code, 1);
  const game = r.json.games[0];
  assert.equal(game.result, '0-1');
  assert.equal(game.termination, 'abandoned');
  const [p] = problemsOf(game, 'crash');
  assert.equal(p.engine, 'crash');
  assert.match(p.detail, /exited with code 3/);
  assert.match(p.detail, /fake crash: giving up/);
  loadGame(r.pgn[0]);
});

test('an engine that ends at start-up loses by a crash; the PGN of a game without moves still reads', async () => {
  const r = await runMatch(
    ['--engine', engine('first-legal'), '--engine', 'name=false,cmd=false', '--games', '1', '--tc', '5+0', '--strict'],
    { openings: '; start position' },
  );
  assert.equal(r.code, 1);
  const game = r.json.games[0];
  assert.equal(game.result, '1-0');
  assert.deepEqual(game.moves, []);
  const [p] = problemsOf(game, 'crash');
  assert.equal(p.engine, 'false');
  assert.match(p.detail, /exited with code 1/);
  const board = loadGame(r.pgn[0]);
  assert.equal(board.history().length, 0);
  assert.equal(board.getHeaders().Result, '1-0');
});

test('an engine that never moves forfeits on time and is killed', async () => {
  const started = Date.now();
  const r = await runMatch([
    '--engine', engine('silent'), '--engine', engine('first-legal'),
    '--games', '1', '--tc', '0.3+0', '--hang-grace', '0.3', '--strict',
  ]);
  assert.equal(r.code, 1);
  assert.ok(Date.now() - started < 20000);
  const game = r.json.games[0];
  assert.equal(game.result, '0-1');
  assert.equal(game.termination, 'time forfeit');
  const [p] = problemsOf(game, 'timeForfeit');
  assert.equal(p.engine, 'silent');
  assert.match(p.detail, /no move .* killed/);
  assert.equal(r.json.problems.silent.timeForfeit, 1);
});

test('a move that arrives after the flag fell loses on time, with the overrun reported', async () => {
  const r = await runMatch(['--engine', engine('first-legal'), '--engine', engine('slow'), '--games', '1', '--tc', '0.4+0']);
  assert.equal(r.code, 0);
  const game = r.json.games[0];
  assert.equal(game.result, '1-0');
  assert.equal(game.termination, 'time forfeit');
  const [p] = problemsOf(game, 'timeForfeit');
  const overrun = Number(/: (\d+) ms over/.exec(p.detail)[1]);
  assert.ok(overrun >= 250 && overrun < 5000, p.detail);
  assert.match(game.reason, /slow loses on time \(\d+ ms over\)/);
});

test('a move flags exactly when its thinking time exceeds the time left; increments come after the move', async () => {
  // The fake moves OFFSET ms after its clock ("go wtime", or "movetime"
  // with a fixed time per move) runs out: 30 ms late loses, early enough for
  // a busy machine does not. With MOVES/BASE it gets the base again after
  // each of its own moves in "1/", and after every second one in "2/",
  // whatever the opening before it.
  const cases = [
    { tc: '0.4+0', offset: 30, flag: true },
    { tc: '0.4+0', offset: -150, flag: false },
    { tc: '0.4+1', offset: 30, flag: true },
    { tc: '0.4+0.2', offset: -150, flag: false },
    { tc: '1/0.4', offset: 30, flag: true },
    { tc: '1/0.4', offset: -150, flag: false },
    { tc: '2/1', offset: -300, flag: false, opening: 'e2e4 e7e5 ; open', plies: 8, movestogo: [2, 1, 2] },
    { tc: 'st=0.3', offset: 30, flag: true, left: 300 },
    { tc: 'st=0.3', offset: -150, flag: false },
  ];
  for (const c of cases) {
    const what = `${c.tc} ${c.offset} ms`;
    const r = await runMatch(
      ['--engine', uciEngine(`at ${c.offset}`), '--engine', engine('first-legal'), '--games', '1', '--tc', c.tc, '--max-plies', String(c.plies ?? 6)],
      { openings: c.opening ?? '; start position', logs: true },
    );
    assert.equal(r.code, 0, r.stderr);
    const game = r.json.games[0];
    const forfeits = problemsOf(game, 'timeForfeit');
    if (c.flag) {
      assert.equal(game.result, '0-1', what);
      assert.equal(forfeits.length, 1, what);
      const over = Number(new RegExp(`with ${c.left ?? 400} ms left: (\\d+) ms over$`).exec(forfeits[0].detail)?.[1]);
      assert.ok(over >= 1 && over < 1000, `${what}: ${forfeits[0].detail}`);
    } else {
      assert.deepEqual(game.problems, [], what);
      assert.equal(game.termination, 'adjudication', what);
    }
    if (c.movestogo) {
      const gos = r.sent[0].White.filter((l) => l.startsWith('go '));
      assert.deepEqual(gos.map((l) => Number(/movestogo (\d+)$/.exec(l)[1])), c.movestogo, what);
      // Its clock: the base, what is left of it, then that plus the base.
      const own = gos.map((l) => Number(/wtime (\d+)/.exec(l)[1]));
      assert.ok(own[0] === 1000 && own[1] <= 300 && own[2] > 1000, `${what}: ${own}`);
    }
  }
});

test('a false draw claim loses for the claimer', async () => {
  const r = await runMatch(['--engine', engine('false-draw'), '--engine', engine('first-legal'), '--games', '2', '--tc', '5+0', '--strict']);
  assert.equal(r.code, 1);
  const [g1, g2] = r.json.games;
  assert.equal(g1.result, '0-1');
  assert.equal(g2.result, '1-0');
  for (const g of [g1, g2]) {
    const [p] = problemsOf(g, 'falseClaim');
    assert.equal(p.engine, 'false-draw');
    // The referee agrees: the position of the claim is no draw.
    const fen = /in (.*)$/.exec(p.detail)[1];
    const board = new Chess(fen);
    assert.ok(!board.isDraw() && !board.isGameOver());
  }
  assert.equal(r.json.problems['false-draw'].falseClaim, 2);
});

test('an engine rejecting a legal move loses and is reported', async () => {
  const r = await runMatch(['--engine', engine('first-legal'), '--engine', engine('rejector'), '--games', '1', '--tc', '5+0', '--strict']);
  assert.equal(r.code, 1);
  const game = r.json.games[0];
  assert.equal(game.result, '1-0');
  const [p] = problemsOf(game, 'rejected');
  assert.equal(p.engine, 'rejector');
  assert.match(p.detail, /^Illegal move: [a-h][1-8][a-h][1-8]/);
});

test('the protocol follows xboard: set-up, force, time/otim, go once, usermove, repeating time control', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'match-log-'));
  const r = await runMatch(
    ['--engine', engine('first-legal'), '--games', '1', '--tc', '2/1', '--max-plies', '8', '--log', dir],
    { openings: '; start position' },
  );
  assert.equal(r.code, 0, r.stderr);
  const log = fs.readFileSync(path.join(dir, 'game-0001.log'), 'utf8').trim().split('\n');
  fs.rmSync(dir, { recursive: true, force: true });
  const sent = { White: [], Black: [] };
  for (const line of log) {
    const m = /^\s*[\d.]+ (White|Black) <  (.*)$/.exec(line);
    if (m) sent[m[1]].push(m[2]);
  }
  const game = r.json.games[0];
  const uci = game.moves.map((san, k) => {
    const b = new Chess();
    game.moves.slice(0, k).forEach((s) => b.move(s));
    const m = b.move(san);
    return m.from + m.to;
  });
  for (const side of ['White', 'Black']) {
    const s = sent[side];
    assert.deepEqual(s.slice(0, 2), ['xboard', 'protover 2']);
    assert.ok(s.includes('accepted usermove') && s.includes('accepted done'));
    const newAt = s.indexOf('new');
    assert.deepEqual(s.slice(newAt, newAt + 7), ['new', 'level 2 0:01 0', 'post', 'easy', 'computer', 'force', 'ping 1']);
    assert.equal(s.filter((c) => c === 'go').length, 1, `${side}: ${s}`);
    assert.deepEqual(s.slice(-3), [`result ${game.result} {${game.reason}}`, 'force', 'quit']);
  }
  const w = sent.White.slice(sent.White.indexOf('ping 1') + 1);
  const b = sent.Black.slice(sent.Black.indexOf('ping 1') + 1);
  // White starts with time, otim and go; Black's first turn brings White's
  // move and then go; later turns bring time, otim and the move only.
  assert.deepEqual(w.slice(0, 3), ['time 100', 'otim 100', 'go']);
  assert.match(b[0], /^time \d+$/);
  assert.match(b[1], /^otim \d+$/);
  assert.deepEqual(b.slice(2, 4), [`usermove ${uci[0]}`, 'go']);
  assert.match(w[3], /^time \d+$/);
  assert.deepEqual(w[5], `usermove ${uci[1]}`);
  assert.deepEqual(b.slice(6, 7), [`usermove ${uci[2]}`]);
  // 2 moves in 1 s: White's clock gets the second back after its 2nd move.
  const whiteTimes = w.filter((c) => c.startsWith('time ')).map((c) => Number(c.slice(5)));
  assert.ok(whiteTimes[1] <= 100 && whiteTimes[1] > 50, `${whiteTimes}`);
  assert.ok(whiteTimes[2] > 150 && whiteTimes[2] <= 200, `${whiteTimes}`);
});

test('a fixed time per move: st for xboard engines, movetime for UCI ones, a late move loses', async () => {
  const r = await runMatch(
    ['--engine', uciEngine('legal'), '--engine', engine('first-legal'), '--games', '1', '--tc', 'st=0.3', '--max-plies', '6', '--strict'],
    { openings: '; start position', logs: true },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  assert.deepEqual(r.json.games[0].problems, []);
  const { White: w, Black: b } = r.sent[0];
  assert.equal(w.filter((c) => c.startsWith('position ')).length, 3);
  assert.deepEqual(w.filter((c) => c.startsWith('go')), ['go movetime 300', 'go movetime 300', 'go movetime 300']);
  // The xboard engine gets st in place of level, and before each of its
  // moves a clock showing the time per move.
  assert.equal(b[b.indexOf('new') + 1], 'st 0.3');
  assert.ok(!b.some((c) => c.startsWith('level')), `${b}`);
  assert.deepEqual([...new Set(b.filter((c) => /^(time|otim) /.test(c)))], ['time 30', 'otim 30']);
  assert.equal(loadGame(r.pgn[0]).getHeaders().TimeControl, '0.3/move');
  // The slow fake answers 300 ms after the time it was given.
  const late = await runMatch(['--engine', engine('first-legal'), '--engine', engine('slow'), '--games', '1', '--tc', 'st=0.3']);
  const game = late.json.games[0];
  assert.equal(game.termination, 'time forfeit');
  assert.equal(problemsOf(game, 'timeForfeit')[0].engine, 'slow');
});

test('clock use: the share of the available time spent, over games with enough moves', async () => {
  // The UCI fake thinks 50 ms a move and makes 4 moves a game. Available:
  // the start plus what came before its 4th move (3 increments; the base
  // again after 2 moves; 4 times the time per move). Two games give the
  // median of two shares, their mean.
  const cases = [
    { tc: '0.5+0.1', availableMs: 800, games: 2 },
    { tc: '2/0.5', availableMs: 1000 },
    { tc: 'st=0.2', availableMs: 800, minMoves: 5 },
  ];
  for (const c of cases) {
    const minMoves = c.minMoves ?? 4;
    const r = await runMatch(
      [
        '--engine', uciEngine('legal 50'), '--engine', engine('first-legal'), '--games', String(c.games ?? 1), '--tc', c.tc,
        '--max-plies', '8', '--clock-use-min-moves', String(minMoves), '--strict',
      ],
      { openings: '; start position' },
    );
    assert.equal(r.code, 0, r.stdout + r.stderr);
    const shares = r.json.games.map((game) => {
      const use = game.clockUse[game.whiteSlot === 0 ? 0 : 1];
      assert.equal(use.moves, 4, c.tc);
      assert.equal(use.availableMs, c.availableMs, c.tc);
      // Four moves of about 50 ms each; the two processes' timers may differ by a millisecond a move.
      assert.ok(use.spentMs >= 180 && use.spentMs < 700, `${c.tc}: ${JSON.stringify(use)}`);
      return use.spentMs / use.availableMs;
    });
    const summary = r.json.clockUse.engines['uci-legal'];
    const line = /^Clock use \(games with >= (\d+) moves\): uci-legal (.*?), first-legal /m.exec(r.stdout);
    assert.ok(line, r.stdout);
    assert.equal(Number(line[1]), minMoves);
    if (minMoves > 4) {
      assert.deepEqual(summary, { median: null, games: 0 }, c.tc);
      assert.equal(line[2], 'no games');
    } else {
      const games = shares.length;
      assert.equal(summary.games, games, c.tc);
      assert.ok(Math.abs(summary.median - shares.reduce((a, b) => a + b) / games) < 1e-9, c.tc);
      assert.equal(line[2], `median ${summary.median.toFixed(2)} over ${games} game${games > 1 ? 's' : ''}`);
    }
  }
});

test('self-play with concurrency: colours alternate, pairs share an opening, the PGN is in game order', async () => {
  const r = await runMatch([
    '--engine', engine('first-legal'), '--games', '4', '--concurrency', '2', '--tc', '5+0', '--max-plies', '14',
    '--strict', '--comments',
  ]);
  assert.equal(r.code, 0, r.stdout + r.stderr);
  assert.equal(r.pgn.length, 4);
  const boards = r.pgn.map(loadGame);
  boards.forEach((board, k) => {
    const h = board.getHeaders();
    assert.equal(h.Round, String(k + 1));
    assert.equal(h.White, k % 2 === 0 ? 'first-legal (1)' : 'first-legal (2)');
    assert.equal(h.Black, k % 2 === 0 ? 'first-legal (2)' : 'first-legal (1)');
    assert.equal(h.Result, '1/2-1/2');
    assert.equal(h.TimeControl, '5+0');
    assert.equal(board.history().length, 14);
  });
  assert.equal(boards[0].getHeaders().Opening, boards[1].getHeaders().Opening);
  assert.equal(boards[2].getHeaders().Opening, boards[3].getHeaders().Opening);
  assert.notEqual(boards[0].getHeaders().Opening, boards[2].getHeaders().Opening);
  assert.match(r.stdout, /first-legal \(1\): 0 wins, 4 draws, 0 losses; 2\/4 points \(50\.0%\)/);
});

// UCI engines: one fake (fakes/fake-uci.mjs), its behaviour named by its
// first argument.
function uciEngine(behaviour, extra = '') {
  const [first] = behaviour.split(' ');
  return `cmd="${process.execPath}" "${path.join(FAKES, 'fake-uci.mjs')}" ${behaviour},name=uci-${first},proto=uci${extra}`;
}

// The SAN moves of a game in coordinate notation, as UCI writes them.
function coordinateMoves(sanMoves) {
  const board = new Chess();
  return sanMoves.map((san) => {
    const m = board.move(san);
    return m.from + m.to + (m.promotion ?? '');
  });
}

test('engine descriptions: a bad protocol, options for an xboard engine, a missing slot folder, a bad level=', async () => {
  for (const description of [
    uciEngine('legal').replace('proto=uci', 'proto=xboard'),
    engine('first-legal', ',option.Hash=16'),
    uciEngine('legal', ',dir=/nonexistent-%w'),
    uciEngine('legal', ',level=exact'),
    engine('first-legal', ',level=decimal'),
  ]) {
    const r = await runMatch(['--engine', description, '--tc', '2']);
    assert.equal(r.code, 2, `${description}: ${r.stderr}`);
    assert.match(r.stderr, /match: engine /);
  }
});

test("a UCI engine's faults lose and fail --strict, as an xboard engine's do", async () => {
  const cases = [
    { behaviour: 'illegal', termination: 'rules infraction', kind: 'illegal', detail: /^"\S+" in / },
    { behaviour: 'crash', termination: 'abandoned', kind: 'crash', detail: /exited with code 3.*fake crash: giving up/ },
    { behaviour: 'silent', termination: 'time forfeit', kind: 'timeForfeit', detail: /^no move .* killed$/, tc: '0.3+0', grace: '0.3' },
    { behaviour: 'slow', termination: 'time forfeit', kind: 'timeForfeit', detail: /\d+ ms over$/, tc: '0.4+0' },
  ];
  // One game at a time, as the other tests play.
  for (const c of cases) {
    const r = await runMatch([
      '--engine', uciEngine(c.behaviour), '--engine', engine('first-legal'),
      '--games', '1', '--tc', c.tc ?? '5+0', '--hang-grace', c.grace ?? '5', '--strict',
    ]);
    assert.equal(r.code, 1, `${c.behaviour}: ${r.stdout}${r.stderr}`);
    const game = r.json.games[0];
    assert.equal(game.result, '0-1', c.behaviour);
    assert.equal(game.termination, c.termination, c.behaviour);
    assert.equal(game.problems.length, 1, `${c.behaviour}: ${JSON.stringify(game.problems)}`);
    const [p] = game.problems;
    assert.equal(p.kind, c.kind, c.behaviour);
    assert.equal(p.engine, `uci-${c.behaviour}`);
    assert.match(p.detail, c.detail, c.behaviour);
    if (c.kind === 'illegal') {
      const [, text, fen] = /^"(\S+)" in (.*)$/.exec(p.detail);
      assert.ok(!new Chess(fen).moves({ verbose: true }).some((m) => m.lan === text), p.detail);
    }
    loadGame(r.pgn[0]);
  }
});

test('a UCI engine gets uci, its options, ucinewgame, isready, the whole game with each position and both clocks', async () => {
  const r = await runMatch(
    [
      '--engine', uciEngine('legal', ',option.Hash=8,option.Clear Hash='), '--engine', engine('first-legal'),
      '--games', '1', '--tc', '2/1', '--max-plies', '8', '--comments', '--strict',
    ],
    { openings: '; start position', logs: true },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  const game = r.json.games[0];
  assert.deepEqual(game.problems, []);
  const { White: w, Black: b } = r.sent[0];
  assert.deepEqual(w.slice(0, 6), [
    'uci', 'setoption name Hash value 8', 'setoption name Clear Hash', 'setoption name Ponder value false',
    'ucinewgame', 'isready',
  ]);
  assert.equal(w.at(-1), 'quit');
  assert.ok(!w.some((c) => /^(xboard|new|force|result|usermove)\b/.test(c)), `${w}`);
  // The xboard opponent is driven as before.
  assert.deepEqual(b.slice(0, 2), ['xboard', 'protover 2']);
  assert.equal(b.filter((c) => c === 'go').length, 1);
  // Each White turn: the game so far, then go with both clocks in ms and
  // the moves left in the 2-move period (fullmove 1, 2, 3, 4: 2, 1, 2, 1).
  const uci = coordinateMoves(game.moves);
  const positions = w.filter((c) => c.startsWith('position '));
  const gos = w.filter((c) => c.startsWith('go '));
  assert.deepEqual(positions, [0, 2, 4, 6].map((k) => ('position startpos' + (k ? ` moves ${uci.slice(0, k).join(' ')}` : ''))));
  assert.equal(gos.length, 4);
  gos.forEach((go, k) => {
    const m = /^go wtime (\d+) btime (\d+) winc 0 binc 0 movestogo (\d+)$/.exec(go);
    assert.ok(m, go);
    assert.equal(Number(m[3]), k % 2 === 0 ? 2 : 1, go);
    // White's own clock gets the second period's second after its 2nd move.
    const period = k < 2 ? 1000 : 2000;
    assert.ok(Number(m[1]) <= period && Number(m[1]) > period - 500, go);
    assert.ok(Number(m[2]) <= 2000 && Number(m[2]) > 500, go);
  });
  assert.ok(w.indexOf(positions[0]) > w.indexOf('isready'));
  // The engine's "info ... depth 3 score cp N" lines give its moves' comments.
  const board = loadGame(r.pgn[0]);
  const comments = board.getComments();
  assert.ok(comments.length >= 4, JSON.stringify(comments));
  assert.match(comments.find((c) => c.fen.includes(' b ')).comment, /^\+0\.\d\d\/3 \d+\.\d\ds/);
});

test('UCI notation: castling as e1g1 and a promotion to a knight are read and passed on', async () => {
  const r = await runMatch(
    ['--engine', uciEngine('castle-promote'), '--engine', uciEngine('legal'), '--games', '1', '--tc', '5+0', '--max-plies', '16', '--strict'],
    { openings: CASTLE_PROMOTE_LINE, logs: true },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  const game = r.json.games[0];
  const castleAt = game.sent.indexOf('e1g1');
  assert.ok(castleAt >= 0, `sent: ${game.sent}`);
  assert.equal(game.moves[castleAt], 'O-O');
  const promoteAt = game.sent.findIndex((s) => s && /^b7[a-c]8n$/.test(s));
  assert.ok(promoteAt >= 0, `sent: ${game.sent}`);
  assert.match(game.moves[promoteAt], /=N/);
  const lastPosition = r.sent[0].Black.filter((c) => c.startsWith('position ')).at(-1);
  assert.ok(lastPosition.includes(` e1g1 `) && lastPosition.includes(` ${game.sent[promoteAt]}`), lastPosition);
  assert.deepEqual(loadGame(r.pgn[0]).history(), game.moves);
});

test('the referee ends UCI games: checkmate and threefold repetition', async () => {
  const cases = [
    { fake: 'legal', openings: FOOLS_MATE_LINE, result: '0-1', reason: /^checkmate, uci-legal \(2\) wins/, check: (b) => b.isCheckmate() },
    { fake: 'shuffle', openings: '; start position', result: '1/2-1/2', reason: /^threefold repetition$/, check: (b) => b.isThreefoldRepetition() },
  ];
  for (const c of cases) {
    const r = await runMatch(['--engine', uciEngine(c.fake), '--games', '1', '--tc', '5+0', '--strict'], { openings: c.openings });
    assert.equal(r.code, 0, r.stdout + r.stderr);
    const game = r.json.games[0];
    assert.equal(game.result, c.result);
    assert.match(game.reason, c.reason);
    assert.equal(game.termination, 'normal');
    assert.deepEqual(game.problems, []);
    assert.ok(c.check(loadGame(r.pgn[0])), c.fake);
  }
});

test('UCI pondering: ponderhit on the expected reply, stop and a new search otherwise, no clock while pondering', async () => {
  const r = await runMatch(
    ['--engine', uciEngine('legal'), '--engine', uciEngine('legal 1000'), '--games', '1', '--tc', '20+0', '--max-plies', '10', '--ponder', '--strict'],
    { openings: '; start position', logs: true },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  const game = r.json.games[0];
  assert.deepEqual(game.problems, []);
  const { White: w, Black: b } = r.sent[0];
  assert.ok(w.includes('setoption name Ponder value true'));
  for (const [k, s] of [w, b].entries()) {
    assert.ok(game.ponderHits[k] > 0 && game.ponderMisses[k] > 0, JSON.stringify(game));
    assert.equal(s.filter((c) => c === 'ponderhit').length, game.ponderHits[k]);
    const ponders = s.filter((c) => c.startsWith('go ponder wtime ')).length;
    assert.ok(ponders >= game.ponderHits[k] + game.ponderMisses[k], `${s}`);
    // After a miss the engine gets the real position, the opponent's move last.
    s.forEach((c, at) => {
      if (c !== 'stop' || at === s.length - 2) return;
      assert.match(s[at + 1], /^position startpos moves /);
      assert.match(s[at + 2], /^go wtime \d+ btime \d+/);
    });
  }
  // Black thinks 1 s a move, White answers at once: White's clock, which
  // does not run while it ponders on Black's time, loses less than one of
  // Black's moves takes.
  const [white, black] = game.clocksMs.map((ms) => 20000 - ms);
  assert.ok(black >= 5 * 1000, `${game.clocksMs}`);
  assert.ok(white < 900, `${game.clocksMs}`);
  assert.match(r.stdout, /UCI ponder hits: uci-legal \(1\) \d+ of \d+, uci-legal \(2\) \d+ of \d+/);
});

test('a bestmove sent while pondering is a move out of turn and is ignored', async () => {
  // The opponent thinks 100 ms, so the early answer always comes first.
  const r = await runMatch(
    ['--engine', uciEngine('early'), '--engine', uciEngine('legal 100'), '--games', '1', '--tc', '5+0', '--max-plies', '10', '--ponder', '--strict'],
    { openings: '; start position' },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  const game = r.json.games[0];
  assert.equal(game.termination, 'adjudication');
  assert.ok(game.problems.length > 0);
  for (const p of game.problems) {
    assert.equal(p.engine, 'uci-early');
    assert.equal(p.kind, 'outOfTurn');
    assert.match(p.detail, /^"bestmove \S+( ponder \S+)?" while pondering/);
  }
  assert.equal(game.moves.length, 10);
});

test(`"%w" in an engine's folder gives each game slot a folder of its own`, async () => {
  const base = fs.mkdtempSync(path.join(os.tmpdir(), 'match-slots-'));
  for (const slot of [1, 2]) fs.mkdirSync(path.join(base, `slot-${slot}`));
  const r = await runMatch([
    '--engine', uciEngine('legal', `,dir=${base}/slot-%w`), '--games', '4', '--concurrency', '2',
    '--tc', '5+0', '--max-plies', '4', '--strict',
  ]);
  const started = [1, 2].map((slot) => {
    const file = path.join(base, `slot-${slot}`, 'fake-uci.started');
    return fs.existsSync(file) ? fs.readFileSync(file, 'utf8').trim().split('\n') : [];
  });
  fs.rmSync(base, { recursive: true, force: true });
  assert.equal(r.code, 0, r.stdout + r.stderr);
  // Four games of two processes each, every process in one slot's folder;
  // both slots played.
  assert.equal(started[0].length + started[1].length, 8, JSON.stringify(started));
  assert.ok(started[0].length >= 2 && started[1].length >= 2, JSON.stringify(started));
  assert.equal(new Set(started.flat()).size, 8);
});

function engine960(proto, extra = '') {
  return `cmd="${process.execPath}" "${path.join(FAKES, 'fake960.mjs')}" ${proto}${extra ? ` ${extra}` : ''},name=fake960-${proto}${extra ? `-${extra}` : ''}${proto === 'uci' ? ',proto=uci' : ''}`;
}

// Replays a Chess960 PGN game with chessops (its own PGN and SAN readers):
// the moves in the order played, or an exception.
async function replay960(pgnText) {
  const base = path.join(ROOT, 'tools/match/node_modules/chessops/dist/esm');
  const { parsePgn, startingPosition } = await import(path.join(base, 'pgn.js'));
  const { parseSan } = await import(path.join(base, 'san.js'));
  const [game] = parsePgn(pgnText);
  const pos = startingPosition(game.headers).unwrap();
  const sans = [];
  for (const node of game.moves.mainline()) {
    const move = parseSan(pos, node.san);
    if (!move) throw new Error(`${node.san} is not legal after ${sans.join(' ')}`);
    pos.play(move);
    sans.push(node.san);
  }
  return sans;
}

test('Chess960: each position twice with colours swapped, set up in each protocol, castling in each form', async () => {
  // Position 300 (QBNRKRBN) lets both fakes castle at once; in 600
  // (RBQNBKRN) king f1 and rook g1 swap squares. The numbering itself is
  // checked against the published table in tools/referee/chess960.test.mjs.
  const { startFen960 } = await import(new URL('../../tools/match/lib/chess960.mjs', import.meta.url));
  const r = await runMatch(
    ['--engine', engine960('cecp'), '--engine', engine960('uci'), '--games', '4', '--tc', '5+0', '--max-plies', '30',
      '--chess960-positions', '300,600', '--strict'],
    { logs: true },
  );
  assert.equal(r.code, 0, r.stdout + r.stderr);
  assert.equal(r.json.games.length, 4);
  r.json.games.forEach((game, k) => {
    const fen = startFen960(k < 2 ? 300 : 600);
    assert.deepEqual(game.problems, [], JSON.stringify(game.problems));
    const pgn = r.pgn[k];
    assert.match(pgn, /\[Variant "Chess960"\]/);
    assert.match(pgn, /\[SetUp "1"\]/);
    assert.ok(pgn.includes(`[FEN "${fen}"]`), pgn);
    const cecpSide = game.white === 'fake960-cecp' ? 'White' : 'Black';
    const uciSide = cecpSide === 'White' ? 'Black' : 'White';
    const x = r.sent[k][cecpSide];
    const u = r.sent[k][uciSide];
    assert.equal(x[x.indexOf('new') + 1], 'variant fischerandom');
    assert.ok(x.indexOf(`setboard ${fen}`) > x.indexOf('force'), `${x}`);
    assert.ok(u.indexOf('setoption name UCI_Chess960 value true') < u.indexOf('ucinewgame'), `${u}`);
    const positions = u.filter((c) => c.startsWith('position '));
    assert.ok(positions.length > 0 && positions.every((c) => c.startsWith(`position fen ${fen}`)), `${positions}`);
    // Both sides castle (the fakes castle when they can): the xboard engine
    // as O-O / O-O-O, the UCI engine as its king taking its rook, and each
    // gets the other's castling in its own form.
    const cecpColour = cecpSide === 'White' ? 0 : 1;
    const castles = game.moves.map((san, ply) => ({ san, ply, sent: game.sent[ply] })).filter((m) => /^O-O/.test(m.san));
    assert.ok(castles.some((m) => m.ply % 2 === cecpColour && /^O-O(-O)?$/.test(m.sent)), JSON.stringify(castles));
    const uciCastle = castles.find((m) => m.ply % 2 !== cecpColour);
    assert.ok(uciCastle && /^[a-h][18][a-h][18]$/.test(uciCastle.sent), JSON.stringify(castles));
    assert.ok(x.includes(`usermove ${uciCastle.san}`), `${x}`);
    assert.ok(positions.at(-1).includes(` ${uciCastle.sent}`), positions.at(-1));
  });
  assert.deepEqual(r.json.games.map((g) => g.white), ['fake960-cecp', 'fake960-uci', 'fake960-cecp', 'fake960-uci']);
  for (const [k, pgn] of r.pgn.entries()) assert.deepEqual(await replay960(pgn), r.json.games[k].moves);
});

test('Chess960: castling in the other protocol\'s form is an illegal move', async () => {
  for (const proto of ['cecp', 'uci']) {
    const r = await runMatch(
      ['--engine', engine960(proto, 'wrong-castling'), '--engine', engine960(proto), '--games', '1', '--tc', '5+0',
        '--max-plies', '40', '--chess960-positions', '600'],
    );
    const game = r.json.games[0];
    const illegal = problemsOf(game, 'illegal');
    assert.equal(illegal.length, 1, `${proto}: ${JSON.stringify(game.problems)}`);
    assert.equal(illegal[0].side, 0);
    assert.match(illegal[0].detail, proto === 'cecp' ? /^"[a-h]1[a-h]1"/ : /^"O-O(-O)?"/);
    assert.equal(game.result, '0-1');
  }
});

test('Chess960: positions drawn with a seed are the same for the same seed, one per pair of games', async () => {
  const args = (seed) => ['--engine', engine960('cecp'), '--games', '4', '--tc', '5+0', '--max-plies', '2', '--chess960', '--seed', seed];
  const [a, b, c] = await Promise.all([runMatch(args('7')), runMatch(args('7')), runMatch(args('8'))]);
  const fens = (r) => r.pgn.map((g) => /\[FEN "([^"]+)"\]/.exec(g)[1]);
  assert.deepEqual(fens(a), fens(b));
  assert.equal(fens(a)[0], fens(a)[1]);
  assert.equal(fens(a)[2], fens(a)[3]);
  assert.notDeepEqual(fens(a), fens(c));
});

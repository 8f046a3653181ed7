// Tests of the match tool's scorer (tools/match/lib/score.mjs): the SPRT's
// log-likelihood ratio against figures published with fastchess's own
// tests, the score and Elo of hand-worked game lists, the tool's --sprt and
// --score end to end, and the game scripts that take their score from the
// tool, each fed a match holding a game cut short.
// Run with: node --test tests/match/scoring.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const ROOT = fileURLToPath(new URL('../../', import.meta.url));
const MATCH = path.join(ROOT, 'tools/match/match.mjs');
const FAKES = path.join(ROOT, 'tests/match/fakes');
const { sprtLlr, sprtBounds, scoreGames, logisticScore, eloOfScore, gamesFromPgn } = await import(
  new URL('../../tools/match/lib/score.mjs', import.meta.url)
);

function run(file, args, { cwd, env = {} } = {}) {
  return new Promise((resolve) => {
    execFile(file, args, { cwd, timeout: 60000, env: { ...process.env, ...env } }, (err, stdout, stderr) => {
      resolve({ code: err ? err.code : 0, stdout, stderr });
    });
  });
}

function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'scoring-test-'));
}

// [LL, LD, DD + WL, WD, WW] from fastchess's (ll, ld, wl, dd, wd, ww).
const penta = (ll, ld, wl, dd, wd, ww) => [ll, ld, wl + dd, wd, ww];

test('the LLR of the pentanomial SPRT matches the published figures', () => {
  // fastchess tests/sprt_test.cpp: pair counts, hypotheses, model, LLR to
  // two decimals.
  for (const [counts, elo0, elo1, model, llr] of [
    [penta(223, 9863, 20279, 1000, 10037, 246), 0.5, 2.5, 'logistic', -3.07],
    [penta(871, 26175, 55003, 980, 26678, 821), 0, 2, 'logistic', -4.98],
    [penta(365, 16618, 36029, 200, 16974, 390), 0, 2, 'normalized', 2.25],
    [penta(127, 4883, 10311, 401, 5150, 104), -1.75, 0.25, 'normalized', 3.01],
  ]) {
    assert.equal(sprtLlr(counts, elo0, elo1, model).toFixed(2), llr.toFixed(2), `${counts} [${elo0}, ${elo1}] ${model}`);
  }
  assert.equal(sprtLlr([0, 0, 0, 0, 0], 0, 10), 0, 'no pairs, no evidence');
  // Mirrored pairs and hypotheses give the mirrored ratio.
  const c = [40, 300, 700, 330, 50];
  assert.ok(Math.abs(sprtLlr(c, 0, 5) + sprtLlr([...c].reverse(), -5, 0)) < 1e-9);
});

test('the SPRT bounds and the logistic Elo scale match the published figures', () => {
  // (-2.94, 2.94) for alpha = beta = 0.05 (fastchess and OpenBench output);
  // (-2.25, 2.89) for alpha 0.05, beta 0.1 (Fishtest's former bounds).
  for (const [alpha, beta, lower, upper] of [
    [0.05, 0.05, '-2.94', '2.94'],
    [0.05, 0.1, '-2.25', '2.89'],
  ]) {
    const b = sprtBounds(alpha, beta);
    assert.deepEqual([b.lower.toFixed(2), b.upper.toFixed(2)], [lower, upper]);
  }
  // 100 Elo stronger expects 64%; 75% is 400 log10(3) = 190.8 Elo.
  assert.equal(logisticScore(100).toFixed(2), '0.64');
  assert.equal(eloOfScore(0.75).toFixed(1), '190.8');
  assert.equal(eloOfScore(0), -Infinity);
  assert.equal(eloOfScore(1), Infinity);
});

// Games of engine "A" against "B" in pairs (game 2k-1 A White, 2k B White),
// from the results of A given per game: 'w', 'd', 'l' or '*' (cut short).
function gamesOf(results) {
  return [...results].map((r, k) => {
    const aWhite = k % 2 === 0;
    const whiteWins = r === 'w' ? aWhite : !aWhite;
    const result = r === '*' ? '*' : r === 'd' ? '1/2-1/2' : whiteWins ? '1-0' : '0-1';
    return { number: k + 1, white: aWhite ? 'A' : 'B', black: aWhite ? 'B' : 'A', result };
  });
}

test('the scorer counts wins, draws and losses, skips games cut short, and sorts the pairs', () => {
  for (const [results, wins, draws, losses, pairs] of [
    ['wwddll', 2, 2, 2, [1, 0, 1, 0, 1]],
    ['wldwdl', 2, 2, 2, [0, 1, 1, 1, 0]],
    // A game cut short with A Black (game 2) is no win for A and no game:
    // its pair does not count either.
    ['w*', 1, 0, 0, [0, 0, 0, 0, 0]],
    ['dd*l', 0, 2, 1, [0, 0, 1, 0, 0]],
    ['**', 0, 0, 0, [0, 0, 0, 0, 0]],
  ]) {
    const sc = scoreGames(gamesOf(results), 'A');
    assert.deepEqual([sc.wins, sc.draws, sc.losses, sc.games], [wins, draws, losses, wins + draws + losses], results);
    assert.deepEqual(sc.pentanomial, pairs, results);
    assert.equal(sc.points, wins + draws / 2, results);
  }
});

test('the Elo difference and its 95% interval, worked by hand', () => {
  // 3 wins, 4 draws, 3 losses: score 0.5, variance of a game 0.15, margin
  // 1.96 sqrt(0.015) = 0.2400, so 0.2600 to 0.7400: -181.7 to +181.7 Elo.
  const even = scoreGames(gamesOf('wwwddddlll'), 'A');
  assert.equal(even.elo, 0);
  assert.deepEqual([even.eloLow.toFixed(1), even.eloHigh.toFixed(1)], ['-181.7', '181.7']);
  // 3 wins and a draw: 87.5%, 400 log10(7) = 338.0 Elo; B has the mirror.
  assert.equal(scoreGames(gamesOf('wwdw'), 'A').elo.toFixed(1), '338.0');
  assert.equal(scoreGames(gamesOf('wwdw'), 'B').elo.toFixed(1), '-338.0');
  // All won: an infinite difference.
  assert.equal(scoreGames(gamesOf('ww'), 'A').elo, Infinity);
  assert.equal(scoreGames(gamesOf(''), 'A').elo, null);
});

// A PGN file of the games: the tags the scorer reads and a move or two.
function pgnOf(games) {
  return games
    .map(
      (g) =>
        `[Event "t"]\n[Round "${g.number}"]\n[White "${g.white}"]\n[Black "${g.black}"]\n[Result "${g.result}"]\n\n` +
        `1. e4 e5 ${g.result}\n`,
    )
    .join('\n');
}

test('--score reads a PGN: a game cut short with the engine Black counts for neither side', async () => {
  const dir = tempDir();
  // Brevalt wins game 1 with White; game 2, Brevalt Black, was cut short.
  const games = [
    { number: 1, white: 'Brevalt', black: 'Stockfish', result: '1-0' },
    { number: 2, white: 'Stockfish', black: 'Brevalt', result: '*' },
    { number: 3, white: 'Brevalt', black: 'Stockfish', result: '1/2-1/2' },
    { number: 4, white: 'Stockfish', black: 'Brevalt', result: '1-0' },
  ];
  fs.writeFileSync(path.join(dir, 'g.pgn'), pgnOf(games));
  assert.deepEqual(gamesFromPgn(pgnOf(games)), games);
  const r = await run(process.execPath, [MATCH, '--score', 'g.pgn', '--json', 'g.json'], { cwd: dir });
  assert.equal(r.code, 0, r.stderr);
  const lines = r.stdout.split('\n');
  assert.equal(lines[0], 'games: 3 of 4');
  assert.equal(lines[1], 'Brevalt: 1 wins, 1 draws, 1 losses; 1.5/3 points (50.0%)');
  assert.match(lines[2], /^Elo difference 0, 95% interval -\d+ to \+\d+$/);
  assert.equal(lines[3], 'game pairs (LL, LD, DD/WL, WD, WW): [0, 1, 0, 0, 0]');
  const json = JSON.parse(fs.readFileSync(path.join(dir, 'g.json'), 'utf8'));
  assert.deepEqual(
    json.scores.map((s) => [s.engine, s.games, s.wins, s.draws, s.losses]),
    [['Brevalt', 3, 1, 1, 1], ['Stockfish', 3, 1, 1, 1]],
  );
  fs.rmSync(dir, { recursive: true, force: true });
});

test('--score with --sprt: the pairs of a PGN, the LLR and the verdict', async () => {
  const dir = tempDir();
  // A wins 30 pairs 2-0, 10 are split: [0, 0, 10, 0, 30].
  const results = 'ww'.repeat(30) + 'wl'.repeat(10);
  fs.writeFileSync(path.join(dir, 'g.pgn'), pgnOf(gamesOf(results)));
  for (const [args, verdict] of [
    [['elo0=0', 'elo1=10'], 'H1 accepted'],
    // Error rates of 0.001 put the bounds at -6.91 and 6.91: not reached.
    [['elo0=0', 'elo1=10', 'alpha=0.001', 'beta=0.001', 'model=normalized'], 'no verdict'],
    [['elo0=-10', 'elo1=0'], 'H1 accepted'],
  ]) {
    const r = await run(process.execPath, [MATCH, '--score', 'g.pgn', '--sprt', ...args, '--json', 'g.json'], { cwd: dir });
    assert.equal(r.code, 0, r.stderr);
    const json = JSON.parse(fs.readFileSync(path.join(dir, 'g.json'), 'utf8'));
    assert.deepEqual(json.sprt.pairs, [0, 0, 10, 0, 30]);
    assert.equal(json.sprt.llr, sprtLlr([0, 0, 10, 0, 30], json.sprt.elo0, json.sprt.elo1, json.sprt.model));
    const line = r.stdout.split('\n').find((l) => l.startsWith('SPRT '));
    assert.match(line, new RegExp(`: LLR: ${json.sprt.llr.toFixed(2)} \\(-?[\\d.]+, [\\d.]+\\), ${verdict}$`), line);
  }
  fs.rmSync(dir, { recursive: true, force: true });
});

function engine(fakeName, extra = '') {
  return `cmd="${process.execPath}" "${path.join(FAKES, `${fakeName}.mjs`)}",name=${fakeName}${extra}`;
}

test('--sprt stops a match at its verdict: H1 for the stronger engine, H0 for the weaker', async () => {
  // The fake "illegal" loses every game at its first move of its own.
  for (const [first, second, concurrency, verdict] of [
    ['first-legal', 'illegal', '1', 'H1'],
    ['illegal', 'first-legal', '1', 'H0'],
    ['first-legal', 'illegal', '2', 'H1'],
  ]) {
    const dir = tempDir();
    const r = await run(
      process.execPath,
      [MATCH, '--engine', engine(first), '--engine', engine(second), '--tc', '5+0', '--games', '20',
        '--concurrency', concurrency, '--sprt', 'elo0=0', 'elo1=10', 'alpha=0.05', 'beta=0.05',
        '--json', 'out.json', '--pgn', 'out.pgn'],
      { cwd: dir },
    );
    const label = `${first} vs ${second}, concurrency ${concurrency}`;
    assert.equal(r.code, 0, label + r.stdout + r.stderr);
    const json = JSON.parse(fs.readFileSync(path.join(dir, 'out.json'), 'utf8'));
    const played = json.games.filter((g) => g.result !== '*');
    // One pair decides; a game started meanwhile is stopped, not scored.
    assert.equal(played.length, 2, label);
    assert.deepEqual(json.sprt.pairs, verdict === 'H1' ? [0, 0, 0, 0, 1] : [1, 0, 0, 0, 0], label);
    assert.equal(json.sprt.verdict, verdict, label);
    for (const g of json.games.filter((x) => x.result === '*')) assert.match(g.reason, /SPRT/, label);
    const llr = `LLR: ${json.sprt.llr.toFixed(2)} (-2.94, 2.94)`;
    assert.ok(r.stdout.includes(`\n${llr}\nSPRT: ${verdict} accepted\n`), label + r.stdout);
    assert.ok(r.stdout.includes(`${llr}, ${verdict} accepted`), label + r.stdout);
    const pgn = fs.readFileSync(path.join(dir, 'out.pgn'), 'utf8');
    assert.equal(pgn.match(/^\[Event /gm).length, 2, label);
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('bad --sprt arguments give exit status 2', async () => {
  for (const args of [
    ['--sprt', 'elo0=0'],
    ['--sprt', 'elo0=5', 'elo1=0'],
    ['--sprt', 'elo0=0', 'elo1=5', 'alpha=0.7'],
    ['--sprt', 'elo0=0', 'elo1=5', 'model=bayesian'],
    ['--sprt', 'elo0=0', 'elo1=x'],
    ['--sprt', 'elo0=0', 'elo1=5', '--games', '3'],
  ]) {
    const r = await run(process.execPath, [MATCH, '--engine', engine('first-legal'), '--tc', '1+0', ...args]);
    assert.equal(r.code, 2, args.join(' '));
    assert.match(r.stderr, /^match: .*(sprt|even)/i, args.join(' '));
  }
});

// A match of "Brevalt" (the fake UCI engine "interrupt": it plays White,
// and as Black it interrupts the match, whose game is then cut short)
// against a fake UCI engine, as the game scripts run it.
const interrupting = `${process.execPath} ${path.join(FAKES, 'fake-uci.mjs')} interrupt`;

test('the game scripts score a match cut short as the match tool does: the unfinished game counts for no one', async () => {
  // level-games.sh with a fake Stockfish on PATH: game 1 is played, game 2
  // (Brevalt Black) cut short. Its row must give 1 game.
  const dir = tempDir();
  fs.mkdirSync(path.join(dir, 'bin'));
  const sf = path.join(dir, 'bin', 'stockfish');
  fs.writeFileSync(sf, `#!/bin/sh\nexec "${process.execPath}" "${path.join(FAKES, 'fake-uci.mjs')}" legal\n`);
  fs.chmodSync(sf, 0o755);
  const lg = await run(
    'sh',
    [path.join(ROOT, 'tools/level-games.sh'), 'lg', '--engine', interrupting, '--games', '2', '--tc', '2+0',
      '--concurrency', '1', '1500'],
    { cwd: dir, env: { PATH: `${path.join(dir, 'bin')}:${process.env.PATH}` } },
  );
  assert.equal(lg.code, 0, lg.stdout + lg.stderr);
  const report = JSON.parse(fs.readFileSync(path.join(dir, 'lg/level-1500.json'), 'utf8'));
  assert.deepEqual(report.games.map((g) => g.result === '*'), [false, true]);
  const first = report.games[0];
  const points = first.result === '1-0' ? 1 : first.result === '1/2-1/2' ? 0.5 : 0;
  const row = lg.stdout.trim().split('\n').at(-1);
  assert.ok(row.startsWith(`| 1500 | 1 | ${points}/1 (${(100 * points).toFixed(1)}%) | `), row);

  // The same kind of match for the clock-games and soak tables: engine 1
  // named Brevalt, against the fake "legal".
  fs.mkdirSync(path.join(dir, 'cg'));
  const m = await run(
    process.execPath,
    [MATCH, '--engine', `cmd=${interrupting},name=Brevalt,proto=uci`,
      '--engine', `cmd=${process.execPath} ${path.join(FAKES, 'fake-uci.mjs')} legal,name=Legal,proto=uci`,
      '--tc', '2+0', '--games', '2', '--json', 'cg/run.json'],
    { cwd: dir },
  );
  assert.equal(m.code, 130, m.stdout + m.stderr);
  const cg = JSON.parse(fs.readFileSync(path.join(dir, 'cg/run.json'), 'utf8'));
  assert.deepEqual(cg.games.map((g) => g.result === '*'), [false, true]);
  const p = cg.games[0].result === '1-0' ? 1 : cg.games[0].result === '1/2-1/2' ? 0.5 : 0;
  const table = await run(process.execPath, [path.join(ROOT, 'tools/clock-games-table.mjs'), 'cg'], { cwd: dir });
  assert.equal(table.code, 0, table.stderr);
  assert.ok(table.stdout.includes(`| run | 1 | ${p} (${(100 * p).toFixed(1)}%) | `), table.stdout);
  const soak = await run(process.execPath, [path.join(ROOT, 'tools/soak/table.mjs'), 'cg/run.json'], { cwd: dir });
  assert.equal(soak.code, 0, soak.stderr);
  const wdl = [p === 1 ? 1 : 0, p === 0.5 ? 1 : 0, p === 0 ? 1 : 0];
  assert.ok(soak.stdout.includes(`| Legal | 2+0 | 1 | ${wdl.join(' | ')} | ${(100 * p).toFixed(1)}% |`), soak.stdout);
  fs.rmSync(dir, { recursive: true, force: true });
});

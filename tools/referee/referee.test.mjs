// The referee's own judgements, checked without an engine:
//   node --test tools/referee/referee.test.mjs
import test from 'node:test';
import assert from 'node:assert/strict';
import { Referee, insufficientMaterial, judgeClaim, playableFen, positionKey, Chess } from './lib/referee.mjs';
import { POSITIONS, choosePosition, fits } from './lib/positions.mjs';
import { Rng } from './lib/random.mjs';
import { Session } from './lib/session.mjs';

function play(ref, ...moves) {
  for (const text of moves) {
    const m = ref.legalMoves().find((x) => x.from + x.to + (x.promotion ?? '') === text);
    assert.ok(m, `${text} is legal in ${ref.fen()}`);
    ref.apply(m);
  }
}

test('repetitions count from the set-up position', () => {
  const ref = new Referee('4k3/8/8/8/8/8/8/R3K3 w - - 40 60');
  play(ref, 'a1a2', 'e8d8', 'a2a1', 'd8e8');
  assert.equal(ref.repetitions(), 2);
  assert.equal(judgeClaim('1/2-1/2 {Draw by repetition}', ref.facts()), false);
  play(ref, 'a1a2', 'e8d8', 'a2a1', 'd8e8');
  assert.equal(ref.repetitions(), 3);
  assert.equal(judgeClaim('1/2-1/2 {Draw by repetition}', ref.facts()), true);
  ref.undo();
  assert.equal(judgeClaim('1/2-1/2 {Draw by repetition}', ref.facts()), false);
});

test('castling rights make positions differ; an en passant square nobody can use does not', () => {
  const ref = new Referee('r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1');
  play(ref, 'h1h2', 'a8a7', 'h2h1', 'a7a8');
  assert.notEqual(ref.last.key, ref.entries[0].key);
  const a = new Chess('4k3/8/8/8/8/8/4P3/4K3 w - - 0 1');
  a.move('e4');
  const b = new Chess('4k3/8/8/8/4P3/8/8/4K3 b - - 0 1');
  assert.equal(positionKey(a), positionKey(b));
});

test('the en passant square of a set-up FEN makes the set-up position differ, for the engine too', () => {
  // Seed 5200938: exf6 e.p. is possible only in the set-up position, so the
  // bishops' second return is its second occurrence, not its third.
  const ref = new Referee('rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3');
  for (let i = 0; i < 2; i += 1) play(ref, 'f1b5', 'c8d7', 'b5f1', 'd7c8');
  assert.equal(ref.repetitions(), 2);
  assert.equal(ref.strictRepetitions(), 2);
  play(ref, 'f1b5', 'c8d7', 'b5f1', 'd7c8');
  assert.equal(ref.strictRepetitions(), 3);
  // A double step and a set-up square name the same right.
  const stepped = new Referee('3k4/8/8/8/4p3/8/5P2/4K3 w - - 0 1');
  play(stepped, 'f2f4');
  const set = new Referee('3k4/8/8/8/4pP2/8/8/4K3 b - f3 0 1');
  assert.equal(stepped.last.strict, set.last.strict);
});

test('the 50-move count starts at the set-up position whatever the FEN says', () => {
  const ref = new Referee('4k3/8/8/8/8/8/8/R3K3 w - - 99 80');
  assert.equal(judgeClaim('1/2-1/2 {Draw by 50-move rule}', ref.facts()), false);
  for (let i = 0; i < 25; i += 1) play(ref, 'a1a2', 'e8d8', 'a2a1', 'd8e8');
  assert.equal(ref.last.quiet, 100);
  assert.equal(judgeClaim('1/2-1/2 {Draw by 50-move rule}', ref.facts()), true);
});

test('mates name the right winner; stalemate', () => {
  const ref = new Referee('k7/8/1K6/8/8/8/8/7R w - - 0 1');
  play(ref, 'h1h8');
  assert.equal(judgeClaim('1-0 {White mates}', ref.facts()), true);
  assert.equal(judgeClaim('0-1 {Black mates}', ref.facts()), false);
  const st = new Referee('7k/8/6K1/5Q2/8/8/8/8 w - - 0 1');
  play(st, 'f5f7');
  assert.equal(judgeClaim('1/2-1/2 {Stalemate}', st.facts()), true);
  assert.equal(judgeClaim('1-0 {White mates}', st.facts()), false);
});

test('insufficient material', () => {
  const cases = [
    ['8/8/4k3/8/8/8/8/4K3 w - - 0 1', true],
    ['8/8/4k3/8/8/8/3B4/4K3 w - - 0 1', true],
    ['8/8/4k3/8/3n4/8/8/4K3 w - - 0 1', true],
    ['8/8/3k4/2b5/3B4/8/4K3/8 w - - 0 1', true], // c5 and d4: both dark
    ['8/8/3k4/2b5/8/3B4/4K3/8 w - - 0 1', false], // c5 dark, d3 light
    ['8/8/4k3/8/8/2NN4/8/4K3 w - - 0 1', false],
    ['8/8/4k3/8/3n4/8/3B4/4K3 w - - 0 1', false],
    ['8/8/4k3/8/8/8/3P4/4K3 w - - 0 1', false],
    ['8/8/4k3/8/8/8/3R4/4K3 w - - 0 1', false],
  ];
  for (const [fen, want] of cases) assert.equal(insufficientMaterial(new Chess(fen)), want, fen);
});

test('the position list and random positions are playable and fit a setboard line', () => {
  for (const fen of POSITIONS) assert.ok(playableFen(fen) && fits(fen), fen);
  const rng = new Rng(7);
  for (let i = 0; i < 300; i += 1) {
    const fen = choosePosition(rng);
    assert.ok(playableFen(fen) && fits(fen), fen);
    assert.equal(choosePosition(rng, { epFens: false }).split(' ')[3], '-');
  }
  assert.equal(playableFen('4k3/8/8/8/8/8/8/R3K2k w - - 0 1'), false);
  assert.equal(playableFen('4k2R/8/8/8/8/8/8/4K3 w - - 0 1'), false);
});

// A claim in flight: the engine answered "go" in a bare-kings position with
// its claim just as the interface sent "new". The claim is about the
// position the engine stood in when it answered the last marker, not the
// new game's; a claim no position since that marker bears out stays false.
test('a claim in flight across "new" is judged in the position of the last answered marker', () => {
  const claimAfterNew = (fen, claim) => {
    const s = new Session({ engine: 'none', data: 'none', timeMarginMs: 100, fens: [], skip: new Set() }, 1);
    s.proc = { stdin: { write() {} } };
    s.ref = new Referee(fen);
    s.pushState();
    s.markerCounter = 1;
    s.markers.set('xyzzy1', { id: 1, seqAtSend: s.stateSeq, answered: false });
    s.onLine('Error (unknown command): xyzzy1', 0);
    s.ref = new Referee('rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1');
    s.pushState();
    s.onLine(claim, 1);
    return s.fault;
  };
  assert.equal(claimAfterNew('8/4k3/8/8/8/8/4K3/8 w - - 0 1', '1/2-1/2 {Insufficient material}'), null);
  assert.match(claimAfterNew('8/4k3/8/8/8/8/4KR2/8 w - - 0 1', '1/2-1/2 {Insufficient material}') ?? '', /false claim/);
});

// The answers to "memory" are protocol, not stray output; other comment lines are not.
test('the answers to "memory" pass, other unknown lines are faults', () => {
  const verdict = (line) => {
    const s = new Session({ engine: 'none', data: 'none', timeMarginMs: 100, fens: [], skip: new Set() }, 1);
    s.proc = { stdin: { write() {} } };
    s.onLine(line, 0);
    return s.fault;
  };
  assert.equal(verdict('# memory 16 MB: transposition tables of 262146 entries each'), null);
  assert.equal(verdict('Error (cannot allocate 16384 MB): memory'), null);
  assert.match(verdict('# memory is low') ?? '', /unknown output/);
  assert.match(verdict('Error (cannot allocate lots): memory') ?? '', /unknown output/);
});

// The Chess960 referee (chessops underneath), checked without an engine:
//   node --test tools/referee/chess960.test.mjs
import test from 'node:test';
import assert from 'node:assert/strict';
import { Referee960, backRank960, startFen960 } from '../match/lib/chess960.mjs';
import { judgeClaim } from './lib/referee.mjs';

// Plays moves given in protocol proto's form, each of which must be legal.
function play(ref, proto, ...moves) {
  for (const text of moves) {
    const m = ref.parse(text, proto);
    assert.ok(m, `${text} (${proto}) is legal in ${ref.fen()}`);
    ref.apply(m);
  }
}

test('the starting positions follow the standard numbering', () => {
  // Entries of the published numbering table.
  assert.equal(backRank960(0), 'BBQNNRKR');
  assert.equal(backRank960(518), 'RNBQKBNR');
  assert.equal(backRank960(959), 'RKRNNQBB');
  const seen = new Set();
  for (let n = 0; n < 960; n += 1) {
    const r = backRank960(n);
    seen.add(r);
    const b = [...r].flatMap((p, i) => (p === 'B' ? [i] : []));
    assert.notEqual(b[0] % 2, b[1] % 2, `${n} ${r}: bishops on squares of both colours`);
    assert.match(r, /^[^K]*R[^R]*K[^R]*R[^K]*$/, `${n} ${r}: king between the rooks`);
  }
  assert.equal(seen.size, 960);
  assert.throws(() => backRank960(960), RangeError);
  assert.equal(new Referee960(startFen960(0)).legalMoves().length, 20);
});

// [description, FEN, protocol, move text, placement after it or null when refused].
const CASTLING = [
  ['UCI king takes rook, king side', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'uci', 'e1h1', '1r2k2r/8/8/8/8/8/8/1R3RK1'],
  ['UCI king takes rook, queen side from b1', 'rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1', 'uci', 'b1a1', 'rk5r/8/8/8/8/8/8/2KR3R'],
  ['UCI king on f1 and rook on g1 swap', '1r3kr1/6p1/8/8/8/8/6P1/1R3KR1 w GBgb - 0 1', 'uci', 'f1g1', '1r3kr1/6p1/8/8/8/8/6P1/1R3RK1'],
  ['UCI king already on g1, the rook moves alone', '1r4kr/8/8/8/8/8/8/1R4KR w HBhb - 0 1', 'uci', 'g1h1', '1r4kr/8/8/8/8/8/8/1R3RK1'],
  ['UCI castling as the king\'s two-square step refused', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'uci', 'e1g1', null],
  ['UCI O-O refused (not UCI\'s form)', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'uci', 'O-O', null],
  ['CECP O-O', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'cecp', 'O-O', '1r2k2r/8/8/8/8/8/8/1R3RK1'],
  ['CECP O-O-O from b1', 'rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1', 'cecp', 'O-O-O', 'rk5r/8/8/8/8/8/8/2KR3R'],
  ['CECP O-O-O by black, king on d8 and rook on c8 swap', '2rk2r1/2p3p1/8/8/8/8/2P3P1/2RK2R1 b KQkq - 0 1', 'cecp', 'O-O-O', '2kr2r1/2p3p1/8/8/8/8/2P3P1/2RK2R1'],
  ['CECP o-o in lower case', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'cecp', 'o-o', '1r2k2r/8/8/8/8/8/8/1R3RK1'],
  ['CECP king takes rook refused (not CECP\'s form)', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'cecp', 'e1h1', null],
  ['CECP king step to g1 with f1 empty refused: a king moves one square', '1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1', 'cecp', 'e1g1', null],
  ['king on f1: f1g1 is a king step, no castling (CECP)', '1r3k1r/8/8/8/8/8/8/1R3K1R w HBhb - 0 1', 'cecp', 'f1g1', '1r3k1r/8/8/8/8/8/8/1R4KR'],
  ['king on f1: f1h1 castles (UCI)', '1r3k1r/8/8/8/8/8/8/1R3K1R w HBhb - 0 1', 'uci', 'f1h1', '1r3k1r/8/8/8/8/8/8/1R3RK1'],
  ['no right on that rook', '1r2k2r/8/8/8/8/8/8/1R2K2R w Qkq - 0 1', 'cecp', 'O-O', null],
  ['right on the inner rook (file letter): the outer rook is no castling', 'r1rk4/8/8/8/8/8/8/4KR1R w Fc - 0 1', 'uci', 'e1h1', null],
  ['right on the inner rook (file letter): that rook castles', 'r1rk4/8/8/8/8/8/8/4KR1R w Fc - 0 1', 'uci', 'e1f1', 'r1rk4/8/8/8/8/8/8/5RKR'],
  ['right on the outer rook, the inner one in the way', 'r1rk4/8/8/8/8/8/8/4KR1R w Ka - 0 1', 'cecp', 'O-O', null],
  ['out of check refused', 'rk2r3/8/8/8/8/8/8/RK5R w HAha - 0 1', 'cecp', 'O-O', null],
  ['through an attacked square refused', 'rk1r4/8/8/8/8/8/8/RK5R w HA - 0 1', 'cecp', 'O-O', null],
  ['the rook may pass or land on an attacked square', 'rk1r4/8/8/8/8/8/8/RK5R w HA - 0 1', 'cecp', 'O-O-O', 'rk1r4/8/8/8/8/8/8/2KR3R'],
  ['into check along the file the rook leaves refused', '1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1', 'uci', 'e1g1', null],
  ['a piece between king and rook refused', '1r2k2r/8/8/8/8/8/8/1R2KB1R w KQkq - 0 1', 'cecp', 'O-O', null],
];

for (const [name, fen, proto, text, after] of CASTLING) {
  test(`castling: ${name}`, () => {
    const ref = new Referee960(fen);
    const move = ref.parse(text, proto);
    if (after === null) {
      assert.equal(move, null, `${text} must be refused in ${fen}`);
      return;
    }
    assert.ok(move, `${text} must be accepted in ${fen}`);
    ref.apply(move);
    assert.equal(ref.fen().split(' ')[0], after);
  });
}

test('each castling move is sent in the protocol\'s own form', () => {
  const ref = new Referee960('rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1');
  const sent = (uci) => {
    const m = ref.parse(uci, 'uci');
    return [ref.moveText(m, 'uci'), ref.moveText(m, 'cecp')];
  };
  assert.deepEqual(sent('b1h1'), ['b1h1', 'O-O']);
  assert.deepEqual(sent('b1a1'), ['b1a1', 'O-O-O']);
  assert.deepEqual(sent('b1c1'), ['b1c1', 'b1c1']);
});

test('a capture on the rook\'s square takes the right away, and a rook arriving there does not bring it back', () => {
  const ref = new Referee960('1r3k1r/p7/8/8/8/2n5/P7/1R3K1R b HBhb - 0 1');
  play(ref, 'uci', 'c3b1', 'h1h2', 'b1c3', 'h2b2', 'a7a6', 'b2b1', 'a6a5');
  assert.equal(ref.parse('O-O-O', 'cecp'), null);
  assert.equal(ref.fen().split(' ')[2], 'kq', 'white has no rights left, black both');
});

test('X-FEN and Shredder-FEN of one position are one position', () => {
  const a = new Referee960('1r2k2r/8/8/8/8/8/8/1R2K2R w KQkq - 0 1');
  const b = new Referee960('1r2k2r/8/8/8/8/8/8/1R2K2R w HBhb - 0 1');
  assert.equal(a.entries[0].key, b.entries[0].key);
  assert.throws(() => new Referee960('1r2k2r/8/8/8/8/8/8/1R2K2R w HXhb - 0 1'));
});

test('the end of a game: mate, stalemate, insufficient material, fifty moves, repetition', () => {
  const mate = new Referee960('6k1/5ppp/8/8/8/8/8/1R4K1 w - - 0 1');
  play(mate, 'uci', 'b1b8');
  assert.deepEqual(mate.outcome(), { result: '1-0', reason: 'White mates' });
  assert.equal(judgeClaim('1-0 {White mates}', mate.facts()), true);
  const st = new Referee960('k7/8/8/2Q5/8/8/8/6K1 w - - 0 1');
  assert.equal(st.outcome(), null);
  play(st, 'cecp', 'c5b6');
  assert.deepEqual(st.outcome(), { result: '1/2-1/2', reason: 'Stalemate' });
  const bare = new Referee960('4k3/8/8/8/8/8/3n4/4K3 w - - 0 1');
  play(bare, 'uci', 'e1d2');
  assert.deepEqual(bare.outcome(), { result: '1/2-1/2', reason: 'Insufficient material' });
  const fifty = new Referee960('4k3/8/8/8/8/8/8/R3K3 w - - 98 80');
  play(fifty, 'uci', 'a1a2');
  assert.equal(fifty.outcome(), null);
  play(fifty, 'uci', 'e8d8');
  assert.deepEqual(fifty.outcome(), { result: '1/2-1/2', reason: 'Draw by 50-move rule' });
  assert.equal(judgeClaim('1/2-1/2 {Draw by 50-move rule}', fifty.facts()), false, 'a claim counts from the set-up position');
  const rep = new Referee960('rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1');
  play(rep, 'uci', 'a1a2', 'a8a7', 'a2a1', 'a7a8');
  assert.equal(rep.outcome(), null, 'the rights on a1 and a8 are gone: not the set-up position again');
  play(rep, 'uci', 'a1a2', 'a8a7', 'a2a1', 'a7a8');
  assert.equal(rep.repetitions(), 2);
  play(rep, 'uci', 'a1a2', 'a8a7', 'a2a1', 'a7a8');
  assert.deepEqual(rep.outcome(), { result: '1/2-1/2', reason: 'Draw by repetition' });
  assert.equal(judgeClaim('1/2-1/2 {Draw by repetition}', rep.facts()), true);
});

// The Chess960 session runner against the fake Chess960 engine of the
// match tool's tests: a faithful one passes, one that writes its castling
// as the king taking its rook is caught.
const FAKE960 = new URL('../../tests/match/fakes/fake960.mjs', import.meta.url).pathname;

async function session960(seed, extra = []) {
  const { Session960 } = await import('./lib/session960.mjs');
  const { mkdtempSync, rmSync } = await import('node:fs');
  const { tmpdir } = await import('node:os');
  const data = mkdtempSync(`${tmpdir()}/empty-data-`);
  try {
    return await new Session960({ engine: process.execPath, engineArgs: [FAKE960, 'cecp', ...extra], data }, seed).run();
  } finally {
    rmSync(data, { recursive: true, force: true });
  }
}

test('Chess960 sessions: a faithful engine passes, castlings are played and illegal ones refused', async () => {
  let castled = 0;
  let illegal = 0;
  for (const seed of [1, 2, 3, 4, 5, 6]) {
    const r = await session960(seed);
    assert.ok(r.ok, `${r.fault}\n${r.transcript.join('\n')}`);
    castled += r.transcript.filter((l) => / [<>] (usermove |move )O-O/.test(l)).length;
    illegal += r.stats.illegal;
    assert.ok(r.transcript.some((l) => l.endsWith('> variant fischerandom')));
  }
  assert.ok(castled > 0 && illegal > 0, `castlings ${castled}, illegal user moves ${illegal}`);
});

test('Chess960 sessions: castling written as the king taking its rook is a fault', async () => {
  let caught = 0;
  for (const seed of [1, 2, 3, 4, 5, 6]) {
    const r = await session960(seed, ['wrong-castling']);
    if (!r.ok) {
      assert.match(r.fault, /^"move [a-h][18][a-h][18]" is no legal move/, r.fault);
      caught += 1;
    }
  }
  assert.ok(caught > 0, 'no session saw the fake castle');
});

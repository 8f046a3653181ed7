// The referee's own judgements, checked without an engine:
//   node --test tools/referee/referee.test.mjs
import test from 'node:test';
import assert from 'node:assert/strict';
import { Referee, insufficientMaterial, judgeClaim, judgeStatus, playableFen, positionKey, variationFits, Chess } from './lib/referee.mjs';
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
// new game's, and does not end the new game; a claim no position since that
// marker bears out stays false.
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
    s.startGameState();
    s.onLine(claim, 1);
    return s.fault ?? (s.gameOver ? `new game ended: ${s.gameOver.result}` : null);
  };
  assert.equal(claimAfterNew('8/4k3/8/8/8/8/4K3/8 w - - 0 1', '1/2-1/2 {Insufficient material}'), null);
  assert.match(claimAfterNew('8/4k3/8/8/8/8/4KR2/8 w - - 0 1', '1/2-1/2 {Insufficient material}') ?? '', /false claim/);
});

// The answers to "memory" and to a "cores" the engine could not wholly
// grant are protocol, not stray output; other comment and error lines are not.
test('the answers to "memory" and "cores" pass, other unknown lines are faults', () => {
  const verdict = (line) => {
    const s = new Session({ engine: 'none', data: 'none', timeMarginMs: 100, fens: [], skip: new Set() }, 1);
    s.proc = { stdin: { write() {} } };
    s.memorySent = 1; // the answers come to a "memory" sent
    s.onLine(line, 0);
    return s.fault;
  };
  assert.equal(verdict('# memory 16 MB: transposition tables of 262146 entries each'), null);
  assert.equal(verdict('Error (cannot allocate 16384 MB): memory'), null);
  assert.match(verdict('# memory is low') ?? '', /unknown output/);
  assert.match(verdict('Error (cannot allocate lots): memory') ?? '', /unknown output/);
  assert.equal(verdict('Error (cannot start 64 search threads, searching on 5): cores'), null);
  assert.match(verdict('Error (cannot start 64 search threads): cores') ?? '', /unknown output/);
  assert.match(verdict('Error (cores must be 1 to 256): cores') ?? '', /unknown output/);
});

test('a thinking-line variation fits when some reading of its moves is legal', () => {
  const c = new Chess();
  c.move('e4');
  c.move('e5');
  // Two knights reach e7 after Bb5: the notation does not say which.
  assert.equal(variationFits(c, ['Nf3', 'Nc6', 'Bb5', 'Ne7']), true);
  assert.equal(variationFits(c, ['Nf3', 'Nc6', 'Bb5', 'Ke7', 'Nf6']), false);
  assert.equal(c.fen(), 'rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2');
  const ep = new Chess('4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1');
  assert.equal(variationFits(ep, ['exd6', 'Kd7']), true);
  assert.equal(variationFits(ep, ['d6']), false);
  assert.equal(variationFits(new Chess('4k3/1P6/8/8/8/8/8/4K3 w - - 0 1'), ['Qb8', 'Kd7']), true);
  assert.equal(variationFits(new Chess('4k3/8/8/8/8/8/8/4K2R w K - 0 1'), ['Kg1', 'Kd7']), true);
});

test('stat01 lines: the total is the number of legal moves, the rest within it', () => {
  const start = new Chess();
  assert.equal(judgeStatus('stat01: 77 1300000 11 11 20 d2d4', start), null);
  assert.equal(judgeStatus('stat01: 77 1300000 11 0 20', start), null);
  assert.equal(judgeStatus('stat01: 0 0 0 20 20', start), null); // the search has not begun
  assert.match(judgeStatus('stat01: 77 1300000 11 11 21', start), /21 moves in all/);
  assert.match(judgeStatus('stat01: 77 1300000 11 21 20', start), /21 moves left of 20/);
  assert.match(judgeStatus('stat01: 77 1300000 0 11 20', start), /no depth/);
  assert.match(judgeStatus('stat01: 77 0 3 11 20', start), /no nodes/);
  assert.match(judgeStatus('stat01: 77 1300000 11 11 20 e2e5', start), /not legal/);
  assert.match(judgeStatus('stat01 77 1300000 11 11 20', start), /not of the form/);
  assert.equal(judgeStatus('stat01: 0 0 0 0 0', null), null); // a position the engine refused
  assert.equal(judgeStatus('stat01: 0 0 0 0 0', new Chess('7k/5Q2/6K1/8/8/8/8/8 b - - 0 1')), null); // stalemate
  // Four promotions on a8 are one move to the search, which promotes to a queen.
  assert.equal(judgeStatus('stat01: 10 500 4 3 4 a7a8q', new Chess('7k/P7/8/8/8/8/8/K7 w - - 0 1')), null);
  assert.match(judgeStatus('stat01: 10 500 4 3 7 a7a8q', new Chess('7k/P7/8/8/8/8/8/K7 w - - 0 1')), /7 moves in all/);
});

// A session that talks to no engine: lines are fed to its checks directly.
function detachedSession() {
  const s = new Session({ engine: 'none', data: 'none', timeMarginMs: 100, fens: [], skip: new Set() }, 1);
  s.proc = { stdin: { write() {} } };
  return s;
}

test('pongs come in the order of the pings, and after the move of an engine on move', () => {
  const order = detachedSession();
  order.pings.push({ n: 1, onMove: false, answered: false }, { n: 2, onMove: false, answered: false });
  order.onLine('pong 2', 0);
  assert.match(order.fault ?? '', /out of order/);

  const early = detachedSession();
  early.onMove = true;
  early.pings.push({ n: 1, onMove: true, answered: false });
  early.onLine('pong 1', 0);
  assert.match(early.fault ?? '', /before the engine's move/);

  const fine = detachedSession();
  fine.pings.push({ n: 1, onMove: false, answered: false });
  fine.onLine('pong 1', 0);
  assert.equal(fine.fault, null);
});

test('analysis lines: of the analysed position, or in order of the positions a change passed through', () => {
  const analysing = () => {
    const s = detachedSession();
    s.analysis = { prev: null, reached: 0, refused: false, lines: 0, since: 0 };
    return s;
  };
  const s = analysing();
  s.onLine('2 30 0 100 Nf3 Nf6', 0);
  assert.equal(s.fault, null);
  const end = s.beginChange();
  play(s.ref, 'e2e4');
  s.onLine('3 31 0 150 Nf3 Nf6 Nc3', 1); // in flight: the position before the move
  s.onLine('2 -20 0 90 e5 Nf3', 2); // the position after it
  assert.equal(s.fault, null);
  s.onLine('3 31 0 150 Nf3 Nf6 Nc3', 3); // the old position again: no longer
  assert.match(s.fault ?? '', /no legal variation/);

  const closed = analysing();
  const close = closed.beginChange();
  play(closed.ref, 'e2e4');
  close();
  closed.onLine('3 31 0 150 Nf3 Nf6 Nc3', 1); // after the pong: only the new position
  assert.match(closed.fault ?? '', /no legal variation/);

  const stat = analysing();
  stat.onLine('stat01: 1 1 1 1 20', 0);
  assert.match(stat.fault ?? '', /no "\." awaits/);
  const move = analysing();
  move.force = true;
  move.onLine('move e2e4', 0);
  assert.match(move.fault ?? '', /not on move/);
  const claim = analysing();
  claim.onLine('1/2-1/2 {Draw by repetition}', 0);
  assert.match(claim.fault ?? '', /during analysis/);
  void end;
});

// Replies of commands awaiting one: a session in a given state, lines fed
// in, the fault (or null) returned.
function replies(setup, lines) {
  const s = detachedSession();
  setup(s);
  for (const l of lines) s.onLine(l, 0);
  return s.fault;
}

test('variant: "normal" in silence, other names and none refused in their own lines', () => {
  const asked = (cmd, expect, lines, close = true) =>
    replies((s) => {
      s.ask({ kind: 'variant', word: 'variant', cmd, expect, strict: true });
    }, lines) ?? (close ? null : 'open');
  const closing = (cmd, expect, lines) => {
    const s = detachedSession();
    s.ask({ kind: 'variant', word: 'variant', cmd, expect, strict: true });
    for (const l of lines) s.onLine(l, 0);
    s.closeAsks();
    return s.fault;
  };
  assert.equal(closing('variant suicide', 'Error (no such variant suicide): variant', ['Error (no such variant suicide): variant']), null);
  assert.equal(closing('variant', 'Error (variant needs a name): variant', ['Error (variant needs a name): variant']), null);
  assert.equal(closing('variant normal', null, []), null);
  assert.match(asked('variant normal', null, ['Error (no such variant normal): variant']) ?? '', /without a word/);
  assert.match(asked('variant atomic', 'Error (no such variant atomic): variant', ['Error (variant needs a name): variant']) ?? '', /must be answered/);
  assert.match(closing('variant atomic', 'Error (no such variant atomic): variant', []) ?? '', /no reply to "variant atomic"/);
  // Unasked, a variant refusal is stray output.
  assert.match(replies(() => {}, ['Error (no such variant atomic): variant']) ?? '', /unknown output/);
});

test('bk: blank-led lines ended by an empty line, or an Error line; hint: a legal move of the position asked about', () => {
  const book = (lines) => {
    const s = detachedSession();
    s.ask({ kind: 'bk', word: 'bk', cmd: 'bk', required: true });
    for (const l of lines) s.onLine(l, 0);
    s.closeAsks();
    return s.fault;
  };
  assert.equal(book(['Error (unknown command): bk']), null);
  assert.equal(book([' e2e4 40%', '\td2d4 35%', '']), null);
  assert.equal(book(['']), null);
  assert.equal(book(['2 31 0 120 Nf3 Nf6', ' e2e4', '']), null); // a thinking line of a search that read bk later
  assert.match(book([' e2e4 40%', 'pong 3']) ?? '', /not ended by an empty line/);
  assert.match(book([' e2e4 40%']) ?? '', /no reply to "bk"/);
  assert.match(book([]) ?? '', /no reply to "bk"/);

  const hint = (fen, lines) =>
    replies((s) => {
      s.ask({ kind: 'hint', word: 'hint', cmd: 'hint', chess: fen ? new Chess(fen) : null });
    }, lines);
  const after = 'rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1';
  assert.equal(hint(after, ['Hint: e7e5']), null);
  assert.equal(hint(after, ['Hint: Nf6']), null);
  assert.equal(hint(after, ['Error (unknown command): hint']), null);
  assert.match(hint(after, ['Hint: e2e4']) ?? '', /no legal move/);
  assert.match(hint(null, ['Hint: e7e5']) ?? '', /refused/);
  assert.match(replies(() => {}, ['Hint: e7e5']) ?? '', /no "hint" awaits/);
  // exclude / include: silence or an Error line of their own word.
  const ex = (cmd, lines) => replies((s) => s.ask({ kind: 'exclude', word: cmd.split(' ')[0], cmd }), lines);
  assert.equal(ex('exclude e2e4', ['Error (unknown command): exclude']), null);
  assert.equal(ex('include all', ['Error (no such move xx): include']), null);
  assert.match(ex('exclude e2e4', ['Error (no such move e2e4): include']) ?? '', /unknown output/);
});

// The engine accepts an offer only on a score of the position on its board:
// one its own move led to, or one it searches on its own time. A position
// set up, or reached by a take-back or a move in force mode, has none.
test('"offer draw": the engine\'s own after its move, else only with a score of the position', () => {
  const offer = (setup, lines = ['offer draw']) => replies(setup, lines);
  const fen = '8/8/4k3/8/8/3K4/8/7R w - - 0 1';
  // force, setboard, draw: no search has seen the position
  assert.match(
    offer((s) => {
      s.ref = new Referee(fen);
      s.drawsPending.push({ onMove: false, key: s.ref.last.strict });
    }) ?? '',
    /no search of its own has scored/,
  );
  // the engine's move led to it
  assert.equal(
    offer((s) => {
      s.ref = new Referee(fen);
      s.scoredKeys.add(s.ref.last.strict);
      s.drawsPending.push({ onMove: false, key: s.ref.last.strict });
    }),
    null,
  );
  // the engine searched it on its own time
  assert.equal(offer((s) => s.drawsPending.push({ onMove: true, key: s.ref.last.strict })), null);
  // a user move in force mode after the engine's move: the score was of the position before
  assert.match(
    offer((s) => {
      s.scoredKeys.add(s.ref.last.strict);
      play(s.ref, 'e2e4');
      s.drawsPending.push({ onMove: false, key: s.ref.last.strict });
    }) ?? '',
    /no search of its own has scored/,
  );
  // unasked and not after a move
  assert.match(offer(() => {}) ?? '', /no "draw" to answer/);
  // the engine's own offer with its move
  assert.equal(
    offer(
      (s) => {
        s.onMove = true;
        s.engineColor = 'w';
        s.deadline = 1e9;
      },
      ['move e2e4', 'offer draw'],
    ),
    null,
  );
  // a refusal answers the offer
  assert.equal(
    offer((s) => s.drawsPending.push({ onMove: false, key: s.ref.last.strict }), ['Error (command not legal now): draw']),
    null,
  );
});

test('remove: refused only on move or with fewer than two half-moves, and nothing else', () => {
  const refusal = (setup) =>
    replies((s) => {
      setup(s);
      s.confirm = [{ cmd: 'remove', line: 'remove', refused: false, plies: s.ref.plies }];
    }, ['Error (command not legal now): remove']);
  assert.equal(refusal(() => {}), null); // nothing to take back
  assert.equal(
    refusal((s) => {
      play(s.ref, 'e2e4', 'e7e5');
      s.onMove = true;
    }),
    null,
  );
  assert.match(refusal((s) => play(s.ref, 'e2e4', 'e7e5')) ?? '', /refused "remove" with 2 half-moves/);
  assert.match(replies(() => {}, ['Error (command not legal now): remove']) ?? '', /no "remove" sent/);
});

test('pong after "memory" only once the memory is served; levels refused with their own line', () => {
  const early = detachedSession();
  early.memorySent = 1;
  early.pings.push({ n: 1, onMove: false, answered: false, memoryBefore: 1 });
  early.onLine('pong 1', 0);
  assert.match(early.fault ?? '', /before the engine served the "memory"/);
  const served = detachedSession();
  served.memorySent = 1;
  served.pings.push({ n: 1, onMove: false, answered: false, memoryBefore: 1 });
  served.onLine('# memory 1 MB: transposition tables of 16386 entries each', 0);
  served.onLine('pong 1', 0);
  assert.equal(served.fault, null);
  assert.match(replies(() => {}, ['# memory 1 MB: transposition tables of 16386 entries each']) ?? '', /no "memory" left/);

  const option = (cmd, expect, lines) =>
    replies((s) => s.ask({ kind: 'option', word: 'option', cmd, expect, strict: true }), lines);
  assert.equal(option('option Strength=1801', 'Error (bad value 1801): option', ['Error (bad value 1801): option']), null);
  assert.match(option('option Strength=1200', null, ['Error (bad value 1200): option']) ?? '', /without a word/);
});

test('status lines after "exclude" may count fewer moves, never more', () => {
  const start = new Chess();
  assert.equal(judgeStatus('stat01: 77 1300000 11 3 19', start, { exclusions: true }), null);
  assert.match(judgeStatus('stat01: 77 1300000 11 3 19', start) ?? '', /19 moves in all/);
  assert.match(judgeStatus('stat01: 77 1300000 11 3 21', start, { exclusions: true }) ?? '', /21 moves in all/);
});

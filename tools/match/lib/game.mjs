// One game between two engine processes, driven the way xboard 4.9 drives a
// two-machine game (UCI engines the way UCI interfaces drive them), with
// real clocks and chess.js as the referee.
import { performance } from 'node:perf_hooks';
import { Chess } from 'chess.js';
import { Engine } from './engine.mjs';
import { UciEngine, uciThinking } from './uci.mjs';
import { levelCommand, moveForEngine, parseEngineMove, stCommand } from './notation.mjs';
import { Board960 } from './chess960.mjs';

const PING_TIMEOUT_MS = 10000;

// Problem kinds recorded per game and engine. The first five fail --strict.
export const PROBLEM_KINDS = [
  ['illegal', 'illegal moves'],
  ['crash', 'crashes'],
  ['timeForfeit', 'time forfeits'],
  ['falseClaim', 'false claims'],
  ['rejected', 'rejected moves'],
  ['error', 'error lines'],
  ['outOfTurn', 'moves out of turn'],
];
export const PROBLEM_LABELS = {
  illegal: 'illegal move',
  crash: 'crash',
  timeForfeit: 'time forfeit',
  falseClaim: 'false claim',
  rejected: 'rejected move',
  error: 'error line',
  outOfTurn: 'move out of turn',
};
export const STRICT_KINDS = new Set(['illegal', 'crash', 'timeForfeit', 'falseClaim', 'rejected']);

const COLOUR_NAME = ['White', 'Black'];

// The referee's verdict on a position: null while the game goes on.
export function adjudicate(board) {
  if (board.isCheckmate()) {
    return { result: board.turn() === 'w' ? '0-1' : '1-0', reason: 'checkmate' };
  }
  if (board.isStalemate()) return { result: '1/2-1/2', reason: 'stalemate' };
  if (board.isInsufficientMaterial()) return { result: '1/2-1/2', reason: 'insufficient material' };
  if (board.isThreefoldRepetition()) return { result: '1/2-1/2', reason: 'threefold repetition' };
  if (board.isDrawByFiftyMoves()) return { result: '1/2-1/2', reason: 'fifty-move rule' };
  return null;
}

// Whether `colour` could still mate by some series of legal moves: not with
// a bare king, nor when the material on the board cannot mate at all.
function canMate(board, colour) {
  const pieces = board.board().flat().filter((p) => p && p.color === colour && p.type !== 'k');
  return pieces.length > 0 && !board.isInsufficientMaterial();
}

function lossFor(side) {
  return side === 0 ? '0-1' : '1-0';
}

function braceSafe(text) {
  return String(text).replace(/[{}]/g, '').replace(/\s+/g, ' ').trim();
}

// Reads an xboard thinking line "depth score time nodes pv..." into the
// depth and the score as a PGN comment shows it ("+0.25"); null when the
// line is not one.
function cecpThinking(line) {
  const m = /^(\d+)\s+(-?\d+)\s+\d+\s+\d+/.exec(line);
  if (!m) return null;
  const score = Number(m[2]);
  return { depth: Number(m[1]), score: (score >= 0 ? '+' : '') + (score / 100).toFixed(2) };
}

// The PGN comment of a move: "{score/depth time}", or the time alone when
// the engine sent no thinking output for it.
function thinkingComment(thinking, elapsedMs) {
  const secs = `${(elapsedMs / 1000).toFixed(2)}s`;
  return thinking ? `${thinking.score}/${thinking.depth} ${secs}` : secs;
}

function uciOf(move) {
  return move.from + move.to + (move.promotion ?? '');
}

// Plays one game. g holds:
//   number, setups [white, black] ({ name, argv, dir, computer, proto,
//   level, options }), names [white, black], opening { name, moves }, tc,
//   ponder, maxPlies, marginMs, hangGraceMs, comments, log (transcript
//   writer or null), signal (abort). An opening with a fen is a Chess960
//   starting position (X-FEN): the game is then refereed by chessops, UCI
//   engines get UCI_Chess960 and "position fen", xboard engines "variant
//   fischerandom" and "setboard", each side castling in its protocol's form.
// Returns the game record: result, reason, termination, moves, problems...
export async function playGame(g) {
  const chess960 = !!g.opening.fen;
  const board = chess960 ? new Board960(g.opening.fen) : new Chess();
  const names = g.names;
  // The engine move of side i's text, or null when it is no legal move.
  const readMove = (i, text) => (chess960 ? board.parse(text, engines[i].uci ? 'uci' : 'cecp') : parseEngineMove(board, text));
  const rec = {
    number: g.number,
    white: names[0],
    black: names[1],
    opening: g.opening.name,
    variant: chess960 ? 'Chess960' : null,
    fen: chess960 ? g.opening.fen : null,
    date: new Date(),
    moves: [], // { san, uci, book, comment }
    result: '*',
    reason: '',
    termination: 'unterminated',
    problems: [], // { side: 0 white / 1 black, kind, detail }
    clocksMs: null,
    clockUse: null, // per colour: { moves, spentMs, availableMs }, see charge()
    ponder: { hits: [0, 0], misses: [0, 0] }, // UCI engines, per colour
  };
  const engines = [0, 1].map((i) =>
    g.setups[i].proto === 'uci'
      ? new UciEngine(g.setups[i], COLOUR_NAME[i], g.log)
      : new Engine(g.setups[i], COLOUR_NAME[i], g.log),
  );
  // Clocks in whole milliseconds, as thinking times are measured.
  const clocks = [g.tc.baseMs, g.tc.baseMs];
  const movesMade = [0, 0]; // moves each side played on its clock
  // For the clock use report: the thinking time each side was charged, all
  // the time its clock has received (the start, increments, bases again,
  // the time of each move with st=S), and what it had received when its
  // last charged move began.
  const spentMs = [0, 0];
  const receivedMs = [g.tc.baseMs, g.tc.baseMs];
  const availableMs = [0, 0];
  const started = [false, false];
  const lastThinking = [null, null];
  let turn = -1; // side on move once play has begun
  let lastMove = null;
  let turnStart = 0;
  let hangTimer = null;
  let over = false;
  let resolveEnded;
  const ended = new Promise((resolve) => {
    resolveEnded = resolve;
  });

  const problem = (side, kind, detail) => rec.problems.push({ side, kind, detail });

  function finish(result, reason, termination) {
    if (over) return;
    over = true;
    clearTimeout(hangTimer);
    rec.result = result;
    rec.reason = reason;
    rec.termination = termination;
    rec.clocksMs = [...clocks];
    rec.clockUse = [0, 1].map((i) => ({ moves: movesMade[i], spentMs: spentMs[i], availableMs: availableMs[i] }));
    resolveEnded();
  }

  function sendMove(i, move) {
    const e = engines[i];
    if (e.uci) return; // UCI engines get the whole game with each "position"
    e.send((e.usermove ? 'usermove ' : '') + (chess960 ? move.cecp : moveForEngine(move, e.san)));
  }

  // UCI: the game so far, plus the expected reply when pondering.
  function positionCommand(extra = null) {
    const moves = rec.moves.map((m) => m.uci);
    if (extra) moves.push(extra);
    const start = chess960 ? `position fen ${g.opening.fen}` : 'position startpos';
    return moves.length ? `${start} moves ${moves.join(' ')}` : start;
  }

  // UCI: "go" with both clocks in milliseconds, side i's own clock being
  // ownMs; "movestogo" with MOVES/BASE, for side i's next move as the
  // clocks count it (see onMove). With a fixed time per move, "go movetime"
  // with the time the move has left.
  function goCommand(i, ownMs, ponder) {
    if (g.tc.stMs > 0) return `go${ponder ? ' ponder' : ''} movetime ${Math.max(0, Math.floor(ownMs))}`;
    const ms = [...clocks];
    ms[i] = ownMs;
    const inc = g.tc.incMs;
    let cmd = `go${ponder ? ' ponder' : ''} wtime ${Math.max(0, Math.floor(ms[0]))} btime ${Math.max(0, Math.floor(ms[1]))} winc ${inc} binc ${inc}`;
    if (g.tc.moves > 0) cmd += ` movestogo ${g.tc.moves - (movesMade[i] % g.tc.moves)}`;
    return cmd;
  }

  // UCI: the position and "go" for the side on move, whose clock has run
  // for spentMs already (the wait for a stopped ponder search).
  function sendUciGo(i, spentMs) {
    const e = engines[i];
    e.send(positionCommand());
    e.send(goCommand(i, clocks[i] - spentMs, false));
    e.state = 'thinking';
    lastThinking[i] = null;
  }

  // UCI: the turn of an engine that may be pondering. On the expected reply
  // its search goes on after "ponderhit"; on another one it is stopped, and
  // gets the real position once its bestmove for the stopped search is in.
  function startUciTurn(i) {
    const e = engines[i];
    if (e.state === 'pondering') {
      if (lastMove && uciOf(lastMove) === e.ponderMove) {
        e.send('ponderhit');
        e.state = 'thinking';
        rec.ponder.hits[i]++;
      } else {
        e.send('stop');
        e.state = 'stopping';
        rec.ponder.misses[i]++;
      }
      e.ponderMove = null;
      return;
    }
    sendUciGo(i, 0);
  }

  // UCI: after side i's move, "go ponder" on the reply it expects, when
  // that reply is legal and does not end the game; its clock does not run
  // while it ponders.
  function startPondering(i, text) {
    const e = engines[i];
    const reply = readMove(i, text);
    if (!reply) return;
    if (chess960) {
      if (board.after(reply).isGameOver()) return;
    } else {
      const after = new Chess(board.fen());
      after.move({ from: reply.from, to: reply.to, promotion: reply.promotion });
      if (after.isGameOver()) return;
    }
    e.ponderMove = uciOf(reply);
    e.send(positionCommand(e.ponderMove));
    e.send(goCommand(i, clocks[i], true));
    e.state = 'pondering';
    lastThinking[i] = null;
  }

  // Books ms of thinking time on side i's move, for the clock use report.
  function charge(i, ms) {
    spentMs[i] += ms;
    availableMs[i] = receivedMs[i];
  }

  function timeForfeit(i, detail, reason) {
    const opponentCanMate = canMate(board, i === 0 ? 'b' : 'w');
    problem(i, 'timeForfeit', detail);
    if (opponentCanMate) finish(lossFor(i), reason, 'time forfeit');
    else finish('1/2-1/2', `${reason}; ${names[1 - i]} cannot mate: draw`, 'time forfeit');
  }

  function startTurn() {
    if (over) return;
    const verdict = adjudicate(board);
    if (verdict) {
      const reason =
        verdict.reason === 'checkmate' ? `checkmate, ${names[verdict.result === '1-0' ? 0 : 1]} wins` : verdict.reason;
      finish(verdict.result, reason, 'normal');
      return;
    }
    if (g.maxPlies > 0 && rec.moves.length >= g.maxPlies) {
      finish('1/2-1/2', `adjudicated a draw after ${g.maxPlies} plies`, 'adjudication');
      return;
    }
    turn = board.turn() === 'w' ? 0 : 1;
    const e = engines[turn];
    if (e.uci) {
      startUciTurn(turn);
    } else {
      if (e.sendsTime) {
        e.send(`time ${Math.max(0, Math.floor(clocks[turn] / 10))}`);
        e.send(`otim ${Math.max(0, Math.floor(clocks[1 - turn] / 10))}`);
      }
      if (lastMove) sendMove(turn, lastMove);
      if (!started[turn]) {
        e.send('go');
        started[turn] = true;
      }
    }
    turnStart = performance.now();
    const side = turn;
    hangTimer = setTimeout(() => {
      if (over || turn !== side) return;
      const waited = performance.now() - turnStart;
      charge(side, Math.floor(waited));
      const silent = e.uci && !e.uciokSeen ? ' (it never answered "uci" with "uciok")' : '';
      timeForfeit(
        side,
        `no move ${(waited / 1000).toFixed(1)} s after its turn began with ${Math.round(clocks[side])} ms on the clock; killed${silent}`,
        `${names[side]} does not move and loses on time`,
      );
      engines[side].kill();
    }, Math.max(0, clocks[turn]) + g.hangGraceMs);
  }

  function onMove(i, text, t) {
    if (i !== turn) {
      const when = turn < 0 ? 'before play began' : `while ${names[turn]} was on move`;
      problem(i, 'outOfTurn', `"${engines[i].uci ? 'bestmove' : 'move'} ${text}" ${when} (ignored)`);
      return;
    }
    clearTimeout(hangTimer);
    // The thinking time in whole milliseconds, truncated, as cutechess-cli
    // and fastchess measure it: a move loses on time when it took longer
    // than the clock showed (plus the margin), the increment coming only
    // after it.
    const elapsed = Math.floor(t - turnStart);
    if (elapsed > clocks[i] + g.marginMs) {
      charge(i, elapsed);
      const overMs = elapsed - clocks[i];
      timeForfeit(
        i,
        `move ${text} came ${elapsed} ms after its turn began with ${clocks[i]} ms left: ${overMs} ms over`,
        `${names[i]} loses on time (${overMs} ms over)`,
      );
      return;
    }
    const move = readMove(i, text);
    if (!move) {
      problem(i, 'illegal', `"${text}" in ${board.fen()}`);
      finish(lossFor(i), `${names[i]} plays an illegal move: ${text}`, 'rules infraction');
      return;
    }
    if (chess960) board.move(move);
    else board.move({ from: move.from, to: move.to, promotion: move.promotion });
    movesMade[i]++;
    charge(i, elapsed);
    clocks[i] = clocks[i] - elapsed + g.tc.incMs;
    receivedMs[i] += g.tc.incMs;
    // MOVES/BASE: a new period after every MOVES moves the side played
    // itself; the opening's moves are not counted.
    if (g.tc.moves > 0 && movesMade[i] % g.tc.moves === 0) {
      clocks[i] += g.tc.baseMs;
      receivedMs[i] += g.tc.baseMs;
    }
    // A fixed time per move: unused time is not kept.
    if (g.tc.stMs > 0) {
      clocks[i] = g.tc.stMs;
      receivedMs[i] += g.tc.stMs;
    }
    rec.moves.push({
      san: move.san,
      uci: move.from + move.to + (move.promotion ?? ''),
      sent: text,
      ms: elapsed,
      comment: g.comments ? thinkingComment(lastThinking[i], elapsed) : null,
    });
    lastThinking[i] = null;
    lastMove = move;
    startTurn();
  }

  function onClaim(i, result, comment) {
    const verdict = adjudicate(board);
    const claim = `${result}${comment ? ` {${braceSafe(comment)}}` : ''}`;
    if (verdict && verdict.result === result) {
      finish(result, `${verdict.reason}, claimed by ${names[i]}`, 'normal');
    } else if (result === lossFor(i)) {
      finish(result, `${names[i]} resigns (${claim})`, 'normal');
    } else {
      problem(i, 'falseClaim', `${claim} in ${board.fen()}`);
      finish(lossFor(i), `${names[i]} makes a false claim: ${claim}`, 'rules infraction');
    }
  }

  function onLine(i, line, t) {
    if (over) return;
    let m;
    if ((m = /^move\s+(\S+)/.exec(line))) {
      onMove(i, m[1], t);
    } else if (/^resign\b/.test(line)) {
      finish(lossFor(i), `${names[i]} resigns`, 'normal');
    } else if ((m = /^(1-0|0-1|1\/2-1\/2)(?:\s*\{([^}]*)\}?)?/.exec(line))) {
      onClaim(i, m[1], (m[2] ?? '').trim());
    } else if (/^offer\s+draw/.test(line)) {
      // Draw offers are never accepted: the referee ends drawn games itself.
    } else if (/^Illegal move/.test(line)) {
      problem(i, 'rejected', line);
      finish(lossFor(i), `${names[i]} rejects a legal move (${braceSafe(line)})`, 'rules infraction');
    } else if (/^Error/.test(line)) {
      problem(i, 'error', line);
    } else if (/^\d+\s+-?\d+\s+\d+\s+\d+/.test(line)) {
      lastThinking[i] = cecpThinking(line);
    }
  }

  // UCI engines claim nothing and resign nothing: they send moves and
  // thinking output, and the referee ends the game.
  function onUciLine(i, line, t) {
    if (over) return;
    const e = engines[i];
    let m;
    if ((m = /^bestmove\s+(\S+)(?:\s+ponder\s+(\S+))?/.exec(line))) {
      if (e.state === 'stopping') {
        // The stopped ponder search's answer: now the real position.
        e.state = 'idle';
        if (i === turn) sendUciGo(i, Math.floor(performance.now() - turnStart));
        return;
      }
      if (e.state === 'pondering') {
        problem(i, 'outOfTurn', `"${line}" while pondering, before "ponderhit" or "stop" (ignored)`);
        e.state = 'idle';
        e.ponderMove = null;
        return;
      }
      e.state = 'idle';
      onMove(i, m[1], t);
      if (!over && g.ponder && m[2] && turn === 1 - i) startPondering(i, m[2]);
    } else if (/^info\b/.test(line)) {
      const thinking = uciThinking(line);
      if (thinking) lastThinking[i] = thinking;
    }
  }

  engines.forEach((e, i) => {
    e.onLine = e.uci ? (line, t) => onUciLine(i, line, t) : (line, t) => onLine(i, line, t);
    e.onGone = (info) => {
      if (over || e.closing) return;
      const tail = info.stderr.slice(-5);
      problem(i, 'crash', info.how + (tail.length ? `; last standard error lines: ${tail.join(' | ')}` : ''));
      finish(lossFor(i), `${names[i]} ${info.how}`, 'abandoned');
    };
  });
  // An abort with a text as its reason (the match tool stopping the games
  // once a test has its verdict) gives that text as the reason.
  const onAbort = () =>
    finish('*', typeof g.signal.reason === 'string' ? g.signal.reason : 'interrupted', 'unterminated');
  if (g.signal) {
    if (g.signal.aborted) onAbort();
    else g.signal.addEventListener('abort', onAbort, { once: true });
  }

  // Start both processes and negotiate features.
  engines.forEach((e) => e.start());
  await Promise.all(engines.map((e) => e.init()));

  // Game set-up as xboard sends it, then the opening in force mode; UCI
  // engines get their options and "ucinewgame", and the opening with their
  // first position.
  if (!over) {
    for (const [i, e] of engines.entries()) {
      if (e.uci) {
        if (chess960) e.send('setoption name UCI_Chess960 value true');
        e.setOptions(g.setups[i].options ?? [], g.ponder);
        e.send('ucinewgame');
        continue;
      }
      e.send('new');
      if (chess960) e.send('variant fischerandom');
      e.send(g.tc.stMs > 0 ? stCommand(g.tc) : levelCommand(g.tc, { exact: g.setups[i].level === 'exact' }));
      e.send('post');
      e.send(g.ponder ? 'hard' : 'easy');
      if (g.setups[i].computer) e.send('computer');
      if (e.features.name === '1') e.send(`name ${names[1 - i]}`);
      if (e.features.ics === '1') e.send('ics -');
      e.send('force');
      if (chess960) e.send(`setboard ${g.opening.fen}`);
    }
    for (const uci of g.opening.moves) {
      const move = board.move({ from: uci.slice(0, 2), to: uci.slice(2, 4), promotion: uci[4] });
      rec.moves.push({ san: move.san, uci, book: true, comment: null });
      sendMove(0, move);
      sendMove(1, move);
    }
    // Engines that answer pings (UCI: "isready") have read everything
    // before the clock runs.
    await Promise.all(engines.map((e) => e.ping(PING_TIMEOUT_MS)));
    startTurn();
  }

  await ended;
  g.signal?.removeEventListener('abort', onAbort);
  clearTimeout(hangTimer);
  const tag = `${rec.result} {${braceSafe(rec.reason)}}`;
  for (const e of engines) {
    e.closing = true;
    if (e.alive && e.uci) {
      if (e.state !== 'idle') e.send('stop');
    } else if (e.alive) {
      e.send(`result ${tag}`);
      e.send('force');
    }
  }
  await Promise.all(engines.map((e) => e.quit()));
  return rec;
}

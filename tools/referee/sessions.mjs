#!/usr/bin/env node
// Referee-checked randomised xboard sessions.
//
//   node tools/referee/sessions.mjs --engine build/brevalt --data data \
//        --sessions N --seed S [--concurrency 2] [--minutes M] [--threads N] [--verbose]
//
// Each session starts a fresh engine in a scratch copy of the data folder's
// files (subfolders are left out), plays the interface's part with the
// command orders xboard sends (new and its prelude, force + setboard, user
// moves with time/otim before them, go, force + undo + undo, side switches,
// ?, see, draw (also right after setboard, a take-back or a user move in
// force mode), hard/easy, post/nopost, result, pauses that let ponder
// searches run, now and then an illegal user move, ping, remove, variant,
// exit outside analysis, bk, hint, playother, pause/resume, the levels
// (option Limit Strength / Strength), memory or cores with a ping after
// them, the commands that change nothing here (computer, name, rating, ics,
// egtpath, lift/put/hover, partner, ptell, holding, sd...), and Analysis
// mode as xboard drives it: force, post, analyze, then user moves, undo
// (also xboard's rewind: exit, force, undo..., analyze), remove, setboard,
// new, exclude/include, memory/cores and ping, "." and exit), and ends with
// quit (after exit, most times).
// Session i uses seed S+i, so a failing session replays alone with
// --seed S+i --sessions 1 (the engine's own timing may still vary).
//
// The referee keeps the interface's position with chess.js (never with
// anything the engine says about itself) and checks every line printed:
//   - "move X": only while the engine is on move (after go, or after a user
//     move outside force mode, its side to move), or when it was on move
//     just before a force/new/setboard/result/quit and the move was already
//     in flight (known exactly through marker commands: an unknown command
//     such as xyzzy17 answered with "Error (unknown command): xyzzy17");
//     X must be legal in the referee's position, read as xboard reads it
//     (tools/match/lib/notation.mjs), and arrive within the engine's clock
//     as the referee runs it (level, increments, controls; --time-margin);
//     an engine on move that stays silent 1 s past its clock is a fault.
//   - "resign": only on move; no move or result line may follow in that game.
//   - Result claims: true when printed (or in a position the game passed
//     through since the last answered marker): repetition = the position
//     (placement, side, castling, en passant) three times since the last
//     new/setboard; 50-move = 100 half-moves without capture or pawn move
//     counted from the set-up position; mates with the right winner;
//     stalemate; insufficient material (no pawns; bare kings, one minor
//     piece, or one bishop each on squares of the same colour).
//   - Claims owed: after a move the engine plays on its own board outside a
//     ponder search (its own move, a user move in force mode, a user move
//     with pondering off), a repetition claim (the position three times by
//     the engine's own stricter key, where any double step gives an en
//     passant right) or a 50-move claim that is due must be printed before
//     the engine answers the next marker (--no-claims-required: not checked).
//   - "Illegal move: X" only for a user move the referee finds illegal, and
//     every illegal user move must get one (and change nothing).
//   - "Error (command not legal now): C": a refusal of a command xboard sends
//     in that state (setboard or undo after force, new, a user move, go) is
//     a fault, since xboard would go on with a position the engine does not
//     have; --allow-refusals lets setboard/undo refusals pass (the referee
//     then keeps its position). A refused "draw" is always fine. The same
//     goes for "tellusererror Illegal position" after setboard.
//   - Thinking lines: four integers, then the variation (not checked,
//     except in analysis).
//   - Analysis: every line's variation is legal in the analysed position
//     (some reading of the engine's notation, which names no piece apart),
//     or, until the pong of a ping sent after a change of the position, in
//     a position the change passed through, in order; a position with
//     moves to make shows a line within 3 s; "." is answered by one stat01
//     line whose total is the number of legal moves, moves left within it,
//     the move in hand legal; no move and no result line while analysing,
//     no stat01 line outside it; after exit the game goes on from the
//     analysed position (judged by the moves that follow).
//   - pong N: in the order of the pings, and, for a ping sent while the
//     engine was on move, only after its move; and after the answer to
//     every "memory" sent before the ping (the setting has been served).
//   - "remove": two half-moves back, the engine keeping its colour; a
//     refusal ("Error (command not legal now): remove") only while the
//     engine searches on its own time or with fewer than two half-moves to
//     take back, and it changes nothing; taken in silence with fewer is a
//     fault. In analysis the same, and the analysis goes on.
//   - variant: "variant normal" in silence; "variant X" answered exactly
//     "Error (no such variant X): variant", "variant" alone "Error (variant
//     needs a name): variant"; nothing changes. "exit" outside analysis:
//     nothing, and the engine goes on. "option" for the levels: a good
//     value in silence, a bad one "Error (bad value V): option".
//   - bk: lines that begin with a blank or tab ended by an empty line, or
//     an Error line; hint: "Hint: MOVE" with MOVE legal in the position
//     the user is to move in, an Error line, or nothing; exclude/include
//     (analysis): nothing or an Error line of that word, and until the
//     position changes a stat01 total may fall short of the legal moves.
//     playother: an Error line, or the engine takes the side not on move.
//     The other commands: nothing or an Error line of their own word.
//   - "offer draw": right after the engine's own move, or in answer to
//     "draw" in a position the engine has a score of: one it is searching
//     on its own time, or one its own move led to; never in a position set
//     up, taken back to or reached by a user move in force mode that no
//     move of the engine led to.
//   - telluser result is N, tellics/kibitz/whisper, feature
//     lines, the answers to "memory" (sent after "new" as xboard does: a
//     "# memory ..." comment or "Error (cannot allocate N MB): memory"),
//     the answer to a "cores" whose threads could not all be started
//     ("Error (cannot start N search threads, searching on M): cores") and
//     empty lines are allowed; anything else is a fault, and so is any
//     output on standard error, an engine that goes away, and one that
//     does not exit with status 0 within 5 s of quit.
// A fault prints the session's whole transcript ("> " sent, "< " received,
// "# " the referee's notes, with milliseconds since the session started),
// its seed and the command that replays it; its scratch folder is kept. A
// line of figures follows the sessions, and the last line is
// "sessions: N passed, M failed" on its own (the form CI reads); the exit
// status is 0 only when no session failed.
//
// Options:
//   --data DIR            data folder to copy (default data)
//   --sessions N --seed S  N sessions, seeds S .. S+N-1 (defaults 10 and 1)
//   --concurrency C       sessions at a time (default 2)
//   --minutes M           start no session after M minutes (for CI)
//   --actions MIN-MAX     actions per session (default 20-60)
//   --time-margin MS      lateness forgiven on the engine's clock (default 100)
//   --threads N           search threads, 1 to 256 (default 1): to an engine
//                         that announces smp=1, each session sends "cores N"
//                         right after its first "new" (with "memory", as
//                         xboard sends its own setting); an engine without
//                         smp=1 is sent nothing and searches on one
//   --allow-refusals      a refused setboard/undo is recorded, not a fault
//   --no-claims-required  do not require due draw claims
//   --no-ep-fens          never set up a FEN with an en passant square
//   --skip A,B            never choose these actions (names in --help), e.g.
//                         --skip see to look past a known "see" fault
//   --fen FEN             set up only this position (repeatable)
//   --chess960 P          make a share P (0 to 1, default 0) of the sessions
//                         Chess960 sessions (lib/session960.mjs): variant
//                         fischerandom, X-FEN / Shredder-FEN setboards,
//                         O-O / O-O-O user and engine moves, refereed by
//                         chessops; which sessions they are follows the seed
//   --verbose             one line per passing session
//   --transcripts         print passing sessions' transcripts too
// The referee's own judgements have tests: node --test tools/referee/referee.test.mjs
import os from 'node:os';
import process from 'node:process';
import { Session, ACTION_NAMES } from './lib/session.mjs';
import { Session960 } from './lib/session960.mjs';
import { mulberry32 } from './lib/random.mjs';
import { playableFen } from './lib/referee.mjs';
import { fits } from './lib/positions.mjs';

function usage(message) {
  if (message) console.error(`sessions.mjs: ${message}`);
  console.error(`usage: node tools/referee/sessions.mjs --engine PATH [--data DIR] [--sessions N] [--seed S]
       [--concurrency C] [--minutes M] [--actions MIN-MAX] [--time-margin MS] [--threads N]
       [--allow-refusals] [--no-ep-fens] [--no-claims-required] [--skip ACTION,...] [--fen FEN]... [--chess960 P] [--verbose] [--transcripts]
actions: ${ACTION_NAMES.join(', ')}`);
  process.exit(2);
}

function parseArgs(argv) {
  const o = {
    engine: null,
    data: 'data',
    sessions: 10,
    seed: 1,
    concurrency: 2,
    minutes: null,
    minActions: 20,
    maxActions: 60,
    timeMarginMs: 100,
    threads: 1,
    allowRefusals: false,
    noClaimsRequired: false,
    epFens: true,
    skip: new Set(),
    fens: [],
    chess960: 0,
    verbose: false,
  };
  const num = (name, v) => {
    const n = Number(v);
    if (v === undefined || !Number.isFinite(n)) usage(`${name} needs a number`);
    return n;
  };
  for (let i = 0; i < argv.length; i += 1) {
    const a = argv[i];
    switch (a) {
      case '--engine': o.engine = argv[++i]; break;
      case '--data': o.data = argv[++i]; break;
      case '--sessions': o.sessions = num(a, argv[++i]); break;
      case '--seed': o.seed = num(a, argv[++i]); break;
      case '--concurrency': o.concurrency = Math.max(1, num(a, argv[++i])); break;
      case '--minutes': o.minutes = num(a, argv[++i]); break;
      case '--time-margin': o.timeMarginMs = num(a, argv[++i]); break;
      case '--threads':
        o.threads = num(a, argv[++i]);
        if (!Number.isInteger(o.threads) || o.threads < 1 || o.threads > 256) usage('--threads takes 1 to 256');
        break;
      case '--allow-refusals': o.allowRefusals = true; break;
      case '--no-ep-fens': o.epFens = false; break;
      case '--no-claims-required': o.noClaimsRequired = true; break;
      case '--verbose': o.verbose = true; break;
      case '--chess960':
        o.chess960 = num(a, argv[++i]);
        if (o.chess960 < 0 || o.chess960 > 1) usage('--chess960 takes a share from 0 to 1');
        break;
      case '--transcripts': o.transcripts = true; break;
      case '--fen': {
        const fen = argv[++i] ?? '';
        if (!playableFen(fen) || !fits(fen)) usage(`--fen: not a playable position that fits a setboard line: "${fen}"`);
        o.fens.push(fen);
        break;
      }
      case '--actions': {
        const m = /^(\d+)-(\d+)$/.exec(argv[++i] ?? '');
        if (!m || Number(m[1]) > Number(m[2])) usage('--actions takes MIN-MAX');
        o.minActions = Number(m[1]);
        o.maxActions = Number(m[2]);
        break;
      }
      case '--skip':
        for (const name of (argv[++i] ?? '').split(',').filter(Boolean)) {
          if (!ACTION_NAMES.includes(name)) usage(`unknown action "${name}"`);
          o.skip.add(name);
        }
        break;
      case '-h':
      case '--help':
        usage();
        break;
      default:
        usage(`unknown argument "${a}"`);
    }
  }
  if (!o.engine) usage('--engine is required');
  return o;
}

function reproduce(o, seed) {
  const extra = [];
  if (o.allowRefusals) extra.push('--allow-refusals');
  if (!o.epFens) extra.push('--no-ep-fens');
  if (o.noClaimsRequired) extra.push('--no-claims-required');
  if (o.skip.size) extra.push(`--skip ${[...o.skip].join(',')}`);
  if (o.minActions !== 20 || o.maxActions !== 60) extra.push(`--actions ${o.minActions}-${o.maxActions}`);
  if (o.timeMarginMs !== 100) extra.push(`--time-margin ${o.timeMarginMs}`);
  if (o.threads !== 1) extra.push(`--threads ${o.threads}`);
  if (o.chess960 > 0) extra.push(`--chess960 ${o.chess960}`);
  for (const fen of o.fens) extra.push(`--fen '${fen}'`);
  return `node tools/referee/sessions.mjs --engine ${o.engine} --data ${o.data} --seed ${seed} --sessions 1${extra.length ? ` ${extra.join(' ')}` : ''}`;
}

async function main() {
  const o = parseArgs(process.argv.slice(2));
  const startedAt = Date.now();
  const stopAt = o.minutes === null ? Infinity : startedAt + o.minutes * 60000;
  const totals = {
    commands: 0, actions: 0, games: 0, userMoves: 0, engineMoves: 0, claims: 0, ponder: 0, illegal: 0, refusals: 0, inFlight: 0, resigns: 0,
    analyses: 0, analysisLines: 0, statusLines: 0, pongs: 0, draws: 0, drawAccepts: 0, removes: 0,
  };
  const failed = [];
  let passed = 0;
  let next = 0;
  let notStarted = 0;

  const report = (r) => {
    for (const k of Object.keys(totals)) totals[k] += r.stats[k] ?? 0;
    if (r.ok && o.transcripts) console.log([`=== session with seed ${r.seed} passed`, ...r.transcript, ''].join('\n'));
    if (r.ok) {
      passed += 1;
      if (o.verbose) {
        const s = r.stats;
        console.log(
          `seed ${r.seed}: passed in ${(r.ms / 1000).toFixed(1)} s (${s.actions} actions, ${s.games} games, ${s.commands} commands, ` +
            `${s.engineMoves} engine moves, ${s.claims} claims; start ${s.startMs.toFixed(0)} ms, thinking ${(s.thinkMs / 1000).toFixed(1)} s, pauses ${(s.pauseMs / 1000).toFixed(1)} s${r.refusals.length ? `; ${r.refusals.join('; ')}` : ''})`,
        );
      }
      return;
    }
    failed.push(r.seed);
    const lines = [
      '',
      `=== session with seed ${r.seed} FAILED: ${r.fault}`,
      `reproduce: ${reproduce(o, r.seed)}`,
      r.dirKept ? `scratch folder kept (less the unchanged opening book): ${r.dir}` : null,
      'transcript (milliseconds since the session started; > sent, < received, # referee):',
      ...r.transcript,
      `=== end of session with seed ${r.seed}: ${r.fault}`,
      '',
    ].filter((l) => l !== null);
    console.log(lines.join('\n'));
  };

  const worker = async () => {
    for (;;) {
      if (next >= o.sessions) return;
      if (Date.now() >= stopAt) {
        notStarted = o.sessions - next;
        next = o.sessions;
        return;
      }
      const seed = o.seed + next;
      next += 1;
      const cfg = { ...o, engine: o.engine, data: o.data };
      // Whether the session of this seed is a Chess960 one depends on the
      // seed alone, so that it replays as the same kind.
      const is960 = o.chess960 > 0 && mulberry32(seed ^ 0x960)() < o.chess960;
      const r = await (is960 ? new Session960(cfg, seed) : new Session(cfg, seed)).run();
      report(r);
    }
  };
  await Promise.all(Array.from({ length: Math.min(o.concurrency, Math.max(1, o.sessions)) }, worker));

  const secs = ((Date.now() - startedAt) / 1000).toFixed(1);
  console.log(
    `figures: ${totals.commands} commands sent, ${totals.engineMoves} engine moves checked (${totals.inFlight} in flight), ` +
      `${totals.claims} claims checked, ${totals.ponder} ponder situations, ${totals.userMoves} user moves, ` +
      `${totals.illegal} illegal user moves, ${totals.refusals} refusals, ${totals.resigns} resignations, ` +
      `${totals.games} games, ${totals.actions} actions, ${totals.analyses} analyses (${totals.analysisLines} lines, ` +
      `${totals.statusLines} stat01 lines checked), ${totals.pongs} pongs, ${totals.draws} draw offers (${totals.drawAccepts} accepted), ` +
      `${totals.removes} removes; ${secs} s on ${os.cpus().length} cores` +
      (notStarted ? `; ${notStarted} sessions not started (--minutes ${o.minutes})` : ''),
  );
  if (failed.length) console.log(`failed seeds: ${failed.join(' ')}`);
  console.log(`sessions: ${passed} passed, ${failed.length} failed`);
  process.exitCode = failed.length === 0 ? 0 : 1;
}

main().catch((err) => {
  console.error(err.stack);
  process.exit(2);
});

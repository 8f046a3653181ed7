#!/usr/bin/env node
// Plays chess games between two engines that speak the xboard protocol
// (CECP version 2) or UCI, in any pairing, or between two processes of one
// engine, with real clocks and chess.js 1.4.0 as the referee. Install
// chess.js first with
//   npm ci --prefix tools/match
//
// Usage:
//   node tools/match/match.mjs --engine ENGINE [--engine ENGINE] --tc TC [options]
//
// Example:
//   node tools/match/match.mjs \
//     --engine "name=Brevalt,cmd=/abs/build/brevalt,dir=/abs/data" \
//     --engine "name=Fairymax,cmd=/usr/games/fairymax,computer=0" \
//     --games 200 --tc 2+0.05 --concurrency 2 --pgn out.pgn
//   node tools/match/match.mjs \
//     --engine "name=Brevalt-UCI,cmd=/abs/brevalt,dir=/abs/data-%w,proto=uci" \
//     --engine "name=Toga2,cmd=/usr/games/toga2,proto=uci,option.Hash=16" \
//     --games 100 --tc 5+0.05 --concurrency 2 --pgn out.pgn
//
// An ENGINE is a comma-separated list of key=value pairs (values cannot
// hold commas):
//   cmd=COMMAND    the program and its arguments (required); a relative
//                  program path is taken from the current directory
//   name=NAME      name in the PGN and the reports (default: the program's
//                  file name, or the script's for "node x.mjs" and the like;
//                  "(1)" and "(2)" are added when both names are equal)
//   dir=DIR        working directory of the engine (default: the current one);
//                  "%w" in DIR stands for the number (1 to --concurrency) of
//                  the game slot, so that engines that write into their
//                  working directory get one each while games run at once
//   proto=P        the protocol: cecp (default, xboard's) or uci
//   computer=0     do not send "computer" (default 1; xboard engines only).
//                  Fairy-Max 5.0b, for one, may crash on commands it does
//                  not know.
//   level=exact    xboard engines only: "level" as xboard writes it, the
//                  base in minutes or minutes:seconds and the increment
//                  with its decimals ("level 0 0:10 0.1" for 10+0.1);
//                  level=whole, the default, sends whole seconds (below)
//   option.NAME=V  UCI engines only: "setoption name NAME value V" before
//                  each game, in the order given; "option.NAME=" with no
//                  value sends "setoption name NAME" (a button)
// With one --engine the engine plays itself, as two processes.
//
// Options:
//   --tc TC              time control (required): "BASE+INC" in seconds
//                        ("2+0.05", "60+1", "1:30+0"), "MOVES/BASE" for MOVES
//                        moves in BASE seconds, repeating ("40/30"), or both
//                        ("40/30+1"); "st=S" for a fixed time of S seconds
//                        per move ("st=0.1"), unused time not kept; the PGN
//                        TimeControl tag is then "S/move" as cutechess-cli
//                        writes it, the PGN standard having no form for it
//   --games N            number of games, default 2; played in pairs from one
//                        opening with colours swapped, engine 1 White first
//   --concurrency N      games played at once, default 1
//   --pgn FILE           write every game to FILE, in game order
//   --json FILE          write the game records and the summary as JSON
//   --log DIR            write each game's protocol transcript to DIR
//   --ponder             pondering on: xboard engines get "hard" instead of
//                        "easy"; UCI engines ponder on the reply named in
//                        "bestmove X ponder Y" (see below)
//   --openings N         use only N opening lines (the first N of the list,
//                        shuffled first when --seed is given)
//   --openings-file F    opening lines from F instead of the built-in list:
//                        one line each, coordinate moves ("e2e4 e7e5"),
//                        optionally "; name"; "#" starts a comment line
//   --seed S             shuffle the opening lines with seed S (an integer);
//                        without it pair k plays line k modulo their number
//   --max-plies N        adjudicate a draw once a game has N plies (default 0,
//                        no limit)
//   --margin MS          time a move may exceed the clock before it counts as
//                        a time forfeit, default 0
//   --hang-grace S       seconds after a flag falls before an engine that is
//                        still silent is declared lost and killed, default 5
//   --comments           add "{score/depth time}" comments from the engines'
//                        thinking output to the PGN moves
//   --clock-use-min-moves N
//                        the clock use report (below) takes the games in
//                        which an engine made at least N moves, default 40
//   --chess960           Chess960 games from starting positions drawn at
//                        random from the 960 (seeded with --seed), one per
//                        pair of games, each played twice with colours
//                        swapped; refereed by chessops. UCI engines get
//                        "setoption name UCI_Chess960 value true" and
//                        "position fen X-FEN moves ..." with castling as the
//                        king taking its own rook (e1h1); xboard engines get
//                        "variant fischerandom" after "new", "setboard
//                        X-FEN" after "force", and castling as O-O / O-O-O.
//                        The PGN gets the Variant, SetUp and FEN tags
//   --chess960-positions N,N,...
//                        Chess960 games from these starting positions (the
//                        standard numbers 0..959, 518 the usual array)
//   --event TEXT         PGN Event tag, default "Engine match"
//   --strict             exit with status 1 when any illegal move, crash,
//                        time forfeit, false claim or rejected move occurred
//   --sprt elo0=A elo1=B [alpha=X] [beta=Y] [model=M]
//                        a sequential probability ratio test of engine 1
//                        against engine 2 over the game pairs: H0 "engine 1
//                        is elo0 stronger" against H1 "it is elo1 stronger";
//                        alpha and beta (0.05 by default) are the error
//                        rates; model=logistic (the default) takes the Elo
//                        as logistic Elo, model=normalized as normalised
//                        Elo. After each pair "LLR: x (lower, upper)"; once
//                        the LLR reaches a bound (lower = ln(beta/(1-alpha)),
//                        upper = ln((1-beta)/alpha)) "SPRT: H0 accepted" or
//                        "SPRT: H1 accepted", no game is started and games
//                        under way are stopped (and count for neither side).
//                        --games (even) is then the most games, 20000 by
//                        default. The LLR is the generalised SPRT over the
//                        pentanomial pair counts, as fastchess computes it
//                        (see lib/score.mjs)
//   --score FILE         no games: the score lines of the summary (below)
//                        for the games of the PGN FILE, for the White and
//                        Black of its first game; with --json their scores,
//                        with --sprt the test over its pairs (Round 2k-1
//                        and 2k)
//   --help               this text
//
// How games are run, as xboard 4.9 runs a two-machine game: each game gets a
// fresh process for each side, started in its working directory; "xboard"
// and "protover 2", every feature answered with "accepted" or "rejected"
// (waiting up to 2 s for done=1, 10 s after done=0); "new", "level MPS BASE
// INC" (with st=S: "st S", seconds with their decimals, "st 0.1"), "post",
// "hard"/"easy", "computer", "force" and the opening moves to both; "ping"
// where supported. The engine on move then gets "time", "otim"
// and "go"; its opponent stays in force mode until its first turn, when it
// gets "time", "otim", the last move and "go"; after that each turn is
// "time", "otim" and the opponent's move. Moves go out as "usermove e2e4"
// when usermove=1 was accepted, else as "e2e4" (SAN when san=1).
// The "level" command carries whole seconds unless the engine description
// says level=exact: the base rounded (at least 1 s), the increment rounded
// down, because engines reading integers (Brevalt, Fairy-Max) stop at a
// decimal point; the exact clock reaches them through "time" and "otim".
//
// Clocks run on the wall clock from the moment the tool has sent the move or
// "go" to the arrival of the engine's "move" line, counted in whole
// milliseconds (truncated), and flag as cutechess-cli and fastchess flag
// with their default margin of 0: a move whose thinking time exceeds the
// time its side had left (plus --margin) loses on time (drawn if the
// opponent has no mating material), as does an engine that has not moved by
// its remaining time plus the hang grace (it is then killed). The increment
// is added after each move and does not help the move in hand; with
// MOVES/BASE the base time is added again after every MOVES moves that a
// side has played itself (the opening's moves do not count). With st=S
// every move starts with S seconds on the clock, which "time" and "otim"
// show, and a move that takes longer loses on time.
//
// Engine output: "move X" (coordinate notation, o-o / o-o-o castling, a
// pawn on the last rank without a letter becomes a queen, SAN as a fallback);
// an unreadable or illegal move loses. "resign" loses. A result claim
// ("1-0 {..}", "0-1 {..}", "1/2-1/2 {..}") ends the game when the referee
// agrees, counts as resigning when it gives the claimer's own loss, and
// otherwise is a false claim that loses. "offer draw" is ignored: the
// referee ends drawn games itself. "Illegal move..." means the engine
// rejected a legal move the tool sent: the game is lost for it. "Error..."
// lines are counted and reported. An engine whose process ends or closes its
// output during a game loses (crash). After every move the referee ends the
// game on checkmate, stalemate, threefold repetition, the fifty-move rule or
// insufficient material, and both engines get "result R {reason}", "force"
// and "quit" (and are killed if they do not leave).
//
// UCI engines are driven as UCI interfaces drive them: "uci" and the wait
// for "uciok" (10 s at most; an engine that never answers still gets its
// turn and loses on time if it does not move), the options, "setoption name
// Ponder value true|false" when the engine offers a Ponder option the
// description does not set, "ucinewgame" and "isready"/"readyok" (10 s at
// most). Each turn is "position startpos moves ..." with every move of the
// game in coordinate notation (castling as the king's move e1g1, promotion
// with its letter e7e8q), then "go wtime W btime B winc I binc I" with both
// clocks in milliseconds, and "movestogo N" with MOVES/BASE; with st=S,
// "go movetime MS" instead. "bestmove X" is the move, read and refereed as
// "move X" above; "info ... depth D ... score cp S|mate M ..." lines give
// the --comments. With --ponder, after "bestmove X ponder Y" with Y legal,
// the engine gets the position with X and Y and "go ponder" with the clocks
// as they stand; its own clock does not run. When the opponent plays Y it
// gets "ponderhit" and its clock runs from then on; otherwise "stop", and
// once the bestmove of the stopped search is in (its time counts on the
// engine's clock) the real position and "go" (with st=S, "movetime" is
// then what is left of S). A bestmove while pondering is a move out of turn and ends the
// ponder search. UCI engines neither claim results nor resign: the referee
// ends every game, as above; at the end of a game a searching engine gets
// "stop", then each gets "quit".
//
// Score: the summary gives engine 1's wins, draws and losses, its logistic
// Elo difference with a 95% interval (normal approximation from the spread
// of the single game results), and the outcomes of the game pairs from its
// side, [LL, LD, DD/WL, WD, WW]. A game without a result ("*", cut short)
// counts for neither side; a pair counts only when both its games have one.
// The --json report has the same figures for both engines under "scores"
// (an infinite Elo figure, at a score of 0 or 100%, is null there) and the
// test's parameters, pairs, LLR, bounds and verdict under "sprt".
//
// Clock use: the summary gives for each engine, over the games in which it
// made at least --clock-use-min-moves moves itself, the median share of its
// available time that it spent: the sum of its thinking times over its
// starting time plus all its clock received before its last move (the
// increments, and the base again after each MOVES/BASE period; time that
// came after its last move could not be spent). With st=S a move receives
// S, so the share is time spent / (moves x S). A move that lost on time
// counts, so a share above 1 is possible. The --json report has the
// figures of each game, per colour, and the medians.
//
// Exit status: 0 when all games were played (or an SPRT stopped them), 1 with --strict and a problem
// as above, 2 for bad arguments, 130 when interrupted.
import fs from 'node:fs';
import path from 'node:path';
import { performance } from 'node:perf_hooks';
import { parseTimeControl } from './lib/notation.mjs';
import { OPENINGS, checkOpenings, readOpeningsFile } from './lib/openings.mjs';
import { playGame, PROBLEM_KINDS, PROBLEM_LABELS, STRICT_KINDS } from './lib/game.mjs';
import { splitCommand } from './lib/engine.mjs';
import { gamePgn } from './lib/pgn.mjs';
import { formatElo, gamesFromPgn, jsonScore, llrLine, scoreGames, sprtState } from './lib/score.mjs';
import { backRank960, startFen960 } from './lib/chess960.mjs';

class UsageError extends Error {}

function usageText() {
  const src = fs.readFileSync(new URL(import.meta.url), 'utf8').split('\n');
  const out = [];
  for (const line of src.slice(1)) {
    if (!line.startsWith('//')) break;
    out.push(line.replace(/^\/\/ ?/, ''));
  }
  return out.join('\n');
}

function findOnPath(file) {
  for (const dir of (process.env.PATH || '').split(':')) {
    if (dir === '') continue;
    const full = path.join(dir, file);
    try {
      fs.accessSync(full, fs.constants.X_OK);
      return full;
    } catch {
      // not here
    }
  }
  return null;
}

// The program's file name; for a script run by an interpreter ("node
// fake.mjs"), the script's name without its extension.
function defaultName(argv) {
  const first = path.basename(argv[0]);
  if (argv.length > 1 && /^(node|nodejs|python\d*|perl|ruby|sh|bash)$/.test(first)) {
    return path.basename(argv[1]).replace(/\.[^.]*$/, '');
  }
  return first;
}

function parseEngine(text) {
  const setup = { name: null, argv: null, dir: null, computer: true, proto: 'cecp', level: null, options: [], text };
  for (const part of text.split(',')) {
    const eq = part.indexOf('=');
    if (eq <= 0) throw new UsageError(`engine "${text}": "${part}" is not key=value`);
    const key = part.slice(0, eq).trim();
    const value = part.slice(eq + 1).trim();
    if (key === 'name') setup.name = value;
    else if (key === 'cmd') setup.argv = splitCommand(value);
    else if (key === 'dir') setup.dir = path.resolve(value);
    else if (key === 'computer') {
      if (value !== '0' && value !== '1') throw new UsageError(`engine "${text}": computer must be 0 or 1`);
      setup.computer = value === '1';
    } else if (key === 'proto') {
      if (value !== 'cecp' && value !== 'uci') throw new UsageError(`engine "${text}": proto must be cecp or uci`);
      setup.proto = value;
    } else if (key === 'level') {
      if (value !== 'exact' && value !== 'whole') throw new UsageError(`engine "${text}": level must be exact or whole`);
      setup.level = value;
    } else if (key.startsWith('option.') && key.length > 'option.'.length) {
      setup.options.push([key.slice('option.'.length), value]);
    } else throw new UsageError(`engine "${text}": unknown key "${key}"`);
  }
  if (!setup.argv || setup.argv.length === 0) throw new UsageError(`engine "${text}": cmd= is missing`);
  if (setup.options.length > 0 && setup.proto !== 'uci') {
    throw new UsageError(`engine "${text}": option.NAME= is for UCI engines (proto=uci)`);
  }
  if (setup.level !== null && setup.proto === 'uci') {
    throw new UsageError(`engine "${text}": level= is for xboard engines (proto=cecp)`);
  }
  let program = setup.argv[0];
  if (program.includes('/')) {
    program = path.resolve(program);
    try {
      fs.accessSync(program, fs.constants.X_OK);
    } catch {
      throw new UsageError(`engine "${text}": ${program} is not an executable file`);
    }
    setup.argv[0] = program;
  } else if (!findOnPath(program)) {
    throw new UsageError(`engine "${text}": ${program} is not found on PATH`);
  }
  if (!setup.name) setup.name = defaultName(setup.argv);
  return setup;
}

// The working directory of an engine in game slot `slot` (1, 2, ...).
function slotDir(setup, slot) {
  return setup.dir === null ? null : setup.dir.replaceAll('%w', String(slot));
}

// Every directory an engine will be started in must exist; with "%w", one
// for each game slot.
function checkDirs(setup, concurrency) {
  const slots = setup.dir !== null && setup.dir.includes('%w') ? concurrency : 1;
  for (let slot = 1; slot <= slots; slot++) {
    const dir = slotDir(setup, slot);
    if (dir !== null && !(fs.existsSync(dir) && fs.statSync(dir).isDirectory())) {
      throw new UsageError(`engine "${setup.text}": ${dir} is not a directory`);
    }
  }
}

function positiveInt(name, v, { zero = false } = {}) {
  if (!/^\d+$/.test(String(v))) throw new UsageError(`${name} needs a whole number, not "${v}"`);
  const n = Number(v);
  if (!zero && n === 0) throw new UsageError(`${name} must be at least 1`);
  return n;
}

function parseArgs(argv) {
  const o = {
    engines: [],
    games: 2,
    tc: null,
    concurrency: 1,
    pgn: null,
    json: null,
    log: null,
    ponder: false,
    openings: 0,
    openingsFile: null,
    seed: null,
    chess960: false,
    chess960Positions: null,
    maxPlies: 0,
    marginMs: 0,
    hangGraceMs: 5000,
    comments: false,
    clockUseMinMoves: 40,
    event: 'Engine match',
    strict: false,
    help: false,
    sprt: null,
    score: null,
    gamesGiven: false,
  };
  const flags = { '--ponder': 'ponder', '--strict': 'strict', '--comments': 'comments', '--chess960': 'chess960' };
  for (let k = 0; k < argv.length; k++) {
    const arg = argv[k];
    if (arg === '--help' || arg === '-h') {
      o.help = true;
      continue;
    }
    if (flags[arg]) {
      o[flags[arg]] = true;
      continue;
    }
    let value;
    let name = arg;
    const eq = arg.indexOf('=');
    if (arg.startsWith('--') && eq > 0) {
      name = arg.slice(0, eq);
      value = arg.slice(eq + 1);
    } else {
      if (k + 1 >= argv.length) throw new UsageError(`${arg} needs a value`);
      value = argv[++k];
    }
    switch (name) {
      case '--engine': o.engines.push(parseEngine(value)); break;
      case '--games': o.games = positiveInt(name, value); o.gamesGiven = true; break;
      case '--sprt': {
        // "--sprt elo0=A elo1=B alpha=X beta=Y [model=M]": the key=value
        // words after it (or "--sprt=elo0=A,elo1=B,...").
        const words = eq > 0 ? value.split(',') : [value];
        while (eq < 0 && k + 1 < argv.length && /^[a-z0-9]+=/.test(argv[k + 1])) words.push(argv[++k]);
        o.sprt = parseSprt(words);
        break;
      }
      case '--score': o.score = value; break;
      case '--tc':
        try {
          o.tc = parseTimeControl(value);
        } catch (err) {
          throw new UsageError(`--tc: ${err.message}`);
        }
        break;
      case '--concurrency': o.concurrency = positiveInt(name, value); break;
      case '--pgn': o.pgn = value; break;
      case '--json': o.json = value; break;
      case '--log': o.log = value; break;
      case '--openings': o.openings = positiveInt(name, value); break;
      case '--openings-file': o.openingsFile = value; break;
      case '--seed':
        if (!/^-?\d+$/.test(value)) throw new UsageError(`--seed needs an integer, not "${value}"`);
        o.seed = Number(value);
        break;
      case '--max-plies': o.maxPlies = positiveInt(name, value, { zero: true }); break;
      case '--clock-use-min-moves': o.clockUseMinMoves = positiveInt(name, value, { zero: true }); break;
      case '--margin': o.marginMs = positiveInt(name, value, { zero: true }); break;
      case '--hang-grace':
        if (!/^\d+(\.\d+)?$/.test(value)) throw new UsageError(`--hang-grace needs seconds, not "${value}"`);
        o.hangGraceMs = Math.round(Number(value) * 1000);
        break;
      case '--event': o.event = value; break;
      case '--chess960-positions': {
        const list = value.split(',').map((t) => t.trim());
        if (!list.every((t) => /^\d+$/.test(t) && Number(t) <= 959))
          throw new UsageError(`--chess960-positions needs numbers from 0 to 959, not "${value}"`);
        o.chess960Positions = list.map(Number);
        o.chess960 = true;
        break;
      }
      default: throw new UsageError(`unknown option ${arg}`);
    }
  }
  if (o.help) return o;
  if (o.sprt && !o.gamesGiven) o.games = 20000;
  if (o.sprt && o.games % 2 !== 0) throw new UsageError('--sprt plays game pairs: --games must be even');
  if (o.score !== null) {
    if (o.engines.length > 0) throw new UsageError('--score takes no --engine');
    return o;
  }
  if (o.engines.length === 0 || o.engines.length > 2) throw new UsageError('give one or two --engine options');
  if (!o.tc) throw new UsageError('--tc is required');
  for (const setup of o.engines) checkDirs(setup, Math.min(o.concurrency, o.games));
  return o;
}

// The parameters of --sprt: elo0 and elo1 (elo0 < elo1), alpha and beta
// (0.05 by default), model logistic (default) or normalized.
function parseSprt(words) {
  const sprt = { elo0: null, elo1: null, alpha: 0.05, beta: 0.05, model: 'logistic' };
  for (const word of words) {
    const eq = word.indexOf('=');
    const key = word.slice(0, eq);
    const value = word.slice(eq + 1);
    if (key === 'model') {
      if (value !== 'logistic' && value !== 'normalized') {
        throw new UsageError(`--sprt: model must be logistic or normalized, not "${value}"`);
      }
      sprt.model = value;
      continue;
    }
    if (!['elo0', 'elo1', 'alpha', 'beta'].includes(key)) throw new UsageError(`--sprt: unknown parameter "${word}"`);
    if (!/^-?\d+(\.\d+)?$/.test(value)) throw new UsageError(`--sprt: ${key} needs a number, not "${value}"`);
    sprt[key] = Number(value);
  }
  if (sprt.elo0 === null || sprt.elo1 === null) throw new UsageError('--sprt needs elo0= and elo1=');
  if (!(sprt.elo0 < sprt.elo1)) throw new UsageError('--sprt: elo0 must be below elo1');
  for (const key of ['alpha', 'beta']) {
    if (!(sprt[key] > 0 && sprt[key] < 0.5)) throw new UsageError(`--sprt: ${key} must be above 0 and below 0.5`);
  }
  return sprt;
}

// The Chess960 starting positions of a match, each as an opening without
// moves that carries its X-FEN: --chess960-positions in their order, else
// one per pair of games drawn from the 960 numbers shuffled with --seed (a
// seed from the clock, printed, when none is given).
function chess960Openings(o) {
  let numbers = o.chess960Positions;
  if (!numbers) {
    let seed = o.seed;
    if (seed === null) {
      seed = Date.now() % 2147483647;
      process.stdout.write(`Chess960 positions drawn with --seed ${seed}\n`);
    }
    const all = shuffled([...Array(960).keys()], seed);
    numbers = all.slice(0, Math.max(1, Math.ceil(o.games / 2)));
  }
  return numbers.map((n) => ({ name: `Chess960 #${n} ${backRank960(n)}`, moves: [], fen: startFen960(n) }));
}

// A small seeded generator (mulberry32) for shuffling the openings.
function shuffled(list, seed) {
  let a = seed >>> 0;
  const rand = () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const out = [...list];
  for (let i = out.length - 1; i > 0; i--) {
    const j = Math.floor(rand() * (i + 1));
    [out[i], out[j]] = [out[j], out[i]];
  }
  return out;
}

function pad(s, n) {
  return String(s).padStart(n);
}

// The score lines of a summary, for engine names[0] against names[1]: wins,
// draws and losses, the Elo difference with its 95% interval, the game
// pairs, and with --sprt the test's state.
function scoreLines(names, games, sprt) {
  const sc = scoreGames(games, names[0]);
  const lines = [
    `${names[0]}: ${sc.wins} wins, ${sc.draws} draws, ${sc.losses} losses; ` +
      `${sc.points}/${sc.games} points (${sc.percent.toFixed(1)}%)`,
  ];
  if (sc.games > 0) {
    lines.push(
      `Elo difference ${formatElo(sc.elo)}, 95% interval ${formatElo(sc.eloLow)} to ${formatElo(sc.eloHigh)}`,
    );
  }
  lines.push(`game pairs (LL, LD, DD/WL, WD, WW): [${sc.pentanomial.join(', ')}]`);
  if (sprt) {
    const st = sprtState(sc.pentanomial, sprt);
    const verdict = st.verdict ? `${st.verdict} accepted` : 'no verdict';
    lines.push(
      `SPRT (${sprt.model} Elo) elo0=${sprt.elo0} elo1=${sprt.elo1} alpha=${sprt.alpha} beta=${sprt.beta}: ` +
        `${llrLine(st)}, ${verdict}`,
    );
  }
  return lines;
}

function summaryText(o, names, records, interrupted) {
  const finished = records.filter((r) => r.result !== '*');
  const terminations = new Map();
  for (const r of finished) {
    const key = r.reason
      .replace(/^checkmate, .*/, 'checkmate')
      .replace(/^.* resigns.*$/, 'resignation')
      .replace(/, claimed by .*$/, '');
    const kind = r.termination === 'normal' || r.termination === 'adjudication' ? key : r.termination;
    terminations.set(kind, (terminations.get(kind) ?? 0) + 1);
  }
  const n = finished.length;
  const lines = [];
  lines.push('');
  lines.push(`Match ${names[0]} vs ${names[1]}, time control ${o.tc.text}${interrupted ? ' (interrupted)' : ''}`);
  lines.push(`games: ${n} of ${o.games}`);
  lines.push(...scoreLines(names, records, o.sprt));
  if (terminations.size) {
    lines.push(
      'endings: ' + [...terminations].sort((a, b) => b[1] - a[1]).map(([k, v]) => `${k} ${v}`).join(', '),
    );
  }
  const width = Math.max(12, ...names.map((s) => s.length)) + 2;
  lines.push(`${''.padEnd(20)}${pad(names[0], width)}${pad(names[1], width)}`);
  const counts = countProblems(records);
  for (const [kind, label] of PROBLEM_KINDS) {
    lines.push(`${label.padEnd(20)}${pad(counts[0][kind], width)}${pad(counts[1][kind], width)}`);
  }
  const details = [];
  for (const r of records) {
    for (const p of r.problems) {
      const slot = p.side === 0 ? r.whiteSlot : 1 - r.whiteSlot;
      details.push(`  game ${r.number}: ${names[slot]}, ${PROBLEM_LABELS[p.kind]}: ${p.detail}`);
    }
  }
  if (o.ponder) {
    const hits = [0, 0];
    const tries = [0, 0];
    for (const r of records) {
      for (const side of [0, 1]) {
        const slot = side === 0 ? r.whiteSlot : 1 - r.whiteSlot;
        hits[slot] += r.ponder.hits[side];
        tries[slot] += r.ponder.hits[side] + r.ponder.misses[side];
      }
    }
    const shown = [0, 1].filter((s) => tries[s] > 0).map((s) => `${names[s]} ${hits[s]} of ${tries[s]}`);
    if (shown.length) lines.push(`UCI ponder hits: ${shown.join(', ')}`);
  }
  const use = clockUse(records, o.clockUseMinMoves);
  lines.push(
    `Clock use (games with >= ${o.clockUseMinMoves} moves): ` +
      use
        .map((u, s) =>
          u.games ? `${names[s]} median ${u.median.toFixed(2)} over ${u.games} game${u.games === 1 ? '' : 's'}` : `${names[s]} no games`,
        )
        .join(', '),
  );
  if (details.length) {
    lines.push('problems:');
    lines.push(...details);
  }
  return lines.join('\n');
}

function median(values) {
  const v = [...values].sort((a, b) => a - b);
  const mid = Math.floor(v.length / 2);
  return v.length % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

// Per engine slot: the median share of its available time that it spent
// over the games in which it made at least minMoves moves (null without
// such games), and the number of those games.
function clockUse(records, minMoves) {
  return [0, 1].map((slot) => {
    const shares = [];
    for (const r of records) {
      if (!r.clockUse) continue;
      const use = r.clockUse[r.whiteSlot === slot ? 0 : 1];
      if (use.moves >= minMoves && use.availableMs > 0) shares.push(use.spentMs / use.availableMs);
    }
    return { median: shares.length ? median(shares) : null, games: shares.length };
  });
}

function countProblems(records) {
  const counts = [0, 1].map(() => Object.fromEntries(PROBLEM_KINDS.map(([k]) => [k, 0])));
  for (const r of records) {
    for (const p of r.problems) {
      const slot = p.side === 0 ? r.whiteSlot : 1 - r.whiteSlot;
      counts[slot][p.kind]++;
    }
  }
  return counts;
}

async function main() {
  // A reader that stops early (| head) must not crash the match.
  process.stdout.on('error', () => {});
  let o;
  try {
    o = parseArgs(process.argv.slice(2));
  } catch (err) {
    if (!(err instanceof UsageError)) throw err;
    process.stderr.write(`match: ${err.message}\n(see --help)\n`);
    return 2;
  }
  if (o.help) {
    process.stdout.write(usageText() + '\n');
    return 0;
  }
  if (o.score !== null) return scoreFile(o);

  let openings;
  if (o.chess960) {
    // Chess960: the listed starting positions, or as many as the games need
    // drawn at random (seeded with --seed) from the 960.
    openings = chess960Openings(o);
  } else {
    try {
      openings = checkOpenings(o.openingsFile ? readOpeningsFile(o.openingsFile) : OPENINGS);
    } catch (err) {
      process.stderr.write(`match: ${err.message}\n`);
      return 2;
    }
    if (o.seed !== null) openings = shuffled(openings, o.seed);
    if (o.openings > 0) openings = openings.slice(0, o.openings);
  }

  const setups = o.engines.length === 1 ? [o.engines[0], o.engines[0]] : o.engines;
  const names = setups.map((s) => s.name);
  if (names[0] === names[1]) {
    names[0] += ' (1)';
    names[1] += ' (2)';
  }

  let pgnOut = null;
  try {
    if (o.log) fs.mkdirSync(o.log, { recursive: true });
    if (o.json) fs.writeFileSync(o.json, '');
    if (o.pgn) pgnOut = fs.openSync(o.pgn, 'w');
  } catch (err) {
    process.stderr.write(`match: ${err.message}\n`);
    return 2;
  }
  const records = [];
  const pgnPending = new Map();
  let pgnNext = 1;
  const controller = new AbortController();
  let interrupted = false;
  const onSignal = () => {
    if (interrupted) return;
    interrupted = true;
    process.stderr.write('match: interrupted, stopping the games\n');
    controller.abort();
  };
  process.on('SIGINT', onSignal);
  process.on('SIGTERM', onSignal);

  process.stdout.write(
    `Match ${names[0]} vs ${names[1]}: ${o.games} games, time control ${o.tc.text}, ` +
      `concurrency ${o.concurrency}, ${openings.length} opening lines\n`,
  );

  // With --sprt: the test's state after each completed pair; once it has a
  // verdict no game is started and those under way are stopped.
  let sprtDone = false;
  const pairDone = (rec) => {
    const partner = records.find((r) => r.number === (rec.number % 2 ? rec.number + 1 : rec.number - 1));
    if (!o.sprt || sprtDone || !partner || partner.result === '*' || rec.result === '*') return;
    const st = sprtState(scoreGames(records, names[0]).pentanomial, o.sprt);
    process.stdout.write(`${llrLine(st)}\n`);
    if (st.verdict) {
      sprtDone = true;
      process.stdout.write(`SPRT: ${st.verdict} accepted\n`);
      controller.abort('stopped: the SPRT has its verdict');
    }
  };

  const finished = (rec) => {
    records.push(rec);
    process.stdout.write(`game ${rec.number}/${o.games}: ${rec.white} - ${rec.black} ${rec.result} (${rec.reason})\n`);
    pairDone(rec);
    if (pgnOut !== null) {
      pgnPending.set(rec.number, gamePgn(rec, { event: o.event, tc: o.tc }));
      while (pgnPending.has(pgnNext)) {
        fs.writeSync(pgnOut, pgnPending.get(pgnNext));
        pgnPending.delete(pgnNext);
        pgnNext++;
      }
    }
  };

  let next = 0;
  const worker = async (slot) => {
    const slotSetups = setups.map((s) => ({ ...s, dir: slotDir(s, slot) }));
    while (next < o.games && !interrupted && !sprtDone) {
      const index = next++;
      const whiteSlot = index % 2;
      const opening = openings[Math.floor(index / 2) % openings.length];
      const gameSetups = whiteSlot === 0 ? [slotSetups[0], slotSetups[1]] : [slotSetups[1], slotSetups[0]];
      const gameNames = whiteSlot === 0 ? [names[0], names[1]] : [names[1], names[0]];
      let log = null;
      let logFd = null;
      if (o.log) {
        logFd = fs.openSync(path.join(o.log, `game-${String(index + 1).padStart(4, '0')}.log`), 'w');
        const t0 = performance.now();
        log = (text) => fs.writeSync(logFd, `${(performance.now() - t0).toFixed(1).padStart(9)} ${text}\n`);
      }
      const rec = await playGame({
        number: index + 1,
        setups: gameSetups,
        names: gameNames,
        opening,
        tc: o.tc,
        ponder: o.ponder,
        maxPlies: o.maxPlies,
        marginMs: o.marginMs,
        hangGraceMs: o.hangGraceMs,
        comments: o.comments,
        log,
        signal: controller.signal,
      });
      if (logFd !== null) fs.closeSync(logFd);
      rec.whiteSlot = whiteSlot;
      if (rec.result === '*' && (interrupted || sprtDone)) {
        records.push(rec);
        continue;
      }
      finished(rec);
    }
  };
  await Promise.all(Array.from({ length: Math.min(o.concurrency, o.games) }, (_, k) => worker(k + 1)));
  if (pgnOut !== null) {
    // Games left waiting behind an interrupted one.
    for (const k of [...pgnPending.keys()].sort((a, b) => a - b)) fs.writeSync(pgnOut, pgnPending.get(k));
    fs.closeSync(pgnOut);
  }

  records.sort((a, b) => a.number - b.number);
  process.stdout.write(summaryText(o, names, records, interrupted) + '\n');

  const counts = countProblems(records);
  const strictFailures = [0, 1].reduce(
    (sum, s) => sum + [...STRICT_KINDS].reduce((t, k) => t + counts[s][k], 0),
    0,
  );
  if (o.json) {
    const json = {
      engines: names,
      timeControl: o.tc.text,
      games: records.map((r) => ({
        number: r.number,
        white: r.white,
        black: r.black,
        whiteSlot: r.whiteSlot,
        opening: r.opening,
        result: r.result,
        reason: r.reason,
        termination: r.termination,
        moves: r.moves.map((m) => m.san),
        sent: r.moves.map((m) => m.sent ?? null),
        problems: r.problems.map((p) => ({ ...p, engine: names[p.side === 0 ? r.whiteSlot : 1 - r.whiteSlot] })),
        clocksMs: r.clocksMs ? r.clocksMs.map(Math.round) : null,
        clockUse: r.clockUse,
        ...(o.ponder ? { ponderHits: r.ponder.hits, ponderMisses: r.ponder.misses } : {}),
      })),
      problems: Object.fromEntries(names.map((nm, s) => [nm, counts[s]])),
      scores: names.map((nm) => jsonScore(scoreGames(records, nm))),
      ...(o.sprt ? { sprt: sprtJson(o.sprt, scoreGames(records, names[0]).pentanomial) } : {}),
      clockUse: {
        minMoves: o.clockUseMinMoves,
        engines: Object.fromEntries(clockUse(records, o.clockUseMinMoves).map((u, s) => [names[s], u])),
      },
    };
    fs.writeFileSync(o.json, JSON.stringify(json, null, 2) + '\n');
  }
  if (interrupted) return 130;
  if (o.strict && strictFailures > 0) return 1;
  return 0;
}

function sprtJson(sprt, pentanomial) {
  const st = sprtState(pentanomial, sprt);
  return { ...sprt, pairs: pentanomial, llr: st.llr, lower: st.lower, upper: st.upper, verdict: st.verdict };
}

// --score FILE: the score lines of the games of a PGN file, for the first
// two players named in it (the White and Black of its first game), and
// with --json their scores (and the test's state with --sprt).
function scoreFile(o) {
  let games;
  try {
    games = gamesFromPgn(fs.readFileSync(o.score, 'utf8'));
  } catch (err) {
    process.stderr.write(`match: ${err.message}\n`);
    return 2;
  }
  if (games.length === 0) {
    process.stderr.write(`match: ${o.score} holds no games\n`);
    return 2;
  }
  const names = [games[0].white, games[0].black];
  const played = games.filter((g) => g.result !== '*').length;
  const lines = [`games: ${played} of ${games.length}`, ...scoreLines(names, games, o.sprt)];
  process.stdout.write(lines.join('\n') + '\n');
  if (o.json) {
    const json = {
      engines: names,
      games: games.length,
      scores: names.map((nm) => jsonScore(scoreGames(games, nm))),
      ...(o.sprt ? { sprt: sprtJson(o.sprt, scoreGames(games, names[0]).pentanomial) } : {}),
    };
    fs.writeFileSync(o.json, JSON.stringify(json, null, 2) + '\n');
  }
  return 0;
}

main().then(
  (code) => {
    process.exitCode = code;
  },
  (err) => {
    process.stderr.write(`match: ${err.stack || err}\n`);
    process.exitCode = 3;
  },
);

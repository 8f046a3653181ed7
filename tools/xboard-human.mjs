// The human at xboard's board for tools/xboard-retract-game.sh: plays White
// against the engine in xboard's main window as a person would, with the
// keyboard and the mouse (xdotool on the virtual X server): it types each
// move into xboard's move type-in box, takes back its move and the engine's
// reply twice (once with the menu item Engine > Retract Move, once with
// its shortcut Ctrl+X), and plays on until the game ends, or resigns with
// Action > Resign after too many moves.
//
// It keeps its own game with chess.js: its moves, the engine's moves as
// xboard's debug file shows them ("<first : move ..."), and two plies off at
// each "remove" xboard sends. An engine move that is not legal in that game,
// a typed move xboard does not pass on, a take-back xboard does not send as
// "remove", or an error window ends it with a failure. It writes the moves
// of the game it kept, one SAN a line, for the caller to compare with the
// PGN xboard saves.
//
// Usage: node xboard-human.mjs DEBUG_FILE PGN_FILE MOVES_OUT
// Environment: DISPLAY; XBOARD_RETRACT_AT (two numbers, default "4 9": the
// human's moves taken back, each once the engine has answered it);
// XBOARD_RETRACT_RESIGN_AT (the human resigns instead of its move of this
// number, default 80); XBOARD_RETRACT_SEED (the human's choices, default 1).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';

import { parseEngineMove } from './match/lib/notation.mjs';
import { Chess } from './referee/lib/referee.mjs';
import { Rng } from './referee/lib/random.mjs';

const [debugFile, pgnFile, movesOut] = process.argv.slice(2);
const retractAt = (process.env.XBOARD_RETRACT_AT ?? '4 9').trim().split(/\s+/).map(Number);
const resignAt = Number(process.env.XBOARD_RETRACT_RESIGN_AT ?? 80);
const rng = new Rng(Number(process.env.XBOARD_RETRACT_SEED ?? 1));

// How long xboard may take to pass a typed move or a take-back on, and the
// engine to answer (it has 1 minute + 1 second a move).
const XBOARD_WAIT_MS = 10000;
const ENGINE_WAIT_MS = 30000;

// Where xboard 4.9's GTK menus put things, in pixels from the top left of
// the main window and of the menu that drops down: the menu bar's labels
// and the items clicked. They depend on the font, not on the board size.
const MENU_BAR_Y = 13;
const ACTION_MENU_X = 212;
const ENGINE_MENU_X = 272;
const ITEM_X = 50;
// Resign is the eighth item of the Action menu, Retract Move the last of
// the Engine menu.
const RESIGN_ITEM_Y = 167;
const RETRACT_ITEM_FROM_BOTTOM = 15;

function log(text) {
  console.log(`xboard-retract-game: ${text}`);
}

function fail(text) {
  console.error(`xboard-retract-game: FAILED: ${text}`);
  process.exit(1);
}

function xdotool(...args) {
  return execFileSync('xdotool', args, { encoding: 'utf8' }).trim();
}

function sleep(ms) {
  Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, ms);
}

// Visible windows whose title matches the pattern; xdotool exits 1 when
// there is none.
function windows(pattern) {
  try {
    return xdotool('search', '--onlyvisible', '--name', pattern).split('\n').filter(Boolean);
  } catch {
    return [];
  }
}

function geometry(window) {
  const shell = xdotool('getwindowgeometry', '--shell', window);
  const value = (key) => Number(new RegExp(`^${key}=(-?\\d+)$`, 'm').exec(shell)[1]);
  return { x: value('X'), y: value('Y'), width: value('WIDTH'), height: value('HEIGHT') };
}

// What xboard's debug file shows so far: the moves it passed to the engine
// (with "usermove" the command and the move come on one line), the moves
// the engine played and the take-backs it sent.
function traffic() {
  const text = fs.existsSync(debugFile) ? fs.readFileSync(debugFile, 'utf8') : '';
  const sent = [];
  const played = [];
  let removes = 0;
  let undos = 0;
  for (const line of text.split('\n')) {
    let m;
    if ((m = /^\d+ >first : (?:usermove \d+ >first : )?([a-h][1-8][a-h][1-8][qrbn]?)$/.exec(line))) sent.push(m[1]);
    else if ((m = /^\d+ <first : move (\S+)$/.exec(line))) played.push(m[1]);
    else if (/^\d+ >first : remove$/.test(line)) removes += 1;
    else if (/^\d+ >first : undo$/.test(line)) undos += 1;
  }
  return { sent, played, removes, undos };
}

function gameSaved() {
  return fs.existsSync(pgnFile) && /^\[Result "(1-0|0-1|1\/2-1\/2)"\]/m.test(fs.readFileSync(pgnFile, 'utf8'));
}

// Waits until `ready` gives something other than undefined, failing on an
// error window or after `ms`.
function waitFor(what, ms, ready) {
  const end = Date.now() + ms;
  for (;;) {
    const error = windows('^Error$');
    if (error.length > 0) fail(`xboard shows an error window while waiting for ${what}`);
    const value = ready();
    if (value !== undefined) return value;
    if (Date.now() > end) fail(`no ${what} within ${ms / 1000} s`);
    sleep(100);
  }
}

const main = waitFor("xboard's main window", XBOARD_WAIT_MS, () => windows('^xboard: ')[0]);

function focusBoard() {
  xdotool('windowfocus', '--sync', main);
}

// Opens a menu of the menu bar with a click and clicks one of its items:
// the menu that dropped down is the visible window titled "xboard" that is
// more than a placeholder.
function clickMenu(menuX, itemY) {
  xdotool('mousemove', '--window', main, String(menuX), String(MENU_BAR_Y), 'click', '1');
  const menu = waitFor('the menu to drop down', XBOARD_WAIT_MS, () =>
    windows('^xboard$').map(geometry).find((g) => g.width > 50 && g.height > 50),
  );
  xdotool('mousemove', String(menu.x + ITEM_X), String(menu.y + itemY(menu)), 'click', '1');
}

// The human's choice, a weak player's: it looks one answer ahead and
// counts material only. A mate it sees is played, a move that lets the
// engine mate at once or win material is avoided when it can be, and among
// moves alike it picks at random. Never the move it has just taken back,
// when there is another.
const VALUE = { p: 1, n: 3, b: 3, r: 5, q: 9, k: 0 };
const gain = (m) => (m.captured ? VALUE[m.captured] : 0) + (m.promotion ? VALUE[m.promotion] - 1 : 0);
function choose(chess, avoid) {
  let moves = chess.moves({ verbose: true });
  if (avoid && moves.length > 1) moves = moves.filter((m) => m.lan !== avoid);
  let best = null;
  let bestScore = -Infinity;
  for (const m of moves) {
    let score;
    if (m.san.endsWith('#')) {
      score = 1000;
    } else {
      chess.move(m.san);
      const replies = chess.moves({ verbose: true });
      chess.undo();
      score = gain(m) - Math.max(0, ...replies.map((r) => (r.san.endsWith('#') ? 1000 : gain(r))));
      if (replies.length === 0) score = 0;
    }
    score += rng.next() * 0.9;
    if (score > bestScore) {
      best = m;
      bestScore = score;
    }
  }
  return best;
}

// Mate and stalemate end the game on the board itself; xboard sees them.
// A draw by repetition, the fifty-move rule or too little material ends it
// only when claimed or adjudicated, which shows in the saved game.
const over = (chess) => chess.isCheckmate() || chess.isStalemate();

const chess = new Chess();
let avoid = null;
let number = 0;
let retracted = 0;
let resigned = false;

for (;;) {
  if (gameSaved() || over(chess)) break;
  number += 1;
  if (number >= resignAt) {
    log(`resigning instead of move ${number} (Action > Resign)`);
    focusBoard();
    clickMenu(ACTION_MENU_X, () => RESIGN_ITEM_Y);
    resigned = true;
    break;
  }

  // The human's move, typed: the first key opens the type-in box, Return
  // enters the move.
  const before = traffic();
  const move = choose(chess, avoid);
  avoid = null;
  focusBoard();
  xdotool('type', '--delay', '40', move.lan);
  xdotool('key', 'Return');
  waitFor(`xboard to pass ${move.lan} to the engine`, XBOARD_WAIT_MS, () =>
    traffic().sent.length > before.sent.length ? true : undefined,
  );
  const sent = traffic().sent.at(-1);
  if (sent !== move.lan) fail(`typed ${move.lan}, xboard sent the engine ${sent}`);
  chess.move(move.san);
  if (over(chess)) break;

  // The engine's answer, which must be legal in the human's game.
  const reply = waitFor(`an engine move after ${move.san}`, ENGINE_WAIT_MS, () => {
    const now = traffic();
    if (now.played.length > before.played.length) return now.played.at(-1);
    return gameSaved() ? null : undefined;
  });
  if (reply === null) break;
  const answer = parseEngineMove(chess, reply);
  if (!answer) fail(`the engine played ${reply}, not a legal move after ${chess.history().join(' ')}`);
  chess.move(answer.san);

  if (retracted < retractAt.length && number === retractAt[retracted] && !over(chess)) {
    // Retract Move takes back the human's move and the engine's answer;
    // xboard tells the engine with "remove".
    const how = retracted === 0 ? 'Engine > Retract Move' : 'Ctrl+X';
    focusBoard();
    if (retracted === 0) {
      clickMenu(ENGINE_MENU_X, (menu) => menu.height - RETRACT_ITEM_FROM_BOTTOM);
    } else {
      xdotool('key', 'ctrl+x');
    }
    waitFor(`"remove" after ${how}`, XBOARD_WAIT_MS, () =>
      traffic().removes > before.removes ? true : undefined,
    );
    chess.undo();
    chess.undo();
    retracted += 1;
    log(`move ${number}: ${move.san} ${answer.san} taken back with ${how}`);
    avoid = move.lan;
    number -= 1;
  }
}

if (retracted < retractAt.length) fail(`the game ended after ${retracted} of ${retractAt.length} take-backs`);
waitFor('the game saved with its result', XBOARD_WAIT_MS, () => (gameSaved() ? true : undefined));
const final = traffic();
if (final.undos > 0) fail(`xboard sent "undo" ${final.undos} times`);
log(`${chess.history().length} plies kept${resigned ? ', the human resigned' : ''}; the engine played ${final.played.length} moves, xboard sent ${final.removes} "remove"`);
fs.writeFileSync(movesOut, chess.history().map((san) => `${san}\n`).join(''));

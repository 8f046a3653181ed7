// The interface's own idea of the game, kept with chess.js and nothing the
// engine says about itself: the position, the moves since the last "new" or
// "setboard" (so that take-backs and repetitions are counted from the set-up
// position), the quiet half-moves since then, and the judgement of result
// claims against all of that.
import { Chess } from '../../match/node_modules/chess.js/dist/esm/chess.js';

export { Chess };

export const START_FEN = 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1';

// Two positions are the same when placement, side to move, castling rights
// and en passant square agree. chess.js writes the en passant square only
// when a capture there is legal, which is the rule of the game.
export function positionKey(chess) {
  return chess.fen().split(' ').slice(0, 4).join(' ');
}

// The engine's own, stricter notion: any double step gives an en passant
// right, whether or not a pawn can take, and so does the en passant square
// of a set-up FEN. Claims are required by it only. `ep` is the square
// passed over, or '-'.
function strictKey(chess, ep) {
  const f = chess.fen().split(' ');
  return `${f[0]} ${f[1]} ${f[2]} ${ep}`;
}

// The square a double step passed over, or '-' for any other move.
function passedSquare(move) {
  return move.flags.includes('b') ? move.to[0] + (move.color === 'w' ? '3' : '6') : '-';
}

function squareColour(square) {
  const file = square.charCodeAt(0) - 97;
  const rank = square.charCodeAt(1) - 49;
  return (file + rank) & 1;
}

// No pawns, and either kings alone, a single bishop or knight besides them,
// or one bishop each standing on squares of the same colour.
export function insufficientMaterial(chess) {
  const pieces = [];
  for (const row of chess.board()) {
    for (const p of row) {
      if (!p || p.type === 'k') continue;
      if (p.type === 'p') return false;
      pieces.push(p);
    }
  }
  if (pieces.length === 0) return true;
  if (pieces.length === 1) return pieces[0].type === 'b' || pieces[0].type === 'n';
  if (pieces.length === 2) {
    const [a, b] = pieces;
    return a.type === 'b' && b.type === 'b' && a.color !== b.color && squareColour(a.square) === squareColour(b.square);
  }
  return false;
}

// Whether FEN describes a position the referee will hand to an engine: it
// loads, one king each, no pawn on a first or last rank, the side that has
// just moved not in check, and a move to play.
export function playableFen(fen) {
  let chess;
  try {
    chess = new Chess(fen);
  } catch {
    return false;
  }
  let kings = { w: 0, b: 0 };
  for (const row of chess.board()) {
    for (const p of row) {
      if (!p) continue;
      if (p.type === 'k') kings[p.color] += 1;
      if (p.type === 'p' && (p.square[1] === '1' || p.square[1] === '8')) return false;
    }
  }
  if (kings.w !== 1 || kings.b !== 1) return false;
  const other = chess.turn() === 'w' ? 'b' : 'w';
  const king = chess.findPiece({ type: 'k', color: other })[0];
  if (chess.isAttacked(king, chess.turn())) return false;
  return chess.moves().length > 0;
}

export class Referee {
  constructor(fen = START_FEN) {
    this.setupFen = fen;
    this.chess = new Chess(fen);
    // One entry per position of the game, the set-up position first. extra
    // is whatever the caller keeps with a move (the clocks before it).
    const setupEp = fen.trim().split(/\s+/)[3] ?? '-';
    this.entries = [{ key: positionKey(this.chess), strict: strictKey(this.chess, setupEp), quiet: 0, move: null, extra: null }];
  }

  get turn() {
    return this.chess.turn();
  }
  get plies() {
    return this.entries.length - 1;
  }
  get last() {
    return this.entries[this.entries.length - 1];
  }
  fen() {
    return this.chess.fen();
  }
  legalMoves() {
    return this.chess.moves({ verbose: true });
  }

  // Plays a move taken from legalMoves() (or parseEngineMove) of this position.
  apply(move, extra = null) {
    const done = this.chess.move({ from: move.from, to: move.to, promotion: move.promotion });
    const quiet = done.piece === 'p' || done.captured ? 0 : this.last.quiet + 1;
    this.entries.push({ key: positionKey(this.chess), strict: strictKey(this.chess, passedSquare(done)), quiet, move: done, extra });
    return done;
  }

  undo() {
    if (this.entries.length <= 1) throw new Error('nothing to take back since the set-up position');
    this.chess.undo();
    return this.entries.pop();
  }

  clone() {
    const r = new Referee(this.setupFen);
    for (const e of this.entries.slice(1)) r.apply(e.move, e.extra);
    return r;
  }

  repetitions() {
    const k = this.last.key;
    let n = 0;
    for (const e of this.entries) if (e.key === k) n += 1;
    return n;
  }

  // Occurrences of the current position by the engine's stricter key.
  strictRepetitions() {
    const k = this.last.strict;
    let n = 0;
    for (const e of this.entries) if (e.strict === k) n += 1;
    return n;
  }

  // What a claim about the current position is judged by.
  facts() {
    return {
      fen: this.chess.fen(),
      plies: this.plies,
      turn: this.chess.turn(),
      repetitions: this.repetitions(),
      quiet: this.last.quiet,
      checkmate: this.chess.isCheckmate(),
      stalemate: this.chess.isStalemate(),
      insufficient: insufficientMaterial(this.chess),
    };
  }
}

export const CLAIMS = {
  '1/2-1/2 {Draw by repetition}': (f) => f.repetitions >= 3,
  '1/2-1/2 {Draw by 50-move rule}': (f) => f.quiet >= 100,
  '1-0 {White mates}': (f) => f.checkmate && f.turn === 'b',
  '0-1 {Black mates}': (f) => f.checkmate && f.turn === 'w',
  '1/2-1/2 {Stalemate}': (f) => f.stalemate,
  '1/2-1/2 {Insufficient material}': (f) => f.insufficient,
};

// true / false for a claim the referee knows, null for one it does not.
export function judgeClaim(text, facts) {
  const rule = CLAIMS[text];
  return rule ? rule(facts) : null;
}

// The moves of a position that one move of the engine's thinking-line
// notation may name: the piece letter (none for a pawn; a promoted pawn
// shows the piece it becomes), the file of a capturing pawn, 'x' for a
// capture (en passant included), the destination. Castling is the king's
// move. The notation names no piece apart, so a token may fit two moves.
export function movesForToken(chess, token) {
  const m = /^([KQRBN])?([a-h])?(x)?([a-h][1-8])$/.exec(token);
  if (!m) return [];
  const letter = m[1] ? m[1].toLowerCase() : null;
  return chess.moves({ verbose: true }).filter((mv) => {
    if (mv.to !== m[4] || !!m[3] !== !!mv.captured) return false;
    if (letter) return mv.promotion ? mv.promotion === letter : mv.piece === letter;
    if (mv.piece !== 'p' || mv.promotion) return false;
    return !m[2] || mv.from[0] === m[2];
  });
}

// Whether some reading of the tokens is a line of legal moves from the
// position of `chess` (which is left as it was).
export function variationFits(chess, tokens, i = 0) {
  if (i === tokens.length) return true;
  for (const mv of movesForToken(chess, tokens[i])) {
    chess.move(mv);
    const fits = variationFits(chess, tokens, i + 1);
    chess.undo();
    if (fits) return true;
  }
  return false;
}

// The answer to "." in analysis mode: "stat01: TIME NODES DEPTH LEFT TOTAL
// [MOVE]", about the position of `chess` (null: a position the engine
// refused, which it does not analyse). The total is the number of legal
// moves there as the engine's search has them, a promotion once (the
// search promotes to a queen only), the moves left lie within it, nodes searched come with a
// depth (and none, before the search has begun, with every move left),
// and the move in hand is legal. Returns what is wrong, or null.
//
// With exclusions ("exclude" since the position was set), the total may be
// fewer than the legal moves.
export function judgeStatus(line, chess, { exclusions = false } = {}) {
  const m = /^stat01: (\d+) (\d+) (\d+) (\d+) (\d+)(?: (\S+))?$/.exec(line);
  if (!m) return 'not of the form "stat01: TIME NODES DEPTH LEFT TOTAL [MOVE]"';
  const [nodes, depth, left, total] = [m[2], m[3], m[4], m[5]].map(Number);
  const legal = chess ? chess.moves({ verbose: true }) : [];
  const searched = legal.filter((x) => !x.promotion || x.promotion === 'q').length;
  if (exclusions ? total > searched : total !== searched) return `${total} moves in all, but the position has ${searched} legal moves (a promotion counted once)`;
  if (left > total) return `${left} moves left of ${total}`;
  if (nodes > 0 && depth === 0) return 'nodes searched to no depth';
  if (nodes === 0 && (depth !== 0 || left !== total)) return 'no nodes searched, yet a depth or moves done';
  if (m[6] !== undefined) {
    const mv = /^([a-h][1-8])([a-h][1-8])([qrbn]?)$/.exec(m[6]);
    if (!mv || !legal.some((x) => x.from === mv[1] && x.to === mv[2] && (x.promotion ?? '') === (mv[3] || (x.promotion ? 'q' : ''))))
      return `the move in hand ${m[6]} is not legal there`;
  }
  return null;
}

// Chess960 (Fischer random chess) as an interface referees it, with chessops
// (lichess's rules library) as the judge: the starting positions by their
// standard numbers, X-FEN and Shredder-FEN set-ups, the moves engines send
// in either protocol's castling form, and the end of the game. Nothing here
// asks the engines anything about the rules.
//
// Castling in the two protocols:
//   UCI with UCI_Chess960 on: the king takes its own rook, "e1h1", "b1a1".
//   CECP (variant fischerandom): "O-O" and "O-O-O"; every other move in
//   coordinates. Lower-case "o-o" and the digit form "0-0" are read too.
import { Chess, castlingSide } from 'chessops/chess';
import { parseFen, makeFen } from 'chessops/fen';
import { makeSquare, parseSquare } from 'chessops/util';
import { makeSan } from 'chessops/san';

// The back rank of starting position n (0..959) in the standard numbering
// (518 is the usual array): the light-squared bishop from n mod 4, the
// dark-squared one from the next base-4 digit, the queen on one of the six
// squares left, the knights by one of the ten ways to place two on the five
// left, and rook, king, rook on the last three in that order.
const KNIGHT_PLACES = [
  [0, 1], [0, 2], [0, 3], [0, 4], [1, 2], [1, 3], [1, 4], [2, 3], [2, 4], [3, 4],
];

export function backRank960(n) {
  if (!Number.isInteger(n) || n < 0 || n > 959) throw new RangeError(`no Chess960 position ${n}`);
  const rank = new Array(8).fill(null);
  rank[2 * (n % 4) + 1] = 'B';
  let rest = Math.floor(n / 4);
  rank[2 * (rest % 4)] = 'B';
  rest = Math.floor(rest / 4);
  const empty = () => rank.map((p, i) => (p ? -1 : i)).filter((i) => i >= 0);
  rank[empty()[rest % 6]] = 'Q';
  rest = Math.floor(rest / 6);
  const five = empty();
  for (const k of KNIGHT_PLACES[rest]) rank[five[k]] = 'N';
  const three = empty();
  rank[three[0]] = 'R';
  rank[three[1]] = 'K';
  rank[three[2]] = 'R';
  return rank.join('');
}

// X-FEN of starting position n; the rooks stand outermost, so KQkq names them.
export function startFen960(n) {
  const white = backRank960(n);
  return `${white.toLowerCase()}/pppppppp/8/8/8/8/PPPPPPPP/${white} w KQkq - 0 1`;
}

// A chessops position from an X-FEN or Shredder-FEN, or an Error.
export function position960(fen) {
  const setup = parseFen(fen.trim());
  if (setup.isErr) return new Error(`unreadable FEN "${fen}": ${setup.error.message}`);
  const pos = Chess.fromSetup(setup.value);
  if (pos.isErr) return new Error(`impossible position "${fen}": ${pos.error.message}`);
  return pos.value;
}

// Every legal move of pos as chessops moves; castling is the king's move to
// its own rook's square, a promotion comes once per piece.
export function legalMoves960(pos) {
  const moves = [];
  for (const [from, dests] of pos.allDests()) {
    const pawn = pos.board.get(from).role === 'pawn';
    for (const to of dests) {
      const last = to >> 3 === 0 || to >> 3 === 7;
      if (pawn && last) for (const promotion of ['queen', 'rook', 'bishop', 'knight']) moves.push({ from, to, promotion });
      else moves.push({ from, to });
    }
  }
  return moves;
}

const LETTER = { queen: 'q', rook: 'r', bishop: 'b', knight: 'n' };
const ROLE = { q: 'queen', r: 'rook', b: 'bishop', n: 'knight' };

// 'h' (king's side, O-O), 'a' (queen's side, O-O-O) or undefined.
export function castlingOf(pos, move) {
  return castlingSide(pos, move);
}

// The move in UCI's Chess960 form (king takes rook for castling).
export function uciMove960(move) {
  return makeSquare(move.from) + makeSquare(move.to) + (move.promotion ? LETTER[move.promotion] : '');
}

// The move in CECP's fischerandom form: O-O / O-O-O, else coordinates.
export function cecpMove960(pos, move) {
  const side = castlingSide(pos, move);
  if (side) return side === 'h' ? 'O-O' : 'O-O-O';
  return uciMove960(move);
}

// The legal move that `text` names in protocol `proto` ('uci' or 'cecp'),
// or null. A pawn reaching the last rank without a letter is a queen in
// CECP (as the standard referee reads it) and no move in UCI. Castling is
// only accepted in the protocol's own form: in UCI the king's move onto its
// rook, in CECP O-O / O-O-O (a king moving onto its own rook in coordinates,
// or two squares towards it, is no CECP move).
export function parseMove960(pos, text, proto) {
  const t = text.trim();
  const legal = legalMoves960(pos);
  const castle = /^([Oo0])-\1(-\1)?$/.exec(t);
  if (castle) {
    if (proto !== 'cecp') return null;
    const want = castle[2] ? 'a' : 'h';
    return legal.find((m) => castlingSide(pos, m) === want) ?? null;
  }
  const m = /^([a-h][1-8])([a-h][1-8])([qrbnQRBN]?)$/.exec(t);
  if (!m) return null;
  const from = parseSquare(m[1]);
  const to = parseSquare(m[2]);
  let promotion = m[3] ? ROLE[m[3].toLowerCase()] : undefined;
  const candidates = legal.filter((x) => x.from === from && x.to === to);
  if (candidates.length === 0) return null;
  if (candidates[0].promotion && !promotion) {
    if (proto !== 'cecp') return null;
    promotion = 'queen';
  }
  const move = candidates.find((x) => x.promotion === promotion) ?? null;
  if (move && proto === 'cecp' && castlingSide(pos, move)) return null;
  return move;
}

// Placement, side, castling rights and en passant square (only when a
// capture there is legal): what makes two positions the same.
export function positionKey960(pos) {
  return makeFen(pos.toSetup()).split(' ').slice(0, 4).join(' ');
}

// A Chess960 game as the referee keeps it: the set-up position and every
// position since, for repetitions, with the fifty-move count from chessops.
export class Referee960 {
  constructor(fen) {
    const pos = position960(fen);
    if (pos instanceof Error) throw pos;
    this.setupFen = fen;
    this.pos = pos;
    // quiet: half-moves without a capture or pawn move since the set-up
    // position, which is what a draw claim by the 50-move rule is judged by
    // (as the standard referee counts); the game's end uses chessops' own
    // count, which starts from the FEN's.
    this.entries = [{ key: positionKey960(pos), move: null, extra: null, text: null, quiet: 0 }];
  }

  get turn() {
    return this.pos.turn === 'white' ? 'w' : 'b';
  }
  get plies() {
    return this.entries.length - 1;
  }
  fen() {
    return makeFen(this.pos.toSetup());
  }
  legalMoves() {
    return legalMoves960(this.pos);
  }
  parse(text, proto) {
    return parseMove960(this.pos, text, proto);
  }
  // The form in which move (legal here) is sent to an engine of proto.
  moveText(move, proto) {
    return proto === 'cecp' ? cecpMove960(this.pos, move) : uciMove960(move);
  }
  apply(move, extra = null) {
    if (!this.pos.isLegal(move)) throw new Error(`illegal move ${uciMove960(move)} in ${this.fen()}`);
    const text = { uci: uciMove960(move), cecp: cecpMove960(this.pos, move) };
    const reset = this.pos.board.get(move.from).role === 'pawn' || (this.pos.board.get(move.to) && !castlingSide(this.pos, move));
    this.pos.play(move);
    const quiet = reset ? 0 : this.entries[this.entries.length - 1].quiet + 1;
    this.entries.push({ key: positionKey960(this.pos), move, extra, text, quiet });
    return text;
  }
  repetitions() {
    const k = this.entries[this.entries.length - 1].key;
    return this.entries.filter((e) => e.key === k).length;
  }
  // How the game stands after the last move: null while it goes on, else
  // { result, reason } in the result-line forms of the standard referee.
  outcome() {
    if (this.pos.isCheckmate()) {
      return this.pos.turn === 'white' ? { result: '0-1', reason: 'Black mates' } : { result: '1-0', reason: 'White mates' };
    }
    if (this.pos.isStalemate()) return { result: '1/2-1/2', reason: 'Stalemate' };
    if (this.pos.isInsufficientMaterial()) return { result: '1/2-1/2', reason: 'Insufficient material' };
    if (this.pos.halfmoves >= 100) return { result: '1/2-1/2', reason: 'Draw by 50-move rule' };
    if (this.repetitions() >= 3) return { result: '1/2-1/2', reason: 'Draw by repetition' };
    return null;
  }
  // What a claim about the current position is judged by (as the standard
  // referee's facts()).
  facts() {
    return {
      fen: this.fen(),
      plies: this.plies,
      turn: this.turn,
      repetitions: this.repetitions(),
      quiet: this.entries[this.entries.length - 1].quiet,
      checkmate: this.pos.isCheckmate(),
      stalemate: this.pos.isStalemate(),
      insufficient: this.pos.isInsufficientMaterial(),
    };
  }
}

// The match tool's game board for Chess960: the part of chess.js's interface
// that the game driver uses (turn, fen, board, move, the game-end tests),
// answered by the referee above, and each move's text in both protocols'
// forms and in SAN for the PGN.
export class Board960 {
  constructor(fen) {
    this.ref = new Referee960(fen);
  }
  turn() {
    return this.ref.turn;
  }
  fen() {
    return this.ref.fen();
  }
  // Rows from rank 8 to rank 1 of { type, color, square } or null, as chess.js.
  board() {
    const rows = [];
    for (let rank = 7; rank >= 0; rank -= 1) {
      const row = [];
      for (let file = 0; file < 8; file += 1) {
        const p = this.ref.pos.board.get(rank * 8 + file);
        row.push(p ? { type: p.role === 'knight' ? 'n' : p.role[0], color: p.color[0], square: makeSquare(rank * 8 + file) } : null);
      }
      rows.push(row);
    }
    return rows;
  }
  // The legal move that an engine of protocol proto ('uci' / 'cecp') sent
  // as text, in the move form of move() below, or null.
  parse(text, proto) {
    const m = this.ref.parse(text, proto);
    return m ? this.describe(m) : null;
  }
  describe(m) {
    return {
      from: makeSquare(m.from),
      to: makeSquare(m.to),
      promotion: m.promotion ? LETTER[m.promotion] : undefined,
      san: makeSan(this.ref.pos, m),
      uci: uciMove960(m),
      cecp: cecpMove960(this.ref.pos, m),
      move: m,
    };
  }
  // Plays a move from parse(); returns it.
  move(described) {
    this.ref.apply(described.move);
    return described;
  }
  // The board after a move, for the look-ahead of pondering.
  after(described) {
    const b = new Board960(this.ref.setupFen);
    for (const e of this.ref.entries.slice(1)) b.ref.apply(e.move);
    b.ref.apply(described.move);
    return b;
  }
  isCheckmate() {
    return this.ref.pos.isCheckmate();
  }
  isStalemate() {
    return this.ref.pos.isStalemate();
  }
  isInsufficientMaterial() {
    return this.ref.pos.isInsufficientMaterial();
  }
  isThreefoldRepetition() {
    return this.ref.repetitions() >= 3;
  }
  isDrawByFiftyMoves() {
    return this.ref.pos.halfmoves >= 100 && !this.ref.pos.isCheckmate();
  }
  isGameOver() {
    return this.ref.outcome() !== null;
  }
}

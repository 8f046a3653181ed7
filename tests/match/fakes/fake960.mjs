// A tiny Chess960 engine for the match tool's tests, in either protocol:
//   node fake960.mjs uci|cecp [wrong-castling]
// It keeps the position with the tool's Chess960 board (chessops), follows
// "variant fischerandom" and "setboard" (xboard) or UCI_Chess960 and
// "position fen ... moves ..." (UCI), and plays, in this order of
// preference: a castling move, a move of a piece other than king and rook
// off its first rank, the first legal move. With wrong-castling it writes
// its castling in the other protocol's form (an xboard engine the king
// taking its rook, a UCI engine "O-O"), which the referee must refuse.
import readline from 'node:readline';
import { Board960, castlingOf, startFen960 } from '../../../tools/match/lib/chess960.mjs';

const proto = process.argv[2] === 'uci' ? 'uci' : 'cecp';
const wrong = process.argv[3] === 'wrong-castling';
const out = (line) => process.stdout.write(line + '\n');
let board = new Board960(startFen960(518));
let force = false;
let chess960 = false;

function choose() {
  const pos = board.ref.pos;
  const legal = board.ref.legalMoves();
  const home = pos.turn === 'white' ? 0 : 7;
  const pick =
    legal.find((m) => castlingOf(pos, m)) ??
    legal.find((m) => m.from >> 3 === home && !['king', 'rook'].includes(pos.board.get(m.from).role)) ??
    legal[0];
  if (!pick) return null;
  const d = board.describe(pick);
  const castles = !!castlingOf(pos, pick);
  const text = proto === 'uci' ? (castles && wrong ? (castlingOf(pos, pick) === 'h' ? 'O-O' : 'O-O-O') : d.uci) : castles && wrong ? d.uci : d.cecp;
  board.move(d);
  return text;
}

const rl = readline.createInterface({ input: process.stdin });
rl.on('line', (raw) => {
  const line = raw.trim();
  const [cmd, ...rest] = line.split(/\s+/);
  if (proto === 'uci') {
    if (cmd === 'uci') {
      out('id name Fake960');
      out('option name UCI_Chess960 type check default false');
      out('uciok');
    } else if (cmd === 'isready') out('readyok');
    else if (line === 'setoption name UCI_Chess960 value true') chess960 = true;
    else if (cmd === 'position') {
      const m = /^position (?:startpos|fen (.+?))(?: moves (.*))?$/.exec(line);
      board = new Board960(m[1] ?? startFen960(518));
      for (const t of (m[2] ?? '').split(' ').filter(Boolean)) {
        const mv = board.parse(t, chess960 ? 'uci' : 'cecp');
        if (!mv) {
          out(`info string illegal ${t}`);
          return;
        }
        board.move(mv);
      }
    } else if (cmd === 'go') {
      const text = choose();
      out(`bestmove ${text ?? '0000'}`);
    } else if (cmd === 'quit') process.exit(0);
    return;
  }
  if (cmd === 'protover') out('feature myname="Fake960" variants="normal,fischerandom" setboard=1 usermove=1 ping=1 done=1');
  else if (cmd === 'new') {
    board = new Board960(startFen960(518));
    force = false;
    chess960 = false;
  } else if (cmd === 'variant') chess960 = rest[0] === 'fischerandom';
  else if (cmd === 'setboard') board = new Board960(rest.join(' '));
  else if (cmd === 'force') force = true;
  else if (cmd === 'ping') out(`pong ${rest[0]}`);
  else if (cmd === 'go') {
    force = false;
    const text = choose();
    if (text) out(`move ${text}`);
  } else if (cmd === 'usermove') {
    const mv = chess960 ? board.parse(rest[0], 'cecp') : null;
    if (!mv) {
      out(`Illegal move: ${rest[0]}`);
      return;
    }
    board.move(mv);
    if (!force) {
      const text = choose();
      if (text) out(`move ${text}`);
    }
  } else if (cmd === 'quit') process.exit(0);
});

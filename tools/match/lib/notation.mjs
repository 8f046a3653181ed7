// Reading what engines and users write: moves as xboard reads them from an
// engine, and time controls as written on the command line.

// Plays a strict coordinate move (e2e4, e7e8q) on `board` (a chess.js
// game); false, with the board unchanged, when it is not a legal move there.
export function playCoordinateMove(board, text) {
  const m = /^([a-h][1-8])([a-h][1-8])([qrbn])?$/.exec(text);
  if (!m) return false;
  try {
    board.move({ from: m[1], to: m[2], promotion: m[3] });
    return true;
  } catch {
    return false;
  }
}

// The legal move of `board` (a chess.js game) that an engine means by `text`,
// read the way xboard 4.9 reads engine moves, or null when there is none:
//   - coordinate notation: e2e4, e7e8q (promotion letter in either case, an
//     optional "=" before it); a pawn reaching the last rank without a
//     letter promotes to a queen; a letter on any other move is refused;
//   - castling as o-o / O-O / 0-0 and o-o-o / O-O-O / 0-0-0 for the side to
//     move (e1g1 and the like are ordinary coordinate moves of the king);
//   - otherwise standard algebraic notation (Nf3, exd5, e8=Q+), read
//     permissively by chess.js.
export function parseEngineMove(board, text) {
  const t = text.trim();
  if (t === '') return null;
  const legal = board.moves({ verbose: true });

  if (/^[oO0]-[oO0]-[oO0][+#]?$/.test(t)) {
    return legal.find((m) => m.flags.includes('q')) ?? null;
  }
  if (/^[oO0]-[oO0][+#]?$/.test(t)) {
    return legal.find((m) => m.flags.includes('k')) ?? null;
  }

  const coord = /^([a-h][1-8])([a-h][1-8])(?:=?([qrbnkQRBNK]))?$/.exec(t);
  if (coord) {
    const [, from, to, letter] = coord;
    const candidates = legal.filter((m) => m.from === from && m.to === to);
    if (candidates.length === 0) return null;
    if (candidates[0].promotion === undefined) {
      return letter === undefined ? candidates[0] : null;
    }
    const piece = (letter ?? 'q').toLowerCase();
    return candidates.find((m) => m.promotion === piece) ?? null;
  }

  // Standard algebraic notation, as a fallback. chess.js parses it on a copy
  // of the position; the answer is mapped back to the legal move list.
  let parsed;
  try {
    parsed = new board.constructor(board.fen()).move(t, { strict: false });
  } catch {
    return null;
  }
  return (
    legal.find(
      (m) => m.from === parsed.from && m.to === parsed.to && m.promotion === parsed.promotion,
    ) ?? null
  );
}

// A move written for an engine: coordinate notation (e2e4, e7e8q, castling as
// the king's move e1g1), or standard algebraic notation for engines that
// asked for it with feature san=1.
export function moveForEngine(move, san) {
  return san ? move.san : move.from + move.to + (move.promotion ?? '');
}

// Time controls.
//   "BASE+INC"        BASE seconds for the whole game, INC seconds added after
//                     every move ("2+0.05", "60+1", "1:30+0"); "+INC" may be
//                     left out.
//   "MOVES/BASE"      MOVES moves in BASE seconds, the same again for each
//                     further MOVES moves ("40/30", "40/5:00").
//   "MOVES/BASE+INC"  both.
//   "st=S"            a fixed time of S seconds (decimals allowed) for every
//                     move, as cutechess-cli's st= and xboard's -st.
// BASE may be written as seconds (decimals allowed) or minutes:seconds.
// Returns { moves, baseMs, incMs, stMs, text } or throws an Error with the
// reason; stMs is 0 but for a fixed time per move, which also sets baseMs
// (the clock each move starts with). The text is the PGN TimeControl tag:
// "MOVES/BASE", "BASE+INC", or "S/move" for a fixed time per move, which the
// PGN standard has no form for, written as cutechess-cli writes it.
export function parseTimeControl(text) {
  const st = /^st=(\d+(?:\.\d+)?)$/.exec(String(text).trim());
  if (st) {
    const stMs = Math.round(Number(st[1]) * 1000);
    if (!(stMs > 0)) throw new Error(`the time per move must be positive in "${text}"`);
    return { moves: 0, baseMs: stMs, incMs: 0, stMs, text: `${stMs / 1000}/move` };
  }
  const m = /^(?:(\d+)\/)?(\d+(?:\.\d+)?|\d+:\d{1,2}(?:\.\d+)?)(?:\+(\d+(?:\.\d+)?))?$/.exec(
    String(text).trim(),
  );
  if (!m) throw new Error(`cannot read the time control "${text}"`);
  const moves = m[1] === undefined ? 0 : Number(m[1]);
  let baseSeconds;
  if (m[2].includes(':')) {
    const [min, sec] = m[2].split(':');
    if (Number(sec) >= 60) throw new Error(`seconds must be below 60 in "${text}"`);
    baseSeconds = Number(min) * 60 + Number(sec);
  } else {
    baseSeconds = Number(m[2]);
  }
  const incSeconds = m[3] === undefined ? 0 : Number(m[3]);
  if (m[1] !== undefined && moves <= 0) throw new Error(`the number of moves must be positive in "${text}"`);
  if (!(baseSeconds > 0)) throw new Error(`the base time must be positive in "${text}"`);
  const baseMs = Math.round(baseSeconds * 1000);
  const incMs = Math.round(incSeconds * 1000);
  const secs = (ms) => String(ms / 1000);
  const tag = (moves > 0 ? `${moves}/${secs(baseMs)}` : secs(baseMs)) + (incMs > 0 || moves === 0 ? `+${secs(incMs)}` : '');
  return { moves, baseMs, incMs, stMs: 0, text: tag };
}

// The "level MPS BASE INC" command for a time control. BASE is whole minutes
// ("level 0 5 3") or minutes:seconds ("level 0 0:02 0"), rounded to whole
// seconds and at least one second. INC is written in whole seconds, rounded
// down, because engines that read the command with integer fields (Brevalt,
// Fairy-Max) would stop at a decimal point; the exact clock reaches every
// engine anyway through the "time" and "otim" commands before each move.
// With exact, the command is written as xboard writes it: BASE in minutes
// or minutes:seconds as above but not rounded (a fraction of a second, which
// xboard cannot set, follows the seconds: "0:02.5"), INC in seconds with
// its decimals: "level 0 0:10 0.1", "level 0 1 0", "level 40 0:20 0".
export function levelCommand(tc, { exact = false } = {}) {
  if (exact) {
    const minutes = Math.floor(tc.baseMs / 60000);
    const restMs = tc.baseMs - minutes * 60000;
    let base = String(minutes);
    if (restMs > 0) {
      const fraction = restMs % 1000 === 0 ? '' : String((restMs % 1000) / 1000).slice(1);
      base += `:${String(Math.floor(restMs / 1000)).padStart(2, '0')}${fraction}`;
    }
    return `level ${tc.moves} ${base} ${tc.incMs / 1000}`;
  }
  const baseSec = Math.max(1, Math.round(tc.baseMs / 1000));
  const base =
    baseSec % 60 === 0
      ? String(baseSec / 60)
      : `${Math.floor(baseSec / 60)}:${String(baseSec % 60).padStart(2, '0')}`;
  return `level ${tc.moves} ${base} ${Math.floor(tc.incMs / 1000)}`;
}

// The "st TIME" command for a fixed time per move, in seconds with their
// decimals ("st 0.1", "st 5").
export function stCommand(tc) {
  return `st ${tc.stMs / 1000}`;
}

// Taking back the last half-move of the game from the record that
// play_move keeps: the pieces, en passant, castling and its move counters,
// the fifty-move count and the repetition count. The piece lists, keys and
// material are left alone; the next search derives them from the board.
#include "frontend/undo.h"

#include "board/makemove.h"
#include "board/position.h"
#include "board/reset.h"
#include "frontend/interpreter.h"
#include "game/play.h"
#include "search/tables.h"

namespace brevalt {

namespace {

// The fifty-move counter stops here (it is 8 bits wide).

// Lowers a move counter that the move being taken back raised. The same
// rule raised it, so it is above 0; the guard only keeps a damaged record
// from ever opening a wing that was shut.
void lower(int16_t& counter) {
  if (counter > 0) --counter;
}

// The position being left loses one game occurrence. The table keeps one
// entry per slot, so the slot may belong to another position by now, and
// a position that was never counted must not wrap round to 255.
void forget_position() {
  if (!search_path.repetition_table) return;
  KeyPair k = compute_position_key();
  k = side_key(pos.game_ply & 1, k.lo, k.hi);
  RepEntry& e = search_path.repetition_table[k.lo & REPETITION_MASK];
  if (e.key_lo != k.lo || e.key_hi != k.hi || e.game_count == 0) return;
  if (--e.game_count == 0) e = RepEntry{};
}

// Half-moves without a capture or pawn move before game ply `upto`,
// counted on the record: decrementing alone would leave 0 after taking
// back a capture, however long the quiet spell before it had been.
int8_t fifty_count_before(int upto) {
  int n = 0;
  for (int i = upto - 1; i >= 0 && n < FIFTY_COUNTER_CEILING; --i) {
    const GameMoveRecord& r = game_record.game_moves[i];
    if (r.from == NO_SQUARE || type_of(r.moved) == PAWN || r.captured != EMPTY) break;
    ++n;
  }
  return static_cast<int8_t>(n);
}

// The castling rook of a king that castled: its corner and where it went.
void castling_rook(bool white, bool kingside, int& corner, int& rook_to) {
  corner = white ? (kingside ? H1 : A1) : (kingside ? H8 : A8);
  rook_to = white ? (kingside ? F1 : D1) : (kingside ? F8 : D8);
}

}  // namespace

bool moves_to_take_back(int plies) {
  // No move played, a move the record had no room for, or the white move
  // that a set-up position with Black to move only stands for (taking it
  // back would hand White a move in a position where Black is to play).
  for (int k = 1; k <= plies; ++k) {
    const int ply = pos.game_ply - k;
    if (ply < 0 || ply >= GAME_MOVES_SIZE) return false;
    if (game_record.game_moves[ply].from > 63 || game_record.game_moves[ply].to > 63) return false;
  }
  return true;
}

bool move_to_take_back() { return moves_to_take_back(1); }

void undo_last_move() {
  // Step 1. Nothing to take back.
  if (!move_to_take_back()) {
    control.user_from = control.user_to = 0;
    return;
  }
  const GameMoveRecord r = game_record.game_moves[pos.game_ply - 1];

  // Step 2. Nothing searched on the abandoned line may survive.
  clear_transposition_tables();

  // Step 3. The repetition count of the position being left.
  forget_position();

  // Step 4. The game record and its counters.
  --pos.game_ply;
  pos.game_fifty_counter = fifty_count_before(pos.game_ply);
  const bool white = colour_of(r.moved) == 0;
  StateRecord& st = pos.state_stack[0];
  pos.state_top = &st;

  // Step 5. Pieces: the mover back (a promoted piece back as its pawn),
  // the captured piece back on its square.
  if (r.castle == 2) {
    // Castling by the Fischer random rule: king and rook leave the g/c and
    // f/d files before either goes home, as each may land where the other
    // started.
    const bool kingside = r.to > r.from;
    const int rank = r.from & 56;
    set_square(rank + (kingside ? G1 : C1), EMPTY);
    set_square(rank + (kingside ? F1 : D1), EMPTY);
    set_square(r.from, r.moved);
    set_square(r.to, static_cast<uint8_t>(ROOK | colour_of(r.moved)));
  } else {
    set_square(r.from, r.moved);
    set_square(r.to, r.captured);
  }

  // Step 6. En passant: the chance that stood before the move, which only
  // the move before it can have opened; a pawn taken en passant returns.
  int16_t black_ep = 0, white_ep = 0;
  if (pos.game_ply > 0 && game_record.game_moves[pos.game_ply - 1].from != NO_SQUARE) {
    const GameMoveRecord& before = game_record.game_moves[pos.game_ply - 1];
    if (before.double_step != 0) {
      if (white) black_ep = before.double_step;
      else white_ep = before.double_step;
    }
  } else {
    // Back at the position the game started from: a set-up position may
    // have come with an en passant chance of its own, kept with it.
    const int chance = game_record.game_positions[pos.game_ply].ep_square;
    if (chance != 0) {
      if (white) black_ep = static_cast<int16_t>(chance);
      else white_ep = static_cast<int16_t>(chance);
    }
  }
  if (r.ep_captured != 0 && r.ep_captured < 64) {
    set_square(r.ep_captured, static_cast<uint8_t>(white ? PAWN + BLACK : PAWN));
    (white ? black_ep : white_ep) = r.ep_captured;
  }
  pos.ep_black_pawn = game_record.game_ep_black_pawn = black_ep;
  pos.ep_white_pawn = game_record.game_ep_white_pawn = white_ep;

  // Step 7. Castling: the counters the move raised, by the same rule that
  // raised them (the mover's king and rooks, a rook taken on its corner
  // for the side that owned it), the castling rook, and the castled words
  // as they were before the move.
  if (r.king_moved) lower(white ? st.white_king_moves : st.black_king_moves);
  if (r.castle == 2) {
    lower(white ? (r.kingside_rook ? st.white_h_rook_moves : st.white_a_rook_moves)
                : (r.kingside_rook ? st.black_h_rook_moves : st.black_a_rook_moves));
  } else if (r.castle) {
    const bool kingside = r.kingside_rook != 0;
    int corner, rook_to;
    castling_rook(white, kingside, corner, rook_to);
    set_square(rook_to, EMPTY);
    set_square(corner, static_cast<uint8_t>(white ? ROOK : ROOK + BLACK));
    lower(white ? (kingside ? st.white_h_rook_moves : st.white_a_rook_moves)
                : (kingside ? st.black_h_rook_moves : st.black_a_rook_moves));
  } else if (r.kingside_rook) {
    lower(white ? st.white_h_rook_moves : st.black_h_rook_moves);
  } else if (r.queenside_rook) {
    lower(white ? st.white_a_rook_moves : st.black_a_rook_moves);
  }
  if (r.corner_capture == 1) lower(white ? st.black_h_rook_moves : st.white_h_rook_moves);
  if (r.corner_capture == 2) lower(white ? st.black_a_rook_moves : st.white_a_rook_moves);
  const uint8_t castled = game_record.game_positions[pos.game_ply].castled_words;
  pos.white_castled = castled & 1 ? 1 : 0;
  pos.black_castled = castled & 2 ? 1 : 0;

  // Step 8. What was found for the abandoned line is of no use: a reply
  // kept by a finished ponder search, and the reply the engine expected.
  clear_ponder_reply();
  game_record.expected_from = game_record.expected_to = 0;

  find_king_squares();
  control.user_from = control.user_to = 0;
}

}  // namespace brevalt

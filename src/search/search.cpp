// The node search's shared path state, and the two routines through which
// the search plays a move at a ply (with the preparation of special moves
// and the extra tests for moves taken from tables) and finds the checkers
// of the root position.
#include "search/search.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "search/tables.h"

namespace brevalt {

int16_t nominal_depth;
int32_t ext_hundredths;
int16_t ext_plies;
int16_t max_search_ply = 60;
int16_t quiescence_mode;
int16_t horizon_qs;
int16_t first_qs_generation;
int16_t null_move_ply;
PvEntry pv_table[MAX_PLY][MAX_PLY];
int32_t pv_length[MAX_PLY];
uint8_t pv_valid[MAX_PLY];

namespace {

// Ranks a pawn double-steps from.
constexpr int WHITE_PAWN_HOME_RANK = 1;
constexpr int BLACK_PAWN_HOME_RANK = 6;

// Makes the prepared move; a refused move is taken back at once.
AppliedMove make_prepared(int from, int to) {
  if (make_move(from, to)) return {true, true};
  unmake_move(1);
  return {true, false};
}

// A pawn move by the pawn rules: push (a promotion on the last rank),
// double step, capture, en passant. The capture and en passant squares
// must be a real pawn capture of that colour (reach), so that a stale table
// move between unrelated squares is never turned into one.
AppliedMove pawn_move(int from, int to, int pawn) {
  const bool white = pawn == PAWN;
  const int target = board[to];
  const int d = white ? to - from : from - to;
  const bool last_rank = white ? to > 55 : to < 8;
  const bool capture_line = reach[white ? 6 : 7][from][to] != 0;
  // Step 1. Single push.
  if (target == EMPTY && d == 8) {
    if (last_rank) prepare_promotion(from, pawn);
    return make_prepared(from, to);
  }
  // Step 2. Double step from the home rank over an empty square.
  if (target == EMPTY && d == 16 &&
      rank_of(from) == (white ? WHITE_PAWN_HOME_RANK : BLACK_PAWN_HOME_RANK) &&
      board[white ? from + 8 : from - 8] == EMPTY) {
    if (white) ep_white_pawn = static_cast<int16_t>(to);
    else ep_black_pawn = static_cast<int16_t>(to);
    return make_prepared(from, to);
  }
  // Step 3. Capture of an enemy piece.
  if (target != EMPTY && colour_of(target) != colour_of(pawn) && (d == 7 || d == 9) && capture_line) {
    if (last_rank) prepare_promotion(from, pawn);
    return make_prepared(from, to);
  }
  // Step 4. En passant: the victim leaves the board before the make.
  const int victim = white ? ep_black_pawn : ep_white_pawn;
  if (victim != 0 && target == EMPTY && to == (white ? victim + 8 : victim - 8) && capture_line) {
    prepare_en_passant(victim);
    return make_prepared(from, to);
  }
  return {false, false};
}

// Castling, recognised as a king moving two files. A move from a table
// must also find the castling still possible: king and rook unmoved on
// their squares, the squares between empty and none of the king's three
// squares attacked.
AppliedMove castling_move(int from, int to, int king, int from_table) {
  if (from != (king == KING ? E1 : E8)) return {false, false};
  if (from_table && !castling_possible(from, to)) return {false, false};
  prepare_castling(from, to);
  return make_prepared(from, to);
}

}  // namespace

AppliedMove apply_search_move(int from, int to, int from_table) {
  const int piece = board[from];
  const int target = board[to];
  if (piece == EMPTY) return {false, false};
  const int type = type_of(piece);

  // Pawns: the preparation of promotions, double steps and en passant.
  if (type == PAWN) return pawn_move(from, to, piece);

  // A king moving two files castles.
  if (type == KING) {
    const int files = file_of(to) - file_of(from);
    if (files == 2 || files == -2) return castling_move(from, to, piece, from_table);
  }

  // Any other move: a slider from a table needs its line still open, and
  // no piece captures its own side.
  if (from_table && (type == QUEEN || type == ROOK || type == BISHOP) && !path_clear(from, to))
    return {false, false};
  if (target != EMPTY && colour_of(target) == colour_of(piece)) return {false, false};
  return make_prepared(from, to);
}

void find_checkers(const int32_t* check_record) {
  // The root position is ply 0, so its check information lives in row 1:
  // exactly the row the attack scan fills for "the position after ply".
  // The king on the record's square decides which colour checks it.
  const int16_t saved_ply = ply;
  ply = 0;
  count_checkers(check_record[1]);
  ply = saved_ply;
}

}  // namespace brevalt

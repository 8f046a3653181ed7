// Helpers shared by the make/unmake, legal-move and perft tests: square
// names, the root set-up of the check state, the legal moves of the current
// ply, a snapshot of everything make/unmake must restore, and an attacker
// count written from the rules alone (not from the engine's attack code).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/legal.h"
#include "board/makemove.h"
#include "board/position.h"
#include "frontend/mainloop.h"
#include "search/search.h"

namespace brevalt::testing {

// Square from its name, "e4" -> 28, and back.
inline int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
inline std::string square_name(int s) {
  return std::string{static_cast<char>('a' + file_of(s)), static_cast<char>('1' + rank_of(s))};
}
inline std::string move_name(int from, int to) { return square_name(from) + square_name(to); }

// The side to move in the set-up position (0 White, 8 Black).
inline int side_to_move() { return (pos.game_ply & 1) ? BLACK : 0; }

// Root state as the root driver leaves it before listing root moves:
// ply 0, first state record, and the check state of the side to move in
// in_check[1] / checker_square[1].
inline void set_root_check_state() {
  pos.ply = 0;
  pos.ply_sign = -1;
  pos.state_top = &pos.state_stack[0];
  pos.lists_frozen = 0;
  const int side = side_to_move();
  const int32_t record[3] = {side >> 3, pos.king_square(side), END_OF_LIST};
  pos.in_check[1] = 0;
  pos.checker_square[1] = 0;
  if (square_attacked(record)) {
    pos.in_check[1] = 1;
    find_checkers(record);
  }
}

// The legal moves of `side` at the current ply (check state of ply + 1 set).
inline std::vector<LegalMove> legal_moves_now(int side) {
  search_path.legal_count = 0;
  pos.lists_frozen = 1;
  generate_legal_moves(side);
  pos.lists_frozen = 0;
  return std::vector<LegalMove>(search_path.legal_moves, search_path.legal_moves + search_path.legal_count);
}

inline std::vector<std::string> move_names(const std::vector<LegalMove>& moves) {
  std::vector<std::string> names;
  for (const LegalMove& m : moves) names.push_back(move_name(m.from, m.to));
  return names;
}

inline bool contains(const std::vector<LegalMove>& moves, const char* name) {
  for (const LegalMove& m : moves)
    if (move_name(m.from, m.to) == name) return true;
  return false;
}

// Pushes a ply as the node search does (counters of the line carried over).
inline void push_ply() {
  StateRecord* previous = pos.state_top;
  ++pos.ply;
  ++pos.state_top;
  *pos.state_top = *previous;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}
inline void pop_ply() {
  --pos.ply;
  --pos.state_top;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

// Everything a make/unmake pair must give back exactly.
struct Snapshot {
  uint8_t board_[64];
  uint32_t hash_lo_, hash_hi_, pawn_lo_, pawn_hi_;
  int16_t material_, opponent_material_;
  int32_t capture_count_;
  uint8_t squares_[2][PIECE_LIST_SIZE], codes_[2][PIECE_LIST_SIZE];
  uint8_t piece_index_[64];
  int16_t ep_black_, ep_white_, white_king_, black_king_, white_castled_, black_castled_;
  int16_t counters_[6];
  int8_t fifty_, check_run_;
  uint8_t null_move_allowed_, promo_pawn_;

  static Snapshot take() {
    Snapshot s{};
    for (int i = 0; i < 64; ++i) s.board_[i] = pos.board[i], s.piece_index_[i] = pos.piece_index[i];
    s.hash_lo_ = pos.hash_lo, s.hash_hi_ = pos.hash_hi, s.pawn_lo_ = pos.pawn_lo, s.pawn_hi_ = pos.pawn_hi;
    s.material_ = pos.material, s.opponent_material_ = search_path.opponent_material;
    s.capture_count_ = search_path.capture_count;
    for (int i = 0; i < PIECE_LIST_SIZE; ++i) {
      s.squares_[0][i] = pos.white_pieces[i].square, s.codes_[0][i] = pos.white_pieces[i].code;
      s.squares_[1][i] = pos.black_pieces[i].square, s.codes_[1][i] = pos.black_pieces[i].code;
    }
    s.ep_black_ = pos.ep_black_pawn, s.ep_white_ = pos.ep_white_pawn;
    s.white_king_ = pos.white_king_sq(), s.black_king_ = pos.black_king_sq();
    s.white_castled_ = pos.white_castled, s.black_castled_ = pos.black_castled;
    const StateRecord& r = *pos.state_top;
    const int16_t counters[6] = {r.white_king_moves,   r.black_king_moves,   r.white_h_rook_moves,
                                 r.white_a_rook_moves, r.black_h_rook_moves, r.black_a_rook_moves};
    for (int i = 0; i < 6; ++i) s.counters_[i] = counters[i];
    s.fifty_ = pos.fifty_counter, s.check_run_ = search_path.check_run;
    s.null_move_allowed_ = search_path.null_move_allowed, s.promo_pawn_ = pos.promo_pawn;
    return s;
  }

  // Names the first field that differs, empty when none does.
  std::string difference(const Snapshot& o) const {
    for (int i = 0; i < 64; ++i) {
      if (board_[i] != o.board_[i]) return "board " + square_name(i);
      if (piece_index_[i] != o.piece_index_[i]) return "piece_index " + square_name(i);
    }
    if (hash_lo_ != o.hash_lo_ || hash_hi_ != o.hash_hi_) return "position key";
    if (pawn_lo_ != o.pawn_lo_ || pawn_hi_ != o.pawn_hi_) return "pawn key";
    if (material_ != o.material_) return "material";
    if (opponent_material_ != o.opponent_material_) return "opponent_material";
    if (capture_count_ != o.capture_count_) return "capture_count";
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < PIECE_LIST_SIZE; ++i)
        if (squares_[c][i] != o.squares_[c][i] || codes_[c][i] != o.codes_[c][i])
          return std::string(c ? "black" : "white") + " list entry " + std::to_string(i);
    if (ep_black_ != o.ep_black_ || ep_white_ != o.ep_white_) return "en passant squares";
    if (white_king_ != o.white_king_ || black_king_ != o.black_king_) return "king squares";
    if (white_castled_ != o.white_castled_ || black_castled_ != o.black_castled_) return "castled flags";
    for (int i = 0; i < 6; ++i)
      if (counters_[i] != o.counters_[i]) return "castling counter " + std::to_string(i);
    if (fifty_ != o.fifty_) return "fifty_counter";
    if (check_run_ != o.check_run_) return "check_run";
    if (null_move_allowed_ != o.null_move_allowed_) return "null_move_allowed";
    if (promo_pawn_ != o.promo_pawn_) return "promo_pawn";
    return "";
  }
};

// Does the piece `code` on `from` attack `target` on the current board?
// Plain geometry: pawn diagonals, knight jumps, king steps, slider lines
// with every square in between empty.
inline bool attacks_square(int code, int from, int target) {
  const int df = file_of(target) - file_of(from), dr = rank_of(target) - rank_of(from);
  const int adf = std::abs(df), adr = std::abs(dr);
  const int type = type_of(code);
  if (type == PAWN) return adf == 1 && dr == (colour_of(code) ? -1 : 1);
  if (type == KNIGHT) return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
  if (type == KING) return std::max(adf, adr) == 1;
  const bool straight = (df == 0) != (dr == 0);
  const bool diagonal = adf == adr && adf != 0;
  if (!((straight && (type == ROOK || type == QUEEN)) || (diagonal && (type == BISHOP || type == QUEEN))))
    return false;
  const int step = (df > 0) - (df < 0) + 8 * ((dr > 0) - (dr < 0));
  for (int s = from + step; s != target; s += step)
    if (pos.board[s] != EMPTY) return false;
  return true;
}

// What checker_square should hold for the king of `side` (0 / 8): the
// checker's square for one checker, 99 for two; -1 when not in check (the
// engine then holds 0, which is also the square a1, so in_check decides).
inline int expected_checker(int side) {
  const int king = pos.king_square(side);
  int count = 0, last = 0;
  for (int s = 0; s < 64; ++s) {
    const int code = pos.board[s];
    if (code == EMPTY || colour_of(code) == side) continue;
    if (attacks_square(code, s, king)) ++count, last = s;
  }
  return count == 0 ? -1 : count == 1 ? last : NO_INDEX;
}

}  // namespace brevalt::testing

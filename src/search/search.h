// The alpha-beta node search and the quiescence search: path state, the
// principal-variation table, and the search's way to play a move at a ply.
#pragma once

#include <cstdint>

#include "core/search_state.h"
#include "core/types.h"

namespace brevalt {

// The principal-variation table is in core/search_state.h.

// Result of apply_search_move.
struct AppliedMove {
  bool made;   // the move was possible and make_move ran
  bool legal;  // make_move accepted it (an illegal move is already taken back)
};

// Plays from->to at the current ply with the preparation of special moves.
// from_table marks moves taken from the hash tables or killer slots, which
// must pass the extra castling and line tests.
AppliedMove apply_search_move(int from, int to, int from_table);

// Fills checker_square[1] for the side in check described by the check
// record {side 0/1, king square, 255}.
void find_checkers(const int32_t* check_record);

// Full-width search of the position at `ply` with side (0 / 8) to move.
int32_t search_node(int side, int32_t alpha, int32_t beta, int no_null, int no_multi_cut);
// Reduced-depth search of up to four moves at the pushed ply: two fail
// highs set multi_cut_hit.
int32_t multi_cut_probe(int side, int32_t alpha, int32_t beta, int no_null);
// Captures (and check evasions) below the horizon; entry = 1 for the call
// from the node search.
int32_t quiesce(int side, int32_t alpha, int32_t beta, int entry);

// Pushes ply q over ply q - 1 (the castling counters of the line carry
// on, the best move of the new ply starts empty) and pops back to ply p.
void push_ply(int q);
void pop_ply(int p);

// Records M (just made at ply q) as the head of pv row q, the line below
// it behind.
void record_pv(int q, int from, int to);

}  // namespace brevalt

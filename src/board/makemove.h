// Making and unmaking moves at the current search ply, with incremental
// keys, material, piece lists, castling counters and check information.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "core/search_state.h"

namespace brevalt {

// The preparation of special moves, the same for every caller of
// make_move: the board is set up here and make_move completes the move.
// A promotion (always to a queen): the queen stands on `from`, material and
// the ply record know of it.
void prepare_promotion(int from, int pawn);
// An en passant capture: the pawn that has just double-stepped to `victim`
// leaves the board and material.
void prepare_en_passant(int victim);
// Castling by the king on e1 or e8 towards king_to: the side counts as
// castled, the wing's rook as moved, and the rook stands on its new square.
void prepare_castling(int king_from, int king_to);

// Plays from->to at the current ply after the caller's preparation of
// special moves. 1 = made; 0 = illegal (the board is changed and the caller
// must call unmake_move(1)).
int make_move(int from, int to);
// Takes back the move recorded at the current ply.
int unmake_move(int keep_counters);

#ifdef BREVALT_CHECKS
// Aborts with a message when position_fault() finds the incremental state
// out of step with the board.
void assert_position_consistent(const char* where);
#endif

}  // namespace brevalt

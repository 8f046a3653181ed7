// Making and unmaking moves at the current search ply, with incremental
// keys, material, piece lists, castling counters and check information.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "core/search_state.h"

namespace brevalt {

// The fifty-move counters (the search's and the game's) are 8 bits wide:
// they stop here instead of wrapping around.
constexpr int FIFTY_COUNTER_CEILING = 127;


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

// What unmake_move takes back. A move that make_move refused, and every
// make of a legality test, returned before material, the capture
// bookkeeping and the castling counters were touched: those counters are
// kept as they are. Every other move is taken back in full.
enum class Unmake : int { full = 0, keep_counters = 1 };

// Plays from->to at the current ply after the caller's preparation of
// special moves. 1 = made; 0 = illegal (the board is changed and the caller
// must call unmake_move(Unmake::keep_counters)).
int make_move(int from, int to);
// Castling by the general rule of Fischer random chess, written as the
// king on king_from taking its own rook on rook_from: the king goes to the
// g or c file, the rook to the f or d file. The caller has tested it with
// castling960_possible. Made as make_move makes a move (1 = made), legality
// tests included; unmake_move takes it back.
int make_castling(int king_from, int rook_from);
// Takes back the move recorded at the current ply.
int unmake_move(Unmake mode);

#ifdef BREVALT_CHECKS
// Aborts with a message when position_fault() finds the incremental state
// out of step with the board.
void assert_position_consistent(const char* where);
#endif

}  // namespace brevalt

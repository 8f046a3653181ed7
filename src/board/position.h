// The routines over the shared position: the side constants of table
// keys, and rebuilding the search's incremental state (keys, lists,
// material) from the bare board. The position itself is declared in
// core/board_state.h.
#pragma once

#include <cstdint>

#include "core/board_state.h"

namespace brevalt {

// The side constants XORed into a key where it addresses a table.
constexpr uint32_t SIDE_KEY_LO = 0x01F34420u;
constexpr uint32_t SIDE_KEY_HI = 0x382D7E52u;

// (lo, hi) unchanged for side 0, XORed with the side constants for a nonzero
// side; side -1 means the side to move in the game (game_ply & 1).
KeyPair side_key(int side, uint32_t lo, uint32_t hi);

// ---------------------------------------------------------------------------
// Routines

// Rebuilds keys, material, king squares, piece counts, sorted piece lists
// and piece_index from the board, as the root driver does before every
// search. Returns 0 when a side has more than 16 pieces (the lists cannot
// hold them), 1 otherwise.
int build_piece_lists();

// Sets white_king_sq and black_king_sq from the board.
void find_king_squares();

// Position key of the board computed from scratch (placement only).
KeyPair compute_position_key();
// Pawn key of the board computed from scratch.
KeyPair compute_pawn_key();

// Consistency check used in debug and sanitizer builds: keys recomputed from
// scratch, piece lists and piece_index agree with the board, king squares
// right. Returns nullptr when consistent, else a description of the fault.
const char* position_fault();

}  // namespace brevalt

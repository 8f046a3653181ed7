// The complete list of legal moves of one side, found by trying every
// pseudo-legal move with make_move while the piece lists are frozen.
#pragma once

#include "board/movegen.h"

namespace brevalt {

// Fills legal_moves / legal_count (see makemove.h). The caller sets
// legal_count = 0, lists_frozen = 1 and the check state of ply + 1 first.
void generate_legal_moves(int side);
// Pawn moves of the pawn on f; GenMode::evasions restricts them to check
// answers.
void pawn_moves(int square, GenMode mode);
void castle_white();
void castle_black();

}  // namespace brevalt

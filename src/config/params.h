// The parameter file "Brevalt.ini" and the move file "MoveFile".
#pragma once

#include <cstdint>

#include "core/settings.h"

namespace brevalt {

// Block capacities of the six target tables, in file order.
constexpr int KNIGHT_BLOCK = 740;
constexpr int BISHOP_BLOCK = 830;
constexpr int ROOK_BLOCK = 1190;
constexpr int KING_BLOCK = 910;
constexpr int PAWN_BLOCK = 350;

// Sets the defaults, then reads "Brevalt.ini" from the data folder; 0 when
// it cannot be opened (the defaults stay in force).
int read_parameter_file();
// Reads the six target tables of "MoveFile" from the data folder; 0 on any
// failure: a value missing or not a number, a table too long for its
// block, or a list that is not the board's geometry (a target a piece
// cannot reach, one it can reach left out, a ray cut short or out of order).
int read_move_file();
// Table entry count for a hash-size code 1..4.
int32_t entries_for_code(int code);
// The address mask the parameter file sets with a hash-size code 1..4.
uint32_t mask_for_code(int code);

}  // namespace brevalt

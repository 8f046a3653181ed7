// Piece terms and the per-search piece-square tables.
#pragma once

#include <cstdint>

namespace brevalt {

// Per-search tables by colour and square; a new game clears queen_table.
extern uint8_t queen_table[2][64];
extern uint8_t rook_table[2][64];
extern uint8_t bishop_table[2][64];
extern uint8_t knight_table[2][64];

}  // namespace brevalt

// The per-search piece-square tables.
#include "eval/pieces.h"

namespace brevalt {

uint8_t queen_table[2][64];
uint8_t rook_table[2][64];
uint8_t bishop_table[2][64];
uint8_t knight_table[2][64];

}  // namespace brevalt

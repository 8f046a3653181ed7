// PLACEHOLDER: replaced by the legal-move filter.
#include "board/legal.h"

namespace brevalt {

void generate_legal_moves(int) {}
void pawn_moves(int, int) {}
void castle_white() {}
void castle_black() {}

}  // namespace brevalt

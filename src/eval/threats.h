// Root-move threat analysis: at the second iteration the search looks at
// each root move once at the horizon and may single one out with a
// penalty (a minor piece it leaves trapped, a piece it pins against its
// own queen).
#pragma once

#include <cstdint>

#include "eval/eval.h"

namespace brevalt {

// Runs at the horizon of the second iteration for the root move on the path.
void analyse_root_move();
// 1 when the engine's piece on `square` stands between its own queen and an
// enemy piece bearing on the queen along that line, and cannot take it.
int queen_self_pin(int square);
// Forgets the move singled out by the last search.
void clear_root_threat();

}  // namespace brevalt

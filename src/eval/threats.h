// Root-move threat analysis: at the second iteration the search looks at
// each root move once at the horizon and may single one out with a
// penalty (a minor piece it leaves trapped, a piece it pins against its
// own queen).
#pragma once

#include <cstdint>

namespace brevalt {

// The root move singled out by the analysis (NO_SQUARE when none) and the
// penalty handed to the evaluation while it is searched.
extern uint8_t threat_move_from, threat_move_to;
extern int32_t threat_move_value;

// Runs at the horizon of the second iteration for the root move on the path.
void analyse_root_move();
// Forgets the move singled out by the last search.
void clear_root_threat();

}  // namespace brevalt

// Taking back the last half-move of the game (force mode only).
#pragma once

namespace brevalt {

void undo_last_move();
// Whether the game record holds a half-move that undo_last_move can take back.
bool move_to_take_back();
// Whether the game record holds the last `plies` half-moves, each one
// undo_last_move can take back.
bool moves_to_take_back(int plies);

}  // namespace brevalt

// Taking back the last half-move of the game (force mode only).
#pragma once

namespace brevalt {

void undo_last_move();
// Whether the game record holds a half-move that undo_last_move can take back.
bool move_to_take_back();

}  // namespace brevalt

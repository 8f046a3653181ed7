// Taking back the last half-move of the game (force mode only).
#pragma once

namespace brevalt {

void undo_last_move();

}  // namespace brevalt

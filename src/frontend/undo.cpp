// Taking back a move. The game record is not kept yet, so there is nothing
// to take back.
#include "frontend/undo.h"

namespace brevalt {

void undo_last_move() {}

}  // namespace brevalt

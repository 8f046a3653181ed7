// King safety, king activity in the ending and the rook files.
#pragma once

#include "eval/eval.h"
#include "eval/pawns.h"

namespace brevalt {

// The king-safety sum K, White's view (the evaluation adds K >> 1). It
// also opens the pawn-advance windows toward an enemy king castled on the
// other wing, or to every file in the ending.
int king_safety(const EvalCounts& ec, const PawnData& pd, AdvanceWindows& windows);

}  // namespace brevalt

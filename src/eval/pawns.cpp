// The pawn-structure cache, allocated at start-up.
#include "eval/pawns.h"

namespace brevalt {

PawnHashEntry* pawn_hash;

}  // namespace brevalt

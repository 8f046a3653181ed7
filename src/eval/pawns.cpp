// The pawn-structure cache, allocated at start-up.
#include "eval/pawns.h"

#include <cstring>

namespace brevalt {

PawnHashEntry* pawn_hash;

void clear_pawn_hash() {
  if (pawn_hash) std::memset(pawn_hash, 0, sizeof(PawnHashEntry) * PAWN_HASH_ENTRIES);
}

}  // namespace brevalt

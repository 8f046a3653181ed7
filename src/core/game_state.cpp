// Storage of the game record and the pondering bookkeeping.
#include "core/game_state.h"

namespace brevalt {

GameRecord game_record;

}  // namespace brevalt

// The static evaluation's shared state.
#include "eval/eval.h"

namespace brevalt {

int16_t root_endgame;

}  // namespace brevalt

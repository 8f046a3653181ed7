// The static evaluation.
#pragma once

#include <cstdint>

namespace brevalt {

// Set when the material at the root marks an ending.
extern int16_t root_endgame;

}  // namespace brevalt

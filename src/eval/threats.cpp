// Root-move threat analysis. The trapped-minor and self-pin tests are not
// part of the evaluation yet, so no root move is singled out and the
// penalty stays 0.
#include "eval/threats.h"

#include "board/types.h"

namespace brevalt {

uint8_t threat_move_from = NO_SQUARE, threat_move_to = NO_SQUARE;
int32_t threat_move_value;

void analyse_root_move() {}

void clear_root_threat() {
  threat_move_from = threat_move_to = NO_SQUARE;
  threat_move_value = 0;
}

}  // namespace brevalt

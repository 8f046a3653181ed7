// Root-move threat analysis. The trapped-minor and self-pin tests are not
// part of the evaluation yet, so no root move is singled out and the
// penalty stays 0.
#include "eval/threats.h"

namespace brevalt {

int32_t threat_from, threat_to;
int32_t threat_score;

void analyse_root_move() {}

int queen_self_pin(int) { return 0; }

void clear_root_threat() {
  threat_from = threat_to = 0;
  threat_score = 0;
}

}  // namespace brevalt

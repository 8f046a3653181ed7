// PLACEHOLDER: replaced by the attack and check detection.
#include "board/attacks.h"

namespace brevalt {

int square_attacked(const int32_t*) { return 0; }
int gives_check(int, int, int) { return 0; }
int count_checkers(int) { return 0; }
int discovered_attacker(int, int) { return 0; }
int gives_direct_check(int, int) { return 0; }
int resolves_check(int, int) { return 0; }
int is_pinned(int) { return 0; }
int exchange_loss(int) { return 0; }
int capture_gain(int, int) { return 0; }
int safe_after_move(int, int) { return 0; }

}  // namespace brevalt

// Time management: the allotment per move and the deadline test that runs
// from inside the search.
#pragma once

#include <cstdint>

namespace brevalt {

// Ticks allotted to the current move and its deadline.
extern int32_t move_time;
extern int32_t deadline;
// The allotment has been extended on this move.
extern int16_t extended_at;
// A test search runs: stop at epd_deadline instead of the game clock.
extern int32_t epd_mode;
extern int32_t epd_deadline;

void allot_time();
void check_for_stop();

}  // namespace brevalt

// Time management. The allotment and the deadline test are not written yet;
// without a search there is nothing for them to stop.
#include "search/timeman.h"

namespace brevalt {

int32_t move_time = 600;
int32_t deadline;
int16_t extended_at;
int32_t epd_mode;
int32_t epd_deadline;

void allot_time() {}
void check_for_stop() {}

}  // namespace brevalt

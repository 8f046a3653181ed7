// The calls make_move makes every few thousand nodes while a search runs:
// a look at standard input, and, while the engine thinks on its own time,
// the deadline test. Both belong to higher layers (the front end's input
// poll, the search's time management), which define them; the board only
// asks.
#pragma once

#include <cstdint>

namespace brevalt {

// Reads and interprets a waiting line during a search.
void poll_input(int32_t node_count);
// The deadline test of time management.
void check_for_stop();

}  // namespace brevalt

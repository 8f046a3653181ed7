// The calls make_move makes every few thousand nodes while a search runs:
// on the main search thread a look at standard input, and, while the
// engine thinks on its own time, the deadline test; on a helper thread the
// node count it has reached. Both belong to higher layers (the front end's input
// poll, the search's time management), which define them; the board only
// asks.
#pragma once

#include <cstdint>

namespace brevalt {

// Reads and interprets a waiting line during a search.
void poll_input(int64_t node_count);
// The deadline test of time management.
void check_for_stop();
// A helper search thread's node count, told to the main thread every
// thousand nodes (the search layer's thread pool).
void publish_helper_nodes(int64_t node_count);

}  // namespace brevalt

// The CECP command interpreter. The protocol state it keeps for other
// layers is in core/control.h.
#pragma once

#include <cstdint>

#include "core/control.h"

namespace brevalt {

// The interface accepted the usermove feature: moves come as "usermove X".
extern int32_t usermove_accepted;
// Set by a "new" that had to wait for a running search: the reset that
// follows also puts the start position on the board.
extern int16_t reset_to_start_position;

// Interprets the line in input_line.
void interpret_command();
// Clears the protocol state as the program does at start.
void clear_protocol_state();
// Serves a "memory" that arrived while a search or a test run used the
// tables, once none does; the main loop calls it between searches.
void serve_held_memory();

}  // namespace brevalt

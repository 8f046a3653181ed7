// The CECP command interpreter. The protocol state it keeps for other
// layers is in core/control.h.
#pragma once

#include <cstdint>

#include "core/control.h"

#include "frontend/protocol.h"

namespace brevalt {

// Interprets the line in input_line.
void interpret_command();
// A line read during a search waits for the search to end (a command that
// changes the analysed position, or a ping whose pong must wait); until it
// has been served nothing more is read.
bool line_is_held();
// The search during which the line was held has ended: it is to be looked
// at again now, before anything else is read.
bool held_search_has_ended();
// Puts the held line back into input_line for interpret_command; false
// when no line is held.
bool take_held_line();
// Clears the protocol state as the program does at start.
void clear_protocol_state();
// Serves a "memory" or "cores" that arrived while a search or a test run
// used the tables, once none does; the main loop calls it between searches.
void serve_held_settings();

}  // namespace brevalt

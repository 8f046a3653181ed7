// The program's top level: start-up sequence, main loop and input polling.
// The control flags it serves are in core/control.h.
#pragma once

#include <cstdint>

#include "board/node_calls.h"
#include "core/control.h"

#include "frontend/protocol.h"

namespace brevalt {

// Start-up, then the main loop; never returns.
[[noreturn]] void main_loop();
// The iteration limit of a new game.
constexpr int16_t NEW_GAME_MAX_DEPTH = 40;

// The start position, a new-game reset, iteration limit NEW_GAME_MAX_DEPTH,
// engine Black.
void start_new_game();
// The interface has closed the engine's input: whatever runs must end,
// and the engine with it.
bool input_has_ended();
// Reads one line into input_line, blocking. Returns false at the end of input.
bool read_input_line();

}  // namespace brevalt

// The program's top level: start-up sequence, main loop, input polling and
// the control flags through which commands steer the search.
#pragma once

#include <cstdint>

namespace brevalt {

// The command line last read: at most 79 characters and the terminator.
constexpr int INPUT_LINE_SIZE = 80;
extern char input_line[INPUT_LINE_SIZE];

// Control flags shared with the interpreter, the root driver and the game.
extern int16_t move_request;
extern int16_t reset_request;
extern int32_t force_mode;
extern int16_t engine_side;  // +1 the engine plays White, -1 Black
extern uint8_t thinking;
extern uint8_t pondering;
extern int32_t stop_search;
// Set while the root driver lists the legal moves of a game position: no
// command is read in the middle of that one question.
extern uint8_t input_poll_held;

// Start-up, then the main loop; never returns.
[[noreturn]] void main_loop();
// The start position, a new-game reset, iteration limit 40, engine Black.
void start_new_game();
// Reads and interprets a waiting line during a search (see the .cpp for when).
void poll_input(int32_t node_count);
// The interface has closed the engine's input: whatever runs must end,
// and the engine with it.
bool input_has_ended();
// Reads one line into input_line, blocking. Returns false at the end of input.
bool read_input_line();

}  // namespace brevalt

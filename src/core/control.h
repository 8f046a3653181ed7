// The control flags through which commands steer the search, and the
// protocol state that more than one layer reads: whose side the engine
// plays, the clocks and ratings the interface gives, the move it enters.
// The front end sets nearly all of them (the interpreter, the main loop);
// the root driver and game management also set the search flags as a
// search starts and ends.
#pragma once

#include <cstdint>

namespace brevalt {

// ---------------------------------------------------------------------------
// Control flags

// A search is wanted: the main loop calls the root driver.
extern int16_t move_request;
// A new-game reset is wanted once the running search has ended.
extern int16_t reset_request;
// The engine plays neither side; moves are only recorded.
extern int32_t force_mode;
// +1 the engine plays White, -1 Black.
extern int16_t engine_side;
// The engine thinks on its own time (the clock is watched).
extern uint8_t thinking;
// The engine thinks on the opponent's time about the predicted move.
extern uint8_t pondering;
// The running search is to end as soon as it can.
extern int32_t stop_search;
// Set while the root driver lists the legal moves of a game position: no
// command is read in the middle of that one question.
extern uint8_t input_poll_held;
// The session speaks UCI (its first command was "uci"): the search reports
// in UCI's info lines, the front end announces the move as "bestmove", and
// nothing claims a draw, resigns, offers a draw or comments on a server.
extern uint8_t uci_mode;
// The engine analyses for a CECP interface ("analyze" until "exit"): it
// plays neither side, and its searches run without end on the position
// the interface shows, with no clock and no book, print their lines
// whatever "post" says, and neither declare a result nor play a move.
extern uint8_t analysis_mode;
// Set while a test run owns the engine: commands that would set up another
// position or start a game are refused until it ends.
extern int epd_run_active;

// ---------------------------------------------------------------------------
// Protocol state

// A game is being played: set by "go" and by an entered move.
extern int16_t game_in_progress;
// The engine's next move is to be printed as a move command.
extern int16_t announce_move;
// Pondering is on ("hard").
extern uint8_t ponder_enabled;
// Thinking lines are printed ("post").
extern int32_t post_thinking;
// Moves per control period of "level"; 0 for an incremental clock.
extern int32_t level_moves;
// Clocks in whole seconds.
extern int16_t own_time;
// The own clock as the interface last gave it, in centiseconds.
extern int32_t own_time_cs;
extern int16_t opponent_time;
extern int16_t time_increment;
// The increment in milliseconds, fractions of a second kept ("level 0 0:10
// 0.1", UCI's winc): the whole seconds above drive the tables made for
// long clocks, this one the allotment for fast ones.
extern int32_t time_increment_ms;
// A fixed time per move in milliseconds (CECP "st"); 0 when the clocks decide.
extern int32_t fixed_move_ms;
// Milliseconds held back from every clock for the way between engine and
// interface (UCI's "Move Overhead").
constexpr int32_t DEFAULT_MOVE_OVERHEAD_MS = 30;
extern int32_t move_overhead_ms;
// The own clock is short, or a fixed move time is in force: the search
// looks at the clock every few thousand nodes instead of every fifty thousand.
extern uint8_t frequent_stop_tests;
extern int32_t own_rating, opponent_rating;
// The opponent is a computer ("computer").
extern uint8_t opponent_is_computer;
// Playing on a chess server ("ics"); the output lines depend on it.
extern int16_t ics_mode;
// The move being entered: squares 0..63 and 'Q', 'R', 'B', 'N' or 0.
extern int32_t user_from, user_to;
extern uint8_t promotion_letter;
// Score of the engine's last search, engine's view.
extern int32_t last_score;

}  // namespace brevalt

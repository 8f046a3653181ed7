// Two records: the control flags through which commands steer the search
// and the protocol state more than one layer reads (control), and the
// clocks, time control and ratings the interface gives (game_clock). Who
// writes and reads each is said above it.
#pragma once

#include <cstdint>

#include "core/threading.h"

namespace brevalt {

// ---------------------------------------------------------------------------
// Control flags

// What a new game resets of the control flags: the requests, the side
// and the search flags of the game. The session's flags (the protocol,
// force, post, hard, a test run) stay.
struct GameControl {
  // A search is wanted: the main loop calls the root driver.
  int16_t move_request{};
  // A new-game reset is wanted once the running search has ended.
  int16_t reset_request{};
  // +1 the engine plays White, -1 Black. Read at every node by every
  // search thread (the evaluation's point of view).
  Relaxed<int16_t> engine_side = -1;
  // The engine thinks on its own time (the clock is watched).
  uint8_t thinking{};
  // The engine thinks on the opponent's time about the predicted move.
  uint8_t pondering{};
  // A game is being played: set by "go" and by an entered move.
  int16_t game_in_progress{};
  // The engine's next move is to be printed as a move command.
  int16_t announce_move{};
  // The promotion piece of the move being entered ('Q', 'R', 'B', 'N' or 0).
  uint8_t promotion_letter{};
  // Score of the engine's last search, engine's view.
  int32_t last_score{};
};

// The control flags through which commands steer the search, and the
// protocol state more than one layer reads. Written by the front end (the
// interpreter, the main loop and its input poll, undo, the analysis), the
// root driver, time management and game management as a search starts and
// ends, the test runner, the FEN reader (the side the engine plays), perft
// (the stop flag) and start-up (post); read by every layer from the board
// up, stop_search by the node counter's poll.
struct Control : GameControl {
  // The engine plays neither side; moves are only recorded.
  int32_t force_mode{};
  // The running search is to end as soon as it can: set by the main
  // thread, watched by every search thread.
  Relaxed<int32_t> stop_search{};
  // Set while the root driver lists the legal moves of a game position: no
  // command is read in the middle of that one question.
  uint8_t input_poll_held{};
  // The session speaks UCI (its first command was "uci"): the search reports
  // in UCI's info lines, the front end announces the move as "bestmove", and
  // nothing claims a draw, resigns, offers a draw or comments on a server.
  uint8_t uci_mode{};
  // The engine analyses for a CECP interface ("analyze" until "exit"): it
  // plays neither side, and its searches run without end on the position
  // the interface shows, with no clock and no book, print their lines
  // whatever "post" says, and neither declare a result nor play a move.
  uint8_t analysis_mode{};
  // Set while a test run owns the engine: commands that would set up another
  // position or start a game are refused until it ends.
  int epd_run_active{};
  // Pondering is on ("hard").
  uint8_t ponder_enabled{};
  // Thinking lines are printed ("post").
  int32_t post_thinking{};
  // Playing on a chess server ("ics"); the output lines depend on it.
  int16_t ics_mode{};
  // The game is Fischer random chess (UCI_Chess960, CECP's variant
  // fischerandom): castling follows the general rule and is written inside
  // the engine as the king taking its own rook.
  uint8_t chess960{};
  // The move being entered: squares 0..63.
  int32_t user_from{}, user_to{};
};

extern Control control;

// ---------------------------------------------------------------------------
// The clock and the match

// A new game's clocks and ratings, until the interface says otherwise.
constexpr int32_t NEW_GAME_OWN_RATING = 2640;
constexpr int32_t NEW_GAME_OPPONENT_RATING = 2641;
constexpr int16_t NEW_GAME_OWN_TIME = 2000;      // seconds
constexpr int16_t NEW_GAME_OPPONENT_TIME = 200;  // seconds

// What a new game resets and a set-up position keeps: the clocks, the
// increment, the ratings and the opponent's kind. xboard sends "level"
// and the ratings once, before "force" and "setboard", and never again.
struct MatchClock {
  // Clocks in whole seconds.
  int16_t own_time = NEW_GAME_OWN_TIME;
  // The own clock as the interface last gave it, in centiseconds.
  int32_t own_time_cs = NEW_GAME_OWN_TIME * 100;
  int16_t opponent_time = NEW_GAME_OPPONENT_TIME;
  int16_t time_increment{};
  // The increment in milliseconds, fractions of a second kept ("level 0 0:10
  // 0.1", UCI's winc): the whole seconds above drive the tables made for
  // long clocks, this one the allotment for fast ones.
  int32_t time_increment_ms{};
  // Read by every search thread (the draw score weighs them).
  Relaxed<int32_t> own_rating = NEW_GAME_OWN_RATING, opponent_rating = NEW_GAME_OPPONENT_RATING;
  // The opponent is a computer ("computer").
  uint8_t opponent_is_computer{};
};

// Milliseconds held back from every clock for the way between engine and
// interface (UCI's "Move Overhead").
constexpr int32_t DEFAULT_MOVE_OVERHEAD_MS = 30;

// The clocks as the interface gives them, the time control, the ratings and
// the opponent's kind: what belongs to the match rather than to one game.
// Written by the front end (time, otim, level, st, UCI's go and options),
// the new-game reset (the match clock part), and time management and the
// root driver (how often the clock is looked at); read by time management,
// the root driver, the node counter's poll, game management and the
// evaluation (the ratings).
struct Clock : MatchClock {
  // Moves per control period of "level"; 0 for an incremental clock.
  int32_t level_moves{};
  // A fixed time per move in milliseconds (CECP "st"); 0 when the clocks decide.
  int32_t fixed_move_ms{};
  int32_t move_overhead_ms = DEFAULT_MOVE_OVERHEAD_MS;
  // The own clock is short, or a fixed move time is in force: the search
  // looks at the clock every few thousand nodes instead of every fifty thousand.
  uint8_t frequent_stop_tests{};
};

extern Clock game_clock;

}  // namespace brevalt

// The state of the CECP interface and what the main loop keeps of every
// session: the line being read, the line held back until a search ends, the
// analysis in progress, the test runners' operation text, and the limits
// tools set for short sessions. One record, protocol, touched only by the
// game loop's thread: written by the main loop, its input poll, the
// interpreter, the analysis, the EPD reader and the new-game reset; read by
// the same and by the UCI session (the line read, the depth ceilings).
#pragma once

#include <cstdint>

namespace brevalt {

// The command line last read: at most 79 characters and the terminator.
constexpr int INPUT_LINE_SIZE = 80;
constexpr int EPD_OPERATION_SIZE = 24;
constexpr int EPD_REST_SIZE = 120;

// The figures of the last analysis search, for a "." that arrives once
// it has ended on its own (a mate found, the ceiling reached), or before
// the search of a new position has begun. All zero for a position the
// engine refused and for one with no move.
struct StatusFigures {
  long long centiseconds = 0;
  long long nodes = 0;
  int depth = 0;
  int left = 0;
  int total = 0;
};

struct Protocol {
  char input_line[INPUT_LINE_SIZE]{};
  // The interface has closed our input: nothing more can arrive, so the
  // engine ends as it would on "quit". A search on the engine's own clock
  // first runs to its own end and plays its move ("printf '...go\n' |
  // brevalt" gets a searched answer); a ponder search or an analysis, which
  // have no end of their own, stop at once. The main loop ends the process
  // once the search has returned.
  bool input_closed = false;
  // The first command line decides the protocol: "uci" opens a UCI
  // session for good; anything else keeps CECP.
  bool first_command_read = false;
  // The interface accepted the usermove feature: moves come as "usermove X".
  int32_t usermove_accepted{};
  // Set by a "new" that had to wait for a running search: the reset that
  // follows also puts the start position on the board.
  int16_t reset_to_start_position{};
  // A "memory" that waits for the search or test run using the tables to
  // end, in MiB; 0 when none waits. A later one replaces it.
  int64_t held_memory_mib = 0;
  // A "cores" that waits the same way: the threads wanted, 0 when none waits.
  int held_cores = 0;
  // The first word of the line, lower-cased, as the unknown-command reply quotes it.
  char first_word[INPUT_LINE_SIZE]{};
  // The line as it arrived, before lower-casing: file names keep their case,
  // which a case-sensitive file system needs.
  char line_as_sent[INPUT_LINE_SIZE]{};
  // A line read during a search that must wait for the search to end: a
  // command that changes the analysed position or ends the analysis, or a
  // "ping" that an earlier command has yet to take effect before. While it
  // waits nothing more is read, so that commands keep their order. It is
  // kept as it arrived (a position text needs its case).
  char held_line[INPUT_LINE_SIZE]{};
  bool line_held = false;
  // The search during which it was held: once another one runs, the line
  // is looked at again there.
  uint8_t held_during_search = 0;
  // A "setboard" was refused: the engine's board is not the one the
  // interface shows, so it takes no move and makes none until "new" or a
  // good "setboard" puts the two in step again.
  bool position_refused = false;
  // The deepest iteration an analysis search runs: 40, as a game's search
  // after "new". Tools that drive many short sessions (the fuzz target)
  // lower it, so that their analyses end by themselves.
  int16_t analysis_depth_ceiling = 40;
  // A search of the analysed position is due.
  bool search_due = false;
  // Set while an analysis search runs.
  bool searching = false;
  // The depth limit of the game's searches ("sd"), kept aside while an
  // analysis search runs to its own ceiling.
  int16_t game_depth_limit = 0;
  StatusFigures last_figures{};
  // The lines an analysis search shows, one thinking line each per depth
  // (the engine option "MultiPV"); 1 is the plain search.
  int16_t analysis_lines = 1;
  // The deepest iteration a UCI search runs: 40, as after "new" under CECP,
  // and the most a "depth" may ask for. Tools that drive many short sessions
  // (the fuzz target) lower it.
  int16_t uci_depth_ceiling = 40;
  // Operation text and rest of its line kept by the test runners.
  char epd_operation[EPD_OPERATION_SIZE]{};
  char epd_rest[EPD_REST_SIZE]{};
};

extern Protocol protocol;

}  // namespace brevalt

// The UCI front end. A session whose first command is "uci" speaks UCI to
// its end: the interface keeps the game and sends it whole before every
// "go"; the engine searches it with the same root driver, time management
// and book as under CECP and answers with "bestmove".
#pragma once

#include <cstdint>

#include "frontend/protocol.h"

namespace brevalt {

// The longest UCI command line kept: "position startpos moves ..." of a
// game of several thousand plies. A longer line is refused as a whole.
constexpr int UCI_LINE_SIZE = 32768;

// True for the line that opens a UCI session ("uci", blanks allowed).
bool is_uci_opening(const char* line);

// Runs the UCI session from its opening "uci" on; never returns.
[[noreturn]] void uci_session();
// The session's state as "uci" leaves it, without the identification.
void uci_begin();
// Serves the next command: one held back during the last search, else
// one read from the input (a "go" searches and answers); false at the end
// of the input.
bool uci_serve_next_line();
// A command is there to serve without waiting.
bool uci_line_waiting();
// The input poll of a search in a UCI session: reads a waiting command
// and acts on it ("stop", "ponderhit", "isready", "quit"); anything else
// stops the search and waits until it has ended.
void uci_poll();

}  // namespace brevalt

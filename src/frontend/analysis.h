// CECP analysis mode. After "analyze" the engine plays neither side and
// searches the position the interface shows without end, printing its
// lines, until the interface changes the position (a move, "undo", "new",
// "setboard": the search then starts afresh on the new one) or leaves the
// analysis with "exit". The interpreter routes the commands; this file
// runs the searches and answers ".".
#pragma once

#include <cstdint>

#include "frontend/protocol.h"

namespace brevalt {

// Enters analysis mode (the engine is idle): force mode, and no search
// yet until request_analysis_search says the position may be searched.
void enter_analysis();
// Leaves it ("exit"): the engine stays in force mode on the analysed
// position, and the interface sends what it wants next.
void leave_analysis();
// The analysed position is new (or set again): a fresh search is due,
// unless the engine could not take the position the interface sent.
void request_analysis_search(bool position_playable);
// A search of the analysed position is due.
bool analysis_search_due();
// Runs one analysis search of the position on the board until something
// ends it: a command that changes the position or leaves the analysis,
// the end of the input, a forced mate found, or the depth ceiling.
void run_analysis_search();
// True while an analysis search runs.
bool analysis_search_running();
// The set of root moves to search changed ("exclude", "include", a new
// "MultiPV"): a running search stops and the analysis starts over on the
// same position; between searches, a fresh one is due.
void restart_analysis_search();
// Every move is searched again: the analysis's exclusions are dropped, as
// on reaching a new position.
void clear_exclusions();
// The answer to ".": "stat01: TIME NODES DEPTH LEFT TOTAL [MOVE]".
void print_analysis_status();
// "sd" that arrives during an analysis search: the depth limit of the
// game's searches, which the analysis puts back when its search ends.
void set_game_depth_limit(int16_t depth);

}  // namespace brevalt

// Returning the engine to a known state: per game and per search. The
// board's own set-up routines and the root driver ask for these resets,
// but the resets clear the state of every layer (evaluation caches, search
// tables, the game record, the front end's flags), so they are defined
// above all of them, in src/frontend/reset.cpp.
#pragma once

namespace brevalt {

// Everything that belongs to one game; leaves the board alone (unless a
// deferred "new" asked for the start position).
void new_game();
// The same, keeping what the transposition tables and the pawn cache hold,
// and the search counter that ages them.
void new_game_keeping_tables();
// The reset a finished game asks for ("result", a mate, a claim) or a
// "new" that waited for a search: a new game, on the start position when
// "new" asked for it, otherwise on the final position just as it stands,
// with its side to move, castling rights and en passant chance, which is
// what the interface still shows.
void deferred_reset();
// Everything that belongs to one search.
void reset_search_state();

}  // namespace brevalt

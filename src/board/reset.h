// Returning the engine to a known state: per game, per search, and the
// transposition tables alone.
#pragma once

namespace brevalt {

// Everything that belongs to one game; leaves the board alone.
void new_game();
// Everything that belongs to one search.
void reset_search_state();
// Empties the four transposition tables.
void clear_transposition_tables();

}  // namespace brevalt

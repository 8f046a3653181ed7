// Returning the engine to a known state: per game, per search, and the
// transposition tables alone.
#pragma once

#include <cstdint>

namespace brevalt {

// Set by a "new" that had to wait for a running search: the reset that
// follows also puts the start position on the board.
extern int16_t reset_to_start_position;

// Everything that belongs to one game; leaves the board alone (unless a
// deferred "new" asked for the start position).
void new_game();
// The reset a finished game asks for ("result", a mate, a claim) or a
// "new" that waited for a search: a new game, on the start position when
// "new" asked for it, otherwise on the final position just as it stands,
// with its side to move, castling rights and en passant chance, which is
// what the interface still shows.
void deferred_reset();
// Everything that belongs to one search.
void reset_search_state();
// Empties the four transposition tables.
void clear_transposition_tables();

}  // namespace brevalt

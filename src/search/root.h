// The root driver: one complete decision per call by iterative deepening,
// and the legality check of moves entered by the opponent.
#pragma once

#include <cstdint>

namespace brevalt {

// Iteration limit (40 after a new game).
extern int16_t max_depth;
// Counter of searches; stored with transposition entries.
extern uint8_t search_id;
// The game may still be played from the opening book.
extern int16_t in_book;
extern int16_t last_book_ply;
// Material balance of the root position.
extern int16_t root_material;
// From-square of the pondered move.
extern uint8_t ponder_from;
// Root fail-low state and the root-move stop marker.
extern int16_t fail_low_active, fail_low_score, fail_low_from, fail_low_to, fail_low_depth;
extern int16_t stop_at_root_move;
extern int16_t prev_move_score;

// Makes one decision for the side (+1 / -1, or 0 / 8) and plays it.
void think(int side);
// 1 when the opponent's move from->to with the given piece code is legal.
int move_is_legal(int from, int to, int piece);

}  // namespace brevalt

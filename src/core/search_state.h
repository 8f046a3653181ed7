// The search's state that the layers below it read: the path state the
// move generator orders by and the evaluation depends on, what the root
// driver works out about the root position, the principal variation that
// make_move starts afresh at each ply, and the history counters the move
// generator orders quiet moves by. The search (and, for root_endgame and
// activity_sum, the root driver's call into the evaluation and the
// activity term) sets them.
#pragma once

#include <cstdint>

#include "core/types.h"

namespace brevalt {

// ---------------------------------------------------------------------------
// Path state

// Iteration depth minus the reductions in force on the path.
extern int16_t nominal_depth;
// Extensions on the path in whole plies.
extern int16_t ext_plies;
// Quiescence state read by the move generator.
extern int16_t quiescence_mode;
extern int16_t horizon_qs;
extern int16_t first_qs_generation;

// ---------------------------------------------------------------------------
// The root position

// Counter of searches; stored with transposition and pawn-cache entries.
extern uint8_t search_id;
// Material balance of the root position.
extern int16_t root_material;
// Set when the material at the root marks an ending.
extern int16_t root_endgame;
// Sum of activity_of over the queens, rooks, bishops, knights and pawns,
// White's plus and Black's minus; 0 in an ending.
extern int32_t activity_sum;

// ---------------------------------------------------------------------------
// Principal variation

// One principal-variation entry.
struct PvEntry {
  uint8_t from;
  uint8_t to;
  uint8_t piece;
  int32_t captured_value;
};
// Row r holds the best line from ply r; row 0 is the line of the last
// completed iteration, and pv_valid[p] says it has a move for ply p.
extern PvEntry pv_table[MAX_PLY][MAX_PLY];
extern int32_t pv_length[MAX_PLY];
extern uint8_t pv_valid[MAX_PLY];

// ---------------------------------------------------------------------------
// Move ordering

// History counters indexed (from << 10) | (to << 4) | piece code.
constexpr int HISTORY_SIZE = 65536;
extern int32_t history_table[HISTORY_SIZE];

}  // namespace brevalt

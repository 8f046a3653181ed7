// The search path of one search thread, the record the layers below the
// search read as well: the path state the move generator orders by and the
// evaluation depends on, what the root driver works out about the root,
// the node counts make_move keeps, the principal variation, the history
// and killer tables, and the repetition table the path is probed against.
// One record, search_path; who writes and reads it is said above it.
#pragma once

#include <cstdint>

#include "core/threading.h"
#include "core/types.h"

namespace brevalt {

// ---------------------------------------------------------------------------
// Principal variation

// One principal-variation entry.
struct PvEntry {
  uint8_t from;
  uint8_t to;
  uint8_t piece;
  int32_t captured_value;
};

// ---------------------------------------------------------------------------
// Move ordering

// History counters indexed (from << 10) | (to << 4) | piece code.
constexpr int HISTORY_SIZE = 65536;

// One legal move as the legality tests record it: piece is the code on `to`
// after the move (the queen for a promotion).
struct LegalMove {
  uint8_t from;
  uint8_t to;
  uint8_t piece;
  uint8_t unused[5];
};

constexpr int LEGAL_MOVES_SIZE = 256;

// One killer slot; from = 65 marks it empty.
struct KillerEntry {
  uint8_t from;
  uint8_t to;
  uint8_t piece;
  uint8_t unused[5];
};

// Seven killer slot rows and five scratch rows, 64 plies each.
constexpr int KILLER_ROWS = 12;
constexpr int KILLER_SLOTS = 7;

// One repetition entry (search/tables.h); the path holds a pointer to the table.
struct RepEntry;

// ---------------------------------------------------------------------------
// The search path of one thread

// The path's flags as every search starts them.
struct PathFlags {
  // Quiescence state read by the move generator.
  int16_t quiescence_mode{};
  int16_t horizon_qs{};
  int16_t first_qs_generation{};
  // Cleared when no queen, rook, bishop or knight is left.
  uint8_t null_move_allowed = 1;
  // Set when the fifty-move limit is reached inside the search.
  int16_t draw_flag{};
  // The ply limit of the search .
  int16_t max_search_ply = 60;
};

// What a new game starts afresh of the path: the search counter, the
// root move's bookkeeping and the killer slots in use.
struct PathGameStart {
  // Counter of searches; stored with transposition and pawn-cache entries.
  uint8_t search_id{};
  // To-square of the root move, 65 when the root move captured.
  int16_t root_to = NO_SQUARE;
  // 1 when the piece moved at the root moves back towards the engine's side at ply 3.
  int16_t root_piece_retreats{};
  // Killer slots in use per ply.
  int16_t killer_slots = 4;
};

// The state of one search thread along its path: depth, extensions,
// quiescence and null-move state, what the root driver works out about the
// root, the node counts, the principal variation, the history and killer
// tables, the legal moves of the last legality test, and the repetition
// table it probes. Written by make_move and unmake_move (node counts, the
// path's counters), the move generator and the legality tests, the node
// and quiescence searches, perft, the root driver, game management and
// the UCI session (the variation they report), the test runner, start-up
// (the repetition table) and the resets; read by the move generator, the
// evaluation, the search, and by game management and the output lines
// after a search (the variation, the node counts).
struct SearchPath : PathFlags, PathGameStart {
  // Iteration depth minus the reductions in force on the path.
  int16_t nominal_depth{};
  // Extensions on the path in whole plies.
  int16_t ext_plies{};
  // Material balance of the root position.
  int16_t root_material{};
  // Set when the material at the root marks an ending.
  int16_t root_endgame{};
  // Sum of activity_of over the queens, rooks, bishops, knights and pawns,
  // White's plus and Black's minus; 0 in an ending.
  int32_t activity_sum{};
  // Row r holds the best line from ply r; row 0 is the line of the last
  // completed iteration, and pv_valid[p] says it has a move for ply p.
  PvEntry pv_table[MAX_PLY][MAX_PLY]{};
  int32_t pv_length[MAX_PLY]{};
  uint8_t pv_valid[MAX_PLY]{};
  int32_t history_table[HISTORY_SIZE]{};
  // Nodes counted by every completed make_move (the root driver resets
  // them): 64 bits, so that an analysis of hours counts true.
  int64_t search_nodes{};
  int32_t tree_nodes{};
  // The deepest ply a move was made at since the root driver last cleared it.
  int16_t sel_depth{};
  // Value of the queens, rooks, bishops and knights of the side the engine plays against.
  int16_t opponent_material{};
  // Captures of non-pawn pieces since the root move (read by the evaluation).
  int32_t capture_count{};
  // Length of a run of quiet checks by one piece, and the colour in check.
  int8_t check_run{};
  uint8_t check_run_side{};
  LegalMove legal_moves[LEGAL_MOVES_SIZE]{};
  int16_t legal_count{};
  // Extensions on the path in hundredths of a ply (the whole plies, like the
  // nominal depth and the quiescence state, are in core/search_state.h).
  int32_t ext_hundredths{};
  // Extensions stop when ext_plies reaches this.
  int32_t max_ext_plies = 6;
  // Null moves on the path.
  int16_t null_depth{};
  // Capture extensions on the path.
  uint8_t recapture_ext_count{};
  // Still walking the previous iteration's principal variation.
  int32_t follow_pv{};
  // Result flag of multi_cut_probe.
  int16_t multi_cut_hit{};
  // Ply limit of the running quiescence search (entry ply + 8).
  int32_t qs_ply_limit{};
  // Ply of the null move on the path (read by make_move).
  int16_t null_move_ply{};
  RepEntry* repetition_table = nullptr;
  KillerEntry killer_table[KILLER_ROWS][64]{};
  // The running iteration of this thread's deepening.
  int16_t iteration_depth{};
  // Set on a helper search thread: it neither reads input nor tests the
  // clock, and only tells its node count.
  uint8_t helper_thread{};
};

extern constinit BREVALT_THREAD_LOCAL SearchPath search_path;

}  // namespace brevalt

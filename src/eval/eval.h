// The static evaluation: material, the lazy exit, endgame mode, the
// material-draw rules and the conversion to the engine's point of view,
// with the per-call counts that the piece, pawn and king terms share.
#pragma once

#include <cstdint>

#include "core/search_state.h"

namespace brevalt {

// Square colours: 2 on a1's colour ((rank + file) even), 1 on the others.
extern const uint8_t square_colour[64];

// One pawn cache entry (eval/pawns.h).
struct PawnHashEntry;

// The evaluation's state of one search thread: the piece-square tables and
// king squares worked out for the root, the root threat under test, and
// the pawn cache with its counters. Written by the root driver and its
// set-up calls into the evaluation, the root threat analysis, the pawn
// cache's probes, start-up (the cache's storage) and the resets; read by
// the evaluation and the bench's report.
struct EvalCache {
  // Penalty the root driver hands down for the root move being searched
  // (a trapped minor or a self-pin found at the second iteration); 0 for none.
  int32_t threat_value{};
  // King squares of the root position, as the running iteration found them.
  int16_t root_white_king_sq{}, root_black_king_sq{};
  PawnHashEntry* pawn_hash = nullptr;
  // Probes and hits of the cache since start-up, for the bench's report.
  uint64_t pawn_hash_probes{}, pawn_hash_hits{};
  // Times the cache was emptied: a helper search thread empties its own
  // when the main thread's count has moved on.
  uint32_t pawn_hash_clears{};
  // Per-search tables by colour (0 White, 1 Black) and square; a new game
  // clears queen_table.
  uint8_t queen_table[2][64]{};
  uint8_t rook_table[2][64]{};
  uint8_t bishop_table[2][64]{};
  uint8_t knight_table[2][64]{};
  // The root move singled out by the analysis and the penalty handed to the
  // evaluation while it is searched; all three 0 when none.
  int32_t threat_from{}, threat_to{};
  int32_t threat_score{};
};

extern constinit BREVALT_THREAD_LOCAL EvalCache eval_cache;

// What one side owns, counted in a single pass over the board.
struct SideCounts {
  int attack_units;      // queen 2, rook, bishop and knight 1
  int minors;            // bishops and knights
  int rooks;             // rooks
  int rook_file[2];      // files 1..8 of the first two rooks found, 0 for none
  int queen_square;      // square + 1 of the last queen found, 0 for none
  int bishops;           // bishops found
  int bishop_colour[2];  // square colour (1 or 2) of the first two bishops, 0 for none
  int outpost[2];        // square + 1 of the last two outposts found, 0 for none
  int knight;            // owns a knight
  int minors_developed;  // no bishop or knight left on its first rank
  int advanced;          // rooks, bishops and knights in the enemy half
  int tropism;           // closeness of the pieces to the enemy king
  int pawns;
  int low_file, high_file;  // pawn file span, kept in endgame mode only
  int king_settled;      // castled, or sheltered on its own first three ranks
  int safe;              // settled and facing too little to attack it
};

// The per-call counts of one evaluation.
struct EvalCounts {
  SideCounts white, black;
  int pieces;        // queens, rooks, bishops and knights of both colours
  int pawns;         // pawns of both colours
  int endgame_mode;
};

// The score of a position judged drawn, from the engine's view: a
// higher-rated engine avoids draws.
int draw_score();
// Static score from the engine's point of view, given the caller's
// side-to-move window (alpha, beta) for the lazy exit.
int evaluate(int alpha, int beta);

// The evaluation's main terms, in centipawns from White's view, as
// evaluate() adds them up: material (with the bonus for a clear lead), the
// pieces (mobility, placement tables, outposts), the pawn files, the
// placement of the whole army (advanced pieces, exposed kings, an early
// queen, knights against wide pawns), the material rules, king safety, the
// pawns (holes, bishop colours, passed pawns, structure), and the total
// before the engine's root terms (activity, the root threat) are added.
// drawn: a draw rule decided the score.
struct EvalTrace {
  int material = 0, pieces = 0, pawn_files = 0, placement = 0, material_rules = 0;
  int king_safety = 0, pawns = 0, total = 0, root_terms = 0;
  bool drawn = false;
};
// evaluate() over the whole window, its terms written to *trace.
int evaluate_traced(EvalTrace* trace);

}  // namespace brevalt

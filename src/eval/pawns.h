// Pawn structure: the pawn data gathered while the board is scanned, the
// per-file evaluation (doubled, isolated, backward, duos, chains, passed
// pawns, shelter), the passed-pawn terms that depend on the pieces, and
// the cache that lets most evaluations skip all of it.
#pragma once

#include <cstdint>

#include "eval/eval.h"

namespace brevalt {

// One cached pawn-structure result. File data per colour: (count, most
// advanced rank) for files 0..9, where files 0 and 9 are empty sentinels
// around the board's files 1..8.
struct PawnHashEntry {
  uint32_t key_lo;
  uint32_t key_hi;
  uint8_t file_data[40];
  int16_t pawn_score;
  int16_t pawn_file_term;
  uint8_t pawns_total, pawns_white, pawns_black;
  // Pawn file spans start at 9 and -1 before any pawn is seen, so they are
  // stored signed: a hit must read back exactly what the miss computed.
  int8_t white_low_file, white_high_file, black_low_file, black_high_file;
  uint8_t generation;
  uint8_t white_passers, black_passers;
  uint8_t white_hole, black_hole;
  uint8_t white_fixed[2], black_fixed[2];
  uint8_t passer_files[2][8];
  // The tropism that advanced pawns on the enemy king's wing add, kept so
  // that a hit scores exactly as the scan that stored the entry.
  uint8_t pawn_tropism[2];
  uint8_t unused[2];
};
static_assert(sizeof(PawnHashEntry) == 88);

#ifndef BREVALT_SMALL_TABLES
constexpr int32_t PAWN_HASH_ENTRIES = 66000;
// Only the first 65,536 entries are addressed by the 16-bit index.
constexpr uint32_t PAWN_HASH_MASK = 0xFFFF;
#else
// The fuzz build: a table small enough to clear for every input.
constexpr int32_t PAWN_HASH_ENTRIES = 1100;
constexpr uint32_t PAWN_HASH_MASK = 0x3FF;
#endif

// Pawn-advance bonus by rank index, for pawns inside their side's window.
extern const int pawn_advance_table[8];

// The pawn data of one position, White's and Black's side by side
// (index 0 White, 1 Black). Files are 1-based with sentinels 0 and 9.
struct PawnData {
  uint8_t count[2][10];
  // Most advanced rank per file: White's highest (0 for none), Black's
  // lowest (9 for none).
  uint8_t adv[2][10];
  // Only while scanning: the rear White pawn of a file holding two or more
  // (else 9) and the second Black pawn met from rank 1 up (else 0).
  uint8_t white_rear[10];
  uint8_t black_second[10];
  int total, pawns[2];
  int low_file[2], high_file[2];  // kept in endgame mode only
  int pawn_file_term;
  int score;                      // the pawn-structure score P, White's view
  int passers[2];
  uint8_t passer_files[2][8];     // 1-based files in file order
  int hole[2];                    // square in front of a backward pawn, 0 none
  int fixed[2][2];                // by square colour 1 and 2
  int tropism[2];
};

// The exclusive 1-based file bounds inside which pawns earn the advance
// bonus; king safety moves them toward the enemy king.
struct AdvanceWindows {
  int low[2];
  int high[2];
};

// Empties the pawn-structure cache.
void clear_pawn_hash();

// Cache key of the current position's pawn structure (pawns, kings, mode,
// king flags and the material on the board).
uint64_t pawn_hash_key(const EvalCounts& ec);
// The entry a key addresses.
inline PawnHashEntry& pawn_hash_slot(uint64_t key) { return eval_cache.pawn_hash[key & PAWN_HASH_MASK]; }
// True when the entry holds this key from the running search.
bool pawn_hash_hit(const PawnHashEntry& e, uint64_t key);

// Empties the data before a scan.
void clear_pawn_data(PawnData& pd);
// Collects the pawns of `visit` (bits file * 8 + rank, lowest first) into
// the pawn data and adds their tropism.
void scan_pawns(PawnData& pd, const EvalCounts& ec, uint64_t visit);
// The per-file evaluation of a scanned position: fills the score, passer
// lists, holes and fixed-pawn counts.
void evaluate_pawn_files(PawnData& pd, const EvalCounts& ec, const AdvanceWindows& windows);
// Copies the data into an entry, and back out of it.
void store_pawn_entry(PawnHashEntry& e, uint64_t key, const PawnData& pd);
void load_pawn_entry(const PawnHashEntry& e, PawnData& pd);

// What a pawn of `side` (0 White, 1 Black) on pawn_sq, one step from
// promoting on q, is worth: the count of pieces bearing on q on each side
// and the cheapest enemy defender decide whether it queens.
int promotion_square_value(int pawn_sq, int q, int side);

// Outcome of the passed-pawn terms.
enum class PasserResult { score, draw };
// The passed-pawn terms of every call: races, the square rule, rook-pawn
// draws, the promotion square. Adds to s, or reports a drawn ending.
PasserResult passed_pawn_terms(const PawnData& pd, const EvalCounts& ec, int& s);

}  // namespace brevalt

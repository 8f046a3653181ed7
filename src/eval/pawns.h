// Pawn structure and its cache.
#pragma once

#include <cstdint>

namespace brevalt {

// One cached pawn-structure result.
struct PawnHashEntry {
  uint32_t key_lo;
  uint32_t key_hi;
  uint8_t file_data[40];
  int16_t pawn_score;
  int16_t pawn_file_term;
  uint8_t pawns_total, pawns_white, pawns_black;
  uint8_t white_low_file, white_high_file, black_low_file, black_high_file;
  uint8_t generation;
  uint8_t white_passers, black_passers;
  uint8_t white_hole, black_hole;
  uint8_t white_fixed[2], black_fixed[2];
  uint8_t passer_files[2][8];
  uint8_t unused[4];
};
static_assert(sizeof(PawnHashEntry) == 88);

constexpr int32_t PAWN_HASH_ENTRIES = 66000;
extern PawnHashEntry* pawn_hash;

// Empties the pawn-structure cache.
void clear_pawn_hash();

}  // namespace brevalt

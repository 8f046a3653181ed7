// The tables the search remembers between nodes: the transposition tables
// (a depth-preferred and an always-replace table per side to move), the
// repetition table, the killer slots and the history counters.
#pragma once

#include <cstdint>

namespace brevalt {

// One transposition entry; empty when both key halves are 0.
struct TtEntry {
  uint32_t key_lo;
  uint32_t key_hi;
  int16_t score;   // side-to-move view, within +-9000
  uint16_t move;   // from * 256 + to; 0 = none
  uint8_t age;     // search_id of the storing search
  int8_t depth;    // remaining depth of the storing node
  uint8_t bound;   // 1 exact, 2 lower, 3 upper
  uint8_t unused;
};
static_assert(sizeof(TtEntry) == 16);

// One repetition entry, indexed by key_lo & 0x3FFFF of the side-adjusted key.
struct RepEntry {
  uint32_t key_lo;
  uint32_t key_hi;
  uint8_t side;          // 0 White to move, 1 Black
  uint8_t game_count;    // occurrences in the game
  uint8_t search_count;  // occurrences on the current search path
  uint8_t unused[5];
};
static_assert(sizeof(RepEntry) == 16);

// One killer slot; from = 65 marks it empty.
struct KillerEntry {
  uint8_t from;
  uint8_t to;
  uint8_t piece;
  uint8_t unused[5];
};

// Entry counts and index masks chosen at start-up from the hash-size setting.
extern int32_t tt_entries;
extern uint32_t tt_mask;

// Depth-preferred and always-replace tables, [0] White to move, [1] Black.
extern TtEntry* transposition_table[2];
extern TtEntry* always_replace_table[2];

constexpr int32_t REPETITION_ENTRIES = 265000;
constexpr uint32_t REPETITION_MASK = 0x3FFFF;
extern RepEntry* repetition_table;

// Seven killer slot rows and five scratch rows, 64 plies each.
constexpr int KILLER_ROWS = 12;
extern KillerEntry killer_table[KILLER_ROWS][64];
extern int16_t killer_slots;

// History counters indexed (from << 10) | (to << 4) | piece code.
constexpr int HISTORY_SIZE = 65536;
extern int32_t history_table[HISTORY_SIZE];

// True when every square strictly between from and to on their common rank,
// file or diagonal is empty (adjacent squares are always clear). Guards the
// slider moves taken from the tables; false when the squares share no line.
bool path_clear(int from, int to);

}  // namespace brevalt

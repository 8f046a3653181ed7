// Storage of the search tables. The large tables are allocated at start-up.
#include "search/tables.h"

#include "board/position.h"

namespace brevalt {

int32_t tt_entries;
uint32_t tt_mask = 0x7FFFF;
TtEntry* transposition_table[2];
TtEntry* always_replace_table[2];
RepEntry* repetition_table;
KillerEntry killer_table[KILLER_ROWS][64];
int16_t killer_slots = 4;
int32_t history_table[HISTORY_SIZE];

bool path_clear(int from, int to) {
  const int df = file_of(to) - file_of(from), dr = rank_of(to) - rank_of(from);
  // A rank or file when the squares share one, else the diagonal.
  if (df != 0 && dr != 0 && df != dr && df != -dr) return false;
  const int step = ((df > 0) - (df < 0)) + 8 * ((dr > 0) - (dr < 0));
  if (step == 0) return false;
  for (int sq = from + step; sq != to; sq += step)
    if (board[sq] != EMPTY) return false;
  return true;
}

}  // namespace brevalt

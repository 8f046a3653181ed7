// Storage of the search tables. The large tables are allocated at start-up.
#include "search/tables.h"

namespace brevalt {

int32_t tt_entries;
uint32_t tt_mask = 0x7FFFF;
TtEntry* transposition_table[2];
TtEntry* always_replace_table[2];
RepEntry* repetition_table;
KillerEntry killer_table[KILLER_ROWS][64];
int16_t killer_slots = 4;
int32_t history_table[HISTORY_SIZE];

}  // namespace brevalt

// The size of the transposition tables after start-up: the layout a size
// asked for in megabytes gets, and the resize between searches that both
// protocols use (UCI's Hash option, CECP's "memory").
#pragma once

#include <cstdint>

namespace brevalt {

// The sizes an interface may ask for, in MiB (2^20 bytes) for the four
// transposition tables together.
constexpr int64_t MIN_HASH_MIB = 1;
constexpr int64_t MAX_HASH_MIB = 16384;

// One size of the four transposition tables: entries per table and the
// index mask. entries exceeds mask by at least two, so that a probe may
// read the two slots after the masked index.
struct TableLayout {
  int32_t entries;
  uint32_t mask;
};

// The largest layout whose four tables fit in `mib` MiB (MIN_HASH_MIB to
// MAX_HASH_MIB): mask + 1 = 2^k entries per table, with 4 * 2^k * 16
// bytes at most `mib` MiB; the two spare entries are not counted.
TableLayout layout_for_mib(int64_t mib);

// The MiB the four tables take now, rounded down: what UCI offers as the
// Hash default and both protocols report after a resize. Asked for again,
// it gives the same index mask (the parameter file's sizes 1 to 4 read as
// 16, 32, 64 and 128), except for the tables of a parameter file without
// a valid hash line, whose 64 MiB are addressed by the mask of 32 MiB.
int64_t table_mib();

// What became of a resize.
enum class Resize {
  done,       // the tables have the new layout, empty
  unchanged,  // they already had its mask: nothing was done
  no_memory,  // it could not be had: the old tables stay, contents and all
};

// Gives the four transposition tables the layout. Only between searches:
// the search holds no pointer into them then. The new tables are allocated
// before the old ones are freed, so a failure leaves the old ones working.
// The pawn cache and the repetition table (the game's counts) are kept.
Resize resize_transposition_tables(TableLayout layout);

}  // namespace brevalt

// Resizing the transposition tables between searches, and the layout a
// size in megabytes gets.
#include "config/table_size.h"

#include <cstddef>

#include "core/platform.h"
#include "core/assert.h"
#include "search/tables.h"
#include "search/threads.h"

namespace brevalt {

namespace {

// The depth-preferred and always-replace table of each side to move.
constexpr int TT_TABLES = 4;
constexpr int64_t MIB = int64_t{1} << 20;
// Entries past the mask: a probe reads slots i, i + 1 and i + 2.
constexpr int32_t SPARE_ENTRIES = 2;
#ifndef BREVALT_SMALL_TABLES
// 2^28 entries per table is the 16 GiB of MAX_HASH_MIB.
constexpr int MAX_INDEX_BITS = 28;
#else
// The fuzz build: every size past 4 MiB gets the 4 MiB layout, so that an
// input asking for gigabytes neither waits for them nor runs out of them,
// while the resize among the small layouts is still exercised.
constexpr int MAX_INDEX_BITS = 16;
#endif

}  // namespace

TableLayout layout_for_mib(int64_t mib) {
  if (mib < MIN_HASH_MIB) mib = MIN_HASH_MIB;
  if (mib > MAX_HASH_MIB) mib = MAX_HASH_MIB;
  const int64_t budget = mib * MIB;
  const int64_t per_entry = TT_TABLES * static_cast<int64_t>(sizeof(TtSlot));
  // The largest power of two that fits; 1 MiB holds 2^14 entries a table.
  int bits = 0;
  while (bits < MAX_INDEX_BITS && (int64_t{2} << bits) * per_entry <= budget) ++bits;
  const uint32_t addressed = uint32_t{1} << bits;
  return TableLayout{static_cast<int32_t>(addressed) + SPARE_ENTRIES, addressed - 1};
}

int64_t table_mib() {
  return TT_TABLES * static_cast<int64_t>(shared_tables.tt_entries) * static_cast<int64_t>(sizeof(TtSlot)) / MIB;
}

Resize resize_transposition_tables(TableLayout layout) {
  // The helper threads search on the tables: they are parked first.
  BREVALT_ASSERT(!helpers_searching());
  // Step 1. The same mask addresses the same slots: the tables stay as
  // they are (the parameter file's tables have a few more entries than a
  // layout of their mask; the search never reads past mask + 2 either way).
  if (layout.mask == shared_tables.tt_mask && shared_tables.tt_entries >= static_cast<int32_t>(layout.mask) + 1 + SPARE_ENTRIES)
    return Resize::unchanged;

  // Step 2. More than the machine has is refused before it is asked for,
  // counting the old tables, which live until the new ones are in place;
  // and so is more than it can give now. The new tables are zero-filled
  // while the old ones still hold their pages, so the new ones alone must
  // fit in what is available: memory that other programs hold is not the
  // engine's to take, and where the system overcommits and has no swap a
  // larger block would be granted and the process ended part-way through
  // filling it.
  const uint64_t table_bytes = static_cast<uint64_t>(layout.entries) * sizeof(TtSlot);
  if (table_bytes > SIZE_MAX) return Resize::no_memory;
  const uint64_t physical = physical_memory_bytes();
  const uint64_t old_bytes = static_cast<uint64_t>(shared_tables.tt_entries) * sizeof(TtSlot);
  if (physical != 0 && TT_TABLES * (table_bytes + old_bytes) > physical) return Resize::no_memory;
  const uint64_t available = available_memory_bytes();
  if (available != 0 && TT_TABLES * table_bytes > available) return Resize::no_memory;

  // Step 3. The new tables, zero-filled (empty under any clear epoch). On
  // a failure those already had are given back and nothing else is tried:
  // the old tables go on as they were.
  TtSlot* fresh[TT_TABLES] = {};
  for (int i = 0; i < TT_TABLES; ++i) {
    fresh[i] = static_cast<TtSlot*>(allocate_table_memory(static_cast<size_t>(table_bytes)));
    if (!fresh[i]) {
      for (int j = 0; j < i; ++j) free_table_memory(fresh[j]);
      return Resize::no_memory;
    }
  }

  // Step 4. The old tables go, the new ones take their place.
  TtSlot** slots[TT_TABLES] = {&shared_tables.transposition_table[0], &shared_tables.transposition_table[1], &shared_tables.always_replace_table[0],
                                &shared_tables.always_replace_table[1]};
  for (int i = 0; i < TT_TABLES; ++i) {
    free_table_memory(*slots[i]);
    *slots[i] = fresh[i];
  }
  shared_tables.tt_entries = layout.entries;
  shared_tables.tt_mask = layout.mask;
  return Resize::done;
}

}  // namespace brevalt

// The search tables: transposition probe and store, the repetition walk
// along the search path, killers and history. The large tables are
// allocated at start-up.
#include "search/tables.h"

#include <atomic>
#include <cstring>

#include "core/assert.h"
#include "core/game_state.h"
#include "core/platform.h"

#include "search/root.h"
#include "search/search.h"
#include "search/threads.h"

namespace brevalt {

SharedTables shared_tables;

// The entry a slot holds.
TtEntry tt_load(const TtSlot& slot) {
  const uint64_t data = std::atomic_ref<uint64_t>(const_cast<uint64_t&>(slot.data)).load(std::memory_order_relaxed);
  const uint64_t key = std::atomic_ref<uint64_t>(const_cast<uint64_t&>(slot.check)).load(std::memory_order_relaxed) ^ data;
  TtEntry e;
  e.key_lo = static_cast<uint32_t>(key);
  e.key_hi = static_cast<uint32_t>(key >> 32);
  e.score = static_cast<int16_t>(static_cast<uint16_t>(data));
  e.move = static_cast<uint16_t>(data >> 16);
  e.age = static_cast<uint8_t>(data >> 32);
  e.depth = static_cast<int8_t>(static_cast<uint8_t>(data >> 40));
  e.bound = static_cast<uint8_t>(data >> 48);
  e.clear_epoch = static_cast<uint8_t>(data >> 56);
  return e;
}

// Writes an entry into a slot.
void tt_save(TtSlot& slot, const TtEntry& e) {
  const uint64_t data = uint64_t{static_cast<uint16_t>(e.score)} | uint64_t{e.move} << 16 | uint64_t{e.age} << 32 |
                        uint64_t{static_cast<uint8_t>(e.depth)} << 40 | uint64_t{e.bound} << 48 |
                        uint64_t{e.clear_epoch} << 56;
  const uint64_t key = uint64_t{e.key_lo} | uint64_t{e.key_hi} << 32;
  std::atomic_ref<uint64_t>(slot.check).store(key ^ data, std::memory_order_relaxed);
  std::atomic_ref<uint64_t>(slot.data).store(data, std::memory_order_relaxed);
}


namespace {

// Entries more than this many searches old are replaced first.
constexpr int STALE_AGE = 3;
// Killers: the slots searched for an existing entry, and the plies that keep killers.
constexpr int KILLER_LOOKUP_SLOTS = 4;
constexpr int KILLER_MIN_PLY = 3;
// hashfull looks at this many entries, half at the start of each
// depth-preferred table.
constexpr int32_t HASHFULL_SAMPLE = 1000;


TtEntry view(const TtEntry& e) { return e.clear_epoch == shared_tables.tt_epoch ? e : TtEntry{}; }

// The same tests as on view(e), without the copy.
bool holds(const TtEntry& e, uint32_t lo, uint32_t hi) {
  return e.clear_epoch == shared_tables.tt_epoch ? e.key_lo == lo && e.key_hi == hi : lo == 0 && hi == 0;
}
bool empty(const TtEntry& e) { return e.clear_epoch != shared_tables.tt_epoch || (e.key_lo == 0 && e.key_hi == 0); }

void unpack_move(uint16_t move, int& from, int& to) {
  from = move >> 8;
  to = move & 0xFF;
  if (from > 63 || to > 63 || move == 0) from = to = NO_SQUARE;
}

// Step 2 of the probe: what a matching entry deep enough says about the window.
void apply_bound(const TtEntry& e, int r, int32_t beta, TtProbe& p) {
  if (e.depth < r) return;
  if (e.bound == BOUND_EXACT && e.age == search_path.search_id) {
    p.cut = true;
    p.score = e.score;
  } else if (e.bound == BOUND_LOWER) {
    if (e.score >= beta) {
      p.cut = true;
      p.score = beta;
    } else if (e.score > p.alpha) {
      p.alpha = e.score;
    }
  } else if (e.bound == BOUND_UPPER && e.score <= p.alpha) {
    p.cut = true;
    p.score = p.alpha;
  }
}

// The depth-preferred entry of the key among slots i, i + 1 and i + 2:
// the walk stops at the first that is empty or holds the key.
TtEntry probe_slot(const TtSlot* t, uint32_t i, uint32_t lo, uint32_t hi) {
  TtEntry e = tt_load(t[i]);
  if (!empty(e) && !holds(e, lo, hi)) {
    e = tt_load(t[i + 1]);
    if (!empty(e) && !holds(e, lo, hi)) e = tt_load(t[i + 2]);
  }
  return e;
}

void write(TtSlot& slot, int32_t score, int r, int bound, uint16_t move) {
  TtEntry e;
  e.key_lo = pos.hash_lo;
  e.key_hi = pos.hash_hi;
  e.score = static_cast<int16_t>(score);
  e.move = move;
  e.age = search_path.search_id;
  e.depth = static_cast<int8_t>(r > 127 ? 127 : r < -128 ? -128 : r);
  e.bound = static_cast<uint8_t>(bound);
  e.clear_epoch = shared_tables.tt_epoch;
  tt_save(slot, e);
}

}  // namespace

bool path_clear(int from, int to) {
  const int df = file_of(to) - file_of(from), dr = rank_of(to) - rank_of(from);
  // A rank or file when the squares share one, else the diagonal.
  if (df != 0 && dr != 0 && df != dr && df != -dr) return false;
  const int step = ((df > 0) - (df < 0)) + 8 * ((dr > 0) - (dr < 0));
  if (step == 0) return false;
  for (int sq = from + step; sq != to; sq += step)
    if (pos.board[sq] != EMPTY) return false;
  return true;
}

void prefetch_node_entries(uint32_t lo, int side) {
  const int s = side ? 1 : 0;
  const uint32_t i = lo & shared_tables.tt_mask;
  if (shared_tables.transposition_table[s]) prefetch_line(&shared_tables.transposition_table[s][i]);
  if (shared_tables.always_replace_table[s]) prefetch_line(&shared_tables.always_replace_table[s][i]);
  if (search_path.repetition_table) prefetch_line(&search_path.repetition_table[side_key(side, lo, 0).lo & REPETITION_MASK]);
}

TtProbe tt_probe(int side, int r, int32_t alpha, int32_t beta) {
  TtProbe p{false, 0, alpha, NO_SQUARE, NO_SQUARE};
  const int s = side ? 1 : 0;
  const uint32_t i = pos.hash_lo & shared_tables.tt_mask;
  // Steps 1 to 3. The depth-preferred table.
  const TtEntry e1 = view(probe_slot(shared_tables.transposition_table[s], i, pos.hash_lo, pos.hash_hi));
  if (holds(e1, pos.hash_lo, pos.hash_hi)) {
    apply_bound(e1, r, beta, p);
    if (p.cut) return p;
    unpack_move(e1.move, p.from, p.to);
  }
  // Step 4. The always-replace table.
  const TtEntry e2 = view(tt_load(shared_tables.always_replace_table[s][i]));
  if (holds(e2, pos.hash_lo, pos.hash_hi)) {
    apply_bound(e2, r, beta, p);
    if (p.cut) return p;
    if (p.from == NO_SQUARE) unpack_move(e2.move, p.from, p.to);
  }
  return p;
}

TtProbe tt_move(int side) {
  TtProbe p{false, 0, 0, NO_SQUARE, NO_SQUARE};
  const int s = side ? 1 : 0;
  const uint32_t i = pos.hash_lo & shared_tables.tt_mask;
  const TtEntry e1 = view(probe_slot(shared_tables.transposition_table[s], i, pos.hash_lo, pos.hash_hi));
  if (holds(e1, pos.hash_lo, pos.hash_hi)) unpack_move(e1.move, p.from, p.to);
  const TtEntry e2 = view(tt_load(shared_tables.always_replace_table[s][i]));
  if (p.from == NO_SQUARE && holds(e2, pos.hash_lo, pos.hash_hi)) unpack_move(e2.move, p.from, p.to);
  return p;
}

void tt_store(int side, int32_t result, int r, int bound, int from, int to) {
  const int s = side ? 1 : 0;
  const uint32_t i = pos.hash_lo & shared_tables.tt_mask;
  const uint16_t move =
      (from < 64 && to < 64 && bound != BOUND_UPPER) ? static_cast<uint16_t>(from * 256 + to) : 0;
  TtSlot* t = shared_tables.transposition_table[s];
  const int id = search_path.search_id;
  auto free_for_key = [&](const TtEntry& e) { return empty(e) || holds(e, pos.hash_lo, pos.hash_hi); };

  // Step 1. The depth-preferred slot: the key's own or an empty slot if it
  // only replaces a shallower result; else a stale entry; else, when not
  // all three are from this search, the first slot. Each slot is read once.
  TtSlot* candidate = nullptr;
  TtEntry held{};
  const TtEntry e0 = tt_load(t[i]);
  if (free_for_key(e0)) {
    candidate = &t[i];
    held = e0;
  } else if (view(e0).age < id - STALE_AGE) {
    write(t[i], result, r, bound, move);
  } else if (const TtEntry e1 = tt_load(t[i + 1]); free_for_key(e1)) {
    candidate = &t[i + 1];
    held = e1;
  } else if (const TtEntry e2 = tt_load(t[i + 2]); free_for_key(e2)) {
    candidate = &t[i + 2];
    held = e2;
  } else if (!(view(e0).age == id && view(e1).age == id && view(e2).age == id)) {
    write(t[i], result, r, bound, move);
  }
  if (candidate && view(held).depth <= r) write(*candidate, result, r, bound, move);

  // Step 2. The always-replace table.
  write(shared_tables.always_replace_table[s][i], result, r, bound, move);
}

RepVisit rep_enter(KeyPair key, int side) {
  // Slot i, or the next one when i holds another position. A slot held by
  // another position is never taken over: that would destroy a position of
  // the game (and inherit its count); with both slots taken the position
  // simply goes unregistered.
  uint32_t i = key.lo & REPETITION_MASK;
  RepEntry* e = &search_path.repetition_table[i];
  auto is_empty = [](const RepEntry& r) { return r.key_lo == 0 && r.key_hi == 0; };
  auto is_key = [&](const RepEntry& r) { return r.key_lo == key.lo && r.key_hi == key.hi; };
  if (!is_empty(*e) && !is_key(*e)) {
    RepEntry* next = &search_path.repetition_table[i + 1];
    if (!is_key(*next) && !is_empty(*next)) return {false, -1};
    ++i;
    e = next;
  }
  if (is_key(*e)) {
    // Twice on the path, or three times counting the game.
    const int g = e->game_count < 2 ? e->game_count : 2;
    const int s = e->search_count;
    if (g == 0 || s >= 1 || g + 1 + s > 2) return {true, -1};
    ++e->search_count;
    return {false, static_cast<int32_t>(i)};
  }
  e->key_lo = key.lo;
  e->key_hi = key.hi;
  e->side = static_cast<uint8_t>(side ? 1 : 0);
  e->game_count = 0;
  e->search_count = 1;
  return {false, static_cast<int32_t>(i)};
}

void rep_leave(int32_t slot, KeyPair key) {
  if (slot < 0 || slot >= REPETITION_ENTRIES) return;
  RepEntry& e = search_path.repetition_table[slot];
  if (e.key_lo != key.lo || e.key_hi != key.hi) return;
  if (e.search_count > 0) --e.search_count;
  if (e.game_count == 0 && e.search_count == 0) e = RepEntry{};
}

int game_repetition_slots(int32_t* slots, int capacity) {
  const int last = pos.game_ply;
  if (last < 0 || last > GAME_MOVES_SIZE || last + 1 > capacity) return -1;
  const RepEntry* const table = search_path.repetition_table;
  if (!table) return 0;
  int n = 0;
  // The record's positions before a set-up position are empty: no key.
  for (int ply = 0; ply <= last; ++ply) {
    const GamePosition& g = game_record.game_positions[ply];
    if (g.key_lo == 0 && g.key_hi == 0) continue;
    const int32_t slot = static_cast<int32_t>(g.key_lo & REPETITION_MASK);
    if (table[slot].key_lo != 0 || table[slot].key_hi != 0) slots[n++] = slot;
  }
  return n;
}

void killer_update(int from, int to) {
  if (pos.ply < KILLER_MIN_PLY || pos.ply > search_path.nominal_depth) return;
  // The search never goes past its ply limit: the killer row exists.
  BREVALT_ASSERT(pos.ply < MAX_PLY);
  const uint8_t piece = pos.board[from];
  auto slot = [](int s) -> KillerEntry& { return search_path.killer_table[s][pos.ply]; };
  // Step 1. Already a killer?
  int found = -1;
  for (int s = 0; s < KILLER_LOOKUP_SLOTS; ++s) {
    const KillerEntry& k = slot(s);
    if (k.from == NO_SQUARE) break;
    if (k.from == from && k.to == to && k.piece == piece) {
      found = s;
      break;
    }
  }
  if (found < 0) {
    // Step 2. A new killer pushes the others down; the last slot is lost.
    for (int s = KILLER_SLOTS - 1; s > 0; --s) slot(s) = slot(s - 1);
    slot(0) = KillerEntry{static_cast<uint8_t>(from), static_cast<uint8_t>(to), piece, {}};
  } else {
    // Step 3. A known killer moves to the front.
    KillerEntry t = slot(0);
    slot(0) = slot(found);
    slot(found) = t;
  }
}

void history_add(int from, int to, int piece, int32_t amount) {
  const int i = ((from & 63) << 10) | ((to & 63) << 4) | (piece & 15);
  search_path.history_table[i] += amount;
}

void clear_transposition_tables() {
  // The helper threads read the epoch at every probe: they are parked first.
  BREVALT_ASSERT(!helpers_searching());
  if (++shared_tables.tt_epoch != 0) return;
  for (int s = 0; s < 2; ++s) {
    if (shared_tables.transposition_table[s])
      std::memset(shared_tables.transposition_table[s], 0, sizeof(TtSlot) * static_cast<size_t>(shared_tables.tt_entries));
    if (shared_tables.always_replace_table[s])
      std::memset(shared_tables.always_replace_table[s], 0, sizeof(TtSlot) * static_cast<size_t>(shared_tables.tt_entries));
  }
}

int hashfull() {
  // An entry counts when it is not empty and not stale by the store's own
  // test (step 1 of tt_store): within one search the count only grows,
  // since a store either fills an empty or stale entry or overwrites one
  // that counts with another that does.
  const int32_t per_table = shared_tables.tt_mask + 1 < HASHFULL_SAMPLE / 2 ? static_cast<int32_t>(shared_tables.tt_mask + 1) : HASHFULL_SAMPLE / 2;
  const int id = search_path.search_id;
  int32_t live = 0;
  for (int s = 0; s < 2; ++s) {
    if (!shared_tables.transposition_table[s]) continue;
    for (int32_t i = 0; i < per_table; ++i) {
      const TtEntry e = tt_load(shared_tables.transposition_table[s][i]);
      if (!empty(e) && !(e.age < id - STALE_AGE)) ++live;
    }
  }
  return static_cast<int>(live * 1000 / (2 * per_table));
}

}  // namespace brevalt

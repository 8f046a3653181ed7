// The tables the search remembers between nodes: the transposition tables
// (a depth-preferred and an always-replace table per side to move), the
// repetition table, the killer slots and the history counters.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "core/search_state.h"

namespace brevalt {

// One transposition entry as the search reads and writes it; empty when
// both key halves are 0.
struct TtEntry {
  uint32_t key_lo;
  uint32_t key_hi;
  int16_t score;   // side-to-move view, within +-9000
  uint16_t move;   // from * 256 + to; 0 = none
  uint8_t age;     // search_id of the storing search
  int8_t depth;    // remaining depth of the storing node
  uint8_t bound;   // 1 exact, 2 lower, 3 upper
  uint8_t clear_epoch;  // the clear it was written after; older entries read as empty
};
static_assert(sizeof(TtEntry) == 16);

// One transposition entry as the tables hold it, shared by every search
// thread: two 64-bit words, the data (score, move, age, depth, bound,
// epoch) and the key XOR-ed with the data. Each word is read and written
// whole with a relaxed atomic access, so threads never race on it; an
// entry whose words come from two different writes gives a key that
// matches neither position, and reads as another position's entry. Zeroed
// memory is the empty entry.
struct TtSlot {
  uint64_t check;
  uint64_t data;
};
static_assert(sizeof(TtSlot) == sizeof(TtEntry));

// The entry a slot holds.
TtEntry tt_load(const TtSlot& slot);
// Writes an entry into a slot.
void tt_save(TtSlot& slot, const TtEntry& e);

// Bounds of a stored score.
constexpr uint8_t BOUND_EXACT = 1;
constexpr uint8_t BOUND_LOWER = 2;
constexpr uint8_t BOUND_UPPER = 3;

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

// The transposition tables, shared by every search thread: their size,
// index mask and storage. Written at start-up and on a resize (size and
// storage) and by the clears, while no search runs, and by every search
// thread (entries, through tt_save); read by every search thread, the
// output lines (hashfull) and the front end (the size it reports).
struct SharedTables {
  // Entry counts and index masks chosen at start-up from the hash-size setting.
  int32_t tt_entries{};
  uint32_t tt_mask = 0x7FFFF;
  // Depth-preferred and always-replace tables, [0] White to move, [1] Black.
  TtSlot* transposition_table[2]{};
  TtSlot* always_replace_table[2]{};
  // Clearing the four tables (tens of megabytes) at every new game, undo and
  // ponder miss cost more than some searches: a clear now only moves the
  // epoch on, and an entry written before it reads as the empty entry, all
  // fields zero. Only when the epoch comes round again are the tables wiped.
  // Changed only while no search thread runs.
  uint8_t tt_epoch{};
};

extern SharedTables shared_tables;

#ifndef BREVALT_SMALL_TABLES
constexpr int32_t REPETITION_ENTRIES = 265000;
constexpr uint32_t REPETITION_MASK = 0x3FFFF;
#else
// The fuzz build: the same probes over a table small enough to clear for
// every input (and crowded enough to reach the full-slot paths).
constexpr int32_t REPETITION_ENTRIES = 4100;
constexpr uint32_t REPETITION_MASK = 0xFFF;
#endif

// The history counters are in core/search_state.h: the move generator
// orders quiet moves by them.

// True when every square strictly between from and to on their common rank,
// file or diagonal is empty (adjacent squares are always clear). Guards the
// slider moves taken from the tables; false when the squares share no line.
bool path_clear(int from, int to);

// What a probe of the transposition tables found.
struct TtProbe {
  bool cut;       // the stored bound ends the node with `score`
  int32_t score;
  int32_t alpha;  // alpha, raised by a usable lower bound
  int from, to;   // the stored move, NO_SQUARE when none
};

// Probes both tables of the side (0 White, 8 Black) for the current
// position with remaining depth r and the window (alpha, beta).
TtProbe tt_probe(int side, int r, int32_t alpha, int32_t beta);
// The stored move only, the depth-preferred table first; from = NO_SQUARE when none.
TtProbe tt_move(int side);
// Stores a result for the current position (the caller has already
// excluded mate scores, draws, stops and positions in check).
void tt_store(int side, int32_t result, int r, int bound, int from, int to);

// Where the node search registered its position, and whether it repeats.
struct RepVisit {
  bool repeated;
  int32_t slot;  // -1 when nothing was registered
};
// Registers the position with the side-adjusted key on the search path.
RepVisit rep_enter(KeyPair key, int side);
// Takes the node's registration back when it returns.
void rep_leave(int32_t slot, KeyPair key);

// The repetition slots of this thread's table that hold the game's
// entries, found from the positions of the game record (the game's entries
// lie each in the one slot its key names; a slot may be listed twice when
// a position occurred twice). Between searches the table holds nothing
// else. Writes at most `capacity` slots and returns their number, or -1
// when the record does not cover the game (a game longer than the record,
// more positions than `capacity`): then only the whole table will do.
int game_repetition_slots(int32_t* slots, int capacity);

// Asks for the lines a node search of the position with key lo, side to
// move `side`, will read first: its repetition slot and its slots in both
// transposition tables. Only a hint; it reads and changes nothing.
void prefetch_node_entries(uint32_t lo, int side);

// Empties the four transposition tables.
void clear_transposition_tables();
// How full the transposition tables are, in thousandths, as UCI's
// "hashfull" reports it: of the first entries of the two depth-preferred
// tables, those that hold a position stored since the last clear by this
// search or one of the few before it (the entries a store does not give up
// first). The index is the key's low bits, so the first entries are as
// full as the rest. Reads a few thousand bytes; never called by the search.
int hashfull();
// A quiet move that refuted the node at ply becomes its first killer.
void killer_update(int from, int to);
// Rewards a quiet move that failed high or raised alpha.
void history_add(int from, int to, int piece, int32_t amount);

}  // namespace brevalt

// The search's memory: transposition probe and store, the repetition walk
// along the path, killer slots and the line test for table moves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/position.h"
#include "board/reset.h"
#include "core/types.h"
#include "frontend/mainloop.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
std::string name_of(int s) {
  if (s > 63) return "none";
  return std::string{static_cast<char>('a' + s % 8), static_cast<char>('1' + s / 8)};
}

// Tables emptied before and after; the index mask matches the test's
// table size (the smallest), so that a probe's three slots stay inside it.
class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_mask_ = shared_tables.tt_mask;
    shared_tables.tt_mask = 0x3FFFF;
    ASSERT_GE(shared_tables.tt_entries, static_cast<int32_t>(shared_tables.tt_mask) + 3);
    start_new_game();
  }
  void TearDown() override {
    start_new_game();
    shared_tables.tt_mask = saved_mask_;
  }
  // The current position's key as the tables see it.
  static void key(uint32_t lo, uint32_t hi) {
    pos.hash_lo = lo;
    pos.hash_hi = hi;
  }
  uint32_t saved_mask_ = 0;
};

// Keys that all start at the same depth-preferred slot.
constexpr uint32_t BASE = 0x12345;
constexpr uint32_t STRIDE = 0x40000;

using Transposition = Tables;

TEST_F(Transposition, ExactResultCutsOnlyInTheSearchThatStoredIt) {
  search_path.search_id = 5;
  key(BASE, 0xABCDEF01);
  tt_store(0, 50, 4, BOUND_EXACT, sq("e2"), sq("e4"));
  TtProbe p = tt_probe(0, 3, -100, 100);
  EXPECT_TRUE(p.cut);
  EXPECT_EQ(p.score, 50);
  // The next search gets the move only.
  search_path.search_id = 6;
  p = tt_probe(0, 3, -100, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.alpha, -100);
  EXPECT_EQ(p.from, sq("e2"));
  EXPECT_EQ(p.to, sq("e4"));
  // Not deep enough: the move only, also in the storing search.
  search_path.search_id = 5;
  p = tt_probe(0, 5, -100, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.from, sq("e2"));
  // The other side to move has nothing.
  p = tt_probe(BLACK, 3, -100, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.from, NO_SQUARE);
  // Nor has another key on the same slot.
  key(BASE + STRIDE, 0xABCDEF01);
  p = tt_probe(0, 3, -100, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.from, NO_SQUARE);
}

TEST_F(Transposition, LowerBoundRaisesAlphaOrCuts) {
  search_path.search_id = 2;
  key(BASE, 7);
  tt_store(BLACK, 30, 5, BOUND_LOWER, sq("g8"), sq("f6"));
  TtProbe p = tt_probe(BLACK, 3, 0, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.alpha, 30);
  EXPECT_EQ(p.from, sq("g8"));
  EXPECT_EQ(p.to, sq("f6"));
  // At beta it cuts, with beta.
  p = tt_probe(BLACK, 3, 0, 30);
  EXPECT_TRUE(p.cut);
  EXPECT_EQ(p.score, 30);
  // Below alpha it says nothing.
  p = tt_probe(BLACK, 3, 40, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.alpha, 40);
  // In a later search too: only exact results are tied to their search.
  search_path.search_id = 3;
  p = tt_probe(BLACK, 3, 0, 100);
  EXPECT_EQ(p.alpha, 30);
}

TEST_F(Transposition, UpperBoundCutsAtAlphaAndHasNoMove) {
  search_path.search_id = 2;
  key(BASE, 7);
  tt_store(0, 30, 5, BOUND_UPPER, sq("g1"), sq("f3"));
  TtProbe p = tt_probe(0, 5, 40, 100);
  EXPECT_TRUE(p.cut);
  EXPECT_EQ(p.score, 40);
  p = tt_probe(0, 5, 20, 100);
  EXPECT_FALSE(p.cut);
  EXPECT_EQ(p.alpha, 20);
  EXPECT_EQ(p.from, NO_SQUARE);
}

TEST_F(Transposition, DeeperResultKeepsItsSlot) {
  search_path.search_id = 4;
  key(BASE, 9);
  tt_store(0, 10, 6, BOUND_EXACT, sq("d2"), sq("d4"));
  tt_store(0, 20, 3, BOUND_EXACT, sq("c2"), sq("c4"));
  // The depth-preferred entry is looked at first and is deep enough.
  TtProbe p = tt_probe(0, 5, -100, 100);
  EXPECT_TRUE(p.cut);
  EXPECT_EQ(p.score, 10);
  const TtEntry latest = tt_load(shared_tables.always_replace_table[0][BASE]);
  EXPECT_EQ(latest.score, 20);
  EXPECT_EQ(latest.depth, 3);
}

TEST_F(Transposition, ThreeSlotsOfThisSearchLeaveOnlyTheAlwaysReplaceTable) {
  search_path.search_id = 9;
  for (uint32_t k = 0; k < 3; ++k) {
    key(BASE + k * STRIDE, 100 + k);
    tt_store(0, static_cast<int32_t>(k), 4, BOUND_EXACT, sq("a2"), sq("a3"));
  }
  for (uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE + k]).key_lo, BASE + k * STRIDE) << k;
    EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE + k]).key_hi, 100 + k) << k;
  }
  key(BASE + 3 * STRIDE, 103);
  tt_store(0, 77, 8, BOUND_EXACT, sq("h2"), sq("h4"));
  for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE + k]).key_hi, 100 + k) << k;
  EXPECT_EQ(tt_load(shared_tables.always_replace_table[0][BASE]).key_hi, 103u);
  TtProbe p = tt_probe(0, 8, -100, 100);
  EXPECT_TRUE(p.cut);
  EXPECT_EQ(p.score, 77);
  // The first three are still found.
  for (uint32_t k = 0; k < 3; ++k) {
    key(BASE + k * STRIDE, 100 + k);
    EXPECT_EQ(tt_move(0).from, sq("a2")) << k;
  }
}

TEST_F(Transposition, SlotsOfEarlierSearchesAreTakenOver) {
  search_path.search_id = 9;
  for (uint32_t k = 0; k < 3; ++k) {
    key(BASE + k * STRIDE, 100 + k);
    tt_store(0, static_cast<int32_t>(k), 4, BOUND_EXACT, sq("a2"), sq("a3"));
  }
  search_path.search_id = 10;
  key(BASE + 3 * STRIDE, 103);
  tt_store(0, 77, 8, BOUND_EXACT, sq("h2"), sq("h4"));
  EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE]).key_hi, 103u);
  EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE]).depth, 8);
  EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE + 1]).key_hi, 101u);
  EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE + 2]).key_hi, 102u);
}

// A clear empties the tables as far as any probe or store can tell, also
// when the count of clears comes round (the tables are then really wiped).
TEST_F(Transposition, ClearedTablesReadAsEmpty) {
  for (int clears : {1, 255, 256, 257}) {
    search_path.search_id = 9;
    for (uint32_t k = 0; k < 3; ++k) {
      key(BASE + k * STRIDE, 100 + k);
      tt_store(0, static_cast<int32_t>(k), 4, BOUND_EXACT, sq("a2"), sq("a3"));
    }
    for (int i = 0; i < clears; ++i) clear_transposition_tables();
    for (uint32_t k = 0; k < 3; ++k) {
      key(BASE + k * STRIDE, 100 + k);
      EXPECT_EQ(tt_move(0).from, NO_SQUARE) << clears;
      EXPECT_FALSE(tt_probe(0, 0, -100, 100).cut) << clears;
    }
    // With all three slots taken by this search a shallow result would only
    // reach the always-replace table; in emptied tables it takes the first.
    key(BASE + 3 * STRIDE, 103);
    tt_store(0, 5, 1, BOUND_EXACT, sq("h2"), sq("h4"));
    EXPECT_EQ(tt_move(0).from, sq("h2")) << clears;
    EXPECT_EQ(tt_load(shared_tables.transposition_table[0][BASE]).key_hi, 103u) << clears;
  }
}

// hashfull: of the first 500 entries of each depth-preferred table, the
// share in thousandths that holds a position stored since the last clear
// by this search or one of the three before it. Entries further on are
// not looked at, and only the depth-preferred tables count.
TEST_F(Transposition, HashfullCountsRecentEntriesAtTheStartOfTheTables) {
  EXPECT_EQ(hashfull(), 0);
  search_path.search_id = 20;
  // 100 entries at slots 0..99 for White to move, 50 at 200..249 for
  // Black, and 30 past the sampled slots.
  for (uint32_t i = 0; i < 100; ++i) {
    key(i, 1000 + i);
    tt_store(0, 0, 3, BOUND_LOWER, sq("e2"), sq("e4"));
  }
  for (uint32_t i = 200; i < 250; ++i) {
    key(i, 1000 + i);
    tt_store(BLACK, 0, 3, BOUND_LOWER, sq("e7"), sq("e5"));
  }
  for (uint32_t i = 600; i < 630; ++i) {
    key(i, 1000 + i);
    tt_store(0, 0, 3, BOUND_LOWER, sq("e2"), sq("e4"));
  }
  EXPECT_EQ(hashfull(), 150);
  // Three searches later they still count; four later they are stale.
  search_path.search_id = 23;
  EXPECT_EQ(hashfull(), 150);
  search_path.search_id = 24;
  EXPECT_EQ(hashfull(), 0);
  // A fresh entry among the stale ones counts, and a clear empties them all.
  key(7, 5);
  tt_store(BLACK, 0, 3, BOUND_LOWER, sq("e7"), sq("e5"));
  EXPECT_EQ(hashfull(), 1);
  search_path.search_id = 20;
  clear_transposition_tables();
  EXPECT_EQ(hashfull(), 0);
}

using Repetition = Tables;

KeyPair rkey(uint32_t lo, uint32_t hi) { return KeyPair{lo, hi}; }

TEST_F(Repetition, NewPositionIsRegisteredOnThePath) {
  const KeyPair k = rkey(BASE, 5);
  RepVisit v = rep_enter(k, BLACK);
  EXPECT_FALSE(v.repeated);
  ASSERT_EQ(v.slot, static_cast<int32_t>(BASE));
  const RepEntry& e = search_path.repetition_table[BASE];
  EXPECT_EQ(e.key_lo, BASE);
  EXPECT_EQ(e.key_hi, 5u);
  EXPECT_EQ(e.search_count, 1);
  EXPECT_EQ(e.game_count, 0);
  EXPECT_EQ(e.side, 1);
  // The same position again on the path is a repetition.
  EXPECT_TRUE(rep_enter(k, BLACK).repeated);
  // Leaving takes the registration back and frees the slot.
  rep_leave(v.slot, k);
  EXPECT_EQ(search_path.repetition_table[BASE].key_lo, 0u);
  EXPECT_EQ(search_path.repetition_table[BASE].key_hi, 0u);
  EXPECT_FALSE(rep_enter(k, BLACK).repeated);
}

TEST_F(Repetition, GamePositionsCountTowardsThree) {
  // Once in the game: the first visit on the path is allowed, the second repeats.
  RepEntry& once = search_path.repetition_table[BASE];
  once = RepEntry{BASE, 5, 0, 1, 0, {}};
  RepVisit v = rep_enter(rkey(BASE, 5), 0);
  EXPECT_FALSE(v.repeated);
  EXPECT_EQ(v.slot, static_cast<int32_t>(BASE));
  EXPECT_EQ(once.search_count, 1);
  EXPECT_TRUE(rep_enter(rkey(BASE, 5), 0).repeated);
  rep_leave(v.slot, rkey(BASE, 5));
  // A game position stays registered after the search has left it.
  EXPECT_EQ(once.key_lo, BASE);
  EXPECT_EQ(once.game_count, 1);
  EXPECT_EQ(once.search_count, 0);
  // Twice in the game: a repetition at once.
  RepEntry& twice = search_path.repetition_table[BASE + 7];
  twice = RepEntry{BASE + 7, 6, 0, 2, 0, {}};
  EXPECT_TRUE(rep_enter(rkey(BASE + 7, 6), 0).repeated);
  EXPECT_EQ(twice.search_count, 0);
}

TEST_F(Repetition, OccupiedSlotsAreNeverTakenOver) {
  RepEntry& first = search_path.repetition_table[BASE];
  first = RepEntry{BASE, 1, 0, 1, 0, {}};
  // The next slot takes a second position of the same index.
  RepVisit v = rep_enter(rkey(BASE + STRIDE, 2), 0);
  EXPECT_FALSE(v.repeated);
  EXPECT_EQ(v.slot, static_cast<int32_t>(BASE + 1));
  // A third finds both taken: not registered, nothing overwritten.
  RepVisit w = rep_enter(rkey(BASE + 2 * STRIDE, 3), 0);
  EXPECT_FALSE(w.repeated);
  EXPECT_EQ(w.slot, -1);
  EXPECT_EQ(first.key_hi, 1u);
  EXPECT_EQ(first.game_count, 1);
  EXPECT_EQ(search_path.repetition_table[BASE + 1].key_hi, 2u);
  EXPECT_EQ(search_path.repetition_table[BASE + 2].key_lo, 0u);
  // Leaving with the wrong key (or no slot) changes nothing.
  rep_leave(v.slot, rkey(BASE + 2 * STRIDE, 3));
  EXPECT_EQ(search_path.repetition_table[BASE + 1].search_count, 1);
  rep_leave(-1, rkey(BASE, 1));
  EXPECT_EQ(first.key_hi, 1u);
  rep_leave(v.slot, rkey(BASE + STRIDE, 2));
  EXPECT_EQ(search_path.repetition_table[BASE + 1].key_lo, 0u);
}

TEST_F(Tables, KillerMovesToTheFrontAndSwapsWithTheOldFirst) {
  ASSERT_TRUE(testing::set_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
  reset_search_state();
  search_path.nominal_depth = 6;
  pos.ply = 4;
  killer_update(sq("g1"), sq("f3"));
  killer_update(sq("b1"), sq("c3"));
  killer_update(sq("e2"), sq("e4"));
  auto slot = [](int s) { return name_of(search_path.killer_table[s][4].from); };
  EXPECT_EQ(slot(0), "e2");
  EXPECT_EQ(slot(1), "b1");
  EXPECT_EQ(slot(2), "g1");
  EXPECT_EQ(search_path.killer_table[3][4].from, NO_SQUARE);
  killer_update(sq("g1"), sq("f3"));
  EXPECT_EQ(slot(0), "g1");
  EXPECT_EQ(slot(1), "b1");
  EXPECT_EQ(slot(2), "e2");
  EXPECT_EQ(search_path.killer_table[0][4].piece, KNIGHT);
  // Only plies 3 up to the nominal depth keep killers.
  for (int p : {2, 7}) {
    pos.ply = static_cast<int16_t>(p);
    killer_update(sq("d2"), sq("d4"));
    EXPECT_EQ(search_path.killer_table[0][p].from, NO_SQUARE) << p;
  }
  pos.ply = 3;
  killer_update(sq("d2"), sq("d4"));
  EXPECT_EQ(search_path.killer_table[0][3].from, sq("d2"));
  pos.ply = 0;
}

TEST_F(Tables, PathClearLooksAtTheSquaresBetween) {
  ASSERT_TRUE(testing::set_position("k7/8/8/8/8/8/8/7K w - - 0 1"));
  std::memset(pos.board, 0, sizeof(pos.board));
  sync_piece_sets();
  EXPECT_TRUE(path_clear(sq("a1"), sq("h8")));
  EXPECT_TRUE(path_clear(sq("h8"), sq("a1")));
  for (const char* between : {"b2", "c3", "d4", "e5", "f6", "g7"}) {
    pos.board[sq(between)] = PAWN;
    sync_piece_sets();
    EXPECT_FALSE(path_clear(sq("a1"), sq("h8"))) << between;
    EXPECT_FALSE(path_clear(sq("h8"), sq("a1"))) << between;
    pos.board[sq(between)] = EMPTY;
    sync_piece_sets();
  }
  // The end squares themselves do not count.
  pos.board[sq("a1")] = ROOK;
  pos.board[sq("h8")] = ROOK + BLACK;
  sync_piece_sets();
  EXPECT_TRUE(path_clear(sq("a1"), sq("h8")));
  // Ranks and files.
  EXPECT_TRUE(path_clear(sq("a1"), sq("a8")));
  pos.board[sq("a5")] = KNIGHT;
  sync_piece_sets();
  EXPECT_FALSE(path_clear(sq("a1"), sq("a8")));
  EXPECT_TRUE(path_clear(sq("a5"), sq("a8")));
  EXPECT_TRUE(path_clear(sq("h1"), sq("b1")));
  // Neighbours are always clear, squares off a line never.
  std::memset(pos.board, KNIGHT, sizeof(pos.board));
  sync_piece_sets();
  EXPECT_TRUE(path_clear(sq("d4"), sq("e5")));
  EXPECT_TRUE(path_clear(sq("d4"), sq("d5")));
  EXPECT_TRUE(path_clear(sq("h8"), sq("g8")));
  std::memset(pos.board, 0, sizeof(pos.board));
  sync_piece_sets();
  EXPECT_FALSE(path_clear(sq("a1"), sq("b3")));
  EXPECT_FALSE(path_clear(sq("a1"), sq("h7")));
  EXPECT_FALSE(path_clear(sq("e4"), sq("e4")));
}

}  // namespace
}  // namespace brevalt

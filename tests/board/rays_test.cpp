// The ray masks are a shortcut through the move file's lists: with them the
// exchange, the attack test and the quiescence captures must see exactly
// what the list walk sees, and lists that a mask cannot stand for must turn
// the shortcut off.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "board/movegen.h"
#include "board/rays.h"
#include "board_test_util.h"
#include "core/search_state.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

using testing::pop_ply;
using testing::push_ply;

// Positions rich in exchanges: x-rays on files and diagonals, pawns in front
// of bishops, knights of both colours on one square, kings next to targets,
// promotions and en passant in reach.
const char* const kPositions[] = {
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R b K - 1 8",
    "2rr2k1/1b3ppp/pq2pn2/1p1n4/3N4/P1N1B1P1/1PQ2PBP/2RR2K1 w - - 0 20",
    "4k3/1P6/8/3pP3/8/2n1n3/3Q4/R3K2R w KQ d6 0 1",
    "r2q1rk1/pp2ppbp/1np2np1/2Q3B1/3PP1b1/2N2N2/PP3PPP/3RKB1R b K - 3 11",
};

// One generated row, field by field.
std::vector<MoveEntry> row_copy(int n) {
  return std::vector<MoveEntry>(pos.move_list[pos.ply], pos.move_list[pos.ply] + n);
}

bool same_rows(const std::vector<MoveEntry>& a, const std::vector<MoveEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].from != b[i].from || a[i].to != b[i].to || a[i].piece != b[i].piece || a[i].key != b[i].key)
      return false;
  return true;
}

class RayMaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(brevalt::testing::set_position(kPositions[0]));
    ASSERT_TRUE(ray_masks_ready) << "the shipped move file must fit the masks";
  }
  void TearDown() override {
    build_ray_masks();
    search_path.quiescence_mode = 0;
    search_path.horizon_qs = 0;
    pos.ply = 0;
  }

  // A query's answer with the masks and with the list walk.
  template <typename Query>
  static std::pair<int, int> both_walks(Query query) {
    ray_masks_ready = true;
    const int by_masks = query();
    ray_masks_ready = false;
    const int by_lists = query();
    ray_masks_ready = true;
    return {by_masks, by_lists};
  }

  // Compares the two walks in the current position: the exchange on every
  // occupied square, the attack test on every square by either colour, and
  // the quiescence, full and evasion rows of the side to move.
  void compare_walks(int side, const char* where) {
    for (int s = 0; s < 64; ++s) {
      if (pos.board[s] != EMPTY) {
        const auto [by_masks, by_lists] = both_walks([s] { return exchange_loss(s); });
        EXPECT_EQ(by_masks, by_lists) << where << ", square " << testing::square_name(s);
      }
      for (int32_t colour = 0; colour < 2; ++colour) {
        const int32_t list[3] = {colour, s, END_OF_LIST};
        const auto [by_masks, by_lists] = both_walks([&list] { return square_attacked(list); });
        EXPECT_EQ(by_masks, by_lists) << where << ", attacks on " << testing::square_name(s);
        attacked_seen += by_masks;
      }
    }
    // Deeper quiescence rows (captures only), then the first row from the
    // horizon, which also holds the safe quiet checks.
    for (int horizon = 0; horizon < 2; ++horizon) {
      search_path.quiescence_mode = 1;
      search_path.horizon_qs = static_cast<int16_t>(horizon);
      search_path.first_qs_generation = 0;
      const std::vector<MoveEntry> by_masks = row_copy(generate_moves(side, GenMode::regular));
      ray_masks_ready = false;
      const std::vector<MoveEntry> by_lists = row_copy(generate_moves(side, GenMode::regular));
      ray_masks_ready = true;
      search_path.quiescence_mode = 0;
      search_path.horizon_qs = 0;
      EXPECT_TRUE(same_rows(by_masks, by_lists)) << where << (horizon ? ": horizon" : ": quiescence") << " rows differ";
      if (horizon)
        for (const MoveEntry& e : by_masks) quiet_checks_seen += pos.board[e.to] == EMPTY;
    }
    // Full rows, whose capture keys come from exchanges after an imagined
    // move, and evasion rows, whose king steps are tested the same way.
    for (const GenMode mode : {GenMode::regular, GenMode::evasions}) {
      const std::vector<MoveEntry> by_masks = row_copy(generate_moves(side, mode));
      ray_masks_ready = false;
      const std::vector<MoveEntry> by_lists = row_copy(generate_moves(side, mode));
      ray_masks_ready = true;
      EXPECT_TRUE(same_rows(by_masks, by_lists))
          << where << (mode == GenMode::evasions ? ": evasion" : ": full") << " rows differ";
    }
  }
  int quiet_checks_seen = 0;
  int attacked_seen = 0;
};

// Every position two plies deep from each start, both walks side by side.
TEST_F(RayMaskTest, ExchangesAttacksAndMoveRowsMatchTheListWalk) {
  int compared = 0;
  for (const char* fen : kPositions) {
    ASSERT_TRUE(brevalt::testing::set_position(fen)) << fen;
    testing::set_root_check_state();
    const int side = testing::side_to_move();
    compare_walks(side, fen);
    const std::vector<LegalMove> first = testing::legal_moves_now(side);
    push_ply();
    for (const LegalMove& m : first) {
      if (!apply_search_move(m.from, m.to, MoveSource::generated).legal) continue;
      compare_walks(side ^ BLACK, fen);
      const std::vector<LegalMove> second = testing::legal_moves_now(side ^ BLACK);
      push_ply();
      for (const LegalMove& r : second) {
        if (!apply_search_move(r.from, r.to, MoveSource::generated).legal) continue;
        compare_walks(side, fen);
        ++compared;
        unmake_move(Unmake::full);
      }
      pop_ply();
      unmake_move(Unmake::full);
    }
    pop_ply();
  }
  EXPECT_GT(compared, 3000);
  EXPECT_GT(quiet_checks_seen, 0);
  EXPECT_GT(attacked_seen, 0);
}

// Lists a mask cannot stand for: a ray that turns back on itself, a square
// named twice, more rays than a square can hold. Each turns the masks off;
// the shipped lists turn them on again.
TEST_F(RayMaskTest, ListsTheMasksCannotHoldTurnThemOff) {
  const uint8_t turning_ray[] = {27, 36, 45, 18, RAY_BREAK, 9, END_OF_LIST};
  const uint8_t repeated_square[] = {10, RAY_BREAK, 17, RAY_BREAK, 10, END_OF_LIST};
  const uint8_t too_many_rays[] = {1, RAY_BREAK, 2, RAY_BREAK, 3, RAY_BREAK, 4, RAY_BREAK, 5,
                                   RAY_BREAK, 6, RAY_BREAK, 7, RAY_BREAK, 8, RAY_BREAK, 9, END_OF_LIST};
  const uint8_t* const odd[] = {turning_ray, repeated_square, too_many_rays};
  for (const uint8_t* list : odd) {
    const uint8_t* saved = bishop_rays[0];
    bishop_rays[0] = list;
    build_ray_masks();
    bishop_rays[0] = saved;
    EXPECT_FALSE(ray_masks_ready);
  }
  build_ray_masks();
  EXPECT_TRUE(ray_masks_ready);
}

}  // namespace
}  // namespace brevalt

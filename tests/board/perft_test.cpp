// Perft against the published node counts of the standard test positions,
// at depths where no promotion occurs (the engine counts a promotion once,
// as a queen, so deeper published figures do not apply). The walk goes
// through generate_legal_moves, apply_search_move and unmake_move.
#include <gtest/gtest.h>

#include "search/perft.h"
#include "board_test_util.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

using testing::Snapshot;

struct Published {
  const char* fen;
  int depth;
  uint64_t nodes;
};

// Published perft figures (chessprogramming.org "Perft Results").
constexpr const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
constexpr const char* POSITION_3 = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
constexpr const char* POSITION_6 =
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";

// Counts one published figure and checks that the walk put everything back.
void expect_perft(const Published& p) {
  ASSERT_TRUE(brevalt::testing::set_position(p.fen)) << p.fen;
  const Snapshot before = Snapshot::take();
  EXPECT_EQ(perft(p.depth), p.nodes) << p.fen << " depth " << p.depth;
  // The walk leaves the position as it found it.
  EXPECT_EQ(Snapshot::take().difference(before), "");
  EXPECT_EQ(pos.ply, 0);
  EXPECT_EQ(pos.state_top, &pos.state_stack[0]);
}

TEST(Perft, StartPositionShallow) {
  for (const Published& p : {Published{START, 1, 20}, Published{START, 2, 400},
                             Published{START, 3, 8902}, Published{START, 4, 197281}})
    expect_perft(p);
}

// About 4.9 million leaves: a second or two in a debug or sanitizer build.
TEST(Perft, StartPositionDepth5) { expect_perft({START, 5, 4865609}); }

TEST(Perft, Kiwipete) {
  for (const Published& p : {Published{KIWIPETE, 1, 48}, Published{KIWIPETE, 2, 2039},
                             Published{KIWIPETE, 3, 97862}})
    expect_perft(p);
}

TEST(Perft, Position3RankPinsAndEnPassant) {
  for (const Published& p : {Published{POSITION_3, 1, 14}, Published{POSITION_3, 2, 191},
                             Published{POSITION_3, 3, 2812}, Published{POSITION_3, 4, 43238},
                             Published{POSITION_3, 5, 674624}})
    expect_perft(p);
}

TEST(Perft, Position6) {
  for (const Published& p : {Published{POSITION_6, 1, 46}, Published{POSITION_6, 2, 2079},
                             Published{POSITION_6, 3, 89890}})
    expect_perft(p);
}

// The per-root-move breakdown of the tool adds up to the total.
TEST(Perft, DivideSumsToTotal) {
  ASSERT_TRUE(brevalt::testing::set_position(KIWIPETE));
  PerftRootMove moves[LEGAL_MOVES_SIZE];
  int count = 0;
  const uint64_t total = perft(2, moves, &count);
  EXPECT_EQ(total, 2039u);
  EXPECT_EQ(count, 48);
  uint64_t sum = 0;
  for (int i = 0; i < count; ++i) sum += moves[i].leaves;
  EXPECT_EQ(sum, total);
}

// Depth 0 is the position itself; beyond the table rows nothing is counted.
TEST(Perft, DepthLimits) {
  ASSERT_TRUE(brevalt::testing::set_position(START));
  EXPECT_EQ(perft(0), 1u);
  EXPECT_EQ(perft(PERFT_MAX_DEPTH + 1), 0u);
}

}  // namespace
}  // namespace brevalt

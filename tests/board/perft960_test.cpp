// Fischer random chess perft against the published suite of 960 positions
// (tests/board/data/chess960_perft.epd, its source named in its first
// line). The engine counts a promotion once, as a queen, and the suite
// counts all four: a position where a pawn could promote within four plies
// (a white pawn on the sixth or seventh rank, a black one on the third or
// second) is counted to depth 2 instead, and one where it could within two
// plies (a pawn on the seventh or second rank) is left out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board_test_util.h"
#include "core/control.h"
#include "search/perft.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

struct SuiteEntry {
  std::string fen;
  uint64_t nodes[7];  // nodes[d] for depth d = 1..6
};

std::vector<SuiteEntry> read_suite() {
  std::vector<SuiteEntry> suite;
  std::ifstream in(std::string(BREVALT_SOURCE_DIR) + "/tests/board/data/chess960_perft.epd");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    SuiteEntry e{};
    const size_t semi = line.find(';');
    e.fen = line.substr(0, semi);
    while (!e.fen.empty() && e.fen.back() == ' ') e.fen.pop_back();
    std::istringstream rest(line.substr(semi));
    std::string field;
    while (std::getline(rest, field, ';')) {
      int d = 0;
      unsigned long long n = 0;
      if (std::sscanf(field.c_str(), " D%d %llu", &d, &n) == 2 && d >= 1 && d <= 6) e.nodes[d] = n;
    }
    suite.push_back(e);
  }
  return suite;
}

// The first rank a pawn of that colour may promote from within `moves`
// of its own moves: no pawn nearer than that may stand on the board.
bool promotion_within(const std::string& fen, int moves) {
  int rank = 8;
  size_t i = 0;
  for (; i < fen.size() && fen[i] != ' '; ++i) {
    const char c = fen[i];
    if (c == '/') --rank;
    if (c == 'P' && rank >= 8 - moves) return true;
    if (c == 'p' && rank <= 1 + moves) return true;
  }
  return false;
}

// Depth 4 in optimised builds; the checked and sanitizer builds, some
// twenty times slower, count every position to depth 3.
#ifdef NDEBUG
constexpr int SUITE_DEPTH = 4;
#else
constexpr int SUITE_DEPTH = 3;
#endif

class Perft960 : public ::testing::Test {
 protected:
  void SetUp() override { control.chess960 = 1; }
  void TearDown() override { control.chess960 = 0; }
};

// Every position of the suite to depth 4, but those where a promotion could
// come within four plies (two moves a side), which go to depth 2.
TEST_F(Perft960, PublishedSuiteDepth4) {
  const std::vector<SuiteEntry> suite = read_suite();
  ASSERT_EQ(suite.size(), 960u);
  int full = 0;
  for (const SuiteEntry& e : suite) {
    ASSERT_TRUE(brevalt::testing::set_position(e.fen)) << e.fen;
    const int depth = promotion_within(e.fen, 2) ? 2 : SUITE_DEPTH;
    if (promotion_within(e.fen, 1) && depth == 2) continue;
    if (depth == SUITE_DEPTH) ++full;
    ASSERT_EQ(perft(depth), e.nodes[depth]) << e.fen << " depth " << depth;
  }
  // Nearly the whole suite runs at full depth.
  EXPECT_GT(full, 900);
}

}  // namespace
}  // namespace brevalt

// Start-up data: the shipped files load, and the reach table agrees with
// board geometry.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/position.h"

namespace brevalt {
namespace {

TEST(ReachTable, MatchesGeometry) {
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      int df = std::abs(file_of(a) - file_of(b)), dr = std::abs(rank_of(a) - rank_of(b));
      bool same = a == b;
      EXPECT_EQ(reach[KING][a][b], !same && df <= 1 && dr <= 1) << a << " " << b;
      EXPECT_EQ(reach[ROOK][a][b], !same && (df == 0 || dr == 0)) << a << " " << b;
      EXPECT_EQ(reach[BISHOP][a][b], !same && df == dr) << a << " " << b;
      EXPECT_EQ(reach[QUEEN][a][b], !same && (df == 0 || dr == 0 || df == dr));
      EXPECT_EQ(reach[KNIGHT][a][b], (df == 1 && dr == 2) || (df == 2 && dr == 1));
      bool white_pawn_square = rank_of(a) >= 1 && rank_of(a) <= 6;
      EXPECT_EQ(reach[6][a][b], white_pawn_square && df == 1 && rank_of(b) - rank_of(a) == 1);
      EXPECT_EQ(reach[7][a][b], white_pawn_square && df == 1 && rank_of(a) - rank_of(b) == 1);
    }
}

}  // namespace
}  // namespace brevalt

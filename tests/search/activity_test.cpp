// The piece activity term: points of single pieces worked out by hand from
// the centre-control rules (base, lines, pawn guards, batteries, enemy
// pieces, the queen's halving), the same for Black mirrored, pieces on the
// edges of the board, and the sum over both sides.
#include <gtest/gtest.h>

#include <string>

#include "board/position.h"
#include "search/activity.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

int square(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// activity_of for whatever stands on `name` in the position.
int points(const std::string& fen, const char* name) {
  EXPECT_TRUE(testing::set_position(fen)) << fen;
  const int s = square(name);
  return activity_of(pos.board[s], s);
}

class Activity : public ::testing::Test {
 protected:
  void TearDown() override { testing::set_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"); }
};

TEST_F(Activity, WhitePiecesOnAnEmptyBoard) {
  // Knight f3: d4 and e5 free, 2 x (3 + 3).
  EXPECT_EQ(points("k7/8/8/8/8/5N2/8/K7 w - -", "f3"), 12);
  // Rook d1 on the open d-file: d4 and d5, 2 x (3 + 3).
  EXPECT_EQ(points("k7/8/8/8/8/8/8/K2R4 w - -", "d1"), 12);
  // Rook a4: its rank runs through c4..f4 but rank rays never count.
  EXPECT_EQ(points("k7/8/8/8/R7/8/8/K7 w - -", "a4"), 0);
  // Bishop b2 on the long diagonal: d4 and e5.
  EXPECT_EQ(points("k7/8/8/8/8/8/1B6/7K w - -", "b2"), 12);
  // Pawn e4: standing in the centre 2, d5 and f5 attacked 3 each.
  EXPECT_EQ(points("k7/8/8/8/4P3/8/8/K7 w - -", "e4"), 16);
  // Pawn c3 attacks only one centre square (d4), pawn b3 only c4.
  EXPECT_EQ(points("k7/8/8/8/8/2P5/8/K7 w - -", "c3"), 6);
  EXPECT_EQ(points("k7/8/8/8/8/1P6/8/K7 w - -", "b3"), 6);
  // A pawn counts its attacked squares whatever stands on them.
  EXPECT_EQ(points("k7/8/8/3p1n2/4P3/8/8/K7 w - -", "e4"), 16);
}

TEST_F(Activity, KingScoresOnlyItsSquare) {
  EXPECT_EQ(points("k7/8/8/8/4K3/8/8/8 w - -", "e4"), 4);
  EXPECT_EQ(points("k7/8/8/8/4K3/8/8/8 w - -", "a8"), 0);
  EXPECT_EQ(points("k7/8/8/8/8/8/8/4K3 w - -", "e1"), 0);
  EXPECT_EQ(points("8/8/8/3k4/8/8/8/K7 w - -", "d5"), 4);
  // An empty square holds no piece: 0, even in the centre.
  EXPECT_EQ(activity_of(EMPTY, square("e4")), 0);
}

TEST_F(Activity, QueenTotalIsHalvedBeforeDoubling) {
  // Queen d3: d-file d4 and d5 (6), diagonals e4, f5 and c4 (9); rank rays
  // skipped. Total 15, halved to 7, doubled to 14 (not 15).
  EXPECT_EQ(points("7k/8/8/8/8/3Q4/8/K7 w - -", "d3"), 14);
  // Queen d1: the d-file only (6), halved to 3, doubled to 6.
  EXPECT_EQ(points("7k/8/8/8/8/8/8/K2Q4 w - -", "d1"), 6);
}

TEST_F(Activity, BlackPiecesMirrored) {
  EXPECT_EQ(points("K7/8/5n2/8/8/8/8/k7 b - -", "f6"), 12);
  EXPECT_EQ(points("3r4/8/8/8/8/8/8/K6k b - -", "d8"), 12);
  EXPECT_EQ(points("K7/8/8/4p3/8/8/8/k7 b - -", "e5"), 16);
  EXPECT_EQ(points("K7/8/3q4/8/8/8/8/7k b - -", "d6"), 14);
  EXPECT_EQ(points("K7/8/8/8/4k3/8/8/8 b - -", "e4"), 4);
}

TEST_F(Activity, SquaresGuardedByEnemyPawnsCountTwo) {
  // A black pawn on d6 guards e5: knight f3 gets 3 (d4) + 2 (e5).
  EXPECT_EQ(points("k7/8/3p4/8/8/5N2/8/K7 w - -", "f3"), 10);
  // ... and so does one on f6, from the other side.
  EXPECT_EQ(points("k7/8/5p2/8/8/5N2/8/K7 w - -", "f3"), 10);
  // The knight's own pawn on c3 guards d4 for White: no change.
  EXPECT_EQ(points("k7/8/8/8/8/2P2N2/8/K7 w - -", "f3"), 12);
  // Black knight f6, a white pawn on d3 guards e4: 3 (d5) + 2 (e4).
  EXPECT_EQ(points("K7/8/5n2/8/8/3P4/8/k7 b - -", "f6"), 10);
  // Black's own pawn on e6 guards d5 and f5, which means nothing to Black.
  EXPECT_EQ(points("K7/8/4pn2/8/8/8/8/k7 b - -", "f6"), 12);
  // Rook d1 with a black pawn on c6 guarding d5: 3 (d4) + 2 (d5).
  EXPECT_EQ(points("k7/8/2p5/8/8/8/8/K2R4 w - -", "d1"), 10);
}

TEST_F(Activity, OwnPiecesOnALine) {
  // A bishop on d4 in front of the rook: 2 for the battery square, the
  // ray goes on to d5 (3).
  EXPECT_EQ(points("k7/8/8/8/3B4/8/8/K2R4 w - -", "d1"), 10);
  // A knight on d2 is passed through (no points outside the centre) ...
  EXPECT_EQ(points("k7/8/8/8/8/8/3N4/K2R4 w - -", "d1"), 12);
  // ... and then the bishop on d4 is the second own piece: the ray stops.
  EXPECT_EQ(points("k7/8/8/8/3B4/8/3N4/K2R4 w - -", "d1"), 0);
  // Pawns of either colour block at once and score nothing.
  EXPECT_EQ(points("k7/8/8/8/3P4/8/8/K2R4 w - -", "d1"), 0);
  EXPECT_EQ(points("k7/8/8/3p4/8/8/8/K2R4 w - -", "d1"), 6);
}

TEST_F(Activity, EnemyPiecesOnALine) {
  // A black knight on d5 is worth less than the rook: 3 (d4) + 2.
  EXPECT_EQ(points("k7/8/8/3n4/8/8/8/K2R4 w - -", "d1"), 10);
  // A black rook or queen on d5 is worth at least as much: 3 + 4.
  EXPECT_EQ(points("k7/8/8/3r4/8/8/8/K2R4 w - -", "d1"), 14);
  EXPECT_EQ(points("k7/8/8/3q4/8/8/8/K2R4 w - -", "d1"), 14);
  // An enemy piece outside the centre blocks the ray and scores nothing.
  EXPECT_EQ(points("k7/8/8/8/8/3n4/8/K2R4 w - -", "d1"), 0);
  // Knight targets: an enemy rook on e5 2, the free d4 3.
  EXPECT_EQ(points("k7/8/8/4r3/8/5N2/8/K7 w - -", "f3"), 10);
  // An own bishop on d4 1, the free e5 3; a pawn on d4 0.
  EXPECT_EQ(points("k7/8/8/8/3B4/5N2/8/K7 w - -", "f3"), 8);
  EXPECT_EQ(points("k7/8/8/8/3p4/5N2/8/K7 w - -", "f3"), 6);
}

TEST_F(Activity, PiecesOnTheEdgesOfTheBoard) {
  // Queen a1: the long diagonal gives d4 and e5 (6), halved and doubled.
  EXPECT_EQ(points("1k6/8/8/8/8/8/8/Q6K w - -", "a1"), 6);
  // Bishop h1 sees e4 and d5; bishop a2 sees c4 and d5; bishop h3 only f5.
  EXPECT_EQ(points("1k6/8/8/8/8/8/8/K6B w - -", "h1"), 12);
  EXPECT_EQ(points("k7/8/8/8/8/8/B7/7K w - -", "a2"), 12);
  EXPECT_EQ(points("k7/8/8/8/8/7B/8/K7 w - -", "h3"), 6);
  // Knights in the corners reach nothing; on the edge files one square.
  EXPECT_EQ(points("k6N/8/8/8/8/8/8/N6K w - -", "a1"), 0);
  EXPECT_EQ(points("k6N/8/8/8/8/8/8/N6K w - -", "h8"), 0);
  EXPECT_EQ(points("k7/8/8/8/N7/8/8/7K w - -", "a4"), 6);
  EXPECT_EQ(points("k7/8/8/7N/8/8/8/K7 w - -", "h5"), 6);
  // Rooks and pawns on the edges.
  EXPECT_EQ(points("7R/8/1k6/8/8/8/8/R6K w - -", "h8"), 0);
  EXPECT_EQ(points("7R/8/1k6/8/8/8/8/R6K w - -", "a1"), 0);
  EXPECT_EQ(points("k7/p6p/8/8/8/8/P6P/7K w - -", "a2"), 0);
  EXPECT_EQ(points("k7/p6p/8/8/8/8/P6P/7K w - -", "h7"), 0);
  // Black pieces in the corners: the bishop a1 sees d4 and e5.
  EXPECT_EQ(points("K7/8/8/8/8/8/8/b6k b - -", "a1"), 12);
  EXPECT_EQ(points("1K6/8/8/8/8/8/8/q6k b - -", "a1"), 6);
  // Codes that no position holds there still stay on the board: pawns on
  // their last ranks and kings in the corners.
  for (int s : {0, 7, 56, 63}) {
    EXPECT_EQ(activity_of(PAWN, s), 0) << s;
    EXPECT_EQ(activity_of(PAWN + BLACK, s), 0) << s;
    EXPECT_EQ(activity_of(KING, s), 0) << s;
  }
  // Squares off the board score nothing.
  EXPECT_EQ(activity_of(KNIGHT, 64), 0);
  EXPECT_EQ(activity_of(QUEEN, -1), 0);
}

TEST_F(Activity, SumOverBothSides) {
  // The start position: every line is blocked by pawns.
  ASSERT_TRUE(testing::set_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
  EXPECT_EQ(compute_activity_sum(), 0);
  // 1.e4 e5 2.Nf3 Nf6: each side's pieces mirror the other's.
  ASSERT_TRUE(testing::set_position("rnbqkb1r/pppp1ppp/5n2/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3"));
  EXPECT_NE(activity_of(pos.board[square("f3")], square("f3")), 0);
  EXPECT_EQ(compute_activity_sum(), 0);
  // 1.e4 d5 2.exd5. White: pawn d5 2 x 2 = 4, bishop f1 through e2 and d3
  // to c4 2 x 3 = 6. Black: bishop c8 through d7 and e6 to f5 2 x 3 = 6
  // (the queen's d-file ends at the white pawn). 10 - 6 = 4.
  ASSERT_TRUE(testing::set_position("rnbqkbnr/ppp1pppp/8/3P4/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2"));
  EXPECT_EQ(activity_of(pos.board[square("d5")], square("d5")), 4);
  EXPECT_EQ(activity_of(pos.board[square("f1")], square("f1")), 6);
  EXPECT_EQ(activity_of(pos.board[square("c8")], square("c8")), 6);
  EXPECT_EQ(compute_activity_sum(), 4);
}

}  // namespace
}  // namespace brevalt

// The legal-move list: what it must contain and must leave out in the
// situations where pseudo-legal and legal moves differ (pins, checks,
// double checks, castling through attacked squares, en passant that
// exposes the king), promotions listed once as a queen, and a position
// left exactly as it was found.
#include <gtest/gtest.h>

#include <algorithm>

#include "board_test_util.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

using testing::contains;
using testing::move_name;
using testing::Snapshot;
using testing::sq;

class LegalMovesTest : public ::testing::Test {
 protected:
  // The legal moves of the side to move in `fen`, listed as the root does.
  std::vector<LegalMove> root_moves(const char* fen) {
    EXPECT_TRUE(brevalt::testing::set_position(fen)) << fen;
    brevalt::testing::set_root_check_state();
    control.stop_search = 0;
    const Snapshot before = Snapshot::take();
    const int16_t sign = pos.ply_sign;
    std::vector<LegalMove> moves = brevalt::testing::legal_moves_now(brevalt::testing::side_to_move());
    // The scan leaves the position, the ply and its records as they were.
    EXPECT_EQ(Snapshot::take().difference(before), "") << fen;
    EXPECT_EQ(pos.ply, 0);
    EXPECT_EQ(pos.state_top, &pos.state_stack[0]);
    EXPECT_EQ(pos.ply_sign, sign);
    return moves;
  }
};

// Perft 1 of the start position, for either side to move.
TEST_F(LegalMovesTest, StartPositionHasTwenty) {
  const std::vector<LegalMove> moves = root_moves("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  EXPECT_EQ(moves.size(), 20u);
  const std::vector<LegalMove> black = root_moves("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  EXPECT_EQ(black.size(), 20u);
}

// No duplicates, and `piece` is the code that moves (no promotion here).
TEST_F(LegalMovesTest, EachMoveListedOnceWithTheMovingPiece) {
  const std::vector<LegalMove> moves =
      root_moves("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
  std::vector<std::string> names = brevalt::testing::move_names(moves);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  for (const LegalMove& m : moves) EXPECT_EQ(m.piece, pos.board[m.from]) << move_name(m.from, m.to);
}

TEST_F(LegalMovesTest, PinnedPieceStaysOnItsLine) {
  // Bishop d2 pinned by the bishop on b4: only c3 and the capture on b4.
  std::vector<LegalMove> moves = root_moves("4k3/8/8/8/1b6/8/3B4/4K3 w - - 0 1");
  for (const LegalMove& m : moves) {
    if (m.from != sq("d2")) continue;
    EXPECT_TRUE(m.to == sq("c3") || m.to == sq("b4")) << move_name(m.from, m.to);
  }
  EXPECT_TRUE(contains(moves, "d2c3"));
  EXPECT_TRUE(contains(moves, "d2b4"));
  EXPECT_FALSE(contains(moves, "d2e3"));
  // Rook e2 pinned on the file by the queen on e8: it moves along the file only.
  moves = root_moves("k3q3/8/8/8/8/8/4R3/4K3 w - - 0 1");
  EXPECT_TRUE(contains(moves, "e2e8"));
  EXPECT_TRUE(contains(moves, "e2e5"));
  EXPECT_FALSE(contains(moves, "e2d2"));
  EXPECT_FALSE(contains(moves, "e2a2"));
}

TEST_F(LegalMovesTest, KnightCheckAllowsKingMovesAndCaptures) {
  const std::vector<LegalMove> moves = root_moves("4k3/8/8/8/8/3n4/8/RB2K2R w KQ - 0 1");
  ASSERT_NE(pos.in_check[1], 0);
  EXPECT_FALSE(moves.empty());
  for (const LegalMove& m : moves) {
    const bool king = pos.board[m.from] == KING;
    EXPECT_TRUE(king || m.to == sq("d3")) << move_name(m.from, m.to);
    // Never castling out of check.
    EXPECT_FALSE(king && (m.to == sq("g1") || m.to == sq("c1"))) << move_name(m.from, m.to);
  }
  EXPECT_TRUE(contains(moves, "b1d3"));
  // The knight also covers f2: the king may not go there.
  EXPECT_FALSE(contains(moves, "e1f2"));
  EXPECT_TRUE(contains(moves, "e1e2"));
}

TEST_F(LegalMovesTest, DoubleCheckAllowsOnlyKingMoves) {
  // Rook e8 and knight d3 both check; the rook on a1 could take neither.
  const std::vector<LegalMove> moves = root_moves("4r2k/8/8/8/8/3n4/8/R3K3 w Q - 0 1");
  ASSERT_EQ(pos.checker_square[1], NO_INDEX);
  EXPECT_FALSE(moves.empty());
  for (const LegalMove& m : moves) EXPECT_EQ(pos.board[m.from], KING) << move_name(m.from, m.to);
  // Stepping back along the rook's file stays in check.
  EXPECT_FALSE(contains(moves, "e1e2"));
}

// Castling needs the rights (counters 0), empty squares between king and
// rook, and none of the king's three squares attacked; b1 / b8 may be
// attacked since the king does not cross them.
TEST_F(LegalMovesTest, CastlingConditions) {
  // Both wings free.
  std::vector<LegalMove> moves = root_moves("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  EXPECT_TRUE(contains(moves, "e1g1"));
  EXPECT_TRUE(contains(moves, "e1c1"));
  moves = root_moves("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
  EXPECT_TRUE(contains(moves, "e8g8"));
  EXPECT_TRUE(contains(moves, "e8c8"));
  // f1 attacked: no kingside castling; queenside still.
  moves = root_moves("r3kr2/8/8/8/8/8/8/R3K2R w KQq - 0 1");
  EXPECT_FALSE(contains(moves, "e1g1"));
  EXPECT_TRUE(contains(moves, "e1c1"));
  // d1 attacked: no queenside castling.
  moves = root_moves("r2rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_FALSE(contains(moves, "e1c1"));
  EXPECT_TRUE(contains(moves, "e1g1"));
  // An attacked b1 does not matter; an occupied b1 does.
  moves = root_moves("1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_TRUE(contains(moves, "e1c1"));
  moves = root_moves("4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1");
  EXPECT_FALSE(contains(moves, "e1c1"));
  // Without the rights, or in check: never.
  moves = root_moves("4k3/8/8/8/8/8/8/R3K2R w - - 0 1");
  EXPECT_FALSE(contains(moves, "e1g1"));
  EXPECT_FALSE(contains(moves, "e1c1"));
  moves = root_moves("4k3/8/8/8/8/8/8/R3K2R w Q - 0 1");
  EXPECT_FALSE(contains(moves, "e1g1"));
  EXPECT_TRUE(contains(moves, "e1c1"));
  moves = root_moves("4r1k1/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_FALSE(contains(moves, "e1g1"));
  EXPECT_FALSE(contains(moves, "e1c1"));
}

// The engine only ever promotes to a queen: one entry per promotion
// square, carrying the queen's code.
TEST_F(LegalMovesTest, PromotionListedOnceAsQueen) {
  std::vector<LegalMove> moves = root_moves("3r4/4P3/8/8/8/8/k7/4K3 w - - 0 1");
  int pushes = 0, captures = 0;
  for (const LegalMove& m : moves) {
    if (m.from != sq("e7")) continue;
    EXPECT_EQ(m.piece, QUEEN) << move_name(m.from, m.to);
    pushes += m.to == sq("e8");
    captures += m.to == sq("d8");
  }
  EXPECT_EQ(pushes, 1);
  EXPECT_EQ(captures, 1);
  moves = root_moves("4k3/8/8/8/8/8/3p4/K7 b - - 0 1");
  int black = 0;
  for (const LegalMove& m : moves) {
    if (m.from != sq("d2")) continue;
    EXPECT_EQ(m.piece, QUEEN + BLACK);
    ++black;
  }
  EXPECT_EQ(black, 1);
}

// En passant takes two pawns off one rank at once, and moves the capturing
// pawn off its diagonal or file: both can uncover the own king.
TEST_F(LegalMovesTest, EnPassantExposingTheKingIsAbsent) {
  std::vector<LegalMove> moves = root_moves("8/8/8/K2pP2r/8/8/8/7k w - d6 0 1");
  EXPECT_FALSE(contains(moves, "e5d6"));
  EXPECT_TRUE(contains(moves, "e5e6"));
  // Without the rook the capture is there.
  moves = root_moves("8/8/8/K2pP3/8/8/8/7k w - d6 0 1");
  EXPECT_TRUE(contains(moves, "e5d6"));
  // A pawn pinned on its diagonal may not take en passant.
  moves = root_moves("4k2b/8/8/3pP3/8/8/8/K7 w - d6 0 1");
  EXPECT_FALSE(contains(moves, "e5d6"));
  EXPECT_FALSE(contains(moves, "e5e6"));
}

TEST_F(LegalMovesTest, EnPassantAnswersTheCheckingPawn) {
  // d4 checks the king on c5; exd3 removes it.
  const std::vector<LegalMove> moves = root_moves("8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1");
  ASSERT_NE(pos.in_check[1], 0);
  EXPECT_EQ(pos.checker_square[1], sq("d4"));
  EXPECT_TRUE(contains(moves, "e4d3"));
  EXPECT_FALSE(contains(moves, "e4e3"));
}

TEST_F(LegalMovesTest, CheckmateAndStalemateHaveNoMoves) {
  // Fool's mate.
  EXPECT_TRUE(root_moves("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3").empty());
  EXPECT_NE(pos.in_check[1], 0);
  // Stalemate.
  EXPECT_TRUE(root_moves("7k/5Q2/8/8/8/8/8/K7 b - - 0 1").empty());
  EXPECT_EQ(pos.in_check[1], 0);
}

// A stop request already set before the call ends the scan at once.
TEST_F(LegalMovesTest, StopRequestEndsTheScan) {
  ASSERT_TRUE(brevalt::testing::set_position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
  brevalt::testing::set_root_check_state();
  control.stop_search = 1;
  EXPECT_TRUE(brevalt::testing::legal_moves_now(0).empty());
  control.stop_search = 0;
}

}  // namespace
}  // namespace brevalt

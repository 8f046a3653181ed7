// Attack, check, pin and exchange queries, each checked against what the
// chess position itself says: who attacks a square, which piece checks,
// whether a move answers a check, what an exchange wins.
#include <gtest/gtest.h>

#include <cstring>

#include "board/attacks.h"
#include "board/position.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

// Square from its name, "e4" -> 28.
int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Every test starts from a set-up position at ply 0, nobody in check.
class AttackTest : public ::testing::Test {
 protected:
  void load(const char* fen) {
    ASSERT_TRUE(brevalt::testing::set_position(fen)) << fen;
    pos.ply = 0;
    pos.in_check[0] = pos.in_check[1] = 0;
    pos.checker_square[0] = pos.checker_square[1] = 0;
    pos.ply_stack[0].promo = 0;
    std::memcpy(before_, pos.board, sizeof(pos.board));
  }
  // The queries may move pieces about, but must put every one back.
  void expect_board_unchanged() { EXPECT_EQ(std::memcmp(before_, pos.board, sizeof(pos.board)), 0); }
  // Plays a move on the bare board, as make_move leaves it for gives_check.
  void move_piece(int from, int to) {
    pos.board[to] = pos.board[from];
    pos.board[from] = EMPTY;
    sync_piece_sets();
  }
  void TearDown() override { pos.ply_stack[0].promo = 0; }

  uint8_t before_[64] = {};
};

// ---------------------------------------------------------------------------
// square_attacked

TEST_F(AttackTest, SquareAttackedBishopOnA3HitsF8) {
  const int32_t black_kingside[5] = {1, 60, 61, 62, 255};
  load("4k3/8/8/8/8/B7/8/4K3 w - - 0 1");
  EXPECT_EQ(square_attacked(black_kingside), 1);
  // A black pawn on d6 closes the diagonal; nothing else reaches e8..g8.
  load("4k3/8/3p4/8/8/B7/8/4K3 w - - 0 1");
  EXPECT_EQ(square_attacked(black_kingside), 0);
  expect_board_unchanged();
}

TEST_F(AttackTest, SquareAttackedPawnsCaptureOnlyForwards) {
  const int32_t white_e4[3] = {0, sq("e4"), 255};
  const int32_t black_e4[3] = {1, sq("e4"), 255};
  // A black pawn on d5 attacks e4; one on d3 does not.
  load("4k3/8/8/3p4/8/8/8/K7 w - - 0 1");
  EXPECT_EQ(square_attacked(white_e4), 1);
  load("4k3/8/8/8/8/3p4/8/K7 w - - 0 1");
  EXPECT_EQ(square_attacked(white_e4), 0);
  // A white pawn on d3 attacks e4 for Black's squares, one on d5 does not.
  load("4k3/8/8/8/8/3P4/8/K7 w - - 0 1");
  EXPECT_EQ(square_attacked(black_e4), 1);
  load("4k3/8/8/3P4/8/8/8/K7 w - - 0 1");
  EXPECT_EQ(square_attacked(black_e4), 0);
}

TEST_F(AttackTest, SquareAttackedByEachPieceKindAndBlocked) {
  const int32_t white_e4[3] = {0, sq("e4"), 255};
  load("4k3/8/8/8/8/8/8/K3r3 w - - 0 1");  // rook e1 up the file
  EXPECT_EQ(square_attacked(white_e4), 1);
  load("4k3/8/8/8/8/4p3/8/K3r3 w - - 0 1");  // its own pawn e3 blocks
  EXPECT_EQ(square_attacked(white_e4), 0);
  load("4k3/8/8/8/8/8/8/K3b3 w - - 0 1");  // a bishop on e1 does not move on files
  EXPECT_EQ(square_attacked(white_e4), 0);
  load("4k3/8/8/8/8/8/3n4/K7 w - - 0 1");  // knight d2
  EXPECT_EQ(square_attacked(white_e4), 1);
  load("8/8/8/8/8/5k2/8/K7 w - - 0 1");  // king f3, next to e4
  EXPECT_EQ(square_attacked(white_e4), 1);
  load("4k3/8/8/8/8/8/8/K3R3 w - - 0 1");  // an own rook is no attacker
  EXPECT_EQ(square_attacked(white_e4), 0);
  // Several squares: attacked when any one is.
  const int32_t list[4] = {0, sq("a8"), sq("e4"), 255};
  load("4k3/8/8/8/8/8/3n4/K7 w - - 0 1");
  EXPECT_EQ(square_attacked(list), 1);
}

// ---------------------------------------------------------------------------
// gives_check

TEST_F(AttackTest, GivesCheckKnightUncoveringRookIsDoubleCheck) {
  // Ne4-d6: the knight checks e8 and uncovers the rook on e1.
  load("4k3/8/8/8/4N3/8/8/4R1K1 w - - 0 1");
  move_piece(sq("e4"), sq("d6"));
  EXPECT_NE(gives_check(KNIGHT, sq("e4"), sq("d6")), 0);
  EXPECT_EQ(pos.checker_square[1], NO_INDEX);
  // Ne4-c3 only uncovers the rook: a single check by e1, answered e1 + 1.
  load("4k3/8/8/8/4N3/8/8/4R1K1 w - - 0 1");
  move_piece(sq("e4"), sq("c3"));
  EXPECT_EQ(gives_check(KNIGHT, sq("e4"), sq("c3")), sq("e1") + 1);
  EXPECT_EQ(pos.checker_square[1], sq("e1"));
  // Ne4-g3 neither checks nor uncovers: the queen behind is Black's own.
  load("4k3/8/8/8/4N3/8/8/4q1K1 w - - 0 1");
  move_piece(sq("e4"), sq("g3"));
  EXPECT_EQ(gives_check(KNIGHT, sq("e4"), sq("g3")), 0);
  EXPECT_EQ(pos.checker_square[1], 0);
}

TEST_F(AttackTest, GivesCheckRookMovingAlongItsOwnLineIsNotDiscovered) {
  // Re2xe5 with the queen behind it on e1: only the rook checks.
  load("4k3/8/8/4n3/8/8/4R3/K3Q3 w - - 0 1");
  move_piece(sq("e2"), sq("e5"));
  EXPECT_EQ(gives_check(ROOK, sq("e2"), sq("e5")), 1);
  EXPECT_EQ(pos.checker_square[1], sq("e5"));
  // Re3-e5 behind a black pawn on e7: the rook still blocks the queen, the
  // pawn blocks the rook, no check at all.
  load("4k3/4p3/8/8/8/4R3/8/K3Q3 w - - 0 1");
  move_piece(sq("e3"), sq("e5"));
  EXPECT_EQ(gives_check(ROOK, sq("e3"), sq("e5")), 0);
  EXPECT_EQ(pos.checker_square[1], 0);
}

TEST_F(AttackTest, GivesCheckDirectByEachPieceKind) {
  // Bishop c4-b5 checks e8 along the open diagonal.
  load("4k3/8/8/8/2B5/8/8/K7 w - - 0 1");
  move_piece(sq("c4"), sq("b5"));
  EXPECT_EQ(gives_check(BISHOP, sq("c4"), sq("b5")), 1);
  EXPECT_EQ(pos.checker_square[1], sq("b5"));
  // The same with a black pawn on d7 in between: no check.
  load("4k3/3p4/8/8/2B5/8/8/K7 w - - 0 1");
  move_piece(sq("c4"), sq("b5"));
  EXPECT_EQ(gives_check(BISHOP, sq("c4"), sq("b5")), 0);
  // A white pawn d6-d7 checks e8.
  load("4k3/8/3P4/8/8/8/8/K7 w - - 0 1");
  move_piece(sq("d6"), sq("d7"));
  EXPECT_EQ(gives_check(PAWN, sq("d6"), sq("d7")), 1);
  EXPECT_EQ(pos.checker_square[1], sq("d7"));
  // A black pawn d3-d2 checks the king on e1; d4-d3 does not check a king
  // on e3 beside it.
  load("4k3/8/8/8/8/3p4/8/4K3 b - - 0 1");
  move_piece(sq("d3"), sq("d2"));
  EXPECT_EQ(gives_check(PAWN + BLACK, sq("d3"), sq("d2")), 1);
  load("4k3/8/8/8/3p4/8/8/K7 b - - 0 1");
  pos.board[sq("a1")] = EMPTY;  // the white king stands on e3 instead
  pos.board[sq("e3")] = KING;
  sync_piece_sets();
  pos.white_king_sq() = static_cast<int16_t>(sq("e3"));
  move_piece(sq("d4"), sq("d3"));
  EXPECT_EQ(gives_check(PAWN + BLACK, sq("d4"), sq("d3")), 0);
  // A king move checks only by what it uncovers.
  load("4k3/8/8/8/4K3/8/8/4R3 w - - 0 1");
  move_piece(sq("e4"), sq("d4"));
  EXPECT_EQ(gives_check(KING, sq("e4"), sq("d4")), sq("e1") + 1);
  EXPECT_EQ(pos.checker_square[1], sq("e1"));
}

TEST_F(AttackTest, GivesCheckEnPassantOpeningTwoLinesIsDoubleCheck) {
  // Black's d7-d5 blocked the a8 bishop's check on the king e4; exd6 e.p.
  // opens that diagonal and the e-file to the rook on e8 together.
  load("B3R3/8/8/3pP3/4k3/8/8/7K w - d6 0 1");
  ASSERT_EQ(pos.ep_black_pawn, sq("d5"));
  pos.board[sq("d5")] = EMPTY;  // the caller removes the captured pawn
  sync_piece_sets();
  move_piece(sq("e5"), sq("d6"));
  EXPECT_NE(gives_check(PAWN, sq("e5"), sq("d6")), 0);
  EXPECT_EQ(pos.checker_square[1], NO_INDEX);
}

TEST_F(AttackTest, GivesCheckEnPassantOpeningOneLine) {
  // Both pawns leave rank 5: the rook on a5 checks h5, one checker only.
  load("8/8/8/R2pP2k/8/8/8/K7 w - d6 0 1");
  pos.board[sq("d5")] = EMPTY;
  sync_piece_sets();
  move_piece(sq("e5"), sq("d6"));
  EXPECT_EQ(gives_check(PAWN, sq("e5"), sq("d6")), sq("a5") + 1);
  EXPECT_EQ(pos.checker_square[1], sq("a5"));
  // Only the captured pawn's square lies on the bishop's diagonal to a8.
  load("k7/8/8/3pP3/8/8/6B1/7K w - d6 0 1");
  pos.board[sq("d5")] = EMPTY;
  sync_piece_sets();
  move_piece(sq("e5"), sq("d6"));
  EXPECT_EQ(gives_check(PAWN, sq("e5"), sq("d6")), sq("g2") + 1);
  EXPECT_EQ(pos.checker_square[1], sq("g2"));
}

TEST_F(AttackTest, GivesCheckPromotionOnTheKingsFileIsOneChecker) {
  // e7-e8=Q checks the king on e3 down the file the pawn came from; the
  // new queen is the only checker.
  load("8/4P3/8/8/8/4k3/8/K7 w - - 0 1");
  pos.board[sq("e7")] = QUEEN;  // the caller's promotion preparation
  sync_piece_sets();
  pos.ply_stack[0].promo = PAWN;
  move_piece(sq("e7"), sq("e8"));
  EXPECT_EQ(gives_check(QUEEN, sq("e7"), sq("e8")), 1);
  EXPECT_EQ(pos.checker_square[1], sq("e8"));
}

TEST_F(AttackTest, GivesCheckWalkStopsAtTheBoardEdge) {
  // Nc7 left a8 next to the king on b8; beyond a8 lies the edge, not h7.
  load("1k6/2N4R/8/8/8/8/8/K7 b - - 0 1");
  pos.board[sq("a8")] = EMPTY;
  sync_piece_sets();
  EXPECT_EQ(gives_check(KNIGHT, sq("a8"), sq("c7")), 0);
  EXPECT_EQ(pos.checker_square[1], 0);
}

TEST_F(AttackTest, GivesDirectCheckAsForACastledRook) {
  // After O-O the rook on f1 checks the king on f8 along the open file.
  load("5k2/8/8/8/8/8/8/5RK1 b - - 0 1");
  EXPECT_EQ(gives_direct_check(ROOK, sq("f1")), 1);
  EXPECT_EQ(pos.checker_square[1], sq("f1"));
  load("5k2/8/8/8/5p2/8/8/5RK1 b - - 0 1");
  EXPECT_EQ(gives_direct_check(ROOK, sq("f1")), 0);
  EXPECT_EQ(pos.checker_square[1], 0);
  // Asked for a square the piece has not reached yet: a knight on g1
  // would check from e6 (f8 is a knight's jump away from e6).
  EXPECT_EQ(gives_direct_check(KNIGHT, sq("e6")), 1);
  EXPECT_EQ(gives_direct_check(KING, sq("e7")), 0);
}

// ---------------------------------------------------------------------------
// count_checkers and discovered_attacker

TEST_F(AttackTest, CountCheckersSingleDoubleAndNone) {
  // Rook e8 and knight d3 both attack the king on e1.
  load("4r1k1/8/8/8/8/3n4/8/4K3 w - - 0 1");
  EXPECT_EQ(count_checkers(sq("e1")), sq("d3"));  // knights are scanned last
  EXPECT_EQ(pos.checker_square[1], NO_INDEX);
  load("6k1/8/8/8/1b6/8/8/4K3 w - - 0 1");
  EXPECT_EQ(count_checkers(sq("e1")), sq("b4"));
  EXPECT_EQ(pos.checker_square[1], sq("b4"));
  // A black pawn checks from d5 but not from d3; a white pawn from d3.
  load("6k1/8/8/3p4/4K3/8/8/8 w - - 0 1");
  count_checkers(sq("e4"));
  EXPECT_EQ(pos.checker_square[1], sq("d5"));
  load("6k1/8/8/8/4K3/3p4/8/8 w - - 0 1");
  EXPECT_EQ(count_checkers(sq("e4")), sq("e4"));
  EXPECT_EQ(pos.checker_square[1], 0);
  load("6K1/8/8/8/4k3/3P4/8/8 b - - 0 1");
  count_checkers(sq("e4"));
  EXPECT_EQ(pos.checker_square[1], sq("d3"));
}

TEST_F(AttackTest, DiscoveredAttackerThroughAnEmptySquare) {
  // With d5 empty the rook on h5 reaches the king on a5.
  load("4k3/8/8/K6r/8/8/8/8 w - - 0 1");
  EXPECT_EQ(discovered_attacker(sq("d5"), sq("a5")), sq("h5") + 1);
  // Another piece beyond d5 shields the king.
  load("4k3/8/8/K4N1r/8/8/8/8 w - - 0 1");
  EXPECT_EQ(discovered_attacker(sq("d5"), sq("a5")), 0);
  // A piece between the king and d5: d5 is not what opens the line.
  load("4k3/8/8/KN5r/8/8/8/8 w - - 0 1");
  EXPECT_EQ(discovered_attacker(sq("d5"), sq("a5")), 0);
  // An own rook, or a bishop on a rank, attacks nothing.
  load("4k3/8/8/K6R/8/8/8/8 w - - 0 1");
  EXPECT_EQ(discovered_attacker(sq("d5"), sq("a5")), 0);
  load("4k3/8/8/K6b/8/8/8/8 w - - 0 1");
  EXPECT_EQ(discovered_attacker(sq("d5"), sq("a5")), 0);
  // On a diagonal: the bishop on g8 through d5 to the king on a2.
  load("4k1b1/8/8/8/8/8/K7/8 w - - 0 1");
  EXPECT_EQ(discovered_attacker(sq("d5"), sq("a2")), sq("g8") + 1);
  // A square and itself share no line: an answer, not an endless walk.
  EXPECT_EQ(discovered_attacker(sq("d4"), sq("d4")), 0);
}

// ---------------------------------------------------------------------------
// resolves_check

TEST_F(AttackTest, ResolvesCheckDoubleCheckHasNoAnswerButAKingMove) {
  load("4k3/2b5/3N4/8/8/8/8/4R1K1 b - - 0 1");
  pos.checker_square[0] = NO_INDEX;
  // Even taking one of the checkers does not answer a double check.
  EXPECT_EQ(resolves_check(sq("d6"), sq("c7")), 0);
  EXPECT_EQ(resolves_check(sq("e5"), sq("c7")), 0);
}

TEST_F(AttackTest, ResolvesCheckKnightCanOnlyBeTaken) {
  load("4k3/8/r2N4/8/8/8/8/6K1 b - - 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("d6"));
  EXPECT_EQ(resolves_check(sq("d6"), sq("a6")), 1);  // the rook takes it
  EXPECT_EQ(resolves_check(sq("e7"), sq("a6")), 0);  // no square blocks a jump
  EXPECT_EQ(resolves_check(sq("d7"), sq("a6")), 0);
}

TEST_F(AttackTest, ResolvesCheckSliderBlockedOnlyBetweenKingAndChecker) {
  // Rook e8 checks the king on e1.
  load("4r1k1/8/8/8/R7/8/8/4K3 w - - 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("e8"));
  EXPECT_EQ(resolves_check(sq("e4"), sq("a4")), 1);
  EXPECT_EQ(resolves_check(sq("d4"), sq("a4")), 0);
  // Bishop b4 checks e1: Nc3 and Bd2 block, Ra5 behind the checker does not.
  load("6k1/8/8/8/1b6/8/8/RNB1K3 w - - 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("b4"));
  EXPECT_EQ(resolves_check(sq("c3"), sq("b1")), 1);
  EXPECT_EQ(resolves_check(sq("d2"), sq("c1")), 1);
  EXPECT_EQ(resolves_check(sq("a5"), sq("a1")), 0);
  // Queen a1 checks along the first rank: c3 is on a queen line from a1
  // and on a diagonal from e1, but not between them.
  load("6k1/8/8/8/2R5/8/8/q3K3 w - - 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("a1"));
  EXPECT_EQ(resolves_check(sq("c3"), sq("c4")), 0);
  EXPECT_EQ(resolves_check(sq("c1"), sq("c4")), 1);
}

TEST_F(AttackTest, ResolvesCheckEnPassantTakesTheDoubleSteppedPawn) {
  // Black has just played d7-d5+ against the king on e4.
  load("4k3/8/8/2PpP3/4K3/8/8/8 w - d6 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("d5"));
  EXPECT_EQ(resolves_check(sq("d6"), sq("e5")), 1);
  EXPECT_EQ(resolves_check(sq("d6"), sq("c5")), 1);
  EXPECT_EQ(resolves_check(sq("e6"), sq("e5")), 0);  // a push does nothing
  // Without the en passant right the capture behind the pawn is no answer.
  load("4k3/8/8/2PpP3/4K3/8/8/8 w - - 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("d5"));
  EXPECT_EQ(resolves_check(sq("d6"), sq("e5")), 0);
  // The black side of the same rule: c2-c4+ against the king on d5.
  load("8/8/8/3k4/1pPp4/8/8/4K3 b - c3 0 1");
  pos.checker_square[0] = static_cast<uint8_t>(sq("c4"));
  EXPECT_EQ(resolves_check(sq("c3"), sq("b4")), 1);
  EXPECT_EQ(resolves_check(sq("c3"), sq("d4")), 1);
}

// ---------------------------------------------------------------------------
// is_pinned

TEST_F(AttackTest, IsPinnedAgainstTheOwnKing) {
  // Bishop b5 pins the knight d7 to e8.
  load("4k3/3n4/8/1B6/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(is_pinned(sq("d7")), 1);
  // Rook on the diagonal, or an own piece beyond: no pin.
  load("4k3/3n4/8/1R6/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(is_pinned(sq("d7")), 0);
  load("4k3/3n4/2b5/1B6/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(is_pinned(sq("d7")), 0);
  // A piece between king and knight: the knight is free.
  load("4k3/3p4/2n5/1B6/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(is_pinned(sq("c6")), 0);
  // On a file, by a queen.
  load("4k3/4r3/8/8/8/8/8/4QK2 b - - 0 1");
  EXPECT_EQ(is_pinned(sq("e7")), 1);
  // Not on a line with the king at all.
  load("4k3/8/8/2n5/8/8/8/4QK2 b - - 0 1");
  EXPECT_EQ(is_pinned(sq("c5")), 0);
}

TEST_F(AttackTest, IsPinnedWalkStopsAtTheBoardEdge) {
  // Beyond g1 comes h1, then the edge: a rook on a2 does not pin.
  load("4k3/8/8/8/8/8/r7/5KN1 w - - 0 1");
  EXPECT_EQ(is_pinned(sq("g1")), 0);
  load("4k3/8/8/8/8/8/8/5KNr w - - 0 1");
  EXPECT_EQ(is_pinned(sq("g1")), 1);
}

// ---------------------------------------------------------------------------
// exchange_loss, capture_gain, safe_after_move

TEST_F(AttackTest, ExchangeUndefendedKnightAttackedByPawnLosesAll) {
  load("7k/8/8/4n3/3P4/8/8/K7 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 400);
  load("7K/8/3p4/4N3/8/8/8/k7 w - - 0 1");  // colours swapped
  EXPECT_EQ(exchange_loss(sq("e5")), 400);
  load("7k/8/8/4n3/8/8/8/K7 w - - 0 1");  // nobody attacks it
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
  load("7k/8/3P4/4n3/8/8/8/K7 w - - 0 1");  // a white pawn captures upwards only
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
  load("7K/8/8/4N3/3p4/8/8/k7 w - - 0 1");  // and a black pawn downwards only
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
  expect_board_unchanged();
}

TEST_F(AttackTest, ExchangeRookCannotWinAPawnDefendedKnight) {
  load("7k/8/3p4/4n3/8/8/8/K3R3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
  load("7k/8/8/4n3/8/8/8/K3R3 w - - 0 1");  // without the pawn
  EXPECT_EQ(exchange_loss(sq("e5")), 400);
}

TEST_F(AttackTest, ExchangeKingNextToTheSquareCountsAsLastCapturer) {
  // The white king on e4 may take an undefended queen, not a defended one.
  load("7k/8/8/4q3/4K3/8/8/8 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 1220);
  load("7k/8/3p4/4q3/4K3/8/8/8 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
  // A defending king next to the knight holds it; one two squares away not.
  load("8/8/5k2/4n3/8/8/8/K3R3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
  load("8/6k1/8/4n3/8/8/8/K3R3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 400);
  // Pawn takes knight, king takes pawn: 300.
  load("8/8/4k3/4n3/3P4/8/8/K7 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 300);
}

TEST_F(AttackTest, ExchangeQueenBehindRookCapturesAfterIt) {
  // Rook e5 defended by the knight f7. With the rook in front: RxR NxR QxN
  // nets a knight.
  load("7k/5n2/8/4r3/8/8/4R3/K3Q3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 400);
  // With the queen in front it must capture first; QxR NxQ loses, so White
  // does not start: the rook behind may not jump the queue.
  load("7k/5n2/8/4r3/8/8/4Q3/K3R3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
}

TEST_F(AttackTest, ExchangeXrayBehindAnEnemyPieceIsBlocked) {
  // The white rook e1 stands behind Black's rook e3: it cannot reach e5.
  load("7k/8/8/4q3/8/4r3/8/K3R3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
}

TEST_F(AttackTest, ExchangeSeveralCaptures) {
  // Knight d5 attacked by Nf4 and Rd1, defended by Nb6: NxN NxN RxN, +400.
  load("7k/8/1n6/3n4/5N2/8/8/K2R4 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("d5")), 400);
  // Add the pawn c6: NxN PxN and the rook would lose itself for a pawn.
  load("7k/8/1np5/3n4/5N2/8/8/K2R4 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("d5")), 0);
  // Pawn e5 attacked by Nf3 and Re1, defended by Nc6 and pawn d6: NxP PxN
  // loses, so White wins nothing.
  load("7k/8/2np4/4p3/8/5N2/8/K3R3 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
}

TEST_F(AttackTest, ExchangeAttackerStopsWhenAhead) {
  // Rook e5 attacked by Bb2 and Nf3, defended by d6 and Nc6: BxR PxB leaves
  // White 220 up, and White need not go on into a losing sequence.
  load("7k/8/2np4/4r3/8/5N2/1B6/7K w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 220);
}

TEST_F(AttackTest, ExchangeKingOnTheSquareIsNeverWon) {
  load("7k/8/8/4K3/3p4/8/8/8 w - - 0 1");
  EXPECT_EQ(exchange_loss(sq("e5")), 0);
}

TEST_F(AttackTest, CaptureGainPawnTakesDefendedQueen) {
  // dxe5: the pawn is lost to d6xe5, the queen is won: 1220 - 100.
  load("7k/8/3p4/4q3/3P4/8/8/K7 w - - 0 1");
  EXPECT_EQ(capture_gain(sq("d4"), sq("e5")), 1120);
  expect_board_unchanged();
}

TEST_F(AttackTest, CaptureGainQueenTakesDefendedPawnIsZero) {
  load("7k/8/3p4/4p3/8/8/8/K3Q3 w - - 0 1");
  EXPECT_EQ(capture_gain(sq("e1"), sq("e5")), 0);
  expect_board_unchanged();
}

TEST_F(AttackTest, CaptureGainEvenTradeIsOne) {
  // RxR, PxR: even.
  load("7k/8/3p4/4r3/8/8/8/K3R3 w - - 0 1");
  EXPECT_EQ(capture_gain(sq("e1"), sq("e5")), 1);
  // An undefended rook is simply won.
  load("7k/8/8/4r3/8/8/8/K3Q3 w - - 0 1");
  EXPECT_EQ(capture_gain(sq("e1"), sq("e5")), 620);
}

TEST_F(AttackTest, SafeAfterMoveAgainstPawnAttack) {
  // Nf3-e5 walks into d6xe5; Nf3-g5 is attacked by nothing.
  load("7k/8/3p4/8/8/5N2/8/K7 w - - 0 1");
  EXPECT_EQ(safe_after_move(sq("f3"), sq("e5")), 0);
  EXPECT_EQ(safe_after_move(sq("f3"), sq("g5")), 1);
  expect_board_unchanged();
  // Defended by its own pawn, a knight still loses to a pawn capture.
  load("7k/8/3p4/8/3P4/5N2/8/K7 w - - 0 1");
  EXPECT_EQ(safe_after_move(sq("f3"), sq("e5")), 0);
  // Attacked by a rook but defended by a pawn: safe.
  load("4r2k/8/8/8/3P4/5N2/8/K7 w - - 0 1");
  EXPECT_EQ(safe_after_move(sq("f3"), sq("e5")), 1);
}

}  // namespace
}  // namespace brevalt

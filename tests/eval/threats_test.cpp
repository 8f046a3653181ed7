// Root-move threat analysis: a minor piece trapped after taking a corner
// pawn (and the replies that do or do not spring the trap), a piece that
// pins itself against its own queen, walks along lines that end at the
// board's edge, and one search that singles out the trapping capture.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board/board_test_util.h"
#include "board/makemove.h"
#include "board/position.h"
#include "config/params.h"
#include "eval/threats.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"
#include "support/engine_env.h"
#include "support/search_fixture.h"

namespace brevalt {
namespace {

using testing::sq;

// White bishop b8 can take a7. After the capture b8 is covered by the rook
// on d8 and b6 is a pawn guarded by c7: the bishop has no safe square.
const char* const CORNER = "1B1r2k1/p1p2ppp/1p3n2/8/8/3P4/5PPP/6K1 w - - 0 1";
// The same, Black to move, colours and ranks swapped: bishop b1 takes a2.
const char* const CORNER_BLACK = "6k1/5ppp/3p4/8/8/1P3N2/P1P2PPP/1b1R2K1 b - - 0 1";

// The engine's root move and the replies are made with the engine's own
// make routine, ply by ply, as the node search does.
class Threats : public ::testing::Test {
 protected:
  void SetUp() override { clear_root_threat(); }
  void TearDown() override {
    unwind();
    clear_root_threat();
    start_new_game();
  }

  // The position with the side to move as the engine, at the root.
  void load(const char* fen) {
    unwind();
    ASSERT_TRUE(brevalt::testing::set_position(fen)) << fen;
    brevalt::testing::set_root_check_state();
    control.thinking = 0;
    control.stop_search = 0;
    search_path.draw_flag = 0;
    for (auto& r : pos.ply_stack) r.castle = r.promo = r.rook_to = 0;
  }

  // Makes from->to at the next ply; a pawn's double step announces its
  // en passant square first, as the move generator does.
  void play(const char* from, const char* to, bool double_step = false) {
    brevalt::testing::push_ply();
    if (double_step) {
      if (pos.board[sq(from)] == PAWN) pos.ep_white_pawn = static_cast<int16_t>(sq(to));
      else pos.ep_black_pawn = static_cast<int16_t>(sq(to));
    }
    const int made = make_move(sq(from), sq(to));
    made_.push_back(made);
    ASSERT_EQ(made, 1) << from << to;
  }

  // Takes back every move played, innermost first.
  void unwind() {
    while (!made_.empty()) {
      unmake_move(made_.back() ? Unmake::full : Unmake::keep_counters);
      made_.pop_back();
      brevalt::testing::pop_ply();
    }
  }

  void expect_threat(int score, const char* from, const char* to) {
    EXPECT_EQ(eval_cache.threat_score, score);
    EXPECT_EQ(eval_cache.threat_from, sq(from));
    EXPECT_EQ(eval_cache.threat_to, sq(to));
  }
  void expect_no_threat() {
    EXPECT_EQ(eval_cache.threat_score, 0);
    EXPECT_EQ(eval_cache.threat_from, 0);
    EXPECT_EQ(eval_cache.threat_to, 0);
  }

  std::vector<int> made_;
};

TEST_F(Threats, BishopShutInOnA7) {
  // The quiet reply h6 hangs nothing and sets no en passant square: 135.
  load(CORNER);
  play("b8", "a7");
  play("h7", "h6");
  analyse_root_move();
  expect_threat(135, "b8", "a7");
}

TEST_F(Threats, RepliesThatMakeTheTrapDoubtful) {
  // A double step leaves an en passant square pending: only 20.
  load(CORNER);
  play("b8", "a7");
  play("h7", "h5", true);
  analyse_root_move();
  expect_threat(20, "b8", "a7");

  // A reply whose piece hangs (Ne4, taken by d3 for a knight): only 20.
  clear_root_threat();
  load(CORNER);
  play("b8", "a7");
  play("f6", "e4");
  analyse_root_move();
  expect_threat(20, "b8", "a7");
}

TEST_F(Threats, BishopThatCanStepBackIsNotFlagged) {
  // Rd7 leaves b8 uncovered: the bishop walks out.
  load(CORNER);
  play("b8", "a7");
  play("d8", "d7");
  analyse_root_move();
  expect_no_threat();
}

TEST_F(Threats, NoSquareAtAllCostsTwenty) {
  // Knight b6 and, after the third ply, rook b8 wall the bishop in: no
  // line has even one square to try.
  load("1B1R4/p4ppk/1N6/8/8/8/5PPP/6K1 w - - 0 1");
  play("b8", "a7");
  play("g7", "g6");
  // Before the rook comes back, b8 is free and safe.
  analyse_root_move();
  expect_no_threat();
  play("d8", "b8");
  analyse_root_move();
  expect_threat(20, "b8", "a7");
}

TEST_F(Threats, EachSideHasItsOwnCorners) {
  // Playing Black, the engine's bishop shut in on a2 by the same pattern.
  load(CORNER_BLACK);
  ASSERT_EQ(control.engine_side, -1);
  play("b1", "a2");
  play("h2", "h3");
  analyse_root_move();
  expect_threat(135, "b1", "a2");

  // Playing Black, a bishop trapped on a7 is in White's corner, not in the
  // enemy camp: not examined (b8 is covered by Rd8, b6 guarded by c5).
  clear_root_threat();
  load("1b1R4/P6k/1P6/2P5/8/8/8/6K1 b - - 0 1");
  ASSERT_EQ(control.engine_side, -1);
  play("b8", "a7");
  play("g1", "g2");
  analyse_root_move();
  expect_no_threat();
}

TEST_F(Threats, TrapWithoutAReplyOnTheBoard) {
  // A horizon reached right after the root move: no reply, nothing of the
  // opponent's at stake, so the trap counts in full.
  load(CORNER);
  play("b8", "a7");
  analyse_root_move();
  expect_threat(135, "b8", "a7");

  // A null move at ply 2 records no piece; its record still names the
  // destination of an earlier reply (here d4, where a knight now hangs to
  // e3), which must not be read as the reply's.
  clear_root_threat();
  load("1B1r2k1/p1p2ppp/1p6/8/3n4/4P3/5PPP/6K1 w - - 0 1");
  play("b8", "a7");
  brevalt::testing::push_ply();
  pos.ply_stack[2].moved = EMPTY;
  pos.ply_stack[2].to = static_cast<uint8_t>(sq("d4"));
  pos.ply_stack[2].saved_ep_black_pawn = pos.ply_stack[2].saved_ep_white_pawn = 0;
  analyse_root_move();
  brevalt::testing::pop_ply();
  expect_threat(135, "b8", "a7");
}

TEST_F(Threats, KnightPinnedAgainstItsQueen) {
  // Ne4 between the queen on e2 and the rook on e8.
  const char* const pin = "4r1k1/7p/8/8/8/2N5/4Q3/6K1 w - - 0 1";
  load(pin);
  play("c3", "e4");
  play("h7", "h6");
  analyse_root_move();
  expect_threat(50, "c3", "e4");

  // A larger penalty already recorded stays, with its move.
  eval_cache.threat_score = 135;
  eval_cache.threat_from = sq("b8");
  eval_cache.threat_to = sq("a7");
  analyse_root_move();
  expect_threat(135, "b8", "a7");

  // Only a penalty below 40 gives way.
  eval_cache.threat_score = 40;
  analyse_root_move();
  EXPECT_EQ(eval_cache.threat_score, 40);
  eval_cache.threat_score = 39;
  analyse_root_move();
  expect_threat(50, "c3", "e4");
}

TEST_F(Threats, RookThatCanTakeThePinnerIsNotFlagged) {
  load("4r1k1/7p/8/8/R7/8/4Q3/6K1 w - - 0 1");
  play("a4", "e4");
  play("h7", "h6");
  analyse_root_move();
  expect_no_threat();
}

TEST_F(Threats, SelfPinOnTheLines) {
  // On the file: the rook bears on the queen; a bishop there does not; a
  // piece already between the queen and the knight means no pin.
  ASSERT_TRUE(testing::set_position("4r1k1/8/8/8/4N3/8/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 1);
  ASSERT_TRUE(testing::set_position("4b1k1/8/8/8/4N3/8/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 0);
  ASSERT_TRUE(testing::set_position("4r1k1/8/8/8/4N3/4P3/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 0);
  // The first piece beyond is the engine's own: no pin.
  ASSERT_TRUE(testing::set_position("4r2k/4R3/8/8/4N3/8/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 0);
  // On a diagonal: knight d3 between queen b1 and bishop g6; a bishop on
  // d3 would take g6; a rook on g6 does not bear along the diagonal.
  ASSERT_TRUE(testing::set_position("6k1/8/6b1/8/8/3N4/8/1Q4K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("d3")), 1);
  ASSERT_TRUE(testing::set_position("6k1/8/6b1/8/8/3B4/8/1Q4K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("d3")), 0);
  ASSERT_TRUE(testing::set_position("6k1/8/6r1/8/8/3N4/8/1Q4K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("d3")), 0);
  // Playing Black: Black's knight d6 between its queen d8 and a white rook d1.
  ASSERT_TRUE(testing::set_position("3q2k1/8/3n4/8/8/8/8/3R2K1 b - -"));
  EXPECT_EQ(queen_self_pin(sq("d6")), 1);
  // Queens, kings and pawns are never tested; neither are enemy pieces.
  ASSERT_TRUE(testing::set_position("4r1k1/8/8/8/4P3/8/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 0);
  ASSERT_TRUE(testing::set_position("4r1k1/8/8/8/4n3/8/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 0);
  // No queen, or a piece off the queen's lines.
  ASSERT_TRUE(testing::set_position("4r1k1/8/8/8/4N3/8/8/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("e4")), 0);
  ASSERT_TRUE(testing::set_position("4r1k1/8/8/8/5N2/8/4Q3/6K1 w - -"));
  EXPECT_EQ(queen_self_pin(sq("f4")), 0);
}

TEST_F(Threats, WalksEndAtTheEdgeOfTheBoard) {
  // Queen h1, knight h4, nothing beyond: the walk runs off the top edge.
  ASSERT_TRUE(testing::set_position("k7/8/8/8/7N/8/8/6KQ w - -"));
  EXPECT_EQ(queen_self_pin(sq("h4")), 0);
  // A rook on h8, the last square before the edge: pinned ...
  ASSERT_TRUE(testing::set_position("k6r/8/8/8/7N/8/8/6KQ w - -"));
  EXPECT_EQ(queen_self_pin(sq("h4")), 1);
  // ... unless the piece is a rook, which takes it.
  ASSERT_TRUE(testing::set_position("k6r/8/8/8/7R/8/8/6KQ w - -"));
  EXPECT_EQ(queen_self_pin(sq("h4")), 0);
  // Queen h1, knight g2: the diagonal ends on a8. One step further would
  // wrap round to h8, where a rook stands on the queen's file; it is not
  // on this line.
  ASSERT_TRUE(testing::set_position("7r/8/1k6/8/8/8/6N1/6KQ w - -"));
  EXPECT_EQ(queen_self_pin(sq("g2")), 0);
  ASSERT_TRUE(testing::set_position("b7/8/1k6/8/8/8/6N1/6KQ w - -"));
  EXPECT_EQ(queen_self_pin(sq("g2")), 1);
  // Queen a1, knight d1: the rank ends on h1; the next square would be a2,
  // where a rook bears on the queen up the file.
  ASSERT_TRUE(testing::set_position("8/8/8/8/8/1k5K/r7/Q2N4 w - -"));
  EXPECT_EQ(queen_self_pin(sq("d1")), 0);
  ASSERT_TRUE(testing::set_position("8/8/8/8/8/1k4K1/8/Q2N3r w - -"));
  EXPECT_EQ(queen_self_pin(sq("d1")), 1);

  // The same through the analysis of a root move: Nf3-h4 next to the queen
  // on h1, with nothing on the h-file and with a rook on h8.
  load("k7/8/8/8/8/5N2/8/6KQ w - - 0 1");
  play("f3", "h4");
  play("a8", "b8");
  analyse_root_move();
  expect_no_threat();
  load("k6r/8/8/8/8/5N2/8/6KQ w - - 0 1");
  play("f3", "h4");
  play("a8", "b8");
  analyse_root_move();
  expect_threat(50, "f3", "h4");
}

TEST_F(Threats, NothingToJudgeWhenThePieceIsGone) {
  // The reply takes the bishop on a7 back: no trap to judge and no pin.
  load("1B1r2k1/p1p2ppp/1p3n2/8/8/3P4/r4PPP/6K1 w - - 0 1");
  play("b8", "a7");
  play("a2", "a7");
  analyse_root_move();
  expect_no_threat();
}

// A real search: after Bxa7 the reply b6 shuts the bishop in (b8 is
// covered by the rook on c8, b6 is guarded by c7), and the second
// iteration singles the capture out.
class ThreatSearch : public testing::SearchFixture {
 protected:
  void TearDown() override {
    clear_root_threat();
    SearchFixture::TearDown();
  }
};

TEST_F(ThreatSearch, TrappingCaptureIsSingledOut) {
  prepare("2r3k1/ppp2ppp/8/8/3B4/8/5PPP/6K1 w - - 0 1", 4);
  ASSERT_EQ(control.engine_side, 1);
  decide();
  EXPECT_EQ(search_path.iteration_depth, 4);
  EXPECT_EQ(eval_cache.threat_from, sq("d4"));
  EXPECT_EQ(eval_cache.threat_to, sq("a7"));
  EXPECT_EQ(eval_cache.threat_score, 135);
}

}  // namespace
}  // namespace brevalt

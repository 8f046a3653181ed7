// The static evaluation's frame: the draw score by ratings, the endings
// that are drawn or won by material alone, the lead bonus, the lazy exit
// and the limit that keeps static scores out of the mate band.
#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/position.h"
#include "eval/eval.h"
#include "eval/pieces.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/activity.h"
#include "search/search.h"
#include "eval/eval_fixture.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

class Evaluation : public testing::EvalFixture {};

TEST_F(Evaluation, DrawScoreFollowsTheRatingDifference) {
  search_path.root_endgame = 0;
  // The ratings of a new game: the engine is not the stronger one.
  EXPECT_EQ(game_clock.own_rating, 2640);
  EXPECT_EQ(game_clock.opponent_rating, 2641);
  EXPECT_EQ(draw_score(), 0);
  game_clock.own_rating = 2500;
  game_clock.opponent_rating = 2450;
  EXPECT_EQ(draw_score(), -20);
  // In an ending a draw is just a draw.
  search_path.root_endgame = 1;
  EXPECT_EQ(draw_score(), 0);
}

TEST_F(Evaluation, DrawScoreOfAFarStrongerEngine) {
  // The bands by rating gap: under 100 points -20, under 200 -40, from
  // 200 on -70 (a 150-point gap is still in the middle band).
  search_path.root_endgame = 0;
  game_clock.own_rating = 2500;
  game_clock.opponent_rating = 2350;
  EXPECT_EQ(draw_score(), -40);
  game_clock.opponent_rating = 2301;
  EXPECT_EQ(draw_score(), -40);
  game_clock.opponent_rating = 2300;
  EXPECT_EQ(draw_score(), -70);
  game_clock.opponent_rating = 2250;
  EXPECT_EQ(draw_score(), -70);
}

TEST_F(Evaluation, BareMaterialIsTheDrawScore) {
  for (const char* fen : {"8/8/4k3/8/8/3K4/8/8 w - - 0 1", "8/8/4k3/8/8/3K4/8/2B5 w - - 0 1",
                          "8/8/4k3/8/8/3K4/8/2N5 w - - 0 1", "8/8/4k3/8/8/3K4/8/2b5 w - - 0 1",
                          "8/8/4k3/8/8/3K4/8/2n5 b - - 0 1"}) {
    for (int side : {1, -1}) {
      position(fen, side);
      game_clock.own_rating = 2500;
      game_clock.opponent_rating = 2450;
      ASSERT_EQ(draw_score(), -20);
      EXPECT_EQ(evaluate(-9000, 9000), -20) << fen << " engine " << side;
    }
  }
}

TEST_F(Evaluation, LoneRookWinsByMaterialAndMore) {
  // 620 for the rook, the lead bonus of 28 and 300 for a lone rook; the
  // rook's table entry on a1 (10 empty squares: 10 / 2 = 5); king safety
  // (22 for the open a-file, 12 for the losing king on e8's corner-table
  // square, 0 for the winning king on e1) enters halved: 17.
  position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 1);
  EXPECT_EQ(evaluate(-9000, 9000), 970);
  position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", -1);
  EXPECT_EQ(evaluate(-9000, 9000), -970);
  position("r3k3/8/8/8/8/8/8/4K3 b - - 0 1", 1);
  EXPECT_EQ(evaluate(-9000, 9000), -970);
  position("r3k3/8/8/8/8/8/8/4K3 b - - 0 1", -1);
  EXPECT_EQ(evaluate(-9000, 9000), 970);
}

// The lazy exit sees only material: in the middlegame (the start position,
// the opponent's pieces worth far more than an ending's), past ply 3 and
// nominal depth 4, a material score 350 outside the window returns the bound.
class LazyExit : public Evaluation {
 protected:
  void SetUp() override {
    Evaluation::SetUp();
    position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 1);
    search_path.nominal_depth = 6;
  }
};

TEST_F(LazyExit, ClearLeadReturnsTheBound) {
  pos.material = 600;  // 628 with the lead bonus
  pos.ply = 4;
  EXPECT_EQ(evaluate(-50, 50), 50);
  // At an odd ply the window is the opponent's; seen from the engine the
  // result is the same bound.
  pos.ply = 5;
  EXPECT_EQ(evaluate(-50, 50), 50);
  // The engine on the other side is as far behind.
  control.engine_side = -1;
  pos.ply = 4;
  EXPECT_EQ(evaluate(-50, 50), -50);
  pos.ply = 5;
  EXPECT_EQ(evaluate(-50, 50), -50);
}

TEST_F(LazyExit, OnlyDeepEnoughInTheMiddlegame) {
  pos.material = 600;
  pos.ply = 3;
  EXPECT_NE(evaluate(-50, 50), 50);
  pos.ply = 4;
  search_path.nominal_depth = 4;
  EXPECT_NE(evaluate(-50, 50), 50);
  search_path.nominal_depth = 6;
  search_path.root_endgame = 1;
  EXPECT_NE(evaluate(-50, 50), 50);
  search_path.root_endgame = 0;
  search_path.opponent_material = 1600;
  EXPECT_NE(evaluate(-50, 50), 50);
  // A mate score in the window rules it out too.
  search_path.opponent_material = 4060;
  ASSERT_EQ(evaluate(-50, 50), 50);
  EXPECT_NE(evaluate(-9500, 50), 50);
}

TEST_F(LazyExit, MarginStartsFromMaterialWithTheLeadBonus) {
  pos.ply = 4;
  // 61 counts as 89: alpha from 439 on is out of reach.
  pos.material = 61;
  EXPECT_EQ(evaluate(439, 8000), 439);
  EXPECT_NE(evaluate(438, 8000), 438);
  // 60 is no clear lead: 410 is the edge.
  pos.material = 60;
  EXPECT_EQ(evaluate(410, 8000), 410);
  EXPECT_NE(evaluate(409, 8000), 409);
  // The beta side: 628 reaches down to 278.
  pos.material = 600;
  EXPECT_EQ(evaluate(-8000, 278), 278);
  EXPECT_NE(evaluate(-8000, 279), 279);
}

TEST_F(Evaluation, StaticScoresStayOutOfTheMateBand) {
  // Eight queens are worth more than a mate score would be.
  position("7k/8/8/8/8/8/QQQQQQQQ/K7 b - - 0 1", 1);
  EXPECT_EQ(evaluate(-9000, 9000), 8999);
  position("7k/8/8/8/8/8/QQQQQQQQ/K7 b - - 0 1", -1);
  EXPECT_EQ(evaluate(-9000, 9000), -8999);
  position("qqqqqqqq/8/8/8/8/8/8/k6K w - - 0 1", 1);
  EXPECT_EQ(evaluate(-9000, 9000), -8999);
}

}  // namespace
}  // namespace brevalt

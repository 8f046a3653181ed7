// The fixture of the evaluation tests: a position set up as the root
// driver sets one up before a search (piece lists, the opponent's material
// for the engine's side, the piece tables, the root king squares), at the
// root with no search-side terms.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board/makemove.h"
#include "board/position.h"
#include "eval/eval.h"
#include "eval/pieces.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/activity.h"
#include "search/search.h"
#include "support/engine_env.h"

namespace brevalt::testing {

class EvalFixture : public ::testing::Test {
 protected:
  void SetUp() override { start_new_game(); }
  void TearDown() override {
    search_path.root_endgame = 0;
    pos.ply = 0;
    search_path.nominal_depth = 0;
    start_new_game();
  }

  // The position with the engine playing `side` (+1 White, -1 Black).
  static void position(const std::string& fen, int side) {
    ASSERT_TRUE(set_position(fen)) << fen;
    control.engine_side = static_cast<int16_t>(side);
    build_piece_lists();  // the opponent's material depends on the engine's side
    for (int code : {2, 10, 3, 11, 4, 12, 5, 13}) build_piece_tables(code);
    eval_cache.root_white_king_sq = pos.white_king_sq();
    eval_cache.root_black_king_sq = pos.black_king_sq();
    search_path.root_endgame = 0;
    pos.ply = 0;
    search_path.nominal_depth = 0;
    search_path.draw_flag = 0;
    search_path.check_run = 0;
    eval_cache.threat_value = 0;
    search_path.activity_sum = 0;
    search_path.root_piece_retreats = 0;
    search_path.capture_count = 0;
    pos.state_top = &pos.state_stack[0];
  }
};

}  // namespace brevalt::testing

// The fixture of in-process searches: small transposition tables, a fresh
// game before and after, and the settings a test decision runs under.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/params.h"
#include "frontend/epd.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"
#include "support/engine_env.h"

namespace brevalt::testing {

class SearchFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_mask_ = shared_tables.tt_mask;
    saved_post_ = control.post_thinking;
    saved_settings_ = settings;
    // The test tables are the smallest: the index mask must match them.
    shared_tables.tt_mask = 0x3FFFF;
    ASSERT_GE(shared_tables.tt_entries, static_cast<int32_t>(shared_tables.tt_mask) + 3);
    start_new_game();
  }
  void TearDown() override {
    control.force_mode = 0;
    control.announce_move = 0;
    time_control.epd_mode = 0;
    control.post_thinking = saved_post_;
    static_cast<IniSettings&>(settings) = saved_settings_;
    start_new_game();
    shared_tables.tt_mask = saved_mask_;
  }

  // A fresh game on the position, the engine to move, a depth limit and
  // clocks so long that no time rule touches the search. In force mode the
  // decision is searched but not played.
  static void prepare(const char* fen, int depth) {
    ASSERT_TRUE(testing::set_position(fen)) << fen;
    settings.book_enabled = 0;
    search_root.in_book = 0;
    control.post_thinking = 0;
    control.announce_move = 0;
    control.ponder_enabled = 0;
    control.pondering = 0;
    control.force_mode = 1;
    time_control.epd_mode = 0;
    search_root.max_depth = static_cast<int16_t>(depth);
    game_clock.own_time = game_clock.opponent_time = 30000;
    game_clock.own_time_cs = 3000000;
    game_clock.time_increment = 0;
    game_clock.level_moves = 0;
  }

  // Runs a decision and returns what it printed.
  static std::string decide() {
    ::testing::internal::CaptureStdout();
    think(control.engine_side);
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }

  uint32_t saved_mask_ = 0;
  int32_t saved_post_ = 0;
  // The "Brevalt.ini" settings as the test found them (a test may turn
  // the book or its randomness off).
  IniSettings saved_settings_;
};

}  // namespace brevalt::testing

// Time management: the budget allot_time gives one move, and the decisions
// of check_for_stop, read off a clock the test moves by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "board/position.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "core/platform.h"
#include "search/root.h"
#include "search/timeman.h"

namespace brevalt {
namespace {

uint32_t fake_now;
uint32_t fake_clock() { return fake_now; }
uint64_t fake_ms_now;
uint64_t fake_ms_clock() { return fake_ms_now; }

// Every test reads the hand-moved clock and leaves the real one behind.
class TimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    start_new_game();
    time_control.time_source = fake_clock;
    fake_now = 1000;
    time_control.ms_source = fake_ms_clock;
    fake_ms_now = 17000;
    time_control.epd_mode = 0;
  }
  void TearDown() override {
    time_control.time_source = clock_ticks;
    time_control.ms_source = clock_ms;
    game_clock.time_increment_ms = 0;
    control.stop_search = 0;
    search_root.stop_at_root_move = 0;
    time_control.epd_mode = 0;
    game_clock.level_moves = 0;
    start_new_game();
  }

  // Clocks in seconds as the protocol gives them; the centisecond clock
  // follows the own clock.
  static void clocks(int own, int opponent, int increment, int moves, int ply) {
    game_clock.own_time = static_cast<int16_t>(own);
    game_clock.own_time_cs = own * 100;
    game_clock.opponent_time = static_cast<int16_t>(opponent);
    game_clock.time_increment = static_cast<int16_t>(increment);
    game_clock.time_increment_ms = increment * 1000;
    game_clock.level_moves = moves;
    pos.game_ply = static_cast<int16_t>(ply);
  }
};

using AllotTime = TimeTest;

// Fast clocks (under a minute, or increments in fractions of a second)
// are spent to the millisecond: a share of what is left after the
// overhead plus most of the increment, never more than half of what is
// left, and nothing on an empty clock. The whole-second tables would allot
// nothing below 8 s of sudden death and count 0.1 s increments as none.
TEST_F(AllotTime, FastClocksSpendAShareAndMostOfTheIncrement) {
  struct Case {
    int own_cs, increment_ms;
  };
  const Case cases[] = {{1000, 100}, {100, 10}, {700, 0}, {5000, 500}, {20, 100}, {-50, 100}, {5900, 1000}};
  for (const Case& c : cases) {
    clocks(0, 30, 0, 0, 20);
    game_clock.own_time = static_cast<int16_t>(c.own_cs / 100);
    game_clock.own_time_cs = c.own_cs;
    game_clock.time_increment_ms = c.increment_ms;
    allot_time();
    ASSERT_TRUE(time_control.fast_clock) << c.own_cs;
    const int64_t spent = static_cast<int64_t>(time_control.soft_deadline_ms - fake_ms_now);
    const int64_t usable = int64_t{c.own_cs} * 10 - game_clock.move_overhead_ms;
    if (usable <= 0) {
      EXPECT_EQ(spent, 0) << c.own_cs;
      continue;
    }
    EXPECT_GT(spent, 0) << c.own_cs;
    EXPECT_LE(spent, usable / 2) << c.own_cs;
    if (usable >= 4 * c.increment_ms) {
      EXPECT_GE(spent, c.increment_ms * 3 / 4) << c.own_cs;
    }
  }
  // The clocks the tables were made for keep them.
  clocks(300, 300, 0, 0, 20);
  allot_time();
  EXPECT_FALSE(time_control.fast_clock);
  clocks(90, 200, 2, 0, 20);
  allot_time();
  EXPECT_FALSE(time_control.fast_clock);
}

TEST_F(AllotTime, WorkedExamples) {
  // 40 moves in 5 minutes, first move, equal clocks.
  clocks(300, 300, 0, 40, 0);
  allot_time();
  EXPECT_EQ(time_control.move_time, 420);
  EXPECT_EQ(time_control.time_mode, 3);
  EXPECT_EQ(time_control.deadline, 1000 + 420);
  // Sudden death, a minute and a half against more than three minutes.
  clocks(90, 200, 0, 0, 20);
  allot_time();
  EXPECT_EQ(time_control.move_time, 120);
  EXPECT_EQ(time_control.time_mode, 3);
  // A level with a negative move count is sudden death too.
  clocks(90, 200, 0, -40, 20);
  allot_time();
  EXPECT_EQ(time_control.move_time, 120);
  EXPECT_EQ(time_control.time_mode, 3);
  // Two seconds increment, ahead on the clock.
  clocks(600, 500, 2, 0, 10);
  allot_time();
  EXPECT_EQ(time_control.move_time, 2100);
  EXPECT_EQ(time_control.time_mode, 4);
  // The move that completes a control of 40 (ply 78: move 40) with 11
  // seconds left spends nearly all of them, with no extension allowed.
  clocks(11, 300, 0, 40, 78);
  allot_time();
  EXPECT_EQ(time_control.move_time, 490);
  EXPECT_EQ(time_control.time_mode, 0);
}

TEST_F(AllotTime, LastMovesOfAControlGetNoExtensions) {
  // Plies 72 to 77 are moves 37 to 39 of a 40-move control.
  for (int ply : {72, 74, 76, 77}) {
    clocks(100, 100, 0, 40, ply);
    allot_time();
    EXPECT_EQ(time_control.time_mode, 0) << "ply " << ply;
    EXPECT_GE(time_control.move_time, 30) << "ply " << ply;
  }
  clocks(100, 100, 0, 40, 70);
  allot_time();
  EXPECT_NE(time_control.time_mode, 0);
}

TEST_F(AllotTime, LastResortLimitNeverFallsBeforeTheRulesOwnLimitsAtOrdinaryClocks) {
  // The latest a search may run by the rules themselves: the allotment,
  // one extension and the softened stop (or time_mode allotments once
  // extended), cut where too little would be left on the clock (6 s) or at
  // the absolute cap. The last-resort limit may only ever come after it.
  struct Control {
    const char* name;
    int moves, base, increment;
  };
  for (const Control& c : {Control{"40/5", 40, 300, 0}, Control{"5+0", 0, 300, 0}, Control{"2+1", 0, 120, 1},
                           Control{"15+10", 0, 900, 10}}) {
    for (int percent = 100; percent >= 5; percent -= 5) {
      const int own = c.base * percent / 100;
      for (int opponent : {own, own * 5 / 6, own * 6 / 5})
        for (int ply : {0, 1, 20, 41, 60}) {
          // Under a control period an ordinary clock holds at least half
          // of its pace for the moves left in the period.
          if (c.moves > 0) {
            const int left_in_period = c.moves - (ply / 2) % c.moves;
            if (own * c.moves * 2 < c.base * left_in_period) continue;
          }
          clocks(own, opponent, c.increment, c.moves, ply);
          fake_now = 5000;
          allot_time();
          const int32_t extended = time_control.move_time * (time_control.time_mode > 3 ? time_control.time_mode : 3);
          int32_t rules_limit = extended < 18000 ? extended : 18000;
          if ((own - 6) * 60 < rules_limit) rules_limit = (own - 6) * 60;
          EXPECT_GE(time_control.hard_deadline - 5000, rules_limit)
              << c.name << " own " << own << " s, opponent " << opponent << " s, ply " << ply;
        }
    }
  }
}

TEST_F(AllotTime, LastResortLimitKeepsAShortControlInsideItsClock) {
  // 40 moves in 15 or 20 seconds: the allotment is raised to half a second,
  // more than the clock holds per move; the limit keeps the period inside
  // the clock (the share over the moves left, this one included). Any
  // clock: never the last eighth, and at the very end the first look stops.
  struct Case {
    int32_t centiseconds, moves, ply, most;  // ticks after "now"
  };
  for (const Case& c : {Case{1500, 40, 0, 900 / 40}, Case{2000, 40, 0, 1200 / 40}, Case{1000, 40, 50, 600 / 15},
                        Case{30000, 0, 0, 30000 * 60 / 100 * 7 / 8}, Case{100, 0, 0, 60 - 7}, Case{10, 0, 0, -1},
                        Case{0, 0, 0, -1}, Case{-500, 0, 0, -1}}) {
    clocks(c.centiseconds / 100, c.centiseconds / 100, 0, c.moves, c.ply);
    game_clock.own_time_cs = c.centiseconds;
    fake_now = 5000;
    allot_time();
    EXPECT_LE(time_control.hard_deadline - 5000, c.most) << c.centiseconds << " cs, ply " << c.ply;
  }
}

TEST_F(AllotTime, PathologicalClocksGiveANonNegativeBudget) {
  // Negative, empty and saturated clocks, negative move counts, flag falls
  // on either side: no trap (the sanitizer build checks for division by
  // zero and overflow), and never a negative budget.
  const int times[] = {-32768, -100, -1, 0, 1, 4, 5, 7, 8, 12, 13, 59, 60, 61, 299, 1199, 1200, 32767};
  const int increments[] = {-5, 0, 1, 2, 3, 32767};
  const int moves[] = {INT_MIN, -40, -1, 0, 1, 2, 40, INT_MAX};
  const int plies[] = {0, 1, 78, 79, 598};
  for (int t : times)
    for (int o : times)
      for (int inc : increments)
        for (int n : moves)
          for (int ply : plies) {
            clocks(t, o, inc, n, ply);
            game_clock.own_time_cs = t * 100;
            allot_time();
            ASSERT_GE(time_control.move_time, 0) << t << " " << o << " " << inc << " " << n << " " << ply;
            ASSERT_EQ(time_control.deadline, 1000 + time_control.move_time);
            ASSERT_GE(time_control.time_mode, 0);
            ASSERT_LE(time_control.time_mode, 4);
            ASSERT_GE(time_control.hard_deadline, 1000 - 1);
            ASSERT_LE(time_control.hard_deadline, 1000 + (t > 0 ? t * 60 : 0));
          }
}

// check_for_stop with a search five seconds into a ten-second budget.
class CheckForStop : public TimeTest {
 protected:
  void SetUp() override {
    TimeTest::SetUp();
    clocks(300, 300, 0, 0, 10);
    time_control.time_mode = 3;
    time_control.move_time = 600;
    time_control.search_start = 1000;
    time_control.deadline = 1600;
    time_control.hard_deadline = 1000 + 9000;
    time_control.extended_at = 0;
    time_control.score_floor = 0;
    time_control.prev_move_score = 0;
    search_root.root_best_score = 0;
    search_root.root_moves_searched = 1;
    search_root.best_move_changes = 0;
    search_root.fail_low_active = 0;
    search_path.iteration_depth = 5;
    control.stop_search = 0;
    search_root.stop_at_root_move = 0;
    fake_now = 1300;
  }
  static bool nothing_decided() { return control.stop_search == 0 && search_root.stop_at_root_move == 0 && time_control.extended_at == 0; }
};

TEST_F(CheckForStop, NothingBeforeTheDeadline) {
  for (int d : {1, 5, 7, 20}) {
    search_path.iteration_depth = static_cast<int16_t>(d);
    fake_now = 1599;
    search_root.root_best_score = -50;
    time_control.prev_move_score = 100;
    check_for_stop();
    EXPECT_TRUE(nothing_decided()) << d;
    EXPECT_EQ(time_control.deadline, 1600);
  }
}

TEST_F(CheckForStop, StopsPastTheDeadlineFromIterationFive) {
  fake_now = 1601;
  for (int d : {1, 2, 3, 4}) {
    search_path.iteration_depth = static_cast<int16_t>(d);
    check_for_stop();
    EXPECT_TRUE(nothing_decided()) << d;
  }
  // Far past the deadline makes no difference to the first four iterations.
  fake_now = 9000;
  search_path.iteration_depth = 4;
  check_for_stop();
  EXPECT_TRUE(nothing_decided());
  fake_now = 1601;
  search_path.iteration_depth = 5;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
}

TEST_F(CheckForStop, HardDeadlineStopsAnyIterationAfterTheFirst) {
  search_path.iteration_depth = 2;
  fake_now = 10000;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  fake_now = 10001;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
  EXPECT_EQ(search_root.stop_at_root_move, 0);
  // The first iteration always completes: it is what the move rests on.
  control.stop_search = 0;
  search_path.iteration_depth = 1;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
}

TEST_F(CheckForStop, FallingScoreEarnsAnotherMoveTime) {
  search_path.iteration_depth = 7;
  fake_now = 1601;
  time_control.prev_move_score = 40;
  search_root.root_best_score = 10;  // 30 below the score of the last move
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  EXPECT_EQ(search_root.stop_at_root_move, 0);
  EXPECT_EQ(time_control.deadline, 1600 + 600);
  EXPECT_EQ(time_control.extended_at, 7);
  EXPECT_EQ(time_control.time_mode, 2);
  EXPECT_EQ(time_control.score_floor, 35);
}

TEST_F(CheckForStop, DropOfTwentyIsNotEnough) {
  search_path.iteration_depth = 7;
  fake_now = 1601;
  time_control.prev_move_score = 40;
  search_root.root_best_score = 20;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
  EXPECT_EQ(time_control.deadline, 1600);
}

TEST_F(CheckForStop, StopWithTimeToSpareFinishesTheRootMoveInHand) {
  search_path.iteration_depth = 7;
  fake_now = 1601;
  search_root.root_moves_searched = 2;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  EXPECT_EQ(search_root.stop_at_root_move, 1);
  EXPECT_EQ(time_control.deadline, 1600 + 600);
  EXPECT_EQ(time_control.extended_at, 7);
  EXPECT_EQ(time_control.score_floor, -10000);
}

TEST_F(CheckForStop, StopIsNotSoftenedWithoutTimeModeClockOrMovesDone) {
  struct Case {
    int mode, own, searched;
  };
  for (const Case& c : {Case{0, 300, 2}, Case{3, 10, 2}, Case{3, 300, 1}}) {
    SetUp();
    search_path.iteration_depth = 7;
    fake_now = 1601;
    time_control.time_mode = c.mode;
    game_clock.own_time = static_cast<int16_t>(c.own);
    search_root.root_moves_searched = static_cast<int16_t>(c.searched);
    check_for_stop();
    EXPECT_EQ(control.stop_search, 1) << c.mode << " " << c.own << " " << c.searched;
    EXPECT_EQ(search_root.stop_at_root_move, 0);
  }
}

TEST_F(CheckForStop, ExtendedSearchGoesOnWhileTheScoreHasNotRecovered) {
  search_path.iteration_depth = 8;
  time_control.extended_at = 7;
  time_control.score_floor = 35;
  search_root.root_best_score = 10;
  fake_now = 1601;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  // Back at the floor: stop.
  search_root.root_best_score = 35;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
  // Not recovered, but more than time_mode budgets spent.
  control.stop_search = 0;
  search_root.root_best_score = 10;
  fake_now = 1000 + 600 * 3 + 1;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
}

TEST_F(CheckForStop, ExtendedSearchStopsWhenTheClockRunsLow) {
  clocks(10, 300, 0, 0, 10);
  time_control.hard_deadline = 1000 + 600;
  search_path.iteration_depth = 7;
  time_control.extended_at = 7;
  time_control.deadline = 2000;
  fake_now = 1000 + 5 * 60 - 1;  // not yet five seconds of ten gone
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  fake_now = 1000 + 5 * 60;  // five gone: fewer than six left
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
  // Only while the deadline is still ahead: at the deadline itself the
  // rules for a passed deadline decide (and one that has not passed yet
  // decides nothing).
  control.stop_search = 0;
  time_control.deadline = fake_now;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
}

TEST_F(CheckForStop, WrappingCounterIsComparedByDifference) {
  time_control.search_start = static_cast<int32_t>(0xFFFFFD00u);
  time_control.deadline = static_cast<int32_t>(0xFFFFFFF0u);
  time_control.hard_deadline = static_cast<int32_t>(0xFFFFFFF0u + 5000u);
  search_path.iteration_depth = 5;
  fake_now = 0xFFFFFFE0u;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  fake_now = 0x10u;  // 32 ticks after the deadline, across the wrap
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
}

TEST_F(CheckForStop, TestRunsStopAtTheirOwnDeadlineOnly) {
  time_control.epd_mode = 1;
  search_path.iteration_depth = 1;
  fake_now = 20000;  // past both game deadlines: they do not count here
  time_control.epd_deadline = 30000;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 0);
  fake_now = 30001;
  check_for_stop();
  EXPECT_EQ(control.stop_search, 1);
}

TEST(TimeBase, DeadlineSetBeforeTheMillisecondCountWrapsIsPassedAfterIt) {
  // The platform clock is a millisecond count divided into ticks. A
  // deadline one second ahead, set 16 ms before a 32-bit millisecond count
  // would wrap, must count as passed two seconds later; so must one set
  // just before the tick count itself wraps at 2^32.
  for (const uint64_t ms : {uint64_t{0xFFFFFFF0u}, uint64_t{0xFFFFFFF0u} * 17u}) {
    const int32_t before = static_cast<int32_t>(ticks_from_ms(ms));
    const int32_t limit = before + 60;
    const int32_t two_seconds_later = static_cast<int32_t>(ticks_from_ms(ms + 2000u));
    EXPECT_TRUE(tick_passed(two_seconds_later, limit));
    EXPECT_FALSE(tick_passed(before + 30, limit));
  }
  // Within the count the same holds, of course.
  EXPECT_TRUE(tick_passed(static_cast<int32_t>(ticks_from_ms(5000 + 2000)),
                          static_cast<int32_t>(ticks_from_ms(5000)) + 60));
}

}  // namespace
}  // namespace brevalt

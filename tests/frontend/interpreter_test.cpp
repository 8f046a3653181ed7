// The interpreter's parsing, checked through the protocol state it leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/reset.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"

namespace brevalt {
namespace {

// Runs one line through the interpreter and returns what it printed.
std::string send(const std::string& line) {
  std::strncpy(protocol.input_line, line.c_str(), INPUT_LINE_SIZE - 1);
  protocol.input_line[INPUT_LINE_SIZE - 1] = '\0';
  ::testing::internal::CaptureStdout();
  interpret_command();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

class Interpreter : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_protocol_state();
    start_new_game();
  }
  void TearDown() override {
    clear_protocol_state();
    start_new_game();
  }
};

TEST_F(Interpreter, LevelReadsMovesMinutesAndIncrement) {
  send("level 40 5 0\n");
  EXPECT_EQ(game_clock.level_moves, 40);
  EXPECT_EQ(game_clock.own_time, 300);
  EXPECT_EQ(game_clock.time_increment, 0);
  // An empty base time leaves ten seconds; the increment is kept.
  send("level 0 0 5\n");
  EXPECT_EQ(game_clock.level_moves, 0);
  EXPECT_EQ(game_clock.own_time, 10);
  EXPECT_EQ(game_clock.time_increment, 5);
  // Minutes and seconds, and an increment with its fraction, as xboard
  // sends them for 5:30 + 2 and 10 s + 0.1 s.
  send("level 0 5:30 2\n");
  EXPECT_EQ(game_clock.own_time, 330);
  EXPECT_EQ(game_clock.time_increment_ms, 2000);
  send("level 0 0:30 0\n");
  EXPECT_EQ(game_clock.own_time, 30);
  send("level 0 0:10 0.1\n");
  EXPECT_EQ(game_clock.own_time, 10);
  EXPECT_EQ(game_clock.own_time_cs, 1000);
  EXPECT_EQ(game_clock.time_increment, 0);
  EXPECT_EQ(game_clock.time_increment_ms, 100);
  // The opponent's clock is not touched.
  EXPECT_EQ(game_clock.opponent_time, 200);
}

TEST_F(Interpreter, LevelWithMissingFieldsReadsThemAsZero) {
  send("level 30\n");
  EXPECT_EQ(game_clock.level_moves, 30);
  EXPECT_EQ(game_clock.own_time, 10);
  EXPECT_EQ(game_clock.time_increment, 0);
  send("level\n");
  EXPECT_EQ(game_clock.level_moves, 0);
}

TEST_F(Interpreter, ClockCommandsConvertCentiseconds) {
  send("time 345\n");
  EXPECT_EQ(game_clock.own_time, 3);
  send("time 99\n");
  EXPECT_EQ(game_clock.own_time, 0);
  send("otim 12345\n");
  EXPECT_EQ(game_clock.opponent_time, 123);
  send("time abc\n");
  EXPECT_EQ(game_clock.own_time, 0);
  send("time\n");
  EXPECT_EQ(game_clock.own_time, 0);
}

TEST_F(Interpreter, HugeClockNumbersAreClampedNotWrapped) {
  // 4,000,000 centiseconds is 40,000 seconds: beyond the 16-bit field.
  send("time 4000000\n");
  EXPECT_EQ(game_clock.own_time, 32767);
  send("otim 99999999999999999999999\n");
  EXPECT_EQ(game_clock.opponent_time, 32767);
  send("level 1 999999 99999999\n");
  EXPECT_EQ(game_clock.own_time, 32767);
  EXPECT_EQ(game_clock.time_increment, 32767);
  // Minutes near the top of the parser's range: sixty times them must not
  // overflow on the way to seconds (found by the session fuzzer).
  send("level 1 777777777777777777 0\n");
  EXPECT_EQ(game_clock.own_time, 32767);
  // A base time below zero is no base time: the ten seconds of an empty one.
  send("level 1 -777777777777777777 0\n");
  EXPECT_EQ(game_clock.own_time, 10);
  send("time -4000000\n");
  EXPECT_EQ(game_clock.own_time, -32768);
}

TEST_F(Interpreter, RatingsOutsideTheBelievableRangeAreMarked) {
  send("rating 2500 2400\n");
  EXPECT_EQ(game_clock.own_rating, 2500);
  EXPECT_EQ(game_clock.opponent_rating, 2400);
  send("rating 0999 2400\n");
  EXPECT_EQ(game_clock.own_rating, 1);
  EXPECT_EQ(game_clock.opponent_rating, 2400);
  send("rating 2500 4001\n");
  EXPECT_EQ(game_clock.own_rating, 2500);
  EXPECT_EQ(game_clock.opponent_rating, 0);
  send("rating 1000 4000\n");
  EXPECT_EQ(game_clock.own_rating, 1000);
  EXPECT_EQ(game_clock.opponent_rating, 4000);
  send("rating\n");
  EXPECT_EQ(game_clock.own_rating, 1);
  EXPECT_EQ(game_clock.opponent_rating, 0);
}

TEST_F(Interpreter, IcsFlagsChessServerMode) {
  send("ics freechess.org\n");
  EXPECT_EQ(control.ics_mode, 1);
  send("ics -\n");
  EXPECT_EQ(control.ics_mode, 0);
  send("ics\n");
  EXPECT_EQ(control.ics_mode, 1);
}

TEST_F(Interpreter, FlagCommands) {
  send("hard\n");
  EXPECT_EQ(control.ponder_enabled, 1);
  send("easy\n");
  EXPECT_EQ(control.ponder_enabled, 0);
  send("nopost\n");
  EXPECT_EQ(control.post_thinking, 0);
  send("post\n");
  EXPECT_EQ(control.post_thinking, 1);
  send("computer\n");
  EXPECT_EQ(game_clock.opponent_is_computer, 1);
  send("?\n");
  EXPECT_EQ(control.stop_search, 1);
  control.stop_search = 0;
  send("accepted usermovex\n");
  EXPECT_EQ(protocol.usermove_accepted, 0);
  send("accepted usermove\n");
  EXPECT_EQ(protocol.usermove_accepted, 1);
}

TEST_F(Interpreter, GoPlaysTheSideToMoveAndRequestsAMove) {
  send("force\n");
  EXPECT_EQ(control.force_mode, 1);
  EXPECT_EQ(control.announce_move, 0);
  send("go\n");
  EXPECT_EQ(control.force_mode, 0);
  EXPECT_EQ(control.engine_side, 1);  // White to move at game_ply 0
  EXPECT_EQ(control.move_request, 1);
  EXPECT_EQ(control.announce_move, 1);
  EXPECT_EQ(control.game_in_progress, 1);
  // "force" during a game also stops a running search.
  send("force\n");
  EXPECT_EQ(control.stop_search, 1);
}

TEST_F(Interpreter, MovesFillSquaresAndPromotionLetter) {
  send("force\n");
  // The game routine clears user_from once it has handled the move; the
  // to-square and the promotion letter stay as the interpreter set them.
  send("e7e8q\n");
  EXPECT_EQ(control.user_to, 60);
  EXPECT_EQ(control.promotion_letter, 'Q');
  send("e7e8\n");
  EXPECT_EQ(control.promotion_letter, 0);
  send("a2a1=N\n");
  EXPECT_EQ(control.user_to, 0);
  EXPECT_EQ(control.promotion_letter, 'N');
  send("h7h8r\n");
  EXPECT_EQ(control.user_to, 63);
  EXPECT_EQ(control.promotion_letter, 'R');
  // In force mode the engine takes the side that moves next.
  EXPECT_EQ(control.engine_side, -1);
  EXPECT_EQ(control.game_in_progress, 1);
  EXPECT_EQ(control.announce_move, 0);
}

TEST_F(Interpreter, MoveWhileThinkingIsRefused) {
  control.thinking = 1;
  EXPECT_EQ(send("e2e4\n"), "Error (command not legal now): move\n");
  control.thinking = 0;
  EXPECT_EQ(control.game_in_progress, 0);
}

TEST_F(Interpreter, NewDuringASearchDefersTheReset) {
  control.game_in_progress = 1;
  control.thinking = 1;
  send("new\n");
  EXPECT_EQ(control.reset_request, 1);
  EXPECT_EQ(control.stop_search, 1);
  EXPECT_EQ(control.game_in_progress, 0);
  control.thinking = 0;
}

TEST_F(Interpreter, ResultStandsDownAndRequestsAReset) {
  send("go\n");
  control.pondering = 1;
  EXPECT_EQ(send("result 1-0 {White mates}\n"), "");
  EXPECT_EQ(control.game_in_progress, 0);
  EXPECT_EQ(control.pondering, 0);
  EXPECT_EQ(control.move_request, 0);
  EXPECT_EQ(control.reset_request, 1);
  EXPECT_EQ(control.stop_search, 1);
}

TEST_F(Interpreter, SeeRefusesSquaresOffTheBoard) {
  EXPECT_EQ(send("see 64\n"), "Error (square must be 0 to 63): see\n");
  EXPECT_EQ(send("see -1\n"), "Error (square must be 0 to 63): see\n");
  EXPECT_EQ(send("see\n"), "Error (square must be 0 to 63): see\n");
  EXPECT_EQ(send("see 99999999999999999999\n"), "Error (square must be 0 to 63): see\n");
  EXPECT_EQ(send("see 12\n"), "telluser result is 0\n");
}

}  // namespace
}  // namespace brevalt

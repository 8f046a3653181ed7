// Input polling: when the search looks at its input, and what the platform
// layer reports for a pipe with data, an empty pipe and a closed one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "core/platform.h"

namespace brevalt {
namespace {

// Gives the test process a fresh pipe as standard input for one test and
// puts the previous standard input back afterwards.
class StdinPipe : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = dup(STDIN_FILENO);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_GE(dup2(fds[0], STDIN_FILENO), 0);
    close(fds[0]);
    writer_ = fds[1];
    std::clearerr(stdin);
  }
  void TearDown() override {
    if (writer_ >= 0) close(writer_);
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    std::clearerr(stdin);
    control.pondering = 0;
  }
  void feed(const std::string& text) {
    ASSERT_EQ(write(writer_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  int saved_ = -1;
  int writer_ = -1;
};

TEST_F(StdinPipe, InputWaitingCountsPipeBytes) {
  EXPECT_EQ(input_waiting(), 0u);
  feed("xboard\n");
  EXPECT_EQ(input_waiting(), 7u);
  // A closed pipe reports input so that the read finds the end.
  close(writer_);
  writer_ = -1;
  EXPECT_NE(input_waiting(), 0u);
}

std::string poll(int32_t nodes) {
  ::testing::internal::CaptureStdout();
  poll_input(nodes);
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

TEST_F(StdinPipe, SearchPollsOnlyAtItsIntervalUnlessPondering) {
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  feed("xboard\n");
  // Thinking on its own time, the search looks at its input every 100000 nodes.
  EXPECT_EQ(poll(12345), "");
  EXPECT_EQ(poll(150000), "");
  EXPECT_EQ(input_waiting(), 7u);
  EXPECT_EQ(poll(200000), "\n");
  // A count of 0 always polls; with nothing waiting it never blocks.
  feed("xboard\n");
  EXPECT_EQ(poll(0), "\n");
  EXPECT_EQ(poll(0), "");
  // While pondering every call polls, so the opponent's move is seen at once.
  control.pondering = 1;
  feed("xboard\n");
  EXPECT_EQ(poll(7), "\n");
}

TEST(Clock, TicksAreSeventeenMilliseconds) {
  EXPECT_EQ(ticks_from_ms(1700), 100u);
  EXPECT_EQ(ticks_from_ms(16), 0u);
  EXPECT_EQ(ticks_from_ms(0xFFFFFFFFu), 0xFFFFFFFFu / 17u);
  uint32_t a = clock_ticks();
  usleep(60 * 1000);
  uint32_t b = clock_ticks();
  EXPECT_GE(b - a, 2u);
  EXPECT_LE(b - a, 60u);
}

}  // namespace
}  // namespace brevalt

// Robustness: thousands of random and mutated command lines must leave the
// engine alive and answering the handshake exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const CORPUS[] = {
    "xboard", "protover 2", "accepted usermove", "rejected ics", "new", "random", "force",
    "undo", "post", "nopost", "hard", "easy", "computer", "ics -", "ics host", "?", "draw",
    "time 30000", "otim 30000", "rating 2400 2300", "level 40 5 0", "level 0 2:30 12",
    "result 1/2-1/2", "see 28", "see 63", "name Opponent", "mob", "e2e4", "e7e8q", "a7a8=n",
    "usermove g1f3", "setboard rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "setboard 8/8/8/8/8/8/8/8 w - -", "setboard r3k2r/8/8/8/8/8/8/R3K2R w KQkq -",
    "static missing.epd", "epdtest missing.epd 1", "epdtest x 99", "ping 1", "st 10", "sd 4",
};

const char* const HUGE_NUMBERS[] = {"99999999999999999999999", "-99999999999999999999", "2147483648",
                                    "-2147483649", "65536", "-32769", "4294967296"};

// Lines that would end the engine or start a search are left out: the test
// is about surviving what an interface sends, not about the engine's play.
bool acceptable(const std::string& line) {
  std::string lower = line;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* bad : {"quit", "exit", "go"})
    if (lower.find(bad) != std::string::npos) return false;
  return true;
}

std::string random_line(std::mt19937& rng) {
  std::uniform_int_distribution<int> kind(0, 5);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string line;
  switch (kind(rng)) {
    case 0: {  // random bytes, any value but the line end
      int n = std::uniform_int_distribution<int>(0, 200)(rng);
      for (int i = 0; i < n; ++i) {
        char c = static_cast<char>(byte(rng));
        line += c == '\n' ? ' ' : c;
      }
      break;
    }
    case 1:  // a command as it stands
      line = CORPUS[std::uniform_int_distribution<size_t>(0, std::size(CORPUS) - 1)(rng)];
      break;
    case 2: {  // a command with a few bytes changed, dropped or added
      line = CORPUS[std::uniform_int_distribution<size_t>(0, std::size(CORPUS) - 1)(rng)];
      int edits = std::uniform_int_distribution<int>(1, 4)(rng);
      for (int e = 0; e < edits && !line.empty(); ++e) {
        size_t at = std::uniform_int_distribution<size_t>(0, line.size() - 1)(rng);
        int op = std::uniform_int_distribution<int>(0, 2)(rng);
        char c = static_cast<char>(byte(rng));
        if (c == '\n') c = '/';
        if (op == 0) line[at] = c;
        else if (op == 1) line.erase(at, 1);
        else line.insert(at, 1, c);
      }
      break;
    }
    case 3: {  // a numeric command with a number that fits no field
      const char* cmds[] = {"time ", "otim ", "rating ", "level ", "see ", "epdtest x ", "level 1 "};
      line = cmds[std::uniform_int_distribution<size_t>(0, std::size(cmds) - 1)(rng)];
      line += HUGE_NUMBERS[std::uniform_int_distribution<size_t>(0, std::size(HUGE_NUMBERS) - 1)(rng)];
      line += " ";
      line += HUGE_NUMBERS[std::uniform_int_distribution<size_t>(0, std::size(HUGE_NUMBERS) - 1)(rng)];
      break;
    }
    case 4: {  // a long line, split by the reader into pieces
      line = CORPUS[std::uniform_int_distribution<size_t>(0, std::size(CORPUS) - 1)(rng)];
      line += std::string(std::uniform_int_distribution<int>(60, 400)(rng), 'a' + static_cast<char>(byte(rng) % 8));
      break;
    }
    default: {  // setboard with a damaged position text
      line = "setboard ";
      const char* chars = "KQRBNPkqrbnp12345678/ wb-KQkq;0123456789abcdefgh";
      int n = std::uniform_int_distribution<int>(0, 90)(rng);
      for (int i = 0; i < n; ++i) line += chars[byte(rng) % 48];
      break;
    }
  }
  return line;
}

TEST(Robustness, RandomAndMutatedCommandsLeaveTheEngineAnswering) {
  std::mt19937 rng(20261207);
  std::string input = "xboard\n";
  int lines = 0;
  while (lines < 4000) {
    std::string line = random_line(rng);
    if (!acceptable(line)) continue;
    // "force" first: a move typed among the noise is recorded, never answered
    // by a search.
    input += "force\n" + line + "\n";
    ++lines;
  }
  input += "protover 2\nquit\n";
  EngineSandbox box;
  EngineRun r = box.run(input, 120000);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_status, 0);
  const std::string tail =
      "feature setboard=1\nfeature sigint=0\nfeature sigterm=0\nfeature colors=0\n"
      "feature analyze=1\nfeature ping=1\nfeature usermove=1\nfeature ics=1\nfeature memory=1\nfeature variants=\"normal,fischerandom\"\n" +
      std::string(engine_max_threads() > 1 ? "feature smp=1\n" : "") + "feature myname=\"Brevalt " BREVALT_VERSION "\"\n"
      "feature option=\"Limit Strength -check 0\"\nfeature option=\"Strength -spin 1400 1000 1800\"\n"
      "feature option=\"MultiPV -spin 1 1 64\"\nfeature exclude=1\nfeature done=1\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

}  // namespace
}  // namespace brevalt::testing

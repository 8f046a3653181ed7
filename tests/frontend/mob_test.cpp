// "mob" end to end: the activity points of every square written to
// "mob.txt", rank 8 first, in silence; refused while a game runs.
#include <gtest/gtest.h>

#include <string>

#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const std::string ZERO_RANK = "0 0 0 0 0 0 0 0 \n";

TEST(Mob, WritesThePointsOfEverySquareRankEightFirst) {
  EngineSandbox box;
  // Knight f3: d4 and e5 free, 2 x 6 = 12. Pawn e4: in the centre 2, d5
  // and f5 attacked, 2 x 8 = 16. Black king c5 in the centre: 4. The
  // white king on a1 and every empty square: 0.
  EngineRun r = box.run("setboard 8/8/8/2k5/4P3/5N2/8/K7 w - -\nmob\nquit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exit_status, 0);
  ASSERT_TRUE(box.has_file("mob.txt"));
  EXPECT_EQ(box.read_file("mob.txt"), ZERO_RANK + ZERO_RANK + ZERO_RANK +
                                          "0 0 4 0 0 0 0 0 \n"
                                          "0 0 0 0 16 0 0 0 \n"
                                          "0 0 0 0 0 12 0 0 \n" +
                                          ZERO_RANK + ZERO_RANK);
}

TEST(Mob, OverwritesTheFileOfTheLastPosition) {
  EngineSandbox box;
  // A black rook on d8 down the open d-file: d5 and d4, 2 x 6 = 12.
  EngineRun r = box.run(
      "setboard 8/8/8/2k5/4P3/5N2/8/K7 w - -\nmob\n"
      "setboard 3r4/8/8/8/8/8/8/K6k b - -\nmob\nquit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(box.read_file("mob.txt"), "0 0 0 12 0 0 0 0 \n" + ZERO_RANK + ZERO_RANK + ZERO_RANK + ZERO_RANK +
                                          ZERO_RANK + ZERO_RANK + ZERO_RANK);
}

TEST(Mob, InTheMiddleOfAGameNoFileIsWritten) {
  EngineSandbox box;
  box.run("force\ne2e4\nmob\nquit\n");
  EXPECT_FALSE(box.has_file("mob.txt"));
}

TEST(Mob, AnswersInTurnWithTheOtherCommands) {
  // Driven line by line: once the command after "mob" has been answered,
  // the file is there and "mob" itself said nothing.
  EngineSandbox box;
  EngineSession engine(box);
  engine.send("setboard 8/8/8/2k5/4P3/5N2/8/K7 w - -\nmob\n");
  ASSERT_TRUE(engine.sync(10000));
  EXPECT_EQ(engine.out(), "Error (unknown command): sync1\n");
  EXPECT_TRUE(box.has_file("mob.txt"));
  EXPECT_EQ(engine.quit(), 0);
}

}  // namespace
}  // namespace brevalt::testing

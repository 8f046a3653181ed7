// Start-up end to end: each fatal failure leaves exactly its one line in
// "error file" and on standard error, prints nothing on standard output
// and exits with a non-zero status; a missing parameter file only leaves
// a note and the engine runs on its defaults.
#include <gtest/gtest.h>

#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

TEST(StartUp, MissingMoveFileIsReportedAndEndsQuietly) {
  EngineSandbox box;
  box.remove_file("MoveFile");
  EngineRun r = box.run("xboard\nprotover 2\nquit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.exit_status, 0);
  EXPECT_EQ(r.err, "brevalt: can't read movefile\n");
  EXPECT_EQ(box.read_file("error file"), "can't read movefile\n");
}

TEST(StartUp, BrokenMoveFileIsReported) {
  EngineSandbox box;
  std::string good = box.read_file("MoveFile");
  box.write_file("MoveFile", good.substr(0, good.size() / 2));
  EngineRun r = box.run("xboard\nquit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.exit_status, 0);
  EXPECT_EQ(r.err, "brevalt: can't read movefile\n");
  EXPECT_EQ(box.read_file("error file"), "can't read movefile\n");
}

TEST(StartUp, MissingHashValuesIsReported) {
  EngineSandbox box;
  box.remove_file("hash_values");
  EngineRun r = box.run("xboard\nquit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.exit_status, 0);
  EXPECT_EQ(r.err, "brevalt: can't read hash values\n");
  EXPECT_EQ(box.read_file("error file"), "can't read hash values\n");
}

TEST(StartUp, MissingParameterFileKeepsTheDefaults) {
  EngineSandbox box;
  box.remove_file("Brevalt.ini");
  EngineRun r = box.run("xboard\nquit\n");
  EXPECT_EQ(r.out, "\n");
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(box.read_file("error file"), "can't read parameter file\n");
}

TEST(StartUp, ErrorFileHoldsOnlyTheLatestMessage) {
  EngineSandbox box;
  box.write_file("error file", "an old message that is much longer than the new one\n");
  box.remove_file("MoveFile");
  box.run("quit\n");
  EXPECT_EQ(box.read_file("error file"), "can't read movefile\n");
}

TEST(StartUp, CleanStartWritesNoErrorFile) {
  EngineSandbox box;
  EngineRun r = box.run("quit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_FALSE(box.has_file("error file"));
}

TEST(StartUp, EveryHashSizeStarts) {
  for (char code : {'1', '2', '3', '4'}) {
    EngineSandbox box;
    box.write_file("Brevalt.ini", std::string("*\n1\n") + code + "\n1\n1\n");
    EngineRun r = box.run("xboard\nnew\nquit\n");
    EXPECT_EQ(r.out, "\n") << code;
    EXPECT_EQ(r.exit_status, 0) << code;
  }
}

}  // namespace
}  // namespace brevalt::testing

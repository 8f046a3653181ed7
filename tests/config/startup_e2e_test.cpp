// Start-up end to end: each fatal failure leaves exactly its one line in
// "error file" and on standard error, prints nothing on standard output
// and exits with a non-zero status; a missing parameter file only leaves
// a note and the engine runs on its defaults. A damaged key or move file
// is such a failure, not a game played on wrong keys or wrong moves.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

using Words = std::vector<std::string>;
using Damage = std::function<std::string(const std::string&)>;

// A damage done to the file's words (white space between them), which are
// written back one a line.
Damage to_words(std::function<void(Words&)> edit) {
  return [edit](const std::string& text) {
    std::istringstream in(text);
    Words words;
    for (std::string w; in >> w;) words.push_back(w);
    edit(words);
    std::string out;
    for (const std::string& w : words) out += w + "\n";
    return out;
  };
}

TEST(StartUp, DamagedKeyAndMoveFilesAreRefusedAndSoundOnesStart) {
  struct Case {
    const char* what;
    const char* file;
    Damage damage;
    const char* message;  // nullptr: the engine starts
  };
  const Case cases[] = {
      {"empty key file", "hash_values", [](const std::string&) { return std::string(); }, "can't read hash values\n"},
      {"key file cut to 100 bytes", "hash_values", [](const std::string& t) { return t.substr(0, 100); },
       "can't read hash values\n"},
      {"a key left out", "hash_values", to_words([](Words& w) { w.pop_back(); }), "can't read hash values\n"},
      {"a key that is not a number", "hash_values", to_words([](Words& w) { w[480] = "12x45"; }),
       "can't read hash values\n"},
      {"a key too large for 64 bits", "hash_values", to_words([](Words& w) { w[7] = "18446744073709551616"; }),
       "can't read hash values\n"},
      {"a signed key", "hash_values", to_words([](Words& w) { w[7] = "-" + w[7]; }), "can't read hash values\n"},
      {"two keys alike", "hash_values", to_words([](Words& w) { w[959] = w[100]; }), "can't read hash values\n"},
      // a1's knight list is "17 254 10 255 0": d2 is no knight move from a1.
      {"a knight target a1 cannot reach", "MoveFile", to_words([](Words& w) { w[2] = "11"; }),
       "can't read movefile\n"},
      {"the keys in another order", "hash_values", to_words([](Words& w) { std::swap(w[0], w[959]); }), nullptr},
  };
  for (const Case& c : cases) {
    EngineSandbox box;
    box.write_file(c.file, c.damage(box.read_file(c.file)));
    EngineRun r = box.run("xboard\nprotover 2\nquit\n");
    if (c.message) {
      EXPECT_EQ(r.out, "") << c.what;
      EXPECT_EQ(r.exit_status, 1) << c.what;
      EXPECT_EQ(r.err, std::string("brevalt: ") + c.message) << c.what;
      EXPECT_EQ(box.read_file("error file"), c.message) << c.what;
    } else {
      EXPECT_NE(r.out.find("feature done=1\n"), std::string::npos) << c.what << ": " << r.out;
      EXPECT_EQ(r.exit_status, 0) << c.what;
      EXPECT_EQ(r.err, "") << c.what;
      EXPECT_FALSE(box.has_file("error file")) << c.what;
    }
  }
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

// The EPD test runner end to end: suites of our own run by "epdtest" and
// "static" in a sandbox, with the progress, summary and test lines on
// standard output and the report in "epd_stats.txt" compared exactly (the
// numbers of the test lines, which depend on time, by their layout); the
// judging of best-move and avoid-move operations; missing files, refused
// records and the flaws of real suite files; and the commands that a run
// must refuse while it owns the board.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

// White's only legal move is the king taking the queen (Kxg2); Black may
// still castle on both wings.
const char* const ONLY_KXG2 = "r3k2r/8/8/8/8/8/6q1/7K w kq -";
// White's only legal move is the pawn taking the queen (exd5, Pxd5 in the
// test notation).
const char* const ONLY_EXD5 = "8/8/8/3qp3/4P3/7k/6r1/7K w - -";
// The rook takes a queen that attacks it, with check (Rxd4+).
const char* const FREE_QUEEN = "3k4/8/8/8/3q4/8/8/3RK3 w - -";

// The lines with a single legal move are what they claim to be.
TEST(EpdRunner, TheSingleMovePositionsHaveOneLegalMove) {
  EXPECT_EQ(rules::Position::from_fen(ONLY_KXG2).legal_texts(), std::vector<std::string>{"h1g2"});
  EXPECT_EQ(rules::Position::from_fen(ONLY_EXD5).legal_texts(), std::vector<std::string>{"e4d5"});
  EXPECT_TRUE(rules::Position::from_fen(FREE_QUEEN).is_legal("d1d4"));
}

// A test line: depth (3 wide), score (8), seconds and ticks (6, '.', 2),
// nodes (10), nodes per second (9), four blanks, then the variation in the
// test notation, each move followed by a blank.
bool is_test_line(const std::string& line) {
  static const std::regex shape(
      R"(^[ 0-9]{2}[0-9][ 0-9-]{7}[0-9][ 0-9]{5}[0-9]\.[0-5][0-9][ 0-9]{9}[0-9][ 0-9]{8}[0-9]    )"
      R"(((?:(?:[KQRBNP]x[a-h][1-8]|[KQRBN][a-h][1-8]|[a-h][1-8]) )*)$)");
  return std::regex_match(line, shape);
}

// The first move of a test line's variation.
std::string first_move(const std::string& line) {
  std::istringstream words(line.substr(43));
  std::string w;
  words >> w;
  return w;
}

struct TestLineFigures {
  long depth, nodes, ticks;
};
TestLineFigures figures(const std::string& line) {
  return {std::stol(line.substr(0, 3)), std::stol(line.substr(20, 10)),
          std::stol(line.substr(11, 6)) * 60 + std::stol(line.substr(18, 2))};
}

// The text with every run of test lines replaced by one "<tests>" line,
// so that the rest can be compared exactly. The runs are handed back.
std::string without_test_lines(const std::string& text, std::vector<std::vector<std::string>>* runs = nullptr) {
  std::string out;
  bool in_run = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (is_test_line(line)) {
      if (!in_run) {
        out += "<tests>\n";
        if (runs) runs->emplace_back();
      }
      if (runs) runs->back().push_back(line);
      in_run = true;
    } else {
      out += line + (end < text.size() ? "\n" : "");
      in_run = false;
    }
    pos = end + 1;
  }
  return out;
}

// Runs the lines in an engine that keeps its input open (a run reads its
// input between positions) until `until` has been printed.
std::string run_until(const EngineSandbox& box, const std::string& input, const std::string& until,
                      int timeout_ms) {
  EngineSession s(box);
  s.send(input);
  EXPECT_TRUE(s.wait_for(until, timeout_ms)) << s.out();
  EXPECT_EQ(s.quit(), 0);
  return s.out();
}

const std::string FINISHED_EMPTY =
    "found= 0  missed= 0  seconds= %\n"
    "Avg n/s= 0  Avg depth= 0.0  depth ratio= 0.0\n\n\nFinished.\n";

std::string empty_summary(int seconds) {
  std::string s = FINISHED_EMPTY;
  s.replace(s.find('%'), 1, std::to_string(seconds));
  return s;
}

TEST(EpdRunner, SuiteWithKnownAnswersReportsEveryPositionAndTheSummary) {
  EngineSandbox box;
  box.write_file("epd_stats.txt", "an earlier run\n");
  box.write_file("suite.epd", std::string(ONLY_KXG2) + " bm Kxg2; id \"one\";\n" + ONLY_EXD5 +
                                  " am exd5; id \"two\";\n" + FREE_QUEEN + " bm Rxd4+; id \"three\";\n");
  const std::string out = run_until(box, "epdtest suite.epd 1\n", "Finished.\n", ms(30000));

  std::vector<std::vector<std::string>> runs;
  const std::string shown = without_test_lines(out, &runs);
  const std::regex summary(
      "<tests>\nfound 1, missed 0\n<tests>\nfound 1, missed 1\n<tests>\nfound 2, missed 1\n"
      "found= 2  missed= 1  seconds= 1\n"
      "Avg n/s= ([0-9]+)  Avg depth= ([0-9]+)\\.([0-9])  depth ratio= ([0-9]+)\\.([0-9])\n\n\nFinished\\.\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(shown, m, summary)) << out;
  ASSERT_EQ(runs.size(), 3u);

  // The last line of each position shows the move the engine chose.
  EXPECT_EQ(first_move(runs[0].back()), "Kxg2");
  EXPECT_EQ(first_move(runs[1].back()), "Pxd5");
  EXPECT_EQ(first_move(runs[2].back()), "Rxd4");
  // A single legal move is searched to the second iteration only.
  EXPECT_EQ(runs[0].size(), 2u);
  EXPECT_EQ(runs[1].size(), 2u);

  // Only the third position is searched deeper than four iterations: its
  // depth mark is ten times its last depth plus the root moves searched.
  const long depth = figures(runs[2].back()).depth;
  ASSERT_GT(depth, 4);
  const long mark_tens = std::stol(m[2]);
  EXPECT_GE(mark_tens, depth);
  EXPECT_LE(mark_tens, depth + 2);
  // Nodes per second: 60 x total nodes / total ticks, as the last line of
  // each position left them (a line showing 0.01 may stand for 0 ticks).
  long nodes = 0, ticks = 0;
  for (const auto& run : runs) {
    nodes += figures(run.back()).nodes;
    ticks += figures(run.back()).ticks;
  }
  bool nps_matches = false;
  for (long slack = 0; slack <= 2 && slack < ticks; ++slack)
    nps_matches = nps_matches || std::stol(m[1]) == nodes / (ticks - slack) * 60;
  EXPECT_TRUE(nps_matches) << m[1] << " from " << nodes << " nodes in " << ticks << " ticks";

  // The report is appended: the record (its operation, the rest of its
  // line, the castling rights), the same test lines, the verdict; then
  // the summary.
  std::string averages = shown.substr(shown.find("Avg n/s="));
  averages.erase(averages.find("Finished."));
  const std::string stats = box.read_file("epd_stats.txt");
  std::vector<std::vector<std::string>> stats_runs;
  EXPECT_EQ(without_test_lines(stats, &stats_runs),
            "an earlier run\n"
            "bm Kxg2;  id \"one\";\n  kq\n<tests>\n\n"
            "am exd5;  id \"two\";\n  \n<tests>\nNOT FOUND!\n\n"
            "bm Rxd4+;  id \"three\";\n  \n<tests>\n\n"
            "\nfound= 2  missed= 1  seconds= 1\n" +
                averages);
  EXPECT_EQ(stats_runs, runs);
}

// A verdict per record of a judging suite: the record and whether its
// operation is found when the engine plays the only legal move.
struct Judged {
  std::string record;
  std::string operation_shown;  // the operation as the report shows it
  std::string rest_shown;       // the rest of its line, line end included
  bool found;
};

TEST(EpdRunner, OperationsAreJudgedAgainstTheEnginesMove) {
  const std::string kxg2 = ONLY_KXG2, exd5 = ONLY_EXD5;
  const std::vector<Judged> cases = {
      {kxg2 + " bm Kxg2;", "bm Kxg2;", "\n", true},            // the move itself
      {exd5 + " bm exd5;", "bm exd5;", "\n", true},            // a pawn capture names the pawn
      {exd5 + " bm Pxd5;", "bm Pxd5;", "\n", true},
      {kxg2 + " bm Kxg2+;", "bm Kxg2+;", "\n", true},          // a check sign is ignored
      {kxg2 + " bm Kxg2#;", "bm Kxg2#;", "\n", true},          // and so is a mate sign
      {kxg2 + " bm Khxg2;", "bm Khxg2;", "\n", true},          // one disambiguation character
      {kxg2 + " bm K;", "bm K;", "\n", true},                  // a leading part of the move
      {kxg2 + " bm Kg2;", "bm Kg2;", "\n", false},
      {kxg2 + " bm Qg6 Kxg2;", "bm Qg6 Kxg2;", "\n", true},    // any candidate
      {kxg2 + " bm  Kxg2;", "bm  Kxg2;", "\n", true},          // an empty candidate is skipped
      {kxg2 + " bm  Qg6;", "bm  Qg6;", "\n", false},          // and names nothing
      {kxg2 + " bm ;", "bm ;", "\n", false},
      {kxg2 + " am Kxg2;", "am Kxg2;", "\n", false},           // the move to avoid was played
      {kxg2 + " am Qg6;", "am Qg6;", "\n", true},
      // Cut to 23 characters: the candidates end with the text.
      {kxg2 + " bm Qa1 Qb1 Qc1 Qd1 Kxg2; id \"cut\";", "bm Qa1 Qb1 Qc1 Qd1 Kxg2", " id \"cut\";\n", true},
      {kxg2 + " bm Qa1 Qb1 Qc1 Qd1 Qe1 Kxg2;", "bm Qa1 Qb1 Qc1 Qd1 Qe1 ", "\n", false},
      // No operation: nothing to find, and nothing left over from the last record.
      {kxg2, "", "", false},
      {kxg2 + " bm Kxg2", "bm Kxg2", "\n", true},              // the ';' missing at the line end
  };
  std::string suite, expected_out, expected_stats;
  int missed = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Judged& c = cases[i];
    suite += c.record + "\n";
    if (!c.found) ++missed;
    expected_out += "<tests>\nfound " + std::to_string(i + 1 - missed) + ", missed " + std::to_string(missed) + "\n";
    const bool castles = c.record.rfind(ONLY_KXG2, 0) == 0;
    expected_stats += c.operation_shown + " " + c.rest_shown + "  " + (castles ? "kq" : "") + "\n<tests>\n" +
                      (c.found ? "\n" : "NOT FOUND!\n\n");
  }
  const std::string found = std::to_string(cases.size() - missed), miss = std::to_string(missed);
  expected_out += "found= " + found + "  missed= " + miss + "  seconds= 1\n";
  expected_stats += "\nfound= " + found + "  missed= " + miss + "  seconds= 1\n";

  EngineSandbox box;
  box.write_file("judge.epd", suite);
  const std::string out = run_until(box, "epdtest judge.epd 1\n", "Finished.\n", ms(60000));
  std::vector<std::vector<std::string>> runs;
  const std::string shown = without_test_lines(out, &runs);
  ASSERT_EQ(shown.substr(0, expected_out.size()), expected_out) << out;
  for (size_t i = 0; i < runs.size(); ++i)
    EXPECT_EQ(first_move(runs[i].back()), cases[i].record.rfind(ONLY_EXD5, 0) == 0 ? "Pxd5" : "Kxg2");
  const std::string stats = without_test_lines(box.read_file("epd_stats.txt"));
  EXPECT_EQ(stats.substr(0, expected_stats.size()), expected_stats);
}

TEST(EpdRunner, SurvivesTheFlawsOfRealSuiteFiles) {
  // Comment lines, CR LF line ends, blank lines, tabs between the fields,
  // a missing ';' and a blank last line: three positions, all found.
  EngineSandbox box;
  box.write_file("real.epd", std::string("# Win At Chess, say\r\n") + ONLY_KXG2 + " bm Kxg2; id \"crlf\";\r\n\r\n" +
                                 "8/8/8/3qp3/4P3/7k/6r1/7K\tw\t-\t-\tbm exd5;\tid\t\"tabs\";\n" +
                                 "   # an indented comment\n" + ONLY_KXG2 + " bm Kxg2\n\n");
  const std::string out = run_until(box, "epdtest real.epd 1\n", "Finished.\n", ms(30000));
  EXPECT_EQ(without_test_lines(out),
            "<tests>\nfound 1, missed 0\n<tests>\nfound 2, missed 0\n<tests>\nfound 3, missed 0\n"
            "found= 3  missed= 0  seconds= 1\nAvg n/s= " +
                out.substr(out.find("Avg n/s= ") + 9));
  EXPECT_EQ(out.find("Bad exit."), std::string::npos);
  const std::string stats = without_test_lines(box.read_file("epd_stats.txt"));
  EXPECT_EQ(stats.substr(0, stats.find("\nfound=")),
            engine_text("bm Kxg2;  id \"crlf\";\r\n  kq\n<tests>\n\n"
                        "bm exd5; \tid\t\"tabs\";\n  \n<tests>\n\n"
                        "bm Kxg2 \n  kq\n<tests>\n\n"));
}

TEST(EpdRunner, MissingFilesAndUnknownSuiteNumbers) {
  EngineSandbox box;
  box.write_file("epd_stats.txt", "kept\n");
  EngineRun r = box.run(
      "epdtest nosuch.epd 7\n"
      "epdtest x 9\n"
      "epdtest x -1\n"
      "static nosuch.epd\n"
      "epdtest\n"  // the built-in suites 4 to 8, none of them here
      "quit\n",
      ms(20000));
  const std::string missing = "File not found.\nBad exit.\n";
  EXPECT_EQ(r.out, missing + empty_summary(7) + missing + empty_summary(0) + missing + empty_summary(0) + missing +
                       missing + empty_summary(1) + missing + empty_summary(20) + missing + empty_summary(60) +
                       missing + empty_summary(15) + missing + empty_summary(600));
  // Each run that opened the statistics file appended its summary.
  std::string stats = "kept\n";
  for (int seconds : {7, 0, 0, 1, 20, 60, 15, 600}) {
    std::string summary = empty_summary(seconds);
    stats += "\n" + summary.erase(summary.find("Finished."));
  }
  EXPECT_EQ(box.read_file("epd_stats.txt"), stats);
}

TEST(EpdRunner, BuiltInSuitesAndNamesInMixedCase) {
  // Suite 2 is "Bratko-kopec.epd" at ten seconds a position (here two
  // positions with a single legal move, searched in no time); the same
  // file named by hand keeps its capital letter.
  EngineSandbox box;
  box.write_file("Bratko-kopec.epd",
                 std::string(ONLY_KXG2) + " bm Kxg2; id \"BK.01\";\n" + ONLY_EXD5 + " bm exd5; id \"BK.02\";\n");
  // A line that arrives during a run is read by the run: the second run is
  // asked for once the first has finished.
  EngineSession s(box);
  s.send("epdtest x 2\n");
  ASSERT_TRUE(s.wait_for("Finished.\n", ms(20000))) << s.out();
  s.send("epdtest Bratko-kopec.epd 3\n");
  ASSERT_TRUE(s.wait_for("seconds= 3\n", ms(20000))) << s.out();
  const std::string out = s.out();
  EXPECT_EQ(s.quit(), 0);
  const std::string shown = without_test_lines(out);
  EXPECT_NE(shown.find("<tests>\nfound 1, missed 0\n<tests>\nfound 2, missed 0\nfound= 2  missed= 0  seconds= 10\n"),
            std::string::npos)
      << out;
  EXPECT_NE(shown.find("<tests>\nfound 1, missed 0\n<tests>\nfound 2, missed 0\nfound= 2  missed= 0  seconds= 3\n"),
            std::string::npos)
      << out;
}

TEST(EpdRunner, RecordsThatCannotBePlayedEndTheRunAndKeepTheLastPosition) {
  // Two white kings (refused as "setboard" refuses them), a letter that is
  // no piece, a rank of nine squares: each ends the run after the first
  // position, which stays on the board.
  for (const char* bad : {"k7/8/8/8/8/8/6q1/6KK w - - bm Kxg2;", "k7/8/8/8/8/8/6q1/7X w - - bm Kxg2;",
                          "k7/8/8/8/8/8/6q1/8K w - - bm Kxg2;"}) {
    EngineSandbox box;
    box.write_file("bad.epd", "k7/8/8/8/8/8/6q1/7K w - - bm Kxg2;\n" + std::string(bad) + "\n" + ONLY_EXD5 +
                                  " bm exd5;\n");
    EngineSession s(box);
    s.send("epdtest bad.epd 1\n");
    ASSERT_TRUE(s.wait_for("Finished.\n", ms(20000))) << s.out();
    EXPECT_EQ(without_test_lines(s.out()),
              "<tests>\nfound 1, missed 0\nBad exit.\nfound= 1  missed= 0  seconds= 1\nAvg n/s= " +
                  s.out().substr(s.out().find("Avg n/s= ") + 9))
        << bad;
    // The engine took the queen there; Black, to move, has a king on a8.
    const size_t from = s.size();
    s.send("force\na8b8\nundo\na8a6\n");
    ASSERT_TRUE(s.sync(ms(5000)));
    EXPECT_EQ(s.out().substr(from, s.out().rfind("Error (unknown command): sync") - from), "Illegal move: a8a6\n");
    EXPECT_EQ(s.quit(), 0);
  }
}

TEST(EpdRunner, StaticSearchesEachPositionAndLeavesNoTestClockBehind) {
  EngineSandbox box;
  box.write_file("Two.epd", std::string(ONLY_KXG2) + "\n" + ONLY_EXD5 + " bm exd5;\n");
  EngineSession s(box);
  s.send("static Two.epd\n");
  ASSERT_TRUE(s.wait_for("Done.\n", ms(20000))) << s.out();
  std::vector<std::vector<std::string>> runs;
  EXPECT_EQ(without_test_lines(s.out(), &runs), "<tests>\nDone.\n");
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].size(), 4u);  // two iterations per position
  EXPECT_EQ(first_move(runs[0][1]), "Kxg2");
  EXPECT_EQ(first_move(runs[0][3]), "Pxd5");
  EXPECT_FALSE(box.has_file("epd_stats.txt"));

  // The engine took on d5 and Black is to move: a game from here is played
  // on the clock, without test lines.
  const size_t from = s.size();
  s.send("time 1000\notim 1000\ngo\n");
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(20000), from);
  ASSERT_TRUE(move) << s.out();
  const rules::Position after = *rules::Position::from_fen(ONLY_EXD5).after("e4d5");
  EXPECT_TRUE(after.is_legal(move_of(*move))) << *move;
  for (const std::string& line : s.lines(from)) EXPECT_FALSE(is_test_line(line)) << line;

  // A malformed record ends a static run as well.
  box.write_file("bad.epd", "k7/8/8/8/8/8/6q1/7X w - -\n");
  const size_t bad_from = s.size();
  s.send("new\nstatic bad.epd\n");
  EXPECT_TRUE(s.wait_for("Bad exit.\n", ms(5000), bad_from)) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

TEST(EpdRunner, CommandsThatWouldChangeThePositionAreRefusedDuringARun) {
  EngineSandbox box;
  std::string suite;
  for (int i = 0; i < 6; ++i) suite += std::string(i % 2 ? ONLY_EXD5 : ONLY_KXG2) + " am Qg6;\n";
  box.write_file("suite.epd", suite);
  // Everything after "epdtest" is waiting when the run starts and is read
  // between and during its searches.
  const std::string out = run_until(box,
                                    "epdtest suite.epd 1\n"
                                    "new\n"
                                    "setboard 4k3/8/8/8/8/8/8/4K3 w - -\n"
                                    "e2e4\n"
                                    "go\n"
                                    "force\n"
                                    "undo\n"
                                    "see 0\n"
                                    "epdtest x 4\n"
                                    "static x.epd\n",
                                    "Finished.\n", ms(30000));
  std::vector<std::string> replies;
  std::istringstream lines(without_test_lines(out));
  for (std::string line; std::getline(lines, line);)
    if (line != "<tests>" && line.rfind("found ", 0) != 0) replies.push_back(line);
  EXPECT_EQ(replies, (std::vector<std::string>{
                         "Error (command not legal now): new",
                         "Error (command not legal now): setboard",
                         "Error (command not legal now): move",
                         "Error (command not legal now): go",
                         "Error (command not legal now): undo",
                         "telluser result is 0",
                         "Error (command not legal now): epdtest",
                         "Error (command not legal now): static",
                         "found= 6  missed= 0  seconds= 1",
                         replies.size() > 9 ? replies[9] : "",
                         "",
                         "",
                         "Finished.",
                     }))
      << out;
}

TEST(EpdRunner, NoPonderingAfterATestPosition) {
  // Pondering is on and the clock long, but a test run has nobody to
  // reply: once it is over the engine is idle and takes a new position.
  EngineSandbox box;
  box.write_file("free.epd", std::string(FREE_QUEEN) + " bm Rxd4+;\n");
  EngineSession s(box);
  s.send("level 40 5 0\nhard\nepdtest free.epd 1\n");
  ASSERT_TRUE(s.wait_for("Finished.\n", ms(20000))) << s.out();
  const size_t from = s.size();
  s.send("setboard 4k3/8/8/3n4/4P3/8/8/4K3 w - -\nsee 35\n");
  ASSERT_TRUE(s.wait_for("telluser result is 400\n", ms(5000), from)) << s.out();
  EXPECT_EQ(s.out().substr(from), "telluser result is 400\n");
  EXPECT_EQ(s.quit(), 0);
}

}  // namespace
}  // namespace brevalt::testing

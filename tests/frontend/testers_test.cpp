// What engine testing frameworks expect of the program, end to end: the
// program copied alone to an empty folder starts and plays on the data
// files built into it (a working folder's own file winning over the
// built-in one), "brevalt bench" ends with "N nodes N nps" holding the
// bench signature, and the commands "go perft N" / "perft N", "d" and
// "eval" answer without changing the position. Perft counts are the
// published ones; the root moves are those of the tests' own rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "support/engine_process.h"
#include "support/files.h"

namespace brevalt::testing {
namespace {

constexpr const char* BUILTIN_LINE =
    "brevalt: data files built into the program: MoveFile, hash_values, Brevalt.ini, book_normal.bin\n";
constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

// A sandbox holding nothing, and a copy of the engine alone in its bin/
// folder: no data beside it, and none where it looks from there.
struct LoneProgram : EngineSandbox {
  LoneProgram() {
    for (const char* name : {"MoveFile", "hash_values", "Brevalt.ini"}) remove_file(name);
    const std::string original = engine_program();
    const std::string bin = dir() + "/bin";
    program = bin + "/brevalt";
    mkdir(bin.c_str(), 0755);
    testing::write_file(program, testing::read_file(original));
    chmod(program.c_str(), 0755);
  }
  std::string program;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Testers, BenchEndsWithTheSignatureInOpenBenchForm) {
  if (std::getenv("BREVALT_TEST_ENGINE")) GTEST_SKIP() << "the bench is timed on the native engine";
  LoneProgram box;
  std::FILE* f = popen(("cd '" + box.dir() + "' && '" + box.program + "' bench 2>/dev/null").c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string out;
  char line[512];
  while (std::fgets(line, sizeof line, f)) out += line;
  const int status = pclose(f);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string signature = testing::read_file(std::string(BREVALT_SOURCE_DIR) + "/tools/bench-signature");
  const std::string expected_nodes = signature.substr(0, signature.find_first_not_of("0123456789"));
  const std::vector<std::string> lines = lines_of(out);
  ASSERT_FALSE(lines.empty());
  const std::string& last = lines.back();
  ASSERT_EQ(last.rfind(expected_nodes + " nodes ", 0), 0u) << last;
  const std::string nps = last.substr(expected_nodes.size() + 7);
  ASSERT_GT(nps.size(), 4u) << last;
  EXPECT_EQ(nps.substr(nps.size() - 4), " nps") << last;
  EXPECT_TRUE(std::all_of(nps.begin(), nps.end() - 4, [](char c) { return c >= '0' && c <= '9'; })) << last;
  EXPECT_NE(out.find("Nodes searched: " + expected_nodes + "\n"), std::string::npos) << out;
}

TEST(Testers, ProgramAloneInAnEmptyFolderPlaysOnItsBuiltInFiles) {
  LoneProgram box;
  EngineSession engine(box, box.program);
  engine.send("uci\nisready\n");
  ASSERT_TRUE(engine.wait_for("readyok\n", 20000)) << engine.out();
  const size_t from = engine.size();
  engine.send("position startpos\ngo depth 3\n");
  auto best = engine.wait_for_line([](const std::string& l) { return l.rfind("bestmove ", 0) == 0; }, 30000, from);
  ASSERT_TRUE(best.has_value()) << engine.out();
  const std::string move = best->substr(9, best->find(' ', 9) == std::string::npos ? std::string::npos : best->find(' ', 9) - 9);
  EXPECT_TRUE(rules::Position::from_fen(START_FEN).is_legal(move)) << *best;
  EXPECT_EQ(engine.quit(), 0);
  // Standard error names the built-in files it used.
  EngineRun r = box.run("xboard\nprotover 2\nquit\n", 30000, true, box.program);
  EXPECT_EQ(r.err, BUILTIN_LINE);
  EXPECT_NE(r.out.find("feature done=1\n"), std::string::npos) << r.out;
}

TEST(Testers, WorkingFolderFileWinsOverTheBuiltInOne) {
  // Brevalt.ini's second setting line is the table size code; the UCI
  // Hash option announces the table size it gives.
  LoneProgram box;
  EngineRun builtin = box.run("uci\nquit\n", 30000, true, box.program);
  std::string ini = testing::read_file(std::string(BREVALT_DATA_DIR) + "/Brevalt.ini");
  box.write_file("Brevalt.ini", ini);
  EngineRun same = box.run("uci\nquit\n", 30000, true, box.program);
  EXPECT_EQ(same.out, builtin.out);
  EXPECT_EQ(same.err, "brevalt: data files built into the program: MoveFile, hash_values, book_normal.bin\n");
  // The same file with the table size code changed from 3 to 1.
  const size_t star = ini.find('*');
  ASSERT_NE(star, std::string::npos);
  size_t second = ini.find('\n', ini.find('\n', star) + 1);
  ASSERT_NE(second, std::string::npos);
  ASSERT_EQ(ini[second + 1], '3') << "the shipped file's table size code";
  ini[second + 1] = '1';
  box.write_file("Brevalt.ini", ini);
  EngineRun changed = box.run("uci\nquit\n", 30000, true, box.program);
  auto hash_line = [](const std::string& out) {
    const size_t at = out.find("option name Hash ");
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
  };
  EXPECT_FALSE(hash_line(builtin.out).empty()) << builtin.out;
  EXPECT_NE(hash_line(changed.out), hash_line(builtin.out)) << changed.out;
}

// The root moves and counts of a divide, and its total.
struct Divide {
  std::vector<std::string> moves;
  unsigned long long sum = 0, total = 0;
  bool well_formed = true;
};

Divide read_divide(const std::vector<std::string>& lines) {
  Divide d;
  size_t i = 0;
  for (; i < lines.size() && !lines[i].empty(); ++i) {
    const size_t colon = lines[i].find(": ");
    if (colon == std::string::npos) {
      d.well_formed = false;
      continue;
    }
    d.moves.push_back(lines[i].substr(0, colon));
    d.sum += std::stoull(lines[i].substr(colon + 2));
  }
  if (i + 1 >= lines.size() || lines[i + 1].rfind("Nodes searched: ", 0) != 0) d.well_formed = false;
  else d.total = std::stoull(lines[i + 1].substr(16));
  return d;
}

TEST(Testers, PerftCountsArePublishedOnesInBothProtocols) {
  struct Case {
    const char* fen;
    int depth;
    unsigned long long nodes;  // published perft counts
  };
  const Case cases[] = {{START_FEN, 1, 20},    {START_FEN, 2, 400},   {START_FEN, 3, 8902},
                        {START_FEN, 4, 197281}, {KIWIPETE, 1, 48},    {KIWIPETE, 2, 2039}};
  for (const Case& c : cases) {
    const std::string depth = std::to_string(c.depth);
    std::set<std::string> legal;
    for (const std::string& m : rules::Position::from_fen(c.fen).legal_texts()) legal.insert(m);
    for (const bool uci : {true, false}) {
      EngineSandbox box;
      const std::string input =
          uci ? std::string("uci\nposition fen ") + c.fen + "\ngo perft " + depth + "\nisready\nquit\n"
              : std::string("xboard\nprotover 2\nforce\nsetboard ") + c.fen + "\nperft " + depth + "\nping 7\nquit\n";
      EngineRun r = box.run(input);
      const std::string after = uci ? "readyok" : "pong 7";
      const std::vector<std::string> lines = lines_of(r.out);
      auto first = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.size() > 4 && l[4] == ':' ? true : (l.size() > 5 && l[5] == ':');
      });
      ASSERT_NE(first, lines.end()) << r.out;
      Divide d = read_divide(std::vector<std::string>(first, lines.end()));
      const std::string what = std::string(uci ? "UCI " : "CECP ") + c.fen + " depth " + depth;
      EXPECT_TRUE(d.well_formed) << what << "\n" << r.out;
      EXPECT_EQ(d.total, c.nodes) << what;
      EXPECT_EQ(d.sum, c.nodes) << what;
      EXPECT_EQ(std::set<std::string>(d.moves.begin(), d.moves.end()), legal) << what;
      EXPECT_EQ(r.out.find("bestmove"), std::string::npos) << what;
      EXPECT_NE(r.out.find(after + "\n"), std::string::npos) << what;
    }
  }
}

TEST(Testers, BoardEvalAndPerftLeaveThePositionAsItWas) {
  const std::string fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1";
  EngineSandbox box;
  EngineSession engine(box);
  engine.send("uci\nisready\n");
  ASSERT_TRUE(engine.wait_for("readyok\n", 20000));
  auto fen_line = [&](size_t from) {
    return engine.wait_for_line([](const std::string& l) { return l.rfind("Fen: ", 0) == 0; }, 20000, from);
  };
  size_t from = engine.size();
  engine.send("position startpos moves e2e4 c7c5 g1f3\nd\n");
  auto before = fen_line(from);
  ASSERT_TRUE(before.has_value()) << engine.out();
  EXPECT_EQ(*before, "Fen: rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2");
  EXPECT_TRUE(engine.wait_for("Checkers:\n", 5000, from)) << engine.out();
  from = engine.size();
  engine.send("eval\ngo perft 3\nd\n");
  ASSERT_TRUE(engine.wait_for("Total:", 20000, from)) << engine.out();
  ASSERT_TRUE(engine.wait_for("Nodes searched: ", 20000, from)) << engine.out();
  auto after = fen_line(from);
  ASSERT_TRUE(after.has_value()) << engine.out();
  EXPECT_EQ(*after, *before);
  // A move after them is still judged from the same position: Black's
  // reply is legal and the search answers from there.
  from = engine.size();
  engine.send("position startpos moves e2e4 c7c5 g1f3 d7d6\nd\n");
  auto moved = fen_line(from);
  ASSERT_TRUE(moved.has_value());
  EXPECT_EQ(*moved, "Fen: rnbqkbnr/pp2pppp/3p4/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 3");
  EXPECT_EQ(engine.quit(), 0);

  // In CECP: a position in check names its checker, and the commands
  // change nothing (a legal move is accepted after them).
  EngineSandbox box2;
  EngineRun r = box2.run(
      "xboard\nprotover 2\nforce\n"
      "setboard rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3\nd\neval\nperft 1\nd\nping 1\nquit\n");
  const std::vector<std::string> lines = lines_of(r.out);
  std::vector<std::string> fens, checkers;
  for (const std::string& l : lines) {
    if (l.rfind("Fen: ", 0) == 0) fens.push_back(l);
    if (l.rfind("Checkers:", 0) == 0) checkers.push_back(l);
  }
  ASSERT_EQ(fens.size(), 2u) << r.out;
  EXPECT_EQ(fens[0], fens[1]);
  EXPECT_EQ(fens[0].substr(0, fens[0].rfind(' ', fens[0].rfind(' ') - 1)),
            "Fen: rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -");
  ASSERT_EQ(checkers.size(), 2u);
  EXPECT_EQ(checkers[0], "Checkers: h4");
  // Fool's mate: no legal move, perft 1 counts 0.
  EXPECT_NE(r.out.find("\nNodes searched: 0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("pong 1\n"), std::string::npos);
}

TEST(Testers, InspectionDuringASearchIsRefused) {
  EngineSandbox box;
  EngineSession engine(box);
  engine.send("xboard\nprotover 2\nforce\nanalyze\n");
  engine.pump(300);
  const size_t from = engine.size();
  engine.send("d\neval\nperft 2\n");
  EXPECT_TRUE(engine.wait_for("Error (command not legal now): d\n", 5000, from)) << engine.out();
  EXPECT_TRUE(engine.wait_for("Error (command not legal now): eval\n", 5000, from)) << engine.out();
  EXPECT_TRUE(engine.wait_for("Error (command not legal now): perft\n", 5000, from)) << engine.out();
  engine.send("exit\n");
  EXPECT_EQ(engine.quit(), 0);
}

}  // namespace
}  // namespace brevalt::testing

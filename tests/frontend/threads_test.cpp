// Several search threads end to end. The engine is given two as
// interfaces give them (CECP "cores 2" after "new", which xboard sends once
// smp=1 is announced; UCI's Threads option) and driven through fixed
// depths, "stop" and "?", pondering, "quit" and the end of the input in
// the middle of a search, thread counts sent during a search or refused,
// and boards changed under a search or right after its move. Only the main
// thread reads, prints and plays, so every move is judged, as with one
// thread, by the independent rules of chess_rules.h in the interface's
// position. Last, a thread count the process cannot have: the interface
// is told how many the engine searches on, and the engine plays on them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "frontend/uci_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const MIDDLEGAME = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8";

// Every test here needs a build with several threads; the Windows engine
// under Wine has one.
class TwoThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    if (engine_max_threads() < 2) GTEST_SKIP() << "the engine under test searches on one thread";
  }
};

// Opens the session as an interface does, with two search threads, which
// are granted without a word: UCI "uci" and the Threads option; CECP
// "xboard" and "protover 2" (smp=1 among the features), "new", "cores 2".
void open_with_two_threads(EngineSession& s, bool uci) {
  if (uci) {
    s.send("uci\nsetoption name Threads value 2\nisready\n");
    ASSERT_TRUE(s.wait_for("readyok\n", ms(10000))) << s.out();
    EXPECT_EQ(s.out().substr(s.out().find("uciok\n")), "uciok\nreadyok\n");
    return;
  }
  s.send("xboard\nprotover 2\n");
  ASSERT_TRUE(s.wait_for("feature done=1\n", ms(10000))) << s.out();
  EXPECT_NE(s.out().find("feature smp=1\n"), std::string::npos) << s.out();
  const size_t from = s.size();
  s.send("new\ncores 2\n");
  EXPECT_EQ(output_until_sync(s, from), "");
}

bool is_info_line(const std::string& line) { return line.rfind("info depth ", 0) == 0; }

// Thirty seconds each, stretched in the slow checking builds: a second or
// so a move, and long enough a clock for the engine to ponder.
const std::string CECP_CLOCKS = "time " + std::to_string(3000 * SLOWDOWN) + "\notim " + std::to_string(3000 * SLOWDOWN) + "\n";
const std::string UCI_CLOCKS = " wtime " + std::to_string(30000 * SLOWDOWN) + " btime " + std::to_string(30000 * SLOWDOWN) + "\n";

// The deepest iteration the search's lines report: UCI info lines with a
// variation, or CECP thinking lines.
int deepest_reported(const std::vector<std::string>& lines) {
  static const std::regex info(R"(^info depth (\d+) seldepth )");
  int deepest = 0;
  for (const std::string& line : lines) {
    std::smatch m;
    if (std::regex_search(line, m, info)) deepest = std::max(deepest, std::stoi(m[1].str()));
    if (std::optional<ThinkingLine> t = parse_thinking(line)) deepest = std::max(deepest, t->depth);
  }
  return deepest;
}

// "position startpos [moves ...]" for the game so far.
std::string position_command(const std::vector<std::string>& moves) {
  std::string line = "position startpos";
  if (!moves.empty()) line += " moves";
  for (const std::string& m : moves) line += " " + m;
  return line + "\n";
}

// The ponder move of the last bestmove line so far, or an empty text.
std::string last_ponder_move(const EngineSession& s) {
  const std::vector<std::string> lines = s.lines();
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (!is_bestmove(*line)) continue;
    std::istringstream words(*line);
    std::string word, move, ponder_word, ponder;
    words >> word >> move >> ponder_word >> ponder;
    return ponder_word == "ponder" ? ponder : "";
  }
  return "";
}

// No move the interface sent was refused, nor a command it may send.
void expect_no_refusal(const EngineSession& s) {
  EXPECT_EQ(s.out().find("Illegal"), std::string::npos) << s.out();
  EXPECT_EQ(s.out().find("not legal now"), std::string::npos) << s.out();
}

// A fixed depth is searched to its end: the lines reach the depth and
// never pass it, every variation is legal, and so is the move.
TEST_F(TwoThreads, FixedDepthIsSearchedToItsEnd) {
  const rules::Position p = rules::Position::from_fen(MIDDLEGAME);
  for (const bool uci : {false, true}) {
    SCOPED_TRACE(uci ? "UCI" : "CECP");
    EngineSandbox box;
    EngineSession s(box);
    open_with_two_threads(s, uci);
    size_t next = s.size();
    const size_t from = next;
    if (uci) {
      s.send(std::string("position fen ") + MIDDLEGAME + "\ngo depth 6\n");
      EXPECT_NE(judge_search(s, p, next, ms(20000)), "");
    } else {
      s.send(std::string("sd 6\npost\nforce\nsetboard ") + MIDDLEGAME + "\ngo\n");
      EXPECT_TRUE(expect_legal_answer(s, p, next, ms(20000)));
      expect_sound_thinking_lines(s.lines(from), p);
    }
    EXPECT_EQ(deepest_reported(s.lines(from)), 6) << s.out();
    EXPECT_EQ(s.quit(), 0);
  }
}

// A level searches on the main thread alone. After a search on two
// threads, its first iteration (depth 1 of a middle-game position: a few
// hundred nodes) must count its own nodes only, not the helpers' tens of
// thousands of the search before, or its node limit is met at once, it
// stops a few plies deep and the figures it prints are false. (Under CECP
// a level prints no thinking; the same count limits it there.)
TEST_F(TwoThreads, ALevelAfterATwoThreadSearchCountsOnlyItsOwnNodes) {
  const std::string after_castling = std::string(MIDDLEGAME) + " moves e1g1";
  EngineSandbox box;
  EngineSession s(box);
  open_with_two_threads(s, true);
  size_t next = s.size();
  s.send(std::string("position fen ") + MIDDLEGAME + "\ngo depth 9\n");
  ASSERT_NE(judge_search(s, rules::Position::from_fen(MIDDLEGAME), next, ms(30000)), "");
  const size_t level_from = next;
  s.send("setoption name UCI_LimitStrength value true\nsetoption name UCI_Elo value 1800\nposition fen " +
         after_castling + "\ngo" + UCI_CLOCKS);
  ASSERT_NE(judge_search(s, position_after(MIDDLEGAME, {"e1g1"}), next, ms(30000)), "");
  // The level's first reported iteration, and its deepest.
  static const std::regex info(R"(^info depth (\d+) .* nodes (\d+) )");
  long first_nodes = -1;
  int deepest = 0;
  for (const std::string& line : s.lines(level_from)) {
    std::smatch m;
    if (!std::regex_search(line, m, info)) continue;
    if (first_nodes < 0) first_nodes = std::stol(m[2].str());
    deepest = std::max(deepest, std::stoi(m[1].str()));
  }
  ASSERT_GE(first_nodes, 0) << s.out();
  EXPECT_LT(first_nodes, 10000) << s.out();
  EXPECT_GE(deepest, 4) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

// "stop" (UCI, in an infinite search) and "?" (CECP, on the long clock of
// a new game) end the search at once, the helpers with it: the main
// thread's best move so far comes, legal.
TEST_F(TwoThreads, StopAndMoveNowAnswerAtOnce) {
  const rules::Position start = rules::Position::from_fen(START_FEN);
  for (const bool uci : {false, true}) {
    SCOPED_TRACE(uci ? "UCI" : "CECP");
    EngineSandbox box;
    EngineSession s(box);
    open_with_two_threads(s, uci);
    size_t next = s.size();
    const size_t from = next;
    s.send(uci ? "position startpos\ngo infinite\n" : "post\ngo\n");
    ASSERT_TRUE(s.wait_for_line(uci ? is_info_line : is_thinking_line, ms(20000), from)) << s.out();
    s.pump(ms(300));
    s.send(uci ? "stop\n" : "?\n");
    if (uci) {
      EXPECT_NE(judge_search(s, start, next, ms(2000)), "");
    } else {
      EXPECT_TRUE(expect_legal_answer(s, start, next, ms(2000)));
      expect_sound_thinking_lines(s.lines(from), start);
    }
    EXPECT_EQ(s.quit(), 0);
  }
}

// xboard with "hard": after each engine move the user plays, in turn, the
// reply the engine predicted (its ponder search becomes the real one) and
// another (the ponder search is dropped and the new position searched),
// with "time" and "otim" before each as xboard sends them. Every answer is
// legal in the game's position and every user move is taken.
TEST_F(TwoThreads, CecpPonderHitsAndMissesKeepTheGameGoing) {
  // A pawn ending: variations long enough to name the reply the engine
  // expects.
  const char* const fen = "8/p4k2/8/8/8/8/PP3K2/8 w - - 0 1";
  EngineSandbox box;
  EngineSession s(box);
  open_with_two_threads(s, false);
  size_t next = s.size();
  s.send(std::string("force\nsetboard ") + fen + "\n" + CECP_CLOCKS + "hard\npost\ngo\n");
  rules::Position game = rules::Position::from_fen(fen);
  int hits = 0;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const size_t searched_from = next;
    std::optional<rules::Position> after = expect_legal_answer(s, game, next, ms(20000));
    ASSERT_TRUE(after);
    std::string predicted;
    const std::optional<ThinkingLine> last = last_thinking_before_move(s.lines(searched_from));
    if (last && last->pv.size() >= 2) {
      const std::vector<rules::Move> reply = after->matching(last->pv[1]);
      if (reply.size() == 1) predicted = reply[0].text();
    }
    std::string user;
    if (round % 2 == 0 && !predicted.empty()) {
      user = predicted;
      ++hits;
    } else {
      for (const std::string& m : after->legal_texts())
        if (m != predicted) user = m;
    }
    ASSERT_FALSE(user.empty());
    // The ponder search runs for a while on both threads first.
    s.pump(ms(500));
    s.send(CECP_CLOCKS + user + "\n");
    game = *after->after(user);
  }
  EXPECT_TRUE(expect_legal_answer(s, game, next, ms(20000)));
  EXPECT_GE(hits, 1) << "no predicted reply was named: " << s.out();
  expect_no_refusal(s);
  EXPECT_EQ(s.quit(), 0);
}

// A UCI interface pondering on the ponder move of each bestmove (or its
// own guess where there is none): "ponderhit" and "stop" with a new
// position, in turn. Every answer, the stopped ponder search's included,
// is legal in the position it was asked for.
TEST_F(TwoThreads, UciPonderHitsAndMissesKeepTheGameGoing) {
  EngineSandbox box;
  EngineSession s(box);
  open_with_two_threads(s, true);
  s.send("setoption name Ponder value true\n");
  size_t next = s.size();
  std::vector<std::string> game;
  s.send(position_command(game) + "go" + UCI_CLOCKS);
  std::string best = judge_search(s, position_after(START_FEN, game), next, ms(20000));
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(!best.empty() && best != "(none)");
    game.push_back(best);
    const rules::Position here = position_after(START_FEN, game);
    std::string predicted = last_ponder_move(s);
    if (predicted.empty()) predicted = here.legal_texts().front();
    std::vector<std::string> pondered = game;
    pondered.push_back(predicted);
    s.send(position_command(pondered) + "go ponder" + UCI_CLOCKS);
    s.pump(ms(400));
    if (round % 2 == 0) {
      s.send("ponderhit\n");
      game = pondered;
    } else {
      s.send("stop\n");
      judge_search(s, position_after(START_FEN, pondered), next, ms(2000));
      std::string other;
      for (const std::string& m : here.legal_texts())
        if (m != predicted) other = m;
      game.push_back(other);
      s.send(position_command(game) + "go" + UCI_CLOCKS);
    }
    best = judge_search(s, position_after(START_FEN, game), next, ms(20000));
  }
  EXPECT_EQ(s.quit(), 0);
}

// "quit" or the end of the input in the middle of a search: the engine
// ends with status 0, its helpers with it. "quit" ends it at once; at the
// end of the input a search with an end of its own (a time per move, a
// depth) runs to it and plays, and an endless one plays at once.
TEST_F(TwoThreads, QuitAndEndOfInputMidSearchEndTheEngine) {
  struct Case {
    bool uci;
    std::string search;
    bool quit;       // "quit", or the input closed
    int exit_ms;     // the engine has ended by then
    bool answers;    // its move comes before the end
    int depth;       // ... from a search this deep (0: any)
  };
  const Case cases[] = {
      {false, "post\ngo\n", true, 3000, false, 0},  // the long clock of a new game
      {false, "st " + std::to_string(SLOWDOWN) + "\npost\ngo\n", false, 5000, true, 0},
      {true, "position startpos\ngo infinite\n", true, 3000, false, 0},
      {true, "position startpos\ngo infinite\n", false, 3000, true, 0},
      {true, "position startpos\ngo depth 10\n", false, 20000, true, 10},
  };
  const rules::Position start = rules::Position::from_fen(START_FEN);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.uci ? "UCI " : "CECP ") + c.search + (c.quit ? "quit" : "end of input"));
    EngineSandbox box;
    EngineSession s(box);
    open_with_two_threads(s, c.uci);
    size_t next = s.size();
    const size_t from = next;
    s.send(c.search);
    ASSERT_TRUE(s.wait_for_line(c.uci ? is_info_line : is_thinking_line, ms(20000), from)) << s.out();
    if (c.quit) s.send("quit\n");
    else s.close_input();
    EXPECT_EQ(s.wait_exit(ms(c.exit_ms)), 0) << s.out();
    if (!c.answers) continue;
    if (c.uci) {
      EXPECT_NE(judge_search(s, start, next, 0), "");
    } else {
      EXPECT_TRUE(expect_legal_answer(s, start, next, 0));
    }
    if (c.depth > 0) {
      EXPECT_EQ(deepest_reported(s.lines(from)), c.depth) << s.out();
    }
  }
}

// The nodes of a search of MIDDLEGAME to a fixed depth from a new game,
// its move judged legal. One thread searches the same tree each time;
// two threads' counts depend on how their searches interleave.
long long fixed_depth_nodes(EngineSession& s, bool uci) {
  const rules::Position p = rules::Position::from_fen(MIDDLEGAME);
  const size_t from = s.size();
  size_t next = from;
  if (uci) {
    s.send(std::string("setoption name Clear Hash\nposition fen ") + MIDDLEGAME + "\ngo depth 7\n");
    judge_search(s, p, next, ms(20000));
  } else {
    s.send(std::string("new\nlevel 40 60 0\nsd 7\npost\nforce\nsetboard ") + MIDDLEGAME + "\ngo\n");
    expect_legal_answer(s, p, next, ms(20000));
  }
  static const std::regex info_nodes(R"(^info depth \d+ .* nodes (\d+) )");
  long long nodes = -1;
  for (const std::string& line : s.lines(from)) {
    std::smatch m;
    if (std::regex_search(line, m, info_nodes)) nodes = std::stoll(m[1].str());
    if (std::optional<ThinkingLine> t = parse_thinking(line)) nodes = t->nodes;
    if (is_move_line(line) || is_bestmove(line)) break;
  }
  return nodes;
}

// "cores" during a search (on the long clock of a new game, ended with "?"
// once the count is sent) waits for its end, as "memory" does: nothing is
// said during the search, its move comes, legal, and the game goes on.
// Counts out of range or not numbers are refused at once with CECP's error
// form, and the search they arrived in still plays. After the held
// "cores 1" and the refusals that follow, one thread searches: a fixed
// depth from a new game counts the same nodes twice.
TEST_F(TwoThreads, CecpCoresDuringASearchWaitsForItsEnd) {
  EngineSandbox box;
  EngineSession s(box);
  open_with_two_threads(s, false);
  size_t next = s.size();
  rules::Position game = rules::Position::from_fen(START_FEN);
  const std::string refused = "Error (cores must be 1 to 256): cores";
  struct Round {
    const char* during;
    std::vector<std::string> said;  // the lines other than thinking lines
  };
  const std::vector<Round> rounds = {{"cores 3\n", {}},
                                     {"cores 0\ncores x\ncores 300\n", {refused, refused, refused}},
                                     {"cores 1\n", {}}};
  s.send("post\ngo\n");
  for (size_t i = 0; i < rounds.size(); ++i) {
    const Round& r = rounds[i];
    SCOPED_TRACE(r.during);
    const size_t searched_from = next;
    ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(20000), searched_from)) << s.out();
    s.send(std::string(r.during) + "?\n");
    std::optional<rules::Position> after = expect_legal_answer(s, game, next, ms(5000));
    ASSERT_TRUE(after);
    std::vector<std::string> said;
    for (const std::string& line : s.lines(searched_from)) {
      if (is_move_line(line)) break;
      if (!is_thinking_line(line)) said.push_back(line);
    }
    EXPECT_EQ(said, r.said);
    // The held count is granted after the move, without a word.
    EXPECT_EQ(output_until_sync(s, next), "");
    next = s.size();
    if (i + 1 == rounds.size()) break;
    const std::string user = after->legal_texts().front();
    game = *after->after(user);
    s.send(user + "\n");
  }
  const size_t from = s.size();
  s.send("cores 0\ncores x\ncores 300\ncores\n");
  EXPECT_EQ(output_until_sync(s, from), refused + "\n" + refused + "\n" + refused + "\n" + refused + "\n");
  const long long nodes = fixed_depth_nodes(s, false);
  EXPECT_GT(nodes, 0);
  EXPECT_EQ(fixed_depth_nodes(s, false), nodes);
  expect_no_refusal(s);
  EXPECT_EQ(s.quit(), 0);
}

// A Threads option during a search ends it, as every option does: its
// move comes, legal, and the option is served after it, without a word.
// Values out of range or not numbers are refused with UCI's reply. After
// Threads 1 and the refusals, one thread searches: a fixed depth from
// cleared tables counts the same nodes twice.
TEST_F(TwoThreads, UciThreadsDuringASearchIsServedAfterIt) {
  EngineSandbox box;
  EngineSession s(box);
  open_with_two_threads(s, true);
  size_t next = s.size();
  s.send("position startpos\ngo infinite\n");
  ASSERT_TRUE(s.wait_for_line(is_info_line, ms(20000), next)) << s.out();
  s.send("setoption name Threads value 1\n");
  EXPECT_NE(judge_search(s, rules::Position::from_fen(START_FEN), next, ms(2000)), "");
  s.send("isready\n");
  ASSERT_TRUE(s.wait_for("readyok\n", ms(5000), next)) << s.out();
  EXPECT_EQ(s.out().substr(next), "readyok\n");
  next = s.size();
  s.send("setoption name Threads value 0\nsetoption name Threads value x\nsetoption name Threads value 257\n"
         "isready\n");
  ASSERT_TRUE(s.wait_for("readyok\n", ms(5000), next)) << s.out();
  const std::string refused = "info string Threads is 1 to 256\n";
  EXPECT_EQ(s.out().substr(next), refused + refused + refused + "readyok\n");
  const long long nodes = fixed_depth_nodes(s, true);
  EXPECT_GT(nodes, 0);
  EXPECT_EQ(fixed_depth_nodes(s, true), nodes);
  EXPECT_EQ(s.quit(), 0);
}

// The interface changes the board right after the engine's move or in the
// middle of its search: "new"; "force" and "setboard" (xboard's Edit
// Position); "force" and one "undo", or two (xboard's take-back). The
// engine then plays on from the interface's position: each of its next
// moves must be legal there, and each user move the rules allow taken.
TEST_F(TwoThreads, BoardChangesKeepTheEngineInStepWithTheInterface) {
  struct Change {
    std::string lines;
    const char* fen;  // the interface's position after it, or none: that of the take-backs
    int undos;
  };
  const Change changes[] = {
      {"new\n", START_FEN, 0},
      {std::string("force\nsetboard ") + MIDDLEGAME + "\n", MIDDLEGAME, 0},
      {"force\nundo\n", nullptr, 1},
      {"force\nundo\nundo\n", nullptr, 2},
  };
  for (const Change& c : changes) {
    for (const bool mid_search : {false, true}) {
      SCOPED_TRACE(c.lines + (mid_search ? "in the middle of a search" : "after the engine's move"));
      EngineSandbox box;
      EngineSession s(box);
      open_with_two_threads(s, false);
      size_t next = s.size();
      // The game: 1. e4, the engine's answer (a search of depth 4), the
      // user's reply, and the engine's second search: under way on the long
      // clock of a new game, or ended at depth 4 with its move.
      std::vector<rules::Position> line = {rules::Position::from_fen(START_FEN)};
      line.push_back(*line.back().after("e2e4"));
      s.send("sd 4\ne2e4\n");
      std::optional<rules::Position> after = expect_legal_answer(s, line.back(), next, ms(20000));
      ASSERT_TRUE(after);
      line.push_back(*after);
      const std::string user = after->legal_texts().front();
      line.push_back(*after->after(user));
      s.send(std::string(mid_search ? "sd 40\npost\n" : "") + user + "\n");
      if (mid_search) {
        ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(20000), next)) << s.out();
      } else {
        after = expect_legal_answer(s, line.back(), next, ms(20000));
        ASSERT_TRUE(after);
        line.push_back(*after);
      }
      s.send(c.lines);
      ASSERT_TRUE(s.sync(ms(20000))) << s.out();
      next = s.size();
      rules::Position game = c.fen ? rules::Position::from_fen(c.fen) : line[line.size() - 1 - c.undos];
      // The engine takes the side to move and plays three moves.
      s.send("force\nsd 4\ngo\n");
      for (int i = 0; i < 3; ++i) {
        after = expect_legal_answer(s, game, next, ms(20000));
        ASSERT_TRUE(after);
        const std::vector<std::string> replies = after->legal_texts();
        if (i == 2 || replies.empty()) break;
        game = *after->after(replies[replies.size() / 2]);
        s.send(replies[replies.size() / 2] + "\n");
      }
      expect_no_refusal(s);
      EXPECT_EQ(s.quit(), 0);
    }
  }
}

// Threads the process cannot have: the shell that starts it limits its
// address space, so that the helpers' stacks and tables (some 13 MiB
// each, more with the allocator's arena for a thread) run out long before
// 64. The engine says how many it searches on, fewer than asked, and
// plays legally on them; asked during a search, it says so after the move.
TEST_F(TwoThreads, ThreadsThatCannotBeStartedAreReported) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#endif
#endif
  // Room for the program and its tables of 64 MiB, and for a few helpers.
  constexpr int LIMITED_ADDRESS_SPACE_KIB = 300 * 1024;
  EngineSandbox box;
  const std::string wrapper = box.dir() + "/limited-engine";
  box.write_file("limited-engine", "#!/bin/sh\nulimit -v " + std::to_string(LIMITED_ADDRESS_SPACE_KIB) +
                                       " || exit 97\nexec '" + engine_program() + "'\n");
  ASSERT_EQ(chmod(wrapper.c_str(), 0755), 0);
  // The threads in the reply, or 0 when the reply is not the shortfall's.
  auto running = [](const std::string& reply, const std::regex& shape) {
    std::smatch m;
    return std::regex_match(reply, m, shape) ? std::stoi(m[1].str()) : 0;
  };
  {
    const std::regex shortfall(R"(Error \(cannot start 64 search threads, searching on (\d+)\): cores\n)");
    EngineSession s(box, wrapper);
    s.send("xboard\nprotover 2\n");
    ASSERT_TRUE(s.wait_for("feature done=1\n", ms(10000))) << s.out();
    size_t next = s.size();
    s.send("new\ncores 64\n");
    const std::string reply = output_until_sync(s, next);
    const int on = running(reply, shortfall);
    EXPECT_GE(on, 1) << reply;
    EXPECT_LT(on, 64) << reply;
    // A search on them (on the long clock of a new game, ended with "?"),
    // and "cores 64" again during it: refused after the move.
    next = s.size();
    rules::Position game = rules::Position::from_fen(START_FEN);
    s.send("post\ngo\n");
    ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(20000), next)) << s.out();
    s.send("cores 64\n?\n");
    std::optional<rules::Position> after = expect_legal_answer(s, game, next, ms(20000));
    ASSERT_TRUE(after);
    const std::optional<std::string> again = s.wait_for_line(
        [](const std::string& l) { return l.rfind("Error", 0) == 0; }, ms(20000), next);
    ASSERT_TRUE(again) << s.out();
    const int on_again = running(*again + "\n", shortfall);
    EXPECT_GE(on_again, 1) << *again;
    EXPECT_LT(on_again, 64) << *again;
    const std::string user = after->legal_texts().front();
    game = *after->after(user);
    next = s.size();
    s.send("sd 4\n" + user + "\n");
    EXPECT_TRUE(expect_legal_answer(s, game, next, ms(20000)));
    EXPECT_EQ(s.quit(), 0);
  }
  {
    const std::regex shortfall(R"(info string Threads 64 cannot be started: the engine searches on (\d+)\n)");
    EngineSession s(box, wrapper);
    s.send("uci\nsetoption name Threads value 64\nisready\n");
    ASSERT_TRUE(s.wait_for("readyok\n", ms(10000))) << s.out();
    const size_t from = s.out().find("uciok\n") + 6;
    const std::string reply = s.out().substr(from, s.out().rfind("readyok\n") - from);
    const int on = running(reply, shortfall);
    EXPECT_GE(on, 1) << reply;
    EXPECT_LT(on, 64) << reply;
    size_t next = s.size();
    s.send("position startpos moves e2e4\ngo depth 6\n");
    EXPECT_NE(judge_search(s, position_after(START_FEN, {"e2e4"}), next, ms(20000)), "");
    EXPECT_EQ(s.quit(), 0);
  }
}

}  // namespace
}  // namespace brevalt::testing

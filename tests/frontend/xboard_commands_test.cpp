// Commands that xboard sends and the engine's own tools never did, end to
// end: Retract Move ("remove"), the variants it offers, "exit" outside
// analysis, a draw offer after the position changed, and a setting given
// during an analysis or a ponder search followed by "ping". Every move the
// engine plays is judged by the independent rules in chess_rules.h on the
// interface's board.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

rules::Position after(std::initializer_list<const char*> moves) {
  rules::Position p = rules::Position::from_fen(START);
  for (const char* m : moves) p = *p.after(m);
  return p;
}

// The offset after the line that equals `text`, from offset `from` on.
std::optional<size_t> line_after(EngineSession& s, const std::string& text, size_t from, int timeout_ms = ms(20000)) {
  size_t end = 0;
  if (!s.wait_for_line([&](const std::string& l) { return l == text; }, timeout_ms, from, &end)) return std::nullopt;
  return end;
}

// xboard's Retract Move: the user, on move, takes back his move and the
// engine's answer, then plays another move; the engine's reply must be
// legal on the interface's board. Idle, while pondering, and in force mode.
TEST(XboardRemove, TakesBackTwoPliesAndTheGameGoesOnInStep) {
  struct Case {
    const char* name;
    const char* setup;  // after "xboard", "protover 2", "new"
  };
  for (const Case& c : {Case{"idle", "easy\n"}, Case{"pondering", "hard\n"}}) {
    SCOPED_TRACE(c.name);
    EngineSandbox box;
    EngineSession s(box);
    s.send(std::string("xboard\nprotover 2\nnew\nst 0.3\nnopost\n") + c.setup + "e2e4\n");
    size_t next = 0;
    std::optional<rules::Position> p = expect_legal_answer(s, after({"e2e4"}), next, ms(20000));
    ASSERT_TRUE(p);
    s.pump(300);  // a ponder search is under way by now
    s.send("remove\nd2d4\n");
    p = expect_legal_answer(s, after({"d2d4"}), next, ms(20000));
    ASSERT_TRUE(p) << s.out();
    // A second retraction, and the game goes on from the start again.
    s.send("remove\ng1f3\n");
    p = expect_legal_answer(s, after({"g1f3"}), next, ms(20000));
    ASSERT_TRUE(p) << s.out();
    EXPECT_EQ(s.out().find("Error"), std::string::npos) << s.out();
    EXPECT_EQ(s.quit(), 0);
  }
}

TEST(XboardRemove, RefusedWithFewerThanTwoPliesAndNothingChanges) {
  EngineSandbox box;
  // Force mode: nothing to take back, then one ply only. The engine then
  // plays Black after 1. e4 as if no "remove" had come.
  EngineSession s(box);
  s.send("xboard\nprotover 2\nnew\nnopost\nforce\nremove\ne2e4\nremove\nsd 3\ngo\n");
  size_t next = 0;
  ASSERT_TRUE(expect_legal_answer(s, after({"e2e4"}), next, ms(20000)));
  const std::string refusal = "Error (command not legal now): remove\n";
  const std::string& out = s.out();
  const size_t first = out.find(refusal);
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find(refusal, first + 1), std::string::npos) << out;
  EXPECT_EQ(s.quit(), 0);
}

// In analysis mode Retract Move goes back two plies and the analysis goes
// on there: the start position's twenty moves in "." (stat01's total).
TEST(XboardRemove, InAnalysisTheAnalysisGoesOnTwoPliesBack) {
  EngineSandbox box;
  EngineSession s(box);
  s.send("xboard\nprotover 2\nnew\nforce\ne2e4\ne7e5\npost\nanalyze\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
  const size_t from = s.size();
  s.send("remove\n");
  ASSERT_TRUE(s.sync(ms(10000)));
  s.send(".\n");
  std::optional<std::string> stat =
      s.wait_for_line([](const std::string& l) { return l.rfind("stat01:", 0) == 0; }, ms(10000), from);
  ASSERT_TRUE(stat) << s.out();
  const std::string total = stat->substr(stat->rfind(' ') + 1);
  EXPECT_EQ(std::stoi(total), static_cast<int>(after({}).legal_texts().size())) << *stat;
  s.send("exit\n");
  EXPECT_EQ(s.quit(), 0);
}

// Without a "variants" feature xboard offers every variant. The engine
// announces ordinary chess and Fischer random chess and refuses any other,
// changing nothing.
TEST(XboardVariants, NormalAndFischerandomAreAnnouncedAndAnyOtherRefused) {
  EngineSandbox box;
  EngineRun r = box.run("xboard\nprotover 2\n");
  const size_t variants = r.out.find("feature variants=\"normal,fischerandom\"\n");
  EXPECT_NE(variants, std::string::npos) << r.out;
  EXPECT_LT(variants, r.out.find("feature done=1\n")) << r.out;

  // The board is still the ordinary one: 1. e4 is taken in force mode.
  r = box.run("new\nvariant crazyhouse\nvariant\nvariant normal\nforce\ne2e4\nquit\n");
  EXPECT_EQ(r.out,
            "Error (no such variant crazyhouse): variant\n"
            "Error (variant needs a name): variant\n");
}

// "exit" leaves analysis mode; outside it there is nothing to leave: the
// engine goes on, answers "ping" and plays.
TEST(XboardExit, OutsideAnalysisTheEngineGoesOn) {
  EngineSandbox box;
  EngineSession s(box);
  s.send("xboard\nprotover 2\nnew\nexit\nping 1\nnopost\nsd 3\ne2e4\n");
  ASSERT_TRUE(line_after(s, "pong 1", 0)) << s.out();
  size_t next = 0;
  EXPECT_TRUE(expect_legal_answer(s, after({"e2e4"}), next, ms(20000)));
  EXPECT_EQ(s.quit(), 0);
}

// A draw offer is judged on a score of the position on the board. A rook
// ending that a search scores level is offered a draw (the engine has the
// lower rating and fewer than three pieces); after "setboard" of a
// position the engine wins (Ra1+ takes the rook), or a move entered in
// force mode, no search has scored the board and the offer is declined.
TEST(XboardDraw, JudgedOnlyOnAScoreOfThePositionOnTheBoard) {
  const char* const LEVEL_FEN = "4k3/7r/8/8/8/8/R7/4K3 w - - 0 1";
  const char* const WON = "setboard 4k3/8/8/8/8/8/r7/4K2R b K - 0 1\n";
  enum class Then { nothing, new_position, user_move };
  struct Case {
    const char* name;
    Then then;  // after the engine's move in the level ending
    bool offered;
  };
  for (const Case& c : {Case{"the searched position", Then::nothing, true},
                        Case{"a new position", Then::new_position, false},
                        Case{"a move in force mode", Then::user_move, false}}) {
    SCOPED_TRACE(c.name);
    EngineSandbox box;
    EngineSession s(box);
    s.send(std::string("xboard\nprotover 2\nnew\nnopost\nforce\nsetboard ") + LEVEL_FEN + "\nsd 6\ngo\n");
    size_t next = 0;
    std::optional<rules::Position> p = expect_legal_answer(s, rules::Position::from_fen(LEVEL_FEN), next, ms(20000));
    ASSERT_TRUE(p);
    if (c.then == Then::new_position) s.send(std::string("force\n") + WON);
    if (c.then == Then::user_move) s.send("force\n" + p->legal_texts().front() + "\n");
    s.send("draw\n");
    const std::string out = output_until_sync(s, next);
    EXPECT_EQ(out.find("offer draw") != std::string::npos, c.offered) << s.out();
    EXPECT_EQ(s.quit(), 0);
  }
  // While the engine searches the won position, the offer is judged on
  // that search's score, never on the last game's.
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("xboard\nprotover 2\nnew\nnopost\nforce\nsetboard ") + LEVEL_FEN + "\nsd 6\ngo\n");
  size_t next = 0;
  ASSERT_TRUE(s.wait_for_line(is_move_line, ms(20000), 0, &next)) << s.out();
  s.send(std::string("new\nforce\n") + WON + "level 0 1 0\ngo\n");
  s.pump(500);
  s.send("draw\n");
  ASSERT_TRUE(s.wait_for_line(is_move_line, ms(20000), next)) << s.out();
  EXPECT_EQ(s.out().find("offer draw"), std::string::npos) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

// A pong promises that every command before it has been served. A table
// size given during an analysis or a ponder search is in force (its
// comment line printed) before the pong; the analysis goes on, and the
// game after the ponder search too.
TEST(XboardSettings, MemoryDuringAnalysisOrPonderingIsServedBeforeThePong) {
  struct Case {
    const char* name;
    const char* start;
  };
  for (const Case& c : {Case{"analysis", "post\nanalyze\n"}, Case{"pondering", "hard\nlevel 0 1 0\npost\ne2e4\n"}}) {
    SCOPED_TRACE(c.name);
    EngineSandbox box;
    EngineSession s(box);
    s.send(std::string("xboard\nprotover 2\nnew\n") + c.start);
    ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(20000))) << s.out();
    if (std::string(c.name) == "pondering") {
      ASSERT_TRUE(s.wait_for_line(is_move_line, ms(20000))) << s.out();
      s.pump(300);
    }
    const size_t from = s.size();
    s.send("memory 4\nping 7\n");
    const std::optional<size_t> pong = line_after(s, "pong 7", from);
    ASSERT_TRUE(pong) << s.out();
    const size_t comment = s.out().find("# memory ", from);
    EXPECT_LT(comment, *pong) << s.out().substr(from);
    if (std::string(c.name) == "analysis") {
      // Still analysing: new thinking lines come.
      EXPECT_TRUE(s.wait_for_line(is_thinking_line, ms(10000), *pong)) << s.out();
      s.send("exit\n");
    } else {
      size_t next = *pong;
      std::vector<std::string> moves;
      for (const std::string& l : s.lines(0))
        if (is_move_line(l)) moves.push_back(move_of(l));
      ASSERT_EQ(moves.size(), 1u) << s.out();
      rules::Position p = *after({"e2e4"}).after(moves[0]);
      const std::string reply = p.legal_texts().front();
      s.send(reply + "\n");
      EXPECT_TRUE(expect_legal_answer(s, *p.after(reply), next, ms(20000)));
    }
    EXPECT_EQ(s.quit(), 0);
  }
}

}  // namespace
}  // namespace brevalt::testing

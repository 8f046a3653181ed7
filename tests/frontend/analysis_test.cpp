// CECP analysis mode and ping, end to end: the built engine in a scratch
// folder, driven with the command orders xboard sends when it enters
// Analysis mode, when the user moves or takes back there, and when it
// leaves. Every thinking line is a variation judged legal by the
// independent rules in chess_rules.h in the position the interface
// shows; "." is answered with a stat01 line whose move count those rules
// confirm; no move is played while the engine analyses, and a game goes
// on normally afterwards. "ping" marks the moment every earlier command
// has taken effect: its pong comes after the move of a search on the
// engine's own clock, and at once from a ponder search or an analysis.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// A Queen's Gambit Declined middlegame, out of the book: White to move.
const char* const MIDDLEGAME = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8";
// A rook ending with Black to move.
const char* const ENDING = "8/5pk1/6p1/8/3R4/6P1/r4PK1/8 b - - 0 40";

rules::Position at(const char* fen) { return rules::Position::from_fen(fen); }

rules::Position after(const char* fen, std::initializer_list<const char*> moves) {
  rules::Position p = at(fen);
  for (const char* m : moves) p = *p.after(m);
  return p;
}

// Sends "ping N" and waits for "pong N" from offset `from` on: every line
// sent before the ping has then taken effect. The offset after the pong
// line, or nothing when it did not come.
std::optional<size_t> settle(EngineSession& s, int n, size_t from, int timeout_ms = ms(10000)) {
  s.send("ping " + std::to_string(n) + "\n");
  size_t after_line = 0;
  const std::string pong = "pong " + std::to_string(n);
  if (!s.wait_for_line([&](const std::string& l) { return l == pong; }, timeout_ms, from, &after_line))
    return std::nullopt;
  return after_line;
}

// The analysis of `p` runs: a thinking line comes after offset `from`,
// and every thinking line from there on is a legal variation in `p`.
void expect_analysis_of(EngineSession& s, const rules::Position& p, size_t from) {
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000), from)) << s.out();
  for (const std::string& line : s.lines(from)) {
    if (!is_thinking_line(line)) continue;
    const std::optional<ThinkingLine> t = parse_thinking(line);
    ASSERT_TRUE(t) << "not a thinking line: '" << line << "'";
    EXPECT_GE(t->depth, 1) << line;
    EXPECT_FALSE(t->pv.empty()) << line;
    EXPECT_EQ(pv_problem(p, t->pv), "") << line << "\n" << s.out();
  }
}

// Lines printed between a command that changes the analysed position and
// the pong after it belong to the position before or the one after, in
// that order: once a line is one of the new position's only, every later
// one is too.
void expect_switch_between(EngineSession& s, const rules::Position& before, const rules::Position& now,
                           size_t from) {
  bool switched = false;
  for (const std::string& line : s.lines(from)) {
    if (!is_thinking_line(line)) continue;
    const std::optional<ThinkingLine> t = parse_thinking(line);
    ASSERT_TRUE(t) << line;
    const bool old_line = pv_problem(before, t->pv).empty();
    const bool new_line = pv_problem(now, t->pv).empty();
    EXPECT_TRUE(new_line || (old_line && !switched)) << line << "\n" << s.out();
    if (new_line && !old_line) switched = true;
  }
}

// The root moves the search has in a position: the legal moves, with a
// promotion once (the search promotes to a queen only).
int searched_moves(const rules::Position& p) {
  int n = 0;
  for (const rules::Move& m : p.legal_moves()) n += m.promotion == 0 || m.promotion == 'q';
  return n;
}

// "." is answered with "stat01: TIME NODES DEPTH LEFT TOTAL [MOVE]": the
// total is the number of root moves of the analysed position, the moves
// left lie within it, and the move searched is one of them.
void expect_status_of(EngineSession& s, const rules::Position& p) {
  const size_t from = s.size();
  s.send(".\n");
  const std::optional<std::string> line =
      s.wait_for_line([](const std::string& l) { return l.rfind("stat01:", 0) == 0; }, ms(5000), from);
  ASSERT_TRUE(line) << s.out();
  static const std::regex shape(R"(^stat01: (\d+) (\d+) (\d+) (\d+) (\d+)(?: ([a-h][1-8][a-h][1-8][qrbn]?))?$)");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(*line, m, shape)) << *line;
  const long nodes = std::stol(m[2]);
  const int depth = std::stoi(m[3]), left = std::stoi(m[4]), total = std::stoi(m[5]);
  EXPECT_GT(nodes, 0) << *line;
  EXPECT_GE(depth, 1) << *line;
  EXPECT_EQ(total, searched_moves(p)) << *line;
  EXPECT_GE(left, 0) << *line;
  EXPECT_LE(left, total) << *line;
  if (m[6].matched) {
    EXPECT_TRUE(p.is_legal(m[6])) << *line;
  }
}

// No move played, no refusal and no error anywhere in the output.
void expect_no_move_and_no_complaint(const EngineSession& s) {
  for (const std::string& line : s.lines()) {
    EXPECT_FALSE(is_move_line(line)) << s.out();
    EXPECT_EQ(line.find("Illegal"), std::string::npos) << s.out();
    EXPECT_EQ(line.find("Error"), std::string::npos) << s.out();
  }
}

// One whole session: analysis from the start position, ".", a move, a
// take-back, a set-up position, an illegal move, "exit", and then a game
// from the analysed position that the engine plays as usual.
TEST(Analysis, AnalysesEachPositionTheInterfaceShowsThenAGameGoesOn) {
  EngineSandbox box;
  EngineSession s(box);
  s.send("xboard\nprotover 2\nnew\nforce\npost\nanalyze\n");
  std::optional<size_t> from = settle(s, 1, 0);
  ASSERT_TRUE(from) << s.out();
  expect_analysis_of(s, at(START), *from);
  expect_status_of(s, at(START));

  // Each step: the command, the position the analysis is of afterwards,
  // and the reply the command gets, if any.
  struct Step {
    std::string command;
    rules::Position position;
    std::string reply;
  };
  const std::vector<Step> steps = {
      {"e2e4", after(START, {"e2e4"}), ""},
      {"undo", at(START), ""},
      {std::string("setboard ") + MIDDLEGAME, at(MIDDLEGAME), ""},
      {"a1a8", at(MIDDLEGAME), "Illegal move: a1a8"},
      {"c4d5", after(MIDDLEGAME, {"c4d5"}), ""},
  };
  rules::Position shown = at(START);
  int ping = 2;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.command);
    const size_t sent = s.size();
    s.send(step.command + "\n");
    from = settle(s, ping++, sent);
    ASSERT_TRUE(from) << s.out();
    if (!step.reply.empty()) {
      EXPECT_NE(s.out().find(step.reply + "\n", sent), std::string::npos) << s.out();
    }
    expect_switch_between(s, shown, step.position, sent);
    expect_analysis_of(s, step.position, *from);
    expect_status_of(s, step.position);
    shown = step.position;
  }

  // "exit": the analysis ends and nothing more is printed of it.
  s.send("exit\n");
  from = settle(s, 90, s.size());
  ASSERT_TRUE(from) << s.out();
  s.pump(ms(300));
  for (const std::string& line : s.lines(*from)) EXPECT_FALSE(is_thinking_line(line)) << s.out();
  for (const std::string& line : s.lines()) {
    EXPECT_FALSE(is_move_line(line)) << s.out();
    EXPECT_EQ(line.find("Error"), std::string::npos) << s.out();
  }

  // The game goes on from the analysed position, Black to move: the
  // engine plays it, the user answers, and the engine moves again.
  size_t next = s.size();
  s.send("level 40 0:30 0\ntime 3000\notim 3000\ngo\n");
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(20000), next, &next);
  ASSERT_TRUE(move) << s.out();
  std::optional<rules::Position> p = shown.after(move_of(*move));
  ASSERT_TRUE(p) << "illegal move " << *move << "\n" << s.out();
  const std::string reply = p->legal_texts().front();
  s.send("time 2900\notim 2900\n" + reply + "\n");
  move = s.wait_for_line(is_move_line, ms(20000), next, &next);
  ASSERT_TRUE(move) << s.out();
  EXPECT_TRUE(p->after(reply)->is_legal(move_of(*move))) << *move << "\n" << s.out();
  EXPECT_EQ(s.quit(), 0);
}

// The orders xboard sends around Analysis mode: entering it from a new
// game, from Edit Position and after "nopost"; the user's moves (bare or
// with usermove) and take-backs there; its quick rewind, which leaves the
// analysis for the take-backs and enters it again.
struct Order {
  const char* name;
  std::string lines;
  rules::Position analysed;
};

TEST(Analysis, CommandOrdersOfXboard) {
  const std::vector<Order> orders = {
      {"from a new game", "new\nrandom\nlevel 40 5 0\npost\nhard\neasy\nping 1\nforce\ne2e4\ne7e5\npost\nanalyze\n",
       after(START, {"e2e4", "e7e5"})},
      {"from Edit Position", std::string("new\nforce\nsetboard ") + ENDING + "\npost\nanalyze\n", at(ENDING)},
      {"thinking output off", "new\nforce\nnopost\nanalyze\n", at(START)},
      {"a promotion to make", "new\nforce\nsetboard 8/1P4k1/8/8/8/8/6p1/K7 w - - 0 1\npost\nanalyze\n",
       at("8/1P4k1/8/8/8/8/6p1/K7 w - - 0 1")},
      {"a user move with usermove", "accepted usermove\nnew\nforce\npost\nanalyze\nusermove g1f3\n",
       after(START, {"g1f3"})},
      {"a take-back", "new\nforce\ne2e4\npost\nanalyze\nundo\n", at(START)},
      {"a rewind to the start", "new\nforce\nd2d4\nd7d5\npost\nanalyze\nexit\nforce\nundo\nundo\nanalyze\n",
       at(START)},
      {"new inside the analysis", "new\nforce\ne2e4\npost\nanalyze\nnew\n", at(START)},
  };
  for (const Order& order : orders) {
    SCOPED_TRACE(order.name);
    EngineSandbox box;
    EngineSession s(box);
    s.send(order.lines);
    const std::optional<size_t> from = settle(s, 77, 0);
    ASSERT_TRUE(from) << s.out();
    expect_analysis_of(s, order.analysed, *from);
    expect_status_of(s, order.analysed);
    s.send("exit\n");
    EXPECT_EQ(s.quit(), 0);
    expect_no_move_and_no_complaint(s);
  }
}

// xboard takes back several moves as several "undo" lines at once: the
// analysis goes from the position before them to the one after, with no
// line about a position between.
TEST(Analysis, TakingBackTwoMovesAnalysesNoPositionBetween) {
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\nforce\ne2e4\ne7e5\npost\nanalyze\n");
  std::optional<size_t> from = settle(s, 1, 0);
  ASSERT_TRUE(from) << s.out();
  expect_analysis_of(s, after(START, {"e2e4", "e7e5"}), *from);
  const size_t sent = s.size();
  s.send("undo\nundo\n");
  from = settle(s, 2, sent);
  ASSERT_TRUE(from) << s.out();
  expect_analysis_of(s, at(START), *from);
  const rules::Position between = after(START, {"e2e4"});
  for (const std::string& line : s.lines(sent)) {
    const std::optional<ThinkingLine> t = parse_thinking(line);
    if (!t) continue;
    EXPECT_TRUE(pv_problem(between, t->pv) != "" || pv_problem(at(START), t->pv) == "" ||
                pv_problem(after(START, {"e2e4", "e7e5"}), t->pv) == "")
        << "a line of the position between: " << line << "\n" << s.out();
  }
  s.send("exit\n");
  EXPECT_EQ(s.quit(), 0);
}

// "analyze" while the engine thinks on its own move (xboard sends "force"
// first, but the search may still be unwinding): the search ends without
// a move, and the analysis is of the position the game stood in.
TEST(Analysis, EnteredWhileTheEngineThinksPlaysNoMove) {
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + MIDDLEGAME + "\nlevel 40 5 0\npost\ngo\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(20000))) << s.out();
  s.send("analyze\n");
  const std::optional<size_t> from = settle(s, 1, 0);
  ASSERT_TRUE(from) << s.out();
  expect_analysis_of(s, at(MIDDLEGAME), *from);
  s.send("exit\n");
  EXPECT_EQ(s.quit(), 0);
  expect_no_move_and_no_complaint(s);
}

// An en passant capture in a variation is written as the capture it is
// (exd6), not as the pawn's quiet step to the square it lands on.
TEST(Analysis, EnPassantInAVariationIsACapture) {
  const char* fen = "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1";
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + fen + "\nanalyze\n");
  EXPECT_TRUE(s.wait_for(" exd6 ", ms(5000))) << s.out();
  ASSERT_TRUE(settle(s, 1, 0)) << s.out();
  expect_analysis_of(s, at(fen), 0);
  s.send("exit\n");
  EXPECT_EQ(s.quit(), 0);
}

// Bad input during an analysis gets its reply and changes nothing else:
// the analysis goes on, of the same position, or (after a position the
// engine cannot play) waits for a good one.
TEST(Analysis, BadInputIsAnsweredAndTheAnalysisGoesOn) {
  struct Bad {
    std::string command;
    std::string reply;
  };
  const std::vector<Bad> bad = {
      {"e2e5", "Illegal move: e2e5"},
      {"e1g1", "Illegal move: e1g1"},
      {"undo", "Error (command not legal now): undo"},
      {"go", "Error (command not legal now): go"},
      {"draw", "Error (command not legal now): draw"},
      {"epdtest x 4", "Error (command not legal now): epdtest"},
      {"ping", "Error (ping needs a number): ping"},
      {"playother", "Error (unknown command): playother"},
      {"exclude e2e5", "Error (illegal move e2e5): exclude"},
      {"include e9", "Error (include needs a move or all): include"},
  };
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\nforce\npost\nanalyze\n");
  int ping = 1;
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.command);
    const size_t sent = s.size();
    s.send(b.command + "\n");
    const std::optional<size_t> from = settle(s, ping++, sent);
    ASSERT_TRUE(from) << s.out();
    EXPECT_NE(s.out().find(b.reply + "\n", sent), std::string::npos) << s.out();
    expect_analysis_of(s, at(START), sent);
  }

  // A position the engine cannot play: no analysis until a good one.
  size_t sent = s.size();
  s.send("setboard 8/8/8/8/8/8/8/8 w - - 0 1\n");
  std::optional<size_t> from = settle(s, 50, sent);
  ASSERT_TRUE(from) << s.out();
  EXPECT_NE(s.out().find("tellusererror Illegal position\n", sent), std::string::npos) << s.out();
  s.send("e2e4\n.\n");
  from = settle(s, 51, *from);
  ASSERT_TRUE(from) << s.out();
  EXPECT_NE(s.out().find("Illegal move: e2e4\nstat01: 0 0 0 0 0\n", sent), std::string::npos) << s.out();
  s.pump(ms(300));
  for (const std::string& line : s.lines(*from)) EXPECT_FALSE(is_thinking_line(line)) << s.out();
  sent = s.size();
  s.send("new\n");
  from = settle(s, 52, sent);
  ASSERT_TRUE(from) << s.out();
  expect_analysis_of(s, at(START), *from);
  s.send("exit\n");
  EXPECT_EQ(s.quit(), 0);
  for (const std::string& line : s.lines()) EXPECT_FALSE(is_move_line(line)) << s.out();
}

// The interface closes the engine's input during an analysis: the
// analysis, which has no end of its own, stops and the engine ends.
TEST(Analysis, EndOfInputEndsTheAnalysisAndTheEngine) {
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\nforce\npost\nanalyze\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
  s.close_input();
  EXPECT_EQ(s.wait_exit(ms(3000)), 0);
}

// ---------------------------------------------------------------------------
// ping during the engine's own searches

// A search on the engine's own clock: the pong comes after its move, as
// xboard reads it ("?" then "ping": the move is in by the pong).
TEST(Ping, DuringTheEnginesOwnSearchThePongFollowsTheMove) {
  struct Case {
    const char* name;
    std::string before_ping;  // sent once the search runs
  };
  for (const Case& c : {Case{"move now", "?\n"}, Case{"the search ends by itself", ""}}) {
    SCOPED_TRACE(c.name);
    EngineSandbox box;
    EngineSession s(box);
    s.send(std::string("new\nforce\nsetboard ") + MIDDLEGAME + "\nst 1\npost\ngo\n");
    ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
    s.send(c.before_ping + "ping 8\n");
    size_t move_end = 0;
    ASSERT_TRUE(s.wait_for_line(is_move_line, ms(10000), 0, &move_end)) << s.out();
    ASSERT_TRUE(s.wait_for("pong 8\n", ms(5000))) << s.out();
    EXPECT_NE(s.out().find("pong 8\n", move_end), std::string::npos) << "pong before the move:\n" << s.out();
    EXPECT_EQ(s.quit(), 0);
  }
}

// xboard's Edit Game while the engine thinks: "force", "ping". The search
// ends without a move, and the pong says so.
TEST(Ping, AfterForceDuringASearchNoMoveComes) {
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + MIDDLEGAME + "\nlevel 40 5 0\npost\ngo\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
  const size_t sent = s.size();
  s.send("force\n");
  ASSERT_TRUE(settle(s, 3, sent)) << s.out();
  s.pump(ms(300));
  for (const std::string& line : s.lines()) EXPECT_FALSE(is_move_line(line)) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

// A ponder search does not count: the pong comes at once and the engine
// goes on pondering; but a move that missed the prediction is answered
// (the engine's move) before the pong that follows it.
TEST(Ping, DuringAPonderSearchAtOnceUnlessAMoveWaits) {
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nhard\nforce\nsetboard ") + MIDDLEGAME + "\nst 1\ntime 30000\notim 30000\ngo\n");
  size_t next = 0;
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(30000), 0, &next);
  ASSERT_TRUE(move) << s.out();
  std::optional<rules::Position> p = at(MIDDLEGAME).after(move_of(*move));
  ASSERT_TRUE(p) << s.out();
  s.pump(ms(300));
  const size_t before = s.size();
  std::optional<size_t> from = settle(s, 4, before, ms(2000));
  ASSERT_TRUE(from) << s.out();
  for (const std::string& line : s.lines(before)) EXPECT_FALSE(is_move_line(line)) << s.out();

  // Black's reply, the least likely to be the predicted one: the last
  // legal move listed. A miss or a hit, the engine's answer comes first.
  const std::string reply = p->legal_texts().back();
  s.send("time 29000\notim 29000\n" + reply + "\n");
  from = settle(s, 5, *from, ms(60000));
  ASSERT_TRUE(from) << s.out();
  std::vector<std::string> lines = s.lines(next);
  bool moved = false;
  for (const std::string& line : lines) {
    if (is_move_line(line)) {
      moved = true;
      EXPECT_TRUE(p->after(reply)->is_legal(move_of(line))) << line << "\n" << s.out();
    }
    if (line == "pong 5") break;
  }
  EXPECT_TRUE(moved) << "pong before the engine's answer:\n" << s.out();
  EXPECT_EQ(s.quit(), 0);
}

}  // namespace
}  // namespace brevalt::testing

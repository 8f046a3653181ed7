// Commands that arrive while the engine searches, end to end: "?" and the
// end of input make it move at once, "force" and "new" make it drop the
// search, and pondering turns into the real search on the predicted move
// or gives way to another one. The thinking lines are checked on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

long elapsed_ms(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

// Starts a search on the long clock of a new game from the start position
// (or `setup`), thinking output on, and waits for its first thinking line.
void start_long_search(EngineSession& s, const std::string& setup = "new\n") {
  s.send(setup + "post\ngo\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(30000))) << s.out();
}

// The engine played no move, and accepted every move it was sent.
void expect_no_move_and_no_refusal(EngineSession& s) {
  for (const std::string& line : s.lines()) {
    EXPECT_FALSE(is_move_line(line)) << s.out();
    EXPECT_EQ(line.find("Illegal"), std::string::npos) << s.out();
    EXPECT_EQ(line.find("not legal now"), std::string::npos) << s.out();
  }
}

TEST(SearchControl, QuestionMarkMovesAtOnceWithTheBestMoveSoFar) {
  EngineSandbox box;
  EngineSession s(box);
  start_long_search(s);
  const auto asked = std::chrono::steady_clock::now();
  s.send("?\n");
  // Thinking on its own time, the engine looks at its input every 100,000
  // nodes, well under a tenth of a second: the move follows at once, on
  // Linux as on Windows (where the pipe query tells it that "?" is there).
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(2000));
  ASSERT_TRUE(move) << s.out();
  EXPECT_LE(elapsed_ms(asked), ms(500));
  const rules::Position start = rules::Position::from_fen(START);
  std::optional<rules::Move> played = start.find(move_of(*move));
  ASSERT_TRUE(played) << *move;
  const std::vector<std::string> lines = s.lines();
  expect_sound_thinking_lines(lines, start);
  // The last line shows the variation of the move played.
  std::optional<ThinkingLine> last = last_thinking_before_move(lines);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->pv[0], start.engine_notation(*played));
  EXPECT_EQ(s.quit(), 0);
}

// The end of input during a search on the engine's own clock: the search
// runs to its own end (here a fixed second per move), plays, and the
// engine ends.
TEST(SearchControl, EndOfInputLetsTheSearchRunToItsEnd) {
  EngineSandbox box;
  EngineSession s(box);
  const auto started = std::chrono::steady_clock::now();
  start_long_search(s, "new\nst 1\n");
  s.close_input();
  EXPECT_EQ(s.wait_exit(ms(5000)), 0);
  EXPECT_GE(elapsed_ms(started), 600);
  std::vector<std::string> lines = s.lines();
  ASSERT_FALSE(lines.empty());
  ASSERT_TRUE(is_move_line(lines.back())) << s.out();
  EXPECT_TRUE(rules::Position::from_fen(START).is_legal(move_of(lines.back()))) << lines.back();
  expect_sound_thinking_lines(lines, rules::Position::from_fen(START));
}

// Input that ends right after "go" (a piped session) still gets a searched
// move: here the mate in one, not the first move listed.
TEST(SearchControl, PipedGoPlaysASearchedMove) {
  EngineSandbox box;
  EngineRun run = box.run("xboard\nprotover 2\nnew\nforce\nsetboard 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1\ngo\n");
  EXPECT_NE(run.out.find("\nmove a1a8\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.exit_status, 0);
}

// The engine's answer to "go" after the set-up lines, and how long it took
// from the moment "go" was sent; no move within five seconds gives none.
struct TimedMove {
  std::optional<std::string> move;
  long ms;
};
TimedMove move_after_go(EngineSession& s, const std::string& setup) {
  s.send(setup);
  if (!s.sync(ms(5000))) return {std::nullopt, 0};
  const size_t before = s.size();
  const auto sent = std::chrono::steady_clock::now();
  s.send("go\n");
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(5000), before);
  return {move, elapsed_ms(sent)};
}

// A fast clock is spent, not left: at 7 s with a 0.1 s increment (level as
// xboard writes it) the move takes a real share of the clock, where
// whole-second tables would allot nothing below 8 s.
TEST(SearchControl, FastClocksGetARealShare) {
  const std::string fen = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8";
  EngineSandbox box;
  EngineSession s(box);
  const TimedMove timed =
      move_after_go(s, "xboard\nprotover 2\nnew\nlevel 0 0:10 0.1\nforce\nsetboard " + fen + "\ntime 700\notim 700\n");
  ASSERT_TRUE(timed.move) << s.out();
  // About (7000 - 30) / 25 + 75 ms; never past half the clock.
  EXPECT_GE(timed.ms, 150);
  EXPECT_LT(timed.ms, 3500);
  EXPECT_TRUE(rules::Position::from_fen(fen).is_legal(move_of(*timed.move))) << *timed.move;
}

// xboard's fixed time per move ("st", decimals allowed) and depth limit
// ("sd"), sent after "new" as xboard sends them; refused values change nothing.
TEST(SearchControl, FixedTimeAndDepthPerMove) {
  const std::string fen = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8";
  const rules::Position p = rules::Position::from_fen(fen);
  EngineSandbox box;
  EngineSession s(box);
  const TimedMove timed = move_after_go(s, "xboard\nprotover 2\nnew\nst 0.3\nst 0\nst x\npost\nforce\nsetboard " + fen + "\n");
  ASSERT_TRUE(timed.move) << s.out();
  EXPECT_LT(timed.ms, 300);
  EXPECT_TRUE(p.is_legal(move_of(*timed.move))) << *timed.move;
  EXPECT_NE(s.out().find("Error (time per move must be above 0 seconds): st"), std::string::npos);

  EngineSession d(box);
  d.send("xboard\nprotover 2\nnew\nsd 9\nsd 0\npost\nforce\nsetboard " + fen + "\ngo\n");
  std::optional<std::string> move = d.wait_for_line(is_move_line, ms(10000));
  ASSERT_TRUE(move) << d.out();
  int deepest = 0;
  for (const std::string& line : d.lines()) {
    if (std::optional<ThinkingLine> t = parse_thinking(line)) deepest = std::max(deepest, t->depth);
  }
  // Thinking lines start at iteration 6; none goes past the limit.
  EXPECT_GE(deepest, 6) << d.out();
  EXPECT_LE(deepest, 9) << d.out();
  EXPECT_NE(d.out().find("Error (depth must be at least 1): sd"), std::string::npos);
}

// A fixed time per move longer than the clock has left: the move comes
// before the clock runs out (ten seconds a move, one second on the clock).
TEST(SearchControl, FixedTimePerMoveStaysWithinTheClock) {
  const std::string fen = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8";
  EngineSandbox box;
  EngineSession s(box);
  const std::string clock = std::to_string(100 * SLOWDOWN);
  const TimedMove timed =
      move_after_go(s, "xboard\nprotover 2\nnew\nst 10\nforce\nsetboard " + fen + "\ntime " + clock + "\notim " + clock + "\n");
  ASSERT_TRUE(timed.move) << s.out();
  EXPECT_LT(timed.ms, 1000 * SLOWDOWN);
  EXPECT_TRUE(rules::Position::from_fen(fen).is_legal(move_of(*timed.move))) << *timed.move;
}

TEST(SearchControl, ForceDuringASearchDropsTheMove) {
  EngineSandbox box;
  EngineSession s(box);
  start_long_search(s);
  // Had the engine moved, White's e2e4 would be refused: Black would be to move.
  s.send("force\ne2e4\ne7e5\n");
  ASSERT_TRUE(s.sync(ms(5000))) << s.out();
  expect_no_move_and_no_refusal(s);
  EXPECT_EQ(s.quit(), 0);
}

TEST(SearchControl, NewDuringASearchLeavesTheStartPosition) {
  const std::string fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
  ASSERT_FALSE(rules::Position::from_fen(fen).is_legal("e2e4"));
  EngineSandbox box;
  EngineSession s(box);
  start_long_search(s, "new\nforce\nsetboard " + fen + "\n");
  s.send("new\nforce\ne2e4\ne7e5\n");
  ASSERT_TRUE(s.sync(ms(5000))) << s.out();
  expect_no_move_and_no_refusal(s);
  EXPECT_EQ(s.quit(), 0);
}

// A pawn ending the engine (White) wins slowly: Black's king and a-pawn
// make every reply easy to read back from the variation. Thirty seconds
// each: a second or two per move. Returns the position after the engine's
// first move and the reply it predicts there.
struct Pondering {
  rules::Position after_engine_move;
  std::string predicted;
  size_t next;  // output offset after the engine's first move
};

std::optional<Pondering> play_until_pondering(EngineSession& s) {
  const char* fen = "8/p4k2/8/8/8/8/PP3K2/8 w - -";
  s.send(std::string("new\nforce\nsetboard ") + fen + "\ntime 3000\notim 3000\nhard\npost\ngo\n");
  size_t next = 0;
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(20000), 0, &next);
  if (!move) {
    ADD_FAILURE() << "no move: " << s.out();
    return std::nullopt;
  }
  const rules::Position start = rules::Position::from_fen(fen);
  std::optional<rules::Position> after = start.after(move_of(*move));
  if (!after) {
    ADD_FAILURE() << "illegal move " << *move;
    return std::nullopt;
  }
  std::optional<ThinkingLine> last = last_thinking_before_move(s.lines());
  if (!last || last->pv.size() < 2) {
    ADD_FAILURE() << "no variation with a reply: " << s.out();
    return std::nullopt;
  }
  std::vector<rules::Move> reply = after->matching(last->pv[1]);
  if (reply.size() != 1) {
    ADD_FAILURE() << "unreadable reply " << last->pv[1];
    return std::nullopt;
  }
  return Pondering{*after, reply[0].text(), next};
}

TEST(Pondering, PredictedMoveTurnsThePonderSearchIntoTheRealOne) {
  EngineSandbox box;
  EngineSession s(box);
  std::optional<Pondering> p = play_until_pondering(s);
  ASSERT_TRUE(p);
  // While it ponders the engine prints nothing.
  s.pump(2000);
  EXPECT_EQ(s.size(), p->next) << s.out().substr(p->next);
  const auto sent = std::chrono::steady_clock::now();
  s.send(p->predicted + "\n");
  size_t end = 0;
  std::optional<std::string> answer = s.wait_for_line(is_move_line, ms(6000), p->next, &end);
  ASSERT_TRUE(answer) << s.out();
  // The budget of about a second and a half was spent while it pondered:
  // the answer comes as soon as the search can stop.
  EXPECT_LE(elapsed_ms(sent), ms(3000));
  const rules::Position after_prediction = *p->after_engine_move.after(p->predicted);
  EXPECT_TRUE(after_prediction.is_legal(move_of(*answer))) << *answer;
  // Its thinking lines go on from the ponder search: their time counts
  // from the start of pondering, and the variations are lines from the
  // position after the predicted move.
  std::vector<std::string> after_hit = s.lines(p->next);
  expect_sound_thinking_lines(after_hit, after_prediction);
  // (A ponder search that had already finished answers at once, silently.)
  std::optional<ThinkingLine> last = last_thinking_before_move(after_hit);
  if (last) {
    EXPECT_GE(last->centiseconds, 190) << s.out().substr(p->next);
  } else {
    EXPECT_LE(elapsed_ms(sent), ms(500));
  }
  EXPECT_EQ(s.out().find("Illegal"), std::string::npos);
  EXPECT_EQ(s.quit(), 0);
}

TEST(Pondering, AnotherMoveStopsThePonderSearchAndIsAnswered) {
  EngineSandbox box;
  EngineSession s(box);
  std::optional<Pondering> p = play_until_pondering(s);
  ASSERT_TRUE(p);
  s.pump(1000);
  std::string other;
  for (const std::string& m : p->after_engine_move.legal_texts())
    if (m != p->predicted) other = m;
  ASSERT_FALSE(other.empty());
  s.send(other + "\n");
  std::optional<std::string> answer = s.wait_for_line(is_move_line, ms(10000), p->next);
  ASSERT_TRUE(answer) << s.out();
  const rules::Position after_other = *p->after_engine_move.after(other);
  EXPECT_TRUE(after_other.is_legal(move_of(*answer))) << other << " then " << *answer;
  expect_sound_thinking_lines(s.lines(p->next), after_other);
  EXPECT_EQ(s.out().find("Illegal"), std::string::npos);
  EXPECT_EQ(s.quit(), 0);
}

}  // namespace
}  // namespace brevalt::testing

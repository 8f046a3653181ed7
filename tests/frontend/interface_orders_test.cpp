// The command orders real interfaces send, end to end, with every move the
// engine prints judged by the independent rules in chess_rules.h: a stored
// ponder reply meeting a position it was not searched for, "see" and "go"
// in the middle of searches, xboard's Edit Position during a game, its
// "level" sent once before "setboard", take-backs, a refused position,
// late claims, resignation, and input that ends or runs long.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"
#include "support/files.h"

namespace brevalt::testing {
namespace {

// Black's king has one move (h8h7, out of the rook's check); White then
// promotes on f8 with mate soon after, which the ponder search on f7f8
// sees within a second or two and stores its reply for.
const char* const PROMOTION = "R6k/5P2/4N3/8/8/8/8/K7 b - - 0 1";

// The engine (Black) answers h8h7 in PROMOTION and has the time to finish
// its ponder search on f7f8 (queen). Returns the offset after its move.
size_t ponder_on_promotion(EngineSession& s, const std::string& setup = "") {
  s.send(std::string("new\nhard\nlevel 40 5 0\n") + setup + "force\nsetboard " + PROMOTION +
         "\ntime 30000\notim 30000\ngo\n");
  size_t next = 0;
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(20000), 0, &next);
  EXPECT_EQ(move.value_or("none"), "move h8h7") << s.out();
  s.pump(ms(2500));
  return next;
}

TEST(StoredPonderReply, UnderPromotionOfThePredictedPawnIsSearchedAfresh) {
  EngineSandbox box;
  EngineSession s(box);
  size_t next = ponder_on_promotion(s);
  s.send("f7f8n\n");
  const rules::Position p = *rules::Position::from_fen(PROMOTION).after("h8h7")->after("f7f8n");
  expect_legal_answer(s, p, next, ms(20000));
  EXPECT_EQ(s.quit(), 0);
}

TEST(StoredPonderReply, SideSwitchPlaysTheSideToMove) {
  // "force", "go": the engine now plays White, in the position after its
  // own move; the Black reply it had ready is no move of White's.
  EngineSandbox box;
  EngineSession s(box);
  size_t next = ponder_on_promotion(s);
  s.send("force\ngo\n");
  expect_legal_answer(s, *rules::Position::from_fen(PROMOTION).after("h8h7"), next, ms(20000));
  EXPECT_EQ(s.quit(), 0);
}

// The engine (White, thirty seconds, pondering on) makes its first move in
// a pawn ending and is a moment into its ponder search. Returns the
// position after that move (and moves `next` past it).
std::optional<rules::Position> start_pondering_in_pawn_ending(EngineSession& s, size_t& next) {
  const char* fen = "8/p4k2/8/8/8/8/PP3K2/8 w - - 0 1";
  s.send(std::string("new\nforce\nsetboard ") + fen + "\ntime 3000\notim 3000\nhard\ngo\n");
  std::optional<rules::Position> p = expect_legal_answer(s, rules::Position::from_fen(fen), next, ms(20000));
  s.pump(ms(300));
  return p;
}

TEST(SearchInterruptions, SeeDuringTheEnginesSearchAnswersAndTheMoveStillComes) {
  // About a second for the move; the answer is the interface's position's
  // (nothing attacks e2 in the start position), and the clock still rules.
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\ntime 1000\notim 1000\npost\ngo\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
  s.send("see 12\n");
  size_t from = 0;
  ASSERT_TRUE(s.wait_for("telluser result is 0\n", ms(5000))) << s.out();
  expect_legal_answer(s, rules::Position::from_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"),
                      from, ms(6000));
  EXPECT_EQ(s.quit(), 0);
}

TEST(SearchInterruptions, SeeDuringAPonderSearchLeavesTheGameAsItWas) {
  // The opponent's move after "see" is taken (no refusal) and answered.
  EngineSandbox box;
  EngineSession s(box);
  size_t next = 0;
  std::optional<rules::Position> p = start_pondering_in_pawn_ending(s, next);
  ASSERT_TRUE(p);
  s.send("see 8\n");
  ASSERT_TRUE(s.wait_for("telluser result is", ms(5000), next)) << s.out();
  const std::string reply = p->legal_texts().front();
  s.send(reply + "\n");
  expect_legal_answer(s, *p->after(reply), next, ms(20000));
  EXPECT_EQ(s.out().find("not legal now"), std::string::npos) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

TEST(SearchInterruptions, GoWhilePonderingSwitchesSidesAtOnce) {
  // xboard switching the engine to the other side while it ponders: "time",
  // "otim", "go" without "force". The engine now plays the side to move in
  // the interface's position, which does not hold the predicted move.
  EngineSandbox box;
  EngineSession s(box);
  size_t next = 0;
  std::optional<rules::Position> p = start_pondering_in_pawn_ending(s, next);
  ASSERT_TRUE(p);
  s.send("time 3000\notim 3000\ngo\n");
  expect_legal_answer(s, *p, next, ms(10000));
  EXPECT_EQ(s.quit(), 0);
}

TEST(SearchInterruptions, ResultDuringAPonderSearchTakesThePredictedMoveBack) {
  // "result" stands the engine down in the middle of its ponder search; the
  // predicted move it had played on its own board must go, whether "go"
  // follows at once (while the search unwinds) or once it has ended.
  for (const char* pause : {"", "wait"}) {
    SCOPED_TRACE(*pause ? "go after the search has ended" : "go at once");
    EngineSandbox box;
    EngineSession s(box);
    size_t next = 0;
    std::optional<rules::Position> p = start_pondering_in_pawn_ending(s, next);
    ASSERT_TRUE(p);
    s.send("result 1/2-1/2 {Game drawn}\n");
    if (*pause) s.pump(ms(500));
    s.send("time 3000\notim 3000\ngo\n");
    expect_legal_answer(s, *p, next, ms(10000));
    EXPECT_EQ(s.quit(), 0);
  }
}

TEST(SetUpPositions, EditPositionMidGameIsPlayedFrom) {
  // xboard's Edit Position during a game: "force", "setboard", "go".
  const char* fen = "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1";
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\ntime 1000\notim 1000\ne2e4\n");
  size_t next = 0;
  ASSERT_TRUE(s.wait_for_line(is_move_line, ms(20000), 0, &next)) << s.out();
  s.send(std::string("force\nsetboard ") + fen + "\ngo\n");
  expect_legal_answer(s, rules::Position::from_fen(fen), next, ms(20000));
  EXPECT_EQ(s.quit(), 0);
}

TEST(SetUpPositions, TheTimeControlAndRatingsOutliveSetboard) {
  // xboard sends "level" (and "rating") before "force" and "setboard",
  // never after. With 8 seconds left the engine shows its thinking only
  // while it knows of the increment; a rook down, it would take a draw,
  // but not with its own rating the higher.
  const char* fen = "r3k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nlevel 0 1 5\nrating 2700 2500\npost\nforce\nsetboard ") + fen +
         "\ntime 800\notim 800\ngo\n");
  size_t next = 0;
  std::optional<std::string> move = s.wait_for_line(is_move_line, ms(20000), 0, &next);
  ASSERT_TRUE(move) << s.out();
  EXPECT_TRUE(last_thinking_before_move(s.lines()).has_value()) << s.out();
  s.send("draw\n");
  ASSERT_TRUE(s.sync(ms(5000)));
  EXPECT_EQ(s.out().find("offer draw"), std::string::npos) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

TEST(SetUpPositions, RefusedPositionTakesNoMoveAndMakesNone) {
  // Two white kings: refused. Until a good position or "new" arrives the
  // board is not the interface's, so moves and "go" are refused too.
  EngineSandbox box;
  EngineRun r = box.run("new\nforce\nsetboard 4k3/8/8/8/8/8/8/K3K3 w - -\ne2e4\ngo\nforce\nundo\nnew\nforce\ne2e4\nquit\n");
  EXPECT_EQ(r.out,
            "tellusererror Illegal position\n"
            "Illegal move: e2e4\n"
            "Error (command not legal now): go\n"
            "Error (command not legal now): undo\n");
  EXPECT_EQ(r.exit_status, 0);
}

TEST(Claims, RepetitionOfASetUpPositionIsClaimedOnTheSpot) {
  // The set-up position stands for the third time after the engine's
  // fourth reply: the claim follows that move at once.
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\nforce\nsetboard r6k/4P2p/5P1N/8/8/8/8/2K5 w - - 0 1\nh6f7\ngo\n");
  size_t next = 0;
  for (const char* user : {"f7h6", "h6f7", "f7h6", ""}) {
    ASSERT_TRUE(s.wait_for_line(is_move_line, ms(20000), next, &next)) << s.out();
    if (*user) s.send(std::string(user) + "\n");
  }
  ASSERT_TRUE(s.sync(ms(5000)));
  const std::vector<std::string> lines = s.lines();
  const std::vector<std::string> answers = {"move h8g8", "move g8h8", "move h8g8", "move g8h8"};
  std::vector<std::string> moves;
  for (size_t i = 0; i < lines.size(); ++i)
    if (is_move_line(lines[i])) moves.push_back(lines[i]);
  EXPECT_EQ(moves, answers) << s.out();
  // Nothing is claimed before the last reply, and the claim comes right after it.
  const size_t claim = s.out().find("1/2-1/2 {Draw by repetition}\n");
  EXPECT_EQ(claim, s.out().find("move g8h8\n", s.out().find("move g8h8\n") + 1) + 10) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

TEST(Claims, AMateFoundAfterResigningIsPlayedAndNotResigned) {
  // A queen, a rook and two minor pieces down, the engine (Black) resigns
  // on its third hopeless search in a row, without a move. The interface
  // plays on: it takes the game back, sets up a back-rank mate in one for
  // Black and asks again. That search's own score is a mate: the engine
  // plays it and claims it; it never resigns a won position.
  const char* fen = "B3r2k/6pp/Q7/8/7N/8/PP6/K4R2 b - - 0 1";
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + fen + "\ntime 1000\notim 3000\nnopost\ngo\n");
  rules::Position game = rules::Position::from_fen(fen);
  size_t from = 0;
  int made = 0;
  for (int i = 0; i < 3; ++i) {
    std::optional<std::string> line = s.wait_for_line(
        [](const std::string& l) { return is_move_line(l) || l == "resign"; }, ms(20000), from, &from);
    ASSERT_TRUE(line) << s.out();
    if (*line == "resign") break;
    ++made;
    ASSERT_LT(i, 2) << "no resignation on the third hopeless search: " << s.out();
    std::optional<rules::Position> next = game.after(move_of(*line));
    ASSERT_TRUE(next) << *line;
    const std::string reply = next->legal_texts().front();
    game = *next->after(reply);
    s.send(reply + "\n");
  }
  std::string input = "force\n";
  for (int i = 0; i < 2 * made; ++i) input += "undo\n";
  s.send(input + "g7g6\nf1f2\ngo\n");
  const rules::Position p = *rules::Position::from_fen(fen).after("g7g6")->after("f1f2");
  std::optional<rules::Position> after = expect_legal_answer(s, p, from, ms(20000));
  ASSERT_TRUE(after);
  EXPECT_TRUE(after->in_check() && after->legal_moves().empty()) << s.out();
  ASSERT_TRUE(s.wait_for("0-1 {Black mates}\n", ms(5000), from)) << s.out();
  EXPECT_EQ(s.out().find("resign", from), std::string::npos) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

TEST(Claims, AfterTheGameEndsTheFinalPositionKeepsItsSideToMove) {
  // "result" (or the engine's own mate) ends the game; the board stays the
  // final position, so a "go" that follows is played by the side to move
  // there: a legal Black move, and a mated Black side that says so.
  const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\ntime 1000\notim 1000\ngo\n");
  size_t next = 0;
  std::optional<rules::Position> p = expect_legal_answer(s, rules::Position::from_fen(start), next, ms(20000));
  ASSERT_TRUE(p);
  s.send("result 1-0\ntime 1000\notim 1000\ngo\n");
  expect_legal_answer(s, *p, next, ms(20000));

  const char* mate = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
  s.send(std::string("new\nforce\nsetboard ") + mate + "\ntime 1000\notim 1000\ngo\n");
  p = expect_legal_answer(s, rules::Position::from_fen(mate), next, ms(20000));
  ASSERT_TRUE(p && p->in_check() && p->legal_moves().empty()) << s.out();
  ASSERT_TRUE(s.wait_for("1-0 {White mates}\n", ms(5000), next)) << s.out();
  const size_t after_mate = s.size();
  s.send("time 1000\notim 1000\ngo\n");
  ASSERT_TRUE(s.wait_for("1-0 {White mates}\n", ms(5000), after_mate)) << s.out();
  ASSERT_TRUE(s.sync(ms(5000)));
  EXPECT_EQ(s.out().find("move ", after_mate), std::string::npos) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

TEST(InputEdges, AMoveOutOfTurnIsIllegal) {
  // After "result" the board is the final position, Black to move; a White
  // move is refused whichever side the engine was playing.
  EngineSandbox box;
  EngineRun r = box.run("new\nforce\ne2e4\nresult 1-0\ng1f3\nquit\n");
  EXPECT_TRUE(rules::Position::from_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1").find("g1f3") ==
              std::nullopt);
  EXPECT_EQ(r.out, "Illegal move: g1f3\n");
}

TEST(InputEdges, TakeBackBeyondTheGameRecordIsRefused) {
  // 600 half-moves of knights going out and back: the record holds 599,
  // so the first take-back is refused and the board stays where it is.
  std::string input = "new\nforce\n";
  const char* dance[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (int i = 0; i < 600; ++i) input += std::string(dance[i % 4]) + "\n";
  input += "undo\nmark\nquit\n";
  EngineSandbox box;
  EngineRun r = box.run(input, ms(30000));
  const std::string tail = "Error (command not legal now): undo\nError (unknown command): mark\n\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

TEST(InputEdges, EndOfInputEndsATestRun) {
  // wac.epd at a second a position would run for minutes.
  EngineSandbox box;
  box.write_file("wac.epd", read_file(std::string(BREVALT_DATA_DIR) + "/wac.epd"));
  for (const char* command : {"static wac.epd\n", "epdtest wac.epd 1\n"}) {
    EngineRun r = box.run(command, ms(8000));
    EXPECT_FALSE(r.timed_out) << command;
    EXPECT_EQ(r.exit_status, 0) << command;
  }
}

}  // namespace
}  // namespace brevalt::testing

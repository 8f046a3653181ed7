// Playing end to end: the built engine is given positions and moves as an
// interface gives them, and its move lines, result lines, claims, draw
// offers and resignation are checked against the rules of chess.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

// A fresh game on the given position, the engine to move on a short clock
// (ten seconds each: a few tenths of a second per move), thinking output off.
std::string short_game(const std::string& fen) {
  return "new\nforce\nsetboard " + fen + "\ntime 1000\notim 1000\nnopost\n";
}

// Sends the lines to an engine that keeps its input open, waits for `until`
// (a line sent during a search would be read by the search itself), then
// until the engine has read a further line, and quits. Returns everything
// printed before that further line's answer.
std::string session_output(const std::string& input, const std::string& until, int timeout_ms) {
  EngineSandbox box;
  EngineSession s(box);
  s.send(input);
  EXPECT_TRUE(s.wait_for(until, timeout_ms)) << s.out();
  EXPECT_TRUE(s.sync(timeout_ms)) << s.out();
  EXPECT_EQ(s.quit(), 0);
  std::string out = s.out();
  // The synchronising line's answer is not part of what is checked.
  out.erase(out.rfind("Error (unknown command): sync"));
  return out;
}

TEST(GameEnd, MateInOneIsPlayedAndTheResultFollowsTheMove) {
  // The rook mates on the back rank behind the king's own pawns.
  EXPECT_EQ(session_output("new\nforce\nsetboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -\nlevel 0 5 0\nnopost\ngo\n",
                           "mates}\n", ms(10000)),
            "move d1d8\n1-0 {White mates}\n");
  EXPECT_EQ(session_output("new\nforce\nsetboard 3r2k1/5ppp/8/8/8/8/5PPP/6K1 b - -\nlevel 0 5 0\nnopost\ngo\n",
                           "mates}\n", ms(10000)),
            "move d8d1\n0-1 {Black mates}\n");
  // On a short clock, where no comment follows a move, the mate is still announced.
  EXPECT_EQ(session_output(short_game("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -") + "go\n", "mates}\n", ms(10000)),
            "move d1d8\n1-0 {White mates}\n");
}

TEST(GameEnd, MateInOneReportsMateScoreInTheLastThinkingLine) {
  struct Case {
    const char* fen;
    const char* move;
    const char* notation;
    const char* result;
  };
  for (const Case& c : {Case{"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -", "move d1d8", "Rd8", "1-0 {White mates}"},
                        Case{"3r2k1/5ppp/8/8/8/8/5PPP/6K1 b - -", "move d8d1", "Rd1", "0-1 {Black mates}"}}) {
    SCOPED_TRACE(c.fen);
    std::string out =
        session_output(std::string("new\nforce\nsetboard ") + c.fen + "\nlevel 0 5 0\npost\ngo\n", "mates}\n",
                       ms(10000));
    std::vector<std::string> lines;
    for (size_t pos = 0, end; (end = out.find('\n', pos)) != std::string::npos; pos = end + 1)
      lines.push_back(out.substr(pos, end - pos));
    ASSERT_EQ(lines.size(), 3u) << out;
    std::optional<ThinkingLine> t = parse_thinking(lines[0]);
    ASSERT_TRUE(t) << lines[0];
    // Mate by the root move itself: 9999 less the two plies to the mated position.
    EXPECT_EQ(t->score, 9997);
    EXPECT_EQ(t->pv, std::vector<std::string>{c.notation});
    EXPECT_EQ(lines[1], c.move);
    EXPECT_EQ(lines[2], c.result);
  }
}

TEST(GameEnd, EngineWithoutLegalMovesPrintsOnlyTheResult) {
  struct Case {
    const char* fen;
    const char* result;
  };
  for (const Case& c : {
           // Black to move is mated by the protected queen.
           Case{"7k/6Q1/6K1/8/8/8/8/8 b - -", "1-0 {White mates}\n"},
           // White to move is mated the same way.
           Case{"8/8/8/8/8/6k1/6q1/6K1 w - -", "0-1 {Black mates}\n"},
           // Black to move has no move and is not in check.
           Case{"7k/5Q2/6K1/8/8/8/8/8 b - -", "1/2-1/2 {Stalemate}\n"},
           Case{"8/8/8/8/8/5k2/5p2/5K2 w - -", "1/2-1/2 {Stalemate}\n"},
       }) {
    SCOPED_TRACE(c.fen);
    rules::Position p = rules::Position::from_fen(c.fen);
    ASSERT_TRUE(p.legal_moves().empty());
    ASSERT_EQ(p.in_check(), std::string(c.result).find("mates") != std::string::npos);
    EngineSandbox box;
    // No search is started, so the end of input cannot cut one short.
    EngineRun r = box.run(std::string("new\nforce\nsetboard ") + c.fen + "\ngo\n", ms(10000));
    EXPECT_EQ(r.out, c.result);
    EXPECT_EQ(r.exit_status, 0);
  }
}

TEST(GameEnd, InsufficientMaterialIsDeclaredWithoutAMove) {
  for (const char* fen : {
           "8/8/4k3/8/8/3K4/8/8 w - -",      // bare kings
           "8/8/4k3/8/8/3K4/8/8 b - -",
           "8/8/4k3/8/8/3K4/8/2B5 w - -",    // the engine has the bishop
           "8/8/4k3/8/8/3K4/8/2B5 b - -",    // the opponent has it
           "8/8/4k3/8/8/3K4/8/2N5 w - -",    // a knight
           "8/8/4k3/8/8/3K4/8/2n5 w - -",
           "5b2/8/4k3/8/8/3K4/8/2B5 w - -",  // bishops on dark squares (c1, f8)
           "2b5/8/4k3/8/8/3K4/8/5B2 b - -",  // bishops on light squares (f1, c8)
       }) {
    SCOPED_TRACE(fen);
    EngineSandbox box;
    EngineRun r = box.run(std::string("new\nforce\nsetboard ") + fen + "\ngo\n", ms(10000));
    EXPECT_EQ(r.out, "1/2-1/2 {Insufficient material}\n");
    EXPECT_EQ(r.exit_status, 0);
  }
}

TEST(GameEnd, MinorAgainstMinorIsPlayedWithADrawOffer) {
  // Bishops on opposite colours (c1 dark, c8 light), and knight against
  // bishop: a mate is still possible, so the game goes on; the engine moves
  // and offers a draw.
  for (const char* fen : {"2b5/8/4k3/8/8/3K4/8/2B5 w - -", "2b5/8/4k3/8/8/3K4/8/2N5 b - -"}) {
    SCOPED_TRACE(fen);
    std::string out = session_output(short_game(fen) + "go\n", "offer draw\n", ms(20000));
    ASSERT_EQ(out.rfind("move ", 0), 0u) << out;
    const std::string move = out.substr(5, out.find('\n') - 5);
    EXPECT_TRUE(rules::Position::from_fen(fen).is_legal(move)) << move;
    EXPECT_EQ(out, "move " + move + "\noffer draw\n");
  }
}

TEST(GameEnd, RookOrPawnEndingsArePlayedOn) {
  for (const char* fen : {"8/8/4k3/8/8/3K4/8/R7 b - -", "8/8/4k3/8/8/3K4/4P3/8 w - -"}) {
    SCOPED_TRACE(fen);
    std::string out = session_output(short_game(fen) + "go\n", "move ", ms(20000));
    ASSERT_EQ(out.rfind("move ", 0), 0u) << out;
    const std::string move = out.substr(5, out.find('\n') - 5);
    EXPECT_TRUE(rules::Position::from_fen(fen).is_legal(move)) << move;
    EXPECT_EQ(out, "move " + move + "\n");
  }
}

TEST(EngineMoves, SingleLegalReplyIsPlayedWithoutThinkingOutput) {
  // In check from the rook on a1 with its own pawns around the king: the
  // knight's block on g1 is the only legal move.
  const char* fen = "6k1/8/8/8/8/7N/6PP/r6K w - -";
  ASSERT_EQ(rules::Position::from_fen(fen).legal_texts(), std::vector<std::string>{"h3g1"});
  // The long clock of a new game and thinking output on: the answer still
  // comes at once, without a thinking line.
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + fen + "\npost\ngo\n");
  EXPECT_TRUE(s.wait_for("move h3g1\n", ms(5000))) << s.out();
  ASSERT_TRUE(s.sync(ms(5000)));
  EXPECT_EQ(s.out().substr(0, s.out().find("Error (unknown command): sync")), "move h3g1\n");
  EXPECT_EQ(s.quit(), 0);
}

// Plays the engine's move on `p` and then the given moves (force mode),
// each checked against the rules first; the engine must accept them all.
void expect_board_accepts(const std::string& engine_move, rules::Position p, const std::vector<std::string>& moves,
                          EngineSession& s) {
  std::optional<rules::Position> next = p.after(engine_move);
  ASSERT_TRUE(next) << engine_move;
  p = *next;
  s.send("force\n");
  for (const std::string& m : moves) {
    next = p.after(m);
    ASSERT_TRUE(next) << m << " must be legal here";
    p = *next;
    s.send(m + "\n");
  }
  const size_t from = s.size();
  ASSERT_TRUE(s.sync(ms(5000)));
  EXPECT_EQ(s.out().find("Illegal", from), std::string::npos) << s.out();
}

TEST(EngineMoves, CastlingIsWrittenAsOO) {
  struct Case {
    const char* fen;
    const char* move;
    std::vector<std::string> then;  // moves that need the king and rook on their new squares
  };
  // In both positions every other legal move allows a rook mate on the
  // first rank (checked with an independent rules library); castling puts
  // the rook between.
  for (const Case& c : {Case{"kn6/1r6/8/8/b7/4p3/4P1P1/4K2R w K -", "o-o", {"b7b2", "f1f8", "b2b1", "g1h2"}},
                        Case{"6nk/6r1/8/8/1n6/4p2b/4P3/R3K3 w Q -", "o-o-o", {"g7g2", "d1d8", "g2g1", "c1b2"}}}) {
    SCOPED_TRACE(c.fen);
    EngineSandbox box;
    EngineSession s(box);
    s.send(short_game(c.fen) + "go\n");
    ASSERT_TRUE(s.wait_for("move ", ms(20000))) << s.out();
    ASSERT_TRUE(s.sync(ms(20000)));
    EXPECT_EQ(s.lines()[0], std::string("move ") + c.move);
    expect_board_accepts(c.move, rules::Position::from_fen(c.fen), c.then, s);
    EXPECT_EQ(s.quit(), 0);
  }
}

TEST(EngineMoves, PromotionIsWrittenWithoutALetterAndMakesAQueen) {
  // The king on a1 cannot move (b1, b2 by the king, a2 by the pawn): the
  // pawn's promotion is the only move.
  const char* fen = "8/4P3/8/8/8/1p6/8/K1k5 w - -";
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + fen + "\ngo\n");
  ASSERT_TRUE(s.wait_for("move ", ms(10000))) << s.out();
  ASSERT_TRUE(s.sync(ms(10000)));
  EXPECT_EQ(s.lines()[0], "move e7e8");
  // The new piece moves along a diagonal and then along a rank: a queen.
  expect_board_accepts("e7e8q", rules::Position::from_fen(fen), {"c1d2", "e8a4", "d2e3", "a4e4"}, s);
  EXPECT_EQ(s.quit(), 0);
}

TEST(EngineMoves, IllegalUserMoveIsRefusedAndChangesNothing) {
  EngineSandbox box;
  // In force mode: still White to move after the refusal, so Black's reply
  // is refused too; then both moves are accepted.
  EngineRun r = box.run("new\nforce\ne2e5\ne7e5\ne2e4\ne7e5\nquit\n");
  EXPECT_EQ(r.out, "Illegal move: e2e5\nIllegal move: e7e5\n");
  // In a game the engine does not answer a refused move, and answers the
  // legal one that follows with a legal move.
  EngineSession s(box);
  s.send("new\ntime 1000\notim 1000\nnopost\ne2e5\n");
  ASSERT_TRUE(s.sync(ms(5000)));
  EXPECT_EQ(s.out().substr(0, s.out().find("Error (unknown command): sync")), "Illegal move: e2e5\n");
  const size_t from = s.size();
  s.send("e2e4\n");
  std::optional<std::string> reply = s.wait_for_line(is_move_line, ms(20000), from);
  ASSERT_TRUE(reply) << s.out();
  const rules::Position after_e4 =
      *rules::Position::from_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -").after("e2e4");
  EXPECT_TRUE(after_e4.is_legal(move_of(*reply))) << *reply;
  EXPECT_EQ(s.quit(), 0);
}

// Plays `moves` in force mode from the start position (or `fen`), with a
// marker after each, and returns what the engine printed after each move.
std::vector<std::string> output_per_move(const std::vector<std::string>& moves, const std::string& fen = "") {
  std::string input = "new\nforce\n";
  if (!fen.empty()) input += "setboard " + fen + "\n";
  for (size_t i = 0; i < moves.size(); ++i) input += moves[i] + "\nafter" + std::to_string(i + 1) + " move\n";
  EngineSandbox box;
  EngineRun r = box.run(input + "quit\n", ms(20000));
  std::vector<std::string> per_move;
  size_t pos = 0;
  for (size_t i = 0; i < moves.size(); ++i) {
    const std::string marker = "Error (unknown command): after" + std::to_string(i + 1) + "\n";
    const size_t at = r.out.find(marker, pos);
    if (at == std::string::npos) {
      ADD_FAILURE() << "no marker after move " << i + 1 << ": " << r.out;
      break;
    }
    per_move.push_back(r.out.substr(pos, at - pos));
    pos = at + marker.size();
  }
  return per_move;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

TEST(DrawClaims, RepetitionIsClaimedOnceThePositionHasOccurredThreeTimes) {
  const std::string claim = "1/2-1/2 {Draw by repetition}\n";
  // The knights go out and back. The positions after plies 1, 5 and 9 are
  // the same (as are 2, 6, 10 and 3, 7, 11): third occurrences from ply 9
  // on. The start position occurs for the third time after ply 8: the
  // engine may claim it or not, as it has no record of the position it
  // started from, but only with the claim.
  std::vector<std::string> out = output_per_move(split("g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1"));
  ASSERT_EQ(out.size(), 11u);
  for (int ply = 1; ply <= 7; ++ply) EXPECT_EQ(out[ply - 1], "") << "ply " << ply;
  EXPECT_TRUE(out[7] == "" || out[7] == claim) << out[7];
  for (int ply = 9; ply <= 11; ++ply) EXPECT_EQ(out[ply - 1], claim) << "ply " << ply;
}

TEST(DrawClaims, RepetitionNeedsTheSameCastlingRights) {
  const std::string claim = "1/2-1/2 {Draw by repetition}\n";
  // After ply 2 and again after plies 6, 10 and 14 the pieces stand the
  // same, but from ply 6 on neither side may castle short any more: the
  // third equal position is the one after ply 14, and nothing before it
  // repeats three times.
  std::vector<std::string> out =
      output_per_move(split("g1f3 g8f6 h1g1 h8g8 g1h1 g8h8 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8 g1f3 g8f6"));
  ASSERT_EQ(out.size(), 14u);
  for (int ply = 1; ply <= 13; ++ply) EXPECT_EQ(out[ply - 1], "") << "ply " << ply;
  EXPECT_EQ(out[13], claim);
}

TEST(DrawClaims, FiftyMoveRuleIsClaimedOnTheHundredthQuietHalfMove) {
  // Blocked pawns on h4 and h5; the kings walk rounds of eight and seven
  // squares far apart, so no position repeats within 100 half-moves.
  const std::vector<std::string> white = {"c1", "d1", "e1", "e2", "e3", "d3", "c3", "c2"};
  const std::vector<std::string> black = {"c8", "d8", "e8", "e7", "e6", "d6", "c7"};
  std::vector<std::string> moves;
  for (size_t k = 0; k < 51; ++k) {
    moves.push_back(white[k % 8] + white[(k + 1) % 8]);
    moves.push_back(black[k % 7] + black[(k + 1) % 7]);
  }
  const std::string fen = "2k5/8/8/7p/7P/8/8/2K5 w - -";
  rules::Position p = rules::Position::from_fen(fen);
  for (const std::string& m : moves) {
    ASSERT_TRUE(p.is_legal(m)) << m;
    p = *p.after(m);
  }
  std::vector<std::string> out = output_per_move(moves, fen);
  ASSERT_EQ(out.size(), 102u);
  for (int ply = 1; ply <= 99; ++ply) EXPECT_EQ(out[ply - 1], "") << "ply " << ply;
  // The claim stands from the hundredth half-move on.
  for (int ply = 100; ply <= 102; ++ply) EXPECT_EQ(out[ply - 1], "1/2-1/2 {Draw by 50-move rule}\n") << "ply " << ply;
}

TEST(DrawClaims, PawnMoveStartsTheFiftyMoveCountAgain) {
  // As above with a free pawn on a2: its single step as the 61st half-move
  // starts the count again, so 100 half-moves later there is no claim yet.
  const std::vector<std::string> white = {"c1", "d1", "e1", "e2", "e3", "d3", "c3", "c2"};
  const std::vector<std::string> black = {"c8", "d8", "e8", "e7", "e6", "d6", "c7"};
  std::vector<std::string> moves;
  size_t wk = 0, bk = 0;
  for (int ply = 1; ply <= 100; ++ply) {
    if (ply == 61) {
      moves.push_back("a2a3");
    } else if (ply % 2 == 1) {
      moves.push_back(white[wk % 8] + white[(wk + 1) % 8]);
      ++wk;
    } else {
      moves.push_back(black[bk % 7] + black[(bk + 1) % 7]);
      ++bk;
    }
  }
  const std::string fen = "2k5/8/8/7p/7P/8/P7/2K5 w - -";
  rules::Position p = rules::Position::from_fen(fen);
  for (const std::string& m : moves) {
    ASSERT_TRUE(p.is_legal(m)) << m;
    p = *p.after(m);
  }
  std::vector<std::string> out = output_per_move(moves, fen);
  ASSERT_EQ(out.size(), 100u);
  for (int ply = 1; ply <= 100; ++ply) EXPECT_EQ(out[ply - 1], "") << "ply " << ply;
}

// The engine plays Black a queen and a rook down; its king is held on the
// last two ranks and its pawns are far from White's a-pawn, whose pushes
// are the user's moves. Returns the engine's first four answers.
std::vector<std::string> lost_game_answers(const std::string& clocks) {
  const char* fen = "7k/6pp/8/8/8/8/P7/KQ3R2 b - -";
  rules::Position p = rules::Position::from_fen(fen);
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("new\nforce\nsetboard ") + fen + "\n" + clocks + "nopost\ngo\n");
  std::vector<std::string> answers;
  const char* pushes[] = {"a2a3", "a3a4", "a4a5"};
  size_t from = 0;
  for (int i = 0; i < 4; ++i) {
    std::optional<std::string> line = s.wait_for_line(
        [](const std::string& l) { return is_move_line(l) || l == "resign"; }, ms(20000), from, &from);
    if (!line) {
      ADD_FAILURE() << "no answer " << i + 1 << ": " << s.out();
      break;
    }
    answers.push_back(*line);
    if (*line == "resign" || i == 3) break;
    std::optional<rules::Position> next = p.after(move_of(*line));
    if (!next) {
      ADD_FAILURE() << "illegal engine move " << *line;
      break;
    }
    p = *next;
    EXPECT_TRUE(p.is_legal(pushes[i]));
    p = *p.after(pushes[i]);
    s.send(std::string(pushes[i]) + "\n");
  }
  EXPECT_EQ(s.quit(), 0);
  EXPECT_EQ(s.out().find("Illegal"), std::string::npos) << s.out();
  return answers;
}

TEST(Resignation, ThirdHopelessSearchInARowIsResigned) {
  // Every search scores the position below -900: the first two answers
  // are moves, the third resigns, with no move line.
  std::vector<std::string> answers = lost_game_answers("time 1000\notim 3000\n");
  ASSERT_EQ(answers.size(), 3u);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(is_move_line(answers[i])) << answers[i];
  EXPECT_EQ(answers[2], "resign");
}

TEST(Resignation, NotWhenTheOpponentIsShortOfTime) {
  // 29 seconds on the opponent's clock: too little to win, so play on.
  std::vector<std::string> answers = lost_game_answers("time 1000\notim 2900\n");
  ASSERT_EQ(answers.size(), 4u);
  for (const std::string& a : answers) EXPECT_TRUE(is_move_line(a)) << a;
}

}  // namespace
}  // namespace brevalt::testing

// Taking back moves in force mode, end to end. After each take-back the
// engine is offered every from-to pair of squares: exactly the moves that
// the independent rules allow in the position before the move must be
// accepted (each accepted one is taken back again), so the pieces, castling,
// en passant and promotions are all checked through what may be played next.
// The repetition and fifty-move claims show that the game's counts are put
// back exactly.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Every take-back empties the transposition tables: the smallest tables
// keep the hundreds of take-backs below quick.
void use_small_tables(const EngineSandbox& box) {
  std::string ini = box.read_file("Brevalt.ini");
  const size_t at = ini.find("\n3 hash size");
  ASSERT_NE(at, std::string::npos);
  ini[at + 1] = '1';
  box.write_file("Brevalt.ini", ini);
}

// A game played in force mode, kept alongside by the rules: the input for
// the engine and the output it must give.
struct Script {
  std::string input;
  std::string expected;
  std::vector<rules::Position> line;  // the position before each move played

  explicit Script(const std::string& fen) {
    input = "new\nforce\nsetboard " + fen + "\n";
    line.push_back(rules::Position::from_fen(fen));
  }
  const rules::Position& now() const { return line.back(); }

  void play(const std::string& move) {
    std::optional<rules::Position> next = now().after(move);
    ASSERT_TRUE(next) << move << " is not legal here";
    input += move + "\n";
    line.push_back(*next);
  }
  void play_all(const std::vector<std::string>& moves) {
    for (const std::string& m : moves) play(m);
  }
  void undo(int times = 1) {
    for (int i = 0; i < times; ++i) {
      ASSERT_GT(line.size(), 1u);
      input += "undo\n";
      line.pop_back();
    }
  }

  // Offers every from-to pair: the legal ones are accepted and taken back,
  // the others are refused with the illegal-move line.
  void try_every_move() {
    for (int from = 0; from < 64; ++from)
      for (int to = 0; to < 64; ++to) {
        if (from == to) continue;
        const std::string m = rules::square_name(from) + rules::square_name(to);
        if (now().is_legal(m)) {
          input += m + "\nundo\n";
        } else {
          input += m + "\n";
          expected += "Illegal move: " + m + "\n";
        }
      }
  }

  void check() const {
    EngineSandbox box;
    use_small_tables(box);
    EngineRun r = box.run(input + "quit\n", ms(60000));
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 0);
    // Compared line by line, so that a failure names the first move judged wrongly.
    std::istringstream got(r.out), want(expected);
    std::string g, w;
    int n = 0;
    while (std::getline(want, w)) {
      ++n;
      ASSERT_TRUE(std::getline(got, g)) << "output ends before line " << n << ": " << w;
      ASSERT_EQ(g, w) << "line " << n;
    }
    EXPECT_FALSE(std::getline(got, g)) << "unexpected output: " << g;
  }
};

TEST(Undo, CastlingOnBothWingsForBothColoursIsTakenBack) {
  const char* const open = "r3k2r/pppq1ppp/2n1bn2/2b1p3/2B1P3/2N1BN2/PPPQ1PPP/R3K2R w KQkq - 0 1";
  Script s(open);
  s.try_every_move();  // White castles both ways and takes it back
  s.play_all({"e1g1", "e8c8"});
  s.undo(2);
  s.try_every_move();
  s.play_all({"e1c1", "e8g8"});
  s.undo(2);
  s.play("a2a3");
  s.try_every_move();  // Black castles both ways and takes it back
  s.undo();
  // A king that went out and back, and a rook that did, may castle again
  // once those moves are taken back.
  s.play_all({"e1f1", "e8d8", "f1e1", "d8e8"});
  s.try_every_move();
  s.undo(4);
  s.play_all({"h1g1", "a8b8", "g1h1", "b8a8"});
  s.try_every_move();
  s.undo(4);
  s.try_every_move();
  s.check();
}

TEST(Undo, CastlingComesBackAfterTheEngineThoughtWithBothRooksAway) {
  // With both white rooks off their corners the engine's search marks White
  // as unable to castle at all. Once the rook moves and the engine's reply
  // are taken back, White may castle again on both wings.
  const std::string open = "r3k2r/pppq1ppp/2n1bn2/2b1p3/2B1P3/2N1BN2/PPPQ1PPP/R3K2R w KQkq - 0 1";
  rules::Position p = rules::Position::from_fen(open);
  for (const char* m : {"h1g1", "a7a6", "a1b1", "a6a5"}) p = *p.after(m);
  EngineSandbox box;
  EngineSession s(box);
  s.send("new\nforce\nsetboard " + open + "\nh1g1\na7a6\na1b1\na6a5\ntime 300\notim 300\nnopost\ngo\n");
  std::optional<std::string> reply = s.wait_for_line(is_move_line, ms(20000));
  ASSERT_TRUE(reply) << s.out();
  EXPECT_TRUE(p.is_legal(move_of(*reply))) << *reply;
  const size_t from = s.size();
  s.send("force\nundo\nundo\nundo\nundo\nundo\ne1g1\nundo\ne1c1\nundo\nmark x\n");
  ASSERT_TRUE(s.wait_for("Error (unknown command): mark\n", ms(10000), from)) << s.out();
  EXPECT_EQ(s.out().substr(from), "Error (unknown command): mark\n");
  EXPECT_EQ(s.quit(), 0);
}

TEST(Undo, EnPassantComesBackWithTheCapturedPawnAndTheChanceToTakeIt) {
  Script s(START);
  s.play_all({"e2e4", "a7a6", "e4e5", "d7d5"});
  s.play("e5d6");  // White takes en passant
  s.undo();
  s.try_every_move();
  // The chance lasts one move; taking back the move after it brings it back.
  s.play("h2h3");
  s.undo();
  s.try_every_move();
  s.undo();  // the double step itself: Black to move, no chance for White
  s.try_every_move();

  Script b(START);
  b.play_all({"a2a3", "e7e5", "a3a4", "e5e4", "d2d4"});
  b.play("e4d3");  // Black takes en passant
  b.undo();
  b.try_every_move();
  b.check();
  s.check();
}

TEST(Undo, PromotionsAndCapturesOnTheCornersAreTakenBack) {
  // A pawn that promotes to a knight, to a queen, and by capturing a rook;
  // a rook taken on its corner, whose side may castle that way again once
  // the capture is taken back.
  Script s("r3k3/6P1/8/8/8/8/6B1/4K3 w q - 0 1");
  s.play("g7g8n");
  s.undo();
  s.play("g7g8");
  s.undo();
  s.play("g2a8");
  s.undo();
  s.try_every_move();
  s.play("e1d1");
  s.try_every_move();  // Black may castle long
  s.check();

  Script c("2r1k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  c.play("b7c8n");
  c.undo();
  c.try_every_move();
  c.check();
}

TEST(Undo, NothingIsTakenBackBeforeTheFirstMove) {
  // The start of a game, and a set-up position with Black to move: there is
  // no move to take back, which the interface is told, and Black keeps the
  // move.
  const std::string refused = "Error (command not legal now): undo\n";
  Script s(START);
  s.input += "undo\n";
  s.expected += refused;
  s.try_every_move();
  s.check();

  Script b("4k3/8/8/3n4/4P3/8/8/4K3 b - - 0 1");
  b.input += "undo\nundo\n";
  b.expected += refused + refused;
  b.try_every_move();
  b.check();
}

TEST(Undo, TheSetUpPositionsEnPassantChanceComesBack) {
  // Taken back to a set-up position whose FEN named an en passant square:
  // the capture is open again, exactly as the rules say.
  Script s("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3");
  s.play("d2d3");
  s.undo();
  s.try_every_move();
  s.check();
}

// Knights out and back: the position after g1f3 occurs for the third time
// after the ninth half-move.
const std::vector<std::string> KNIGHTS = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3",
                                          "g8f6", "f3g1", "f6g8", "g1f3"};

TEST(Undo, RepetitionClaimStaysExactWhenMovesAreTakenBackAndPlayedAgain) {
  const std::string claim = "1/2-1/2 {Draw by repetition}\n";
  std::string input = "new\nforce\n";
  for (size_t i = 0; i < 8; ++i) input += KNIGHTS[i] + "\n";
  input += "mark1 x\n" + KNIGHTS[8] + "\n";
  // Taken back and played again: still the third occurrence.
  input += "mark2 x\nundo\n" + KNIGHTS[8] + "\n";
  // Five half-moves back and forward again: the position occurs twice on
  // the way and for the third time on the ninth half-move.
  input += "mark3 x\nundo\nundo\nundo\nundo\nundo\n";
  for (size_t i = 4; i < 8; ++i) input += KNIGHTS[i] + "\n";
  input += "mark4 x\n" + KNIGHTS[8] + "\nquit\n";
  EngineSandbox box;
  EngineRun r = box.run(input, ms(20000));
  // The start position itself also stands for the third time after the
  // eighth half-move, both times it is reached.
  EXPECT_EQ(r.out, claim + "Error (unknown command): mark1\n" + claim + "Error (unknown command): mark2\n" + claim +
                       "Error (unknown command): mark3\n" + claim + "Error (unknown command): mark4\n" + claim);
}

TEST(Undo, FiftyMoveCountIsRestoredWhenACaptureIsTakenBack) {
  // Blocked pawns on h4 and h5, the kings walking rounds of eight and seven
  // squares; a white rook could take a black knight at any time. The capture
  // is made as the 61st half-move and taken back: the quiet half-moves before
  // it still count, and the hundredth one is claimed.
  const std::vector<std::string> white = {"c1", "d1", "e1", "e2", "e3", "d3", "c3", "c2"};
  const std::vector<std::string> black = {"c8", "d8", "e8", "e7", "e6", "d6", "c7"};
  std::vector<std::string> moves;
  for (size_t k = 0; k < 50; ++k) {
    moves.push_back(white[k % 8] + white[(k + 1) % 8]);
    moves.push_back(black[k % 7] + black[(k + 1) % 7]);
  }
  const std::string fen = "n1k5/8/8/7p/7P/8/8/R1K5 w - - 0 1";
  rules::Position p = rules::Position::from_fen(fen);
  std::string input = "new\nforce\nsetboard " + fen + "\n";
  for (size_t i = 0; i < moves.size(); ++i) {
    if (i == 60) {
      ASSERT_TRUE(p.is_legal("a1a8"));
      input += "a1a8\nundo\n";
    }
    if (i == 99) input += "mark x\n";
    ASSERT_TRUE(p.is_legal(moves[i])) << moves[i];
    p = *p.after(moves[i]);
    input += moves[i] + "\n";
  }
  EngineSandbox box;
  EngineRun r = box.run(input + "quit\n", ms(20000));
  EXPECT_EQ(r.out, "Error (unknown command): mark\n1/2-1/2 {Draw by 50-move rule}\n");
}

}  // namespace
}  // namespace brevalt::testing

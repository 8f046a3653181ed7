// "setboard" and "see" end to end: positions set up, refused positions that
// leave the old one in place, and exchange values read off the board.
#include <gtest/gtest.h>

#include "frontend/chess_rules.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

// A black knight on d5 (square 35) attacked by a white pawn and nothing else.
const char* const KNIGHT_HANGS = "4k3/8/8/3n4/4P3/8/8/4K3 w - -";
// The same knight defended by a pawn on e6 and attacked only by a rook.
const char* const KNIGHT_DEFENDED = "4k3/8/4p3/3n4/8/8/8/3RK3 w - -";

TEST(Setboard, SetsUpThePositionAndKeepsItsText) {
  EngineSandbox box;
  EngineRun r = box.run(std::string("setboard ") + KNIGHT_HANGS + "\nsee 35\nquit\n");
  EXPECT_EQ(r.out, "telluser result is 400\n");
  EXPECT_EQ(box.read_file("epd1.epd"), KNIGHT_HANGS);
}

TEST(Setboard, ExchangeValuesFollowThePosition) {
  EngineSandbox box;
  EngineRun r = box.run(std::string("setboard ") + KNIGHT_DEFENDED +
                        "\nsee 35\n"
                        // A king next to the square attacks it too, but
                        // cannot take a defended piece.
                        "setboard 4k3/8/8/3n4/4K3/8/8/8 w - -\nsee 35\n"
                        "setboard 4k3/8/4p3/3n4/4K3/8/8/8 w - -\nsee 35\n"
                        "quit\n");
  EXPECT_EQ(r.out,
            "telluser result is 0\n"
            "telluser result is 400\n"
            "telluser result is 0\n");
}

TEST(Setboard, PositionsTheEngineCannotPlayAreRefusedAndChangeNothing) {
  const char* const bad[] = {
      "4k3/8/8/3n4/4P3/8/8/4K3",                 // malformed: no side to move
      "4k3/8/8/3n4/4P3/8/8/4K3X w - -",          // not a piece letter
      "4k3/8/8/3n4/4P3/8/8/4K4 w - -",           // a rank of nine squares
      "4k3/8/8/3n4/4P3/8/8/4K3/8 w - -",         // a ninth rank
      "8/8/8/3n4/4P3/8/8/4K3 w - -",             // no black king
      "4k3/8/8/3n4/4P3/8/8/3KK3 w - -",          // two white kings
      "4k2P/8/8/3n4/4P3/8/8/4K3 w - -",          // pawn on the last rank
      "4k3/8/8/3n4/4P3/8/8/p3K3 w - -",          // pawn on the first rank
      "4k3/8/8/QQQQQQQQ/QQQQQQQQ/8/Q7/4K3 w - -", // seventeen white pieces
      "4k3/8/8/3n4/4P3/8/8/4K2r b - -",          // White, not to move, in check
      "4k3/8/8/3n4/4P3/8/8/4K3 w - - bm Kd2",    // an operation never closed
  };
  for (const char* text : bad) {
    EngineSandbox box;
    EngineRun r = box.run(std::string("setboard ") + KNIGHT_HANGS + "\nsetboard " + text +
                          "\nsee 35\nquit\n");
    EXPECT_EQ(r.out, "tellusererror Illegal position\ntelluser result is 400\n") << text;
    EXPECT_EQ(box.read_file("epd1.epd"), KNIGHT_HANGS) << text;
  }
}

TEST(Setboard, EnPassantSquaresOnTheEdgeFilesAreAccepted) {
  EngineSandbox box;
  EngineRun r = box.run(
      "setboard rnbqkbnr/1ppppppp/8/8/pP6/8/P1PPPPPP/RNBQKBNR b KQkq b3 0 2\n"
      "setboard rnbqkbnr/pppppp1p/8/6pP/8/8/PPPPPPP1/RNBQKBNR w KQkq g6 0 3\n"
      "quit\n");
  EXPECT_EQ(r.out, "");
}

TEST(Setboard, EnPassantFieldOpensTheCaptureItNames) {
  // The capture is legal exactly when the rules say so after the double
  // step the field names; a field that no pawn move explains (the pawn
  // still on e2) opens nothing.
  for (const char* fen : {"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", "4k3/8/8/3Pp3/8/8/8/4K3 w - e6 0 1",
                          "4k3/8/8/8/3pP3/8/8/4K3 b - - 0 1"}) {
    const rules::Position p = rules::Position::from_fen(fen);
    const std::string capture = p.white_to_move() ? "d5e6" : "d4e3";
    EngineSandbox box;
    EngineRun r = box.run(std::string("setboard ") + fen + "\n" + capture + "\nquit\n");
    EXPECT_EQ(r.out, p.is_legal(capture) ? "" : "Illegal move: " + capture + "\n") << fen;
  }
  EngineSandbox box;
  EngineRun r = box.run("setboard 4k3/8/8/8/3p4/8/4P3/4K3 b - e3 0 1\nd4e3\nquit\n");
  EXPECT_EQ(r.out, "Illegal move: d4e3\n");
}

TEST(Setboard, AcceptedInTheMiddleOfAGame) {
  // xboard's Edit Position during a game: "force" and "setboard", no "new".
  EngineSandbox box;
  EngineRun r = box.run(std::string("force\ne2e4\nsetboard ") + KNIGHT_HANGS + "\nsee 35\nquit\n");
  EXPECT_EQ(r.out, "telluser result is 400\n");
}

TEST(See, ChangesNothingInTheMiddleOfAGame) {
  // In force mode the engine records both sides' moves; "see" leaves it so.
  EngineSandbox box;
  EngineRun r = box.run("new\nforce\ne2e4\nsee 12\ne7e5\nquit\n");
  EXPECT_EQ(r.out, "telluser result is 0\n");
}

TEST(See, StartPositionSquares) {
  EngineSandbox box;
  // Nothing attacks e2's pawn in the start position; the empty square e4
  // holds no piece to win.
  EngineRun r = box.run("see 12\nsee 28\nsee 64\nquit\n");
  EXPECT_EQ(r.out,
            "telluser result is 0\n"
            "telluser result is 0\n"
            "Error (square must be 0 to 63): see\n");
}

}  // namespace
}  // namespace brevalt::testing

// The protocol spine end to end: the built engine in a scratch folder, fed
// command lines, its standard output compared exactly.
#include <gtest/gtest.h>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const std::string FEATURES = std::string(
    "feature setboard=1\n"
    "feature sigint=0\n"
    "feature sigterm=0\n"
    "feature colors=0\n"
    "feature analyze=1\n"
    "feature ping=1\n"
    "feature usermove=1\n"
    "feature ics=1\n"
    "feature memory=1\n"
    "feature variants=\"normal,fischerandom\"\n") + (engine_max_threads() > 1 ? "feature smp=1\n" : "") +
    "feature myname=\"Brevalt " BREVALT_VERSION "\"\n"
    "feature option=\"Limit Strength -check 0\"\n"
    "feature option=\"Strength -spin 1400 1000 1800\"\n"
    "feature option=\"MultiPV -spin 1 1 64\"\n"
    "feature exclude=1\n"
    "feature done=1\n";

TEST(Protocol, HandshakeAndQuit) {
  EngineSandbox box;
  EngineRun r = box.run("xboard\nprotover 2\nquit\n");
  EXPECT_EQ(r.out, std::string("\n") + FEATURES);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_FALSE(r.timed_out);
}

TEST(Protocol, PrefixesAndCaseSelectCommands) {
  EngineSandbox box;
  // "xboar" is enough for xboard, "PROTOVER" is lower-cased, "exit"
  // outside analysis leaves nothing and is passed over, "quit" quits.
  EngineRun r = box.run("xboar\nPROTOVER 2\nexit\nquit\nxboard\n");
  EXPECT_EQ(r.out, std::string("\n") + FEATURES);
  EXPECT_EQ(r.exit_status, 0);
}

TEST(Protocol, EndOfInputEndsTheEngineLikeQuit) {
  EngineSandbox box;
  EngineRun r = box.run("xboard\n", 10000);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.out, "\n");
  EXPECT_EQ(r.exit_status, 0);
  EngineRun empty = box.run("", 10000);
  EXPECT_FALSE(empty.timed_out);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.exit_status, 0);
}

// The levels through xboard's engine options: bad settings are refused
// in the protocol's error form, and a limited engine plays legal moves.
TEST(Protocol, StrengthOptionsLimitTheEngineAndRefuseBadValues) {
  EngineSandbox box;
  EngineRun refused = box.run(
      "option Strength=999\noption Strength=1801\noption Limit Strength=2\noption Colour=1\noption Strength\nquit\n");
  EXPECT_EQ(refused.out,
            "Error (bad value 999): option\nError (bad value 1801): option\nError (bad value 2): option\n"
            "Error (no such option colour): option\nError (option needs NAME=VALUE): option\n");
  EngineSession s(box);
  s.send("xboard\nprotover 2\noption Limit Strength=1\noption Strength=1000\nnew\nlevel 0 0:05 0.05\npost\n");
  rules::Position p = rules::Position::from_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  size_t from = s.size();
  s.send("go\n");
  for (int move = 0; move < 6; ++move) {
    size_t after = 0;
    const std::optional<std::string> line = s.wait_for_line(is_move_line, ms(10000), from, &after);
    ASSERT_TRUE(line) << s.out();
    const std::optional<rules::Position> next = p.after(move_of(*line));
    ASSERT_TRUE(next) << "illegal: " << *line;
    p = *next;
    // The reply: the first legal move the rules list; a mate by the weak
    // level's move ends the game, and the test with it.
    if (p.legal_moves().empty()) break;
    const std::string reply = p.legal_moves().front().text();
    p = *p.after(reply);
    if (p.legal_moves().empty()) break;
    from = after;
    s.send(reply + "\n");
  }
  EXPECT_EQ(s.quit(), 0);
}

TEST(Protocol, UnknownCommandsQuoteTheFirstWord) {
  EngineSandbox box;
  // A one-word command is quoted with its line end, hence the empty line; a
  // blank line is an unknown command too; protocol commands the engine
  // does not announce (egtpath, without the egt feature) end the same way.
  EngineRun r = box.run("foo\n\negtpath syzygy /tb\nSETBOARD 8/8/8/8/8/8/8/8 w - -\nquit\n");
  EXPECT_EQ(r.out,
            "Error (unknown command): foo\n\n"
            "Error (unknown command): \n\n"
            "Error (unknown command): egtpath\n"
            "Error (unknown command): setboard\n");
}

TEST(Protocol, SilentCommandsSayNothing) {
  EngineSandbox box;
  EngineRun r = box.run(
      "random\nrejected usermove\npost\nnopost\nhard\neasy\ncomputer\nics -\n?\nforce\n"
      "time 12000\notim 9000\nrating 2500 2400\nlevel 40 5 0\nname Someone\nresult 1-0\n"
      "accepted setboard\nnew\nundo\nquit\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exit_status, 0);
}

TEST(Protocol, CommandsRefusedWhileAGameRuns) {
  EngineSandbox box;
  // A move entered starts a game: the test commands are then refused (a
  // new position is not: interfaces edit positions mid-game).
  EngineRun r = box.run(
      "force\ne2e4\nepdtest wac.epd 1\nstatic x.epd\nmob\n"
      "new\ndraw\nquit\n");
  EXPECT_EQ(r.out,
            "Error (command not legal now): epdtest\n"
            "Error (command not legal now): static\n"
            "Error (command not legal now): mob\n"
            "Error (command not legal now): draw\n");
}

TEST(Protocol, UsermoveRecognitionFollowsTheAcceptedFeature) {
  EngineSandbox box;
  // Before "accepted usermove" a bare move is a move and "usermove" unknown.
  // ("mob" is refused once a move has started a game.)
  EngineRun before = box.run("usermove e2e4\nforce\ne2e4\nmob\nquit\n");
  EXPECT_EQ(before.out,
            "Error (unknown command): usermove\n"
            "Error (command not legal now): mob\n");
  // After it a bare move is an unknown command, with the extra empty line.
  EngineRun after = box.run(
      "accepted usermove\nforce\ne2e4\nmob\nusermove e2e4\n"
      "usermove e2e4\nmob\nquit\n");
  EXPECT_EQ(after.out,
            "Error (unknown command): e2e4\n\n"
            "Illegal move: e2e4\n"
            "Error (command not legal now): mob\n");
}

TEST(Protocol, MoveTextsThatNameNoSquaresAreIllegal) {
  EngineSandbox box;
  EngineRun r = box.run("force\ne2\ne2e9\ne2i4\na1\naccepted usermove\nusermove\nusermove h8h\nquit\n");
  EXPECT_EQ(r.out,
            "Illegal move: e2\n"
            "Illegal move: e2e9\n"
            "Illegal move: e2i4\n"
            "Illegal move: a1\n"
            "Illegal move: \n"
            "Illegal move: h8h\n");
  // None of them started a game: a position can still be set up.
  EngineRun s = box.run("force\ne2e9\nsetboard 4k3/8/8/8/8/8/8/4K3 w - -\nquit\n");
  EXPECT_EQ(s.out, "Illegal move: e2e9\n");
}

TEST(Protocol, DrawOffersFollowRatingsScoreAndMaterial) {
  EngineSandbox box;
  // Outside a game a draw offer is refused. In a game, with the new-game
  // ratings (2640 against 2641), one piece of its own and a rook ending its
  // search scores level, the engine accepts; once its rating is the higher
  // it declines, silently or, on a chess server, with a tellics line. The
  // pong comes once the engine's move is in.
  EngineRun r = box.run(
      "draw\n"
      "nopost\n"
      "setboard 4k3/7r/8/8/8/8/R7/4K3 w - - 0 1\n"
      "sd 6\n"
      "go\n"
      "ping 1\n"
      "draw\n"
      "rating 2700 2600\n"
      "draw\n"
      "ics freechess.org\n"
      "draw\n"
      "ics -\n"
      "draw\n"
      "quit\n");
  ASSERT_EQ(r.out.rfind("Error (command not legal now): draw\nmove ", 0), 0u) << r.out;
  const size_t pong = r.out.find("pong 1\n");
  ASSERT_NE(pong, std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(pong), "pong 1\noffer draw\ntellics say can't respond to draw requests\n");
}

TEST(Protocol, OverLongLinesAreCutAndTheirRestDropped) {
  EngineSandbox box;
  // The first 79 characters are the line; the rest must never run as a
  // command of its own, be it a move or "quit".
  const std::string line(79, 'z');
  const std::string name = "name " + std::string(74, 'x');
  EngineRun r = box.run(line + "zxboard\n" + name + "e2e4\n" + name + "quit\n" + name + "\r\nxboard\r\nquit\n");
  EXPECT_EQ(r.out, "Error (unknown command): " + line + "\n\n");
  EXPECT_EQ(r.exit_status, 0);
}

TEST(Protocol, CarriageReturnLineEndsAreAccepted) {
  EngineSandbox box;
  EngineRun r = box.run("xboard\r\naccepted usermove\r\ne2e4\r\nquit\r\n");
  EXPECT_EQ(r.out, "\nError (unknown command): e2e4\n\n");
  EXPECT_EQ(r.exit_status, 0);
}

}  // namespace
}  // namespace brevalt::testing

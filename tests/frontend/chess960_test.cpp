// Fischer random chess end to end: the built engine told UCI_Chess960 (UCI)
// or "variant fischerandom" (CECP), fed castling moves and positions, its
// answers compared exactly. Each castling case is judged by moves that are
// legal only if king and rook stand where the castling rule puts them
// (the king on the g or c file, the rook on the f or d file) and by a move
// that would be legal had the castling not been made; the engine's own
// castling is judged on a position where castling is the only mate.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/engine_process.h"
#include "support/files.h"

namespace brevalt::testing {
namespace {

std::string illegal_uci(const std::string& move) {
  return "info string illegal move " + move + ": the position is the one before it\n";
}

struct CastlingCase {
  const char* name;
  const char* fen;       // White to move, a castling right by the general rule
  const char* castling;  // the king taking its own rook (UCI)
  const char* wing;      // O-O or O-O-O (CECP)
  const char* proof;     // after the castling and Black's reply: legal only where king and rook now stand
  const char* stale;     // the same turn: legal only had the pieces stayed
};

// Black's king passes the move back, off the file of the castled rook.
const char* reply_to(const CastlingCase& c) { return std::string(c.wing) == "O-O" ? "e8d8" : "e8f7"; }

const std::vector<CastlingCase>& castling_cases() {
  static const std::vector<CastlingCase> cases = {
      // King already on its destination: only the rook moves, h1 to f1.
      {"KingOnDestination", "4k3/8/8/8/8/8/8/6KR w H - 0 1", "g1h1", "O-O", "f1f7", "h1h7"},
      // Rook already on its destination: only the king moves, e1 to g1.
      {"RookOnDestination", "4k3/8/8/8/8/8/8/4KR2 w F - 0 1", "e1f1", "O-O", "g1h1", "e1e2"},
      // The rook stands on the king's destination: they swap files.
      {"RookOnKingsDestination", "4k3/8/8/8/8/8/8/5KR1 w G - 0 1", "f1g1", "O-O", "f1f7", "g1g7"},
      // The king stands on the rook's destination, queen-side.
      {"KingOnRooksDestination", "4k3/8/8/8/8/8/8/R2K4 w A - 0 1", "d1a1", "O-O-O", "d1d7", "a1a7"},
      // Queen-side from b1: the king moves one file to the right.
      {"QueensideFromB1", "4k3/8/8/8/8/8/8/RK6 w A - 0 1", "b1a1", "O-O-O", "d1d7", "a1a7"},
      // King-side from f1 over one square.
      {"KingsideFromF1", "4k3/8/8/8/8/8/8/5K1R w H - 0 1", "f1h1", "O-O", "f1f7", "h1h7"},
      // Two rooks on the king-side, the right on the inner one (X-FEN's
      // file letter): that rook goes to f1, the outer one stays.
      {"InnerRookOfTwo", "4k3/8/8/8/8/8/8/1KR4R w C - 0 1", "b1c1", "O-O", "f1f7", "c1c7"},
      // X-FEN's K: the outermost rook, on g1 with the king on b1.
      {"XfenLetterOutermost", "4k3/8/8/8/8/8/8/1K4R1 w K - 0 1", "b1g1", "O-O", "f1f7", "g1g7"},
  };
  return cases;
}

const char* const UCI_ON = "uci\nsetoption name UCI_Chess960 value true\nucinewgame\n";

TEST(Chess960Uci, EachCastlingCaseIsReadAndPlacesKingAndRook) {
  EngineSandbox box;
  for (const CastlingCase& c : castling_cases()) {
    const std::string base = std::string("position fen ") + c.fen + " moves " + c.castling + " " + reply_to(c) + " ";
    EngineRun good = box.run(std::string(UCI_ON) + base + c.proof + "\nquit\n");
    EXPECT_EQ(good.out.find("info string"), std::string::npos) << c.name << "\n" << good.out;
    EngineRun stale = box.run(std::string(UCI_ON) + base + c.stale + "\nquit\n");
    EXPECT_NE(stale.out.find(illegal_uci(c.stale)), std::string::npos) << c.name << "\n" << stale.out;
  }
}

TEST(Chess960Cecp, EachCastlingCaseIsReadAsOOAndPlacesKingAndRook) {
  EngineSandbox box;
  for (const CastlingCase& c : castling_cases()) {
    const std::string base = std::string("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\nsetboard ") + c.fen +
                             "\nusermove " + c.wing + "\nusermove " + reply_to(c) + "\n";
    EngineRun good = box.run(base + "usermove " + c.proof + "\nquit\n");
    EXPECT_EQ(good.out.find("Illegal move"), std::string::npos) << c.name << "\n" << good.out;
    EngineRun stale = box.run(base + "usermove " + c.stale + "\nquit\n");
    EXPECT_NE(stale.out.find(std::string("Illegal move: ") + c.stale + "\n"), std::string::npos) << c.name << "\n"
                                                                                                  << stale.out;
  }
}

// "undo" takes a castling back: king and rook stand on their squares again
// with the right, so the same castling is played once more.
TEST(Chess960Cecp, UndoPutsKingAndRookBackWithTheRight) {
  EngineSandbox box;
  for (const CastlingCase& c : castling_cases()) {
    EngineRun r = box.run(std::string("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\nsetboard ") +
                          c.fen + "\nusermove " + c.wing + "\nundo\nusermove " + c.wing + "\nusermove " + reply_to(c) +
                          "\nusermove " + c.proof + "\nquit\n");
    EXPECT_EQ(r.out.find("Illegal move"), std::string::npos) << c.name << "\n" << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << c.name << "\n" << r.out;
  }
}

// The other ways xboard and users write castling: o-o, 0-0, the king taking
// its rook, and the king's two squares where no ordinary move reads so.
TEST(Chess960Cecp, CastlingIsReadInEveryUnambiguousForm) {
  EngineSandbox box;
  for (const char* form : {"O-O-O", "o-o-o", "0-0-0", "b1a1", "b1c1"}) {
    // b1c1 is an ordinary king step here (c1 is empty): the king goes to c1
    // and the rook stays on a1, so d1d7 is illegal after it.
    EngineRun r = box.run(std::string("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\nsetboard ") +
                          "4k3/8/8/8/8/8/8/RK6 w A - 0 1\nusermove " + form + "\nusermove e8f7\nusermove d1d7\nquit\n");
    const bool ordinary = std::string(form) == "b1c1";
    EXPECT_EQ(r.out.find("Illegal move: d1d7") != std::string::npos, ordinary) << form << "\n" << r.out;
    EXPECT_EQ(r.out.find("Illegal move: " + std::string(form)), std::string::npos) << form << "\n" << r.out;
  }
  // The king's two squares, e1 to c1, can be nothing but castling.
  EngineRun r = box.run("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\nsetboard "
                        "4k3/8/8/8/8/8/8/R3K3 w A - 0 1\nusermove e1c1\nusermove e8f7\nusermove d1d7\nquit\n");
  EXPECT_EQ(r.out.find("Illegal move"), std::string::npos) << r.out;
}

// Rights lost: by a king move (and back), by the castling rook's move (and
// back), and by a capture on the rook's square (a rook that comes there
// later has no right). Castling then is refused in both protocols.
TEST(Chess960Rights, LostByKingRookAndCaptureOnTheRooksSquare) {
  struct Lost {
    const char* fen;
    const char* moves;
    const char* castling;
  };
  const Lost cases[] = {
      {"4k3/8/8/8/8/8/8/1K4R1 w G - 0 1", "b1b2 e8d8 b2b1 d8e8", "b1g1"},
      {"4k3/8/8/8/8/8/8/1K4R1 w G - 0 1", "g1g2 e8d8 g2g1 d8e8", "b1g1"},
      {"4k3/1b6/8/8/8/7R/8/4K2R b H - 0 1", "b7h1 h3h2 e8d8 h2h1 d8e8", "e1h1"},
  };
  EngineSandbox box;
  for (const Lost& c : cases) {
    EngineRun r = box.run(std::string(UCI_ON) + "position fen " + c.fen + " moves " + c.moves + " " + c.castling +
                          "\nquit\n");
    EXPECT_NE(r.out.find(illegal_uci(c.castling)), std::string::npos) << c.fen << "\n" << r.out;
    // Without the move that lost the right, the same castling is played.
    EngineRun kept = box.run(std::string(UCI_ON) + "position fen " + c.fen + " moves " + c.castling + "\nquit\n");
    if (std::string(c.fen).find(" w ") != std::string::npos) {
      EXPECT_EQ(kept.out.find("info string"), std::string::npos) << c.fen << "\n" << kept.out;
    }
  }
}

// A castling right that names no rook of that colour on the back rank, or
// a king off its back rank with rights, is refused with the protocol's
// reply; two rights on one wing too.
TEST(Chess960Positions, BadRightsAreRefusedInBothProtocols) {
  struct Bad {
    const char* fen;
    const char* reason;
  };
  const Bad cases[] = {
      {"4k3/8/8/8/8/8/8/4K3 w K - 0 1", "castling right without its rook"},
      {"4k3/8/8/8/8/8/8/R3K3 w B - 0 1", "castling right without its rook"},
      {"4k3/8/8/8/8/8/4K3/R6R w HA - 0 1", "castling king not on its back rank"},
      {"4k3/8/8/8/8/8/8/4K1RR w GH - 0 1", "two castling rooks on one wing"},
      {"1r2k3/8/8/8/8/8/8/4K3 w a - 0 1", "castling right without its rook"},
  };
  EngineSandbox box;
  for (const Bad& b : cases) {
    EngineRun u = box.run(std::string(UCI_ON) + "position fen " + b.fen + "\nquit\n");
    EXPECT_EQ(u.out.substr(u.out.find("uciok\n") + 6),
              std::string("info string position: illegal FEN (") + b.reason + "): " + b.fen + "\n")
        << b.fen;
    EngineRun x = box.run(std::string("xboard\nnew\nvariant fischerandom\nsetboard ") + b.fen + "\nforce\ne2e4\nquit\n");
    // Refused, and the engine takes no move until a good position comes.
    EXPECT_EQ(x.out, "\ntellusererror Illegal position\nIllegal move: e2e4\n") << b.fen;
  }
  // The black right 'q' with a rook on a8 is sound: the position is taken.
  EngineRun ok = box.run(std::string(UCI_ON) + "position fen r3k3/8/8/8/8/8/8/4K3 b q - 0 1 moves e8a8\nquit\n");
  EXPECT_EQ(ok.out.find("info string"), std::string::npos) << ok.out;
}

// X-FEN's file letter and Shredder-FEN's name the rook: with rooks on g1
// and h1, G is the inner rook (castling b1g1 puts it on f1) and K the
// outer one, whose castling the inner rook blocks.
TEST(Chess960Positions, FileLettersAndXfenLettersNameTheirRooks) {
  EngineSandbox box;
  EngineRun g = box.run(std::string(UCI_ON) + "position fen 4k3/8/8/8/8/8/8/1K4RR w G - 0 1 moves b1g1 e8d8 f1f7\nquit\n");
  EXPECT_EQ(g.out.find("info string"), std::string::npos) << g.out;
  EngineRun k = box.run(std::string(UCI_ON) + "position fen 4k3/8/8/8/8/8/8/1K4RR w K - 0 1 moves b1h1\n" +
                        "position fen 4k3/8/8/8/8/8/8/1K4RR w K - 0 1 moves b1g1\nquit\n");
  EXPECT_EQ(k.out.substr(k.out.find("uciok\n") + 6), illegal_uci("b1h1") + illegal_uci("b1g1")) << k.out;
  // Shredder-FEN and X-FEN letters of a start position give the same game.
  for (const char* rights : {"GEge", "KQkq"}) {
    EngineRun r = box.run(std::string(UCI_ON) + "position fen bqnbrkrn/pppppppp/8/8/8/8/PPPPPPPP/BQNBRKRN w " +
                          rights + " - 0 1 moves f1g1 f8g8 f1f2\nquit\n");
    // After both castle king-side the rook is on f1, blocked by the f2 pawn.
    EXPECT_EQ(r.out.substr(r.out.find("uciok\n") + 6), illegal_uci("f1f2")) << rights;
  }
}

// The engine castles when castling mates: 1. O-O-O#, the king from b1 to
// c1 and the rook from a1 to d1. UCI writes it b1a1 (UCI_Chess960) in
// bestmove and in the variation; CECP writes O-O-O.
const char* const MATE_BY_CASTLING = "2rkr3/2p1p3/8/8/8/8/8/RK6 w A - 0 1";

TEST(Chess960Play, TheEngineCastlesInEachProtocolsForm) {
  EngineSandbox box;
  {
    EngineSession u(box);
    u.send(std::string(UCI_ON) + "position fen " + MATE_BY_CASTLING + "\ngo depth 3\n");
    // The whole line: under Wine a line may arrive in pieces.
    const std::optional<std::string> best =
        u.wait_for_line([](const std::string& l) { return l.rfind("bestmove", 0) == 0; }, 20000);
    ASSERT_TRUE(best) << u.out();
    EXPECT_EQ(*best, "bestmove b1a1") << u.out();
    EXPECT_NE(u.out().find(" pv b1a1"), std::string::npos) << u.out();
    EXPECT_EQ(u.quit(), 0);
  }
  EngineSession x(box);
  x.send(std::string("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\nsetboard ") + MATE_BY_CASTLING +
         "\npost\nsd 3\ngo\n");
  ASSERT_TRUE(x.wait_for("move O-O-O\n", 20000)) << x.out();
  // The thinking line writes the castling the same way.
  EXPECT_NE(x.out().find(" O-O-O "), std::string::npos) << x.out();
  EXPECT_EQ(x.quit(), 0);
}

// The option and the variant hold for their games only: off again, castling
// is the king's two squares, and the king taking its rook is refused.
TEST(Chess960Switching, OptionAndVariantOnAndOffBetweenGames) {
  EngineSandbox box;
  const std::string opening = "position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 ";
  EngineRun u = box.run("uci\nsetoption name UCI_Chess960 value true\nucinewgame\n" + opening +
                        "e1h1 f8c5 f1e1\nsetoption name UCI_Chess960 value false\nucinewgame\n" + opening +
                        "e1h1\n" + opening + "e1g1 f8c5 f1e1\nquit\n");
  EXPECT_EQ(u.out.substr(u.out.find("uciok\n") + 6), illegal_uci("e1h1")) << u.out;

  EngineRun x = box.run("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\nusermove e2e4\nusermove e7e5\n"
                        "usermove g1f3\nusermove b8c6\nusermove f1c4\nusermove g8f6\nusermove O-O\nusermove f8c5\n"
                        "usermove f1e1\nnew\nforce\nusermove e2e4\nusermove e7e5\nusermove g1f3\nusermove b8c6\n"
                        "usermove f1c4\nusermove g8f6\nusermove e1h1\nusermove e1g1\nusermove f8c5\nusermove f1e1\nquit\n");
  EXPECT_EQ(x.out.substr(x.out.find("feature done=1\n") + 15), "Illegal move: e1h1\n") << x.out;
}

// A Fischer random game never plays from the book, even from the standard
// start position: with the shipped book in the folder, ordinary chess
// opens with a book move and the variant does not.
TEST(Chess960Book, NoBookMoveInAFischerRandomGame) {
  EngineSandbox box;
  std::ifstream in(BREVALT_DATA_DIR "/book_normal.bin", std::ios::binary);
  std::ostringstream book;
  book << in.rdbuf();
  ASSERT_GE(book.str().size(), 5400000u) << "the build makes the book";
  box.write_file("book_normal.bin", book.str());
  for (const bool fischer : {false, true}) {
    EngineSession e(box);
    e.send(std::string("xboard\nprotover 2\naccepted usermove\nics chess.example.org\nnew\n") + (fischer ? "variant fischerandom\n" : "") +
           "sd 2\ngo\n");
    ASSERT_TRUE(e.wait_for_line([](const std::string& l) { return l.rfind("move ", 0) == 0; }, 20000)) << e.out();
    e.pump(300);
    EXPECT_EQ(e.out().find("book move.") != std::string::npos, !fischer) << e.out();
    EXPECT_EQ(e.quit(), 0);
  }
}

}  // namespace
}  // namespace brevalt::testing

namespace brevalt::testing {
namespace {

bool is_engine_move(const std::string& line) { return line.rfind("move ", 0) == 0; }

// O-O once the right is gone: Black castled (the king taking its g8 rook),
// then stepped to h8. The home square of that rook, g8, is empty now, and
// the king's step there must not pass for a castling.
TEST(Chess960Cecp, CastlingWithoutTheRightIsRefusedAndChangesNothing) {
  EngineSandbox box;
  EngineRun r = box.run(
      "xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nforce\n"
      "setboard 2rk2r1/pp1nbppp/2p1pn2/3p4/3P4/2P1PN2/PP1NBPPP/2RK2R1 b KQkq - 0 9\n"
      "usermove d8g8\nusermove a2a3\nusermove g8h8\nusermove a3a4\nusermove O-O\nusermove h8g8\nquit\n");
  EXPECT_NE(r.out.find("Illegal move: o-o\n"), std::string::npos) << r.out;
  // The king is still on h8: its step to g8 is played.
  EXPECT_EQ(r.out.find("Illegal move: h8g8"), std::string::npos) << r.out;
}

// O-O while the engine ponders: its board holds the predicted move, so the
// castling is read once the ponder search has ended, on the interface's
// board. Black's king and rook then stand on g8 and f8: the rook's step to
// e8 is legal only there.
TEST(Chess960Cecp, CastlingDuringAPonderSearchIsReadOnTheInterfacesBoard) {
  EngineSandbox box;
  EngineSession s(box);
  s.send("xboard\nprotover 2\naccepted usermove\nnew\nvariant fischerandom\nhard\nst 1\n"
         "force\nsetboard 4k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w k - 0 1\ngo\n");
  size_t next = 0;
  ASSERT_TRUE(s.wait_for_line(is_engine_move, 20000, next, &next)) << s.out();
  s.send("usermove O-O\n");
  const std::optional<std::string> reply = s.wait_for_line(is_engine_move, 20000, next, &next);
  ASSERT_TRUE(reply) << s.out();
  s.send("force\nusermove f8e8\n");
  ASSERT_TRUE(s.sync(10000));
  EXPECT_EQ(s.out().find("Illegal move"), std::string::npos) << s.out();
  EXPECT_EQ(s.quit(), 0);
}

}  // namespace
}  // namespace brevalt::testing

// The opening-book tool: the PGN reader on every piece of syntax games are
// written in, SAN resolution and replay on the engine's board, a build of
// a hand-made collection whose counts are worked out below by hand, the
// book file's layout, count scaling, the probe's output, and bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/position.h"
#include "book/builder.h"
#include "book/pgn.h"
#include "book/replay.h"
#include "frontend/mainloop.h"
#include "game/book.h"
#include "support/engine_env.h"
#include "support/files.h"

namespace brevalt {
namespace {

using testing::read_file;
using testing::write_file;
using tools::BookBuilder;
using tools::ByteSource;
using tools::GameMove;
using tools::MoveMatch;
using tools::PgnGame;
using tools::PgnReader;
using tools::Replay;

// Positions named by the tests.
const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1";
const char* const AFTER_E4_E5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2";
const char* const AFTER_E4_E5_NF3 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2";
const char* const AFTER_NF3 = "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - 1 1";
const char* const AFTER_A4 = "rnbqkbnr/pppppppp/8/8/P7/8/1PPPPPPP/RNBQKBNR b KQkq - 0 1";
// The promotion games after their fifth White move: a queen or a knight on a8.
const char* const QUEEN_ON_A8 = "Qnbqkbnr/p1ppppp1/8/8/8/8/1PPPPPpP/RNBQKBNR b KQk - 0 5";
const char* const KNIGHT_ON_A8 = "Nnbqkbnr/p1ppppp1/8/8/8/8/1PPPPPpP/RNBQKBNR b KQk - 0 5";
// ... and after Black's reply: a queen or a rook on h1.
const char* const QUEENS_ON_A8_H1 = "Qnbqkbnr/p1ppppp1/8/8/8/8/1PPPPP1P/RNBQKBNq w Qk - 0 6";
const char* const KNIGHT_A8_ROOK_H1 = "Nnbqkbnr/p1ppppp1/8/8/8/8/1PPPPP1P/RNBQKBNr w Qk - 0 6";
// The en passant game after each of its two en passant captures.
const char* const AFTER_WHITE_EP = "rnbqkb1r/ppp1pppp/3P1n2/8/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3";
const char* const AFTER_BLACK_EP = "r1bqkb1r/ppp2ppp/2nP1n2/8/3P4/2N2p2/PPP3PP/R1BQKBNR w KQkq - 0 7";
// The broken game's last position before its illegal move.
const char* const BEFORE_QH7 = "r1bqkb1r/pppp1ppp/2n2n2/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
// Both sides castled long.
const char* const LONG_CASTLES = "2kr1bnr/pppqpppp/2n5/3p1b2/3P1B2/2N5/PPPQPPPP/2KR1BNR w - - 8 6";

// Twelve games in every piece of syntax the reader must take. What each
// contributes, by hand:
//   1 Syntax          1-0      e4 e5 Qh5 Nc6 Bc4 Nf6 Qxf7#      8 positions
//   2 Short castles   draw     e4 e5 Nf3 Nc6 ... Bxf7+ Rxf7     15
//   3 Long castles    0-1      d4 d5 ... O-O-O 0-0-0            11
//   4 Promotions      1-0      a4 h5 ... bxa8Q gxh1=q Qxb8 Qxg1 13
//   5 Under-promotion 0-1      a4 h5 ... bxa8=N gxh1=R          11
//   6 En passant      draw     e4 Nf6 e5 d5 exd6 ... exf3 Nxf3  14
//   7 Set-up position          skipped
//   8 Unfinished      *        skipped
//   9 No result token          skipped
//  10 Long castles again 1-0   game 3's moves: skipped as a duplicate
//  11 Broken          draw     stops at 4. Qh7: plies 0 to 6     7
//  12 Repetition      draw     Nf3 Nf6 Ng1 Ng8 twice: 4 distinct positions
// Records: 8+15+11+13+11+14+7+4 = 83 positions counted per game, less
// the shared ones: the start position 7 times over, after 1.e4 (games 1,
// 2, 6, 11) 3, after 1.e4 e5 (1, 2, 11) 2, after 1.e4 e5 2.Nf3 and after
// 2...Nc6 (2, 11) 1 each, the eight plies games 4 and 5 share 8:
// 83 - 7 - 3 - 2 - 1 - 1 - 8 = 61.
const char* const SYNTAX_PGN = R"PGN(% A line for some other program: the reader passes over it.
[Event "Syntax"]
[Site "?"]
[White "Alpha"]
[Black "Beta"]
[Result "1-0"]

{A comment before the first move,
over two lines} 1. e4 $1 e5!? 2. Qh5!! (2. Nf3 Nc6 (2... d6 3. d4 {a ) in a comment} (3. Bc4 ; a ( here
Be7)) 3. Bb5) 2... Nc6? ; 3. a3 is not played
3. Bc4 3.... Nf6?? 4. Qxf7# 1-0

[Event "Short castles"]
[White "Gamma"]
[Black "Delta"]
[Result "1/2-1/2"]

1.e4 e5 2.Nf3 Nc6 3.Bc4 Bc5 4.0-0 Nf6 5.d3 O-O 6.c3 d6 7.Bxf7+ Rxf7 1/2-1/2

[Event "Long castles"]
[White "Epsilon"]
[Black "Zeta"]
[Result "0-1"]

1. d4 d5 2. Nc3 Nc6 3. Bf4 Bf5 4. Qd2 Qd7 5. O-O-O 0-0-0 0-1

[Event "Promotions"]
[White "Eta"]
[Black "Theta"]
[Result "1-0"]

1. a4 h5 2. a5 h4 3. a6 h3 4. axb7 hxg2 5. bxa8Q gxh1=q 6. Qxb8 Qxg1 1-0

[Event "Under-promotion"]
[White "Iota"]
[Black "Kappa"]
[Result "0-1"]

1. a4 h5 2. a5 h4 3. a6 h3 4. axb7 hxg2 5. bxa8=N gxh1=R 0-1

[Event "En passant"]
[White "Lambda"]
[Black "Mu"]
[Result "1/2-1/2"]

1. e4 Nf6 2. e5 d5 3. exd6 e.p. Nc6 4. Nc3 e5 5. d4 e4 6. f4 exf3 7. Nxf3 1/2-1/2

[Event "Set-up position"]
[White "Nu"]
[Black "Xi"]
[Result "1-0"]
[SetUp "1"]
[FEN "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1"]

1. e4 Kd7 1-0

[Event "Unfinished"]
[White "Omicron"]
[Black "Pi"]
[Result "*"]

1. d4 d5 2. c4 *

[Event "No result token"]
[White "Rho"]
[Black "Sigma"]
[Result "1-0"]

1. c4 e5 2. Nc3

[Event "Long castles again"]
[White "Tau"]
[Black "Upsilon"]
[Result "1-0"]

1. d4 d5 2. Nc3 Nc6 3. Bf4 Bf5 4. Qd2 Qd7 5. O-O-O O-O-O 1-0

[Event "Broken"]
[White "Phi"]
[Black "Chi"]
[Result "1/2-1/2"]

1. e4 e5 2. Nf3 Nc6 3. Bb5 Nf6 4. Qh7 a6 1/2-1/2

[Event "Repetition"]
[White "Psi"]
[Black "Omega"]
[Result "1/2-1/2"]

1. Nf3 Nf6 2. Ng1 Ng8 3. Nf3 Nf6 4. Ng1 Ng8 1/2-1/2
)PGN";

// A book for the probe: after 1.e4 four White wins and a draw (White
// accepts it), after 1.d4 d5 four Black wins (Black accepts 1...d5, White
// refuses 1.d4), after 1.c4 five White wins against three Black wins
// (refused: (5 + 0) * 4 < 3 * 7).
const char* const PROBE_PGN = R"PGN(
1. e4 e5 1-0
1. e4 c5 1-0
1. e4 e6 1-0
1. e4 c6 1-0
1. e4 d5 1/2-1/2
1. d4 d5 2. c4 0-1
1. d4 d5 2. Nf3 0-1
1. d4 d5 2. e3 0-1
1. d4 d5 2. Bf4 0-1
1. c4 e5 1-0
1. c4 c5 1-0
1. c4 e6 1-0
1. c4 c6 1-0
1. c4 Nf6 1-0
1. c4 d5 0-1
1. c4 g6 0-1
1. c4 b6 0-1
)PGN";

// The tool's own data come from the shipped folder, as the in-process keys do.
std::string tool_command(const std::string& args) {
  return std::string(BREVALT_BOOK) + " --data '" + BREVALT_DATA_DIR + "' " + args;
}

// Runs the tool; its exit status, and what it printed on each stream.
struct ToolRun {
  int status;
  std::string out, err;
};
ToolRun run_tool(const std::string& args) {
  const std::string out = testing::scratch_dir() + "/tool.out", err = testing::scratch_dir() + "/tool.err";
  const int raw = std::system((tool_command(args) + " >'" + out + "' 2>'" + err + "'").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
}

std::string scratch(const std::string& name) { return testing::scratch_dir() + "/" + name; }

// One record of a book file.
struct Record {
  uint64_t key;
  uint16_t white, black, draws, reserved;
};

uint32_t u32(const std::string& b, size_t at) {
  return uint32_t{static_cast<uint8_t>(b[at])} | uint32_t{static_cast<uint8_t>(b[at + 1])} << 8 |
         uint32_t{static_cast<uint8_t>(b[at + 2])} << 16 | uint32_t{static_cast<uint8_t>(b[at + 3])} << 24;
}
uint16_t u16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// The position records of a book file (record 0, the header, left out).
std::vector<Record> read_book(const std::string& path) {
  const std::string bytes = read_file(path);
  std::vector<Record> records;
  for (size_t at = tools::RECORD_SIZE; at + tools::RECORD_SIZE <= bytes.size(); at += tools::RECORD_SIZE)
    records.push_back({uint64_t{u32(bytes, at + 4)} << 32 | u32(bytes, at), u16(bytes, at + 8),
                       u16(bytes, at + 10), u16(bytes, at + 12), u16(bytes, at + 14)});
  return records;
}

// The engine's book key of a position given as FEN, by its own set-up.
uint64_t key_of(const std::string& fen) {
  EXPECT_TRUE(setup_fen(fen.c_str())) << fen;
  return book_key(fen.find(" b ") != std::string::npos ? BLACK : 0);
}

// "W B D" of the position in the book, "absent" when it has no record.
std::string counts_of(const std::vector<Record>& book, const std::string& fen) {
  const uint64_t key = key_of(fen);
  for (const Record& r : book)
    if (r.key == key)
      return std::to_string(r.white) + " " + std::to_string(r.black) + " " + std::to_string(r.draws);
  return "absent";
}

// All games of a PGN text, as the reader gives them.
std::vector<PgnGame> read_games(const std::string& text) {
  ByteSource source;
  source.open_text(text);
  PgnReader reader(source);
  std::vector<PgnGame> games;
  PgnGame g;
  while (reader.next(&g)) games.push_back(g);
  EXPECT_EQ(reader.error(), "");
  return games;
}

std::string joined(const std::vector<std::string>& words) {
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

// The tests play on the engine's one board: a fresh game afterwards.
class BookTool : public ::testing::Test {
 protected:
  void TearDown() override { start_new_game(); }
};

TEST_F(BookTool, ReaderKeepsTheMainLineTagsAndResultOfEveryGame) {
  const std::vector<PgnGame> games = read_games(SYNTAX_PGN);
  ASSERT_EQ(games.size(), 12u);
  // Comments, nested variations (with brackets inside their comments),
  // NAGs, judgement marks, "3...." and the escape line all fall away.
  EXPECT_EQ(joined(games[0].moves), "e4 e5 Qh5 Nc6 Bc4 Nf6 Qxf7");
  EXPECT_EQ(games[0].white, "Alpha");
  EXPECT_EQ(games[0].black, "Beta");
  EXPECT_EQ(games[0].result, "1-0");
  EXPECT_EQ(joined(games[1].moves), "e4 e5 Nf3 Nc6 Bc4 Bc5 0-0 Nf6 d3 O-O c3 d6 Bxf7 Rxf7");
  EXPECT_EQ(games[1].result, "1/2-1/2");
  EXPECT_EQ(joined(games[3].moves), "a4 h5 a5 h4 a6 h3 axb7 hxg2 bxa8Q gxh1=q Qxb8 Qxg1");
  EXPECT_EQ(joined(games[5].moves), "e4 Nf6 e5 d5 exd6 Nc6 Nc3 e5 d4 e4 f4 exf3 Nxf3");
  EXPECT_TRUE(games[6].setup && games[6].has_fen);
  EXPECT_EQ(games[7].result, "*");
  // The tags of the next game end a game that has no result token.
  EXPECT_EQ(joined(games[8].moves), "c4 e5 Nc3");
  EXPECT_EQ(games[8].result, "");
  EXPECT_EQ(games[8].result_tag, "1-0");
  EXPECT_EQ(games[9].white, "Tau");
  for (size_t i = 0; i < games.size(); ++i) EXPECT_EQ(games[i].number, static_cast<long>(i + 1));
}

TEST_F(BookTool, ReaderSurvivesBrokenStructure) {
  // A byte order mark is no move; a comment that never closes ends its
  // game at the next game's tags; a variation likewise; stray closing
  // brackets and a tags-only game do no harm; a second Event tag opens a
  // new game.
  const std::vector<PgnGame> games = read_games(
      "\xEF\xBB\xBF[Event \"a\"]\n\n1. e4 {never closed e5 1-0\n\n"
      "[Event \"b\"]\n\n1. d4 (1. c4 c5 2. Nc3\n\n"
      "[Event \"c\"]\n\n1. Nf3 ) } ] Nf6 0-1\n\n"
      "[Event \"d\"]\n[Event \"e\"]\n[White \"W\"]\n\n1. g3 1/2-1/2\n");
  ASSERT_EQ(games.size(), 5u);
  EXPECT_EQ(joined(games[0].moves), "e4");
  EXPECT_EQ(games[0].problem, "comment never closed");
  EXPECT_EQ(games[0].result, "");
  EXPECT_EQ(games[1].problem, "variation never closed");
  EXPECT_EQ(joined(games[2].moves), "Nf3 Nf6");
  EXPECT_EQ(games[2].result, "0-1");
  EXPECT_TRUE(games[3].moves.empty());
  EXPECT_EQ(games[4].white, "W");
  EXPECT_EQ(joined(games[4].moves), "g3");
  // Text that is not PGN at all stops the reader with a reason.
  ByteSource binary;
  binary.open_text(std::string("1. e4 \0\0\0", 9));
  PgnReader reader(binary);
  PgnGame g;
  EXPECT_FALSE(reader.next(&g));
  EXPECT_NE(reader.error(), "");
}

TEST_F(BookTool, SanNamesExactlyOneLegalMove) {
  Replay replay;
  std::string why;
  // Both knights reach d2: the bare move is ambiguous, file, rank or
  // square settle it.
  ASSERT_TRUE(replay.start_fen("rnbqkb1r/ppp1pppp/5n2/3p4/3P4/5N2/PPP1PPPP/RNBQKB1R w KQkq - 2 3", &why));
  GameMove m;
  EXPECT_EQ(replay.find("Nd2", &m), MoveMatch::ambiguous);
  for (const char* san : {"Nbd2", "N1d2", "Nb1d2", "Nb1-d2"}) {
    ASSERT_EQ(replay.find(san, &m), MoveMatch::ok) << san;
    EXPECT_EQ(tools::coordinate_text(m), "b1d2") << san;
  }
  EXPECT_EQ(replay.find("Nfd2", &m), MoveMatch::ok);
  EXPECT_EQ(tools::coordinate_text(m), "f3d2");
  EXPECT_EQ(replay.find("Nd5", &m), MoveMatch::illegal);
  EXPECT_EQ(replay.find("O-O", &m), MoveMatch::illegal);  // the bishop still stands on f1
  for (const char* san : {"", "Zz9", "e9", "Nxx", "e4e5e6", "N"})
    EXPECT_EQ(replay.find(san, &m), MoveMatch::unparsable) << san;

  // Pawn captures go by file; a promotion must name its piece, and a move
  // that is none may not name one.
  ASSERT_TRUE(replay.start_fen("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", &why));
  EXPECT_EQ(replay.find("b8", &m), MoveMatch::illegal);
  EXPECT_EQ(replay.find("b8=Q", &m), MoveMatch::ok);
  EXPECT_EQ(tools::coordinate_text(m), "b7b8q");
  EXPECT_EQ(replay.find("bxa8n", &m), MoveMatch::ok);
  EXPECT_EQ(tools::coordinate_text(m), "b7a8n");
  EXPECT_EQ(replay.find("b7:a8=R", &m), MoveMatch::ok);
  EXPECT_EQ(tools::coordinate_text(m), "b7a8r");
  EXPECT_EQ(replay.find("Ke2=Q", &m), MoveMatch::unparsable);
  ASSERT_TRUE(replay.start_fen("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", &why));
  EXPECT_EQ(replay.find("e4=Q", &m), MoveMatch::illegal);
  EXPECT_EQ(replay.find("dxe4", &m), MoveMatch::illegal);
}

// Plays space-separated SAN moves from the start position; the first move
// that fails says how.
MoveMatch play_line(Replay& replay, const std::string& moves, std::vector<uint64_t>* keys = nullptr) {
  replay.start();
  for (size_t at = 0; at < moves.size();) {
    size_t end = moves.find(' ', at);
    if (end == std::string::npos) end = moves.size();
    GameMove m;
    const MoveMatch r = replay.find(moves.substr(at, end - at), &m);
    if (r != MoveMatch::ok) return r;
    replay.play(m);
    if (keys) keys->push_back(replay.key());
    at = end + 1;
  }
  return MoveMatch::ok;
}

TEST_F(BookTool, ReplayKeysMatchTheEngineSetUpOfEachPosition) {
  // Every position of the en passant game, and the ends of the
  // under-promotion and long-castling games, reached by the replay, have
  // the keys the engine's FEN set-up gives the same positions.
  const struct {
    const char* moves;
    std::vector<const char*> fens;  // after each move; null: not checked
  } lines[] = {
      {"e4 Nf6 e5 d5 exd6 Nc6 Nc3 e5 d4 e4 f4 exf3",
       {AFTER_E4, "rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 2",
        "rnbqkb1r/pppppppp/5n2/4P3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2",
        "rnbqkb1r/ppp1pppp/5n2/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3", AFTER_WHITE_EP,
        "r1bqkb1r/ppp1pppp/2nP1n2/8/8/8/PPPP1PPP/RNBQKBNR w KQkq - 1 4",
        "r1bqkb1r/ppp1pppp/2nP1n2/8/8/2N5/PPPP1PPP/R1BQKBNR b KQkq - 2 4",
        "r1bqkb1r/ppp2ppp/2nP1n2/4p3/8/2N5/PPPP1PPP/R1BQKBNR w KQkq e6 0 5",
        "r1bqkb1r/ppp2ppp/2nP1n2/4p3/3P4/2N5/PPP2PPP/R1BQKBNR b KQkq d3 0 5",
        "r1bqkb1r/ppp2ppp/2nP1n2/8/3Pp3/2N5/PPP2PPP/R1BQKBNR w KQkq - 0 6",
        "r1bqkb1r/ppp2ppp/2nP1n2/8/3PpP2/2N5/PPP3PP/R1BQKBNR b KQkq f3 0 6", AFTER_BLACK_EP}},
      {"a4 h5 a5 h4 a6 h3 axb7 hxg2 bxa8=N gxh1=R",
       {AFTER_A4, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, KNIGHT_ON_A8,
        KNIGHT_A8_ROOK_H1}},
      {"d4 d5 Nc3 Nc6 Bf4 Bf5 Qd2 Qd7 O-O-O O-O-O",
       {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, LONG_CASTLES}},
  };
  // The set-up uses the same board as the replay: all expected keys first.
  const uint64_t start_key = key_of(START);
  for (const auto& line : lines) {
    std::vector<uint64_t> expected;
    for (const char* fen : line.fens) expected.push_back(fen ? key_of(fen) : 0);
    Replay replay;
    std::vector<uint64_t> keys;
    ASSERT_EQ(play_line(replay, line.moves, &keys), MoveMatch::ok) << line.moves;
    ASSERT_EQ(keys.size(), expected.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!line.fens[i]) continue;
      EXPECT_EQ(keys[i], expected[i]) << line.moves << ": ply " << i + 1;
    }
    // A new game starts clean whatever the last one left behind.
    replay.start();
    EXPECT_EQ(replay.key(), start_key);
    EXPECT_EQ(replay.legal_moves().size(), 20u);
  }
}

TEST_F(BookTool, ReplayKeepsEnPassantAndCastlingRightsAsTheRulesSay) {
  Replay replay;
  // En passant right after the double step, not a move later.
  EXPECT_EQ(play_line(replay, "e4 Nf6 e5 d5 exd6"), MoveMatch::ok);
  EXPECT_EQ(play_line(replay, "e4 Nf6 e5 d5 Nc3 Nc6 exd6"), MoveMatch::illegal);
  // A king that has moved and come back may not castle; a rook likewise.
  EXPECT_EQ(play_line(replay, "e4 e5 Nf3 Nc6 Bc4 Bc5 Ke2 Nf6 Ke1 d6 O-O"), MoveMatch::illegal);
  EXPECT_EQ(play_line(replay, "e4 e5 Nf3 Nc6 Bc4 Bc5 Rg1 Nf6 Rh1 d6 O-O"), MoveMatch::illegal);
  EXPECT_EQ(play_line(replay, "e4 e5 Nf3 Nc6 Bc4 Bc5 O-O Nf6"), MoveMatch::ok);
  // The h1 rook taken on its corner by a promoting pawn ends castling on
  // that wing only.
  const std::string rook_taken = "a4 h5 a5 h4 a6 h3 axb7 hxg2 Nf3 gxh1=Q d4 Nc6 Bf4 d6 Nc3 Bd7 Qd2 e6 ";
  EXPECT_EQ(play_line(replay, rook_taken + "O-O"), MoveMatch::illegal);
  EXPECT_EQ(play_line(replay, rook_taken + "O-O-O"), MoveMatch::ok);
}

TEST_F(BookTool, BuildCountsTheHandMadeCollection) {
  write_file(scratch("syntax.pgn"), SYNTAX_PGN);
  const ToolRun r = run_tool("build '" + scratch("syntax.bin") + "' '" + scratch("syntax.pgn") + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("games read: 12\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("skipped, set-up position: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("skipped, no result: 2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("skipped, duplicate: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("games counted: 8\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("cut short by an illegal move: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("records written: 61\n"), std::string::npos) << r.out;
  // The broken game is named by number, players and move.
  EXPECT_NE(r.err.find("game 11 (Phi - Chi): 4. Qh7 is illegal"), std::string::npos) << r.err;

  const std::vector<Record> book = read_book(scratch("syntax.bin"));
  ASSERT_EQ(book.size(), 61u);
  // White wins: games 1 and 4; Black: 3 and 5; draws: 2, 6, 11 and 12.
  EXPECT_EQ(counts_of(book, START), "2 2 4");
  EXPECT_EQ(counts_of(book, AFTER_E4), "1 0 3");
  EXPECT_EQ(counts_of(book, AFTER_E4_E5), "1 0 2");
  // Game 1's variation 2.Nf3 is no game of its own.
  EXPECT_EQ(counts_of(book, AFTER_E4_E5_NF3), "0 0 2");
  // Reached twice in game 12, counted once.
  EXPECT_EQ(counts_of(book, AFTER_NF3), "0 0 1");
  EXPECT_EQ(counts_of(book, AFTER_A4), "1 1 0");
  EXPECT_EQ(counts_of(book, QUEEN_ON_A8), "1 0 0");
  EXPECT_EQ(counts_of(book, KNIGHT_ON_A8), "0 1 0");
  EXPECT_EQ(counts_of(book, QUEENS_ON_A8_H1), "1 0 0");
  EXPECT_EQ(counts_of(book, KNIGHT_A8_ROOK_H1), "0 1 0");
  EXPECT_EQ(counts_of(book, AFTER_WHITE_EP), "0 0 1");
  EXPECT_EQ(counts_of(book, AFTER_BLACK_EP), "0 0 1");
  EXPECT_EQ(counts_of(book, BEFORE_QH7), "0 0 1");
  // The duplicate's 1-0 is not counted.
  EXPECT_EQ(counts_of(book, LONG_CASTLES), "0 1 0");
  // The set-up game's position after 1.e4 is in no counted game.
  EXPECT_EQ(counts_of(book, "4k3/8/8/8/4P3/8/8/4K3 b - - 0 1"), "absent");
}

TEST_F(BookTool, BookFileLayoutAndDeterminism) {
  // The real-game slices (one xz-compressed, one plain with CRLF lines)
  // built twice: the same bytes, a header that is no position, then
  // position records in ascending key order, each key once, none empty.
  const std::string data = std::string(BREVALT_SOURCE_DIR) + "/tests/tools/data/";
  const std::string inputs = " '" + data + "tcec_slice.pgn.xz' '" + data + "masters_slice.pgn'";
  const ToolRun first = run_tool("build '" + scratch("a.bin") + "'" + inputs);
  const ToolRun second = run_tool("build '" + scratch("b.bin") + "'" + inputs);
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(second.status, 0) << second.err;
  const std::string a = read_file(scratch("a.bin")), b = read_file(scratch("b.bin"));
  ASSERT_GT(a.size(), 1000u * tools::RECORD_SIZE);
  EXPECT_EQ(a.size() % tools::RECORD_SIZE, 0u);
  EXPECT_TRUE(a == b);
  EXPECT_EQ(a.substr(0, tools::RECORD_SIZE), std::string(tools::BOOK_HEADER, tools::RECORD_SIZE));

  const std::vector<Record> book = read_book(scratch("a.bin"));
  const uint64_t header_key = uint64_t{u32(a, 4)} << 32 | u32(a, 0);
  for (size_t i = 0; i < book.size(); ++i) {
    if (i > 0) {
      ASSERT_LT(book[i - 1].key, book[i].key) << i;
    }
    ASSERT_NE(book[i].key, header_key);
    ASSERT_EQ(book[i].reserved, 0);
    ASSERT_GT(book[i].white + book[i].black + book[i].draws, 0);
  }
  // The engine's own probe finds the start position, and not the header.
  BookStats stats{};
  EXPECT_EQ(book_lookup(scratch("a.bin").c_str(), key_of(START), &stats), BookLookup::found);
  EXPECT_EQ(book_lookup(scratch("a.bin").c_str(), header_key, &stats), BookLookup::absent);
}

TEST_F(BookTool, CountsAboveTheCeilingAreScaledTogether) {
  using tools::scale_counts;
  auto text = [](tools::RecordCounts c) {
    return std::to_string(c.white) + " " + std::to_string(c.black) + " " + std::to_string(c.draws);
  };
  EXPECT_EQ(text(scale_counts({65535, 1, 2})), "65535 1 2");
  EXPECT_EQ(text(scale_counts({0, 0, 0})), "0 0 0");
  // 70000 -> 65535; 35000 * 65535 / 70000 = 32767.5, truncated.
  EXPECT_EQ(text(scale_counts({70000, 35000, 0})), "65535 32767 0");
  EXPECT_EQ(text(scale_counts({1, 65536, 3})), "0 65535 2");
  EXPECT_EQ(text(scale_counts({131070, 65535, 131070})), "65535 32767 65535");
  EXPECT_EQ(text(scale_counts({4000000000u, 3000000000u, 1000000000u})), "65535 49151 16383");
}

TEST_F(BookTool, ProbePrintsThePositionAndEveryMove) {
  write_file(scratch("probe.pgn"), PROBE_PGN);
  ASSERT_EQ(run_tool("build '" + scratch("probe.bin") + "' '" + scratch("probe.pgn") + "'").status, 0);
  const ToolRun start = run_tool("probe '" + scratch("probe.bin") + "' '" + START + "'");
  ASSERT_EQ(start.status, 0) << start.err;
  EXPECT_EQ(start.out,
            "position: 9 7 1\n"
            "a2a3: not in book\n"
            "a2a4: not in book\n"
            "b1a3: not in book\n"
            "b1c3: not in book\n"
            "b2b3: not in book\n"
            "b2b4: not in book\n"
            "c2c3: not in book\n"
            "c2c4: 5 3 0 refused\n"
            "d2d3: not in book\n"
            "d2d4: 0 4 0 refused\n"
            "e2e3: not in book\n"
            "e2e4: 4 0 1 accepted\n"
            "f2f3: not in book\n"
            "f2f4: not in book\n"
            "g1f3: not in book\n"
            "g1h3: not in book\n"
            "g2g3: not in book\n"
            "g2g4: not in book\n"
            "h2h3: not in book\n"
            "h2h4: not in book\n");
  // Black to move weighs Black's wins.
  const ToolRun d4 =
      run_tool("probe '" + scratch("probe.bin") + "' 'rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - 0 1'");
  ASSERT_EQ(d4.status, 0) << d4.err;
  EXPECT_EQ(d4.out.substr(0, 17), "position: 0 4 0\na");
  EXPECT_NE(d4.out.find("\nd7d5: 0 4 0 accepted\n"), std::string::npos) << d4.out;
  EXPECT_NE(d4.out.find("\ne7e5: not in book\n"), std::string::npos) << d4.out;
  // Promotions and castling in coordinate form.
  const ToolRun promo = run_tool("probe '" + scratch("probe.bin") + "' 'r3k3/1P6/8/8/8/8/8/4K2R w K - 0 1'");
  ASSERT_EQ(promo.status, 0) << promo.err;
  EXPECT_EQ(promo.out.substr(0, 22), "position: not in book\n");
  EXPECT_NE(promo.out.find("\nb7a8q: not in book\n"), std::string::npos) << promo.out;
  EXPECT_NE(promo.out.find("\nb7b8q: not in book\n"), std::string::npos) << promo.out;
  EXPECT_NE(promo.out.find("\ne1g1: not in book\n"), std::string::npos) << promo.out;
  EXPECT_EQ(promo.out.find("b7b8n"), std::string::npos) << promo.out;
}

TEST_F(BookTool, BadInputGetsOneLineAndAFailingStatus) {
  write_file(scratch("good.pgn"), PROBE_PGN);
  // Garbage with an xz name, a truncated xz file, a binary file.
  write_file(scratch("garbage.pgn.xz"), "this is not compressed");
  const std::string xz = read_file(std::string(BREVALT_SOURCE_DIR) + "/tests/tools/data/tcec_slice.pgn.xz");
  ASSERT_GT(xz.size(), 1000u);
  write_file(scratch("truncated.pgn.xz"), xz.substr(0, xz.size() / 2));
  write_file(scratch("binary.pgn"), std::string("\x7f" "ELF\0\0\0\0", 8));
  const struct {
    std::string args;
    int status;
    const char* message;
  } cases[] = {
      {"build '" + scratch("x.bin") + "' '" + scratch("missing.pgn") + "'", 1, "cannot open"},
      {"build '" + scratch("x.bin") + "' '" + scratch("garbage.pgn.xz") + "'", 1, "not in xz format"},
      {"build '" + scratch("x.bin") + "' '" + scratch("truncated.pgn.xz") + "'", 1, "xz data"},
      {"build '" + scratch("x.bin") + "' '" + scratch("binary.pgn") + "'", 1, "NUL byte"},
      {"build '" + scratch("x.bin") + "' '" + testing::scratch_dir() + "'", 1, "not a file"},
      {"build '" + scratch("no/such/folder/x.bin") + "' '" + scratch("good.pgn") + "'", 1, "cannot write"},
      {"build --plies many '" + scratch("x.bin") + "' '" + scratch("good.pgn") + "'", 2, "--plies"},
      {"build '" + scratch("x.bin") + "'", 2, "usage"},
      {"probe '" + scratch("missing.bin") + "' '" + START + "'", 1, "cannot read"},
      // A rank one square short, two white kings, the side not to move in
      // check, a pawn on the last rank, nothing at all.
      {"probe '" + scratch("x.bin") + "' 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq -'", 2, "bad FEN"},
      {"probe '" + scratch("x.bin") + "' '4k3/8/8/8/8/8/8/4K2K w - - 0 1'", 2, "bad FEN"},
      {"probe '" + scratch("x.bin") + "' '4k3/4Q3/8/8/8/8/8/4K3 w - - 0 1'", 2, "bad FEN"},
      {"probe '" + scratch("x.bin") + "' 'P3k3/8/8/8/8/8/8/4K3 w - - 0 1'", 2, "bad FEN"},
      {"probe '" + scratch("x.bin") + "' ''", 2, "bad FEN"},
      {"frobnicate", 2, "usage"},
  };
  // A book to probe for the FEN cases.
  ASSERT_EQ(run_tool("build '" + scratch("x.bin") + "' '" + scratch("good.pgn") + "'").status, 0);
  for (const auto& c : cases) {
    const ToolRun r = run_tool(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    if (c.status == 1) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << "\n" << r.err;
    }
  }
  // A failed build leaves no book behind, not even a partial one.
  EXPECT_EQ(read_file(scratch("no/such/folder/x.bin.partial")), "");
}

}  // namespace
}  // namespace brevalt

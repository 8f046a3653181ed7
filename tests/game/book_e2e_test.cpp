// The shipped opening book end to end: the built engine with the book the
// build made from the game collections opens its games from it at once, as
// White and as Black, and not always with the same move.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

constexpr const char* SHIPPED_BOOK = BREVALT_DATA_DIR "/book_normal.bin";
// A book move needs no search: it comes well inside this.
constexpr int BOOK_MOVE_MS = 3000;

std::string read_all(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The engine's next "move" line after offset `from`, and the offset past it.
std::string next_move(EngineSession& engine, size_t from, size_t* after) {
  auto line = engine.wait_for_line([](const std::string& l) { return l.rfind("move ", 0) == 0; }, BOOK_MOVE_MS,
                                   from, after);
  return line ? line->substr(5) : std::string();
}

class ShippedBook : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string book = read_all(SHIPPED_BOOK);
    ASSERT_GE(book.size(), 5400000u) << SHIPPED_BOOK << " is missing or too small: the build makes it";
    box_.write_file("book_normal.bin", book);
  }
  EngineSandbox box_;
};

TEST_F(ShippedBook, AStopReadWhileTheBookIsTriedIsKept) {
  // The engine's first search polls its input at once: "force" sent with
  // a reply the book does not know arrives while the book is tried. The
  // search that follows must still stop, play nothing and leave the board
  // to the set-up that comes next.
  EngineSession engine(box_);
  engine.send("new\ntime 2000\notim 2000\ngo\n");
  size_t after = 0;
  ASSERT_FALSE(next_move(engine, 0, &after).empty()) << engine.out();
  engine.send("time 1999\notim 1970\nh7h5\nforce\nsetboard 4k3/8/8/8/8/8/8/R3K3 w - - 0 1\n");
  ASSERT_TRUE(engine.sync(BOOK_MOVE_MS));
  const std::string rest = engine.out().substr(after);
  EXPECT_EQ(rest.find("move "), std::string::npos) << rest;
  EXPECT_EQ(rest.find("not legal now"), std::string::npos) << rest;
  // Nor may the stop cut the list of legal moves short: an empty list
  // would read as stalemate.
  EXPECT_EQ(rest.find('{'), std::string::npos) << rest;
  EXPECT_EQ(engine.quit(), 0);
}

TEST_F(ShippedBook, NewGamesOpenFromTheBookAndVary) {
  EngineSession engine(box_);
  // On a chess server the engine relays a comment on each move, which for
  // a book move says so.
  engine.send("xboard\nprotover 2\nics chess.example.org\n");
  std::set<std::string> first_moves;
  size_t from = engine.size();
  // About five games in eight open with e4: eight games alike would
  // happen about once in forty runs, sixteen about once in two thousand.
  for (int game = 0; game < 16; ++game) {
    engine.send("new\ngo\n");
    size_t after = 0;
    const std::string move = next_move(engine, from, &after);
    ASSERT_FALSE(move.empty()) << "no book move in game " << game << ":\n" << engine.out().substr(from);
    ASSERT_TRUE(engine.wait_for("book move.", BOOK_MOVE_MS, from)) << engine.out().substr(from);
    first_moves.insert(move);
    ASSERT_TRUE(engine.sync(BOOK_MOVE_MS));
    from = engine.size();
  }
  EXPECT_GE(first_moves.size(), 2u) << "sixteen games all opened with the same move";
}

TEST_F(ShippedBook, BlackAnswersFromTheBook) {
  EngineSession engine(box_);
  engine.send("xboard\nprotover 2\nics chess.example.org\n");
  for (const char* opening : {"e2e4", "d2d4", "c2c4", "g1f3"}) {
    const size_t from = engine.size();
    engine.send(std::string("new\n") + opening + "\n");
    size_t after = 0;
    EXPECT_FALSE(next_move(engine, from, &after).empty()) << opening << ":\n" << engine.out().substr(from);
    EXPECT_TRUE(engine.wait_for("book move.", BOOK_MOVE_MS, from)) << opening;
    ASSERT_TRUE(engine.sync(BOOK_MOVE_MS));
  }
}

}  // namespace
}  // namespace brevalt::testing

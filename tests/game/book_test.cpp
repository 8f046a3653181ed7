// The opening book in play: the probe over a book file written here, the
// rules by which a book move is accepted, the choice for either colour,
// leaving the book, and a book that breaks under a running game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "board/board_test_util.h"
#include "board/position.h"
#include "config/params.h"
#include "config/startup.h"
#include "game/book.h"
#include "search/root.h"
#include "support/engine_env.h"
#include "support/search_fixture.h"

namespace brevalt {
namespace {

// One book record as the file holds it.
struct Record {
  uint64_t key;
  uint16_t white, black, draws;
};

// The key of a position given as FEN, with its side to move applied.
uint64_t key_of(const std::string& fen) {
  EXPECT_TRUE(testing::set_position(fen)) << fen;
  build_piece_lists();
  return book_key(fen.find(" b ") != std::string::npos ? BLACK : 0);
}

void put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void put32(std::string& out, uint32_t v) {
  put16(out, static_cast<uint16_t>(v & 0xFFFF));
  put16(out, static_cast<uint16_t>(v >> 16));
}

// Writes a book: the header record (its own key and counts given), then
// the records sorted by key, little-endian.
void write_book(const char* name, std::vector<Record> records, Record header = {0, 0, 0, 0}) {
  std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.key < b.key; });
  records.insert(records.begin(), header);
  std::string out;
  for (const Record& r : records) {
    put32(out, static_cast<uint32_t>(r.key));
    put32(out, static_cast<uint32_t>(r.key >> 32));
    put16(out, r.white);
    put16(out, r.black);
    put16(out, r.draws);
    put16(out, 0);
  }
  std::ofstream(name, std::ios::binary) << out;
}

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1";
const char* const AFTER_D4 = "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - 0 1";
const char* const AFTER_C4 = "rnbqkbnr/pppppppp/8/8/2P5/8/PP1PPPPP/RNBQKBNR b KQkq - 0 1";
const char* const AFTER_NF3 = "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - 0 1";
const char* const AFTER_E4_E5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1";
const char* const AFTER_E4_C5 = "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1";

constexpr const char* BOOK = "test_book.bin";

class Book : public testing::SearchFixture {
 protected:
  void TearDown() override {
    settings.book_file_name[0] = '\0';
    std::remove(BOOK);
    std::remove("error file");
    SearchFixture::TearDown();
  }

  // A decision from the position with the book in use; returns the move
  // the engine chose.
  static std::string decide_with_book(const char* fen, int game_ply_now = -1) {
    prepare(fen, 3);
    settings.book_enabled = 1;
    search_root.in_book = 1;
    search_root.last_book_ply = 0;
    if (game_ply_now >= 0) pos.game_ply = static_cast<int16_t>(game_ply_now);
    std::strcpy(settings.book_file_name, BOOK);
    decide();
    const MoveEntry& m = pos.move_list[1][0];
    return testing::square_name(m.from) + testing::square_name(m.to);
  }

};

TEST_F(Book, LookupFindsExactKeysAndNeverTheHeader) {
  const uint64_t start = key_of(START), e4 = key_of(AFTER_E4), d4 = key_of(AFTER_D4);
  // The start position's key also in the header: only record 1 and beyond
  // are positions.
  write_book(BOOK, {{e4, 10, 5, 5}, {d4, 7, 8, 9}}, {start, 99, 99, 99});
  BookStats stats{-1, -1, -1};
  EXPECT_EQ(book_lookup(BOOK, start, &stats), BookLookup::absent);
  EXPECT_EQ(stats.white_wins, -1);  // untouched when absent
  ASSERT_EQ(book_lookup(BOOK, d4, &stats), BookLookup::found);
  EXPECT_EQ(stats.white_wins, 7);
  EXPECT_EQ(stats.black_wins, 8);
  EXPECT_EQ(stats.draws, 9);
  ASSERT_EQ(book_lookup(BOOK, e4, &stats), BookLookup::found);
  EXPECT_EQ(stats.white_wins, 10);
  // The same key in record 1 is found.
  write_book(BOOK, {{start, 1, 2, 3}});
  ASSERT_EQ(book_lookup(BOOK, start, &stats), BookLookup::found);
  EXPECT_EQ(stats.draws, 3);
  // A book of the header alone, an empty file, a missing file.
  write_book(BOOK, {}, {start, 1, 1, 1});
  EXPECT_EQ(book_lookup(BOOK, start, &stats), BookLookup::absent);
  std::ofstream(BOOK, std::ios::binary | std::ios::trunc);
  EXPECT_EQ(book_lookup(BOOK, start, &stats), BookLookup::absent);
  EXPECT_EQ(book_lookup("no such book.bin", start, &stats), BookLookup::unreadable);
}

TEST_F(Book, LookupOverManyRecordsAndAPartialLastRecord) {
  // Keys spread over the whole unsigned range, high halves included: the
  // comparison must be unsigned 64-bit.
  std::vector<Record> records;
  for (uint64_t i = 1; i <= 1000; ++i) records.push_back({i * 0x0123456789ABCDEFull, 1, 2, static_cast<uint16_t>(i)});
  write_book(BOOK, records);
  BookStats stats{};
  for (uint64_t i : {1ull, 2ull, 500ull, 999ull, 1000ull}) {
    ASSERT_EQ(book_lookup(BOOK, i * 0x0123456789ABCDEFull, &stats), BookLookup::found) << i;
    EXPECT_EQ(stats.draws, static_cast<int32_t>(i));
  }
  EXPECT_EQ(book_lookup(BOOK, 0x0123456789ABCDEFull + 1, &stats), BookLookup::absent);
  // Bytes past the last whole record are not a record.
  std::ofstream(BOOK, std::ios::binary | std::ios::app) << "12345678";
  EXPECT_EQ(book_lookup(BOOK, 1000 * 0x0123456789ABCDEFull, &stats), BookLookup::found);
}

TEST_F(Book, AcceptanceRule) {
  // At least four wins for the engine's side, and (wins + draws) * 4 not
  // below the opponent's wins * 7.
  EXPECT_TRUE(book_move_acceptable(4, 0, 0));
  EXPECT_FALSE(book_move_acceptable(3, 0, 100));
  EXPECT_TRUE(book_move_acceptable(4, 4, 3));    // 28 against 28
  EXPECT_FALSE(book_move_acceptable(4, 5, 4));   // 32 against 35
  EXPECT_TRUE(book_move_acceptable(10, 5, 5));
  EXPECT_FALSE(book_move_acceptable(5, 20, 5));
}

TEST_F(Book, WhitePlaysTheOnlyAcceptableMove) {
  settings.book_random = 1;
  write_book(BOOK, {{key_of(AFTER_E4), 10, 5, 5},    // accepted
                    {key_of(AFTER_D4), 3, 0, 10},    // too few wins
                    {key_of(AFTER_C4), 5, 20, 5},    // loses too often
                    {key_of(AFTER_NF3), 4, 5, 4}});  // 32 < 35
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(decide_with_book(START), "e2e4");
    EXPECT_EQ(search_root.in_book, 1);
    EXPECT_EQ(search_path.iteration_depth, 1);  // no search behind a book move
  }
}

TEST_F(Book, BlackCountsBlackWins) {
  // After 1.e4 the engine plays Black: e5 was won by Black 8 times against
  // 2, c5 only 3 times.
  write_book(BOOK, {{key_of(AFTER_E4_E5), 2, 8, 4}, {key_of(AFTER_E4_C5), 30, 3, 30}});
  EXPECT_EQ(decide_with_book(AFTER_E4, 1), "e7e5");
  EXPECT_EQ(search_root.last_book_ply, 1);
}

TEST_F(Book, NoAcceptableMoveSearchesInstead) {
  write_book(BOOK, {{key_of(AFTER_D4), 3, 0, 10}});
  decide_with_book(START);
  EXPECT_EQ(search_path.iteration_depth, 3);  // the decision started over without the book
}

TEST_F(Book, TheGameLeavesTheBookFourPliesAfterItsLastBookMove) {
  // The last book move at ply 0: at ply 4 the book is still consulted, at
  // ply 6 (White to move again) it is left for the rest of the game.
  write_book(BOOK, {{key_of(AFTER_E4), 10, 5, 5}});
  decide_with_book(START, 4);
  EXPECT_EQ(search_path.iteration_depth, 1);
  EXPECT_EQ(search_root.in_book, 1);
  decide_with_book(START, 6);
  EXPECT_EQ(search_path.iteration_depth, 3);
  EXPECT_EQ(search_root.in_book, 0);
}

TEST_F(Book, ABookThatBreaksDuringAGameIsSwitchedOff) {
  // The book file disappears under the running game: the position counts
  // as not in the book, the decision is searched, the book stays off, and
  // the error file says why in one line.
  write_book(BOOK, {{key_of(AFTER_E4), 10, 5, 5}});
  prepare(START, 3);
  settings.book_enabled = 1;
  search_root.in_book = 1;
  std::strcpy(settings.book_file_name, "vanished_book.bin");
  decide();
  EXPECT_EQ(search_path.iteration_depth, 3);
  EXPECT_EQ(settings.book_file_name[0], '\0');
  EXPECT_EQ(search_root.in_book, 0);
  std::ifstream error("error file");
  std::string line, rest;
  ASSERT_TRUE(std::getline(error, line));
  EXPECT_NE(line.find("book"), std::string::npos);
  EXPECT_FALSE(std::getline(error, rest));
}

}  // namespace
}  // namespace brevalt

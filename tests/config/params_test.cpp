// The readers of the parameter file and the move file, on files written
// into the scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "board/position.h"
#include "config/params.h"
#include "config/startup.h"
#include "search/tables.h"
#include "support/engine_env.h"
#include "support/files.h"

namespace brevalt {
namespace {

void write(const char* name, const std::string& text) { testing::write_file(name, text); }

std::string shipped(const char* name) {
  return testing::read_file(std::string(BREVALT_DATA_DIR) + "/" + name);
}

// Every test leaves the tables as the environment loaded them.
class ConfigFiles : public ::testing::Test {
 protected:
  void TearDown() override {
    unlink("Brevalt.ini");
    unlink("MoveFile");
    ASSERT_EQ(chdir(BREVALT_DATA_DIR), 0);
    ASSERT_EQ(read_move_file(), 1);
    read_parameter_file();
    build_reach_table();
    ASSERT_EQ(chdir(testing::scratch_dir().c_str()), 0);
    settings.hash_size_code = 1;
    shared_tables.tt_mask = 0x3FFFF;
  }
};

TEST_F(ConfigFiles, ShippedParameterFileGivesTheDefaults) {
  write("Brevalt.ini", shipped("Brevalt.ini"));
  EXPECT_EQ(read_parameter_file(), 1);
  EXPECT_EQ(settings.book_enabled, 1);
  EXPECT_EQ(settings.hash_size_code, 3);
  EXPECT_EQ(shared_tables.tt_mask, 0xFFFFFu);
  EXPECT_EQ(settings.kibitz_enabled, 1);
  EXPECT_EQ(settings.resign_enabled, 1);
}

TEST_F(ConfigFiles, SettingsAreTheFirstCharactersAfterTheStarLine) {
  write("Brevalt.ini", "header\n*\n0 book\n4 hash\n0 kibitz\n0 resign\n");
  EXPECT_EQ(read_parameter_file(), 1);
  EXPECT_EQ(settings.book_enabled, 0);
  EXPECT_EQ(settings.hash_size_code, 4);
  EXPECT_EQ(shared_tables.tt_mask, 0x1FFFFFu);
  EXPECT_EQ(settings.kibitz_enabled, 0);
  EXPECT_EQ(settings.resign_enabled, 0);
}

TEST_F(ConfigFiles, MissingFileOrNoStarKeepsEveryDefault) {
  unlink("Brevalt.ini");
  settings.book_enabled = 0;
  EXPECT_EQ(read_parameter_file(), 0);
  EXPECT_EQ(settings.book_enabled, 1);
  EXPECT_EQ(settings.hash_size_code, 3);
  EXPECT_EQ(shared_tables.tt_mask, 0x7FFFFu);  // the default mask belongs to code 2
  write("Brevalt.ini", "no star here\n0\n1\n0\n0\n");
  EXPECT_EQ(read_parameter_file(), 1);
  EXPECT_EQ(settings.book_enabled, 1);
  EXPECT_EQ(settings.hash_size_code, 3);
  EXPECT_EQ(settings.kibitz_enabled, 1);
  EXPECT_EQ(settings.resign_enabled, 1);
}

TEST_F(ConfigFiles, OutOfRangeHashSizeKeepsCodeThreeWithTheDefaultMask) {
  for (const char* v : {"5", "0", "x"}) {
    write("Brevalt.ini", std::string("*\n1\n") + v + "\n1\n1\n");
    read_parameter_file();
    EXPECT_EQ(settings.hash_size_code, 3) << v;
    EXPECT_EQ(shared_tables.tt_mask, 0x7FFFFu) << v;
  }
  write("Brevalt.ini", "*\n1\n1\n");
  read_parameter_file();
  EXPECT_EQ(settings.hash_size_code, 1);
  EXPECT_EQ(shared_tables.tt_mask, 0x3FFFFu);
}

TEST_F(ConfigFiles, OnlyZeroSwitchesAFeatureOff) {
  write("Brevalt.ini", "*\n1\n3\n9\nx\n");
  read_parameter_file();
  EXPECT_EQ(settings.book_enabled, 1);
  EXPECT_EQ(settings.kibitz_enabled, 1);
  EXPECT_EQ(settings.resign_enabled, 1);
}

TEST_F(ConfigFiles, AnEmptyLineShiftsTheFollowingSettings) {
  // The line end after "*" is followed by an empty line: its line end is
  // taken as setting 1, "0" is plain text, and the next line's "0" becomes
  // setting 2 (out of range), the "0" after it setting 3.
  write("Brevalt.ini", "*\n\n0\n0\n0\n");
  read_parameter_file();
  EXPECT_EQ(settings.book_enabled, 1);
  EXPECT_EQ(settings.hash_size_code, 3);
  EXPECT_EQ(settings.kibitz_enabled, 0);
  EXPECT_EQ(settings.resign_enabled, 1);
}

TEST_F(ConfigFiles, ReadingStopsAtAStarOrAStopCharacter) {
  write("Brevalt.ini", "*\n0 book * rest ignored\n0\n0\n0\n");
  read_parameter_file();
  EXPECT_EQ(settings.book_enabled, 0);
  EXPECT_EQ(settings.kibitz_enabled, 1);
  write("Brevalt.ini", "*\n0\nZ\n0\n0\n");
  read_parameter_file();
  EXPECT_EQ(settings.book_enabled, 0);
  EXPECT_EQ(settings.kibitz_enabled, 1);
  // A file that ends early keeps the defaults for the rest.
  write("Brevalt.ini", "*\n0");
  read_parameter_file();
  EXPECT_EQ(settings.book_enabled, 0);
  EXPECT_EQ(settings.hash_size_code, 3);
}

TEST_F(ConfigFiles, ShippedMoveFileReads) {
  write("MoveFile", shipped("MoveFile"));
  EXPECT_EQ(read_move_file(), 1);
}

TEST_F(ConfigFiles, BrokenMoveFilesAreReadFailures) {
  const std::string good = shipped("MoveFile");
  // Missing file.
  unlink("MoveFile");
  EXPECT_EQ(read_move_file(), 0);
  // The last table without its 253: the file ends first.
  std::string cut = good.substr(0, good.rfind("253"));
  write("MoveFile", cut);
  EXPECT_EQ(read_move_file(), 0);
  // A word that is not a number.
  std::string word = good;
  word.replace(word.find("254"), 3, "abc");
  write("MoveFile", word);
  EXPECT_EQ(read_move_file(), 0);
  // A first table far longer than its block: refused, not written past it.
  std::string longer;
  for (int i = 0; i < 800; ++i) longer += "17 254 ";
  write("MoveFile", longer + good);
  EXPECT_EQ(read_move_file(), 0);
  // A table that ends before it has lists for all 64 squares.
  write("MoveFile", "17 255 0 253\n" + good);
  EXPECT_EQ(read_move_file(), 0);
  // A target that is not a square of the board.
  std::string off = good;
  off.replace(0, off.find(' '), "70");
  write("MoveFile", off);
  EXPECT_EQ(read_move_file(), 0);
}

// The shipped move file with one square's list of one table (0 knight,
// 1 bishop, 2 rook, 3 king, 4 white pawn, 5 black pawn) replaced; the list
// is given without its 255 and the value after it.
std::string with_list(int table, int square, const std::vector<int>& list) {
  std::istringstream in(shipped("MoveFile"));
  std::vector<int> v;
  for (int x; in >> x;) v.push_back(x);
  size_t at = 0;
  for (int t = 0; t < table; ++t) at = std::find(v.begin() + at, v.end(), 253) - v.begin() + 1;
  for (int s = 0; s < square; ++s) at = std::find(v.begin() + at, v.end(), 255) - v.begin() + 2;
  const size_t end = std::find(v.begin() + at, v.end(), 255) - v.begin();
  v.erase(v.begin() + at, v.begin() + end);
  v.insert(v.begin() + at, list.begin(), list.end());
  std::string text;
  for (int x : v) text += std::to_string(x) + " ";
  return text;
}

// A list must be the board's geometry: a damaged digit that still names a
// square would otherwise let a piece move as it cannot, or not as it can.
// The order of the rays, and of a pawn's targets, is free.
TEST_F(ConfigFiles, MoveFileListsMustBeTheBoardsGeometry) {
  struct Case {
    const char* what;
    int table, square;
    std::vector<int> list;
    int result;
  };
  constexpr int B = 254;
  const Case cases[] = {
      {"knight a1 to d2", 0, 0, {17, B, 11}, 0},
      {"knight a1 without c2", 0, 0, {17}, 0},
      {"knight a1's two targets in one ray", 0, 0, {17, 10}, 0},
      {"knight a1's targets the other way round", 0, 0, {10, B, 17}, 1},
      {"an empty ray between knight a1's targets", 0, 0, {17, B, B, 10}, 1},
      {"bishop a1's diagonal cut short", 1, 0, {9, 18, 27, 36, 45, 54}, 0},
      {"rook a1's rank out of order", 2, 0, {8, 16, 24, 32, 40, 48, 56, B, 2, 1, 3, 4, 5, 6, 7}, 0},
      {"rook a1's rays the other way round", 2, 0, {1, 2, 3, 4, 5, 6, 7, B, 8, 16, 24, 32, 40, 48, 56}, 1},
      {"king a1 twice to b2", 3, 0, {9, B, 8, B, 1, B, 9}, 0},
      {"white pawn e2 without its capture on f3", 4, 12, {20, 28, 19}, 0},
      {"white pawn e2's targets in another order", 4, 12, {21, 19, 28, 20}, 1},
      {"white pawn e3 with a double step", 4, 20, {28, 36, 27, 29}, 0},
      {"white pawn e1", 4, 4, {12}, 0},
      {"black pawn h7 capturing off the board", 5, 55, {47, 39, 46, 48}, 0},
  };
  for (const Case& c : cases) {
    write("MoveFile", with_list(c.table, c.square, c.list));
    EXPECT_EQ(read_move_file(), c.result) << c.what;
  }
}

TEST_F(ConfigFiles, MoveFileTablesFitTheirBlocks) {
  // The shipped tables, with every knight and king target a ray of its own,
  // must leave room in their fixed blocks.
  std::istringstream in(shipped("MoveFile"));
  const int capacity[6] = {KNIGHT_BLOCK, BISHOP_BLOCK, ROOK_BLOCK, KING_BLOCK, PAWN_BLOCK, PAWN_BLOCK};
  for (int t = 0; t < 6; ++t) {
    int n = 0, v = 0;
    while (in >> v) {
      ++n;
      if (v == 253) break;
    }
    EXPECT_EQ(v, 253);
    EXPECT_LE(n, capacity[t]) << "table " << t;
  }
}

}  // namespace
}  // namespace brevalt

// The readers of the parameter file and the move file, on files written
// into the scratch folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>

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
    hash_size_code = 1;
    tt_mask = 0x3FFFF;
  }
};

TEST_F(ConfigFiles, ShippedParameterFileGivesTheDefaults) {
  write("Brevalt.ini", shipped("Brevalt.ini"));
  EXPECT_EQ(read_parameter_file(), 1);
  EXPECT_EQ(book_enabled, 1);
  EXPECT_EQ(hash_size_code, 3);
  EXPECT_EQ(tt_mask, 0xFFFFFu);
  EXPECT_EQ(kibitz_enabled, 1);
  EXPECT_EQ(resign_enabled, 1);
}

TEST_F(ConfigFiles, SettingsAreTheFirstCharactersAfterTheStarLine) {
  write("Brevalt.ini", "header\n*\n0 book\n4 hash\n0 kibitz\n0 resign\n");
  EXPECT_EQ(read_parameter_file(), 1);
  EXPECT_EQ(book_enabled, 0);
  EXPECT_EQ(hash_size_code, 4);
  EXPECT_EQ(tt_mask, 0x1FFFFFu);
  EXPECT_EQ(kibitz_enabled, 0);
  EXPECT_EQ(resign_enabled, 0);
}

TEST_F(ConfigFiles, MissingFileOrNoStarKeepsEveryDefault) {
  unlink("Brevalt.ini");
  book_enabled = 0;
  EXPECT_EQ(read_parameter_file(), 0);
  EXPECT_EQ(book_enabled, 1);
  EXPECT_EQ(hash_size_code, 3);
  EXPECT_EQ(tt_mask, 0x7FFFFu);  // the default mask belongs to code 2
  write("Brevalt.ini", "no star here\n0\n1\n0\n0\n");
  EXPECT_EQ(read_parameter_file(), 1);
  EXPECT_EQ(book_enabled, 1);
  EXPECT_EQ(hash_size_code, 3);
  EXPECT_EQ(kibitz_enabled, 1);
  EXPECT_EQ(resign_enabled, 1);
}

TEST_F(ConfigFiles, OutOfRangeHashSizeKeepsCodeThreeWithTheDefaultMask) {
  for (const char* v : {"5", "0", "x"}) {
    write("Brevalt.ini", std::string("*\n1\n") + v + "\n1\n1\n");
    read_parameter_file();
    EXPECT_EQ(hash_size_code, 3) << v;
    EXPECT_EQ(tt_mask, 0x7FFFFu) << v;
  }
  write("Brevalt.ini", "*\n1\n1\n");
  read_parameter_file();
  EXPECT_EQ(hash_size_code, 1);
  EXPECT_EQ(tt_mask, 0x3FFFFu);
}

TEST_F(ConfigFiles, OnlyZeroSwitchesAFeatureOff) {
  write("Brevalt.ini", "*\n1\n3\n9\nx\n");
  read_parameter_file();
  EXPECT_EQ(book_enabled, 1);
  EXPECT_EQ(kibitz_enabled, 1);
  EXPECT_EQ(resign_enabled, 1);
}

TEST_F(ConfigFiles, AnEmptyLineShiftsTheFollowingSettings) {
  // The line end after "*" is followed by an empty line: its line end is
  // taken as setting 1, "0" is plain text, and the next line's "0" becomes
  // setting 2 (out of range), the "0" after it setting 3.
  write("Brevalt.ini", "*\n\n0\n0\n0\n");
  read_parameter_file();
  EXPECT_EQ(book_enabled, 1);
  EXPECT_EQ(hash_size_code, 3);
  EXPECT_EQ(kibitz_enabled, 0);
  EXPECT_EQ(resign_enabled, 1);
}

TEST_F(ConfigFiles, ReadingStopsAtAStarOrAStopCharacter) {
  write("Brevalt.ini", "*\n0 book * rest ignored\n0\n0\n0\n");
  read_parameter_file();
  EXPECT_EQ(book_enabled, 0);
  EXPECT_EQ(kibitz_enabled, 1);
  write("Brevalt.ini", "*\n0\nZ\n0\n0\n");
  read_parameter_file();
  EXPECT_EQ(book_enabled, 0);
  EXPECT_EQ(kibitz_enabled, 1);
  // A file that ends early keeps the defaults for the rest.
  write("Brevalt.ini", "*\n0");
  read_parameter_file();
  EXPECT_EQ(book_enabled, 0);
  EXPECT_EQ(hash_size_code, 3);
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

// The suites shipped in data/ as the test runner reads them: every record
// of every file is accepted, comment and blank lines are passed over, and
// the operations the runner judges are the ones the files give. Also the
// limits of the record reader on lines longer than its buffers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "board/position.h"
#include "frontend/epd.h"
#include "game/play.h"
#include "support/files.h"

namespace brevalt {
namespace {

// Reads every record of a file as the runner does; the operations of the
// records in order, or a note of the first record refused.
std::vector<std::string> operations_of(const std::string& path) {
  std::vector<std::string> ops;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return {"cannot open " + path};
  for (;;) {
    const EpdRead got = read_epd_record(f, EpdOperations::keep);
    if (got == EpdRead::end_of_file) break;
    if (got == EpdRead::malformed) {
      ops.push_back("refused after " + std::to_string(ops.size()) + " records");
      break;
    }
    ops.push_back(protocol.epd_operation);
  }
  std::fclose(f);
  return ops;
}

std::string shipped(const char* name) { return std::string(BREVALT_DATA_DIR) + "/" + name; }

TEST(ShippedSuites, EveryRecordIsReadUnderTheNamesOfTheBuiltInTable) {
  struct Suite {
    const char* file;
    size_t records;
    const char* first;
    const char* last;
  };
  const Suite suites[] = {
      {"Bratko-kopec.epd", 24, "bm Qd1+;", "bm f4;"},  // opens with a comment line
      {"BT2630.epd", 30, "bm Nxg7;", "bm f4;"},        // ends with a blank line
      {"wac.epd", 300, "bm Qg6;", "bm g6;"},
      {"arasan3.epd", 200, "bm g4;", "bm Nxh3;"},
      {"LCT2.epd", 35, "bm d6;", "bm Kg4;"},
      {"ecm_gcp.epd", 183, "bm Bg4;", "bm Rxh7;"},
  };
  for (const Suite& s : suites) {
    const std::vector<std::string> ops = operations_of(shipped(s.file));
    ASSERT_EQ(ops.size(), s.records) << s.file << ": " << (ops.empty() ? "" : ops.back());
    EXPECT_EQ(ops.front(), s.first) << s.file;
    EXPECT_EQ(ops.back(), s.last) << s.file;
    // Records that open with an avoid-move operation.
    if (std::string(s.file) == "arasan3.epd") {
      EXPECT_EQ(ops[49], "am Nxg3;");
    }
    if (std::string(s.file) == "wac.epd") {
      EXPECT_EQ(ops[273], "am Rd6;");
    }
  }
}

TEST(ShippedSuites, ATabbedRecordKeepsTheRestOfItsLine) {
  std::FILE* f = std::fopen(shipped("ecm_gcp.epd").c_str(), "r");
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 16; ++i) ASSERT_EQ(read_epd_record(f, EpdOperations::keep), EpdRead::ok);
  std::fclose(f);
  EXPECT_STREQ(protocol.epd_operation, "bm Nxc5;");
  EXPECT_STREQ(protocol.epd_rest, " id\t\"ECM.1016\";\n");
  // The position of that record, White to move: its queen on g4.
  EXPECT_EQ(pos.board[6 + 3 * 8], QUEEN);
  EXPECT_EQ(pos.game_ply, 0);
}

TEST(ShippedSuites, LongLinesAreCutWithoutLosingTheNextRecord) {
  const std::string path = "long.epd";
  const std::string comment(300, 'c');
  testing::write_file(path, "k7/8/8/8/8/8/6q1/7K w - - bm Kxg2; c0 \"" + comment + "\";\n" +
                                "k7/8/8/8/8/8/6q1/7K w - - bm Kxg2; c0 \"" + std::string(3000, 'd') + "\";\n" +
                                "8/8/8/3qp3/4P3/7k/6r1/7K w - - bm exd5;\n");
  std::FILE* f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(read_epd_record(f, EpdOperations::keep), EpdRead::ok);
  // The rest of the line fills its buffer and still ends the line.
  EXPECT_EQ(std::strlen(protocol.epd_rest), static_cast<size_t>(EPD_REST_SIZE - 1));
  EXPECT_EQ(protocol.epd_rest[EPD_REST_SIZE - 2], '\n');
  EXPECT_EQ(std::string(protocol.epd_rest).substr(0, 6), " c0 \"c");
  ASSERT_EQ(read_epd_record(f, EpdOperations::keep), EpdRead::ok);
  EXPECT_STREQ(protocol.epd_operation, "bm Kxg2;");
  ASSERT_EQ(read_epd_record(f, EpdOperations::keep), EpdRead::ok);
  EXPECT_STREQ(protocol.epd_operation, "bm exd5;");
  EXPECT_EQ(read_epd_record(f, EpdOperations::keep), EpdRead::end_of_file);
  std::fclose(f);
}

}  // namespace
}  // namespace brevalt

// The shipped data files are exactly what the generator makes, and their
// contents follow the rules the engine relies on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace {

using brevalt::testing::read_file;

TEST(DataFiles, GeneratorReproducesTheShippedFilesByteForByte) {
  char tmpl[] = "/tmp/brevalt-gen-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  ASSERT_EQ(std::system((std::string(BREVALT_GENDATA) + " " + dir).c_str()), 0);
  for (const char* name : {"hash_values", "MoveFile", "Brevalt.ini"}) {
    std::string made = read_file(dir + "/" + name);
    EXPECT_FALSE(made.empty()) << name;
    EXPECT_EQ(made, read_file(std::string(BREVALT_DATA_DIR) + "/" + name)) << name;
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(DataFiles, HashValuesAreDistinctAndWellMixed) {
  std::istringstream in(read_file(std::string(BREVALT_DATA_DIR) + "/hash_values"));
  std::vector<unsigned long long> values;
  std::string word;
  while (in >> word) {
    ASSERT_LE(word.size(), 20u);
    values.push_back(std::stoull(word));
  }
  ASSERT_EQ(values.size(), 960u);
  std::set<unsigned long long> distinct(values.begin(), values.end());
  EXPECT_EQ(distinct.size(), 960u);
  // Each bit is set in roughly half of the values, in both halves of the key.
  for (int bit = 0; bit < 64; ++bit) {
    int ones = 0;
    for (auto v : values) ones += (v >> bit) & 1;
    EXPECT_GT(ones, 400) << bit;
    EXPECT_LT(ones, 560) << bit;
  }
}

TEST(DataFiles, ParameterFileHasHeaderStarAndFourSettings) {
  std::string ini = read_file(std::string(BREVALT_DATA_DIR) + "/Brevalt.ini");
  size_t star = ini.find('*');
  ASSERT_NE(star, std::string::npos);
  EXPECT_EQ(ini.find('*', star + 1), std::string::npos) << "a second star would stop the reader";
  std::istringstream lines(ini.substr(star + 2));
  std::string line, firsts;
  while (std::getline(lines, line)) firsts += line.substr(0, 1);
  EXPECT_EQ(firsts, "1311");
}

}  // namespace

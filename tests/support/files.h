// Whole-file reading and writing for the tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace brevalt::testing {

// The file's bytes, or an empty text when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Creates or replaces the file with exactly these bytes.
inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace brevalt::testing

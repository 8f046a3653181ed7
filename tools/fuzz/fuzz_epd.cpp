// Fuzz target: the EPD record reader, as the test runners use it (one
// record per line, operations kept, each record checked like a position
// the interface sets up) and as the position loader uses it (operations
// dropped), and the check "setboard" applies to a position text.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "frontend/epd.h"
#include "fuzz_support.h"

using namespace brevalt;

namespace {
// A suite longer than this says nothing new about the reader.
constexpr int MAX_RECORDS = 50;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({"MoveFile", "hash_values", "Brevalt.ini"});
  fuzz::load_engine_tables();
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);

  // The test runners' reading of a whole suite.
  if (std::FILE* f = fmemopen(text.data(), text.size(), "r")) {
    for (int i = 0; i < MAX_RECORDS; ++i)
      if (read_epd_record(f, EpdOperations::keep) == EpdRead::end_of_file) break;
    std::fclose(f);
  }

  // The position loader onto an emptied board.
  if (std::FILE* f = fmemopen(text.data(), text.size(), "r")) {
    clear_board();
    read_epd_record(f, EpdOperations::discard);
    std::fclose(f);
  }

  // "setboard" with the first line as its argument.
  const std::string first = text.substr(0, text.find('\n'));
  check_position_text(first.c_str());
  return 0;
}

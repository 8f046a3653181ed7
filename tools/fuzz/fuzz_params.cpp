// Fuzz target: the parameter file "Brevalt.ini". Whatever it holds, the
// settings must come out inside their ranges, since the table sizes and the
// probe mask are taken from them.
#include <cstdint>
#include <cstdlib>

#include "config/params.h"
#include "fuzz_support.h"
#include "search/tables.h"

using namespace brevalt;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz::write_file("Brevalt.ini", data, size)) std::abort();
  if (!read_parameter_file()) std::abort();  // the file is there: it must be read
  if (settings.hash_size_code < 1 || settings.hash_size_code > 4) std::abort();
  // Every probe reads three slots from key & tt_mask on.
  if (static_cast<int64_t>(shared_tables.tt_mask) + 2 >= entries_for_code(settings.hash_size_code)) std::abort();
  if (settings.book_enabled < 0 || settings.book_enabled > 1 || settings.kibitz_enabled < 0 || settings.kibitz_enabled > 1 ||
      settings.resign_enabled < 0 || settings.resign_enabled > 1)
    std::abort();
  return 0;
}

// Fuzz target: the opening-book probe over a book file of any content and
// length. Keys are looked up that the file holds (every whole record's, so
// the bisection is driven to each of them), that it cannot hold, and the
// engine's own key of the start position through the probe a game uses.
// A key the file holds in a record past the header must be found with that
// record's counts whenever the records are in order.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/startup.h"
#include "fuzz_support.h"
#include "game/book.h"

using namespace brevalt;

namespace {

constexpr const char* BOOK = "book_normal.bin";
// Records looked up per input: enough to walk every branch of the bisection.
constexpr size_t MAX_KEYS = 64;

uint32_t read_le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The stored key: the low half in the first word, the high half in the second.
uint64_t record_key(const uint8_t* r) {
  return (static_cast<uint64_t>(read_le32(r + 4)) << 32) | read_le32(r);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({"MoveFile", "hash_values", "Brevalt.ini"});
  fuzz::load_engine_tables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz::write_file(BOOK, data, size)) std::abort();
  const size_t records = size / BOOK_RECORD_SIZE;

  // Are the records past the header sorted, with unique keys?
  bool sorted = true;
  for (size_t i = 2; i < records; ++i)
    if (record_key(data + (i - 1) * BOOK_RECORD_SIZE) >= record_key(data + i * BOOK_RECORD_SIZE)) sorted = false;

  for (size_t i = 0; i < records && i < MAX_KEYS; ++i) {
    const uint8_t* r = data + i * BOOK_RECORD_SIZE;
    BookStats stats{-1, -1, -1};
    const BookLookup got = book_lookup(BOOK, record_key(r), &stats);
    if (got == BookLookup::unreadable) std::abort();  // the file is there, whole records or not
    if (i == 0 || !sorted) continue;
    // A position of the book is found, with its own counts.
    if (got != BookLookup::found) std::abort();
    if (stats.white_wins != static_cast<int32_t>(r[8] | r[9] << 8) ||
        stats.black_wins != static_cast<int32_t>(r[10] | r[11] << 8) ||
        stats.draws != static_cast<int32_t>(r[12] | r[13] << 8))
      std::abort();
  }
  BookStats stats{};
  book_lookup(BOOK, 0, &stats);
  book_lookup(BOOK, UINT64_MAX, &stats);

  // The engine's probe of the start position, as a game makes it. A file it
  // cannot read switches the book off, so the name is put back each time.
  std::strcpy(settings.book_file_name, BOOK);
  book_probe(0, &stats);
  return 0;
}

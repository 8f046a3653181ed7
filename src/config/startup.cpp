// Start-up: the data folder, the book check, the move file, the parameter
// file, the large tables, the reach table, the key values and the random
// seed. Shutdown is the one way out of the process.
#include "config/startup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "board/rays.h"
#include "config/data_folder.h"
#include "config/params.h"
#include "core/platform.h"
#include "eval/pawns.h"
#include "search/tables.h"
#include "search/threads.h"

namespace brevalt {

// The opening book is used only when it holds at least this many 18-byte
// units (a size test kept from the book's original format; the records
// themselves are 16 bytes).
namespace {
constexpr const char* BOOK_NAME = "book_normal.bin";
constexpr long BOOK_SIZE_UNIT = 18;
constexpr long BOOK_MIN_UNITS = 300000;
constexpr int HASH_VALUE_COUNT = 15 * 64;

void check_book() {
  settings.book_file_name[0] = '\0';
  settings.book_builtin = 0;
  char path[DATA_PATH_SIZE];
  if (!data_file_path(BOOK_NAME, path, sizeof path)) return;
  // The built-in copy, when start-up chose it, is opened by the book itself
  // each time; book_file_name only names it.
  const bool builtin = builtin_data_file(BOOK_NAME);
  std::FILE* f = open_data_file(BOOK_NAME, "rb");
  if (!f) return;
  std::memcpy(settings.book_file_name, path, sizeof path);
  settings.book_builtin = builtin ? 1 : 0;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size >= 0 && size / BOOK_SIZE_UNIT < BOOK_MIN_UNITS) {
      settings.book_file_name[0] = '\0';
      settings.book_builtin = 0;
    }
  }
  std::fclose(f);
}
// Reads one key: white space, then an unsigned decimal number that fits in
// 64 bits, ended by white space or the end of the file.
// False for anything else (a sign, a letter, a number too large, no number).
bool read_key(std::FILE* f, uint64_t& key) {
  int c;
  do c = std::fgetc(f);
  while (c != EOF && std::isspace(c));
  if (c == EOF || !std::isdigit(c)) return false;
  uint64_t v = 0;
  for (; c != EOF && std::isdigit(c); c = std::fgetc(f)) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (c != EOF && !std::isspace(c)) return false;
  key = v;
  return true;
}

// The exit status of a start-up that failed: the engine cannot play.
constexpr int FATAL_EXIT_STATUS = 1;
// The line naming the table that could not be allocated.
const char* allocation_failure = "can't allocate tables\n";
}  // namespace

void write_error_file(const char* message) {
  std::FILE* f = std::fopen("error file", "w");
  if (!f) return;
  std::fputs(message, f);
  std::fclose(f);
}

void fatal_shutdown(const char* message) {
  // The error file is where the engine's own users look; an interface or
  // a shell started in the wrong folder looks at standard error and the
  // exit status. Standard output stays empty: an interface would read a
  // line there as protocol.
  if (message) {
    write_error_file(message);
    std::fprintf(stderr, "brevalt: %s", message);
  }
  free_tables();
  std::fflush(nullptr);
  std::exit(FATAL_EXIT_STATUS);
}

void free_tables() {
  // The helper threads first: they search on these tables.
  stop_helpers();
  set_search_threads(1);
  for (int s = 0; s < 2; ++s) {
    free_table_memory(shared_tables.transposition_table[s]);
    shared_tables.transposition_table[s] = nullptr;
  }
  for (int s = 0; s < 2; ++s) {
    free_table_memory(shared_tables.always_replace_table[s]);
    shared_tables.always_replace_table[s] = nullptr;
  }
  free_table_memory(eval_cache.pawn_hash);
  eval_cache.pawn_hash = nullptr;
  free_table_memory(search_path.repetition_table);
  search_path.repetition_table = nullptr;
}

int allocate_tables() {
  shared_tables.tt_entries = entries_for_code(settings.hash_size_code);
  // A probe reads slots i, i + 1 and i + 2 with i = key & tt_mask: the mask
  // must leave those inside the table whatever set it.
  while (shared_tables.tt_mask > 0 && shared_tables.tt_mask + 2 >= static_cast<uint32_t>(shared_tables.tt_entries)) shared_tables.tt_mask >>= 1;
  const size_t n = static_cast<size_t>(shared_tables.tt_entries);
  // White, black, then the always-replace pair in the same order; each
  // failure names the colour of the table that could not be had.
  TtSlot** order[4] = {&shared_tables.transposition_table[0], &shared_tables.transposition_table[1],
                        &shared_tables.always_replace_table[0], &shared_tables.always_replace_table[1]};
  const char* messages[4] = {"can't allocate hash white\n", "can't allocate hash black\n",
                             "can't allocate hash white\n", "can't allocate hash black\n"};
  for (int i = 0; i < 4; ++i) {
    *order[i] = static_cast<TtSlot*>(allocate_table_memory(n * sizeof(TtSlot)));
    if (!*order[i]) {
      write_error_file(messages[i]);
      allocation_failure = messages[i];
      return 0;
    }
  }
  eval_cache.pawn_hash = static_cast<PawnHashEntry*>(allocate_table_memory(PAWN_HASH_ENTRIES * sizeof(PawnHashEntry)));
  if (!eval_cache.pawn_hash) {
    write_error_file("can't allocate pawn hash\n");
    allocation_failure = "can't allocate pawn hash\n";
    return 0;
  }
  search_path.repetition_table = static_cast<RepEntry*>(allocate_table_memory(REPETITION_ENTRIES * sizeof(RepEntry)));
  if (!search_path.repetition_table) {
    // No line for the error file here, as ever; standard error still hears of it.
    allocation_failure = "can't allocate repetition table\n";
    return 0;
  }
  return 1;
}

void build_reach_table() {
  std::memset(reach, 0, sizeof(reach));
  // Marks every target of a list (separators skipped) in reach[type].
  auto mark = [](const uint8_t* list, int type, int from) {
    for (const uint8_t* p = list; *p != END_OF_LIST; ++p)
      if (*p < 64) reach[type][from][*p] = 1;
  };
  for (int s = 0; s < 64; ++s) {
    mark(king_targets[s], KING, s);
    mark(rook_rays[s], QUEEN, s);
    mark(bishop_rays[s], QUEEN, s);
    mark(rook_rays[s], ROOK, s);
    mark(bishop_rays[s], BISHOP, s);
    mark(knight_targets[s], KNIGHT, s);
    // Pawn reach is the capture only: the diagonal steps of the pawn lists.
    for (const uint8_t* p = white_pawn_targets[s]; *p != END_OF_LIST; ++p)
      if (*p < 64 && (*p - s == 7 || *p - s == 9)) reach[6][s][*p] = 1;
    for (const uint8_t* p = black_pawn_targets[s]; *p != END_OF_LIST; ++p)
      if (*p < 64 && (s - *p == 7 || s - *p == 9)) reach[7][s][*p] = 1;
  }
  // The ray masks come from the same lists.
  build_ray_masks();
}

int read_hash_values() {
  std::FILE* f = open_data_file("hash_values", "r");
  if (!f) return 0;
  // Every key is checked before any is used. A key left out (a short or
  // cut file) or two keys alike would make positions that differ share a
  // key: the search would then see repetitions and table hits that are not
  // there and play on them, with nothing to show for it. Such a file is
  // refused like a missing one. What follows the last key is not read.
  static uint64_t keys[HASH_VALUE_COUNT];
  int n = 0;
  while (n < HASH_VALUE_COUNT && read_key(f, keys[n])) ++n;
  std::fclose(f);
  if (n < HASH_VALUE_COUNT) return 0;
  static uint64_t sorted[HASH_VALUE_COUNT];
  std::memcpy(sorted, keys, sizeof keys);
  std::sort(sorted, sorted + HASH_VALUE_COUNT);
  if (std::adjacent_find(sorted, sorted + HASH_VALUE_COUNT) != sorted + HASH_VALUE_COUNT) return 0;
  for (int i = 0; i < HASH_VALUE_COUNT; ++i) {
    KeyPair& k = zobrist[i / 64][i % 64];
    k.lo = static_cast<uint32_t>(keys[i]);
    k.hi = static_cast<uint32_t>(keys[i] >> 32);
  }
  return 1;
}

void start_up() {
  // Where the data files are: the working folder, or one found from the
  // program's own location when the working folder has none.
  choose_data_folder();

  // Step 1. The opening book is used only when it is present and large enough.
  check_book();

  // Step 2. The move file: without its tables no move can be generated.
  if (!read_move_file()) fatal_shutdown("can't read movefile\n");

  // Step 3. The parameter file; when it is missing the defaults stand.
  if (!read_parameter_file()) write_error_file("can't read parameter file\n");

  // Steps 4 and 5. The large tables, sized by the hash-size setting.
  if (!allocate_tables()) {
    // The error file already holds the line, where the table has one.
    std::fprintf(stderr, "brevalt: %s", allocation_failure);
    free_tables();
    std::fflush(nullptr);
    std::exit(FATAL_EXIT_STATUS);
  }

  // Step 6. reach from the target lists.
  build_reach_table();

  // Step 7. The key values, all of them, each a number, no two alike.
  if (!read_hash_values()) fatal_shutdown("can't read hash values\n");

  // Step 8. Seed the random generator from the clock.
  std::srand(clock_ticks());
}

void shutdown() {
  free_tables();
  std::fflush(nullptr);
  std::exit(0);
}

}  // namespace brevalt

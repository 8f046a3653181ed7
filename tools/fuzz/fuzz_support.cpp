// Scratch folders and engine start-up for the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "config/params.h"
#include "config/startup.h"
#include "frontend/mainloop.h"
#include "core/platform.h"
#include "search/tables.h"
#include "search/threads.h"

namespace brevalt::fuzz {

namespace {

// Transposition-table entries per table in the fuzz targets: a power of two
// for the mask, plus the three slots a probe reads.
constexpr int32_t FUZZ_TT_ENTRIES = 4096 + 3;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz set-up: %s\n", what.c_str());
  std::exit(2);
}

std::string scratch;

void remove_scratch() {
  if (!scratch.empty()) std::system(("rm -rf '" + scratch + "'").c_str());
}

}  // namespace

void enter_scratch_folder(const std::vector<std::string>& data_files) {
  char tmpl[] = "/tmp/brevalt-fuzz-XXXXXX";
  if (!mkdtemp(tmpl)) fail("cannot make a scratch folder");
  scratch = tmpl;
  std::atexit(remove_scratch);
  for (const std::string& name : data_files) {
    std::ifstream in(std::string(BREVALT_DATA_DIR) + "/" + name, std::ios::binary);
    std::ofstream out(scratch + "/" + name, std::ios::binary);
    if (!in || !out || !(out << in.rdbuf())) fail("cannot copy " + name);
  }
  if (chdir(scratch.c_str()) != 0) fail("cannot enter " + scratch);
}

void load_engine_tables() {
  // The search polls standard input; here it must find nothing waiting.
  if (!quiet_standard_input()) fail("cannot quiet standard input");
  if (!read_move_file()) fail("MoveFile unreadable");
  read_parameter_file();
  settings.hash_size_code = 1;
  if (!allocate_tables()) fail("cannot allocate the tables");
  // Every "new" clears the transposition tables, and an input may hold many;
  // 4,099 entries per table (probes read slots mask + 2 at most) keep that
  // cheap while every path through the tables stays the same.
  for (int s = 0; s < 2; ++s) {
    std::free(shared_tables.transposition_table[s]);
    std::free(shared_tables.always_replace_table[s]);
    shared_tables.transposition_table[s] = static_cast<TtSlot*>(std::calloc(FUZZ_TT_ENTRIES, sizeof(TtSlot)));
    shared_tables.always_replace_table[s] = static_cast<TtSlot*>(std::calloc(FUZZ_TT_ENTRIES, sizeof(TtSlot)));
    if (!shared_tables.transposition_table[s] || !shared_tables.always_replace_table[s]) fail("cannot allocate the tables");
  }
  shared_tables.tt_entries = FUZZ_TT_ENTRIES;
  shared_tables.tt_mask = FUZZ_TT_ENTRIES - 4;
  build_reach_table();
  if (!read_hash_values()) fail("hash_values unreadable");
  start_new_game();
  // BREVALT_FUZZ_THREADS=N (tools/fuzz/run.sh --threads N): every search
  // of the inputs runs on N threads.
  if (const char* threads = std::getenv("BREVALT_FUZZ_THREADS"); threads && *threads) {
    const int wanted = std::atoi(threads);
    if (wanted < 1 || set_search_threads(wanted) != wanted) fail("cannot start the search threads");
  }
}

bool write_file(const char* name, const unsigned char* data, size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace brevalt::fuzz

// The EPD test runner. "epdtest" searches every position of a suite for a
// fixed time, judges the engine's choice against the record's best-move
// or avoid-move operation and appends a report to "epd_stats.txt";
// "static" searches every position of a file for about a second and keeps
// no score. Both take the engine over until the file is done: commands
// that would set up another position are refused meanwhile.
#include "testing/epdtest.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "board/position.h"
#include "config/data_folder.h"
#include "frontend/epd.h"
#include "frontend/mainloop.h"
#include "game/output.h"
#include "search/root.h"
#include "search/search.h"
#include "search/timeman.h"

namespace brevalt {

namespace {

// The built-in suites, chosen by number (1 to 8) with a name that begins
// with 'x': the file and the seconds per position.
struct BuiltinSuite {
  const char* file;
  int seconds;
};
constexpr BuiltinSuite BUILTIN_SUITES[] = {
    {"xyz.epd", 5},     {"Bratko-kopec.epd", 10}, {"BT2630.epd", 900}, {"wac.epd", 1},
    {"arasan3.epd", 20}, {"LCT2.epd", 60},         {"ecm_gcp.epd", 15}, {"wm_will.epd", 600},
};
constexpr int BUILTIN_SUITE_COUNT = 8;

// A longer time per position than this many clock ticks is cut to it, so
// that a deadline still lies ahead of the clock.
constexpr int64_t MAX_POSITION_TICKS = INT32_MAX / 4;

// "static" gives every position one second.
constexpr int32_t STATIC_POSITION_TICKS = TICKS_PER_SECOND;

// Only positions searched deeper than this count towards the average depth
// and the depth ratio: the first iterations say nothing of the tree's growth.
constexpr int DEEP_ITERATION = 4;

// The run's totals. Nodes and ticks of a long suite overflow 32 bits.
struct RunTotals {
  int positions = 0;
  int missed = 0;
  int64_t nodes = 0;
  int64_t ticks = 0;
  int64_t deep_positions = 0;
  int64_t branching = 0;    // sum of the deep positions' average growth, in tenths
  int64_t depth_marks = 0;  // sum of 10 x depth + root moves of the last iteration
};

// Writes to the statistics file while one is open.
__attribute__((format(printf, 1, 2))) void stats(const char* format, ...) {
  if (!output_state.test_stats_file) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(output_state.test_stats_file, format, args);
  va_end(args);
}

// An average that has nothing to average is 0.
uint64_t average(int64_t sum, int64_t count) {
  return count > 0 && sum > 0 ? static_cast<uint64_t>(sum) / static_cast<uint64_t>(count) : 0;
}

// The character at index i of a text of length len, 0 beyond its end.
char char_at(const char* text, int len, int i) { return i < len ? text[i] : '\0'; }

// Whether one candidate of an operation names the engine's move m, given
// in the test notation (Nf3, Bxc6, Pxd5, e4). The candidate is judged on a
// copy: the operation text stays as the file gave it.
bool candidate_matches(const char* text, int len, const char* m) {
  // An empty candidate (two blanks in a row, or nothing before the ';')
  // names no move at all.
  if (len <= 0 || len >= EPD_OPERATION_SIZE) return false;
  char c[EPD_OPERATION_SIZE];
  std::memcpy(c, text, static_cast<size_t>(len));
  c[len] = '\0';
  const int mlen = static_cast<int>(std::strlen(m));

  // Step 1. A pawn capture in the usual notation (exd5) takes the pawn's
  // letter, as the test notation writes it (Pxd5).
  if (len >= 2 && c[0] >= 'a' && c[0] <= 'h' && c[1] == 'x') c[0] = 'P';

  // Step 2. The candidate need only be a leading part of m; a check or
  // mate sign is ignored, and so is one disambiguation character
  // (Nbd7 names Nd7).
  for (int i = 0; i < len; ++i) {
    if (c[i] == char_at(m, mlen, i)) continue;
    if (c[i] == '+' || c[i] == '#') return true;
    return i == 1 && len >= 4 && c[2] == char_at(m, mlen, 1) && c[3] == char_at(m, mlen, 2);
  }
  return true;
}

// Judges a best-move (bm) or avoid-move (am) operation against the
// engine's move m: its name and a blank, then the candidates separated by
// blanks, up to the ';' or the end of the text (a cut operation has none).
bool operation_found(const char* op, const char* m) {
  const size_t n = std::strlen(op);
  const char* p = op + (n >= 3 ? 3 : n);
  bool matched = false;
  while (*p && *p != ';') {
    const char* start = p;
    while (*p && *p != ';' && *p != ' ' && *p != '\t') ++p;
    if (candidate_matches(start, static_cast<int>(p - start), m)) matched = true;
    if (*p == ' ' || *p == '\t') ++p;
  }
  return op[0] == 'a' ? !matched : matched;
}

// The castling rights of the position as the statistics file shows them.
void write_castling_rights() {
  const StateRecord& st = pos.state_stack[0];
  if (!pos.white_castled) {
    if (st.white_a_rook_moves && !st.white_h_rook_moves) stats("K");
    else if (st.white_h_rook_moves && !st.white_a_rook_moves) stats("Q");
    else stats("KQ");
  }
  if (!pos.black_castled) {
    if (st.black_a_rook_moves && !st.black_h_rook_moves) stats("k");
    else if (st.black_h_rook_moves && !st.black_a_rook_moves) stats("q");
    else stats("kq");
  }
}

// What a search leaves behind for the report; cleared before each
// position, so a position without a search is never judged by the last.
void clear_position_results() {
  output_state.position_nodes = 0;
  output_state.position_ticks = 0;
  output_state.branching_sum = 0;
  output_state.first_pv_move[0] = '\0';
  search_path.nominal_depth = 0;
  search_root.root_moves_searched = 0;
}

// Starts the clock of a test search.
void start_test_search(int32_t interval) {
  time_control.epd_mode = 1;
  time_control.epd_deadline = static_cast<int32_t>(time_control.time_source()) + interval;
}

// The summary after the last record, on both outputs.
void write_summary(const RunTotals& t, int seconds) {
  const int found = t.positions - t.missed;
  const uint64_t nps = average(t.nodes, t.ticks) * TICKS_PER_SECOND;
  const uint64_t depth = average(t.depth_marks, t.deep_positions);
  const uint64_t ratio = average(t.branching, t.deep_positions);
  char line[160];
  stats("\n");
  std::snprintf(line, sizeof(line), "found= %d  missed= %d  seconds= %d\n", found, t.missed, seconds);
  std::printf("%s", line);
  stats("%s", line);
  std::snprintf(line, sizeof(line), "Avg n/s= %llu  Avg depth= %llu.%llu  depth ratio= %llu.%llu\n\n\n",
                static_cast<unsigned long long>(nps), static_cast<unsigned long long>(depth / 10),
                static_cast<unsigned long long>(depth % 10), static_cast<unsigned long long>(ratio / 10),
                static_cast<unsigned long long>(ratio % 10));
  std::printf("%s", line);
  stats("%s", line);
}

}  // namespace

void run_epd_suite(const char* name, int n) {
  // Step 1. The file and the time per position. A suite number outside
  // the table names no file.
  const char* file_name = name;
  int seconds = n;
  // A built-in suite is one of the data files, found where the others were;
  // a file named by the user is read from the working folder.
  char suite_path[DATA_PATH_SIZE];
  if (name[0] == 'x' || name[0] == 'X') {
    const bool known = n >= 1 && n <= BUILTIN_SUITE_COUNT;
    file_name = known && data_file_path(BUILTIN_SUITES[n - 1].file, suite_path, sizeof suite_path) ? suite_path
                                                                                                 : nullptr;
    seconds = known ? BUILTIN_SUITES[n - 1].seconds : 0;
  }
  int64_t ticks = static_cast<int64_t>(seconds) * TICKS_PER_SECOND;
  if (ticks < 0) ticks = 0;
  if (ticks > MAX_POSITION_TICKS) ticks = MAX_POSITION_TICKS;
  const int32_t interval = static_cast<int32_t>(ticks);

  // Step 2. The statistics file (when it cannot be opened the suite still
  // runs, reported on standard output only) and the suite.
  control.epd_run_active = 1;
  output_state.test_stats_file = std::fopen("epd_stats.txt", "a");
  std::FILE* suite = file_name ? std::fopen(file_name, "r") : nullptr;
  RunTotals totals;
  if (!suite) std::printf("File not found.\nBad exit.\n");

  // Step 3. Every record in turn.
  while (suite) {
    // Step 3.1. A record that cannot be played ends the run.
    clear_position_results();
    const EpdRead got = read_epd_record(suite, EpdOperations::keep);
    if (got == EpdRead::end_of_file) break;
    if (got == EpdRead::malformed) {
      std::printf("Bad exit.\n");
      break;
    }
    start_test_search(interval);

    // Step 3.2. The record in the statistics file: the operation, the rest
    // of its line (line end included) and the castling rights.
    stats("%s %s  ", protocol.epd_operation, protocol.epd_rest);
    write_castling_rights();
    stats("\n");

    // Step 3.3. The search, with a look at the input before and after.
    search_root.in_book = 0;
    poll_input(0);
    register_position();
    think(control.engine_side);
    poll_input(0);
    // The interface is gone: nobody reads the rest of the run.
    if (input_has_ended()) break;

    // Step 3.4. The verdict.
    if (operation_found(protocol.epd_operation, output_state.first_pv_move)) {
      stats("\n");
    } else {
      stats("NOT FOUND!\n\n");
      ++totals.missed;
    }

    // Step 3.5. Totals; depth and growth of the positions searched deep.
    totals.ticks += output_state.position_ticks;
    totals.nodes += output_state.position_nodes;
    ++totals.positions;
    const int depth = search_path.nominal_depth;
    if (depth > DEEP_ITERATION) {
      ++totals.deep_positions;
      totals.branching += output_state.branching_sum / (depth - DEEP_ITERATION);
      totals.depth_marks += 10 * depth + search_root.root_moves_searched;
    }

    // Step 3.6. Progress.
    std::printf("found %d, missed %d\n", totals.positions - totals.missed, totals.missed);
  }

  // Step 4. Summary.
  write_summary(totals, seconds);
  if (suite) std::fclose(suite);
  if (output_state.test_stats_file) std::fclose(output_state.test_stats_file);
  output_state.test_stats_file = nullptr;
  time_control.epd_mode = 0;
  control.epd_run_active = 0;
  std::printf("Finished.\n");
}

void run_epd_file(const char* name) {
  // Step 1. Open the suite.
  std::FILE* file = std::fopen(name, "r");
  if (!file) {
    std::printf("File not found.\nBad exit.\n");
    return;
  }

  // Step 2. Every record for about a second; only the search's own test
  // lines report it.
  control.epd_run_active = 1;
  for (;;) {
    clear_position_results();
    const EpdRead got = read_epd_record(file, EpdOperations::keep);
    if (got == EpdRead::end_of_file) {
      std::printf("Done.\n");
      break;
    }
    if (got == EpdRead::malformed) {
      std::printf("Bad exit.\n");
      break;
    }
    start_test_search(STATIC_POSITION_TICKS);
    search_root.in_book = 0;
    register_position();
    think(control.engine_side);
    if (input_has_ended()) break;
  }
  std::fclose(file);
  // The test clock must not outlive the run: a game started from here
  // would otherwise be searched against a deadline long past.
  time_control.epd_mode = 0;
  control.epd_run_active = 0;
}

}  // namespace brevalt

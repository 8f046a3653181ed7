// The bench positions (openings, middlegames, tactics, endgames,
// promotions) and their searches.
#include "testing/bench.h"

#include <chrono>
#include <cstdio>

#include "board/fen.h"
#include "board/position.h"
#include "config/data_folder.h"
#include "config/params.h"
#include "config/startup.h"
#include "core/control.h"
#include "core/platform.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "search/root.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace brevalt {

namespace {

// Clocks long enough that no time rule ever touches a fixed-depth search.
constexpr int16_t BENCH_CLOCK_SECONDS = 30000;
// The table size of every bench run (Brevalt.ini's default).
constexpr int BENCH_HASH_SIZE_CODE = 3;

const char* const positions[] = {
    // Openings.
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 0 4",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "rnbqk1nr/pppp1ppp/8/4p3/1b1PP3/8/PPP2PPP/RNBQKBNR w KQkq - 1 3",
    // Middlegames.
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r2q1rk1/1b2bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP2PPP/R2Q1RK1 w - - 0 11",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PBQ1BPPP/R4RK1 w - - 0 11",
    "r1b2rk1/2q1bppp/p2p1n2/np2p3/3PP3/2P2N1P/PPB2PP1/RNBQR1K1 w - - 1 12",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19",
    "rq3rk1/ppp2ppp/1bnpb3/3N2B1/3NP3/7P/PPPQ1PP1/2KR3R w - - 7 14",
    "r1bbk1nr/pp3p1p/2n5/1N4p1/2Np1B2/8/PPP2PPP/2KR1B1R w kq - 0 13",
    "3r1rk1/p5pp/bpp1pp2/8/q1PP1P2/b3P3/P2NQRPP/1R2B1K1 b - - 6 22",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    // Tactics: checks and mates.
    "r1bqk2r/pppp1ppp/2n2n2/2b1p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/8/8/8/4k3/4p3/3K4 w - - 0 1",
    // Endgames.
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/4k3/3p4/3P4/4K3/8/8 w - - 0 1",
    "8/5pk1/6p1/8/5PPP/8/6K1/8 w - - 0 1",
    "6k1/5p2/6p1/8/7P/8/5PK1/3R4 w - - 0 1",
    "8/8/1p4k1/p1p2p2/P1P2P2/1P4K1/8/8 w - - 0 1",
    "2r3k1/5pp1/7p/8/8/7P/5PP1/3R2K1 w - - 0 1",
    "8/3k4/8/8/8/8/3KP3/8 w - - 0 1",
    // Promotions.
    "8/P7/8/8/8/8/k6K/8 w - - 0 1",
    "1k6/4P3/8/8/8/8/6p1/K7 w - - 0 1",
    "8/1P6/8/8/8/2k5/5p2/5K2 b - - 0 1",
};
constexpr int POSITION_COUNT = static_cast<int>(sizeof(positions) / sizeof(positions[0]));

// The position groups, as runs of the list above: a timed run reports the
// iterations reached per group as well as per position.
struct Group {
  const char* name;
  int first, count;
};
constexpr Group groups[] = {
    {"openings", 0, 5}, {"middlegames", 5, 11}, {"tactics", 16, 4}, {"endgames", 20, 7}, {"promotions", 27, 3}};
static_assert(POSITION_COUNT == 30, "the groups cover the 30 positions");

// The search of one position: the side to move's decision.
void search_position() { think(control.engine_side); }

}  // namespace

int whole_number(const char* text, int low, int high) {
  if (!*text) return -1;
  long v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    v = v * 10 + (*p - '0');
    if (v > high) return -1;
  }
  return v < low ? -1 : static_cast<int>(v);
}

uint64_t BenchResult::nodes_per_second() const {
  return static_cast<uint64_t>(seconds > 0 ? static_cast<double>(nodes) / seconds : 0);
}

bool prepare_bench(int threads) {
  free_tables();
  settings.hash_size_code = BENCH_HASH_SIZE_CODE;
  if (!allocate_tables()) {
    std::fprintf(stderr, "cannot allocate the hash tables\n");
    return false;
  }
  if (!quiet_standard_input()) {
    std::fprintf(stderr, "cannot replace standard input\n");
    return false;
  }
  if (set_search_threads(threads) != threads) {
    std::fprintf(stderr, "cannot start %d search threads\n", threads);
    return false;
  }
  return true;
}

bool run_bench(const BenchOptions& options, BenchResult* result) {
  // Only the searches are timed: clearing the tables for each position is
  // set-up, not search.
  *result = BenchResult{};
  int reached_at[POSITION_COUNT] = {};
  for (int n = 0; n < POSITION_COUNT; ++n) {
    const char* fen = positions[n];
    if (!setup_fen(fen)) {
      std::fprintf(stderr, "bad bench position: %s\n", fen);
      return false;
    }
    settings.book_enabled = 0;
    search_root.in_book = 0;
    control.post_thinking = 0;
    control.announce_move = 0;
    control.engine_side = (pos.game_ply & 1) ? -1 : 1;
    search_root.max_depth = static_cast<int16_t>(options.depth);
    game_clock.own_time = game_clock.opponent_time = BENCH_CLOCK_SECONDS;
    game_clock.own_time_cs = BENCH_CLOCK_SECONDS * 100;
    game_clock.time_increment = 0;
    game_clock.level_moves = 0;
    if (options.seconds > 0) {
      // A test search: a fixed deadline, nothing else.
      time_control.epd_mode = 1;
      time_control.epd_deadline = static_cast<int32_t>(clock_ticks()) + options.seconds * 60;
    }
    const auto start = std::chrono::steady_clock::now();
    if (!options.second_thread) {
      search_position();
    } else if (!run_on_seeded_thread(search_position)) {
      std::fprintf(stderr, "cannot start a second thread\n");
      return false;
    }
    result->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int reached = search_path.iteration_depth;
    reached_at[n] = reached;
    time_control.epd_mode = 0;
    // The main thread's count is kept to 32 bits, as it always was; the
    // helpers' add to it.
    const uint64_t nodes = static_cast<uint32_t>(search_path.search_nodes) +
                           static_cast<uint64_t>(search_node_total() - search_path.search_nodes);
    result->nodes += nodes;
    if (options.seconds > 0)
      std::printf("position %2d: iteration %2d, %10llu nodes  %s\n", n + 1, reached,
                  static_cast<unsigned long long>(nodes), fen);
    else
      std::printf("position %2d: %10llu nodes  %s\n", n + 1, static_cast<unsigned long long>(nodes), fen);
  }

  // In a timed run, the iterations reached per group: each position's
  // figure, then their mean.
  if (options.seconds > 0) {
    for (const Group& g : groups) {
      int sum = 0;
      std::printf("%-11s iterations", g.name);
      for (int i = g.first; i < g.first + g.count; ++i) {
        std::printf(" %d", reached_at[i]);
        sum += reached_at[i];
      }
      std::printf(", mean %.1f\n", static_cast<double>(sum) / g.count);
    }
  }
  return true;
}

void print_bench_totals(const BenchResult& result) {
  std::printf("Nodes searched: %llu\n", static_cast<unsigned long long>(result.nodes));
  std::printf("Nodes/second: %llu\n", static_cast<unsigned long long>(result.nodes_per_second()));
  const uint64_t hits = eval_cache.pawn_hash_hits, probes = eval_cache.pawn_hash_probes;
  std::printf("Pawn cache hits: %llu of %llu evaluations (%.1f%%)\n", static_cast<unsigned long long>(hits),
              static_cast<unsigned long long>(probes),
              probes ? 100.0 * static_cast<double>(hits) / static_cast<double>(probes) : 0.0);
}

int engine_bench(int count, char** args) {
  constexpr int EXIT_DATA = 1, EXIT_USAGE = 2;
  BenchOptions options;
  if (count > 1 || (count == 1 && (options.depth = whole_number(args[0], 1, BENCH_MAX_DEPTH)) < 0)) {
    std::fprintf(stderr, "usage: brevalt bench [DEPTH 1..%d]\n", BENCH_MAX_DEPTH);
    return EXIT_USAGE;
  }
  // Only the files the searches need: the move tables and the key values.
  choose_data_folder();
  if (!read_move_file()) {
    std::fprintf(stderr, "brevalt: can't read movefile\n");
    return EXIT_DATA;
  }
  build_reach_table();
  if (!read_hash_values()) {
    std::fprintf(stderr, "brevalt: can't read hash values\n");
    return EXIT_DATA;
  }
  if (!prepare_bench(1)) return EXIT_DATA;
  BenchResult result;
  if (!run_bench(options, &result)) return EXIT_DATA;
  print_bench_totals(result);
  std::printf("%llu nodes %llu nps\n", static_cast<unsigned long long>(result.nodes),
              static_cast<unsigned long long>(result.nodes_per_second()));
  free_tables();
  std::fflush(stdout);
  return 0;
}

}  // namespace brevalt

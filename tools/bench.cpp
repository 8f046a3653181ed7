// brevalt-bench [DEPTH | --time SECONDS] [--threads N] [--second-thread]:
// searches a fixed list of
// positions (openings, middlegames, endgames, checks, promotions), each
// with fresh tables, and prints one line per position. With a depth (the
// default is the signature depth) every search stops after that
// iteration, and the total node count is the engine's signature: any
// change to what the search or the evaluation does shows up in it. With
// --time each position gets that many seconds and the line shows the
// iteration reached, and a line per position group (openings, middlegames,
// tactics, endgames, promotions) sums them up. With --threads N the
// searches run on N threads, and the node counts are every thread's. With
// --second-thread each search runs on a thread of its own, started from a
// copy of the root state the main thread set up: with one thread its node
// count must be the signature, or some state of the search lives outside
// the records a search thread owns. The last lines are always
//   Nodes searched: N
//   Nodes/second: M
#include <cstdio>
#include <cstring>

#include "config/startup.h"
#include "perft_support.h"
#include "search/threads.h"
#include "testing/bench.h"

namespace {

constexpr int EXIT_USAGE = 2;
constexpr int EXIT_DATA = 1;

}  // namespace

int main(int argc, char** argv) {
  using namespace brevalt;
  // Step 1. Arguments.
  BenchOptions options;
  int threads = 1;
  bool usage = false, depth_given = false;
  for (int i = 1; i < argc && !usage; ++i) {
    if (std::strcmp(argv[i], "--time") == 0 && i + 1 < argc && options.seconds == 0 && !depth_given) {
      options.seconds = whole_number(argv[++i], 1, 3600);
      options.depth = BENCH_MAX_DEPTH;
      usage = options.seconds < 0;
    } else if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
      threads = whole_number(argv[++i], 1, MAX_SEARCH_THREADS);
      usage = threads < 0;
    } else if (std::strcmp(argv[i], "--second-thread") == 0) {
      options.second_thread = true;
    } else if (options.seconds == 0 && !depth_given) {
      options.depth = whole_number(argv[i], 1, BENCH_MAX_DEPTH);
      depth_given = true;
      usage = options.depth < 0;
    } else {
      usage = true;
    }
  }
  if (usage) {
    std::fprintf(stderr, "usage: brevalt-bench [DEPTH 1..%d | --time SECONDS] [--threads 1..%d] [--second-thread]\n",
                 BENCH_MAX_DEPTH, MAX_SEARCH_THREADS);
    return EXIT_USAGE;
  }

  // Step 2. The data files, the tables, and a standard input the input
  // poll never reads from.
  if (!tools::load_engine_data() || !prepare_bench(threads)) return EXIT_DATA;

  // Step 3. The searches and the signature lines.
  BenchResult result;
  if (!run_bench(options, &result)) return EXIT_DATA;
  print_bench_totals(result);
  free_tables();
  return 0;
}

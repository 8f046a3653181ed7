// Perft throughput: leaf nodes per second (items_per_second) of the
// legal-move walk from the start position at depth 5 and from the
// "Kiwipete" middlegame at depth 4.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "board/fen.h"
#include "search/perft.h"
#include "frontend/mainloop.h"
#include "core/platform.h"
#include "perft_support.h"

namespace {

// The two benchmark positions and depths.
constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr int START_DEPTH = 5;
constexpr const char* KIWIPETE_FEN = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
constexpr int KIWIPETE_DEPTH = 4;

// One timed perft per iteration; the leaves of all iterations become the
// items processed, so Google Benchmark reports leaves per second.
void run_perft(benchmark::State& state, const char* fen, int depth) {
  if (!brevalt::setup_fen(fen)) {
    state.SkipWithError("position refused");
    return;
  }
  // No search is running: the deadline test must never fire.
  brevalt::control.thinking = 0;
  uint64_t leaves = 0;
  for (auto _ : state) {
    const uint64_t n = brevalt::perft(depth);
    benchmark::DoNotOptimize(n);
    leaves += n;
  }
  state.SetItemsProcessed(static_cast<int64_t>(leaves));
}

void BM_PerftStart(benchmark::State& state) { run_perft(state, START_FEN, START_DEPTH); }
void BM_PerftKiwipete(benchmark::State& state) { run_perft(state, KIWIPETE_FEN, KIWIPETE_DEPTH); }

BENCHMARK(BM_PerftStart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerftKiwipete)->Unit(benchmark::kMillisecond);

}  // namespace

// The tables are loaded once; the input poll inside make_move must find an
// idle pipe, never the terminal.
int main(int argc, char** argv) {
  if (!brevalt::tools::load_engine_data()) return 1;
  if (!brevalt::quiet_standard_input()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

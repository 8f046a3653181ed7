// The engine's hot routines one by one (Google Benchmark), so that a change
// in speed shows at the routine where it happens: make and unmake, move
// generation in the normal and the quiescence mode, the static evaluation,
// and a whole fixed-depth search counted per node. Each reports items per
// second: moves made, moves generated (generation passes in quiescence),
// evaluations, nodes.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/legal.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "config/params.h"
#include "config/startup.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "core/platform.h"
#include "core/search_state.h"
#include "eval/eval.h"
#include "perft_support.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"

namespace {

using namespace brevalt;

// An opening, two middlegames and an ending.
constexpr const char* kPositions[] = {
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r2q1rk1/pp2ppbp/1np2np1/2Q3B1/3PP1b1/2N2N2/PP3PPP/3RKB1R b K - 3 11",
    "8/2R2pk1/6p1/7p/P6P/6P1/r4PK1/8 w - - 0 1",
};
constexpr int kPositionCount = sizeof(kPositions) / sizeof(kPositions[0]);

// The iteration depth of the node benchmark: a search of a few tenths of a second.
constexpr int kSearchDepth = 7;
constexpr int16_t kLongClock = 30000;

int side_to_move() { return (pos.game_ply & 1) ? BLACK : 0; }

// Sets up position i at ply 0 with the root's check state, as the root
// driver leaves it; false when the position is refused.
bool load(int i) {
  if (!setup_fen(kPositions[i])) return false;
  pos.ply = 0;
  pos.ply_sign = -1;
  pos.state_top = &pos.state_stack[0];
  pos.lists_frozen = 0;
  control.thinking = 0;
  const int side = side_to_move();
  const int32_t record[3] = {side >> 3, pos.king_square(side), END_OF_LIST};
  pos.in_check[1] = 0;
  pos.checker_square[1] = 0;
  if (square_attacked(record)) {
    pos.in_check[1] = 1;
    find_checkers(record);
  }
  return true;
}

// The legal moves of the loaded position.
int list_moves(LegalMove* out) {
  search_path.legal_count = 0;
  pos.lists_frozen = 1;
  generate_legal_moves(side_to_move());
  pos.lists_frozen = 0;
  for (int i = 0; i < search_path.legal_count; ++i) out[i] = search_path.legal_moves[i];
  return search_path.legal_count;
}

// Make and unmake of every legal move, as the search plays them.
void BM_MakeUnmake(benchmark::State& state) {
  if (!load(static_cast<int>(state.range(0)))) return state.SkipWithError("position refused");
  LegalMove moves[LEGAL_MOVES_SIZE];
  const int n = list_moves(moves);
  int64_t made = 0;
  pos.ply = 1;
  pos.state_top = &pos.state_stack[1];
  pos.state_stack[1] = pos.state_stack[0];
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      if (apply_search_move(moves[i].from, moves[i].to, MoveSource::generated).legal) unmake_move(Unmake::full);
      ++made;
    }
  }
  state.SetItemsProcessed(made);
}

// One generation pass of the side to move; normal or quiescence mode. The
// items are the moves generated in the normal mode and the passes in the
// quiescence mode (a quiet position has no capture to count).
void generate(benchmark::State& state, int16_t quiescence) {
  if (!load(static_cast<int>(state.range(0)))) return state.SkipWithError("position refused");
  pos.ply = 1;
  search_path.quiescence_mode = quiescence;
  search_path.horizon_qs = 0;
  search_path.nominal_depth = 8;  // deep enough for the quiet moves' threat keys
  int64_t generated = 0;
  for (auto _ : state) {
    const int n = generate_moves(side_to_move(), GenMode::regular);
    benchmark::DoNotOptimize(n);
    generated += quiescence ? 1 : n;
  }
  search_path.quiescence_mode = 0;
  state.SetItemsProcessed(generated);
}
void BM_GenerateNormal(benchmark::State& state) { generate(state, 0); }
void BM_GenerateQuiescence(benchmark::State& state) { generate(state, 1); }

// The full evaluation (no lazy exit: the window is wide and the depth low);
// the pawn cache hits after the first call, as it mostly does in a search.
void BM_Evaluate(benchmark::State& state) {
  if (!load(static_cast<int>(state.range(0)))) return state.SkipWithError("position refused");
  search_path.nominal_depth = 0;
  control.engine_side = 1;
  int64_t evaluated = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(evaluate(-MATE_SCORE, MATE_SCORE));
    ++evaluated;
  }
  state.SetItemsProcessed(evaluated);
}

// A fixed-depth search from fresh tables, as brevalt-bench runs it; the
// items are the nodes searched, so the rate is nodes per second.
void BM_SearchNodes(benchmark::State& state) {
  int64_t nodes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!load(static_cast<int>(state.range(0)))) return state.SkipWithError("position refused");
    settings.book_enabled = 0;
    search_root.in_book = 0;
    control.post_thinking = 0;
    control.announce_move = 0;
    control.engine_side = side_to_move() ? -1 : 1;
    search_root.max_depth = kSearchDepth;
    game_clock.own_time = game_clock.opponent_time = kLongClock;
    game_clock.own_time_cs = kLongClock * 100;
    game_clock.time_increment = 0;
    game_clock.level_moves = 0;
    state.ResumeTiming();
    think(control.engine_side);
    nodes += static_cast<uint32_t>(search_path.search_nodes);
  }
  state.SetItemsProcessed(nodes);
}

BENCHMARK(BM_MakeUnmake)->DenseRange(0, kPositionCount - 1);
BENCHMARK(BM_GenerateNormal)->DenseRange(0, kPositionCount - 1);
BENCHMARK(BM_GenerateQuiescence)->DenseRange(0, kPositionCount - 1);
BENCHMARK(BM_Evaluate)->DenseRange(0, kPositionCount - 1);
BENCHMARK(BM_SearchNodes)->DenseRange(0, kPositionCount - 1)->Unit(benchmark::kMillisecond);

}  // namespace

// Tables as the engine has them; an input poll that finds an idle pipe.
int main(int argc, char** argv) {
  if (!brevalt::tools::load_engine_data()) return 1;
  brevalt::settings.hash_size_code = 3;
  if (!brevalt::allocate_tables()) return 1;
  if (!brevalt::quiet_standard_input()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  brevalt::free_tables();
  return 0;
}

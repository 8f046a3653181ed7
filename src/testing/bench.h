// The bench: fixed positions searched to a fixed depth (or for a fixed
// time), each from a fresh game on fresh tables. With one thread at the
// signature depth its total node count is the engine's signature: any
// change to what the search or the evaluation does shows up in it. Run by
// brevalt-bench and by "brevalt bench", which print the same lines.
#pragma once

#include <cstdint>

namespace brevalt {

// The iteration depth of the signature, and the deepest a bench may ask for.
constexpr int BENCH_SIGNATURE_DEPTH = 9;
constexpr int BENCH_MAX_DEPTH = 40;

// A whole decimal number in [low, high] from a command line word; -1 for
// anything else (the bench's arguments, in both programs that run it).
int whole_number(const char* text, int low, int high);

struct BenchOptions {
  int depth = BENCH_SIGNATURE_DEPTH;
  // Seconds per position instead of a depth (0: the depth).
  int seconds = 0;
  // Each search on a thread of its own, started from a copy of the root
  // state the main thread set up.
  bool second_thread = false;
};

struct BenchResult {
  uint64_t nodes = 0;
  // Time spent searching, set-up left out.
  double seconds = 0;
  uint64_t nodes_per_second() const;
};

// The bench's tables (the hash size it always uses, any held before are
// given back), a standard input the input poll never reads from, and
// `threads` search threads. False, with one line on standard error, when
// one cannot be had.
bool prepare_bench(int threads);

// Searches every bench position, printing one line per position (and, in a
// timed run, one per position group). False, with one line on standard
// error, when a search cannot be run.
bool run_bench(const BenchOptions& options, BenchResult* result);

// The signature lines: "Nodes searched: N", "Nodes/second: M" and the pawn
// cache's hits.
void print_bench_totals(const BenchResult& result);

// "brevalt bench [DEPTH]": the data files found as the engine finds them
// at start-up (the built-in copies included), then the bench at DEPTH (the
// signature depth when no argument is given) on one thread, its lines, and
// last the total in the form engine testing frameworks read:
// "N nodes M nps". `args` are the arguments after "bench". Returns the
// program's exit status: 0, 1 when the data files cannot be read, 2 for a
// bad argument.
int engine_bench(int count, char** args);

}  // namespace brevalt

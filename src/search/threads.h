// Several search threads ("Lazy SMP"): helper threads search the main
// thread's root on the shared transposition tables, each with its own
// position, search path, history, killers, pawn cache and repetition
// table; the main thread alone reads input, watches the clock, prints and
// plays, and its own result is the one played. With one thread, the
// default, there are no helpers and the search is the single-threaded one.
#pragma once

#include <cstdint>

#include "core/threading.h"

namespace brevalt {

// The most search threads the engine runs (the main thread included).
constexpr int MAX_SEARCH_THREADS = 256;
// The most this build runs: one where it has no thread-local storage to
// give each thread its own records (core/threading.h).
constexpr int BUILD_MAX_SEARCH_THREADS = SEARCH_THREADS_AVAILABLE ? MAX_SEARCH_THREADS : 1;

// What a helper is told at the start of a search: the number of root
// moves (at the front of its copied root list) and the last iteration.
struct HelperTask {
  int root_count;
  int depth_limit;
};

// The search threads, the main one included: how many there are. Written
// by set_search_threads (the front end's options, the bench), only while
// no search runs; read by the front end and the bench.
int search_thread_count();

// Runs `wanted` search threads (1..MAX_SEARCH_THREADS; fewer where the
// build has no threads): starts or ends helper threads, each with its own
// tables allocated once. When a helper cannot be started (no memory for
// its tables, no thread to be had) the engine keeps those it has: the
// return value is the number now running. Called only while no search runs.
int set_search_threads(int wanted);

// Called by the main thread as its deepening starts: each helper copies
// the main thread's root state (position, path, evaluation tables and the
// game's repetition entries) and starts its own deepening. Returns once
// every helper has its copy, so the main thread may go on changing its own.
void start_helpers(const HelperTask& task);
// Called by the main thread as its deepening ends, before anything shared
// changes: stops the helpers and waits until every one is parked again.
// The stop request the main thread had is kept. Does nothing when no
// helper runs.
void stop_helpers();
// True from start_helpers to stop_helpers.
bool helpers_searching();

// The nodes of the running or last search, every thread's: the main
// thread's own count and what each helper last told (every thousand nodes
// while it searches, its final count once it has stopped).
int64_t search_node_total();
// Forgets the helpers' counts of the last search (a search made of
// several, which adds their totals itself).
void forget_helper_nodes();

// Runs fn on a fresh thread that starts from a copy of the calling
// thread's position, search path and evaluation tables, with tables of
// its own, and copies its records back when fn returns: any state of a
// search that is not in those records shows as a difference in what fn
// computes. For tests; false when no thread could be started.
bool run_on_seeded_thread(void (*fn)());

}  // namespace brevalt

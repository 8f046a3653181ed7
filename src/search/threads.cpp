// The helper search threads: started once, parked between searches on a
// condition variable, woken by the main thread at the start of each
// deepening with a copy of its root state, and stopped and parked again
// before the main thread changes anything they read.
#include "search/threads.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "board/node_calls.h"
#include "core/assert.h"
#include "core/board_state.h"
#include "core/control.h"
#include "core/platform.h"
#include "core/search_state.h"
#include "core/threading.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "search/root.h"
#include "search/tables.h"

namespace brevalt {

namespace {

// One helper search thread; its records are thread-local, its own.
struct HelperThread {
  std::thread thread;
  // 1 for the first helper; the main thread is 0.
  int index = 0;
  // The thread asks for its tables as it starts: 1 when it has them, -1
  // when not (it then ends at once), 0 until it knows.
  int started = 0;
  // Set to make a parked helper end.
  bool exit_requested = false;
  // The nodes of its running or last search, told every thousand nodes.
  std::atomic<int64_t> nodes{0};
};

// The pool: the helpers, and what the main thread and the helpers tell
// each other. Written and read under `mutex` but for the node counts and
// the thread-local pointers of the helper running on this thread. One
// instance, thread_pool, made on first use and never destroyed: helpers
// parked at the end of the process still wait on its condition variable.
struct ThreadPool {
  std::mutex mutex;
  // Helpers wait here for a search or the request to end.
  std::condition_variable wake;
  // The main thread waits here for the helpers' copies and their stop.
  std::condition_variable done;
  HelperThread* helpers[MAX_SEARCH_THREADS - 1] = {};
  int helper_count = 0;
  // Counts the searches started; a helper searches once per new value.
  uint64_t generation = 0;
  HelperTask task{};
  // Where the main thread's records are, for the helpers' copies.
  const Position* main_position = nullptr;
  const SearchPath* main_path = nullptr;
  const EvalCache* main_eval = nullptr;
  // Helpers that have copied the root state of this search, and those
  // still searching.
  int seeded = 0;
  int searching = 0;
  bool running = false;
};

ThreadPool& pool() {
  static ThreadPool* const instance = new ThreadPool;
  return *instance;
}

// The helper running on this thread, null on the main thread.
constinit BREVALT_THREAD_LOCAL HelperThread* this_helper = nullptr;

// Step 1 of a helper's search: its records become copies of the main
// thread's, but for what it owns itself: its tables (the pawn cache,
// emptied when the main thread's was, and the repetition table, into which
// the game's entries are copied), its state pointer and its role.
void seed_from(const Position& main_position, const SearchPath& main_path, const EvalCache& main_eval) {
  PawnHashEntry* const own_pawns = eval_cache.pawn_hash;
  if (main_eval.pawn_hash_clears != eval_cache.pawn_hash_clears && own_pawns)
    std::memset(own_pawns, 0, sizeof(PawnHashEntry) * PAWN_HASH_ENTRIES);
  const uint64_t probes = eval_cache.pawn_hash_probes, hits = eval_cache.pawn_hash_hits;
  eval_cache = main_eval;
  eval_cache.pawn_hash = own_pawns;
  eval_cache.pawn_hash_probes = probes;
  eval_cache.pawn_hash_hits = hits;

  RepEntry* const own_repetitions = search_path.repetition_table;
  const uint8_t role = search_path.helper_thread;
  search_path = main_path;
  search_path.repetition_table = own_repetitions;
  search_path.helper_thread = role;
  if (own_repetitions && main_path.repetition_table)
    std::memcpy(own_repetitions, main_path.repetition_table, sizeof(RepEntry) * REPETITION_ENTRIES);

  pos = main_position;
  pos.state_top = &pos.state_stack[main_position.state_top - &main_position.state_stack[0]];
}

// A thread's own tables, asked for as it starts; false when one is refused.
bool allocate_own_tables() {
  eval_cache.pawn_hash = static_cast<PawnHashEntry*>(allocate_table_memory(PAWN_HASH_ENTRIES * sizeof(PawnHashEntry)));
  search_path.repetition_table = static_cast<RepEntry*>(allocate_table_memory(REPETITION_ENTRIES * sizeof(RepEntry)));
  return eval_cache.pawn_hash && search_path.repetition_table;
}

void free_own_tables() {
  free_table_memory(eval_cache.pawn_hash);
  eval_cache.pawn_hash = nullptr;
  free_table_memory(search_path.repetition_table);
  search_path.repetition_table = nullptr;
}

// The life of a helper: its tables, then search after search until it is
// told to end.
void helper_main(HelperThread* self) {
  ThreadPool& p = pool();
  this_helper = self;
  pos.state_top = &pos.state_stack[0];
  search_path.helper_thread = 1;
  const bool ok = allocate_own_tables();
  // The searches started so far are not this helper's: it waits for the next.
  uint64_t seen = 0;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    self->started = ok ? 1 : -1;
    seen = p.generation;
  }
  p.done.notify_all();
  if (!ok) {
    free_own_tables();
    return;
  }
  for (;;) {
    HelperTask task;
    const Position* main_position;
    const SearchPath* main_path;
    const EvalCache* main_eval;
    {
      std::unique_lock<std::mutex> lock(p.mutex);
      p.wake.wait(lock, [&] { return self->exit_requested || p.generation != seen; });
      if (self->exit_requested) break;
      seen = p.generation;
      task = p.task;
      main_position = p.main_position;
      main_path = p.main_path;
      main_eval = p.main_eval;
    }
    // The main thread waits, its records unchanged, until every helper has
    // its copy; the helpers copy side by side.
    seed_from(*main_position, *main_path, *main_eval);
    self->nodes.store(0, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(p.mutex);
      ++p.seeded;
    }
    p.done.notify_all();
    helper_deepen(self->index, task);
    self->nodes.store(search_path.search_nodes, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(p.mutex);
      --p.searching;
    }
    p.done.notify_all();
  }
  free_own_tables();
}

// Ends the last helper; the pool is parked.
void end_last_helper(ThreadPool& p) {
  HelperThread* h = p.helpers[p.helper_count - 1];
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    h->exit_requested = true;
  }
  p.wake.notify_all();
  h->thread.join();
  delete h;
  p.helpers[--p.helper_count] = nullptr;
}

// Starts one more helper; false when it cannot be had.
bool add_helper(ThreadPool& p) {
  HelperThread* h = new (std::nothrow) HelperThread;
  if (!h) return false;
  h->index = p.helper_count + 1;
  try {
    h->thread = std::thread(helper_main, h);
  } catch (const std::system_error&) {
    delete h;
    return false;
  }
  int started = 0;
  {
    std::unique_lock<std::mutex> lock(p.mutex);
    p.done.wait(lock, [&] { return h->started != 0; });
    started = h->started;
  }
  if (started < 0) {
    h->thread.join();
    delete h;
    return false;
  }
  p.helpers[p.helper_count++] = h;
  return true;
}

}  // namespace

void publish_helper_nodes(int64_t node_count) {
  if (this_helper) this_helper->nodes.store(node_count, std::memory_order_relaxed);
}

int search_thread_count() { return pool().helper_count + 1; }

int set_search_threads(int wanted) {
  ThreadPool& p = pool();
  BREVALT_ASSERT(!p.running);
  if (wanted < 1) wanted = 1;
  if (wanted > BUILD_MAX_SEARCH_THREADS) wanted = BUILD_MAX_SEARCH_THREADS;
  while (p.helper_count + 1 > wanted) end_last_helper(p);
  while (p.helper_count + 1 < wanted && add_helper(p)) {
  }
  return p.helper_count + 1;
}

void start_helpers(const HelperTask& task) {
  ThreadPool& p = pool();
  if (p.helper_count == 0) return;
  BREVALT_ASSERT(!p.running && !search_path.helper_thread);
  {
    std::unique_lock<std::mutex> lock(p.mutex);
    p.task = task;
    p.main_position = &pos;
    p.main_path = &search_path;
    p.main_eval = &eval_cache;
    p.seeded = 0;
    p.searching = p.helper_count;
    ++p.generation;
    p.running = true;
    p.wake.notify_all();
    p.done.wait(lock, [&] { return p.seeded == p.helper_count; });
  }
}

void stop_helpers() {
  ThreadPool& p = pool();
  if (!p.running) return;
  const int32_t kept = control.stop_search;
  control.stop_search = 1;
  {
    std::unique_lock<std::mutex> lock(p.mutex);
    p.done.wait(lock, [&] { return p.searching == 0; });
    p.running = false;
  }
  control.stop_search = kept;
}

bool helpers_searching() { return pool().running; }

int64_t search_node_total() {
  const ThreadPool& p = pool();
  int64_t total = search_path.search_nodes;
  for (int i = 0; i < p.helper_count; ++i) total += p.helpers[i]->nodes.load(std::memory_order_relaxed);
  return total;
}

void forget_helper_nodes() {
  const ThreadPool& p = pool();
  for (int i = 0; i < p.helper_count; ++i) p.helpers[i]->nodes.store(0, std::memory_order_relaxed);
}

bool run_on_seeded_thread(void (*fn)()) {
  if (!SEARCH_THREADS_AVAILABLE) return false;
  Position* const main_position = &pos;
  SearchPath* const main_path = &search_path;
  EvalCache* const main_eval = &eval_cache;
  bool ok = false;
  try {
    std::thread worker([&] {
      pos.state_top = &pos.state_stack[0];
      if (!allocate_own_tables()) {
        free_own_tables();
        return;
      }
      // The worker plays the main thread's part: its role is copied too.
      search_path.helper_thread = main_path->helper_thread;
      seed_from(*main_position, *main_path, *main_eval);
      // The pawn cache too, entry for entry, and its counts: a hit or a
      // miss must be the same as on the calling thread.
      std::memcpy(eval_cache.pawn_hash, main_eval->pawn_hash, sizeof(PawnHashEntry) * PAWN_HASH_ENTRIES);
      eval_cache.pawn_hash_probes = main_eval->pawn_hash_probes;
      eval_cache.pawn_hash_hits = main_eval->pawn_hash_hits;
      fn();
      // Back to the calling thread, its own tables kept: the worker's
      // repetition entries are the game's, as the caller's were.
      RepEntry* const worker_repetitions = search_path.repetition_table;
      search_path.repetition_table = main_path->repetition_table;
      std::memcpy(main_path->repetition_table, worker_repetitions, sizeof(RepEntry) * REPETITION_ENTRIES);
      PawnHashEntry* const worker_pawns = eval_cache.pawn_hash;
      std::memcpy(main_eval->pawn_hash, worker_pawns, sizeof(PawnHashEntry) * PAWN_HASH_ENTRIES);
      eval_cache.pawn_hash = main_eval->pawn_hash;
      *main_path = search_path;
      *main_eval = eval_cache;
      *main_position = pos;
      main_position->state_top = &main_position->state_stack[pos.state_top - &pos.state_stack[0]];
      search_path.repetition_table = worker_repetitions;
      eval_cache.pawn_hash = worker_pawns;
      free_own_tables();
      ok = true;
    });
    worker.join();
  } catch (const std::system_error&) {
    return false;
  }
  return ok;
}

}  // namespace brevalt

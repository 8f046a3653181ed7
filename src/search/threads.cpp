// The helper search threads: started once, parked between searches on a
// condition variable each, woken by the main thread at the start of each
// deepening to copy the snapshot it took of its root state, and stopped
// and parked again before the main thread changes anything they read.
// Starting a search costs the main thread one copy of its records,
// whatever the number of helpers; only as many helpers search as the
// machine has cores besides the main thread's, so that the main thread,
// which watches the clock, is never starved of one.
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
#include "core/game_state.h"
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
  // Where it waits, parked, for a search or the request to end: one of its
  // own, so that waking the helpers that search leaves the others asleep.
  std::condition_variable wake;
  // The nodes of its running or last search, told every thousand nodes.
  std::atomic<int64_t> nodes{0};
  // The repetition slots it was seeded with (or the whole table): the
  // entries it clears before its next seed. Its own thread's alone.
  int32_t seeded_slots[GAME_MOVES_SIZE + 1] = {};
  int seeded_count = 0;
  bool seeded_whole_table = false;
};

// What every helper copies at the start of a search, taken once by the
// main thread so that it need not wait while each helper copies: its
// position, search path and evaluation records, and the repetition entries
// of the game (those of the positions in the game record, or, in a game
// longer than the record, the whole table).
struct Snapshot {
  Position position;
  SearchPath path;
  EvalCache eval;
  int32_t slots[GAME_MOVES_SIZE + 1];
  RepEntry entries[GAME_MOVES_SIZE + 1];
  int count = 0;
  // Set when the game outgrew its record: the whole table is in `table`.
  bool whole_table = false;
  RepEntry* table = nullptr;
};

// The pool: the helpers, and what the main thread and the helpers tell
// each other. Written and read under `mutex` but for the node counts and
// the thread-local pointers of the helper running on this thread. One
// instance, thread_pool, made on first use and never destroyed: helpers
// parked at the end of the process still wait on its condition variable.
struct ThreadPool {
  std::mutex mutex;
  // The main thread waits here for the helpers to start and to stop.
  std::condition_variable done;
  HelperThread* helpers[MAX_SEARCH_THREADS - 1] = {};
  int helper_count = 0;
  // Counts the searches started; a helper searches once per new value.
  uint64_t generation = 0;
  HelperTask task{};
  // The root state of the running search; rewritten only while every
  // helper is parked.
  Snapshot* snapshot = nullptr;
  // The helpers that search: the first `active` (as many as the machine
  // has cores besides the main thread's); the others stay parked.
  int active = 0;
  // The machine's cores, as the standard library tells them (0: unknown).
  int cores = 0;
  // Helpers of this search still searching.
  int searching = 0;
  bool running = false;
};

ThreadPool& pool() {
  static ThreadPool* const instance = [] {
    ThreadPool* p = new ThreadPool;
    p->cores = static_cast<int>(std::thread::hardware_concurrency());
    return p;
  }();
  return *instance;
}

// How many of `helpers` search: one per core besides the main thread's,
// all of them when the number of cores is unknown.
int helpers_to_run(int helpers, int cores) {
  if (cores <= 0) return helpers;
  return helpers < cores - 1 ? helpers : cores - 1;
}

// The helper running on this thread, null on the main thread.
constinit BREVALT_THREAD_LOCAL HelperThread* this_helper = nullptr;

// Step 1 of a helper's search: its records become copies of the main
// thread's, but for what it owns itself: its tables (the pawn cache,
// emptied when the main thread's was, and the repetition table, filled
// apart), its state pointer and its role.
void seed_records(const Position& main_position, const SearchPath& main_path, const EvalCache& main_eval) {
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

  pos = main_position;
  pos.state_top = &pos.state_stack[main_position.state_top - &main_position.state_stack[0]];
}

// Step 2: the game's repetition entries. A helper's table holds nothing
// else between searches (every node of a search takes its own entry out
// again as it returns), so the entries of the last seed are all there is
// to clear.
void seed_repetitions(HelperThread& self, const Snapshot& snap) {
  RepEntry* const table = search_path.repetition_table;
  if (!table) return;
  if (self.seeded_whole_table) std::memset(table, 0, sizeof(RepEntry) * REPETITION_ENTRIES);
  else
    for (int i = 0; i < self.seeded_count; ++i) table[self.seeded_slots[i]] = RepEntry{};
  self.seeded_whole_table = snap.whole_table;
  self.seeded_count = 0;
  if (snap.whole_table) {
    std::memcpy(table, snap.table, sizeof(RepEntry) * REPETITION_ENTRIES);
    return;
  }
  for (int i = 0; i < snap.count; ++i) {
    table[snap.slots[i]] = snap.entries[i];
    self.seeded_slots[self.seeded_count++] = snap.slots[i];
  }
}

// The main thread's part: its records and the game's repetition entries
// into the snapshot, once for all helpers.
void take_snapshot(Snapshot& snap) {
  snap.position = pos;
  snap.position.state_top = &snap.position.state_stack[pos.state_top - &pos.state_stack[0]];
  snap.path = search_path;
  snap.eval = eval_cache;
  snap.count = game_repetition_slots(snap.slots, GAME_MOVES_SIZE + 1);
  snap.whole_table = snap.count < 0;
  if (snap.whole_table) {
    snap.count = 0;
    if (snap.table && search_path.repetition_table)
      std::memcpy(snap.table, search_path.repetition_table, sizeof(RepEntry) * REPETITION_ENTRIES);
    else if (snap.table)
      std::memset(snap.table, 0, sizeof(RepEntry) * REPETITION_ENTRIES);
    return;
  }
  for (int i = 0; i < snap.count; ++i) snap.entries[i] = search_path.repetition_table[snap.slots[i]];
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
    const Snapshot* snap;
    {
      std::unique_lock<std::mutex> lock(p.mutex);
      // Only a helper counted among the searching ones may search: one that
      // woke spuriously for a search it was not given would end it once
      // more than counted, and the main thread would wait for ever.
      self->wake.wait(lock, [&] { return self->exit_requested || (p.generation != seen && p.running && self->index <= p.active); });
      if (self->exit_requested) break;
      seen = p.generation;
      task = p.task;
      snap = p.snapshot;
    }
    // The snapshot stays as it is until this helper has told its stop
    // below. A search stopped before this helper woke is not worth a copy.
    self->nodes.store(0, std::memory_order_relaxed);
    if (!control.stop_search) {
      seed_records(snap->position, snap->path, snap->eval);
      seed_repetitions(*self, *snap);
      helper_deepen(self->index, task);
      self->nodes.store(search_path.search_nodes, std::memory_order_relaxed);
    }
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
  h->wake.notify_all();
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
  // The snapshot with the whole repetition table beside it, for a game
  // longer than its record; asked for once, with the first helper.
  if (wanted > 1 && !p.snapshot) {
    Snapshot* snap = new (std::nothrow) Snapshot;
    if (snap) {
      snap->table = static_cast<RepEntry*>(allocate_table_memory(REPETITION_ENTRIES * sizeof(RepEntry)));
      if (!snap->table) {
        delete snap;
        snap = nullptr;
      }
    }
    if (!snap) return p.helper_count + 1;
    p.snapshot = snap;
  }
  while (p.helper_count + 1 < wanted && add_helper(p)) {
  }
  return p.helper_count + 1;
}

void start_helpers(const HelperTask& task) {
  ThreadPool& p = pool();
  const int active = helpers_to_run(p.helper_count, p.cores);
  if (active == 0) return;
  BREVALT_ASSERT(!p.running && !search_path.helper_thread);
  // Every helper is parked: the snapshot is the main thread's to write.
  take_snapshot(*p.snapshot);
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.task = task;
    p.active = active;
    p.searching = active;
    ++p.generation;
    p.running = true;
  }
  for (int i = 0; i < active; ++i) p.helpers[i]->wake.notify_one();
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
      seed_records(*main_position, *main_path, *main_eval);
      if (main_path->repetition_table)
        std::memcpy(search_path.repetition_table, main_path->repetition_table, sizeof(RepEntry) * REPETITION_ENTRIES);
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

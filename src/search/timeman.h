// Time management: the allotment per move and the deadline test that runs
// from inside the search. All times here are clock ticks (17 ms, 60 of
// them taken as one second); the protocol's clocks are whole seconds.
#pragma once

#include <cstdint>

#include "board/node_calls.h"
#include "core/platform.h"

namespace brevalt {

// Clock ticks taken as one second (core/platform.h's clock_ticks).
constexpr int32_t TICKS_PER_SECOND = 60;

// Limits of one search beside the clocks: those of a UCI "go", and the
// fixed time per move of CECP's "st". All zero when the clocks alone decide.
struct SearchLimits {
  // Stop once this many nodes are made (0: no limit). The count is looked
  // at every few thousand nodes, so a search may run a little past it.
  int64_t nodes;
  // A fixed time per move ("movetime", "st"): stop at this millisecond,
  // whatever the iteration.
  uint8_t has_fixed_deadline;
  uint64_t fixed_deadline_ms;
  // No clock to watch: "infinite", a ponder search until "ponderhit", or a
  // search bounded by depth, nodes or a fixed time alone.
  uint8_t untimed;
  // Moves to play before the next time control, this one included (UCI's
  // "movestogo"); 0 when the game ply decides as under CECP's "level".
  int32_t moves_to_go;
  // The opening book stays shut: analysis and searches bounded by depth,
  // nodes or a move list want a searched answer.
  uint8_t no_book;
  // An analysis: searched at full strength whatever level is set.
  uint8_t analysis;
};

// What a new game starts afresh of the time control: the first move's
// allotment, the previous move's score, and no test search.
struct TimeGameStart {
  // Ticks allotted to the current move.
  int32_t move_time = 600;
  // Score reported with the engine's previous move; 0 when none.
  int16_t prev_move_score{};
  // A test search runs: stop at epd_deadline instead of the game clock.
  int32_t epd_mode{};
};

// The time and limits of the running search: the allotment and its
// deadlines, when it started, the limits a command set, the test run's own
// deadline, and the clock sources (replaceable by tests). Written by time
// management as a search starts, by the root driver as it extends or cuts
// the time, by the test runner (its own deadline), and by the front end as
// it sets limits and by the resets; read by the clock tests of the node
// poll, the root driver and the output lines.
struct TimeControl : TimeGameStart {
  // The tick at which the move's allotment runs out.
  int32_t deadline{};
  // 0..4: how far the search may overrun (0 forbids extensions).
  int32_t time_mode{};
  // Tick at which the current search started.
  int32_t search_start{};
  // Iteration at which the deadline was extended; 0 = not extended.
  int16_t extended_at{};
  // While extended, the search may stop once the root score is back here.
  int16_t score_floor{};
  int32_t epd_deadline{};
  // Last-resort limit of a search on the engine's own clock: never past an
  // eighth of the clock (at least 0.1 s) from its end, and, where a short
  // moves-per-control clock raised the allotment to its floor, not past the
  // search's share of the clock over the moves left in the period.
  int32_t hard_deadline{};
  SearchLimits search_limits{};
  // The tick source of the time decisions (the system clock; tests replace it).
  uint32_t (*time_source)() = clock_ticks;
  // The millisecond source of the limits that must be met to the millisecond
  // (the system clock; tests and fuzzers replace it).
  uint64_t (*ms_source)() = clock_ms;
  // Millisecond at which the current search started.
  uint64_t search_start_ms{};
  // A fast clock (under a minute, or an increment that is not whole seconds)
  // is allotted in milliseconds: the search stops at soft_deadline_ms once
  // its first iteration is done. The tables made for long clocks decide
  // otherwise, and fast_clock is 0.
  uint8_t fast_clock{};
  uint64_t soft_deadline_ms{};
};

extern TimeControl time_control;

// True when tick `now` lies after `limit`. Ticks are compared by their
// difference, so a counter that wraps around does not end the world.
inline bool tick_passed(int32_t now, int32_t limit) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(limit)) > 0;
}

// Turns the clocks into move_time, deadline and time_mode.
void allot_time();
// The search that allot_time budgeted began this many ticks ago (a ponder
// search that became the engine's own): its deadlines count from then.
void charge_earlier_start(int32_t ticks);
// Halves the allotment of the move in hand (a lone recapture).
void halve_allotment();
// The part of a fixed move time of `ms` milliseconds the search may use:
// the rest is held back for the way of the move to the interface.
int64_t fixed_time_budget(int64_t ms);
// check_for_stop, the deadline test that make_move runs every few thousand
// nodes while the engine thinks on its own time, is declared in
// board/node_calls.h.

}  // namespace brevalt

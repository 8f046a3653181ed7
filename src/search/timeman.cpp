// Time management. allot_time turns the protocol's clocks into a budget
// for one move by fixed tables (sudden death, increment, moves per
// control), adjusted for the opponent's clock; check_for_stop, called from
// inside the search, stops it at the deadline, lets it finish the root
// move in hand, or extends the deadline when the score is falling or the
// best move keeps changing.
#include "search/timeman.h"

#include <iterator>

#include "board/makemove.h"
#include "board/position.h"
#include "core/control.h"
#include "core/platform.h"
#include "search/root.h"
#include "search/threads.h"

namespace brevalt {

TimeControl time_control;


namespace {

// Increment games: the budget in ticks by the own clock in seconds.
struct ClockStep {
  int32_t below;  // own clock below this many seconds
  int32_t ticks;
};
constexpr ClockStep increment_table[] = {{10, 60},   {20, 180},  {30, 180},  {40, 240},
                                         {50, 240},  {60, 300},  {90, 360},  {120, 360},
                                         {180, 420}, {240, 480}, {300, 600}};
// From here on a share of the clock: T / 25 seconds below 1200 s, then T / 22 less 20 s.
constexpr int32_t INCREMENT_SHARE_BELOW = 1200;
constexpr int32_t INCREMENT_SHARE = 25, INCREMENT_LONG_SHARE = 22, INCREMENT_LONG_LESS = 1200;
// Part of the increment itself is spent when the clock is not short.
constexpr int32_t INCREMENT_SPEND_ABOVE = 20;

// Sudden death: the budget in ticks by the own clock in seconds.
constexpr ClockStep sudden_death_table[] = {{8, 0},     {15, 60},   {30, 60},   {60, 120},
                                            {120, 240}, {180, 360}, {240, 420}, {300, 480}};
constexpr int32_t SUDDEN_DEATH_SHARE_BELOW = 1200;
constexpr int32_t SUDDEN_DEATH_SHARE = 33, SUDDEN_DEATH_LONG_SHARE = 40;

// Moves per control: the last moves of a period get no extensions, and
// the move that completes it may spend nearly all of what is left.
constexpr int32_t LAST_MOVES = 4;
constexpr int32_t MIN_CONTROL_BUDGET = 30;
constexpr int32_t EARLY_CONTROL_MOVES = 10;
constexpr int32_t EARLY_CONTROL_TRIM = 180;

// Extension rules: score drops (|score| below, drop more than, floor below
// the previous score) that earn one more move_time.
struct ScoreDrop {
  int32_t score_below;
  int32_t drop;
  int32_t floor_offset;
};
constexpr ScoreDrop score_drops[] = {{100, 20, 5}, {250, 33, 10}, {550, 70, 15}};
constexpr int32_t UNSTABLE_BEST_MOVES = 2;
constexpr int32_t FAIL_LOW_FLOOR_OFFSET = 10;

// Hard limits of an extended search, in seconds or ticks.
constexpr int32_t EXTENDED_MIN_LEFT = 20;
constexpr int32_t EXTENDED_MAX_TICKS = 18000;
constexpr int32_t EXTENDED_MAX_ITERATIONS = 4;

// The last-resort limit: the reserve kept on the clock.
constexpr int32_t HARD_RESERVE_TICKS = 6;

// Fast clocks, in milliseconds. The tables above count whole seconds: an
// increment below a second counts as nothing there, and below 8 s of
// sudden death they allot nothing at all. A clock under a minute, or one
// whose increment is not whole seconds, is spent instead as a share of
// what is left plus most of the increment, which comes back after the move.
constexpr int64_t FAST_CLOCK_BELOW_MS = 60000;
constexpr int64_t MS_PER_SECOND = 1000;
constexpr int64_t FAST_MOVES_TO_GO = 25;
constexpr int64_t FAST_INCREMENT_SHARE_NUM = 3, FAST_INCREMENT_SHARE_DEN = 4;
// Never more than this share of what is left on one move.
constexpr int64_t FAST_MOST_OF_CLOCK_DEN = 2;
constexpr int64_t MS_PER_TICK = 17;

// Moves of the period left after this one under a moves-per-control
// clock; n when this move completes the period. The interface may say how
// many remain (UCI's movestogo, this move included); otherwise the game
// ply tells, counted from the start of the game.
int32_t moves_left_in_period(int32_t n) {
  if (time_control.search_limits.moves_to_go > 0) {
    const int32_t g = time_control.search_limits.moves_to_go - 1;
    return g == 0 ? n : g;
  }
  return n - ((pos.game_ply + 2) / 2) % n;
}

// The moves the own clock must still last under a moves-per-control
// clock, this one included: the rest of the period.
int32_t moves_to_last(int32_t n) {
  const int32_t g = moves_left_in_period(n);
  return g == n ? 1 : g + 1;
}

int32_t table_lookup(const ClockStep* table, int n, int32_t t, int32_t* found) {
  for (int i = 0; i < n; ++i)
    if (t < table[i].below) {
      *found = 1;
      return table[i].ticks;
    }
  *found = 0;
  return 0;
}

}  // namespace

void allot_time() {
  const int32_t t = game_clock.own_time, o = game_clock.opponent_time, inc = game_clock.time_increment;
  // A moves-per-control count of zero or below is sudden death.
  const int32_t n = game_clock.level_moves > 0 ? game_clock.level_moves : 0;
  int32_t d = 0, found = 0;
  // The allotment raised to its floor of half a second: over the moves
  // left in the period it may add up to more than the clock holds.
  bool floor_raised = false;

  if (inc > 0) {
    // Step 1. Increment.
    time_control.time_mode = 1;
    d = table_lookup(increment_table, std::size(increment_table), t, &found);
    if (!found)
      d = t < INCREMENT_SHARE_BELOW ? (t / INCREMENT_SHARE) * TICKS_PER_SECOND
                                    : (t / INCREMENT_LONG_SHARE) * TICKS_PER_SECOND - INCREMENT_LONG_LESS;
    if (t > INCREMENT_SPEND_ABOVE) {
      if (inc > 2) d += TICKS_PER_SECOND * inc - 120;
      else if (inc == 2) d += TICKS_PER_SECOND;
    }
  } else if (n == 0) {
    // Step 2. Sudden death.
    time_control.time_mode = 1;
    d = table_lookup(sudden_death_table, std::size(sudden_death_table), t, &found);
    if (!found)
      d = t < SUDDEN_DEATH_SHARE_BELOW ? (t / SUDDEN_DEATH_SHARE) * TICKS_PER_SECOND
                                       : (t / SUDDEN_DEATH_LONG_SHARE) * TICKS_PER_SECOND;
  } else {
    // Step 3. Moves per control: g moves remain in the period.
    int32_t g = moves_left_in_period(n);
    const int32_t tm = t > 1 ? t - 1 : t;
    d = (tm / (g + 1)) * TICKS_PER_SECOND;
    if (g == n) {
      if (tm > 60) {
        const int32_t minutes = tm / 60 < 10 ? tm / 60 : 10;
        d = TICKS_PER_SECOND * tm - 300 * minutes;
      } else if (tm > 12) {
        d = TICKS_PER_SECOND * tm - 240;
      } else {
        d = TICKS_PER_SECOND * tm - 50;
      }
      time_control.time_mode = 0;
      if (d >= TICKS_PER_SECOND) d -= TICKS_PER_SECOND;
      g = 0;
    } else if (g < LAST_MOVES) {
      time_control.time_mode = 0;
      if (d >= TICKS_PER_SECOND) d -= TICKS_PER_SECOND;
    } else {
      time_control.time_mode = 1;
    }
    if (d < MIN_CONTROL_BUDGET) {
      d = MIN_CONTROL_BUDGET;
      floor_raised = true;
    }
    else if (g > EARLY_CONTROL_MOVES && tm > 60 && d > 600) d -= EARLY_CONTROL_TRIM;
  }

  // Step 4. The opponent's clock: ahead on time, think longer; behind,
  // shorter (in sudden death).
  if (time_control.time_mode != 0) {
    if (t > o) {
      time_control.time_mode = 4;
      d += ((t - o) / 10) * TICKS_PER_SECOND;
    } else {
      time_control.time_mode = t < 60 ? 2 : 3;
      if (n == 0 && d >= TICKS_PER_SECOND) {
        // A flag-fall leaves a negative clock: the ratio must never divide by 0.
        const int32_t divisor = o + 1 > 1 ? o + 1 : 1;
        const int32_t ratio = 100 * t / divisor;
        if (ratio < 50) d -= d / 2;
        else if (ratio < 75) d -= d / 3;
        else d -= d / 4;
      }
    }
  }

  // Step 5. The allotment: a little less when the own clock is nearly out
  // and behind the opponent's.
  time_control.move_time = (d >= 30 && t < 5 && t < o) ? d - 20 : d;
  const int32_t now = static_cast<int32_t>(time_control.time_source());
  const uint64_t now_ms = time_control.ms_source();

  // Step 6. A fast clock is budgeted to the millisecond instead: a share of
  // what is left after the overhead, plus most of the increment.
  const int64_t own_ms = static_cast<int64_t>(game_clock.own_time_cs) * 10;
  time_control.fast_clock = n == 0 && (own_ms < FAST_CLOCK_BELOW_MS || game_clock.time_increment_ms % MS_PER_SECOND != 0);
  if (time_control.fast_clock) {
    const int64_t available = own_ms - game_clock.move_overhead_ms;
    int64_t soft = 0;
    const int64_t increment = game_clock.time_increment_ms > 0 ? game_clock.time_increment_ms : 0;
    if (available > 0) {
      soft = available / FAST_MOVES_TO_GO + increment * FAST_INCREMENT_SHARE_NUM / FAST_INCREMENT_SHARE_DEN;
      if (soft > available / FAST_MOST_OF_CLOCK_DEN) soft = available / FAST_MOST_OF_CLOCK_DEN;
    }
    time_control.soft_deadline_ms = now_ms + static_cast<uint64_t>(soft);
    time_control.move_time = static_cast<int32_t>(soft / MS_PER_TICK);
    time_control.time_mode = 1;
  }
  time_control.deadline = now + time_control.move_time;

  // Step 7. A fixed time per move ("st") replaces the clocks. A UCI "go"
  // and a CECP analysis set their own limits, which stand.
  const bool own_limits = control.uci_mode || control.analysis_mode;
  if (game_clock.fixed_move_ms > 0 && !own_limits) {
    time_control.search_limits.has_fixed_deadline = 1;
    time_control.search_limits.fixed_deadline_ms = now_ms + static_cast<uint64_t>(fixed_time_budget(game_clock.fixed_move_ms));
    time_control.search_limits.untimed = 1;
  } else if (!own_limits) {
    time_control.search_limits.has_fixed_deadline = 0;
    time_control.search_limits.untimed = 0;
  }
  game_clock.frequent_stop_tests = time_control.fast_clock || time_control.search_limits.has_fixed_deadline;

  // The last-resort limit. Whatever the rules below allow (extensions, the
  // softened stop, the root fail-low time), a search never uses the last
  // eighth of what is really on the clock (at least a tenth of a second).
  // Where the allotment had to be raised to its floor under a short
  // moves-per-control clock (40 moves in 15 s), the pace of the tables
  // would run the clock out before the period ends: there the search also
  // stops once it has used its share of the clock over the moves left.
  // With nothing to spare it stops at its first look at the clock.
  const int32_t left_ticks = game_clock.own_time_cs > 0 ? game_clock.own_time_cs * TICKS_PER_SECOND / 100 : 0;
  int32_t reserve = left_ticks / 8 > HARD_RESERVE_TICKS ? left_ticks / 8 : HARD_RESERVE_TICKS;
  const int32_t overhead_ticks = static_cast<int32_t>(game_clock.move_overhead_ms / MS_PER_TICK);
  if (reserve < overhead_ticks) reserve = overhead_ticks;
  int32_t hard = left_ticks - reserve;
  if (floor_raised) {
    const int32_t share = left_ticks / moves_to_last(n);
    if (share < hard) hard = share;
  }
  time_control.hard_deadline = hard > 0 ? now + hard : now - 1;

  // Step 8. A fixed time per move is still played on the interface's
  // clock: "st 1" with 0.6 s left must not spend the full second, or the
  // flag falls. The clock's last-resort limit bounds it.
  if (time_control.search_limits.has_fixed_deadline && !own_limits && game_clock.own_time_cs > 0) {
    const uint64_t clock_limit_ms = now_ms + static_cast<uint64_t>(hard > 0 ? hard : 0) * MS_PER_TICK;
    if (clock_limit_ms < time_control.search_limits.fixed_deadline_ms) time_control.search_limits.fixed_deadline_ms = clock_limit_ms;
  }
}

int64_t fixed_time_budget(int64_t ms) {
  if (ms <= 0) return 0;
  const int64_t held_back = game_clock.move_overhead_ms < ms / 2 ? game_clock.move_overhead_ms : ms / 2;
  return ms - held_back;
}

void charge_earlier_start(int32_t ticks) {
  if (ticks <= 0) return;
  time_control.deadline -= ticks;
  const uint64_t ms = static_cast<uint64_t>(ticks) * MS_PER_TICK;
  if (time_control.fast_clock) time_control.soft_deadline_ms = time_control.soft_deadline_ms > ms ? time_control.soft_deadline_ms - ms : 0;
}

void halve_allotment() {
  time_control.move_time /= 2;
  time_control.deadline = static_cast<int32_t>(time_control.time_source()) + time_control.move_time;
  if (time_control.fast_clock) {
    const uint64_t now_ms = time_control.ms_source();
    if (time_control.soft_deadline_ms > now_ms) time_control.soft_deadline_ms = now_ms + (time_control.soft_deadline_ms - now_ms) / 2;
  }
}

void check_for_stop() {
  // Step 1. Test searches stop at their own fixed time.
  if (time_control.epd_mode) {
    if (tick_passed(static_cast<int32_t>(time_control.time_source()), time_control.epd_deadline)) control.stop_search = 1;
    return;
  }

  // Step 2. The own clock, the tick now and the running iteration.
  const int32_t t = game_clock.own_time;
  const int32_t now = static_cast<int32_t>(time_control.time_source());

  const int32_t d = search_path.iteration_depth;

  // Limits set besides the clock: a node count and a fixed move time end
  // the search at once, its first iteration done; a search without a
  // clock (infinite, pondering) answers to none of the clock rules below.
  if (d > 1 && ((time_control.search_limits.nodes > 0 && search_node_total() >= time_control.search_limits.nodes) ||
                (time_control.search_limits.has_fixed_deadline && time_control.ms_source() >= time_control.search_limits.fixed_deadline_ms))) {
    control.stop_search = 1;
    return;
  }
  if (time_control.search_limits.untimed) return;
  const int32_t elapsed = now - time_control.search_start;
  const int32_t left = t - elapsed / TICKS_PER_SECOND;

  // The clock itself comes before every rule below; only the first
  // iteration, a matter of a millisecond or two, always completes, so that
  // even the last moment brings a searched move.
  if (tick_passed(now, time_control.hard_deadline) && d > 1) {
    control.stop_search = 1;
    return;
  }

  // A fast clock has no extensions: its allotment is already most of what
  // can be spent.
  if (time_control.fast_clock) {
    if (d > 1 && time_control.ms_source() >= time_control.soft_deadline_ms) control.stop_search = 1;
    return;
  }

  // Step 3. An extended search with little time left on the clock, while
  // its deadline is still ahead.
  if (time_control.extended_at != 0 && tick_passed(time_control.deadline, now)) {
    if (d > 6 && left < 6) control.stop_search = 1;
  }

  // Step 4. The deadline has passed.
  if (!tick_passed(now, time_control.deadline) || d <= 4 || control.stop_search) return;
  if (time_control.extended_at != 0) {
    // Already extended: stop, unless the score has not recovered, within
    // the hard limits.
    bool stop = true;
    if (time_control.score_floor > search_root.root_best_score || search_root.fail_low_active)
      stop = elapsed > time_control.move_time * time_control.time_mode || left < EXTENDED_MIN_LEFT ||
             time_control.extended_at < d - EXTENDED_MAX_ITERATIONS || elapsed > EXTENDED_MAX_TICKS;
    if (stop) control.stop_search = 1;
    return;
  }

  const int32_t n = game_clock.level_moves > 0 ? game_clock.level_moves : 0;
  bool stop = (t < 8 && game_clock.time_increment == 0 && n == 0) || left < 4 || d <= 6 || time_control.time_mode == 0;
  if (!stop) {
    const int32_t s = search_root.root_best_score;
    const int32_t a = s < 0 ? -s : s;
    const int32_t p = time_control.prev_move_score;
    bool extend = false;
    int32_t floor = 0;
    for (size_t i = 0; i < std::size(score_drops) && !extend; ++i) {
      if (a < score_drops[i].score_below && p != 0 && s + score_drops[i].drop < p) {
        extend = true;
        floor = p - score_drops[i].floor_offset;
        if (i == 0) time_control.time_mode = 2;
      }
    }
    if (!extend && search_root.best_move_changes > UNSTABLE_BEST_MOVES && t > 5) {
      extend = true;
      floor = p;
      search_root.best_move_changes = 0;
    }
    if (!extend && search_root.fail_low_active) {
      extend = true;
      floor = p - FAIL_LOW_FLOOR_OFFSET;
    }
    if (extend) {
      time_control.deadline += time_control.move_time;
      time_control.extended_at = static_cast<int16_t>(d);
      time_control.score_floor = static_cast<int16_t>(floor);
    } else {
      stop = true;
    }
  }
  if (!stop) return;
  // A stop with time to spare is softened: finish the root move in hand.
  if (time_control.time_mode != 0 && t > 10 && search_root.root_moves_searched > 1) {
    search_root.stop_at_root_move = 1;
    time_control.deadline += time_control.move_time;
    time_control.extended_at = static_cast<int16_t>(d);
    time_control.score_floor = -10000;
  } else {
    control.stop_search = 1;
  }
}

}  // namespace brevalt

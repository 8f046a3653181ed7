// CECP analysis mode: the searches of the analysed position and the
// status line. An analysis search is the root driver's own search with
// the limits of an endless one, as a UCI "go infinite" has them: no
// clock to watch, no book, the depth ceiling as the only limit of its
// own. What ends it is a command that changes the position (the
// interpreter holds it back and stops the search), "exit", the end of
// the input, or a forced mate; the root driver prints its lines whatever
// "post" says and neither plays a move nor declares a result while
// analysis_mode is set.
#include "frontend/analysis.h"

#include <cstdio>

#include "board/makemove.h"
#include "core/board_state.h"
#include "core/control.h"
#include "frontend/mainloop.h"
#include "game/output.h"
#include "search/root.h"
#include "search/timeman.h"

namespace brevalt {

int16_t analysis_depth_ceiling = 40;

namespace {

// Centiseconds per millisecond of the status line's time.
constexpr uint64_t MS_PER_CENTISECOND = 10;

// A search of the analysed position is due.
bool search_due = false;
// Set while an analysis search runs.
bool searching = false;
// The depth limit of the game's searches ("sd"), kept aside while an
// analysis search runs to its own ceiling.
int16_t game_depth_limit = 0;

// The figures of the last analysis search, for a "." that arrives once
// it has ended on its own (a mate found, the ceiling reached), or before
// the search of a new position has begun. All zero for a position the
// engine refused and for one with no move.
struct StatusFigures {
  long long centiseconds = 0;
  long long nodes = 0;
  int depth = 0;
  int left = 0;
  int total = 0;
};
StatusFigures last_figures;

// The root moves of the running (or last) search: the root driver keeps
// them in the move list of ply 1, ended by an empty slot.
int root_moves_listed() {
  int n = 0;
  while (n < MOVE_ROW - 1 && move_list[1][n].from != NO_SQUARE) ++n;
  return n;
}

// The figures of the search in progress. The root moves not yet started
// in this iteration are the moves left; the one in hand is named apart.
StatusFigures live_figures() {
  StatusFigures f;
  f.total = root_moves_listed();
  f.centiseconds = static_cast<long long>((ms_source() - search_start_ms) / MS_PER_CENTISECOND);
  f.nodes = search_nodes;
  f.depth = iteration_depth;
  f.left = f.total - root_moves_searched;
  if (f.left < 0) f.left = 0;
  return f;
}

}  // namespace

void enter_analysis() {
  analysis_mode = 1;
  force_mode = 1;
  announce_move = 0;
  search_due = false;
  last_figures = StatusFigures{};
}

void leave_analysis() {
  analysis_mode = 0;
  force_mode = 1;
  search_due = false;
}

void request_analysis_search(bool position_playable) {
  search_due = position_playable;
  // Until the search of the new position begins, "." tells of none: no
  // time, nodes or depth yet, all its moves left. A position the engine
  // refused has no figures at all.
  last_figures = StatusFigures{};
  if (position_playable) last_figures.total = last_figures.left = legal_move_count();
}

bool analysis_search_due() { return analysis_mode && search_due; }

bool analysis_search_running() { return searching; }

void set_game_depth_limit(int16_t depth) { game_depth_limit = depth; }

void run_analysis_search() {
  // Step 1. Nothing to search once the interface has gone.
  search_due = false;
  if (input_has_ended()) return;

  // Step 2. The limits of an endless search, as UCI's "go infinite" has
  // them; the game's own depth limit waits aside.
  game_depth_limit = max_depth;
  search_limits = SearchLimits{};
  search_limits.untimed = 1;
  search_limits.no_book = 1;
  search_limits.analysis = 1;
  max_depth = analysis_depth_ceiling;

  // Step 3. The side to move searches: the root driver searches for the
  // side the engine plays, and reports scores from that side's view.
  const int side = (game_ply & 1) == 0 ? WHITE_SIDE : BLACK_SIDE;
  engine_side = static_cast<int16_t>(sign_of_side(side));
  stop_search = 0;
  searching = true;
  think(side);
  searching = false;

  // Step 4. What "." shows until the next search: the figures as the
  // search left them, every root move of its last iteration done.
  StatusFigures f = live_figures();
  if (f.total == 0) f = StatusFigures{};
  f.left = 0;
  last_figures = f;

  // Step 5. The game's limits again.
  search_limits = SearchLimits{};
  max_depth = game_depth_limit;
}

void print_analysis_status() {
  // Step 1. The figures: live while the search runs, else the last ones.
  const StatusFigures f = searching ? live_figures() : last_figures;

  // Step 2. The root move in hand, in coordinates as the interface sends
  // moves: the root move is made at ply 1, so from ply 1 on it stands in
  // the ply record there (a promotion already as the queen it becomes).
  char move[8] = "";
  if (searching && ply >= 1) {
    const PlyRecord& r = ply_stack[1];
    if (r.from < 64 && r.to < 64) uci_move_text(search_root_board, PvEntry{r.from, r.to, r.moved, 0}, move);
  }
  std::printf("stat01: %lld %lld %d %d %d%s%s\n", f.centiseconds, f.nodes, f.depth, f.left, f.total,
              move[0] ? " " : "", move);
}

}  // namespace brevalt

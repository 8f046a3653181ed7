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
#include "search/threads.h"
#include "search/timeman.h"

namespace brevalt {


namespace {

// Centiseconds per millisecond of the status line's time.
constexpr uint64_t MS_PER_CENTISECOND = 10;



// The root moves of the running (or last) search: the root driver keeps
// them in the move list of ply 1, ended by an empty slot.
int root_moves_listed() {
  int n = 0;
  while (n < MOVE_ROW - 1 && pos.move_list[1][n].from != NO_SQUARE) ++n;
  return n;
}

// The figures of the search in progress. The root moves not yet started
// in this iteration are the moves left; the one in hand is named apart.
StatusFigures live_figures() {
  StatusFigures f;
  f.total = root_moves_listed();
  f.centiseconds = static_cast<long long>((time_control.ms_source() - time_control.search_start_ms) / MS_PER_CENTISECOND);
  f.nodes = search_node_total();
  f.depth = search_path.iteration_depth;
  f.left = f.total - search_root.root_moves_searched;
  if (f.left < 0) f.left = 0;
  return f;
}

}  // namespace

void clear_exclusions() { search_root.root_exclusion.count = 0; }

void restart_analysis_search() {
  if (!control.analysis_mode) return;
  if (protocol.searching) {
    // The board is the search's: the new search is due once it has
    // unwound, on the position it started from.
    protocol.search_due = true;
    control.stop_search = 1;
    return;
  }
  request_analysis_search(!protocol.position_refused);
}

void enter_analysis() {
  clear_exclusions();
  control.analysis_mode = 1;
  control.force_mode = 1;
  control.announce_move = 0;
  protocol.search_due = false;
  protocol.last_figures = StatusFigures{};
}

void leave_analysis() {
  // Exclusions belong to the analysis: a game searches every move.
  clear_exclusions();
  control.analysis_mode = 0;
  control.force_mode = 1;
  protocol.search_due = false;
}

namespace {
// The moves the next search of the analysed position will search: its
// legal moves less those excluded. Only while no search owns the board.
int searchable_move_count() {
  note_interface_position();
  const InterfacePosition& at = search_root.interface_position;
  const RootRestriction& out = search_root.root_exclusion;
  int n = 0;
  for (int i = 0; i < at.count; ++i) {
    bool excluded = false;
    for (int k = 0; k < out.count; ++k) excluded = excluded || (out.from[k] == at.moves[i].from && out.to[k] == at.moves[i].to);
    if (!excluded) ++n;
  }
  return n;
}
}  // namespace

void request_analysis_search(bool position_playable) {
  protocol.search_due = position_playable;
  // Until the search of the new position begins, "." tells of none: no
  // time, nodes or depth yet, all its moves left. A position the engine
  // refused has no figures at all.
  protocol.last_figures = StatusFigures{};
  if (position_playable) protocol.last_figures.total = protocol.last_figures.left = searchable_move_count();
}

bool analysis_search_due() { return control.analysis_mode && protocol.search_due; }

bool analysis_search_running() { return protocol.searching; }

void set_game_depth_limit(int16_t depth) { protocol.game_depth_limit = depth; }

void run_analysis_search() {
  // Step 1. Nothing to search once the interface has gone.
  protocol.search_due = false;
  if (input_has_ended()) return;

  // Step 2. The limits of an endless search, as UCI's "go infinite" has
  // them; the game's own depth limit waits aside.
  protocol.game_depth_limit = search_root.max_depth;
  time_control.search_limits = SearchLimits{};
  time_control.search_limits.untimed = 1;
  time_control.search_limits.no_book = 1;
  time_control.search_limits.analysis = 1;
  search_root.max_depth = protocol.analysis_depth_ceiling;
  // The lines shown, each searched with its exact score; the game's
  // single line again afterwards.
  const int16_t lines_wanted = search_root.root_lines_wanted, lines_shown = search_root.root_lines_shown;
  search_root.root_lines_wanted = search_root.root_lines_shown = protocol.analysis_lines;

  // Step 3. The side to move searches: the root driver searches for the
  // side the engine plays, and reports scores from that side's view.
  const int side = (pos.game_ply & 1) == 0 ? WHITE_SIDE : BLACK_SIDE;
  control.engine_side = static_cast<int16_t>(sign_of_side(side));
  control.stop_search = 0;
  protocol.searching = true;
  think(side);
  protocol.searching = false;

  // Step 4. What "." shows until the next search: the figures as the
  // search left them, every root move of its last iteration done.
  // A search of another set of moves that is due already (the moves to
  // search changed meanwhile) has none of these figures yet.
  StatusFigures f = live_figures();
  if (f.total == 0) f = StatusFigures{};
  f.left = 0;
  protocol.last_figures = f;
  if (protocol.search_due) request_analysis_search(!protocol.position_refused);

  // Step 5. The game's limits again.
  time_control.search_limits = SearchLimits{};
  search_root.max_depth = protocol.game_depth_limit;
  search_root.root_lines_wanted = lines_wanted;
  search_root.root_lines_shown = lines_shown;
}

void print_analysis_status() {
  // Step 1. The figures: live while the search runs, else the last ones.
  const StatusFigures f = protocol.searching ? live_figures() : protocol.last_figures;

  // Step 2. The root move in hand, in coordinates as the interface sends
  // moves: the root move is made at ply 1, so from ply 1 on it stands in
  // the ply record there (a promotion already as the queen it becomes).
  char move[8] = "";
  if (protocol.searching && pos.ply >= 1) {
    const PlyRecord& r = pos.ply_stack[1];
    if (r.from < 64 && r.to < 64) uci_move_text(search_root.search_root_board, PvEntry{r.from, r.to, r.moved, 0}, move);
  }
  std::printf("stat01: %lld %lld %d %d %d%s%s\n", f.centiseconds, f.nodes, f.depth, f.left, f.total,
              move[0] ? " " : "", move);
}

}  // namespace brevalt

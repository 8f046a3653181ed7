// The top level: start-up, the main loop that reads commands while the
// engine is idle and starts the root driver when it has to move, and the
// input poll that the search calls so that commands arriving during a
// search are interpreted at once, on the same thread.
#include "frontend/mainloop.h"

#include <cstdio>
#include <cstring>

#include "board/position.h"
#include "board/reset.h"
#include "config/startup.h"
#include "core/platform.h"
#include "frontend/analysis.h"
#include "frontend/interpreter.h"
#include "frontend/uci.h"
#include "game/play.h"
#include "search/root.h"
#include "search/timeman.h"

namespace brevalt {

Protocol protocol;


// Input is looked at every this many nodes while the engine thinks on its
// own time; while pondering, at every call.
namespace {
constexpr int32_t POLL_INTERVAL = 100000;
// Passes the main loop makes without reading while a search flag is still up.
constexpr int IDLE_PASS_LIMIT = 10;
}  // namespace

bool read_input_line() {
  // One line of input, of which the first 79 characters are kept, with the
  // line end when it fits. The rest of an over-long line is dropped: run
  // as a command of its own it could play a move or end the engine. A line
  // ended by CR LF (an interface built for another system) is taken as if
  // it ended by LF alone, whatever its length.
  int n = 0;
  int c;
  bool any = false;
  while ((c = std::getc(stdin)) != EOF) {
    any = true;
    if (c == '\r') {
      const int next = std::getc(stdin);
      if (next == '\n') c = '\n';
      else if (next != EOF) std::ungetc(next, stdin);
    }
    if (n < INPUT_LINE_SIZE - 1) protocol.input_line[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  protocol.input_line[n] = '\0';
  return any;
}


bool input_has_ended() { return protocol.input_closed; }


static void read_or_quit() {
  if (!read_input_line()) {
    if (!search_root.search_running) shutdown();
    protocol.input_closed = true;
    if (!control.thinking || time_control.epd_mode || control.analysis_mode) control.stop_search = 1;
    return;
  }
  if (!protocol.first_command_read) {
    const char* p = protocol.input_line;
    while (*p == ' ' || *p == '\t' || *p == '\n') ++p;
    if (*p) {
      protocol.first_command_read = true;
      if (!search_root.search_running && is_uci_opening(protocol.input_line)) uci_session();
    }
  }
  interpret_command();
}

void start_new_game() {
  std::memcpy(pos.board, start_board, sizeof(pos.board));
  sync_piece_sets();
  new_game();
  register_start_position();
  search_root.max_depth = NEW_GAME_MAX_DEPTH;
  control.engine_side = -1;
}

void poll_input(int64_t node_count) {
  // Step 1. The cheap test: a flag and a remainder. An analysis looks at
  // every call, as a ponder search does: the interface waits on it for
  // "." and for the moves the user makes.
  if (protocol.input_closed || control.input_poll_held) return;
  if (!control.pondering && !control.analysis_mode && node_count != 0 && node_count % POLL_INTERVAL != 0) return;
  if (control.uci_mode) {
    uci_poll();
    return;
  }
  // Step 2. A line held back during an earlier search is looked at again
  // once that search has ended (a ping held while the engine thought on
  // its move is answered in the ponder search that follows the move).
  // While a line waits, nothing more is read: commands keep their order.
  if (line_is_held()) {
    if (!held_search_has_ended()) return;
    take_held_line();
    interpret_command();
    if (line_is_held()) return;
  }
  // Step 3. Only a line that is already waiting is read: the search must
  // never block on its input.
  if (input_waiting()) read_or_quit();
}

void main_loop() {
  // Step 1. Unbuffered streams: the interface sees every line at once, and
  // no command sits in a stdio buffer where the input poll cannot see it.
  prepare_standard_streams();

  // Steps 2 to 5. Protocol state, the files the engine loads, a new game,
  // and no pondering until the interface asks for it.
  clear_protocol_state();
  start_up();
  start_new_game();
  control.ponder_enabled = 0;

  // Step 6. The loop. countdown is 3 when a move request is seen and counts
  // down to the pass on which the root driver is called, so that a request
  // is taken up without reading input in between.
  int idle_passes = 0;
  int countdown = 0;
  for (;;) {
    // Pass step 1. A closed input ends the engine; the countdown to the
    // root driver runs on.
    if (protocol.input_closed) shutdown();
    if (countdown > 0) --countdown;
    for (;;) {
      // Pass step 2. A "memory" or "cores" that a search held back is served now that
      // the search is over, before anything else starts one.
      ++idle_passes;
      serve_held_settings();
      // Pass steps 3 and 4. A pending reset runs before the request is served.
      if (control.move_request) {
        countdown = 3;
        idle_passes = 0;
        control.move_request = 0;
        if (control.reset_request) {
          deferred_reset();
        } else {
          --countdown;
          continue;
        }
      } else if (control.reset_request) {
        deferred_reset();
      }
      // Pass step 5. A search flag still up: a few passes without reading.
      bool read_now;
      if (countdown != 0) {
        read_now = idle_passes > IDLE_PASS_LIMIT;
      } else {
        if ((control.thinking || control.pondering) && idle_passes <= IDLE_PASS_LIMIT) continue;
        read_now = true;
      }
      // Pass step 6. A line held back during the last search comes before
      // anything new. An analysis searches the position it was given once
      // no more input is waiting: an interface sends a take-back of several
      // moves as several "undo" lines, and the positions between are not
      // the one it shows.
      if (read_now) {
        if (take_held_line()) interpret_command();
        else if (analysis_search_due() && !input_waiting()) run_analysis_search();
        else read_or_quit();
        idle_passes = 0;
      }
      // Pass step 7. The root driver is called once per request, never in force mode.
      if (countdown == 1) {
        if (!control.force_mode) think(control.engine_side);
        if (protocol.input_closed) shutdown();
        --countdown;
        continue;
      }
      break;
    }
  }
}

}  // namespace brevalt

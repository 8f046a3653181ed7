// The resets per game and per search. They clear the state of every
// layer (board, evaluation, search, game, front end), so they live above
// all of them; board/reset.h declares them for the callers below.
#include "board/reset.h"

#include <cstring>

#include "board/makemove.h"
#include "board/position.h"
#include "core/control.h"
#include "core/game_state.h"
#include "core/search_state.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "game/play.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"

namespace brevalt {



void reset_search_state() {
  // Step 1. Search flags: the path's, the stop request, the root's stops.
  static_cast<PathFlags&>(search_path) = PathFlags{};
  static_cast<RootStops&>(search_root) = RootStops{};
  control.stop_search = 0;
  control.thinking = 0;
  time_control.extended_at = 0;

  // Step 2. The castling rook's square and the root's piece counts.
  pos.castle_rook_to = 0;
  pos.white_piece_count = pos.black_piece_count = 0;

  // Steps 3 and 4. Killers (slot rows and scratch rows) and history.
  for (auto& row : search_path.killer_table)
    for (auto& k : row) k = KillerEntry{NO_SQUARE, NO_SQUARE, 0, {}};
  for (auto& h : search_path.history_table) h = 1;

  // Step 5. Per-ply search marks; row 0 belongs to the last completed iteration.
  for (int p = 1; p < MAX_PLY; ++p) {
    search_path.pv_length[p] = 0;
    search_path.pv_valid[p] = 0;
    pos.in_check[p] = 0;
    pos.checker_square[p] = 0;
  }

  // Step 6. Ply records keep only the move fields.
  for (auto& r : pos.ply_stack) {
    const PlyMove move = r;
    r = PlyRecord{};
    static_cast<PlyMove&>(r) = move;
    r.captured_index = NO_INDEX;
  }

  // Step 7. Positions visited only inside searches are forgotten; those
  // that occurred in the game keep their key and count.
  if (search_path.repetition_table) {
    for (int32_t i = 0; i < REPETITION_ENTRIES; ++i) {
      RepEntry& e = search_path.repetition_table[i];
      if (e.game_count == 0) {
        e.key_lo = e.key_hi = 0;
        e.side = 0;
      }
      e.search_count = 0;
    }
  }
}

namespace {
// new_game, with or without emptying the transposition tables and the pawn
// cache: a UCI interface sends the whole game again before every search,
// and what the tables learned about it still holds.
void reset_game(bool clear_search_tables);
}  // namespace

void new_game() { reset_game(true); }

void new_game_keeping_tables() { reset_game(false); }

namespace {
void reset_game(bool clear_search_tables) {
  // A "new" that arrived during a search was deferred to this reset: it
  // still wants the start position on the board.
  const bool start_position = protocol.reset_to_start_position != 0;

  // Step 1. The game's point: the board stays (a set-up position is loaded
  // after the reset), side, counters, en passant and castling start afresh.
  GamePoint fresh{};
  std::memcpy(fresh.board, start_position ? start_board : pos.board, sizeof(fresh.board));
  static_cast<GamePoint&>(pos) = fresh;
  pos.promo_pawn = 0;
  if (start_position) {
    sync_piece_sets();
    search_root.max_depth = NEW_GAME_MAX_DEPTH;
    protocol.reset_to_start_position = 0;
  }

  // Step 2. The game record, the pondering bookkeeping, the game's control
  // flags and the match clock (the protocol's flags stay).
  game_record = GameRecord{};
  static_cast<GameControl&>(control) = GameControl{};
  static_cast<MatchClock&>(game_clock) = MatchClock{};

  // Step 3. The time control's and the search path's per-game state; the
  // book state from the setting.
  static_cast<TimeGameStart&>(time_control) = TimeGameStart{};
  // The search counter stamps the ages of the transposition entries and
  // the pawn cache's generations: tables that are kept keep counting, so
  // that the searches of a UCI game (which sends its position again before
  // each of them) age the entries of earlier ones as a CECP game does.
  // Only a reset that empties the tables starts the count again.
  const uint8_t search_id = search_path.search_id;
  static_cast<PathGameStart&>(search_path) = PathGameStart{};
  if (!clear_search_tables) search_path.search_id = search_id;
  search_root.last_book_ply = 0;
  search_root.in_book = settings.book_enabled != 0 ? 1 : 0;

  // Step 4. The per-search state.
  reset_search_state();

  // Steps 5 and 6. Every hash table; the game's repetition counts always.
  if (clear_search_tables) {
    clear_transposition_tables();
    clear_pawn_hash();
  }
  if (search_path.repetition_table) std::memset(search_path.repetition_table, 0, sizeof(RepEntry) * REPETITION_ENTRIES);

  // Step 7. Principal variations.
  for (auto& row : search_path.pv_table)
    for (auto& e : row) e = PvEntry{NO_SQUARE, NO_SQUARE, 0, 0};

  // Step 8. Move lists.
  std::memset(pos.move_list, 0, sizeof(pos.move_list));

  // Step 9. The queen's table of the evaluation.
  std::memset(eval_cache.queen_table, 0, sizeof(eval_cache.queen_table));

  // Step 10. The state records; the current one is the first.
  std::memset(pos.state_stack, 0, sizeof(pos.state_stack));
  pos.state_top = &pos.state_stack[0];

  // The deferred "new" starts its game from the start position, which
  // counts as the game's first position.
  if (start_position) register_start_position();
}
}  // namespace

void deferred_reset() {
  if (protocol.reset_to_start_position) {
    // CECP's "new" during a search: a game of ordinary chess, unless a
    // "variant" follows.
    if (!control.uci_mode) control.chess960 = 0;
    new_game();
    return;
  }
  // The final position stays the engine's board: keep what a new game
  // would otherwise take from it, so that a later "go" or move is played
  // by the side that is really to move there.
  const int side_to_move = pos.game_ply & 1;
  const CastlingCounters counters = pos.state_stack[0];
  const BoardRights rights = pos;
  new_game();
  // The king and rook move counters; no search result carries over.
  static_cast<CastlingCounters&>(pos.state_stack[0]) = counters;
  static_cast<BoardRights&>(pos) = rights;
  game_record.game_ep_black_pawn = pos.ep_black_pawn;
  game_record.game_ep_white_pawn = pos.ep_white_pawn;
  if (side_to_move) {
    // As for a set-up position with Black to move: the white move that
    // was never played stands first in the record, and undo stops there.
    pos.game_ply = 1;
    game_record.game_moves[0].from = NO_SQUARE;
  }
  register_start_position();
}

}  // namespace brevalt

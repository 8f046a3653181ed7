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
#include "game/play.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"

namespace brevalt {

// Defaults of a new game: the engine plays Black with these clocks and
// ratings until the interface says otherwise.
namespace {
constexpr int32_t NEW_GAME_OWN_RATING = 2640;
constexpr int32_t NEW_GAME_OPPONENT_RATING = 2641;
constexpr int16_t NEW_GAME_OWN_TIME = 2000;      // seconds
constexpr int16_t NEW_GAME_OPPONENT_TIME = 200;  // seconds
constexpr int32_t NEW_GAME_MOVE_TIME = 600;      // ticks
constexpr int16_t NEW_GAME_KILLER_SLOTS = 4;
constexpr int16_t SEARCH_PLY_LIMIT = 60;
constexpr int16_t NEW_GAME_MAX_DEPTH = 40;
}  // namespace

int16_t reset_to_start_position;

void reset_search_state() {
  // Step 1. Search flags.
  search_path.null_move_allowed = 1;
  control.stop_search = 0;
  control.thinking = 0;
  search_path.quiescence_mode = 0;
  search_path.first_qs_generation = 0;
  search_path.horizon_qs = 0;
  search_path.draw_flag = 0;
  pos.castle_rook_to = 0;
  pos.white_piece_count = pos.black_piece_count = 0;
  time_control.extended_at = 0;

  // Step 2. Root fail-low state and the ply limit.
  search_root.fail_low_active = search_root.fail_low_score = search_root.fail_low_from = search_root.fail_low_to = search_root.fail_low_depth = 0;
  search_root.stop_at_root_move = 0;
  search_path.max_search_ply = SEARCH_PLY_LIMIT;

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
    uint8_t from = r.from, to = r.to, moved = r.moved, captured = r.captured;
    r = PlyRecord{};
    r.from = from;
    r.to = to;
    r.moved = moved;
    r.captured = captured;
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
  // Step 1. The first state record.
  pos.state_top = &pos.state_stack[0];
  *pos.state_top = StateRecord{};

  // Step 2. En passant and castling.
  pos.ep_black_pawn = pos.ep_white_pawn = 0;
  game_record.game_ep_black_pawn = game_record.game_ep_white_pawn = 0;
  pos.white_castled = pos.black_castled = 0;

  // A "new" that arrived during a search was deferred to this reset: it
  // still wants the start position on the board.
  const bool start_position = reset_to_start_position != 0;
  if (reset_to_start_position) {
    std::memcpy(pos.board, start_board, sizeof(pos.board));
    sync_piece_sets();
    search_root.max_depth = NEW_GAME_MAX_DEPTH;
    reset_to_start_position = 0;
  }

  // Step 3. Front-end flags, and the pondering bookkeeping of the game.
  control.promotion_letter = 0;
  control.pondering = 0;
  game_record.user_move_pending = 0;
  game_record.reply_ready = 0;
  game_record.prediction_on_board = 0;
  game_record.ponder_hit = 0;
  game_record.resign_count = 0;
  game_record.game_resigned = 0;
  game_record.next_prediction_from = game_record.next_prediction_to = NO_SQUARE;
  control.move_request = 0;
  control.reset_request = 0;
  game_clock.opponent_is_computer = 0;

  // Step 4. Game and search state.
  game_record.game_fifty_counter = 0;
  pos.promo_pawn = 0;
  game_record.expected_from = game_record.expected_to = 0;
  time_control.epd_mode = 0;
  game_record.predicted_from = game_record.predicted_to = NO_SQUARE;
  search_path.horizon_qs = 0;
  search_path.root_to = NO_SQUARE;
  search_path.root_piece_retreats = 0;
  pos.game_ply = 0;
  search_root.last_book_ply = 0;
  search_path.search_id = 0;
  search_path.killer_slots = NEW_GAME_KILLER_SLOTS;
  search_root.in_book = settings.book_enabled != 0 ? 1 : 0;

  // Step 5.
  reset_search_state();

  // Step 6. Ratings, side and clocks.
  game_clock.own_rating = NEW_GAME_OWN_RATING;
  game_clock.opponent_rating = NEW_GAME_OPPONENT_RATING;
  control.engine_side = -1;
  time_control.prev_move_score = 0;
  // The last game's score must not count towards resigning or accepting a
  // draw in this one.
  control.last_score = 0;
  control.thinking = 0;
  control.game_in_progress = 0;
  control.announce_move = 0;
  time_control.move_time = NEW_GAME_MOVE_TIME;
  game_clock.time_increment = 0;
  game_clock.time_increment_ms = 0;
  game_clock.own_time = NEW_GAME_OWN_TIME;
  game_clock.own_time_cs = NEW_GAME_OWN_TIME * 100;
  game_clock.opponent_time = NEW_GAME_OPPONENT_TIME;

  // Steps 7 to 9. Every hash table; the game's repetition counts always.
  if (clear_search_tables) {
    clear_transposition_tables();
    if (eval_cache.pawn_hash) std::memset(eval_cache.pawn_hash, 0, sizeof(PawnHashEntry) * PAWN_HASH_ENTRIES);
  }
  if (search_path.repetition_table) std::memset(search_path.repetition_table, 0, sizeof(RepEntry) * REPETITION_ENTRIES);

  // Step 10. Principal variations.
  for (auto& row : search_path.pv_table)
    for (auto& e : row) e = PvEntry{NO_SQUARE, NO_SQUARE, 0, 0};

  // Step 11. Move lists.
  std::memset(pos.move_list, 0, sizeof(pos.move_list));

  // Step 12.
  std::memset(eval_cache.queen_table, 0, sizeof(eval_cache.queen_table));

  // Step 13.
  std::memset(pos.state_stack, 0, sizeof(pos.state_stack));

  // Step 14. Game records: empty from/to slots.
  for (auto& g : game_record.game_moves) g = GameMoveRecord{NO_SQUARE, NO_SQUARE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

  // Step 15.
  for (auto& h : search_path.history_table) h = 1;

  // The deferred "new" starts its game from the start position, which
  // counts as the game's first position.
  if (start_position) register_start_position();
}
}  // namespace

void deferred_reset() {
  if (reset_to_start_position) {
    new_game();
    return;
  }
  // The final position stays the engine's board: keep what a new game
  // would otherwise take from it, so that a later "go" or move is played
  // by the side that is really to move there.
  const int side_to_move = pos.game_ply & 1;
  const StateRecord counters = pos.state_stack[0];
  const int16_t castled_white = pos.white_castled, castled_black = pos.black_castled;
  const int16_t ep_black = pos.ep_black_pawn, ep_white = pos.ep_white_pawn;
  new_game();
  // The king and rook move counters; no search result carries over.
  pos.state_stack[0] = counters;
  pos.state_stack[0].best_score = pos.state_stack[0].best_from = pos.state_stack[0].best_to = pos.state_stack[0].best_piece = 0;
  pos.white_castled = castled_white;
  pos.black_castled = castled_black;
  pos.ep_black_pawn = game_record.game_ep_black_pawn = ep_black;
  pos.ep_white_pawn = game_record.game_ep_white_pawn = ep_white;
  if (side_to_move) {
    // As for a set-up position with Black to move: the white move that
    // was never played stands first in the record, and undo stops there.
    pos.game_ply = 1;
    game_record.game_moves[0].from = NO_SQUARE;
  }
  register_start_position();
}

}  // namespace brevalt

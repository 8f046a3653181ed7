// Playing moves on the game board. play_move is the one routine that
// makes a move for good: the engine's move after a search, the user's
// move, and the predicted opponent move that starts a ponder search. It
// keeps the game record, castling, en passant and the fifty-move count,
// registers each position for repetition, claims draws and resigns.
// Around it sit the pondering transitions: a ponder hit turns the running
// search into the real one, a miss stops it.
#include "game/play.h"

#include <cstdio>
#include <cstring>

#include "board/makemove.h"
#include "board/reset.h"
#include "core/control.h"
#include "core/settings.h"
#include "game/output.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"

namespace brevalt {


namespace {

// Resignation: this score or worse on three moves in a row, while the
// opponent has time to win it.
constexpr int32_t RESIGN_SCORE = -900;
constexpr int RESIGN_MOVES = 2;  // resign once the count passes this
constexpr int16_t RESIGN_OPPONENT_TIME = 30;

// Pondering needs a real score, this much time, and a reply to ponder on.
constexpr int32_t PONDER_SCORE_LIMIT = 8000;
constexpr int16_t PONDER_MIN_TIME = 10;
constexpr int16_t EXPECT_MIN_TIME = 20;

// Draw claims.
constexpr int REPETITION_CLAIM_COUNT = 2;  // earlier occurrences in the table
constexpr int REPETITIONS_FOR_CLAIM = 3;
constexpr int FIFTY_MOVE_CLAIM = 100;

// Castling-right bits of a game position.
constexpr uint8_t WHITE_SHORT = 1, WHITE_LONG = 2, BLACK_SHORT = 4, BLACK_LONG = 8;

// Writes the coordinates of from->to (e2e4) and a line end into line_text.
void coordinates_text(int from, int to) {
  std::snprintf(output_state.line_text, LINE_TEXT_SIZE, "%c%c%c%c\n", 'a' + file_of(from), '1' + rank_of(from),
                'a' + file_of(to), '1' + rank_of(to));
}

// The engine's move as the interface reads it: castling as o-o / o-o-o.
void move_text(int from, int to) {
  // Fischer random chess: the king taking its own rook, as O-O / O-O-O.
  if (control.chess960 && type_of(pos.board[from]) == KING && pos.board[to] == (ROOK | colour_of(pos.board[from]))) {
    std::snprintf(output_state.line_text, LINE_TEXT_SIZE, "%s\n", to > from ? "O-O" : "O-O-O");
    return;
  }
  const int files = file_of(to) - file_of(from);
  if (type_of(pos.board[from]) == KING && (files == 2 || files == -2))
    std::snprintf(output_state.line_text, LINE_TEXT_SIZE, "%s\n", files > 0 ? "o-o" : "o-o-o");
  else
    coordinates_text(from, to);
}

// The piece a pawn promotes to, from the letter the user gave.
uint8_t promotion_piece(int colour) {
  switch (control.promotion_letter) {
    case 'R': return static_cast<uint8_t>(ROOK | colour);
    case 'B': return static_cast<uint8_t>(BISHOP | colour);
    case 'N': return static_cast<uint8_t>(KNIGHT | colour);
    default: return static_cast<uint8_t>(QUEEN | colour);
  }
}

// Counts the rook moves of a corner in the game's state record: a rook
// leaving its corner, or captured on it, ends castling on that wing for
// its own colour only.
void corner_touched(int code, int sq, GameMoveRecord& rec, bool captured) {
  StateRecord& st = pos.state_stack[0];
  int16_t* counter = nullptr;
  int wing = 0;  // 1 kingside, 2 queenside
  if (code == ROOK) {
    if (sq == pos.castle_rook_sq[0]) counter = &st.white_h_rook_moves, wing = 1;
    if (sq == pos.castle_rook_sq[1]) counter = &st.white_a_rook_moves, wing = 2;
  } else if (code == ROOK + BLACK) {
    if (sq == pos.castle_rook_sq[2]) counter = &st.black_h_rook_moves, wing = 1;
    if (sq == pos.castle_rook_sq[3]) counter = &st.black_a_rook_moves, wing = 2;
  }
  if (!counter) return;
  ++*counter;
  if (captured) rec.corner_capture = static_cast<uint8_t>(wing);
  else if (wing == 1) rec.kingside_rook = 1;
  else rec.queenside_rook = 1;
}

// Castling by the Fischer random rule on the game board, the king on
// `from` taking its own rook on `to`: king to the g or c file, rook to the f
// or d file. The record keeps the move as given, castle 2, no capture.
void apply_game_castling(int from, int to, GameMoveRecord& rec) {
  const int king = pos.board[from], rook = pos.board[to];
  const bool white = colour_of(king) == 0;
  const bool kingside = to > from;
  const int rank = from & 56;
  const int king_to = rank + (kingside ? G1 : C1), rook_to = rank + (kingside ? F1 : D1);
  set_square(from, EMPTY);
  set_square(to, EMPTY);
  set_square(king_to, static_cast<uint8_t>(king));
  set_square(rook_to, static_cast<uint8_t>(rook));
  StateRecord& st = pos.state_stack[0];
  rec.captured = EMPTY;
  rec.king_moved = 1;
  rec.castle = 2;
  (kingside ? rec.kingside_rook : rec.queenside_rook) = 1;
  if (white) {
    ++st.white_king_moves;
    pos.white_king_sq() = static_cast<int16_t>(king_to);
  } else {
    ++st.black_king_moves;
    pos.black_king_sq() = static_cast<int16_t>(king_to);
  }
  (white ? pos.white_castled : pos.black_castled) = 1;
  ++(white ? (kingside ? st.white_h_rook_moves : st.white_a_rook_moves)
           : (kingside ? st.black_h_rook_moves : st.black_a_rook_moves));
  pos.ep_white_pawn = pos.ep_black_pawn = 0;
  game_record.game_ep_white_pawn = game_record.game_ep_black_pawn = 0;
  if (pos.game_fifty_counter < FIFTY_COUNTER_CEILING) ++pos.game_fifty_counter;
}

// Step 6 of play_move: the move and its side effects on the game board.
void apply_game_move(int from, int to) {
  GameMoveRecord rec{};
  const int moved = pos.board[from];
  const int captured = pos.board[to];
  const int colour = colour_of(moved);
  const bool white = colour == 0;
  if (control.chess960 && type_of(moved) == KING && captured == (ROOK | colour)) {
    rec.from = static_cast<uint8_t>(from);
    rec.to = static_cast<uint8_t>(to);
    rec.moved = static_cast<uint8_t>(moved);
    if (pos.game_ply >= 0 && pos.game_ply <= GAME_MOVES_SIZE)
      game_record.game_positions[pos.game_ply].castled_words = static_cast<uint8_t>((pos.white_castled ? 1 : 0) | (pos.black_castled ? 2 : 0));
    apply_game_castling(from, to, rec);
    if (pos.game_ply >= 0 && pos.game_ply < GAME_MOVES_SIZE) game_record.game_moves[pos.game_ply] = rec;
    ++pos.game_ply;
    return;
  }
  rec.from = static_cast<uint8_t>(from);
  rec.to = static_cast<uint8_t>(to);
  rec.moved = static_cast<uint8_t>(moved);
  rec.captured = static_cast<uint8_t>(captured);
  // The castled words before the move, for a take-back.
  if (pos.game_ply >= 0 && pos.game_ply <= GAME_MOVES_SIZE)
    game_record.game_positions[pos.game_ply].castled_words = static_cast<uint8_t>((pos.white_castled ? 1 : 0) | (pos.black_castled ? 2 : 0));

  // En passant: a pawn stepping diagonally onto the empty square behind
  // the enemy pawn that has just advanced two squares.
  int victim = 0;
  if (type_of(moved) == PAWN && captured == EMPTY && file_of(from) != file_of(to)) {
    if (white && pos.ep_black_pawn != 0 && to == pos.ep_black_pawn + 8) victim = pos.ep_black_pawn;
    if (!white && pos.ep_white_pawn != 0 && to == pos.ep_white_pawn - 8) victim = pos.ep_white_pawn;
  }
  set_square(to, static_cast<uint8_t>(moved));
  set_square(from, EMPTY);
  if (victim) {
    set_square(victim, EMPTY);
    rec.ep_captured = static_cast<uint8_t>(victim);
  }

  // Promotion to the piece the user named, a queen otherwise.
  if (type_of(moved) == PAWN && (white ? to > 55 : to < 8)) {
    set_square(to, promotion_piece(colour));
    rec.promotion = pos.board[to];
  }

  // King moves, and castling with its rook.
  StateRecord& st = pos.state_stack[0];
  if (type_of(moved) == KING) {
    rec.king_moved = 1;
    if (white) {
      ++st.white_king_moves;
      pos.white_king_sq() = static_cast<int16_t>(to);
    } else {
      ++st.black_king_moves;
      pos.black_king_sq() = static_cast<int16_t>(to);
    }
    const int files = file_of(to) - file_of(from);
    if (files == 2 || files == -2) {
      const bool kingside = files > 0;
      const int corner = white ? (kingside ? H1 : A1) : (kingside ? H8 : A8);
      const int rook_to = white ? (kingside ? F1 : D1) : (kingside ? F8 : D8);
      set_square(rook_to, pos.board[corner]);
      set_square(corner, EMPTY);
      (white ? pos.white_castled : pos.black_castled) = 1;
      int16_t& counter = white ? (kingside ? st.white_h_rook_moves : st.white_a_rook_moves)
                               : (kingside ? st.black_h_rook_moves : st.black_a_rook_moves);
      ++counter;
      rec.castle = 1;
      (kingside ? rec.kingside_rook : rec.queenside_rook) = 1;
    }
  }
  corner_touched(moved, from, rec, false);
  corner_touched(captured, to, rec, true);

  // En passant lasts one move: every move ends both chances, and a double
  // step opens its own.
  pos.ep_white_pawn = pos.ep_black_pawn = 0;
  if (type_of(moved) == PAWN && (to - from == 16 || from - to == 16)) {
    (white ? pos.ep_white_pawn : pos.ep_black_pawn) = static_cast<int16_t>(to);
    rec.double_step = static_cast<uint8_t>(to);
  }
  game_record.game_ep_white_pawn = pos.ep_white_pawn;
  game_record.game_ep_black_pawn = pos.ep_black_pawn;

  // The fifty-move count; the counter is 8 bits and stops at its top.
  if (type_of(moved) == PAWN || captured != EMPTY) pos.game_fifty_counter = 0;
  else if (pos.game_fifty_counter < FIFTY_COUNTER_CEILING) ++pos.game_fifty_counter;

  // A game longer than the record keeps being played; only its record stops.
  if (pos.game_ply >= 0 && pos.game_ply < GAME_MOVES_SIZE) game_record.game_moves[pos.game_ply] = rec;
  ++pos.game_ply;
}

// The engine resigns after three hopeless moves in a row, unless the
// opponent is too short of time to win.
bool resigns_now() {
  if (settings.resign_enabled && control.last_score < RESIGN_SCORE && (game_clock.opponent_time >= RESIGN_OPPONENT_TIME || game_clock.time_increment != 0))
    ++game_record.resign_count;
  else
    game_record.resign_count = 0;
  return game_record.resign_count > RESIGN_MOVES;
}

KeyPair game_key() {
  const KeyPair k = compute_position_key();
  return side_key(pos.game_ply & 1, k.lo, k.hi);
}

// The second move of the variation the engine expects: (from, to), or
// NO_SQUARE when there is none.
bool second_pv_move(int& from, int& to) {
  if (search_path.pv_length[1] < 2) return false;
  from = search_path.pv_table[1][1].from;
  to = search_path.pv_table[1][1].to;
  return from < 64 && to < 64;
}

}  // namespace

GamePosition current_game_position() {
  GamePosition g{};
  const KeyPair k = game_key();
  g.key_lo = k.lo;
  g.key_hi = k.hi;
  const StateRecord& st = pos.state_stack[0];
  if (!pos.white_castled && st.white_king_moves == 0) {
    if (st.white_h_rook_moves == 0 && pos.board[pos.castle_rook_sq[0]] == ROOK) g.castling |= WHITE_SHORT;
    if (st.white_a_rook_moves == 0 && pos.board[pos.castle_rook_sq[1]] == ROOK) g.castling |= WHITE_LONG;
  }
  if (!pos.black_castled && st.black_king_moves == 0) {
    if (st.black_h_rook_moves == 0 && pos.board[pos.castle_rook_sq[2]] == ROOK + BLACK) g.castling |= BLACK_SHORT;
    if (st.black_a_rook_moves == 0 && pos.board[pos.castle_rook_sq[3]] == ROOK + BLACK) g.castling |= BLACK_LONG;
  }
  // Any double step counts as an en passant right, whether or not a pawn
  // can take: two positions are only ever taken as equal when they are.
  g.ep_square = static_cast<uint8_t>(pos.ep_white_pawn ? pos.ep_white_pawn : pos.ep_black_pawn);
  return g;
}

void record_game_position() {
  // Step 1. The key of the position with the side to move.
  const KeyPair k = game_key();
  const GamePosition here = current_game_position();
  if (pos.game_ply >= 0 && pos.game_ply <= GAME_MOVES_SIZE) game_record.game_positions[pos.game_ply] = here;

  // Step 2. The game count of the position (one slot only).
  RepEntry& e = search_path.repetition_table[k.lo & REPETITION_MASK];
  bool claim = false;
  if (e.key_lo != k.lo || e.key_hi != k.hi) {
    e = RepEntry{};
    e.key_lo = k.lo;
    e.key_hi = k.hi;
    e.game_count = 1;
    e.side = static_cast<uint8_t>(pos.game_ply & 1);
  } else {
    // UCI has no claims: the interface keeps the game and judges draws.
    // Nor has an analysis, which plays no game: the interface would take a
    // claim for the end of the one it shows.
    claim = e.game_count >= REPETITION_CLAIM_COUNT && !control.pondering && !control.uci_mode && !control.analysis_mode;
    if (e.game_count < 255) ++e.game_count;
    e.side = static_cast<uint8_t>(pos.game_ply & 1);
  }

  // The table holds placement and side only. A claim is printed only when
  // the game itself shows the position three times with the same castling
  // and en passant rights: an interface scores a false claim as a loss.
  if (claim) {
    int seen = 0;
    const int last = pos.game_ply < GAME_MOVES_SIZE ? pos.game_ply : GAME_MOVES_SIZE;
    for (int i = last; i >= 0; i -= 2) {
      const GamePosition& g = game_record.game_positions[i];
      if (g.key_lo == here.key_lo && g.key_hi == here.key_hi && g.castling == here.castling &&
          g.ep_square == here.ep_square)
        ++seen;
    }
    if (seen >= REPETITIONS_FOR_CLAIM && pos.game_ply <= GAME_MOVES_SIZE && !game_record.game_resigned)
      std::printf("1/2-1/2 {Draw by repetition}\n");
  }

  // Step 3. The fifty-move claim.
  if (pos.game_fifty_counter >= FIFTY_MOVE_CLAIM && !control.pondering && !game_record.game_resigned && !control.uci_mode && !control.analysis_mode)
    std::printf("1/2-1/2 {Draw by 50-move rule}\n");
}

void register_start_position() {
  // Nothing of an earlier game may count towards this one's claims.
  for (GamePosition& g : game_record.game_positions) g = GamePosition{};
  const KeyPair k = game_key();
  if (search_path.repetition_table) {
    RepEntry& e = search_path.repetition_table[k.lo & REPETITION_MASK];
    e = RepEntry{};
    e.key_lo = k.lo;
    e.key_hi = k.hi;
    e.side = static_cast<uint8_t>(pos.game_ply & 1);
    e.game_count = 1;
  }
  if (pos.game_ply >= 0 && pos.game_ply <= GAME_MOVES_SIZE) game_record.game_positions[pos.game_ply] = current_game_position();
}

void save_game_state() {
  // The game's point and the castling counters of the root's state record.
  game_record.ponder_backup.before = pos;
  game_record.ponder_backup.state = pos.state_stack[0];
}

void restore_game_state() {
  const PonderBackup& b = game_record.ponder_backup;
  static_cast<GamePoint&>(pos) = b.before;
  sync_piece_sets();
  pos.state_stack[0] = b.state;
  pos.state_top = &pos.state_stack[0];
  game_record.game_ep_black_pawn = pos.ep_black_pawn;
  game_record.game_ep_white_pawn = pos.ep_white_pawn;
  find_king_squares();
  game_record.prediction_on_board = 0;
}

namespace {

bool same_position(const GamePosition& a, const GamePosition& b) {
  return a.key_lo == b.key_lo && a.key_hi == b.key_hi && a.castling == b.castling && a.ep_square == b.ep_square;
}

// A reply stored by a finished ponder search may be played only in the
// position it was searched for (the predicted move played as predicted,
// promotion piece included, with nothing taken back or set up since), and
// only when it is a legal move there.
bool stored_reply_fits() {
  return game_record.reply_ready && same_position(current_game_position(), game_record.reply_position) &&
         side_to_move_can_play(game_record.reply_from, game_record.reply_to);
}
}  // namespace

void remember_ponder_key() {
  game_record.ponder_key = game_key();
  game_record.ponder_position = current_game_position();
}

void forget_ponder_key() {
  // The slot may hold another position by now, and a count of 0 has
  // nothing to give back.
  RepEntry& e = search_path.repetition_table[game_record.ponder_key.lo & REPETITION_MASK];
  if (e.key_lo != game_record.ponder_key.lo || e.key_hi != game_record.ponder_key.hi || e.game_count == 0) return;
  if (e.game_count == 1) e = RepEntry{};
  else --e.game_count;
}

void store_ponder_reply(int from, int to, int next_from, int next_to) {
  game_record.reply_ready = 1;
  game_record.reply_position = game_record.ponder_position;
  game_record.reply_from = static_cast<uint8_t>(from);
  game_record.reply_to = static_cast<uint8_t>(to);
  game_record.next_prediction_from = static_cast<uint8_t>(next_from);
  game_record.next_prediction_to = static_cast<uint8_t>(next_to);
}

void clear_ponder_reply() {
  game_record.reply_ready = 0;
  game_record.next_prediction_from = game_record.next_prediction_to = NO_SQUARE;
}

bool take_pending_user_move() {
  if (!game_record.user_move_pending) return false;
  game_record.user_move_pending = 0;
  control.user_from = game_record.pending_user_from;
  control.user_to = game_record.pending_user_to;
  return true;
}

void start_pondering(int from, int to) {
  // The prediction comes from the engine's own variation; should it ever
  // not be legal, there is simply no pondering (and no error line).
  if (!move_is_legal(from, to, pos.board[from])) return;
  // The interface goes on showing the position before the predicted move;
  // the check has just listed its moves.
  note_listed_moves_as_interface_position();
  control.pondering = 1;
  game_record.reply_ready = 0;
  game_record.user_move_pending = 0;
  save_game_state();
  game_record.predicted_from = static_cast<uint8_t>(from);
  game_record.predicted_to = static_cast<uint8_t>(to);
  control.user_from = from;
  control.user_to = to;
  control.promotion_letter = 0;
  play_move(PlayMode::predicted_move);
  game_record.prediction_on_board = 1;
  remember_ponder_key();
  std::memcpy(game_record.ponder_backup.board_after, pos.board, sizeof(pos.board));
}

int play_move(PlayMode mode) {
  // Step 1. A user move while pondering: a hit turns the ponder search into
  // the real search, a miss stops it (the root driver then plays the move).
  if (mode == PlayMode::user_move && control.pondering) {
    const bool predicted = control.user_from == game_record.predicted_from && control.user_to == game_record.predicted_to;
    if (predicted && control.promotion_letter == 0 && control.ponder_enabled && !control.force_mode) {
      game_record.ponder_hit = 1;
      control.pondering = 0;
      game_record.prediction_on_board = 0;
      // The search's root is the interface's position now.
      note_root_moves_as_interface_position(game_record.ponder_backup.board_after, (pos.game_ply & 1) ? BLACK : 0);
      allot_time();
      charge_earlier_start(static_cast<int32_t>(time_control.time_source()) - search_root.ponder_start);
      control.thinking = 1;
      return 1;
    }
    game_record.ponder_hit = 0;
    game_record.pending_user_from = static_cast<uint8_t>(control.user_from);
    game_record.pending_user_to = static_cast<uint8_t>(control.user_to);
    game_record.user_move_pending = 1;
    control.stop_search = 1;
    return 1;
  }
  if (mode == PlayMode::user_move && game_record.reply_ready &&
      !(control.user_from == game_record.predicted_from && control.user_to == game_record.predicted_to)) clear_ponder_reply();

  // Step 2. Game-level state.
  pos.ply = 0;
  search_path.ext_hundredths = 0;
  search_path.ext_plies = 0;
  search_path.null_depth = 0;
  pos.lists_frozen = 0;
  pos.state_top = &pos.state_stack[0];
  find_king_squares();

  // Step 3. The opponent's move must be legal.
  int from, to;
  // The engine's move was chosen by the search that has just ended, whose
  // score is then one of the position the move leads to.
  bool scored_by_search = false;
  if (mode != PlayMode::engine_move) {
    from = control.user_from;
    to = control.user_to;
    coordinates_text(from, to);
    if (from < 0 || from > 63 || to < 0 || to > 63 || !move_is_legal(from, to, pos.board[from])) {
      std::printf("Illegal move: %.4s\n", output_state.line_text);
      control.announce_move = 0;
      control.user_from = 0;
      return 0;
    }
    if (mode == PlayMode::user_move) {
      // The opponent did not play the expected move: what the tables hold
      // was searched for another game line.
      if (game_record.expected_from != game_record.expected_to && (from != game_record.expected_from || to != game_record.expected_to)) clear_transposition_tables();
      game_record.expected_from = game_record.expected_to = 0;
    }
  } else {
    // Step 4. The engine's move: a stored reply only where it was found.
    if (game_record.reply_ready && !stored_reply_fits()) clear_ponder_reply();
    if (game_record.reply_ready) {
      from = game_record.reply_from;
      to = game_record.reply_to;
    } else {
      from = pos.move_list[1][0].from;
      to = pos.move_list[1][0].to;
      pos.state_stack[0].best_score = pos.move_list[1][0].root_score;
      scored_by_search = search_root.root_score_known != 0;
    }
    if (from > 63 || to > 63 || pos.board[from] == EMPTY) return 0;
  }

  // Step 5. The move text; the engine's move is announced (or resigned).
  // A resignation ends the game where it stands: the move is not made, so
  // the board stays the one the interface shows.
  if (mode == PlayMode::engine_move && control.announce_move) {
    move_text(from, to);
    control.announce_move = 0;
    if (resigns_now()) {
      std::printf("resign\n");
      game_record.game_resigned = 1;
      control.user_from = 0;
      return 1;
    }
    thinking_output(Output::move_line);
  }

  // Steps 6 and 7. The move on the game board, and the position it leaves
  // registered for repetition and the draw claims.
  apply_game_move(from, to);
  record_game_position();
  if (mode == PlayMode::engine_move) {
    game_record.scored_position_known = scored_by_search ? 1 : 0;
    if (scored_by_search) game_record.scored_position = current_game_position();
  }

  // Step 8. The engine answers a user move, and ponders on a predicted one.
  if (mode != PlayMode::engine_move && !control.force_mode) control.move_request = 1;

  // Step 9. The opponent played the predicted move after the ponder search
  // had finished: its answer is ready. Never in force mode, where the
  // engine must not move at all.
  // A reply that does not fit the position (an under-promotion of the
  // predicted pawn move, say) is dropped, and the move request set above
  // has the engine search the position afresh.
  if (mode == PlayMode::user_move && game_record.reply_ready) {
    const int nf = game_record.next_prediction_from, nt = game_record.next_prediction_to;
    const bool fits = stored_reply_fits();
    if (!control.force_mode && fits) {
      control.announce_move = 1;
      play_move(PlayMode::engine_move);
    }
    clear_ponder_reply();
    if (!control.force_mode && fits && !game_record.game_resigned && nf != NO_SQUARE && control.ponder_enabled) start_pondering(nf, nt);
  }

  // Step 10. After the engine's own move: ponder on the expected reply,
  // or remember it. Never in a test run, where nobody replies.
  if (mode == PlayMode::engine_move) game_record.hint_known = 0;
  if (mode == PlayMode::engine_move && !game_record.reply_ready && !search_root.in_book && !control.force_mode && !time_control.epd_mode) {
    const int32_t score = pos.state_stack[0].best_score;
    int pf, pt;
    // The expected reply, whatever comes of pondering, for "hint".
    if (second_pv_move(pf, pt)) {
      game_record.hint_from = static_cast<uint8_t>(pf);
      game_record.hint_to = static_cast<uint8_t>(pt);
      game_record.hint_piece = search_path.pv_table[1][1].piece;
      game_record.hint_position = current_game_position();
      game_record.hint_known = 1;
    }
    if (score != 0 && score < PONDER_SCORE_LIMIT && score > -PONDER_SCORE_LIMIT && second_pv_move(pf, pt)) {
      if (control.ponder_enabled && game_clock.own_time > PONDER_MIN_TIME) {
        start_pondering(pf, pt);
      } else if (!control.ponder_enabled && game_clock.own_time > EXPECT_MIN_TIME) {
        game_record.expected_from = static_cast<uint8_t>(pf);
        game_record.expected_to = static_cast<uint8_t>(pt);
      }
    }
  }

  // Step 11. The user move has been dealt with.
  control.user_from = 0;
  return 1;
}

}  // namespace brevalt

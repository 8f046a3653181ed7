// The root driver. think makes one decision: it surveys the position,
// ends the game when there is nothing to search (mate, stalemate, bare
// material), tries the opening book, deepens iteration by iteration over
// the legal root moves, and plays the chosen move. On the opponent's time
// it searches the position after the predicted move instead, and leaves
// its answer for the moment the opponent plays.
#include "search/root.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "board/attacks.h"
#include "board/legal.h"
#include "board/makemove.h"
#include "board/node_calls.h"
#include "board/position.h"
#include "board/reset.h"
#include "core/assert.h"
#include "core/control.h"
#include "core/exits.h"
#include "core/game_state.h"
#include "core/settings.h"
#include "eval/eval.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "eval/threats.h"
#include "search/activity.h"
#include "search/driver_calls.h"
#include "search/levels.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace brevalt {

SearchRoot search_root;


namespace {

// Scores at the root: the window bound, and "no score" in book mode.
constexpr int32_t ROOT_WINDOW = MATE_SCORE;
constexpr int32_t BOOK_NO_SCORE = 65000;
// The score of a root move whose reply mates at once: nothing to report.
constexpr int32_t MATED_NEXT_MOVE = -9998;

// Endgame at the root, by the opponent's piece material and the pawns.
constexpr int ENDGAME_MATERIAL = 1700;
constexpr int FEW_PIECES_MATERIAL = 2000;
constexpr int FEW_PAWNS = 4, VERY_FEW_PAWNS = 3;

// Thinking lines are shown from this iteration on.
constexpr int THINKING_MIN_ITERATION = 5;
constexpr int16_t THINKING_MIN_CLOCK = 9;  // seconds, without increment

// Root fail-low: from this iteration on, a first move this far below the
// previous score (by that score's size) sends the deepening back.
constexpr int FAIL_LOW_MIN_ITERATION = 8;
constexpr int MAX_FAIL_LOWS = 3;
constexpr int32_t FAIL_LOW_MIN_CLOCK = 19;  // seconds left to take extra time

// Helper search threads deepen on a staggered schedule, so that at any
// moment some search one iteration deeper than others: helper k (from 1)
// skips iteration d when ((d + phase) / size) is odd, with size and phase
// taken from row (k - 1) mod 20 of these tables. A thread that searched
// exactly the main thread's iterations would mostly find the entries it is
// about to write already stored.
constexpr int HELPER_SKIP_ROWS = 20;
constexpr int HELPER_SKIP_SIZE[HELPER_SKIP_ROWS] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4};
constexpr int HELPER_SKIP_PHASE[HELPER_SKIP_ROWS] = {0, 1, 0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 6, 7};
int32_t fail_low_margin(int32_t a) {
  if (a < 100) return 25;
  if (a < 200) return 40;
  if (a < 300) return 50;
  if (a < 500) return 75;
  if (a < 700) return 100;
  return 10000;
}

// A lone winning recapture needs less thought.
constexpr int32_t RECAPTURE_MIN_TIME = 60;

// Book moves: accept unless the opponent's wins dominate.
constexpr int32_t BOOK_MIN_WINS = 4;
constexpr int32_t BOOK_LEAVE_PLIES = 4;

// Reply stored by a finished ponder search: no prediction beyond a mate.
constexpr int32_t PONDER_MATE_SCORE = 9900;

// Kibitz line.
constexpr int32_t KIBITZ_SIGN_SCORE = 10;
constexpr int32_t SHORT_MOVE_TIME = 61;

// A UCI interface is shown the root move being searched once the search
// has run this long, as common engines do.
constexpr uint64_t CURRENT_MOVE_AFTER_MS = 1000;

// The root move list lives in the move list of ply 1.
MoveEntry* root_list() { return pos.move_list[1]; }

// The score a root move must beat to earn one of `lines` lines: below a
// full set of lines, any score does.
int32_t line_floor(int lines) { return search_root.root_line_count < lines ? -ROOT_WINDOW : search_root.root_lines[lines - 1].score; }

// Keeps the root move just searched (still made, at ply 1) among the best
// `lines` lines, in score order; its variation is the one the node search
// left at ply 2. A tie goes after the lines already kept.
void keep_root_line(int lines, int32_t score, int from, int to) {
  int at = 0;
  while (at < search_root.root_line_count && search_root.root_lines[at].score >= score) ++at;
  if (at >= lines) return;
  const int last = search_root.root_line_count < lines ? search_root.root_line_count : lines - 1;
  for (int j = last; j > at; --j) search_root.root_lines[j] = search_root.root_lines[j - 1];
  RootLine& line = search_root.root_lines[at];
  line.score = score;
  line.moves[0] = PvEntry{static_cast<uint8_t>(from), static_cast<uint8_t>(to), pos.board[to], pos.ply_stack[1].captured_value};
  // The node search recorded that line in its table: it fits behind the root move.
  const int below = search_path.pv_length[2];
  BREVALT_ASSERT(below >= 0 && below <= MAX_PLY - 1);
  for (int i = 0; i < below; ++i) line.moves[i + 1] = search_path.pv_table[2][i];
  line.length = static_cast<int16_t>(below + 1);
  if (search_root.root_line_count < lines) ++search_root.root_line_count;
}

// Moves root entry i to the front of the list, the ones before it down.
void entry_to_front(int i) {
  MoveEntry* list = root_list();
  const MoveEntry entry = list[i];
  for (int j = i; j > 0; --j) list[j] = list[j - 1];
  list[0] = entry;
}

// Moves the root move from->to to the front of the list, the others down.
void bring_to_front(int from, int to, int n) {
  for (int j = 0; j < n; ++j)
    if (root_list()[j].from == from && root_list()[j].to == to) return entry_to_front(j);
}

// A level plays one of the best lines of its last full iteration: that
// move goes to the front of the root list, which is the move played, and
// its line becomes the one the ponder move is taken from.
void apply_level_choice(int32_t spread, int n) {
  if (search_root.finished_line_count <= 1) return;
  const int k = level_choice(search_root.finished_lines, search_root.finished_line_count, spread);
  if (k == 0) return;
  const RootLine& line = search_root.finished_lines[k];
  bring_to_front(line.moves[0].from, line.moves[0].to, n);
  for (int i = 0; i < line.length; ++i) search_path.pv_table[0][i] = line.moves[i];
  search_path.pv_length[0] = line.length;
  search_root.root_best_score = line.score;
}

// Exchange sort of root entries first..n-1, descending by key (stable
// enough: ties keep their relative order only by accident, as always).
template <typename Key>
void sort_root(int first, int n, Key key) {
  MoveEntry* list = root_list();
  for (int i = first; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j)
      if (key(list[i]) < key(list[j])) {
        MoveEntry t = list[i];
        list[i] = list[j];
        list[j] = t;
      }
}

// Step 5: no pawns and at most one piece each. Returns 1 for a draw, 2
// for a drawn ending the engine offers a draw in, 0 otherwise.
int bare_material() {
  int wp = -1, bp = -1, pawns = 0;
  for (int sq = 0; sq < 64; ++sq) {
    const int code = pos.board[sq];
    const int t = type_of(code);
    if (t == PAWN) ++pawns;
    if (t >= QUEEN && t <= KNIGHT) (colour_of(code) ? bp : wp) = sq;
  }
  if (pawns != 0 || pos.white_piece_count + pos.black_piece_count >= 3) return 0;
  auto minor = [](int sq) { return type_of(pos.board[sq]) == BISHOP || type_of(pos.board[sq]) == KNIGHT; };
  const int total = pos.white_piece_count + pos.black_piece_count;
  if (total == 0) return 1;
  if (total == 1) return minor(wp >= 0 ? wp : bp) ? 1 : 0;
  if (pos.white_piece_count == 1 && pos.black_piece_count == 1) {
    if (type_of(pos.board[wp]) == BISHOP && type_of(pos.board[bp]) == BISHOP &&
        ((rank_of(wp) + file_of(wp)) & 1) == ((rank_of(bp) + file_of(bp)) & 1))
      return 1;
    if (minor(wp) && minor(bp)) return 2;
  }
  return 0;
}

// Whether a piece with this code stands anywhere on the board.
bool piece_on_board(int code) {
  for (int sq = 0; sq < 64; ++sq)
    if (pos.board[sq] == code) return true;
  return false;
}

// The pawns of one colour on the board.
int count_pawns(int code) {
  int n = 0;
  for (int sq = 0; sq < 64; ++sq) n += pos.board[sq] == code;
  return n;
}

void clear_fail_low() { search_root.fail_low_active = search_root.fail_low_score = search_root.fail_low_from = search_root.fail_low_to = search_root.fail_low_depth = 0; }

bool thinking_line_allowed() {
  if (search_root.thinking_lines_held) return false;
  // A UCI interface always wants the search's progress; it has no "post".
  // Nor has an analysis any use without its lines: they are printed
  // whatever "post" says (xboard sends "post" before "analyze" anyway).
  if (control.uci_mode || control.analysis_mode) return !time_control.epd_mode;
  return !time_control.epd_mode && !control.pondering && control.post_thinking && (game_clock.time_increment > 0 || game_clock.own_time > THINKING_MIN_CLOCK);
}

// The check state of the side to move at the root, in row 1.
void root_check_state(int side) {
  pos.in_check[1] = 0;
  pos.checker_square[1] = 0;
  const int32_t record[3] = {side >> 3, pos.king_square(side), END_OF_LIST};
  if (square_attacked(record)) {
    pos.in_check[1] = 1;
    find_checkers(record);
  }
}

// Listing the legal moves of a game position is one question, not a
// search: the scan ends early on a stop, so a stop that is already
// pending, or a command the input poll would read in the middle of it,
// would cut the list short (an empty list reads as stalemate). The stop
// is set aside for the listing and stays pending afterwards.
struct FullListing {
  int32_t pending = control.stop_search;
  FullListing() {
    control.stop_search = 0;
    control.input_poll_held = 1;
  }
  ~FullListing() {
    control.input_poll_held = 0;
    if (pending) control.stop_search = pending;
  }
};

// Keeps only the root moves a "go searchmoves" names, in list order; a
// restriction that names no legal move leaves the list whole.
int restrict_root_moves(int n) {
  if (search_root.root_restriction.count <= 0) return n;
  MoveEntry* list = root_list();
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    bool named = false;
    for (int k = 0; k < search_root.root_restriction.count; ++k)
      named = named || (search_root.root_restriction.from[k] == list[i].from && search_root.root_restriction.to[k] == list[i].to);
    if (named) list[kept++] = list[i];
  }
  if (kept == 0) return n;
  list[kept] = MoveEntry{NO_SQUARE, NO_SQUARE, 0, 0, 0, 0};
  return kept;
}

// Leaves out the root moves an analysis excludes, in list order. Every
// move may be excluded: the list is then empty.
int exclude_root_moves(int n) {
  const RootRestriction& out = search_root.root_exclusion;
  if (out.count <= 0) return n;
  MoveEntry* list = root_list();
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    bool excluded = false;
    for (int k = 0; k < out.count; ++k) excluded = excluded || (out.from[k] == list[i].from && out.to[k] == list[i].to);
    if (!excluded) list[kept++] = list[i];
  }
  list[kept] = MoveEntry{NO_SQUARE, NO_SQUARE, 0, 0, 0, 0};
  return kept;
}

// The score the time rules of the next move compare with: none after a
// lost position, a forced single reply or a quick move. True when the
// score was kept, which is when the move gets a comment line.
bool remember_move_score() {
  if (search_root.root_best_score <= -MATE_BOUND || search_root.single_reply_stop ||
      (time_control.move_time < SHORT_MOVE_TIME && search_root.root_best_score <= MATE_BOUND)) {
    time_control.prev_move_score = 0;
    return false;
  }
  time_control.score_floor = time_control.prev_move_score = static_cast<int16_t>(search_root.root_best_score);
  return true;
}

// The UCI decision: the first root move, and the reply its line expects
// when the line of the last iteration starts with that move.
void record_search_result(int root_count) {
  search_root.search_result = SearchResult{};
  if (root_count <= 0) return;
  const MoveEntry& best = root_list()[0];
  search_root.search_result.has_move = 1;
  search_root.search_result.move = PvEntry{best.from, best.to, best.piece, 0};
  if (search_path.pv_length[0] >= 2 && search_path.pv_table[0][0].from == best.from && search_path.pv_table[0][0].to == best.to) {
    search_root.search_result.has_ponder = 1;
    search_root.search_result.ponder = search_path.pv_table[0][1];
  }
}

// Step 7: the legal moves of the side at ply 0 into the root list.
int list_root_moves(int side) {
  pos.state_top = &pos.state_stack[0];
  pos.ply = 0;
  pos.ply_sign = -1;
  search_path.legal_count = 0;
  pos.lists_frozen = 1;
  {
    FullListing listing;
    generate_legal_moves(side);
  }
  pos.lists_frozen = 0;
  int n = search_path.legal_count < MOVE_ROW_LIMIT ? search_path.legal_count : MOVE_ROW_LIMIT;
  MoveEntry* list = root_list();
  for (int i = 0; i < n; ++i)
    list[i] = MoveEntry{search_path.legal_moves[i].from, search_path.legal_moves[i].to, search_path.legal_moves[i].piece, 0, 0, 0};
  list[n] = MoveEntry{NO_SQUARE, NO_SQUARE, 0, 0, 0, 0};
  return n;
}

// A lone winning recapture on the square of the opponent's last capture.
bool lone_recapture(int n) {
  if (pos.game_ply <= 0 || pos.game_ply > GAME_MOVES_SIZE) return false;
  const GameMoveRecord& last = game_record.game_moves[pos.game_ply - 1];
  if (last.captured == EMPTY) return false;
  int captures = 0, recaptures = 0;
  for (int i = 0; i < n; ++i) {
    const MoveEntry& m = root_list()[i];
    if (pos.board[m.to] == EMPTY || capture_gain(m.from, m.to) < 2) continue;
    ++captures;
    if (m.to == last.to) ++recaptures;
  }
  return captures == 1 && recaptures == 1;
}

// Step 11: picks one of the accepted book moves, weighted and shaken.

bool choose_book_move(int candidates) {
  if (candidates == 0) return false;
  int32_t total = 0;
  for (int i = 0; i < candidates; ++i) total += search_root.book_candidates[i].weight;
  if (total <= 0) return false;
  int32_t k = 12, b = 1;
  if (pos.game_ply < 12) k = 100, b = 1;
  else if (settings.book_random) k = 6, b = 2;
  int best = -1;
  int32_t best_value = 0;
  for (int i = 0; i < candidates; ++i) {
    BookCandidate& c = search_root.book_candidates[i];
    const int32_t factor = (!settings.book_random && pos.game_ply >= 12) ? 1 : (((std::rand() & 0xFFFF) * k) >> 15) + b;
    c.value = c.weight * 100 / total * factor;
    if (c.value > best_value) {
      best_value = c.value;
      best = i;
    }
  }
  if (best < 0) return false;
  root_list()[0].from = static_cast<uint8_t>(search_root.book_candidates[best].from);
  root_list()[0].to = static_cast<uint8_t>(search_root.book_candidates[best].to);
  root_list()[0].root_score = 0;
  return true;
}

// The comment line relayed to a chess server after the engine's move.
void compose_kibitz(bool book_move_played) {
  start_line(game_clock.opponent_is_computer ? "kibitz " : "whisper ", output_state.line_text);
  char part[64];
  const int32_t s = search_root.root_best_score;
  if (book_move_played && s <= MATE_BOUND) {
    append_line(" book move.", output_state.line_text);
    append_line("~", output_state.line_text);
    time_control.prev_move_score = 0;
  } else if (s <= MATE_BOUND) {
    const int32_t a = s < 0 ? -s : s;
    if (s >= KIBITZ_SIGN_SCORE) append_line(" +", output_state.line_text);
    else if (s <= -KIBITZ_SIGN_SCORE) append_line(" -", output_state.line_text);
    const int32_t elapsed = static_cast<int32_t>(time_control.time_source()) - time_control.search_start;
    std::snprintf(part, sizeof(part), "%d.%d  (%d/%d ply, %d sec, ", a / 100, (a / 10) % 10, search_path.iteration_depth,
                  search_root.root_moves_searched, elapsed / 60);
    append_line(part, output_state.line_text);
    if (elapsed > 0) {
      std::snprintf(part, sizeof(part), "%lld knps)",
                    static_cast<long long>(search_node_total() / elapsed) * 60 / 1000);
      append_line(part, output_state.line_text);
    }
  } else {
    append_line("mate ", output_state.line_text);
    if (s < 9997) {
      std::snprintf(part, sizeof(part), "%d", (9997 - s) >> 1);
      append_line(part, output_state.line_text);
    } else {
      control.reset_request = 1;
      std::printf(control.engine_side == 1 ? "1-0 {White mates}\n" : "0-1 {Black mates}\n");
    }
  }
  if (settings.kibitz_enabled) {
    if (!(book_move_played && s <= MATE_BOUND)) thinking_output(Output::kibitz_variation);
    if (!time_control.epd_mode) thinking_output(Output::kibitz_relay);
  }
}

}  // namespace

namespace {

// Makes a root move for its search: the path's extension allowance, and
// the penalty of the root threat when it is the move under test. Returns
// the side to move after it.
int enter_root_move(int from, int to) {
  if (eval_cache.threat_score != 0 && from == eval_cache.threat_from && to == eval_cache.threat_to) {
    search_path.ext_hundredths = 75;
    eval_cache.threat_value = eval_cache.threat_score;
  } else {
    search_path.ext_hundredths = 60;
    eval_cache.threat_value = 0;
  }
  search_path.ext_plies = static_cast<int16_t>(search_path.ext_hundredths / 100);
  return colour_of(pos.board[to]) ^ BLACK;
}

}  // namespace

int32_t search_root_move(int32_t beta, int32_t alpha, int from, int to, RootMove what) {
  search_path.draw_flag = 0;
  const int side_after = colour_of(pos.board[from]) ^ BLACK;
  // Root moves come from the legal list: castling needs no path test here.
  apply_search_move(from, to, MoveSource::generated);
  if (what == RootMove::book_probe) return 0;
  enter_root_move(from, to);
  if (search_root.fail_low_active && from == search_root.fail_low_from && to == search_root.fail_low_to) {
    search_path.pv_length[2] = 0;
    return search_root.fail_low_score;
  }
  return -search_node(side_after, -beta, -alpha, NullMove::allowed, MultiCut::allowed);
}

bool book_move_acceptable(int32_t own_wins, int32_t opponent_wins, int32_t draws) {
  if ((own_wins + draws) * 4 < opponent_wins * 7 || own_wins < BOOK_MIN_WINS) return false;
  return own_wins + draws != 0;
}

namespace {

// The legal moves of `side` in the game position, into legal_moves.
void list_game_moves(int side) {
  pos.state_top = &pos.state_stack[0];
  pos.ply = 0;
  pos.ply_sign = -1;
  find_king_squares();
  root_check_state(side);
  search_path.legal_count = 0;
  pos.lists_frozen = 1;
  {
    FullListing listing;
    generate_legal_moves(side);
  }
  pos.lists_frozen = 0;
}

}  // namespace

int move_is_legal(int from, int to, int piece) {
  control.stop_search = 0;
  if (from < 0 || from > 63 || to < 0 || to > 63 || piece == EMPTY) return 0;
  // The opponent cannot move the engine's pieces, nor move out of turn.
  if (colour_of(piece) == side_of_sign(control.engine_side)) return 0;
  if (colour_of(piece) != ((pos.game_ply & 1) ? BLACK : 0)) return 0;
  list_game_moves(colour_of(pos.board[from]));
  for (int i = 0; i < search_path.legal_count; ++i) {
    const LegalMove& m = search_path.legal_moves[i];
    if (m.from != from || m.to != to) continue;
    if (m.piece == piece) return 1;
    if (piece == PAWN + BLACK && to < 8 && m.piece == QUEEN + BLACK) return 1;
    if (piece == PAWN && to > 55 && m.piece == QUEEN) return 1;
  }
  return 0;
}

int side_to_move_can_play(int from, int to) {
  if (from < 0 || from > 63 || to < 0 || to > 63 || pos.board[from] == EMPTY) return 0;
  const int side = (pos.game_ply & 1) ? BLACK : 0;
  if (colour_of(pos.board[from]) != side) return 0;
  list_game_moves(side);
  for (int i = 0; i < search_path.legal_count; ++i)
    if (search_path.legal_moves[i].from == from && search_path.legal_moves[i].to == to) return 1;
  return 0;
}

int legal_move_count() {
  list_game_moves((pos.game_ply & 1) ? BLACK : 0);
  return search_path.legal_count;
}

void note_listed_moves_as_interface_position() {
  InterfacePosition& ip = search_root.interface_position;
  std::memcpy(ip.board, pos.board, sizeof(ip.board));
  ip.side = static_cast<uint8_t>((pos.game_ply & 1) ? BLACK : 0);
  const int n = search_path.legal_count < MOVE_ROW ? search_path.legal_count : MOVE_ROW;
  for (int i = 0; i < n; ++i) ip.moves[i] = PvEntry{search_path.legal_moves[i].from, search_path.legal_moves[i].to, search_path.legal_moves[i].piece, 0};
  ip.count = static_cast<int16_t>(n);
}

void note_interface_position() {
  list_game_moves((pos.game_ply & 1) ? BLACK : 0);
  note_listed_moves_as_interface_position();
}

void note_root_moves_as_interface_position(const uint8_t board[64], int side) {
  InterfacePosition& ip = search_root.interface_position;
  std::memcpy(ip.board, board, sizeof(ip.board));
  ip.side = static_cast<uint8_t>(side ? BLACK : 0);
  int n = 0;
  for (const MoveEntry* m = root_list(); n < MOVE_ROW - 1 && m->from != NO_SQUARE; ++m) ip.moves[n++] = PvEntry{m->from, m->to, m->piece, 0};
  ip.count = static_cast<int16_t>(n);
}

namespace {

// What one decision carries from step to step: set at its start, by the
// survey of the root and by the deepening; read by the final decision and
// the end.
struct Decision {
  bool book_mode = false;
  int fail_lows = 0;
  bool draw_offer = false;
  int root_count = 0;
  bool deepening_complete = false;
  bool book_move_played = false;
  bool book_move_tried = false;
  // A level narrows the search (depth and nodes) and widens the root to
  // the lines it chooses among; the limits it replaces come back at the end.
  int64_t nodes_before = 0;
  int16_t depth_before = 0;
  // An analysis is searched at full strength.
  int16_t level_in_force = 0;
  LevelSettings level{};
};

// How the survey of the root ends: a position to search, a drawn ending
// declared (nothing is played), or a position without a legal move.
enum class Survey { ready, drawn, no_moves };

// How the deepening ends: with a decision, or with the book's single pass
// finding no move to play, after which the decision starts over without
// the book.
enum class Deepened { complete, restart };

// The state of the iterative deepening, shared by the steps of each
// iteration.
struct Deepening {
  int limit = 0;  // the last iteration
  int lines = 1;  // the lines searched with exact scores
  int shown = 1;  // the lines shown to a UCI interface
  bool self_stop = false;
  int candidates = 0;  // book moves accepted by the book's single pass
  int d = 1;           // the running iteration
  // A stop that came before the first iteration completed, obeyed after it.
  int32_t held_stop = 0;
};

// Step 1. Start: a fresh search id and fail-low state, whether the book
// is asked, and the level in force.
Decision start_decision() {
  Decision dn;
  ++search_path.search_id;
  search_root.root_best_score = 0;
  search_root.root_score_known = 0;
  clear_fail_low();
  dn.book_mode = settings.book_enabled && !time_control.epd_mode && !time_control.search_limits.no_book;
  if (search_root.in_book && search_root.last_book_ply + BOOK_LEAVE_PLIES < pos.game_ply) search_root.in_book = 0;
  if (!search_root.in_book || control.pondering) dn.book_mode = false;
  dn.nodes_before = time_control.search_limits.nodes;
  dn.depth_before = search_root.max_depth;
  dn.level_in_force = time_control.search_limits.analysis ? 0 : level_state.level_elo;
  dn.level = dn.level_in_force > 0 ? level_settings(dn.level_in_force) : LevelSettings{};
  search_root.finished_line_count = 0;
  return dn;
}

// Step 2: the engine plays the side to move of the game position.
bool engines_turn() { return control.engine_side == sign_of_side(pos.game_ply % 2 == 0 ? WHITE_SIDE : BLACK_SIDE); }

// Steps 3 to 7. The survey of the root: piece lists, keys, material and the
// root's flags from the board, then the root moves. A drawn ending or a
// position without moves ends the decision here.
Survey survey_root(int side_arg, Decision& dn) {
  // Step 3. Survey: lists, keys and material from the board.
  const int side = (side_arg == 8 || side_arg == -1) ? BLACK : 0;
  // The position the interface holds while this search runs: a ponder
  // search has the predicted move on the board, which the interface has
  // not seen played.
  std::memcpy(search_root.search_root_board, control.pondering ? game_record.ponder_backup.before.board : pos.board, sizeof(search_root.search_root_board));
  search_path.pv_length[0] = 0;
  if (!control.pondering) allot_time();
  if (dn.level_in_force > 0) {
    if (search_root.max_depth > dn.level.depth) search_root.max_depth = dn.level.depth;
    if (time_control.search_limits.nodes == 0 || time_control.search_limits.nodes > dn.level.nodes) time_control.search_limits.nodes = dn.level.nodes;
    // The node count is looked at often enough to hold a small budget.
    game_clock.frequent_stop_tests = 1;
  }
  // A stop that arrived while the book was being tried ("?", "force",
  // "new", "result", a ponder miss) belongs to this decision too: only
  // the first pass starts with a clean flag.
  if (!dn.book_move_tried) control.stop_search = 0;
  pos.promo_pawn = 0;
  if (!build_piece_lists()) fatal_shutdown("too many pieces\n");
  // Mobility of every piece kind present, from the root position.
  for (int code : {int{QUEEN}, QUEEN + BLACK, int{KNIGHT}, KNIGHT + BLACK, int{BISHOP}, BISHOP + BLACK, int{ROOK}, ROOK + BLACK})
    if (piece_on_board(code)) build_piece_tables(code);
  for (int p = 0; p < MAX_PLY; ++p) search_path.pv_valid[p] = 0;
  const int white_pawns = count_pawns(PAWN), black_pawns = count_pawns(PAWN + BLACK);

  // Step 4. The null move needs a piece on each side.
  search_path.null_move_allowed = pos.white_piece_count > 0 && pos.black_piece_count > 0;

  // Step 5. Bare material: a draw, or an ending worth a draw offer. A
  // ponder search declares nothing: the predicted move is not played yet.
  // Nor does a UCI search: UCI has no result lines, and the interface
  // still wants a move. Nor does an analysis, which plays no game.
  const int bare = (control.pondering || control.uci_mode || control.analysis_mode) ? 0 : bare_material();
  if (bare == 1) {
    if (!game_record.game_resigned) std::printf("1/2-1/2 {Insufficient material}\n");
    control.reset_request = 1;
    return Survey::drawn;
  }
  dn.draw_offer = bare == 2;

  // Step 6. Flags of the root position.
  search_path.root_endgame = search_path.opponent_material < ENDGAME_MATERIAL ||
                 (search_path.opponent_material < FEW_PIECES_MATERIAL && (white_pawns < FEW_PAWNS || black_pawns < FEW_PAWNS)) ||
                 (search_path.opponent_material >= FEW_PIECES_MATERIAL && white_pawns < VERY_FEW_PAWNS &&
                  black_pawns < VERY_FEW_PAWNS);
  control.promotion_letter = 0;
  root_check_state(side);
  search_path.activity_sum = search_path.root_endgame ? 0 : compute_activity_sum();

  // Step 7. Root moves.
  const int listed = list_root_moves(side);
  // The position the interface shows is this root, unless the search
  // ponders on a move the interface has not seen.
  if (!control.pondering) note_root_moves_as_interface_position(pos.board, side);
  dn.root_count = exclude_root_moves(restrict_root_moves(listed));
  if (dn.root_count == 0) {
    if (!control.pondering && !game_record.game_resigned && !control.uci_mode && !control.analysis_mode) {
      if (!pos.in_check[1]) std::printf("1/2-1/2 {Stalemate}\n");
      else std::printf(control.engine_side == -1 ? "1-0 {White mates}\n" : "0-1 {Black mates}\n");
      control.reset_request = 1;
    }
    return Survey::no_moves;
  }
  if (!pos.white_castled && pos.state_top->white_h_rook_moves && pos.state_top->white_a_rook_moves) pos.white_castled = 1;
  if (!pos.black_castled && pos.state_top->black_h_rook_moves && pos.state_top->black_a_rook_moves) pos.black_castled = 1;
  if (lone_recapture(dn.root_count) && !search_path.root_endgame && time_control.move_time > RECAPTURE_MIN_TIME) halve_allotment();
  return Survey::ready;
}

// Step 8. Clocks: the search starts now, on the own clock or, pondering,
// on the opponent's.
void start_clocks() {
  time_control.search_start = static_cast<int32_t>(time_control.time_source());
  time_control.search_start_ms = time_control.ms_source();
  search_root.stop_at_root_move = 0;
  search_path.search_nodes = 0;
  // The helpers' counts of an earlier search: a search that starts none
  // (a level, the book's pass) must not count them as its own.
  forget_helper_nodes();
  search_path.sel_depth = 0;
  clear_root_threat();
  search_root.single_reply_stop = 0;
  if (!control.pondering) {
    control.thinking = 1;
  } else {
    control.thinking = 0;
    search_root.ponder_start = time_control.search_start;
  }
}

// A root move with a new best score: the root record and the line from it.
void note_root_best(int32_t score, int from, int to) {
  pos.state_stack[1].best_score = static_cast<int16_t>(score);
  pos.state_stack[1].best_from = static_cast<int16_t>(from);
  pos.state_stack[1].best_to = static_cast<int16_t>(to);
  pos.state_stack[1].best_piece = pos.board[to];
  record_pv(1, from, to);
}

// Step 9.6: back to the root position after an iteration.
void return_to_root() {
  pos.ply = 0;
  pos.state_top = &pos.state_stack[0];
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

// Step 9.7 without the book and the several lines: after the first
// iteration the root moves by score, after the others the best move first
// and the rest by the effort they took.
void sort_for_next_iteration(int d, int n) {
  if (d == 1) sort_root(0, n, [](const MoveEntry& m) { return static_cast<int32_t>(m.root_score); });
  else sort_root(1, n, [](const MoveEntry& m) { return static_cast<uint32_t>(m.root_nodes); });
}

// Steps 9.1 and 9.2 of iteration d on this thread: the path state and
// the root record.
void prepare_path(int d) {
  // Step 9.1. Path state.
  search_path.follow_pv = d > 2;
  pos.material = search_path.root_material;
  pos.fifty_counter = pos.game_fifty_counter;
  search_path.ext_hundredths = 60;
  search_path.ext_plies = 0;
  search_path.max_ext_plies = 6;
  search_path.null_depth = 0;
  eval_cache.threat_value = 0;
  search_path.recapture_ext_count = 0;
  search_path.tree_nodes = 0;
  pos.lists_frozen = 0;
  search_path.quiescence_mode = 0;
  search_path.root_to = NO_SQUARE;
  search_path.root_piece_retreats = 0;
  find_king_squares();
  eval_cache.root_white_king_sq = pos.white_king_sq();
  eval_cache.root_black_king_sq = pos.black_king_sq();

  // Step 9.2. The root record.
  pos.state_stack[1] = pos.state_stack[0];
  pos.state_stack[1].best_score = pos.state_stack[1].best_from = pos.state_stack[1].best_to = 0;
  search_path.nominal_depth = static_cast<int16_t>(d);
  pos.ply = 1;
  pos.ply_sign = 1;
  pos.state_top = &pos.state_stack[1];
}

// Steps 9.1 to 9.3: the path state and the root record of iteration d.
void prepare_iteration(int d) {
  prepare_path(d);
  search_root.best_move_changes = 0;

  // Step 9.3. A fail-low older than this iteration is forgotten.
  if (search_root.fail_low_active && search_root.fail_low_depth < d) clear_fail_low();
}

// Step 10. Root fail-low: the move the previous iteration chose (the
// first root move, still made) has fallen well below its score. The
// deepening steps back to look again, shallower, with more time. True when
// it did so; the move is then taken back.
bool step_back_on_fail_low(Decision& dn, Deepening& dp, int32_t score, int from, int to) {
  const int32_t a = search_root.root_best_score < 0 ? -search_root.root_best_score : search_root.root_best_score;
  if (!(score < search_root.root_best_score - fail_low_margin(a) && dn.fail_lows < MAX_FAIL_LOWS)) return false;
  search_root.fail_low_score = score;
  search_root.fail_low_depth = dp.d;
  search_root.fail_low_from = from;
  search_root.fail_low_to = to;
  ++dn.fail_lows;
  unmake_move(Unmake::full);
  search_path.pv_length[1] = 1;
  search_root.root_best_score = score;
  const int32_t now = static_cast<int32_t>(time_control.time_source());
  const int32_t left = game_clock.own_time - (now - time_control.search_start) / 60;
  if (left > FAIL_LOW_MIN_CLOCK && dn.fail_lows == 1) {
    const int32_t extra = tick_passed(time_control.deadline, now) ? time_control.deadline - now : 0;
    int32_t t = time_control.move_time;
    if (left < t / 60 + 15 + extra / 60) t /= 2;
    time_control.deadline += t;
    time_control.extended_at = search_path.iteration_depth;
    time_control.score_floor = static_cast<int16_t>(time_control.prev_move_score - 10);
  }
  dp.d -= search_root.fail_low_active ? 3 : 4;
  search_root.fail_low_active = 1;
  return true;
}

// Steps 9.4 and 9.5: one iteration over the root moves in list order. A
// stop, the end of a root move budget or a fail-low ends it early. Returns
// the root moves whose search completed.
int search_root_moves(Decision& dn, Deepening& dp) {
  // Step 9.4. The iteration's depth, window and counters.
  search_path.iteration_depth = static_cast<int16_t>(dp.d);
  int32_t best = dn.book_mode ? BOOK_NO_SCORE : -ROOT_WINDOW;
  search_root.root_moves_searched = 0;
  search_root.root_line_count = 0;
  int moves_done = 0;

  // Step 9.5. The root moves in list order.
  for (int i = 0; i < dn.root_count; ++i) {
    ++search_root.root_moves_searched;
    search_path.capture_count = 0;
    search_path.check_run = 0;
    const int32_t noted = search_path.tree_nodes;
    if ((time_control.epd_mode && tick_passed(static_cast<int32_t>(time_control.time_source()), time_control.epd_deadline)) || search_root.stop_at_root_move) {
      control.stop_search = 1;
      break;
    }
    const int from = root_list()[i].from, to = root_list()[i].to;
    int idx = i;
    if (control.uci_mode && thinking_line_allowed() && time_control.ms_source() - time_control.search_start_ms >= CURRENT_MOVE_AFTER_MS)
      uci_current_move_output(from, to, i + 1);
    // With several lines the window opens down to the last line kept.
    const int32_t alpha = dp.lines > 1 ? line_floor(dp.lines) : best;
    const int32_t score =
        search_root_move(ROOT_WINDOW, alpha, from, to, dn.book_mode ? RootMove::book_probe : RootMove::search);

    if (dn.book_mode) {
      BookStats stats{};
      if (book_probe(colour_of(pos.board[to]) ^ BLACK, &stats)) {
        const int32_t own = control.engine_side == 1 ? stats.white_wins : stats.black_wins;
        const int32_t opp = control.engine_side == 1 ? stats.black_wins : stats.white_wins;
        const int32_t draws = stats.draws;
        if (book_move_acceptable(own, opp, draws) && dp.candidates < MOVE_ROW) {
          search_root.book_candidates[dp.candidates++] = {from, to, own + draws + opp, own, opp, draws, 0};
          search_root.in_book = 1;
          search_root.last_book_ply = pos.game_ply;
        }
      }
    }

    if (control.stop_search) {
      unmake_move(Unmake::full);
      if (pos.state_stack[1].best_score > MATE_BOUND) search_root.root_best_score = pos.state_stack[1].best_score;
      break;
    }

    if (dp.lines > 1 && score > alpha) keep_root_line(dp.lines, score, from, to);
    if (score > best) {
      note_root_best(score, from, to);
      // An analysis shows every new best move, from the first
      // iteration on and a lost one too: its lines are all it gives.
      // Several lines shown are reported together, once the iteration
      // has given each its score.
      const bool line_due =
          control.analysis_mode || (score != MATED_NEXT_MOVE && search_path.iteration_depth > (control.uci_mode ? 1 : THINKING_MIN_ITERATION));
      if (line_due && thinking_line_allowed() && dp.shown == 1) {
        search_root.reported_score = score;
        thinking_output(Output::thinking_line);
      }
      // Step 10. Root fail-low.
      if (i == 0 && dp.d > FAIL_LOW_MIN_ITERATION && step_back_on_fail_low(dn, dp, score, from, to)) break;
      if (i > 0) {
        // The new best move goes to the front; the others move down.
        entry_to_front(i);
        idx = 0;
        if (dp.d > THINKING_MIN_ITERATION) ++search_root.best_move_changes;
      }
      root_list()[0].root_score = static_cast<int16_t>(score);
      best = score;
    }
    if (dp.d == 1) root_list()[idx].root_score = static_cast<int16_t>(score);
    else root_list()[idx].root_nodes = search_path.tree_nodes - noted;
    unmake_move(Unmake::full);
    if (best < BOOK_NO_SCORE) {
      search_root.root_best_score = best;
      search_root.root_score_known = 1;
    }
    ++moves_done;
  }
  return moves_done;
}

// Steps 9.6 and 9.7: back to the root position, then the order of the
// root moves for the next iteration: by score after the first, then the
// best move first and the rest by the effort they took. After the book's
// single pass, the book's choice instead (Step 11). False when the book
// had no move to play.
bool order_root_moves(Decision& dn, Deepening& dp, int moves_done) {
  // Step 9.6. Back to the root; the lines of an iteration that searched
  // every root move are whole.
  return_to_root();
  const bool all_searched = moves_done == dn.root_count;
  if (all_searched && dp.lines > 1) {
    for (int k = 0; k < search_root.root_line_count; ++k) search_root.finished_lines[k] = search_root.root_lines[k];
    search_root.finished_line_count = search_root.root_line_count;
  }

  // Step 9.7. Order for the next iteration.
  if (dp.d == 1 && dn.book_mode) {
    // Step 11. The book choice.
    if (!choose_book_move(dp.candidates)) return false;
    dn.book_move_played = true;
  } else {
    sort_for_next_iteration(dp.d, dn.root_count);
    // After the second iteration on, the best lines lead the next
    // iteration, in their order.
    for (int k = dp.lines > 1 && dp.d > 1 ? search_root.root_line_count - 1 : -1; k >= 0; --k)
      bring_to_front(search_root.root_lines[k].moves[0].from, search_root.root_lines[k].moves[0].to, dn.root_count);
  }
  return true;
}

// Step 9.10: the line of the iteration just ended becomes the one the next
// iteration follows first.
void follow_iteration_line() {
  const int len = search_path.pv_length[1];
  BREVALT_ASSERT(len >= 0 && len <= MAX_PLY);
  for (int k = 0; k < len; ++k) search_path.pv_table[0][k] = search_path.pv_table[1][k];
  search_path.pv_length[0] = len;
  for (int k = 0; k < MAX_PLY; ++k) search_path.pv_valid[k] = k < len;
}

// Steps 9.8 to 9.11: whether the deepening goes on, the line the next
// iteration follows, and the final thinking line of this one.
void end_iteration(const Decision& dn, Deepening& dp, bool all_searched) {
  // Step 9.8. A forced mate ends the deepening.
  if (pos.state_stack[1].best_score > MATE_BOUND && !control.stop_search) {
    control.stop_search = 1;
    dp.self_stop = true;
  }
  if (time_control.epd_mode) iteration_report(search_root.root_best_score);

  // Step 9.9. The next iteration, unless the move is forced or the time
  // management asked to stop at the end of a root move.
  ++dp.d;
  // An analysis looks on past a forced move: what follows it is the point.
  if (dp.d == 3 && !control.stop_search && dn.root_count == 1 && !control.analysis_mode) {
    control.stop_search = 1;
    dp.self_stop = true;
    search_root.single_reply_stop = 1;
  }
  if (search_root.stop_at_root_move) control.stop_search = 1;

  // Step 9.10. The line of this iteration becomes the one to follow.
  follow_iteration_line();

  // Step 9.11. The final thinking line. A UCI interface hears of every
  // iteration, the last one included; the book's single pass has no score.
  // An analysis stops when the interface has changed the position (or
  // left the analysis): a line now would be shown for the new one.
  if (control.uci_mode) {
    if (!dn.book_mode && search_path.pv_length[0] > 0 && thinking_line_allowed()) {
      if (dp.shown > 1 && all_searched) {
        uci_lines_output(dp.shown);
      } else {
        search_root.reported_score = search_root.root_best_score;
        thinking_output(Output::thinking_line);
      }
    }
  } else if (control.analysis_mode && dp.shown > 1) {
    // Several lines of an analysis: all of them once the iteration has
    // scored every root move, unless the interface stopped it meanwhile.
    if (all_searched && (!control.stop_search || dp.self_stop) && thinking_line_allowed()) cecp_lines_output(dp.shown);
  } else if (control.stop_search && !control.analysis_mode && search_root.root_best_score != MATED_NEXT_MOVE && !search_root.single_reply_stop &&
             (search_path.iteration_depth > THINKING_MIN_ITERATION || search_root.root_best_score > MATE_BOUND) && !control.reset_request &&
             thinking_line_allowed()) {
    search_root.reported_score = search_root.root_best_score;
    thinking_output(Output::thinking_line);
  }
}

// Step 9. Iterative deepening, iteration by iteration until the depth
// limit, a stop or a decision that needs no more. Ends with the level's
// choice among its best lines.
Deepened deepen(Decision& dn) {
  Deepening dp;
  dp.limit = dn.book_mode ? 1 : search_root.max_depth;
  // The lines searched with exact scores, and those shown.
  int lines = dn.level_in_force > 0 && dn.level.lines > search_root.root_lines_wanted ? dn.level.lines : search_root.root_lines_wanted;
  if (lines > dn.root_count) lines = dn.root_count;
  if (lines > MAX_ROOT_LINES) lines = MAX_ROOT_LINES;
  if (lines < 1 || dn.book_mode) lines = 1;
  dp.lines = lines;
  dp.shown = search_root.root_lines_shown < lines ? search_root.root_lines_shown : lines;
  // The first iteration always completes, whatever arrives meanwhile (a
  // stop, the end of the input, a clock already run out): it takes a
  // millisecond or so, and without it the move would be the first one
  // listed rather than a searched one. Input waits until it is done; a
  // stop that came before it is obeyed after it.
  dp.held_stop = control.stop_search;
  control.stop_search = 0;
  control.input_poll_held = 1;
  // The helper search threads, if any, search the same root on the shared
  // tables until this deepening ends. A level plays on one thread: its
  // strength is measured there.
  if (!dn.book_mode && dn.level_in_force == 0) start_helpers(HelperTask{dn.root_count, dp.limit});
  while (dp.d <= dp.limit) {
    if (control.stop_search) break;
    if (dp.d == 2) {
      // What arrived meanwhile is read now, not a hundred thousand nodes on.
      control.input_poll_held = 0;
      poll_input(0);
      if (dp.held_stop) control.stop_search = dp.held_stop;
      dp.held_stop = 0;
      if (control.stop_search) break;
    }
    // Steps 9.1 to 9.3. Path state and the root record.
    prepare_iteration(dp.d);
    // Steps 9.4, 9.5 and 10. The root moves, and the root fail-low.
    const int moves_done = search_root_moves(dn, dp);
    // Steps 9.6, 9.7 and 11. A book without a move to play: a fresh start
    // without the book.
    if (!order_root_moves(dn, dp, moves_done)) {
      stop_helpers();
      dn.book_mode = false;
      dn.book_move_tried = true;
      control.input_poll_held = 0;
      if (dp.held_stop) control.stop_search = dp.held_stop;
      return Deepened::restart;
    }
    // Steps 9.8 to 9.11. Stop tests, the line to follow, the last thinking
    // line.
    end_iteration(dn, dp, moves_done == dn.root_count);
  }
  // The helpers stop before anything shared changes.
  stop_helpers();
  control.input_poll_held = 0;
  if (dp.held_stop) control.stop_search = dp.held_stop;
  dn.deepening_complete = (!control.stop_search && dp.d > dp.limit) || dp.self_stop;
  if (dn.level_in_force > 0 && !dn.book_move_played) apply_level_choice(dn.level.spread, dn.root_count);
  return Deepened::complete;
}

}  // namespace

// A helper thread's deepening: the root moves of the main thread's
// search, searched iteration by iteration on the staggered schedule, into
// the shared tables, until the main thread stops it. It prints nothing,
// reads neither input nor clock, has no book and no fail-low step; its
// results reach the main thread only through the transposition tables.
void helper_deepen(int helper, const HelperTask& task) {
  const int row = (helper - 1) % HELPER_SKIP_ROWS;
  const int n = task.root_count;
  for (int d = 1; d <= task.depth_limit && !control.stop_search; ++d) {
    if (d > 1 && ((d + HELPER_SKIP_PHASE[row]) / HELPER_SKIP_SIZE[row]) % 2 != 0) continue;
    // Steps 9.1 and 9.2 on this thread.
    prepare_path(d);
    search_path.iteration_depth = static_cast<int16_t>(d);
    // Step 9.5, every root move with the window from the best so far.
    int32_t best = -ROOT_WINDOW;
    for (int i = 0; i < n; ++i) {
      search_path.capture_count = 0;
      search_path.check_run = 0;
      const int32_t noted = search_path.tree_nodes;
      const int from = root_list()[i].from, to = root_list()[i].to;
      search_path.draw_flag = 0;
      apply_search_move(from, to, MoveSource::generated);
      const int side_after = enter_root_move(from, to);
      const int32_t score = -search_node(side_after, -ROOT_WINDOW, -best, NullMove::allowed, MultiCut::allowed);
      if (control.stop_search) {
        unmake_move(Unmake::full);
        break;
      }
      int idx = i;
      if (score > best) {
        note_root_best(score, from, to);
        if (i > 0) {
          entry_to_front(i);
          idx = 0;
        }
        root_list()[0].root_score = static_cast<int16_t>(score);
        best = score;
      }
      if (d == 1) root_list()[idx].root_score = static_cast<int16_t>(score);
      else root_list()[idx].root_nodes = search_path.tree_nodes - noted;
      unmake_move(Unmake::full);
    }
    // Steps 9.6, 9.7 and 9.10: back to the root, the order and the line
    // the next iteration follows.
    return_to_root();
    if (control.stop_search) break;
    sort_for_next_iteration(d, n);
    follow_iteration_line();
  }
}

namespace {

// Step 12. The final decision: the move is played on the game board, told
// to a UCI interface, or, after a ponder search, kept for the moment the
// opponent plays the predicted move.
void final_decision(const Decision& dn) {
  // A ponder search stood down in its course ("result") still has the
  // predicted move on the board, which the interface never saw played:
  // take it back as on a miss, before a reset keeps the final position or
  // a "go" has the engine play from it.
  if (game_record.prediction_on_board && !control.pondering) {
    restore_game_state();
    forget_ponder_key();
    clear_ponder_reply();
    return;
  }
  if (control.reset_request) return;
  // An analysis has nothing to play, and its score is no game's.
  if (control.analysis_mode) return;
  // A UCI interface is told the move and keeps the game itself.
  if (control.uci_mode) {
    record_search_result(dn.root_count);
    control.last_score = search_root.root_best_score;
    time_control.extended_at = 0;
    remember_move_score();
    return;
  }
  if (!control.pondering) {
    // "force" during the search: the engine no longer moves, so it must not
    // put a move on its board that the interface never sees.
    if (control.force_mode || dn.root_count == 0) return;
    game_record.predicted_from = game_record.predicted_to = NO_SQUARE;
    // This search chose the move: a reply stored by an earlier ponder
    // search answers another position.
    clear_ponder_reply();
    // The resignation test judges the move about to be played by this
    // search's own score.
    control.last_score = search_root.root_best_score;
    play_move(PlayMode::engine_move);
    time_control.extended_at = 0;
    // A resignation ends the game: no offer, no comment, no result.
    if (game_record.game_resigned) return;
    if (dn.draw_offer) std::printf("offer draw\n");
    if (remember_move_score()) compose_kibitz(dn.book_move_played && search_path.iteration_depth == 1);
  } else {
    // The ponder search is over without a hit: take the predicted move back.
    restore_game_state();
    forget_ponder_key();
    control.pondering = 0;
    if (!game_record.user_move_pending && dn.deepening_complete && dn.root_count > 0) {
      int next_from = NO_SQUARE, next_to = NO_SQUARE;
      const int32_t a = search_root.root_best_score < 0 ? -search_root.root_best_score : search_root.root_best_score;
      if (a < PONDER_MATE_SCORE && search_path.pv_length[1] >= 2) {
        next_from = search_path.pv_table[1][1].from;
        next_to = search_path.pv_table[1][1].to;
      }
      store_ponder_reply(root_list()[0].from, root_list()[0].to, next_from, next_to);
    } else {
      clear_ponder_reply();
      if (take_pending_user_move()) {
        play_move(PlayMode::user_move);
        if (game_clock.own_time > 20) {
          clear_transposition_tables();
          clear_pawn_hash();
        }
      }
    }
  }
}

// Step 13. The end: the level's limits come back, a requested reset is
// carried out, and the board is the game's again.
void end_decision(const Decision& dn) {
  if (dn.level_in_force > 0) {
    time_control.search_limits.nodes = dn.nodes_before;
    search_root.max_depth = dn.depth_before;
  }
  if (control.reset_request) deferred_reset();
  reset_search_state();
  search_root.search_running = 0;
}

}  // namespace

void think(int side_arg) {
  // Step 1. Start.
  Decision dn = start_decision();
  Survey survey = Survey::ready;
  for (;;) {
    // Step 2. Only when it is the engine's turn. A book that had no move
    // to play brings the decision back here, to start over without it.
    if (!engines_turn()) return;
    search_root.search_running = 1;
    // Steps 3 to 7. The survey of the root.
    survey = survey_root(side_arg, dn);
    if (survey != Survey::ready) break;
    // Step 8. Clocks.
    start_clocks();
    // Steps 9 to 11. The deepening.
    if (deepen(dn) == Deepened::complete) break;
  }
  // Step 12. The final decision; a drawn ending plays nothing.
  if (survey != Survey::drawn) final_decision(dn);
  // Step 13. The end.
  end_decision(dn);
}

}  // namespace brevalt

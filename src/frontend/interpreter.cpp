// The CECP command interpreter. It runs from the main loop when the engine
// is idle and from the input poll in the middle of a search, so most
// commands only set flags; those that do real work at once are refused or
// deferred while a game or a search is under way.
#include "frontend/interpreter.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/position.h"
#include "board/reset.h"
#include "config/startup.h"
#include "config/table_size.h"
#include "core/version.h"
#include "frontend/analysis.h"
#include "frontend/epd.h"
#include "frontend/inspect.h"
#include "frontend/mainloop.h"
#include "frontend/test_runs.h"
#include "frontend/undo.h"
#include "game/book.h"
#include "game/output.h"
#include "game/play.h"
#include "search/activity.h"
#include "search/levels.h"
#include "search/root.h"
#include "search/tables.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace brevalt {


namespace {

// Ratings outside this range are not believed.
constexpr long RATING_MIN = 1000;
constexpr long RATING_MAX = 4000;

// Base time when "level" leaves the clock empty, in seconds.
constexpr int16_t LEVEL_MIN_TIME = 10;
// "sd" beyond the deepest iteration a game search makes is that depth.
constexpr long long SD_MAX_DEPTH = 40;

// Draw offers are accepted only by a weaker-rated engine, with a score below
// this and fewer than DRAW_MAX_PIECES pieces.
constexpr int32_t DRAW_MAX_SCORE = 5;
constexpr int DRAW_MAX_PIECES = 3;

// Commands of a game or of the engine's tests, which cannot run beside an
// analysis: the interface leaves it with "exit" first.
constexpr const char* REFUSED_IN_ANALYSIS[] = {"go", "draw", "epdtest", "static", "mob"};



// Holds the line being interpreted until the running search has ended.
void hold_line() {
  std::memcpy(protocol.held_line, protocol.line_as_sent, sizeof(protocol.held_line));
  protocol.line_held = true;
  protocol.held_during_search = search_path.search_id;
}

// The text at position pos of the line, or an empty text when the line is
// shorter: a short line must never expose what a longer earlier line left
// in the buffer.
const char* field_at(size_t pos, const char* line = protocol.input_line) {
  size_t len = std::strlen(line);
  return pos <= len ? line + pos : "";
}

bool starts_with(const char* word) { return std::strncmp(protocol.input_line, word, std::strlen(word)) == 0; }

// Plain decimal conversion: optional blanks, an optional sign and the
// leading digits; no digits give 0, trailing text is ignored. Saturates
// instead of overflowing, so a huge number stays huge and keeps its sign.
long long parse_decimal(const char* s, bool* had_digits = nullptr) {
  while (*s == ' ' || *s == '\t') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  long long v = 0;
  bool digits = false;
  while (*s >= '0' && *s <= '9') {
    digits = true;
    if (v < LLONG_MAX / 100) v = v * 10 + (*s - '0');
    ++s;
  }
  if (had_digits) *had_digits = digits;
  return negative ? -v : v;
}

// A time in seconds with an optional fraction ("0.1", "12", "-0.5") as
// milliseconds; digits past the third decimal are dropped. Saturates like
// parse_decimal; no digits give 0.
long long parse_seconds_ms(const char* s, bool* had_digits = nullptr) {
  while (*s == ' ' || *s == '\t') ++s;
  const bool negative = *s == '-';
  const long long whole = parse_decimal(s, had_digits);
  while (*s == '+' || *s == '-' || (*s >= '0' && *s <= '9')) ++s;
  long long ms = (whole < 0 ? -whole : whole) > LLONG_MAX / 1000 ? LLONG_MAX / 1000 : (whole < 0 ? -whole : whole);
  ms *= 1000;
  if (*s == '.') {
    ++s;
    long long scale = 100;
    for (; *s >= '0' && *s <= '9'; ++s) {
      if (had_digits) *had_digits = true;
      ms += (*s - '0') * scale;
      scale /= 10;
    }
  }
  return negative ? -ms : ms;
}

// The clock fields are 16-bit: a number that does not fit is clamped.
int16_t clamp16(long long v) {
  if (v > INT16_MAX) return INT16_MAX;
  if (v < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(v);
}

int32_t clamp32(long long v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Copies the text from pos up to the next blank or line end into out.
// Returns the position just after the blank that ended it (or the end).
size_t copy_word(size_t pos, char* out, size_t size, const char* line = protocol.input_line) {
  const char* s = field_at(pos, line);
  size_t n = 0;
  while (s[n] && s[n] != ' ' && s[n] != '\n') {
    if (n < size - 1) out[n] = s[n];
    ++n;
  }
  out[n < size - 1 ? n : size - 1] = '\0';
  return pos + n + (s[n] == ' ' ? 1 : 0);
}

// The text from pos to the line end, without the line end.
void copy_rest(size_t pos, char* out, size_t size, const char* line = protocol.input_line) {
  const char* s = field_at(pos, line);
  size_t n = 0;
  while (s[n] && s[n] != '\n' && n < size - 1) {
    out[n] = s[n];
    ++n;
  }
  out[n] = '\0';
}

void refuse(const char* command) { std::printf("Error (command not legal now): %s\n", command); }


// A search or a test run owns the board: nothing may set up another
// position. search_running holds even after a command that stood down
// (and cleared thinking) while the search was still unwinding.
bool board_busy() { return control.thinking || control.pondering || search_root.search_running || control.epd_run_active; }

// Leaves whatever game or search is running, before a command that takes
// the engine over.
void stand_down(bool keep_game_and_force) {
  if (!keep_game_and_force) {
    control.game_in_progress = 0;
    control.force_mode = 0;
  }
  control.pondering = 0;
  control.move_request = 0;
  control.thinking = 0;
  game_record.user_move_pending = 0;
  game_record.reply_ready = 0;
}

bool is_file(char c) { return c >= 'a' && c <= 'h'; }
bool is_rank(char c) { return c >= '1' && c <= '8'; }

// Fischer random castling as an interface may write it: O-O and O-O-O
// (also o-o, 0-0), the king taking its own rook (e1h1), or the king's two
// squares (e1g1) where no ordinary king move reads the same. Writes the
// engine's own form, the king taking its rook, into out and returns true;
// false for any other text.
bool castling_text_960(const char* text, char out[5]) {
  const int colour = (pos.game_ply & 1) ? BLACK : 0;
  int king = -1;
  for (int sq = 0; sq < 64; ++sq)
    if (pos.board[sq] == (KING | colour)) king = sq;
  if (king < 0) return false;
  int wing = -1;  // 0 king-side, 1 queen-side
  auto castle_word = [&](const char* w) {
    const size_t n = std::strlen(w);
    if (std::strncmp(text, w, n) != 0) return false;
    const char next = text[n];
    return next == '\0' || next == ' ' || next == '\n' || next == '\r' || next == '+' || next == '#';
  };
  for (const char* w : {"O-O-O", "o-o-o", "0-0-0"})
    if (castle_word(w)) wing = 1;
  if (wing < 0)
    for (const char* w : {"O-O", "o-o", "0-0"})
      if (castle_word(w)) wing = 0;
  if (wing < 0 && is_file(text[0]) && is_rank(text[1]) && is_file(text[2]) && is_rank(text[3])) {
    const int from = (text[0] - 'a') + 8 * (text[1] - '1'), to = (text[2] - 'a') + 8 * (text[3] - '1');
    if (from != king || rank_of(to) != rank_of(king)) return false;
    if (pos.board[to] == (ROOK | colour)) return false;  // already the king taking its rook
    if (file_of(to) != 6 && file_of(to) != 2) return false;
    if (side_to_move_can_play(from, to)) return false;  // an ordinary king move
    wing = file_of(to) == 6 ? 0 : 1;
  }
  if (wing < 0) return false;
  // Only a castling the position allows is one: with the right on that
  // wing gone (the king or that rook has moved, the rook was taken), the
  // rook's home square may hold nothing or another piece, and the king
  // "taking" that square could read as an ordinary king move.
  const int rook = pos.castle_rook_sq[(colour ? 2 : 0) + wing];
  if (pos.board[rook] != (ROOK | colour) || !side_to_move_can_play(king, rook)) return false;
  out[0] = static_cast<char>('a' + file_of(king));
  out[1] = static_cast<char>('1' + rank_of(king));
  out[2] = static_cast<char>('a' + file_of(rook));
  out[3] = static_cast<char>('1' + rank_of(rook));
  out[4] = '\0';
  return true;
}

// A text that castling_text_960 might read as a castling on some board:
// O-O or O-O-O in any of its spellings, or a move along a back rank to the
// c- or g-file.
bool may_be_castling_960(const char* text) {
  if (text[0] == 'O' || text[0] == 'o' || text[0] == '0') return true;
  if (!is_file(text[0]) || !is_rank(text[1]) || !is_file(text[2]) || !is_rank(text[3])) return false;
  return text[1] == text[3] && (text[1] == '1' || text[1] == '8') && (text[2] == 'c' || text[2] == 'g');
}

// Step 3 of line preparation: a move, bare or after "usermove".
void enter_move(size_t k) {
  const char* text = field_at(k);
  char shown[INPUT_LINE_SIZE];
  copy_rest(k, shown, sizeof(shown));
  char castling[5];
  // A castling written as O-O, or as the king's two squares, is read on
  // the interface's board. During a ponder search the engine's board holds
  // the predicted move as well, so such a move ends the ponder search first
  // (as a miss) and is read again once the board is the interface's.
  if (control.chess960 && game_record.prediction_on_board && search_root.search_running && may_be_castling_960(text)) {
    control.stop_search = 1;
    hold_line();
    return;
  }
  if (control.chess960 && !protocol.position_refused && castling_text_960(text, castling)) text = castling;

  // Step 1. The engine is searching on its own time, or a test run owns
  // the board (a search that was stood down may still be unwinding): no
  // move now. A move during a ponder search goes on to the hit-or-miss test.
  if (control.thinking || control.epd_run_active || (search_root.search_running && !control.pondering)) {
    refuse("move");
    return;
  }
  // A text that does not name two squares is refused before anything
  // looks at the board.
  if (protocol.position_refused || std::strlen(text) < 4 || !is_file(text[0]) || !is_rank(text[1]) || !is_file(text[2]) ||
      !is_rank(text[3])) {
    std::printf("Illegal move: %s\n", shown);
    return;
  }
  // Step 2. In force mode the engine takes the side that moves next.
  if (control.force_mode) {
    if ((pos.game_ply & 1) == 0 && control.engine_side == 1) control.engine_side = -1;
    else if ((pos.game_ply & 1) == 1 && control.engine_side == -1) control.engine_side = 1;
  }
  // Step 3. Squares.
  control.user_from = (text[0] - 'a') + 8 * (text[1] - '1');
  control.user_to = (text[2] - 'a') + 8 * (text[3] - '1');
  // Step 4. Promotion piece, also in the form "e7e8=q".
  char p = text[4] == '=' ? text[5] : text[4];
  switch (p) {
    case 'q': control.promotion_letter = 'Q'; break;
    case 'r': control.promotion_letter = 'R'; break;
    case 'b': control.promotion_letter = 'B'; break;
    case 'n': control.promotion_letter = 'N'; break;
    default: control.promotion_letter = 0;
  }
  // Step 5. The engine announces its answer, unless in force mode; a game
  // is in progress.
  if (!control.force_mode) control.announce_move = 1;
  control.game_in_progress = 1;
  // Step 6. Legality, ponder hit or miss, the move itself, the move request.
  play_move(PlayMode::user_move);
  // Step 7. The next search starts with its deadline not yet extended.
  time_control.extended_at = 0;
}

// "undo": only in force mode, and never under a search that owns the
// board. A take-back of a move the game record does not hold (none
// played, or beyond its 599 moves), or on a board the engine refused,
// would change nothing while the interface's board goes back: refused,
// so that the interface knows.
void command_undo() {
  if (!control.force_mode) return;
  if (board_busy() || protocol.position_refused || !move_to_take_back()) refuse("undo");
  else undo_last_move();
}

// "remove": xboard's Retract Move, sent when the user is on move. Two
// half-moves go back, the user's last move and the engine's answer, and the
// engine keeps its colour: the user moves again. A ponder search on the
// interface's board ends first (its predicted move is taken back as on a
// miss), and the line is served once it has unwound. While the engine
// searches on its own time, or a test run owns the board, or fewer than two
// half-moves can be taken back, it is refused and nothing changes: the
// interface then knows that its board and the engine's still agree.
void command_remove() {
  if (control.thinking || control.epd_run_active) {
    refuse("remove");
    return;
  }
  if (search_root.search_running) {
    control.stop_search = 1;
    hold_line();
    return;
  }
  if (protocol.position_refused || !moves_to_take_back(2)) {
    refuse("remove");
    return;
  }
  undo_last_move();
  undo_last_move();
}

// "variant NAME": ordinary chess or Fischer random chess, the two variants
// its features announce; xboard sends it after "new", and the variant holds
// until the next "new". Any other is refused, and the game stays as it was.
// Whether the castling rights on the board are those of ordinary chess:
// the castling rooks on the corners, and the king of a side that may still
// castle on the e-file.
bool rights_fit_ordinary_chess() {
  static constexpr uint8_t CORNERS[4] = {7, 0, 63, 56};
  for (int i = 0; i < 4; ++i)
    if (pos.castle_rook_sq[i] != CORNERS[i]) return false;
  if (!pos.white_castled && pos.board[4] != KING) return false;
  if (!pos.black_castled && pos.board[60] != (KING | BLACK)) return false;
  return true;
}

void command_variant() {
  char name[INPUT_LINE_SIZE];
  copy_word(8, name, sizeof(name));
  const bool normal = std::strcmp(name, "normal") == 0, fischer = std::strcmp(name, "fischerandom") == 0;
  // The variant the game is already played in: nothing changes.
  if ((normal && !control.chess960) || (fischer && control.chess960)) return;
  if ((normal || fischer) && board_busy()) {
    refuse("variant");
    return;
  }
  // The other one: the board and the game stay as they are (xboard sends
  // "variant" after "new" and then the variant's start with "setboard").
  // Every position of ordinary chess is one of Fischer random chess, with
  // the same castlings; the way back needs castling rights that ordinary
  // chess knows.
  if (fischer) {
    control.chess960 = 1;
    return;
  }
  if (normal) {
    if (!rights_fit_ordinary_chess()) {
      refuse("variant");
      return;
    }
    control.chess960 = 0;
    return;
  }
  if (!name[0]) std::printf("Error (variant needs a name): variant\n");
  else std::printf("Error (no such variant %s): variant\n", name);
}

void command_new() {
  if (control.game_in_progress && (control.thinking || control.pondering)) {
    // During a search: the reset waits until the search has unwound.
    control.game_in_progress = 0;
    control.announce_move = 0;
    control.reset_request = 1;
    protocol.reset_to_start_position = 1;
    control.stop_search = 1;
    control.force_mode = 0;
    protocol.position_refused = false;
    return;
  }
  if (board_busy()) {
    refuse("new");
    return;
  }
  // A game of ordinary chess, unless a "variant" follows.
  control.chess960 = 0;
  start_new_game();
  control.engine_side = -1;
  control.game_in_progress = 0;
  control.force_mode = 0;
  protocol.position_refused = false;
}

void command_protover() {
  std::printf("feature setboard=1\n");
  std::printf("feature sigint=0\n");
  std::printf("feature sigterm=0\n");
  std::printf("feature colors=0\n");
  std::printf("feature analyze=1\n");
  std::printf("feature ping=1\n");
  std::printf("feature usermove=1\n");
  std::printf("feature ics=1\n");
  std::printf("feature memory=1\n");
  // Without this feature xboard takes every variant to be played.
  std::printf("feature variants=\"normal,fischerandom\"\n");
  // Several search threads, where the build has them.
  if (SEARCH_THREADS_AVAILABLE) std::printf("feature smp=1\n");
  std::printf("feature myname=\"%s\"\n", ENGINE_NAME);
  std::printf("feature option=\"Limit Strength -check %d\"\n", level_state.level_request.limited ? 1 : 0);
  std::printf("feature option=\"Strength -spin %d %d %d\"\n", level_state.level_request.elo, LEVEL_MIN_ELO, LEVEL_MAX_ELO);
  // Several lines in analysis, and moves left out of it.
  std::printf("feature option=\"MultiPV -spin %d 1 %d\"\n", protocol.analysis_lines, MAX_ROOT_LINES);
  std::printf("feature exclude=1\n");
  std::printf("feature done=1\n");
}

// "option NAME=VALUE": the engine options announced with the features,
// the levels for people. A bad value is refused and changes nothing.
void command_option() {
  char text[INPUT_LINE_SIZE];
  copy_rest(7, text, sizeof(text));
  char* value = std::strchr(text, '=');
  if (!value) {
    std::printf("Error (option needs NAME=VALUE): option\n");
    return;
  }
  *value++ = '\0';
  for (char* end = value + std::strlen(value); end > value && (end[-1] == '\n' || end[-1] == '\r' || end[-1] == ' ');)
    *--end = '\0';
  char* end = nullptr;
  const long v = std::strtol(value, &end, 10);
  const bool number = end != value && *end == '\0';
  if (std::strcmp(text, "multipv") == 0) {
    // The lines an analysis shows; a running one starts over with them.
    if (!number || v < 1 || v > MAX_ROOT_LINES) {
      std::printf("Error (bad value %s): option\n", value);
      return;
    }
    if (protocol.analysis_lines != v) {
      protocol.analysis_lines = static_cast<int16_t>(v);
      restart_analysis_search();
    }
    return;
  }
  if (std::strcmp(text, "limit strength") == 0 && number && (v == 0 || v == 1)) {
    level_state.level_request.limited = v == 1;
  } else if (std::strcmp(text, "strength") == 0 && number && v >= LEVEL_MIN_ELO && v <= LEVEL_MAX_ELO) {
    level_state.level_request.elo = static_cast<int16_t>(v);
  } else if (std::strcmp(text, "limit strength") == 0 || std::strcmp(text, "strength") == 0) {
    std::printf("Error (bad value %s): option\n", value);
    return;
  } else {
    std::printf("Error (no such option %s): option\n", text);
    return;
  }
  apply_level_request();
}

void command_accepted() {
  char feature[INPUT_LINE_SIZE];
  copy_rest(9, feature, sizeof(feature));
  if (std::strcmp(feature, "usermove") == 0) protocol.usermove_accepted = 1;
}

// A score of the position on the interface's board, engine's view: the
// running search's best so far once one of its root moves has been
// searched, or else the last search's, while the position its move led to
// still stands. After "setboard", "new", a take-back or a move entered in
// force mode no search has looked at the board yet: there is none.
bool score_of_board_position(int32_t* score) {
  if (search_root.search_running) {
    if (!(control.thinking || control.pondering) || !search_root.root_score_known) return false;
    *score = search_root.root_best_score;
    return true;
  }
  if (!game_record.scored_position_known) return false;
  const GamePosition here = current_game_position();
  const GamePosition& then = game_record.scored_position;
  if (here.key_lo != then.key_lo || here.key_hi != then.key_hi || here.castling != then.castling ||
      here.ep_square != then.ep_square)
    return false;
  *score = control.last_score;
  return true;
}

void command_draw() {
  if (!control.game_in_progress) {
    refuse("draw");
    return;
  }
  // While a search runs the root's piece counts are current; otherwise
  // count the engine's own pieces on the board, a queen as two.
  int n = 0;
  if (control.thinking || control.pondering) {
    n = pos.white_piece_count + pos.black_piece_count;
  } else {
    const int own = side_of_sign(control.engine_side);
    for (int sq = 0; sq < 64; ++sq) {
      int code = pos.board[sq];
      if (!code || colour_of(code) != own) continue;
      int type = type_of(code);
      if (type == QUEEN) n += 2;
      else if (type == ROOK || type == BISHOP || type == KNIGHT) n += 1;
    }
  }
  int32_t score = 0;
  if (game_clock.own_rating < game_clock.opponent_rating && score_of_board_position(&score) && score < DRAW_MAX_SCORE &&
      n < DRAW_MAX_PIECES) {
    std::printf("offer draw\n");
  } else if (control.ics_mode) {
    std::printf("tellics say can't respond to draw requests\n");
  }
}

void command_go() {
  // A test run searches its own positions: a game cannot start under it;
  // nor can one start from a position the engine refused.
  if (control.epd_run_active || protocol.position_refused) {
    refuse("go");
    return;
  }
  control.force_mode = 0;
  // The interface wants a move for the side to move, from its own view of
  // the game: a reply found by an earlier ponder search is for another
  // side or another position.
  clear_ponder_reply();
  game_record.game_resigned = 0;
  // While the engine ponders (or a ponder search that "result" stood down
  // is still unwinding), the predicted move stands on its board but not on
  // the interface's: the side to move is the one before it. The ponder
  // search ends as on a miss, and the move request then has the engine
  // play that side.
  int ply_to_move = pos.game_ply;
  if (game_record.prediction_on_board) {
    ply_to_move = game_record.ponder_backup.before.game_ply;
    control.stop_search = 1;
  }
  if ((ply_to_move & 1) == 1 && control.engine_side == 1) control.engine_side = -1;
  else if ((ply_to_move & 1) == 0 && control.engine_side == -1) control.engine_side = 1;
  control.announce_move = 1;
  control.move_request = 1;
  control.game_in_progress = 1;
  control.reset_request = 0;
}

void command_rating() {
  // Fixed positions: the first rating is taken to have four digits.
  long long own = parse_decimal(field_at(7));
  long long opp = parse_decimal(field_at(12));
  game_clock.own_rating = (own >= RATING_MIN && own <= RATING_MAX) ? static_cast<int32_t>(own) : 1;
  game_clock.opponent_rating = (opp >= RATING_MIN && opp <= RATING_MAX) ? static_cast<int32_t>(opp) : 0;
}

// "level MPS BASE INC": BASE in minutes or minutes:seconds ("5", "0:30",
// "1:30"), INC in seconds with its fraction ("0.1"), as xboard sends them.
// A "level" ends a fixed time per move.
void command_level() {
  char field[INPUT_LINE_SIZE];
  size_t pos = copy_word(6, field, sizeof(field));
  game_clock.level_moves = clamp32(parse_decimal(field));
  pos = copy_word(pos, field, sizeof(field));
  // Clamped before it becomes seconds: the parsed number may be near the
  // top of its type, where sixty times it would overflow.
  long long base = 60 * static_cast<long long>(clamp16(parse_decimal(field)));
  if (const char* colon = std::strchr(field, ':')) base += clamp16(parse_decimal(colon + 1));
  game_clock.own_time = clamp16(base);
  copy_word(pos, field, sizeof(field));
  const long long increment_ms = parse_seconds_ms(field);
  game_clock.time_increment = clamp16(increment_ms / 1000);
  game_clock.time_increment_ms = clamp32(increment_ms < 0 ? 0 : increment_ms > INT16_MAX * 1000LL ? INT16_MAX * 1000LL : increment_ms);
  if (game_clock.own_time <= 0) game_clock.own_time = LEVEL_MIN_TIME;
  game_clock.own_time_cs = game_clock.own_time * 100;
  game_clock.fixed_move_ms = 0;
}

// "st SECONDS": a fixed time for every move, fractions allowed ("st 0.1");
// it replaces the level's clock until the next "level". Not a positive
// time: refused, and nothing changes.
void command_st() {
  bool digits = false;
  const long long ms = parse_seconds_ms(field_at(3), &digits);
  if (!digits || ms <= 0) {
    std::printf("Error (time per move must be above 0 seconds): st\n");
    return;
  }
  game_clock.fixed_move_ms = clamp32(ms > INT16_MAX * 1000LL ? INT16_MAX * 1000LL : ms);
}

// "sd DEPTH": no iteration beyond DEPTH, until the next "new".
void command_sd() {
  bool digits = false;
  const long long depth = parse_decimal(field_at(3), &digits);
  if (!digits || depth < 1) {
    std::printf("Error (depth must be at least 1): sd\n");
    return;
  }
  const auto limit = static_cast<int16_t>(depth > SD_MAX_DEPTH ? SD_MAX_DEPTH : depth);
  // An analysis search runs to its own ceiling; the limit is the games'.
  if (analysis_search_running()) set_game_depth_limit(limit);
  else search_root.max_depth = limit;
}

// The pong to a ping waits while an earlier command has yet to take
// effect: during a test run (one command, which ends first); during a
// search for the engine's own move, whose move comes first (xboard sends
// "?" then "ping" and reads the pong as "the move is in"); and during a
// ponder search or an analysis once something read before the ping has
// stopped it or waits for its end (a move, "new", "result"). A ponder
// search or an analysis that simply goes on does not count: the pong goes
// at once.
bool pong_must_wait() {
  if (control.epd_run_active) return true;
  if (!search_root.search_running) return false;
  if (control.pondering || analysis_search_running())
    return control.stop_search || control.reset_request || control.move_request || game_record.user_move_pending;
  return true;
}

// "ping N": "pong N" once every command before it has taken effect.
void command_ping() {
  char number[INPUT_LINE_SIZE];
  copy_word(5, number, sizeof(number));
  if (!number[0]) {
    std::printf("Error (ping needs a number): ping\n");
    return;
  }
  if (pong_must_wait()) {
    hold_line();
    return;
  }
  std::printf("pong %s\n", number);
}

// "analyze": like "force" the engine plays no side any more, and it
// searches the position without end. A search of a game that is still
// running (xboard sends "force" first, but the search may not have
// unwound yet) stops without a move, and the analysis begins once it has.
void command_analyze() {
  if (control.epd_run_active) {
    refuse("analyze");
    return;
  }
  control.force_mode = 1;
  control.announce_move = 0;
  clear_ponder_reply();
  if (search_root.search_running || control.thinking || control.pondering) {
    control.stop_search = 1;
    hold_line();
    return;
  }
  enter_analysis();
  request_analysis_search(!protocol.position_refused);
}

void command_epdtest() {
  if (control.game_in_progress || board_busy()) {
    refuse("epdtest");
    return;
  }
  stand_down(false);
  char name[INPUT_LINE_SIZE];
  size_t pos = copy_word(8, name, sizeof(name), protocol.line_as_sent);
  int n = static_cast<int>(clamp32(parse_decimal(field_at(pos))));
  if (n == 0) {
    for (int suite = 4; suite <= 8 && !input_has_ended(); ++suite) run_epd_suite("x", suite);
  } else {
    run_epd_suite(name, n);
  }
}

// The first word is exactly `word` (a one-word line keeps its line end).
bool first_word_is(const char* word) {
  const size_t n = std::strlen(word);
  return std::strncmp(protocol.first_word, word, n) == 0 &&
         (protocol.first_word[n] == '\0' || (protocol.first_word[n] == '\n' && protocol.first_word[n + 1] == '\0'));
}

// "perft N", "d" and "eval": questions about the position the interface
// holds, which change nothing. Refused while a search or a test run owns
// the board, whose position then stands inside the search's tree.
void command_inspect() {
  if (board_busy()) {
    refuse(protocol.first_word[0] == 'p' ? "perft" : protocol.first_word[0] == 'd' ? "d" : "eval");
    return;
  }
  if (protocol.first_word[0] == 'd') {
    print_position_report();
  } else if (protocol.first_word[0] == 'e') {
    print_eval_report();
  } else {
    bool digits = false;
    const long long depth = parse_decimal(field_at(6), &digits);
    if (!digits || depth < 1 || depth > INSPECT_PERFT_MAX_DEPTH) {
      std::printf("Error (depth must be 1 to %d): perft\n", INSPECT_PERFT_MAX_DEPTH);
      return;
    }
    print_perft_divide(static_cast<int>(depth));
  }
}

void command_static() {
  if (control.game_in_progress || board_busy()) {
    refuse("static");
    return;
  }
  stand_down(false);
  char name[INPUT_LINE_SIZE];
  copy_rest(7, name, sizeof(name), protocol.line_as_sent);
  run_epd_file(name);
}

void command_see() {
  // The square must be on the board: the exchange scan starts from it.
  char word[INPUT_LINE_SIZE];
  copy_word(4, word, sizeof(word));
  bool digits = false;
  long long sq = parse_decimal(word, &digits);
  if (!digits || sq < 0 || sq > 63) {
    std::printf("Error (square must be 0 to 63): see\n");
    return;
  }
  // During a search (a game's, a ponder search or a test run's) "see"
  // answers for the position the interface holds and changes nothing:
  // the search's board stands somewhere inside its tree, so the position
  // it started from is lent to the exchange scan and put back.
  if (search_root.search_running) {
    uint8_t searched[64];
    std::memcpy(searched, pos.board, sizeof(searched));
    std::memcpy(pos.board, search_root.search_root_board, sizeof(searched));
    sync_piece_sets();
    const int loss = exchange_loss(static_cast<int>(sq));
    std::memcpy(pos.board, searched, sizeof(searched));
    sync_piece_sets();
    std::printf("telluser result is %d\n", loss);
    return;
  }
  // A question about the position changes nothing: in the middle of a
  // game, standing down would take the engine out of force mode or out of
  // its game, and it would move for a side it does not play.
  find_king_squares();
  std::printf("telluser result is %d\n", exchange_loss(static_cast<int>(sq)));
}

void command_setboard() {
  // Any time no search or test run owns the board: xboard edits a position
  // in the middle of a game with "force" and "setboard", and no "new".
  if (board_busy()) {
    refuse("setboard");
    return;
  }
  char text[INPUT_LINE_SIZE];
  copy_rest(9, text, sizeof(text));
  // A position the engine cannot play is refused; until the interface
  // sends one it can, the engine neither takes nor makes moves.
  if (check_position_text(text) != nullptr) {
    std::printf("tellusererror Illegal position\n");
    protocol.position_refused = true;
    return;
  }
  stand_down(true);
  // Loading a position resets the game, but the time control, the ratings
  // and the opponent's kind belong to the match: xboard sends "level"
  // once, before "force" and "setboard", and never again.
  const MatchClock match = game_clock;
  std::FILE* f = std::fopen("epd1.epd", "w");
  bool written = f && std::fputs(text, f) >= 0;
  if (f) written = std::fclose(f) == 0 && written;
  // The text was checked, so only the file can fail us: then the position
  // is taken from the text itself.
  if (!written || !load_epd_position()) load_epd_text(text);
  apply_en_passant_field(text);
  static_cast<MatchClock&>(game_clock) = match;
  protocol.position_refused = false;
  control.force_mode = 1;
}

// The tables are in use while a search runs (a game's, a ponder search, a
// test run's) or a test run goes from one search to the next. A "memory"
// in between (the flag "pondering" may already be up for a ponder search
// that has not begun) finds them free.
bool tables_in_use() { return search_root.search_running || control.epd_run_active; }

// A setting that arrives during a ponder search: the search has no end
// of its own (it runs until the opponent moves), so a setting held for its
// end, and the "ping" after it, would wait for the opponent's move, which
// waits behind them. The ponder search ends instead, as on a miss, and
// the line is served once it has unwound. True when the line was held.
bool end_ponder_search_first() {
  if (!control.pondering) return false;
  control.stop_search = 1;
  hold_line();
  return true;
}

// The tables resized for "memory N", and the size they came to as a
// comment line, which xboard ignores.
void resize_for_memory(long long mib) {
  if (resize_transposition_tables(layout_for_mib(mib)) == Resize::no_memory) {
    std::printf("Error (cannot allocate %lld MB): memory\n", mib);
    return;
  }
  std::printf("# memory %lld MB: transposition tables of %d entries each\n", static_cast<long long>(table_mib()),
              shared_tables.tt_entries);
}

// "memory N": xboard's total for the hash tables in MiB, taken for the
// four transposition tables (the largest layout that fits). It changes
// only their size: the game, its repetition counts and the pawn cache stay.
// During a search it waits until the search has ended.
void command_memory() {
  bool digits = false;
  const long long mib = parse_decimal(field_at(7), &digits);
  if (!digits || mib < MIN_HASH_MIB || mib > MAX_HASH_MIB) {
    std::printf("Error (memory must be %lld to %lld MB): memory\n", static_cast<long long>(MIN_HASH_MIB),
                static_cast<long long>(MAX_HASH_MIB));
    return;
  }
  if (tables_in_use()) {
    if (end_ponder_search_first()) return;
    protocol.held_memory_mib = mib;
    return;
  }
  protocol.held_memory_mib = 0;
  resize_for_memory(mib);
}

// n search threads for "cores n"; those that cannot be started (no memory
// for their tables) leave the engine on the ones it has, and say so.
void start_search_threads(int n) {
  const int running = set_search_threads(n);
  if (running != n) std::printf("Error (cannot start %d search threads, searching on %d): cores\n", n, running);
}

// "cores N": xboard's number of search threads (feature smp=1). During a
// search, or a test run, it waits until that has ended, as "memory" does.
void command_cores() {
  bool digits = false;
  const long long n = parse_decimal(field_at(6), &digits);
  if (!digits || n < 1 || n > BUILD_MAX_SEARCH_THREADS) {
    std::printf("Error (cores must be 1 to %d): cores\n", BUILD_MAX_SEARCH_THREADS);
    return;
  }
  if (tables_in_use()) {
    if (end_ponder_search_first()) return;
    protocol.held_cores = static_cast<int>(n);
    return;
  }
  protocol.held_cores = 0;
  start_search_threads(static_cast<int>(n));
}

void command_mob() {
  if (control.game_in_progress) {
    refuse("mob");
    return;
  }
  std::FILE* f = std::fopen("mob.txt", "w");
  if (!f) return;
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) {
      int sq = rank * 8 + file;
      std::fprintf(f, "%d ", activity_of(pos.board[sq], sq));
    }
    std::fputc('\n', f);
  }
  std::fclose(f);
}

// A user move that missed the prediction waits until the ponder search
// has unwound: the position the interface shows is the one after it, which
// is on no board yet. A question about that position waits with it. True
// when the line was held.
bool wait_for_pending_move() {
  if (!game_record.user_move_pending || !search_root.search_running) return false;
  hold_line();
  return true;
}

// The position the interface shows, with its legal moves: the game
// position when no search owns the board, else the one noted when the
// search (or the pondering) began. Null when the engine refused the
// interface's position, or a test run owns the board.
const InterfacePosition* shown_position() {
  if (protocol.position_refused || control.epd_run_active) return nullptr;
  if (!search_root.search_running && !game_record.prediction_on_board) note_interface_position();
  return &search_root.interface_position;
}

// "bk" (xboard's Book button): what the book holds for every move of the
// position the interface shows, the most played first. Each line starts
// with a blank, as xboard wants them, and an empty line ends the text.
// The percentage is the move's share of all the book's games from here;
// own wins, draws and losses are the side to move's. A move the engine's
// book rules would never play (too few wins, or losses that outweigh wins
// and draws) is marked so. Asks the file only: no board is touched, so a
// running search or analysis goes on undisturbed.
void command_bk() {
  if (wait_for_pending_move()) return;
  static BookMove found[MOVE_ROW];
  int n = 0;
  const InterfacePosition* at = shown_position();
  BookListing listing = BookListing::listed;
  if (at) listing = list_book_moves(*at, found, &n);
  if (!at || listing != BookListing::listed || n == 0) {
    if (listing == BookListing::no_book) std::printf(" no opening book\n\n");
    else if (listing == BookListing::unreadable) std::printf(" the opening book cannot be read\n\n");
    else std::printf(" no book moves\n\n");
    return;
  }
  // Most games first; equal counts keep the order of the move list.
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0; --j) {
      const auto games = [](const BookMove& b) { return int64_t{b.stats.white_wins} + b.stats.black_wins + b.stats.draws; };
      if (games(found[j]) <= games(found[j - 1])) break;
      const BookMove t = found[j];
      found[j] = found[j - 1];
      found[j - 1] = t;
    }
  int64_t total = 0;
  for (int i = 0; i < n; ++i) total += int64_t{found[i].stats.white_wins} + found[i].stats.black_wins + found[i].stats.draws;
  for (int i = 0; i < n; ++i) {
    const BookStats& st = found[i].stats;
    const int32_t own = at->side ? st.black_wins : st.white_wins;
    const int32_t opp = at->side ? st.white_wins : st.black_wins;
    const int64_t games = int64_t{own} + opp + st.draws;
    // Tenths of a percent, rounded.
    const int64_t tenths = total > 0 ? (games * 1000 + total / 2) / total : 0;
    char move[8];
    uci_move_text(at->board, found[i].move, move);
    std::printf(" %-5s %3lld.%lld%% %6lld games  +%d =%d -%d%s\n", move, static_cast<long long>(tenths / 10),
                static_cast<long long>(tenths % 10), static_cast<long long>(games), own, st.draws, opp,
                book_move_acceptable(own, opp, st.draws) ? "" : "  (not played)");
  }
  std::printf("\n");
}

// The move text of the engine's move line: coordinates, castling as
// o-o / o-o-o; a promotion carries its piece letter.
void game_move_text(const uint8_t board[64], int from, int to, int piece, char out[8]) {
  if (control.chess960 && type_of(board[from]) == KING && board[to] == (ROOK | colour_of(board[from]))) {
    std::snprintf(out, 8, "%s", to > from ? "O-O" : "O-O-O");
    return;
  }
  const int files = file_of(to) - file_of(from);
  if (type_of(board[from]) == KING && (files == 2 || files == -2)) {
    std::snprintf(out, 8, "%s", files > 0 ? "o-o" : "o-o-o");
    return;
  }
  uci_move_text(board, PvEntry{static_cast<uint8_t>(from), static_cast<uint8_t>(to), static_cast<uint8_t>(piece), 0}, out);
}

// "hint": the reply the engine expects to its last move, the move it
// ponders on or would ponder on; nothing when it expects none, when the
// position on the board is no longer the one it was expected in, or while
// the engine searches on its own time (the user is not on move then).
void command_hint() {
  if (wait_for_pending_move()) return;
  char move[8];
  if (game_record.prediction_on_board) {
    const PonderBackup& b = game_record.ponder_backup;
    game_move_text(b.before.board, game_record.predicted_from, game_record.predicted_to, b.board_after[game_record.predicted_to], move);
    std::printf("Hint: %s\n", move);
    return;
  }
  if (!game_record.hint_known || search_root.search_running || control.epd_run_active || protocol.position_refused) return;
  const GamePosition here = current_game_position();
  const GamePosition& then = game_record.hint_position;
  if (here.key_lo != then.key_lo || here.key_hi != then.key_hi || here.castling != then.castling || here.ep_square != then.ep_square)
    return;
  if (!side_to_move_can_play(game_record.hint_from, game_record.hint_to)) return;
  game_move_text(pos.board, game_record.hint_from, game_record.hint_to, game_record.hint_piece, move);
  std::printf("Hint: %s\n", move);
}

// "exclude MOVE", "include MOVE", "exclude all", "include all": the root
// moves an analysis searches. Only in analysis, where xboard sends them;
// at any other time they are refused. A move must be a legal move of the
// analysed position, in coordinates; a promotion is left out whatever
// piece it names, as the root searches every promotion as a queen. A
// change starts the analysis over on the moves left; "exclude all" leaves
// it nothing to search until a move is included again.
void command_exclude(bool exclude) {
  const char* word = exclude ? "exclude" : "include";
  if (!control.analysis_mode) {
    refuse(word);
    return;
  }
  char text[INPUT_LINE_SIZE];
  copy_word(8, text, sizeof(text));
  const InterfacePosition* at = shown_position();
  RootRestriction& out = search_root.root_exclusion;
  if (std::strcmp(text, "all") == 0) {
    if (!at) {
      refuse(word);
      return;
    }
    const int16_t before = out.count;
    out.count = 0;
    if (exclude) {
      for (int i = 0; i < at->count && out.count < MOVE_ROW; ++i) {
        out.from[out.count] = at->moves[i].from;
        out.to[out.count++] = at->moves[i].to;
      }
    }
    if (out.count != before) restart_analysis_search();
    return;
  }
  const size_t len = std::strlen(text);
  const bool promotion_ok = len == 4 || (len == 5 && std::strchr("qrbn", text[4])) ||
                            (len == 6 && text[4] == '=' && std::strchr("qrbn", text[5]));
  if (!text[0] || len < 4 || !is_file(text[0]) || !is_rank(text[1]) || !is_file(text[2]) || !is_rank(text[3]) || !promotion_ok) {
    std::printf("Error (%s needs a move or all): %s\n", word, word);
    return;
  }
  const int from = (text[0] - 'a') + 8 * (text[1] - '1');
  const int to = (text[2] - 'a') + 8 * (text[3] - '1');
  bool legal = false;
  for (int i = 0; at && i < at->count; ++i) legal = legal || (at->moves[i].from == from && at->moves[i].to == to);
  if (!legal) {
    std::printf("Error (illegal move %s): %s\n", text, word);
    return;
  }
  int k = 0;
  while (k < out.count && !(out.from[k] == from && out.to[k] == to)) ++k;
  if (exclude && k == out.count && out.count < MOVE_ROW) {
    out.from[out.count] = static_cast<uint8_t>(from);
    out.to[out.count++] = static_cast<uint8_t>(to);
    restart_analysis_search();
  } else if (!exclude && k < out.count) {
    for (int j = k + 1; j < out.count; ++j) {
      out.from[j - 1] = out.from[j];
      out.to[j - 1] = out.to[j];
    }
    --out.count;
    restart_analysis_search();
  }
}

// Whether the prepared line is a move (step 4 of interpret_command), and
// where its text starts.
bool line_is_move(size_t* at) {
  if (!protocol.usermove_accepted && is_file(protocol.input_line[0]) && is_rank(protocol.input_line[1])) {
    *at = 0;
    return true;
  }
  if (protocol.usermove_accepted && starts_with("usermove")) {
    *at = 9;
    return true;
  }
  return false;
}

// The commands that analysis mode treats its own way; false for the rest,
// which act as at any other time (post, time, level, hard, ping, see...).
bool analysis_command() {
  // Step 1. A new position, or the end of the analysis. The running search
  // stops first and the line waits for its end: its lines are about the
  // position it started from, and the board is its until then.
  size_t at = 0;
  const bool move = line_is_move(&at);
  const bool leave = starts_with("exit");
  const bool setting = starts_with("cores") || starts_with("memory");
  if (move || leave || setting || starts_with("undo") || starts_with("remove") || starts_with("new") ||
      starts_with("setboard")) {
    if (search_root.search_running) {
      hold_line();
      control.stop_search = 1;
      return true;
    }
    if (leave) {
      leave_analysis();
      return true;
    }
    // The analysis searches afresh whatever came of it: an illegal move
    // or a refused take-back leaves the position as it was, and the
    // analysis goes on there. "new" stays in analysis mode, as xboard
    // expects, on the start position.
    // A new thread count or table size is served between two searches,
    // and the analysis then starts over on it: a "ping" after it is
    // answered only once the setting is in force.
    // A new position searches all its moves again ("new" and "setboard"
    // always give one; a move or a take-back only when it was made).
    const GamePosition before = current_game_position();
    const int16_t ply_before = pos.game_ply;
    if (move) {
      enter_move(at);
    } else if (setting) {
      if (starts_with("cores")) command_cores();
      else command_memory();
    } else if (starts_with("undo")) {
      command_undo();
    } else if (starts_with("remove")) {
      command_remove();
    } else if (starts_with("new")) {
      command_new();
      control.force_mode = 1;
    } else {
      command_setboard();
    }
    const GamePosition after = current_game_position();
    if (!setting && (starts_with("new") || starts_with("setboard") || pos.game_ply != ply_before || after.key_lo != before.key_lo ||
                     after.key_hi != before.key_hi))
      clear_exclusions();
    request_analysis_search(!protocol.position_refused);
    return true;
  }
  // Step 2. The status line.
  if (starts_with(".")) {
    print_analysis_status();
    return true;
  }
  // Step 3. Nothing to do: the engine analyses already and plays no side,
  // so it has no move to make now either.
  if (starts_with("analyze") || starts_with("force") || starts_with("?")) return true;
  // Step 4. The end of the game the interface shows: nothing more to
  // claim or offer in it; the analysis goes on.
  if (starts_with("result")) {
    control.game_in_progress = 0;
    return true;
  }
  // Step 5. Commands of a game or of the engine's tests, which cannot run
  // beside an analysis: "exit" first.
  for (const char* word : REFUSED_IN_ANALYSIS) {
    if (starts_with(word)) {
      refuse(word);
      return true;
    }
  }
  return false;
}

}  // namespace

bool line_is_held() { return protocol.line_held; }

bool held_search_has_ended() { return protocol.line_held && search_path.search_id != protocol.held_during_search; }

bool take_held_line() {
  if (!protocol.line_held) return false;
  protocol.line_held = false;
  std::memcpy(protocol.input_line, protocol.held_line, sizeof(protocol.held_line));
  return true;
}

void clear_protocol_state() {
  leave_analysis();
  protocol.line_held = false;
  protocol.usermove_accepted = 0;
  control.force_mode = 0;
  control.game_in_progress = 0;
  game_clock.level_moves = 0;
  control.ics_mode = 0;
  protocol.held_memory_mib = 0;
  protocol.held_cores = 0;
}

void serve_held_settings() {
  if (tables_in_use()) return;
  if (protocol.held_memory_mib != 0) {
    const long long mib = protocol.held_memory_mib;
    protocol.held_memory_mib = 0;
    resize_for_memory(mib);
  }
  if (protocol.held_cores != 0) {
    const int n = protocol.held_cores;
    protocol.held_cores = 0;
    start_search_threads(n);
  }
}

void interpret_command() {
  // Step 1. The first word, lower-cased, up to the first blank; a one-word
  // line keeps its line end.
  size_t n = 0;
  while (protocol.input_line[n] && protocol.input_line[n] != ' ' && n < sizeof(protocol.first_word) - 1) {
    protocol.first_word[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(protocol.input_line[n])));
    ++n;
  }
  protocol.first_word[n] = '\0';
  std::memcpy(protocol.line_as_sent, protocol.input_line, sizeof(protocol.line_as_sent));

  // Step 2. The whole line is lower-cased, except for a position text.
  if (std::strncmp(protocol.first_word, "setboard", 8) != 0)
    for (char* p = protocol.input_line; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));

  // Step 3. Analysis mode has its own rules for the commands that change
  // the position and for those of a game.
  if (control.analysis_mode && analysis_command()) return;

  // Step 4. Moves.
  size_t move_at = 0;
  if (line_is_move(&move_at)) {
    enter_move(move_at);
    return;
  }

  // Step 5. The command table, in order; the first prefix that matches wins.
  // "exit" only leaves analysis mode (handled above): outside it there is
  // nothing to leave, and it must never end the engine.
  if (starts_with("quit")) shutdown();
  else if (starts_with("exit")) {
  } else if (starts_with("new")) command_new();
  else if (std::strncmp(protocol.input_line, "xboard", 5) == 0) std::printf("\n");
  else if (starts_with("random")) {
  } else if (starts_with("protover")) command_protover();
  else if (starts_with("accepted")) command_accepted();
  else if (starts_with("rejected")) {
  } else if (starts_with("undo")) command_undo();
  else if (starts_with("remove")) command_remove();
  else if (starts_with("variant")) command_variant();
  else if (starts_with("post")) control.post_thinking = 1;
  else if (starts_with("nopost")) control.post_thinking = 0;
  else if (starts_with("hard")) control.ponder_enabled = 1;
  else if (starts_with("easy")) control.ponder_enabled = 0;
  else if (starts_with("computer")) game_clock.opponent_is_computer = 1;
  else if (starts_with("ics")) control.ics_mode = field_at(4)[0] == '-' ? 0 : 1;
  else if (starts_with("?")) control.stop_search = 1;
  else if (starts_with("force")) {
    control.force_mode = 1;
    control.announce_move = 0;
    // Whatever comes next (moves, a take-back, "go" for the other side),
    // a stored ponder reply no longer answers it.
    clear_ponder_reply();
    if (control.game_in_progress) control.stop_search = 1;
  } else if (starts_with("draw")) command_draw();
  else if (starts_with("go")) command_go();
  else if (starts_with("time")) {
    // The whole seconds drive the allotment; the centiseconds are kept for
    // the last-resort limit at the very end of the clock.
    const long long cs = parse_decimal(field_at(5));
    game_clock.own_time = clamp16(cs / 100);
    game_clock.own_time_cs = clamp32(cs > INT16_MAX * 100LL ? INT16_MAX * 100LL : cs);
  }
  else if (starts_with("otim")) game_clock.opponent_time = clamp16(parse_decimal(field_at(5)) / 100);
  else if (starts_with("rating")) command_rating();
  else if (starts_with("level")) command_level();
  else if (starts_with("result")) {
    stand_down(false);
    control.stop_search = 1;
    control.reset_request = 1;
  } else if (starts_with("epdtest")) command_epdtest();
  else if (starts_with("static")) command_static();
  else if (starts_with("see")) command_see();
  else if (starts_with("name")) {
  } else if (starts_with("setboard")) command_setboard();
  else if (starts_with("mob")) command_mob();
  else if (starts_with("option")) command_option();
  else if (starts_with("memory")) command_memory();
  else if (starts_with("cores")) command_cores();
  else if (std::strcmp(protocol.first_word, "st") == 0 || std::strcmp(protocol.first_word, "st\n") == 0) command_st();
  else if (std::strcmp(protocol.first_word, "sd") == 0 || std::strcmp(protocol.first_word, "sd\n") == 0) command_sd();
  else if (starts_with("ping")) command_ping();
  else if (starts_with("analyze")) command_analyze();
  else if (std::strcmp(protocol.first_word, "bk") == 0 || std::strcmp(protocol.first_word, "bk\n") == 0) command_bk();
  else if (starts_with("hint")) command_hint();
  else if (starts_with("exclude")) command_exclude(true);
  else if (starts_with("include")) command_exclude(false);
  else if (first_word_is("perft") || first_word_is("d") || first_word_is("eval")) command_inspect();
  else std::printf("Error (unknown command): %s\n", protocol.first_word);
}

}  // namespace brevalt

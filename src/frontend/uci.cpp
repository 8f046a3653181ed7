// The UCI front end. The interface owns the game: before every "go" it
// sends the position (the start position or a FEN, and the moves played
// since), which is set up on the game board through the same routines as
// CECP's moves, so that castling rights, en passant, the fifty-move count
// and the repetition counts of the game are the engine's own. The search
// is the root driver's; UCI mode changes only what it prints (info lines,
// no claims or results) and that the front end, not the game board, takes
// its move. Commands that arrive during a search are read by the search's
// input poll: "stop", "ponderhit", "isready" and "quit" act at once, any
// other stops the search and waits its turn.
#include "frontend/uci.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/position.h"
#include "board/reset.h"
#include "config/startup.h"
#include "config/table_size.h"
#include "core/control.h"
#include "core/game_state.h"
#include "core/platform.h"
#include "core/settings.h"
#include "core/version.h"
#include "eval/pawns.h"
#include "frontend/epd.h"
#include "frontend/inspect.h"
#include "game/output.h"
#include "game/play.h"
#include "search/levels.h"
#include "search/root.h"
#include "search/tables.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace brevalt {


namespace {

// Identification (the name is ENGINE_NAME of core/version.h).
constexpr const char* ENGINE_AUTHOR = "the Brevalt developers";

// Clocks arrive in milliseconds; the time rules count whole seconds and
// keep centiseconds for the last-resort limit, in 16 and 32 bits.
constexpr long long MS_PER_SECOND = 1000, MS_PER_CENTISECOND = 10;
constexpr long long MAX_SECONDS = INT16_MAX;
// The most that "Move Overhead" may hold back, in milliseconds.
constexpr int MAX_MOVE_OVERHEAD_MS = 5000;


// A move in coordinates, with its promotion piece.
struct CoordinateMove {
  int from, to;
  uint8_t promotion;
};

// The search in progress.
struct SearchSession {
  bool running = false;
  bool wait_for_stop = false;  // infinite or ponder: "bestmove" only after stop / ponderhit
  bool ponder = false;         // a ponder search, waiting for "ponderhit"
  bool stopped = false;        // "stop" arrived
  bool quit = false;           // "quit" arrived, or the input ended
  bool endless = false;        // no limit of its own: only "stop" or the input's end ends it
};

// The UCI session's own state: the line served and the one held back, the
// last position command, the search in progress, the options, and the
// moves "searchmoves" named. Touched only by the game loop's thread, here.
struct UciSession {
  // The command line being served, and one that arrived during a search and
  // waits until the search has ended.
  char uci_line[UCI_LINE_SIZE]{};
  char held_line[UCI_LINE_SIZE]{};
  bool line_held = false;
  // The last "position" command, set up again around each move that
  // "searchmoves" has searched one by one.
  char position_command[UCI_LINE_SIZE]{};
  // The position on the board is the interface's: false after a position
  // the engine could not set up, until the next good one.
  bool position_ok = true;
  SearchSession search{};
  // The options.
  bool ponder_option = false;
  // UCI_AnalyseMode: the interface analyses rather than plays. Its only
  // effect is that the book stays out of the search (an analysing interface
  // wants searched lines and scores); the search, its limits, its time use
  // and its output are those of play.
  bool analyse_mode = false;
  // The interface closed the engine's input during a search: the engine
  // ends once the search has.
  bool input_ended = false;
  // Book state of the game the last position belonged to: a position that
  // continues that game keeps it.
  int16_t game_ply_before = -1;
  // The moves of the last "searchmoves", with their promotion pieces.
  CoordinateMove named_moves[MOVE_ROW]{};
};
UciSession uci_state;




// ---------------------------------------------------------------------------
// Reading

enum class LineRead { ok, overlong, end };

// One line into uci_line, without its line end. A line longer than the
// buffer is read to its end and refused as a whole: a cut "position"
// line would be another game.
LineRead read_uci_line() {
  int n = 0;
  int c;
  bool any = false, overlong = false;
  while ((c = std::getc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == '\r') continue;
    if (n < UCI_LINE_SIZE - 1) uci_state.uci_line[n++] = static_cast<char>(c);
    else overlong = true;
  }
  uci_state.uci_line[n] = '\0';
  if (!any) return LineRead::end;
  return overlong ? LineRead::overlong : LineRead::ok;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The next blank-separated word from *p into word (cut to its size);
// false at the end of the line.
bool next_word(const char*& p, char* word, size_t size) {
  while (is_blank(*p)) ++p;
  if (!*p) return false;
  size_t n = 0;
  while (*p && !is_blank(*p)) {
    if (n + 1 < size) word[n++] = *p;
    ++p;
  }
  word[n] = '\0';
  return true;
}

bool equal_nocase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// A decimal number: an optional sign and digits, saturating; false when
// the word holds anything else.
bool parse_number(const char* word, long long& value) {
  const char* s = word;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (!*s) return false;
  long long v = 0;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return false;
    if (v < LLONG_MAX / 100) v = v * 10 + (*s - '0');
  }
  value = negative ? -v : v;
  return true;
}

long long clamp(long long v, long long lo, long long hi) { return v < lo ? lo : v > hi ? hi : v; }

// A line too long to keep is refused whole. When it was a position, the
// engine no longer holds the interface's position and says so at "go".
void refuse_overlong_line() {
  char first[32];
  const char* p = uci_state.uci_line;
  if (next_word(p, first, sizeof(first)) && equal_nocase(first, "position")) uci_state.position_ok = false;
  std::printf("info string line too long (over %d characters), ignored\n", UCI_LINE_SIZE - 1);
}

// ---------------------------------------------------------------------------
// Options

// The options as they stand: the Hash default is the size of the tables
// now (table_mib: their MiB rounded down).
void identify() {
  std::printf("id name %s\n", ENGINE_NAME);
  std::printf("id author %s\n", ENGINE_AUTHOR);
  std::printf("option name Hash type spin default %lld min %lld max %lld\n", static_cast<long long>(table_mib()),
              static_cast<long long>(MIN_HASH_MIB), static_cast<long long>(MAX_HASH_MIB));
  std::printf("option name Clear Hash type button\n");
  std::printf("option name Threads type spin default 1 min 1 max %d\n", BUILD_MAX_SEARCH_THREADS);
  std::printf("option name OwnBook type check default %s\n", settings.book_enabled ? "true" : "false");
  std::printf("option name Ponder type check default %s\n", uci_state.ponder_option ? "true" : "false");
  std::printf("option name Move Overhead type spin default %d min 0 max %d\n", DEFAULT_MOVE_OVERHEAD_MS,
              MAX_MOVE_OVERHEAD_MS);
  std::printf("option name UCI_AnalyseMode type check default %s\n", uci_state.analyse_mode ? "true" : "false");
  std::printf("option name UCI_Chess960 type check default false\n");
  std::printf("option name MultiPV type spin default 1 min 1 max %d\n", MAX_ROOT_LINES);
  std::printf("option name UCI_LimitStrength type check default false\n");
  std::printf("option name UCI_Elo type spin default %d min %d max %d\n", level_state.level_request.elo, LEVEL_MIN_ELO,
              LEVEL_MAX_ELO);
  std::printf("uciok\n");
}

// "setoption name Hash value N": the largest table layout that fits in N
// MiB. Resizing keeps the game (the repetition counts have a table of
// their own) and leaves the transposition tables empty; a size that
// cannot be had leaves the old tables as they were.
void set_hash_option(const char* value) {
  long long mib = 0;
  if (!parse_number(value, mib) || mib < MIN_HASH_MIB || mib > MAX_HASH_MIB) {
    std::printf("info string Hash is %lld to %lld MB\n", static_cast<long long>(MIN_HASH_MIB),
                static_cast<long long>(MAX_HASH_MIB));
    return;
  }
  if (resize_transposition_tables(layout_for_mib(mib)) == Resize::no_memory) {
    std::printf("info string Hash %lld MB cannot be allocated: the tables stay at %lld MB\n", mib,
                static_cast<long long>(table_mib()));
    return;
  }
  std::printf("info string Hash %lld MB: transposition tables of %d entries each\n",
              static_cast<long long>(table_mib()), shared_tables.tt_entries);
}

// "setoption name Threads value N": N search threads. Threads that cannot
// be started (no memory for their tables) leave the engine on those it has.
void set_threads_option(const char* value) {
  long long n = 0;
  if (!parse_number(value, n) || n < 1 || n > BUILD_MAX_SEARCH_THREADS) {
    std::printf("info string Threads is 1 to %d\n", BUILD_MAX_SEARCH_THREADS);
    return;
  }
  const int running = set_search_threads(static_cast<int>(n));
  if (running != n) std::printf("info string Threads %lld cannot be started: the engine searches on %d\n", n, running);
}

// "setoption name NAME [value VALUE]": the name and the value may hold blanks.
void set_option(const char* args) {
  char name[64] = "", value[64] = "";
  char word[64];
  const char* p = args;
  char* target = nullptr;
  while (next_word(p, word, sizeof(word))) {
    if (equal_nocase(word, "name") && target == nullptr) target = name;
    else if (equal_nocase(word, "value") && target == name) target = value;
    else if (target) {
      if (*target) std::strncat(target, " ", sizeof(name) - std::strlen(target) - 1);
      std::strncat(target, word, sizeof(name) - std::strlen(target) - 1);
    }
  }
  if (equal_nocase(name, "Hash")) {
    set_hash_option(value);
  } else if (equal_nocase(name, "Threads")) {
    set_threads_option(value);
  } else if (equal_nocase(name, "Clear Hash")) {
    // A button: what a new game forgets of earlier searches, and nothing else.
    clear_transposition_tables();
    clear_pawn_hash();
  } else if (equal_nocase(name, "UCI_AnalyseMode")) {
    if (equal_nocase(value, "true")) uci_state.analyse_mode = true;
    else if (equal_nocase(value, "false")) uci_state.analyse_mode = false;
    else std::printf("info string UCI_AnalyseMode is true or false\n");
  } else if (equal_nocase(name, "UCI_Chess960")) {
    // Fischer random chess: castling is read and written as the king
    // taking its own rook; positions are read with their rooks' files.
    if (equal_nocase(value, "true")) control.chess960 = 1;
    else if (equal_nocase(value, "false")) control.chess960 = 0;
    else std::printf("info string UCI_Chess960 is true or false\n");
  } else if (equal_nocase(name, "OwnBook")) {
    if (equal_nocase(value, "true")) settings.book_enabled = 1;
    else if (equal_nocase(value, "false")) settings.book_enabled = 0;
    else std::printf("info string OwnBook is true or false\n");
  } else if (equal_nocase(name, "Move Overhead")) {
    long long ms = 0;
    if (!parse_number(value, ms) || ms < 0 || ms > MAX_MOVE_OVERHEAD_MS) {
      std::printf("info string Move Overhead is 0 to %d milliseconds\n", MAX_MOVE_OVERHEAD_MS);
      return;
    }
    game_clock.move_overhead_ms = static_cast<int32_t>(ms);
  } else if (equal_nocase(name, "MultiPV")) {
    long long lines = 0;
    if (!parse_number(value, lines) || lines < 1 || lines > MAX_ROOT_LINES) {
      std::printf("info string MultiPV is 1 to %d lines\n", MAX_ROOT_LINES);
      return;
    }
    search_root.root_lines_wanted = search_root.root_lines_shown = static_cast<int16_t>(lines);
  } else if (equal_nocase(name, "UCI_LimitStrength")) {
    if (equal_nocase(value, "true")) level_state.level_request.limited = true;
    else if (equal_nocase(value, "false")) level_state.level_request.limited = false;
    else std::printf("info string UCI_LimitStrength is true or false\n");
    apply_level_request();
  } else if (equal_nocase(name, "UCI_Elo")) {
    long long elo = 0;
    if (!parse_number(value, elo) || elo < LEVEL_MIN_ELO || elo > LEVEL_MAX_ELO) {
      std::printf("info string UCI_Elo is %d to %d\n", LEVEL_MIN_ELO, LEVEL_MAX_ELO);
      return;
    }
    level_state.level_request.elo = static_cast<int16_t>(elo);
    apply_level_request();
  } else if (equal_nocase(name, "Ponder")) {
    if (equal_nocase(value, "true")) uci_state.ponder_option = true;
    else if (equal_nocase(value, "false")) uci_state.ponder_option = false;
    else std::printf("info string Ponder is true or false\n");
  } else {
    std::printf("info string no such option: %s\n", name);
  }
}

// ---------------------------------------------------------------------------
// Positions

// A move in UCI coordinates: from, to and the promotion letter (0, or
// 'Q', 'R', 'B', 'N' as the game board wants it).

bool parse_move(const char* w, CoordinateMove& m) {
  const size_t len = std::strlen(w);
  if (len != 4 && len != 5) return false;
  if (w[0] < 'a' || w[0] > 'h' || w[1] < '1' || w[1] > '8' || w[2] < 'a' || w[2] > 'h' || w[3] < '1' || w[3] > '8')
    return false;
  m.from = (w[0] - 'a') + 8 * (w[1] - '1');
  m.to = (w[2] - 'a') + 8 * (w[3] - '1');
  m.promotion = 0;
  if (len == 5) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(w[4])));
    if (c != 'q' && c != 'r' && c != 'b' && c != 'n') return false;
    m.promotion = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(c)));
  }
  return true;
}

// Plays the interface's move on the game board when it is legal for the
// side to move: a pawn reaching the last rank promotes (to a queen when
// no letter is given), and no other move may carry a letter.
bool play_interface_move(const CoordinateMove& m) {
  if (pos.board[m.from] == EMPTY) return false;
  const bool last_rank = type_of(pos.board[m.from]) == PAWN && (rank_of(m.to) == 0 || rank_of(m.to) == 7);
  if (m.promotion && !last_rank) return false;
  if (!side_to_move_can_play(m.from, m.to)) return false;
  // The game board takes the move as the opponent's: the engine plays the
  // other side for this one move.
  control.engine_side = static_cast<int16_t>((pos.game_ply & 1) ? 1 : -1);
  control.user_from = m.from;
  control.user_to = m.to;
  control.promotion_letter = m.promotion;
  return play_move(PlayMode::user_move) != 0;
}

// "position startpos|fen FEN [moves M1 M2 ...]". A position that cannot be
// set up leaves no position at all (a "go" then answers "bestmove 0000");
// an illegal move keeps the position before it. Either is reported.
void set_up_position(const char* args, bool quiet) {
  if (args != uci_state.position_command) std::snprintf(uci_state.position_command, sizeof(uci_state.position_command), "%s", args);
  const char* p = uci_state.position_command;
  char word[128];
  const int16_t book_before = search_root.in_book;
  const int16_t book_ply_before = search_root.last_book_ply;
  const int16_t ply_before = uci_state.game_ply_before;

  // Step 1. The position itself.
  if (!next_word(p, word, sizeof(word))) {
    if (!quiet) std::printf("info string position: startpos or fen expected\n");
    uci_state.position_ok = false;
    return;
  }
  bool from_fen = false;
  if (equal_nocase(word, "startpos")) {
    std::memcpy(pos.board, start_board, sizeof(pos.board));
    sync_piece_sets();
    new_game_keeping_tables();
    register_start_position();
  } else if (equal_nocase(word, "fen")) {
    // The FEN is the words up to "moves" or the line end, joined by single
    // blanks: the protocol allows any run of blanks and tabs between them.
    char fen[256];
    size_t fen_len = 0;
    const char* after = p;
    char field[128];
    while (next_word(after, field, sizeof(field)) && !equal_nocase(field, "moves")) {
      p = after;
      const size_t n = std::strlen(field);
      if (fen_len + n + 2 > sizeof(fen) || n + 1 >= sizeof(field)) {
        if (!quiet) std::printf("info string position: the FEN is too long\n");
        uci_state.position_ok = false;
        return;
      }
      if (fen_len) fen[fen_len++] = ' ';
      std::memcpy(fen + fen_len, field, n);
      fen_len += n;
    }
    fen[fen_len] = '\0';
    const char* reason = check_position_text(fen);
    if (reason != nullptr || !load_epd_text(fen, true)) {
      if (!quiet) std::printf("info string position: illegal FEN (%s): %s\n", reason ? reason : "malformed", fen);
      uci_state.position_ok = false;
      return;
    }
    apply_en_passant_field(fen);
    from_fen = true;
  } else {
    if (!quiet) std::printf("info string position: startpos or fen expected, not %s\n", word);
    uci_state.position_ok = false;
    return;
  }
  uci_state.position_ok = true;
  control.force_mode = 1;

  // Step 2. The moves played since.
  if (next_word(p, word, sizeof(word)) && equal_nocase(word, "moves")) {
    while (next_word(p, word, sizeof(word))) {
      CoordinateMove m{};
      if (!parse_move(word, m) || !play_interface_move(m)) {
        if (!quiet) std::printf("info string illegal move %s: the position is the one before it\n", word);
        break;
      }
    }
  }

  // Step 3. The book: a game that goes on keeps its book state; a new game
  // (fewer plies than before) may use the book again; a set-up position
  // never does.
  if (from_fen) {
    search_root.in_book = 0;
  } else if (ply_before >= 0 && pos.game_ply >= ply_before) {
    search_root.in_book = book_before;
    search_root.last_book_ply = book_ply_before;
  } else {
    search_root.in_book = settings.book_enabled ? 1 : 0;
    search_root.last_book_ply = 0;
  }
  uci_state.game_ply_before = static_cast<int16_t>(pos.game_ply);
}

// ---------------------------------------------------------------------------
// Searching

// The search's answer: "bestmove" and, when its line goes on, "ponder".
void announce_best_move() {
  if (!search_root.search_result.has_move) {
    std::printf("bestmove (none)\n");
    return;
  }
  char best[6], reply[6];
  uint8_t squares[64];
  std::memcpy(squares, search_root.search_root_board, sizeof(squares));
  uci_move_text(squares, search_root.search_result.move, best);
  if (!search_root.search_result.has_ponder) {
    std::printf("bestmove %s\n", best);
    return;
  }
  replay_line_move(squares, search_root.search_result.move);
  uci_move_text(squares, search_root.search_result.ponder, reply);
  std::printf("bestmove %s ponder %s\n", best, reply);
}

// The clock fields from milliseconds.
void set_clocks(long long own_ms, long long opponent_ms, long long increment_ms) {
  own_ms = clamp(own_ms, 0, MAX_SECONDS * MS_PER_SECOND);
  opponent_ms = clamp(opponent_ms, 0, MAX_SECONDS * MS_PER_SECOND);
  game_clock.own_time = static_cast<int16_t>(own_ms / MS_PER_SECOND);
  game_clock.own_time_cs = static_cast<int32_t>(own_ms / MS_PER_CENTISECOND);
  game_clock.opponent_time = static_cast<int16_t>(opponent_ms / MS_PER_SECOND);
  increment_ms = clamp(increment_ms, 0, MAX_SECONDS * MS_PER_SECOND);
  game_clock.time_increment = static_cast<int16_t>(increment_ms / MS_PER_SECOND);
  game_clock.time_increment_ms = static_cast<int32_t>(increment_ms);
}

bool is_go_keyword(const char* w) {
  static const char* const keywords[] = {"searchmoves", "ponder", "wtime", "btime", "winc",     "binc",
                                         "movestogo",   "depth",  "nodes", "mate",  "movetime", "infinite"};
  for (const char* k : keywords)
    if (equal_nocase(w, k)) return true;
  return false;
}

// The commands that the session loop serves after a search; other words
// arriving during one are ignored.
bool is_session_command(const char* w) {
  static const char* const commands[] = {"uci", "setoption", "ucinewgame", "position", "go"};
  for (const char* c : commands)
    if (equal_nocase(w, c)) return true;
  return false;
}

bool refuse_inspection_during_search(const char* line);

// A command read while a search runs (by its input poll) or while an
// infinite or ponder search that has ended waits to answer: "stop",
// "ponderhit", "isready" and "quit" act at once; anything else ends the
// search and is held for the session loop.
void serve_search_line(LineRead r) {
  if (r == LineRead::end) {
    // Nobody can say "stop" any more: a search without an end of its own
    // ends now; one with a clock or a limit runs to it. Either answers
    // before the engine ends ("echo go depth 8 | brevalt" works).
    uci_state.input_ended = true;
    if (uci_state.search.wait_for_stop || uci_state.search.endless) control.stop_search = 1;
    return;
  }
  if (r == LineRead::overlong) {
    refuse_overlong_line();
    return;
  }
  if (refuse_inspection_during_search(uci_state.uci_line)) return;
  // The command is the first word that names one, as at any other time
  // ("joho stop" is "stop"); a line with none is ignored.
  char first[32];
  const char* p = uci_state.uci_line;
  for (;;) {
    if (!next_word(p, first, sizeof(first))) return;
    if (is_session_command(first) || equal_nocase(first, "stop") || equal_nocase(first, "ponderhit") ||
        equal_nocase(first, "isready") || equal_nocase(first, "quit") || equal_nocase(first, "debug") ||
        equal_nocase(first, "register"))
      break;
  }
  if (equal_nocase(first, "stop")) {
    uci_state.search.stopped = true;
    control.stop_search = 1;
  } else if (equal_nocase(first, "ponderhit")) {
    // The predicted move was played: the ponder search becomes the
    // engine's own, on the clock given with "go ponder", whose time has
    // been running since the search began. A ponder search that has
    // ended answers now; a "ponderhit" for any other search means nothing.
    if (uci_state.search.ponder) {
      uci_state.search.ponder = false;
      uci_state.search.wait_for_stop = false;
      time_control.search_limits.untimed = 0;
    }
  } else if (equal_nocase(first, "isready")) {
    std::printf("readyok\n");
  } else if (equal_nocase(first, "quit")) {
    uci_state.search.quit = true;
    control.stop_search = 1;
  } else if (is_session_command(first)) {
    // A command that changes what is searched (a new position, another
    // "go", an option) ends this search first. Unknown words are ignored,
    // as the protocol asks.
    std::memcpy(uci_state.held_line, uci_state.uci_line, sizeof(uci_state.held_line));
    uci_state.line_held = true;
    control.stop_search = 1;
  }
}

// ---------------------------------------------------------------------------
// Under-promotions named by "searchmoves"

// A clock is shared among moves searched one by one as a fast clock
// spends it on one move: this share of it in all.
constexpr long long NAMED_MOVES_CLOCK_SHARE = 25;

bool names_under_promotion() {
  for (int i = 0; i < search_root.root_restriction.count; ++i)
    if (uci_state.named_moves[i].promotion != 0 && uci_state.named_moves[i].promotion != 'Q') return true;
  return false;
}

// What each reply search may spend.
struct ReplyLimits {
  int16_t depth = 1;
  int64_t nodes = 0;
  long long ms = 0;
  bool timed = false;
};

// The score of the position after our move, from the score its side to
// move found: negated, and a mate one ply further away.
int32_t score_before_reply(int32_t reply_score) {
  if (reply_score > MATE_BOUND) return -(reply_score - 1);
  if (reply_score < -MATE_BOUND) return -reply_score - 1;
  return -reply_score;
}

// The search never makes an under-promotion: throughout the tree a pawn
// promotes to a queen. When the interface names one among "searchmoves",
// each named legal move is played on the game board in turn and the
// position after it is searched for the opponent; the move whose reply
// does worst is the answer, played as named. Each new best move gets its
// info line: the move, then the reply's line.
void search_named_moves_one_by_one(const ReplyLimits& each, bool white) {
  const uint64_t started = time_control.ms_source();
  uint8_t before[64];
  std::memcpy(before, pos.board, sizeof(before));
  int64_t total_nodes = 0;
  bool have_best = false;
  int32_t best_score = 0;
  SearchResult best{};
  const int k = search_root.root_restriction.count;
  for (int i = 0; i < k && !uci_state.search.stopped && !uci_state.search.quit && !uci_state.line_held; ++i) {
    // Step 1. The interface's position, and the named move on it.
    set_up_position(uci_state.position_command, true);
    if (!play_interface_move(uci_state.named_moves[i])) continue;
    const PvEntry move{static_cast<uint8_t>(uci_state.named_moves[i].from), static_cast<uint8_t>(uci_state.named_moves[i].to),
                       static_cast<uint8_t>(pos.board[uci_state.named_moves[i].to]), 0};

    // Step 2. The reply, searched within this move's share of the limits.
    const int replier = white ? BLACK : 0;
    time_control.search_limits = SearchLimits{};
    time_control.search_limits.untimed = 1;
    time_control.search_limits.no_book = 1;
    time_control.search_limits.nodes = each.nodes;
    if (each.timed) {
      time_control.search_limits.has_fixed_deadline = 1;
      time_control.search_limits.fixed_deadline_ms = time_control.ms_source() + static_cast<uint64_t>(each.ms > 0 ? each.ms : 0);
    }
    const int16_t depth_before = search_root.max_depth;
    search_root.max_depth = each.depth;
    search_root.root_restriction.count = 0;
    control.engine_side = static_cast<int16_t>(sign_of_side(replier));
    control.stop_search = 0;
    search_root.search_result = SearchResult{};
    search_root.thinking_lines_held = 1;
    think(replier);
    search_root.thinking_lines_held = 0;
    search_root.root_restriction.count = static_cast<int16_t>(k);
    search_root.max_depth = depth_before;
    // Every thread's nodes, once: the next search starts the helpers' afresh.
    total_nodes += search_node_total();
    forget_helper_nodes();

    // Step 3. Its score from our side; no reply is mate or stalemate.
    int32_t score;
    const int reply_depth = search_root.search_result.has_move ? search_path.iteration_depth : 0;
    if (search_root.search_result.has_move) {
      score = score_before_reply(search_root.root_best_score);
    } else {
      find_king_squares();
      const int32_t king[3] = {white ? 1 : 0, pos.king_square(white), END_OF_LIST};
      score = square_attacked(king) ? MATE_SCORE - 1 : 0;
    }
    if (have_best && score <= best_score) continue;
    have_best = true;
    best_score = score;
    best = SearchResult{};
    best.has_move = 1;
    best.move = move;
    if (search_root.search_result.has_move) {
      best.has_ponder = 1;
      best.ponder = search_root.search_result.move;
    }

    // Step 4. The info line: our move, then the reply's line.
    const int reply_len = search_root.search_result.has_move ? (search_path.pv_length[0] < MAX_PLY - 1 ? search_path.pv_length[0] : MAX_PLY - 1) : 0;
    for (int j = reply_len; j > 0; --j) search_path.pv_table[1][j] = search_path.pv_table[0][j - 1];
    search_path.pv_table[1][0] = move;
    search_path.pv_length[1] = reply_len + 1;
    std::memcpy(search_root.search_root_board, before, sizeof(before));
    // The depth is our move and the reply's search below it, never more
    // than "go depth" asked: a depth of one still searches the replies one
    // ply (the root driver has no shallower search), which counts as the
    // selective depth, as an extension would.
    search_path.iteration_depth = static_cast<int16_t>(std::min(reply_depth + 1, static_cast<int>(search_root.max_depth)));
    search_path.sel_depth = static_cast<int16_t>(search_path.sel_depth + 1 > search_path.iteration_depth ? search_path.sel_depth + 1 : search_path.iteration_depth);
    search_root.reported_score = best_score;
    search_path.search_nodes = total_nodes;
    time_control.search_start_ms = started;
    thinking_output(Output::thinking_line);
  }
  // The interface's position again, and the answer.
  set_up_position(uci_state.position_command, true);
  std::memcpy(search_root.search_root_board, before, sizeof(before));
  search_root.search_result = best;
}

// Waits, after an infinite or ponder search has ended by itself, for the
// word that lets it answer: "stop", "ponderhit" (a ponder search only),
// "quit", another command, or the end of the input.
void wait_for_leave_to_answer() {
  while (uci_state.search.wait_for_stop && !uci_state.search.stopped && !uci_state.search.quit && !uci_state.line_held && !uci_state.input_ended)
    serve_search_line(read_uci_line());
}

// One number of "go"; a keyword with no number after it keeps its default.
struct GoValue {
  long long value = 0;
  bool given = false;
};

// "go": the limits, the clocks, one search, its answer.
void go(const char* args) {
  // Step 1. The limits. A keyword given with a value of zero or below is
  // still a limit: no time, no depth, no nodes left means moving at once.
  GoValue wtime, btime, winc, binc, movestogo, movetime, depth, nodes, mate;
  bool infinite = false, ponder = false;
  search_root.root_restriction.count = 0;
  char word[64];
  const char* p = args;
  bool have_word = next_word(p, word, sizeof(word));
  while (have_word) {
    GoValue* field = nullptr;
    if (equal_nocase(word, "wtime")) field = &wtime;
    else if (equal_nocase(word, "btime")) field = &btime;
    else if (equal_nocase(word, "winc")) field = &winc;
    else if (equal_nocase(word, "binc")) field = &binc;
    else if (equal_nocase(word, "movestogo")) field = &movestogo;
    else if (equal_nocase(word, "movetime")) field = &movetime;
    else if (equal_nocase(word, "depth")) field = &depth;
    else if (equal_nocase(word, "nodes")) field = &nodes;
    else if (equal_nocase(word, "mate")) field = &mate;
    else if (equal_nocase(word, "infinite")) infinite = true;
    else if (equal_nocase(word, "ponder")) ponder = true;
    else if (equal_nocase(word, "searchmoves")) {
      // Moves up to the next keyword.
      while ((have_word = next_word(p, word, sizeof(word))) && !is_go_keyword(word)) {
        CoordinateMove m{};
        if (parse_move(word, m) && search_root.root_restriction.count < MOVE_ROW) {
          search_root.root_restriction.from[search_root.root_restriction.count] = static_cast<uint8_t>(m.from);
          search_root.root_restriction.to[search_root.root_restriction.count] = static_cast<uint8_t>(m.to);
          uci_state.named_moves[search_root.root_restriction.count] = m;
          ++search_root.root_restriction.count;
        }
      }
      continue;
    }
    have_word = next_word(p, word, sizeof(word));
    if (field && have_word) {
      long long v = 0;
      if (parse_number(word, v)) {
        field->value = v;
        field->given = true;
        have_word = next_word(p, word, sizeof(word));
      }
    }
  }

  // Step 2. The session of this search: infinite and ponder searches
  // answer only when told to, whatever happens before.
  uci_state.search = SearchSession{};
  uci_state.search.wait_for_stop = infinite || ponder;
  uci_state.search.ponder = ponder;

  if (!uci_state.position_ok) {
    std::printf("info string no position to search: send a legal one with \"position\"\n");
    wait_for_leave_to_answer();
    if (!uci_state.search.quit) std::printf("bestmove 0000\n");
    search_root.root_restriction.count = 0;
    if (uci_state.search.quit || uci_state.input_ended) shutdown();
    return;
  }

  // Step 3. Clocks and limits for the time rules. A clock is given when
  // either side's is: a missing, zero or negative own clock is no time
  // left (match runners send negative times once the margin is dipped into).
  const bool white = (pos.game_ply & 1) == 0;
  const GoValue& own = white ? wtime : btime;
  const GoValue& opponent = white ? btime : wtime;
  time_control.search_limits = SearchLimits{};
  const bool clock_given = wtime.given || btime.given;
  if (clock_given) {
    const long long own_ms = own.given ? own.value : 0;
    set_clocks(own_ms, opponent.given ? opponent.value : own_ms, (white ? winc : binc).value);
    game_clock.level_moves = movestogo.value > 0 ? static_cast<int32_t>(clamp(movestogo.value, 1, INT16_MAX)) : 0;
    time_control.search_limits.moves_to_go = game_clock.level_moves;
  } else {
    // No clock: only the limits end the search. The short clock makes the
    // search look at them (and at its input) every few thousand nodes.
    set_clocks(0, 0, 0);
    game_clock.level_moves = 0;
  }
  time_control.search_limits.untimed = !clock_given || infinite || ponder || movetime.given;
  if (movetime.given) {
    time_control.search_limits.has_fixed_deadline = 1;
    time_control.search_limits.fixed_deadline_ms =
        time_control.ms_source() + static_cast<uint64_t>(fixed_time_budget(clamp(movetime.value, 0, INT32_MAX)));
  }
  if (nodes.given) time_control.search_limits.nodes = clamp(nodes.value, 1, INT64_MAX);
  // A mate in N moves lies within 2N - 1 plies; the search stops at the
  // first mate it proves.
  long long depth_limit = protocol.uci_depth_ceiling;
  if (depth.given) depth_limit = depth.value;
  if (mate.given) depth_limit = std::min(depth_limit, 2 * clamp(mate.value, 0, protocol.uci_depth_ceiling) + 1);
  search_root.max_depth = static_cast<int16_t>(clamp(depth_limit, 1, protocol.uci_depth_ceiling));
  // An analysis (an infinite search, or an interface in analyse mode) is
  // searched at full strength whatever the level.
  time_control.search_limits.analysis = uci_state.analyse_mode || infinite;
  time_control.search_limits.no_book =
      uci_state.analyse_mode || infinite || depth.given || nodes.given || mate.given || search_root.root_restriction.count > 0;
  // A search with no end of its own ends with the input (nobody can say
  // "stop" any more).
  uci_state.search.endless = time_control.search_limits.untimed && !movetime.given && !nodes.given && !depth.given && !mate.given;

  // Step 4. The search; moves named with an under-promotion are searched
  // one by one.
  uci_state.search.running = true;
  if (names_under_promotion()) {
    const int k = search_root.root_restriction.count;
    ReplyLimits each;
    each.depth = static_cast<int16_t>(search_root.max_depth > 1 ? search_root.max_depth - 1 : 1);
    if (nodes.given) each.nodes = clamp(nodes.value / k, 1, INT64_MAX);
    if (movetime.given) {
      each.ms = fixed_time_budget(clamp(movetime.value, 0, INT32_MAX)) / k;
    } else if (clock_given && !infinite && !ponder) {
      // A share of the clock as a fast clock would spend it.
      const long long own_ms = own.given ? clamp(own.value, 0, INT32_MAX) : 0;
      each.ms = (own_ms / NAMED_MOVES_CLOCK_SHARE) / k;
    }
    each.timed = movetime.given || (clock_given && !infinite && !ponder);
    search_named_moves_one_by_one(each, white);
  } else {
    search_root.search_result = SearchResult{};
  }
  // The search proper; also when the named moves held none that is legal
  // (such a list allows them all).
  if (!search_root.search_result.has_move) {
    search_root.root_restriction.count = static_cast<int16_t>(names_under_promotion() ? 0 : search_root.root_restriction.count);
    const int side = white ? WHITE_SIDE : BLACK_SIDE;
    control.engine_side = static_cast<int16_t>(sign_of_side(side));
    control.stop_search = 0;
    think(side);
  }
  uci_state.search.running = false;

  // Step 5. An infinite or ponder search that ended on its own answers
  // only when the interface says so.
  wait_for_leave_to_answer();

  // Step 6. The answer, and the search limits back to none.
  if (!uci_state.search.quit) announce_best_move();
  time_control.search_limits = SearchLimits{};
  search_root.root_restriction.count = 0;
  search_root.max_depth = protocol.uci_depth_ceiling;
  // A command held during the search is served next by the session loop.
  if (uci_state.search.quit || uci_state.input_ended) shutdown();
}

// ---------------------------------------------------------------------------
// The testers' commands: "go perft N", "d" and "eval"

// Serves `word` (with the rest of its line) when it is one of them:
// "go perft N" counts the leaves below each root move and answers with no
// "bestmove"; "d" draws the board; "eval" gives the evaluation's terms.
// None of them changes the position. False for any other command.
bool serve_inspection(const char* word, const char* rest) {
  const bool board = equal_nocase(word, "d"), eval = equal_nocase(word, "eval");
  bool perft_asked = false;
  char next[32];
  const char* p = rest;
  if (equal_nocase(word, "go") && next_word(p, next, sizeof(next)) && equal_nocase(next, "perft")) perft_asked = true;
  if (!board && !eval && !perft_asked) return false;
  if (!uci_state.position_ok) {
    std::printf("info string no position: send a legal one with \"position\"\n");
    return true;
  }
  if (board) print_position_report();
  else if (eval) print_eval_report();
  else {
    long long depth = 0;
    if (!next_word(p, next, sizeof(next)) || !parse_number(next, depth) || depth < 1 || depth > INSPECT_PERFT_MAX_DEPTH) {
      std::printf("info string perft needs a depth of 1 to %d\n", INSPECT_PERFT_MAX_DEPTH);
      return true;
    }
    print_perft_divide(static_cast<int>(depth));
  }
  return true;
}

// During a search "d" and "eval" are refused: the search's board stands
// somewhere inside its tree. True when the line was one of them.
bool refuse_inspection_during_search(const char* line) {
  char word[32];
  const char* p = line;
  if (!next_word(p, word, sizeof(word)) || !(equal_nocase(word, "d") || equal_nocase(word, "eval"))) return false;
  std::printf("info string %s is not available during a search\n", equal_nocase(word, "d") ? "d" : "eval");
  return true;
}

// ---------------------------------------------------------------------------
// Commands

// Serves one command line while no search runs. Unknown words before a
// command are skipped, as UCI asks ("joho debug on" is "debug on").
void serve_idle_line(const char* line) {
  char word[32];
  const char* p = line;
  while (next_word(p, word, sizeof(word))) {
    if (equal_nocase(word, "uci")) return identify();
    if (equal_nocase(word, "isready")) {
      std::printf("readyok\n");
      return;
    }
    if (equal_nocase(word, "setoption")) return set_option(p);
    if (equal_nocase(word, "ucinewgame")) {
      std::memcpy(pos.board, start_board, sizeof(pos.board));
      sync_piece_sets();
      new_game();
      register_start_position();
      std::snprintf(uci_state.position_command, sizeof(uci_state.position_command), "startpos");
      uci_state.position_ok = true;
      uci_state.game_ply_before = -1;
      return;
    }
    if (equal_nocase(word, "position")) return set_up_position(p, false);
    if (serve_inspection(word, p)) return;
    if (equal_nocase(word, "go")) return go(p);
    if (equal_nocase(word, "quit")) shutdown();
    // "stop" and "ponderhit" with no search, "debug", "register": nothing to do.
    if (equal_nocase(word, "stop") || equal_nocase(word, "ponderhit") || equal_nocase(word, "debug") ||
        equal_nocase(word, "register"))
      return;
  }
}

}  // namespace

bool is_uci_opening(const char* line) {
  const char* p = line;
  while (is_blank(*p)) ++p;
  if (std::strncmp(p, "uci", 3) != 0) return false;
  p += 3;
  while (is_blank(*p) || *p == '\r' || *p == '\n') ++p;
  return *p == '\0';
}


void uci_poll() {
  // Step 1. Nothing more is read once the search is told to end: the rest
  // waits for the main loop, in order.
  if (!uci_state.search.running || uci_state.search.stopped || uci_state.search.quit || uci_state.line_held || uci_state.input_ended) return;
  if (!input_waiting()) return;

  // Step 2. One line, and what it asks of the search.
  serve_search_line(read_uci_line());
}

void uci_begin() {
  control.uci_mode = 1;
  control.force_mode = 1;
  std::snprintf(uci_state.position_command, sizeof(uci_state.position_command), "startpos");
  uci_state.position_ok = true;
  uci_state.line_held = false;
  uci_state.input_ended = false;
  uci_state.game_ply_before = -1;
  uci_state.search = SearchSession{};
}

bool uci_line_waiting() { return uci_state.line_held || input_waiting(); }

bool uci_serve_next_line() {
  // A command that arrived during the last search comes first. It is
  // served from the line buffer, which the next search may overwrite: a
  // command has read all it needs before it searches.
  if (uci_state.line_held) {
    uci_state.line_held = false;
    std::memcpy(uci_state.uci_line, uci_state.held_line, sizeof(uci_state.uci_line));
    serve_idle_line(uci_state.uci_line);
    return true;
  }
  const LineRead r = read_uci_line();
  if (r == LineRead::end) return false;
  if (r == LineRead::overlong) refuse_overlong_line();
  else serve_idle_line(uci_state.uci_line);
  return true;
}

void uci_session() {
  uci_begin();
  identify();
  while (uci_serve_next_line()) {
  }
  shutdown();
}

}  // namespace brevalt

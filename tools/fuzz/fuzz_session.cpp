// Fuzz target: whole interface sessions. Each input is the text an
// interface (or anything else) might send on standard input; it reaches the
// engine through a real pipe, line by line as the main loop reads it, and
// the lines that arrive while the engine thinks are read by the search's
// own input poll. Every input starts from a freshly started engine.
//
// Three things differ from a real session, all to keep an input short:
// the clock races (every reading is 30 ticks, half a second, after the
// last, and a test search's clock covers a sixteenth of its time left), so
// a search on any clock ends within a few dozen readings, a test search
// within some 150; game searches stop after their first iteration; and the
// one test suite present is cut to three positions; an analysis runs to
// its second iteration. "quit" lines are left out, since they end the
// process, which is what they are for; "exit" outside an analysis goes in
// and must be ignored in silence.
//
// Besides crashes the target looks for illegal chess. It keeps the
// position the interface holds, by rules written apart from the engine's
// (tests/frontend/chess_rules.h), and reads everything the engine prints:
// a "move" the engine plays must be legal there, a user move the engine
// takes without "Illegal move" or "Error" must be legal there too, and a
// claim of mate or stalemate must be true there. "remove" takes back the
// interface's last two moves, or is refused (an Error line) and changes
// nothing; with fewer than two to take back it must be refused. "exit"
// outside an analysis and "variant normal" in ordinary chess print nothing, another
// "variant" an Error line only. A "variant fischerandom" the engine takes
// (no Error line) makes the game a Chess960 one, whose castling the rules
// here do not know: its positions are left to the engine until "new" or
// "variant normal". The engine accepts a "draw" ("offer
// draw") only on a score of the position on the board: during a search,
// or in the position its last move led to; never in one set up, reached
// by a take-back or by a move entered in force mode. In analysis mode no move
// and no claim may come, every thinking line must be a legal variation
// there, and "." must count its root moves; each "pong" must answer the
// oldest ping not yet answered, and none may be left unanswered. A line
// the engine holds back until its search ends (a change of the analysed
// position, a ping that must wait) takes effect when it is served.
// The engine's replies are tied to the commands that caused them by
// standing between the engine and its interpreter: the linker sends the
// engine's calls of interpret_command through interpret_with_oracle below
// (--wrap, see CMakeLists.txt), which reads the output before and after
// the real call. A fault ends the run with the exchange and the session on
// standard error; FUZZ_SESSION_TRACE=1 in the environment shows every
// exchange and what was made of it, fault or not.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board/position.h"
#include "board/reset.h"
#include "frontend/analysis.h"
#include "frontend/chess_rules.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "core/platform.h"
#include "fuzz_support.h"
#include "game/play.h"
#include "search/root.h"
#include "search/timeman.h"

using namespace brevalt;
namespace rules = brevalt::testing::rules;

// The engine's interpreter itself, and the wrapper the linker puts in its
// place for every caller (the main loop here, the search's input poll).
extern "C" void __real__ZN7brevalt17interpret_commandEv();
extern "C" void __wrap__ZN7brevalt17interpret_commandEv();

namespace {

constexpr int16_t FUZZ_MAX_DEPTH = 1;
// An analysis has no end of its own: here it ends after its second
// iteration, which shows the lines of both its ways of reporting.
constexpr int16_t FUZZ_ANALYSIS_DEPTH = 2;
constexpr uint32_t TICKS_PER_READING = 30;
// Positions kept of the suite that "epdtest x 2" runs: a run is a loop, and
// three turns of it show all it does.
constexpr int SUITE_RECORDS = 3;
// A pipe takes 64 KiB without blocking its writer.
constexpr size_t MAX_SESSION_BYTES = 60000;
// The engine's standard output goes to this file of the scratch folder.
constexpr const char* OUTPUT_FILE = "session-output.txt";
// Lines of the exchange shown when the oracle finds a fault.
constexpr size_t TRANSCRIPT_SHOWN = 60;

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

int session_writer = -1;
uint32_t racing_now = 0;
// The millisecond clock races the same way: a fixed move time ends too.
uint64_t racing_ms_now = 0;
uint64_t racing_ms() { return racing_ms_now += uint64_t{TICKS_PER_READING} * 17; }

// A test search runs to a deadline of its own, as many seconds as the
// command asks for ("epdtest FILE 30000"): its clock covers a sixteenth of
// what is left at each reading, so that it too ends within some 150.
constexpr int32_t TEST_SEARCH_SHARE = 16;

uint32_t racing_clock() {
  uint32_t step = TICKS_PER_READING;
  if (time_control.epd_mode) {
    const auto left = static_cast<int32_t>(static_cast<uint32_t>(time_control.epd_deadline) - racing_now);
    if (left / TEST_SEARCH_SHARE > static_cast<int32_t>(step)) step = static_cast<uint32_t>(left / TEST_SEARCH_SHARE);
  }
  return racing_now += step;
}

// The command reader keeps the first 79 characters of a line and drops the
// rest of it, and takes CR LF for LF, so a line ends at each LF and only
// whole lines count. A line that would read as "quit" (the interpreter
// lower-cases it) is dropped.
std::string without_quit_lines(const uint8_t* data, size_t size) {
  std::string kept;
  size_t i = 0;
  while (i < size) {
    size_t j = i;
    while (j < size && data[j++] != '\n') {
    }
    auto begins = [&](const char* w) {
      for (size_t k = 0; w[k]; ++k)
        if (i + k >= j || std::tolower(data[i + k]) != w[k]) return false;
      return true;
    };
    if (!begins("quit")) kept.append(reinterpret_cast<const char*>(data + i), j - i);
    i = j;
  }
  return kept;
}

// ---------------------------------------------------------------------------
// The engine's output, read back as it is written

int output_fd = -1;
off_t output_read = 0;
std::string output_tail;  // an unfinished last line, kept for the next look

void clear_output() {
  std::fflush(stdout);
  if (ftruncate(output_fd, 0) != 0) std::abort();
  output_read = 0;
  output_tail.clear();
}

// The whole lines the engine has printed since the last look.
std::vector<std::string> new_output_lines() {
  std::fflush(stdout);
  char buf[4096];
  for (;;) {
    const ssize_t n = pread(output_fd, buf, sizeof(buf), output_read);
    if (n <= 0) break;
    output_read += n;
    output_tail.append(buf, static_cast<size_t>(n));
    if (static_cast<size_t>(n) < sizeof(buf)) break;
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = output_tail.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(output_tail.substr(start, end - start));
  output_tail.erase(0, start);
  return lines;
}

bool begins_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool any_line_holds(const std::vector<std::string>& lines, const char* text) {
  for (const std::string& l : lines)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

// ---------------------------------------------------------------------------
// The interface's view of the game

// What the interface holds: a position it knows (and the positions before
// each move, for take-backs), a position it cannot know because the input
// loaded something the engine reads its own way (test positions, garbage
// that passed as a position), or a position the engine refused, in which
// it must neither take nor make a move.
enum class View { known, unknown, refused };

struct Game {
  View view = View::known;
  rules::Position position = rules::Position::from_fen(START_FEN);
  std::vector<rules::Position> before;
  // A user move that reached the engine while it pondered on another one:
  // the ponder search ends first, then the engine plays it or rejects it
  // with "Illegal move".
  bool move_waiting = false;
  std::string waiting_move;

  void start_position() {
    view = View::known;
    position = rules::Position::from_fen(START_FEN);
    before.clear();
    move_waiting = false;
  }
};

Game game;
// A "variant fischerandom" was taken since the last "new" / "variant normal".
bool chess960_game = false;
std::string session_text;
std::vector<std::string> transcript;
// The command being interpreted (empty between commands), and the last
// one sent.
std::string current_command;
std::string last_sent;
// Calls that went through the wrapper; run_session checks the linker did wrap.
unsigned long wrapped_calls = 0;
// The words of the pings read and not yet answered, oldest first.
std::deque<std::string> pings_waiting;
// Lines seen held back so far: a command that runs searches of its own
// reads further lines inside its call, and one of those may be held.
unsigned long holds_seen = 0;
// The interface's position right after the engine's last move (placement
// and side to move), which a search of the engine has scored; empty when
// unknown or none.
std::string scored_placement;
// The line the engine holds back until its search ends, as sent; empty
// when none. Nothing else is read meanwhile, so the next line the
// interpreter sees with this text is that line served.
std::string held_text;

std::string placement_text(const rules::Position& p) {
  std::string t;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const char c = p.at(rank * 8 + file);
      if (c == ' ') {
        ++empty;
        continue;
      }
      if (empty) t += static_cast<char>('0' + empty);
      empty = 0;
      t += c;
    }
    if (empty) t += static_cast<char>('0' + empty);
    if (rank) t += '/';
  }
  return t + (p.white_to_move() ? " w" : " b");
}

// A text as it can be shown: line ends kept, other bytes that do not
// print as \ooo (a backslash as \\).
std::string printable(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n' || (c >= 32 && c < 127)) {
      out += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof(code), "\\%03o", c);
      out += code;
    }
  }
  return out;
}

[[noreturn]] void fault(const std::string& what, const std::string& line) {
  std::fprintf(stderr, "\nfuzz-session: %s\n", what.c_str());
  std::fprintf(stderr, "  offending line:     \"%s\"\n", printable(line).c_str());
  if (current_command.empty())
    std::fprintf(stderr, "  printed unasked, the last command sent being \"%s\"\n", printable(last_sent).c_str());
  else
    std::fprintf(stderr, "  in reply to:        \"%s\"\n", printable(current_command).c_str());
  std::fprintf(stderr, "  interface position: %s\n", placement_text(game.position).c_str());
  std::fprintf(stderr, "--- the exchange up to it (> sent, < printed) ---\n");
  const size_t from = transcript.size() > TRANSCRIPT_SHOWN ? transcript.size() - TRANSCRIPT_SHOWN : 0;
  for (size_t i = from; i < transcript.size(); ++i) std::fprintf(stderr, "%s\n", printable(transcript[i]).c_str());
  std::fprintf(stderr, "--- session input (%zu bytes; \\ooo is a byte in octal) ---\n%s--- end of session input ---\n",
               session_text.size(), printable(session_text).c_str());
  std::abort();
}

// A move the interface makes on its board, the user's or the engine's.
void make_move(const std::string& text, const std::string& line, const char* whose) {
  if (game.view == View::unknown) return;
  if (game.view == View::refused) fault(std::string(whose) + " after the engine refused the position", line);
  const std::optional<rules::Position> next = game.position.after(text);
  if (!next) fault(std::string(whose) + " \"" + text + "\" is not legal in the interface's position", line);
  game.before.push_back(game.position);
  game.position = *next;
  transcript.push_back("  (" + std::string(whose) + " " + text + " is legal; now " + placement_text(game.position) + ")");
}

// A claim that the game has ended on the board: the side to move mated,
// or stalemated. The claims of the game's history (repetition, fifty
// moves) and of material are left to the engine.
void board_claim(const std::string& line) {
  const bool mate_by_white = begins_with(line, "1-0 {White mates}");
  const bool mate_by_black = begins_with(line, "0-1 {Black mates}");
  const bool stalemate = begins_with(line, "1/2-1/2 {Stalemate}");
  if (!(mate_by_white || mate_by_black || stalemate) || game.view != View::known) return;
  const rules::Position& p = game.position;
  bool true_claim = p.legal_moves().empty() && p.in_check() != stalemate;
  if (!stalemate) true_claim = true_claim && p.white_to_move() == mate_by_black;
  if (!true_claim) fault("the engine's claim is not true in the interface's position", line);
}

// Some reading of a variation in the engine's thinking-line notation (it
// names no piece apart: "Ne7" with two knights that reach e7) is a line of
// legal moves from `p`.
bool variation_fits(const rules::Position& p, const std::vector<std::string>& pv, size_t i = 0) {
  if (i == pv.size()) return true;
  for (const rules::Move& m : p.matching(pv[i]))
    if (variation_fits(*p.after(m.text()), pv, i + 1)) return true;
  return false;
}

// The position (placement and side to move) in which an analysis was last
// told to exclude or include moves.
std::string excluded_placement;

// The root moves the search has: the legal moves, a promotion once (the
// search promotes to a queen only).
int root_moves(const rules::Position& p) {
  int n = 0;
  for (const rules::Move& m : p.legal_moves()) n += m.promotion == 0 || m.promotion == 'q';
  return n;
}

// What analysis mode prints: no move and no result, thinking lines that
// are legal variations in the interface's position, and stat01 lines (in
// analysis only) that count its root moves, with the moves left among
// them and the move in hand legal there.
void analysis_line(const std::string& line) {
  if (begins_with(line, "stat01:")) {
    if (!control.analysis_mode) fault("a stat01 line outside an analysis", line);
    long long f[5] = {};
    char move[16] = "";
    const int n = std::sscanf(line.c_str(), "stat01: %lld %lld %lld %lld %lld %15s", &f[0], &f[1], &f[2], &f[3], &f[4], move);
    if (n < 5) fault("a stat01 line not of the form \"stat01: TIME NODES DEPTH LEFT TOTAL [MOVE]\"", line);
    if (game.view == View::refused && (f[1] != 0 || f[4] != 0)) fault("figures of an analysis of a refused position", line);
    if (game.view != View::known) return;
    // Moves excluded from the analysis of this position are not counted;
    // the list ends with the position, so a count below the root moves
    // is true only where exclusions were sent.
    const int root = root_moves(game.position);
    const bool excluding = placement_text(game.position) == excluded_placement;
    if (excluding ? f[4] > root : f[4] != root) fault("stat01 counts other root moves than the interface's position has", line);
    if (f[3] < 0 || f[3] > f[4]) fault("stat01's moves left are not among its moves", line);
    if (n == 6 && !game.position.is_legal(move)) fault("stat01's move in hand is not legal in the interface's position", line);
    return;
  }
  if (!control.analysis_mode) return;
  if (begins_with(line, "move ")) fault("a move during an analysis", line);
  if (begins_with(line, "1-0") || begins_with(line, "0-1") || begins_with(line, "1/2-1/2"))
    fault("a result line during an analysis", line);
  if (line.empty() || line[0] < '0' || line[0] > '9' || game.view != View::known) return;
  std::istringstream words(line);
  long long number = 0;
  for (int i = 0; i < 4; ++i) words >> number;
  std::vector<std::string> pv;
  for (std::string w; words >> w;) pv.push_back(w);
  if (pv.empty() || !variation_fits(game.position, pv))
    fault("an analysis line that is no legal variation in the interface's position", line);
}

// Each pong answers the oldest ping not yet answered.
void pong_line(const std::string& line) {
  if (!begins_with(line, "pong")) return;
  const std::string word = line.size() > 5 ? line.substr(5) : "";
  if (pings_waiting.empty() || pings_waiting.front() != word)
    fault(pings_waiting.empty() ? "a pong with no ping waiting" : "a pong that does not answer the oldest ping, " + pings_waiting.front(), line);
  pings_waiting.pop_front();
}

void engine_line(const std::string& line) {
  analysis_line(line);
  pong_line(line);
  if (begins_with(line, "move ")) {
    make_move(line.substr(5), line, "the engine's move");
    scored_placement = game.view == View::known ? placement_text(game.position) : "";
  }
  board_claim(line);
}

void record(const char* mark, const std::vector<std::string>& lines) {
  for (const std::string& l : lines) transcript.push_back(mark + l);
}

// Output nobody asked for just now: the moves of a search, and the verdict
// on a user move that waited for a ponder search to end.
void take_spontaneous_output() {
  const std::vector<std::string> lines = new_output_lines();
  record("< ", lines);
  for (const std::string& l : lines) {
    if (begins_with(l, "Illegal move") && game.move_waiting) game.move_waiting = false;
    engine_line(l);
  }
  // The engine has played the waiting move (or dropped it) and said nothing
  // against it: the interface has it on its board.
  if (game.move_waiting && !game_record.user_move_pending) {
    game.move_waiting = false;
    make_move(game.waiting_move, "(no reply to \"" + game.waiting_move + "\")", "the user's move accepted at ponder end");
  }
}

// The user's move as the engine reads it: four square characters and a
// promotion letter, which counts only for a pawn reaching its last rank.
std::string user_move_text(const std::string& text) {
  std::string move = text.substr(0, 4);
  const char letter = text.size() > 4 ? text[text.size() > 5 && text[4] == '=' ? 5 : 4] : 0;
  const int from = rules::square_of(move, 0), to = rules::square_of(move, 2);
  if (from < 0 || to < 0 || !std::strchr("qrbn", letter) || letter == 0) return move;
  const char pawn = game.position.at(from);
  if ((pawn == 'P' && to / 8 == 7) || (pawn == 'p' && to / 8 == 0)) move += letter;
  return move;
}

// ---------------------------------------------------------------------------
// "setboard": the position the interface sent, as far as it can be known

bool is_square_text(const std::string& s) {
  return s.size() == 2 && s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' && s[1] <= '8';
}

// A placement of eight ranks of eight squares.
bool sound_placement(const std::string& s) {
  int ranks = 1, squares = 0;
  for (char c : s) {
    if (c == '/') {
      if (squares != 8) return false;
      ++ranks;
      squares = 0;
    } else if (c >= '1' && c <= '8') {
      squares += c - '0';
    } else if (std::strchr("KQRBNPkqrbnp", c) && c) {
      ++squares;
    } else {
      return false;
    }
    if (squares > 8) return false;
  }
  return ranks == 8 && squares == 8;
}

// A FEN as an interface writes it: fields split by single blanks, rights
// in the order KQkq, an en passant square on the third or sixth rank, and
// counters of digits. The engine must read such a text exactly.
bool well_formed_fen(const std::vector<std::string>& f, bool single_blanks) {
  if (!single_blanks || f.size() < 2 || f.size() > 6) return false;
  if (!sound_placement(f[0]) || (f[1] != "w" && f[1] != "b")) return false;
  if (f.size() > 2 && f[2] != "-") {
    size_t at = 0;
    for (char c : f[2]) {
      const char* order = "KQkq";
      const char* p = std::strchr(order + at, c);
      if (!p || !c) return false;
      at = static_cast<size_t>(p - order) + 1;
    }
  }
  if (f.size() > 3 && f[3] != "-" && !(is_square_text(f[3]) && (f[3][1] == '3' || f[3][1] == '6'))) return false;
  for (size_t i = 4; i < f.size(); ++i)
    if (f[i].empty() || f[i].find_first_not_of("0123456789") != std::string::npos) return false;
  return true;
}

char engine_piece_letter(int code) {
  if (code == 0) return ' ';
  const char* letters = " KQRBNP";
  const int type = code & 7;
  if (type < 1 || type > 6) return '?';
  const char c = letters[type];
  return code & 8 ? static_cast<char>(std::tolower(c)) : c;
}

// The castling rights the engine plays with: the wing not closed by a
// castled flag or a moved king or rook, king and rook in their corners.
bool engine_may_castle(bool white, bool kingside) {
  const StateRecord& st = pos.state_stack[0];
  if (white ? pos.white_castled : pos.black_castled) return false;
  if (white ? st.white_king_moves : st.black_king_moves) return false;
  const int16_t rook_moves = white ? (kingside ? st.white_h_rook_moves : st.white_a_rook_moves)
                                   : (kingside ? st.black_h_rook_moves : st.black_a_rook_moves);
  const int king = white ? 4 : 60, corner = (white ? 0 : 56) + (kingside ? 7 : 0);
  return rook_moves == 0 && pos.board[king] == (white ? 1 : 9) && pos.board[corner] == (white ? 3 : 11);
}

// The engine took the text as a position (it printed nothing): the
// interface holds the position the text names. It is known when the text
// reads unambiguously and names what the engine now has; a text that
// reads as a FEN only loosely and came out otherwise is garbage that
// happened to pass, and leaves the position unknown. A well-formed FEN
// that the engine took otherwise is a fault.
void position_set(const std::string& text, const std::string& line) {
  std::vector<std::string> fields;
  bool single_blanks = !text.empty() && text.front() != ' ' && text.back() != ' ';
  for (size_t i = 0; i < text.size();) {
    const size_t end = text.find_first_of(" \t", i);
    const std::string field = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (field.empty()) single_blanks = false;
    else fields.push_back(field);
    if (end == std::string::npos) break;
    if (text[end] == '\t') single_blanks = false;
    i = end + 1;
  }
  game.before.clear();
  game.move_waiting = false;
  game.view = View::unknown;
  if (fields.size() < 2 || !sound_placement(fields[0])) return;
  const bool well_formed = well_formed_fen(fields, single_blanks);

  const std::string castling = fields.size() > 2 ? fields[2] : "-";
  rules::Position p = rules::Position::from_fen(fields[0] + " " + (fields[1] == "b" ? "b" : "w") + " - -");
  // A right needs its king and rook in their corners; a text that grants
  // one without them names no position of a game.
  const bool rights[4] = {castling.find('K') != std::string::npos, castling.find('Q') != std::string::npos,
                          castling.find('k') != std::string::npos, castling.find('q') != std::string::npos};
  const int king_home[4] = {4, 4, 60, 60}, rook_home[4] = {7, 0, 63, 56};
  std::string letters;
  for (int i = 0; i < 4; ++i) {
    if (!rights[i]) continue;
    if (p.at(king_home[i]) != (i < 2 ? 'K' : 'k') || p.at(rook_home[i]) != (i < 2 ? 'R' : 'r')) return;
    letters += "KQkq"[i];
  }
  // An en passant square counts where a pawn has just crossed it: empty,
  // the square it came from empty, the pawn beyond it.
  std::string ep = "-";
  if (fields.size() > 3 && is_square_text(fields[3])) {
    const int t = rules::square_of(fields[3]);
    const bool white_moves = p.white_to_move();
    const int from = white_moves ? t + 8 : t - 8, pawn = white_moves ? t - 8 : t + 8;
    if (t / 8 == (white_moves ? 5 : 2) && p.at(t) == ' ' && p.at(from) == ' ' && p.at(pawn) == (white_moves ? 'p' : 'P'))
      ep = fields[3];
  }
  p = rules::Position::from_fen(fields[0] + " " + (p.white_to_move() ? "w " : "b ") +
                                (letters.empty() ? "-" : letters) + " " + ep);

  // What the engine now has.
  std::string differs;
  for (int sq = 0; sq < 64 && differs.empty(); ++sq)
    if (engine_piece_letter(pos.board[sq]) != p.at(sq)) differs = "placement differs on " + rules::square_name(sq);
  if (differs.empty() && ((pos.game_ply & 1) == 1) == p.white_to_move()) differs = "side to move differs";
  for (int i = 0; i < 4 && differs.empty(); ++i)
    if (engine_may_castle(i < 2, i % 2 == 0) != (letters.find("KQkq"[i]) != std::string::npos))
      differs = std::string("castling right ") + "KQkq"[i] + " differs";
  if (differs.empty()) {
    int engine_ep = -1;
    if ((pos.game_ply & 1) && pos.ep_white_pawn) engine_ep = pos.ep_white_pawn - 8;
    if (!(pos.game_ply & 1) && pos.ep_black_pawn) engine_ep = pos.ep_black_pawn + 8;
    if (engine_ep != (ep == "-" ? -1 : rules::square_of(ep))) differs = "en passant square differs";
  }
  if (!differs.empty()) {
    if (well_formed) fault("the engine took a well-formed FEN otherwise: " + differs, line);
    return;
  }
  game.view = View::known;
  game.position = p;
}

// ---------------------------------------------------------------------------
// The oracle, around each command

void interpret_with_oracle() {
  ++wrapped_calls;
  // Step 1. What the engine printed since the last look was nobody's reply.
  take_spontaneous_output();

  // Step 2. The line as sent, and as the interpreter reads it: lower-cased
  // but for a position text. The state that decides how it is read.
  std::string sent = protocol.input_line;
  if (!sent.empty() && sent.back() == '\n') sent.pop_back();
  std::string low = sent;
  std::string first_word = sent.substr(0, sent.find(' '));
  for (char& c : first_word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (first_word.rfind("setboard", 0) != 0)
    for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool usermove_before = protocol.usermove_accepted != 0;
  const bool force_before = control.force_mode != 0;
  const bool pondering_before = control.pondering != 0;
  const std::string outer_command = current_command;
  current_command = last_sent = sent;
  // A line held back until the search ended, served now; its pong, if it
  // is a ping, was counted when it arrived.
  const bool served = !held_text.empty() && sent == held_text && !line_is_held();
  if (served) held_text.clear();
  transcript.push_back(served ? "> " + sent + "   (held back until the search ended, served now)" : "> " + sent);
  const bool analysing_before = control.analysis_mode != 0;
  const bool searching_before = control.thinking || control.pondering || search_root.search_running;

  bool is_move = false;
  std::string move_text;
  if (!usermove_before && low.size() >= 2 && low[0] >= 'a' && low[0] <= 'h' && low[1] >= '1' && low[1] <= '8') {
    is_move = true;
    move_text = low;
  } else if (usermove_before && begins_with(low, "usermove")) {
    is_move = true;
    move_text = low.size() > 9 ? low.substr(9) : "";
  }
  const bool test_run = !is_move && (begins_with(low, "epdtest") || begins_with(low, "static"));
  // A ping is owed its pong from the moment it is read.
  if (!is_move && !served && begins_with(low, "ping")) {
    // The word after "ping " up to the next blank, as the interpreter takes it.
    const size_t end = low.find(' ', 5);
    const std::string word = low.size() > 5 ? low.substr(5, end == std::string::npos ? std::string::npos : end - 5) : "";
    if (!word.empty()) pings_waiting.push_back(word);
  }
  // A test run puts its own positions on the board, and whatever arrives
  // while it runs is read under it.
  const View view_before = game.view;
  std::optional<Game> saved;
  if (test_run) {
    saved = game;
    game.view = View::unknown;
    game.move_waiting = false;
  }

  // Step 3. The real interpreter, then its reply.
  const bool held_before = line_is_held();
  const unsigned long holds_before = holds_seen;
  __real__ZN7brevalt17interpret_commandEv();
  const std::vector<std::string> reply = new_output_lines();
  record("< ", reply);
  current_command = sent;
  const bool refused = any_line_holds(reply, "Error");
  // Held back until the running search ends: it takes effect when served.
  // A line held by a command read inside this one (a ping that arrived
  // during a test run) is that command's, already seen there.
  if (line_is_held() && !held_before && holds_seen == holds_before) {
    ++holds_seen;
    held_text = sent;
    transcript.push_back("  (held back until the search ends)");
    for (const std::string& l : reply) engine_line(l);
    current_command = outer_command;
    return;
  }

  // Step 4. What the interface holds now.
  if (is_move) {
    if (!refused && !any_line_holds(reply, "Illegal move")) {
      const std::string move = user_move_text(move_text);
      if (pondering_before && control.pondering) {
        // Not the move pondered on: it waits for the ponder search to end.
        // Should a second one come before that, the first was taken without
        // a word, and the interface has it on its board.
        if (game.move_waiting) make_move(game.waiting_move, sent, "the user's move accepted while pondering");
        game.move_waiting = true;
        game.waiting_move = move;
      } else {
        make_move(move, sent, "the user's move accepted");
      }
    }
  } else if (begins_with(low, "new")) {
    if (!refused) {
      game.start_position();
      chess960_game = false;
    }
  } else if (begins_with(sent, "setboard") && chess960_game) {
    game.before.clear();
    game.move_waiting = false;
    game.view = any_line_holds(reply, "Illegal position") ? View::refused : View::unknown;
  } else if (begins_with(sent, "setboard")) {
    if (reply.empty()) position_set(sent.size() > 9 ? sent.substr(9) : "", sent);
    else if (any_line_holds(reply, "Illegal position")) game.view = View::refused;
  } else if (begins_with(low, "remove")) {
    // Two moves back, or a refusal that changes nothing. The engine's
    // record of the game is the interface's while the position is known.
    if (!refused && game.view == View::known) {
      if (game.before.size() < 2) fault("\"remove\" taken without a refusal with fewer than two moves to take back", sent);
      game.before.pop_back();
      game.position = game.before.back();
      game.before.pop_back();
      game.move_waiting = false;
    }
  } else if (begins_with(low, "exclude") || begins_with(low, "include")) {
    if (game.view == View::known) excluded_placement = placement_text(game.position);
  } else if (begins_with(low, "exit") && !analysing_before) {
    if (!reply.empty()) fault("\"exit\" outside an analysis answered; it must be ignored in silence", reply.front());
  } else if (begins_with(low, "variant")) {
    for (const std::string& l : reply)
      if (!begins_with(l, "Error (") || l.size() < 10 || l.compare(l.size() - 10, 10, "): variant") != 0)
        fault("\"variant\" answered otherwise than with an Error line of its own", l);
    const bool normal = low.rfind("variant normal", 0) == 0 && (low.size() == 14 || low[14] == ' ');
    // Back from Fischer random chess it may be refused (during a search, or
    // with castling rights ordinary chess does not know); in ordinary chess
    // it is the game's own variant and changes nothing.
    if (normal && !chess960_game && !reply.empty())
      fault("\"variant normal\" answered; ordinary chess is the engine's own", reply.front());
    if (normal && chess960_game && reply.empty()) {
      chess960_game = false;
      game.view = View::unknown;
      game.before.clear();
      game.move_waiting = false;
    }
    if (low.rfind("variant fischerandom", 0) == 0 && (low.size() == 20 || low[20] == ' ') && reply.empty()) {
      chess960_game = true;
      game.view = View::unknown;
      game.before.clear();
      game.move_waiting = false;
    }
  } else if (begins_with(low, "draw")) {
    // Only on a score of the position on the board.
    if (!searching_before && game.view == View::known && any_line_holds(reply, "offer draw") &&
        placement_text(game.position) != scored_placement)
      fault("a draw offer accepted in a position no search of the engine has scored", "offer draw");
  } else if (begins_with(low, "undo")) {
    if (force_before && reply.empty() && game.view == View::known) {
      if (game.before.empty()) {
        game.view = View::unknown;
      } else {
        game.position = game.before.back();
        game.before.pop_back();
      }
    }
  } else if (test_run) {
    if (!reply.empty() && begins_with(reply.front(), "Error (command not legal now)")) game = *saved;
    else game.view = View::unknown;
  } else if (begins_with(low, "result")) {
    // The game is over; a move that waited for a ponder search is dropped.
    game.move_waiting = false;
  }
  const bool sets_position = !is_move && (begins_with(low, "new") || begins_with(sent, "setboard") ||
                                          begins_with(low, "undo") || begins_with(low, "remove"));
  if (game.view != view_before || sets_position)
    transcript.push_back(std::string("  (interface position ") +
                         (game.view == View::known     ? placement_text(game.position)
                          : game.view == View::unknown ? "unknown"
                                                       : "refused by the engine") +
                         ")");
  // A reply found while pondering may be played at once.
  if (!test_run)
    for (const std::string& l : reply) engine_line(l);
  current_command = outer_command;
}

// ---------------------------------------------------------------------------

// A freshly started engine, without reading the files again.
void fresh_engine() {
  clear_protocol_state();
  // The start position and a new game, by "new" itself (read here past the
  // oracle): it also clears what the last input left in the interpreter's
  // own state, a refused position say.
  std::snprintf(protocol.input_line, INPUT_LINE_SIZE, "new\n");
  __real__ZN7brevalt17interpret_commandEv();
  control.ponder_enabled = 0;
  control.post_thinking = 1;
  control.stop_search = 0;
  racing_now = 0;
  clear_output();
  game = Game{};
  chess960_game = false;
  pings_waiting.clear();
  scored_placement.clear();
  held_text.clear();
  transcript.clear();
  current_command.clear();
  last_sent.clear();
}

// The main loop's work: a held "memory" and the requests are served before
// the next line is read; the session ends when no line is left waiting.
void run_session() {
  for (;;) {
    serve_held_settings();
    if (control.move_request) {
      control.move_request = 0;
      if (control.reset_request) deferred_reset();
      if (search_root.max_depth > FUZZ_MAX_DEPTH) search_root.max_depth = FUZZ_MAX_DEPTH;
      if (!control.force_mode) think(control.engine_side);
      take_spontaneous_output();
      continue;
    }
    if (control.reset_request) {
      deferred_reset();
      continue;
    }
    // A line held back during the last search comes first. An analysis
    // searches at once: the main loop waits until no input is waiting,
    // but here the whole session is waiting from the start, and it is the
    // lines read by the analysis's own poll, as they are when they arrive
    // during it, that are worth looking at.
    if (take_held_line()) {
      interpret_command();
      continue;
    }
    if (analysis_search_due()) {
      run_analysis_search();
      take_spontaneous_output();
      continue;
    }
    if (!input_waiting()) break;
    if (!read_input_line()) break;
    const unsigned long calls = wrapped_calls;
    interpret_command();
    if (wrapped_calls == calls) {
      std::fprintf(stderr, "fuzz-session: interpret_command was not wrapped; the oracle sees nothing\n");
      std::abort();
    }
  }
  take_spontaneous_output();
  if (!pings_waiting.empty()) fault("a ping was never answered: ping " + pings_waiting.front(), "(end of the session)");
}

}  // namespace

extern "C" void __wrap__ZN7brevalt17interpret_commandEv() { interpret_with_oracle(); }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({"MoveFile", "hash_values", "Brevalt.ini", "Bratko-kopec.epd"});
  fuzz::load_engine_tables();
  {
    std::ifstream in("Bratko-kopec.epd");
    std::string line, kept;
    for (int i = 0; i < SUITE_RECORDS && std::getline(in, line); ++i) kept += line + "\n";
    in.close();
    std::ofstream("Bratko-kopec.epd", std::ios::trunc) << kept;
  }
  // Standard input becomes a pipe that this target writes each session into.
  int fds[2];
  if (pipe(fds) != 0 || dup2(fds[0], STDIN_FILENO) < 0) std::abort();
  close(fds[0]);
  session_writer = fds[1];
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  // The engine's replies go to a file, emptied for every input, that the
  // oracle reads back.
  if (!std::freopen(OUTPUT_FILE, "a+", stdout)) std::abort();
  output_fd = fileno(stdout);
  time_control.time_source = racing_clock;
  time_control.ms_source = racing_ms;
  protocol.analysis_depth_ceiling = FUZZ_ANALYSIS_DEPTH;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MAX_SESSION_BYTES) return -1;
  std::string session = without_quit_lines(data, size);
  // A last line without its end would leave the reader waiting for the rest
  // of it, as it waits for any interface that has not finished a line.
  if (!session.empty() && session.back() != '\n') session.push_back('\n');
  fresh_engine();
  session_text = session;
  size_t done = 0;
  while (done < session.size()) {
    const ssize_t n = write(session_writer, session.data() + done, session.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  run_session();
  // FUZZ_SESSION_TRACE=1 shows each exchange and what the oracle made of it.
  static const bool trace = std::getenv("FUZZ_SESSION_TRACE") != nullptr;
  if (trace)
    for (const std::string& l : transcript) std::fprintf(stderr, "%s\n", printable(l).c_str());
  return 0;
}

// Fuzz target: whole UCI sessions. Each input is what a UCI interface (or
// anything else) might send after "uci"; it reaches the engine through a
// real pipe, read line by line by the session and, during a search, by
// the search's input poll. Searches are kept short: iterations stop at 2
// and the clock races (every reading is 30 ticks after the last). "quit"
// lines are left out, since they end the process, and every session ends
// with "stop", so that an infinite search is always told to answer.
//
// Besides crashes the target looks for illegal chess. It follows the
// position each "go" searches, by rules written apart from the engine's
// (tests/frontend/chess_rules.h): the start position and the legal moves
// after it up to the first one that is not (a FEN is left to the engine:
// the two readers differ on loose texts). Every "go" gets exactly one
// "bestmove", in order; where the position is known it must be a legal
// move there, "(none)" only when there is none, and never "0000"; the
// ponder move must be legal after it. A "searchmoves" that names legal
// moves (under-promotions among them) gets one of them, as named; an
// infinite or ponder search answers only after the line that lets it.
// With UCI_Chess960 set to true the positions are Chess960 ones, whose
// castling (the king taking its own rook) the rules here do not know: the
// position is left to the engine until the option is set to false again.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/platform.h"
#include "frontend/chess_rules.h"
#include "frontend/mainloop.h"
#include "frontend/uci.h"
#include "fuzz_support.h"
#include "search/timeman.h"

using namespace brevalt;
namespace rules = brevalt::testing::rules;

namespace {

constexpr int16_t FUZZ_DEPTH_CEILING = 2;
constexpr uint32_t TICKS_PER_READING = 30;
// A pipe takes 64 KiB without blocking its writer.
constexpr size_t MAX_SESSION_BYTES = 60000;
constexpr const char* OUTPUT_FILE = "uci-output.txt";
constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

int session_writer = -1;
uint32_t racing_now = 0;
// The millisecond clock races the same way: a fixed move time ends too.
uint64_t racing_ms_now = 0;
uint64_t racing_ms() { return racing_ms_now += uint64_t{TICKS_PER_READING} * 17; }
uint32_t racing_clock() { return racing_now += TICKS_PER_READING; }

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The words of a line as the session splits them: blanks and tabs; a NUL
// ends the line, and CRs are dropped by the reader wherever they stand.
std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::string w;
  for (char c : line) {
    if (c == '\0') break;
    if (c == '\r') continue;
    if (c == ' ' || c == '\t') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) words.push_back(w);
  return words;
}

const char* const COMMANDS[] = {"uci", "isready", "setoption", "ucinewgame", "position", "go",
                                "quit", "stop",   "ponderhit", "debug",      "register"};

// The command a line is served as: its first word that names one.
std::optional<size_t> command_at(const std::vector<std::string>& words) {
  for (size_t i = 0; i < words.size(); ++i)
    for (const char* c : COMMANDS)
      if (lower(words[i]) == c) return i;
  return std::nullopt;
}

// The position each "go" searches, or nothing where it is not known here.
using Expected = std::optional<rules::Position>;

// What the answer to one "go" must be.
struct Search {
  Expected position;
  // The legal moves a "searchmoves" named, in full (a promotion with its
  // letter): the answer is one of them, when there are any.
  std::vector<std::string> named;
  // An infinite or ponder search answers only after the line that lets it
  // ("stop", a "ponderhit" for a ponder search, a command that replaces
  // it): at least this many "readyok" lines come before its "bestmove"
  // (every "isready" sent before that line has been answered by then).
  int readyoks_before = 0;
};

const char* const GO_KEYWORDS[] = {"searchmoves", "ponder", "wtime", "btime", "winc",     "binc",
                                   "movestogo",   "depth",  "nodes", "mate",  "movetime", "infinite"};

bool is_go_keyword(const std::string& w) {
  for (const char* k : GO_KEYWORDS)
    if (lower(w) == k) return true;
  return false;
}

struct Model {
  Expected position = rules::Position::from_fen(START_FEN);
  std::deque<Search> searches;
  int isready_sent = 0;
  // The infinite or ponder search still waiting for its release, if any.
  std::optional<size_t> waiting;
  bool waiting_ponder = false;
  size_t released = 0;
  // UCI_Chess960 as the last "setoption" for it left it.
  bool chess960 = false;

  // "setoption name UCI_Chess960 value true|false", the words matched
  // without regard to case.
  void option(const std::vector<std::string>& w, size_t at) {
    if (at + 4 < w.size() && lower(w[at + 1]) == "name" && lower(w[at + 2]) == "uci_chess960" &&
        lower(w[at + 3]) == "value") {
      const std::string value = lower(w[at + 4]);
      if (value == "true") chess960 = true;
      if (value == "false") chess960 = false;
    }
  }

  void go(const std::vector<std::string>& w, size_t at) {
    Search search{position, {}, 0};
    bool waits = false, ponder = false;
    for (size_t i = at + 1; i < w.size(); ++i) {
      const std::string word = lower(w[i]);
      if (word == "infinite") waits = true;
      if (word == "ponder") waits = ponder = true;
      if (word != "searchmoves") continue;
      for (; i + 1 < w.size() && !is_go_keyword(w[i + 1]); ++i) {
        if (!position) continue;
        std::string move = lower(w[i + 1]);
        if (move.size() == 4 && !position->is_legal(move) && position->is_legal(move + "q")) move += "q";
        if ((move.size() == 4 || move.size() == 5) && position->is_legal(move)) search.named.push_back(move);
      }
    }
    search.readyoks_before = waits ? INT32_MAX : 0;
    searches.push_back(search);
    if (waits) {
      waiting = released + searches.size() - 1;
      waiting_ponder = ponder;
    }
  }

  void line(std::string text) {
    std::erase(text, '\r');
    if (text.size() >= UCI_LINE_SIZE) {
      // Refused whole; a refused position leaves none.
      const std::vector<std::string> w = words_of(text.substr(0, UCI_LINE_SIZE - 1));
      if (!w.empty() && lower(w[0]) == "position") position.reset();
      return;
    }
    const std::vector<std::string> w = words_of(text);
    // A line is served as its first word that names a command, during a
    // search as at any other time.
    const std::optional<size_t> at = command_at(w);
    if (!at) return;
    const std::string command = lower(w[*at]);
    if (waiting && (command == "stop" || (command == "ponderhit" && waiting_ponder) || command == "uci" ||
                    command == "setoption" || command == "ucinewgame" || command == "position" ||
                    command == "go")) {
      searches[*waiting - released].readyoks_before = isready_sent;
      waiting.reset();
    }
    if (command == "isready") ++isready_sent;
    if (command == "setoption") option(w, *at);
    if (command == "ucinewgame") position = rules::Position::from_fen(START_FEN);
    if (command == "ucinewgame" && chess960) position.reset();
    if (command == "go") go(w, *at);
    if (command != "position") return;
    position.reset();
    if (chess960) return;
    if (*at + 1 >= w.size() || lower(w[*at + 1]) != "startpos") return;
    rules::Position p = rules::Position::from_fen(START_FEN);
    if (*at + 2 < w.size() && lower(w[*at + 2]) == "moves") {
      for (size_t i = *at + 3; i < w.size(); ++i) {
        if (w[i].size() != 4 && w[i].size() != 5) break;
        std::optional<rules::Position> next = p.after(w[i]);
        if (!next) break;
        p = *next;
      }
    }
    position = p;
  }
};

[[noreturn]] void fault(const std::string& what, const std::string& session, const std::string& output) {
  std::fprintf(stderr, "\nfuzz-uci: %s\n--- session ---\n%s\n--- output ---\n%s\n", what.c_str(), session.c_str(),
               output.c_str());
  std::abort();
}

void judge(const std::string& session, Model& model, const std::string& output) {
  std::istringstream lines(output);
  int readyoks = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line == "readyok") ++readyoks;
    if (line.rfind("bestmove", 0) != 0) continue;
    if (model.searches.empty()) fault("a bestmove no go asked for: " + line, session, output);
    const Search search = model.searches.front();
    model.searches.pop_front();
    ++model.released;
    if (readyoks < search.readyoks_before)
      fault("an infinite or ponder search answered before it was told to: " + line, session, output);
    const Expected& p = search.position;
    if (!p) continue;
    std::istringstream words(line);
    std::string word, move, ponder_word, ponder;
    words >> word >> move >> ponder_word >> ponder;
    if (move == "(none)") {
      if (!p->legal_moves().empty()) fault("bestmove (none) where moves are legal", session, output);
      continue;
    }
    std::optional<rules::Position> after = p->after(move);
    if (!after || move.size() < 4) fault("illegal bestmove: " + line, session, output);
    if (!search.named.empty() && std::find(search.named.begin(), search.named.end(), move) == search.named.end())
      fault("a bestmove searchmoves did not name: " + line, session, output);
    if (ponder_word == "ponder" && !after->is_legal(ponder)) fault("illegal ponder move: " + line, session, output);
  }
  if (!model.searches.empty()) fault("a go without its bestmove", session, output);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({"MoveFile", "hash_values", "Brevalt.ini"});
  fuzz::load_engine_tables();
  int fds[2];
  if (pipe(fds) != 0 || dup2(fds[0], STDIN_FILENO) < 0) std::abort();
  close(fds[0]);
  session_writer = fds[1];
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  if (!std::freopen(OUTPUT_FILE, "w+", stdout)) std::abort();
  time_control.time_source = racing_clock;
  time_control.ms_source = racing_ms;
  protocol.uci_depth_ceiling = FUZZ_DEPTH_CEILING;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MAX_SESSION_BYTES) return -1;
  // Step 1. The session: whole lines, none that would end the process,
  // and a closing "stop".
  std::string session;
  Model model;
  size_t i = 0;
  while (i < size) {
    size_t j = i;
    while (j < size && data[j] != '\n') ++j;
    const std::string line(reinterpret_cast<const char*>(data + i), j - i);
    i = j + 1;
    if (lower(line).find("quit") != std::string::npos) continue;
    session += line + "\n";
    model.line(line);
  }
  session += "stop\n";
  model.line("stop");

  // Step 2. A fresh session, fed through the pipe, served to its end.
  std::fflush(stdout);
  if (ftruncate(fileno(stdout), 0) != 0 || std::fseek(stdout, 0, SEEK_SET) != 0) std::abort();
  racing_now = 0;
  start_new_game();
  uci_begin();
  size_t done = 0;
  while (done < session.size()) {
    const ssize_t n = write(session_writer, session.data() + done, session.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  while (uci_line_waiting()) uci_serve_next_line();

  // Step 3. Every answer judged.
  std::fflush(stdout);
  std::string output;
  {
    std::FILE* f = std::fopen(OUTPUT_FILE, "r");
    if (!f) std::abort();
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof(buf), f)) > 0;) output.append(buf, n);
    std::fclose(f);
  }
  judge(session, model, output);
  return 0;
}

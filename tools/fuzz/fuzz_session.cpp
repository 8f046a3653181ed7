// Fuzz target: whole interface sessions. Each input is the text an
// interface (or anything else) might send on standard input; it reaches the
// engine through a real pipe, line by line as the main loop reads it, and
// the lines that arrive while the engine thinks are read by the search's
// own input poll. Every input starts from a freshly started engine.
//
// Three things differ from a real session, all to keep an input short:
// the clock races (every reading is 30 ticks, half a second, after the
// last), so a search on any clock ends within a few dozen readings; game
// searches stop after their first iteration; and the one test suite
// present is cut to three positions. "quit" and "exit" lines are left out,
// since they end the process, which is what they are for.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "board/reset.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "frontend/platform.h"
#include "fuzz_support.h"
#include "search/root.h"
#include "search/timeman.h"

using namespace brevalt;

namespace {

constexpr int16_t FUZZ_MAX_DEPTH = 1;
constexpr uint32_t TICKS_PER_READING = 30;
// Positions kept of the suite that "epdtest x 2" runs: a run is a loop, and
// three turns of it show all it does.
constexpr int SUITE_RECORDS = 3;
// A pipe takes 64 KiB without blocking its writer.
constexpr size_t MAX_SESSION_BYTES = 60000;

int session_writer = -1;
uint32_t racing_now = 0;

uint32_t racing_clock() { return racing_now += TICKS_PER_READING; }

// The command reader takes at most 79 characters per read; a longer line
// arrives in pieces, each read as a line. A piece that would read as
// "quit" or "exit" is dropped; the pieces after it are cut exactly as they
// would have been.
std::string without_exit_lines(const uint8_t* data, size_t size) {
  std::string kept;
  size_t i = 0;
  while (i < size) {
    size_t j = i;
    while (j < size && j - i < INPUT_LINE_SIZE - 1) {
      if (data[j++] == '\n') break;
    }
    auto lower = [&](size_t k) { return k < j ? std::tolower(data[k]) : -1; };
    auto begins = [&](const char* w) {
      for (size_t k = 0; w[k]; ++k)
        if (lower(i + k) != w[k]) return false;
      return true;
    };
    if (!begins("quit") && !begins("exit")) kept.append(reinterpret_cast<const char*>(data + i), j - i);
    i = j;
  }
  return kept;
}

// A freshly started engine, without reading the files again.
void fresh_engine() {
  clear_protocol_state();
  start_new_game();
  ponder_enabled = 0;
  post_thinking = 1;
  stop_search = 0;
  racing_now = 0;
}

// The main loop's work: requests are served before the next line is read;
// the session ends when no line is left waiting.
void run_session() {
  for (;;) {
    if (move_request) {
      move_request = 0;
      if (reset_request) new_game();
      if (max_depth > FUZZ_MAX_DEPTH) max_depth = FUZZ_MAX_DEPTH;
      if (!force_mode) think(engine_side);
      continue;
    }
    if (reset_request) {
      new_game();
      continue;
    }
    if (!input_waiting()) return;
    if (!read_input_line()) return;
    interpret_command();
  }
}

}  // namespace

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
  // The engine's replies are not looked at; they still go through every
  // formatting routine on their way to /dev/null.
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  time_source = racing_clock;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MAX_SESSION_BYTES) return -1;
  std::string session = without_exit_lines(data, size);
  // A last line without its end would leave the reader waiting for the rest
  // of it, as it waits for any interface that has not finished a line.
  if (!session.empty() && session.back() != '\n') session.push_back('\n');
  fresh_engine();
  size_t done = 0;
  while (done < session.size()) {
    const ssize_t n = write(session_writer, session.data() + done, session.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  run_session();
  return 0;
}

// End-to-end harness: the built engine runs in a temporary folder that holds
// copies of the shipped data files, is fed input lines, and its standard
// output, exit status and the files it writes are handed back for exact
// comparison.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brevalt::testing {

struct EngineRun {
  std::string out;         // everything written to standard output
  std::string err;         // everything written to standard error
  int exit_status = -1;    // exit code, or -1 when it did not exit normally
  bool timed_out = false;  // killed after the time limit
};

// A text as the engine under test leaves it in a file. The Windows engine
// reads and writes its text files in text mode: CR LF read becomes LF, and
// LF is written as CR LF. With BREVALT_TEST_ENGINE set, CR LF becomes LF
// (EngineSandbox::read_file does the same to what it reads); the Linux
// engine's text is unchanged.
std::string engine_text(std::string text);

// The engine's own file: the program the tests start (the last word of
// BREVALT_TEST_ENGINE when that is set).
std::string engine_program();

// The search threads the engine under test offers: 256, or 1 for the
// Windows build (BREVALT_TEST_ENGINE), which has no thread-local storage
// to give more threads their own records. A build with several announces
// "feature smp=1" as well.
int engine_max_threads();

class EngineSandbox {
 public:
  // A fresh folder with MoveFile, hash_values and Brevalt.ini.
  EngineSandbox();
  ~EngineSandbox();
  EngineSandbox(const EngineSandbox&) = delete;
  EngineSandbox& operator=(const EngineSandbox&) = delete;

  const std::string& dir() const { return dir_; }
  void write_file(const std::string& name, const std::string& content) const;
  void remove_file(const std::string& name) const;
  bool has_file(const std::string& name) const;
  // The file's text, through engine_text.
  std::string read_file(const std::string& name) const;

  // Runs the engine with `input` on standard input. With close_input the
  // input ends after the text (as when an interface closes its pipe).
  // `program`, when given, is started in place of engine_program() (a copy
  // of it elsewhere).
  EngineRun run(const std::string& input, int timeout_ms = 30000, bool close_input = true,
                const std::string& program = {}) const;

 private:
  std::string dir_;
};

// An engine in a sandbox with its standard input kept open, driven the way
// an interface drives it: send a line, wait for the answer, send the next.
// Everything the engine writes is collected in out(). The destructor closes
// the input and waits a little, then kills an engine that is still running.
class EngineSession {
 public:
  explicit EngineSession(const EngineSandbox& box, const std::string& program = {});
  ~EngineSession();
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  // Writes the text as it stands (lines end with their own '\n').
  void send(const std::string& text);
  // Waits until the output from offset `from` on contains `text`. False when
  // it did not arrive within the time limit (or the engine ended first).
  bool wait_for(const std::string& text, int timeout_ms, size_t from = 0);
  // Waits for a complete output line starting at offset `from` or later
  // (`from` should be a line start) that satisfies `match`; the first such
  // line, or nothing after the time limit. `after`, when given, receives
  // the offset just past the line's end.
  std::optional<std::string> wait_for_line(const std::function<bool(const std::string&)>& match, int timeout_ms,
                                           size_t from = 0, size_t* after = nullptr);
  // Collects output for the given time.
  void pump(int ms);
  // Sends an unknown command and waits for its error line: every line sent
  // before it has then been read and interpreted. False on a time-out.
  bool sync(int timeout_ms);
  // The interface closes its end of the engine's input.
  void close_input();
  // Waits for the engine to end; its exit status, or -1 when it had to be
  // killed (or ended by a signal).
  int wait_exit(int timeout_ms);
  // "quit", then wait_exit.
  int quit(int timeout_ms = 10000);

  const std::string& out() const { return out_; }
  size_t size() const { return out_.size(); }
  // The complete lines of the output from offset `from` on, without their line ends.
  std::vector<std::string> lines(size_t from = 0) const;
  bool ended() const { return ended_; }

 private:
  // Reads what is there, waiting at most wait_ms for the first bytes.
  // False once the engine has closed its output.
  bool read_some(int wait_ms);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_fd_ = -1;
  bool ended_ = false;
  int status_ = -1;
  bool reaped_ = false;
  int sync_count_ = 0;
  std::string out_;
};

}  // namespace brevalt::testing

// End-to-end harness: the built engine runs in a temporary folder that holds
// copies of the shipped data files, is fed input lines, and its standard
// output, exit status and the files it writes are handed back for exact
// comparison.
#pragma once

#include <string>

namespace brevalt::testing {

struct EngineRun {
  std::string out;         // everything written to standard output
  int exit_status = -1;    // exit code, or -1 when it did not exit normally
  bool timed_out = false;  // killed after the time limit
};

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
  std::string read_file(const std::string& name) const;

  // Runs the engine with `input` on standard input. With close_input the
  // input ends after the text (as when an interface closes its pipe).
  EngineRun run(const std::string& input, int timeout_ms = 30000, bool close_input = true) const;

 private:
  std::string dir_;
};

}  // namespace brevalt::testing

// The end-to-end harness: fork, pipes, a poll loop that feeds input and
// drains output without deadlocking, and a time limit; and the session that
// keeps the engine's input open to talk to it line by line.
#include "support/engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "support/files.h"

namespace brevalt::testing {

namespace {

long now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

// The command that starts the engine: the engine this build made, or the
// words of BREVALT_TEST_ENGINE when it is set (a command prefix and a
// program, such as "wine /path/build-windows/brevalt.exe", so that the same
// tests judge the Windows engine under Wine).
std::vector<std::string> engine_command() {
  std::vector<std::string> words;
  const char* command = std::getenv("BREVALT_TEST_ENGINE");
  if (!command || !*command) return {BREVALT_ENGINE};
  std::string word;
  for (const char* p = command;; ++p) {
    if (*p == ' ' || *p == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (!*p) break;
    } else {
      word += *p;
    }
  }
  return words;
}

// Starts the engine in `dir` with pipes on its standard input and output;
// `program`, when given, in place of the engine's own file.
pid_t spawn_engine(const std::string& dir, int& input_writer, int& output_reader, const char* error_path = nullptr,
                   const std::string& program = {}) {
  std::vector<std::string> command = engine_command();
  if (!program.empty()) command.back() = program;
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    if (error_path) {
      const int err = open(error_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, STDERR_FILENO);
    }
    close(in_pipe[0]);
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(out_pipe[1]);
    if (chdir(dir.c_str()) != 0) _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  // The parent's ends must not leak into engines started later: an engine
  // holding another one's input open would keep it from ever seeing its end.
  fcntl(in_pipe[1], F_SETFD, FD_CLOEXEC);
  fcntl(out_pipe[0], F_SETFD, FD_CLOEXEC);
  input_writer = in_pipe[1];
  output_reader = out_pipe[0];
  return pid;
}

}  // namespace

std::string engine_program() { return engine_command().back(); }

int engine_max_threads() {
  const char* command = std::getenv("BREVALT_TEST_ENGINE");
  return command && *command ? 1 : 256;
}

EngineSandbox::EngineSandbox() {
  char tmpl[] = "/tmp/brevalt-e2e-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  for (const char* name : {"MoveFile", "hash_values", "Brevalt.ini"})
    write_file(name, testing::read_file(std::string(BREVALT_DATA_DIR) + "/" + name));
}

EngineSandbox::~EngineSandbox() { std::system(("rm -rf '" + dir_ + "' '" + dir_ + ".stderr'").c_str()); }

void EngineSandbox::write_file(const std::string& name, const std::string& content) const {
  testing::write_file(dir_ + "/" + name, content);
}

void EngineSandbox::remove_file(const std::string& name) const { unlink((dir_ + "/" + name).c_str()); }

bool EngineSandbox::has_file(const std::string& name) const {
  return access((dir_ + "/" + name).c_str(), F_OK) == 0;
}

std::string engine_text(std::string text) {
  if (const char* command = std::getenv("BREVALT_TEST_ENGINE"); command && *command) {
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
  }
  return text;
}

std::string EngineSandbox::read_file(const std::string& name) const {
  return engine_text(testing::read_file(dir_ + "/" + name));
}

EngineRun EngineSandbox::run(const std::string& input, int timeout_ms, bool close_input,
                             const std::string& program) const {
  int writer = -1, reader = -1;
  const std::string error_path = dir_ + ".stderr";
  pid_t pid = spawn_engine(dir_, writer, reader, error_path.c_str(), program);
  signal(SIGPIPE, SIG_IGN);  // the engine may leave before reading all input
  fcntl(writer, F_SETFL, O_NONBLOCK);

  EngineRun result;
  size_t written = 0;
  if (input.empty() && close_input) {
    close(writer);
    writer = -1;
  }
  long deadline = now_ms() + timeout_ms;
  char buf[65536];
  for (;;) {
    struct pollfd fds[2];
    int n = 0;
    fds[n++] = {reader, POLLIN, 0};
    if (writer >= 0 && written < input.size()) fds[n++] = {writer, POLLOUT, 0};
    long left = deadline - now_ms();
    if (left <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, n, static_cast<int>(left)) < 0) continue;
    if (n > 1 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = write(writer, input.data() + written, input.size() - written);
      if (w > 0) written += static_cast<size_t>(w);
      if (w < 0 && errno != EAGAIN) written = input.size();  // the engine is gone
      if (written >= input.size() && close_input) {
        close(writer);
        writer = -1;
      }
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t r = read(reader, buf, sizeof(buf));
      if (r <= 0) break;  // the engine closed its output: it has ended
      result.out.append(buf, static_cast<size_t>(r));
    }
  }
  if (writer >= 0) close(writer);
  close(reader);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = testing::read_file(error_path);
  return result;
}

EngineSession::EngineSession(const EngineSandbox& box, const std::string& program) {
  signal(SIGPIPE, SIG_IGN);  // a write to an engine that has ended must not end the test
  pid_ = spawn_engine(box.dir(), in_, out_fd_, nullptr, program);
}

EngineSession::~EngineSession() {
  close_input();
  if (!reaped_) wait_exit(5000);
  if (out_fd_ >= 0) close(out_fd_);
}

void EngineSession::send(const std::string& text) {
  if (in_ < 0) return;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t w = write(in_, text.data() + done, text.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;  // the engine has gone; what it wrote is still in out()
    }
    done += static_cast<size_t>(w);
  }
}

bool EngineSession::read_some(int wait_ms) {
  if (ended_) return false;
  struct pollfd p{out_fd_, POLLIN, 0};
  int r = poll(&p, 1, wait_ms < 0 ? 0 : wait_ms);
  if (r <= 0) return true;
  char buf[65536];
  ssize_t n = read(out_fd_, buf, sizeof(buf));
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) {
    ended_ = true;
    return false;
  }
  out_.append(buf, static_cast<size_t>(n));
  return true;
}

bool EngineSession::wait_for(const std::string& text, int timeout_ms, size_t from) {
  const long deadline = now_ms() + timeout_ms;
  for (;;) {
    if (from <= out_.size() && out_.find(text, from) != std::string::npos) return true;
    const long left = deadline - now_ms();
    if (left <= 0 || !read_some(static_cast<int>(left))) return false;
  }
}

std::optional<std::string> EngineSession::wait_for_line(const std::function<bool(const std::string&)>& match,
                                                        int timeout_ms, size_t from, size_t* after) {
  const long deadline = now_ms() + timeout_ms;
  size_t scanned = from;  // lines before this offset have been looked at
  for (;;) {
    for (size_t end; scanned < out_.size() && (end = out_.find('\n', scanned)) != std::string::npos;
         scanned = end + 1) {
      std::string line = out_.substr(scanned, end - scanned);
      if (match(line)) {
        if (after) *after = end + 1;
        return line;
      }
    }
    // Every complete line has been looked at: wait for more, if there is time.
    const long left = deadline - now_ms();
    if (left <= 0 || !read_some(static_cast<int>(left))) return std::nullopt;
  }
}

void EngineSession::pump(int ms) {
  const long deadline = now_ms() + ms;
  for (long left = ms; left > 0; left = deadline - now_ms())
    if (!read_some(static_cast<int>(left))) {
      // Nothing more will come: the rest of the time need not be waited.
      return;
    }
}

bool EngineSession::sync(int timeout_ms) {
  // The unknown-command reply quotes the first word only.
  const std::string word = "sync" + std::to_string(++sync_count_);
  const size_t from = out_.size();
  send(word + " now\n");
  return wait_for("Error (unknown command): " + word + "\n", timeout_ms, from);
}

void EngineSession::close_input() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

int EngineSession::wait_exit(int timeout_ms) {
  if (reaped_) return status_;
  const long deadline = now_ms() + timeout_ms;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      // Whatever the engine wrote before it ended is still in the pipe.
      for (int i = 0; i < 100 && !ended_; ++i) read_some(10);
      return status_;
    }
    const long left = deadline - now_ms();
    if (left <= 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      reaped_ = true;
      status_ = -1;
      return status_;
    }
    // Keep draining the output so that the engine never blocks on a full pipe.
    if (!read_some(static_cast<int>(left < 20 ? left : 20))) usleep(1000);
  }
}

int EngineSession::quit(int timeout_ms) {
  send("quit\n");
  return wait_exit(timeout_ms);
}

std::vector<std::string> EngineSession::lines(size_t from) const {
  std::vector<std::string> result;
  for (size_t pos = from, end; pos < out_.size() && (end = out_.find('\n', pos)) != std::string::npos; pos = end + 1)
    result.push_back(out_.substr(pos, end - pos));
  return result;
}

}  // namespace brevalt::testing

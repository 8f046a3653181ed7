// The end-to-end harness: fork, pipes, a poll loop that feeds input and
// drains output without deadlocking, and a time limit.
#include "support/engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/files.h"

namespace brevalt::testing {

namespace {

long now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

EngineSandbox::EngineSandbox() {
  char tmpl[] = "/tmp/brevalt-e2e-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  for (const char* name : {"MoveFile", "hash_values", "Brevalt.ini"})
    write_file(name, testing::read_file(std::string(BREVALT_DATA_DIR) + "/" + name));
}

EngineSandbox::~EngineSandbox() { std::system(("rm -rf '" + dir_ + "'").c_str()); }

void EngineSandbox::write_file(const std::string& name, const std::string& content) const {
  testing::write_file(dir_ + "/" + name, content);
}

void EngineSandbox::remove_file(const std::string& name) const { unlink((dir_ + "/" + name).c_str()); }

bool EngineSandbox::has_file(const std::string& name) const {
  return access((dir_ + "/" + name).c_str(), F_OK) == 0;
}

std::string EngineSandbox::read_file(const std::string& name) const {
  return testing::read_file(dir_ + "/" + name);
}

EngineRun EngineSandbox::run(const std::string& input, int timeout_ms, bool close_input) const {
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    close(in_pipe[0]);
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(out_pipe[1]);
    if (chdir(dir_.c_str()) != 0) _exit(127);
    execl(BREVALT_ENGINE, BREVALT_ENGINE, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  signal(SIGPIPE, SIG_IGN);  // the engine may leave before reading all input
  fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);

  EngineRun result;
  size_t written = 0;
  int writer = in_pipe[1];
  if (input.empty() && close_input) {
    close(writer);
    writer = -1;
  }
  long deadline = now_ms() + timeout_ms;
  char buf[65536];
  for (;;) {
    struct pollfd fds[2];
    int n = 0;
    fds[n++] = {out_pipe[0], POLLIN, 0};
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
      ssize_t r = read(out_pipe[0], buf, sizeof(buf));
      if (r <= 0) break;  // the engine closed its output: it has ended
      result.out.append(buf, static_cast<size_t>(r));
    }
  }
  if (writer >= 0) close(writer);
  close(out_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace brevalt::testing

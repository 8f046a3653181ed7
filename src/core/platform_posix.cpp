// POSIX answers to the two platform questions: bytes waiting on standard
// input (pipe, file or terminal) without blocking, and a monotonic clock;
// and the program's own folder, which Linux tells through /proc.
#ifndef _WIN32
#include "core/platform.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brevalt {

void prepare_standard_streams() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  std::fflush(nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

unsigned input_waiting() {
  // Lines already read into the stdio buffer count as waiting too: the
  // kernel no longer sees them, but the next read returns them at once.
  // (This is glibc's view of the buffer; other C libraries may need their
  // own accessor.)
  if (stdin->_IO_read_ptr < stdin->_IO_read_end)
    return static_cast<unsigned>(stdin->_IO_read_end - stdin->_IO_read_ptr);

  struct pollfd p{STDIN_FILENO, POLLIN, 0};
  int r;
  // A signal that interrupts the query says nothing about the input: ask again.
  do {
    r = poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return 1;  // a failed query: let the read find out what is wrong
  if (r == 0) return 0;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
    // Input has ended or broken: report it as waiting so that the read
    // learns of the end (and the engine shuts down) instead of polling forever.
    int n = 0;
    if (ioctl(STDIN_FILENO, FIONREAD, &n) == 0 && n > 0) return static_cast<unsigned>(n);
    return 1;
  }
  int n = 0;
  if (ioctl(STDIN_FILENO, FIONREAD, &n) != 0) return 1;
  // A regular file always polls readable; FIONREAD gives 0 at its end, and
  // the end must be read to be noticed.
  return n > 0 ? static_cast<unsigned>(n) : 1;
}

bool quiet_standard_input() {
  int fds[2];
  if (pipe(fds) != 0) return false;
  if (dup2(fds[0], STDIN_FILENO) < 0) return false;
  close(fds[0]);
  // fds[1] stays open for the life of the process on purpose.
  return true;
}

void* allocate_table_memory(size_t bytes) {
  constexpr size_t HUGE_PAGE = size_t{2} << 20;
  void* p = nullptr;
  // A table smaller than a huge page gains nothing from the alignment.
  const size_t alignment = bytes >= HUGE_PAGE ? HUGE_PAGE : 64;
  if (bytes == 0 || posix_memalign(&p, alignment, bytes) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  // Only advice: where the kernel has no such pages the table simply
  // stays on ordinary ones.
  madvise(p, bytes, MADV_HUGEPAGE);
#endif
  std::memset(p, 0, bytes);
  return p;
}

void free_table_memory(void* p) { std::free(p); }

uint64_t physical_memory_bytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
}

uint64_t available_memory_bytes() {
  uint64_t available = 0;
#ifdef __linux__
  // "MemAvailable:  N kB": the kernel's estimate of what can be handed out
  // without swapping, free pages and the caches it can drop. Other systems
  // have no such estimate; their free page count leaves out the caches and
  // would refuse sizes the machine can give.
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[128];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof(line), f)) {
      if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
        available = static_cast<uint64_t>(kib) * 1024u;
        break;
      }
    }
    std::fclose(f);
  }
#endif
  // The shell's limits ("ulimit -v", "ulimit -d") bound every block the
  // process asks for, whatever the machine holds.
  const int limits[] = {RLIMIT_AS, RLIMIT_DATA};
  for (const int resource : limits) {
    struct rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
    const uint64_t cap = static_cast<uint64_t>(limit.rlim_cur);
    if (available == 0 || cap < available) available = cap;
  }
  return available;
}

bool program_folder(char* out, size_t size) {
#ifdef __linux__
  // /proc/self/exe names the file itself, every link on the way resolved:
  // a link to the program in ~/bin still leads to the folder it lives in.
  if (size < 2) return false;
  const ssize_t n = readlink("/proc/self/exe", out, size - 1);
  if (n <= 0 || static_cast<size_t>(n) >= size - 1) return false;  // the path may have been cut
  out[n] = '\0';
  char* slash = std::strrchr(out, '/');
  if (!slash) return false;
  // The root folder keeps its one '/'.
  slash[slash == out ? 1 : 0] = '\0';
  return true;
#else
  // Other systems have no such file; the engine then keeps to its working folder.
  (void)out;
  (void)size;
  return false;
#endif
}

uint32_t clock_ticks() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // Milliseconds divided by 17, kept to 32 bits only after the division:
  // the tick count then wraps at 2^32 like any 32-bit counter, and
  // deadlines compared by their difference survive the wrap. (Dividing an
  // already wrapped 32-bit millisecond count would make the ticks fall
  // back to 0 after 49.7 days, and a deadline set just before would
  // never come.)
  return ticks_from_ms(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

uint64_t clock_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

std::FILE* open_memory_file(const unsigned char* data, size_t size) {
  // Read only: fmemopen never writes through the pointer in mode "r".
  return fmemopen(const_cast<unsigned char*>(data), size, "r");
}

}  // namespace brevalt
#endif  // !_WIN32

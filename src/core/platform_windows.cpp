// Windows answers to the two platform questions: whether a command is
// waiting, learnt from the console or pipe queries without blocking, and a
// millisecond clock that does not wrap; and the program's own folder.
#ifdef _WIN32
#include "core/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brevalt {

namespace {
// Window-size and mouse events would count as console input without being
// keys typed: the console stops reporting them.
constexpr DWORD WINDOW_AND_MOUSE_INPUT = ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT;

// What the first query learnt about standard input, kept for all later ones.
HANDLE input_handle = nullptr;
bool input_is_pipe = false;
bool input_known = false;
}  // namespace

void prepare_standard_streams() {
  // Binary mode: the C library would otherwise write CR LF for each LF,
  // and would take a Ctrl-Z byte arriving on a pipe as the end of input.
  // Interfaces accept LF line ends, and the line reader takes CR LF from a
  // console as LF itself. Standard error too, so that a start-up failure
  // reads the same on every system.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stdin, nullptr, _IONBF, 0);
  std::fflush(nullptr);
}

unsigned input_waiting() {
  // Step 1. On the first call: a console answers GetConsoleMode, a pipe (or
  // a redirected file) does not. A console stops reporting window and mouse
  // events, and what was typed before the engine asked is dropped.
  if (!input_known) {
    input_known = true;
    input_handle = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    input_is_pipe = !GetConsoleMode(input_handle, &mode);
    if (!input_is_pipe) {
      SetConsoleMode(input_handle, mode & ~WINDOW_AND_MOUSE_INPUT);
      FlushConsoleInputBuffer(input_handle);
    }
  }
#if !defined(_UCRT)
  // A character the line reader put back sits in the C library's stream,
  // where neither query sees it: it is waiting all the same.
  if (stdin->_cnt > 0) return static_cast<unsigned>(stdin->_cnt);
#endif
  // Step 2. A pipe: the bytes ready to read. A failed query (a file, a
  // broken pipe) lets the read find out what is there, or that input ended.
  if (input_is_pipe) {
    DWORD available = 0;
    if (!PeekNamedPipe(input_handle, nullptr, 0, nullptr, &available, nullptr)) return 1;
    return static_cast<unsigned>(available);
  }
  // Step 3. A console: a single pending event (a key released, say) is not
  // yet a line.
  DWORD events = 0;
  if (!GetNumberOfConsoleInputEvents(input_handle, &events)) return 0;
  return events > 1 ? static_cast<unsigned>(events) : 0;
}

bool quiet_standard_input() {
  HANDLE reader = nullptr, writer = nullptr;
  if (!CreatePipe(&reader, &writer, nullptr, 0)) return false;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(reader), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  if (_dup2(fd, _fileno(stdin)) != 0) return false;
  _close(fd);
  // The queries ask the system's standard handle, not the C library's
  // descriptor: both must name the new pipe, and the next query looks again.
  SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdin))));
  input_known = false;
  // The writer stays open for the life of the process on purpose.
  return true;
}

void* allocate_table_memory(size_t bytes) { return bytes == 0 ? nullptr : std::calloc(bytes, 1); }

void free_table_memory(void* p) { std::free(p); }

uint64_t physical_memory_bytes() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
}

uint64_t available_memory_bytes() {
  // The physical memory not in use: Windows commits what it grants, but a
  // commit backed by the page file would have the search wait on the disk.
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullAvailPhys;
}

bool program_folder(char* out, size_t size) {
  // The ANSI form of the path: the one the C library's fopen takes.
  if (size < 2 || size > 0xFFFFFFFFu) return false;
  const DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  // A path that filled the buffer was cut.
  if (n == 0 || n >= size) return false;
  // One separator throughout: the callers join names with '/', which
  // Windows takes as well as '\\'.
  for (char* p = out; *p; ++p)
    if (*p == '\\') *p = '/';
  char* slash = std::strrchr(out, '/');
  if (!slash) return false;
  // A drive's root ("C:/") keeps its '/'.
  slash[slash > out && slash[-1] == ':' ? 1 : 0] = '\0';
  return true;
}

uint32_t clock_ticks() {
  // GetTickCount64 rather than GetTickCount: the 32-bit count wraps after
  // 49.7 days, and dividing a wrapped count would make the ticks fall back
  // to 0. Divided first, then kept to 32 bits, as on every system.
  return ticks_from_ms(GetTickCount64());
}

uint64_t clock_ms() {
  // The performance counter, not GetTickCount64: that one advances in
  // steps of about 16 ms, too coarse for a fixed time per move.
  static const uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<uint64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const uint64_t count = static_cast<uint64_t>(now.QuadPart);
  return count / frequency * 1000u + count % frequency * 1000u / frequency;
}

std::FILE* open_memory_file(const unsigned char* data, size_t size) {
  // The Windows C library has no stream over memory: the bytes go to a
  // temporary file that is deleted when the stream is closed.
  std::FILE* f = std::tmpfile();
  if (!f) return nullptr;
  if (std::fwrite(data, 1, size, f) != size || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

}  // namespace brevalt
#endif  // _WIN32

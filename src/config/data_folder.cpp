// Finding the data files: the working folder first, then the folders named
// relative to the program's own location.
#include "config/data_folder.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/platform.h"

namespace brevalt {


namespace {

bool readable(const char* path) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// A drive's root ("C:/"), whose colon a list separated by ':' must not
// split. Only Windows has drives.
bool drive_root_at(const char* p) {
#ifdef _WIN32
  return std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && (p[2] == '/' || p[2] == '\\');
#else
  (void)p;
  return false;
#endif
}

bool absolute(const char* p) { return p[0] == '/' || p[0] == '\\' || drive_root_at(p); }

// Takes the empty and "." steps and each "name/.." pair out of an absolute
// path, in place, never climbing above its root ("/", "//" or "C:/"). The
// folder it starts from comes from the system with its links resolved, so
// stepping back by name leads where the system would.
void tidy_path(char* path) {
  size_t root = 0;
  if (path[0] == '/') root = path[1] == '/' ? 2 : 1;
  else if (drive_root_at(path)) root = 3;
  else return;
  size_t out = root;
  const char* p = path + root;
  while (*p) {
    const char* start = p;
    while (*p && *p != '/') ++p;
    const size_t len = static_cast<size_t>(p - start);
    if (*p == '/') ++p;
    if (len == 0 || (len == 1 && start[0] == '.')) continue;
    if (len == 2 && start[0] == '.' && start[1] == '.') {
      while (out > root && path[out - 1] != '/') --out;
      if (out > root) --out;  // the '/' before the step taken back
      continue;
    }
    if (out > root) path[out++] = '/';
    std::memmove(path + out, start, len);
    out += len;
  }
  path[out] = '\0';
}

// folder + '/' + name into out; false when it does not fit.
bool join(const char* folder, const char* name, char* out, size_t size) {
  const size_t n = std::strlen(folder);
  const bool slash = n > 0 && folder[n - 1] != '/';
  const int written = std::snprintf(out, size, "%s%s%s", folder, slash ? "/" : "", name);
  return written >= 0 && static_cast<size_t>(written) < size;
}

// The folder holds both files the engine cannot play without.
bool holds_data(const char* folder) {
  char path[DATA_PATH_SIZE];
  return join(folder, "MoveFile", path, sizeof path) && readable(path) &&
         join(folder, "hash_values", path, sizeof path) && readable(path);
}

// The data files every program of the engine reads; the book is optional.
constexpr const char* DATA_FILE_NAMES[] = {"MoveFile", "hash_values", "Brevalt.ini", "book_normal.bin"};

// No folder holds the data files: the working folder's own copies are read
// where it has them, and the program's built-in copies for the rest, named
// in one line on standard error. Without built-in copies nothing changes,
// and the missing files are reported as ever.
void use_builtin_files() {
  char names[256] = "";
  for (const char* name : DATA_FILE_NAMES) {
    if (readable(name) || !builtin_file(name)) continue;
    if (names[0]) std::strcat(names, ", ");
    std::strcat(names, name);
  }
  if (!names[0]) return;
  settings.builtin_data = 1;
  std::fprintf(stderr, "brevalt: data files built into the program: %s\n", names);
}

}  // namespace

bool find_data_folder(const char* candidates, char* out, size_t size) {
  if (!candidates) return false;
  char here[DATA_PATH_SIZE];
  if (!program_folder(here, sizeof here)) return false;
  const char* p = candidates;
  while (*p) {
    // One folder of the list: up to the next ':' that is not a drive's.
    const char* start = p;
    if (drive_root_at(p)) p += 2;
    while (*p && *p != ':') ++p;
    const size_t len = static_cast<size_t>(p - start);
    if (*p == ':') ++p;
    char name[DATA_PATH_SIZE];
    if (len == 0 || len >= sizeof name) continue;
    std::memcpy(name, start, len);
    name[len] = '\0';
    char folder[DATA_PATH_SIZE];
    if (absolute(name)) {
      if (len >= sizeof folder) continue;
      std::memcpy(folder, name, len + 1);
    } else if (!join(here, name, folder, sizeof folder)) {
      continue;
    }
    tidy_path(folder);
    if (!holds_data(folder)) continue;
    const size_t n = std::strlen(folder);
    if (n >= size) continue;
    std::memcpy(out, folder, n + 1);
    return true;
  }
  return false;
}

void choose_data_folder() {
  settings.data_folder[0] = '\0';
  settings.builtin_data = 0;
  if (readable("MoveFile") || readable("hash_values")) return;
  if (!find_data_folder(settings.program_data_folders, settings.data_folder, sizeof settings.data_folder)) {
    settings.data_folder[0] = '\0';
    use_builtin_files();
    return;
  }
  // Standard error, never standard output, which the interface reads as
  // protocol: a person looking at the interface's log learns which files
  // the engine plays with.
  std::fprintf(stderr, "brevalt: data files from %s\n", settings.data_folder);
}

bool data_file_path(const char* name, char* out, size_t size) {
  if (settings.data_folder[0] == '\0') {
    const int written = std::snprintf(out, size, "%s", name);
    return written >= 0 && static_cast<size_t>(written) < size;
  }
  return join(settings.data_folder, name, out, size);
}

std::FILE* open_data_file(const char* name, const char* mode) {
  if (settings.builtin_data && !readable(name)) {
    const BuiltinFile* b = builtin_file(name);
    return b ? open_memory_file(b->data, b->size) : nullptr;
  }
  char path[DATA_PATH_SIZE];
  if (!data_file_path(name, path, sizeof path)) return nullptr;
  return std::fopen(path, mode);
}

bool builtin_data_file(const char* name) { return settings.builtin_data && !readable(name) && builtin_file(name); }

}  // namespace brevalt

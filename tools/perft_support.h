// Shared start-up of the perft tool and its benchmark: the move tables and
// key values are loaded from the working folder when they are there, else
// from the repository's data folder.
#pragma once

#include <unistd.h>

#include <cstdio>

#include "config/params.h"
#include "config/startup.h"

#ifndef BREVALT_DATA_DIR
#define BREVALT_DATA_DIR "data"
#endif

namespace brevalt::tools {

// Largest working-folder path remembered while the data folder is visited.
constexpr int PATH_BUFFER = 4096;

inline bool file_exists(const char* name) { return access(name, R_OK) == 0; }

// Loads MoveFile and hash_values and builds the reach table. Returns false,
// with one line on stderr, when a file cannot be read. A folder given
// explicitly is the only place looked in.
inline bool load_engine_data(const char* folder = nullptr) {
  char here[PATH_BUFFER];
  const bool local = !folder && file_exists("MoveFile") && file_exists("hash_values");
  if (!local) {
    const char* where = folder ? folder : BREVALT_DATA_DIR;
    if (!getcwd(here, sizeof here) || chdir(where) != 0) {
      if (folder) std::fprintf(stderr, "cannot enter the data folder %s\n", folder);
      else std::fprintf(stderr, "cannot find MoveFile and hash_values (looked in . and %s)\n", where);
      return false;
    }
  }
  const bool moves = read_move_file() == 1;
  if (moves) build_reach_table();
  const bool keys = moves && read_hash_values() == 1;
  if (!local && chdir(here) != 0) {
    std::fprintf(stderr, "cannot return to the working folder\n");
    return false;
  }
  if (!keys) {
    std::fprintf(stderr, "cannot read %s\n", moves ? "hash_values" : "MoveFile");
    return false;
  }
  return true;
}

}  // namespace brevalt::tools

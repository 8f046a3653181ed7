// The settings of "Brevalt.ini", read once at start-up by the parameter
// file reader (config), one flag the file does not set, and what start-up
// made of the book file and the data folder: one record, settings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevalt {

// Room for the path of a data file, its folder included.
constexpr size_t DATA_PATH_SIZE = 4096;

// The five settings of "Brevalt.ini", at the values they have when the
// file does not change them.
struct IniSettings {
  // 1: moves may come from the opening book.
  int32_t book_enabled = 1;
  // 1 to 4: the size of each transposition table (265000 to 2100000 entries).
  int32_t hash_size_code = 3;
  // 1: comment on each move on a chess server.
  int32_t kibitz_enabled = 1;
  // 1: resign hopeless games.
  int32_t resign_enabled = 1;
  // Beyond the first moves, the book choice still varies at random (no line
  // of the file sets it; it stays 1).
  int32_t book_random = 1;
};

// The settings of "Brevalt.ini" and where the data files were found.
// Written at start-up (the program names its data folders, the parameter
// file reader, the data folder search), by the book when it gives up its
// file, and by the UCI options that change them; read by every layer that
// plays, searches or opens a data file.
// A data file carried inside the program: its name and its bytes.
struct BuiltinFile {
  const char* name;
  const unsigned char* data;
  size_t size;
};

struct Settings : IniSettings {
  // The path of "book_normal.bin" (the name alone when the data files are
  // read from the working folder) when the opening book may be used, else
  // empty.
  char book_file_name[DATA_PATH_SIZE]{};
  // The folder the data files are read from; empty for the working folder.
  char data_folder[DATA_PATH_SIZE]{};
  // Folders where the data files may lie when the working folder has none,
  // relative to the folder of the program's own file (an absolute one is taken
  // as it is), separated by ':'. The program sets it before start_up; the
  // build names the folders (beside the program, the source tree's data
  // folder, the installed data folders). Left null, as the tools and the tests
  // leave it, only the working folder is read.
  const char* program_data_folders{};
  // The data files built into the program, ended by an entry without a
  // name; the program sets it before start_up (null: none, as in the tools
  // and the tests). They stand in for the files no folder holds.
  const BuiltinFile* builtin_files{};
  // Nonzero when no folder held the data files: each one is then read from
  // the working folder when it is there, else from the built-in copy.
  int32_t builtin_data = 0;
  // Nonzero when the opening book is the built-in copy (book_file_name then
  // only names it).
  int32_t book_builtin = 0;
};

// The built-in copy of data file `name`, or nullptr.
const BuiltinFile* builtin_file(const char* name);

extern Settings settings;

}  // namespace brevalt

// Where the engine reads its data files (MoveFile, hash_values, Brevalt.ini,
// the opening book, the built-in test suites): the working folder, as an
// interface that starts the engine in its data folder expects, or else a
// folder found from the program's own location, for an interface that starts
// it in a folder of its own. The engine's own output files (epd1.epd,
// "error file" and the others) stay in the working folder either way: the
// folder beside an installed program is seldom writable, and two engines
// started from one program would write over each other's files there.
#pragma once

#include <cstddef>
#include <cstdio>

#include "core/settings.h"

namespace brevalt {

// The first folder of `candidates` (named as program_data_folders names
// them) that holds both MoveFile and hash_values, its path written into out
// with its "." and ".." steps taken out. False when none does, or when the
// system cannot tell where the program is.
bool find_data_folder(const char* candidates, char* out, size_t size);

// Sets data_folder: the working folder when it holds MoveFile or hash_values
// (a folder set up for the engine, whose faults are reported as they are);
// else the first of program_data_folders that holds both, named in one line
// on standard error; else the working folder again, each file missing there
// taken from the copies built into the program (builtin_files), again named
// on standard error. Without built-in copies the missing files are then
// reported as ever.
void choose_data_folder();

// The path of the data file `name` in data_folder (the name alone for the
// working folder). False when it does not fit in size bytes.
bool data_file_path(const char* name, char* out, size_t size);

// Opens data file `name` for reading: from data_folder as data_file_path
// names it, or, when no folder held the data files, from the working folder
// if it is there, else from the copy built into the program. nullptr when
// neither can be had.
std::FILE* open_data_file(const char* name, const char* mode);

// True when open_data_file(name) reads the copy built into the program.
bool builtin_data_file(const char* name);

}  // namespace brevalt

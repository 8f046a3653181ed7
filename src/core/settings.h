// The settings of "Brevalt.ini", read once at start-up by the parameter
// file reader (config), one flag the file does not set, and what start-up
// made of the book file. Every
// layer that plays or searches may read them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevalt {

// Room for the path of a data file, its folder included.
constexpr size_t DATA_PATH_SIZE = 4096;

// 1: moves may come from the opening book.
extern int32_t book_enabled;
// 1 to 4: the size of each transposition table (265000 to 2100000 entries).
extern int32_t hash_size_code;
// 1: comment on each move on a chess server.
extern int32_t kibitz_enabled;
// 1: resign hopeless games.
extern int32_t resign_enabled;
// Beyond the first moves, the book choice still varies at random (no line
// of the file sets it; it stays 1).
extern int32_t book_random;
// The path of "book_normal.bin" (the name alone when the data files are
// read from the working folder) when the opening book may be used, else
// empty.
extern char book_file_name[DATA_PATH_SIZE];

}  // namespace brevalt

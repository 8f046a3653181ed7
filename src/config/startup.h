// Loading the start-up files, allocating the large tables, and the one exit
// routine of the process.
#pragma once

#include <cstdint>

namespace brevalt {

// "book_normal.bin" when the opening book may be used, else empty.
extern char book_file_name[32];

// Loads everything the engine needs; ends the process on a fatal failure.
void start_up();
// Frees the tables and ends the process with status 0.
[[noreturn]] void shutdown();
// Writes one failure line into "error file" in the working directory.
void write_error_file(const char* message);
// A failure the engine cannot play on after: the line goes into "error
// file" and to standard error, the tables are freed, and the process ends
// with a non-zero status ("quit" alone ends it with 0).
[[noreturn]] void fatal_shutdown(const char* message);
// Reads the 960 key values of hash_values into zobrist; 0 when the file
// cannot be opened.
int read_hash_values();
// Builds reach from the target tables.
void build_reach_table();
// Allocates the large tables for the current hash-size code; 0 with the
// failure message written when one cannot be had.
int allocate_tables();
void free_tables();

}  // namespace brevalt

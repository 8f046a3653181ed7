// Loading the start-up files, allocating the large tables, and the one exit
// routine of the process.
#pragma once

#include <cstdint>

#include "core/exits.h"
#include "core/settings.h"

namespace brevalt {

// Loads everything the engine needs; ends the process on a fatal failure.
void start_up();
// Frees the tables and ends the process with status 0.
[[noreturn]] void shutdown();
// Reads the 960 key values of hash_values (from the data folder) into
// zobrist; 0, with zobrist unchanged, when the file cannot be opened, holds
// fewer than 960 numbers, a word before them that is not an unsigned 64-bit
// decimal number, or two keys alike.
int read_hash_values();
// Builds reach from the target tables.
void build_reach_table();
// Allocates the large tables for the current hash-size code; 0 with the
// failure message written when one cannot be had.
int allocate_tables();
void free_tables();

}  // namespace brevalt

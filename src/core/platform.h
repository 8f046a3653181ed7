// The two questions the engine asks of the operating system: is a command
// line waiting on standard input, and what time is it; the set-up of the
// standard streams that talk to the interface; and where the program's own
// file is. One source file answers them for each system: platform_posix.cpp
// and platform_windows.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace brevalt {

// Makes standard input and output fit for a line protocol: unbuffered, so
// the interface sees every line at once and no command waits in a stdio
// buffer where the input poll cannot see it; the same bytes on every
// system (no CR added before LF); and an interface that closes our output
// does not end the engine with a signal.
void prepare_standard_streams();
// Nonzero when a read of standard input will not block for long (data is
// waiting, or the input has ended and the read will report it).
unsigned input_waiting();
// For programs that drive the board without an interface (tools, tests):
// standard input becomes an empty pipe whose writer stays open, so the
// search's input poll always finds nothing waiting and never sees the end
// of input. False when the pipe cannot be made.
bool quiet_standard_input();
// Zeroed memory for the large hash tables, or nullptr. Where the system
// offers it the block is laid on 2 MB pages: a table probed at random
// across tens of megabytes otherwise costs a page-table walk on most
// probes. Given back with free_table_memory.
void* allocate_table_memory(size_t bytes);
void free_table_memory(void* p);
// The machine's physical memory in bytes, or 0 when the system cannot tell.
// Tables larger than it are refused before they are asked for: a system
// that overcommits would grant them and then end the process once the
// zero-fill touched more pages than it has.
uint64_t physical_memory_bytes();
// The memory the process can still be given for new tables, in bytes, or 0
// when the system cannot tell: what the system says it can hand out without
// taking it from others (Linux: MemAvailable of /proc/meminfo, Windows: the
// free physical memory), and no more than the process's own limits on its
// address space and data allow. A system that overcommits grants a block
// larger than this and ends the process once its pages are touched, which
// the tables' zero-fill does at once; with no swap there is nothing to fall
// back on.
uint64_t available_memory_bytes();
// Asks for the cache line holding p ahead of its use, so that a table
// probe's wait on main memory overlaps other work. Only a hint: it never
// faults and changes no value.
inline void prefetch_line(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}
// The folder holding the program's own executable file (links resolved),
// with '/' between names and no '/' at its end (but for a root folder),
// written into out. False when
// the system cannot tell, or the path does not fit in size bytes.
bool program_folder(char* out, size_t size);
// A stream reading the `size` bytes at `data` from their start, as fopen
// would give one for a file holding them (the data files built into the
// program), or nullptr. Closed with fclose; the bytes must outlive it.
std::FILE* open_memory_file(const unsigned char* data, size_t size);
// A monotonic millisecond clock divided by 17: the engine's time base, with
// 60 ticks taken as one second. It wraps at 2^32 ticks.
uint32_t clock_ticks();
// The same monotonic clock in whole milliseconds, for the limits that must
// be met to the millisecond: a fixed time per move, the end of a fast clock.
uint64_t clock_ms();
// The same conversion applied to a millisecond count: divided first, then
// kept to 32 bits.
constexpr uint32_t ticks_from_ms(uint64_t ms) { return static_cast<uint32_t>(ms / 17u); }

}  // namespace brevalt

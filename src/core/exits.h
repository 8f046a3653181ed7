// The ways the process ends on a failure. Start-up (config) defines them,
// since it owns the tables they free; any layer that meets a failure it
// cannot play on after calls them.
#pragma once

namespace brevalt {

// Writes one failure line into "error file" in the working directory.
void write_error_file(const char* message);
// A failure the engine cannot play on after: the line goes into "error
// file" and to standard error, the tables are freed, and the process ends
// with a non-zero status ("quit" alone ends it with 0).
[[noreturn]] void fatal_shutdown(const char* message);

}  // namespace brevalt

// The EPD test runner: "epdtest" and "static".
#pragma once

namespace brevalt {

// Set while a test run owns the engine: commands that would set up another
// position or start a game are refused until it ends.
extern int epd_run_active;

// Searches every position of a suite for a fixed time, judges each against
// its bm or am operation and appends a report to "epd_stats.txt". A name
// beginning with 'x' selects built-in suite n (1 to 8) at its own time per
// position; otherwise name is the file and n the seconds per position.
void run_epd_suite(const char* name, int n);
// Searches every position of a file for about a second each; keeps no score.
void run_epd_file(const char* name);

}  // namespace brevalt

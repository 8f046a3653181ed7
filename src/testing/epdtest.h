// The EPD test runner.
#pragma once

namespace brevalt {

// Set while a test run owns the engine: commands that would set up another
// position are refused until it ends.
extern int epd_run_active;

// Searches every position of a suite and appends a report to "epd_stats.txt".
void run_epd_suite(const char* name, int n);
// Searches every position of a file for about a second each.
void run_epd_file(const char* name);

}  // namespace brevalt

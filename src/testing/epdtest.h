// The EPD test runner.
#pragma once

namespace brevalt {

// Searches every position of a suite and appends a report to "epd_stats.txt".
void run_epd_suite(const char* name, int n);
// Searches every position of a file for about a second each.
void run_epd_file(const char* name);

}  // namespace brevalt

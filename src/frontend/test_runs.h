// The test runs the interpreter starts: "epdtest" and "static". The test
// runner sits above the front end (it reads its positions through the
// front end's EPD reader), so the interpreter calls it through these
// declarations, which src/testing defines.
#pragma once

namespace brevalt {

// Searches every position of a suite for a fixed time, judges each against
// its bm or am operation and appends a report to "epd_stats.txt". A name
// beginning with 'x' selects built-in suite n (1 to 8) at its own time per
// position; otherwise name is the file and n the seconds per position.
void run_epd_suite(const char* name, int n);
// Searches every position of a file for about a second each; keeps no score.
void run_epd_file(const char* name);

}  // namespace brevalt

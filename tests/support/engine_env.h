// Test support: loads the engine's tables from the shipped data files once
// per test program, then works in a scratch folder so that files the engine
// writes ("epd1.epd", "game error" ...) never land in the source tree.
#pragma once

#include <string>

namespace brevalt::testing {

// The scratch folder the tests run in.
const std::string& scratch_dir();

// Puts a position given as FEN on the board through the engine's own
// loader, with the en passant field honoured, and rebuilds the search state
// (keys, lists, material) as the root driver would. Returns false for text
// the loader refuses.
bool set_position(const std::string& fen);

}  // namespace brevalt::testing

// Setting up a position from a full FEN string, en passant field included.
// The protocol's own position loading goes through the EPD reader; this
// strict parser serves the tools and the tests, which need the en passant
// square that the EPD reader ignores.
#pragma once

namespace brevalt {

// Resets the game, puts the position on the board and rebuilds keys, lists
// and material. Returns false, leaving the board empty, for text that is not
// a well-formed FEN with one king per side.
bool setup_fen(const char* fen);

}  // namespace brevalt

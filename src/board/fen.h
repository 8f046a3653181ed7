// Setting up a position from a full FEN string, en passant field included.
// The protocol's own position loading goes through the EPD reader; this
// strict parser serves the tools and the tests, which need the en passant
// square that the EPD reader ignores.
#pragma once

#include <cstdint>

namespace brevalt {

// Castling rights as a FEN's castling field gives them: the castled words
// and the rook move counters (nonzero forbids that wing) as the position
// keeps them, and the castling rooks' squares (castle_rook_sq's order).
struct CastlingField {
  int16_t white_castled = 1, black_castled = 1;
  int16_t white_h = 1, white_a = 1, black_h = 1, black_a = 1;
  uint8_t rook_sq[4] = {7, 0, 63, 56};
  // Some right belongs to a rook other than a corner rook of a king on e1
  // or e8: only Fischer random chess can play it.
  bool fischer_random = false;
};

// Reads the castling field (its first `length` characters) of a FEN for
// the placement `squares`: "-", X-FEN's K, Q, k and q (the outermost rook on
// that side of the king) and file letters (Shredder-FEN's "HAha", or X-FEN's
// letter for an inner rook). nullptr when read, else the reason it cannot
// be: a letter that names no rook of that colour on its back rank, a king
// that is not on its back rank or not between the rook and the other wing.
const char* read_castling_field(const uint8_t squares[64], const char* field, int length, CastlingField& out);

// Resets the game, puts the position on the board and rebuilds keys, lists
// and material. Returns false, leaving the board empty, for text that is not
// a well-formed FEN with one king per side.
bool setup_fen(const char* fen);

}  // namespace brevalt

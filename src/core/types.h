// Squares, piece codes and the sentinel values that every part of the
// engine shares. A square is rank * 8 + file (a1 = 0, h8 = 63); a piece code
// is its type (1 king .. 6 pawn) plus 8 for Black.
#pragma once

#include <cstdint>

namespace brevalt {

// Piece codes. The type is code & 7, the colour code & 8.
constexpr uint8_t EMPTY = 0;
constexpr uint8_t KING = 1;
constexpr uint8_t QUEEN = 2;
constexpr uint8_t ROOK = 3;
constexpr uint8_t BISHOP = 4;
constexpr uint8_t KNIGHT = 5;
constexpr uint8_t PAWN = 6;
constexpr uint8_t BLACK = 8;

// Sides as the routines take them: a piece belongs to side s when (code & 8) == s.
constexpr int WHITE_SIDE = 0;
constexpr int BLACK_SIDE = 8;

// The side the engine plays is kept as a sign instead (engine_side): +1
// for White, -1 for Black, the factor that turns White's view of a score
// into the engine's. These two convert between the codings; any sign but
// +1 reads as Black.
constexpr int side_of_sign(int sign) { return sign == 1 ? WHITE_SIDE : BLACK_SIDE; }
constexpr int sign_of_side(int side) { return side == WHITE_SIDE ? 1 : -1; }

// Sentinel squares: a captured piece-list entry, an empty move slot or list
// end, and "no list index" (which doubles as "double check").
constexpr uint8_t OFF_BOARD = 64;
constexpr uint8_t NO_SQUARE = 65;
constexpr uint8_t NO_INDEX = 99;

// The back-rank squares that castling and its bookkeeping name.
constexpr int A1 = 0, B1 = 1, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7;
constexpr int A8 = 56, B8 = 57, C8 = 58, D8 = 59, E8 = 60, F8 = 61, G8 = 62, H8 = 63;

// Markers inside the target lists of the move file.
constexpr uint8_t END_OF_TABLE = 253;
constexpr uint8_t RAY_BREAK = 254;
constexpr uint8_t END_OF_LIST = 255;

// Mate scores: a side mated at ply q scores q - MATE_SCORE; anything beyond
// MATE_BOUND is a mate score.
constexpr int MATE_SCORE = 9999;
constexpr int MATE_BOUND = 9000;

// Fixed sizes of the per-ply tables: no search goes deeper than ply 63.
constexpr int MAX_PLY = 64;
// A position has at most 218 legal moves; a row holds 255 and keeps its
// last entry as swap scratch.
constexpr int MOVE_ROW = 256;       // entries per move_list row; the last is scratch
constexpr int MOVE_ROW_LIMIT = 255; // moves a row can actually hold

constexpr int type_of(int code) { return code & 7; }
constexpr int colour_of(int code) { return code & 8; }
constexpr int rank_of(int sq) { return sq >> 3; }
constexpr int file_of(int sq) { return sq & 7; }

}  // namespace brevalt

// Ray segments of the move file's target lists as bit masks, and the
// occupancy of the board as a bit set. A walk along a ray only ever stops at
// occupied squares, so with the ray's mask and the occupancy it jumps from
// one occupied square to the next instead of reading every empty one. The
// squares met, and their order, are exactly those of the list walk.
#pragma once

#include <bit>
#include <cstdint>

#include "core/board_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brevalt {

// The four target tables that hold rays, in the order of ray_tables' rows.
enum RayTable : uint8_t { KNIGHT_RAYS, BISHOP_RAYS, ROOK_RAYS, KING_RAYS, RAY_TABLE_COUNT };

// A square's lists hold at most this many rays (8 knight targets, 4 lines).
constexpr int MAX_RAYS_PER_SQUARE = 8;

// The rays of one square in one table, in list order: the mask of each
// ray's squares, and whether the ray runs towards lower square numbers.
struct SquareRays {
  uint64_t mask[MAX_RAYS_PER_SQUARE];
  uint8_t count;
  uint8_t descending;  // bit i: ray i runs downwards
  uint64_t all;        // every target of the square in this table
};

// ray_tables[table][square], built from the loaded lists by build_ray_masks.
extern SquareRays ray_tables[RAY_TABLE_COUNT][64];

// pawn_capture_squares[colour][square]: the diagonal targets of the pawn
// lists (colour 0 White, 1 Black), the squares a pawn there may capture on.
extern uint64_t pawn_capture_squares[2][64];

// squares_reaching[row][sq]: bit t set when reach[row][t][sq], the squares
// from which a piece of that reach row attacks sq on an empty board.
extern uint64_t squares_reaching[8][64];

// The geometry of the board's lines, independent of the move file: for two
// squares on a common rank, file or diagonal, the squares strictly between
// them, and the squares beyond the second one seen from the first, out to
// the board edge. Both are empty for squares on no common line.
struct LineTables {
  uint64_t between[64][64];
  uint64_t beyond[64][64];
};
extern const LineTables line_tables;

// Two different squares on a common rank, file or diagonal.
inline bool on_common_line(int a, int b) {
  const int df = (b & 7) - (a & 7), dr = (b >> 3) - (a >> 3);
  return a != b && (df == 0 || dr == 0 || df == dr || df == -dr);
}

// True when every ray of the loaded lists runs strictly up or strictly
// down the square numbers (as rays running outwards along a line do), no
// square has more than MAX_RAYS_PER_SQUARE rays, and no list names a
// square twice. Only then do the masks stand for the lists; otherwise the
// queries walk the lists themselves.
extern bool ray_masks_ready;

// Rebuilds ray_tables and ray_masks_ready from the current target lists;
// run whenever the lists have been (re)loaded.
void build_ray_masks();

// Bit s set for every square s whose board byte, masked with `mask`, equals
// `value`, read from the board itself (sixteen squares at a time where the
// machine has SSE2): the check of code_squares against the board.
inline uint64_t squares_where(uint8_t mask, uint8_t value) {
#if defined(__SSE2__)
  const __m128i m = _mm_set1_epi8(static_cast<char>(mask));
  const __m128i v = _mm_set1_epi8(static_cast<char>(value));
  uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos.board + 16 * i));
    const __m128i hit = _mm_cmpeq_epi8(_mm_and_si128(chunk, m), v);
    bits |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(hit))} << (16 * i);
  }
  return bits;
#else
  uint64_t bits = 0;
  for (int i = 0; i < 64; ++i) bits |= uint64_t{(pos.board[i] & mask) == value} << i;
  return bits;
#endif
}

// Bit s set for every square s that holds a piece.
inline uint64_t occupied_squares() { return ~pos.code_squares[EMPTY]; }

// Bit s set for every square s holding a piece of type `type`, either colour.
inline uint64_t squares_of_type(uint8_t type) { return pos.code_squares[type] | pos.code_squares[type | BLACK]; }

// Bit s set for every square s holding a black piece.
inline uint64_t black_squares() {
  return pos.code_squares[KING | BLACK] | pos.code_squares[QUEEN | BLACK] | pos.code_squares[ROOK | BLACK] |
         pos.code_squares[BISHOP | BLACK] | pos.code_squares[KNIGHT | BLACK] | pos.code_squares[PAWN | BLACK];
}

// The first square of a set of squares on one line, met walking towards
// higher square numbers (`upward`) or towards lower ones.
inline int nearest_on_line(uint64_t bits, bool upward) {
  return upward ? std::countr_zero(bits) : 63 - std::countl_zero(bits);
}

// The first square of a ray's masked set in the ray's direction.
inline int nearest_square(uint64_t bits, const SquareRays& rays, int ray) {
  return nearest_on_line(bits, !((rays.descending >> ray) & 1));
}

}  // namespace brevalt

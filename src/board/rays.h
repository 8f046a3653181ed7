// Ray segments of the move file's target lists as bit masks, and the
// occupancy of the board as a bit set. A walk along a ray only ever stops at
// occupied squares, so with the ray's mask and the occupancy it jumps from
// one occupied square to the next instead of reading every empty one. The
// squares met, and their order, are exactly those of the list walk.
#pragma once

#include <bit>
#include <cstdint>

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

// True when every ray of the loaded lists runs strictly up or strictly
// down the square numbers (as rays running outwards along a line do), no
// square has more than MAX_RAYS_PER_SQUARE rays, and no list names a
// square twice. Only then do the masks stand for the lists; otherwise the
// queries walk the lists themselves.
extern bool ray_masks_ready;

// Rebuilds ray_tables and ray_masks_ready from the current target lists;
// run whenever the lists have been (re)loaded.
void build_ray_masks();

// Bit s set for every square s that holds a piece.
uint64_t occupied_squares();

// Bit s set for every square s holding exactly `code` (a piece of one kind
// and colour).
uint64_t squares_holding(uint8_t code);

// The first square of a ray's masked set in the ray's direction.
inline int nearest_square(uint64_t bits, const SquareRays& rays, int ray) {
  return (rays.descending >> ray) & 1 ? 63 - std::countl_zero(bits) : std::countr_zero(bits);
}

}  // namespace brevalt

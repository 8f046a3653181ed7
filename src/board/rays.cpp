// Ray masks built from the move file's lists, and the board's occupancy.
#include "board/rays.h"

#include "core/board_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brevalt {

SquareRays ray_tables[RAY_TABLE_COUNT][64];
bool ray_masks_ready = false;

namespace {

// Direction of a ray still being read.
enum class Run { single, up, down };

// Reads one square's list into r; false when the list does not fit the
// masks (a ray that turns back or repeats a square, too many rays, a square
// named twice in the list).
bool build_square(const uint8_t* list, SquareRays& r) {
  r = SquareRays{};
  if (!list) return false;
  int last = -1;
  Run run = Run::single;
  bool open = false;  // a ray has squares and is not yet closed
  for (const uint8_t* p = list;; ++p) {
    const uint8_t t = *p;
    if (t == END_OF_LIST || t == RAY_BREAK) {
      if (open) {
        if (run == Run::down) r.descending |= static_cast<uint8_t>(1u << r.count);
        ++r.count;
        open = false;
      }
      if (t == END_OF_LIST) return true;
      continue;
    }
    if (t > 63) return false;
    const uint64_t bit = uint64_t{1} << t;
    if (r.all & bit) return false;
    r.all |= bit;
    if (!open) {
      // An empty ray (two separators in a row) is skipped by every walk.
      if (r.count >= MAX_RAYS_PER_SQUARE) return false;
      open = true;
      run = Run::single;
      r.mask[r.count] = 0;
    } else {
      const Run step = t > last ? Run::up : Run::down;
      if (run != Run::single && run != step) return false;
      run = step;
    }
    r.mask[r.count] |= bit;
    last = t;
  }
}

#if defined(__SSE2__)
// 16 board bytes compared with v: bit i set where byte i equals v.
uint64_t equal_bits(const uint8_t* bytes, uint8_t v) {
  const __m128i value = _mm_set1_epi8(static_cast<char>(v));
  uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    const auto m = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, value)));
    bits |= uint64_t{m} << (16 * i);
  }
  return bits;
}
#else
uint64_t equal_bits(const uint8_t* bytes, uint8_t v) {
  uint64_t bits = 0;
  for (int i = 0; i < 64; ++i) bits |= uint64_t{bytes[i] == v} << i;
  return bits;
}
#endif

}  // namespace

void build_ray_masks() {
  const uint8_t* const* lists[RAY_TABLE_COUNT] = {knight_targets, bishop_rays, rook_rays, king_targets};
  bool ok = true;
  for (int t = 0; t < RAY_TABLE_COUNT; ++t)
    for (int s = 0; s < 64; ++s)
      if (!build_square(lists[t][s], ray_tables[t][s])) ok = false;
  ray_masks_ready = ok;
}

uint64_t occupied_squares() { return ~equal_bits(board, EMPTY); }

uint64_t squares_holding(uint8_t code) { return equal_bits(board, code); }

}  // namespace brevalt

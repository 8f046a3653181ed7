// Ray masks built from the move file's lists, and the board's occupancy.
#include "board/rays.h"

#include "core/board_state.h"

namespace brevalt {

SquareRays ray_tables[RAY_TABLE_COUNT][64];
uint64_t pawn_capture_squares[2][64];
uint64_t squares_reaching[8][64];
bool ray_masks_ready = false;

namespace {

constexpr LineTables make_line_tables() {
  LineTables t{};
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      const int df = (b & 7) - (a & 7), dr = (b >> 3) - (a >> 3);
      if (a == b || !(df == 0 || dr == 0 || df == dr || df == -dr)) continue;
      const int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
      bool past = false;
      for (int f = (a & 7) + sf, r = (a >> 3) + sr; f >= 0 && f < 8 && r >= 0 && r < 8; f += sf, r += sr) {
        const int sq = r * 8 + f;
        if (sq == b) {
          past = true;
          continue;
        }
        (past ? t.beyond : t.between)[a][b] |= uint64_t{1} << sq;
      }
    }
  return t;
}

}  // namespace

constinit const LineTables line_tables = make_line_tables();

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

}  // namespace

void build_ray_masks() {
  const uint8_t* const* lists[RAY_TABLE_COUNT] = {knight_targets, bishop_rays, rook_rays, king_targets};
  bool ok = true;
  for (int t = 0; t < RAY_TABLE_COUNT; ++t)
    for (int s = 0; s < 64; ++s)
      if (!build_square(lists[t][s], ray_tables[t][s])) ok = false;
  // A pawn captures one rank forward and one file aside: White up the
  // square numbers by 7 or 9, Black down.
  for (int s = 0; s < 64; ++s) {
    pawn_capture_squares[0][s] = pawn_capture_squares[1][s] = 0;
    for (const uint8_t* p = white_pawn_targets[s]; p && *p != END_OF_LIST; ++p)
      if (*p < 64 && (*p - s == 7 || *p - s == 9)) pawn_capture_squares[0][s] |= uint64_t{1} << *p;
    for (const uint8_t* p = black_pawn_targets[s]; p && *p != END_OF_LIST; ++p)
      if (*p < 64 && (s - *p == 7 || s - *p == 9)) pawn_capture_squares[1][s] |= uint64_t{1} << *p;
  }
  for (int row = 0; row < 8; ++row)
    for (int s = 0; s < 64; ++s) {
      uint64_t bits = 0;
      for (int t = 0; t < 64; ++t)
        if (reach[row][t][s]) bits |= uint64_t{1} << t;
      squares_reaching[row][s] = bits;
    }
  ray_masks_ready = ok;
}

}  // namespace brevalt

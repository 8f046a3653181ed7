// Readers of the parameter file "Brevalt.ini" and the move file "MoveFile".
#include "config/params.h"

#include <cctype>
#include <cstdio>

#include "board/position.h"
#include "config/data_folder.h"
#include "core/control.h"
#include "search/tables.h"

namespace brevalt {

// Hash-size codes 1..4: entries per transposition table and the index mask.
// Each table has a few entries more than mask + 1, so a probe may look at
// the slots just after the masked index without leaving the table.
namespace {
constexpr int32_t CODE_ENTRIES[5] = {0, 265000, 530000, 1050000, 2100000};
constexpr uint32_t CODE_MASKS[5] = {0, 0x3FFFF, 0x7FFFF, 0xFFFFF, 0x1FFFFF};
// The default mask is that of code 2 although the default code is 3.
constexpr uint32_t DEFAULT_MASK = 0x7FFFF;

// The parameter reader stops at these setting values ('/' and 'Z').
constexpr int STOP_LOW = -1;
constexpr int STOP_HIGH = 42;
}  // namespace

int32_t entries_for_code(int code) {
  return code >= 1 && code <= 4 ? CODE_ENTRIES[code] : CODE_ENTRIES[3];
}

uint32_t mask_for_code(int code) { return code >= 1 && code <= 4 ? CODE_MASKS[code] : CODE_MASKS[3]; }

int read_parameter_file() {
  // The settings the file leaves alone keep their defaults.
  static_cast<IniSettings&>(settings) = IniSettings{};
  shared_tables.tt_mask = DEFAULT_MASK;
  control.post_thinking = 1;

  std::FILE* f = open_data_file("Brevalt.ini", "r");
  if (!f) return 0;

  // Preamble: free text up to and including the first '*'.
  int c;
  while ((c = std::fgetc(f)) != EOF && c != '*' && c != 255) {
  }

  // Settings: the character right after each line end is the value of the
  // next setting line, even when it is itself a line end.
  if (c != EOF) {
    int k = 1;
    while ((c = std::fgetc(f)) != EOF && c != '*') {
      if (c != '\n') continue;
      int s = std::fgetc(f);
      if (s == EOF) break;
      int v = s - '0';
      if (k == 1 && v == 0) settings.book_enabled = 0;
      if (k == 2 && v >= 1 && v <= 4) {
        settings.hash_size_code = v;
        shared_tables.tt_mask = CODE_MASKS[v];
      }
      if (k == 3 && v == 0) settings.kibitz_enabled = 0;
      if (k == 4 && v == 0) settings.resign_enabled = 0;
      ++k;
      if (v == STOP_LOW || v == STOP_HIGH) break;
      // A setting character that is itself a line end starts no new setting:
      // the next line's first character is then plain text.
    }
  }
  std::fclose(f);
  return 1;
}

namespace {

// One target table's storage; 64 square pointers point into it.
uint8_t knight_block[KNIGHT_BLOCK];
uint8_t bishop_block[BISHOP_BLOCK];
uint8_t rook_block[ROOK_BLOCK];
uint8_t king_block[KING_BLOCK];
uint8_t white_pawn_block[PAWN_BLOCK];
uint8_t black_pawn_block[PAWN_BLOCK];

// Reads one decimal integer (optionally signed) after white space; false
// when none can be read.
bool read_int(std::FILE* f, long& value) {
  int c;
  do c = std::fgetc(f);
  while (c != EOF && std::isspace(c));
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::fgetc(f);
  }
  if (c == EOF || !std::isdigit(c)) return false;
  long v = 0;
  while (c != EOF && std::isdigit(c)) {
    if (v < 100000000) v = v * 10 + (c - '0');  // large values keep only their low byte anyway
    c = std::fgetc(f);
  }
  if (c != EOF) std::ungetc(c, f);
  value = negative ? -v : v;
  return true;
}

// Reads values into block until 253 has been stored, then sets the 64
// square pointers. A table longer than its block, or one whose lists do not
// cover 64 squares, is a read failure rather than a write past the block.
bool read_table(std::FILE* f, uint8_t* block, int capacity, const uint8_t** squares) {
  int n = 0;
  for (;;) {
    long v;
    if (!read_int(f, v)) return false;
    if (n >= capacity) return false;
    block[n++] = static_cast<uint8_t>(v & 0xFF);
    if (block[n - 1] == END_OF_TABLE) break;
  }
  // Square 0's list starts the block; each next list starts two bytes after
  // the 255 that ends the previous one.
  int pos = 0;
  for (int sq = 0; sq < 64; ++sq) {
    if (pos >= n - 1) return false;
    squares[sq] = block + pos;
    while (pos < n && block[pos] != END_OF_LIST) {
      // A target outside the board would send move generation off the board.
      if (block[pos] > 63 && block[pos] != RAY_BREAK) return false;
      ++pos;
    }
    if (pos >= n) return false;
    pos += 2;
  }
  return true;
}

// A step of a piece: files and ranks moved.
struct Step {
  int df, dr;
};
constexpr Step KNIGHT_STEPS[8] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr Step KING_STEPS[8] = {{0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
constexpr Step ROOK_STEPS[4] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
constexpr Step BISHOP_STEPS[4] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};

// The square `times` steps from s, or -1 off the board.
int step_from(int s, Step d, int times) {
  const int f = (s & 7) + d.df * times, r = (s >> 3) + d.dr * times;
  return f >= 0 && f < 8 && r >= 0 && r < 8 ? r * 8 + f : -1;
}

// One square's list of rays for a piece with these steps: every ray one
// step (a knight, a king) or, for a slider, one whole line from the nearest
// square out to the edge of the board; each step that stays on the board
// exactly once. The order of the rays is free (it only orders the moves).
bool rays_fit(const uint8_t* list, int s, const Step* steps, int count, bool slider) {
  bool used[8] = {};
  const uint8_t* p = list;
  while (*p != END_OF_LIST) {
    if (*p == RAY_BREAK) {
      ++p;
      continue;
    }
    // The first square of a ray names its step.
    int k = 0;
    while (k < count && step_from(s, steps[k], 1) != *p) ++k;
    if (k == count || used[k]) return false;
    used[k] = true;
    for (int times = 1;; ++times) {
      const int t = step_from(s, steps[k], times);
      const bool listed = *p != END_OF_LIST && *p != RAY_BREAK;
      if (t < 0 || (!slider && times > 1)) {
        if (listed) return false;  // a ray that goes on past its end
        break;
      }
      if (!listed || *p != t) return false;  // a ray cut short or turned aside
      ++p;
    }
  }
  for (int k = 0; k < count; ++k)
    if (!used[k] && step_from(s, steps[k], 1) >= 0) return false;
  return true;
}

// One square's pawn list: the single push, the double push from the
// pawn's first rank and the captures, each once, in any order; nothing
// where no pawn of that colour can stand. `up` is +1 for White, -1 for Black.
bool pawn_list_fits(const uint8_t* list, int s, int up) {
  const int rank = s >> 3;
  uint64_t expected = 0;
  if (rank != 0 && rank != 7) {
    expected |= uint64_t{1} << step_from(s, Step{0, up}, 1);
    if (rank == (up > 0 ? 1 : 6)) expected |= uint64_t{1} << step_from(s, Step{0, up}, 2);
    for (int df = -1; df <= 1; df += 2) {
      const int t = step_from(s, Step{df, up}, 1);
      if (t >= 0) expected |= uint64_t{1} << t;
    }
  }
  uint64_t listed = 0;
  for (const uint8_t* p = list; *p != END_OF_LIST; ++p) {
    if (*p == RAY_BREAK) continue;  // every walk of a pawn list skips it
    const uint64_t bit = uint64_t{1} << *p;
    if (listed & bit) return false;
    listed |= bit;
  }
  return listed == expected;
}

// Every list of the six tables describes the board's geometry, so that no
// damaged digit in the file makes a piece move as it cannot, or hides a move
// it has: the engine would play on such tables without a sign of the fault.
bool tables_fit_the_board() {
  for (int s = 0; s < 64; ++s) {
    if (!rays_fit(knight_targets[s], s, KNIGHT_STEPS, 8, false) ||
        !rays_fit(king_targets[s], s, KING_STEPS, 8, false) ||
        !rays_fit(rook_rays[s], s, ROOK_STEPS, 4, true) || !rays_fit(bishop_rays[s], s, BISHOP_STEPS, 4, true) ||
        !pawn_list_fits(white_pawn_targets[s], s, 1) || !pawn_list_fits(black_pawn_targets[s], s, -1))
      return false;
  }
  return true;
}

}  // namespace

int read_move_file() {
  std::FILE* f = open_data_file("MoveFile", "r");
  if (!f) return 0;
  bool ok = read_table(f, knight_block, KNIGHT_BLOCK, knight_targets) &&
            read_table(f, bishop_block, BISHOP_BLOCK, bishop_rays) &&
            read_table(f, rook_block, ROOK_BLOCK, rook_rays) &&
            read_table(f, king_block, KING_BLOCK, king_targets) &&
            read_table(f, white_pawn_block, PAWN_BLOCK, white_pawn_targets) &&
            read_table(f, black_pawn_block, PAWN_BLOCK, black_pawn_targets);
  std::fclose(f);
  return ok && tables_fit_the_board() ? 1 : 0;
}

}  // namespace brevalt

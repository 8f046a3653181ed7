// Piece terms and the per-search piece-square tables. Mobility is counted
// once per search on the root position and folded into the tables; during
// the search a piece's term is a table read plus a few board tests.
//
// Every term is written for White; a Black piece applies the mirror image
// (its ranks counted from rank 8) and its term is subtracted.
#include "eval/pieces.h"

#include <bit>
#include <initializer_list>

#include "board/position.h"
#include "board/rays.h"
#include "core/control.h"
#include "core/search_state.h"

namespace brevalt {


namespace {

// Base tables, rank 1 first; each is symmetric between the two halves of
// the board, so one base serves both colours.
constexpr uint8_t queen_base[64] = {
    0, 0, 0, 7, 7, 0, 0, 0,  0, 3, 3, 3, 3, 3, 3, 0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 3, 3, 3, 3, 3, 3, 0,  0, 0, 0, 7, 7, 0, 0, 0};
constexpr uint8_t rook_base[64] = {
    0, 1, 3, 5, 5, 3, 1, 0,  0, 2, 4, 6, 6, 4, 2, 0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 2, 4, 6, 6, 4, 2, 0,  0, 1, 3, 5, 5, 3, 1, 0};
constexpr uint8_t bishop_base[64] = {
    0, 0, 0, 1, 1, 0, 0, 0,  0, 5, 3, 3, 3, 3, 5, 0,  0, 4, 4, 3, 3, 4, 4, 0,  0, 5, 5, 7, 7, 5, 5, 0,
    0, 5, 5, 7, 7, 5, 5, 0,  0, 4, 4, 3, 3, 4, 4, 0,  0, 5, 3, 3, 3, 3, 5, 0,  0, 0, 0, 1, 1, 0, 0, 0};
constexpr uint8_t knight_base[64] = {
    0, 0, 1, 1, 1, 1, 0, 0,  0, 3, 3, 3, 3, 3, 3, 0,  0, 3, 5, 5, 5, 5, 3, 0,  0, 4, 5, 7, 7, 5, 4, 0,
    0, 4, 5, 7, 7, 5, 4, 0,  0, 3, 5, 5, 5, 5, 3, 0,  0, 3, 3, 3, 3, 3, 3, 0,  0, 0, 1, 1, 1, 1, 0, 0};

// Squares from which a bishop bears on a castled king's wing, by the
// bishop's colour and the wing of the enemy king (0 files e-h, 1 files a-d).
constexpr uint8_t wing_diagonals[2][2][64] = {
    {// White bishop, Black king on files e-h
     {0, 0, 0, 0, 0, 0, 0, 0,  1, 1, 1, 0, 0, 0, 0, 0,  0, 1, 1, 1, 0, 0, 0, 0,  0, 0, 1, 1, 1, 0, 0, 0,
      0, 0, 0, 1, 1, 1, 0, 1,  0, 0, 0, 0, 1, 1, 1, 1,  0, 0, 0, 0, 0, 1, 1, 1,  0, 0, 0, 0, 0, 0, 0, 0},
     // White bishop, Black king on files a-d
     {0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 1, 1, 1,  0, 0, 0, 0, 1, 1, 1, 0,  0, 0, 0, 1, 1, 1, 0, 0,
      1, 0, 1, 1, 1, 0, 0, 0,  1, 1, 1, 1, 0, 0, 0, 0,  1, 1, 1, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0}},
    {// Black bishop, White king on files e-h
     {0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 1, 1, 1,  0, 0, 0, 0, 1, 1, 1, 1,  0, 0, 0, 1, 1, 1, 0, 1,
      0, 0, 1, 1, 1, 0, 0, 0,  0, 1, 1, 1, 0, 0, 0, 0,  1, 1, 1, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0},
     // Black bishop, White king on files a-d
     {0, 0, 0, 0, 0, 0, 0, 0,  1, 1, 1, 0, 0, 0, 0, 0,  1, 1, 1, 1, 0, 0, 0, 0,  1, 0, 1, 1, 1, 0, 0, 0,
      0, 0, 0, 1, 1, 1, 0, 0,  0, 0, 0, 0, 1, 1, 1, 0,  0, 0, 0, 0, 0, 1, 1, 1,  0, 0, 0, 0, 0, 0, 0, 0}}};

// Mobility folded into the tables: below the lower count a piece earns no
// mobility, above the upper one no more.
constexpr int KNIGHT_MOBILITY_MIN = 2, KNIGHT_MOBILITY_MAX = 7;
constexpr int BISHOP_MOBILITY_MIN = 4, BISHOP_MOBILITY_MAX = 10;
constexpr int ROOK_MOBILITY_MIN = 4, ROOK_MOBILITY_MAX = 10;
constexpr int QUEEN_MOBILITY_MIN = 5, QUEEN_MOBILITY_MAX = 10;

// Tropism per piece: base minus a step times the Manhattan distance to
// the enemy king.
constexpr int QUEEN_TROPISM = 128, QUEEN_TROPISM_STEP = 8;
constexpr int ROOK_TROPISM = 80, ROOK_TROPISM_STEP = 5;
constexpr int MINOR_TROPISM = 64, MINOR_TROPISM_STEP = 4;

// Rooks: the seventh rank, and a rook with no free line to get out on.
constexpr int ROOK_ON_SEVENTH = 15;
constexpr int BOXED_ROOK = 10, BOXED_ROOK_BACK_RANK = 4;

// Bishops: undeveloped, developed, aiming at the king's wing, and blocking
// a centre pawn on the third rank.
constexpr int BISHOP_HOME_ENDGAME = 23, BISHOP_HOME = 13, BISHOP_OUT = 28;
constexpr int BISHOP_ON_KING_WING = 10;
constexpr int BISHOP_BLOCKS_CENTRE_PAWN = 11;

// Knights: a small charge, more at home in the middlegame; blocking a pawn.
constexpr int KNIGHT_CHARGE = 8, KNIGHT_HOME = 26;
constexpr int KNIGHT_BLOCKS_PAWN = 3;

// Outposts, holes, bad bishops and pawn chains.
constexpr int OUTPOST_CHALLENGED = 22, OUTPOST = 32;
constexpr int MINOR_ON_HOLE = 20;
constexpr int bad_bishop_table[8] = {0, 0, 10, 22, 45, 60, 70, 80};
constexpr int pawn_chain_table[8] = {0, 5, 10, 15, 20, 30, 35, 40};

// Rank distance plus file distance between two squares, looked up.
struct ManhattanTable {
  uint8_t d[64][64];
  constexpr ManhattanTable() : d{} {
    for (int a = 0; a < 64; ++a)
      for (int b = 0; b < 64; ++b) {
        const int dr = rank_of(a) - rank_of(b), df = file_of(a) - file_of(b);
        d[a][b] = static_cast<uint8_t>((dr < 0 ? -dr : dr) + (df < 0 ? -df : df));
      }
  }
};
constexpr ManhattanTable manhattan;

int distance(int a, int b) {
  if (static_cast<unsigned>(a) < 64 && static_cast<unsigned>(b) < 64) return manhattan.d[a][b];
  const int dr = rank_of(a) - rank_of(b), df = file_of(a) - file_of(b);
  return (dr < 0 ? -dr : dr) + (df < 0 ? -df : df);
}

// Empty squares reached along target lists, each line followed to its
// first occupied square.
int empty_squares(const uint8_t* targets) {
  int n = 0;
  for (const uint8_t* t = targets; *t != END_OF_LIST; ++t) {
    if (*t == RAY_BREAK) continue;
    if (pos.board[*t] != EMPTY) {
      while (t[1] != RAY_BREAK && t[1] != END_OF_LIST) ++t;
      continue;
    }
    ++n;
  }
  return n;
}

int clamp_mobility(int n, int low, int high) { return n < low ? 0 : n > high ? high : n; }

// The three squares next to a rook along each of its four ways, where
// the board has room for all three; a way too short for that has no mask.
struct FreeLineMasks {
  uint64_t way[64][4];
  constexpr FreeLineMasks() : way{} {
    constexpr int steps[4] = {-1, 1, -8, 8};
    for (int sq = 0; sq < 64; ++sq) {
      const int file = file_of(sq), rank = rank_of(sq);
      const bool room[4] = {file >= 3, file <= 4, rank >= 3, rank <= 4};
      for (int d = 0; d < 4; ++d)
        if (room[d])
          for (int i = 1; i <= 3; ++i) way[sq][d] |= uint64_t{1} << (sq + i * steps[d]);
    }
  }
};
constexpr FreeLineMasks free_line_masks;

// A rook with a free line of three squares along its rank or file.
bool rook_has_free_line(int sq, uint64_t occupied) {
  for (const uint64_t way : free_line_masks.way[sq])
    if (way != 0 && (way & occupied) == 0) return true;
  return false;
}

// A minor piece in the enemy half, off the edge files, backed by a pawn
// diagonally behind it: remembered as one of the side's last two outposts.
void note_outpost(SideCounts& c, int sq, int view_rank, int back, int own_pawn) {
  const int file = file_of(sq);
  if (view_rank < 4 || view_rank > 6 || file < 1 || file > 6) return;
  if (pos.board[sq + back + 1] != own_pawn && pos.board[sq + back - 1] != own_pawn) return;
  c.outpost[0] = c.outpost[1];
  c.outpost[1] = sq + 1;
}

int table_bounded(int n, const int (&table)[8]) { return n >= 0 && n < 8 ? table[n] : 0; }

}  // namespace

uint64_t file_major(uint64_t x) {
  constexpr uint64_t k1 = 0x5500550055005500, k2 = 0x3333000033330000, k4 = 0x0f0f0f0f00000000;
  uint64_t t = k4 & (x ^ (x << 28));
  x ^= t ^ (t >> 28);
  t = k2 & (x ^ (x << 14));
  x ^= t ^ (t >> 14);
  t = k1 & (x ^ (x << 7));
  x ^= t ^ (t >> 7);
  return x;
}

void build_piece_tables(int code) {
  const int type = type_of(code);
  const int colour = colour_of(code) ? 1 : 0;
  uint8_t* table;
  const uint8_t* base;
  switch (type) {
    case QUEEN: table = eval_cache.queen_table[colour]; base = queen_base; break;
    case ROOK: table = eval_cache.rook_table[colour]; base = rook_base; break;
    case BISHOP: table = eval_cache.bishop_table[colour]; base = bishop_base; break;
    case KNIGHT: table = eval_cache.knight_table[colour]; base = knight_base; break;
    default: return;
  }
  for (int s = 0; s < 64; ++s) {
    table[s] = base[s];
    int n;
    switch (type) {
      case KNIGHT: n = empty_squares(knight_targets[s]); break;
      case BISHOP: n = empty_squares(bishop_rays[s]); break;
      case ROOK: n = empty_squares(rook_rays[s]); break;
      default: n = empty_squares(rook_rays[s]) + empty_squares(bishop_rays[s]); break;
    }
    if (n == 0) continue;
    const int r = rank_of(s);
    int add;
    switch (type) {
      case KNIGHT: {
        const int m = clamp_mobility(n, KNIGHT_MOBILITY_MIN, KNIGHT_MOBILITY_MAX);
        add = colour == 0 ? (r + m) / 2 : (m + 7 - r) / 2;
        break;
      }
      case BISHOP: {
        const int m = clamp_mobility(n, BISHOP_MOBILITY_MIN, BISHOP_MOBILITY_MAX);
        add = colour == 0 ? (r + m) / 2 : (m + 7 - r) / 2;
        break;
      }
      case ROOK: add = clamp_mobility(n, ROOK_MOBILITY_MIN, ROOK_MOBILITY_MAX) / 2; break;
      default: add = clamp_mobility(n, QUEEN_MOBILITY_MIN, QUEEN_MOBILITY_MAX) / 2; break;
    }
    table[s] = static_cast<uint8_t>(table[s] + add);
  }
}

namespace {

// The terms of one colour's pieces in `visit`, in that side's own view.
// Each colour has its own loop so that the side is a constant in it: the
// colours alternate unpredictably in board order, and everything a piece
// changes belongs to its own side's counts, so taking the colours one
// after the other gives the same counts and the same sum.
template <int side>
int side_piece_terms(EvalCounts& ec, uint64_t visit, uint64_t occupied) {
  const bool endgame = ec.endgame_mode != 0;
  SideCounts& c = side ? ec.black : ec.white;
  // The view of the piece's own side: rank 0 is its first rank, and
  // "behind" (toward its first rank) is `back` squares away.
  constexpr int back = side ? 8 : -8;
  constexpr int own_pawn = side ? PAWN + BLACK : PAWN;
  const int enemy_king = pos.king_square(!side);
  const int enemy_king_rank = side ? 7 - rank_of(enemy_king) : rank_of(enemy_king);
  const int enemy_queenside = file_of(enemy_king) < 4 ? 1 : 0;
  // The distances to the enemy king, one table row for the whole loop.
  const bool king_on_board = static_cast<unsigned>(enemy_king) < 64;
  const uint8_t* king_distance = manhattan.d[king_on_board ? enemy_king : 0];
  int s = 0;
  for (; visit != 0; visit &= visit - 1) {
    const int index = std::countr_zero(visit);
    const int file = index >> 3, rank = index & 7;
    const int sq = rank * 8 + file;
    const int r = side ? 7 - rank : rank;
    const int d = king_on_board ? king_distance[sq] : distance(sq, enemy_king);
    int term = 0;
    switch (type_of(pos.board[sq])) {
      case QUEEN:
        if (c.king_settled) term += eval_cache.queen_table[side][sq];
        if (!endgame) c.tropism += QUEEN_TROPISM - QUEEN_TROPISM_STEP * d;
        c.attack_units += 2;
        c.queen_square = sq + 1;
        break;
      case ROOK:
        if (!endgame) c.tropism += ROOK_TROPISM - ROOK_TROPISM_STEP * d;
        term += eval_cache.rook_table[side][sq];
        if (r >= 4) ++c.advanced;
        if (r == 6 && (!endgame || enemy_king_rank > 4)) term += ROOK_ON_SEVENTH;
        if (!rook_has_free_line(sq, occupied)) term -= r == 0 ? BOXED_ROOK_BACK_RANK : BOXED_ROOK;
        // The first rook's file, then the latest one found after it: a
        // third rook of a colour takes the second's place.
        c.rook_file[c.rooks == 0 ? 0 : 1] = file + 1;
        ++c.rooks;
        ++c.attack_units;
        break;
      case BISHOP: {
        ++c.minors;
        if (c.bishops < 2) c.bishop_colour[c.bishops] = square_colour[sq];
        ++c.bishops;
        if (r == 0) {
          if (endgame) {
            term += BISHOP_HOME_ENDGAME;
          } else {
            term += BISHOP_HOME;
            c.minors_developed = 0;
          }
        } else {
          term += BISHOP_OUT;
        }
        term += eval_cache.bishop_table[side][sq];
        if (r >= 4) ++c.advanced;
        if (!endgame) {
          if (wing_diagonals[side][enemy_queenside][sq]) term += BISHOP_ON_KING_WING;
          c.tropism += MINOR_TROPISM - MINOR_TROPISM_STEP * d;
        }
        if (r == 2 && (file == 3 || file == 4) && pos.board[sq + back] == own_pawn) term -= BISHOP_BLOCKS_CENTRE_PAWN;
        note_outpost(c, sq, r, back, own_pawn);
        ++c.attack_units;
        break;
      }
      case KNIGHT:
        ++c.minors;
        c.knight = 1;
        if (r == 0 && !endgame) {
          term -= KNIGHT_HOME;
          c.minors_developed = 0;
        } else {
          term -= KNIGHT_CHARGE;
        }
        if (r >= 4) ++c.advanced;
        term += eval_cache.knight_table[side][sq];
        if (!endgame) c.tropism += MINOR_TROPISM - MINOR_TROPISM_STEP * d;
        if (r >= 2 && pos.board[sq + back] == own_pawn) term -= KNIGHT_BLOCKS_PAWN;
        note_outpost(c, sq, r, back, own_pawn);
        ++c.attack_units;
        break;
      default:
        continue;
    }
    ++ec.pieces;
    s += term;
  }
  return s;
}

}  // namespace

int piece_terms(EvalCounts& ec, uint64_t visit, uint64_t occupied) {
  const uint64_t black = file_major(black_squares());
  return side_piece_terms<0>(ec, visit & ~black, occupied) - side_piece_terms<1>(ec, visit & black, occupied);
}

int outpost_term(const EvalCounts& ec, const PawnData& pd) {
  int s = 0;
  for (int side = 0; side < 2; ++side) {
    const SideCounts& own = side ? ec.black : ec.white;
    const SideCounts& enemy = side ? ec.white : ec.black;
    const int enemy_side = side ^ 1;
    for (int outpost : own.outpost) {
      if (outpost == 0) continue;
      const int q = outpost - 1, f = file_of(q) + 1, rank = rank_of(q);
      // No enemy pawn on a neighbouring file can ever come up to drive it off.
      bool safe = true;
      for (int n : {f - 1, f + 1}) {
        if (pd.count[enemy_side][n] == 0) continue;
        const int adv = pd.adv[enemy_side][n];
        if (side == 0 ? adv > rank : adv < rank) safe = false;
      }
      if (!safe) continue;
      const int colour = square_colour[q];
      const bool challenged = enemy.knight || (enemy.bishops > 0 && enemy.bishop_colour[0] == colour) ||
                              (enemy.bishops > 1 && enemy.bishop_colour[1] == colour);
      const int value = challenged ? OUTPOST_CHALLENGED : OUTPOST;
      s += side ? -value : value;
    }
  }
  return s;
}

int hole_term(const PawnData& pd) {
  int s = 0;
  auto minor = [](int code, int colour) {
    return colour_of(code) == colour && (type_of(code) == BISHOP || type_of(code) == KNIGHT);
  };
  if (pd.hole[0] != 0 && minor(pos.board[pd.hole[0]], BLACK)) s -= MINOR_ON_HOLE;
  if (pd.hole[1] != 0 && minor(pos.board[pd.hole[1]], 0)) s += MINOR_ON_HOLE;
  return s;
}

int bishop_colour_term(const EvalCounts& ec, const PawnData& pd) {
  int s = 0;
  if (ec.endgame_mode) {
    for (int side = 0; side < 2; ++side) {
      const SideCounts& c = side ? ec.black : ec.white;
      int charge = 0;
      for (int b = 0; b < 2 && b < c.bishops; ++b) {
        const int colour = c.bishop_colour[b];
        if (colour < 1 || colour > 2) continue;
        const int value = table_bounded(pd.fixed[side][colour - 1], bad_bishop_table);
        charge += b == 0 ? value : value >> 1;
      }
      s += side ? charge : -charge;
    }
  } else if (control.engine_side == 1) {
    s -= table_bounded(pd.fixed[1][0] + pd.fixed[1][1], pawn_chain_table);
  } else {
    s += table_bounded(pd.fixed[0][0] + pd.fixed[0][1], pawn_chain_table);
  }
  return s;
}

}  // namespace brevalt

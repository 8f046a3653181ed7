// Pawn structure and its cache. The scan and the per-file loop run only
// when the cache misses; the passed-pawn terms that depend on the kings,
// the pieces and the side to move run at every evaluation.
//
// Black's part of every rule is White's seen from the other side of the
// board: the per-file loop and the passer terms work on a side's "view",
// in which ranks count from that side's own first rank.
#include "eval/pawns.h"

#include <bit>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/position.h"
#include "core/control.h"
#include "core/search_state.h"

namespace brevalt {


const int pawn_advance_table[8] = {0, 0, 0, 7, 14, 21, 28, 35};

namespace {

// Key twists: the same pawns score differently in an ending and with a
// king settled, so these states address different entries.
constexpr uint32_t ENDGAME_KEY_LO = 0xFA0296D1u, ENDGAME_KEY_HI = 0xA27683B6u;
constexpr uint32_t WHITE_SETTLED_KEY_LO = 0x56781FA4u, WHITE_SETTLED_KEY_HI = 0xCF817DB1u;
constexpr uint32_t BLACK_SETTLED_KEY_LO = 0x2051DE44u, BLACK_SETTLED_KEY_HI = 0x88CD0911u;

// Pawn file term: centre pawns are worth more than wing pawns in the
// middlegame; in the ending a pawn its own king stands beside or in front of
// is a pawn that king is not escorting.
constexpr int pawn_file_value[8] = {-7, -6, -3, 6, 6, -3, -6, -7};
constexpr int PAWN_BEHIND_KING = 8;

// Pawns that storm the enemy king's wing add to their side's tropism.
constexpr int STORM_PAWN_RANK = 5;
constexpr int STORM_PAWN_TROPISM = 10;

// Structure penalties and bonuses.
constexpr int DOUBLED = 30;
constexpr int ISOLATED_DOUBLED = 28, ISOLATED = 34;
constexpr int BACKWARD = 24;
constexpr int OVEREXTENDED = 12, OVEREXTENDED_GAP = 3;
constexpr int WEAK = 8;
constexpr int DUO = 2;

// Passed pawns: a flat bonus far back, then by rank; how much of it counts
// depends on whether pieces are left and who is ahead.
constexpr int PASSER_BACK_RANK_BONUS = 30;
constexpr int passer_rank_value[4] = {16, 32, 64, 90};  // rank index 3..6
constexpr int PASSER_WITH_PIECES = 40;
constexpr int PASSER_BEHIND_MATERIAL = -150;
constexpr int CONNECTED_CLOSE = 25;
constexpr int CONNECTED_BEHIND_MATERIAL = -149;
constexpr int CONNECTED_BEHIND_STEP = 9;
constexpr int CONNECTED_BASE = 32, CONNECTED_PER_UNIT = 4;

// Shelter in front of a settled king, and the wing pawns of a king that has
// not moved yet.
constexpr int SHELTER_MISSING_NEAR = 10, SHELTER_MISSING_FAR = 38, SHELTER_FURTHER_MISSING = 12;
constexpr int SHELTER_ADVANCED_NEAR = 10, SHELTER_ADVANCED_FAR = 28;
constexpr int SHELTER_HALF_OPEN = 8;
constexpr int UNMOVED_KING_WING_PAWN = 17;

// Passed-pawn terms of every evaluation.
constexpr int ROOK_FILE_PASSER = 20;
constexpr int KING_ESCORT = 90;
constexpr int PAWN_RACE = 80;
constexpr int SQUARE_RULE_ONE_PIECE = 60;
constexpr int UNSTOPPABLE_BASE = 200, UNSTOPPABLE_PER_RANK = 25;
constexpr int ROOK_ENDING_BASE = 16;
constexpr int SIXTH_RANK_SUPPORTED = 25, SIXTH_RANK_FREE = 50;
constexpr int NO_PASSERS_FEWER_PAWNS_WITH_PIECES = 420, NO_PASSERS_FEWER_PAWNS = 120;

// Promotion square values.
constexpr int PROMOTION_FREE = 200;
constexpr int NO_DEFENDER = 10000;

// One side's pawn files seen from its own first rank: a rank r of the view
// is rank r for White and 7 - r for Black.
struct SideView {
  int own_count[10], own_adv[10];  // own most advanced pawn, 0 for none
  int opp_count[10], opp_adv[10];  // opponent's most advanced, 9 for none
  int opp_second[10];              // opponent's second pawn, 0 for none
};

void make_view(const PawnData& pd, int side, SideView& v) {
  const int opp = side ^ 1;
  for (int f = 0; f < 10; ++f) {
    v.own_count[f] = pd.count[side][f];
    v.opp_count[f] = pd.count[opp][f];
    if (side == 0) {
      v.own_adv[f] = pd.adv[0][f];
      v.opp_adv[f] = pd.count[1][f] ? pd.adv[1][f] : 9;
      v.opp_second[f] = pd.black_second[f];
    } else {
      v.own_adv[f] = pd.count[1][f] ? 7 - pd.adv[1][f] : 0;
      v.opp_adv[f] = pd.count[0][f] ? 7 - pd.adv[0][f] : 9;
      v.opp_second[f] = pd.white_rear[f] <= 7 ? 7 - pd.white_rear[f] : 0;
    }
  }
}

// Real square of a view rank and 1-based file.
int view_square(int side, int rank, int f) { return (side ? 7 - rank : rank) * 8 + f - 1; }

int abs_value(int x) { return x < 0 ? -x : x; }

// Step 3 of the per-file loop: the files in front of a king. Returns the
// penalty (a positive number) of file f for `side`.
int shelter_penalty(const SideView& v, const EvalCounts& ec, int side, int f, int& missing) {
  const SideCounts& own = side ? ec.black : ec.white;
  const int king = pos.king_square(side);
  const int enemy_king = pos.king_square(!side);
  int penalty = 0;
  if (own.king_settled) {
    const bool king_side = file_of(king) >= 4;
    const bool shelter_file = king_side ? f >= 6 : f <= 3;
    if (!shelter_file) return 0;
    const bool near = f == 6 || f == 3;
    if (v.own_count[f] == 0) {
      penalty += near ? SHELTER_MISSING_NEAR : SHELTER_MISSING_FAR;
      if (missing++ > 0) penalty += SHELTER_FURTHER_MISSING;
    } else if (v.own_adv[f] > 2) {
      penalty += near ? SHELTER_ADVANCED_NEAR : SHELTER_ADVANCED_FAR;
    }
    const bool enemy_other_wing = (file_of(enemy_king) >= 4) != king_side;
    const bool half_open_file = king_side ? f >= 6 : f <= 2;
    if (v.opp_count[f] == 0 && enemy_other_wing && half_open_file) penalty += SHELTER_HALF_OPEN;
  } else {
    const int king_moves = side ? pos.state_top->black_king_moves : pos.state_top->white_king_moves;
    if (king_moves == 0 && (f <= 2 || f >= 7) && v.own_adv[f] > 2) penalty += UNMOVED_KING_WING_PAWN;
  }
  return penalty;
}

// The per-file loop for one side; returns its contribution to P in that
// side's favour and fills its passer list, hole and fixed-pawn counts.
int pawn_files_of_side(PawnData& pd, const EvalCounts& ec, const AdvanceWindows& w, int side) {
  SideView v;
  make_view(pd, side, v);
  const SideCounts& own = side ? ec.black : ec.white;
  const int own_material = side ? -pos.material : pos.material;
  const bool endgame = ec.endgame_mode != 0;
  const bool shelter = !endgame && !own.safe;
  int p = 0;
  int missing_shelter = 0;
  bool previous_passer = false;
  pd.passers[side] = 0;
  pd.hole[side] = 0;
  pd.fixed[side][0] = pd.fixed[side][1] = 0;
  for (int f = 1; f <= 8; ++f) {
    const int k = v.own_count[f], r = v.own_adv[f];
    const int left = v.own_adv[f - 1], right = v.own_adv[f + 1];
    const bool has_left = v.own_count[f - 1] > 0, has_right = v.own_count[f + 1] > 0;
    bool passer_here = false;
    // Step 1. Doubled.
    if (k > 1) p -= DOUBLED;
    // Step 2. The most advanced pawn of the file.
    if (k > 0) {
      if (!has_left && !has_right) {
        p -= k > 1 ? ISOLATED_DOUBLED : ISOLATED;
      } else if (!endgame && f >= 2 && f <= 7 && k == 1) {
        const bool backward =
            (r < left && v.opp_adv[f - 1] == left + 1 && (r < right || !has_right)) ||
            (r < right && v.opp_adv[f + 1] == right + 1 && (r < left || !has_left));
        if (backward) {
          p -= BACKWARD;
          if (r < 7) pd.hole[side] = view_square(side, r + 1, f);
        }
        if (left + OVEREXTENDED_GAP <= r && right + OVEREXTENDED_GAP <= r) p -= OVEREXTENDED;
        if (f >= 3 && f <= 6 && ((r < left && v.opp_count[f - 1] > 0) || !has_left) &&
            ((r < right && v.opp_count[f + 1] > 0) || !has_right))
          p -= WEAK;
      }
      if (has_left && abs_value(left - r) < 2) p += DUO;
      if (has_right && abs_value(right - r) < 2) p += DUO;
      // Fixed pawns: blocked head-on in the ending, links of a chain in
      // the middlegame (the file bound comes before the look two files back).
      const int colour = square_colour[view_square(side, r, f)] - 1;
      if (endgame) {
        if (v.opp_count[f] > 0 && v.opp_adv[f] == r + 1) ++pd.fixed[side][colour];
      } else if (f > 2 && has_left && v.own_count[f - 2] > 0 && abs_value(r - left) == 1 &&
                 abs_value(left - v.own_adv[f - 2]) == 1) {
        ++pd.fixed[side][colour];
      }
      // Passed.
      const bool passed = (v.opp_count[f] == 0 || v.opp_adv[f] < r) &&
                          (v.opp_count[f - 1] == 0 || v.opp_adv[f - 1] <= r) &&
                          (v.opp_count[f + 1] == 0 || v.opp_adv[f + 1] <= r) &&
                          v.opp_second[f - 1] <= r && v.opp_second[f + 1] <= r;
      if (passed) {
        if (r < 3) {
          p += PASSER_BACK_RANK_BONUS;
        } else {
          const int value = passer_rank_value[r > 6 ? 3 : r - 3];
          if (own.attack_units == 0) p += value / 2;
          else if (own_material < PASSER_BEHIND_MATERIAL) p += value;
          else p += PASSER_WITH_PIECES + value;
        }
        if (previous_passer) {
          if (abs_value(r - left) < 2) p += CONNECTED_CLOSE;
          const int middle = (left + r) >> 1;
          if (own_material < CONNECTED_BEHIND_MATERIAL) p += CONNECTED_BEHIND_STEP * middle;
          else p += (CONNECTED_BASE - CONNECTED_PER_UNIT * own.attack_units) * middle;
        }
        if (pd.passers[side] < 8) pd.passer_files[side][pd.passers[side]++] = static_cast<uint8_t>(f);
        passer_here = true;
      }
      // Advance toward the window the king leaves open.
      if (w.low[side] < f && f < w.high[side]) p += pawn_advance_table[r & 7];
    }
    previous_passer = passer_here;
    // Step 3. Shelter.
    if (shelter) p -= shelter_penalty(v, ec, side, f, missing_shelter);
  }
  return p;
}

// Pieces of `side` that bear on the promotion square q, and the cheapest
// enemy defender. The promoting pawn's own square never blocks a line.
struct SquareControl {
  int count[2];
  int cheapest[2];
};

void bear_on(SquareControl& c, int code, int value) {
  const int side = colour_of(code) ? 1 : 0;
  ++c.count[side];
  if (value < c.cheapest[side]) c.cheapest[side] = value;
}

}  // namespace

int promotion_square_value(int pawn_sq, int q, int side) {
  SquareControl c{{0, 0}, {NO_DEFENDER, NO_DEFENDER}};
  const int own_code_colour = side ? BLACK : 0;
  const bool enemy_on_q = pos.board[q] != EMPTY && colour_of(pos.board[q]) != own_code_colour;
  // Rook lines: rooks and queens, a king next to q.
  for (const uint8_t* t = rook_rays[q]; *t != END_OF_LIST; ++t) {
    int distance = 1;
    for (; *t != RAY_BREAK && *t != END_OF_LIST; ++t, ++distance) {
      const int sq = *t;
      if (sq == pawn_sq || pos.board[sq] == EMPTY) continue;
      const int code = pos.board[sq], type = type_of(code);
      const bool own = colour_of(code) == own_code_colour;
      const bool on_file = file_of(sq) == file_of(q);
      if (type == ROOK || type == QUEEN) {
        if (!(own && on_file && enemy_on_q)) bear_on(c, code, piece_value[type]);
      } else if (type == KING && distance == 1) {
        bear_on(c, code, piece_value[type]);
      }
      break;
    }
    while (*t != RAY_BREAK && *t != END_OF_LIST) ++t;
    if (*t == END_OF_LIST) break;
  }
  // Bishop lines: bishops and queens, a king next to q, a pawn guarding q.
  for (const uint8_t* t = bishop_rays[q]; *t != END_OF_LIST; ++t) {
    int distance = 1;
    for (; *t != RAY_BREAK && *t != END_OF_LIST; ++t, ++distance) {
      const int sq = *t;
      if (sq == pawn_sq || pos.board[sq] == EMPTY) continue;
      const int code = pos.board[sq], type = type_of(code);
      if (type == BISHOP || type == QUEEN) {
        bear_on(c, code, piece_value[type]);
      } else if (distance == 1 && type == KING) {
        bear_on(c, code, piece_value[type]);
      } else if (distance == 1 && type == PAWN) {
        // A pawn guards the squares diagonally in front of it.
        const bool white = colour_of(code) == 0;
        if (white ? rank_of(sq) < rank_of(q) : rank_of(sq) > rank_of(q)) bear_on(c, code, piece_value[type]);
      }
      break;
    }
    while (*t != RAY_BREAK && *t != END_OF_LIST) ++t;
    if (*t == END_OF_LIST) break;
  }
  for (const uint8_t* t = knight_targets[q]; *t != END_OF_LIST; ++t) {
    if (*t == RAY_BREAK) continue;
    if (type_of(pos.board[*t]) == KNIGHT) bear_on(c, pos.board[*t], piece_value[KNIGHT]);
  }
  const int own_count = c.count[side], enemy_count = c.count[side ^ 1];
  const int r = own_count > enemy_count ? 1 : own_count < enemy_count ? -1 : 0;
  const int o = c.cheapest[side ^ 1];
  const bool blocked = enemy_on_q;
  const bool wins = r > 0 || (r == 0 && !blocked);
  if (o == piece_value[KING]) return wins ? PROMOTION_FREE : 0;
  if (o == NO_DEFENDER) return (!blocked || r > 0) ? PROMOTION_FREE : 0;
  return wins ? o - PROMOTION_FREE : 0;
}

namespace {

// The side whose pawns run toward rank 8 of its view is `side`; the
// defender is to move when the engine's opponent moves at odd plies.
bool defender_to_move(int side) {
  const bool odd = (pos.ply & 1) != 0;
  const bool black_to_move = (odd && control.engine_side == 1) || (!odd && control.engine_side == -1);
  return side == 0 ? black_to_move : !black_to_move;
}

// Inside the square of a pawn on file g (1-based) and view rank a: the
// defending king can still catch it.
bool inside_square(int g, int a, int king_file, int king_view_rank, bool defender_moves) {
  int low = g + a - 8, high = g - a + 6, rank = a;
  if (low < 0) low = 0;
  if (defender_moves) {
    --low;
    ++high;
    --rank;
  }
  return king_file >= low && king_file <= high && king_view_rank >= rank;
}

// The terms of one side's passers, added to s in that side's favour.
PasserResult passers_of_side(const PawnData& pd, const EvalCounts& ec, int side, int& s) {
  const SideCounts& own = side ? ec.black : ec.white;
  const SideCounts& enemy = side ? ec.white : ec.black;
  const int own_king = pos.king_square(side);
  const int enemy_king = pos.king_square(!side);
  const int own_king_rank = side ? 7 - rank_of(own_king) : rank_of(own_king);
  const int enemy_king_rank = side ? 7 - rank_of(enemy_king) : rank_of(enemy_king);
  const bool defender_moves = defender_to_move(side);
  bool race_counted = false;
  int add = 0;
  for (int i = 0; i < pd.passers[side] && i < 8; ++i) {
    const int g = pd.passer_files[side][i];
    if (g < 1 || g > 8) continue;
    const int a = side ? 7 - pd.adv[1][g] : pd.adv[0][g];
    if (a < 1 || a > 6) continue;
    const int sq = view_square(side, a, g);
    const int pawn_file = g - 1;
    const bool rook_pawn = g == 1 || g == 8;
    // A lone rook pawn (or two on one file) whose queening square the
    // wrong bishop cannot cover.
    const bool lone_rook_pawn = rook_pawn && (pd.total == 1 || (pd.total == 2 && pd.count[side][g] == 2));
    const int promotion_sq = view_square(side, 7, g);
    const bool wrong_bishop = own.bishops > 0 && own.bishop_colour[0] != square_colour[promotion_sq];
    const int enemy_king_files = abs_value(file_of(enemy_king) - pawn_file);
    // Step 1. A passer on the edge is harder to stop with the king.
    if (rook_pawn) add += ROOK_FILE_PASSER;
    bool square_test = true;
    // Step 2. No enemy pieces: the kings decide.
    if (enemy.attack_units == 0) {
      if (!(abs_value(file_of(own_king) - pawn_file) <= 1 && own_king_rank > a + 1)) add -= KING_ESCORT;
      if (!(enemy_king_files <= 1 && (enemy_king_rank == a + 1 || enemy_king_rank == a + 2))) add += KING_ESCORT;
      if (lone_rook_pawn) {
        if (ec.pieces == 0 && enemy_king_rank >= a && enemy_king_files <= 1) return PasserResult::draw;
        if (ec.pieces == 1 && wrong_bishop && enemy_king_files <= 2 &&
            inside_square(g, a, file_of(enemy_king), enemy_king_rank, defender_moves))
          return PasserResult::draw;
      }
      if (!race_counted && pd.passers[side ^ 1] == 0 && own.attack_units == 0 &&
          pd.high_file[side] - pd.low_file[side] > 2) {
        for (int n : {g - 1, g + 1}) {
          if (pd.count[side][n] == 0) continue;
          const int neighbour = side ? 7 - pd.adv[1][n] : pd.adv[0][n];
          if (abs_value(neighbour - a) <= 1) {
            add += PAWN_RACE;
            race_counted = true;
            break;
          }
        }
      }
    } else if (enemy.attack_units > 1) {
      square_test = false;
    }
    if (square_test) {
      // Step 3. The square of the pawn.
      if (!inside_square(g, a, file_of(enemy_king), enemy_king_rank, defender_moves))
        add += enemy.attack_units == 1 ? SQUARE_RULE_ONE_PIECE : UNSTOPPABLE_BASE + UNSTOPPABLE_PER_RANK * a;
      // Step 4. Rook endings with one pawn; the wrong bishop against a knight.
      if (pd.total == 1 && own.rooks > 0 && enemy.rooks > 0)
        add += 3 * enemy_king_files + 2 * (own_king_rank - abs_value(file_of(own_king) - pawn_file)) +
               ROOK_ENDING_BASE;
      if (lone_rook_pawn && ec.pieces == 2 && wrong_bishop && own.minors == 1 && enemy.knight &&
          enemy_king_rank >= a && enemy_king_files <= 1)
        return PasserResult::draw;
    }
    // Steps 5 and 6. Far advanced passers, unless the defender to move
    // simply wins the pawn.
    if (search_path.nominal_depth > 3 && (a == 6 || a == 5) && !(defender_moves && exchange_loss(sq) != 0)) {
      if (a == 6) {
        const int value = promotion_square_value(sq, promotion_sq, side);
        if (value > 0) add += value;
      } else {
        const int in_front = side ? sq - 8 : sq + 8;
        if (pos.board[in_front] != EMPTY && colour_of(pos.board[in_front]) == (side ? BLACK : 0)) add += SIXTH_RANK_SUPPORTED;
        else if (pos.board[in_front] == EMPTY && safe_after_move(sq, in_front)) add += SIXTH_RANK_FREE;
      }
    }
  }
  // A side without passers or pieces and with fewer pawns loses the ending.
  if (pd.passers[side] == 0 && own.attack_units == 0 && ec.endgame_mode && pd.pawns[side] < pd.pawns[side ^ 1])
    add -= enemy.attack_units ? NO_PASSERS_FEWER_PAWNS_WITH_PIECES : NO_PASSERS_FEWER_PAWNS;
  s += side ? -add : add;
  return PasserResult::score;
}

}  // namespace

void clear_pawn_hash() {
  if (eval_cache.pawn_hash) std::memset(eval_cache.pawn_hash, 0, sizeof(PawnHashEntry) * PAWN_HASH_ENTRIES);
  ++eval_cache.pawn_hash_clears;
}

uint64_t pawn_hash_key(const EvalCounts& ec) {
  uint32_t lo = pos.pawn_lo ^ zobrist[KING][pos.white_king_sq() & 63].lo ^ zobrist[KING + BLACK][pos.black_king_sq() & 63].lo;
  uint32_t hi = pos.pawn_hi ^ zobrist[KING][pos.white_king_sq() & 63].hi ^ zobrist[KING + BLACK][pos.black_king_sq() & 63].hi;
  if (ec.endgame_mode) {
    lo ^= ENDGAME_KEY_LO;
    hi ^= ENDGAME_KEY_HI;
  }
  if (ec.white.king_settled) {
    lo ^= WHITE_SETTLED_KEY_LO;
    hi ^= WHITE_SETTLED_KEY_HI;
  }
  if (ec.black.king_settled) {
    lo ^= BLACK_SETTLED_KEY_LO;
    hi ^= BLACK_SETTLED_KEY_HI;
  }
  // The material on the board, so that the same pawns with other pieces
  // (whose counts the stored score depends on) address another entry.
  const int64_t m = static_cast<int64_t>(pos.white_piece_count) + pos.black_piece_count - search_path.capture_count +
                    search_path.opponent_material + pos.material;
  return ((static_cast<uint64_t>(hi) << 32) | lo) + static_cast<uint64_t>(m);
}

bool pawn_hash_hit(const PawnHashEntry& e, uint64_t key) {
  return e.key_lo == static_cast<uint32_t>(key) && e.key_hi == static_cast<uint32_t>(key >> 32) &&
         e.generation == search_path.search_id;
}

void clear_pawn_data(PawnData& pd) {
  std::memset(&pd, 0, sizeof(pd));
  for (int f = 0; f < 10; ++f) {
    pd.adv[1][f] = 9;
    pd.white_rear[f] = 9;
  }
  pd.low_file[0] = pd.low_file[1] = 9;
  pd.high_file[0] = pd.high_file[1] = -1;
}

void scan_pawns(PawnData& pd, const EvalCounts& ec, uint64_t visit) {
  const bool endgame = ec.endgame_mode != 0;
  uint8_t first_white[10];
  std::memset(first_white, 9, sizeof(first_white));
  const bool black_king_queenside = file_of(pos.black_king_sq()) < 4;
  const bool white_king_queenside = file_of(pos.white_king_sq()) < 4;
  for (; visit != 0; visit &= visit - 1) {
    const int index = std::countr_zero(visit);
    const int file = index >> 3, rank = index & 7, f = file + 1;
    const int side = colour_of(pos.board[rank * 8 + file]) ? 1 : 0;
    ++pd.count[side][f];
    ++pd.pawns[side];
    ++pd.total;
    if (side == 0) {
      if (pd.count[0][f] == 1) first_white[f] = static_cast<uint8_t>(rank);
      pd.adv[0][f] = static_cast<uint8_t>(rank);  // met from rank 1 up: the last is the highest
    } else {
      if (pd.count[1][f] == 1) pd.adv[1][f] = static_cast<uint8_t>(rank);
      else if (pd.count[1][f] == 2) pd.black_second[f] = static_cast<uint8_t>(rank);
    }
    if (endgame) {
      if (file < pd.low_file[side]) pd.low_file[side] = file;
      if (file > pd.high_file[side]) pd.high_file[side] = file;
      const int king_rank = rank_of(pos.king_square(side));
      if (side == 0 && king_rank <= rank) pd.pawn_file_term -= PAWN_BEHIND_KING;
      if (side == 1 && king_rank >= rank) pd.pawn_file_term += PAWN_BEHIND_KING;
    } else {
      pd.pawn_file_term += side ? -pawn_file_value[file] : pawn_file_value[file];
      if (side == 0 && rank >= STORM_PAWN_RANK && (file < 4) == black_king_queenside)
        pd.tropism[0] += STORM_PAWN_TROPISM;
      if (side == 1 && rank <= 7 - STORM_PAWN_RANK && (file < 4) == white_king_queenside)
        pd.tropism[1] += STORM_PAWN_TROPISM;
    }
  }
  for (int f = 1; f <= 8; ++f)
    if (pd.count[0][f] >= 2) pd.white_rear[f] = first_white[f];
}

void evaluate_pawn_files(PawnData& pd, const EvalCounts& ec, const AdvanceWindows& windows) {
  pd.score = pawn_files_of_side(pd, ec, windows, 0) - pawn_files_of_side(pd, ec, windows, 1);
}

void store_pawn_entry(PawnHashEntry& e, uint64_t key, const PawnData& pd) {
  e.key_lo = static_cast<uint32_t>(key);
  e.key_hi = static_cast<uint32_t>(key >> 32);
  for (int f = 0; f < 10; ++f) {
    e.file_data[2 * f] = pd.count[0][f];
    e.file_data[2 * f + 1] = pd.adv[0][f];
    e.file_data[20 + 2 * f] = pd.count[1][f];
    e.file_data[20 + 2 * f + 1] = pd.adv[1][f];
  }
  e.pawn_score = static_cast<int16_t>(pd.score);
  e.pawn_file_term = static_cast<int16_t>(pd.pawn_file_term);
  e.pawns_total = static_cast<uint8_t>(pd.total);
  e.pawns_white = static_cast<uint8_t>(pd.pawns[0]);
  e.pawns_black = static_cast<uint8_t>(pd.pawns[1]);
  e.white_low_file = static_cast<int8_t>(pd.low_file[0]);
  e.white_high_file = static_cast<int8_t>(pd.high_file[0]);
  e.black_low_file = static_cast<int8_t>(pd.low_file[1]);
  e.black_high_file = static_cast<int8_t>(pd.high_file[1]);
  e.generation = search_path.search_id;
  e.white_passers = static_cast<uint8_t>(pd.passers[0]);
  e.black_passers = static_cast<uint8_t>(pd.passers[1]);
  e.white_hole = static_cast<uint8_t>(pd.hole[0]);
  e.black_hole = static_cast<uint8_t>(pd.hole[1]);
  for (int c = 0; c < 2; ++c) {
    e.white_fixed[c] = static_cast<uint8_t>(pd.fixed[0][c]);
    e.black_fixed[c] = static_cast<uint8_t>(pd.fixed[1][c]);
    e.pawn_tropism[c] = static_cast<uint8_t>(pd.tropism[c]);
  }
  std::memcpy(e.passer_files, pd.passer_files, sizeof(e.passer_files));
}

void load_pawn_entry(const PawnHashEntry& e, PawnData& pd) {
  for (int f = 0; f < 10; ++f) {
    pd.count[0][f] = e.file_data[2 * f];
    pd.adv[0][f] = e.file_data[2 * f + 1];
    pd.count[1][f] = e.file_data[20 + 2 * f];
    pd.adv[1][f] = e.file_data[20 + 2 * f + 1];
  }
  pd.score = e.pawn_score;
  pd.pawn_file_term = e.pawn_file_term;
  pd.total = e.pawns_total;
  pd.pawns[0] = e.pawns_white;
  pd.pawns[1] = e.pawns_black;
  pd.low_file[0] = e.white_low_file;
  pd.high_file[0] = e.white_high_file;
  pd.low_file[1] = e.black_low_file;
  pd.high_file[1] = e.black_high_file;
  pd.passers[0] = e.white_passers > 8 ? 8 : e.white_passers;
  pd.passers[1] = e.black_passers > 8 ? 8 : e.black_passers;
  pd.hole[0] = e.white_hole & 63;
  pd.hole[1] = e.black_hole & 63;
  for (int c = 0; c < 2; ++c) {
    pd.fixed[0][c] = e.white_fixed[c];
    pd.fixed[1][c] = e.black_fixed[c];
    pd.tropism[c] = e.pawn_tropism[c];
  }
  std::memcpy(pd.passer_files, e.passer_files, sizeof(pd.passer_files));
}

PasserResult passed_pawn_terms(const PawnData& pd, const EvalCounts& ec, int& s) {
  if (passers_of_side(pd, ec, 0, s) == PasserResult::draw) return PasserResult::draw;
  return passers_of_side(pd, ec, 1, s);
}

}  // namespace brevalt

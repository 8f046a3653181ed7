// King safety, king activity and rook files. In the middlegame a king
// wants its pawn shelter and its fianchetto bishop, and fears enemy
// pieces close by and enemy pawns storming its wing; in the ending it
// belongs in the centre, or in a corner only when it is the one being
// mated. Rooks want open files in both.
//
// White's terms are written out; Black's are their mirror image (a square
// sq of White's becomes sq ^ 56 for Black) with the sign reversed.
#include "eval/king.h"

#include <initializer_list>

#include "board/position.h"
#include "core/control.h"
#include "core/search_state.h"
#include "eval/eval.h"

namespace brevalt {

namespace {

// King placement in the ending: the centre, or the corners for the side
// being mated without pawns.
constexpr uint8_t king_centre_table[64] = {
    0, 0, 0, 0, 0, 0, 0, 0,  0, 1, 3, 3, 3, 3, 1, 0,  0, 3, 5, 8, 8, 5, 3, 0,  0, 3, 8, 12, 12, 8, 3, 0,
    0, 3, 8, 12, 12, 8, 3, 0,  0, 3, 5, 8, 8, 5, 3, 0,  0, 1, 3, 3, 3, 3, 1, 0,  0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t king_corner_table[64] = {
    16, 14, 12, 12, 12, 12, 14, 16,  14, 10, 8, 8, 8, 8, 10, 14,  12, 8, 4, 4, 4, 4, 8, 12,
    12, 8, 4, 0, 0, 4, 8, 12,        12, 8, 4, 0, 0, 4, 8, 12,    12, 8, 4, 4, 4, 4, 8, 12,
    14, 10, 8, 8, 8, 8, 10, 14,      16, 14, 12, 12, 12, 12, 14, 16};
constexpr int CORNER_MATERIAL = -149;  // this far behind with no pawns: the corner
constexpr int PAWN_NEAR_KING = 2;

// Rook files: open, blocked by pawns of both sides, behind own pawns.
constexpr int ROOK_OPEN_FILE_ENDGAME = 22, ROOK_OPEN_FILE = 35;
constexpr int ROOK_CLOSED_FILE = 12, ROOK_BEHIND_PAWN = 12;

// Shelter of a settled king: its pawns and the fianchetto square.
constexpr int CASTLED_PER_PIECE = 3;
constexpr int SHELTER_SQUARES = 6;
constexpr int SHELTER_EDGE_PAWN = 12, SHELTER_MIDDLE_PAWN = 24;
constexpr int FIANCHETTO_HOLE = 26, FIANCHETTO_HOLE_ENEMY_BISHOP = 42;
constexpr int FIANCHETTO_HOLE_ATTACKED = 16;
constexpr int SETTLED_TROPISM = 150;
constexpr int FEW_ATTACK_UNITS = 6;
constexpr int KING_LEFT_ROOT_SQUARE = 32;

// A king that has not settled: enemy pieces near it, lost castling
// rights, open fianchetto squares, and the pawns in front of it.
constexpr int UNSETTLED_TROPISM = 130;
constexpr int KING_MOVED = 40, BOTH_ROOKS_MOVED = 30, ONE_ROOK_MOVED = 5;
constexpr int OPEN_LONG_DIAGONAL = 18, OPEN_LONG_DIAGONAL_ENEMY_BISHOP = 24;
constexpr int CASTLING_WING_PAWN = 10;
constexpr int KING_IN_CORNER = 20;

// The six squares in front of a king on files e-h and on files a-d (White).
constexpr int shelter_squares[2][6] = {{13, 14, 15, 21, 22, 23}, {8, 9, 10, 16, 17, 18}};

bool has_bishop_on_colour(const SideCounts& c, int colour) {
  return (c.bishops > 0 && c.bishop_colour[0] == colour) || (c.bishops > 1 && c.bishop_colour[1] == colour);
}

// The square of White's picture seen by `side`.
int mirror(int side, int sq) { return side ? sq ^ 56 : sq; }

// Rook files for one side, in that side's favour. The last test compares
// the rook's file number with the rank of the own pawn on that file, as
// the engine always has.
int rook_files(const SideCounts& c, const PawnData& pd, int side, int open_bonus) {
  int k = 0;
  for (int i = 0; i < 2 && i < c.rooks; ++i) {
    const int f = c.rook_file[i];
    if (f < 1 || f > 8) continue;
    const int own = pd.count[side][f], enemy = pd.count[side ^ 1][f];
    if (own == 0 && enemy == 0) k += open_bonus;
    if (own > 0 && enemy > 0) k -= ROOK_CLOSED_FILE;
    if (side == 0 ? f < pd.adv[0][f] : pd.adv[1][f] < f) k -= ROOK_BEHIND_PAWN;
  }
  return k;
}

// Pawns of either colour next to the king.
int pawns_near(int king) {
  int n = 0;
  for (const uint8_t* t = king_targets[king & 63]; *t != END_OF_LIST; ++t)
    if (*t != RAY_BREAK && type_of(pos.board[*t]) == PAWN) ++n;
  return n;
}

// The king's placement in the ending, in its side's favour.
int ending_king(const PawnData& pd, int side) {
  const int king = pos.king_square(side);
  const int own_material = side ? -pos.material : pos.material;
  int k = own_material < CORNER_MATERIAL && pd.total == 0 ? -king_corner_table[king & 63]
                                                          : king_centre_table[king & 63];
  k += PAWN_NEAR_KING * pawns_near(king);
  return k;
}

// The middlegame king terms of one side, in its favour.
int middlegame_king(const EvalCounts& ec, const PawnData& pd, AdvanceWindows& windows, int side) {
  const SideCounts& own = side ? ec.black : ec.white;
  const SideCounts& enemy = side ? ec.white : ec.black;
  const int king = pos.king_square(side);
  const int enemy_king = pos.king_square(!side);
  const int own_code = side ? BLACK : 0, enemy_code = side ? 0 : BLACK;
  const int own_pawn = PAWN + own_code, own_bishop = BISHOP + own_code;
  const int enemy_pawn = PAWN + enemy_code, enemy_bishop = BISHOP + enemy_code;
  const int castled = side ? pos.black_castled : pos.white_castled;
  const bool enemy_settled = side ? ec.white.king_settled : ec.black.king_settled;
  auto at = [side](int white_sq) { return pos.board[mirror(side, white_sq)]; };
  int k = 0;
  if (!own.safe) {
    if (own.king_settled) {
      // Step 1. A settled king behind its shelter.
      if (castled) k = CASTLED_PER_PIECE * ec.pieces;
      const bool king_side = file_of(king) >= 4;
      const bool enemy_other_wing = enemy_settled && (file_of(enemy_king) >= 4) != king_side;
      // Open the pawn-advance window toward an enemy king on the other wing.
      if (enemy_other_wing) {
        if (king_side) windows.low[side] = 0;
        else windows.high[side] = 9;
      }
      int defenders = SHELTER_SQUARES;
      for (int s : shelter_squares[king_side ? 0 : 1]) {
        const int code = at(s);
        if (code == own_pawn || code == own_bishop || code == KNIGHT + own_code) --defenders;
      }
      // f2, g2, h2 (a2, b2, c2 on the queen's wing), the fianchetto square
      // in the middle, and f3, h3 (a3, c3) from which it is attacked.
      const int edge_a = king_side ? F1 + 8 : A1 + 8, middle = king_side ? G1 + 8 : B1 + 8;
      const int edge_b = king_side ? H1 + 8 : C1 + 8;
      if (at(edge_a) == own_pawn) k += SHELTER_EDGE_PAWN;
      if (at(middle) == own_pawn) k += SHELTER_MIDDLE_PAWN;
      if (at(middle) != own_pawn && at(middle) != own_bishop) {
        k -= has_bishop_on_colour(enemy, square_colour[mirror(side, middle)]) ? FIANCHETTO_HOLE_ENEMY_BISHOP
                                                                              : FIANCHETTO_HOLE;
        const int a3 = at(edge_a + 8), c3 = at(edge_b + 8);
        if (a3 == enemy_bishop || a3 == enemy_pawn || c3 == enemy_bishop || c3 == enemy_pawn)
          k -= FIANCHETTO_HOLE_ATTACKED;
      }
      if (at(edge_b) == own_pawn) k += SHELTER_EDGE_PAWN;
      // Pawn storm against a king castled opposite.
      if (enemy_other_wing) {
        for (int f = king_side ? 6 : 1; f <= (king_side ? 8 : 3); ++f) {
          if (pd.count[side ^ 1][f] == 0) continue;
          const int enemy_adv = side ? pd.adv[0][f] : 7 - pd.adv[1][f];
          k -= pawn_advance_table[enemy_adv & 7];
        }
      }
      // Enemy pieces gathering near the king, charged per missing defender.
      const int x = enemy.tropism - SETTLED_TROPISM;
      if (x > 0) {
        const int engine_attacks = side ? control.engine_side == 1 : control.engine_side == -1;
        if (enemy.attack_units < FEW_ATTACK_UNITS && engine_attacks) --defenders;
        if (defenders < 0) defenders = 0;
        k -= (x >> 1) * defenders;
      }
      const int root_king = side ? eval_cache.root_black_king_sq : eval_cache.root_white_king_sq;
      if (king != root_king) k -= KING_LEFT_ROOT_SQUARE;
    } else {
      // Step 1. A king that has not settled yet.
      const int x = enemy.tropism - UNSETTLED_TROPISM;
      if (x > 0) k = -(x >> 1);
      const int king_moves = side ? pos.state_top->black_king_moves : pos.state_top->white_king_moves;
      const int h_rook_moves = side ? pos.state_top->black_h_rook_moves : pos.state_top->white_h_rook_moves;
      const int a_rook_moves = side ? pos.state_top->black_a_rook_moves : pos.state_top->white_a_rook_moves;
      if (king_moves != 0) k -= KING_MOVED;
      else if (h_rook_moves != 0 && a_rook_moves != 0) k -= BOTH_ROOKS_MOVED;
      else if (h_rook_moves != 0 || a_rook_moves != 0) k -= ONE_ROOK_MOVED;
      for (int s : {G1 + 8, B1 + 8}) {
        if (at(s) == own_pawn || at(s) == own_bishop) continue;
        k -= has_bishop_on_colour(enemy, square_colour[mirror(side, s)]) ? OPEN_LONG_DIAGONAL_ENEMY_BISHOP
                                                                         : OPEN_LONG_DIAGONAL;
      }
      if (king_moves == 0) {
        if (h_rook_moves == 0)
          for (int s : {F1 + 8, G1 + 8, H1 + 8}) k += at(s) == own_pawn ? CASTLING_WING_PAWN : 0;
        if (a_rook_moves == 0)
          for (int s : {A1 + 8, B1 + 8, C1 + 8}) k += at(s) == own_pawn ? CASTLING_WING_PAWN : 0;
      }
    }
  }
  // Step 2. A king tucked in on its own first two ranks, off the centre files.
  const int view_rank = side ? 7 - rank_of(king) : rank_of(king);
  const int file = file_of(king);
  if (view_rank < 2 && (file <= 2 || file >= 6)) k += KING_IN_CORNER;
  // Step 3. Rook files.
  k += rook_files(own, pd, side, ROOK_OPEN_FILE);
  return k;
}

}  // namespace

int king_safety(const EvalCounts& ec, const PawnData& pd, AdvanceWindows& windows) {
  windows = AdvanceWindows{{3, 3}, {6, 6}};
  if (ec.endgame_mode) {
    windows = AdvanceWindows{{0, 0}, {9, 9}};
    int k = ending_king(pd, 0) + rook_files(ec.white, pd, 0, ROOK_OPEN_FILE_ENDGAME);
    k -= ending_king(pd, 1) + rook_files(ec.black, pd, 1, ROOK_OPEN_FILE_ENDGAME);
    return k;
  }
  return middlegame_king(ec, pd, windows, 0) - middlegame_king(ec, pd, windows, 1);
}

}  // namespace brevalt

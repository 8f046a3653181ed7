// The piece activity term: how much of the centre each piece controls or
// could soon control, and the sum over both sides that the evaluation adds.
// A piece earns points for standing in the centre and for every centre
// square its lines reach; squares the enemy pawns guard are worth less.
#include "search/activity.h"

#include "board/position.h"

namespace brevalt {

namespace {

// Centre zone: files c..f on ranks 4 and 5 (c4..f5).
constexpr int CENTRE_FIRST_FILE = 2, CENTRE_LAST_FILE = 5;
constexpr int CENTRE_FIRST_RANK = 3, CENTRE_LAST_RANK = 4;

// Standing in the centre.
constexpr int CENTRE_BASE = 2;
// An empty centre square on a line, free or guarded by an enemy pawn.
constexpr int FREE_SQUARE = 3, GUARDED_SQUARE = 2;
// A centre square a pawn attacks.
constexpr int PAWN_ATTACK = 3;
// A slider's line through one of its own pieces (a battery).
constexpr int BATTERY_SQUARE = 2;
// A slider meets an enemy piece; more when the victim is worth at least as much.
constexpr int SLIDER_HITS_ENEMY = 2, SLIDER_HITS_BIGGER = 2;
// A knight covers one of its own pieces, or attacks an enemy piece.
constexpr int KNIGHT_GUARDS_OWN = 1, KNIGHT_HITS_ENEMY = 2;
// The final scale of every piece's points.
constexpr int ACTIVITY_SCALE = 2;

// The eight centre squares; anything else (off-board numbers included) is not.
bool in_centre(int sq) {
  if (sq < 0 || sq > 63) return false;
  const int f = file_of(sq), r = rank_of(sq);
  return f >= CENTRE_FIRST_FILE && f <= CENTRE_LAST_FILE && r >= CENTRE_FIRST_RANK && r <= CENTRE_LAST_RANK;
}

// Is the centre square t guarded by a pawn of the other colour than `own`?
// Only centre squares are asked about: their diagonal neighbours one rank
// up and down always exist, so the reads stay on the board. The file tests
// keep a square on the a- or h-file from seeing a pawn across the edge.
bool guarded_by_enemy_pawn(int t, int own) {
  const int f = file_of(t);
  if (own == 0) {
    return (f != 0 && pos.board[t + 7] == PAWN + BLACK) || (f != 7 && pos.board[t + 9] == PAWN + BLACK);
  }
  return (f != 0 && pos.board[t - 9] == PAWN) || (f != 7 && pos.board[t - 7] == PAWN);
}

// Points of an empty square on a line: the square is only a chance to
// occupy it, which an enemy pawn guarding it spoils a little.
int empty_square_points(int t, int own) {
  if (!in_centre(t)) return 0;
  return guarded_by_enemy_pawn(t, own) ? GUARDED_SQUARE : FREE_SQUARE;
}

// A square number from a target list that can be read from the board.
bool on_board(int sq) { return sq >= 0 && sq < 64; }

// Walks the rays of a slider's target list. Each ray is followed until a
// pawn or an enemy piece blocks it, or a second own piece: the first own
// piece is looked through, as a battery of two pieces acts along the line
// together. Rank rays of a rook or queen are skipped when skip_ranks is
// set: only the files lead from a rook's home towards the centre.
int slider_points(const uint8_t* list, int code, int square, bool skip_ranks) {
  const int own = colour_of(code);
  const int value = piece_value[type_of(code)];
  int points = 0;
  const uint8_t* p = list;
  while (*p != END_OF_LIST) {
    if (*p == RAY_BREAK) {
      ++p;
      continue;
    }
    // A new ray starts here; a rank ray begins next to the piece.
    const bool rank_ray = *p == square + 1 || *p == square - 1;
    bool blocked = skip_ranks && rank_ray;
    int own_count = 0;
    for (; *p != RAY_BREAK && *p != END_OF_LIST; ++p) {
      if (blocked) continue;
      const int t = *p;
      if (!on_board(t)) {
        blocked = true;
        continue;
      }
      const int x = pos.board[t];
      if (x == EMPTY) {
        points += empty_square_points(t, own);
      } else if (type_of(x) == PAWN) {
        blocked = true;
      } else if (colour_of(x) == own) {
        if (++own_count == 1) {
          if (in_centre(t)) points += BATTERY_SQUARE;
        } else {
          blocked = true;
        }
      } else {
        if (in_centre(t)) {
          points += SLIDER_HITS_ENEMY;
          if (value <= piece_value[type_of(x)]) points += SLIDER_HITS_BIGGER;
        }
        blocked = true;
      }
    }
  }
  return points;
}

// The knight's target list. Each target is a segment of its own in the
// move file, so each is judged by itself; the walk still stops a segment
// at its first occupied square, as a ray would.
int knight_points(int code, int square) {
  const int own = colour_of(code);
  int points = 0;
  bool blocked = false;
  for (const uint8_t* p = knight_targets[square]; *p != END_OF_LIST; ++p) {
    if (*p == RAY_BREAK) {
      blocked = false;
      continue;
    }
    const int t = *p;
    if (blocked) continue;
    if (!on_board(t)) {
      blocked = true;
      continue;
    }
    const int x = pos.board[t];
    if (x == EMPTY) {
      points += empty_square_points(t, own);
      continue;
    }
    blocked = true;
    if (!in_centre(t) || type_of(x) == PAWN) continue;
    points += colour_of(x) == own ? KNIGHT_GUARDS_OWN : KNIGHT_HITS_ENEMY;
  }
  return points;
}

// A pawn counts the centre squares it attacks, whatever stands there.
int pawn_points(int code, int square) {
  const int f = file_of(square);
  int left, right;  // capture targets towards the a- and the h-file
  if (colour_of(code) == 0) {
    left = square + 7;
    right = square + 9;
  } else {
    left = square - 9;
    right = square - 7;
  }
  int points = 0;
  if (f != 0 && in_centre(left)) points += PAWN_ATTACK;
  if (f != 7 && in_centre(right)) points += PAWN_ATTACK;
  return points;
}

}  // namespace


int activity_of(int code, int square) {
  if (code == EMPTY || !on_board(square)) return 0;
  int total = in_centre(square) ? CENTRE_BASE : 0;
  switch (type_of(code)) {
    case PAWN:
      total += pawn_points(code, square);
      break;
    case ROOK:
      total += slider_points(rook_rays[square], code, square, true);
      break;
    case BISHOP:
      total += slider_points(bishop_rays[square], code, square, false);
      break;
    case QUEEN:
      total += slider_points(rook_rays[square], code, square, true);
      total += slider_points(bishop_rays[square], code, square, false);
      // A queen reaches everywhere; half its count keeps it from
      // outweighing the pieces that really fight for the centre.
      total /= 2;
      break;
    case KNIGHT:
      total += knight_points(code, square);
      break;
    default:  // a king: only where it stands
      break;
  }
  return total * ACTIVITY_SCALE;
}

int32_t compute_activity_sum() {
  int32_t sum = 0;
  for (int c = 0; c < 2; ++c) {
    const PieceEntry* list = c ? pos.black_pieces : pos.white_pieces;
    for (int i = 0; i < PIECE_LIST_SIZE && list[i].square != NO_SQUARE; ++i) {
      const int sq = list[i].square;
      const int code = list[i].code;
      if (sq > 63 || type_of(code) == KING || code == EMPTY) continue;
      const int points = activity_of(code, sq);
      sum += c ? -points : points;
    }
  }
  return sum;
}

}  // namespace brevalt

// Attack, check, pin and static-exchange queries on the current position.
// Every query walks the precomputed target lists outwards from the square
// it asks about; none keeps a change to the board, and only the check
// routines write checker_square for the next ply.
#include "board/attacks.h"

#include "board/position.h"
#include "board/rays.h"
#include "core/assert.h"

#include <bit>
#include <initializer_list>

namespace brevalt {

namespace {

// Exchange lists: one list of attacker values per colour. Legal piece
// counts never give a colour more than 16 attackers of one square.
constexpr int EXCHANGE_SLOTS = 16;
// Marks an exchange entry whose piece has already captured.
constexpr int32_t USED_ENTRY = 10000;
// A king joins an exchange only as the very last capturer: it is worth more
// than anything it could ever win back.
constexpr int32_t KING_EXCHANGE_VALUE = 9000;
// What take_smallest answers when no capturer is left.
constexpr int32_t NO_CAPTURER = -1;
// The exchange looks at no more than four captures per side.
constexpr int EXCHANGE_ROUNDS = 4;

// A piece stepped from `from` to `to` on the board, for the queries that
// read the board itself; the step is taken back when the object goes.
class TrialStep {
 public:
  TrialStep(int from, int to) : from_(from), to_(to), moving_(pos.board[from]), target_(pos.board[to]) {
    set_square(to, moving_);
    set_square(from, EMPTY);
  }
  ~TrialStep() {
    set_square(from_, moving_);
    set_square(to_, target_);
  }
  TrialStep(const TrialStep&) = delete;
  TrialStep& operator=(const TrialStep&) = delete;

 private:
  const int from_, to_;
  const uint8_t moving_, target_;
};

// checker_square value of a double check.
constexpr uint8_t DOUBLE_CHECK = NO_INDEX;

// A unit step along a line, as file and rank increments of -1, 0 or +1.
struct Step {
  int df;
  int dr;
};

constexpr int sign(int v) { return (v > 0) - (v < 0); }

bool on_board(int sq) { return sq >= 0 && sq < 64; }

// The step from a towards b. On a shared rank, file or diagonal this is the
// ±1, ±8, ±7 or ±9 step of the line; the walks below move by file and rank
// so that no walk can wrap around a board edge.
Step step_towards(int a, int b) {
  return {sign(file_of(b) - file_of(a)), sign(rank_of(b) - rank_of(a))};
}

// Moves sq one step along s; false when the step would leave the board.
bool advance(int& sq, Step s) {
  int f = file_of(sq) + s.df, r = rank_of(sq) + s.dr;
  if (f < 0 || f > 7 || r < 0 || r > 7) return false;
  sq = r * 8 + f;
  return true;
}

// Skips the rest of the current ray of a target list: afterwards p points
// at the separator (254) or the end of the list (255).
const uint8_t* end_of_ray(const uint8_t* p) {
  while (*p != RAY_BREAK && *p != END_OF_LIST) ++p;
  return p;
}

// The reach row of a piece's captures: its type, except that a black pawn
// uses row 7 (white pawns capture upwards, black pawns downwards).
int reach_row(int code) { return code == PAWN + BLACK ? 7 : type_of(code); }

bool is_orthogonal_slider(int code) { return type_of(code) == ROOK || type_of(code) == QUEEN; }
bool is_diagonal_slider(int code) { return type_of(code) == BISHOP || type_of(code) == QUEEN; }

// The enemy king of a piece: the king of the other colour.
int enemy_king(int code) { return pos.king_square(!colour_of(code)); }

// Writes the check information of the position after the move at this ply.
// The per-ply tables end at ply 63; a deeper write is dropped.
void set_next_checker(int value) {
  if (pos.ply >= -1 && pos.ply + 1 < MAX_PLY) pos.checker_square[pos.ply + 1] = static_cast<uint8_t>(value);
}

// Would `piece` standing on sq attack the king on king_sq: knights and pawns
// by their reach alone, sliders only along an empty line.
bool attacks_king_from(int piece, int sq, int king_sq) {
  if (!on_board(sq) || !on_board(king_sq)) return false;
  if (!reach[reach_row(piece)][sq][king_sq]) return false;
  int type = type_of(piece);
  if (type == KNIGHT || type == PAWN) return true;
  if (on_common_line(sq, king_sq)) return !(line_tables.between[sq][king_sq] & occupied_squares());
  Step s = step_towards(sq, king_sq);
  int walk = sq;
  while (advance(walk, s) && walk != king_sq)
    if (pos.board[walk] != EMPTY) return false;
  return true;
}

// Walks from king_sq towards `through` and on beyond it. Answers the first
// occupied square (or -1 at the board edge) and whether the walk had already
// stepped over `through` when it met that square.
int first_piece_beyond(int king_sq, int through, bool& passed) {
  passed = false;
  if (on_common_line(king_sq, through)) {
    // The line read as sets: a piece between, or on `through` itself, is met
    // first; otherwise the nearest piece beyond it, if any.
    const uint64_t occupied = occupied_squares();
    const uint64_t before = line_tables.between[king_sq][through] & occupied;
    if (before) return nearest_on_line(before, through > king_sq);
    if (pos.board[through] != EMPTY) return through;
    const uint64_t after = line_tables.beyond[king_sq][through] & occupied;
    if (!after) return -1;
    passed = true;
    return nearest_on_line(after, through > king_sq);
  }
  Step s = step_towards(king_sq, through);
  int sq = king_sq;
  if (s.df == 0 && s.dr == 0) return -1;  // no line from a square to itself
  while (advance(sq, s)) {
    if (pos.board[sq] != EMPTY) return sq;
    if (sq == through) passed = true;
  }
  return -1;
}

// One colour's attackers of the exchange square, in the order of the scan.
// An odd value is an x-ray: a piece standing behind another capturer.
struct ExchangeList {
  int32_t value[EXCHANGE_SLOTS];
  int count;
};

// Excess attackers (possible only on constructed positions) are dropped so
// that the list never grows past its slots.
void add_capturer(ExchangeList& list, int32_t value) {
  if (list.count < EXCHANGE_SLOTS) list.value[list.count++] = value;
}

// A king takes part in an exchange only when it stands next to the square.
bool king_next_to(int king_sq, int sq) {
  int df = file_of(king_sq) - file_of(sq), dr = rank_of(king_sq) - rank_of(sq);
  return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// The cheapest capturer still available. An x-ray piece may capture only
// once the entry listed just before it has captured; an x-ray listed first
// has nothing in front of it in its own colour (the piece it stands behind
// belongs to the opponent), so it is treated as blocked. Ties go to the
// earlier entry.
int32_t take_smallest(ExchangeList& list) {
  int best = -1;
  for (int i = 0; i < list.count; ++i) {
    int32_t v = list.value[i];
    if (v == USED_ENTRY) continue;
    if ((v & 1) && (i == 0 || list.value[i - 1] != USED_ENTRY)) continue;
    if (best < 0 || v < list.value[best]) best = i;
  }
  if (best < 0) return NO_CAPTURER;
  int32_t v = list.value[best];
  list.value[best] = USED_ENTRY;
  return v & ~1;  // an x-ray loses its odd marker when it captures
}

// Step 2 of exchange_loss, the rule for the piece met on a ray towards sq
// (the ray's next occupied square): it is entered in its colour's list when
// it can capture on sq, and the answer says whether the ray goes on behind
// it. Rooks and queens on a line, bishops and queens on a diagonal, join
// with the x-ray mark once a slider of the ray has joined before them; a
// pawn that captures onto the square joins without closing the diagonal (a
// slider behind it counts as a direct capturer); a king joins only from the
// next square, and closes the ray like any other piece.
bool enter_ray_piece(int sq, int at, bool diagonal, int& xray, ExchangeList* lists) {
  const int code = pos.board[at];
  if (diagonal ? is_diagonal_slider(code) : is_orthogonal_slider(code)) {
    add_capturer(lists[colour_of(code) >> 3], piece_value[type_of(code)] + xray);
    xray = 1;
    return true;
  }
  if (diagonal && code == PAWN + BLACK && (at == sq + 7 || at == sq + 9)) {
    add_capturer(lists[1], piece_value[PAWN]);
    return true;
  }
  if (diagonal && code == PAWN && (at == sq - 7 || at == sq - 9)) {
    add_capturer(lists[0], piece_value[PAWN]);
    return true;
  }
  if (type_of(code) == KING && king_next_to(at, sq))
    add_capturer(lists[colour_of(code) >> 3], KING_EXCHANGE_VALUE);
  return false;
}

// Every capturer of sq, both colours, in scan order, by the target lists.
// Used when the loaded lists do not fit the ray masks (see board/rays.h).
void gather_by_lists(int sq, ExchangeList* lists) {
  for (int diagonal = 0; diagonal < 2; ++diagonal) {
    for (const uint8_t* p = diagonal ? bishop_rays[sq] : rook_rays[sq]; *p != END_OF_LIST; ++p) {
      int xray = 0;
      for (; *p != RAY_BREAK && *p != END_OF_LIST; ++p) {
        if (pos.board[*p] == EMPTY) continue;
        if (enter_ray_piece(sq, *p, diagonal != 0, xray, lists)) continue;
        p = end_of_ray(p);
        break;
      }
      if (*p == END_OF_LIST) break;
    }
  }

  // Knights of either colour.
  for (const uint8_t* p = knight_targets[sq]; *p != END_OF_LIST; ++p)
    if (*p != RAY_BREAK && type_of(pos.board[*p]) == KNIGHT)
      add_capturer(lists[colour_of(pos.board[*p]) >> 3], piece_value[KNIGHT]);
}

// Squares next to each square: where a king takes part in an exchange.
struct KingZones {
  uint64_t zone[64];
  constexpr KingZones() : zone{} {
    for (int sq = 0; sq < 64; ++sq)
      for (int other = 0; other < 64; ++other) {
        const int df = file_of(other) - file_of(sq), dr = rank_of(other) - rank_of(sq);
        if (other != sq && df >= -1 && df <= 1 && dr >= -1 && dr <= 1) zone[sq] |= uint64_t{1} << other;
      }
  }
};
constexpr KingZones king_zones;

// The squares from which a pawn of each colour would capture onto sq
// (White from sq - 7 and sq - 9, Black from sq + 7 and sq + 9), counted on
// the square numbers as the exchange and attack rules count them.
struct PawnSources {
  uint64_t from[2][64];
  constexpr PawnSources() : from{} {
    for (int sq = 0; sq < 64; ++sq)
      for (int d : {7, 9}) {
        if (sq - d >= 0) from[0][sq] |= uint64_t{1} << (sq - d);
        if (sq + d < 64) from[1][sq] |= uint64_t{1} << (sq + d);
      }
  }
};
constexpr PawnSources pawn_sources;

// The same capturers, found with the ray masks: each ray is walked from one
// occupied square to the next, in the list's order, and the knights are
// taken in square order (all knights capture for the same value, so their
// order among themselves cannot change the exchange). A ray without any
// piece that could join from it adds nothing, so it is not walked at all.
// The squares in `vacated` are read as empty: the square a capturer has
// just left, without taking it off the board.
void gather_by_masks(int sq, ExchangeList* lists, uint64_t vacated) {
  const uint64_t present = ~vacated;
  const uint64_t occupied = occupied_squares() & present;
  const uint64_t queens = squares_of_type(QUEEN);
  const uint64_t kings = squares_of_type(KING) & king_zones.zone[sq];
  const uint64_t joins[2] = {
      (squares_of_type(ROOK) | queens | kings) & present,
      (squares_of_type(BISHOP) | queens | kings | (pos.code_squares[PAWN] & pawn_sources.from[0][sq]) |
       (pos.code_squares[PAWN | BLACK] & pawn_sources.from[1][sq])) &
          present};
  for (int diagonal = 0; diagonal < 2; ++diagonal) {
    const SquareRays& rays = ray_tables[diagonal ? BISHOP_RAYS : ROOK_RAYS][sq];
    if (!(rays.all & joins[diagonal])) continue;
    for (int r = 0; r < rays.count; ++r) {
      if (!(rays.mask[r] & joins[diagonal])) continue;
      uint64_t bits = rays.mask[r] & occupied;
      int xray = 0;
      while (bits) {
        const int at = nearest_square(bits, rays, r);
        bits &= ~(uint64_t{1} << at);
        if (!enter_ray_piece(sq, at, diagonal != 0, xray, lists)) break;
      }
    }
  }

  // Knights of either colour, each at the end of its colour's list.
  for (uint64_t knights = ray_tables[KNIGHT_RAYS][sq].all & squares_of_type(KNIGHT) & present; knights != 0;
       knights &= knights - 1)
    add_capturer(lists[colour_of(pos.board[std::countr_zero(knights)]) >> 3], piece_value[KNIGHT]);
}

// The rules of square_attacked for the first piece met from s on a line
// (at, the line's first occupied square): on a rank or file an enemy rook
// or queen attacks; on a diagonal an enemy bishop or queen, or an enemy
// pawn one diagonal step away on the side from which it captures.
bool line_piece_attacks(int s, int at, bool diagonal, int enemy) {
  const int code = pos.board[at];
  if (colour_of(code) != enemy) return false;
  if (!diagonal) return is_orthogonal_slider(code);
  if (is_diagonal_slider(code)) return true;
  if (code == PAWN + BLACK) return at - s == 7 || at - s == 9;
  return code == PAWN && (s - at == 7 || s - at == 9);
}

// The attack test of square_attacked for one square, with the ray masks:
// on each line only its first occupied square can attack, and the knight
// and king targets are tested against the enemy's knights and king. A line
// holding no enemy piece that could attack along it is not looked at.
bool attacked_by_masks(int s, int enemy, uint64_t occupied) {
  const int colour = enemy ? 1 : 0;
  const uint64_t queens = pos.code_squares[QUEEN | enemy];
  const uint64_t threats[2] = {
      pos.code_squares[ROOK | enemy] | queens,
      pos.code_squares[BISHOP | enemy] | queens | (pos.code_squares[PAWN | enemy] & pawn_sources.from[colour][s])};

  // Steps 1 and 2. The ranks and files, then the diagonals.
  for (int diagonal = 0; diagonal < 2; ++diagonal) {
    const SquareRays& rays = ray_tables[diagonal ? BISHOP_RAYS : ROOK_RAYS][s];
    if (!(rays.all & threats[diagonal])) continue;
    for (int r = 0; r < rays.count; ++r) {
      if (!(rays.mask[r] & threats[diagonal])) continue;
      const uint64_t bits = rays.mask[r] & occupied;
      if (bits && line_piece_attacks(s, nearest_square(bits, rays, r), diagonal != 0, enemy)) return true;
    }
  }

  // Step 3. Knights and the king.
  return (ray_tables[KNIGHT_RAYS][s].all & pos.code_squares[KNIGHT | enemy]) != 0 ||
         (ray_tables[KING_RAYS][s].all & pos.code_squares[KING | enemy]) != 0;
}

}  // namespace

int square_attacked(const int32_t* list) {
  const int enemy = list[0] != 0 ? WHITE_SIDE : BLACK_SIDE;
  const uint64_t occupied = ray_masks_ready ? occupied_squares() : 0;
  // A list holds at most a handful of squares; the bound only guards
  // against a list that lost its end marker.
  for (int i = 1; i <= 64 && list[i] != END_OF_LIST; ++i) {
    const int s = list[i];
    if (!on_board(s)) continue;
    if (ray_masks_ready) {
      if (attacked_by_masks(s, enemy, occupied)) return 1;
      continue;
    }

    // Steps 1 and 2. Rooks and queens along the ranks and files, bishops,
    // queens and pawns along the diagonals: the first piece of each line.
    for (int diagonal = 0; diagonal < 2; ++diagonal) {
      for (const uint8_t* p = diagonal ? bishop_rays[s] : rook_rays[s]; *p != END_OF_LIST; ++p) {
        if (*p == RAY_BREAK || pos.board[*p] == EMPTY) continue;
        if (line_piece_attacks(s, *p, diagonal != 0, enemy)) return 1;
        p = end_of_ray(p);
        if (*p == END_OF_LIST) break;
      }
    }

    // Step 3. Knights and the king, one square per target.
    for (const uint8_t* p = knight_targets[s]; *p != END_OF_LIST; ++p)
      if (*p != RAY_BREAK && pos.board[*p] == (KNIGHT | enemy)) return 1;
    for (const uint8_t* p = king_targets[s]; *p != END_OF_LIST; ++p)
      if (*p != RAY_BREAK && pos.board[*p] == (KING | enemy)) return 1;
  }
  return 0;
}

int king_step_attacked(int colour, int from, int to) {
  if (!on_board(from) || !on_board(to)) return 0;
  const int32_t check_list[3] = {colour, to, END_OF_LIST};
  // With the masks the step is only imagined: the king's square is read
  // as empty, so that a slider's line through it counts, and nothing on
  // `to` itself is ever looked at by the test of `to`.
  if (ray_masks_ready && from != to)
    return attacked_by_masks(to, colour ? WHITE_SIDE : BLACK_SIDE, occupied_squares() & ~(uint64_t{1} << from));
  const TrialStep step(from, to);
  return square_attacked(check_list);
}

int gives_check(int piece, int from, int to) {
  // Step 1. No checker known yet.
  set_next_checker(0);
  int direct = 0;
  const int k = enemy_king(piece);
  if (!on_board(k) || !on_board(from) || !on_board(to)) return 0;

  // Step 2. Direct check by the piece that moved. A promotion can check
  // along the very line the pawn left, where the walk of step 3 would meet
  // the new queen again; counting the checkers afresh settles that case.
  if (type_of(piece) != KING && attacks_king_from(piece, to, k)) {
    direct = 1;
    if (pos.ply >= 0 && pos.ply < MAX_PLY && pos.ply_stack[pos.ply].promo != 0) {
      count_checkers(k);
      return 1;
    }
  }

  // Step 3. Discovered check: a slider behind the square the piece left.
  int m = reach[QUEEN][from][k] ? discovered_attacker(from, k) : 0;

  // Step 4. En passant also empties the captured pawn's square, which can
  // open a second line to the king.
  int captured_pawn = -1;
  if (piece == PAWN && pos.ep_black_pawn != 0 && to == pos.ep_black_pawn + 8) captured_pawn = pos.ep_black_pawn;
  else if (piece == PAWN + BLACK && pos.ep_white_pawn != 0 && to == pos.ep_white_pawn - 8) captured_pawn = pos.ep_white_pawn;
  if (on_board(captured_pawn) && reach[QUEEN][captured_pawn][k]) {
    int r = discovered_attacker(captured_pawn, k);
    if (r != 0) {
      if (m == 0) m = r;
      else if (r != m) direct = 1;  // two different sliders: a double check
    }
  }

  // Step 5. Record the checker: a discovered check together with any
  // second checker is a double check.
  if (m != 0) {
    set_next_checker(direct ? DOUBLE_CHECK : m - 1);
    return m | direct;
  }
  if (direct) {
    set_next_checker(to);
    return 1;
  }
  return 0;
}

int count_checkers(int king_sq) {
  set_next_checker(0);
  if (!on_board(king_sq)) return king_sq;
  const int enemy = colour_of(pos.board[king_sq]) ^ BLACK;
  int count = 0, last = king_sq;

  // Step 1. Rooks and queens on the ranks and files.
  for (const uint8_t* p = rook_rays[king_sq]; *p != END_OF_LIST; ++p) {
    if (*p == RAY_BREAK || pos.board[*p] == EMPTY) continue;
    if (colour_of(pos.board[*p]) == enemy && is_orthogonal_slider(pos.board[*p])) {
      ++count;
      last = *p;
    }
    p = end_of_ray(p);
    if (*p == END_OF_LIST) break;
  }

  // Step 2. Bishops and queens on the diagonals, pawns one step away on
  // the side they capture from.
  for (const uint8_t* p = bishop_rays[king_sq]; *p != END_OF_LIST; ++p) {
    if (*p == RAY_BREAK || pos.board[*p] == EMPTY) continue;
    int sq = *p, code = pos.board[sq];
    if (colour_of(code) == enemy) {
      bool pawn_hit = (code == PAWN + BLACK && (sq - king_sq == 7 || sq - king_sq == 9)) ||
                      (code == PAWN && (king_sq - sq == 7 || king_sq - sq == 9));
      if (is_diagonal_slider(code) || pawn_hit) {
        ++count;
        last = sq;
      }
    }
    p = end_of_ray(p);
    if (*p == END_OF_LIST) break;
  }

  // Step 3. Knights.
  for (const uint8_t* p = knight_targets[king_sq]; *p != END_OF_LIST; ++p)
    if (*p != RAY_BREAK && pos.board[*p] == (KNIGHT | enemy)) {
      ++count;
      last = *p;
    }

  if (count == 1) set_next_checker(last);
  else if (count > 1) set_next_checker(DOUBLE_CHECK);
  return last;
}

int discovered_attacker(int sq, int king_sq) {
  if (!on_board(sq) || !on_board(king_sq)) return 0;
  const bool orthogonal = reach[ROOK][sq][king_sq] != 0;
  bool passed;
  int found = first_piece_beyond(king_sq, sq, passed);
  if (found < 0 || !passed) return 0;
  int code = pos.board[found];
  if (colour_of(code) == colour_of(pos.board[king_sq])) return 0;
  bool fits = orthogonal ? is_orthogonal_slider(code) : is_diagonal_slider(code);
  return fits ? found + 1 : 0;
}

int gives_direct_check(int piece, int sq) {
  if (type_of(piece) == KING) return 0;
  if (attacks_king_from(piece, sq, enemy_king(piece))) {
    set_next_checker(sq);
    return 1;
  }
  set_next_checker(0);
  return 0;
}

int resolves_check(int to, int from) {
  // Asked for generated moves only, within the search's ply limit.
  BREVALT_ASSERT(pos.ply >= 0 && pos.ply < MAX_PLY && on_board(to) && on_board(from));
  const int q = pos.checker_square[pos.ply];

  // Step 1. Nothing but a king move answers a double check; capturing the
  // single checker always does.
  if (q == DOUBLE_CHECK) return 0;
  if (to == q) return 1;
  if (!on_board(q)) return 0;

  // Step 2. A knight's check cannot be blocked.
  const int checker = pos.board[q];
  if (type_of(checker) == KNIGHT) return 0;

  // Step 3. A pawn's check cannot be blocked either; the only other answer
  // is the en passant capture of a pawn that has just advanced two squares.
  if (type_of(checker) == PAWN) {
    if (pos.ep_black_pawn != 0) return to == pos.ep_black_pawn + 8 && pos.board[from] == PAWN;
    if (pos.ep_white_pawn != 0) return to == pos.ep_white_pawn - 8 && pos.board[from] == PAWN + BLACK;
    return 0;
  }

  // Step 4. A slider's check is blocked by a square strictly between the
  // king and the checker: seen from the king, `to` lies in the checker's
  // direction, and seen from `to`, the checker lies further on the same way.
  if (!reach[type_of(checker)][q][to]) return 0;
  const int k = pos.king_square(colour_of(pos.board[from]));
  if (!on_board(k)) return 0;
  if (!reach[ROOK][to][k] && !reach[BISHOP][to][k]) return 0;
  if (!reach[ROOK][to][q] && !reach[BISHOP][to][q]) return 0;
  Step king_to_square = step_towards(k, to), square_to_checker = step_towards(to, q);
  return king_to_square.df == square_to_checker.df && king_to_square.dr == square_to_checker.dr;
}

int is_pinned(int sq) {
  if (!on_board(sq)) return 0;
  const int code = pos.board[sq];
  const int k = pos.king_square(colour_of(code));
  if (!on_board(k)) return 0;
  if (!reach[ROOK][sq][k] && !reach[BISHOP][sq][k]) return 0;

  // Step 1. The line from the king to the piece must be empty.
  if (on_common_line(k, sq)) {
    const uint64_t occupied = occupied_squares();
    if (line_tables.between[k][sq] & occupied) return 0;
    // Step 2, read off the sets.
    const uint64_t after = line_tables.beyond[k][sq] & occupied;
    if (!after) return 0;
    const int walk = nearest_on_line(after, sq > k);
    const int other = pos.board[walk];
    return colour_of(other) != colour_of(code) && reach[type_of(other)][walk][k];
  }
  Step s = step_towards(k, sq);
  int walk = k;
  while (advance(walk, s) && walk != sq)
    if (pos.board[walk] != EMPTY) return 0;

  // Step 2. Beyond the piece, the first piece met pins it when it is an
  // enemy that would reach the king along this line on an empty board.
  walk = sq;
  while (advance(walk, s)) {
    int other = pos.board[walk];
    if (other == EMPTY) continue;
    return colour_of(other) != colour_of(code) && reach[type_of(other)][walk][k];
  }
  return 0;
}

namespace {

// exchange_loss for `piece` standing on sq, with the squares in `vacated`
// read as empty (only with the ray masks; the list walk reads the board).
int exchange_loss_for(int sq, int piece, uint64_t vacated);

// The exchange after the piece on `from` has moved to `to`. With the ray
// masks the move is only imagined (its square read as empty, the piece
// put on `to`); otherwise it is made on the board and taken back.
int loss_after_move(int from, int to) {
  if (ray_masks_ready && from != to) return exchange_loss_for(to, pos.board[from], uint64_t{1} << from);
  const TrialStep step(from, to);
  return exchange_loss(to);
}

}  // namespace

int safe_after_move(int from, int to) {
  if (!on_board(from) || !on_board(to)) return 0;
  return loss_after_move(from, to) == 0;
}

int capture_gain(int from, int to) {
  if (!on_board(from) || !on_board(to)) return 0;
  const uint8_t victim = pos.board[to];
  int loss = loss_after_move(from, to);
  int gain = piece_value[type_of(victim)] - loss;
  if (gain < 0) return 0;
  return gain == 0 ? 1 : gain;
}

int exchange_loss(int sq) {
  if (!on_board(sq)) return 0;
  return exchange_loss_for(sq, pos.board[sq], 0);
}

namespace {

int exchange_loss_for(int sq, int piece, uint64_t vacated) {
  // Step 1. The piece at stake; a king is never "won".
  if (type_of(piece) == KING) return 0;
  const int32_t value = piece_value[type_of(piece)];
  ExchangeList lists[2];
  lists[0].count = lists[1].count = 0;
  ExchangeList& defenders = lists[colour_of(piece) >> 3];
  ExchangeList& attackers = lists[(colour_of(piece) >> 3) ^ 1];

  // Step 2. Every capturer of the square, both colours.
  if (ray_masks_ready) gather_by_masks(sq, lists, vacated);
  else gather_by_lists(sq, lists);

  // Step 3. Unattacked: nothing lost; attacked and undefended: all of it.
  if (attackers.count == 0) return 0;
  if (defenders.count == 0) return value;

  // Step 4. The exchange, cheapest capturer first on both sides. s is the
  // attacker's balance after each recapture; m the lowest balance seen
  // after one of the attacker's own captures.
  int32_t a = take_smallest(attackers);
  if (a == NO_CAPTURER) return 0;
  int32_t d = take_smallest(defenders);
  if (d == NO_CAPTURER) return value;
  int32_t s = value - a;
  int32_t m = value;
  for (int round = 1;; ++round) {
    if (s > 0) {
      // Ahead after the recapture: with more capturers than the defender,
      // the attacker also wins the last recapturer back.
      if (defenders.count < attackers.count) s += a;
      break;
    }
    if (round == EXCHANGE_ROUNDS) break;
    int32_t next_a = take_smallest(attackers);
    if (next_a == NO_CAPTURER) break;
    s += d;
    if (s < m) m = s;
    int32_t next_d = take_smallest(defenders);
    if (next_d == NO_CAPTURER) break;
    s -= next_a;
    a = next_a;
    d = next_d;
  }

  // Step 5. Never more than the piece itself, and no more than the worst
  // balance the attacker had to pass through.
  if (s <= 0) return 0;
  int32_t r = s < value ? s : value;
  if (m > 0 && m < r) r = m;
  return r;
}

}  // namespace

}  // namespace brevalt

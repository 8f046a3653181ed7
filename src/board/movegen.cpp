// Pseudo-legal move generation with ordering keys. One pass writes every
// move of a side into the move list of the current ply, already keyed so
// that the search can pick its next move without a scoring pass:
//   normal mode      all moves; good captures gathered among the first five
//                    entries, quiet moves keyed by history and threats;
//   quiescence mode  captures that do not lose material (sorted by gain),
//                    promotion pushes, and safe quiet checks at the first
//                    node entered from the horizon;
//   evasion mode     only moves that may answer the check.
#include "board/movegen.h"

#include <bit>
#include <initializer_list>

#include <algorithm>

#include "board/attacks.h"
#include "board/position.h"
#include "board/rays.h"
#include "core/assert.h"
#include "core/control.h"
#include "core/search_state.h"

namespace brevalt {

// Castling test lists {colour, the king's start, passage and target, 255}:
// none of these squares may be attacked.
const int32_t white_kingside_squares[5] = {0, 4, 5, 6, 255};
const int32_t white_queenside_squares[5] = {0, 2, 3, 4, 255};
const int32_t black_kingside_squares[5] = {1, 60, 61, 62, 255};
const int32_t black_queenside_squares[5] = {1, 58, 59, 60, 255};

namespace {

// Capture keys: a non-losing capture scores its gain plus this base, so it
// sorts above every quiet move.
constexpr int32_t CAPTURE_KEY_BASE = 4110;
// A capture keyed above this is moved forward among the first entries.
constexpr int32_t GOOD_CAPTURE_KEY = 4100;
// Entries keyed at or below this (quiet moves, losing captures) give way.
constexpr int32_t DISPLACEABLE_KEY = 4099;

// Quiet-move threat bonuses, applied only with this much depth left.
constexpr int THREAT_DEPTH = 3;
constexpr int32_t HIGHER_PIECE_BONUS = 100;  // piece move attacking a queen or rook
constexpr int32_t PAWN_THREAT_BONUS = 50;    // per piece a pawn push attacks
constexpr int32_t KING_AIM_BONUS = 50;       // piece lands on a line to the enemy king

// The last entry of a row is the swap scratch.
constexpr int SCRATCH_ENTRY = MOVE_ROW_LIMIT;

// Code of the black king.
constexpr uint8_t BLACK_KING = KING + BLACK;

MoveEntry* current_row() { return pos.move_list[pos.ply]; }

// No room for another move: the row is full. A position set up from
// outside may have more moves than a row holds (a board of queens); the
// rest are left out. The search never generates beyond its ply limit.
bool row_full(int count) {
  BREVALT_ASSERT(count >= 0 && pos.ply >= 0 && pos.ply < MAX_PLY);
  return count >= MOVE_ROW_LIMIT;
}

int32_t history_key(int from, int to, int piece) {
  return search_path.history_table[(from << 10) | (to << 4) | (piece & 15)];
}

// Exchanges two entries of the row by way of the scratch entry.
void swap_entries(MoveEntry* row, int a, int b) {
  row[SCRATCH_ENTRY] = row[a];
  row[a] = row[b];
  row[b] = row[SCRATCH_ENTRY];
}

void write_entry(int n, int from, int to, int piece, int32_t key) {
  MoveEntry& e = current_row()[n];
  e.from = static_cast<uint8_t>(from);
  e.to = static_cast<uint8_t>(to);
  e.piece = static_cast<uint8_t>(piece);
  e.key = key;
}

// A white pawn push threatens a black queen, rook, bishop or knight (codes
// 10..13) on a diagonal in front; a black pawn push the white ones (2..5).
bool pawn_threatens(int piece, int to, int target) {
  if (target < 0 || target > 63) return false;
  int code = pos.board[target];
  if (piece == PAWN) return code >= QUEEN + BLACK && code <= KNIGHT + BLACK && reach[6][to][target];
  return code >= QUEEN && code <= KNIGHT && reach[7][to][target];
}

// The threat bonuses of a quiet move, given deep enough a search below.
int32_t threat_bonus(int from, int to, int piece) {
  if (search_path.nominal_depth + search_path.ext_plies - pos.ply < THREAT_DEPTH) return 0;
  if (piece == PAWN || piece == PAWN + BLACK) {
    int up = piece == PAWN ? 1 : -1;
    int32_t bonus = 0;
    if (pawn_threatens(piece, to, to + 9 * up)) bonus += PAWN_THREAT_BONUS;
    if (pawn_threatens(piece, to, to + 7 * up)) bonus += PAWN_THREAT_BONUS;
    return bonus;
  }
  if (attacks_higher_piece(from, to)) return HIGHER_PIECE_BONUS;
  if (aims_at_king(piece, to)) return KING_AIM_BONUS;
  return 0;
}

// A quiet move: its history counter plus the threat bonuses.
int enter_quiet(int from, int to, int piece, int n) {
  if (row_full(n)) return n;
  write_entry(n, from, to, piece, history_key(from, to, piece) + threat_bonus(from, to, piece));
  return n + 1;
}

// A capture outside quiescence: written with its history key, then keyed
// and placed by order_capture.
int enter_capture(int from, int to, int piece, int n) {
  if (row_full(n)) return n;
  write_entry(n, from, to, piece, history_key(from, to, piece));
  return order_capture(from, to, piece, n);
}

// Quiescence insertion: the row is kept in descending key order, equal keys
// in generation order.
int insert_by_gain(int from, int to, int piece, int32_t gain, int n) {
  if (row_full(n)) return n;
  write_entry(n, from, to, piece, gain);
  MoveEntry* row = current_row();
  for (int k = n; k >= 1; --k)
    if (row[k - 1].key < row[k].key) swap_entries(row, k - 1, k);
  return n + 1;
}

// In evasion mode a move is kept only when it may answer the check: a king
// step to a square that is not attacked once the king stands there (its old
// square empty, so a slider's line through it counts), or another piece's
// capture or block of the single checker when that piece is not pinned.
bool evasion_keeps(int from, int to, int piece, int side) {
  if (type_of(piece) != KING) return resolves_check(to, from) && !is_pinned(from);
  return !king_step_attacked(side >> 3, from, to);
}

// Step 3 of generate_moves: the targets of a pawn on f.
int pawn_moves(int f, int k, int side, int evasions, int n) {
  const bool white = side == WHITE_SIDE;
  const uint8_t* p = white ? white_pawn_targets[f] : black_pawn_targets[f];
  for (; *p != END_OF_LIST; ++p) {
    const int t = *p;
    if (t == RAY_BREAK) continue;
    if (evasions && !(resolves_check(t, f) && !is_pinned(f))) continue;
    const int diff = white ? t - f : f - t;
    const int x = pos.board[t];
    if (diff == 8 && x == EMPTY) {
      // A single push. In quiescence only the promotion counts, and it is
      // entered as a quiet move.
      if (!search_path.quiescence_mode) {
        n = enter_quiet(f, t, k, n);
      } else if (white ? f >= 48 : f < 16) {
        const int16_t saved = search_path.quiescence_mode;
        search_path.quiescence_mode = 0;
        n = add_move(f, t, k, n);
        search_path.quiescence_mode = saved;
      }
    } else if (diff == 16 && x == EMPTY && pos.board[(f + t) / 2] == EMPTY) {
      if (!search_path.quiescence_mode) n = enter_quiet(f, t, k, n);
    } else if ((diff == 7 || diff == 9) && x != EMPTY && colour_of(x) != side) {
      n = search_path.quiescence_mode ? add_qs_capture(f, t, k, n) : enter_capture(f, t, k, n);
    } else if (white ? (pos.ep_black_pawn != 0 && t == pos.ep_black_pawn + 8)
                     : (pos.ep_white_pawn != 0 && t == pos.ep_white_pawn - 8)) {
      // En passant: the target square is empty, so add_move orders it as a
      // quiet move and quiescence drops it.
      n = add_move(f, t, k, n);
    }
  }
  return n;
}

// Step 4 of generate_moves: the rays of a piece on f, each up to and
// including the first occupied square.
int ray_moves(const uint8_t* p, int f, int k, int side, int evasions, int n) {
  for (; *p != END_OF_LIST; ++p) {
    if (*p == RAY_BREAK) continue;
    const int t = *p;
    const int x = pos.board[t];
    if (x == EMPTY) {
      // Step 4a. At the first quiescence node from the horizon, a quiet
      // move that checks directly and cannot be won on its square.
      if (search_path.quiescence_mode && search_path.horizon_qs && !search_path.first_qs_generation && !search_path.root_endgame &&
          gives_direct_check(k, t) && safe_after_move(f, t)) {
        const int16_t saved = search_path.quiescence_mode;
        search_path.quiescence_mode = 0;
        n = add_move(f, t, k, n);
        search_path.quiescence_mode = saved;
        continue;
      }
      // Steps 4b and 4c. Quiet moves exist only outside quiescence.
      if (evasions && !evasion_keeps(f, t, k, side)) continue;
      if (!search_path.quiescence_mode) n = enter_quiet(f, t, k, n);
      continue;
    }
    // An occupied square ends the ray; an enemy there can be captured.
    if (colour_of(x) != side && (!evasions || evasion_keeps(f, t, k, side)))
      n = search_path.quiescence_mode ? add_qs_capture(f, t, k, n) : enter_capture(f, t, k, n);
    while (p[1] != RAY_BREAK && p[1] != END_OF_LIST) ++p;
  }
  return n;
}

// Step 4, when only captures can enter the row (quiescence, no check, no
// quiet checks sought): each ray yields at most its first occupied square,
// found with the ray masks instead of a walk over the empty ones.
int ray_captures(const SquareRays& rays, uint64_t occupied, int f, int k, int side, int n) {
  for (int r = 0; r < rays.count; ++r) {
    const uint64_t bits = rays.mask[r] & occupied;
    if (!bits) continue;
    const int t = nearest_square(bits, rays, r);
    if (colour_of(pos.board[t]) != side) n = add_qs_capture(f, t, k, n);
  }
  return n;
}

// The squares a slider could check the king on from the current position:
// those on a rank, file or diagonal through king_sq with nothing standing
// between them and the king (the first piece of each line is included, but
// it is not empty and so never a quiet move's target). `lines` receives the
// whole of the eight lines, so that a reach entry off them is recognised.
uint64_t open_lines(int king_sq, uint64_t& lines) {
  constexpr int steps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  const uint64_t occupied = occupied_squares();
  uint64_t open = 0;
  lines = 0;
  for (const auto& d : steps) {
    const int f = file_of(king_sq) + d[0], r = rank_of(king_sq) + d[1];
    if (f < 0 || f > 7 || r < 0 || r > 7) continue;
    // The line in this direction: the neighbour and everything beyond it.
    const int next = r * 8 + f;
    const uint64_t line = (uint64_t{1} << next) | line_tables.beyond[king_sq][next];
    lines |= line;
    const uint64_t pieces = line & occupied;
    if (!pieces) {
      open |= line;
      continue;
    }
    const int first = nearest_on_line(pieces, next > king_sq);
    open |= line_tables.between[king_sq][first] | (uint64_t{1} << first);
  }
  return open;
}

// Where each kind of piece gives a direct check from an empty square: sure
// squares, and squares the reach table names off the king's lines, which
// only the full test can judge.
struct CheckSquares {
  uint64_t sure[8];
  uint64_t maybe[8];
};

CheckSquares check_squares_against(int king_sq) {
  CheckSquares c{};
  if (king_sq < 0 || king_sq > 63) return c;
  uint64_t lines;
  const uint64_t open = open_lines(king_sq, lines);
  c.sure[KNIGHT] = squares_reaching[KNIGHT][king_sq];
  for (int t : {QUEEN, ROOK, BISHOP}) {
    c.sure[t] = squares_reaching[t][king_sq] & lines & open;
    c.maybe[t] = squares_reaching[t][king_sq] & ~lines;
  }
  return c;
}

// Step 4, at the first quiescence node entered from the horizon: each ray
// yields the quiet moves onto its empty squares that check directly and
// cannot be won there, nearest first, then the capture of the first piece
// met when it is an enemy. The same entries, in the same order, as the
// list walk of ray_moves.
int ray_captures_and_checks(const SquareRays& rays, uint64_t occupied, const CheckSquares& checks, int f, int k,
                            int side, int n) {
  const int type = type_of(k);
  const uint64_t sure = checks.sure[type], maybe = checks.maybe[type];
  for (int r = 0; r < rays.count; ++r) {
    const uint64_t mask = rays.mask[r];
    const uint64_t bits = mask & occupied;
    const bool down = (rays.descending >> r) & 1;
    int blocker = -1;
    uint64_t empty = mask;
    if (bits) {
      blocker = nearest_square(bits, rays, r);
      empty &= down ? ~((uint64_t{2} << blocker) - 1) : (uint64_t{1} << blocker) - 1;
    }
    for (uint64_t cand = empty & (sure | maybe); cand != 0;) {
      const int t = down ? 63 - std::countl_zero(cand) : std::countr_zero(cand);
      cand &= ~(uint64_t{1} << t);
      if (!((sure >> t) & 1) && !gives_direct_check(k, t)) continue;
      if (!safe_after_move(f, t)) continue;
      const int16_t saved = search_path.quiescence_mode;
      search_path.quiescence_mode = 0;
      n = add_move(f, t, k, n);
      search_path.quiescence_mode = saved;
    }
    if (blocker >= 0 && colour_of(pos.board[blocker]) != side) n = add_qs_capture(f, blocker, k, n);
  }
  return n;
}

// Step 5 of generate_moves: castling, after the king's ordinary moves
// (b1/b8 may be attacked: only the king's own squares count).
int castling_moves(int k, int n) {
  if (control.chess960) {
    const int colour = colour_of(k);
    const int king_from = pos.king_square(colour);
    // The king takes its own rook: keyed as the quiet move it is, not as
    // a capture.
    for (int wing = 0; wing < 2; ++wing) {
      if (row_full(n) || !castling960_possible(colour, wing == 0)) continue;
      const int rook_from = pos.castle_rook_sq[(colour ? 2 : 0) + wing];
      write_entry(n, king_from, rook_from, k, history_key(king_from, rook_from, k));
      ++n;
    }
    return n;
  }
  if (k == KING) {
    if (castling_possible(E1, G1)) n = add_move(E1, G1, KING, n);
    if (castling_possible(E1, C1)) n = add_move(E1, C1, KING, n);
  }
  if (k == BLACK_KING) {
    if (castling_possible(E8, G8)) n = add_move(E8, G8, BLACK_KING, n);
    if (castling_possible(E8, C8)) n = add_move(E8, C8, BLACK_KING, n);
  }
  return n;
}

}  // namespace

bool castling_possible(int king_from, int king_to) {
  const bool white = king_from == E1;
  const bool kingside = king_to > king_from;
  const int colour = white ? 0 : BLACK;
  const StateRecord& st = *pos.state_top;
  if ((white ? pos.white_castled : pos.black_castled) != 0) return false;
  if (pos.board[king_from] != (KING | colour) || (white ? st.white_king_moves : st.black_king_moves) != 0)
    return false;
  const int corner = white ? (kingside ? H1 : A1) : (kingside ? H8 : A8);
  const int16_t rook_moves = white ? (kingside ? st.white_h_rook_moves : st.white_a_rook_moves)
                                   : (kingside ? st.black_h_rook_moves : st.black_a_rook_moves);
  if (pos.board[corner] != (ROOK | colour) || rook_moves != 0) return false;
  // Every square between king and rook is empty (b1/b8 included).
  const int step = kingside ? 1 : -1;
  for (int sq = king_from + step; sq != corner; sq += step)
    if (pos.board[sq] != EMPTY) return false;
  const int32_t* path = white ? (kingside ? white_kingside_squares : white_queenside_squares)
                              : (kingside ? black_kingside_squares : black_queenside_squares);
  return !square_attacked(path);
}

bool castling960_possible(int colour, bool kingside) {
  const bool white = colour == 0;
  const StateRecord& st = *pos.state_top;
  if ((white ? pos.white_castled : pos.black_castled) != 0) return false;
  if ((white ? st.white_king_moves : st.black_king_moves) != 0) return false;
  const int16_t rook_moves = white ? (kingside ? st.white_h_rook_moves : st.white_a_rook_moves)
                                   : (kingside ? st.black_h_rook_moves : st.black_a_rook_moves);
  if (rook_moves != 0) return false;
  const int king_from = pos.king_square(colour);
  const int rook_from = pos.castle_rook_sq[(white ? 0 : 2) + (kingside ? 0 : 1)];
  const int rank = white ? 0 : 56;
  if (rank_of(king_from) != rank_of(rank) || pos.board[king_from] != (KING | colour)) return false;
  if (pos.board[rook_from] != (ROOK | colour) || (rook_from > king_from) != kingside) return false;
  const int king_to = rank + (kingside ? G1 : C1), rook_to = rank + (kingside ? F1 : D1);
  // Every square the king or the rook crosses or reaches is empty, but for
  // the two castling pieces themselves.
  const int low = std::min({king_from, king_to, rook_from, rook_to});
  const int high = std::max({king_from, king_to, rook_from, rook_to});
  for (int sq = low; sq <= high; ++sq) {
    if (sq == king_from || sq == rook_from) continue;
    const bool on_path = (sq >= std::min(king_from, king_to) && sq <= std::max(king_from, king_to)) ||
                         (sq >= std::min(rook_from, rook_to) && sq <= std::max(rook_from, rook_to));
    if (on_path && pos.board[sq] != EMPTY) return false;
  }
  // No square the king stands on, crosses or reaches is attacked. The rook
  // is lifted for the test: a line along the back rank that it blocks now
  // would reach the king's new square once it has moved.
  int32_t path[11];
  int n = 0;
  path[n++] = white ? 0 : 1;
  const int step = king_to >= king_from ? 1 : -1;
  for (int sq = king_from;; sq += step) {
    path[n++] = sq;
    if (sq == king_to) break;
  }
  path[n] = END_OF_LIST;
  set_square(rook_from, EMPTY);
  const bool attacked = square_attacked(path) != 0;
  set_square(rook_from, static_cast<uint8_t>(ROOK | colour));
  return !attacked;
}

uint8_t generate_moves(int side, GenMode mode) {
  // The search never goes past its ply limit: the row exists.
  BREVALT_ASSERT(pos.ply >= 0 && pos.ply < MAX_PLY);
  const int evasions = mode == GenMode::evasions;

  // Step 1. Evasions are generated as in the normal mode.
  const int16_t saved_quiescence = search_path.quiescence_mode;
  if (evasions) search_path.quiescence_mode = 0;
  int n = 0;

  // Step 2. Pieces in list order; captured entries and stale squares are
  // skipped. In quiescence, unless quiet checks are sought at this node,
  // empty squares add nothing, and the pieces' rays are walked by their masks.
  const bool quiet_checks = search_path.horizon_qs && !search_path.first_qs_generation && !search_path.root_endgame;
  const bool by_masks = ray_masks_ready && search_path.quiescence_mode && !evasions;
  const bool captures_only = by_masks && !quiet_checks;
  const uint64_t occupied = by_masks ? occupied_squares() : 0;
  // The first quiescence node from the horizon also looks for quiet checks;
  // only there are the checking squares worked out.
  CheckSquares checks;
  if (by_masks && quiet_checks) checks = check_squares_against(pos.king_square(side != BLACK_SIDE));
  const uint64_t black = captures_only ? black_squares() : 0;
  const uint64_t enemies = occupied & (side == BLACK_SIDE ? ~black : black);
  const int colour = side == BLACK_SIDE ? 1 : 0;
  const PieceEntry* list = side == BLACK_SIDE ? pos.black_pieces : pos.white_pieces;
  for (int i = 0; i < PIECE_LIST_SIZE && list[i].square != NO_SQUARE; ++i) {
    const int f = list[i].square;
    if (f > 63) continue;
    const int k = pos.board[f];
    if (k == EMPTY || colour_of(k) != side) continue;

    // A pawn short of its last rank with no enemy on a capture square has
    // nothing for a quiescence row.
    if (captures_only && type_of(k) == PAWN && !(pawn_capture_squares[colour][f] & enemies) &&
        (colour ? f >= 16 : f < 48))
      continue;
    if (by_masks && type_of(k) != PAWN) {
      const int t = type_of(k);
      // Each of the piece's ray tables, walked for its captures alone, or
      // for its captures and quiet checks.
      auto walk = [&](RayTable table) {
        const SquareRays& rays = ray_tables[table][f];
        n = captures_only ? ray_captures(rays, occupied, f, k, side, n)
                          : ray_captures_and_checks(rays, occupied, checks, f, k, side, n);
      };
      if (t == KNIGHT) walk(KNIGHT_RAYS);
      if (t == ROOK || t == QUEEN) walk(ROOK_RAYS);
      if (t == BISHOP || t == QUEEN) walk(BISHOP_RAYS);
      if (t == KING) walk(KING_RAYS);
      continue;
    }
    switch (type_of(k)) {
      case PAWN:  // Step 3. A pawn's pushes and captures.
        n = pawn_moves(f, k, side, evasions, n);
        break;
      case KNIGHT:  // Step 4. A piece's rays, each up to its first piece.
        n = ray_moves(knight_targets[f], f, k, side, evasions, n);
        break;
      case BISHOP:
        n = ray_moves(bishop_rays[f], f, k, side, evasions, n);
        break;
      case ROOK:
        n = ray_moves(rook_rays[f], f, k, side, evasions, n);
        break;
      case QUEEN:
        n = ray_moves(rook_rays[f], f, k, side, evasions, n);
        n = ray_moves(bishop_rays[f], f, k, side, evasions, n);
        break;
      case KING:
        n = ray_moves(king_targets[f], f, k, side, evasions, n);
        // Step 5. Never out of check; quiescence would drop it anyway.
        if (!evasions && !search_path.quiescence_mode) n = castling_moves(k, n);
        break;
      default:
        break;
    }
  }

  // Step 6. The mode as the caller left it.
  search_path.quiescence_mode = saved_quiescence;
  return static_cast<uint8_t>(n);
}

int add_move(int from, int to, int piece, int count) {
  if (row_full(count)) return count;
  const int x = pos.board[to];
  if (search_path.quiescence_mode) {
    // Only a capture that wins or breaks even enters a quiescence row.
    if (x == EMPTY) return count;
    int32_t gain = capture_gain(from, to);
    if (gain == 0) return count;
    return insert_by_gain(from, to, piece, gain, count);
  }
  write_entry(count, from, to, piece, history_key(from, to, piece));
  if (x != EMPTY) return order_capture(from, to, piece, count);
  current_row()[count].key += threat_bonus(from, to, piece);
  return count + 1;
}

int add_qs_capture(int from, int to, int piece, int count) {
  int32_t gain = capture_gain(from, to);
  if (gain == 0) return count;
  return insert_by_gain(from, to, piece, gain, count);
}

int order_capture(int from, int to, int piece, int count) {
  if (row_full(count)) return count;
  MoveEntry* row = current_row();

  // Step 1. A king's capture is safe (the move's legality is tested when it
  // is made); any other capture is keyed by its exchange gain, with the
  // cheaper attacker and the dearer victim first among equal gains.
  const int victim = type_of(pos.board[to]);
  int32_t key;
  if (type_of(piece) == KING) {
    key = CAPTURE_KEY_BASE - victim;
  } else {
    int32_t gain = capture_gain(from, to);
    key = gain > 0 ? gain + type_of(piece) - victim + CAPTURE_KEY_BASE : 0;
  }
  row[count].key = key;

  // Step 2. A good capture takes the place of the first quiet move or
  // losing capture among the first five entries, which moves to the end.
  if (key > GOOD_CAPTURE_KEY) {
    const int front = count < FRONT_ENTRIES ? count : FRONT_ENTRIES;
    for (int j = 0; j < front; ++j)
      if (row[j].key <= DISPLACEABLE_KEY) {
        swap_entries(row, j, count);
        break;
      }
  }

  // Step 3. The capture now counts in the row.
  return count + 1;
}

int attacks_higher_piece(int from, int to) {
  if (from < 0 || from > 63 || to < 0 || to > 63) return 0;
  const uint8_t moving = pos.board[from];
  const int enemy = colour_of(moving) ^ BLACK;
  const int type = type_of(moving);

  // A rook threatens a queen, a bishop or knight a queen or rook: the first
  // piece on a line from the new square, or any knight target. The move is
  // only imagined: `from` reads as empty and `to` as the moving piece.
  int hit = 0;
  const uint8_t* p = type == ROOK ? rook_rays[to] : type == BISHOP ? bishop_rays[to]
                     : type == KNIGHT ? knight_targets[to] : nullptr;
  for (; p && *p != END_OF_LIST && !hit; ++p) {
    if (*p == RAY_BREAK) continue;
    const int code = *p == from ? EMPTY : *p == to ? moving : pos.board[*p];
    if (code == EMPTY) continue;
    hit = code == (QUEEN | enemy) || (type != ROOK && code == (ROOK | enemy));
    while (p[1] != RAY_BREAK && p[1] != END_OF_LIST) ++p;
  }
  return hit;
}

int aims_at_king(int piece, int to) {
  if (type_of(piece) == KING || to < 0 || to > 63) return 0;
  const int king = pos.king_square(!colour_of(piece));
  if (king < 0 || king > 63) return 0;
  const int row = piece == PAWN + BLACK ? 7 : type_of(piece);
  return reach[row][to][king];
}

}  // namespace brevalt

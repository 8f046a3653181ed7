// Making and unmaking moves at the current search ply. make_move completes
// what its caller prepared on the board (castling rook, promotion queen,
// en passant victim, double-step square) and then brings every incremental
// quantity up to date: piece lists, king squares, both keys, material,
// castling counters, en passant squares, the fifty-move and check-run
// counters and the check state of the next ply. unmake_move reverses it
// from the ply record alone.
#include "board/makemove.h"

#include <cstdio>
#include <cstdlib>

#include "board/attacks.h"
#include "board/node_calls.h"
#include "core/assert.h"
#include "core/control.h"
#include "core/search_state.h"

namespace brevalt {


namespace {

// Input polling: every 50,000 nodes, more often as the own clock runs low
// (clock in whole seconds).
constexpr int32_t POLL_INTERVAL_NORMAL = 50000;
constexpr int32_t POLL_INTERVAL_SHORT = 25000;
constexpr int32_t POLL_INTERVAL_CRITICAL = 10000;
constexpr int16_t POLL_SHORT_BELOW = 20;
constexpr int16_t POLL_CRITICAL_BELOW = 10;

// Deadline test while thinking on the own clock: every 50,000 nodes, every
// 5,000 once less than 15 seconds remain, every 1,000 when a deadline must
// be met to the millisecond (a fixed time per move, a fast clock).
constexpr int32_t STOP_TEST_INTERVAL_NORMAL = 50000;
constexpr int32_t STOP_TEST_INTERVAL_SHORT = 5000;
// A deadline kept to the millisecond is looked at every 1,000 nodes: well
// under a millisecond in a release build, a few in a sanitizer build.
constexpr int32_t STOP_TEST_INTERVAL_FINE = 1000;
constexpr int16_t STOP_TEST_SHORT_BELOW = 15;

// Every interval above is a multiple of this one: a single remainder test
// per node tells whether any of them may be due, and the rest is worked
// out only then.
constexpr int32_t NODE_TICK_INTERVAL = STOP_TEST_INTERVAL_FINE;
static_assert(POLL_INTERVAL_NORMAL % NODE_TICK_INTERVAL == 0 && POLL_INTERVAL_SHORT % NODE_TICK_INTERVAL == 0 &&
              POLL_INTERVAL_CRITICAL % NODE_TICK_INTERVAL == 0 && STOP_TEST_INTERVAL_NORMAL % NODE_TICK_INTERVAL == 0 &&
              STOP_TEST_INTERVAL_SHORT % NODE_TICK_INTERVAL == 0);

// Fifty-move rule inside the search: the limit in half-moves, and the
// shallowest ply at which reaching it makes the line a draw.
constexpr int FIFTY_MOVE_LIMIT = 100;
constexpr int FIFTY_MOVE_MIN_PLY = 4;

// Plies of the root bookkeeping: the root move, and the engine's next move.
constexpr int ROOT_PLY = 1;
constexpr int ROOT_REPLY_PLY = 3;
// A quiet check starts or extends a check run only from this ply on.
constexpr int CHECK_RUN_MIN_PLY = 3;
// root_to when the root move captured.
constexpr int16_t ROOT_MOVE_CAPTURED = 65;

// Promotion is always to a queen; the material swing of one promotion.
int promotion_gain() { return piece_value[QUEEN] - piece_value[PAWN]; }

// The diagnostic written when the search captures a king.
constexpr const char* GAME_ERROR_FILE = "game error";
constexpr const char* KING_TAKEN_LINE = "king taken... \n";

// The corner a castling rook came from, given where it went.
int castling_corner(int rook_to) {
  switch (rook_to) {
    case F1: return H1;
    case D1: return A1;
    case F8: return H8;
    default: return A8;  // D8
  }
}

// The castling counter that tracks the rook of `code` standing on its home
// corner `sq`, or nullptr when that square is not the rook's corner. A rook
// leaving its corner, or being captured there, ends castling on that wing.
// The home squares are the corners in standard chess and the castling
// rooks' own squares in Fischer random chess (castle_rook_sq).
int16_t* corner_rook_counter(int code, int sq) {
  if (code == ROOK) {
    if (sq == pos.castle_rook_sq[0]) return &pos.state_top->white_h_rook_moves;
    if (sq == pos.castle_rook_sq[1]) return &pos.state_top->white_a_rook_moves;
  } else if (code == ROOK + BLACK) {
    if (sq == pos.castle_rook_sq[2]) return &pos.state_top->black_h_rook_moves;
    if (sq == pos.castle_rook_sq[3]) return &pos.state_top->black_a_rook_moves;
  }
  return nullptr;
}

// The move counter of a castling rook: colour 0 or 8, king-side or not.
int16_t& castling_rook_counter(int colour, bool kingside) {
  StateRecord& st = *pos.state_top;
  return colour ? (kingside ? st.black_h_rook_moves : st.black_a_rook_moves)
                : (kingside ? st.white_h_rook_moves : st.white_a_rook_moves);
}

// A king capture is a program error: log it and let the search go on.
void log_king_taken() {
  std::FILE* f = std::fopen(GAME_ERROR_FILE, "a");
  if (!f) return;
  std::fputs(KING_TAKEN_LINE, f);
  std::fclose(f);
}

// The per-iteration tree count (the root moves' effort, which orders them)
// may run past 2^31 in a long analysis; it wraps around instead of
// overflowing. The node count proper is 64 bits and never wraps.
int32_t next_count(int32_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
}

}  // namespace

void prepare_promotion(int from, int pawn) {
  set_square(from, static_cast<uint8_t>(QUEEN | colour_of(pawn)));
  pos.material = static_cast<int16_t>(pos.material + (pawn == PAWN ? promotion_gain() : -promotion_gain()));
  pos.promo_pawn = static_cast<uint8_t>(pawn);
  pos.ply_stack[pos.ply].promo = static_cast<uint8_t>(pawn);
}

void prepare_en_passant(int victim) {
  const bool white_victim = pos.board[victim] == PAWN;
  set_square(victim, EMPTY);
  pos.material = static_cast<int16_t>(pos.material + (white_victim ? -piece_value[PAWN] : piece_value[PAWN]));
}

void prepare_castling(int king_from, int king_to) {
  const bool white = king_from == E1;
  const bool kingside = king_to > king_from;
  const int corner = white ? (kingside ? H1 : A1) : (kingside ? H8 : A8);
  const int rook_to = white ? (kingside ? F1 : D1) : (kingside ? F8 : D8);
  (white ? pos.white_castled : pos.black_castled) = 1;
  (white ? (kingside ? pos.state_top->white_h_rook_moves : pos.state_top->white_a_rook_moves)
         : (kingside ? pos.state_top->black_h_rook_moves : pos.state_top->black_a_rook_moves)) = 1;
  set_square(rook_to, pos.board[corner]);
  set_square(corner, EMPTY);
  pos.castle_rook_to = static_cast<uint8_t>(rook_to);
  pos.ply_stack[pos.ply].castle = static_cast<uint8_t>(white ? 1 : 2);
  pos.ply_stack[pos.ply].rook_to = static_cast<uint8_t>(rook_to);
}

#ifdef BREVALT_CHECKS
void assert_position_consistent(const char* where) {
  const char* fault = position_fault();
  if (!fault) return;
  std::fprintf(stderr, "position inconsistent after %s: %s\n", where, fault);
  std::abort();
}
#endif

// The steps of make_move. make_move runs at every node of the search, so
// each step is forced inline: the helpers name the steps without a call
// between them.
namespace {

// Step 3. Everything unmake_move needs. The en passant squares are saved
// as the caller left them (a double step has already set its own).
[[gnu::always_inline]] inline void save_for_unmake(PlyRecord& rec, int from, int to, int moved, int captured,
                                                   int captured_value) {
  rec.moved = static_cast<uint8_t>(moved);
  rec.from = static_cast<uint8_t>(from);
  rec.to = static_cast<uint8_t>(to);
  rec.captured = static_cast<uint8_t>(captured);
  rec.captured_value = static_cast<int16_t>(captured_value);
  rec.opp_material_taken = 0;
  rec.saved_hash_lo = pos.hash_lo;
  rec.saved_hash_hi = pos.hash_hi;
  rec.saved_pawn_lo = pos.pawn_lo;
  rec.saved_pawn_hi = pos.pawn_hi;
  rec.saved_ep_black_pawn = static_cast<uint8_t>(pos.ep_black_pawn);
  rec.saved_ep_white_pawn = static_cast<uint8_t>(pos.ep_white_pawn);
  rec.saved_fifty_counter = static_cast<uint8_t>(pos.fifty_counter);
  rec.saved_check_run = static_cast<uint8_t>(search_path.check_run);
  rec.captured_index = pos.piece_index[to];
}

// Step 3, continued. A pawn of the opponent's promoting adds a queen to
// the opponent's piece material.
[[gnu::always_inline]] inline void count_opponent_promotion(const PlyRecord& rec) {
  if ((rec.promo == PAWN && control.engine_side == -1) || (rec.promo == PAWN + BLACK && control.engine_side == 1))
    search_path.opponent_material = static_cast<int16_t>(search_path.opponent_material + piece_value[QUEEN]);
}

// An en passant capture: a pawn lands behind the pawn that has just
// double-stepped. Returns that victim's square, 0 for other moves.
[[gnu::always_inline]] inline int en_passant_victim(int moved, int to) {
  if (moved == PAWN) {
    if (pos.ep_black_pawn != 0 && to == pos.ep_black_pawn + 8) return pos.ep_black_pawn;
  } else if (moved == PAWN + BLACK) {
    if (pos.ep_white_pawn != 0 && to == pos.ep_white_pawn - 8) return pos.ep_white_pawn;
  }
  return 0;
}

// Step 4. Piece lists. Invariant: piece_index[s] names the list entry of
// the piece on s, and a captured piece keeps its entry (square OFF_BOARD,
// code 0) so that unmake_move can revive it at the same index and the list
// order never changes.
[[gnu::always_inline]] inline void move_in_piece_lists(PlyRecord& rec, int from, int to, int colour, int captured,
                                                       int ep_square) {
  // Every piece on the board has its entry: the indices below are always
  // within the lists.
  PieceEntry* own = colour ? pos.black_pieces : pos.white_pieces;
  PieceEntry* other = colour ? pos.white_pieces : pos.black_pieces;
  if (captured != EMPTY) {
    BREVALT_ASSERT(rec.captured_index < PIECE_LIST_SIZE);
    other[rec.captured_index].square = OFF_BOARD;
    other[rec.captured_index].code = 0;
  }
  const int i = pos.piece_index[from];
  BREVALT_ASSERT(i < PIECE_LIST_SIZE);
  own[i].square = static_cast<uint8_t>(to);
  if (rec.promo != 0) own[i].code = static_cast<uint8_t>(QUEEN | colour);
  pos.piece_index[to] = static_cast<uint8_t>(i);
  pos.piece_index[from] = NO_INDEX;
  if (rec.castle != 0) {
    const int corner = castling_corner(pos.castle_rook_to);
    const int r = pos.piece_index[corner];
    BREVALT_ASSERT(r < PIECE_LIST_SIZE);
    own[r].square = pos.castle_rook_to;
    pos.piece_index[pos.castle_rook_to] = static_cast<uint8_t>(r);
    pos.piece_index[corner] = NO_INDEX;
  }
  if (ep_square != 0) {
    const int v = pos.piece_index[ep_square];
    BREVALT_ASSERT(v < PIECE_LIST_SIZE);
    other[v].square = OFF_BOARD;
    other[v].code = 0;
    rec.captured_index = static_cast<uint8_t>(v);
    pos.piece_index[ep_square] = NO_INDEX;
  }
}

// Step 5. The king square follows a king move; the old one is kept for
// unmake_move.
[[gnu::always_inline]] inline void move_king_square(PlyRecord& rec, int colour, int to) {
  if (colour) {
    rec.old_black_king_sq = static_cast<uint8_t>(pos.black_king_sq());
    pos.black_king_sq() = static_cast<int16_t>(to);
  } else {
    rec.old_white_king_sq = static_cast<uint8_t>(pos.white_king_sq());
    pos.white_king_sq() = static_cast<int16_t>(to);
  }
}

// The king square as it was before a king move that is taken back at once.
[[gnu::always_inline]] inline void restore_king_square(const PlyRecord& rec, int colour) {
  if (colour) pos.black_king_sq() = rec.old_black_king_sq;
  else pos.white_king_sq() = rec.old_white_king_sq;
}

// Step 6. Legality: true when the move leaves the own king attacked. Root
// moves come from the legal list and are not tested; moves made while the
// side is in check come from the evasion generator, which already kept
// only safe king squares and unpinned pieces. A king that steps into
// check goes back to its square here.
[[gnu::always_inline]] inline bool leaves_king_attacked(const PlyRecord& rec, int p, int from, int to, int colour,
                                                        bool king_move, int ep_square) {
  if (!(p > 1 || pos.lists_frozen)) return false;
  const int own_king = pos.king_square(colour);
  if (king_move) {
    if (!(pos.in_check[p] && !pos.lists_frozen)) {
      const int32_t record[3] = {colour >> 3, to, END_OF_LIST};
      if (square_attacked(record)) {
        restore_king_square(rec, colour);
        return true;
      }
    }
  } else if (ep_square != 0) {
    // Both pawns leave their squares: a slider may now see the king
    // through the victim's square (the fifth-rank case included) or
    // through the capturing pawn's square, which it left for a square
    // off that line.
    if (reach[QUEEN][ep_square][own_king] && discovered_attacker(ep_square, own_king)) return true;
    if (reach[QUEEN][from][own_king] && discovered_attacker(from, own_king)) return true;
  } else if (!pos.in_check[p]) {
    if (reach[QUEEN][from][own_king] && discovered_attacker(from, own_king)) return true;
  }
  return false;
}

// Step 7. Check state of the side to move next. After castling only the
// rook can give check.
[[gnu::always_inline]] inline void set_next_check_state(const PlyRecord& rec, int p, int moved, int from, int to) {
  if (rec.castle != 0)
    pos.in_check[p + 1] = static_cast<uint8_t>(gives_direct_check(pos.board[pos.castle_rook_to], pos.castle_rook_to) != 0);
  else
    pos.in_check[p + 1] = static_cast<uint8_t>(gives_check(moved, from, to) != 0);
}

// Step 9. A legality test only records the move; the king square goes
// back at once because unmake_move follows immediately.
[[gnu::always_inline]] inline void record_legal_move(const PlyRecord& rec, int from, int to, int colour,
                                                     bool king_move) {
  if (search_path.legal_count < LEGAL_MOVES_SIZE) {
    LegalMove& m = search_path.legal_moves[search_path.legal_count];
    m.from = static_cast<uint8_t>(from);
    m.to = static_cast<uint8_t>(to);
    m.piece = pos.board[to];
    ++search_path.legal_count;
  }
  if (king_move) restore_king_square(rec, colour);
}

// Step 10. Root bookkeeping read by the evaluation: where the root move
// went, and whether that piece retreats at the engine's next move.
[[gnu::always_inline]] inline void root_bookkeeping(int p, int from, int to, int captured) {
  if (p == ROOT_PLY) {
    search_path.capture_count = 0;
    search_path.root_piece_retreats = 0;
    search_path.root_to = captured == EMPTY ? static_cast<int16_t>(to) : ROOT_MOVE_CAPTURED;
  } else if (p == ROOT_REPLY_PLY) {
    search_path.root_piece_retreats = 0;
    if (search_path.root_to != ROOT_MOVE_CAPTURED && captured == EMPTY && from == search_path.root_to) {
      if ((control.engine_side == 1 && rank_of(to) < rank_of(from)) ||
          (control.engine_side == -1 && rank_of(to) > rank_of(from)))
        search_path.root_piece_retreats = 1;
    }
  }
}

// Step 11. Capture bookkeeping: pieces left for the null move, and the
// opponent's remaining piece material.
[[gnu::always_inline]] inline void capture_bookkeeping(PlyRecord& rec, int captured) {
  const int type = type_of(captured);
  if (type != PAWN) {
    ++search_path.capture_count;
    if (pos.white_piece_count + pos.black_piece_count - search_path.capture_count <= 0) search_path.null_move_allowed = 0;
  }
  const int opponent_colour = side_of_sign(control.engine_side) ^ BLACK;
  if (colour_of(captured) == opponent_colour && type >= QUEEN && type <= KNIGHT) {
    search_path.opponent_material = static_cast<int16_t>(search_path.opponent_material - piece_value[type]);
    rec.opp_material_taken = piece_value[type];
  }
}

// Step 12. Castling counters along the line. A rook captured on its
// corner counts as moved too: that wing can never castle again, even if
// another rook later arrives on the corner.
[[gnu::always_inline]] inline void count_castling_moves(int from, int to, int moved, int captured, int colour,
                                                        bool king_move) {
  if (king_move) {
    if (colour) ++pos.state_top->black_king_moves;
    else ++pos.state_top->white_king_moves;
  }
  if (int16_t* c = corner_rook_counter(moved, from)) ++*c;
  if (int16_t* c = corner_rook_counter(captured, to)) ++*c;
}

// Step 13. The opponent's en passant chance expires with this move; a
// victim taken en passant leaves both keys here. An empty victim square
// can only mean the caller removed it: any other capture there would
// have put the capturing piece on it.
[[gnu::always_inline]] inline void expire_en_passant(int colour) {
  if (pos.ep_black_pawn != 0 && colour == 0) {
    if (pos.board[pos.ep_black_pawn] == EMPTY) {
      pos.hash_lo ^= zobrist[PAWN + BLACK][pos.ep_black_pawn].lo;
      pos.hash_hi ^= zobrist[PAWN + BLACK][pos.ep_black_pawn].hi;
      pos.pawn_lo ^= zobrist[PAWN + BLACK][pos.ep_black_pawn].lo;
      pos.pawn_hi ^= zobrist[PAWN + BLACK][pos.ep_black_pawn].hi;
    }
    pos.ep_black_pawn = 0;
  } else if (pos.ep_white_pawn != 0 && colour == BLACK) {
    if (pos.board[pos.ep_white_pawn] == EMPTY) {
      pos.hash_lo ^= zobrist[PAWN][pos.ep_white_pawn].lo;
      pos.hash_hi ^= zobrist[PAWN][pos.ep_white_pawn].hi;
      pos.pawn_lo ^= zobrist[PAWN][pos.ep_white_pawn].lo;
      pos.pawn_hi ^= zobrist[PAWN][pos.ep_white_pawn].hi;
    }
    pos.ep_white_pawn = 0;
  }
}

// Step 14. Keys: victim off, then the mover (pawn off and queen on for a
// promotion; rook and king for castling). The keys hold placement only,
// so XORing each piece out of its old square and into its new one keeps
// them equal to the keys computed from scratch.
[[gnu::always_inline]] inline void update_keys(const PlyRecord& rec, int from, int to, int moved, int captured,
                                               int colour) {
  if (captured != EMPTY) {
    pos.hash_lo ^= zobrist[captured][to].lo;
    pos.hash_hi ^= zobrist[captured][to].hi;
    if (type_of(captured) == PAWN) {
      pos.pawn_lo ^= zobrist[captured][to].lo;
      pos.pawn_hi ^= zobrist[captured][to].hi;
    }
  }
  if (pos.promo_pawn != 0) {
    const KeyPair pawn = zobrist[pos.promo_pawn][from];
    pos.hash_lo ^= pawn.lo ^ zobrist[moved][to].lo;
    pos.hash_hi ^= pawn.hi ^ zobrist[moved][to].hi;
    pos.pawn_lo ^= pawn.lo;
    pos.pawn_hi ^= pawn.hi;
    pos.promo_pawn = 0;
  } else if (rec.castle != 0) {
    const int rook = ROOK | colour;
    const int corner = castling_corner(pos.castle_rook_to);
    pos.hash_lo ^= zobrist[rook][corner].lo ^ zobrist[rook][pos.castle_rook_to].lo;
    pos.hash_hi ^= zobrist[rook][corner].hi ^ zobrist[rook][pos.castle_rook_to].hi;
    pos.hash_lo ^= zobrist[moved][from].lo ^ zobrist[moved][to].lo;
    pos.hash_hi ^= zobrist[moved][from].hi ^ zobrist[moved][to].hi;
  } else {
    pos.hash_lo ^= zobrist[moved][from].lo ^ zobrist[moved][to].lo;
    pos.hash_hi ^= zobrist[moved][from].hi ^ zobrist[moved][to].hi;
    if (type_of(moved) == PAWN) {
      pos.pawn_lo ^= zobrist[moved][from].lo ^ zobrist[moved][to].lo;
      pos.pawn_hi ^= zobrist[moved][from].hi ^ zobrist[moved][to].hi;
    }
  }
}

// Step 15. Input poll and deadline test at their node intervals, then the
// material and node counts. Only the main search thread reads input and
// the clock; a helper thread tells its node count instead.
[[gnu::noinline]] void node_tick(int64_t n) {
  if (search_path.helper_thread) {
    publish_helper_nodes(n);
    return;
  }
  // Each interval is divided by as a constant: the compiler then tests the
  // remainder with a multiplication instead of a division.
  const bool poll_due = game_clock.own_time < POLL_CRITICAL_BELOW ? n % POLL_INTERVAL_CRITICAL == 0
                        : game_clock.own_time < POLL_SHORT_BELOW  ? n % POLL_INTERVAL_SHORT == 0
                                                       : n % POLL_INTERVAL_NORMAL == 0;
  if (poll_due) poll_input(n);
  if (control.thinking) {
    const bool stop_test_due = game_clock.frequent_stop_tests                  ? n % STOP_TEST_INTERVAL_FINE == 0
                               : game_clock.own_time < STOP_TEST_SHORT_BELOW ? n % STOP_TEST_INTERVAL_SHORT == 0
                                                                  : n % STOP_TEST_INTERVAL_NORMAL == 0;
    if (stop_test_due) check_for_stop();
  }
}

[[gnu::always_inline]] inline void poll_and_count(int captured_value) {
  const int64_t n = search_path.search_nodes;
  if (n % NODE_TICK_INTERVAL == 0) [[unlikely]]
    node_tick(n);
  pos.material = static_cast<int16_t>(pos.material + captured_value);
  search_path.search_nodes = n + 1;
  search_path.tree_nodes = next_count(search_path.tree_nodes);
}

// Step 16. Fifty-move counter; a line that reaches the limit deep in the
// tree without having changed the material is a draw.
[[gnu::always_inline]] inline void count_fifty_moves(const PlyRecord& rec, int p, int moved, int captured) {
  const bool pawn_move = type_of(moved) == PAWN || rec.promo != 0;
  if (captured != EMPTY || pawn_move) pos.fifty_counter = 0;
  else if (pos.fifty_counter < FIFTY_COUNTER_CEILING) ++pos.fifty_counter;
  if (pos.fifty_counter >= FIFTY_MOVE_LIMIT && p >= FIFTY_MOVE_MIN_PLY && pos.material == search_path.root_material) search_path.draw_flag = 1;
}

// Step 17. Check run: consecutive quiet checks by the same piece. The
// mover's previous move is two plies back; in_check[p - 1] says it
// checked. A promotion is made by the new queen, so a quiet promotion
// that checks belongs to the run.
[[gnu::always_inline]] inline void update_check_run(int p, int moved, int captured, int colour) {
  if (pos.in_check[p + 1] && captured == EMPTY && type_of(moved) != PAWN && p >= CHECK_RUN_MIN_PLY) {
    if (search_path.check_run == 0) {
      search_path.check_run = 1;
    } else if (pos.in_check[p - 1] && pos.ply_stack[p - 2].moved == moved) {
      ++search_path.check_run;
      search_path.check_run_side = static_cast<uint8_t>(colour ^ BLACK);
    }
  } else if (search_path.check_run != 0 && !pos.in_check[p]) {
    search_path.check_run = 0;
  }
}

}  // namespace

// The caller owns the ply: it pushes it before the make and pops it after
// the unmake, and keeps ply below 63 so that the rows p + 1 written here
// exist. Special moves arrive already prepared on the board (castling rook
// moved, promotion queen on `from`, en passant victim removed, material
// adjusted); ply_stack[p].castle / promo / rook_to say which.
int make_move(int from, int to) {
  const int p = pos.ply;
  PlyRecord& rec = pos.ply_stack[p];
  if (p > search_path.sel_depth) search_path.sel_depth = static_cast<int16_t>(p);

  // Step 1. The principal variation below this move starts empty.
  search_path.pv_length[p + 1] = 0;

  // Step 2. Move the piece; the victim's value is from White's view.
  const int captured = pos.board[to];
  int captured_value = piece_value[type_of(captured)];
  if (captured != EMPTY && colour_of(captured) == 0) captured_value = -captured_value;
  const int moved = pos.board[from];
  const int colour = colour_of(moved);
  set_square(to, static_cast<uint8_t>(moved));
  set_square(from, EMPTY);

  // Step 3. The ply record for unmake_move, the opponent's promotions, and
  // the victim of an en passant capture.
  save_for_unmake(rec, from, to, moved, captured, captured_value);
  count_opponent_promotion(rec);
  const int ep_square = en_passant_victim(moved, to);

  // Step 4. Piece lists, unless frozen for a legality test.
  if (!pos.lists_frozen) move_in_piece_lists(rec, from, to, colour, captured, ep_square);

  // Step 5. King squares follow a king move.
  const bool king_move = type_of(moved) == KING;
  if (king_move) move_king_square(rec, colour, to);

  // Step 6. Legality.
  if (leaves_king_attacked(rec, p, from, to, colour, king_move, ep_square)) return 0;

  // Step 7. Check state of the side to move next.
  set_next_check_state(rec, p, moved, from, to);

  // Step 8. A captured king means the search went wrong somewhere before.
  if (type_of(captured) == KING) log_king_taken();

  // Step 9. A legality test ends here.
  if (pos.lists_frozen) {
    record_legal_move(rec, from, to, colour, king_move);
    return 1;
  }

  // Steps 10 to 17. The bookkeeping of a move the search goes on with:
  // the root, captures, castling, en passant, keys, node counts, the
  // fifty-move counter and check runs.
  root_bookkeeping(p, from, to, captured);
  if (captured != EMPTY) capture_bookkeeping(rec, captured);
  count_castling_moves(from, to, moved, captured, colour, king_move);
  expire_en_passant(colour);
  update_keys(rec, from, to, moved, captured, colour);
  poll_and_count(captured_value);
  count_fifty_moves(rec, p, moved, captured);
  update_check_run(p, moved, captured, colour);

#ifdef BREVALT_CHECKS
  assert_position_consistent("make_move");
#endif
  // Step 18. The move is made.
  return 1;
}

namespace {

// The squares of a castling by the general rule: the king from king_from
// to the g or c file, the rook from rook_from to the f or d file, on the
// king's rank.
struct CastlingSquares {
  int king_to, rook_to;
};
CastlingSquares castling_squares(int king_from, int rook_from) {
  const int rank = king_from & 56;
  const bool kingside = rook_from > king_from;
  return {rank + (kingside ? G1 : C1), rank + (kingside ? F1 : D1)};
}

// The counters of the line back as the ply record saved them, and the
// record cleared of what the next make at this ply expects to find clear:
// the last step of every unmake.
[[gnu::always_inline]] inline void restore_line_counters(PlyRecord& rec) {
  pos.fifty_counter = static_cast<int8_t>(rec.saved_fifty_counter);
  search_path.check_run = static_cast<int8_t>(rec.saved_check_run);
  rec.moved = 0;
  rec.captured_value = 0;
  rec.captured = 0;
  rec.saved_ep_black_pawn = 0;
  rec.saved_ep_white_pawn = 0;
  rec.opp_material_taken = 0;
  rec.castle = 0;
  rec.promo = 0;
  rec.rook_to = 0;
}

// Takes back a castling made by make_castling (ply record castle 3 or 4):
// king and rook leave their new squares before either returns, since each
// may land where the other started.
int unmake_castling(PlyRecord& rec, bool keep_counters) {
  const int king_from = rec.from, rook_from = rec.to;
  const int king = rec.moved, colour = colour_of(king);
  const CastlingSquares to = castling_squares(king_from, rook_from);
  pos.hash_lo = rec.saved_hash_lo;
  pos.hash_hi = rec.saved_hash_hi;
  pos.pawn_lo = rec.saved_pawn_lo;
  pos.pawn_hi = rec.saved_pawn_hi;
  pos.ep_black_pawn = rec.saved_ep_black_pawn;
  pos.ep_white_pawn = rec.saved_ep_white_pawn;
  set_square(to.king_to, EMPTY);
  set_square(to.rook_to, EMPTY);
  set_square(king_from, static_cast<uint8_t>(king));
  set_square(rook_from, static_cast<uint8_t>(ROOK | colour));
  (colour ? pos.black_castled : pos.white_castled) = 0;
  castling_rook_counter(colour, rook_from > king_from) = 0;
  if (colour) {
    pos.black_king_sq() = rec.old_black_king_sq;
    if (!keep_counters) --pos.state_top->black_king_moves;
  } else {
    pos.white_king_sq() = rec.old_white_king_sq;
    if (!keep_counters) --pos.state_top->white_king_moves;
  }
  if (!pos.lists_frozen) {
    PieceEntry* own = colour ? pos.black_pieces : pos.white_pieces;
    const int k = pos.piece_index[to.king_to], r = pos.piece_index[to.rook_to];
    BREVALT_ASSERT(k < PIECE_LIST_SIZE && r < PIECE_LIST_SIZE);
    pos.piece_index[to.king_to] = NO_INDEX;
    pos.piece_index[to.rook_to] = NO_INDEX;
    own[k].square = static_cast<uint8_t>(king_from);
    own[r].square = static_cast<uint8_t>(rook_from);
    pos.piece_index[king_from] = static_cast<uint8_t>(k);
    pos.piece_index[rook_from] = static_cast<uint8_t>(r);
  }
  restore_line_counters(rec);
#ifdef BREVALT_CHECKS
  if (!pos.lists_frozen) assert_position_consistent("unmake_castling");
#endif
  return 0;
}

}  // namespace

// Castling by the general rule, the king on king_from taking its own rook
// on rook_from. castling960_possible has tested the squares; the steps are
// those of make_move, with both pieces placed at once.
int make_castling(int king_from, int rook_from) {
  const int p = pos.ply;
  PlyRecord& rec = pos.ply_stack[p];
  if (p > search_path.sel_depth) search_path.sel_depth = static_cast<int16_t>(p);
  search_path.pv_length[p + 1] = 0;

  // Placement: both pieces off, then both on their new squares.
  const int king = pos.board[king_from];
  const int colour = colour_of(king);
  const int rook = ROOK | colour;
  const bool kingside = rook_from > king_from;
  const CastlingSquares to = castling_squares(king_from, rook_from);
  set_square(king_from, EMPTY);
  set_square(rook_from, EMPTY);
  set_square(to.king_to, static_cast<uint8_t>(king));
  set_square(to.rook_to, static_cast<uint8_t>(rook));

  // The ply record names the move as it was given: king square, rook square.
  save_for_unmake(rec, king_from, rook_from, king, EMPTY, 0);
  rec.captured_index = NO_INDEX;
  rec.castle = static_cast<uint8_t>(colour ? 4 : 3);
  rec.rook_to = static_cast<uint8_t>(to.rook_to);
  (colour ? pos.black_castled : pos.white_castled) = 1;
  castling_rook_counter(colour, kingside) = 1;

  if (!pos.lists_frozen) {
    PieceEntry* own = colour ? pos.black_pieces : pos.white_pieces;
    const int k = pos.piece_index[king_from], r = pos.piece_index[rook_from];
    BREVALT_ASSERT(k < PIECE_LIST_SIZE && r < PIECE_LIST_SIZE);
    pos.piece_index[king_from] = NO_INDEX;
    pos.piece_index[rook_from] = NO_INDEX;
    own[k].square = static_cast<uint8_t>(to.king_to);
    own[r].square = static_cast<uint8_t>(to.rook_to);
    pos.piece_index[to.king_to] = static_cast<uint8_t>(k);
    pos.piece_index[to.rook_to] = static_cast<uint8_t>(r);
  }
  move_king_square(rec, colour, to.king_to);

  // Check state of the opponent: the rook on its new square, or a line
  // opened through the squares king and rook have left.
  // count_checkers also names the checker (or a double check) for the
  // evasion generator of the next ply (it answers the king's own square when nothing checks).
  const int enemy_king = pos.king_square(colour ^ BLACK);
  pos.in_check[p + 1] = static_cast<uint8_t>(count_checkers(enemy_king) != enemy_king);

  if (pos.lists_frozen) {
    if (search_path.legal_count < LEGAL_MOVES_SIZE) {
      LegalMove& m = search_path.legal_moves[search_path.legal_count];
      m.from = static_cast<uint8_t>(king_from);
      m.to = static_cast<uint8_t>(rook_from);
      m.piece = static_cast<uint8_t>(king);
      ++search_path.legal_count;
    }
    restore_king_square(rec, colour);
    return 1;
  }

  root_bookkeeping(p, king_from, to.king_to, EMPTY);
  count_castling_moves(king_from, to.king_to, king, EMPTY, colour, true);
  expire_en_passant(colour);
  pos.hash_lo ^= zobrist[king][king_from].lo ^ zobrist[king][to.king_to].lo ^ zobrist[rook][rook_from].lo ^
                 zobrist[rook][to.rook_to].lo;
  pos.hash_hi ^= zobrist[king][king_from].hi ^ zobrist[king][to.king_to].hi ^ zobrist[rook][rook_from].hi ^
                 zobrist[rook][to.rook_to].hi;
  poll_and_count(0);
  count_fifty_moves(rec, p, king, EMPTY);
  update_check_run(p, king, EMPTY, colour);
#ifdef BREVALT_CHECKS
  assert_position_consistent("make_castling");
#endif
  return 1;
}

// Unmake::keep_counters after a refused move and after every frozen-mode
// make: those returned before material, the capture bookkeeping and the
// castling counters were touched, so there is nothing of theirs to undo.
int unmake_move(Unmake mode) {
  const bool keep_counters = mode == Unmake::keep_counters;
  PlyRecord& rec = pos.ply_stack[pos.ply];
  if (rec.castle > 2) [[unlikely]]
    return unmake_castling(rec, keep_counters);
  const int from = rec.from, to = rec.to;
  const int moved = rec.moved;
  const int colour = colour_of(moved);

  // Step 1. Counters that only a successful, unfrozen make changed.
  if (!keep_counters) {
    pos.material = static_cast<int16_t>(pos.material - rec.captured_value);
    if (rec.captured != EMPTY) {
      if (type_of(rec.captured) != PAWN) {
        --search_path.capture_count;
        if (pos.white_piece_count + pos.black_piece_count - search_path.capture_count > 0) search_path.null_move_allowed = 1;
      }
      search_path.opponent_material = static_cast<int16_t>(search_path.opponent_material + rec.opp_material_taken);
    }
    if (int16_t* c = corner_rook_counter(moved, from)) --*c;
    if (int16_t* c = corner_rook_counter(rec.captured, to)) --*c;
  }

  // Step 2. Keys.
  pos.hash_lo = rec.saved_hash_lo;
  pos.hash_hi = rec.saved_hash_hi;
  pos.pawn_lo = rec.saved_pawn_lo;
  pos.pawn_hi = rec.saved_pawn_hi;

  // Step 3. Board, en passant squares and king squares. The corrections of
  // en passant and promotion material undo the caller's preparation and so
  // happen whatever keep_counters says.
  int ep_square = 0;
  if (moved == PAWN || rec.promo == PAWN) {
    pos.ep_black_pawn = rec.saved_ep_black_pawn;
    pos.ep_white_pawn = 0;
    if (rec.promo == 0 && rec.saved_ep_black_pawn != 0 && to == rec.saved_ep_black_pawn + 8) {
      ep_square = rec.saved_ep_black_pawn;
      set_square(ep_square, PAWN + BLACK);
      pos.material = static_cast<int16_t>(pos.material - piece_value[PAWN]);
      set_square(from, pos.board[to]);
      set_square(to, EMPTY);
    } else if (rec.promo != 0) {
      pos.material = static_cast<int16_t>(pos.material - promotion_gain());
      if (control.engine_side == -1) search_path.opponent_material = static_cast<int16_t>(search_path.opponent_material - piece_value[QUEEN]);
      set_square(from, PAWN);
      set_square(to, rec.captured);
      pos.promo_pawn = 0;
    } else {
      set_square(from, pos.board[to]);
      set_square(to, rec.captured);
    }
  } else if (moved == PAWN + BLACK || rec.promo == PAWN + BLACK) {
    pos.ep_white_pawn = rec.saved_ep_white_pawn;
    pos.ep_black_pawn = 0;
    if (rec.promo == 0 && rec.saved_ep_white_pawn != 0 && to == rec.saved_ep_white_pawn - 8) {
      ep_square = rec.saved_ep_white_pawn;
      set_square(ep_square, PAWN);
      pos.material = static_cast<int16_t>(pos.material + piece_value[PAWN]);
      set_square(from, pos.board[to]);
      set_square(to, EMPTY);
    } else if (rec.promo != 0) {
      pos.material = static_cast<int16_t>(pos.material + promotion_gain());
      if (control.engine_side == 1) search_path.opponent_material = static_cast<int16_t>(search_path.opponent_material - piece_value[QUEEN]);
      set_square(from, PAWN + BLACK);
      set_square(to, rec.captured);
      pos.promo_pawn = 0;
    } else {
      set_square(from, pos.board[to]);
      set_square(to, rec.captured);
    }
  } else {
    pos.ep_black_pawn = rec.saved_ep_black_pawn;
    pos.ep_white_pawn = rec.saved_ep_white_pawn;
    set_square(from, pos.board[to]);
    set_square(to, rec.captured);
    if (moved == KING) {
      if (rec.castle == 1) {
        pos.white_castled = 0;
        if (rec.rook_to == F1) {
          set_square(H1, ROOK);
          set_square(F1, EMPTY);
          pos.state_top->white_h_rook_moves = 0;
        } else {
          set_square(A1, ROOK);
          set_square(D1, EMPTY);
          pos.state_top->white_a_rook_moves = 0;
        }
      }
      pos.white_king_sq() = rec.old_white_king_sq;
      if (!keep_counters) --pos.state_top->white_king_moves;
    } else if (moved == KING + BLACK) {
      if (rec.castle == 2) {
        pos.black_castled = 0;
        if (rec.rook_to == F8) {
          set_square(H8, ROOK + BLACK);
          set_square(F8, EMPTY);
          pos.state_top->black_h_rook_moves = 0;
        } else {
          set_square(A8, ROOK + BLACK);
          set_square(D8, EMPTY);
          pos.state_top->black_a_rook_moves = 0;
        }
      }
      pos.black_king_sq() = rec.old_black_king_sq;
      if (!keep_counters) --pos.state_top->black_king_moves;
    }
  }

  // Step 4. Piece lists: the mover's entry is found through the square it
  // reached, the victim's through the index saved at the make.
  if (!pos.lists_frozen) {
    PieceEntry* own = colour ? pos.black_pieces : pos.white_pieces;
    PieceEntry* other = colour ? pos.white_pieces : pos.black_pieces;
    const int i = pos.piece_index[to];
    BREVALT_ASSERT(i < PIECE_LIST_SIZE);
    own[i].square = static_cast<uint8_t>(from);
    if (rec.promo != 0) own[i].code = rec.promo;
    pos.piece_index[from] = static_cast<uint8_t>(i);
    pos.piece_index[to] = NO_INDEX;
    if (rec.castle != 0) {
      const int corner = castling_corner(rec.rook_to);
      const int r = pos.piece_index[rec.rook_to];
      BREVALT_ASSERT(r < PIECE_LIST_SIZE);
      own[r].square = static_cast<uint8_t>(corner);
      pos.piece_index[corner] = static_cast<uint8_t>(r);
      pos.piece_index[rec.rook_to] = NO_INDEX;
    } else if (ep_square != 0) {
      const int v = rec.captured_index;
      BREVALT_ASSERT(v < PIECE_LIST_SIZE);
      other[v].square = static_cast<uint8_t>(ep_square);
      other[v].code = static_cast<uint8_t>(PAWN | (colour ^ BLACK));
      pos.piece_index[ep_square] = static_cast<uint8_t>(v);
    } else if (rec.captured != EMPTY) {
      const int v = rec.captured_index;
      BREVALT_ASSERT(v < PIECE_LIST_SIZE);
      other[v].square = static_cast<uint8_t>(to);
      other[v].code = rec.captured;
      pos.piece_index[to] = static_cast<uint8_t>(v);
    }
  }

  // Step 5. Counters of the line, and clear what the next make at this
  // ply expects to find clear.
  restore_line_counters(rec);

#ifdef BREVALT_CHECKS
  if (!pos.lists_frozen) assert_position_consistent("unmake_move");
#endif
  return 0;
}

}  // namespace brevalt

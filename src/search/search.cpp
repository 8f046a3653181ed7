// The node search. search_node is a negamax alpha-beta search with a
// principal-variation scheme below the root: a repetition test and a
// transposition probe at every node, a null move and a multi-cut test,
// extensions counted in hundredths of a ply, depth reductions of quiet
// moves that cannot reach alpha, and a five-phase move picker (table move,
// winning captures, killers, the rest by key). apply_search_move is how
// the search plays a move at a ply; find_checkers fills the root's check
// information.
#include "search/search.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "core/assert.h"
#include "core/control.h"
#include "eval/eval.h"
#include "eval/threats.h"
#include "search/activity.h"
#include "search/root.h"
#include "search/tables.h"

namespace brevalt {


namespace {

// The placement key after from-to made as a plain move or capture. For a
// promotion, castling or en passant it comes out different; it only
// serves as a prefetch hint, which is then merely wasted.
uint32_t child_key_lo(int from, int to) {
  // The picker hands out moves between board squares only (a table move
  // was tested before), and the board holds piece codes only.
  BREVALT_ASSERT(static_cast<unsigned>(from) <= 63 && static_cast<unsigned>(to) <= 63);
  const int moved = pos.board[from], victim = pos.board[to];
  BREVALT_ASSERT(moved <= 14 && victim <= 14);
  uint32_t lo = pos.hash_lo ^ zobrist[moved][from].lo ^ zobrist[moved][to].lo;
  if (victim != EMPTY) lo ^= zobrist[victim][to].lo;
  return lo;
}

// Ranks a pawn double-steps from.
constexpr int WHITE_PAWN_HOME_RANK = 1;
constexpr int BLACK_PAWN_HOME_RANK = 6;

// Makes the prepared move; a refused move is taken back at once.
AppliedMove make_prepared(int from, int to) {
  if (make_move(from, to)) return {true, true};
  unmake_move(Unmake::keep_counters);
  return {true, false};
}

// A pawn move by the pawn rules: push (a promotion on the last rank),
// double step, capture, en passant. The capture and en passant squares
// must be a real pawn capture of that colour (reach), so that a stale table
// move between unrelated squares is never turned into one.
AppliedMove pawn_move(int from, int to, int pawn) {
  const bool white = pawn == PAWN;
  const int target = pos.board[to];
  const int d = white ? to - from : from - to;
  const bool last_rank = white ? to > 55 : to < 8;
  const bool capture_line = reach[white ? 6 : 7][from][to] != 0;
  // Step 1. Single push.
  if (target == EMPTY && d == 8) {
    if (last_rank) prepare_promotion(from, pawn);
    return make_prepared(from, to);
  }
  // Step 2. Double step from the home rank over an empty square.
  if (target == EMPTY && d == 16 &&
      rank_of(from) == (white ? WHITE_PAWN_HOME_RANK : BLACK_PAWN_HOME_RANK) &&
      pos.board[white ? from + 8 : from - 8] == EMPTY) {
    if (white) pos.ep_white_pawn = static_cast<int16_t>(to);
    else pos.ep_black_pawn = static_cast<int16_t>(to);
    return make_prepared(from, to);
  }
  // Step 3. Capture of an enemy piece.
  if (target != EMPTY && colour_of(target) != colour_of(pawn) && (d == 7 || d == 9) && capture_line) {
    if (last_rank) prepare_promotion(from, pawn);
    return make_prepared(from, to);
  }
  // Step 4. En passant: the victim leaves the board before the make.
  const int victim = white ? pos.ep_black_pawn : pos.ep_white_pawn;
  if (victim != 0 && target == EMPTY && to == (white ? victim + 8 : victim - 8) && capture_line) {
    prepare_en_passant(victim);
    return make_prepared(from, to);
  }
  return {false, false};
}

// Castling, recognised as a king moving two files. A move from a table
// must also find the castling still possible: king and rook unmoved on
// their squares, the squares between empty and none of the king's three
// squares attacked.
AppliedMove castling_move(int from, int to, int king, bool from_table) {
  if (from != (king == KING ? E1 : E8)) return {false, false};
  if (from_table && !castling_possible(from, to)) return {false, false};
  prepare_castling(from, to);
  return make_prepared(from, to);
}

// Castling by the general rule, the king taking its own rook. A move from
// a table must find that rook still the castling rook and the castling
// still possible.
AppliedMove castling960_move(int from, int to, int king, bool from_table) {
  const int colour = colour_of(king);
  const bool kingside = to > from;
  if (to != pos.castle_rook_sq[(colour ? 2 : 0) + (kingside ? 0 : 1)]) return {false, false};
  if (from_table && !castling960_possible(colour, kingside)) return {false, false};
  if (make_castling(from, to)) return {true, true};
  unmake_move(Unmake::keep_counters);
  return {true, false};
}

}  // namespace

AppliedMove apply_search_move(int from, int to, MoveSource source) {
  const bool from_table = source == MoveSource::table;
  const int piece = pos.board[from];
  const int target = pos.board[to];
  if (piece == EMPTY) return {false, false};
  const int type = type_of(piece);

  // Pawns: the preparation of promotions, double steps and en passant.
  if (type == PAWN) return pawn_move(from, to, piece);

  // Fischer random chess: a king taking its own rook castles.
  if (type == KING && control.chess960) {
    if (target == (ROOK | colour_of(piece))) return castling960_move(from, to, piece, from_table);
  } else if (type == KING) {
    // A king moving two files castles.
    const int files = file_of(to) - file_of(from);
    if (files == 2 || files == -2) return castling_move(from, to, piece, from_table);
  }

  // Any other move: a slider from a table needs its line still open, and
  // no piece captures its own side.
  if (from_table && (type == QUEEN || type == ROOK || type == BISHOP) && !path_clear(from, to))
    return {false, false};
  if (target != EMPTY && colour_of(target) == colour_of(piece)) return {false, false};
  return make_prepared(from, to);
}

void find_checkers(const int32_t* check_record) {
  // The root position is ply 0, so its check information lives in row 1:
  // exactly the row the attack scan fills for "the position after ply".
  // The king on the record's square decides which colour checks it.
  const int16_t saved_ply = pos.ply;
  pos.ply = 0;
  count_checkers(check_record[1]);
  pos.ply = saved_ply;
}


namespace {

// Extensions in hundredths of a ply.
constexpr int32_t RECAPTURE_EXTENSION = 60;
constexpr int32_t CHECK_EVASION_EXTENSION = 75;
constexpr int32_t SINGLE_REPLY_EXTENSION = 50;
constexpr int32_t PROMOTION_EXTENSION = 100;
constexpr int32_t SEVENTH_RANK_EXTENSION = 100;
// At most this many capture extensions on one path.
constexpr int MAX_RECAPTURE_EXTENSIONS = 2;
// Extensions and reductions stop once this many quiet moves of a node
// could not bring the material back to alpha.
constexpr int HOPELESS_LIMIT = 3;
constexpr int32_t HOPELESS_MARGIN = 380;
constexpr int32_t RECAPTURE_MARGIN = 280;

// Reductions of quiet moves that leave the material far below alpha.
constexpr int32_t FRONTIER_MARGIN = 175;   // remaining depth below 2: one ply
constexpr int32_t PRE_FRONTIER_MARGIN = 500;  // remaining depth 2: two plies
// Deeper: one ply when alpha is out of reach by this margin.
int32_t futility_margin(int r) {
  if (r <= 2) return 0;
  if (r <= 4) return 500;
  if (r <= 6) return 700;
  if (r <= 8) return 900;
  return 1500;
}

// Null move and multi-cut need a window clear of mate scores.
constexpr int32_t PRUNING_BETA_LIMIT = MATE_BOUND;
// The opponent's last move landed this close to our king: no null move.
constexpr int NULL_MOVE_KING_ZONE = 2;
// Multi-cut: picks tried, fail highs needed, and its depth reductions.
constexpr int MULTI_CUT_PICKS = 4;
constexpr int MULTI_CUT_NEEDED = 2;
constexpr int MULTI_CUT_MIN_ITERATION = 5;

// Move picker: winning captures carry keys from here on, and are looked
// for among the first FRONT_ENTRIES entries (board/movegen.h); the rest is
// sorted for a few picks only.
constexpr int32_t WINNING_CAPTURE_KEY = 4000;
constexpr int SORTED_PICKS = 5;

// Plies reserved for the activity term: recomputed where this much depth remains.
constexpr int ACTIVITY_MIN_DEPTH = 2;

int32_t eval_for(int p, int32_t alpha, int32_t beta) {
  const int32_t e = evaluate(alpha, beta);
  return (p & 1) ? -e : e;
}

// What the picker hands out: a move to try, a repeat of the table move
// that is skipped, the empty pick that opens the killer phase, or the end.
enum class PickKind { move, skip, empty, end };

struct Pick {
  PickKind kind;
  int from, to;
  MoveSource source;
};

// The five-phase move picker of one node, working on move_list[q].
// Every phase stays within the moves generated at this ply: a row keeps
// stale entries from earlier nodes beyond its count.
class MovePicker {
 public:
  MovePicker(int side, int q, bool checked, int table_from, int table_to)
      : side_(side), q_(q), check_(checked), table_from_(table_from), table_to_(table_to) {}

  Pick next() {
    for (;;) {
      switch (phase_) {
        case Phase::table: {
          phase_ = Phase::captures;
          if (table_move_usable()) {
            tried_from_ = table_from_;
            tried_to_ = table_to_;
            return {PickKind::move, table_from_, table_to_, MoveSource::table};
          }
          break;
        }
        case Phase::captures: {
          generate();
          const int n = count_ < FRONT_ENTRIES ? count_ : FRONT_ENTRIES;
          const int i = best_untried(n);
          if (i >= 0 && row()[i].key >= WINNING_CAPTURE_KEY) return take(i, MoveSource::generated);
          phase_ = Phase::killers;
          return {PickKind::empty, NO_SQUARE, NO_SQUARE, MoveSource::generated};
        }
        case Phase::killers: {
          const int slots = search_path.killer_slots < KILLER_SLOTS ? search_path.killer_slots : KILLER_SLOTS;
          while (!check_ && killer_ < slots && search_path.killer_table[killer_][q_].from != NO_SQUARE) {
            const KillerEntry& k = search_path.killer_table[killer_++][q_];
            for (int i = 0; i < count_; ++i)
              if (row()[i].piece != 0 && row()[i].from == k.from && row()[i].to == k.to)
                return take(i, MoveSource::table);
          }
          phase_ = Phase::rest;
          break;
        }
        case Phase::rest: {
          int i = -1;
          if (rest_picks_ < SORTED_PICKS) {
            i = best_untried(count_);
          } else {
            // Entries are only ever taken, never given back, so the walk
            // resumes where the last one stopped instead of from the start.
            for (; first_open_ < count_ && i < 0; ++first_open_)
              if (row()[first_open_].piece != 0 && row()[first_open_].key >= 0) i = first_open_;
          }
          if (i < 0) {
            phase_ = Phase::done;
            break;
          }
          ++rest_picks_;
          return take(i, MoveSource::generated);
        }
        case Phase::done:
          return {PickKind::end, NO_SQUARE, NO_SQUARE, MoveSource::generated};
      }
    }
  }

  // Moves generated at this node; 0 before the generation.
  int generated_count() const { return generated_ ? count_ : 0; }
  int tried_from() const { return tried_from_; }
  int tried_to() const { return tried_to_; }

 private:
  enum class Phase { table, captures, killers, rest, done };

  MoveEntry* row() const { return pos.move_list[q_]; }

  void generate() {
    if (generated_) return;
    generated_ = true;
    count_ = generate_moves(side_, check_ ? GenMode::evasions : GenMode::regular);
  }

  // A table move is only tried when it can still be a move of the side to
  // move: its piece is there and reaches the square, or it is a pawn
  // (whose rules apply_search_move checks) or a castling king. In check
  // it must be one of the generated evasions, because make_move trusts
  // every move made in check to answer it.
  bool table_move_usable() {
    if (table_from_ > 63 || table_to_ > 63) return false;
    const int piece = pos.board[table_from_];
    if (piece == EMPTY || colour_of(piece) != side_) return false;
    const int type = type_of(piece);
    const int files = file_of(table_to_) - file_of(table_from_);
    if (!(type == PAWN || reach[type][table_from_][table_to_] || (type == KING && (files == 2 || files == -2))))
      return false;
    if (!check_) return true;
    generate();
    for (int i = 0; i < count_; ++i)
      if (row()[i].from == table_from_ && row()[i].to == table_to_) return true;
    return false;
  }

  // The untried entry with the highest key among the first n, the earlier
  // one on equal keys; keys below 0 are never picked. -1 when none.
  int best_untried(int n) const {
    int best = -1;
    for (int i = 0; i < n; ++i) {
      const MoveEntry& e = row()[i];
      if (e.piece == 0 || e.key < 0) continue;
      if (best < 0 || e.key > row()[best].key) best = i;
    }
    return best;
  }

  Pick take(int i, MoveSource source) {
    MoveEntry& e = row()[i];
    e.piece = 0;
    if (e.from == tried_from_ && e.to == tried_to_) return {PickKind::skip, e.from, e.to, MoveSource::generated};
    return {PickKind::move, e.from, e.to, source};
  }

  const int side_, q_;
  const bool check_;
  const int table_from_, table_to_;
  int tried_from_ = NO_SQUARE, tried_to_ = NO_SQUARE;
  Phase phase_ = Phase::table;
  bool generated_ = false;
  int count_ = 0;
  int killer_ = 0;
  int rest_picks_ = 0;
  // Every entry before it is taken or never to be picked.
  int first_open_ = 0;
};

// The extension a move earns, in hundredths of a ply (the first rule that
// applies), and whether it counts as a capture extension.
struct Extension {
  int32_t amount;
  bool recapture;
};

Extension extension_for(int q, int moved, int to, int victim, int32_t alpha, int32_t mat, bool check,
                        int single_reply) {
  const int vtype = type_of(victim);
  if (vtype >= QUEEN && vtype <= KNIGHT && search_path.recapture_ext_count < MAX_RECAPTURE_EXTENSIONS &&
      alpha <= mat + RECAPTURE_MARGIN) {
    const int prev = pos.ply_stack[q - 1].captured_value;
    if (pos.material == search_path.root_material || (prev < 0 ? -prev : prev) == piece_value[vtype])
      return {RECAPTURE_EXTENSION, true};
  }
  if (victim != EMPTY && type_of(moved) == KING) return {RECAPTURE_EXTENSION, true};
  if (check) return {CHECK_EVASION_EXTENSION + (single_reply ? SINGLE_REPLY_EXTENSION : 0), false};
  if (pos.ply_stack[q].promo != 0) return {PROMOTION_EXTENSION, false};
  if (moved == PAWN && to >= 48 && to <= 55) return {SEVENTH_RANK_EXTENSION, false};
  if (moved == PAWN + BLACK && to >= 8 && to <= 15) return {SEVENTH_RANK_EXTENSION, false};
  return {0, false};
}

void add_extension(const Extension& e) {
  search_path.ext_hundredths += e.amount;
  if (e.recapture) ++search_path.recapture_ext_count;
  search_path.ext_plies = static_cast<int16_t>(search_path.ext_hundredths / 100);
}

void take_back_extension(const Extension& e) {
  search_path.ext_hundredths -= e.amount;
  if (e.recapture) --search_path.recapture_ext_count;
  search_path.ext_plies = static_cast<int16_t>(search_path.ext_hundredths / 100);
}

// Depth taken off a quiet move that cannot bring the material back to alpha.
int reduction_for(int q, int32_t alpha, int32_t mat) {
  const int r = search_path.nominal_depth + search_path.ext_plies - q;
  if (r < 2 && alpha > mat + FRONTIER_MARGIN) return 1;
  if (r == 2 && alpha > mat + PRE_FRONTIER_MARGIN) return 2;
  if (r > 2 && alpha > mat + futility_margin(r)) return 1;
  return 0;
}

}  // namespace

void push_ply(int q) {
  StateRecord& prev = pos.state_stack[q - 1];
  StateRecord& cur = pos.state_stack[q];
  static_cast<CastlingCounters&>(cur) = prev;
  cur.best_from = 0;
  cur.best_to = 0;
  pos.ply = static_cast<int16_t>(q);
  pos.state_top = &cur;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

void pop_ply(int p) {
  pos.ply = static_cast<int16_t>(p);
  pos.state_top = &pos.state_stack[p];
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

void record_pv(int q, int from, int to) {
  // The search never goes past its ply limit, and the line below was
  // recorded in a row of the same table: it always fits behind the move.
  BREVALT_ASSERT(q >= 0 && q < MAX_PLY);
  PvEntry* row = search_path.pv_table[q];
  row[0] = PvEntry{static_cast<uint8_t>(from), static_cast<uint8_t>(to), pos.board[to], pos.ply_stack[q].captured_value};
  const int below = q + 1 < MAX_PLY ? search_path.pv_length[q + 1] : 0;
  BREVALT_ASSERT(below >= 0 && below <= MAX_PLY - 1);
  for (int i = 0; i < below; ++i) row[i + 1] = search_path.pv_table[q + 1][i];
  search_path.pv_length[q] = below + 1;
  if (q + 1 < MAX_PLY) search_path.pv_length[q + 1] = 0;
}

int32_t search_node(int side, int32_t alpha, int32_t beta, NullMove null_move, MultiCut multi_cut) {
  const int p = pos.ply;
  const int other = side ^ BLACK;

  // Step 1. Bounds of the ply tables.
  if (p + 1 >= search_path.max_search_ply) return eval_for(p, alpha, beta);

  // Step 2. The move into this node made it a draw.
  if (search_path.draw_flag) {
    search_path.follow_pv = 0;
    return eval_for(p, alpha, beta);
  }

  // Step 3. Horizon: quiescence, unless a check still earns an extension.
  const int depth = search_path.nominal_depth + search_path.ext_plies;
  if (p >= depth && !(pos.in_check[p + 1] && search_path.ext_plies < search_path.max_ext_plies)) {
    if (search_path.iteration_depth == 2) analyse_root_move();
    search_path.quiescence_mode = 1;
    search_path.horizon_qs = 1;
    search_path.first_qs_generation = 0;
    const int32_t v = quiesce(side, alpha, beta, QsNode::entry);
    search_path.horizon_qs = 0;
    search_path.quiescence_mode = 0;
    return v;
  }

  // Step 4. Repetition along the path and in the game.
  const KeyPair rep_key = side_key(side, pos.hash_lo, pos.hash_hi);
  int32_t rep_slot = -1;
  if (search_path.null_depth == 0) {
    const RepVisit visit = rep_enter(rep_key, side);
    if (visit.repeated) {
      search_path.draw_flag = 1;
      return eval_for(p, alpha, beta);
    }
    rep_slot = visit.slot;
  }

  // Step 5. The table move: the previous iteration's line while we follow
  // it, else the transposition tables, which may end the node at once.
  int table_from = NO_SQUARE, table_to = NO_SQUARE;
  if (search_path.pv_valid[p] && search_path.follow_pv) {
    table_from = search_path.pv_table[0][p].from;
    table_to = search_path.pv_table[0][p].to;
    search_path.pv_valid[p] = 0;
  } else {
    search_path.follow_pv = 0;
    const TtProbe t = tt_probe(side, depth - (p + 1), alpha, beta);
    if (t.cut) {
      rep_leave(rep_slot, rep_key);
      return t.score;
    }
    alpha = t.alpha;
    table_from = t.from;
    table_to = t.to;
  }

  // Step 6. Push.
  const int q = p + 1;
  push_ply(q);
  const bool check = pos.in_check[q] != 0;
  int32_t result = alpha;
  bool stopped = false;

  // Steps 7 to 9 decide in a block so that every early return pops and
  // leaves the repetition table the same way.
  bool done = false;
  {
    int r = depth - q;
    // Step 7. Null move: pass, and see whether the opponent can still
    // reach beta with a reduced search. Not in check, not next to a king
    // the opponent just approached, not with mate scores in the window.
    bool try_null = null_move == NullMove::allowed && search_path.null_move_allowed && !check && r >= 1 && !search_path.follow_pv && beta < PRUNING_BETA_LIMIT;
    if (try_null) {
      const PlyRecord& last = pos.ply_stack[q - 1];
      const int king = pos.king_square(side);
      const int dr = rank_of(last.to) - rank_of(king), df = file_of(last.to) - file_of(king);
      if (type_of(last.moved) != KING && dr <= NULL_MOVE_KING_ZONE && dr >= -NULL_MOVE_KING_ZONE &&
          df <= NULL_MOVE_KING_ZONE && df >= -NULL_MOVE_KING_ZONE)
        try_null = false;
    }
    if (try_null) {
      const int reduction = r <= 2 ? 2 : 3;
      search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth - reduction);
      ++search_path.null_depth;
      search_path.null_move_ply = static_cast<int16_t>(q);
      pos.in_check[q + 1] = 0;
      pos.checker_square[q + 1] = 0;
      PlyRecord& rec = pos.ply_stack[q];
      rec.saved_ep_black_pawn = static_cast<uint8_t>(pos.ep_black_pawn);
      rec.saved_ep_white_pawn = static_cast<uint8_t>(pos.ep_white_pawn);
      pos.ep_black_pawn = pos.ep_white_pawn = 0;
      const int32_t score = -search_node(other, -beta, -beta + 1, NullMove::barred, MultiCut::allowed);
      pos.ep_black_pawn = rec.saved_ep_black_pawn;
      pos.ep_white_pawn = rec.saved_ep_white_pawn;
      rec.saved_ep_black_pawn = rec.saved_ep_white_pawn = 0;
      search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth + reduction);
      --search_path.null_depth;
      // A draw found below the null move belongs to that line, not to ours.
      search_path.draw_flag = 0;
      if (control.stop_search) {
        stopped = true;
        done = true;
      } else if (score >= beta) {
        result = score;
        done = true;
      }
    }

    // Step 8. Multi-cut: when two of the first few moves already fail high
    // at a reduced depth, this node is taken to fail high too.
    if (!done && multi_cut == MultiCut::allowed && !check && search_path.iteration_depth > MULTI_CUT_MIN_ITERATION && r > 3 &&
        !search_path.follow_pv && beta < PRUNING_BETA_LIMIT) {
      const int reduction = (r > 5 && q < 4) ? 4 : 3;
      search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth - reduction);
      search_path.multi_cut_hit = 0;
      multi_cut_probe(side, alpha, beta, NullMove::allowed);
      search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth + reduction);
      if (search_path.multi_cut_hit) {
        search_path.multi_cut_hit = 0;
        result = beta;
        done = true;
      }
    }

    // Step 9. The activity term, fresh for the subtree.
    r = search_path.nominal_depth + search_path.ext_plies - q;
    if (!done && r > ACTIVITY_MIN_DEPTH && !search_path.root_endgame) search_path.activity_sum = compute_activity_sum();
  }

  if (!done) {
    // Step 10. The move loop.
    MovePicker picker(side, q, check, table_from, table_to);
    bool alpha_raised = false, failed_high = false, result_is_draw = false;
    int legal_moves_made = 0;
    int hopeless = 0;
    int cut_from = NO_SQUARE, cut_to = NO_SQUARE, cut_piece = 0;
    bool cut_captured = false;
    bool table_move_pending = table_from != NO_SQUARE;

    while (!control.stop_search) {
      const Pick pick = picker.next();
      if (pick.kind == PickKind::end) break;
      if (pick.kind != PickKind::move) continue;
      const int from = pick.from, to = pick.to;
      const int moved = pos.board[from];

      // A child short of the horizon starts with a repetition and two
      // table probes at random places in large tables; asking for those
      // lines now lets the move's making overlap the wait on memory.
      if (q < search_path.nominal_depth + search_path.ext_plies) prefetch_node_entries(child_key_lo(from, to), other);
      const AppliedMove made = apply_search_move(from, to, pick.source);
      if (made.made && made.legal) {
        ++legal_moves_made;
        const PlyRecord& rec = pos.ply_stack[q];
        const int victim = rec.captured;
        const bool quiet = victim == EMPTY;

        // Step 10.1. Material after the move, from the mover's view.
        int32_t mat = pos.material * control.engine_side;
        if ((q & 1) == 0) mat = -mat;
        if (mat + HOPELESS_MARGIN < alpha && alpha < MATE_BOUND && alpha > -MATE_BOUND && quiet) ++hopeless;

        // Step 10.2. Extensions, for a move whose piece cannot simply be
        // won on its new square (always when answering a check). The
        // exchange is only worked out for a move that would be extended.
        Extension ext{0, false};
        if (search_path.iteration_depth > 2 && search_path.ext_plies < search_path.max_ext_plies && search_path.null_depth == 0 && hopeless < HOPELESS_LIMIT) {
          ext = extension_for(q, moved, to, victim, alpha, mat, check, picker.generated_count() == 1);
          if (ext.amount && !check && exchange_loss(to) != 0) ext = Extension{0, false};
          if (ext.amount) add_extension(ext);
        }

        // Step 10.3. Reductions of quiet moves that neither check nor answer a check.
        int reduction = 0;
        if (quiet && ext.amount == 0 && !check && !pos.in_check[q + 1]) {
          reduction = reduction_for(q, alpha, mat);
          search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth - reduction);
        }

        // Step 10.4. Search: the full window until alpha is raised, then a
        // null window with a re-search when the move turns out better.
        int32_t score;
        if (!alpha_raised) {
          score = -search_node(other, -beta, -alpha, NullMove::allowed, MultiCut::allowed);
        } else {
          score = -search_node(other, -alpha - 1, -alpha, NullMove::allowed, MultiCut::allowed);
          if (score > alpha && score < beta && !control.stop_search) {
            search_path.draw_flag = 0;
            score = -search_node(other, -beta, -alpha - 1, NullMove::allowed, MultiCut::barred);
          }
        }

        // Step 10.5. A stop: the move is taken back and the loop left.
        if (control.stop_search) {
          unmake_move(Unmake::full);
          take_back_extension(ext);
          search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth + reduction);
          break;
        }

        // Step 10.6. A result resting on a draw is not stored.
        const bool child_draw = search_path.draw_flag != 0;
        if (child_draw) {
          result_is_draw = true;
          search_path.draw_flag = 0;
        }

        // Step 10.7. Fail high.
        if (score >= beta) {
          cut_captured = rec.captured != EMPTY;
          unmake_move(Unmake::full);
          take_back_extension(ext);
          search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth + reduction);
          cut_from = from;
          cut_to = to;
          cut_piece = pos.board[from];
          result = beta;
          if (!child_draw) result_is_draw = false;
          if (alpha_raised) search_path.pv_length[q] = 0;
          failed_high = true;
          break;
        }

        // Step 10.8. A new best move.
        if (score > alpha) {
          alpha = score;
          pos.state_top->best_score = static_cast<int16_t>(score);
          pos.state_top->best_from = static_cast<int16_t>(from);
          pos.state_top->best_to = static_cast<int16_t>(to);
          pos.state_top->best_piece = pos.board[to];
          record_pv(q, from, to);
          if (!child_draw) result_is_draw = false;
          alpha_raised = true;
        }

        // Step 10.9. The move is taken back.
        unmake_move(Unmake::full);
        take_back_extension(ext);
        search_path.nominal_depth = static_cast<int16_t>(search_path.nominal_depth + reduction);
      }

      // Step 10.10. The table move has had its turn (or was not usable).
      if (table_move_pending) {
        table_move_pending = false;
        search_path.follow_pv = 0;
      }
    }
    stopped = control.stop_search != 0;

    // Step 12. No legal move: mate or stalemate.
    if (!failed_high) result = alpha;
    if (legal_moves_made == 0 && !stopped) {
      if (check) {
        result = q - MATE_SCORE;
      } else {
        search_path.draw_flag = 1;
        result = evaluate(alpha, beta);
        if ((q & 1) == 0) result = -result;
        result_is_draw = true;
      }
    }

    // Step 14. Store, and teach the ordering tables.
    search_path.follow_pv = 0;
    const int32_t abs_result = result < 0 ? -result : result;
    if (!result_is_draw && !stopped && !check && abs_result < MATE_BOUND) {
      if (failed_high) tt_store(side, result, depth - q, BOUND_LOWER, cut_from, cut_to);
      else if (alpha_raised)
        tt_store(side, result, depth - q, BOUND_EXACT, pos.state_top->best_from, pos.state_top->best_to);
      else tt_store(side, result, depth - q, BOUND_UPPER, NO_SQUARE, NO_SQUARE);
    }
    if (!stopped) {
      if (failed_high && !cut_captured && !check) killer_update(cut_from, cut_to);
      if (q + 2 < search_path.nominal_depth) {
        const int32_t bonus = search_path.nominal_depth - q;
        if (failed_high && !cut_captured) history_add(cut_from, cut_to, cut_piece, bonus);
        if (alpha_raised && pos.board[pos.state_top->best_to] == EMPTY)
          history_add(pos.state_top->best_from, pos.state_top->best_to, pos.board[pos.state_top->best_from], bonus);
      }
    }
  }

  // Steps 15 and 16. Pop, and leave the repetition table as it was.
  pop_ply(p);
  if (search_path.null_depth == 0) rep_leave(rep_slot, rep_key);
  return result;
}

int32_t multi_cut_probe(int side, int32_t alpha, int32_t beta, NullMove null_move) {
  const int q = pos.ply;
  const bool check = pos.in_check[q] != 0;
  // Step 1. The stored move only; no cut-offs here.
  int table_from = NO_SQUARE, table_to = NO_SQUARE;
  if (!check) {
    const TtProbe t = tt_move(side);
    table_from = t.from;
    table_to = t.to;
  }
  // Steps 2 to 4. The first few moves, each searched at the reduced depth
  // with its fail high counted.
  MovePicker picker(side, q, check, table_from, table_to);
  int32_t a = alpha, best = alpha;
  int fail_highs = 0;
  for (int picks = 0; picks < MULTI_CUT_PICKS; ++picks) {
    const Pick pick = picker.next();
    if (pick.kind == PickKind::end) break;
    if (pick.kind != PickKind::move) continue;
    const AppliedMove made = apply_search_move(pick.from, pick.to, pick.source);
    if (!made.made || !made.legal) continue;
    const int32_t score = -search_node(side ^ BLACK, -beta, -a, null_move, MultiCut::barred);
    search_path.draw_flag = 0;
    if (control.stop_search) {
      unmake_move(Unmake::full);
      return best;
    }
    if (score >= beta) {
      a = beta - 1;
      if (++fail_highs == 1) {
        pos.state_top->best_score = static_cast<int16_t>(score);
        pos.state_top->best_from = static_cast<int16_t>(pick.from);
        pos.state_top->best_to = static_cast<int16_t>(pick.to);
        pos.state_top->best_piece = pos.board[pick.to];
      }
      if (fail_highs == MULTI_CUT_NEEDED) {
        search_path.multi_cut_hit = 1;
        unmake_move(Unmake::full);
        return beta;
      }
    } else if (score > a) {
      a = score;
      best = score;
    }
    unmake_move(Unmake::full);
  }
  return best;
}

}  // namespace brevalt

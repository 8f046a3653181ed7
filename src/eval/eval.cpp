// The static evaluation. One pass builds a running score S from White's
// view: material, the piece and pawn terms, king exposure, the
// material-draw rules and the perpetual-check damping; the result is then
// turned to the engine's view and the search-side terms are added.
#include "eval/eval.h"

#include "board/makemove.h"
#include "board/position.h"
#include "board/rays.h"
#include "core/control.h"
#include "core/platform.h"
#include "core/search_state.h"
#include "eval/king.h"
#include "eval/pawns.h"
#include "eval/pieces.h"

#include <bit>
#include <initializer_list>


namespace brevalt {
constinit BREVALT_THREAD_LOCAL EvalCache eval_cache;

const uint8_t square_colour[64] = {
    2, 1, 2, 1, 2, 1, 2, 1,  1, 2, 1, 2, 1, 2, 1, 2,  2, 1, 2, 1, 2, 1, 2, 1,  1, 2, 1, 2, 1, 2, 1, 2,
    2, 1, 2, 1, 2, 1, 2, 1,  1, 2, 1, 2, 1, 2, 1, 2,  2, 1, 2, 1, 2, 1, 2, 1,  1, 2, 1, 2, 1, 2, 1, 2};


namespace {

// Material lead: the side ahead by more than a small margin gets a bonus,
// so that trading down while ahead pays.
constexpr int LEAD_MARGIN = 60;
constexpr int LEAD_BONUS = 28;

// Endgame mode: the opponent's pieces are worth less than this.
constexpr int ENDGAME_OPPONENT_MATERIAL = 1700;

// Lazy exit: when material alone is this far outside the window, the
// positional terms cannot bring the score back into it.
constexpr int LAZY_MARGIN = 350;
constexpr int LAZY_MIN_DEPTH = 4;  // nominal depth above this
constexpr int LAZY_MIN_PLY = 3;    // ply above this

// Draw score by rating difference (the engine's rating minus the opponent's).
constexpr int DRAW_CLOSE_RATING = 100, DRAW_CLOSE_SCORE = -20;
constexpr int DRAW_NEAR_RATING = 200, DRAW_NEAR_SCORE = -40;
constexpr int DRAW_FAR_SCORE = -70;

// Advanced rooks, bishops and knights, by count (more than seven after
// promotions scores as seven).
constexpr int advanced_piece_table[8] = {0, 8, 16, 24, 32, 40, 48, 56};

// A king that has not castled and lies open to attack: tropism beyond
// this costs up to EXPOSED_KING_MAX; below it a token EXPOSED_KING_LOW.
constexpr int EXPOSED_KING_TROPISM = 140;
constexpr int EXPOSED_KING_LOW = 5;
constexpr int EXPOSED_KING_MAX = 18;
// Attack units that still count as no attack, with and without a queen.
constexpr int SAFE_ATTACK_UNITS = 4, SAFE_ATTACK_UNITS_WITH_QUEEN = 3;

// Early queen: off its home square while the minors are still at home.
constexpr int QUEEN_OUT_EARLY = 25;
constexpr int QUEEN_ON_BACK_RANK = 10;

// Endgame: a knight is poor when the pawns stand on both wings.
constexpr int WIDE_PAWN_SPAN = 3;
constexpr int KNIGHT_WIDE_PAWNS = 20;

// Material-draw rules.
constexpr int LONE_ROOK_OR_QUEEN = 300;
constexpr int ROOK_AGAINST_MINOR = 180;
constexpr int MINOR_AND_ROOK_AGAINST_ROOK = 410;
constexpr int ONE_PIECE_EACH_PAWN = 50;
constexpr int LONE_MINOR_AGAINST_PAWNS = 200;

// Perpetual check: a run of this many checks by one piece damps the score.
constexpr int CHECK_RUN_DAMPING = 4;
constexpr int DAMPING_DIVISOR = 3;

// The root piece retreats at once: a wasted tempo.
constexpr int RETREAT_PENALTY = 15;

// Static scores stay clear of the mate band, whatever the material.
constexpr int STATIC_LIMIT = 8999;

void clear_side(SideCounts& c) {
  c = SideCounts{};
  c.minors_developed = 1;
  c.low_file = 9;
  c.high_file = -1;
}

// The pieces and pawns on the board as bits numbered file * 8 + rank:
// visited lowest bit first they come in the order of a board scan from
// file a to h, rank 1 to 8 within a file, so "first" and "last" mean the
// same on a cache hit as on a miss. The piece lists hold exactly these
// pieces (the position check after every make and unmake says so), so the
// board is read directly, sixteen squares at a time. Answers the occupied
// squares in board order as well: the piece terms test rook lines on them.
uint64_t collect(uint64_t& pieces, uint64_t& pawns) {
  const uint64_t pawn_squares = squares_of_type(PAWN);
  const uint64_t king_squares = squares_of_type(KING);
  const uint64_t occupied = occupied_squares();
  pawns = file_major(pawn_squares);
  pieces = file_major(occupied & ~pawn_squares & ~king_squares);
  return occupied;
}

// Safe from attack: settled, and the enemy has too little to attack with.
bool safe_from_attack(const SideCounts& own, const SideCounts& enemy) {
  return own.king_settled && enemy.attack_units <= SAFE_ATTACK_UNITS &&
         (enemy.queen_square == 0 || enemy.attack_units <= SAFE_ATTACK_UNITS_WITH_QUEEN);
}

// A king not yet castled that the enemy could attack: the closer the
// enemy pieces, the more it costs.
int exposed_king_charge(const SideCounts& own, const SideCounts& enemy, int castled) {
  if (castled != 0 || own.safe) return 0;
  int x = enemy.tropism - EXPOSED_KING_TROPISM;
  if (x < 0) x = EXPOSED_KING_LOW;
  if (x > EXPOSED_KING_MAX) x = EXPOSED_KING_MAX;
  return x;
}

// A queen that left home before the minor pieces did.
int early_queen_charge(const SideCounts& c, int home, int back_rank) {
  if (c.queen_square == 0) return 0;
  const int q = c.queen_square - 1;
  if (q == home) return 0;
  if (!c.minors_developed) return QUEEN_OUT_EARLY;
  return rank_of(q) == back_rank ? QUEEN_ON_BACK_RANK : 0;
}

// Outcome of the material-draw rules.
enum class DrawRule { none, draw };

DrawRule material_draw_rules(const EvalCounts& ec, int& s) {
  const SideCounts& w = ec.white;
  const SideCounts& b = ec.black;
  const int p = ec.pawns, n = ec.pieces;
  bool skip_lone_minor = false;
  if (p == 0) {
    if (n == 0) return DrawRule::draw;
    if (n == 1) {
      if (w.minors + b.minors == 1) return DrawRule::draw;
      s += w.attack_units > 0 ? LONE_ROOK_OR_QUEEN : -LONE_ROOK_OR_QUEEN;
    } else if (n == 2) {
      if (w.minors >= 1 && b.minors >= 1) return DrawRule::draw;
      if (w.minors >= 1 && b.rooks) s += ROOK_AGAINST_MINOR;
      if (b.minors >= 1 && w.rooks) s -= ROOK_AGAINST_MINOR;
    } else if (n == 3) {
      if ((w.minors == 2 && b.minors >= 1) || (b.minors == 2 && w.minors >= 1 && w.minors < 2))
        return DrawRule::draw;
      if (w.minors == 1 && w.rooks && b.rooks) s -= MINOR_AND_ROOK_AGAINST_ROOK;
      if (b.minors == 1 && b.rooks && w.rooks) s += MINOR_AND_ROOK_AGAINST_ROOK;
    } else if (n == 4) {
      if (w.minors == 2 && b.minors == 2) return DrawRule::draw;
    }
  } else if (p == 1) {
    if (n == 1) {
      if ((b.minors >= 1 && w.pawns == 1) || (w.minors >= 1 && b.pawns == 1)) {
        s = 0;
        skip_lone_minor = true;
      }
    } else if (n == 2 && w.attack_units >= 1 && b.attack_units >= 1) {
      s += b.pawns == 1 ? ONE_PIECE_EACH_PAWN : -ONE_PIECE_EACH_PAWN;
    }
  }
  // A lone minor against pawns cannot win; the pawns may.
  if (!skip_lone_minor) {
    if (w.pawns == 0 && b.pawns >= 1 && w.attack_units == 1 && w.minors >= 1) s -= LONE_MINOR_AGAINST_PAWNS;
    else if (b.pawns == 0 && w.pawns >= 1 && b.attack_units == 1 && b.minors >= 1) s += LONE_MINOR_AGAINST_PAWNS;
  }
  return DrawRule::none;
}

}  // namespace

int draw_score() {
  if (search_path.root_endgame) return 0;
  if (game_clock.opponent_rating > game_clock.own_rating) return 0;
  if (game_clock.opponent_rating > game_clock.own_rating - DRAW_CLOSE_RATING) return DRAW_CLOSE_SCORE;
  if (game_clock.opponent_rating > game_clock.own_rating - DRAW_NEAR_RATING) return DRAW_NEAR_SCORE;
  return DRAW_FAR_SCORE;
}

namespace {

// The evaluation, and with Trace the running score after each group of
// terms written to *trace (White's view, before the conversion to the
// engine's). evaluate() is the plain instance: the trace costs it nothing.
template <bool Trace>
int evaluate_terms(int alpha, int beta, EvalTrace* trace) {
  // Step 1. A position the search judged drawn.
  if (search_path.draw_flag) return draw_score();

  // Step 2. Material, with a bonus for a clear lead.
  const int m = pos.material;
  int s = m > LEAD_MARGIN ? m + LEAD_BONUS : m < -LEAD_MARGIN ? m - LEAD_BONUS : m;
  if constexpr (Trace) trace->material = s;

  // Step 3. Endgame mode.
  EvalCounts ec;
  ec.endgame_mode = search_path.opponent_material < ENDGAME_OPPONENT_MATERIAL || search_path.root_endgame;

  // Step 4. Lazy exit, in the side-to-move view of the caller's window.
  const bool odd = (pos.ply & 1) != 0;
  if (!ec.endgame_mode && beta < MATE_BOUND && beta > -MATE_BOUND && alpha < MATE_BOUND &&
      alpha > -MATE_BOUND && search_path.nominal_depth > LAZY_MIN_DEPTH && pos.ply > LAZY_MIN_PLY) {
    const int est = odd ? -(s * control.engine_side) : s * control.engine_side;
    if (beta <= est - LAZY_MARGIN) return odd ? -beta : beta;
    if (alpha >= est + LAZY_MARGIN) return odd ? -alpha : alpha;
  }

  // Step 5. King flags.
  clear_side(ec.white);
  clear_side(ec.black);
  ec.pieces = ec.pawns = 0;
  ec.white.king_settled = pos.white_castled != 0 || (pos.white_king_sq() < 24 && pos.white_king_sq() != E1);
  ec.black.king_settled = pos.black_castled != 0 || (pos.black_king_sq() > 39 && pos.black_king_sq() != E8);
  if (control.chess960) [[unlikely]] {
    // Fischer random chess: the king's start square is any back-rank
    // square, and a king still on it (never moved) is the e1 king of
    // ordinary chess, not yet settled behind a shelter.
    if (!pos.white_castled && pos.state_top->white_king_moves == 0) ec.white.king_settled = false;
    if (!pos.black_castled && pos.state_top->black_king_moves == 0) ec.black.king_settled = false;
  }

  // Step 6. Pieces and pawns: the pawn data from the cache, or from a
  // scan of the pawns on a miss; the piece terms always.
  // The cache entry is asked for first and read only after the piece terms,
  // which do not depend on it: its line, usually from main memory, arrives
  // while they are worked out.
  const uint64_t key = pawn_hash_key(ec);
  PawnHashEntry* entry = eval_cache.pawn_hash ? &pawn_hash_slot(key) : nullptr;
  if (entry) prefetch_line(entry);
  uint64_t piece_bits, pawn_bits;
  const uint64_t occupied = collect(piece_bits, pawn_bits);
  s += piece_terms(ec, piece_bits, occupied);
  if constexpr (Trace) trace->pieces = s - trace->material;
  const bool hit = entry && pawn_hash_hit(*entry, key);
  ++eval_cache.pawn_hash_probes;
  eval_cache.pawn_hash_hits += hit;
  PawnData pd;
  if (hit) {
    load_pawn_entry(*entry, pd);
  } else {
    clear_pawn_data(pd);
    scan_pawns(pd, ec, pawn_bits);
  }
  s += pd.pawn_file_term;
  if constexpr (Trace) trace->pawn_files = pd.pawn_file_term;
  ec.white.tropism += pd.tropism[0];
  ec.black.tropism += pd.tropism[1];
  ec.pawns = pd.total;
  ec.white.pawns = pd.pawns[0];
  ec.black.pawns = pd.pawns[1];
  ec.white.low_file = pd.low_file[0];
  ec.white.high_file = pd.high_file[0];
  ec.black.low_file = pd.low_file[1];
  ec.black.high_file = pd.high_file[1];
  ec.white.safe = safe_from_attack(ec.white, ec.black);
  ec.black.safe = safe_from_attack(ec.black, ec.white);

  [[maybe_unused]] const int before_advanced = s;
  // Step 7. Advanced pieces.
  auto advanced = [](int n) { return advanced_piece_table[n < 0 ? 0 : n > 7 ? 7 : n]; };
  s += advanced(ec.white.advanced) - advanced(ec.black.advanced);

  // Step 8. Terms of the middlegame, or of the ending.
  if (!ec.endgame_mode) {
    s -= exposed_king_charge(ec.white, ec.black, pos.white_castled);
    s += exposed_king_charge(ec.black, ec.white, pos.black_castled);
    s -= early_queen_charge(ec.white, D1, 0);
    s += early_queen_charge(ec.black, D8, 7);
  } else if (ec.pawns > 1 && (ec.white.high_file - ec.white.low_file > WIDE_PAWN_SPAN ||
                              ec.black.high_file - ec.black.low_file > WIDE_PAWN_SPAN)) {
    if (ec.white.knight) s -= KNIGHT_WIDE_PAWNS;
    if (ec.black.knight) s += KNIGHT_WIDE_PAWNS;
  }

  if constexpr (Trace) trace->placement = s - before_advanced;
  // Step 9. Material-draw rules.
  [[maybe_unused]] const int before_rules = s;
  if (material_draw_rules(ec, s) == DrawRule::draw) {
    if constexpr (Trace) trace->drawn = true;
    return draw_score();
  }
  if constexpr (Trace) trace->material_rules = s - before_rules;

  // Step 10. Outposts, king safety, then the rest of the pawn work: the
  // per-file loop needs the windows king safety opens.
  [[maybe_unused]] const int before_outposts = s;
  s += outpost_term(ec, pd);
  if constexpr (Trace) trace->pieces += s - before_outposts;
  AdvanceWindows windows;
  const int king = king_safety(ec, pd, windows) >> 1;
  s += king;
  if constexpr (Trace) trace->king_safety = king;
  if (!hit) {
    evaluate_pawn_files(pd, ec, windows);
    if (entry) store_pawn_entry(*entry, key, pd);
  }
  [[maybe_unused]] const int before_pawns = s;
  s += hole_term(pd);
  s += bishop_colour_term(ec, pd);
  if (passed_pawn_terms(pd, ec, s) == PasserResult::draw) {
    if constexpr (Trace) trace->drawn = true;
    return draw_score();
  }
  s += pd.score;
  if constexpr (Trace) trace->pawns = s - before_pawns;

  // Step 11. Perpetual-check damping: a side that keeps checking with a
  // heavy piece may only be repeating the position.
  if (search_path.check_run > CHECK_RUN_DAMPING) {
    const SideCounts& checker = search_path.check_run_side == BLACK ? ec.white : ec.black;
    if (checker.queen_square != 0 || checker.rooks > 0) s /= DAMPING_DIVISOR;
  }
  if constexpr (Trace) {
    trace->total = s;
    trace->root_terms = search_path.activity_sum;
  }

  // Step 12. The engine's view.
  const int retreat = (!ec.endgame_mode && search_path.root_piece_retreats) ? -RETREAT_PENALTY : 0;
  int result = retreat - eval_cache.threat_value + control.engine_side * (s + search_path.activity_sum);
  if (result > STATIC_LIMIT) result = STATIC_LIMIT;
  if (result < -STATIC_LIMIT) result = -STATIC_LIMIT;
  return result;
}

}  // namespace

int evaluate(int alpha, int beta) { return evaluate_terms<false>(alpha, beta, nullptr); }

int evaluate_traced(EvalTrace* trace) {
  *trace = EvalTrace{};
  return evaluate_terms<true>(-STATIC_LIMIT - 1, STATIC_LIMIT + 1, trace);
}

}  // namespace brevalt

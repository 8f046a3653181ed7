// The quiescence search: below the horizon only captures that do not lose
// material (and promotions, and the evasions of a check) are searched, so
// that the evaluation is applied to quiet positions. Stand pat, a ply
// limit of eight below the entry node, and a margin test on the victim.
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "core/control.h"
#include "eval/eval.h"
#include "search/search.h"

namespace brevalt {


namespace {

// Plies a capture line may run below the entry node.
constexpr int QS_DEPTH = 8;
// A capture must be able to lift the score to alpha: its victim plus this.
constexpr int32_t CAPTURE_MARGIN = 150;

int32_t eval_for(int p, int32_t alpha, int32_t beta) {
  const int32_t e = evaluate(alpha, beta);
  return (p & 1) ? -e : e;
}

}  // namespace

int32_t quiesce(int side, int32_t alpha, int32_t beta, QsNode node) {
  const bool entry = node == QsNode::entry;
  const int p = pos.ply;
  // Step 1. The entry node sets the ply limit of the capture line.
  if (entry) search_path.qs_ply_limit = p + QS_DEPTH;

  // Step 2. The limits.
  if (p >= search_path.max_search_ply || p >= search_path.qs_ply_limit) return eval_for(p, alpha, beta);

  // Step 3. Stand pat: the side to move may decline every capture.
  const bool check = pos.in_check[p + 1] != 0;
  if (!check) {
    const int32_t e = eval_for(p, alpha, beta);
    if (e > alpha) {
      if (e >= beta) return beta;
      alpha = e;
    }
  }

  // Step 4. Push.
  const int q = p + 1;
  push_ply(q);

  // Step 5. The quiescence row, or the evasions of a check.
  const int n = generate_moves(side, check ? GenMode::evasions : GenMode::regular);
  search_path.first_qs_generation = 1;

  // Step 6. The moves in list order.
  bool any_legal = false;
  int32_t result = alpha;
  bool cut = false;
  for (int i = 0; i < n && !control.stop_search; ++i) {
    const int from = pos.move_list[q][i].from, to = pos.move_list[q][i].to;
    const int victim = pos.board[to];
    if (!(victim == EMPTY || check || entry || alpha < piece_value[type_of(victim)] + CAPTURE_MARGIN)) continue;
    // Castling is never part of a quiescence line.
    const int moved = pos.board[from];
    const int files = file_of(to) - file_of(from);
    if (type_of(moved) == KING && (files == 2 || files == -2)) continue;
    const AppliedMove made = apply_search_move(from, to, MoveSource::generated);
    if (!made.made || !made.legal) continue;
    any_legal = true;
    const int32_t score = -quiesce(side ^ BLACK, -beta, -alpha, QsNode::inner);
    if (score > alpha) {
      if (score >= beta) {
        unmake_move(Unmake::full);
        result = beta;
        cut = true;
        break;
      }
      alpha = score;
      if (!control.stop_search) {
        pos.state_top->best_score = static_cast<int16_t>(score);
        pos.state_top->best_from = static_cast<int16_t>(from);
        pos.state_top->best_to = static_cast<int16_t>(to);
        pos.state_top->best_piece = pos.board[to];
        record_pv(q, from, to);
      }
    }
    unmake_move(Unmake::full);
  }

  // Step 7. Mated when in check with no answer.
  if (!cut) result = (!any_legal && !control.stop_search && check) ? q - MATE_SCORE : alpha;

  // Step 8. Pop.
  pop_ply(p);
  return result;
}

}  // namespace brevalt

// Perft: the legal-move tree walked with the engine's own routines. Each
// node lists its legal moves with generate_legal_moves (the frozen-mode
// legality tests), then plays each one with apply_search_move, the search's
// way of making a move, so that the incremental make/unmake, the check
// state written for the next ply and the legal-move filter are all tested
// together. The last ply is counted in bulk from legal_count.
#include "search/perft.h"

#include "board/attacks.h"
#include "board/legal.h"
#include "board/makemove.h"
#include "board/position.h"
#include "core/control.h"
#include "search/search.h"

namespace brevalt {

namespace {

// The legal moves of every level of the walk, copied out of legal_moves,
// which the next level overwrites. Fixed storage: no allocation per node.
LegalMove perft_moves[PERFT_MAX_DEPTH + 1][LEGAL_MOVES_SIZE];

// Lists the legal moves of the side to move at the current ply into
// perft_moves[level] and returns their number. The check state of ply + 1
// must already be set (by make_move, or at the root by perft()).
int list_legal_moves(int side, int level) {
  search_path.legal_count = 0;
  pos.lists_frozen = 1;
  generate_legal_moves(side);
  pos.lists_frozen = 0;
  for (int i = 0; i < search_path.legal_count; ++i) perft_moves[level][i] = search_path.legal_moves[i];
  return search_path.legal_count;
}

// Pushes a ply as the node search does: the castling counters of the line
// carry over into the next state record.
void push_ply() {
  StateRecord* previous = pos.state_top;
  ++pos.ply;
  ++pos.state_top;
  *pos.state_top = *previous;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

void pop_ply() {
  --pos.ply;
  --pos.state_top;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

// Leaves below the current position, `depth` >= 1 plies deep, `side` to move.
uint64_t count_leaves(int side, int depth, int level) {
  const int n = list_legal_moves(side, level);
  if (depth == 1) return static_cast<uint64_t>(n);
  uint64_t total = 0;
  push_ply();
  for (int i = 0; i < n; ++i) {
    const LegalMove& m = perft_moves[level][i];
    const AppliedMove applied = apply_search_move(m.from, m.to, MoveSource::generated);
    if (!applied.legal) continue;  // cannot happen for a listed move; counted as no leaves
    total += count_leaves(side ^ BLACK, depth - 1, level + 1);
    unmake_move(Unmake::full);
  }
  pop_ply();
  return total;
}

}  // namespace

uint64_t perft(int depth, PerftRootMove* root_moves, int* root_count) {
  if (root_count) *root_count = 0;
  if (depth <= 0) return 1;
  if (depth > PERFT_MAX_DEPTH) return 0;

  // Step 1. The root position at ply 0, as the root driver sets it up.
  const int side = (pos.game_ply & 1) ? BLACK : 0;
  pos.ply = 0;
  pos.ply_sign = -1;
  pos.state_top = &pos.state_stack[0];
  control.stop_search = 0;
  pos.lists_frozen = 0;

  // Step 2. Check state of the side to move: flag and checker square.
  const int king = pos.king_square(side);
  const int32_t check_record[3] = {side >> 3, king, END_OF_LIST};
  pos.in_check[1] = 0;
  pos.checker_square[1] = 0;
  if (square_attacked(check_record)) {
    pos.in_check[1] = 1;
    find_checkers(check_record);
  }

  // Step 3. Root moves, one subtree each.
  const int n = list_legal_moves(side, 0);
  if (!root_moves && depth == 1) return static_cast<uint64_t>(n);
  uint64_t total = 0;
  push_ply();
  for (int i = 0; i < n; ++i) {
    const LegalMove& m = perft_moves[0][i];
    uint64_t leaves = 1;
    if (depth > 1) {
      const AppliedMove applied = apply_search_move(m.from, m.to, MoveSource::generated);
      leaves = 0;
      if (applied.legal) {
        leaves = count_leaves(side ^ BLACK, depth - 1, 1);
        unmake_move(Unmake::full);
      }
    }
    total += leaves;
    if (root_moves) {
      root_moves[i] = {m.from, m.to, m.piece, leaves};
      *root_count = i + 1;
    }
  }
  pop_ply();
  return total;
}

}  // namespace brevalt

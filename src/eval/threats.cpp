// Root-move threat analysis. A two-ply search misjudges two kinds of root
// move: a knight or bishop that grabs a pawn deep in the enemy's corner
// (a7/h7 for White) and is shut in there by a pawn move, and a piece that
// steps onto the line between its own queen and an enemy slider, where it
// is pinned. Both are spotted at the horizon of the second iteration; the
// worst root move is remembered with a penalty the later iterations charge
// against its whole subtree.
#include "eval/threats.h"

#include "board/attacks.h"
#include "board/position.h"
#include "core/assert.h"
#include "core/control.h"

namespace brevalt {

namespace {

// Trapped minor: no square at all to go to, or a trap the reply has sprung.
constexpr int32_t NO_SQUARE_PENALTY = 20;
constexpr int32_t TRAPPED_PENALTY = 135;
// The reply that springs the trap must not itself hang more than this.
constexpr int32_t REPLY_LOSS_LIMIT = 150;
// A pawn taken (captured_value is signed by the victim's colour).
constexpr int PAWN_CAPTURE_VALUE = 100;
// The corner squares where a minor piece that took a pawn may be trapped.
constexpr int A2 = 8, H2 = 15, A7 = 48, H7 = 55;

// Self-pin: the penalty, and the recorded penalty it does not override.
constexpr int32_t SELF_PIN_PENALTY = 50;
constexpr int32_t SELF_PIN_OVERRIDE_BELOW = 40;

// Escape search results: a safe square found, no square at all, only
// squares that lose the piece.
constexpr int ESCAPES = 0, NO_MOVE = 1, ALL_SQUARES_LOSE = 2;

// Plies of the root move and of the reply in ply_stack.
constexpr int ROOT_PLY = 1, REPLY_PLY = 2;

// A square number that can be read from the board.
bool on_board(int sq) { return sq >= 0 && sq < 64; }

// The colour code (0 or 8) of the side the engine plays.
int engine_colour() { return side_of_sign(control.engine_side); }

// A piece (not an empty square) of the side the engine plays.
bool is_engine_piece(int code) { return code != EMPTY && colour_of(code) == engine_colour(); }

// Can the minor piece on s get out? Follows its lines from s: the first own
// piece closes a line; an enemy piece it can take without coming out
// behind in the exchange is a way out, any other closes the line; an empty
// square it can stand on safely is a way out, and an unsafe one does not
// stop the bishop's ray. Every line square tried and lost makes the answer
// "all squares lose"; a piece walled in by its own men has no move at all.
int escape_search(int s, const uint8_t* list) {
  int v = NO_MOVE;
  const uint8_t* p = list;
  while (*p != END_OF_LIST) {
    if (*p == RAY_BREAK) {
      ++p;
      continue;
    }
    bool closed = false;
    for (; *p != RAY_BREAK && *p != END_OF_LIST; ++p) {
      if (closed) continue;
      const int t = *p;
      if (!on_board(t)) {
        closed = true;
        continue;
      }
      const int x = pos.board[t];
      if (x == EMPTY) {
        if (safe_after_move(s, t)) return ESCAPES;
        v = ALL_SQUARES_LOSE;
      } else if (is_engine_piece(x)) {
        closed = true;
      } else {
        if (capture_gain(s, t) != 0) return ESCAPES;
        v = ALL_SQUARES_LOSE;
        closed = true;
      }
    }
  }
  return v;
}

// The penalty of a minor that has just taken a pawn on s.
int32_t trapped_minor_penalty(int s, int p) {
  // Only the far corners of the enemy camp, seen from the engine's side.
  const bool corner = control.engine_side == 1 ? (s == A7 || s == H7) : (s == A2 || s == H2);
  if (!corner) return 0;
  const uint8_t* lines = type_of(p) == KNIGHT ? knight_targets[s] : bishop_rays[s];
  const int v = escape_search(s, lines);
  if (v == ESCAPES) return 0;
  if (v == NO_MOVE) return NO_SQUARE_PENALTY;

  // Every square loses the piece. That is a real trap when the reply (the
  // pawn move that shuts it in) cannot just be won back, and when it was
  // no double step, which the engine might take en passant. With no reply
  // on the board (a horizon reached at ply 1, or a null move at ply 2,
  // which make_move never recorded so its record has no moved piece) the
  // position itself traps the piece: nothing of the opponent's is at stake
  // and no en passant capture is pending, so the trap counts in full.
  int32_t reply_loss = 0;
  int ep_black = 0, ep_white = 0;
  if (pos.ply >= REPLY_PLY && pos.ply_stack[REPLY_PLY].moved != EMPTY) {
    const PlyRecord& reply = pos.ply_stack[REPLY_PLY];
    if (on_board(reply.to)) reply_loss = exchange_loss(reply.to);
    ep_black = reply.saved_ep_black_pawn;
    ep_white = reply.saved_ep_white_pawn;
  }
  if (reply_loss <= REPLY_LOSS_LIMIT && ep_black == 0 && ep_white == 0) return TRAPPED_PENALTY;
  return NO_SQUARE_PENALTY;
}

// Singles the root move out with penalty h.
void single_out(const PlyRecord& root, int32_t h) {
  eval_cache.threat_score = h;
  eval_cache.threat_from = root.from;
  eval_cache.threat_to = root.to;
}

}  // namespace


void analyse_root_move() {
  // Called from a node below the root move, within the search's ply limit.
  BREVALT_ASSERT(pos.ply >= ROOT_PLY && pos.ply < MAX_PLY);
  const PlyRecord& root = pos.ply_stack[ROOT_PLY];
  const int s = root.to;
  if (!on_board(root.from) || !on_board(s)) return;
  // Deeper lines (check extensions) may have moved or taken the piece again:
  // then there is nothing left of the root move to judge.
  const int p = pos.board[s];
  if (p == EMPTY || p != root.moved || !is_engine_piece(p)) return;

  // Step 1. A knight or bishop that took a pawn.
  const int victim = root.captured_value < 0 ? -root.captured_value : root.captured_value;
  if (victim == PAWN_CAPTURE_VALUE && (type_of(p) == KNIGHT || type_of(p) == BISHOP)) {
    const int32_t h = trapped_minor_penalty(s, p);
    if (eval_cache.threat_score < h) single_out(root, h);
  }

  // Step 2. A piece that pinned itself against its own queen.
  if (eval_cache.threat_score < SELF_PIN_OVERRIDE_BELOW && queen_self_pin(s)) single_out(root, SELF_PIN_PENALTY);
}

int queen_self_pin(int s) {
  if (!on_board(s)) return 0;
  const int p = pos.board[s];
  if (!is_engine_piece(p)) return 0;
  const int pt = type_of(p);
  if (pt != ROOK && pt != BISHOP && pt != KNIGHT) return 0;

  // The engine's queen; with several, the last one on the board from a1 up.
  const int queen = QUEEN | engine_colour();
  int q = -1;
  for (int sq = 0; sq < 64; ++sq)
    if (pos.board[sq] == queen) q = sq;
  if (q < 0) return 0;

  // The line through q and s: its type for reach, and its unit step.
  int line;
  if (reach[ROOK][q][s]) line = ROOK;
  else if (reach[BISHOP][q][s]) line = BISHOP;
  else return 0;
  const int df = (file_of(s) > file_of(q)) - (file_of(s) < file_of(q));
  const int dr = (rank_of(s) > rank_of(q)) - (rank_of(s) < rank_of(q));
  const int step = dr * 8 + df;

  // Between the queen and the piece: nothing may stand.
  for (int t = q + step; t != s; t += step)
    if (pos.board[t] != EMPTY) return 0;

  // Beyond the piece: the first piece met. Each step is checked to stay on
  // the board and on the line (no wrap across an edge file) before the
  // board is read.
  int t = s;
  for (;;) {
    const int next = t + step;
    if (!on_board(next) || !reach[line][t][next]) return 0;
    t = next;
    const int x = pos.board[t];
    if (x == EMPTY) continue;
    if (is_engine_piece(x) || !reach[type_of(x)][t][q]) return 0;
    // An enemy piece bearing on the queen through s: a pin, unless the
    // piece on s can simply take it.
    return reach[pt][s][t] ? 0 : 1;
  }
}

void clear_root_threat() {
  eval_cache.threat_from = eval_cache.threat_to = 0;
  eval_cache.threat_score = 0;
}

}  // namespace brevalt

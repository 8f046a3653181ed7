// The complete list of legal moves of one side. Every pseudo-legal move is
// tried with make_move while the piece lists are frozen: in that mode
// make_move only runs its legality tests and appends each legal move to
// legal_moves, and the move is taken back at once. Used for the root move
// list, mate and stalemate detection, and checking the opponent's moves.
#include "board/legal.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "core/control.h"

namespace brevalt {

namespace {


// Tries one prepared move: make_move records it when it is legal. In
// frozen mode every make is undone with the counters kept.
void try_move(int from, int to) {
  const int made = make_move(from, to);
  unmake_move(pos.lists_frozen || made == 0 ? Unmake::keep_counters : Unmake::full);
}

// Moves of a knight, bishop, rook, queen or king along its target tables.
// In evasion mode a king tries every square (make_move tests its safety
// even in check while frozen); other pieces try only squares that capture
// the checker or block its line, and nothing at all when pinned.
void walk_rays(const uint8_t* list, int from, int side, bool evasions, bool is_king, bool pinned) {
  if (!list) return;
  for (const uint8_t* t = list; *t != END_OF_LIST; ++t) {
    if (*t == RAY_BREAK) continue;
    const int to = *t;
    const int code = pos.board[to];
    const bool blocked = code != EMPTY;
    if (!blocked || colour_of(code) != side) {
      if (!evasions || is_king || (!pinned && resolves_check(to, from))) try_move(from, to);
    }
    // The ray ends at the first occupied square: skip to the next ray.
    if (blocked) {
      while (t[1] != RAY_BREAK && t[1] != END_OF_LIST) ++t;
    }
  }
}

// All moves of the piece on `from` (a piece of `side`).
void piece_moves(int from, int side, bool evasions) {
  const int code = pos.board[from];
  const int type = type_of(code);
  if (type == PAWN) {
    pawn_moves(from, evasions ? GenMode::evasions : GenMode::regular);
    return;
  }
  const bool pinned = evasions && type != KING && is_pinned(from);
  switch (type) {
    case KNIGHT: walk_rays(knight_targets[from], from, side, evasions, false, pinned); break;
    case BISHOP: walk_rays(bishop_rays[from], from, side, evasions, false, pinned); break;
    case ROOK: walk_rays(rook_rays[from], from, side, evasions, false, pinned); break;
    case QUEEN:
      walk_rays(rook_rays[from], from, side, evasions, false, pinned);
      walk_rays(bishop_rays[from], from, side, evasions, false, pinned);
      break;
    case KING:
      walk_rays(king_targets[from], from, side, evasions, true, false);
      // Castling is never an answer to a check.
      if (!evasions) {
        if (code == KING && pos.white_castled == 0) castle_white();
        if (code == KING + BLACK && pos.black_castled == 0) castle_black();
      }
      break;
    default: break;
  }
}

// One castling move, tried like any other; unmake_move puts the rook,
// the flag and the counter back.
void try_castling(int king_from, int king_to) {
  prepare_castling(king_from, king_to);
  try_move(king_from, king_to);
}

// Castling by the general rule on either wing: the king takes its rook.
void castle960(int colour) {
  for (int wing = 0; wing < 2; ++wing) {
    if (!castling960_possible(colour, wing == 0)) continue;
    const int made = make_castling(pos.king_square(colour), pos.castle_rook_sq[(colour ? 2 : 0) + wing]);
    unmake_move(pos.lists_frozen || made == 0 ? Unmake::keep_counters : Unmake::full);
  }
}

}  // namespace

void pawn_moves(int f, GenMode mode) {
  const bool evasions = mode == GenMode::evasions;
  const int pawn = pos.board[f];
  const bool white = pawn == PAWN;
  const uint8_t* list = white ? white_pawn_targets[f] : black_pawn_targets[f];
  if (!list) return;
  const bool pinned = evasions && is_pinned(f);
  for (const uint8_t* p = list; *p != END_OF_LIST; ++p) {
    if (*p == RAY_BREAK) continue;
    const int t = *p;
    if (evasions && !(resolves_check(t, f) && !pinned)) continue;
    const int x = pos.board[t];
    // Distance travelled towards the far side: +8 a push, +16 a double
    // step, +7 / +9 a capture.
    const int d = white ? t - f : f - t;
    const bool last_rank = white ? t > 55 : t < 8;
    if (x == EMPTY && d == 8) {
      // Step 1. Single push, a promotion on the last rank.
      if (last_rank) prepare_promotion(f, pawn);
      try_move(f, t);
    } else if (x == EMPTY && d == 16 && pos.board[white ? f + 8 : f - 8] == EMPTY) {
      // Step 2. Double step: the opponent may take it en passant.
      if (white) pos.ep_white_pawn = static_cast<int16_t>(t);
      else pos.ep_black_pawn = static_cast<int16_t>(t);
      try_move(f, t);
    } else if (x != EMPTY && colour_of(x) != colour_of(pawn) && (d == 7 || d == 9)) {
      // Step 3. Capture, a promotion on the last rank.
      if (last_rank) prepare_promotion(f, pawn);
      try_move(f, t);
    } else if (white ? (pos.ep_black_pawn != 0 && t == pos.ep_black_pawn + 8)
                     : (pos.ep_white_pawn != 0 && t == pos.ep_white_pawn - 8)) {
      // Step 4. En passant: the victim leaves the board before the make.
      prepare_en_passant(white ? pos.ep_black_pawn : pos.ep_white_pawn);
      try_move(f, t);
    }
  }
}

// Castling is tried like any other move once it is possible; the legality
// of the king's own squares is part of that test.
void castle_white() {
  if (control.chess960) {
    castle960(0);
    return;
  }
  if (castling_possible(E1, G1)) try_castling(E1, G1);
  if (castling_possible(E1, C1)) try_castling(E1, C1);
}

void castle_black() {
  if (control.chess960) {
    castle960(BLACK);
    return;
  }
  if (castling_possible(E8, G8)) try_castling(E8, G8);
  if (castling_possible(E8, C8)) try_castling(E8, C8);
}

void generate_legal_moves(int side) {
  // Step 1. A side in check gets the evasion variant: no castling, and
  // only check answers for pieces other than the king.
  const bool evasions = pos.in_check[pos.ply + 1] != 0;

  // Step 2. Push a ply: the counters of the line carry over.
  ++pos.ply;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
  StateRecord* previous = pos.state_top;
  ++pos.state_top;
  *pos.state_top = *previous;
  pos.state_top->best_from = 0;
  pos.state_top->best_to = 0;
  pos.state_top->best_score = static_cast<int16_t>(pos.ply - 9999);

  // Step 3. Square order: downwards on the engine's own plies, upwards on
  // the opponent's. A stop request ends the scan early.
  const bool downwards = pos.ply_sign == control.engine_side;
  for (int i = 0; i < 64; ++i) {
    if (control.stop_search) break;
    const int sq = downwards ? 63 - i : i;
    const int code = pos.board[sq];
    // Step 4. Each piece of the side in turn.
    if (code == EMPTY || colour_of(code) != side) continue;
    piece_moves(sq, side, evasions);
  }

  // Step 5. Pop the ply.
  --pos.ply;
  pos.state_top = previous;
  pos.ply_sign = static_cast<int16_t>(-pos.ply_sign);
}

}  // namespace brevalt

// A strict FEN reader for tools and tests.
#include "board/fen.h"

#include <cstring>

#include "board/position.h"
#include "board/reset.h"
#include "core/control.h"

namespace brevalt {

namespace {

int piece_code_of(char c) {
  const char* p = std::strchr(piece_letters, c);
  return (p && c) ? piece_codes[p - piece_letters] : 0;
}

}  // namespace

bool setup_fen(const char* fen) {
  std::memset(pos.board, 0, sizeof(pos.board));
  sync_piece_sets();
  new_game();
  pos.ply = 0;
  pos.ply_sign = -1;
  pos.state_top = &pos.state_stack[0];

  // Placement, rank 8 first.
  const char* p = fen;
  while (*p == ' ') ++p;
  int rank = 7, file = 0;
  for (; *p && *p != ' '; ++p) {
    if (*p == '/') {
      if (file != 8 || rank == 0) return false;
      --rank;
      file = 0;
    } else if (*p >= '1' && *p <= '8') {
      file += *p - '0';
      if (file > 8) return false;
    } else if (int code = piece_code_of(*p)) {
      if (file > 7) return false;
      set_square(rank * 8 + file++, static_cast<uint8_t>(code));
    } else {
      return false;
    }
  }
  if (rank != 0 || file != 8 || *p != ' ') return false;
  int kings[2] = {0, 0};
  for (int sq = 0; sq < 64; ++sq) {
    if (pos.board[sq] == KING) ++kings[0];
    if (pos.board[sq] == KING + BLACK) ++kings[1];
  }
  if (kings[0] != 1 || kings[1] != 1) return false;

  // Side to move: the engine is set to play it, as after a position load.
  while (*p == ' ') ++p;
  if (*p != 'w' && *p != 'b') return false;
  bool black = *p++ == 'b';
  pos.game_ply = black ? 1 : 0;
  control.engine_side = black ? -1 : 1;

  // Castling rights: a side without a letter may not castle at all; a side
  // with one letter has the other wing's rook counted as moved.
  while (*p == ' ') ++p;
  bool K = false, Q = false, k = false, q = false;
  for (; *p && *p != ' '; ++p) {
    if (*p == 'K') K = true;
    else if (*p == 'Q') Q = true;
    else if (*p == 'k') k = true;
    else if (*p == 'q') q = true;
    else if (*p != '-') return false;
  }
  pos.white_castled = (K || Q) ? 0 : 1;
  pos.black_castled = (k || q) ? 0 : 1;
  pos.state_top->white_h_rook_moves = K ? 0 : 1;
  pos.state_top->white_a_rook_moves = Q ? 0 : 1;
  pos.state_top->black_h_rook_moves = k ? 0 : 1;
  pos.state_top->black_a_rook_moves = q ? 0 : 1;

  // En passant target square: the pawn that just advanced stands one rank
  // beyond it. A target with no such pawn behind it is ignored.
  while (*p == ' ') ++p;
  if (*p && *p != '-') {
    if (p[0] < 'a' || p[0] > 'h' || (p[1] != '3' && p[1] != '6')) return false;
    int target = (p[1] - '1') * 8 + (p[0] - 'a');
    if ((p[1] == '6') == black) return false;  // a sixth-rank target needs White to move
    if (p[1] == '6') {
      if (pos.board[target - 8] == PAWN + BLACK) pos.ep_black_pawn = static_cast<int16_t>(target - 8);
    } else {
      if (pos.board[target + 8] == PAWN) pos.ep_white_pawn = static_cast<int16_t>(target + 8);
    }
  }
  build_piece_lists();
  return true;
}

}  // namespace brevalt

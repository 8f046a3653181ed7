// A strict FEN reader for tools and tests.
#include "board/fen.h"

#include <cstring>

#include "board/position.h"
#include "board/reset.h"
#include "core/control.h"

namespace brevalt {

namespace {

bool read_en_passant(const char* p, bool black);

int piece_code_of(char c) {
  const char* p = std::strchr(piece_letters, c);
  return (p && c) ? piece_codes[p - piece_letters] : 0;
}

}  // namespace

const char* read_castling_field(const uint8_t squares[64], const char* field, int length, CastlingField& out) {
  out = CastlingField{};
  int king_sq[2] = {-1, -1};
  for (int sq = 0; sq < 64; ++sq) {
    if (squares[sq] == KING) king_sq[0] = sq;
    if (squares[sq] == KING + BLACK) king_sq[1] = sq;
  }
  if (length == 1 && field[0] == '-') return nullptr;
  if (length == 0) return "no castling field";
  for (int i = 0; i < length; ++i) {
    const char c = field[i];
    const bool white = (c >= 'A' && c <= 'Z');
    const int side = white ? 0 : 1;
    const uint8_t rook = white ? ROOK : ROOK + BLACK;
    const char letter = white ? c : static_cast<char>(c - 'a' + 'A');
    if (!(letter == 'K' || letter == 'Q' || (letter >= 'A' && letter <= 'H')) || (!white && (c < 'a' || c > 'z')))
      return "bad castling letter";
    const int king = king_sq[side];
    const int rank = white ? 0 : 56;
    if (king < 0 || (king & 56) != rank) return "castling king not on its back rank";
    int rook_sq = -1;
    if (letter == 'K') {
      for (int f = 7; f > file_of(king) && rook_sq < 0; --f)
        if (squares[rank + f] == rook) rook_sq = rank + f;
    } else if (letter == 'Q') {
      for (int f = 0; f < file_of(king) && rook_sq < 0; ++f)
        if (squares[rank + f] == rook) rook_sq = rank + f;
    } else {
      const int sq = rank + (letter - 'A');
      if (squares[sq] == rook && sq != king) rook_sq = sq;
    }
    if (rook_sq < 0) return "castling right without its rook";
    const bool kingside = rook_sq > king;
    const int index = (white ? 0 : 2) + (kingside ? 0 : 1);
    int16_t& counter = white ? (kingside ? out.white_h : out.white_a) : (kingside ? out.black_h : out.black_a);
    if (counter == 0 && out.rook_sq[index] != rook_sq) return "two castling rooks on one wing";
    counter = 0;
    out.rook_sq[index] = static_cast<uint8_t>(rook_sq);
    (white ? out.white_castled : out.black_castled) = 0;
    if (file_of(king) != 4 || file_of(rook_sq) != (kingside ? 7 : 0)) out.fischer_random = true;
  }
  return nullptr;
}

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
  const char* field = p;
  while (*p && *p != ' ') ++p;
  bool letters_only = true;
  for (const char* f = field; f != p; ++f)
    if (*f != 'K' && *f != 'Q' && *f != 'k' && *f != 'q' && *f != '-') letters_only = false;
  if (control.chess960 || !letters_only) {
    // The general reading; Shredder-FEN's file letters switch the tool to
    // Fischer random chess, which then also reads X-FEN's letters.
    CastlingField rights;
    if (read_castling_field(pos.board, field, static_cast<int>(p - field), rights) != nullptr) return false;
    if (rights.fischer_random) control.chess960 = 1;
    pos.white_castled = rights.white_castled;
    pos.black_castled = rights.black_castled;
    pos.state_top->white_h_rook_moves = rights.white_h;
    pos.state_top->white_a_rook_moves = rights.white_a;
    pos.state_top->black_h_rook_moves = rights.black_h;
    pos.state_top->black_a_rook_moves = rights.black_a;
    std::memcpy(pos.castle_rook_sq, rights.rook_sq, sizeof(pos.castle_rook_sq));
    return read_en_passant(p, black);
  }
  p = field;
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

  return read_en_passant(p, black);
}

namespace {

// En passant target square: the pawn that just advanced stands one rank
// beyond it. A target with no such pawn behind it is ignored.
bool read_en_passant(const char* p, bool black) {
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

}  // namespace

}  // namespace brevalt

// The perft, board and evaluation reports of the interface's position.
#include "frontend/inspect.h"

#include <cstdio>
#include <cstring>

#include "board/attacks.h"
#include "board/position.h"
#include "core/control.h"
#include "eval/eval.h"
#include "eval/pieces.h"
#include "search/activity.h"
#include "search/perft.h"

namespace brevalt {

namespace {

char square_file(int sq) { return static_cast<char>('a' + sq % 8); }
char square_rank(int sq) { return static_cast<char>('1' + sq / 8); }

char letter_of(uint8_t code) {
  static const char letters[] = " KQRBNP  kqrbnp ";
  return code < 16 ? letters[code] : '?';
}

bool black_to_move() { return (pos.game_ply & 1) != 0; }

}  // namespace

void write_fen(char* out, int size) {
  int n = 0;
  auto put = [&](char c) {
    if (n < size - 1) out[n++] = c;
  };
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const uint8_t code = pos.board[rank * 8 + file];
      if (code == EMPTY) {
        ++empty;
        continue;
      }
      if (empty) put(static_cast<char>('0' + empty));
      empty = 0;
      put(letter_of(code));
    }
    if (empty) put(static_cast<char>('0' + empty));
    if (rank) put('/');
  }
  put(' ');
  put(black_to_move() ? 'b' : 'w');
  put(' ');
  // A right stands while its side has not castled, and neither its king
  // nor that rook has moved from its square.
  const StateRecord& st = *pos.state_top;
  const bool white_may = pos.white_castled == 0 && st.white_king_moves == 0 && pos.board[E1] == KING;
  const bool black_may = pos.black_castled == 0 && st.black_king_moves == 0 && pos.board[E8] == KING + BLACK;
  const int before = n;
  if (white_may && st.white_h_rook_moves == 0 && pos.board[H1] == ROOK) put('K');
  if (white_may && st.white_a_rook_moves == 0 && pos.board[A1] == ROOK) put('Q');
  if (black_may && st.black_h_rook_moves == 0 && pos.board[H8] == ROOK + BLACK) put('k');
  if (black_may && st.black_a_rook_moves == 0 && pos.board[A8] == ROOK + BLACK) put('q');
  if (n == before) put('-');
  put(' ');
  // The square passed over by the pawn that has just advanced two squares.
  const int ep = black_to_move() ? (pos.ep_white_pawn ? pos.ep_white_pawn - 8 : -1)
                                 : (pos.ep_black_pawn ? pos.ep_black_pawn + 8 : -1);
  if (ep >= 0) {
    put(square_file(ep));
    put(square_rank(ep));
  } else {
    put('-');
  }
  out[n] = '\0';
  const int fifty = pos.game_fifty_counter < 0 ? 0 : pos.game_fifty_counter;
  std::snprintf(out + n, static_cast<size_t>(size - n), " %d %d", fifty, pos.game_ply / 2 + 1);
}

void print_perft_divide(int depth) {
  static PerftRootMove moves[LEGAL_MOVES_SIZE];
  int count = 0;
  // The walk as the perft tool makes it from a position just set up: the
  // piece lists rebuilt and the engine playing the side to move.
  const int16_t saved_side = control.engine_side;
  control.engine_side = static_cast<int16_t>(black_to_move() ? -1 : 1);
  find_king_squares();
  build_piece_lists();
  const uint64_t total = perft(depth, moves, &count);
  control.engine_side = saved_side;
  for (int i = 0; i < count; ++i) {
    const PerftRootMove& m = moves[i];
    // The engine promotes to a queen only: a pawn's move to the last rank is one.
    const bool promotion = (pos.board[m.from] & 7) == PAWN && (m.to / 8 == 7 || m.to / 8 == 0);
    std::printf("%c%c%c%c%s: %llu\n", square_file(m.from), square_rank(m.from), square_file(m.to), square_rank(m.to),
                promotion ? "q" : "", static_cast<unsigned long long>(m.leaves));
  }
  std::printf("\nNodes searched: %llu\n", static_cast<unsigned long long>(total));
}

void print_position_report() {
  static const char* const rule = " +---+---+---+---+---+---+---+---+\n";
  std::printf("\n%s", rule);
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) std::printf(" | %c", letter_of(pos.board[rank * 8 + file]));
    std::printf(" | %d\n%s", rank + 1, rule);
  }
  std::printf("   a   b   c   d   e   f   g   h\n\n");
  char fen[128];
  write_fen(fen, sizeof fen);
  std::printf("Fen: %s\n", fen);
  const KeyPair k = side_key(black_to_move() ? BLACK : 0, pos.hash_lo, pos.hash_hi);
  std::printf("Key: %08X%08X\n", static_cast<unsigned>(k.hi), static_cast<unsigned>(k.lo));
  // The pieces of the side that has just moved that attack the other king.
  find_king_squares();
  const int own = black_to_move() ? BLACK : 0;
  const uint8_t saved = pos.checker_square[pos.ply + 1];
  std::printf("Checkers:");
  for (int sq = 0; sq < 64; ++sq) {
    const uint8_t code = pos.board[sq];
    if (code == EMPTY || (code & BLACK) == own || (code & 7) == KING) continue;
    if (gives_direct_check(code, sq)) std::printf(" %c%c", square_file(sq), square_rank(sq));
  }
  pos.checker_square[pos.ply + 1] = saved;
  std::printf("\n");
}

void print_eval_report() {
  // The evaluation as the search would see this position at its root,
  // from White's side: the root's tables and activity term, no draw flag,
  // no root threat. Everything it touches is put back.
  const auto saved_path = search_path;
  const auto saved_cache = eval_cache;
  const int16_t saved_side = control.engine_side;
  const int16_t saved_ply = pos.ply;
  search_path.draw_flag = 0;
  search_path.check_run = 0;
  search_path.root_piece_retreats = 0;
  eval_cache.threat_value = 0;
  control.engine_side = 1;
  pos.ply = 0;
  find_king_squares();
  build_piece_lists();
  for (int code : {int{QUEEN}, QUEEN + BLACK, int{KNIGHT}, KNIGHT + BLACK, int{BISHOP}, BISHOP + BLACK, int{ROOK}, ROOK + BLACK})
    build_piece_tables(code);
  search_path.activity_sum = search_path.root_endgame ? 0 : compute_activity_sum();
  EvalTrace t;
  const int score = evaluate_traced(&t);
  search_path = saved_path;
  eval_cache = saved_cache;
  control.engine_side = saved_side;
  pos.ply = saved_ply;

  std::printf("Evaluation terms, White's view (centipawns)\n");
  if (t.drawn) {
    std::printf("Drawn by the material rules\n");
  } else {
    std::printf("Material:       %6d\n", t.material);
    std::printf("Pieces:         %6d\n", t.pieces);
    std::printf("Pawn files:     %6d\n", t.pawn_files);
    std::printf("Placement:      %6d\n", t.placement);
    std::printf("Material rules: %6d\n", t.material_rules);
    std::printf("King safety:    %6d\n", t.king_safety);
    std::printf("Pawns:          %6d\n", t.pawns);
    std::printf("Activity:       %6d\n", t.root_terms);
  }
  std::printf("Total:          %6d\n", score);
}

}  // namespace brevalt

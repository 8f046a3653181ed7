// The routines that derive the search's incremental state (keys, lists,
// material) from the bare board.
#include "board/position.h"

#include "board/makemove.h"
#include "board/rays.h"
#include "core/control.h"
#include "core/search_state.h"

namespace brevalt {

KeyPair side_key(int side, uint32_t lo, uint32_t hi) {
  if (side == -1) side = pos.game_ply & 1;
  if (side != 0) {
    lo ^= SIDE_KEY_LO;
    hi ^= SIDE_KEY_HI;
  }
  return {lo, hi};
}

void find_king_squares() {
  for (int sq = 0; sq < 64; ++sq) {
    if (pos.board[sq] == KING) pos.white_king_sq() = static_cast<int16_t>(sq);
    if (pos.board[sq] == KING + BLACK) pos.black_king_sq() = static_cast<int16_t>(sq);
  }
}

KeyPair compute_position_key() {
  KeyPair k{0, 0};
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == EMPTY || code > 14) continue;
    k.lo ^= zobrist[code][sq].lo;
    k.hi ^= zobrist[code][sq].hi;
  }
  return k;
}

KeyPair compute_pawn_key() {
  KeyPair k{0, 0};
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code != PAWN && code != PAWN + BLACK) continue;
    k.lo ^= zobrist[code][sq].lo;
    k.hi ^= zobrist[code][sq].hi;
  }
  return k;
}

namespace {

// The exchange sort of the piece lists. It is not stable, and the order it
// leaves among equal weights is part of the move generation order, so it is
// kept exactly as it is rather than replaced by a library sort.
void sort_list(PieceEntry* list) {
  for (int i = 0; i < 15; ++i)
    for (int j = i + 1; j < 16; ++j)
      if (list[i].order < list[j].order) {
        PieceEntry t = list[i];
        list[i] = list[j];
        list[j] = t;
      }
}

}  // namespace

int build_piece_lists() {
  // Step 1. Clear both lists and the derived totals.
  for (int i = 0; i < PIECE_LIST_SIZE; ++i) {
    pos.white_pieces[i] = {OFF_BOARD, 0, 0};
    pos.black_pieces[i] = {OFF_BOARD, 0, 0};
  }
  pos.hash_lo = pos.hash_hi = pos.pawn_lo = pos.pawn_hi = 0;
  search_path.root_material = 0;
  search_path.opponent_material = 0;
  pos.white_piece_count = pos.black_piece_count = 0;
  int white_n = 0, black_n = 0;
  int ok = 1;

  // Step 2. Scan the board in square order; keys, material and counts follow.
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == EMPTY) continue;
    int type = type_of(code);
    bool black = colour_of(code) != 0;
    search_path.root_material += black ? -piece_value[type] : piece_value[type];
    if (type >= QUEEN && type <= KNIGHT) {
      if (black) {
        ++pos.black_piece_count;
        if (control.engine_side == 1) search_path.opponent_material += piece_value[type];
      } else {
        ++pos.white_piece_count;
        if (control.engine_side == -1) search_path.opponent_material += piece_value[type];
      }
    }
    pos.hash_lo ^= zobrist[code][sq].lo;
    pos.hash_hi ^= zobrist[code][sq].hi;
    if (type == PAWN) {
      pos.pawn_lo ^= zobrist[code][sq].lo;
      pos.pawn_hi ^= zobrist[code][sq].hi;
    }
    if (type == KING) {
      if (black) pos.black_king_sq() = sq; else pos.white_king_sq() = sq;
    }
    // A side with more than 16 pieces cannot be listed: report it rather
    // than write past the 16 sortable entries.
    int& n = black ? black_n : white_n;
    PieceEntry* list = black ? pos.black_pieces : pos.white_pieces;
    if (n < 16) list[n++] = {static_cast<uint8_t>(sq), static_cast<uint8_t>(code), piece_order[type]};
    else ok = 0;
  }
  pos.material = search_path.root_material;

  // Step 3. Sort by weight; step 4. end markers.
  sort_list(pos.white_pieces);
  sort_list(pos.black_pieces);
  pos.white_pieces[white_n].square = NO_SQUARE;
  pos.black_pieces[black_n].square = NO_SQUARE;

  // Step 5. Index every occupied square into its list.
  for (int sq = 0; sq < 64; ++sq) pos.piece_index[sq] = NO_INDEX;
  for (int i = 0; i < white_n; ++i) pos.piece_index[pos.white_pieces[i].square] = static_cast<uint8_t>(i);
  for (int i = 0; i < black_n; ++i) pos.piece_index[pos.black_pieces[i].square] = static_cast<uint8_t>(i);
  return ok;
}

const char* position_fault() {
  KeyPair k = compute_position_key();
  if (k.lo != pos.hash_lo || k.hi != pos.hash_hi) return "position key differs from the board";
  KeyPair p = compute_pawn_key();
  if (p.lo != pos.pawn_lo || p.hi != pos.pawn_hi) return "pawn key differs from the board";
  int sum = 0;
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == EMPTY) continue;
    if (code == 7 || code == 8 || code > 14) return "invalid piece code on the board";
    sum += colour_of(code) ? -piece_value[type_of(code)] : piece_value[type_of(code)];
    if (code == KING && pos.white_king_sq() != sq) return "white king square wrong";
    if (code == KING + BLACK && pos.black_king_sq() != sq) return "black king square wrong";
  }
  if (sum != pos.material) return "material differs from the board";
  for (int code = 0; code < 16; ++code)
    if (pos.code_squares[code] != squares_where(0xFF, static_cast<uint8_t>(code)))
      return "piece sets differ from the board";
  if (pos.lists_frozen) return nullptr;
  for (int sq = 0; sq < 64; ++sq) {
    int code = pos.board[sq];
    if (code == EMPTY) {
      if (pos.piece_index[sq] != NO_INDEX) return "piece_index set on an empty square";
      continue;
    }
    int i = pos.piece_index[sq];
    if (i >= 16) return "occupied square without a list index";
    const PieceEntry& e = colour_of(code) ? pos.black_pieces[i] : pos.white_pieces[i];
    if (e.square != sq || e.code != code) return "list entry disagrees with the board";
  }
  for (int c = 0; c < 2; ++c) {
    const PieceEntry* list = c ? pos.black_pieces : pos.white_pieces;
    for (int i = 0; i < 17 && list[i].square != NO_SQUARE; ++i) {
      if (list[i].square == OFF_BOARD) continue;
      if (list[i].square > 63) return "list entry with an invalid square";
      if (pos.board[list[i].square] != list[i].code) return "list entry disagrees with the board";
      if (pos.piece_index[list[i].square] != i) return "piece_index disagrees with the list";
    }
  }
  return nullptr;
}

}  // namespace brevalt

// The shared position's storage; the board layer keeps it, everyone reads it.
#include "core/board_state.h"

namespace brevalt {

uint8_t board[64];
uint64_t code_squares[16];
const char piece_letters[13] = "KQRBNPkqrbnp";
const uint8_t piece_codes[12] = {1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14};
const uint8_t start_board[64] = {
    3,  5,  4,  2,  1,  4,  5,  3,   //
    6,  6,  6,  6,  6,  6,  6,  6,   //
    0,  0,  0,  0,  0,  0,  0,  0,   //
    0,  0,  0,  0,  0,  0,  0,  0,   //
    0,  0,  0,  0,  0,  0,  0,  0,   //
    0,  0,  0,  0,  0,  0,  0,  0,   //
    14, 14, 14, 14, 14, 14, 14, 14,  //
    11, 13, 12, 10, 9,  12, 13, 11};
const int16_t piece_value[8] = {0, 9999, 1220, 620, 400, 400, 100, 0};
const int16_t piece_order[8] = {0, 60, 20, 55, 40, 50, 10, 0};

int16_t game_ply;
int16_t ply;
int16_t ply_sign;
int16_t white_king_sq;
int16_t black_king_sq;
int16_t ep_black_pawn;
int16_t ep_white_pawn;
int16_t white_castled;
int16_t black_castled;
int16_t material;
int8_t fifty_counter;
uint8_t promo_pawn;
uint8_t castle_rook_to;

KeyPair zobrist[15][64];
uint32_t hash_lo, hash_hi;
uint32_t pawn_lo, pawn_hi;

PlyRecord ply_stack[MAX_PLY];
StateRecord state_stack[MAX_PLY];
StateRecord* state_top = &state_stack[0];
uint8_t in_check[MAX_PLY];
uint8_t checker_square[MAX_PLY];

PieceEntry white_pieces[PIECE_LIST_SIZE];
PieceEntry black_pieces[PIECE_LIST_SIZE];
uint8_t piece_index[64];
int16_t lists_frozen;
uint8_t white_piece_count, black_piece_count;

MoveEntry move_list[MAX_PLY][MOVE_ROW];

const uint8_t* knight_targets[64];
const uint8_t* bishop_rays[64];
const uint8_t* rook_rays[64];
const uint8_t* king_targets[64];
const uint8_t* white_pawn_targets[64];
const uint8_t* black_pawn_targets[64];
uint8_t reach[8][64][64];

void sync_piece_sets() {
  for (auto& set : code_squares) set = 0;
  for (int sq = 0; sq < 64; ++sq) code_squares[board[sq] & 15] |= uint64_t{1} << sq;
}

}  // namespace brevalt

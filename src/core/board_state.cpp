// The shared position's storage; the board layer keeps it, everyone reads it.
#include "core/board_state.h"

namespace brevalt {

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

constinit BREVALT_THREAD_LOCAL Position pos;

namespace {
// The main thread's state pointer, set before main() runs: the record is
// initialised by constants only, and the address of a thread's own stack
// is not one.
[[maybe_unused]] const bool main_state_top_set = (pos.state_top = &pos.state_stack[0], true);
}  // namespace

KeyPair zobrist[15][64];

const uint8_t* knight_targets[64];
const uint8_t* bishop_rays[64];
const uint8_t* rook_rays[64];
const uint8_t* king_targets[64];
const uint8_t* white_pawn_targets[64];
const uint8_t* black_pawn_targets[64];
uint8_t reach[8][64][64];

void sync_piece_sets() {
  for (auto& set : pos.code_squares) set = 0;
  for (int sq = 0; sq < 64; ++sq) pos.code_squares[pos.board[sq] & 15] |= uint64_t{1} << sq;
}

}  // namespace brevalt

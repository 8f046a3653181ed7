// PLACEHOLDER: replaced by make and unmake.
#include "board/makemove.h"

namespace brevalt {

int32_t search_nodes;
int32_t tree_nodes;
int16_t opponent_material;
int32_t capture_count;
int16_t root_to = 65;
int16_t root_piece_retreats;
int8_t check_run;
uint8_t check_run_side;
uint8_t null_move_allowed = 1;
int16_t draw_flag;
LegalMove legal_moves[LEGAL_MOVES_SIZE];
int16_t legal_count;

int make_move(int, int) { return 0; }
int unmake_move(int) { return 0; }

}  // namespace brevalt

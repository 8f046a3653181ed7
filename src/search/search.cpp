// PLACEHOLDER: the node search's shared state; apply_search_move and
// find_checkers are replaced by their real versions.
#include "search/search.h"

namespace brevalt {

int16_t nominal_depth;
int32_t ext_hundredths;
int16_t ext_plies;
int16_t max_search_ply = 60;
int16_t quiescence_mode;
int16_t horizon_qs;
int16_t first_qs_generation;
int16_t null_move_ply;
PvEntry pv_table[MAX_PLY][MAX_PLY];
int32_t pv_length[MAX_PLY];
uint8_t pv_valid[MAX_PLY];

AppliedMove apply_search_move(int, int, int) { return {false, false}; }
void find_checkers(const int32_t*) {}

}  // namespace brevalt

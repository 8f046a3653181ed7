// The root driver. Iterative deepening is not written yet: think returns
// without moving, so the engine records moves but never plays one.
#include "search/root.h"

namespace brevalt {

int16_t max_depth = 40;
uint8_t search_id;
int16_t in_book;
int16_t last_book_ply;
int16_t root_material;
uint8_t ponder_from;
int16_t fail_low_active, fail_low_score, fail_low_from, fail_low_to, fail_low_depth;
int16_t stop_at_root_move;
int16_t prev_move_score;

void think(int) {}

int move_is_legal(int, int, int) { return 0; }

}  // namespace brevalt

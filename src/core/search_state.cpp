// Storage of the search state that the lower layers read.
#include "core/search_state.h"

namespace brevalt {

int16_t nominal_depth;
int16_t ext_plies;
int16_t quiescence_mode;
int16_t horizon_qs;
int16_t first_qs_generation;

uint8_t search_id;
int16_t root_material;
int16_t root_endgame;
int32_t activity_sum;

PvEntry pv_table[MAX_PLY][MAX_PLY];
int32_t pv_length[MAX_PLY];
uint8_t pv_valid[MAX_PLY];

int32_t history_table[HISTORY_SIZE];

}  // namespace brevalt

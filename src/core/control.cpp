// Storage of the control flags and the shared protocol state.
#include "core/control.h"

namespace brevalt {

int16_t move_request;
int16_t reset_request;
int32_t force_mode;
int16_t engine_side = -1;
uint8_t thinking;
uint8_t pondering;
int32_t stop_search;
uint8_t input_poll_held;
int epd_run_active;
uint8_t uci_mode;
uint8_t analysis_mode;

int16_t game_in_progress;
int16_t announce_move;
uint8_t ponder_enabled;
int32_t post_thinking;
int32_t level_moves;
int16_t own_time;
int32_t own_time_cs;
int16_t opponent_time;
int16_t time_increment;
int32_t time_increment_ms;
int32_t fixed_move_ms;
int32_t move_overhead_ms = DEFAULT_MOVE_OVERHEAD_MS;
uint8_t frequent_stop_tests;
int32_t own_rating, opponent_rating;
uint8_t opponent_is_computer;
int16_t ics_mode;
int32_t user_from, user_to;
uint8_t promotion_letter;
int32_t last_score;

}  // namespace brevalt

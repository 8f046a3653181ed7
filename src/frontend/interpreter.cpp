// PLACEHOLDER
#include "frontend/interpreter.h"

namespace brevalt {

int16_t game_in_progress;
int16_t announce_move;
uint8_t ponder_enabled;
int32_t post_thinking;
int32_t usermove_accepted;
int32_t level_moves;
int16_t own_time;
int16_t opponent_time;
int16_t time_increment;
int32_t own_rating, opponent_rating;
uint8_t opponent_is_computer;
int16_t ics_mode;
int32_t user_from, user_to;
uint8_t promotion_letter;
int32_t last_score;

void interpret_command() {}
void clear_protocol_state() {}

}  // namespace brevalt

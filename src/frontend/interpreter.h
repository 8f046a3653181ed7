// The CECP command interpreter and the protocol state it keeps.
#pragma once

#include <cstdint>

namespace brevalt {

extern int16_t game_in_progress;
extern int16_t announce_move;
extern uint8_t ponder_enabled;
extern int32_t post_thinking;
extern int32_t usermove_accepted;
extern int32_t level_moves;
// Clocks in whole seconds.
extern int16_t own_time;
// The own clock as the interface last gave it, in centiseconds.
extern int32_t own_time_cs;
extern int16_t opponent_time;
extern int16_t time_increment;
extern int32_t own_rating, opponent_rating;
extern uint8_t opponent_is_computer;
extern int16_t ics_mode;
// The move being entered: squares 0..63 and 'Q', 'R', 'B', 'N' or 0.
extern int32_t user_from, user_to;
extern uint8_t promotion_letter;
// Score of the engine's last search, engine's view.
extern int32_t last_score;

// Interprets the line in input_line.
void interpret_command();
// Clears the protocol state as the program does at start.
void clear_protocol_state();

}  // namespace brevalt

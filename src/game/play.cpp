// Playing moves on the game board. Only the game record and its state live
// here so far; play_move itself does not play moves yet.
#include "game/play.h"

namespace brevalt {

GameMoveRecord game_moves[GAME_MOVES_SIZE];
int8_t game_fifty_counter;
int16_t game_ep_black_pawn;
int16_t game_ep_white_pawn;
uint8_t user_move_pending;
uint8_t reply_ready;
uint8_t expected_from, expected_to;
uint8_t predicted_from, predicted_to;

int play_move(int) { return 0; }

}  // namespace brevalt

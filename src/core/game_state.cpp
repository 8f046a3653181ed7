// Storage of the game record and the pondering bookkeeping.
#include "core/game_state.h"

namespace brevalt {

GameMoveRecord game_moves[GAME_MOVES_SIZE];
int8_t game_fifty_counter;
int16_t game_ep_black_pawn;
int16_t game_ep_white_pawn;
int32_t resign_count;
uint8_t predicted_from = NO_SQUARE, predicted_to = NO_SQUARE;
uint8_t ponder_hit;
uint8_t pending_user_from, pending_user_to;
uint8_t user_move_pending;
uint8_t reply_ready;
uint8_t reply_from, reply_to;
uint8_t next_prediction_from = NO_SQUARE, next_prediction_to = NO_SQUARE;
uint8_t expected_from, expected_to;
PonderBackup ponder_backup;
uint8_t prediction_on_board;
uint8_t game_resigned;

}  // namespace brevalt

// Playing moves on the game board: the game record, the game-level copies
// of the en passant and fifty-move state, and the pondering bookkeeping.
#pragma once

#include <cstdint>

namespace brevalt {

// One half-move of the game, as undo needs it.
struct GameMoveRecord {
  uint8_t from;
  uint8_t to;
  uint8_t moved;
  uint8_t captured;
  uint8_t double_step;     // square of a pawn that has just advanced two squares
  uint8_t ep_captured;     // square of a pawn captured en passant
  uint8_t castle;          // 1 when the move castles
  uint8_t promotion;       // promotion piece code
  uint8_t king_moved;
  uint8_t kingside_rook;
  uint8_t queenside_rook;
  uint8_t unused;
};
static_assert(sizeof(GameMoveRecord) == 12);

constexpr int GAME_MOVES_SIZE = 599;
extern GameMoveRecord game_moves[GAME_MOVES_SIZE];
extern int8_t game_fifty_counter;
extern int16_t game_ep_black_pawn;
extern int16_t game_ep_white_pawn;

// Pondering bookkeeping.
extern uint8_t user_move_pending;
extern uint8_t reply_ready;
extern uint8_t expected_from, expected_to;
extern uint8_t predicted_from, predicted_to;

// Plays a move on the game board: 0 the engine's move, 1 the user's move in
// user_from / user_to / promotion_letter, 2 the predicted move. Returns 0
// after an illegal user move.
int play_move(int mode);

}  // namespace brevalt

// Playing moves on the game board: the game record, the game's fifty-move
// counter, resignation, draw claims, and the pondering bookkeeping around
// the search on the opponent's time.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "search/driver_calls.h"

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
  uint8_t kingside_rook;   // castles short, or the h-rook leaves its corner
  uint8_t queenside_rook;  // castles long, or the a-rook leaves its corner
  uint8_t corner_capture;  // captures a rook on its corner: 1 kingside, 2 queenside
};
static_assert(sizeof(GameMoveRecord) == 12);

constexpr int GAME_MOVES_SIZE = 599;
extern GameMoveRecord game_moves[GAME_MOVES_SIZE];
extern int8_t game_fifty_counter;
extern int16_t game_ep_black_pawn;
extern int16_t game_ep_white_pawn;

// Consecutive engine moves that met the resignation condition.
extern int32_t resign_count;

// Pondering bookkeeping.
extern uint8_t predicted_from, predicted_to;  // the opponent move pondered on
extern uint8_t ponder_hit;
extern uint8_t pending_user_from, pending_user_to;  // the move that ended a ponder search
extern uint8_t user_move_pending;
extern uint8_t reply_ready;  // a finished ponder search left its answer
extern uint8_t reply_from, reply_to;
extern uint8_t next_prediction_from, next_prediction_to;  // 65 when none
extern uint8_t expected_from, expected_to;  // the reply expected without pondering
// What a ponder search must put back: the game state before the
// predicted move.
struct PonderBackup {
  uint8_t board[64];
  StateRecord state;
  int16_t ep_black_pawn, ep_white_pawn;
  int16_t white_castled, black_castled;
  int16_t game_ply;
  int8_t game_fifty_counter;
  uint8_t board_after[64];
};
extern PonderBackup ponder_backup;

// Every position of the game since the start or the set-up, with the
// rights that decide whether two occurrences are the same position.
struct GamePosition {
  uint32_t key_lo, key_hi;  // placement and side to move
  uint8_t castling;         // bits: White short, White long, Black short, Black long
  uint8_t ep_square;        // the pawn that has just double-stepped, 0 for none
  // The castled words (1 White, 2 Black) as they stood when the game's
  // next move was made from here: the root driver may set them on its own,
  // so a take-back cannot work them out from the move alone.
  uint8_t castled_words;
};
extern GamePosition game_positions[GAME_MOVES_SIZE + 1];

// Registers the position after a game move for repetition and prints the
// draw claims that are due.
void record_game_position();
// Registers the position a game starts from (the start position after
// "new", or a set-up position) as its first occurrence, so that returning
// to it twice more is claimed on the spot.
void register_start_position();
// The engine resigned this game: its last move was never shown, and no
// further result line belongs to the game. Cleared by a new game and "go".
extern uint8_t game_resigned;
// Saves the game state before the predicted move is played.
void save_game_state();
// Remembers the key of the position after the predicted move.
void remember_ponder_key();
// Starts a search on the opponent's time on the move from->to.
void start_pondering(int from, int to);
// The record of the current position (rights included), for the claims.
GamePosition current_game_position();

}  // namespace brevalt

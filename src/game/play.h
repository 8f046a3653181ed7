// Playing moves on the game board: the game record, the game's fifty-move
// counter, resignation, draw claims, and the pondering bookkeeping around
// the search on the opponent's time.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "core/game_state.h"
#include "search/driver_calls.h"

namespace brevalt {

// The game record and the pondering bookkeeping are in core/game_state.h:
// the root driver reads them too.

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
// Saves the game state before the predicted move is played.
void save_game_state();
// Remembers the key of the position after the predicted move.
void remember_ponder_key();
// Starts a search on the opponent's time on the move from->to.
void start_pondering(int from, int to);
// The record of the current position (rights included), for the claims.
GamePosition current_game_position();

}  // namespace brevalt

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

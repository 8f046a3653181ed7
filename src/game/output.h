// The engine's informational output: the move line, the thinking line,
// the kibitz relay and the per-iteration test line, with the small line
// builders the root driver composes its comment line with.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/search_state.h"
#include "search/driver_calls.h"

namespace brevalt {

// Writes the moves of pv_table row 1 in the thinking-line notation
// (e4 Nf3 exd5 ...) into buffer, each followed by a blank; at most
// max_moves moves. Returns the length written.
int write_pv_notation(char* buffer, int size, int max_moves);

// UCI coordinates of a move (e2e4, e1g1, e7e8q) played from the 64-square
// board given; a pawn reaching the last rank gets the letter of the piece
// the move leaves there (m.piece).
void uci_move_text(const uint8_t squares[64], const PvEntry& m, char out[6]);
// Plays a move of a line on a 64-square board copy: the castling rook, the
// pawn taken en passant and the promotion piece go along.
void replay_line_move(uint8_t squares[64], const PvEntry& m);

}  // namespace brevalt

// Questions a person or a testing tool asks about the position the
// interface holds, answered the same way in both protocols: the perft
// count of each root move, the board with its FEN, key and checkers, and
// the static evaluation with its main terms. None of them changes the
// position or the game.
#pragma once

namespace brevalt {

// Deepest perft the commands accept.
constexpr int INSPECT_PERFT_MAX_DEPTH = 10;

// Each root move with the leaves below it ("e2e4: 20"), a blank line and
// "Nodes searched: N", for a depth of 1 to INSPECT_PERFT_MAX_DEPTH.
void print_perft_divide(int depth);

// The board drawn in text (rank 8 at the top), then "Fen: ...",
// "Key: ..." (the position key with the side to move, in hexadecimal) and
// "Checkers: ..." (the squares of the pieces giving check, none listed when
// there are none).
void print_position_report();

// The static evaluation from White's view, in centipawns: one line per
// main term and the total.
void print_eval_report();

// The FEN of the position the interface holds. The move number counts from
// the position the game was set up from.
void write_fen(char* out, int size);

}  // namespace brevalt

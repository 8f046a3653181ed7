// Pseudo-legal move generation with ordering keys, in the normal,
// quiescence and evasion modes.
#pragma once

#include <cstdint>

namespace brevalt {

// Castling test lists {colour, three squares, 255}: the squares the king
// stands on, crosses and reaches, none of which may be attacked.
extern const int32_t white_kingside_squares[5];
extern const int32_t white_queenside_squares[5];
extern const int32_t black_kingside_squares[5];
extern const int32_t black_queenside_squares[5];

// Castling by the king on king_from (e1 or e8) to king_to is possible: the
// side may still castle, king and rook stand at home and have never moved
// on this line, the squares between them are empty, and none of the
// king's three squares is attacked.
bool castling_possible(int king_from, int king_to);
// The same test by the general rule of Fischer random chess, for the side
// of `colour` (0 or 8) on one wing: the right still held, the king and the
// rook from castle_rook_sq on the back rank, every square either crosses
// or reaches empty but for the two of them, and none of the king's squares
// attacked with the rook lifted off the board.
bool castling960_possible(int colour, bool kingside);

// What generate_moves lists. Regular: the moves of the current mode (all
// moves, or the quiescence row while quiescence_mode is set). Evasions:
// only the moves that may answer a check, generated as in the normal mode
// whatever quiescence_mode says.
enum class GenMode : int { regular = 0, evasions = 1 };

// The search picks its early moves (the winning captures) from the first
// entries of a row; the normal mode gathers the good captures there.
constexpr int FRONT_ENTRIES = 5;

// Fills move_list[ply] with the moves of side (0 or 8); returns the count.
uint8_t generate_moves(int side, GenMode mode);
// Appends one move with the full ordering logic of the current mode.
int add_move(int from, int to, int piece, int count);
// Quiescence capture: added only when it gains, kept in descending key order.
int add_qs_capture(int from, int to, int piece, int count);
// Normal-mode capture key and placement among the first five entries.
int order_capture(int from, int to, int piece, int count);
// Threat tests for the quiet-move bonuses.
int attacks_higher_piece(int from, int to);
int aims_at_king(int piece, int to);

}  // namespace brevalt

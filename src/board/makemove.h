// Making and unmaking moves at the current search ply, with incremental
// keys, material, piece lists, castling counters and check information.
#pragma once

#include <cstdint>

#include "board/position.h"

namespace brevalt {

// Nodes counted by every completed make_move (the root driver resets them).
extern int32_t search_nodes;
extern int32_t tree_nodes;
// The deepest ply a move was made at since the root driver last cleared it.
extern int16_t sel_depth;
// Value of the queens, rooks, bishops and knights of the side the engine plays against.
extern int16_t opponent_material;
// Captures of non-pawn pieces since the root move (read by the evaluation).
extern int32_t capture_count;
// To-square of the root move, 65 when the root move captured.
extern int16_t root_to;
// 1 when the piece moved at the root moves back towards the engine's side at ply 3.
extern int16_t root_piece_retreats;
// Length of a run of quiet checks by one piece, and the colour in check.
extern int8_t check_run;
extern uint8_t check_run_side;
// Cleared when no queen, rook, bishop or knight is left.
extern uint8_t null_move_allowed;
// Set when the fifty-move limit is reached inside the search.
extern int16_t draw_flag;
// The fifty-move counters (the search's and the game's) are 8 bits wide:
// they stop here instead of wrapping around.
constexpr int FIFTY_COUNTER_CEILING = 127;

// One legal move as the legality tests record it: piece is the code on `to`
// after the move (the queen for a promotion).
struct LegalMove {
  uint8_t from;
  uint8_t to;
  uint8_t piece;
  uint8_t unused[5];
};

constexpr int LEGAL_MOVES_SIZE = 256;
extern LegalMove legal_moves[LEGAL_MOVES_SIZE];
extern int16_t legal_count;

// The preparation of special moves, the same for every caller of
// make_move: the board is set up here and make_move completes the move.
// A promotion (always to a queen): the queen stands on `from`, material and
// the ply record know of it.
void prepare_promotion(int from, int pawn);
// An en passant capture: the pawn that has just double-stepped to `victim`
// leaves the board and material.
void prepare_en_passant(int victim);
// Castling by the king on e1 or e8 towards king_to: the side counts as
// castled, the wing's rook as moved, and the rook stands on its new square.
void prepare_castling(int king_from, int king_to);

// What unmake_move takes back. A move that make_move refused, and every
// make of a legality test, returned before material, the capture
// bookkeeping and the castling counters were touched: those counters are
// kept as they are. Every other move is taken back in full.
enum class Unmake : int { full = 0, keep_counters = 1 };

// Plays from->to at the current ply after the caller's preparation of
// special moves. 1 = made; 0 = illegal (the board is changed and the caller
// must call unmake_move(Unmake::keep_counters)).
int make_move(int from, int to);
// Takes back the move recorded at the current ply.
int unmake_move(Unmake mode);

#ifdef BREVALT_CHECKS
// Aborts with a message when position_fault() finds the incremental state
// out of step with the board.
void assert_position_consistent(const char* where);
#endif

}  // namespace brevalt

// The position that every layer shares: board, side and game counters,
// en passant and castling state, material, the Zobrist keys, the per-ply
// records of made moves, the per-search piece lists and move lists, and the
// precomputed target and reach tables.
//
// The position is one record, `pos`, one per search thread. Who writes it:
// the board layer (make_move and unmake_move in place, the legality and
// attack tests as they try moves, the FEN reader), the node search and
// perft (the en passant square of a null move, their own make and unmake
// steps), the root driver (its root set-up and castling words), game
// management (the game's moves, the ponder restore), and the front end
// (set-up positions, undo, the resets). Every layer reads it. The target
// and reach tables and the keys are written once, at start-up, and only
// read afterwards, by every thread.
#pragma once

#include <cstdint>

#include "core/threading.h"
#include "core/types.h"

namespace brevalt {

// ---------------------------------------------------------------------------
// Piece codes and values

// Parallel tables turning position text into piece codes.
extern const char piece_letters[13];
extern const uint8_t piece_codes[12];
// The initial position in square order.
extern const uint8_t start_board[64];
// Piece values by type; the king's 9999 cancels out in `material`.
extern const int16_t piece_value[8];
// Ordering weights of the piece lists: king, rooks, knights, bishops, queen, pawns.
extern const int16_t piece_order[8];

// ---------------------------------------------------------------------------
// The records the position is made of

// One 64-bit key value stored as two halves.
struct KeyPair {
  uint32_t lo;
  uint32_t hi;
};

// The move made at a ply: what the per-search reset keeps of a ply record.
struct PlyMove {
  uint8_t from, to;
  uint8_t moved;     // code found on from (already the queen for a promotion)
  uint8_t captured;  // code found on to
};

// What make_move needs to take a move back, one record per ply.
struct PlyRecord : PlyMove {
  int16_t captured_value;     // piece_value of the victim, negated for a White victim
  int16_t opp_material_taken; // subtracted from opponent_material by this move
  uint32_t saved_hash_lo, saved_hash_hi, saved_pawn_lo, saved_pawn_hi;
  uint8_t old_white_king_sq, old_black_king_sq;
  uint8_t saved_ep_black_pawn, saved_ep_white_pawn;
  uint8_t castle;             // 1 White castles, 2 Black castles, 3 and 4 the same by the Fischer random rule
  uint8_t promo;              // code of the promoting pawn
  uint8_t rook_to;            // destination of the castling rook
                              // (castle 3 and 4: the Fischer random rule,
                              // from and to then name king and rook)
  uint8_t saved_fifty_counter;
  uint8_t saved_check_run;
  uint8_t captured_index;     // list index of the victim, NO_INDEX for none
};

// The king and rook move counters along the line: nonzero forbids
// castling on that wing.
struct CastlingCounters {
  int16_t white_king_moves, black_king_moves;
  int16_t white_h_rook_moves, white_a_rook_moves;
  int16_t black_h_rook_moves, black_a_rook_moves;
};

// Search scratch of each ply and the castling counters along the line.
struct StateRecord : CastlingCounters {
  int16_t best_score, best_from, best_to, best_piece;
};

struct PieceEntry {
  uint8_t square;  // OFF_BOARD once captured, NO_SQUARE ends the list
  uint8_t code;    // 0 once captured; a promoted pawn's entry becomes a queen
  int32_t order;   // piece_order weight used when the list was sorted
};

constexpr int PIECE_LIST_SIZE = 20;

struct MoveEntry {
  uint8_t from;
  uint8_t to;
  uint8_t piece;       // moving code; the search zeroes it once the move is tried
  int16_t root_score;  // root move list only
  int32_t key;         // ordering key
  int32_t root_nodes;  // root move list only
};

// ---------------------------------------------------------------------------
// The position

// En passant and castling as they stand: what a position set up or kept
// across a reset carries besides its placement.
struct BoardRights {
  // Square of a pawn that has just advanced two squares and may be taken en
  // passant; 0 is "none" (no such pawn can stand on a1).
  int16_t ep_black_pawn{};
  int16_t ep_white_pawn{};
  // Nonzero: that side can no longer castle at all.
  int16_t white_castled{};
  int16_t black_castled{};
  // The home squares of the castling rooks, [0] White's king-side rook,
  // [1] White's queen-side rook, [2] and [3] Black's: the corners in
  // standard chess, any back-rank square beside the king in Fischer random
  // chess. The move counters of the state records follow the rooks that
  // start on these squares.
  uint8_t castle_rook_sq[4]{7, 0, 63, 56};
};

// The game's point: the placement, the side to move (by the parity of
// game_ply), en passant and castling, and the game's fifty-move counter.
// A ponder search saves it before the predicted move and puts it back on
// a miss; a new game starts it afresh.
struct GamePoint : BoardRights {
  // One piece code per square.
  uint8_t board[64]{};
  // Half-moves played since the start position or the loaded position; its
  // parity is the side to move in the game (even: White).
  int16_t game_ply{};
  // The game's own fifty-move counter: half-moves since the last capture
  // or pawn move of the game.
  int8_t game_fifty_counter{};
};

// The board, the side and game counters, en passant and castling state,
// material, the keys, the per-ply records of made moves, the piece lists
// and the move lists of one search; each search thread has its own. Written
// and read as the file head says. state_top points into the record's own
// state stack: the main thread's instance is pointed there at start-up, a
// search thread's when the thread starts, and a copy of the record from
// another thread moves the pointer into its own stack (search/threads.cpp).
struct Position : GamePoint {
  // The squares of each piece code as a bit set (bit s for square s), row
  // EMPTY holding the empty squares: the same position as `board`, kept so
  // that the attack and generation queries can take whole sets of pieces at
  // once. Every change of a square goes through set_square; code that
  // writes `board` directly (a whole position loaded at once) calls
  // sync_piece_sets afterwards.
  uint64_t code_squares[16]{};
  // Current search ply: the root position is ply 0, the root move is made at ply 1.
  int16_t ply{};
  // -1 at the root position, +1 while root moves are searched, negated per ply.
  int16_t ply_sign{};
  // The king squares by colour, [0] White and [1] Black.
  int16_t king_sq[2]{};
  int16_t& white_king_sq() { return king_sq[0]; }
  int16_t& black_king_sq() { return king_sq[1]; }
  // The king of a side, coded either way (0 or 8, false or true: nonzero
  // is Black).
  int16_t& king_square(int side) { return king_sq[side != 0]; }
  // White's material minus Black's, kings included.
  int16_t material{};
  // Half-moves since the last capture or pawn move inside the search.
  int8_t fifty_counter{};
  // Set by the caller of make_move to the promoting pawn's code (6 or 14).
  uint8_t promo_pawn{};
  // Set by the caller of make_move to the castling rook's destination.
  uint8_t castle_rook_to{};
  // Placement-only position key and pawn key.
  uint32_t hash_lo{}, hash_hi{};
  uint32_t pawn_lo{}, pawn_hi{};
  PlyRecord ply_stack[MAX_PLY]{};
  StateRecord state_stack[MAX_PLY]{};
  // The record of the current ply (null only until the thread's start).
  StateRecord* state_top = nullptr;
  // Nonzero when the side to move at that ply is in check.
  uint8_t in_check[MAX_PLY]{};
  // Square of the single checking piece at that ply; NO_INDEX for a double check.
  uint8_t checker_square[MAX_PLY]{};
  PieceEntry white_pieces[PIECE_LIST_SIZE]{};
  PieceEntry black_pieces[PIECE_LIST_SIZE]{};
  // For each occupied square the index of its piece in its colour's list.
  uint8_t piece_index[64]{};
  // While set, make_move and unmake_move leave the lists alone (legality tests).
  int16_t lists_frozen{};
  // Queens, rooks, bishops and knights of each side at the root.
  uint8_t white_piece_count{}, black_piece_count{};
  // One row of generated moves per ply; the last entry is swap scratch.
  MoveEntry move_list[MAX_PLY][MOVE_ROW]{};
};

extern constinit BREVALT_THREAD_LOCAL Position pos;

// Puts `code` on square sq (0..63) and keeps code_squares in step. The
// two toggles cancel when the square already holds that code.
[[gnu::always_inline]] inline void set_square(int sq, uint8_t code) {
  const uint64_t bit = uint64_t{1} << sq;
  pos.code_squares[pos.board[sq] & 15] ^= bit;
  pos.code_squares[code & 15] ^= bit;
  pos.board[sq] = code;
}

// Rebuilds code_squares from `board`.
void sync_piece_sets();

// ---------------------------------------------------------------------------
// Position keys

// Key values by piece code and square, read from hash_values. Rows 0, 7 and
// 8 are read but never used.
extern KeyPair zobrist[15][64];

// ---------------------------------------------------------------------------
// Precomputed tables, loaded from the move file

// Per square, a list of rays (254 between rays, 255 at the end).
extern const uint8_t* knight_targets[64];
extern const uint8_t* bishop_rays[64];
extern const uint8_t* rook_rays[64];
extern const uint8_t* king_targets[64];
extern const uint8_t* white_pawn_targets[64];
extern const uint8_t* black_pawn_targets[64];

// reach[t][from][to]: a piece of type t on from reaches to on an empty board
// (6 and 7 are the white and black pawn captures).
extern uint8_t reach[8][64][64];

}  // namespace brevalt

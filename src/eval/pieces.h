// Piece terms of queens, rooks, bishops and knights, and the per-search
// piece-square tables that fold each piece's mobility from the root
// position into a table read.
#pragma once

#include <cstdint>

#include "eval/eval.h"
#include "eval/pawns.h"

namespace brevalt {

// Squares numbered rank * 8 + file turned into bits numbered file * 8 +
// rank (a flip about the a1-h8 diagonal, in three exchange steps).
uint64_t file_major(uint64_t x);

// Rebuilds the table of the piece `code` (queen, rook, bishop or knight of
// either colour) from the current board; other codes do nothing.
void build_piece_tables(int code);

// The terms of the queens, rooks, bishops and knights named in `visit`
// (bits file * 8 + rank, visited lowest first), with their counts, on a
// board whose occupied squares (bits rank * 8 + file) are `occupied`.
// Returns their sum, White's view.
int piece_terms(EvalCounts& ec, uint64_t visit, uint64_t occupied);
// Knights and bishops on outposts no enemy pawn can challenge.
int outpost_term(const EvalCounts& ec, const PawnData& pd);
// Minor pieces standing on the hole in front of an enemy backward pawn.
int hole_term(const PawnData& pd);
// Bishops hemmed in by their own fixed pawns in the ending; the opponent's
// pawn chains in the middlegame.
int bishop_colour_term(const EvalCounts& ec, const PawnData& pd);

}  // namespace brevalt

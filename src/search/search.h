// The alpha-beta node search and the quiescence search: path state, the
// principal-variation table, and the search's way to play a move at a ply.
#pragma once

#include <cstdint>

#include "core/search_state.h"
#include "core/types.h"

namespace brevalt {

// The principal-variation table is in core/search_state.h.

// Result of apply_search_move.
struct AppliedMove {
  bool made;   // the move was possible and make_move ran
  bool legal;  // make_move accepted it (an illegal move is already taken back)
};

// Where a move to be played comes from. A move generated in this position
// is a move of it; one taken from the hash tables or the killer slots was
// stored for another position and must pass the extra castling and line
// tests.
enum class MoveSource : int { generated = 0, table = 1 };

// Plays from->to at the current ply with the preparation of special moves.
AppliedMove apply_search_move(int from, int to, MoveSource source);

// Fills checker_square[1] for the side in check described by the check
// record {side 0/1, king square, 255}.
void find_checkers(const int32_t* check_record);

// Whether a node may try a null move: not right after the other side's
// null move, which would only hand the move back.
enum class NullMove : int { allowed = 0, barred = 1 };
// Whether a node may try the multi-cut test: not inside a multi-cut probe,
// nor in the re-search of a move that beat a null window.
enum class MultiCut : int { allowed = 0, barred = 1 };
// The quiescence node entered from the node search at the horizon, or one
// below it. The entry node sets the ply limit of the capture line and
// tries every capture, whatever the margin test says.
enum class QsNode : int { inner = 0, entry = 1 };

// Full-width search of the position at `ply` with side (0 / 8) to move.
int32_t search_node(int side, int32_t alpha, int32_t beta, NullMove null_move, MultiCut multi_cut);
// Reduced-depth search of up to four moves at the pushed ply: two fail
// highs set multi_cut_hit.
int32_t multi_cut_probe(int side, int32_t alpha, int32_t beta, NullMove null_move);
// Captures (and check evasions) below the horizon.
int32_t quiesce(int side, int32_t alpha, int32_t beta, QsNode node);

// Pushes ply q over ply q - 1 (the castling counters of the line carry
// on, the best move of the new ply starts empty) and pops back to ply p.
void push_ply(int q);
void pop_ply(int p);

// Records M (just made at ply q) as the head of pv row q, the line below
// it behind.
void record_pv(int q, int from, int to);

}  // namespace brevalt

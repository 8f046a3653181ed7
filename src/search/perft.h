// Counting the leaves of the legal-move tree (perft), the standard check of
// move generation against published numbers and independent rule libraries.
#pragma once

#include <cstdint>

namespace brevalt {

// Deepest tree perft will count: the per-ply tables have 64 rows and each
// level of the tree uses two of them (the move and its legality tests).
constexpr int PERFT_MAX_DEPTH = 20;

// One root move and the leaves below it.
struct PerftRootMove {
  uint8_t from;
  uint8_t to;
  uint8_t piece;    // code on `to` after the move (the queen for a promotion)
  uint64_t leaves;
};

// Counts the leaf nodes of the legal-move tree of `depth` plies from the
// position on the board, with the side to move given by game_ply. Promotions
// count once (the engine always promotes to a queen). The check state of
// the root is set up as the root driver does; the position, keys and lists
// are left as they were found. When `root_moves` is given (room for
// LEGAL_MOVES_SIZE entries), it receives one entry per root move and
// *root_count their number. Depth 0 counts 1; depths above PERFT_MAX_DEPTH
// count 0.
uint64_t perft(int depth, PerftRootMove* root_moves = nullptr, int* root_count = nullptr);

}  // namespace brevalt

// Attack, check, pin and exchange queries on the current position. None of
// them changes the position except temporarily; only the check routines
// write checker_square.
#pragma once

#include <cstdint>

namespace brevalt {

// list = {colour 0/1, square, ..., 255}: 1 when any square is attacked by
// the other colour.
int square_attacked(const int32_t* list);
// Would the king of `colour` (0/1) on `from` stand attacked once it has
// stepped to `to`: 1 or 0. The board is left as it is.
int king_step_attacked(int colour, int from, int to);
// After the move is on the board: nonzero when it gives check (square + 1 of
// a discovering slider, or 1); writes checker_square[ply + 1].
int gives_check(int piece, int from, int to);
// Counts the pieces attacking king_sq; writes checker_square[ply + 1].
int count_checkers(int king_sq);
// The slider that attacks king_sq through the empty square sq: square + 1, or 0.
int discovered_attacker(int sq, int king_sq);
// Would `piece` standing on sq attack the enemy king; writes checker_square[ply + 1].
int gives_direct_check(int piece, int sq);
// Does moving the piece on `from` to `to` capture the single checker or block its line.
int resolves_check(int to, int from);
// Is the piece on sq pinned against its own king by an enemy slider.
int is_pinned(int sq);
// Material the colour not owning the piece on sq wins by capturing there first.
int exchange_loss(int sq);
// Net gain of the capture from->to: 0 losing, 1 even, else the gain.
int capture_gain(int from, int to);
// After from->to the opponent wins nothing on `to`.
int safe_after_move(int from, int to);

}  // namespace brevalt

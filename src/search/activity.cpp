// The piece activity term. Its point table is not written yet, so every
// piece scores 0 for now; the sum over the piece lists is already the
// search's.
#include "search/activity.h"

#include "board/position.h"

namespace brevalt {

int32_t activity_sum;

int activity_of(int, int) { return 0; }

int32_t compute_activity_sum() {
  int32_t sum = 0;
  for (int c = 0; c < 2; ++c) {
    const PieceEntry* list = c ? black_pieces : white_pieces;
    for (int i = 0; i < PIECE_LIST_SIZE && list[i].square != NO_SQUARE; ++i) {
      const int sq = list[i].square;
      const int code = list[i].code;
      if (sq > 63 || type_of(code) == KING || code == EMPTY) continue;
      const int points = activity_of(code, sq);
      sum += c ? -points : points;
    }
  }
  return sum;
}

}  // namespace brevalt

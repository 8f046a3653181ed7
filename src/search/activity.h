// The centre-control term that the search computes for the evaluation.
#pragma once

#include <cstdint>

namespace brevalt {

// Sum of activity_of over the queens, rooks, bishops, knights and pawns,
// White's plus and Black's minus; 0 in an ending.
extern int32_t activity_sum;

// Activity points of the piece `code` standing on `square`.
int activity_of(int code, int square);
// activity_sum of the current position, from the piece lists.
int32_t compute_activity_sum();

}  // namespace brevalt

// The centre-control term that the search computes for the evaluation.
#pragma once

#include <cstdint>

#include "core/search_state.h"

namespace brevalt {

// activity_sum, the term of the position the search stands in, is in
// core/search_state.h: the evaluation reads it.

// Activity points of the piece `code` standing on `square`.
int activity_of(int code, int square);
// activity_sum of the current position, from the piece lists.
int32_t compute_activity_sum();

}  // namespace brevalt

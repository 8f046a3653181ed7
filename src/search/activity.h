// The centre-control term that the search computes for the evaluation.
#pragma once

#include <cstdint>

namespace brevalt {

extern int32_t activity_sum;

// Activity points of the piece `code` standing on `square`.
int activity_of(int code, int square);

}  // namespace brevalt

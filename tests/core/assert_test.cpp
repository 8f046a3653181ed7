// BREVALT_ASSERT: a build with assertions (debug, sanitizer, fuzz) stops at
// a broken invariant and names the file, the line and the condition; a
// release build does not even evaluate the condition.
#include <gtest/gtest.h>

#include "core/assert.h"

namespace brevalt {
namespace {

#ifdef BREVALT_ASSERTS

TEST(Assert, BrokenInvariantStopsNamingFileLineAndCondition) {
  const int past_the_table = 70;
  EXPECT_DEATH(BREVALT_ASSERT(past_the_table < 64), "assert_test\\.cpp:[0-9]+: assertion failed: past_the_table < 64");
}

TEST(Assert, HeldInvariantIsEvaluatedOnceAndGoesOn) {
  int evaluated = 0;
  BREVALT_ASSERT(++evaluated == 1);
  EXPECT_EQ(evaluated, 1);
}

#else

TEST(Assert, ReleaseBuildDoesNotEvaluateTheCondition) {
  int evaluated = 0;
  BREVALT_ASSERT(++evaluated == 5);
  EXPECT_EQ(evaluated, 0);
}

#endif

}  // namespace
}  // namespace brevalt

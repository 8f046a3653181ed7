// The layout a size in MiB gets: the largest power of two of entries per
// table whose four tables of 16-byte entries fit in it, with two spare
// entries past the mask. The sizes an interface may ask for run from
// 1 MiB to 16 GiB; the largest cannot be allocated in a test, so its
// layout is checked here.
#include <gtest/gtest.h>

#include "config/table_size.h"

namespace brevalt {
namespace {

TEST(TableLayout, LargestPowerOfTwoThatFits) {
  struct Case {
    int64_t mib;
    uint32_t mask;
  };
  // 1 MiB = 2^20 bytes = four tables of 2^14 entries of 2^4 bytes.
  for (const Case& c : {Case{1, 0x3FFF}, Case{2, 0x7FFF}, Case{3, 0x7FFF}, Case{16, 0x3FFFF}, Case{100, 0xFFFFF},
                        Case{300, 0x3FFFFF}, Case{16383, 0x7FFFFFF}, Case{16384, 0xFFFFFFF}}) {
    const TableLayout l = layout_for_mib(c.mib);
    EXPECT_EQ(l.mask, c.mask) << c.mib;
    EXPECT_EQ(l.entries, static_cast<int32_t>(c.mask) + 3) << c.mib;
  }
}

}  // namespace
}  // namespace brevalt

// Fuzz target: the move file "MoveFile", the target tables every move
// generator walks. A file the reader accepts must give 64 lists per table,
// each inside its block, ending in its end mark and naming only squares of
// the board or the ray break: anything else would send the generators off
// the board.
#include <cstdint>
#include <cstdlib>

#include "board/position.h"
#include "config/params.h"
#include "config/startup.h"
#include "fuzz_support.h"

using namespace brevalt;

namespace {

// The blocks are fixed-size globals, so AddressSanitizer reports a walk
// that leaves one.
void check_table(const uint8_t* const* lists) {
  for (int sq = 0; sq < 64; ++sq)
    for (const uint8_t* p = lists[sq]; *p != END_OF_LIST; ++p)
      if (*p > 63 && *p != RAY_BREAK) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz::write_file("MoveFile", data, size)) std::abort();
  if (!read_move_file()) return 0;
  check_table(knight_targets);
  check_table(bishop_rays);
  check_table(rook_rays);
  check_table(king_targets);
  check_table(white_pawn_targets);
  check_table(black_pawn_targets);
  // The engine builds its reach table from the lists at start.
  build_reach_table();
  return 0;
}

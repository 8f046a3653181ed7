// Fuzz target: the PGN reader of the book tool, and the replay of what it
// reads. Every game the reader hands over is played out from the start
// position on the engine's board as the tool plays it, each move text
// resolved against the legal moves until one does not resolve.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "book/pgn.h"
#include "book/replay.h"
#include "fuzz_support.h"

using namespace brevalt;
using namespace brevalt::tools;

namespace {
// Games and moves per input: bounds that keep one input quick.
constexpr int MAX_GAMES = 8;
constexpr size_t MAX_MOVES = 200;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder({"MoveFile", "hash_values", "Brevalt.ini"});
  fuzz::load_engine_tables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteSource source;
  source.open_text(std::string(reinterpret_cast<const char*>(data), size));
  PgnReader reader(source);
  PgnGame game;
  for (int g = 0; g < MAX_GAMES && reader.next(&game); ++g) {
    Replay replay;
    replay.start();
    // A SAN text parsed on its own must not disagree with the replay
    // about whether it names a move.
    for (size_t i = 0; i < game.moves.size() && i < MAX_MOVES; ++i) {
      GameMove move;
      const MoveMatch m = replay.find(game.moves[i], &move);
      SanMove san;
      const bool parsed = parse_san(game.moves[i], &san);
      if (m != MoveMatch::unparsable && !parsed) std::abort();
      if (m != MoveMatch::ok) break;
      if (coordinate_text(move).size() < 4) std::abort();
      replay.play(move);
    }
  }
  return 0;
}

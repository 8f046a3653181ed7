// brevalt-perft "FEN" DEPTH [divide] [960]: counts the leaves of the legal-move
// tree with the engine's own move making and legality tests. Promotions
// count once, as a queen (the engine promotes to nothing else). With
// "divide" it first prints one line per root move, "e2e4: 20" (a
// promotion carries a trailing "q"). The total is always the last line.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/makemove.h"
#include "search/perft.h"
#include "board/position.h"
#include "frontend/mainloop.h"
#include "core/platform.h"
#include "perft_support.h"

namespace {

// Accepted depths; the per-ply tables bound how deep the tree can go.
constexpr int MIN_DEPTH = 1;
constexpr int MAX_DEPTH = 10;
// Exit status for bad arguments or missing data files.
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_DATA = 1;

// Plain decimal depth; anything else (sign, trailing text, range) is refused.
int parse_depth(const char* text) {
  if (!*text) return -1;
  int value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
    if (value > MAX_DEPTH) return -1;
  }
  return value < MIN_DEPTH ? -1 : value;
}

void print_move(const brevalt::PerftRootMove& m) {
  const bool promotion = brevalt::type_of(m.piece) == brevalt::QUEEN &&
                         brevalt::type_of(brevalt::pos.board[m.from]) == brevalt::PAWN;
  std::printf("%c%c%c%c%s: %llu\n", 'a' + brevalt::file_of(m.from), '1' + brevalt::rank_of(m.from),
              'a' + brevalt::file_of(m.to), '1' + brevalt::rank_of(m.to), promotion ? "q" : "",
              static_cast<unsigned long long>(m.leaves));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brevalt;
  // Step 1. Arguments.
  // A last word "960" reads the position as Fischer random chess (X-FEN's
  // KQkq then name the outermost rooks; Shredder-FEN's file letters need it not).
  const bool fischer_random = argc >= 4 && std::strcmp(argv[argc - 1], "960") == 0;
  if (fischer_random) --argc;
  const bool divide = argc == 4 && std::strcmp(argv[3], "divide") == 0;
  if (argc != 3 && !divide) {
    std::fprintf(stderr, "usage: brevalt-perft \"FEN\" DEPTH [divide] [960]\n");
    return EXIT_USAGE;
  }
  if (fischer_random) control.chess960 = 1;
  const int depth = parse_depth(argv[2]);
  if (depth < 0) {
    std::fprintf(stderr, "depth must be a number from %d to %d\n", MIN_DEPTH, MAX_DEPTH);
    return EXIT_USAGE;
  }

  // Step 2. Tables, and a standard input the input poll never reads from.
  if (!tools::load_engine_data()) return EXIT_DATA;
  if (!quiet_standard_input()) {
    std::fprintf(stderr, "cannot replace standard input\n");
    return EXIT_DATA;
  }

  // Step 3. The position. No search runs: nothing may stop the walk.
  if (!setup_fen(argv[1])) {
    std::fprintf(stderr, "bad FEN: %s\n", argv[1]);
    return EXIT_USAGE;
  }
  control.thinking = 0;
  control.pondering = 0;

  // Step 4. Count, per root move when asked.
  static PerftRootMove root_moves[LEGAL_MOVES_SIZE];
  int root_count = 0;
  const uint64_t total = perft(depth, divide ? root_moves : nullptr, &root_count);
  for (int i = 0; i < root_count; ++i) print_move(root_moves[i]);
  std::printf("%llu\n", static_cast<unsigned long long>(total));
  return 0;
}

// brevalt-book: builds the opening book from PGN game collections, and
// shows what a book holds for a position and its moves.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "book/builder.h"
#include "book/pgn.h"
#include "book/replay.h"
#include "config/data_folder.h"
#include "core/platform.h"
#include "game/book.h"
#include "perft_support.h"
#include "search/root.h"

namespace {

using namespace brevalt;
using namespace brevalt::tools;

// Exit status: a file that cannot be read or written, and bad arguments.
constexpr int EXIT_FILE = 1;
constexpr int EXIT_USAGE = 2;

// Progress bar width in characters.
constexpr int BAR_WIDTH = 40;

const char* const USAGE =
    "usage:\n"
    "  brevalt-book [--data DIR] build [--plies N] OUT.bin FILE.pgn[.xz] ...\n"
    "      Counts the result of every game from the initial position in each\n"
    "      position after 0 to N plies (default %d), once per game; games from\n"
    "      a set-up position, without a result, or repeating an earlier game's\n"
    "      moves are skipped. Writes the book and prints the totals.\n"
    "  brevalt-book [--data DIR] probe BOOK.bin \"FEN\"\n"
    "      Prints the position's record, then one line per legal move (the\n"
    "      engine's moves: promotions to a queen only), sorted:\n"
    "        position: WHITE_WINS BLACK_WINS DRAWS | position: not in book\n"
    "        e2e4: WHITE_WINS BLACK_WINS DRAWS accepted|refused | e2e4: not in book\n"
    "      where accepted means the engine, playing the side to move, would\n"
    "      consider the move from its book.\n"
    "  --data DIR reads MoveFile and hash_values from DIR (default: the\n"
    "  working folder, else the data folder installed with this program,\n"
    "  else the repository's data folder); the book keys depend on\n"
    "  hash_values.\n";

int usage() {
  std::fprintf(stderr, USAGE, DEFAULT_PLY_LIMIT);
  return EXIT_USAGE;
}

// A bar per input file, drawn only on a terminal and only when the
// shown percentage changes.
class Progress {
 public:
  Progress() : on_(isatty(STDERR_FILENO) != 0) {}
  void show(const std::string& name, uint64_t done, uint64_t total) {
    if (!on_ || total == 0) return;
    const int percent = static_cast<int>(std::min<uint64_t>(100, done * 100 / total));
    if (percent == shown_) return;
    shown_ = percent;
    const int filled = percent * BAR_WIDTH / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", name.c_str(), filled,
                 "########################################", BAR_WIDTH - filled, "", percent);
    std::fflush(stderr);
    drawn_ = true;
  }
  // Takes the bar off the line before other text is written there.
  void clear() {
    if (drawn_) std::fprintf(stderr, "\r\033[K");
    drawn_ = false;
    shown_ = -1;
  }

 private:
  bool on_;
  bool drawn_ = false;
  int shown_ = -1;
};

// A plain decimal number in [low, high], or -1.
int parse_number(const char* text, int low, int high) {
  if (!*text) return -1;
  long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
    if (value > high) return -1;
  }
  return value < low ? -1 : static_cast<int>(value);
}

int build(int argc, char** argv) {
  int i = 0;
  int plies = DEFAULT_PLY_LIMIT;
  if (i < argc && std::strcmp(argv[i], "--plies") == 0) {
    if (i + 1 >= argc || (plies = parse_number(argv[i + 1], 0, MAX_PLY_LIMIT)) < 0) {
      std::fprintf(stderr, "--plies takes a number from 0 to %d\n", MAX_PLY_LIMIT);
      return EXIT_USAGE;
    }
    i += 2;
  }
  if (argc - i < 2) return usage();
  const std::string out = argv[i++];

  BookBuilder builder(plies);
  Progress progress;
  PgnGame game;
  std::string warning;
  for (; i < argc; ++i) {
    const std::string name = argv[i];
    ByteSource source;
    std::string error;
    if (!source.open_file(name, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return EXIT_FILE;
    }
    PgnReader reader(source);
    while (reader.next(&game)) {
      builder.add(game, name, &warning);
      if (!warning.empty()) {
        progress.clear();
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
      }
      progress.show(name, source.consumed(), source.total());
    }
    progress.clear();
    if (!reader.error().empty()) {
      std::fprintf(stderr, "cannot read %s: %s\n", name.c_str(), reader.error().c_str());
      return EXIT_FILE;
    }
  }

  std::string error;
  if (!builder.write(out, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return EXIT_FILE;
  }
  const BuildSummary& s = builder.summary();
  std::printf("games read: %ld\n", s.games);
  std::printf("skipped, set-up position: %ld\n", s.setup);
  std::printf("skipped, no result: %ld\n", s.no_result);
  std::printf("skipped, duplicate: %ld\n", s.duplicate);
  std::printf("games counted: %ld\n", s.counted);
  std::printf("cut short by an illegal move: %ld\n", s.cut_short);
  std::printf("ply limit: %d\n", builder.ply_limit());
  std::printf("records written: %ld\n", s.records);
  if (s.records < ENGINE_MIN_RECORDS)
    std::fprintf(stderr, "note: the engine ignores a book of fewer than %ld records\n", ENGINE_MIN_RECORDS);
  return 0;
}

// "W B D" of a looked-up key, or false when the book does not hold it.
bool lookup(const char* path, uint64_t key, BookStats* stats, bool* failed) {
  switch (book_lookup(path, key, stats)) {
    case BookLookup::found: return true;
    case BookLookup::absent: return false;
    case BookLookup::unreadable: break;
  }
  *failed = true;
  return false;
}

int probe(int argc, char** argv) {
  if (argc != 2) return usage();
  const char* path = argv[0];
  const std::string fen = argv[1];
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "cannot read %s: %s\n", path, std::strerror(errno));
    return EXIT_FILE;
  }
  std::fclose(f);

  Replay replay;
  std::string reason;
  if (!replay.start_fen(fen, &reason)) {
    std::fprintf(stderr, "bad FEN (%s): %s\n", reason.c_str(), fen.c_str());
    return EXIT_USAGE;
  }
  const int side = replay.side();
  bool failed = false;
  BookStats stats{};
  if (lookup(path, replay.key(), &stats, &failed))
    std::printf("position: %d %d %d\n", stats.white_wins, stats.black_wins, stats.draws);
  else if (!failed)
    std::printf("position: not in book\n");

  std::vector<GameMove> moves = replay.legal_moves();
  std::sort(moves.begin(), moves.end(), [](const GameMove& a, const GameMove& b) {
    return coordinate_text(a) < coordinate_text(b);
  });
  const Replay::Saved root = replay.save();
  for (const GameMove& m : moves) {
    if (failed) break;
    replay.play(m);
    const uint64_t key = replay.key();
    replay.restore(root);
    if (!lookup(path, key, &stats, &failed)) {
      if (!failed) std::printf("%s: not in book\n", coordinate_text(m).c_str());
      continue;
    }
    // The engine weighs the wins of its own side, the side to move here.
    const int32_t own = side == 0 ? stats.white_wins : stats.black_wins;
    const int32_t opponent = side == 0 ? stats.black_wins : stats.white_wins;
    std::printf("%s: %d %d %d %s\n", coordinate_text(m).c_str(), stats.white_wins, stats.black_wins,
                stats.draws, book_move_acceptable(own, opponent, stats.draws) ? "accepted" : "refused");
  }
  if (failed) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return EXIT_FILE;
  }
  return 0;
}

// The data folder installed with this program, found from the program's
// own location as the engine finds its own: the build names, relative to
// the folder of the installed program, where each layout it installs puts
// the data files (the plain "cmake --install" layout, bin/ and
// share/brevalt/, and the Debian one, games/ and share/games/brevalt/).
// Empty when no such folder holds MoveFile and hash_values, or the system
// cannot tell where the program is (it is then looked for elsewhere).
std::string installed_data_folder() {
#ifdef BREVALT_INSTALLED_DATA_DIRS
  char folder[DATA_PATH_SIZE];
  if (find_data_folder(BREVALT_INSTALLED_DATA_DIRS, folder, sizeof folder)) return folder;
#endif
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  const char* data = nullptr;
  if (i < argc && std::strcmp(argv[i], "--data") == 0) {
    if (i + 1 >= argc) return usage();
    data = argv[i + 1];
    i += 2;
  }
  if (i >= argc) return usage();
  const std::string command = argv[i++];
  if (command != "build" && command != "probe") return usage();

  // The key values decide every key in the book. Unless a folder is named,
  // the working folder comes first (a book of its own for an engine run
  // there), then the installed data folder, then the repository's, which
  // load_engine_data falls back on.
  std::string installed;
  if (!data && !(file_exists("MoveFile") && file_exists("hash_values"))) {
    installed = installed_data_folder();
    if (!installed.empty()) data = installed.c_str();
  }
  // No search runs, so standard input is made a pipe the engine's input
  // poll never reads.
  if (!load_engine_data(data)) return EXIT_FILE;
  if (!quiet_standard_input()) {
    std::fprintf(stderr, "cannot replace standard input\n");
    return EXIT_FILE;
  }
  return command == "build" ? build(argc - i, argv + i) : probe(argc - i, argv + i);
}

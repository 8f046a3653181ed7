// Generates the engine's start-up data files byte for byte:
//   hash_values  960 Zobrist key values from a fixed splitmix64 seed
//   MoveFile     the six per-square target tables, from board geometry
//   Brevalt.ini  the parameter file with its default settings
// Usage: brevalt-gendata [OUTPUT_DIR]   (default: the current directory)
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Key generation: splitmix64 has full 64-bit avalanche, so every key bit
// depends on every seed bit; the seed is fixed so the file never changes.
constexpr uint64_t KEY_SEED = 0x42726576616C7432ull;  // "Brevalt2"
constexpr int KEY_COUNT = 15 * 64;

uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Ray directions as (file step, rank step). The order fixes the order in
// which moves are generated: forward rays first, so that equal-keyed quiet
// moves try the more active direction first.
struct Step {
  int df, dr;
};
const Step ROOK_DIRS[4] = {{0, 1}, {1, 0}, {-1, 0}, {0, -1}};
const Step BISHOP_DIRS[4] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
const Step KNIGHT_JUMPS[8] = {{1, 2}, {-1, 2}, {2, 1}, {-2, 1}, {2, -1}, {-2, -1}, {1, -2}, {-1, -2}};
const Step KING_STEPS[8] = {{0, 1}, {1, 1}, {-1, 1}, {1, 0}, {-1, 0}, {0, -1}, {1, -1}, {-1, -1}};

constexpr int RAY_BREAK = 254;
constexpr int END_OF_LIST = 255;
constexpr int END_OF_TABLE = 253;

bool on_board(int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; }

// One square's list: rays of targets with 254 between them.
using List = std::vector<std::vector<int>>;

List slider_rays(int sq, const Step* dirs, int n) {
  List rays;
  for (int d = 0; d < n; ++d) {
    std::vector<int> ray;
    int f = sq % 8 + dirs[d].df, r = sq / 8 + dirs[d].dr;
    while (on_board(f, r)) {
      ray.push_back(r * 8 + f);  // nearest first: the walk runs outwards
      f += dirs[d].df;
      r += dirs[d].dr;
    }
    if (!ray.empty()) rays.push_back(ray);  // only non-empty rays are stored
  }
  return rays;
}

List leaper_targets(int sq, const Step* steps, int n) {
  List rays;
  for (int d = 0; d < n; ++d) {
    int f = sq % 8 + steps[d].df, r = sq / 8 + steps[d].dr;
    if (on_board(f, r)) rays.push_back({r * 8 + f});  // each target its own ray
  }
  return rays;
}

// A pawn list holds push, double push and the captures in one ray. A pawn can
// never stand on its own first rank or on the last rank: those lists are empty.
List pawn_targets(int sq, bool white) {
  int f = sq % 8, r = sq / 8;
  int fwd = white ? 1 : -1;
  if (r == 0 || r == 7) return {};
  std::vector<int> ray;
  ray.push_back((r + fwd) * 8 + f);
  if ((white && r == 1) || (!white && r == 6)) ray.push_back((r + 2 * fwd) * 8 + f);
  if (f > 0) ray.push_back((r + fwd) * 8 + f - 1);
  if (f < 7) ray.push_back((r + fwd) * 8 + f + 1);
  return {ray};
}

void write_table(std::string& out, List (*make)(int)) {
  for (int sq = 0; sq < 64; ++sq) {
    List rays = make(sq);
    for (size_t i = 0; i < rays.size(); ++i) {
      if (i > 0) out += std::to_string(RAY_BREAK) + " ";
      for (int t : rays[i]) out += std::to_string(t) + " ";
    }
    // Every list ends with 255 and one unused byte.
    out += std::to_string(END_OF_LIST) + " 0\n";
  }
  out += std::to_string(END_OF_TABLE) + "\n";
}

std::string move_file() {
  std::string out;
  write_table(out, [](int sq) { return leaper_targets(sq, KNIGHT_JUMPS, 8); });
  write_table(out, [](int sq) { return slider_rays(sq, BISHOP_DIRS, 4); });
  write_table(out, [](int sq) { return slider_rays(sq, ROOK_DIRS, 4); });
  write_table(out, [](int sq) { return leaper_targets(sq, KING_STEPS, 8); });
  write_table(out, [](int sq) { return pawn_targets(sq, true); });
  write_table(out, [](int sq) { return pawn_targets(sq, false); });
  return out;
}

std::string hash_values() {
  std::string out;
  uint64_t state = KEY_SEED;
  for (int i = 0; i < KEY_COUNT; ++i) out += std::to_string(splitmix64(state)) + "\n";
  return out;
}

// The parameter file: free text up to the '*' line, then one setting per
// line, decided by its first character. The comments must not contain '*'.
std::string parameter_file() {
  return "Brevalt " BREVALT_VERSION " parameter file.\n"
         "Below the star line, the first character of each line is a setting;\n"
         "the rest of the line is a comment. Keep the lines in this order.\n"
         "*\n"
         "1 opening book: 1 = play from book_normal.bin, 0 = no book\n"
         "3 hash size: 1, 2, 3 or 4 = 265000, 530000, 1050000 or 2100000 entries per table\n"
         "1 kibitz: 1 = comment on each move on a chess server, 0 = silent\n"
         "1 resign: 1 = resign hopeless games, 0 = play on to the end\n";
}

bool write_file(const std::string& dir, const char* name, const std::string& text) {
  std::string path = dir + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "brevalt-gendata: cannot write %s\n", path.c_str());
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "brevalt-gendata: error writing %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  bool ok = write_file(dir, "hash_values", hash_values());
  ok = write_file(dir, "MoveFile", move_file()) && ok;
  ok = write_file(dir, "Brevalt.ini", parameter_file()) && ok;
  return ok ? 0 : 1;
}

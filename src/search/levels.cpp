// Levels: the settings of each rating, and the choice among the best lines.
#include "search/levels.h"

#include <cmath>
#include <cstdint>

#include "core/platform.h"
#include "core/types.h"

namespace brevalt {

LevelState level_state;

namespace {

// The settings at a few ratings; the levels between are interpolated, the
// nodes on a logarithmic scale (each hundred Elo about the same factor).
// The ratings are those of Stockfish's own limited strength, measured
// against it at 10 s + 0.1 s (tools/level-games.sh; the figures are in the
// README). On that scale the full search itself rates a little above the
// top level, which is why the range ends there.
struct Anchor {
  int elo;
  int depth;
  int32_t nodes;
  int32_t spread;
};
constexpr Anchor ANCHORS[] = {
    {1000, 1, 300, 350}, {1400, 4, 5000, 170}, {1600, 5, 12000, 130}, {1800, 8, 60000, 50},
};
constexpr int ANCHOR_COUNT = static_cast<int>(sizeof(ANCHORS) / sizeof(ANCHORS[0]));
// A level searches this many lines exactly, to choose among them.
constexpr int16_t LEVEL_LINES = 4;

// The level's own generator (xorshift, state in level_state).
uint32_t level_random() {
  if (level_state.level_random_state == 0) level_state.level_random_state = (clock_ms() * 0x9E3779B97F4A7C15ull) | 1;
  uint64_t x = level_state.level_random_state;
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  level_state.level_random_state = x;
  return static_cast<uint32_t>(x >> 32);
}

}  // namespace

LevelSettings level_settings(int elo) {
  if (elo < LEVEL_MIN_ELO) elo = LEVEL_MIN_ELO;
  if (elo > LEVEL_MAX_ELO) elo = LEVEL_MAX_ELO;
  int k = 0;
  while (k + 2 < ANCHOR_COUNT && elo > ANCHORS[k + 1].elo) ++k;
  const Anchor& a = ANCHORS[k];
  const Anchor& b = ANCHORS[k + 1];
  const double t = static_cast<double>(elo - a.elo) / (b.elo - a.elo);
  LevelSettings s{};
  s.depth = static_cast<int16_t>(a.depth + t * (b.depth - a.depth) + 0.5);
  // Geometric between the anchors: a.nodes * (b.nodes / a.nodes)^t.
  const double nodes = a.nodes * std::pow(static_cast<double>(b.nodes) / a.nodes, t);
  s.nodes = static_cast<int32_t>(nodes + 0.5);
  s.spread = static_cast<int32_t>(a.spread + t * (b.spread - a.spread) + 0.5);
  s.lines = LEVEL_LINES;
  return s;
}

int level_choice(const RootLine* lines, int count, int32_t spread) {
  if (count <= 1 || spread <= 0) return 0;
  if (lines[0].score > MATE_BOUND) return 0;
  int chosen = 0;
  int64_t best = INT64_MIN;
  for (int k = 0; k < count; ++k) {
    const int64_t value = static_cast<int64_t>(lines[k].score) + level_random() % static_cast<uint32_t>(spread);
    if (value > best) {
      best = value;
      chosen = k;
    }
  }
  return chosen;
}

}  // namespace brevalt

// Levels for people: a playing strength below the full search, asked for
// by an Elo rating (UCI's UCI_LimitStrength and UCI_Elo, the xboard option
// "Strength"). A level is the engine's own search made shallower and
// smaller, and a choice among its best few root moves that lets a weaker
// move through now and then, as a weaker player would find it. It never
// plays a move that is not legal, nor one the search did not look at.
#pragma once

#include <cstdint>

#include "search/root.h"

namespace brevalt {

// The range of levels, in Elo on the scale of Stockfish's UCI_Elo at fast
// clocks; the full search rates a little above the top of it.
constexpr int LEVEL_MIN_ELO = 1000;
constexpr int LEVEL_MAX_ELO = 1800;

// The rating offered before one is asked for.
constexpr int LEVEL_DEFAULT_ELO = 1400;

// The interface's two settings (UCI_LimitStrength and UCI_Elo, or the
// xboard options "Limit Strength" and "Strength"): whether the strength is
// limited, and the rating asked for. Written by the front ends; a new game
// keeps them, as interfaces expect of options.
struct LevelRequest {
  bool limited = false;
  int16_t elo = LEVEL_DEFAULT_ELO;
};

// The level in force and the interface's request. Written by the front ends
// between searches (the request, and the level made to follow it) and by
// the root driver's choice (the generator); read by the root driver.
struct LevelState {
  // The level asked for, in Elo; 0 is the full strength, which the levels
  // leave untouched.
  int16_t level_elo = 0;
  LevelRequest level_request{};
  // A small generator of its own (xorshift), seeded from the clock at its
  // first use, so that games at a level differ from one another.
  uint64_t level_random_state = 0;
};
extern LevelState level_state;

// Makes level_elo follow the request.
inline void apply_level_request() { level_state.level_elo = static_cast<int16_t>(level_state.level_request.limited ? level_state.level_request.elo : 0); }

// What a level does to a search: the deepest iteration, the nodes it may
// make, the root lines it searches with exact scores, and the spread (in
// centipawns) of the chance a worse line has of being played.
struct LevelSettings {
  int16_t depth;
  int32_t nodes;
  int16_t lines;
  int32_t spread;
};
// The settings of a level; the rating is taken within the range.
LevelSettings level_settings(int elo);

// Which of `count` lines (best first) the level plays: the line whose score
// plus a random share of `spread` is highest. Mates found stay found: a
// winning mate is never given away for another line.
int level_choice(const RootLine* lines, int count, int32_t spread);

}  // namespace brevalt

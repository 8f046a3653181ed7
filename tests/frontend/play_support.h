// Helpers of the end-to-end tests that play: time limits that stretch in
// the slow checking builds, the thinking line taken apart, and the engine's
// answers judged by the independent rules in chess_rules.h.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "support/engine_process.h"

namespace brevalt::testing {

// Debug and sanitizer builds (which define BREVALT_CHECKS) search many
// times slower; every time limit is stretched by this factor there.
#ifdef BREVALT_CHECKS
constexpr int SLOWDOWN = 15;
#else
constexpr int SLOWDOWN = 1;
#endif

constexpr int ms(int release_ms) { return release_ms * SLOWDOWN; }

// One thinking line: "depth score centiseconds nodes " and the variation,
// every move followed by a blank.
struct ThinkingLine {
  int depth = 0;
  int score = 0;
  long centiseconds = 0;
  long nodes = 0;
  std::vector<std::string> pv;
};

inline std::optional<ThinkingLine> parse_thinking(const std::string& line) {
  static const std::regex shape(
      R"(^(\d+) (-?\d+) (\d+) (\d+) ((?:(?:[KQRBN]x?[a-h][1-8]|[a-h]x[a-h][1-8]|[a-h][1-8]) )*)$)");
  std::smatch m;
  if (!std::regex_match(line, m, shape)) return std::nullopt;
  ThinkingLine t;
  t.depth = std::stoi(m[1]);
  t.score = std::stoi(m[2]);
  t.centiseconds = std::stol(m[3]);
  t.nodes = std::stol(m[4]);
  std::istringstream words(m[5].str());
  for (std::string w; words >> w;) t.pv.push_back(w);
  return t;
}

inline bool is_thinking_line(const std::string& line) {
  return !line.empty() && line[0] >= '0' && line[0] <= '9';
}

inline bool is_move_line(const std::string& line) { return line.rfind("move ", 0) == 0; }

// The move of a "move ..." line.
inline std::string move_of(const std::string& line) { return line.substr(5); }

// The thinking-line notation names no piece apart ("Ne2" with knights on
// c3 and g1): a variation is legal when some reading of its moves is a
// line of legal moves from `p`. `failed` receives the furthest move that
// had no legal reading.
inline bool variation_fits(const rules::Position& p, const std::vector<std::string>& pv, size_t i, size_t& failed) {
  if (i == pv.size()) return true;
  const std::vector<rules::Move> found = p.matching(pv[i]);
  if (found.empty()) failed = std::max(failed, i);
  for (const rules::Move& m : found)
    if (variation_fits(*p.after(m.text()), pv, i + 1, failed)) return true;
  return false;
}

// An empty text when some reading of the variation is legal from `start`,
// else which move fails every reading.
inline std::string pv_problem(const rules::Position& start, const std::vector<std::string>& pv) {
  size_t failed = 0;
  if (variation_fits(start, pv, 0, failed)) return "";
  return "move " + std::to_string(failed + 1) + " '" + pv[failed] + "' is not legal in any reading of the line";
}

// The last thinking line before the first "move" line in `lines`.
inline std::optional<ThinkingLine> last_thinking_before_move(const std::vector<std::string>& lines) {
  std::optional<ThinkingLine> last;
  for (const std::string& l : lines) {
    if (is_move_line(l)) break;
    if (is_thinking_line(l)) last = parse_thinking(l);
  }
  return last;
}

// Every thinking line before the move: its shape, a variation that is a
// legal line from `start`, and time and nodes that never go back. (The
// depth may: after a root fail-low the deepening steps back on purpose.)
inline void expect_sound_thinking_lines(const std::vector<std::string>& lines, const rules::Position& start) {
  std::optional<ThinkingLine> previous;
  for (const std::string& line : lines) {
    if (is_move_line(line)) break;
    std::optional<ThinkingLine> t = parse_thinking(line);
    ASSERT_TRUE(t) << "not a thinking line: '" << line << "'";
    EXPECT_GE(t->depth, 1);
    EXPECT_FALSE(t->pv.empty()) << line;
    EXPECT_EQ(pv_problem(start, t->pv), "") << line;
    if (previous) {
      EXPECT_GE(t->centiseconds, previous->centiseconds) << line;
      EXPECT_GE(t->nodes, previous->nodes) << line;
    }
    previous = t;
  }
}

// The next "move" line from offset `from` on, which must be legal in `p`;
// returns the position after it (and moves `from` past the line).
inline std::optional<rules::Position> expect_legal_answer(EngineSession& s, const rules::Position& p, size_t& from,
                                                          int timeout_ms) {
  std::optional<std::string> line = s.wait_for_line(is_move_line, timeout_ms, from, &from);
  if (!line) {
    ADD_FAILURE() << "no move: " << s.out();
    return std::nullopt;
  }
  std::optional<rules::Position> after = p.after(move_of(*line));
  if (!after) ADD_FAILURE() << "illegal move " << *line << " in the interface's position: " << s.out();
  return after;
}

// What the engine printed from `from` up to the answer of a sync marker.
inline std::string output_until_sync(EngineSession& s, size_t from) {
  EXPECT_TRUE(s.sync(ms(20000))) << s.out();
  const std::string out = s.out().substr(from);
  return out.substr(0, out.rfind("Error (unknown command): sync"));
}

// The transposition tables a request of `mib` MiB must give, worked out
// from the sizing rule itself: each of the four tables addresses the
// largest power of two of 16-byte entries whose four tables fit in the
// request, and has two spare entries past its last index. `mib` is what
// the engine reports: the four tables' bytes in whole MiB, rounded down.
struct HashLayout {
  long long mib;
  long long entries;
};

inline HashLayout hash_layout(long long requested_mib) {
  constexpr long long MIB = 1024 * 1024, TABLES = 4, ENTRY_BYTES = 16, SPARE = 2;
  long long addressed = 1;
  while (TABLES * (2 * addressed) * ENTRY_BYTES <= requested_mib * MIB) addressed *= 2;
  return {TABLES * (addressed + SPARE) * ENTRY_BYTES / MIB, addressed + SPARE};
}

// The reply to a Hash option or a "memory" command that was granted.
inline std::string uci_hash_reply(long long requested_mib) {
  const HashLayout l = hash_layout(requested_mib);
  return "info string Hash " + std::to_string(l.mib) + " MB: transposition tables of " +
         std::to_string(l.entries) + " entries each\n";
}

}  // namespace brevalt::testing

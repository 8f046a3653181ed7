// Helpers of the UCI end-to-end tests: a session opened with "uci", and
// a search's output refereed by the independent rules in chess_rules.h in
// the interface's position.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"
#include "support/files.h"

namespace brevalt::testing {

inline bool is_bestmove(const std::string& line) { return line.rfind("bestmove", 0) == 0; }

// The interface's position: a FEN and the moves played since, in UCI text.
inline rules::Position position_after(const std::string& fen, const std::vector<std::string>& moves) {
  rules::Position p = rules::Position::from_fen(fen);
  for (const std::string& m : moves) p = *p.after(m);
  return p;
}

// Every line from `from` up to the next bestmove: each info line must read
// as UCI's, its hashfull be a share in thousandths that never falls within
// the search, and its variation be legal from `p`; the bestmove legal in
// `p` and the ponder move legal after it. Returns the bestmove's move
// (empty when there was none in time), and moves `from` past its line.
// `last_hashfull`, when given, receives the last info line's hashfull.
inline std::string judge_search(EngineSession& s, const rules::Position& p, size_t& from, int timeout_ms,
                         int* info_lines = nullptr, int* last_hashfull = nullptr) {
  std::optional<std::string> best = s.wait_for_line(is_bestmove, timeout_ms, from);
  if (!best) {
    ADD_FAILURE() << "no bestmove: " << s.out();
    return "";
  }
  static const std::regex info(
      R"(^info depth (\d+) seldepth (\d+) multipv (\d+) score (cp -?\d+|mate -?\d+) nodes (\d+) nps (\d+) hashfull (\d+) time (\d+) pv((?: [a-h][1-8][a-h][1-8][qrbn]?)+)$)");
  static const std::regex current(R"(^info depth \d+ currmove ([a-h][1-8][a-h][1-8][qrbn]?) currmovenumber [1-9]\d*$)");
  int infos = 0;
  int hashfull = 0;
  for (const std::string& line : s.lines(from)) {
    if (is_bestmove(line)) break;
    if (line.rfind("info string", 0) == 0 || line == "readyok") continue;
    std::smatch m;
    if (std::regex_match(line, m, current)) {
      EXPECT_TRUE(p.is_legal(m[1].str())) << "currmove not legal in the position: " << line;
      continue;
    }
    if (!std::regex_match(line, m, info)) {
      ADD_FAILURE() << "not a UCI info line: " << line;
      continue;
    }
    ++infos;
    const int h = std::stoi(m[7].str());
    EXPECT_LE(h, 1000) << line;
    EXPECT_GE(h, hashfull) << "hashfull fell within the search: " << line;
    hashfull = h;
    rules::Position q = p;
    EXPECT_GE(std::stoi(m[2].str()), std::stoi(m[1].str())) << "seldepth below depth: " << line;
    std::istringstream pv(m[9].str());
    for (std::string move; pv >> move;) {
      std::optional<rules::Position> next = q.after(move);
      if (!next) {
        ADD_FAILURE() << "illegal move " << move << " in the variation of: " << line;
        break;
      }
      q = *next;
    }
  }
  if (info_lines) *info_lines = infos;
  if (last_hashfull) *last_hashfull = hashfull;
  const size_t end = s.out().find(*best, from);
  from = end + best->size() + 1;
  std::istringstream words(*best);
  std::string word, move, ponder_word, ponder;
  words >> word >> move >> ponder_word >> ponder;
  if (move == "(none)") return move;
  std::optional<rules::Position> after = p.after(move);
  EXPECT_TRUE(after.has_value()) << "illegal bestmove in the interface's position: " << *best;
  if (after && ponder_word == "ponder") {
    EXPECT_TRUE(after->is_legal(ponder)) << "illegal ponder move: " << *best;
  }
  return move;
}

// A session opened with "uci", its identity read.
struct UciSession {
  EngineSandbox box;
  std::optional<EngineSession> s;
  size_t next = 0;
  explicit UciSession(bool with_book = false) {
    if (with_book) box.write_file("book_normal.bin", read_file(BREVALT_DATA_DIR "/book_normal.bin"));
    s.emplace(box);
    s->send("uci\n");
    EXPECT_TRUE(s->wait_for("uciok\n", ms(10000)));
    next = s->size();
  }
  // Sends the lines and answers "isready": every line before it has run.
  void settle(const std::string& lines) {
    s->send(lines + "isready\n");
    EXPECT_TRUE(s->wait_for("readyok\n", ms(20000), next)) << s->out();
    next = s->size();
  }
};

}  // namespace brevalt::testing

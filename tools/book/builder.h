// Building the opening book: which games count, the results counted per
// position, and the sorted book file the engine's probe searches.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "book/pgn.h"
#include "book/replay.h"

namespace brevalt::tools {

// Positions after 0 to this many plies of each game are counted.
constexpr int DEFAULT_PLY_LIMIT = 30;
// The largest ply limit accepted from the command line.
constexpr int MAX_PLY_LIMIT = 400;

// Book file layout: 16-byte records, the first a header that is never a
// position (the probe's bisection starts at record 1).
constexpr int RECORD_SIZE = 16;
constexpr char BOOK_HEADER[RECORD_SIZE + 1] = "Brevalt book 1\0\0";
// The engine ignores a book of fewer records than this (start-up's size test).
constexpr long ENGINE_MIN_RECORDS = 337500;
// The ceiling of one stored count.
constexpr uint32_t COUNT_CEILING = 65535;

// Game results as counted, in the order of the record's fields.
enum Result { WHITE_WIN = 0, BLACK_WIN = 1, DRAW = 2 };

// How often each result was reached from one position, in full.
struct PositionCounts {
  uint32_t white = 0, black = 0, draws = 0;
};

// The counts as a record stores them.
struct RecordCounts {
  uint16_t white = 0, black = 0, draws = 0;
};

// Counts above 65,535 are scaled down together, by the largest of them,
// so that the proportions the engine's acceptance rule compares survive.
RecordCounts scale_counts(const PositionCounts& counts);

// What became of one game.
enum class GameFate { counted, setup, no_result, duplicate };

// The totals the build reports.
struct BuildSummary {
  long games = 0;      // games read
  long setup = 0;      // skipped: start from a set-up position
  long no_result = 0;  // skipped: no result, or '*'
  long duplicate = 0;  // skipped: the same moves as an earlier counted game
  long counted = 0;    // games whose positions were counted
  long cut_short = 0;  // counted games that stopped at a move that could not be played
  long records = 0;    // position records written
};

// One book record: the key and its counts.
struct BookRecord {
  uint64_t key;
  RecordCounts counts;
};

// Collects games and writes the book.
class BookBuilder {
 public:
  explicit BookBuilder(int ply_limit = DEFAULT_PLY_LIMIT) : ply_limit_(ply_limit) {}

  // Decides whether the game counts and counts it. A reason to warn (a move
  // that cannot be played, a syntax fault) goes into `warning`, else it is
  // left empty. `source` names the file in the warning.
  GameFate add(const PgnGame& game, const std::string& source, std::string* warning);

  // The records in key order, each key once, counts scaled.
  std::vector<BookRecord> records();
  // Writes header and records to `path` (through a temporary file that
  // replaces it only when complete); false with a one-line reason.
  bool write(const std::string& path, std::string* error);

  const BuildSummary& summary() const { return summary_; }
  int ply_limit() const { return ply_limit_; }

 private:
  int ply_limit_;
  Replay replay_;
  BuildSummary summary_;
  // Every counted position's key, once per game, by the game's result;
  // sorted and merged when the book is written, so that the output never
  // depends on the order of any hash container.
  std::vector<uint64_t> sightings_[3];
  // The move sequences of the games counted so far.
  std::unordered_set<std::string> games_seen_;
  // Scratch of the game in hand.
  std::vector<uint64_t> keys_;
  std::string identity_;
};

}  // namespace brevalt::tools

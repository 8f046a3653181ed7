// The book builder: game selection, the per-game position counting, and
// the sorted little-endian book file.
#include "book/builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace brevalt::tools {

namespace {

// Puts a finished file in place of any old one at once. Windows' rename
// refuses to replace an existing file; MoveFileEx replaces it in one step.
bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  errno = EACCES;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Separates the moves played from the text of the rest of a game that
// stopped at an unplayable move, in a game's identity.
constexpr char UNPLAYED_MARK = '\xFF';

void put16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, uint32_t v) {
  put16(p, static_cast<uint16_t>(v & 0xFFFF));
  put16(p + 2, static_cast<uint16_t>(v >> 16));
}

// "White - Black" for a warning; "?" for a missing name.
std::string players(const PgnGame& g) {
  return (g.white.empty() ? "?" : g.white) + " - " + (g.black.empty() ? "?" : g.black);
}

// The move as a reader of the game finds it: "12. Nf3" or "12... Nf6".
std::string move_label(int ply_index, const std::string& text) {
  return std::to_string(ply_index / 2 + 1) + (ply_index % 2 ? "... " : ". ") + text;
}

const char* match_text(MoveMatch m) {
  switch (m) {
    case MoveMatch::unparsable: return "is not a move";
    case MoveMatch::ambiguous: return "is ambiguous";
    default: return "is illegal";
  }
}

}  // namespace

RecordCounts scale_counts(const PositionCounts& c) {
  const uint32_t top = std::max({c.white, c.black, c.draws});
  if (top <= COUNT_CEILING) {
    return {static_cast<uint16_t>(c.white), static_cast<uint16_t>(c.black), static_cast<uint16_t>(c.draws)};
  }
  auto scaled = [top](uint32_t n) {
    return static_cast<uint16_t>(uint64_t{n} * COUNT_CEILING / top);
  };
  return {scaled(c.white), scaled(c.black), scaled(c.draws)};
}

GameFate BookBuilder::add(const PgnGame& game, const std::string& source, std::string* warning) {
  warning->clear();
  ++summary_.games;
  const std::string where = source + ": game " + std::to_string(game.number) + " (" + players(game) + ")";

  // Step 1. Only games from the initial position, with a result.
  if (game.has_fen || game.setup) {
    ++summary_.setup;
    return GameFate::setup;
  }
  if (!game.problem.empty()) *warning = where + ": " + game.problem + "; game skipped";
  // The result token that ends the movetext decides; a Result tag of "*"
  // says the game was unfinished whatever the movetext claims.
  const Result result = game.result == "1-0" ? WHITE_WIN : game.result == "0-1" ? BLACK_WIN : DRAW;
  const bool decided = game.result == "1-0" || game.result == "0-1" || game.result == "1/2-1/2";
  if (!decided || game.result_tag == "*") {
    ++summary_.no_result;
    return GameFate::no_result;
  }

  // Step 2. Replay every move; the positions up to the ply limit are kept,
  // and the moves played make up the game's identity.
  replay_.start();
  keys_.clear();
  identity_.clear();
  keys_.push_back(replay_.key());
  std::string cut;
  for (size_t i = 0; i < game.moves.size(); ++i) {
    GameMove move;
    const MoveMatch m = replay_.find(game.moves[i], &move);
    if (m != MoveMatch::ok) {
      cut = where + ": " + move_label(static_cast<int>(i), game.moves[i]) + " " + match_text(m) +
            "; positions up to ply " + std::to_string(i) + " counted";
      // The rest of the game as written still tells games apart.
      identity_ += UNPLAYED_MARK;
      for (size_t j = i; j < game.moves.size(); ++j) identity_ += game.moves[j] + ' ';
      break;
    }
    identity_ += static_cast<char>(move.from);
    identity_ += static_cast<char>(move.to);
    identity_ += static_cast<char>(move.promotion);
    replay_.play(move);
    if (replay_.plies() <= ply_limit_) keys_.push_back(replay_.key());
  }

  // Step 3. A game that repeats an earlier counted game's moves exactly,
  // whatever its result, is the same game entered twice.
  if (!games_seen_.insert(identity_).second) {
    ++summary_.duplicate;
    return GameFate::duplicate;
  }

  // Step 4. Each position once per game, however often the game reached it.
  ++summary_.counted;
  if (!cut.empty()) {
    ++summary_.cut_short;
    *warning = cut;
  }
  std::sort(keys_.begin(), keys_.end());
  keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
  sightings_[result].insert(sightings_[result].end(), keys_.begin(), keys_.end());
  return GameFate::counted;
}

std::vector<BookRecord> BookBuilder::records() {
  for (auto& s : sightings_) std::sort(s.begin(), s.end());
  // A three-way merge of the sorted key lists: each run of one key gives
  // that result's count.
  std::vector<BookRecord> out;
  size_t at[3] = {0, 0, 0};
  for (;;) {
    bool any = false;
    uint64_t key = 0;
    for (int r = 0; r < 3; ++r) {
      if (at[r] < sightings_[r].size() && (!any || sightings_[r][at[r]] < key)) {
        key = sightings_[r][at[r]];
        any = true;
      }
    }
    if (!any) break;
    uint32_t n[3] = {0, 0, 0};
    for (int r = 0; r < 3; ++r)
      while (at[r] < sightings_[r].size() && sightings_[r][at[r]] == key) ++n[r], ++at[r];
    out.push_back({key, scale_counts({n[WHITE_WIN], n[BLACK_WIN], n[DRAW]})});
  }
  return out;
}

bool BookBuilder::write(const std::string& path, std::string* error) {
  const std::vector<BookRecord> book = records();
  std::vector<unsigned char> bytes((book.size() + 1) * RECORD_SIZE);
  std::memcpy(bytes.data(), BOOK_HEADER, RECORD_SIZE);
  unsigned char* p = bytes.data() + RECORD_SIZE;
  for (const BookRecord& r : book) {
    put32(p, static_cast<uint32_t>(r.key));
    put32(p + 4, static_cast<uint32_t>(r.key >> 32));
    put16(p + 8, r.counts.white);
    put16(p + 10, r.counts.black);
    put16(p + 12, r.counts.draws);
    put16(p + 14, 0);
    p += RECORD_SIZE;
  }

  // A half-written book must never stand where the engine looks for one.
  const std::string partial = path + ".partial";
  std::FILE* f = std::fopen(partial.c_str(), "wb");
  if (!f) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int write_errno = errno;
  if (std::fclose(f) != 0 || !written) {
    *error = "cannot write " + path + ": " + std::strerror(written ? errno : write_errno);
    std::remove(partial.c_str());
    return false;
  }
  if (!replace_file(partial, path)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(partial.c_str());
    return false;
  }
  summary_.records = static_cast<long>(book.size());
  return true;
}

}  // namespace brevalt::tools

// What an xboard user asks the engine from the menus, end to end: the Book
// button ("bk"), Hint ("hint"), moves left out of an analysis ("exclude",
// "include") and several lines in it (the MultiPV option), and the
// commands behind features the engine does not announce. Book contents are
// written here, keyed by the shipped key values as the book format
// defines them (placement and side to move), with the positions worked
// out by the independent rules in chess_rules.h; every move and variation
// the engine names is judged by those rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "support/engine_process.h"

namespace brevalt::testing {
namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// King and pawn against king: six moves for White.
const char* const PAWN_ENDING = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";

rules::Position at(const char* fen) { return rules::Position::from_fen(fen); }

rules::Position after(const char* fen, std::initializer_list<const char*> moves) {
  rules::Position p = at(fen);
  for (const char* m : moves) p = *p.after(m);
  return p;
}

// The book key of a position: the key values of the shipped file, one per
// piece code (king 1 ... pawn 6, Black 8 more) and square, XORed over the
// men on the board, and the side constants when Black is to move.
uint64_t book_key_of(const rules::Position& p) {
  static const std::vector<uint64_t> values = [] {
    std::ifstream in(BREVALT_DATA_DIR "/hash_values");
    std::vector<uint64_t> v(15 * 64);
    for (uint64_t& x : v) in >> x;
    return v;
  }();
  const std::string kinds = "KQRBNP";
  uint64_t key = 0;
  for (int sq = 0; sq < 64; ++sq) {
    const char c = p.at(sq);
    if (c == ' ') continue;
    const bool black = c >= 'a' && c <= 'z';
    const int code = static_cast<int>(kinds.find(static_cast<char>(black ? c - 'a' + 'A' : c))) + 1 + (black ? 8 : 0);
    key ^= values[static_cast<size_t>(code * 64 + sq)];
  }
  if (!p.white_to_move()) key ^= uint64_t{0x382D7E52} << 32 | 0x01F34420;
  return key;
}

struct Counts {
  uint16_t white, black, draws;
};

// A book file: a header record, the positions given and enough filler
// records (keys no position has) for the engine to take it as a book,
// which it does from 5,400,000 bytes on; sorted by key, little-endian.
std::string book_file(const std::map<uint64_t, Counts>& positions) {
  constexpr size_t RECORDS = 340000;
  std::vector<std::pair<uint64_t, Counts>> records(positions.begin(), positions.end());
  for (uint64_t i = 1; records.size() < RECORDS; ++i) {
    const uint64_t filler = i * 0x9E3779B97F4A7C15ULL;
    if (!positions.count(filler)) records.push_back({filler, Counts{1, 1, 1}});
  }
  std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string out(16, '\0');
  auto put = [&out](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (const auto& [key, c] : records) {
    put(key, 8);
    put(c.white, 2);
    put(c.black, 2);
    put(c.draws, 2);
    put(0, 2);
  }
  return out;
}

// The answer to "bk" from offset `from` on: the lines up to and with the
// empty line that ends it.
std::optional<std::string> bk_answer(EngineSession& s, size_t from) {
  if (!s.wait_for("\n\n", ms(10000), from)) return std::nullopt;
  const std::string rest = s.out().substr(from);
  return rest.substr(0, rest.find("\n\n") + 2);
}

// The book for the start position and for 1. e4: e4 won most, Nf3 wins
// without loss, d4 has too few wins for the engine's book rules; after
// 1. e4, e5 is counted from Black's side.
std::map<uint64_t, Counts> opening_book() {
  return {{book_key_of(after(START, {"e2e4"})), {10, 5, 5}},
          {book_key_of(after(START, {"g1f3"})), {8, 0, 2}},
          {book_key_of(after(START, {"d2d4"})), {3, 1, 2}},
          {book_key_of(after(START, {"e2e4", "e7e5"})), {2, 6, 4}}};
}

const char* const START_BOOK_LINES =
    " e2e4   55.6%     20 games  +10 =5 -5\n"
    " g1f3   27.8%     10 games  +8 =2 -0\n"
    " d2d4   16.7%      6 games  +3 =2 -1  (not played)\n"
    "\n";

// "bk" idle in force mode, for either side to move, with no book moves,
// and without a book: exact text, each line starting with a blank and an
// empty line at the end.
TEST(XboardBook, ListsTheBookMovesOfThePositionWithTheirGames) {
  EngineSandbox box;
  {
    const EngineRun r = box.run("xboard\nnew\nforce\nbk\n");
    EXPECT_EQ(r.out, "\n no opening book\n\n");
  }
  box.write_file("book_normal.bin", book_file(opening_book()));
  const EngineRun r = box.run("xboard\nnew\nforce\nbk\ne2e4\nbk\ne7e5\nbk\nquit\n");
  EXPECT_EQ(r.out, std::string("\n") + START_BOOK_LINES + " e7e5  100.0%     12 games  +6 =4 -2\n\n" + " no book moves\n\n");
}

// "bk" while the engine analyses the start position: the same text, and
// the analysis goes on undisturbed (new thinking lines, legal ones).
TEST(XboardBook, AnsweredDuringAnAnalysisWhichGoesOn) {
  EngineSandbox box;
  box.write_file("book_normal.bin", book_file(opening_book()));
  EngineSession s(box);
  s.send("xboard\nprotover 2\nnew\nforce\npost\nanalyze\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
  s.pump(300);
  const size_t from = s.size();
  s.send("bk\n");
  const std::optional<std::string> answer = bk_answer(s, from);
  ASSERT_TRUE(answer) << s.out();
  // Thinking lines may come between the book lines and the request; the
  // book's text itself is one piece.
  EXPECT_NE(s.out().find(START_BOOK_LINES, from), std::string::npos) << s.out().substr(from);
  const size_t later = s.size();
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000), later)) << s.out().substr(from);
  for (const std::string& l : s.lines(later)) {
    if (!is_thinking_line(l)) continue;
    const std::optional<ThinkingLine> t = parse_thinking(l);
    ASSERT_TRUE(t) << l;
    EXPECT_EQ(pv_problem(at(START), t->pv), "") << l;
  }
  s.send("exit\n");
  EXPECT_EQ(s.quit(), 0);
}

// While the engine ponders, "bk" and "hint" answer for the position the
// interface shows, not the one after the predicted move that stands on the
// engine's board; the game then goes on. Black has one move (Ka7), so the
// position the engine ponders in is known, and the book holds two of
// White's replies there.
TEST(XboardBook, BookAndHintDuringPonderingAreAboutTheInterfacesPosition) {
  const char* const FEN = "k7/8/8/8/8/8/8/1R5K b - - 0 1";
  const rules::Position shown = after(FEN, {"a8a7"});
  EngineSandbox box;
  box.write_file("book_normal.bin", book_file({{book_key_of(*shown.after("b1b2")), {9, 0, 1}},
                                               {book_key_of(*shown.after("h1g2")), {3, 1, 0}}}));
  EngineSession s(box);
  s.send(std::string("xboard\nprotover 2\nnew\nhard\nnopost\nlevel 0 1 0\nforce\nsetboard ") + FEN + "\ngo\n");
  size_t next = 0;
  ASSERT_TRUE(s.wait_for_line([](const std::string& l) { return l == "move a8a7"; }, ms(20000), 0, &next)) << s.out();
  s.pump(300);  // pondering by now
  s.send("bk\n");
  const std::optional<std::string> answer = bk_answer(s, next);
  ASSERT_TRUE(answer) << s.out();
  EXPECT_EQ(*answer,
            " b1b2   71.4%     10 games  +9 =1 -0\n"
            " h1g2   28.6%      4 games  +3 =0 -1  (not played)\n"
            "\n");
  const size_t from = s.size();
  s.send("hint\n");
  const std::optional<std::string> hint =
      s.wait_for_line([](const std::string& l) { return l.rfind("Hint: ", 0) == 0; }, ms(10000), from);
  ASSERT_TRUE(hint) << s.out();
  EXPECT_TRUE(shown.is_legal(hint->substr(6))) << *hint;
  // The game goes on in step: a reply of the user gets a legal answer.
  const std::string reply = shown.legal_texts().front();
  next = s.size();
  s.send(reply + "\n");
  EXPECT_TRUE(expect_legal_answer(s, *shown.after(reply), next, ms(20000)));
  EXPECT_EQ(s.quit(), 0);
}

// "hint" after the engine's move names a legal move of the user, with
// pondering on or off; once the position has changed, or before the
// engine has moved at all, it gets no answer.
TEST(XboardHint, NamesALegalReplyOnlyWhileThePositionStands) {
  for (const char* ponder : {"easy\n", "hard\n"}) {
    SCOPED_TRACE(ponder);
    EngineSandbox box;
    EngineSession s(box);
    s.send(std::string("xboard\nprotover 2\nnew\nnopost\nhint\nforce\nsetboard ") + PAWN_ENDING + "\n" + ponder +
           "level 0 1 0\nsd 6\ngo\n");
    size_t next = 0;
    std::optional<rules::Position> p = expect_legal_answer(s, at(PAWN_ENDING), next, ms(20000));
    ASSERT_TRUE(p);
    const size_t from = s.size();
    s.send("hint\n");
    const std::optional<std::string> hint =
        s.wait_for_line([](const std::string& l) { return l.rfind("Hint: ", 0) == 0; }, ms(10000), from);
    ASSERT_TRUE(hint) << s.out();
    EXPECT_TRUE(p->is_legal(hint->substr(6))) << *hint;
    // The user takes another way in force mode: nothing to hint now.
    const size_t later = s.size();
    s.send("force\n" + p->legal_texts().back() + "\nhint\n");
    const std::string rest = output_until_sync(s, later);
    EXPECT_EQ(rest.find("Hint"), std::string::npos) << rest;
    EXPECT_EQ(s.out().find("Hint"), s.out().find("Hint: ", from)) << "a hint before the engine moved: " << s.out();
    EXPECT_EQ(s.quit(), 0);
  }
}

// The root moves an analysis searches, by the stat01 move total that "."
// reports and by the first moves of the thinking lines: "exclude" leaves a
// move out, "include" and "include all" put it back, "exclude all" leaves
// nothing to search, and a new position searches all its moves again.
TEST(XboardExclude, ChangesTheMovesTheAnalysisSearches) {
  EngineSandbox box;
  EngineSession s(box);
  s.send(std::string("xboard\nprotover 2\nnew\nforce\nsetboard ") + PAWN_ENDING + "\npost\nanalyze\n");
  ASSERT_TRUE(s.wait_for_line(is_thinking_line, ms(10000))) << s.out();
  int pings = 0;
  // The moves the analysis searches once the commands have taken effect:
  // stat01's total, and the first moves of the new thinking lines.
  auto searched = [&](const std::string& commands, std::set<std::string>* first_moves) -> int {
    const size_t from = s.size();
    s.send(commands + "ping " + std::to_string(++pings) + "\n");
    size_t after_pong = 0;
    const std::string pong = "pong " + std::to_string(pings);
    if (!s.wait_for_line([&](const std::string& l) { return l == pong; }, ms(10000), from, &after_pong)) return -1;
    if (first_moves) {
      s.pump(500);
      for (const std::string& l : s.lines(after_pong))
        if (const std::optional<ThinkingLine> t = parse_thinking(l)) first_moves->insert(t->pv.front());
    }
    const size_t before_stat = s.size();
    s.send(".\n");
    const std::optional<std::string> stat =
        s.wait_for_line([](const std::string& l) { return l.rfind("stat01:", 0) == 0; }, ms(10000), before_stat);
    if (!stat) return -1;
    std::istringstream words(stat->substr(7));
    long long cs = 0, nodes = 0;
    int depth = 0, left = 0, total = -1;
    words >> cs >> nodes >> depth >> left >> total;
    return total;
  };
  std::set<std::string> firsts;
  EXPECT_EQ(searched("exclude e2e4\nexclude e2e3\n", &firsts), 4) << s.out();
  EXPECT_FALSE(firsts.empty()) << s.out();
  EXPECT_EQ(firsts.count("e4") + firsts.count("e3"), 0u) << s.out();
  // Bad moves are answered and change nothing.
  const size_t errors_from = s.size();
  EXPECT_EQ(searched("exclude e2e5\ninclude e9e4\nexclude\ninclude e1e2q\n", nullptr), 4) << s.out();
  const std::string errors = s.out().substr(errors_from);
  for (const char* e : {"Error (illegal move e2e5): exclude\n", "Error (include needs a move or all): include\n",
                        "Error (exclude needs a move or all): exclude\n", "Error (illegal move e1e2q): include\n"})
    EXPECT_NE(errors.find(e), std::string::npos) << e << errors;
  EXPECT_EQ(searched("include e2e4\n", nullptr), 5) << s.out();
  EXPECT_EQ(searched("include all\n", nullptr), 6) << s.out();
  EXPECT_EQ(searched("exclude all\n", nullptr), 0) << s.out();
  firsts.clear();
  EXPECT_EQ(searched("include e1d1\n", &firsts), 1) << s.out();
  EXPECT_EQ(firsts, std::set<std::string>{"Kd1"}) << s.out();
  // A move and its take-back: the position is new, every move counts again.
  EXPECT_EQ(searched("exclude all\ne2e4\n", nullptr), static_cast<int>(after(PAWN_ENDING, {"e2e4"}).legal_texts().size()))
      << s.out();
  EXPECT_EQ(searched("exclude all\nundo\n", nullptr), 6) << s.out();
  s.send("exit\n");
  // The analysis has ended once a later line is answered.
  ASSERT_TRUE(s.sync(ms(10000))) << s.out();
  // Outside an analysis there is nothing to exclude from.
  const size_t from = s.size();
  s.send("exclude e2e4\ninclude all\n");
  EXPECT_EQ(output_until_sync(s, from),
            "Error (command not legal now): exclude\n"
            "Error (command not legal now): include\n");
  EXPECT_EQ(s.quit(), 0);
}

// With the MultiPV option at K, each depth of an analysis is reported as K
// thinking lines, best first, with K different legal first moves; a value
// outside 1 to 64 is refused.
TEST(XboardMultiPv, AnalysisShowsOneLinePerVariationAndDepth) {
  const char* const MIDDLEGAME = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8";
  EngineSandbox box;
  {
    const EngineRun r = box.run("xboard\noption MultiPV=0\noption MultiPV=65\noption MultiPV=x\nquit\n");
    EXPECT_EQ(r.out, "\nError (bad value 0): option\nError (bad value 65): option\nError (bad value x): option\n");
  }
  EngineSession s(box);
  s.send(std::string("xboard\nprotover 2\nnew\nforce\nsetboard ") + MIDDLEGAME + "\noption MultiPV=3\npost\nanalyze\n");
  ASSERT_TRUE(s.wait_for_line(
      [](const std::string& l) {
        const std::optional<ThinkingLine> t = parse_thinking(l);
        return t && t->depth >= 6;
      },
      ms(20000)))
      << s.out();
  s.send("exit\n");
  ASSERT_TRUE(s.sync(ms(10000)));
  std::map<int, std::vector<ThinkingLine>> by_depth;
  for (const std::string& l : s.lines(0))
    if (const std::optional<ThinkingLine> t = parse_thinking(l)) by_depth[t->depth].push_back(*t);
  ASSERT_GE(by_depth.size(), 5u) << s.out();
  for (const auto& [depth, lines] : by_depth) {
    if (depth > 5) break;  // the last ones may have been cut short by "exit"
    SCOPED_TRACE("depth " + std::to_string(depth));
    ASSERT_EQ(lines.size(), 3u) << s.out();
    std::set<std::string> firsts;
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(pv_problem(at(MIDDLEGAME), lines[i].pv), "");
      firsts.insert(lines[i].pv.front());
      if (i > 0) {
        EXPECT_LE(lines[i].score, lines[i - 1].score);
      }
    }
    EXPECT_EQ(firsts.size(), 3u);
  }
  EXPECT_EQ(s.quit(), 0);
}

// Commands behind features the engine leaves off (playother, pause,
// colors, egt, setscore, highlight; edit, which setboard=1 replaces; nps,
// which WinBoard tries on engines that do not say) are never sent by an
// interface that follows the features; should one come, it is an unknown
// command, and the game is as before: the engine then plays 1. e4 e5 on.
TEST(XboardUnannounced, CommandsBehindFeaturesLeftOffAreUnknown) {
  EngineSandbox box;
  const EngineRun r = box.run(
      "xboard\nnew\nforce\ne2e4\nplayother\npause\nresume\nwhite\nblack\nedit\nnps 1000\negtpath syzygy /tmp\n"
      "setscore 100 5\nlift e2\nput e4\nhover e4\ne7e5\nundo\nundo\nquit\n");
  EXPECT_EQ(r.out,
            "\n"
            "Error (unknown command): playother\n\n"
            "Error (unknown command): pause\n\n"
            "Error (unknown command): resume\n\n"
            "Error (unknown command): white\n\n"
            "Error (unknown command): black\n\n"
            "Error (unknown command): edit\n\n"
            "Error (unknown command): nps\n"
            "Error (unknown command): egtpath\n"
            "Error (unknown command): setscore\n"
            "Error (unknown command): lift\n"
            "Error (unknown command): put\n"
            "Error (unknown command): hover\n");
}

}  // namespace
}  // namespace brevalt::testing

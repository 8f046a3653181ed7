// The UCI session end to end: the built engine fed the command orders UCI
// interfaces send, its fixed lines compared exactly, and every bestmove,
// ponder move and info variation judged by the independent rules in
// chess_rules.h in the interface's position.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/chess_rules.h"
#include "frontend/play_support.h"
#include "frontend/uci_support.h"
#include "support/engine_process.h"
#include "support/files.h"

namespace brevalt::testing {
namespace {

const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// What "uci" is answered with under the shipped Brevalt.ini (book on,
// hash size 3: four tables of 1050000 entries, 64 MiB rounded down).
const std::string IDENTITY = std::string(
    "id name Brevalt " BREVALT_VERSION "\n"
    "id author the Brevalt developers\n"
    "option name Hash type spin default 64 min 1 max 16384\n"
    "option name Clear Hash type button\n"
    "option name Threads type spin default 1 min 1 max ") + std::to_string(engine_max_threads()) + "\n"
    "option name OwnBook type check default true\n"
    "option name Ponder type check default false\n"
    "option name Move Overhead type spin default 30 min 0 max 5000\n"
    "option name UCI_AnalyseMode type check default false\n"
    "option name UCI_Chess960 type check default false\n"
    "option name MultiPV type spin default 1 min 1 max 64\n"
    "option name UCI_LimitStrength type check default false\n"
    "option name UCI_Elo type spin default 1400 min 1000 max 1800\n"
    "uciok\n";

TEST(UciSession, IdentifiesItselfAndAnswersIsready) {
  EngineSandbox box;
  EngineRun run = box.run("uci\nisready\nquit\n");
  EXPECT_EQ(run.out, std::string(IDENTITY) + "readyok\n");
  EXPECT_EQ(run.exit_status, 0);
}

TEST(UciSession, OnlyAFirstUciCommandSwitchesProtocol) {
  EngineSandbox box;
  EngineRun run = box.run("xboard\nuci\nquit\n");
  // The unknown-command reply of CECP, which quotes a one-word line with its line end.
  EXPECT_EQ(run.out, "\nError (unknown command): uci\n\n");
}

// Positions and limits as interfaces send them; every answer refereed.
TEST(UciSession, EverySearchAnswersLegallyInTheInterfacesPosition) {
  struct Case {
    std::string fen;                 // empty: startpos
    std::vector<std::string> moves;  // played since
    std::string go;
  };
  const std::vector<Case> cases = {
      {"", {"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6"}, "go depth 6"},
      {"", {"e2e4", "d7d5", "e4e5", "f7f5"}, "go movetime 300"},                 // e5f6 en passant is legal
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"e1g1", "e8c8"}, "go nodes 30000"},  // both castle
      {"8/P6k/8/8/8/8/6K1/8 w - - 0 1", {}, "go wtime 3000 btime 3000 winc 100 binc 100"},
      {"8/1P5k/8/8/8/8/6K1/8 w - - 0 1", {"b7b8n", "h7g7"}, "go depth 5"},    // an under-promoted knight
      {"", {"d2d4", "d7d5"}, "go wtime 2000 btime 2000 movestogo 1"},
      {"4k3/8/8/8/8/8/4q3/4K3 w - - 0 1", {}, "go depth 4"},                  // the king must take
  };
  UciSession u;
  u.settle("setoption name OwnBook value false\n");
  for (const Case& c : cases) {
    std::string position = c.fen.empty() ? "position startpos" : "position fen " + c.fen;
    if (!c.moves.empty()) {
      position += " moves";
      for (const std::string& m : c.moves) position += " " + m;
    }
    SCOPED_TRACE(position + " / " + c.go);
    u.s->send(position + "\n" + c.go + "\n");
    const rules::Position p = position_after(c.fen.empty() ? START_FEN : c.fen, c.moves);
    int infos = 0;
    EXPECT_NE(judge_search(*u.s, p, u.next, ms(20000), &infos), "");
    EXPECT_GT(infos, 0) << "no info line";
  }
  EXPECT_EQ(u.s->quit(), 0);
}

TEST(UciSession, SearchmovesConfinesTheRootAndMateIsAMoveCount) {
  UciSession u;
  // Only the two named moves, of twenty.
  u.s->send("position startpos\ngo depth 5 searchmoves a2a3 h2h3\n");
  const std::string move = judge_search(*u.s, rules::Position::from_fen(START_FEN), u.next, ms(20000));
  EXPECT_TRUE(move == "a2a3" || move == "h2h3") << move;
  // Mate in one: Ra8 is the answer, and the score says "mate 1".
  const std::string fen = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
  u.s->send("position fen " + std::string(fen) + "\ngo depth 4\n");
  const size_t from = u.next;
  EXPECT_EQ(judge_search(*u.s, rules::Position::from_fen(fen), u.next, ms(20000)), "a1a8");
  EXPECT_NE(u.s->out().find("score mate 1 ", from), std::string::npos) << u.s->out().substr(from);
  EXPECT_EQ(u.s->quit(), 0);
}

// UCI has no claims, results, resignation or draw offers: the interface
// keeps the game. A threefold repetition, a mated and a stalemated side,
// bare kings and a lost position each still get a plain answer.
TEST(UciSession, GameEndsGetAnAnswerAndNoCecpLines) {
  UciSession u;
  const std::string repeat = "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8";
  u.s->send("position startpos moves " + repeat + "\ngo depth 4\n");
  std::istringstream words(repeat);
  std::vector<std::string> moves;
  for (std::string m; words >> m;) moves.push_back(m);
  judge_search(*u.s, position_after(START_FEN, moves), u.next, ms(20000));
  u.s->send("position fen 6k1/8/8/8/8/8/8/4K3 w - - 0 1\ngo depth 3\n");
  judge_search(*u.s, rules::Position::from_fen("6k1/8/8/8/8/8/8/4K3 w - - 0 1"), u.next, ms(20000));
  u.s->send("position fen 7k/8/8/8/8/8/1q6/K7 w - - 0 1\ngo depth 3\n");  // lost, not mated
  judge_search(*u.s, rules::Position::from_fen("7k/8/8/8/8/8/1q6/K7 w - - 0 1"), u.next, ms(20000));
  for (const char* end : {"R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"}) {
    u.s->send("position fen " + std::string(end) + "\ngo depth 3\n");
    EXPECT_EQ(judge_search(*u.s, rules::Position::from_fen(end), u.next, ms(20000)), "(none)");
  }
  EXPECT_EQ(u.s->quit(), 0);
  for (const char* cecp : {"1/2-1/2", "1-0", "0-1", "resign", "offer draw", "\nmove ", "whisper", "kibitz"})
    EXPECT_EQ(u.s->out().find(cecp), std::string::npos) << cecp << " in: " << u.s->out();
}

// A bad position: the moves up to the illegal one stand; a FEN that cannot
// be played leaves no position, and "go" says so with a null move.
TEST(UciSession, BadPositionsAreReportedAndNeverSearchedAsIfGood) {
  UciSession u;
  u.s->send("position startpos moves e2e4 e7e6 e4e6 d2d4\ngo depth 4\n");
  const size_t from = u.next;
  judge_search(*u.s, position_after(START_FEN, {"e2e4", "e7e6"}), u.next, ms(20000));
  EXPECT_NE(u.s->out().find("info string illegal move e4e6: the position is the one before it\n", from),
            std::string::npos);
  const std::vector<std::string> bad_positions = {"position fen 8/8/8/8/8/8/8/8 w - - 0 1",
                                                  "position fen rnbqkbnr/pppppppp w", "position sideways",
                                                  "position startpos moves " + std::string(40000, 'e')};
  for (const std::string& bad : bad_positions) {
    SCOPED_TRACE(bad.substr(0, 60));
    const size_t before = u.s->size();
    u.s->send(bad + "\ngo depth 3\n");
    EXPECT_TRUE(u.s->wait_for("bestmove 0000\n", ms(10000), before)) << u.s->out().substr(before);
    EXPECT_NE(u.s->out().find("info string", before), std::string::npos);
  }
  u.next = u.s->size();
  // A good position afterwards is searched again.
  u.s->send("position startpos moves g1f3\ngo depth 3\n");
  judge_search(*u.s, position_after(START_FEN, {"g1f3"}), u.next, ms(20000));
  EXPECT_EQ(u.s->quit(), 0);
}

// "go infinite" and "go ponder" answer only when told; "isready" is
// answered during the search; a new position sent in the middle of a search
// first ends it with its own bestmove.
TEST(UciSession, InfiniteAndPonderSearchesAnswerWhenTold) {
  UciSession u;
  const rules::Position start = rules::Position::from_fen(START_FEN);
  u.s->send("position startpos\ngo infinite\n");
  u.s->pump(ms(500));
  u.s->send("isready\n");
  EXPECT_TRUE(u.s->wait_for("readyok\n", ms(2000), u.next));
  EXPECT_EQ(u.s->out().find("bestmove", u.next), std::string::npos);
  u.s->send("stop\n");
  judge_search(*u.s, start, u.next, ms(5000));

  // Pondering on e2e4 (the position holds the expected move), then the hit.
  const rules::Position after_e4 = position_after(START_FEN, {"e2e4"});
  u.s->send("position startpos moves e2e4\ngo ponder wtime 4000 btime 4000\n");
  u.s->pump(ms(300));
  EXPECT_EQ(u.s->out().find("bestmove", u.next), std::string::npos);
  u.s->send("ponderhit\n");
  judge_search(*u.s, after_e4, u.next, ms(8000));

  // A ponder miss: "stop", then the real position.
  u.s->send("position startpos moves e2e4\ngo ponder wtime 4000 btime 4000\n");
  u.s->pump(ms(300));
  u.s->send("stop\n");
  judge_search(*u.s, after_e4, u.next, ms(5000));

  // A position arriving mid-search: the old search answers, then the new one runs.
  u.s->send("position startpos\ngo infinite\n");
  u.s->pump(ms(300));
  u.s->send("position startpos moves d2d4\ngo depth 4\n");
  judge_search(*u.s, start, u.next, ms(5000));
  judge_search(*u.s, position_after(START_FEN, {"d2d4"}), u.next, ms(20000));
  EXPECT_EQ(u.s->quit(), 0);
  const std::vector<std::string> lines = u.s->lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), is_bestmove), 5) << u.s->out();
}

// Each "go" sent during a search ends that search, and the next one is
// read as soon as its own search polls the input: a long run of them must
// neither pile up nor lose an answer.
TEST(UciSession, ARunOfGoCommandsGetsOneLegalAnswerEach) {
  constexpr int GOES = 400;
  UciSession u;
  std::string run = "position startpos moves e2e4\n";
  for (int i = 0; i < GOES; ++i) run += "go depth 3\n";
  // "isready" may be read by the last search's poll: its answer can come
  // before the last bestmove.
  u.settle(run);
  const rules::Position p = position_after(START_FEN, {"e2e4"});
  int answers = 0;
  for (int wait = 0; wait < 100 && answers < GOES; ++wait) {
    if (wait > 0) u.s->pump(ms(100));
    answers = 0;
    for (const std::string& line : u.s->lines()) answers += is_bestmove(line);
  }
  EXPECT_EQ(answers, GOES);
  for (const std::string& line : u.s->lines()) {
    if (is_bestmove(line)) {
      EXPECT_TRUE(p.is_legal(line.substr(9, line.find(' ', 9) - 9))) << line;
    }
  }
  EXPECT_EQ(u.s->quit(), 0);
}

// Options: Hash takes the largest power-of-two layout that fits, from
// 1 MiB up, and a search after each size answers legally (in tables of
// 1 MiB a search of 200,000 nodes fills a good share); a size out of range
// or not a number is refused and changes nothing. The book answers at
// once; with OwnBook off, or in analysis, the engine searches.
TEST(UciSession, OptionsChangeHashAndBook) {
  UciSession u(true);
  const rules::Position after_e4 = position_after(START_FEN, {"e2e4"});
  for (const long long mib : {1LL, 16LL, 64LL, 300LL}) {
    SCOPED_TRACE(mib);
    const size_t from = u.s->size();
    u.settle("setoption name Hash value " + std::to_string(mib) + "\n");
    EXPECT_EQ(u.s->out().substr(from), uci_hash_reply(mib) + "readyok\n");
    u.s->send("position startpos moves e2e4\ngo nodes 200000\n");
    int hashfull = 0;
    judge_search(*u.s, after_e4, u.next, ms(20000), nullptr, &hashfull);
    if (mib == 1) {
      EXPECT_GT(hashfull, 100);
    }
  }
  for (const char* value : {"0", "16385", "-64", "lots", "", "64MB", "99999999999999999999999"}) {
    SCOPED_TRACE(value);
    const size_t from = u.s->size();
    u.settle(std::string("setoption name Hash value ") + value + "\n");
    EXPECT_EQ(u.s->out().substr(from), "info string Hash is 1 to 16384 MB\nreadyok\n");
  }
  {
    const size_t from = u.s->size();
    u.settle("uci\n");
    EXPECT_NE(u.s->out().find("option name Hash type spin default 256 min 1 max 16384\n", from), std::string::npos)
        << u.s->out().substr(from);
  }
  const rules::Position start = rules::Position::from_fen(START_FEN);
  int infos = -1;
  u.s->send("position startpos\ngo wtime 60000 btime 60000\n");
  judge_search(*u.s, start, u.next, ms(20000), &infos);
  EXPECT_EQ(infos, 0) << "a book move is played without a search";
  {
    const size_t from = u.s->size();
    u.settle("setoption name UCI_AnalyseMode value perhaps\nsetoption name UCI_AnalyseMode value true\n");
    EXPECT_EQ(u.s->out().substr(from), "info string UCI_AnalyseMode is true or false\nreadyok\n");
  }
  u.s->send("position startpos\ngo wtime 60000 btime 60000\n");
  judge_search(*u.s, start, u.next, ms(20000), &infos);
  EXPECT_GT(infos, 0) << "analysis searches the book's positions";
  u.settle("setoption name UCI_AnalyseMode value false\n");
  u.s->send("position startpos\ngo wtime 60000 btime 60000\n");
  judge_search(*u.s, start, u.next, ms(20000), &infos);
  EXPECT_EQ(infos, 0) << "out of analysis the book plays again";
  u.settle("setoption name OwnBook value false\n");
  u.s->send("position startpos\ngo movetime 200\n");
  judge_search(*u.s, start, u.next, ms(20000), &infos);
  EXPECT_GT(infos, 0);
  EXPECT_EQ(u.s->quit(), 0);
}

// "Clear Hash" empties the tables as a new game does and changes nothing
// else: the same search after it counts the same nodes as from fresh
// tables, while without it the tables' contents change the count.
TEST(UciSession, ClearHashSearchesAsFromFreshTables) {
  UciSession u;
  const rules::Position p = position_after(START_FEN, {"d2d4", "g8f6", "c2c4"});
  const std::string search = "position startpos moves d2d4 g8f6 c2c4\ngo depth 7\n";
  auto nodes_of_search = [&](const std::string& before) {
    u.settle(before);
    const size_t from = u.next;
    u.s->send(search);
    judge_search(*u.s, p, u.next, ms(20000));
    long long nodes = -1;
    static const std::regex info_nodes(R"(^info depth \d+ .* nodes (\d+) )");
    for (const std::string& line : u.s->lines(from)) {
      std::smatch m;
      if (std::regex_search(line, m, info_nodes)) nodes = std::stoll(m[1].str());
    }
    return nodes;
  };
  const long long fresh = nodes_of_search("setoption name OwnBook value false\n");
  const long long again = nodes_of_search("");
  const long long cleared = nodes_of_search("setoption name Clear Hash\n");
  EXPECT_GT(fresh, 0);
  EXPECT_NE(again, fresh) << "the tables' contents made no difference";
  EXPECT_EQ(cleared, fresh);
  EXPECT_EQ(u.s->quit(), 0);
}

// A UCI game ages the transposition tables and the pawn cache as the same
// game under CECP does: the interface's "position" before every search
// keeps the search count that stamps their entries, so that what earlier
// searches stored grows stale as under CECP (and an exact entry of an
// earlier search gives no cut-off). The engine plays six plies of a game
// against itself under CECP, a fixed-depth search each; the same positions
// searched to the same depth under UCI, one "position" each, play the same
// moves, and each search's lines count the same nodes as CECP's (UCI
// may close a search with one more line, of its final count).
TEST(UciSession, AGameAgesTheTablesAsTheSameCecpGame) {
  constexpr int DEPTH = 6, PLIES = 6;
  EngineSandbox box;
  std::string ini = read_file(BREVALT_DATA_DIR "/Brevalt.ini");
  ini.replace(ini.find("\n1 opening book"), 3, "\n0 ");  // every move searched
  box.write_file("Brevalt.ini", ini);
  auto nodes_at_depth = [](const std::vector<std::string>& lines, const std::regex& shape) {
    std::vector<long long> nodes;
    for (const std::string& line : lines) {
      std::smatch m;
      if (std::regex_search(line, m, shape)) nodes.push_back(std::stoll(m[1].str()));
    }
    return nodes;
  };

  // Under CECP: "go" has the engine play the side to move, each time.
  std::vector<std::string> moves;
  std::vector<std::vector<long long>> cecp_nodes;
  {
    EngineSession s(box);
    s.send("xboard\nprotover 2\nnew\npost\nlevel 0 60 0\nsd " + std::to_string(DEPTH) + "\n");
    ASSERT_TRUE(s.sync(ms(10000))) << s.out();
    rules::Position p = rules::Position::from_fen(START_FEN);
    const std::regex thinking("^" + std::to_string(DEPTH) + R"( -?\d+ \d+ (\d+) )");
    for (int i = 0; i < PLIES; ++i) {
      size_t from = s.size();
      s.send("go\n");
      const std::optional<std::string> line = s.wait_for_line(is_move_line, ms(20000), from);
      ASSERT_TRUE(line) << s.out();
      const std::optional<rules::Move> m = p.find(move_of(*line));
      ASSERT_TRUE(m) << *line;
      moves.push_back(m->text());
      p = *p.after(m->text());
      cecp_nodes.push_back(nodes_at_depth(s.lines(from), thinking));
      ASSERT_FALSE(cecp_nodes.back().empty()) << "no thinking line of depth " << DEPTH << ": " << s.out().substr(from);
    }
    EXPECT_EQ(s.quit(), 0);
  }

  // Under UCI: the same positions, each sent whole before its search.
  EngineSession s(box);
  s.send("uci\n");
  ASSERT_TRUE(s.wait_for("uciok\n", ms(10000))) << s.out();
  const std::regex info("^info depth " + std::to_string(DEPTH) + R"( .* nodes (\d+) )");
  std::string position = "position startpos";
  size_t next = s.size();
  for (int i = 0; i < PLIES; ++i) {
    SCOPED_TRACE(position);
    const size_t from = next;
    s.send(position + "\ngo depth " + std::to_string(DEPTH) + "\n");
    const std::vector<std::string> played(moves.begin(), moves.begin() + i);
    EXPECT_EQ(judge_search(s, position_after(START_FEN, played), next, ms(20000)), moves[i]);
    std::vector<long long> uci_nodes = nodes_at_depth(s.lines(from), info);
    ASSERT_FALSE(uci_nodes.empty()) << s.out().substr(from);
    ASSERT_GE(uci_nodes.size(), cecp_nodes[i].size()) << s.out().substr(from);
    uci_nodes.resize(cecp_nodes[i].size());
    EXPECT_EQ(uci_nodes, cecp_nodes[i]);
    position += (i == 0 ? " moves " : " ") + moves[i];
  }
  EXPECT_EQ(s.quit(), 0);
}

// The input closing after "go": the search still answers, then the engine ends.
TEST(UciSession, EndOfInputStillAnswers) {
  EngineSandbox box;
  EngineRun run = box.run("uci\nposition startpos moves e2e4\ngo depth 5\n");
  const size_t at = run.out.find("bestmove ");
  ASSERT_NE(at, std::string::npos) << run.out;
  std::istringstream words(run.out.substr(at));
  std::string word, move;
  words >> word >> move;
  EXPECT_TRUE(position_after(START_FEN, {"e2e4"}).is_legal(move)) << move;
  EXPECT_EQ(run.exit_status, 0);
}

// Clocks and limits as match runners and analysis GUIs send them. The
// move must come in the interface's time: a fixed move time is met with
// its margin, and no time left, or a limit of zero, means a move at once
// (from a finished first iteration, so a mate in one is found).
const char* const MIDDLEGAME = "r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R b K - 1 8";
const char* const MATE_IN_ONE = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1";

bool mates(const rules::Position& p, const std::string& move) {
  std::optional<rules::Position> after = p.after(move);
  return after && after->in_check() && after->legal_moves().empty();
}

long ms_since(std::chrono::steady_clock::time_point t) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}

TEST(UciClock, FixedMoveTimeIsMetFromTheGoLine) {
  UciSession u;
  const rules::Position p = rules::Position::from_fen(MIDDLEGAME);
  for (int i = 0; i < 5; ++i) {
    u.settle(std::string("position fen ") + MIDDLEGAME + "\n");
    const auto sent = std::chrono::steady_clock::now();
    u.s->send("go movetime 300\n");
    ASSERT_TRUE(u.s->wait_for_line(is_bestmove, ms(5000), u.next)) << u.s->out();
    EXPECT_LT(ms_since(sent), 300) << "run " << i;
    judge_search(*u.s, p, u.next, ms(1000));
  }
}

TEST(UciClock, NoTimeLeftOrAZeroLimitMovesAtOnce) {
  const std::string middle = "3r2k1/p5n1/1pq1p2p/2p3p1/2P1P1n1/1P1P2pP/PN1Q2K1/5R2 w - - 0 27";
  struct Case {
    std::string fen, go;
  };
  const Case cases[] = {
      {middle, "go wtime -37 btime 5000"}, {middle, "go btime 100"},   {middle, "go wtime 0 btime 0 winc 0"},
      {middle, "go movetime 0"},           {middle, "go depth 0"},     {middle, "go nodes 0"},
      {MATE_IN_ONE, "go wtime -5 btime 900"}, {MATE_IN_ONE, "go mate 1"}, {MATE_IN_ONE, "go nodes 1"},
  };
  for (const Case& c : cases) {
    UciSession u;
    u.settle("position fen " + c.fen + "\n");
    u.s->send(c.go + "\n");
    const rules::Position p = rules::Position::from_fen(c.fen);
    const std::string move = judge_search(*u.s, p, u.next, ms(3000));
    if (c.fen == MATE_IN_ONE) {
      EXPECT_TRUE(mates(p, move)) << c.go << ": " << move;
    }
  }
}

TEST(UciClock, StopRightAfterGoStillGivesASearchedMove) {
  UciSession u;
  const rules::Position p = rules::Position::from_fen(MATE_IN_ONE);
  for (const char* go : {"go infinite\nstop\n", "go wtime 60000 btime 60000\nstop\n"}) {
    u.settle(std::string("position fen ") + MATE_IN_ONE + "\n");
    u.s->send(go);
    EXPECT_TRUE(mates(p, judge_search(*u.s, p, u.next, ms(3000)))) << go;
  }
  // The input ending right after "go" is a stop too.
  EngineSandbox box;
  EngineRun run = box.run(std::string("uci\nposition fen ") + MATE_IN_ONE + "\ngo infinite\n");
  const size_t at = run.out.find("bestmove ");
  ASSERT_NE(at, std::string::npos) << run.out;
  EXPECT_TRUE(mates(p, run.out.substr(at + 9, 4))) << run.out;
}

TEST(UciClock, AnyRunOfBlanksAndTabsSeparatesWords) {
  UciSession u;
  u.settle(std::string("position\tfen 6k1/5ppp/8/8/8/8/5PPP/R5K1  w  -  - 0 1\tmoves a1b1 \t g8f8\n"));
  u.s->send("go   depth\t3\n");
  judge_search(*u.s, position_after(MATE_IN_ONE, {"a1b1", "g8f8"}), u.next, ms(5000));
}

// In infinite and ponder mode the answer waits for "stop" (or a hit),
// whatever the position and whatever else arrives.
TEST(UciClock, InfiniteSearchesAnswerOnlyWhenTold) {
  struct Case {
    std::string position, go, meanwhile, release;
  };
  const Case cases[] = {
      {"position fen 8/8/8/8/8/8/8/8 w - - 0 1", "go infinite", "", "stop"},
      {"position fen 8/8/8/8/8/8/8/8 w - - 0 1", "go ponder wtime 1000 btime 1000", "", "stop"},
      {std::string("position fen ") + MATE_IN_ONE, "go infinite", "ponderhit", "stop"},
      {"position startpos", "go infinite", "xyzzy", "stop"},
      // Unknown words before a command are skipped during a search too.
      {"position startpos", "go infinite", "xyzzy", "joho stop"},
  };
  for (const Case& c : cases) {
    UciSession u;
    u.settle(c.position + "\n");
    u.s->send(c.go + "\n");
    u.s->pump(ms(400));
    if (!c.meanwhile.empty()) u.s->send(c.meanwhile + "\n");
    u.s->pump(ms(300));
    u.s->send("isready\n");
    EXPECT_TRUE(u.s->wait_for("readyok\n", ms(3000), u.next));
    EXPECT_EQ(u.s->out().find("bestmove", u.next), std::string::npos) << c.go << " / " << c.meanwhile;
    u.s->send(c.release + "\n");
    EXPECT_TRUE(u.s->wait_for_line(is_bestmove, ms(3000), u.next)) << c.go << " / " << c.meanwhile;
    EXPECT_EQ(u.s->quit(), 0);
  }
}

// An under-promotion named by searchmoves is searched and played as
// named, never swapped for the queen promotion on the same squares.
TEST(UciClock, SearchmovesKeepsThePromotionPiece) {
  struct Case {
    std::string fen, go;
    std::vector<std::string> allowed;
  };
  const Case cases[] = {
      {"k7/2P5/1K6/8/8/8/8/8 w - - 0 1", "go depth 3 searchmoves c7c8n", {"c7c8n"}},
      {"8/8/8/8/8/k7/4p3/1K6 b - - 0 1", "go movetime 200 searchmoves e2e1n e2e1b", {"e2e1n", "e2e1b"}},
      {"7k/5P2/6K1/8/8/8/8/8 w - - 0 1", "go depth 3 searchmoves f7f8b f7f8r", {"f7f8r"}},
      {"7k/5P2/6K1/8/8/8/8/8 w - - 0 1", "go depth 3 searchmoves f7f8b f7f8q", {"f7f8q"}},
  };
  for (const Case& c : cases) {
    UciSession u;
    u.settle("position fen " + c.fen + "\n");
    u.s->send(c.go + "\n");
    const rules::Position p = rules::Position::from_fen(c.fen);
    const std::string move = judge_search(*u.s, p, u.next, ms(5000));
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), move), c.allowed.end()) << c.go << ": " << move;
    // Where one of the named moves mates, the named mate is found (f7f8r
    // and f7f8q mate; f7f8b does not).
    if (c.allowed.size() == 1 && c.fen[0] == '7') {
      EXPECT_TRUE(mates(p, move)) << move;
    }
  }
}

// "go depth N" never reports a depth above N, also when the named moves
// hold under-promotions and are searched one by one (each reply a search
// of its own below the move).
TEST(UciClock, GoDepthNeverReportsADepthAboveIt) {
  const std::string fen = "k7/2P5/1K6/8/8/8/8/8 w - - 0 1";
  const rules::Position p = rules::Position::from_fen(fen);
  static const std::regex info_depth(R"(^info depth (\d+) )");
  for (const std::string named : {" searchmoves c7c8n c7c8b", " searchmoves c7c8r", ""}) {
    for (int depth = 1; depth <= 3; ++depth) {
      const std::string go = "go depth " + std::to_string(depth) + named;
      SCOPED_TRACE(go);
      UciSession u;
      u.settle("position fen " + fen + "\n");
      const size_t from = u.next;
      u.s->send(go + "\n");
      int infos = 0;
      EXPECT_NE(judge_search(*u.s, p, u.next, ms(5000), &infos), "");
      EXPECT_GT(infos, 0) << "no info line";
      for (const std::string& line : u.s->lines(from)) {
        std::smatch m;
        if (std::regex_search(line, m, info_depth)) {
          EXPECT_LE(std::stoi(m[1].str()), depth) << line;
        }
      }
    }
  }
}

TEST(UciClock, MoveOverheadIsAnOptionInRange) {
  UciSession u;
  u.settle("setoption name Move Overhead value 5001\nsetoption name Move Overhead value 200\n");
  EXPECT_NE(u.s->out().find("info string Move Overhead is 0 to 5000 milliseconds"), std::string::npos);
  // Half of a fixed move time at most is held back: 150 of 300 ms here.
  u.settle(std::string("position fen ") + MIDDLEGAME + "\n");
  const auto sent = std::chrono::steady_clock::now();
  u.s->send("go movetime 300\n");
  judge_search(*u.s, rules::Position::from_fen(MIDDLEGAME), u.next, ms(3000));
  EXPECT_LT(ms_since(sent), 250);
}

// The info lines of several root lines: depth, line number, score (mates
// above every centipawn score) and the first move of the line.
struct NumberedLine {
  int depth = 0, multipv = 0;
  long long rank = 0;  // comparable: a mate for the engine ranks above any cp
  std::string score, first;
};

std::vector<NumberedLine> numbered_lines(const std::vector<std::string>& lines) {
  static const std::regex shape(R"(^info depth (\d+) seldepth \d+ multipv (\d+) score (cp|mate) (-?\d+) .* pv ([a-h1-8qrbn]+))");
  std::vector<NumberedLine> out;
  for (const std::string& line : lines) {
    std::smatch m;
    if (!std::regex_search(line, m, shape)) continue;
    NumberedLine n;
    n.depth = std::stoi(m[1]);
    n.multipv = std::stoi(m[2]);
    const long long v = std::stoll(m[4]);
    n.score = m[3].str() + " " + m[4].str();
    n.rank = m[3] == "cp" ? v : (v > 0 ? 1000000 - v : -1000000 - v);
    n.first = m[5];
    out.push_back(n);
  }
  return out;
}

// The lines of each depth in the order printed; at every depth whose set is
// whole the lines are numbered 1..k, their first moves differ and their
// scores do not rise. Returns the depths with a whole set.
std::vector<int> check_line_sets(const std::vector<NumberedLine>& lines, int k) {
  std::vector<int> whole;
  for (size_t i = 0; i < lines.size();) {
    size_t j = i;
    while (j < lines.size() && lines[j].depth == lines[i].depth) ++j;
    if (j - i == static_cast<size_t>(k)) {
      whole.push_back(lines[i].depth);
      for (size_t a = i; a < j; ++a) {
        EXPECT_EQ(lines[a].multipv, static_cast<int>(a - i + 1)) << "depth " << lines[i].depth;
        if (a > i) {
          EXPECT_LE(lines[a].rank, lines[a - 1].rank) << "depth " << lines[i].depth;
        }
        for (size_t b = i; b < a; ++b) EXPECT_NE(lines[a].first, lines[b].first) << "depth " << lines[i].depth;
      }
    } else {
      // A set cut short by the stop: the best line alone.
      EXPECT_EQ(j - i, 1u) << "depth " << lines[i].depth;
      EXPECT_EQ(lines[i].multipv, 1);
    }
    i = j;
  }
  return whole;
}

// MultiPV: the best lines, each with its number, in score order. In a
// position where the rules library finds exactly three mates in one, three
// lines are exactly those three mates.
TEST(UciAnalysis, MultiPvGivesTheBestLinesInOrder) {
  const char* const THREE_MATES = "7k/6pp/8/8/8/8/5PPP/R2QR1K1 w - - 0 1";
  const rules::Position p = rules::Position::from_fen(THREE_MATES);
  std::vector<std::string> mates;
  for (const rules::Move& m : p.legal_moves()) {
    const rules::Position after = *p.after(m.text());
    if (after.in_check() && after.legal_moves().empty()) mates.push_back(m.text());
  }
  ASSERT_EQ(mates.size(), 3u);
  struct Case {
    std::string fen;
    std::string go;
  };
  for (const Case& c : {Case{THREE_MATES, "go depth 3"}, Case{START_FEN, "go depth 6"}}) {
    UciSession u;
    u.settle("setoption name MultiPV value 3\nposition fen " + c.fen + "\n");
    const size_t from = u.next;
    u.s->send(c.go + "\n");
    const std::string best = judge_search(*u.s, rules::Position::from_fen(c.fen), u.next, ms(20000));
    const std::vector<NumberedLine> lines = numbered_lines(u.s->lines(from));
    const std::vector<int> whole = check_line_sets(lines, 3);
    ASSERT_FALSE(whole.empty()) << u.s->out();
    ASSERT_GE(lines.size(), 3u);
    const std::vector<NumberedLine> last(lines.end() - 3, lines.end());
    EXPECT_EQ(best, last[0].first) << "the move played is the first line's";
    if (c.fen == THREE_MATES) {
      std::vector<std::string> firsts;
      for (const NumberedLine& l : last) {
        firsts.push_back(l.first);
        EXPECT_EQ(l.score, "mate 1");
      }
      std::sort(firsts.begin(), firsts.end());
      EXPECT_EQ(firsts, mates);
    }
    EXPECT_EQ(u.s->quit(), 0);
  }
}

// An analysing interface: MultiPV 2, an infinite search, stop. Both lines
// arrive at every finished depth, and after the first second the move
// being searched is shown (judge_search checks that it is legal).
TEST(UciAnalysis, AnalysisPaneGetsBothLinesAtEveryDepthAndTheCurrentMove) {
  UciSession u;
  u.settle("setoption name MultiPV value 2\nucinewgame\nposition startpos moves e2e4\n");
  const size_t from = u.next;
  u.s->send("go infinite\n");
  u.s->pump(ms(1800));
  u.s->send("stop\n");
  judge_search(*u.s, position_after(START_FEN, {"e2e4"}), u.next, ms(5000));
  const std::vector<std::string> out = u.s->lines(from);
  const std::vector<int> whole = check_line_sets(numbered_lines(out), 2);
  ASSERT_GE(whole.size(), 4u) << u.s->out();
  for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(whole[i], static_cast<int>(i + 1)) << "a depth without both lines";
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const std::string& l) { return l.find(" currmove ") != std::string::npos; }))
      << u.s->out();
  EXPECT_EQ(u.s->quit(), 0);
}

// Levels: every level plays legal moves through a short game, in both
// protocols; out-of-range settings are refused.
TEST(UciLevels, EveryLevelPlaysLegalMovesAndBadSettingsAreRefused) {
  for (int elo : {1000, 1200, 1400, 1600, 1800}) {
    UciSession u;
    u.settle("setoption name UCI_LimitStrength value true\nsetoption name UCI_Elo value " + std::to_string(elo) + "\n");
    std::vector<std::string> moves;
    for (int ply = 0; ply < 8; ++ply) {
      std::string position = "position startpos";
      if (!moves.empty()) position += " moves";
      for (const std::string& m : moves) position += " " + m;
      u.s->send(position + "\ngo wtime 2000 btime 2000 winc 20 binc 20\n");
      const std::string move = judge_search(*u.s, position_after(START_FEN, moves), u.next, ms(10000));
      if (move.empty() || move == "(none)") break;
      moves.push_back(move);
    }
    EXPECT_EQ(moves.size(), 8u) << "level " << elo;
    EXPECT_EQ(u.s->quit(), 0);
  }
  // An analysis is searched at full strength: the lowest level's depth
  // limit of 1 does not hold back an infinite search.
  {
    UciSession u;
    u.settle("setoption name UCI_LimitStrength value true\nsetoption name UCI_Elo value 1000\nposition startpos\n");
    const size_t from = u.next;
    u.s->send("go infinite\n");
    u.s->pump(ms(500));
    u.s->send("stop\n");
    judge_search(*u.s, rules::Position::from_fen(START_FEN), u.next, ms(5000));
    const std::vector<NumberedLine> lines = numbered_lines(u.s->lines(from));
    ASSERT_FALSE(lines.empty());
    EXPECT_GE(lines.back().depth, 4) << u.s->out();
    EXPECT_EQ(u.s->quit(), 0);
  }
  UciSession u;
  u.settle("setoption name UCI_Elo value 999\nsetoption name UCI_Elo value 1801\nsetoption name MultiPV value 0\n"
           "setoption name MultiPV value 65\n");
  const std::string out = u.s->out();
  for (const char* reply : {"info string UCI_Elo is 1000 to 1800\n", "info string MultiPV is 1 to 64 lines\n"}) {
    size_t count = 0;
    for (size_t at = out.find(reply); at != std::string::npos; at = out.find(reply, at + 1)) ++count;
    EXPECT_EQ(count, 2u) << reply;
  }
  EXPECT_EQ(u.s->quit(), 0);
}

// The command line, for a person at a terminal; other arguments change
// nothing (the installed command passes its own on).
TEST(CommandLine, VersionHelpAndOtherArguments) {
  if (std::getenv("BREVALT_TEST_ENGINE")) GTEST_SKIP() << "the options are tested on the native engine";
  struct Case {
    const char* args;
    int status;
    const char* start;  // what the output starts with
    bool whole;         // ... and all of it
  };
  for (const Case& c : {Case{"--version", 0, "Brevalt " BREVALT_VERSION "\nLicense GPL-3.0-or-later\n", true},
                        Case{"--help", 0, "Brevalt " BREVALT_VERSION ", a chess engine.\n", false},
                        Case{"--frobnicate", 0, "", true}}) {
    EngineSandbox box;
    std::FILE* f = popen(("cd '" + box.dir() + "' && echo quit | " + BREVALT_ENGINE + " " + c.args).c_str(), "r");
    ASSERT_NE(f, nullptr);
    std::string out;
    char line[256];
    while (std::fgets(line, sizeof(line), f)) out += line;
    const int status = pclose(f);
    EXPECT_EQ(c.whole ? out : out.substr(0, std::strlen(c.start)), c.start) << c.args;
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
  }
}

}  // namespace
}  // namespace brevalt::testing

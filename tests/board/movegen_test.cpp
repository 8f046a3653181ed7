// Move generation: which moves each mode produces, in which order, and with
// which ordering keys. Move counts are derived from the positions by hand.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "board/movegen.h"
#include "board/position.h"
#include "eval/eval.h"
#include "search/search.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

using MoveSet = std::set<std::pair<int, int>>;

// Square from its name, "e4" -> 28.
int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Quiet-move key of a fresh game: every history counter is 1.
constexpr int32_t FRESH_HISTORY = 1;

class MovegenTest : public ::testing::Test {
 protected:
  void SetUp() override { clear_search_flags(); }
  void TearDown() override {
    clear_search_flags();
    pos.ply = 0;
  }
  void clear_search_flags() {
    search_path.quiescence_mode = 0;
    search_path.horizon_qs = 0;
    search_path.first_qs_generation = 0;
    search_path.root_endgame = 0;
    search_path.nominal_depth = 0;
    search_path.ext_plies = 0;
  }
  // A position at ply 0 with the side to move not in check, unless the test
  // says otherwise through check().
  void load(const char* fen) {
    ASSERT_TRUE(brevalt::testing::set_position(fen)) << fen;
    pos.ply = 0;
    pos.in_check[0] = 0;
    pos.checker_square[0] = 0;
  }
  void check(const char* checker) {
    pos.in_check[0] = 1;
    pos.checker_square[0] = static_cast<uint8_t>(checker ? sq(checker) : NO_INDEX);
  }
  const MoveEntry* row() const { return pos.move_list[pos.ply]; }
  int index_of(int n, int from, int to) const {
    for (int i = 0; i < n; ++i)
      if (row()[i].from == from && row()[i].to == to) return i;
    return -1;
  }
  bool has(int n, const char* from, const char* to) const { return index_of(n, sq(from), sq(to)) >= 0; }
  MoveSet moves(int n) const {
    MoveSet s;
    for (int i = 0; i < n; ++i) s.insert({row()[i].from, row()[i].to});
    return s;
  }
  static MoveSet named(std::initializer_list<std::pair<const char*, const char*>> list) {
    MoveSet s;
    for (auto& m : list) s.insert({sq(m.first), sq(m.second)});
    return s;
  }
};

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// ---------------------------------------------------------------------------
// Normal mode

TEST_F(MovegenTest, StartPositionTwentyMovesInPieceListOrder) {
  load(START);
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 20);
  // The king heads the list but has no move; the knights' four moves come
  // before the sixteen pawn moves, and pieces follow the list order.
  ASSERT_EQ(pos.white_pieces[0].code, KING);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(row()[i].key, FRESH_HISTORY) << i;
    EXPECT_EQ(row()[i].piece, pos.board[row()[i].from]) << i;
    EXPECT_EQ(type_of(row()[i].piece), i < 4 ? KNIGHT : PAWN) << i;
    if (i > 0) {
      EXPECT_LE(pos.piece_index[row()[i - 1].from], pos.piece_index[row()[i].from]) << i;
    }
  }
  EXPECT_EQ(moves(4), named({{"b1", "a3"}, {"b1", "c3"}, {"g1", "f3"}, {"g1", "h3"}}));
  // Each pawn: the single push, then the double push.
  for (int i = 4; i < n; i += 2) {
    EXPECT_EQ(row()[i].from, row()[i + 1].from);
    EXPECT_EQ(row()[i].to, row()[i].from + 8);
    EXPECT_EQ(row()[i + 1].to, row()[i].from + 16);
  }
}

// From the start no move attacks a queen or rook, nor lands on a line to the
// enemy king, so deep threat scoring leaves every key at its history value.
TEST_F(MovegenTest, StartPositionNothingThreatenedWithThreatScoringOn) {
  load(START);
  search_path.nominal_depth = 10;
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 20);
  for (int i = 0; i < n; ++i) EXPECT_EQ(row()[i].key, FRESH_HISTORY) << i;
  EXPECT_EQ(generate_moves(BLACK_SIDE, GenMode::regular), 20);
}

TEST_F(MovegenTest, StaleListEntriesAreSkipped) {
  // The b1 knight vanishes from the board but not from the list: its entry
  // is skipped, and the a1 rook gains b1.
  load(START);
  pos.board[sq("b1")] = EMPTY;
  sync_piece_sets();
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(n, 19);
  EXPECT_TRUE(has(n, "a1", "b1"));
  EXPECT_FALSE(has(n, "b1", "c3"));
}

TEST_F(MovegenTest, GoodCaptureOfUndefendedQueenMovesToTheFront) {
  // Ke1 has five quiet moves, then d4-d5, then dxe5 winning the queen:
  // 1220 - 0 + 6 - 2 + 4110.
  load("k7/8/8/4q3/3P4/8/8/4K3 w - - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 7);
  EXPECT_EQ(row()[0].from, sq("d4"));
  EXPECT_EQ(row()[0].to, sq("e5"));
  EXPECT_EQ(row()[0].piece, PAWN);
  EXPECT_EQ(row()[0].key, 5334);
  // The king move it displaced went to the end.
  EXPECT_EQ(row()[6].from, sq("e1"));
  for (int i = 1; i < n; ++i) EXPECT_EQ(row()[i].key, FRESH_HISTORY) << i;
  EXPECT_EQ(moves(n), named({{"e1", "d1"}, {"e1", "f1"}, {"e1", "d2"}, {"e1", "e2"},
                              {"e1", "f2"}, {"d4", "d5"}, {"d4", "e5"}}));
}

TEST_F(MovegenTest, TwoGoodCapturesTakeTheFirstTwoSlots) {
  // dxe5 loses the pawn to Rh5xe5: 1220 - 100 + 6 - 2 + 4110 = 5234.
  // gxh5 loses it to Qe5xh5: 620 - 100 + 6 - 3 + 4110 = 4633.
  load("k7/8/8/4q2r/3P2P1/8/8/4K3 w - - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 9);
  MoveSet front = {{row()[0].from, row()[0].to}, {row()[1].from, row()[1].to}};
  EXPECT_EQ(front, named({{"d4", "e5"}, {"g4", "h5"}}));
  EXPECT_EQ(row()[index_of(n, sq("d4"), sq("e5"))].key, 5234);
  EXPECT_EQ(row()[index_of(n, sq("g4"), sq("h5"))].key, 4633);
  for (int i = 2; i < n; ++i) EXPECT_EQ(row()[i].key, FRESH_HISTORY) << i;
}

TEST_F(MovegenTest, LosingCaptureKeyedZeroStaysInPlace) {
  // Qxe5 loses the queen to d6xe5.
  load("k7/8/3p4/4p3/8/8/8/K3Q3 w - - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  int i = index_of(n, sq("e1"), sq("e5"));
  ASSERT_GT(i, 0);
  EXPECT_EQ(row()[i].key, 0);
  // Still right after the queen's last quiet square on that ray.
  EXPECT_EQ(row()[i - 1].from, sq("e1"));
  EXPECT_EQ(row()[i - 1].to, sq("e4"));
}

TEST_F(MovegenTest, KingCaptureKeyedByVictimAlone) {
  // Kxd2 even though c3 defends the knight: legality is tested when the
  // move is made. 4110 - 5.
  load("k7/8/8/8/8/2p5/3n4/4K3 w - - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(row()[0].from, sq("e1"));
  EXPECT_EQ(row()[0].to, sq("d2"));
  EXPECT_EQ(row()[0].key, 4105);
}

// A hand-made row: five good captures ahead of a quiet move. The picker reads
// only the first five entries, so a quiet move at index 5 is not displaced.
TEST_F(MovegenTest, OrderCaptureLooksOnlyAtTheFirstFiveEntries) {
  load("k7/8/8/4q3/3P4/8/8/4K3 w - - 0 1");
  MoveEntry* r = pos.move_list[0];
  const int32_t keys[6] = {5000, 5000, 5000, 5000, 5000, 1};
  for (int i = 0; i < 6; ++i) r[i] = MoveEntry{1, static_cast<uint8_t>(i + 16), 1, 0, keys[i], 0};
  r[6] = MoveEntry{static_cast<uint8_t>(sq("d4")), static_cast<uint8_t>(sq("e5")), PAWN, 0, 1, 0};
  EXPECT_EQ(order_capture(sq("d4"), sq("e5"), PAWN, 6), 7);
  EXPECT_EQ(r[6].to, sq("e5"));  // the quiet entry 5 lies beyond the first five
  EXPECT_EQ(r[6].key, 5334);
  // With entry 2 quiet, the capture takes its place and entry 2 moves last.
  r[2].key = 1;
  r[6] = MoveEntry{static_cast<uint8_t>(sq("d4")), static_cast<uint8_t>(sq("e5")), PAWN, 0, 1, 0};
  EXPECT_EQ(order_capture(sq("d4"), sq("e5"), PAWN, 6), 7);
  EXPECT_EQ(r[2].to, sq("e5"));
  EXPECT_EQ(r[6].to, 18);
  EXPECT_EQ(r[6].key, 1);
}

TEST_F(MovegenTest, EnPassantIsAQuietMoveInNormalMode) {
  // Ke1: five moves; e5: e6 and exd6 e.p.
  load("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(n, 7);
  int i = index_of(n, sq("e5"), sq("d6"));
  ASSERT_GE(i, 0);
  EXPECT_EQ(row()[i].key, FRESH_HISTORY);
  EXPECT_FALSE(has(n, "e5", "f6"));
  // Without the right there is no capture onto d6.
  load("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 6);
}

TEST_F(MovegenTest, BlackPawnMovesAndEnPassant) {
  // d7: d6, d5; b4: b3 and bxc3 e.p. after c2-c4; Ke8: d8, f8, e7, f7.
  load("4k3/3p4/8/8/1pP5/8/8/4K3 b - c3 0 1");
  const int n = generate_moves(BLACK_SIDE, GenMode::regular);
  EXPECT_EQ(n, 8);
  EXPECT_TRUE(has(n, "d7", "d5"));
  EXPECT_TRUE(has(n, "b4", "c3"));
  EXPECT_FALSE(has(n, "b4", "a3"));
}

TEST_F(MovegenTest, DoublePushNeedsBothSquaresEmpty) {
  load("4k3/8/8/8/8/4n3/3nP3/4K3 w - - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  // e2 is blocked; the king takes d2, or steps to d1 or f1, f2.
  EXPECT_FALSE(has(n, "e2", "e3"));
  EXPECT_FALSE(has(n, "e2", "e4"));
  EXPECT_EQ(moves(n), named({{"e1", "d1"}, {"e1", "f1"}, {"e1", "d2"}, {"e1", "f2"}}));
}

// ---------------------------------------------------------------------------
// Threat bonuses on quiet moves

TEST_F(MovegenTest, KnightMoveAttackingQueenGetsBonusWithDepth) {
  load("7k/8/8/8/3q4/8/8/K5N1 w - - 0 1");
  search_path.nominal_depth = 3;
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("g1"), sq("f3"))].key, FRESH_HISTORY + 100);
  EXPECT_EQ(row()[index_of(n, sq("g1"), sq("e2"))].key, FRESH_HISTORY + 100);
  EXPECT_EQ(row()[index_of(n, sq("g1"), sq("h3"))].key, FRESH_HISTORY);
  EXPECT_EQ(row()[index_of(n, sq("a1"), sq("b1"))].key, FRESH_HISTORY);
  // Extensions count towards the depth left; the ply counts against it.
  search_path.nominal_depth = 2;
  search_path.ext_plies = 1;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("g1"), sq("f3"))].key, FRESH_HISTORY + 100);
  search_path.ext_plies = 0;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("g1"), sq("f3"))].key, FRESH_HISTORY);
  search_path.nominal_depth = 3;
  pos.ply = 1;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("g1"), sq("f3"))].key, FRESH_HISTORY);
}

TEST_F(MovegenTest, BishopThreatOutranksAimingAtTheKing) {
  // Bb2 attacks the rook a3 and lies on the long diagonal to h8: only the
  // larger bonus counts.
  load("7k/8/8/8/8/r7/8/K1B5 w - - 0 1");
  search_path.nominal_depth = 3;
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("c1"), sq("b2"))].key, FRESH_HISTORY + 100);
  EXPECT_EQ(row()[index_of(n, sq("c1"), sq("d2"))].key, FRESH_HISTORY);
}

TEST_F(MovegenTest, RookAimsAtKingOnAnEmptyBoard) {
  // Ra8 shares the eighth rank with h8; the pawn on d8 does not matter for
  // this bonus. A rook attacking a rook is no threat to a higher piece, a
  // rook attacking the queen is.
  load("3p3k/8/8/8/8/8/8/R5K1 w - - 0 1");
  search_path.nominal_depth = 3;
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("a1"), sq("a8"))].key, FRESH_HISTORY + 50);
  EXPECT_EQ(row()[index_of(n, sq("a1"), sq("a7"))].key, FRESH_HISTORY);
  load("4r2k/8/8/8/8/8/8/R5K1 w - - 0 1");
  search_path.nominal_depth = 3;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("a1"), sq("e1"))].key, FRESH_HISTORY);
  load("4q2k/8/8/8/8/8/8/R5K1 w - - 0 1");
  search_path.nominal_depth = 3;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("a1"), sq("e1"))].key, FRESH_HISTORY + 100);
}

TEST_F(MovegenTest, PawnPushThreatsPerAttackedPiece) {
  // e3-e4 attacks the knight d5 and the bishop f5.
  load("7k/8/8/3n1b2/8/4P3/8/K7 w - - 0 1");
  search_path.nominal_depth = 3;
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("e3"), sq("e4"))].key, FRESH_HISTORY + 100);
  // A pawn as target earns nothing.
  load("7k/8/8/3p1b2/8/4P3/8/K7 w - - 0 1");
  search_path.nominal_depth = 3;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("e3"), sq("e4"))].key, FRESH_HISTORY + 50);
  // Black: d6-d5 attacks the rook c4 and the queen e4.
  load("k7/8/3p4/8/2R1Q3/8/8/7K b - - 0 1");
  search_path.nominal_depth = 3;
  n = generate_moves(BLACK_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("d6"), sq("d5"))].key, FRESH_HISTORY + 100);
  // h3-h4: square h4 + 9 is a6 on the far side of the board, not a target.
  load("7k/8/n7/8/8/7P/8/K7 w - - 0 1");
  search_path.nominal_depth = 3;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[index_of(n, sq("h3"), sq("h4"))].key, FRESH_HISTORY);
}

TEST_F(MovegenTest, AttacksHigherPieceAndAimsAtKingDirectly) {
  load("4q2k/8/8/8/8/8/8/R1B1K2N w - - 0 1");
  // Ra8 meets the queen along the eighth rank; Ba3 and Nf2 reach nothing.
  EXPECT_EQ(attacks_higher_piece(sq("a1"), sq("a8")), 1);
  EXPECT_EQ(attacks_higher_piece(sq("c1"), sq("a3")), 0);
  EXPECT_EQ(attacks_higher_piece(sq("h1"), sq("f2")), 0);
  // Asked for a square the knight does not reach from h1: the test only
  // looks at the new square, f6, which forks e8 and g8.
  EXPECT_EQ(attacks_higher_piece(sq("h1"), sq("f6")), 1);
  EXPECT_EQ(pos.board[sq("a1")], ROOK);  // everything put back
  EXPECT_EQ(pos.board[sq("h1")], KNIGHT);
  EXPECT_EQ(pos.board[sq("a8")], EMPTY);
  EXPECT_EQ(pos.board[sq("f6")], EMPTY);
  // A rook attacking a rook, or a queen anything, is no threat here.
  load("3r3k/8/8/8/8/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(attacks_higher_piece(sq("a1"), sq("a8")), 0);
  load("3r3k/8/8/8/8/8/8/Q3K3 w - - 0 1");
  EXPECT_EQ(attacks_higher_piece(sq("a1"), sq("a8")), 0);
  // Lines to the enemy king on an empty board (h8 and e1 here).
  EXPECT_EQ(aims_at_king(KING, sq("g7")), 0);
  EXPECT_EQ(aims_at_king(QUEEN, sq("a1")), 1);  // the long diagonal
  EXPECT_EQ(aims_at_king(KNIGHT, sq("g6")), 1);
  EXPECT_EQ(aims_at_king(KNIGHT, sq("g7")), 0);
  EXPECT_EQ(aims_at_king(PAWN, sq("g7")), 1);
  EXPECT_EQ(aims_at_king(PAWN + BLACK, sq("d2")), 1);
  EXPECT_EQ(aims_at_king(PAWN + BLACK, sq("d1")), 0);
}

// ---------------------------------------------------------------------------
// Quiescence mode

TEST_F(MovegenTest, QuiescencePromotionPushOnTheSeventhRank) {
  load("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  search_path.quiescence_mode = 1;
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(row()[0].from, sq("b7"));
  EXPECT_EQ(row()[0].to, sq("b8"));
  EXPECT_EQ(row()[0].key, FRESH_HISTORY);
  EXPECT_EQ(search_path.quiescence_mode, 1);
  // One rank lower the push is quiet and dropped.
  load("4k3/8/1P6/8/8/8/8/4K3 w - - 0 1");
  search_path.quiescence_mode = 1;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 0);
  // A capture on the last rank sorts ahead of the push: bxa8 wins a rook.
  load("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  search_path.quiescence_mode = 1;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(row()[0].to, sq("a8"));
  EXPECT_EQ(row()[0].key, 620);
  EXPECT_EQ(row()[1].to, sq("b8"));
}

TEST_F(MovegenTest, QuiescenceCapturesSortedByGainLosingOnesDropped) {
  // Nxd5 wins the queen (1220), Qxh8 the rook (620), Nxb5 and Bxb5 the
  // knight (400 each, in generation order: knights before bishops). Rxa7
  // loses the rook to Kxa7 and is left out.
  load("k6r/p7/8/1n1q4/7Q/2N5/4B2K/R7 w - - 0 1");
  search_path.quiescence_mode = 1;
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  ASSERT_EQ(n, 4);
  const int expect[4][3] = {{sq("c3"), sq("d5"), 1220},
                            {sq("h4"), sq("h8"), 620},
                            {sq("c3"), sq("b5"), 400},
                            {sq("e2"), sq("b5"), 400}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(row()[i].from, expect[i][0]) << i;
    EXPECT_EQ(row()[i].to, expect[i][1]) << i;
    EXPECT_EQ(row()[i].key, expect[i][2]) << i;
  }
  // In normal mode the losing capture is there, keyed 0.
  search_path.quiescence_mode = 0;
  const int all = generate_moves(WHITE_SIDE, GenMode::regular);
  int i = index_of(all, sq("a1"), sq("a7"));
  ASSERT_GE(i, 0);
  EXPECT_EQ(row()[i].key, 0);
}

TEST_F(MovegenTest, QuiescenceQuietChecksOnlyAtTheHorizonEntry) {
  // Ra8+ and Re1+ are the rook's checks; the king's moves never count.
  const char* fen = "4k3/8/8/8/8/8/8/R6K w - - 0 1";
  load(fen);
  search_path.quiescence_mode = 1;
  search_path.horizon_qs = 1;
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(moves(n), named({{"a1", "a8"}, {"a1", "e1"}}));
  EXPECT_EQ(search_path.quiescence_mode, 1);
  // Not after the first quiescence generation, not without the horizon
  // flag, not in an ending.
  search_path.first_qs_generation = 1;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 0);
  search_path.first_qs_generation = 0;
  search_path.horizon_qs = 0;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 0);
  search_path.horizon_qs = 1;
  search_path.root_endgame = 1;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 0);
  // Normal mode: seven squares up the a-file, six along the first rank,
  // three king moves.
  search_path.root_endgame = 0;
  search_path.quiescence_mode = 0;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 16);
}

TEST_F(MovegenTest, QuiescenceQuietCheckMustBeSafe) {
  // The bishop b4 watches e1: only Ra8+ remains.
  load("4k3/8/8/8/1b6/8/8/R6K w - - 0 1");
  search_path.quiescence_mode = 1;
  search_path.horizon_qs = 1;
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(moves(n), named({{"a1", "a8"}}));
}

TEST_F(MovegenTest, QuiescenceNeverGeneratesEnPassantOrCastling) {
  load("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  search_path.quiescence_mode = 1;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 0);
  load("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  search_path.quiescence_mode = 1;
  EXPECT_EQ(generate_moves(WHITE_SIDE, GenMode::regular), 0);
}

// ---------------------------------------------------------------------------
// Evasion mode

TEST_F(MovegenTest, EvasionsAgainstDoubleCheckAreKingMovesOnly) {
  // Rook e1 and knight d6 both check e8. Bxd6 is no answer; e7 (rook) and
  // f7 (knight) are attacked, d8, f8 and d7 are free.
  load("4k3/2b5/3N4/8/8/8/8/K3R3 b - - 0 1");
  check(nullptr);
  const int n = generate_moves(BLACK_SIDE, GenMode::evasions);
  EXPECT_EQ(moves(n), named({{"e8", "d8"}, {"e8", "f8"}, {"e8", "d7"}}));
}

TEST_F(MovegenTest, EvasionsAgainstKnightCheckHaveNoInterpositions) {
  // Rxd6 takes the checker; the king has d8, f8, d7, e7 (f7 is covered).
  load("4k3/8/r2N4/8/8/8/8/7K b - - 0 1");
  check("d6");
  const int n = generate_moves(BLACK_SIDE, GenMode::evasions);
  EXPECT_EQ(moves(n), named({{"a6", "d6"}, {"e8", "d8"}, {"e8", "f8"}, {"e8", "d7"}, {"e8", "e7"}}));
}

TEST_F(MovegenTest, EvasionsAgainstSliderBlockButNotWithAPinnedPiece) {
  // Re1+ against e8: Nc5 blocks on e6 or e4; the bishop d7, pinned by Bb5,
  // may not block on e6; the king has d8, f8, f7.
  load("4k3/3b4/8/1Bn5/8/8/8/4R2K b - - 0 1");
  check("e1");
  const int n = generate_moves(BLACK_SIDE, GenMode::evasions);
  EXPECT_EQ(moves(n), named({{"c5", "e6"}, {"c5", "e4"}, {"e8", "d8"}, {"e8", "f8"}, {"e8", "f7"}}));
}

TEST_F(MovegenTest, EvasionKingMayNotRetreatAlongTheCheckingLine) {
  // Re1+ against e7: e8 is covered once the king has left e7, e6 plainly.
  load("8/4k3/8/8/8/8/8/K3R3 b - - 0 1");
  check("e1");
  const int n = generate_moves(BLACK_SIDE, GenMode::evasions);
  EXPECT_EQ(moves(n), named({{"e7", "d8"}, {"e7", "f8"}, {"e7", "d7"}, {"e7", "f7"},
                              {"e7", "d6"}, {"e7", "f6"}}));
}

TEST_F(MovegenTest, EvasionsRunAsNormalModeAndRestoreQuiescence) {
  load("8/4k3/8/8/8/8/8/K3R3 b - - 0 1");
  check("e1");
  search_path.quiescence_mode = 1;
  EXPECT_EQ(generate_moves(BLACK_SIDE, GenMode::evasions), 6);  // quiet king moves included
  EXPECT_EQ(search_path.quiescence_mode, 1);
}

TEST_F(MovegenTest, EvasionEnPassantTakesTheCheckingPawn) {
  // d7-d5+ against Ke4: exd6 e.p. answers it; the king has f5, xd5, f4,
  // d4, e3, f3, d3; e6 answers nothing.
  load("4k3/8/8/3pP3/4K3/8/8/8 w - d6 0 1");
  check("d5");
  const int n = generate_moves(WHITE_SIDE, GenMode::evasions);
  EXPECT_EQ(n, 8);
  EXPECT_TRUE(has(n, "e5", "d6"));
  EXPECT_FALSE(has(n, "e5", "e6"));
  EXPECT_TRUE(has(n, "e4", "d5"));
}

// ---------------------------------------------------------------------------
// Castling

TEST_F(MovegenTest, CastlingBothWaysAfterTheKingsOrdinaryMoves) {
  // Ke1 has d1, f1, d2, e2, f2; then O-O, then O-O-O.
  load("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(row()[5].from, sq("e1"));
  EXPECT_EQ(row()[5].to, sq("g1"));
  EXPECT_EQ(row()[6].from, sq("e1"));
  EXPECT_EQ(row()[6].to, sq("c1"));
  EXPECT_EQ(row()[6].piece, KING);
  // Rooks: a1 has b1, c1, d1 and a2..a8; h1 has g1, f1 and h2..h8.
  EXPECT_EQ(n, 7 + 10 + 9);
}

TEST_F(MovegenTest, CastlingNotThroughAnAttackedSquare) {
  load("4kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1");  // f1 attacked
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e1", "g1"));
  EXPECT_TRUE(has(n, "e1", "c1"));
  load("3rk3/8/8/8/8/8/8/R3K2R w KQ - 0 1");  // d1 attacked
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_TRUE(has(n, "e1", "g1"));
  EXPECT_FALSE(has(n, "e1", "c1"));
  load("4k1r1/8/8/8/8/8/8/R3K2R w KQ - 0 1");  // g1 attacked
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e1", "g1"));
  EXPECT_TRUE(has(n, "e1", "c1"));
}

TEST_F(MovegenTest, QueensideCastlingNeedsB1EmptyButNotSafe) {
  load("4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1");
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e1", "c1"));
  EXPECT_TRUE(has(n, "e1", "g1"));
  load("1r2k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");  // b1 attacked by the rook b8
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_TRUE(has(n, "e1", "c1"));
}

TEST_F(MovegenTest, CastlingNotOutOfCheck) {
  load("4k3/8/8/8/4r3/8/8/R3K2R w KQ - 0 1");
  check("e4");
  int n = generate_moves(WHITE_SIDE, GenMode::evasions);
  EXPECT_FALSE(has(n, "e1", "g1"));
  EXPECT_FALSE(has(n, "e1", "c1"));
  EXPECT_TRUE(has(n, "e1", "f1"));
  // Evasion mode alone rules castling out, even with every square free.
  load("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  check(nullptr);
  n = generate_moves(WHITE_SIDE, GenMode::evasions);
  EXPECT_EQ(moves(n), named({{"e1", "d1"}, {"e1", "f1"}, {"e1", "d2"}, {"e1", "e2"}, {"e1", "f2"}}));
}

// The castled flag, the king's move counter and each rook's counter along the
// current line decide castling before any square is looked at.
TEST_F(MovegenTest, CastlingFollowsFlagsAndMoveCounters) {
  load("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  pos.white_castled = 1;
  int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e1", "g1"));
  EXPECT_FALSE(has(n, "e1", "c1"));
  pos.white_castled = 0;
  pos.state_top->white_h_rook_moves = 1;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e1", "g1"));
  EXPECT_TRUE(has(n, "e1", "c1"));
  pos.state_top->white_h_rook_moves = 0;
  pos.state_top->white_king_moves = 1;
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e1", "g1"));
  EXPECT_FALSE(has(n, "e1", "c1"));
  pos.state_top->white_king_moves = 0;
  // From the FEN: only the kingside right.
  load("4k3/8/8/8/8/8/8/R3K2R w K - 0 1");
  n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_TRUE(has(n, "e1", "g1"));
  EXPECT_FALSE(has(n, "e1", "c1"));
}

TEST_F(MovegenTest, BlackCastling) {
  load("r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1");
  int n = generate_moves(BLACK_SIDE, GenMode::regular);
  EXPECT_TRUE(has(n, "e8", "g8"));
  EXPECT_TRUE(has(n, "e8", "c8"));
  EXPECT_EQ(row()[index_of(n, sq("e8"), sq("c8"))].piece, KING + BLACK);
  EXPECT_EQ(index_of(n, sq("e8"), sq("c8")), index_of(n, sq("e8"), sq("g8")) + 1);
  load("rn2k2r/8/8/8/8/8/8/4K3 b kq - 0 1");
  n = generate_moves(BLACK_SIDE, GenMode::regular);
  EXPECT_TRUE(has(n, "e8", "g8"));
  EXPECT_FALSE(has(n, "e8", "c8"));
  load("r3k2r/8/8/8/8/8/8/4KR2 b kq - 0 1");  // f8 attacked
  n = generate_moves(BLACK_SIDE, GenMode::regular);
  EXPECT_FALSE(has(n, "e8", "g8"));
  EXPECT_TRUE(has(n, "e8", "c8"));
}

// ---------------------------------------------------------------------------
// The row bound

// The last entry is scratch: no mode may write a move there, and the
// public entry points refuse a full row. A row still holds every move of
// the richest position there is.
TEST_F(MovegenTest, RowHoldsEveryMoveOfTheRichestPosition) {
  // The composed position with 218 legal moves for White.
  load("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
  const int n = generate_moves(WHITE_SIDE, GenMode::regular);
  EXPECT_EQ(n, 218);
  EXPECT_LT(n, MOVE_ROW_LIMIT);
  for (int i = 0; i < n; ++i) {
    EXPECT_LT(row()[i].from, 64);
    EXPECT_LT(row()[i].to, 64);
    EXPECT_NE(row()[i].piece, 0);
  }
  search_path.quiescence_mode = 1;
  search_path.horizon_qs = 1;
  EXPECT_LE(generate_moves(WHITE_SIDE, GenMode::regular), MOVE_ROW_LIMIT);
  search_path.quiescence_mode = 0;
  EXPECT_EQ(add_move(sq("a3"), sq("a4"), QUEEN, MOVE_ROW_LIMIT), MOVE_ROW_LIMIT);
  EXPECT_EQ(order_capture(sq("a3"), sq("a2"), QUEEN, MOVE_ROW_LIMIT), MOVE_ROW_LIMIT);
  EXPECT_EQ(add_qs_capture(sq("a3"), sq("a2"), QUEEN, MOVE_ROW_LIMIT), MOVE_ROW_LIMIT);
}

}  // namespace
}  // namespace brevalt

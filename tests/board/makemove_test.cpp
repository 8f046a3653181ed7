// make_move / unmake_move: long random walks that must restore everything
// and keep the incremental keys equal to keys computed from scratch, and
// the special cases of the move maker (pins below the root, en passant
// along the rank, castling, promotion keys, the fifty-move draw, king
// captures, the bound of the legal-move list).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "board_test_util.h"
#include "search/root.h"
#include "search/tables.h"
#include "support/engine_env.h"
#include "support/files.h"

namespace brevalt {
namespace {

using testing::expected_checker;
using testing::legal_moves_now;
using testing::move_name;
using testing::pop_ply;
using testing::push_ply;
using testing::Snapshot;
using testing::sq;

// Longest random line, in plies; the per-ply tables have 64 rows.
constexpr int WALK_PLIES = 40;

// Each test loads a position as the root driver would see it: lists, keys
// and material rebuilt, the check state of the root filled in, no search
// running and the special-move fields of every ply record clear.
class MakeMoveTest : public ::testing::Test {
 protected:
  void load(const char* fen) {
    ASSERT_TRUE(brevalt::testing::set_position(fen)) << fen;
    brevalt::testing::set_root_check_state();
    control.thinking = 0;
    control.stop_search = 0;
    search_path.draw_flag = 0;
    pos.fifty_counter = 0;
    search_path.check_run = 0;
    for (auto& r : pos.ply_stack) r.castle = r.promo = r.rook_to = 0;
  }
  // Moves to ply p with the castling counters of the root and nobody in check.
  void go_to_ply(int p) {
    while (pos.ply < p) push_ply();
    pos.in_check[p] = 0;
    pos.checker_square[p] = 0;
  }
  // Leave ply 0 and normal mode behind for the next test.
  void TearDown() override {
    while (pos.ply > 0) pop_ply();
    pos.lists_frozen = 0;
  }
};

// Everything that must hold right after a successful make at the current ply.
void expect_after_make(const std::string& line) {
  const KeyPair key = compute_position_key();
  const KeyPair pawns = compute_pawn_key();
  EXPECT_EQ(pos.hash_lo, key.lo) << line;
  EXPECT_EQ(pos.hash_hi, key.hi) << line;
  EXPECT_EQ(pos.pawn_lo, pawns.lo) << line;
  EXPECT_EQ(pos.pawn_hi, pawns.hi) << line;
  const char* fault = position_fault();
  EXPECT_EQ(fault, nullptr) << line << ": " << (fault ? fault : "");
  // The check state written for the next ply agrees with the rules.
  const int next_side = colour_of(pos.board[pos.ply_stack[pos.ply].to]) ^ BLACK;
  const int expected = expected_checker(next_side);
  EXPECT_EQ(pos.in_check[pos.ply + 1] != 0, expected >= 0) << line;
  if (expected >= 0) {
    EXPECT_EQ(pos.checker_square[pos.ply + 1], expected) << line;
  }
}

// How often the random lines met the special moves, so that the test shows
// it has really exercised them.
struct Coverage {
  int castlings = 0, promotions = 0, en_passants = 0, checks = 0, captures = 0;
};
Coverage coverage;

// One random line from the position on the board, unmade on the way back.
// Returns false once a failure has been reported, to end the test early.
bool random_walk(std::mt19937& rng, int side, int depth, std::string& line) {
  if (depth == 0) return true;
  // Mate or stalemate ends the line early.
  const std::vector<LegalMove> moves = legal_moves_now(side);
  if (moves.empty()) return true;
  const LegalMove m = moves[rng() % moves.size()];
  const Snapshot before = Snapshot::take();
  const int32_t nodes = search_path.search_nodes;
  push_ply();
  const AppliedMove applied = apply_search_move(m.from, m.to, MoveSource::generated);
  const std::string here = line + " " + move_name(m.from, m.to);
  EXPECT_TRUE(applied.made && applied.legal) << here;
  if (!applied.legal) {
    pop_ply();
    return false;
  }
  EXPECT_EQ(search_path.search_nodes, nodes + 1) << here;
  expect_after_make(here);
  const PlyRecord& rec = pos.ply_stack[pos.ply];
  coverage.castlings += rec.castle != 0;
  coverage.promotions += rec.promo != 0;
  coverage.en_passants += type_of(rec.moved) == PAWN && rec.captured == EMPTY && file_of(m.from) != file_of(m.to);
  coverage.checks += pos.in_check[pos.ply + 1] != 0;
  coverage.captures += rec.captured != EMPTY;
  // Deeper first; on the way back every level must find its snapshot again.
  std::string deeper = here;
  const bool ok = random_walk(rng, side ^ BLACK, depth - 1, deeper);
  unmake_move(Unmake::full);
  pop_ply();
  const std::string diff = Snapshot::take().difference(before);
  EXPECT_EQ(diff, "") << "after unmaking" << here;
  return ok && diff.empty() && !::testing::Test::HasFailure();
}

// Seeded random lines of up to 40 plies from positions rich in castling,
// promotions, en passant and checks. After every make the keys equal the
// keys computed from scratch and the lists agree with the board; after
// every unmake the snapshot taken before the make is back exactly.
TEST_F(MakeMoveTest, RandomLinesRestoreEverything) {
  const char* positions[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
      "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
      "8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1",
      "r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1",
  };
  std::mt19937 rng(20240611);
  coverage = Coverage{};
  for (const char* fen : positions) {
    for (int walk = 0; walk < 60; ++walk) {
      load(fen);
      const int expected = expected_checker(testing::side_to_move());
      EXPECT_EQ(pos.in_check[1] != 0, expected >= 0) << fen;
      if (expected >= 0) {
        EXPECT_EQ(pos.checker_square[1], expected) << fen;
      }
      const Snapshot root = Snapshot::take();
      std::string line = fen;
      ASSERT_TRUE(random_walk(rng, testing::side_to_move(), WALK_PLIES, line));
      EXPECT_EQ(Snapshot::take().difference(root), "") << fen;
      EXPECT_EQ(pos.ply, 0);
    }
  }
  EXPECT_GT(coverage.castlings, 0);
  EXPECT_GT(coverage.promotions, 0);
  EXPECT_GT(coverage.en_passants, 0);
  EXPECT_GT(coverage.checks, 0);
  EXPECT_GT(coverage.captures, 0);
  std::printf("random lines: %d castlings, %d promotions, %d en passant, %d checks, %d captures\n",
              coverage.castlings, coverage.promotions, coverage.en_passants, coverage.checks,
              coverage.captures);
}

TEST_F(MakeMoveTest, PinnedBishopRefusedBelowTheRoot) {
  // The bishop on d2 is pinned by the bishop on b4.
  load("4k3/8/8/8/1b6/8/3B4/4K3 w - - 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(2);
  EXPECT_EQ(make_move(sq("d2"), sq("e3")), 0);
  unmake_move(Unmake::keep_counters);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  // Along the pin line the move is legal.
  EXPECT_EQ(make_move(sq("d2"), sq("c3")), 1);
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  // Root moves are not tested: they come from the legal list.
  pop_ply();
  EXPECT_EQ(pos.ply, 1);
  EXPECT_EQ(make_move(sq("d2"), sq("e3")), 1);
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

TEST_F(MakeMoveTest, EnPassantAlongTheRankRefused) {
  // Both pawns leave the fifth rank and the rook on h5 would see the king on a5.
  load("8/8/8/K2pP2r/8/8/8/7k w - d6 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(2);
  const AppliedMove applied = apply_search_move(sq("e5"), sq("d6"), MoveSource::generated);
  EXPECT_TRUE(applied.made);
  EXPECT_FALSE(applied.legal);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  EXPECT_EQ(pos.board[sq("d5")], PAWN + BLACK);
}

TEST_F(MakeMoveTest, EnPassantCaptureUpdatesEverything) {
  load("8/8/8/K2pP3/8/8/8/7k w - d6 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(2);
  const AppliedMove applied = apply_search_move(sq("e5"), sq("d6"), MoveSource::generated);
  ASSERT_TRUE(applied.legal);
  EXPECT_EQ(pos.board[sq("d5")], EMPTY);
  EXPECT_EQ(pos.board[sq("d6")], PAWN);
  EXPECT_EQ(pos.material, before.material_ + 100);
  EXPECT_EQ(pos.ep_black_pawn, 0);
  expect_after_make("exd6");
  EXPECT_EQ(pos.fifty_counter, 0);
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

// The double step leaves the en passant square for the reply, and the
// unmake takes it away again.
TEST_F(MakeMoveTest, DoubleStepSetsEnPassantSquare) {
  load("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1");
  go_to_ply(1);
  ASSERT_TRUE(apply_search_move(sq("e2"), sq("e4"), MoveSource::generated).legal);
  EXPECT_EQ(pos.ep_white_pawn, sq("e4"));
  // Black may now take it en passant; the capture is listed.
  const std::vector<LegalMove> replies = legal_moves_now(BLACK);
  EXPECT_TRUE(testing::contains(replies, "d4e3"));
  unmake_move(Unmake::full);
  EXPECT_EQ(pos.ep_white_pawn, 0);
}

// Castling moves king and rook in the key, marks the side as castled and
// counts a king move and a rook move along the line; unmake clears all.
TEST_F(MakeMoveTest, KingsideCastlingKeyAndCounters) {
  load("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(1);
  ASSERT_TRUE(apply_search_move(sq("e1"), sq("g1"), MoveSource::generated).legal);
  EXPECT_EQ(pos.board[sq("g1")], KING);
  EXPECT_EQ(pos.board[sq("f1")], ROOK);
  EXPECT_EQ(pos.board[sq("h1")], EMPTY);
  EXPECT_EQ(pos.white_king_sq(), sq("g1"));
  EXPECT_NE(pos.white_castled, 0);
  EXPECT_EQ(pos.state_top->white_king_moves, 1);
  EXPECT_EQ(pos.state_top->white_h_rook_moves, 1);
  EXPECT_EQ(pos.in_check[2], 0);
  expect_after_make("O-O");
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  EXPECT_EQ(pos.state_top->white_king_moves, 0);
  EXPECT_EQ(pos.state_top->white_h_rook_moves, 0);
}

TEST_F(MakeMoveTest, CastlingRookGivesCheck) {
  // Kingside: the rook on f1 checks the king on f8.
  load("5k2/8/8/8/8/8/8/4K2R w K - 0 1");
  go_to_ply(1);
  ASSERT_TRUE(apply_search_move(sq("e1"), sq("g1"), MoveSource::generated).legal);
  EXPECT_NE(pos.in_check[2], 0);
  EXPECT_EQ(pos.checker_square[2], sq("f1"));
  expect_after_make("O-O+");
  unmake_move(Unmake::full);
  // Queenside for Black: the rook on d8 checks the king on d1.
  load("r3k3/8/8/8/8/8/8/3K4 b q - 0 1");
  go_to_ply(1);
  ASSERT_TRUE(apply_search_move(sq("e8"), sq("c8"), MoveSource::generated).legal);
  EXPECT_EQ(pos.board[sq("d8")], ROOK + BLACK);
  EXPECT_NE(pos.in_check[2], 0);
  EXPECT_EQ(pos.checker_square[2], sq("d8"));
  expect_after_make("O-O-O+");
  unmake_move(Unmake::full);
}

TEST_F(MakeMoveTest, PromotionKeys) {
  load("3r4/4P3/8/8/8/8/k7/4K3 w - - 0 1");
  const Snapshot before = Snapshot::take();
  const KeyPair pawn_e7 = zobrist[PAWN][sq("e7")];
  go_to_ply(1);
  // Push: pawn off e7, queen on e8; the pawn key loses only the pawn.
  ASSERT_TRUE(apply_search_move(sq("e7"), sq("e8"), MoveSource::generated).legal);
  EXPECT_EQ(pos.board[sq("e8")], QUEEN);
  EXPECT_EQ(pos.hash_lo, before.hash_lo_ ^ pawn_e7.lo ^ zobrist[QUEEN][sq("e8")].lo);
  EXPECT_EQ(pos.hash_hi, before.hash_hi_ ^ pawn_e7.hi ^ zobrist[QUEEN][sq("e8")].hi);
  EXPECT_EQ(pos.pawn_lo, before.pawn_lo_ ^ pawn_e7.lo);
  EXPECT_EQ(pos.pawn_hi, before.pawn_hi_ ^ pawn_e7.hi);
  EXPECT_EQ(pos.material, before.material_ + 1220 - 100);
  EXPECT_EQ(pos.white_pieces[pos.piece_index[sq("e8")]].code, QUEEN);
  EXPECT_EQ(pos.promo_pawn, 0);
  expect_after_make("e8=Q");
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  // Capture: the rook on d8 leaves the position key as well.
  ASSERT_TRUE(apply_search_move(sq("e7"), sq("d8"), MoveSource::generated).legal);
  EXPECT_EQ(pos.hash_lo, before.hash_lo_ ^ pawn_e7.lo ^ zobrist[QUEEN][sq("d8")].lo ^
                         zobrist[ROOK + BLACK][sq("d8")].lo);
  EXPECT_EQ(pos.pawn_lo, before.pawn_lo_ ^ pawn_e7.lo);
  EXPECT_EQ(pos.material, before.material_ + 1220 - 100 + 620);
  expect_after_make("exd8=Q");
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

TEST_F(MakeMoveTest, BlackPromotionKeys) {
  load("4k3/8/8/8/8/8/3p4/K7 b - - 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(1);
  ASSERT_TRUE(apply_search_move(sq("d2"), sq("d1"), MoveSource::generated).legal);
  EXPECT_EQ(pos.board[sq("d1")], QUEEN + BLACK);
  EXPECT_EQ(pos.pawn_lo, before.pawn_lo_ ^ zobrist[PAWN + BLACK][sq("d2")].lo);
  EXPECT_EQ(pos.material, before.material_ - (1220 - 100));
  expect_after_make("d1=Q");
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

TEST_F(MakeMoveTest, FiftyMoveDrawOnlyFromPlyFour) {
  load("4k3/8/8/8/8/8/4P3/4K1N1 w - - 0 1");
  ASSERT_EQ(pos.material, search_path.root_material);
  // Ply 4: the hundredth quiet half-move with the root material is a draw.
  go_to_ply(4);
  pos.fifty_counter = 99;
  search_path.draw_flag = 0;
  ASSERT_EQ(make_move(sq("g1"), sq("f3")), 1);
  EXPECT_EQ(pos.fifty_counter, 100);
  EXPECT_EQ(search_path.draw_flag, 1);
  unmake_move(Unmake::full);
  EXPECT_EQ(pos.fifty_counter, 99);
  // A pawn move resets the counter instead.
  search_path.draw_flag = 0;
  ASSERT_EQ(make_move(sq("e2"), sq("e3")), 1);
  EXPECT_EQ(pos.fifty_counter, 0);
  EXPECT_EQ(search_path.draw_flag, 0);
  unmake_move(Unmake::full);
  // Ply 3: not yet.
  pop_ply();
  pos.in_check[3] = 0;
  search_path.draw_flag = 0;
  ASSERT_EQ(make_move(sq("g1"), sq("f3")), 1);
  EXPECT_EQ(pos.fifty_counter, 100);
  EXPECT_EQ(search_path.draw_flag, 0);
  unmake_move(Unmake::full);
  // Ply 4 with material changed since the root: no draw either.
  go_to_ply(4);
  search_path.root_material = static_cast<int16_t>(search_path.root_material + 100);
  ASSERT_EQ(make_move(sq("g1"), sq("f3")), 1);
  EXPECT_EQ(search_path.draw_flag, 0);
  unmake_move(Unmake::full);
  search_path.root_material = static_cast<int16_t>(search_path.root_material - 100);
}

// The node count runs on past 2^31 (an analysis of twenty minutes at
// two million nodes a second) instead of wrapping to a negative figure.
TEST_F(MakeMoveTest, NodeCountPassesTwoToTheThirtyFirst) {
  load("4k3/8/8/8/8/8/4P3/4K1N1 w - - 0 1");
  go_to_ply(1);
  search_path.search_nodes = INT32_MAX - 1;
  ASSERT_EQ(make_move(sq("g1"), sq("f3")), 1);
  unmake_move(Unmake::full);
  ASSERT_EQ(make_move(sq("e2"), sq("e3")), 1);
  unmake_move(Unmake::full);
  EXPECT_EQ(search_path.search_nodes, int64_t{INT32_MAX} + 1);
  search_path.search_nodes = 0;
}

TEST_F(MakeMoveTest, KingCaptureIsLoggedAndUndone) {
  std::remove("game error");
  load("4k3/8/8/8/8/8/8/4R1K1 w - - 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(1);
  ASSERT_EQ(make_move(sq("e1"), sq("e8")), 1);
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  EXPECT_EQ(testing::read_file("game error"), "king taken... \n");
  std::remove("game error");
}

TEST_F(MakeMoveTest, RookCapturedOnItsCornerEndsCastling) {
  // The bishop takes the h1 rook; the h7 rook then recaptures on h1. That
  // rook never stood on h1 before, so White may not castle kingside.
  load("k7/7R/8/8/8/8/6b1/4K2R b K - 0 1");
  go_to_ply(1);
  ASSERT_TRUE(apply_search_move(sq("g2"), sq("h1"), MoveSource::generated).legal);
  push_ply();
  ASSERT_TRUE(apply_search_move(sq("h7"), sq("h1"), MoveSource::generated).legal);
  push_ply();
  ASSERT_TRUE(apply_search_move(sq("a8"), sq("b8"), MoveSource::generated).legal);
  const std::vector<LegalMove> moves = legal_moves_now(0);
  EXPECT_FALSE(testing::contains(moves, "e1g1"));
  EXPECT_TRUE(testing::contains(moves, "e1f1"));
  unmake_move(Unmake::full);
  pop_ply();
  unmake_move(Unmake::full);
  pop_ply();
  unmake_move(Unmake::full);
  EXPECT_EQ(pos.state_top->white_h_rook_moves, 0);
}

// Legality tests (frozen mode) record the move and count no node.
TEST_F(MakeMoveTest, FrozenModeRecordsWithoutCounting) {
  load("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  const Snapshot before = Snapshot::take();
  const int32_t nodes = search_path.search_nodes;
  const std::vector<LegalMove> moves = legal_moves_now(0);
  EXPECT_EQ(moves.size(), 20u);
  EXPECT_EQ(search_path.search_nodes, nodes);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

TEST_F(MakeMoveTest, LegalListNeverOverflows) {
  // The composed position with 218 legal moves, the most any position
  // has: every one of them is listed.
  load("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
  const Snapshot before = Snapshot::take();
  const std::vector<LegalMove> moves = legal_moves_now(0);
  EXPECT_EQ(moves.size(), 218u);
  EXPECT_EQ(search_path.legal_count, 218);
  EXPECT_LT(218, LEGAL_MOVES_SIZE);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

// ---------------------------------------------------------------------------
// apply_search_move with moves taken from tables

TEST_F(MakeMoveTest, TableCastlingNeedsEveryCondition) {
  // f1 attacked by the rook on f8: a table's castling move is refused.
  load("r3kr2/8/8/8/8/8/8/R3K2R w KQq - 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(2);
  EXPECT_FALSE(apply_search_move(sq("e1"), sq("g1"), MoveSource::table).made);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  // Queenside is possible.
  const AppliedMove q = apply_search_move(sq("e1"), sq("c1"), MoveSource::table);
  ASSERT_TRUE(q.legal);
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
  // A rook that has moved along the line forbids it.
  pos.state_top->white_a_rook_moves = 1;
  EXPECT_FALSE(apply_search_move(sq("e1"), sq("c1"), MoveSource::table).made);
  pos.state_top->white_a_rook_moves = 0;
  // b1 occupied.
  pos.board[sq("b1")] = KNIGHT;
  sync_piece_sets();
  EXPECT_FALSE(apply_search_move(sq("e1"), sq("c1"), MoveSource::table).made);
  pos.board[sq("b1")] = EMPTY;
  sync_piece_sets();
}

TEST_F(MakeMoveTest, TableMovesNeedAnOpenLineAndAnEnemyTarget) {
  load("4k3/8/8/8/p6p/8/1P6/Q3K2R w - - 0 1");
  const Snapshot before = Snapshot::take();
  go_to_ply(2);
  // The queen's diagonal a1-h8 is blocked on b2.
  EXPECT_FALSE(apply_search_move(sq("a1"), sq("c3"), MoveSource::table).made);
  // No piece takes its own side.
  EXPECT_FALSE(apply_search_move(sq("a1"), sq("b2"), MoveSource::table).made);
  // A pawn never "captures" across the board edge (a4 to h4 is +7).
  pos.board[sq("a4")] = PAWN;
  pos.board[sq("h4")] = KNIGHT + BLACK;
  sync_piece_sets();
  EXPECT_FALSE(apply_search_move(sq("a4"), sq("h4"), MoveSource::table).made);
  pos.board[sq("a4")] = PAWN + BLACK;
  pos.board[sq("h4")] = PAWN + BLACK;
  sync_piece_sets();
  EXPECT_EQ(Snapshot::take().difference(before), "");
  // With the line open the move is made.
  const AppliedMove open = apply_search_move(sq("a1"), sq("a4"), MoveSource::table);
  ASSERT_TRUE(open.legal);
  unmake_move(Unmake::full);
  EXPECT_EQ(Snapshot::take().difference(before), "");
}

// path_clear looks only at the squares strictly between the two ends.
TEST(PathClear, Diagonal) {
  ASSERT_TRUE(brevalt::testing::set_position("4k3/8/8/8/8/8/8/B3K3 w - - 0 1"));
  EXPECT_TRUE(path_clear(sq("a1"), sq("h8")));
  for (const char* blocker : {"b2", "c3", "d4", "e5", "f6", "g7"}) {
    pos.board[sq(blocker)] = PAWN + BLACK;
    sync_piece_sets();
    EXPECT_FALSE(path_clear(sq("a1"), sq("h8"))) << blocker;
    pos.board[sq(blocker)] = EMPTY;
    sync_piece_sets();
  }
  pos.board[sq("b2")] = PAWN;
  sync_piece_sets();
  EXPECT_TRUE(path_clear(sq("a1"), sq("b2")));
  EXPECT_TRUE(path_clear(sq("e1"), sq("e2")));
  pos.board[sq("b2")] = EMPTY;
  sync_piece_sets();
  EXPECT_TRUE(path_clear(sq("h1"), sq("h8")));
  EXPECT_FALSE(path_clear(sq("a1"), sq("b3")));  // no common line
}

// The root's checker search: knight, pawn, rook, bishop, a double check,
// and a black king checked by a pawn; cross-checked with plain geometry.
TEST(FindCheckers, CountsEveryKindOfChecker) {
  struct Case {
    const char* fen;
    const char* checker;  // nullptr for a double check
  };
  const Case cases[] = {
      {"4k3/8/8/8/8/5n2/8/4K3 w - - 0 1", "f3"},
      {"4k3/8/8/8/8/8/3p4/4K3 w - - 0 1", "d2"},
      {"4k3/8/8/8/8/8/8/r3K3 w - - 0 1", "a1"},
      {"4k3/8/8/8/1b6/8/8/4K3 w - - 0 1", "b4"},
      {"4k3/8/8/8/8/3n4/8/q3K3 w - - 0 1", nullptr},
      {"4k3/3P4/8/8/8/8/8/4K3 b - - 0 1", "d7"},
      {"4k3/8/3N4/8/8/8/8/4Q1K1 b - - 0 1", nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(brevalt::testing::set_position(c.fen)) << c.fen;
    brevalt::testing::set_root_check_state();
    ASSERT_NE(pos.in_check[1], 0) << c.fen;
    EXPECT_EQ(pos.checker_square[1], c.checker ? sq(c.checker) : NO_INDEX) << c.fen;
    EXPECT_EQ(pos.checker_square[1], expected_checker(testing::side_to_move())) << c.fen;
  }
}

}  // namespace
}  // namespace brevalt

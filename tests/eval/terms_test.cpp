// The positional terms of the evaluation, each checked against numbers
// worked out by hand from the chess rules they encode: mobility tables,
// piece terms, pawn structure, passed pawns and their races, the
// promotion square, king safety and rook files. Then the properties the
// whole evaluation must keep: a pawn-cache hit scores exactly as the miss
// that stored it, the same position scores the same by any move order,
// and a position and its colour mirror score alike.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <string>

#include "board/makemove.h"
#include "board/position.h"
#include "board/rays.h"
#include "board/board_test_util.h"
#include "eval/eval.h"
#include "eval/king.h"
#include "eval/pawns.h"
#include "eval/pieces.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/activity.h"
#include "search/root.h"
#include "search/search.h"
#include "eval/eval_fixture.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

using testing::sq;

class EvalTerms : public testing::EvalFixture {
 protected:
  // The counts and pawn data of the current position as the evaluation
  // gathers them on a cache miss; returns the sum of the piece terms.
  static int gather(EvalCounts& ec, PawnData& pd, bool endgame) {
    ec = EvalCounts{};
    for (SideCounts* c : {&ec.white, &ec.black}) {
      c->minors_developed = 1;
      c->low_file = 9;
      c->high_file = -1;
    }
    ec.endgame_mode = endgame;
    ec.white.king_settled = pos.white_castled != 0 || (pos.white_king_sq() < 24 && pos.white_king_sq() != E1);
    ec.black.king_settled = pos.black_castled != 0 || (pos.black_king_sq() > 39 && pos.black_king_sq() != E8);
    uint64_t pieces = 0, pawns = 0;
    for (int s = 0; s < 64; ++s) {
      const int type = type_of(pos.board[s]);
      if (pos.board[s] == EMPTY || type == KING) continue;
      const int index = file_of(s) * 8 + rank_of(s);
      (type == PAWN ? pawns : pieces) |= uint64_t{1} << index;
    }
    clear_pawn_data(pd);
    scan_pawns(pd, ec, pawns);
    const int terms = piece_terms(ec, pieces, occupied_squares());
    ec.white.tropism += pd.tropism[0];
    ec.black.tropism += pd.tropism[1];
    ec.pawns = pd.total;
    ec.white.pawns = pd.pawns[0];
    ec.black.pawns = pd.pawns[1];
    auto safe = [](const SideCounts& own, const SideCounts& enemy) {
      return own.king_settled && enemy.attack_units <= 4 && (enemy.queen_square == 0 || enemy.attack_units <= 3);
    };
    ec.white.safe = safe(ec.white, ec.black);
    ec.black.safe = safe(ec.black, ec.white);
    return terms;
  }

  // The term of the one piece on `square` (with the others on the board
  // left out of the visit).
  static int piece_term(int square, bool endgame) {
    EvalCounts ec;
    PawnData pd;
    gather(ec, pd, endgame);
    ec = EvalCounts{};
    ec.white.minors_developed = ec.black.minors_developed = 1;
    ec.endgame_mode = endgame;
    const int index = file_of(square) * 8 + rank_of(square);
    return piece_terms(ec, uint64_t{1} << index, occupied_squares());
  }
};

// ---------------------------------------------------------------------------
// Mobility tables and piece terms

TEST_F(EvalTerms, KnightTableOnAnEmptyBoard) {
  // Kings out of the knights' way: d4 reaches 8 empty squares, a1 two.
  position("7k/8/8/8/8/8/8/7K w - - 0 1", 1);
  EXPECT_EQ(eval_cache.knight_table[0][sq("d4")], 7 + (3 + 7) / 2);      // 12
  EXPECT_EQ(eval_cache.knight_table[1][sq("d4")], 7 + (7 + 7 - 3) / 2);  // 12
  EXPECT_EQ(eval_cache.knight_table[0][sq("a1")], 0 + (0 + 2) / 2);      // 1
  EXPECT_EQ(eval_cache.knight_table[1][sq("a1")], 0 + (2 + 7 - 0) / 2);  // 4
  // A rook on d1 of this board sees 14 squares (capped at 10): 5 + 10 / 2.
  EXPECT_EQ(eval_cache.rook_table[0][sq("d1")], 5 + 5);
  // A queen on a1 blocked by nothing but the h1 king: 6 + 7 + 7 = 20, capped.
  EXPECT_EQ(eval_cache.queen_table[0][sq("a1")], 0 + 5);
}

TEST_F(EvalTerms, MobilityStopsAtTheFirstOccupiedSquare) {
  // A bishop on c1 behind pawns on b2 and d2 has no empty square at all:
  // the base value alone. With d2 gone it sees d2..h6 (5 squares), so
  // (0 + 5) / 2 = 2 is added for White.
  position("4k3/8/8/8/8/8/1P1P4/2B1K3 w - - 0 1", 1);
  EXPECT_EQ(eval_cache.bishop_table[0][sq("c1")], 0);
  position("4k3/8/8/8/8/8/1P6/2B1K3 w - - 0 1", 1);
  EXPECT_EQ(eval_cache.bishop_table[0][sq("c1")], 0 + (0 + 5) / 2);
}

TEST_F(EvalTerms, BoxedInRooks) {
  // No free line of three squares: 4 on the first rank, 10 elsewhere.
  position("4k3/8/8/8/8/8/P7/RN2K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("a1"), false), eval_cache.rook_table[0][sq("a1")] - 4);
  position("4k3/8/8/8/3R4/8/8/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("d4"), false), eval_cache.rook_table[0][sq("d4")]);
  position("4k3/8/8/8/8/n7/PN6/RP2K3 w - - 0 1", 1);  // hemmed in on a2 as well
  EXPECT_EQ(piece_term(sq("a1"), false), eval_cache.rook_table[0][sq("a1")] - 4);
  // The mirror: a Black rook on h8 boxed in by its own pieces.
  position("4k1pr/7p/8/8/8/8/8/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("h8"), false), -(eval_cache.rook_table[1][sq("h8")] - 4));
}

TEST_F(EvalTerms, RookOnTheSeventh) {
  // In the middlegame always; in the ending only with the enemy king on
  // its last two ranks.
  position("6k1/3R4/8/8/8/8/8/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("d7"), false), eval_cache.rook_table[0][sq("d7")] + 15);
  EXPECT_EQ(piece_term(sq("d7"), true), eval_cache.rook_table[0][sq("d7")] + 15);
  position("8/3R4/8/6k1/8/8/8/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("d7"), true), eval_cache.rook_table[0][sq("d7")]);
}

TEST_F(EvalTerms, RookFilesAreTheFirstRooksAndTheLatestAfterIt) {
  // Three White rooks (a promotion made the third): the a-file rook is
  // found first, the h-file rook last, and it takes the second place.
  position("4k3/8/8/8/8/8/8/R2RK2R w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  EXPECT_EQ(ec.white.rook_file[0], 1);
  EXPECT_EQ(ec.white.rook_file[1], 8);
  EXPECT_EQ(ec.white.rooks, 3);
}

TEST_F(EvalTerms, UndevelopedMinorPieces) {
  position("4k3/8/8/8/8/8/8/1NB1K3 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  EXPECT_EQ(ec.white.minors_developed, 0);
  // A bishop at home: 13 in the middlegame, 23 in the ending; out, 28.
  EXPECT_EQ(piece_term(sq("c1"), false), 13 + eval_cache.bishop_table[0][sq("c1")]);
  EXPECT_EQ(piece_term(sq("c1"), true), 23 + eval_cache.bishop_table[0][sq("c1")]);
  // A knight at home costs 26 instead of the usual 8.
  EXPECT_EQ(piece_term(sq("b1"), false), -26 + eval_cache.knight_table[0][sq("b1")]);
  EXPECT_EQ(piece_term(sq("b1"), true), -8 + eval_cache.knight_table[0][sq("b1")]);
  position("4k3/8/8/8/8/2N5/8/4K3 w - - 0 1", 1);
  gather(ec, pd, false);
  EXPECT_EQ(ec.white.minors_developed, 1);
}

TEST_F(EvalTerms, PiecesBlockingPawnsAndAimingAtTheKing) {
  // A bishop on d3 in front of the d2 pawn: 28 + table - 11, and +10 for
  // bearing on the wing of the king on g8; a bishop on the long diagonal
  // toward that king: +10 in the middlegame only.
  position("6k1/8/8/8/8/3B4/3P4/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("d3"), false), 28 + eval_cache.bishop_table[0][sq("d3")] - 11 + 10);
  EXPECT_EQ(piece_term(sq("d3"), true), 28 + eval_cache.bishop_table[0][sq("d3")] - 11);
  position("6k1/8/8/4B3/8/8/8/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("e5"), false), 28 + eval_cache.bishop_table[0][sq("e5")] + 10);
  EXPECT_EQ(piece_term(sq("e5"), true), 28 + eval_cache.bishop_table[0][sq("e5")]);
  // A knight in front of its own pawn: -8 + table - 3.
  position("6k1/8/8/8/8/2N5/2P5/4K3 w - - 0 1", 1);
  EXPECT_EQ(piece_term(sq("c3"), false), -8 + eval_cache.knight_table[0][sq("c3")] - 3);
}

TEST_F(EvalTerms, Tropism) {
  // Queen 128 - 8d, rook 80 - 5d, minors 64 - 4d (d Manhattan distance to
  // the enemy king), nothing in the ending; pawns storming the king's wing
  // add 10 each.
  position("6k1/8/5P2/8/8/8/Q7/R3K1N1 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  const int queen = 128 - 8 * (6 + 6), rook = 80 - 5 * (7 + 6), knight = 64 - 4 * (7 + 0);
  EXPECT_EQ(ec.white.tropism, queen + rook + knight + 10);
  gather(ec, pd, true);
  EXPECT_EQ(ec.white.tropism, 0);
}

TEST_F(EvalTerms, Outposts) {
  // A knight on e5 backed by the d4 pawn, no Black pawn on d or f able to
  // come up: 32, or 22 when Black has a knight to challenge it.
  position("4k3/8/8/4N3/3P4/8/8/4K3 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  EXPECT_EQ(outpost_term(ec, pd), 32);
  position("4k1n1/8/8/4N3/3P4/8/8/4K3 w - - 0 1", 1);
  gather(ec, pd, false);
  EXPECT_EQ(outpost_term(ec, pd), 22);
  // A Black pawn on f7 can still drive it away: no outpost.
  position("4k3/5p2/8/4N3/3P4/8/8/4K3 w - - 0 1", 1);
  gather(ec, pd, false);
  EXPECT_EQ(outpost_term(ec, pd), 0);
  // A bishop of the outpost's colour challenges it too (e5 is a dark
  // square, like g1; h1 is light).
  position("4k3/8/8/4N3/3P4/8/8/4K1b1 w - - 0 1", 1);
  gather(ec, pd, false);
  EXPECT_EQ(outpost_term(ec, pd), 22);
  position("4k3/8/8/4N3/3P4/8/8/4K2b w - - 0 1", 1);
  gather(ec, pd, false);
  EXPECT_EQ(outpost_term(ec, pd), 32);
  // Three knights on outposts: only the last two found count.
  position("4k3/8/8/1N1NN3/P1PP4/8/8/4K3 w - - 0 1", 1);
  gather(ec, pd, false);
  EXPECT_EQ(outpost_term(ec, pd), 2 * 32);
}

// ---------------------------------------------------------------------------
// Pawn structure

TEST_F(EvalTerms, DuosAndAPassedPawnInTheEnding) {
  // a2, b2, c2 against a7: the a- and c-pawns have one neighbour (+2), the
  // b-pawn two (+4); the c-pawn is passed far back (+30). Black's a-pawn is
  // isolated (34). P = 2 + 4 + 2 + 30 + 34 = 72.
  position("4k3/p7/8/8/8/8/PPP5/4K3 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, true);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{0, 0}, {9, 9}});
  EXPECT_EQ(pd.score, 72);
  ASSERT_EQ(pd.passers[0], 1);
  EXPECT_EQ(pd.passer_files[0][0], 3);
  EXPECT_EQ(pd.passers[1], 0);
  // The ending's file term: each White pawn beside or in front of its king
  // costs 8 (all three), the a7 pawn with the king on e8 behind it +8.
  EXPECT_EQ(pd.pawn_file_term, -24 + 8);
}

TEST_F(EvalTerms, IsolatedPassedCentrePawnInTheMiddlegame) {
  // A lone d4 pawn, both kings sheltered and safe: isolated (-34), passed
  // on rank index 3 with pieces on and material level (16 + 40), inside the
  // default advance window (+7): 29.
  position("r2q2k1/8/8/8/3P4/8/8/R2Q2K1 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  ASSERT_TRUE(ec.white.safe && ec.black.safe);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  EXPECT_EQ(pd.score, 29);
  // The centre file term: +6 for the d-pawn.
  EXPECT_EQ(pd.pawn_file_term, 6);
  // Far behind in material the passer earns its rank value only.
  position("r2q2k1/8/8/8/3P4/8/8/3Q2K1 w - - 0 1", 1);
  gather(ec, pd, false);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  EXPECT_EQ(pd.score, -34 + 16 + 7);
}

TEST_F(EvalTerms, BackwardPawnAndItsHole) {
  // d3 behind c4 with a Black pawn on c5 guarding d4: backward (-24) and
  // weak (-8), a duo with c4 (+2); c4 a duo with d3 (+2). Black's c5 is
  // isolated (+34 for White): P = -30 + 2 + 34 = 6, and d4 is White's hole.
  position("r2q2k1/8/8/2p5/2P5/3P4/8/R2Q2K1 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  EXPECT_EQ(pd.score, 6);
  EXPECT_EQ(pd.hole[0], sq("d4"));
  EXPECT_EQ(pd.hole[1], 0);
  // A Black knight on the hole costs 20; a White one there does not.
  pos.board[sq("d4")] = KNIGHT + BLACK;
  sync_piece_sets();
  EXPECT_EQ(hole_term(pd), -20);
  pos.board[sq("d4")] = KNIGHT;
  sync_piece_sets();
  EXPECT_EQ(hole_term(pd), 0);
}

TEST_F(EvalTerms, ConnectedPassers) {
  // d5 and e5 against nothing: both passed on rank index 4 (40 + 32 each
  // with pieces on), connected and side by side (+25), and
  // (32 - 4 * 3 attack units) * ((4 + 4) >> 1) = 80. They are also a duo
  // (+2 each) and sit in the advance window (d and e, +14 each).
  position("r2q2k1/8/8/3PP3/8/8/8/R2Q2K1 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  EXPECT_EQ(pd.score, 2 * 72 + 25 + 80 + 2 * 2 + 2 * 14);
  ASSERT_EQ(pd.passers[0], 2);
  EXPECT_EQ(pd.passer_files[0][0], 4);
  EXPECT_EQ(pd.passer_files[0][1], 5);
}

TEST_F(EvalTerms, PawnChainsAtTheAFileStayOnTheBoard) {
  // a3-b2-c3-d4: c3 and d4 each stand one rank off their left neighbour,
  // which stands one rank off the pawn two files left: two links. The a-
  // and b-pawns have no file two to their left and are never links.
  position("r2q2k1/8/8/8/3P4/P1P5/1P6/R2Q2K1 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  EXPECT_EQ(pd.fixed[0][0] + pd.fixed[0][1], 2);  // c3 (on b2's chain) and d4
  // The engine (White) is charged for the opponent's chains only.
  control.engine_side = -1;
  EXPECT_EQ(bishop_colour_term(ec, pd), 10);
  control.engine_side = 1;
  EXPECT_EQ(bishop_colour_term(ec, pd), 0);
}

TEST_F(EvalTerms, BadBishopInTheEnding) {
  // White pawns on c4 and e4 (light squares) blocked by Black pawns on c5
  // and e5: two fixed pawns on the light bishop's colour cost 10.
  position("4k3/8/8/2p1p3/2P1P3/8/8/3BK3 w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, true);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{0, 0}, {9, 9}});
  EXPECT_EQ(pd.fixed[0][0], 2);
  EXPECT_EQ(bishop_colour_term(ec, pd), -10);
  position("4k3/8/8/2p1p3/2P1P3/8/8/2B1K3 w - - 0 1", 1);  // the dark bishop
  gather(ec, pd, true);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{0, 0}, {9, 9}});
  EXPECT_EQ(bishop_colour_term(ec, pd), 0);
}

TEST_F(EvalTerms, ShelterFilesOfAnExposedKing) {
  // White castled short but facing queen and rooks: with no f-, g- or
  // h-pawn the shelter files cost 10, 38 + 12 and 38 + 12.
  position("r2q1rk1/5ppp/8/8/8/8/8/R2Q1RK1 w - - 0 1", 1);
  pos.white_castled = 1;
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  ASSERT_FALSE(ec.white.safe);
  ASSERT_FALSE(ec.black.safe);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  // White's side pays 10 + 50 + 50. Black's f7, g7, h7 are duos (+2, +4,
  // +2) and, with no White pawn left, passed far back (30 each); g7 and h7
  // are connected to the passer beside them (25 + (32 - 4 * 4) * 1 each).
  EXPECT_EQ(pd.score, -(10 + 50 + 50) - (2 + 4 + 2) - 3 * 30 - 2 * (25 + 16));
}

TEST_F(EvalTerms, KingStillAtHomeWithWingPawnsAdvanced) {
  // A king that has not moved pays 17 for each a-, b-, g- or h-pawn past its
  // third rank; the king on e1 is not settled and not safe against a queen.
  position("r2qk2r/8/8/8/P5P1/8/1P5P/R2QK2R w KQkq - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  ASSERT_FALSE(ec.white.king_settled);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{3, 3}, {6, 6}});
  // a4-b2 and g4-h2 are pairs of neighbours two ranks apart: no duos, no
  // isolated pawns. All four are passed: a4, g4 on rank index 3 (16 + 40),
  // b2, h2 far back (30). b2 and h2 are connected to the passer on their
  // left (no +25: two ranks apart) with (32 - 4 * 4) * ((3 + 1) >> 1) = 32
  // each. Wing pawns past the third rank: a4 and g4, 17 each.
  const int white = 2 * 56 + 2 * (30 + 32) - 2 * 17;
  EXPECT_EQ(pd.score, white);
}

// ---------------------------------------------------------------------------
// Passed-pawn terms of every evaluation

TEST_F(EvalTerms, SquareRuleInAPawnEnding) {
  // e6 against a king on b7 or a7. Black to move widens the square to files
  // b..h from rank index 4: b7 is inside, a7 outside (+200 + 25 * 5). The
  // White king is far (-90), Black's is not in front (+90); Black has no
  // pawns left against one (+120 for White).
  EvalCounts ec;
  PawnData pd;
  int s;
  for (const char* fen : {"8/1k6/4P3/8/8/8/8/7K b - - 0 1", "8/k7/4P3/8/8/8/8/7K b - - 0 1"}) {
    position(fen, -1);  // the engine plays Black, ply 0: Black to move
    gather(ec, pd, true);
    evaluate_pawn_files(pd, ec, AdvanceWindows{{0, 0}, {9, 9}});
    s = 0;
    ASSERT_EQ(passed_pawn_terms(pd, ec, s), PasserResult::score);
    EXPECT_EQ(s, fen[2] == '1' ? 120 : 120 + 325) << fen;
  }
  // White to move: the square is files c..g from rank index 5 and the king
  // on b7 is outside it too.
  position("8/1k6/4P3/8/8/8/8/7K w - - 0 1", 1);
  gather(ec, pd, true);
  evaluate_pawn_files(pd, ec, AdvanceWindows{{0, 0}, {9, 9}});
  s = 0;
  passed_pawn_terms(pd, ec, s);
  EXPECT_EQ(s, 120 + 325);
}

TEST_F(EvalTerms, RookPawnDrawsAreTheDrawScore) {
  // Ratings giving a draw score of -20, told apart from a plain 0.
  auto ratings = [] {
    game_clock.own_rating = 2500;
    game_clock.opponent_rating = 2450;
  };
  // King and a-pawn against a king in the corner.
  position("k7/8/8/8/8/8/P7/4K3 w - - 0 1", 1);
  ratings();
  EXPECT_EQ(evaluate(-9000, 9000), -20);
  position("4k3/p7/8/8/8/8/8/K7 b - - 0 1", -1);  // the mirror, engine Black
  ratings();
  EXPECT_EQ(evaluate(-9000, 9000), -20);
  // Bishop and h-pawn: the light bishop cannot cover h8.
  position("6k1/8/8/7P/8/3B4/8/4K3 w - - 0 1", 1);
  ratings();
  EXPECT_EQ(evaluate(-9000, 9000), -20);
  position("6k1/8/8/7P/8/4B3/8/4K3 w - - 0 1", 1);
  EXPECT_GT(evaluate(-9000, 9000), 400);
  // The defending king too far from the a-pawn.
  position("7k/8/8/8/8/8/P7/4K3 w - - 0 1", 1);
  EXPECT_GT(evaluate(-9000, 9000), 100);
}

TEST_F(EvalTerms, PromotionSquare) {
  const int a7 = sq("a7"), a8 = sq("a8");
  struct Case {
    const char* fen;
    int value;
  } cases[] = {
      {"8/P7/8/8/8/8/8/4K2k w - - 0 1", 200},         // nothing bears on a8
      {"1r6/P7/8/8/8/8/8/4K2k w - - 0 1", 0},         // a rook guards it
      {"1r6/P7/8/8/8/8/8/R3K2k w - - 0 1", 620 - 200},  // the a1 rook behind the pawn evens it
      {"r7/P7/8/8/8/8/8/R3K2k w - - 0 1", 0},         // blocked: a1 rook does not count
      {"1k6/P7/8/8/8/8/8/4K3 w - - 0 1", 0},          // the enemy king guards it
      {"1k6/P7/8/8/8/8/8/R3K3 w - - 0 1", 200},       // ... against the rook
      {"8/P1n5/8/8/8/8/8/R3K2k w - - 0 1", 400 - 200},  // a knight
      {"7k/P7/8/8/8/8/8/4K2b w - - 0 1", 0},          // a bishop on the long diagonal
      {"1r6/PP6/8/8/8/8/8/4K2k w - - 0 1", 620 - 200},  // the b7 pawn guards a8
  };
  for (const Case& c : cases) {
    position(c.fen, 1);
    EXPECT_EQ(promotion_square_value(a7, a8, 0), c.value) << c.fen;
  }
  position("4k3/8/8/8/8/8/7p/K7 b - - 0 1", -1);
  EXPECT_EQ(promotion_square_value(sq("h2"), sq("h1"), 1), 200);
}

// ---------------------------------------------------------------------------
// King safety and rook files

TEST_F(EvalTerms, CastledKingBehindItsShelter) {
  // White castled short, f2 g2 h2 and Nf3, facing queen and two rooks far
  // away (tropism 48 + 15 + 40 = 103, under 150): 3 * 5 pieces + 12 + 24 +
  // 12, +20 for the king tucked on g1, -12 for the f1 rook on a file with
  // pawns of both sides: 71. Black is safe (only a rook and a knight against
  // it): +20 for its king, +35 for the open a-file, -12 for the f-file: 43.
  position("r2q1rk1/5ppp/8/8/8/5N2/5PPP/5RK1 w - - 0 1", 1);
  pos.white_castled = 1;
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  ASSERT_EQ(ec.black.tropism, 103);
  ASSERT_FALSE(ec.white.safe);
  ASSERT_TRUE(ec.black.safe);
  AdvanceWindows w;
  EXPECT_EQ(king_safety(ec, pd, w), 71 - 43);
  // Moved to g1 without castling: settled all the same, so the shelter
  // terms and not the 40 for a moved king; only the castled bonus is gone.
  pos.white_castled = 0;
  pos.state_top->white_king_moves = 1;
  gather(ec, pd, false);
  EXPECT_EQ(king_safety(ec, pd, w), 71 - 15 - 43);
  // And a king that has left its root square pays 32.
  eval_cache.root_white_king_sq = static_cast<int16_t>(sq("h1"));
  EXPECT_EQ(king_safety(ec, pd, w), 71 - 15 - 32 - 43);
}

TEST_F(EvalTerms, PawnStormOpensTheAdvanceWindow) {
  // Kings castled on opposite wings: White's window opens to the a-file and
  // Black's g- and h-pawns storming White's king cost White their advance
  // values (g5: 7 - 4 = rank 3 of the view, 7; h4: 14).
  position("1kr4r/ppp5/8/6p1/7p/8/5PPP/1q3RK1 w - - 0 1", 1);
  pos.white_castled = 1;
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, false);
  ASSERT_FALSE(ec.white.safe);
  AdvanceWindows w;
  const int with_storm = king_safety(ec, pd, w);
  EXPECT_EQ(w.low[0], 0);
  EXPECT_EQ(w.high[0], 6);
  // The same without the storming pawns.
  position("1kr4r/ppp5/8/8/8/8/5PPP/1q3RK1 w - - 0 1", 1);
  pos.white_castled = 1;
  gather(ec, pd, false);
  const int without = king_safety(ec, pd, w);
  // Without them the storm is gone (White +21), and Black's h8 rook no
  // longer stands on a file with pawns of both sides, nor on one whose
  // Black pawn's rank index (3) is below the rook's file number (8): Black
  // +24.
  EXPECT_EQ(with_storm - without, -(7 + 14) + 24);
}

TEST_F(EvalTerms, KingInAPawnlessEnding) {
  // White 620 behind without pawns: its king belongs away from the corners
  // (a1 costs 16, d4 nothing); Black's rook on the open h-file adds 22.
  position("4k3/8/8/8/8/8/8/K6r w - - 0 1", 1);
  EvalCounts ec;
  PawnData pd;
  gather(ec, pd, true);
  AdvanceWindows w;
  EXPECT_EQ(king_safety(ec, pd, w), -16 - 22);
  EXPECT_EQ(w.low[0], 0);
  EXPECT_EQ(w.high[1], 9);
  position("4k3/8/8/8/3K4/8/8/7r w - - 0 1", 1);
  gather(ec, pd, true);
  EXPECT_EQ(king_safety(ec, pd, w), -22);
  // With pawns the kings head for the centre, and pawns next to them count.
  position("8/8/3pk3/8/3K4/3P4/8/8 w - - 0 1", 1);
  gather(ec, pd, true);
  EXPECT_EQ(king_safety(ec, pd, w), (12 + 2) - (8 + 2));
}

// ---------------------------------------------------------------------------
// Properties of the whole evaluation

// The colour mirror of a position: ranks reversed, colours swapped.
std::string mirror_fen(const std::string& fen) {
  std::string placement = fen.substr(0, fen.find(' '));
  std::string rest = fen.substr(fen.find(' ') + 1);
  std::string ranks[8];
  int r = 0;
  for (char ch : placement) {
    if (ch == '/') ++r;
    else ranks[r] += std::isupper(static_cast<unsigned char>(ch)) ? static_cast<char>(std::tolower(ch))
                                                                  : static_cast<char>(std::toupper(ch));
  }
  std::string out;
  for (int i = 7; i >= 0; --i) out += ranks[i] + (i ? "/" : "");
  const char side = rest[0] == 'w' ? 'b' : 'w';
  std::string castling = rest.substr(2, rest.find(' ', 2) - 2);
  for (char& ch : castling)
    ch = std::isupper(static_cast<unsigned char>(ch)) ? static_cast<char>(std::tolower(ch))
                                                      : static_cast<char>(std::toupper(ch));
  return out + " " + side + " " + castling + " - 0 1";
}

// Positions without two pieces of one kind on one file (the first one met
// counts differently), and without the rook-file test that compares a
// rook's file number with the rank of its own pawn on that file: that test
// is one-sided (a Black rook on the h-file with an h-pawn always meets it,
// a White one almost never; a White rook on a1 with a pawn on a3 meets it,
// a Black rook on a8 with a pawn on a6 does not).
const char* const mirror_positions[] = {
    "r1bq1rk1/pppp1ppp/2n2n2/2b1p3/2B1P3/2N2N2/PPPP1PPP/R1BQ1RK1 w - - 0 1",
    "r3k3/pppp1ppp/2n2n2/4p3/1bB1P3/2N2N2/PPPP1PPP/R3K3 w Qq - 0 1",
    "2kr1r2/ppp2ppp/2n5/3q4/3P4/2P2N2/PP3PPP/R2Q1RK1 b - - 0 1",
    "4k3/p7/8/8/8/8/PPP5/4K3 w - - 0 1",
    "8/1k6/4P3/8/8/8/8/7K b - - 0 1",
    "r2q2k1/8/8/2p5/2P5/3P4/8/R2Q2K1 w - - 0 1",
    "1krr4/ppp5/8/6p1/7p/8/5PPP/1q3RK1 w - - 0 1",
    "6k1/5p1p/6p1/8/1N6/8/5PPP/6K1 w - - 0 1",
    "r4rk1/pb3ppp/8/1pn5/4P3/1BN5/PP3PPP/3R1RK1 w - - 0 1",
    "8/5k2/3p4/2pP4/2P5/4K3/2B5/8 w - - 0 1",
    "6k1/P7/8/8/8/8/8/1R4K1 w - - 0 1",
};

TEST_F(EvalTerms, MirroredPositionsScoreAlike) {
  for (const char* fen : mirror_positions) {
    for (int side : {1, -1}) {
      for (int p : {0, 1}) {
        position(fen, side);
        pos.ply = static_cast<int16_t>(p);
        search_path.nominal_depth = 5;
        const int score = evaluate(-9000, 9000);
        const std::string mirrored = mirror_fen(fen);
        position(mirrored, -side);
        pos.ply = static_cast<int16_t>(p);
        search_path.nominal_depth = 5;
        // King safety enters the score halved with an arithmetic shift,
        // which rounds an odd sum down for both colours: one point apart.
        EXPECT_NEAR(evaluate(-9000, 9000), score, 1)
            << fen << " / " << mirrored << " side " << side << " ply " << p;
      }
    }
  }
}

TEST_F(EvalTerms, CacheHitScoresAsTheMissThatStoredIt) {
  // Among them an ending where White has no pawns: its file span is "none"
  // (9 and -1), which must read back as such.
  const char* extra[] = {"4k3/8/8/2pp4/8/8/8/1N2K3 w - - 0 1", "4k3/8/8/8/8/8/8/1NN1K3 w - - 0 1"};
  std::vector<std::string> fens(std::begin(mirror_positions), std::end(mirror_positions));
  fens.insert(fens.end(), std::begin(extra), std::end(extra));
  for (const std::string& fen : fens) {
    for (int side : {1, -1}) {
      position(fen, side);
      search_path.nominal_depth = 5;
      clear_pawn_hash();
      const uint64_t hits = eval_cache.pawn_hash_hits;
      const int miss = evaluate(-9000, 9000);
      const int hit = evaluate(-9000, 9000);
      EXPECT_EQ(eval_cache.pawn_hash_hits, hits + 1) << fen << " side " << side;
      EXPECT_EQ(hit, miss) << fen << " side " << side;
    }
  }
}

TEST_F(EvalTerms, TheNextSearchDoesNotTrustOldEntries) {
  position("r2q2k1/8/8/2p5/2P5/3P4/8/R2Q2K1 w - - 0 1", 1);
  clear_pawn_hash();
  evaluate(-9000, 9000);
  const uint64_t hits = eval_cache.pawn_hash_hits;
  ++search_path.search_id;
  evaluate(-9000, 9000);
  EXPECT_EQ(eval_cache.pawn_hash_hits, hits);  // stored by the last search: a miss
  evaluate(-9000, 9000);
  EXPECT_EQ(eval_cache.pawn_hash_hits, hits + 1);
}

TEST_F(EvalTerms, SamePositionByTwoMoveOrders) {
  // 1.Nf3 Nf6 2.Nc3 Nc6 and 1.Nc3 Nc6 2.Nf3 Nf6 inside one search: the
  // second line may hit the entry the first stored, and must score alike.
  const char* orders[2][4] = {{"g1f3", "g8f6", "b1c3", "b8c6"}, {"b1c3", "b8c6", "g1f3", "g8f6"}};
  int scores[2];
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 1);
  clear_pawn_hash();
  for (int o = 0; o < 2; ++o) {
    position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 1);
    testing::set_root_check_state();
    for (const char* m : orders[o]) {
      testing::push_ply();
      ASSERT_TRUE(apply_search_move(sq(m), sq(m + 2), MoveSource::generated).legal) << m;
    }
    search_path.nominal_depth = 5;
    scores[o] = evaluate(-9000, 9000);
    for (int i = 0; i < 4; ++i) {
      unmake_move(Unmake::full);
      testing::pop_ply();
    }
  }
  EXPECT_EQ(scores[0], scores[1]);
}

}  // namespace
}  // namespace brevalt

// Position loading from EPD text: placement, side, castling letters,
// operations, malformed records, and the checks "setboard" makes before it
// gives up the current position.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "board/position.h"
#include "frontend/epd.h"
#include "frontend/mainloop.h"
#include "game/play.h"
#include "search/root.h"
#include "search/tables.h"

namespace brevalt {
namespace {

int load(const std::string& text) {
  std::FILE* f = std::fopen("epd1.epd", "w");
  std::fputs(text.c_str(), f);
  std::fclose(f);
  return load_epd_position();
}

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";

TEST(EpdLoad, StartPositionWithAllCastlingRights) {
  ASSERT_EQ(load(std::string(START) + " w KQkq - 0 1"), 1);
  EXPECT_EQ(std::memcmp(pos.board, start_board, 64), 0);
  EXPECT_EQ(pos.game_ply, 0);
  EXPECT_EQ(control.engine_side, 1);
  EXPECT_EQ(pos.white_castled, 0);
  EXPECT_EQ(pos.black_castled, 0);
  EXPECT_EQ(pos.state_top, &pos.state_stack[0]);
  EXPECT_EQ(pos.state_top->white_h_rook_moves, 0);
  EXPECT_EQ(pos.state_top->white_a_rook_moves, 0);
  EXPECT_EQ(pos.state_top->black_h_rook_moves, 0);
  EXPECT_EQ(pos.state_top->black_a_rook_moves, 0);
  EXPECT_EQ(search_root.in_book, 0);
}

TEST(EpdLoad, BlackToMoveMarksTheMissingWhiteMove) {
  ASSERT_EQ(load(std::string(START) + " b KQkq -"), 1);
  EXPECT_EQ(pos.game_ply, 1);
  EXPECT_EQ(control.engine_side, -1);
  EXPECT_EQ(game_record.game_moves[0].from, NO_SQUARE);
}

TEST(EpdLoad, CastlingLettersOpenSingleWings) {
  ASSERT_EQ(load(std::string(START) + " w - -"), 1);
  EXPECT_NE(pos.white_castled, 0);
  EXPECT_NE(pos.black_castled, 0);

  // White kingside only, Black queenside only.
  ASSERT_EQ(load(std::string(START) + " w Kq -"), 1);
  EXPECT_EQ(pos.white_castled, 0);
  EXPECT_EQ(pos.state_top->white_h_rook_moves, 0);
  EXPECT_NE(pos.state_top->white_a_rook_moves, 0);
  EXPECT_EQ(pos.black_castled, 0);
  EXPECT_NE(pos.state_top->black_h_rook_moves, 0);
  EXPECT_EQ(pos.state_top->black_a_rook_moves, 0);

  ASSERT_EQ(load(std::string(START) + " w Q -"), 1);
  EXPECT_EQ(pos.white_castled, 0);
  EXPECT_NE(pos.state_top->white_h_rook_moves, 0);
  EXPECT_EQ(pos.state_top->white_a_rook_moves, 0);
  EXPECT_NE(pos.black_castled, 0);
}

TEST(EpdLoad, LettersBeforeTheFirstOperationCount) {
  // The id operation placed first is not an operation to the reader: its
  // capital K opens White's kingside.
  ASSERT_EQ(load("4k3/8/8/8/8/8/8/4K2R w - - id \"Kx\"; bm Rh8;"), 1);
  EXPECT_EQ(pos.white_castled, 0);
}

TEST(EpdLoad, OperationsAreReadAndDropped) {
  ASSERT_EQ(load("4k3/8/8/8/8/8/8/4K2R w - - bm Rh8+; id \"test 1\";"), 1);
  EXPECT_NE(pos.white_castled, 0);
  // An operation that is never closed is malformed.
  EXPECT_EQ(load("4k3/8/8/8/8/8/8/4K2R w - - bm Rh8"), 0);
}

TEST(EpdLoad, EnPassantSquaresAreNotOperations) {
  // A square on the a or b file must not be taken for an "am"/"bm" word.
  EXPECT_EQ(load("4k3/8/8/8/Pp6/8/8/4K3 b - a3 0 1"), 1);
  EXPECT_EQ(load("4k3/8/8/pP6/8/8/8/4K3 w - a6 0 1"), 1);
  EXPECT_EQ(load("4k3/8/8/1pP5/8/8/8/4K3 w - b6 0 1"), 1);
  EXPECT_EQ(load("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1"), 1);
  // The square itself is not taken over: no en passant state after a load.
  EXPECT_EQ(pos.ep_black_pawn, 0);
  EXPECT_EQ(pos.ep_white_pawn, 0);
}

TEST(EpdLoad, MalformedRecordsAreRefused) {
  EXPECT_EQ(load("4k3/8/8/8/8/8/8/4K3"), 0);                // no blank after the placement
  EXPECT_EQ(load("4k3/8/8/8/8/8/8/4X3 w - -"), 0);          // not a piece letter
  EXPECT_EQ(load("4k3/8/8/8/8/8/8/4K3/ w - -"), 0);         // a ninth rank
  EXPECT_EQ(load("4k3/8/8/8/8/8/8/4K4 w - -"), 0);          // nine squares on a rank
  EXPECT_EQ(load("4k3/8/8/8/8/8/8/KQRBNPPPP w - -"), 0);    // nine pieces on a rank
  EXPECT_EQ(load("9/8/8/8/8/8/8/8 w - -"), 0);              // a digit past the rank
  EXPECT_EQ(load("k7/8/8/8/8/8/8/7K/8/8/8/8/8/8/8/8 w"), 0); // far too many ranks
  std::remove("epd1.epd");
  EXPECT_EQ(load_epd_position(), 0);
}

TEST(EpdLoad, LoadedPositionIsRegisteredForRepetition) {
  ASSERT_EQ(load("4k3/8/8/8/8/8/8/4K3 b - -"), 1);
  KeyPair k = compute_position_key();
  KeyPair s = side_key(1, k.lo, k.hi);
  const RepEntry& e = search_path.repetition_table[s.lo & REPETITION_MASK];
  EXPECT_EQ(e.key_lo, s.lo);
  EXPECT_EQ(e.key_hi, s.hi);
  EXPECT_EQ(e.side, 1);
  EXPECT_EQ(e.game_count, 1);
  EXPECT_EQ(e.search_count, 0);
  // The side constants really changed the key.
  EXPECT_NE(s.lo, k.lo);
}

TEST(EpdCheck, PositionsTheEngineCannotPlay) {
  EXPECT_EQ(check_position_text("4k3/8/8/8/8/8/8/4K3 w - -"), nullptr);
  EXPECT_NE(check_position_text("4k3/8/8/8/8/8/8/4K3"), nullptr);
  EXPECT_NE(check_position_text("8/8/8/8/8/8/8/4K3 w - -"), nullptr);       // no black king
  EXPECT_NE(check_position_text("4k3/8/8/8/8/8/8/4KK2 w - -"), nullptr);    // two white kings
  EXPECT_NE(check_position_text("4k2P/8/8/8/8/8/8/4K3 w - -"), nullptr);    // pawn on the eighth
  EXPECT_NE(check_position_text("4k3/8/8/8/8/8/8/p3K3 w - -"), nullptr);    // pawn on the first
  EXPECT_NE(check_position_text("4k3/8/8/8/QQQQQQQQ/QQQQQQQQ/8/4K3 w - -"), nullptr);  // 17 white
  EXPECT_EQ(check_position_text("4k3/8/8/8/8/8/8/4KR2 b - -"), nullptr);
  EXPECT_NE(check_position_text("4k3/8/8/8/8/8/8/4K2r b - -"), nullptr);    // side not to move in check
}

TEST(EpdCheck, CheckingTextLeavesTheBoardAlone) {
  ASSERT_EQ(load(std::string(START) + " w KQkq -"), 1);
  check_position_text("4k3/8/8/8/8/8/8/4K3 w - -");
  check_position_text("4k3/8/8/8/8/8/8/4K3 junk");
  EXPECT_EQ(std::memcmp(pos.board, start_board, 64), 0);
}

}  // namespace
}  // namespace brevalt

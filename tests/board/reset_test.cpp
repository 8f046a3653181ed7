// The resets: what a new game clears and what a finished search keeps.
#include <gtest/gtest.h>

#include <cstring>

#include "board/position.h"
#include "board/reset.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/tables.h"

namespace brevalt {
namespace {

TEST(NewGame, LeavesTheBoardAndSetsGameDefaults) {
  start_new_game();
  uint8_t before[64];
  std::memcpy(before, pos.board, 64);
  game_clock.own_time = 5;
  game_clock.opponent_time = 6;
  game_clock.own_rating = 1500;
  control.engine_side = 1;
  pos.game_ply = 9;
  pos.white_castled = 1;
  pos.ep_black_pawn = 35;
  search_path.history_table[123] = 777;
  search_path.killer_table[3][5].from = 12;
  // A stored result for the position on the board, found before the reset.
  tt_store(0, 50, 5, BOUND_EXACT, 12, 28);
  ASSERT_EQ(tt_move(0).from, 12);
  const uint32_t key_lo = pos.hash_lo, key_hi = pos.hash_hi;
  new_game();
  EXPECT_EQ(std::memcmp(pos.board, before, 64), 0);
  EXPECT_EQ(game_clock.own_time, 2000);
  EXPECT_EQ(game_clock.opponent_time, 200);
  EXPECT_EQ(game_clock.own_rating, 2640);
  EXPECT_EQ(game_clock.opponent_rating, 2641);
  EXPECT_EQ(control.engine_side, -1);
  EXPECT_EQ(pos.game_ply, 0);
  EXPECT_EQ(pos.white_castled, 0);
  EXPECT_EQ(pos.ep_black_pawn, 0);
  EXPECT_EQ(search_path.history_table[123], 1);
  EXPECT_EQ(search_path.killer_table[3][5].from, NO_SQUARE);
  ASSERT_EQ(pos.hash_lo, key_lo);
  ASSERT_EQ(pos.hash_hi, key_hi);
  EXPECT_EQ(tt_move(0).from, NO_SQUARE) << "the tables must read as empty";
  EXPECT_EQ(pos.state_top, &pos.state_stack[0]);
}

TEST(ResetSearchState, KeepsGamePositionsAndForgetsSearchOnes) {
  new_game();
  RepEntry& game_pos = search_path.repetition_table[100];
  game_pos = RepEntry{0x1234, 0x5678, 1, 2, 1, {}};
  RepEntry& search_pos = search_path.repetition_table[200];
  search_pos = RepEntry{0x4321, 0x8765, 0, 0, 1, {}};
  pos.ply_stack[3].from = 12;
  pos.ply_stack[3].to = 28;
  pos.ply_stack[3].castle = 1;
  pos.ply_stack[3].captured_index = 4;
  pos.in_check[5] = 1;
  control.stop_search = 1;
  reset_search_state();
  EXPECT_EQ(game_pos.key_lo, 0x1234u);
  EXPECT_EQ(game_pos.game_count, 2);
  EXPECT_EQ(game_pos.search_count, 0);
  EXPECT_EQ(search_pos.key_lo, 0u);
  EXPECT_EQ(search_pos.key_hi, 0u);
  EXPECT_EQ(search_pos.search_count, 0);
  // The move fields of the ply records survive; the rest is cleared.
  EXPECT_EQ(pos.ply_stack[3].from, 12);
  EXPECT_EQ(pos.ply_stack[3].to, 28);
  EXPECT_EQ(pos.ply_stack[3].castle, 0);
  EXPECT_EQ(pos.ply_stack[3].captured_index, NO_INDEX);
  EXPECT_EQ(pos.in_check[5], 0);
  EXPECT_EQ(control.stop_search, 0);
  new_game();
  EXPECT_EQ(search_path.repetition_table[100].key_lo, 0u);
}

TEST(StartBoard, MaterialAndPieceListOrder) {
  start_new_game();
  ASSERT_EQ(build_piece_lists(), 1);
  EXPECT_EQ(pos.material, 0);
  EXPECT_EQ(pos.white_piece_count, 7);
  EXPECT_EQ(pos.black_piece_count, 7);
  // King first, then rooks, knights, bishops, the queen and the pawns.
  const int types[16] = {KING, ROOK, ROOK, KNIGHT, KNIGHT, BISHOP, BISHOP, QUEEN,
                         PAWN, PAWN, PAWN, PAWN, PAWN, PAWN, PAWN, PAWN};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(type_of(pos.white_pieces[i].code), types[i]) << i;
    EXPECT_EQ(pos.piece_index[pos.white_pieces[i].square], i);
  }
  EXPECT_EQ(pos.white_pieces[0].square, 4);
  EXPECT_EQ(pos.white_pieces[16].square, NO_SQUARE);
  EXPECT_EQ(position_fault(), nullptr);
}

TEST(SideKey, FlipsExactlyTheSideConstants) {
  KeyPair k = side_key(0, 0xAAAA5555u, 0x12345678u);
  EXPECT_EQ(k.lo, 0xAAAA5555u);
  EXPECT_EQ(k.hi, 0x12345678u);
  KeyPair b = side_key(1, 0xAAAA5555u, 0x12345678u);
  EXPECT_EQ(b.lo, 0xAAAA5555u ^ 0x01F34420u);
  EXPECT_EQ(b.hi, 0x12345678u ^ 0x382D7E52u);
  KeyPair back = side_key(8, b.lo, b.hi);
  EXPECT_EQ(back.lo, 0xAAAA5555u);
  EXPECT_EQ(back.hi, 0x12345678u);
  pos.game_ply = 3;
  KeyPair g = side_key(-1, 0, 0);
  EXPECT_EQ(g.lo, 0x01F34420u);
  pos.game_ply = 2;
  EXPECT_EQ(side_key(-1, 0, 0).lo, 0u);
  pos.game_ply = 0;
}

}  // namespace
}  // namespace brevalt

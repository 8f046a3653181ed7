// Game moves in process: what play_move does to the game board and the
// game record (castling, promotion, en passant, the fifty-move count),
// the draw claims it prints and keeps quiet about while pondering, and the
// predicted move of a ponder search taken back, and the game's repetition
// entries found from the game record, as the helper search threads are
// seeded with them.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include "board/position.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "frontend/undo.h"
#include "game/play.h"
#include "search/tables.h"
#include "support/engine_env.h"

namespace brevalt {
namespace {

int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

class GameMoves : public ::testing::Test {
 protected:
  void SetUp() override {
    start_new_game();
    control.force_mode = 1;
  }
  void TearDown() override {
    control.pondering = 0;
    control.force_mode = 0;
    control.move_request = 0;
    start_new_game();
  }

  static void position(const char* fen) { ASSERT_TRUE(testing::set_position(fen)) << fen; }

  // A move entered by the user in force mode, as the interpreter enters it:
  // the engine takes the side that is not to move. PlayMode::predicted_move
  // plays it as the predicted move of a ponder search. Returns what was
  // printed.
  static std::string play(const char* text, PlayMode mode = PlayMode::user_move, int* result = nullptr) {
    control.engine_side = (pos.game_ply & 1) ? 1 : -1;
    control.user_from = sq(text);
    control.user_to = sq(text + 2);
    control.promotion_letter = text[4] ? static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(text[4]))) : 0;
    ::testing::internal::CaptureStdout();
    const int r = play_move(mode);
    std::fflush(stdout);
    if (result) *result = r;
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(GameMoves, CastlingTakesTheRookAlong) {
  position("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  EXPECT_EQ(play("e1g1"), "");
  EXPECT_EQ(pos.board[sq("g1")], KING);
  EXPECT_EQ(pos.board[sq("f1")], ROOK);
  EXPECT_EQ(pos.board[sq("e1")], EMPTY);
  EXPECT_EQ(pos.board[sq("h1")], EMPTY);
  EXPECT_EQ(pos.board[sq("a1")], ROOK);
  EXPECT_EQ(pos.white_king_sq(), sq("g1"));
  EXPECT_NE(pos.white_castled, 0);
  EXPECT_EQ(game_record.game_moves[0].castle, 1);
  EXPECT_EQ(play("e8c8"), "");
  EXPECT_EQ(pos.board[sq("c8")], KING + BLACK);
  EXPECT_EQ(pos.board[sq("d8")], ROOK + BLACK);
  EXPECT_EQ(pos.board[sq("a8")], EMPTY);
  EXPECT_EQ(pos.board[sq("e8")], EMPTY);
  EXPECT_EQ(pos.board[sq("h8")], ROOK + BLACK);
  EXPECT_EQ(pos.game_ply, 2);
  // The king goes on from its new square.
  EXPECT_EQ(play("g1g2"), "");
  EXPECT_EQ(pos.board[sq("g2")], KING);
}

TEST_F(GameMoves, PromotionMakesTheNamedPieceOrAQueen) {
  struct Case {
    const char* fen;
    const char* move;
    uint8_t piece;
  };
  for (const Case& c : {Case{"8/4P3/8/8/8/8/8/k6K w - - 0 1", "e7e8", QUEEN},
                        Case{"8/4P3/8/8/8/8/8/k6K w - - 0 1", "e7e8n", KNIGHT},
                        Case{"8/4P3/8/8/8/8/8/k6K w - - 0 1", "e7e8r", ROOK},
                        Case{"3r4/4P3/8/8/8/8/8/k6K w - - 0 1", "e7d8b", BISHOP},
                        Case{"K7/8/8/8/8/8/4p3/7k b - - 0 1", "e2e1", QUEEN + BLACK},
                        Case{"K7/8/8/8/8/8/4p3/7k b - - 0 1", "e2e1n", KNIGHT + BLACK}}) {
    SCOPED_TRACE(std::string(c.fen) + " " + c.move);
    position(c.fen);
    EXPECT_EQ(play(c.move), "");
    EXPECT_EQ(pos.board[sq(c.move + 2)], c.piece);
    EXPECT_EQ(pos.board[sq(c.move)], EMPTY);
    EXPECT_EQ(game_record.game_moves[pos.game_ply - 1].promotion, c.piece);
  }
}

TEST_F(GameMoves, EnPassantTakesThePawnThatHasJustAdvanced) {
  position("rnbqkbnr/pppppppp/8/4P3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_EQ(play("d7d5"), "");
  EXPECT_EQ(pos.ep_black_pawn, sq("d5"));
  EXPECT_EQ(play("e5d6"), "");
  EXPECT_EQ(pos.board[sq("d6")], PAWN);
  EXPECT_EQ(pos.board[sq("d5")], EMPTY);
  EXPECT_EQ(pos.board[sq("e5")], EMPTY);
  EXPECT_EQ(game_record.game_moves[pos.game_ply - 1].ep_captured, sq("d5"));
  EXPECT_EQ(pos.ep_black_pawn, 0);
  // The chance lasts one move only.
  position("rnbqkbnr/pppppppp/8/4P3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  play("d7d5");
  play("g1f3");
  play("g8f6");
  int result = 1;
  EXPECT_EQ(play("e5d6", PlayMode::user_move, &result), "Illegal move: e5d6\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pos.board[sq("d5")], PAWN + BLACK);
}

TEST_F(GameMoves, FiftyMoveCountRestartsOnPawnMovesAndCaptures) {
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  play("g1f3");
  play("g8f6");
  EXPECT_EQ(pos.game_fifty_counter, 2);
  play("e2e4");
  EXPECT_EQ(pos.game_fifty_counter, 0);
  play("f6e4");  // captures
  EXPECT_EQ(pos.game_fifty_counter, 0);
  play("b1c3");
  play("b8c6");
  EXPECT_EQ(pos.game_fifty_counter, 2);
}

TEST_F(GameMoves, IllegalMoveChangesNothing) {
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  uint8_t before[64];
  std::memcpy(before, pos.board, sizeof(pos.board));
  int result = 1;
  EXPECT_EQ(play("e2e5", PlayMode::user_move, &result), "Illegal move: e2e5\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(std::memcmp(before, pos.board, sizeof(pos.board)), 0);
  EXPECT_EQ(pos.game_ply, 0);
  // Nor may the side not to move move.
  EXPECT_EQ(play("e7e5", PlayMode::user_move, &result), "Illegal move: e7e5\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pos.game_ply, 0);
}

// The knights out and back twice, and out again: the ninth half-move makes
// the position after the first one occur for the third time.
const char* const KNIGHT_DANCE[] = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"};

TEST_F(GameMoves, RepetitionClaimIsHeldBackWhilePondering) {
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  for (const char* m : KNIGHT_DANCE) play(m);
  EXPECT_EQ(play("g1f3"), "1/2-1/2 {Draw by repetition}\n");
  // The same move as the predicted move of a ponder search: not played yet,
  // so no claim.
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  for (const char* m : KNIGHT_DANCE) play(m);
  control.pondering = 1;
  EXPECT_EQ(play("g1f3", PlayMode::predicted_move), "");
  EXPECT_EQ(pos.board[sq("f3")], KNIGHT);
}

TEST_F(GameMoves, FiftyMoveClaimIsHeldBackWhilePondering) {
  position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  pos.game_fifty_counter = 99;
  EXPECT_EQ(play("a1a2"), "1/2-1/2 {Draw by 50-move rule}\n");
  position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  pos.game_fifty_counter = 98;
  EXPECT_EQ(play("a1a2"), "");
  position("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  pos.game_fifty_counter = 99;
  control.pondering = 1;
  EXPECT_EQ(play("a1a2", PlayMode::predicted_move), "");
}

TEST_F(GameMoves, PonderMoveIsTakenBackWithItsRepetitionCount) {
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  control.force_mode = 0;
  control.engine_side = -1;  // the engine has Black and waits for White's move
  uint8_t before[64];
  std::memcpy(before, pos.board, sizeof(pos.board));
  start_pondering(sq("e2"), sq("e4"));
  ASSERT_EQ(control.pondering, 1);
  EXPECT_EQ(pos.board[sq("e4")], PAWN);
  EXPECT_EQ(pos.game_ply, 1);
  const KeyPair k = side_key(1, compute_position_key().lo, compute_position_key().hi);
  RepEntry& e = search_path.repetition_table[k.lo & REPETITION_MASK];
  EXPECT_EQ(e.key_lo, k.lo);
  EXPECT_EQ(e.game_count, 1);
  restore_game_state();
  forget_ponder_key();
  control.pondering = 0;
  EXPECT_EQ(std::memcmp(before, pos.board, sizeof(pos.board)), 0);
  EXPECT_EQ(pos.game_ply, 0);
  EXPECT_EQ(pos.ep_white_pawn, 0);
  EXPECT_EQ(e.key_lo, 0u);
  EXPECT_EQ(e.game_count, 0);
  // A predicted move that is not legal starts no pondering.
  start_pondering(sq("e2"), sq("e5"));
  EXPECT_EQ(control.pondering, 0);
  EXPECT_EQ(pos.game_ply, 0);
}

// The helper search threads are seeded with the game's repetition entries
// only, found through the positions of the game record. Between searches
// the table must hold no entry they miss: after repeated positions, a
// take-back, a set-up position with moves after it and a predicted move on
// the board, the slots found are exactly the table's non-empty ones.
TEST_F(GameMoves, GameRecordFindsEveryRepetitionEntryOfTheGame) {
  const auto expect_found_is_table = [](const char* when, bool empty = false) {
    std::set<int32_t> in_table;
    for (int32_t i = 0; i < REPETITION_ENTRIES; ++i) {
      const RepEntry& e = search_path.repetition_table[i];
      if (e.key_lo != 0 || e.key_hi != 0) in_table.insert(i);
    }
    static int32_t slots[GAME_MOVES_SIZE + 1];
    const int n = game_repetition_slots(slots, GAME_MOVES_SIZE + 1);
    ASSERT_GE(n, 0) << when;
    EXPECT_EQ(std::set<int32_t>(slots, slots + n), in_table) << when;
    EXPECT_EQ(in_table.empty(), empty) << when;
  };
  position("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  // The loader of the tests registers nothing: an empty game.
  expect_found_is_table("the start position", true);
  for (const char* m : KNIGHT_DANCE) play(m);
  for (const char* m : {"e2e4", "e7e5"}) play(m);
  expect_found_is_table("after repeated positions");
  undo_last_move();
  undo_last_move();
  undo_last_move();
  expect_found_is_table("after three take-backs");
  position("4k3/8/8/8/8/8/8/R3K3 b - - 10 40");
  for (const char* m : {"e8d7", "a1a2", "d7e7", "a2a1"}) play(m);
  expect_found_is_table("after a set-up position and moves");
  control.force_mode = 0;
  control.engine_side = 1;
  start_pondering(sq("e7"), sq("d7"));
  ASSERT_EQ(control.pondering, 1);
  expect_found_is_table("with the predicted move on the board");
  restore_game_state();
  forget_ponder_key();
  control.pondering = 0;
  expect_found_is_table("after the predicted move is taken back");
}

}  // namespace
}  // namespace brevalt

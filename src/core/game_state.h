// The game as game management keeps it, where the root driver reads it
// too: the record of the moves played, the game's own fifty-move counter
// and en passant squares, resignation, and the bookkeeping of the search
// on the opponent's time: one record, game_record, with the records it is
// made of. Game management (game) sets it; the new-game reset clears it.
#pragma once

#include <cstdint>

#include "core/board_state.h"

namespace brevalt {

// One half-move of the game, as undo needs it.
// An empty record (no move) has NO_SQUARE for from and to.
struct GameMoveRecord {
  uint8_t from = NO_SQUARE;
  uint8_t to = NO_SQUARE;
  uint8_t moved;
  uint8_t captured;
  uint8_t double_step;     // square of a pawn that has just advanced two squares
  uint8_t ep_captured;     // square of a pawn captured en passant
  uint8_t castle;          // 1 when the move castles
  uint8_t promotion;       // promotion piece code
  uint8_t king_moved;
  uint8_t kingside_rook;   // castles short, or the h-rook leaves its corner
  uint8_t queenside_rook;  // castles long, or the a-rook leaves its corner
  uint8_t corner_capture;  // captures a rook on its corner: 1 kingside, 2 queenside
};
static_assert(sizeof(GameMoveRecord) == 12);

constexpr int GAME_MOVES_SIZE = 599;

// Every position of the game since the start or the set-up, with the
// rights that decide whether two occurrences are the same position.
struct GamePosition {
  uint32_t key_lo, key_hi;  // placement and side to move
  uint8_t castling;         // bits: White short, White long, Black short, Black long
  uint8_t ep_square;        // the pawn that has just double-stepped, 0 for none
  // The castled words (1 White, 2 Black) as they stood when the game's
  // next move was made from here: the root driver may set them on its own,
  // so a take-back cannot work them out from the move alone.
  uint8_t castled_words;
};

// What a ponder search must put back: the game state before the
// predicted move.
struct PonderBackup {
  GamePoint before;
  StateRecord state;
  // The board after the predicted move.
  uint8_t board_after[64];
};

// The game as game management keeps it: the moves played, the game's own
// fifty-move counter and en passant squares, resignation, and the
// bookkeeping of pondering. Written by game management (playing a move,
// pondering), the root driver (the prediction it drops), the front end
// (undo, set-up positions, the interpreter's move handling) and the
// new-game reset; read by the same and by the output lines.
struct GameRecord {
  GameMoveRecord game_moves[GAME_MOVES_SIZE]{};
  int16_t game_ep_black_pawn{};
  int16_t game_ep_white_pawn{};
  // Consecutive engine moves that met the resignation condition.
  int32_t resign_count{};
  // Pondering bookkeeping.
  uint8_t predicted_from = NO_SQUARE, predicted_to = NO_SQUARE; // the opponent move pondered on
  uint8_t ponder_hit{};
  uint8_t pending_user_from{}, pending_user_to{}; // the move that ended a ponder search
  uint8_t user_move_pending{};
  uint8_t reply_ready{}; // a finished ponder search left its answer
  uint8_t reply_from{}, reply_to{};
  uint8_t next_prediction_from = NO_SQUARE, next_prediction_to = NO_SQUARE; // 65 when none
  uint8_t expected_from{}, expected_to{}; // the reply expected without pondering
  PonderBackup ponder_backup{};
  // The predicted move stands on the board, played there for a ponder search
  // and not (yet) by the opponent: set when pondering starts, cleared when the
  // move is taken back and when a ponder hit makes it the game's move.
  uint8_t prediction_on_board{};
  // The engine resigned this game: its last move was never shown, and no
  // further result line belongs to the game. Cleared by a new game and "go".
  uint8_t game_resigned{};
  // Every position of the game since the start or the set-up, for the
  // repetition claims and take-backs.
  GamePosition game_positions[GAME_MOVES_SIZE + 1]{};
  // The position after the predicted move, rights included, its key, and
  // the position a stored reply was searched for.
  KeyPair ponder_key{};
  GamePosition ponder_position{};
  GamePosition reply_position{};
  // The position that the last search's score (control.last_score) is a
  // score of: the one its move led to, on the game board. A draw offer is
  // judged on that score only while this position stands on the board.
  GamePosition scored_position{};
  uint8_t scored_position_known{};
  // The reply the engine expects to its last move (the second move of the
  // line it chose), for "hint", and the position it is a reply in: it is
  // offered only while that position stands on the board.
  uint8_t hint_from{}, hint_to{}, hint_piece{};
  uint8_t hint_known{};
  GamePosition hint_position{};
};

extern GameRecord game_record;

}  // namespace brevalt

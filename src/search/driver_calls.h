// The calls the root driver makes upwards, into game management: playing
// the chosen move on the game board, the pondering bookkeeping, the
// opening book and the output lines. They are declared here, in the
// search layer that needs them, and defined in src/game.
#pragma once

#include <cstdint>
#include <cstdio>

namespace brevalt {

// The move play_move makes on the game board: the engine's own move (a
// stored ponder reply, or the first root move), the user's move in
// user_from / user_to / promotion_letter, or the predicted opponent move
// a ponder search starts from (also in user_from / user_to).
enum class PlayMode : int { engine_move = 0, user_move = 1, predicted_move = 2 };
// Plays a move on the game board. Returns 0 after an illegal user move.
int play_move(PlayMode mode);
// Take back the predicted move of a ponder search: the game state saved
// before it, and its count in the repetition table.
void restore_game_state();
void forget_ponder_key();
// The ponder search finished on its own: keep its answer (and the move to
// ponder on after it) for the moment the predicted move is played.
void store_ponder_reply(int from, int to, int next_from, int next_to);
// Forgets the stored reply and the expected opponent move.
void clear_ponder_reply();
// The user move that ended a ponder search, if one did: it is copied into
// user_from / user_to and the flag is cleared. False when none arrived.
bool take_pending_user_move();

// Statistics of one book position: wins of each colour and draws.
struct BookStats {
  int32_t white_wins, black_wins, draws;
};
// Looks up the position on the board with `side` (0 / 8) to move; false
// when the book does not hold it.
bool book_probe(int side, BookStats* stats);

// The lines thinking_output writes: the move line ("move e2e4"), the
// kibitz line relayed to a chess server ("tellics ..."), the thinking line
// of the running iteration, and the principal variation appended to the
// kibitz line being composed.
enum class Output : int { move_line = 0, kibitz_relay = 1, thinking_line = 2, kibitz_variation = 4 };
void thinking_output(Output what);
// UCI: the first `count` lines of root_lines, one info line each with its
// "multipv" number; and the root move being searched ("currmove").
void uci_lines_output(int count);
void uci_current_move_output(int from, int to, int number);
// CECP analysis with several lines: the first `count` lines of root_lines,
// one thinking line each, best first, all of the iteration just ended.
void cecp_lines_output(int count);
// The per-iteration line of a test run.
void iteration_report(int32_t score);
// Line builders over a text buffer ('~' stands for a line end).
void start_line(const char* text, char* buffer);
void append_line(const char* text, char* buffer);
int text_length(const char* text);

// The buffer shared by the last move's text and the kibitz line.
constexpr int LINE_TEXT_SIZE = 1024;
constexpr int OUTPUT_LINE_SIZE = LINE_TEXT_SIZE + 16;
constexpr int THINKING_LINE_SIZE = 1024;

// The text buffers of the output lines and a test run's statistics. Written
// by game management and the output routines (the lines, the statistics)
// by the root driver as it composes its comment line, and by the test
// runner (its statistics file); read by the same as they print. Only the game loop's thread touches them.
struct OutputState {
  char line_text[LINE_TEXT_SIZE]{};
  char output_line[OUTPUT_LINE_SIZE]{};
  char thinking_line[THINKING_LINE_SIZE]{};
  // Test statistics of the current position (written by iteration_report).
  int64_t position_nodes{};
  int32_t position_ticks{}, branching_sum{};
  char first_pv_move[8]{};
  // The test run's statistics file, or null outside a test run.
  std::FILE* test_stats_file{};
};

extern OutputState output_state;

}  // namespace brevalt

// The root driver: one complete decision per call by iterative deepening,
// and the legality check of moves entered by the opponent.
#pragma once

#include <cstdint>

#include "core/search_state.h"

namespace brevalt {

// The root moves a UCI "go searchmoves" allows; with count 0 every legal
// move is searched. Moves that are not legal in the position are left out,
// and a list that leaves none allows them all.
struct RootRestriction {
  int16_t count;
  uint8_t from[MOVE_ROW];
  uint8_t to[MOVE_ROW];
};

// The position the interface shows, with its legal moves, for questions
// about it that arrive while a search owns the board ("bk"): the search's
// board stands inside its tree then, and a ponder search has the predicted
// move on it. Taken when no search owns the board, at the start of every
// search that is not a ponder search (before any root restriction), when
// pondering starts (the position before the predicted move) and on a ponder
// hit (the position after it).
struct InterfacePosition {
  uint8_t board[64];
  uint8_t side;  // 0 White, 8 Black to move
  int16_t count;
  PvEntry moves[MOVE_ROW];
};

// The decision of the last search in a UCI session, where the front end
// announces the move itself instead of playing it on the game board. The
// ponder move is the reply the chosen line expects.
struct SearchResult {
  uint8_t has_move;
  PvEntry move;
  uint8_t has_ponder;
  PvEntry ponder;
};

// Several best lines at the root: UCI's "MultiPV", and the levels, which
// choose among the best few. With more than one line wanted, every root
// move is searched with the window open down to the score of the last
// line kept, so each of the best moves gets an exact score and its own
// variation; with one line the search is the plain one, node for node.
constexpr int MAX_ROOT_LINES = 64;
// One line: its score (engine's view) and variation from the root move on.
struct RootLine {
  int32_t score;
  int16_t length;
  PvEntry moves[MAX_PLY];
};

// Makes one decision for the side (0 or 8; -1 is Black) and plays it.
void think(int side);
// A helper search thread's deepening over the root moves it copied from
// the main thread (search/threads.h), until the main thread stops it;
// helper counts from 1.
struct HelperTask;
void helper_deepen(int helper, const HelperTask& task);
// What search_root_move does with a root move: search the position after
// it, or, in the book's single pass, only make it so that the book can be
// asked about the position it leads to.
enum class RootMove : int { search = 0, book_probe = 1 };

// Applies the root move and searches the position after it (or only
// applies it, for a book probe).
int32_t search_root_move(int32_t beta, int32_t alpha, int from, int to, RootMove what);
// A book move the engine plays: the position after it was won at least
// four times by the engine's side, and wins plus draws, times 4, are not
// below the opponent's wins times 7.
bool book_move_acceptable(int32_t own_wins, int32_t opponent_wins, int32_t draws);
// 1 when the opponent's move from->to of `piece` is legal in the game position.
int move_is_legal(int from, int to, int piece);
// 1 when from->to is a legal move of the side to move in the game position
// (by game_ply), whoever plays it.
int side_to_move_can_play(int from, int to);
// The number of legal moves of the side to move in the game position.
int legal_move_count();
// Notes the game position and its legal moves as the position the
// interface shows; only when no search owns the board.
void note_interface_position();
// Notes the legal moves that the last legality check listed (move_is_legal,
// side_to_move_can_play), with the board and side to move they were listed
// on, as the position the interface shows.
void note_listed_moves_as_interface_position();
// Notes the root moves of the running search with the board given, as the
// position the interface shows (a ponder hit: the search's root is now the
// game position).
void note_root_moves_as_interface_position(const uint8_t board[64], int side);

// A book move accepted at the root, with its weight and the game results
// the book holds for it.
struct BookCandidate {
  int32_t from, to, weight, own_wins, opponent_wins, draws, value;
};

// What every search starts afresh at the root: the fail-low state and the
// request to stop after the root move in hand.
struct RootStops {
  // Root fail-low state: the first root move fell well below the previous
  // iteration's score, and the deepening stepped back to look again.
  int32_t fail_low_active{}, fail_low_score{}, fail_low_from{}, fail_low_to{}, fail_low_depth{};
  // Set by time management: finish the root move in hand, then stop.
  int32_t stop_at_root_move{};
};

// What the root driver keeps about the search of the root position: the
// depth, the best score and the lines found, the fail-low state, the
// book state of the game, and what the result of a search was. Written by
// the root driver (think) and time management, by the book probe (its
// book state), the test runner, and, for the limits an interface sets
// (depth, lines, searchmoves), by the front end and the resets; read by
// the output lines, game management and the front end.
struct SearchRoot : RootStops {
  // Iteration limit (40 after a new game).
  int16_t max_depth = 40;
  // Best score of the running iteration so far; at the start of an
  // iteration the previous iteration's result. Engine's view.
  int32_t root_best_score{};
  // root_best_score holds a searched score of this search's root (a root
  // move's search has completed): until then it holds nothing of this
  // position, and a draw offer is not judged on it.
  uint8_t root_score_known{};
  // The depth of the running iteration is the search path's
  // (iteration_depth): each search thread deepens on its own.
  // Root moves started in the running iteration.
  int16_t root_moves_searched{};
  // Times a new move became best at iteration 6 or deeper, per iteration.
  int16_t best_move_changes{};
  // The game may still be played from the opening book.
  int16_t in_book{};
  int16_t last_book_ply{};
  // The deepening was stopped by a single legal reply after iteration 2.
  int16_t single_reply_stop{};
  // Tick at which the running ponder search started.
  int32_t ponder_start{};
  // The score the next thinking line reports.
  int32_t reported_score{};
  // Set from the start of think to its end: the board belongs to the search.
  int16_t search_running{};
  RootRestriction root_restriction{};
  // The root moves an analysis leaves out (CECP "exclude"); empty outside
  // an analysis. Unlike a restriction, it may leave no move at all: the
  // search then has nothing to search, as in a position without moves.
  RootRestriction root_exclusion{};
  InterfacePosition interface_position{};
  SearchResult search_result{};
  // The lines the root searches with exact scores, and the lines a UCI
  // interface is shown (at most as many as searched). Written by the front
  // end and the levels between searches; read by the root driver.
  int16_t root_lines_wanted = 1;
  int16_t root_lines_shown = 1;
  // The best lines of the running iteration, best first, and those of the
  // last iteration that searched every root move. Written by the root
  // driver; read by the output lines and the levels.
  RootLine root_lines[MAX_ROOT_LINES]{};
  int16_t root_line_count{};
  RootLine finished_lines[MAX_ROOT_LINES]{};
  int16_t finished_line_count{};
  // Set by the UCI front end while it searches the replies to moves the
  // search itself never makes (under-promotions named by "searchmoves"):
  // those searches print no lines of their own.
  uint8_t thinking_lines_held{};
  // The board the running search started from, as the interface sees it.
  uint8_t search_root_board[64]{};
  // The book moves accepted for the root position, for the choice among them.
  BookCandidate book_candidates[MOVE_ROW]{};
};

extern SearchRoot search_root;

}  // namespace brevalt

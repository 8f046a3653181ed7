// Replaying a game on the engine's own board: SAN move texts resolved
// against the engine's legal-move list, each move made with the search's
// make routine, and the book key of every position reached. The game
// position is kept as the search root (ply 0) after every move, so a game
// of any length fits the engine's fixed per-ply tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/position.h"
#include "core/types.h"

namespace brevalt::tools {

// A move as the replay plays it. `promotion` is the piece code a pawn
// becomes (a queen, rook, bishop or knight of its colour), 0 for no promotion.
struct GameMove {
  uint8_t from = 0;
  uint8_t to = 0;
  uint8_t promotion = 0;
};

// A SAN move taken apart; -1 (or 0 for promotion) where the text names nothing.
struct SanMove {
  int piece = PAWN;     // the moving piece's type
  int castle = 0;       // 1 king's side, 2 queen's side
  int from_file = -1;   // disambiguation, or the capturing pawn's file
  int from_rank = -1;
  int to = -1;          // destination square
  int promotion = 0;    // the type a pawn promotes to
};

// How a move text fared against the legal moves.
enum class MoveMatch { ok, unparsable, illegal, ambiguous };

// Reads SAN as games are written: "Nbd7", "exd5", "e8=Q", "e8Q", "e8=q",
// "O-O", "0-0-0", captures with 'x' or ':', a '-' between the squares of a
// long-algebraic move. False for text that names no move.
bool parse_san(const std::string& text, SanMove* move);

// Coordinate form of a move: e2e4, castling as the king's move (e1g1), a
// promotion with its piece's letter (e7e8q).
std::string coordinate_text(const GameMove& move);

// The one game position on the engine's board.
class Replay {
 public:
  // The start position, White to move.
  void start();
  // A position from FEN text; false, with the reason, for text the engine
  // cannot play from.
  bool start_fen(const std::string& fen, std::string* reason);
  // Side to move (0 White, 8 Black) and the plies played since the start.
  int side() const { return side_; }
  int plies() const { return plies_; }

  // The engine's legal moves of the side to move. A promotion appears
  // once, as the queen promotion, as the engine's own move list has it.
  const std::vector<GameMove>& legal_moves();
  // Finds the legal move that the SAN text names.
  MoveMatch find(const std::string& san, GameMove* move);
  // Plays a move found by find() or listed by legal_moves().
  void play(const GameMove& move);
  // The book key of the position with its side to move.
  uint64_t key() const;

  // The whole game position, to come back to after trying moves.
  struct Saved {
    uint8_t board[64];
    StateRecord state;  // the castling counters: king and rook moves
    int16_t white_castled, black_castled, ep_white_pawn, ep_black_pawn;
    int side, plies;
  };
  Saved save() const;
  void restore(const Saved& saved);

 private:
  // Makes the current board the search root: lists and keys rebuilt, the
  // side to move's check state where the legality tests read it.
  void make_root();

  int side_ = 0;
  int plies_ = 0;
  std::vector<GameMove> legal_;
  bool legal_ready_ = false;
};

}  // namespace brevalt::tools

// Game replay on the engine's board. Every move goes through the same
// legality tests and the same make routine as the engine's own moves, so
// the keys written to the book are the keys the engine will look up.
#include "book/replay.h"

#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/legal.h"
#include "board/makemove.h"
#include "frontend/epd.h"
#include "frontend/mainloop.h"
#include "game/book.h"
#include "search/search.h"

namespace brevalt::tools {

namespace {

// The initial position; the strict FEN reader sets up its castling state.
constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// The search ply at which a game move is made before it becomes the root.
constexpr int MOVE_PLY = 1;

// SAN piece letters by type (index 1 king .. 5 knight); lower case only
// after a promotion sign, where it cannot be a file.
int piece_type_of(char c, bool allow_lower) {
  switch (c) {
    case 'K': return KING;
    case 'Q': return QUEEN;
    case 'R': return ROOK;
    case 'B': return BISHOP;
    case 'N': return KNIGHT;
    default: break;
  }
  if (!allow_lower) return 0;
  switch (c) {
    case 'q': return QUEEN;
    case 'r': return ROOK;
    case 'b': return BISHOP;
    case 'n': return KNIGHT;
    default: return 0;
  }
}

bool is_file(char c) { return c >= 'a' && c <= 'h'; }
bool is_rank(char c) { return c >= '1' && c <= '8'; }

// "O-O" and "O-O-O" with letter O, digit zero or lower-case o.
int castle_kind(const std::string& t) {
  std::string u;
  for (char c : t) u += (c == '0' || c == 'o') ? 'O' : c;
  if (u == "O-O") return 1;
  if (u == "O-O-O") return 2;
  return 0;
}

// The start position's game state, taken once from the FEN reader and
// restored for every game: cheaper than the engine's full new-game reset.
bool start_saved = false;
Replay::Saved start_state;

}  // namespace

bool parse_san(const std::string& text, SanMove* move) {
  *move = SanMove{};
  if (int kind = castle_kind(text)) {
    move->piece = KING;
    move->castle = kind;
    return true;
  }
  // Capture signs and the dash of long algebraic say nothing the squares
  // do not say.
  char t[16];
  size_t n = 0;
  for (char c : text) {
    if (c == 'x' || c == ':' || c == '-') continue;
    if (n == sizeof t - 1) return false;
    t[n++] = c;
  }
  t[n] = '\0';
  size_t i = 0;
  if (n > 0 && (move->piece = piece_type_of(t[0], false)) != 0) ++i;
  else move->piece = PAWN;

  // From the end: an optional promotion, then the destination square.
  if (n > i && !is_rank(t[n - 1])) {
    const int promoted = piece_type_of(t[n - 1], true);
    if (promoted == 0 || move->piece != PAWN) return false;
    move->promotion = promoted;
    --n;
    if (n > i && t[n - 1] == '=') --n;
  }
  if (n < i + 2 || !is_file(t[n - 2]) || !is_rank(t[n - 1])) return false;
  move->to = (t[n - 1] - '1') * 8 + (t[n - 2] - 'a');
  n -= 2;

  // What is left between piece and destination: file, rank, or both.
  if (n > i && is_file(t[i])) move->from_file = t[i++] - 'a';
  if (n > i && is_rank(t[i])) move->from_rank = t[i++] - '1';
  return i == n;
}

std::string coordinate_text(const GameMove& move) {
  std::string s{static_cast<char>('a' + file_of(move.from)), static_cast<char>('1' + rank_of(move.from)),
                static_cast<char>('a' + file_of(move.to)), static_cast<char>('1' + rank_of(move.to))};
  if (move.promotion) s += "kqrbnp"[type_of(move.promotion) - 1];
  return s;
}

void Replay::make_root() {
  pos.ply = 0;
  pos.ply_sign = -1;
  pos.state_top = &pos.state_stack[0];
  pos.lists_frozen = 0;
  control.stop_search = 0;
  control.thinking = 0;
  build_piece_lists();
  // The legality tests of the root read the side to move's check state
  // from row 1, as the root driver leaves it.
  const int32_t record[3] = {side_ >> 3, pos.king_square(side_), END_OF_LIST};
  pos.in_check[MOVE_PLY] = 0;
  pos.checker_square[MOVE_PLY] = 0;
  if (square_attacked(record)) {
    pos.in_check[MOVE_PLY] = 1;
    find_checkers(record);
  }
  legal_ready_ = false;
}

Replay::Saved Replay::save() const {
  Saved s{};
  std::memcpy(s.board, pos.board, sizeof s.board);
  s.state = pos.state_stack[0];
  s.white_castled = pos.white_castled;
  s.black_castled = pos.black_castled;
  s.ep_white_pawn = pos.ep_white_pawn;
  s.ep_black_pawn = pos.ep_black_pawn;
  s.side = side_;
  s.plies = plies_;
  return s;
}

void Replay::restore(const Saved& s) {
  std::memcpy(pos.board, s.board, sizeof pos.board);
  sync_piece_sets();
  pos.state_stack[0] = s.state;
  pos.white_castled = s.white_castled;
  pos.black_castled = s.black_castled;
  pos.ep_white_pawn = s.ep_white_pawn;
  pos.ep_black_pawn = s.ep_black_pawn;
  side_ = s.side;
  plies_ = s.plies;
  make_root();
}

void Replay::start() {
  if (!start_saved) {
    setup_fen(START_FEN);
    side_ = 0;
    plies_ = 0;
    start_state = save();
    start_saved = true;
  }
  restore(start_state);
}

bool Replay::start_fen(const std::string& fen, std::string* reason) {
  // The engine's own position check (one king each, no pawn on the back
  // ranks, at most 16 men a side, the side not to move not in check), then
  // the strict reader, which also takes the en passant square.
  if (const char* why = check_position_text(fen.c_str())) {
    *reason = why;
    return false;
  }
  if (!setup_fen(fen.c_str())) {
    *reason = "malformed";
    return false;
  }
  side_ = (pos.game_ply & 1) ? BLACK : 0;
  plies_ = 0;
  make_root();
  return true;
}

const std::vector<GameMove>& Replay::legal_moves() {
  if (legal_ready_) return legal_;
  search_path.legal_count = 0;
  pos.lists_frozen = 1;
  generate_legal_moves(side_);
  pos.lists_frozen = 0;
  legal_.clear();
  for (int i = 0; i < search_path.legal_count; ++i) {
    GameMove m;
    m.from = brevalt::search_path.legal_moves[i].from;
    m.to = brevalt::search_path.legal_moves[i].to;
    // The legal list records the queen already standing on `to`.
    if (type_of(pos.board[m.from]) == PAWN && (rank_of(m.to) == 0 || rank_of(m.to) == 7))
      m.promotion = static_cast<uint8_t>(QUEEN | side_);
    legal_.push_back(m);
  }
  legal_ready_ = true;
  return legal_;
}

MoveMatch Replay::find(const std::string& san, GameMove* move) {
  SanMove s;
  if (!parse_san(san, &s)) return MoveMatch::unparsable;
  int matches = 0;
  for (const GameMove& m : legal_moves()) {
    const int type = type_of(pos.board[m.from]);
    if (type != s.piece) continue;
    if (s.castle) {
      const int files = file_of(m.to) - file_of(m.from);
      if (files != (s.castle == 1 ? 2 : -2)) continue;
    } else {
      if (m.to != s.to) continue;
      if (s.from_file >= 0 && file_of(m.from) != s.from_file) continue;
      if (s.from_rank >= 0 && rank_of(m.from) != s.from_rank) continue;
      // A pawn that names no file pushes straight ahead.
      if (type == PAWN && s.from_file < 0 && file_of(m.from) != file_of(m.to)) continue;
      // A promotion must name its piece, and nothing else may.
      if ((m.promotion != 0) != (s.promotion != 0)) continue;
    }
    *move = m;
    if (m.promotion) move->promotion = static_cast<uint8_t>(s.promotion | side_);
    ++matches;
  }
  if (matches == 0) return MoveMatch::illegal;
  return matches == 1 ? MoveMatch::ok : MoveMatch::ambiguous;
}

void Replay::play(const GameMove& m) {
  // Step 1. Push the move's ply as the search does: the castling counters
  // carry over, and the ply's record starts with no castling or promotion.
  pos.state_stack[MOVE_PLY] = pos.state_stack[0];
  pos.ply = MOVE_PLY;
  pos.ply_sign = 1;
  pos.state_top = &pos.state_stack[MOVE_PLY];
  PlyRecord& rec = pos.ply_stack[MOVE_PLY];
  rec.castle = rec.promo = rec.rook_to = 0;

  // Step 2. The search's own make: castling's rook, en passant's victim,
  // the double step's en passant chance, promotion to a queen.
  apply_search_move(m.from, m.to, MoveSource::generated);
  // The engine knows only queen promotions; another piece replaces the
  // queen here, and the rebuild below takes it into the key.
  if (m.promotion) set_square(m.to, m.promotion);

  // Step 3. The move is never taken back: clear what unmake_move would
  // have cleared, and make the new position the root. The ply's state
  // record carries the castling counters it changed; the en passant
  // squares and castled flags are globals and stay as the make left them.
  rec.castle = rec.promo = rec.rook_to = 0;
  pos.state_stack[0] = pos.state_stack[MOVE_PLY];
  side_ ^= BLACK;
  ++plies_;
  make_root();
}

uint64_t Replay::key() const { return book_key(side_); }

}  // namespace brevalt::tools

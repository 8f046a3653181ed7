// Reading positions in EPD/FEN form: the record reader shared by "setboard"
// and the test runners, the board set-up, and the registration of the
// loaded position for repetition detection.
#include "frontend/epd.h"

#include <cstring>

#include "board/position.h"
#include "board/attacks.h"
#include "board/reset.h"
#include "frontend/mainloop.h"
#include "game/play.h"
#include "search/root.h"
#include "search/tables.h"

namespace brevalt {

char epd_operation[EPD_OPERATION_SIZE];
char epd_rest[EPD_REST_SIZE];

namespace {

// Character source: a file, or a text in memory (for checking a position
// before anything on the board is touched).
struct Source {
  std::FILE* file = nullptr;
  const char* text = nullptr;
  int get() {
    if (file) return std::fgetc(file);
    if (!text || !*text) return EOF;
    return static_cast<unsigned char>(*text++);
  }
  void unget(int c) {
    if (c == EOF) return;
    if (file) std::ungetc(c, file);
    else --text;
  }
};

int code_of_letter(int c) {
  for (int i = 0; i < 12; ++i)
    if (piece_letters[i] == c) return piece_codes[i];
  return 0;
}

// Copies characters up to and including the next ';' into buf (cut, not
// overrun, when it is longer). False when the file ends first.
bool read_operation(Source& in, int first, char* buf, int size) {
  int n = 0;
  int c = first;
  for (;;) {
    if (buf && n < size - 1) buf[n++] = static_cast<char>(c);
    if (c == ';') break;
    c = in.get();
    if (c == EOF) {
      if (buf) buf[n] = '\0';
      return false;
    }
  }
  if (buf) buf[n] = '\0';
  return true;
}

}  // namespace

// The record as read, before it is put on the board.
struct ParsedRecord {
  uint8_t squares[64];
  bool black_to_move;
  int16_t white_castled, black_castled;
  int16_t white_h, white_a, black_h, black_a;  // rook counters: nonzero forbids that wing
};

static EpdRead parse_record(Source& in, EpdOperations ops, ParsedRecord& r) {
  std::memset(&r, 0, sizeof(r));
  const bool lenient = ops == EpdOperations::keep;

  // Step 1. Placement, from a8. A rank longer than eight squares or a ninth
  // rank is refused before anything lands outside the board.
  int rank_start = 56, offset = 0;
  int c;
  for (;;) {
    c = in.get();
    if (c == EOF) return EpdRead::end_of_file;
    if (c == ' ') break;
    if (int code = code_of_letter(c)) {
      if (offset > 7) return EpdRead::malformed;
      r.squares[rank_start + offset++] = static_cast<uint8_t>(code);
    } else if (c >= '0' && c <= '9') {
      offset += c - '0';
      if (offset > 8) return EpdRead::malformed;
    } else if (c == '/') {
      if (rank_start == 0) return EpdRead::malformed;
      rank_start -= 8;
      offset = 0;
    } else if (lenient && c < '0') {
      // The test suites' files carry stray control characters; skip them.
    } else {
      return EpdRead::malformed;
    }
  }

  // Step 2. Side to move: 'b' is Black, anything else White.
  c = in.get();
  r.black_to_move = c == 'b';

  // Step 3. Castling letters and operations up to the first ';'. Without a
  // letter a side may not castle; "K" or "Q" alone opens one wing.
  r.white_castled = r.black_castled = 1;
  for (;;) {
    c = in.get();
    if (c == EOF || c == ';' || c == 255) break;
    if (c == 'K') {
      r.white_castled = 0;
      r.white_a = 1;
    } else if (c == 'Q') {
      if (r.white_castled) {
        r.white_castled = 0;
        r.white_h = 1;
      } else {
        r.white_a = 0;
      }
    } else if (c == 'k') {
      r.black_castled = 0;
      r.black_a = 1;
    } else if (c == 'q') {
      if (r.black_castled) {
        r.black_castled = 0;
        r.black_h = 1;
      } else {
        r.black_a = 0;
      }
    } else if (c == 'a' || c == 'b') {
      // An en passant square on the a or b file ("a3", "b6") is a square,
      // not an operation: operations are words such as "bm" and "am".
      int next = in.get();
      if (next >= '1' && next <= '8') continue;
      in.unget(next);
      if (ops == EpdOperations::keep) {
        if (!read_operation(in, c, epd_operation, EPD_OPERATION_SIZE)) return EpdRead::malformed;
        // The rest of the line, up to and including its end.
        int n = 0;
        while ((c = in.get()) != EOF) {
          if (n < EPD_REST_SIZE - 1) epd_rest[n++] = static_cast<char>(c);
          if (c == '\n') break;
        }
        epd_rest[n] = '\0';
      } else {
        if (!read_operation(in, c, nullptr, 0)) return EpdRead::malformed;
        // One more operation (typically the id), up to its ';' or the end.
        while ((c = in.get()) != EOF && c != ';') {
        }
      }
      break;
    }
  }
  return EpdRead::ok;
}

// Puts a parsed record on the (cleared) board with a fresh game state.
static void apply_record(const ParsedRecord& r) {
  std::memcpy(board, r.squares, sizeof(board));
  if (r.black_to_move) {
    // The white move that was never played: undo stops here.
    game_ply = 1;
    engine_side = -1;
    game_moves[0].from = NO_SQUARE;
  } else {
    game_ply = 0;
    engine_side = 1;
  }
  state_top = &state_stack[0];
  white_castled = r.white_castled;
  black_castled = r.black_castled;
  state_top->white_h_rook_moves = r.white_h;
  state_top->white_a_rook_moves = r.white_a;
  state_top->black_h_rook_moves = r.black_h;
  state_top->black_a_rook_moves = r.black_a;
}

EpdRead read_epd_record(std::FILE* file, EpdOperations operations) {
  Source in;
  in.file = file;
  ParsedRecord r;
  EpdRead result = parse_record(in, operations, r);
  if (result == EpdRead::ok) apply_record(r);
  return result;
}

void clear_board() {
  std::memset(board, 0, sizeof(board));
  new_game();
}

void register_position() {
  KeyPair k = compute_position_key();
  k = side_key(game_ply & 1, k.lo, k.hi);
  if (!repetition_table) return;
  RepEntry& e = repetition_table[k.lo & REPETITION_MASK];
  e.key_lo = k.lo;
  e.key_hi = k.hi;
  e.side = static_cast<uint8_t>(game_ply & 1);
  e.game_count = 1;
  e.search_count = 0;
}

// What every successful load ends with.
static void finish_load() {
  // A set-up position is never played from the opening book.
  in_book = 0;
  register_position();
}

int load_epd_position() {
  std::FILE* f = std::fopen("epd1.epd", "r");
  if (!f) return 0;
  clear_board();
  EpdRead result = read_epd_record(f, EpdOperations::discard);
  std::fclose(f);
  if (result != EpdRead::ok) return 0;
  finish_load();
  return 1;
}

int load_epd_text(const char* text) {
  Source in;
  in.text = text;
  ParsedRecord r;
  if (parse_record(in, EpdOperations::discard, r) != EpdRead::ok) return 0;
  clear_board();
  apply_record(r);
  finish_load();
  return 1;
}

const char* check_position_text(const char* text) {
  Source in;
  in.text = text;
  ParsedRecord r;
  if (parse_record(in, EpdOperations::discard, r) != EpdRead::ok) return "malformed";

  // Only a position the engine can play: one king each, no pawn on its
  // first or last rank, at most 16 pieces a side (the piece lists' size).
  int kings[2] = {0, 0}, pieces[2] = {0, 0}, king_sq[2] = {0, 0};
  for (int sq = 0; sq < 64; ++sq) {
    int code = r.squares[sq];
    if (!code) continue;
    int side = colour_of(code) ? 1 : 0;
    ++pieces[side];
    if (type_of(code) == KING) {
      ++kings[side];
      king_sq[side] = sq;
    }
    if (type_of(code) == PAWN && (rank_of(sq) == 0 || rank_of(sq) == 7)) return "pawn on first or last rank";
  }
  if (kings[0] != 1 || kings[1] != 1) return "not one king per side";
  if (pieces[0] > 16 || pieces[1] > 16) return "too many pieces";

  // The side that has just moved may not stand in check. The question is
  // asked of the real board, which is put back at once.
  uint8_t saved[64];
  std::memcpy(saved, board, sizeof(board));
  std::memcpy(board, r.squares, sizeof(board));
  int mover = r.black_to_move ? 0 : 1;  // colour of the side not to move
  int32_t list[3] = {mover, king_sq[mover], 255};
  int attacked = square_attacked(list);
  std::memcpy(board, saved, sizeof(board));
  return attacked ? "side not to move in check" : nullptr;
}

}  // namespace brevalt

// Reading positions in EPD/FEN form: the record reader shared by "setboard"
// and the test runners, the board set-up, and the registration of the
// loaded position for repetition detection.
#include "frontend/epd.h"

#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/position.h"
#include "board/reset.h"
#include "frontend/mainloop.h"
#include "game/play.h"
#include "search/root.h"
#include "search/tables.h"

namespace brevalt {


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

// Reads past an operation, up to and including its ';'. False when the
// text ends first.
bool skip_operation(Source& in, int first) {
  for (int c = first; c != ';'; c = in.get())
    if (c == EOF) return false;
  return true;
}

// The test runners keep the operation, from its first letter up to and
// including its ';', in epd_operation (cut, never overrun, past 23
// characters), and the rest of its line, line end included, in epd_rest.
// They read a line at a time, so an operation whose ';' is missing ends
// with its line.
void keep_operation(Source& in, int first) {
  int n = 0;
  for (int c = first;; c = in.get()) {
    if (c == EOF || c == '\r' || c == '\n') {
      in.unget(c);
      break;
    }
    if (n < EPD_OPERATION_SIZE - 1) protocol.epd_operation[n++] = static_cast<char>(c);
    if (c == ';') break;
  }
  protocol.epd_operation[n] = '\0';

  // A rest that is cut still ends with a line end, as the statistics
  // file lays one record out per line.
  n = 0;
  bool cut = false;
  for (int c; (c = in.get()) != EOF;) {
    if (n < EPD_REST_SIZE - 1) protocol.epd_rest[n++] = static_cast<char>(c);
    else cut = true;
    if (c == '\n') break;
  }
  if (cut) protocol.epd_rest[n - 1] = '\n';
  protocol.epd_rest[n] = '\0';
}

// Longest suite line the runners read whole; the rest of a longer line is
// dropped (the position and its first operation come first).
constexpr int EPD_LINE_SIZE = 1024;

// Reads one line, line end included, into buf; the part of a longer line
// that does not fit is skipped and the kept part ends with a line end.
// False at the end of the file.
bool read_line(std::FILE* file, char* buf, int size) {
  int n = 0, c = EOF;
  bool any = false, cut = false;
  while ((c = std::fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (n < size - 2) buf[n++] = static_cast<char>(c);
    else cut = true;
  }
  if (c == '\n' || cut) buf[n++] = '\n';
  buf[n] = '\0';
  return any;
}

// A line with no record on it: blank, or a comment that opens with '#'.
bool no_record_on(const char* line) {
  while (*line == ' ' || *line == '\t') ++line;
  return *line == '#' || *line == '\r' || *line == '\n' || *line == '\0';
}

}  // namespace

// The record as read, before it is put on the board.
struct ParsedRecord {
  uint8_t squares[64];
  bool black_to_move;
  int16_t white_castled, black_castled;
  int16_t white_h, white_a, black_h, black_a;  // rook counters: nonzero forbids that wing
  uint8_t rook_sq[4];                          // the castling rooks' squares
  const char* rights_fault;                    // castling rights that name no rook, or nullptr
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
    if (c == ' ' || (lenient && c == '\t')) break;
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

  // Step 2. Side to move: 'b' is Black, anything else White. Suite files
  // may put more than one blank or a tab between the fields.
  c = in.get();
  while (lenient && (c == ' ' || c == '\t')) c = in.get();
  r.black_to_move = c == 'b';

  // Step 3. Castling letters and operations up to the first ';'. Without a
  // letter a side may not castle; "K" or "Q" alone opens one wing.
  r.white_castled = r.black_castled = 1;
  static constexpr uint8_t corners[4] = {H1, A1, H8, A8};
  std::memcpy(r.rook_sq, corners, sizeof(r.rook_sq));
  if (control.chess960) {
    // Fischer random chess: the castling field is one word, read by the
    // general rule (X-FEN and Shredder-FEN letters); the operations follow.
    c = in.get();
    while (c == ' ' || (lenient && c == '\t')) c = in.get();
    char field[16];
    int n = 0;
    while (c != EOF && c != ' ' && c != '\t' && c != ';' && c != '\n' && c != '\r' && c != 255) {
      if (n < 15) field[n++] = static_cast<char>(c);
      c = in.get();
    }
    CastlingField rights;
    r.rights_fault = read_castling_field(r.squares, field, n, rights);
    r.white_castled = rights.white_castled;
    r.black_castled = rights.black_castled;
    r.white_h = rights.white_h;
    r.white_a = rights.white_a;
    r.black_h = rights.black_h;
    r.black_a = rights.black_a;
    std::memcpy(r.rook_sq, rights.rook_sq, sizeof(r.rook_sq));
    if (c == ';' || c == EOF || c == 255) return EpdRead::ok;
  }
  for (;;) {
    c = in.get();
    if (c == EOF || c == ';' || c == 255) break;
    if (control.chess960 && (c == 'K' || c == 'Q' || c == 'k' || c == 'q')) continue;
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
        keep_operation(in, c);
      } else {
        if (!skip_operation(in, c)) return EpdRead::malformed;
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
  std::memcpy(pos.board, r.squares, sizeof(pos.board));
  sync_piece_sets();
  if (r.black_to_move) {
    // The white move that was never played: undo stops here.
    pos.game_ply = 1;
    control.engine_side = -1;
    game_record.game_moves[0].from = NO_SQUARE;
  } else {
    pos.game_ply = 0;
    control.engine_side = 1;
  }
  pos.state_top = &pos.state_stack[0];
  pos.white_castled = r.white_castled;
  pos.black_castled = r.black_castled;
  pos.state_top->white_h_rook_moves = r.white_h;
  pos.state_top->white_a_rook_moves = r.white_a;
  pos.state_top->black_h_rook_moves = r.black_h;
  pos.state_top->black_a_rook_moves = r.black_a;
  std::memcpy(pos.castle_rook_sq, r.rook_sq, sizeof(pos.castle_rook_sq));
}

// The rules "setboard" applies before it gives up the current position:
// nullptr when the engine can play the record, else the reason it cannot.
static const char* check_record(const ParsedRecord& r) {
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
  if (r.rights_fault) return r.rights_fault;
  if (pieces[0] > 16 || pieces[1] > 16) return "too many pieces";

  // The side that has just moved may not stand in check. The question is
  // asked of the real board, which is put back at once.
  uint8_t saved[64];
  std::memcpy(saved, pos.board, sizeof(pos.board));
  std::memcpy(pos.board, r.squares, sizeof(pos.board));
  sync_piece_sets();
  int mover = r.black_to_move ? 0 : 1;  // colour of the side not to move
  int32_t list[3] = {mover, king_sq[mover], 255};
  int attacked = square_attacked(list);
  std::memcpy(pos.board, saved, sizeof(pos.board));
  sync_piece_sets();
  return attacked ? "side not to move in check" : nullptr;
}


EpdRead read_epd_record(std::FILE* file, EpdOperations operations) {
  ParsedRecord r;
  if (operations == EpdOperations::discard) {
    Source in;
    in.file = file;
    EpdRead result = parse_record(in, operations, r);
    if (result == EpdRead::ok) apply_record(r);
    return result;
  }

  // The test runners read one record per line, skipping blank lines and
  // comments. A record must pass the same checks as a "setboard" position,
  // and only a sound record replaces the position on the board.
  char line[EPD_LINE_SIZE];
  do {
    if (!read_line(file, line, EPD_LINE_SIZE)) return EpdRead::end_of_file;
  } while (no_record_on(line));
  const char* text = line;
  while (*text == ' ' || *text == '\t') ++text;
  Source in;
  in.text = text;
  // A record without an operation must not be judged by the last one's.
  protocol.epd_operation[0] = protocol.epd_rest[0] = '\0';
  if (parse_record(in, operations, r) != EpdRead::ok || check_record(r) != nullptr) return EpdRead::malformed;
  clear_board();
  apply_record(r);
  return EpdRead::ok;
}

void clear_board(bool keep_tables) {
  std::memset(pos.board, 0, sizeof(pos.board));
  sync_piece_sets();
  if (keep_tables) new_game_keeping_tables();
  else new_game();
}

void register_position() {
  // The set-up position is the game's first: its repetition count and its
  // place in the game's list of positions, which confirms claims.
  register_start_position();
}

// What every successful load ends with.
static void finish_load() {
  // A set-up position is never played from the opening book.
  search_root.in_book = 0;
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

int load_epd_text(const char* text, bool keep_tables) {
  Source in;
  in.text = text;
  ParsedRecord r;
  if (parse_record(in, EpdOperations::discard, r) != EpdRead::ok) return 0;
  clear_board(keep_tables);
  apply_record(r);
  finish_load();
  return 1;
}

void apply_en_passant_field(const char* text) {
  // The fourth field of a FEN: placement, side, castling, en passant.
  const char* p = text;
  for (int field = 0; field < 3; ++field) {
    while (*p == ' ' || *p == '\t') ++p;
    while (*p && *p != ' ' && *p != '\t' && *p != '\n') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (p[0] < 'a' || p[0] > 'h' || p[1] < '1' || p[1] > '8') return;
  const int target = (p[0] - 'a') + 8 * (p[1] - '1');
  // The square a pawn just crossed with its double step: empty, with the
  // square it came from empty and the pawn of the side that just moved
  // in front of it. Anything else is no en passant chance at all.
  const bool black_to_move = (pos.game_ply & 1) != 0;
  if (black_to_move && rank_of(target) == 2 && pos.board[target] == EMPTY && pos.board[target - 8] == EMPTY &&
      pos.board[target + 8] == PAWN) {
    pos.ep_white_pawn = game_record.game_ep_white_pawn = static_cast<int16_t>(target + 8);
  } else if (!black_to_move && rank_of(target) == 5 && pos.board[target] == EMPTY && pos.board[target + 8] == EMPTY &&
             pos.board[target - 8] == PAWN + BLACK) {
    pos.ep_black_pawn = game_record.game_ep_black_pawn = static_cast<int16_t>(target - 8);
  } else {
    return;
  }
  // The chance is part of the position the game starts from.
  register_start_position();
}

const char* check_position_text(const char* text) {
  Source in;
  in.text = text;
  ParsedRecord r;
  if (parse_record(in, EpdOperations::discard, r) != EpdRead::ok) return "malformed";
  return check_record(r);
}

}  // namespace brevalt

// Output lines. Everything goes to standard output, which is unbuffered,
// so the interface sees each line as soon as it is printed. Every buffer
// is written with its size in hand: a principal variation of sixty moves
// fits, and anything longer is cut rather than written past the end.
#include "game/output.h"

#include <cstring>

#include "board/makemove.h"
#include "core/assert.h"
#include "core/control.h"
#include "core/platform.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace brevalt {

OutputState output_state;


namespace {

// start_line copies at most this many characters.
constexpr int START_LINE_LIMIT = 255;
// The kibitz line carries at most this many moves of the variation.
constexpr int KIBITZ_PV_MOVES = 6;

const char piece_letter[8] = {' ', 'K', 'Q', 'R', 'B', 'N', 'P', ' '};

// Appends printf-style text to buffer of the given size, never past it.
template <typename... Args>
void append_format(char* buffer, int size, const char* format, Args... args) {
  const int used = static_cast<int>(std::strlen(buffer));
  if (used >= size - 1) return;
  std::snprintf(buffer + used, static_cast<size_t>(size - used), format, args...);
}

// Whether a move of a line captures: a piece stood on its target square,
// or a pawn changed files, which onto an empty square only en passant
// does (the line records no victim for it, the target being empty).
bool captures(const PvEntry& m) {
  return m.captured_value != 0 || (type_of(m.piece) == PAWN && file_of(m.from) != file_of(m.to));
}

// One move in the thinking-line notation: piece letter (none for a pawn,
// whose capture shows its file), 'x' for a capture, destination, blank.
void notation(const PvEntry& m, char* out) {
  int n = 0;
  const int type = type_of(m.piece);
  const bool capture = captures(m);
  if (type != PAWN) out[n++] = piece_letter[type];
  else if (capture) out[n++] = static_cast<char>('a' + file_of(m.from));
  if (capture) out[n++] = 'x';
  out[n++] = static_cast<char>('a' + file_of(m.to));
  out[n++] = static_cast<char>('1' + rank_of(m.to));
  out[n++] = ' ';
  out[n] = '\0';
}

// The test notation: always a piece letter (P for a pawn) except for a
// quiet pawn move, which is its destination alone.
void test_notation(const PvEntry& m, char* out) {
  int n = 0;
  const int type = type_of(m.piece);
  const bool capture = captures(m);
  if (type != PAWN || capture) out[n++] = piece_letter[type];
  if (capture) out[n++] = 'x';
  out[n++] = static_cast<char>('a' + file_of(m.to));
  out[n++] = static_cast<char>('1' + rank_of(m.to));
  out[n] = '\0';
}

int pv_moves() {
  // The root's line is recorded by the search in a row of the table.
  const int n = search_path.pv_length[1];
  BREVALT_ASSERT(n >= 0 && n <= MAX_PLY);
  return n;
}

}  // namespace

void start_line(const char* text, char* buffer) {
  int n = 0;
  for (; n < START_LINE_LIMIT && text[n] && text[n] != '\n' && text[n] != '\r'; ++n) {
    if (text[n] == '~') {
      buffer[n++] = '\n';
      break;
    }
    buffer[n] = text[n];
  }
  buffer[n] = '\0';
}

void append_line(const char* text, char* buffer) {
  // The buffers this is used on are line_text-sized.
  int n = static_cast<int>(std::strlen(buffer));
  for (int i = 0; text[i] && n < LINE_TEXT_SIZE - 1; ++i) {
    if (text[i] == '~') {
      buffer[n++] = '\n';
      break;
    }
    buffer[n++] = text[i];
  }
  buffer[n] = '\0';
}

int text_length(const char* text) { return static_cast<int>(std::strlen(text)); }

void replay_line_move(uint8_t squares[64], const PvEntry& m) {
  if (m.from > 63 || m.to > 63) return;
  const int moved = squares[m.from];
  // En passant: a pawn stepping diagonally onto an empty square takes the
  // pawn beside it.
  if (type_of(moved) == PAWN && file_of(m.from) != file_of(m.to) && squares[m.to] == EMPTY)
    squares[rank_of(m.from) * 8 + file_of(m.to)] = EMPTY;
  // Castling by the Fischer random rule, the king taking its own rook:
  // king to the g or c file, rook to the f or d file.
  if (type_of(moved) == KING && squares[m.to] == (ROOK | colour_of(moved))) {
    const int rank = rank_of(m.from) * 8;
    const bool kingside = m.to > m.from;
    const uint8_t rook = squares[m.to];
    squares[m.from] = EMPTY;
    squares[m.to] = EMPTY;
    squares[rank + (kingside ? G1 : C1)] = static_cast<uint8_t>(moved);
    squares[rank + (kingside ? F1 : D1)] = rook;
    return;
  }
  // Castling: the king's two-square step brings its rook across.
  const int files = file_of(m.to) - file_of(m.from);
  if (type_of(moved) == KING && (files == 2 || files == -2)) {
    const int rank = rank_of(m.from) * 8;
    const int corner = rank + (files > 0 ? 7 : 0), rook_to = rank + (files > 0 ? 5 : 3);
    squares[rook_to] = squares[corner];
    squares[corner] = EMPTY;
  }
  squares[m.to] = static_cast<uint8_t>(moved);
  squares[m.from] = EMPTY;
  // A pawn reaching the last rank becomes the piece the line names.
  if (type_of(moved) == PAWN && (rank_of(m.to) == 0 || rank_of(m.to) == 7) && type_of(m.piece) != PAWN &&
      m.piece != EMPTY)
    squares[m.to] = m.piece;
}

void uci_move_text(const uint8_t squares[64], const PvEntry& m, char out[6]) {
  int n = 0;
  out[n++] = static_cast<char>('a' + file_of(m.from));
  out[n++] = static_cast<char>('1' + rank_of(m.from));
  out[n++] = static_cast<char>('a' + file_of(m.to));
  out[n++] = static_cast<char>('1' + rank_of(m.to));
  if (m.from < 64 && m.to < 64 && type_of(squares[m.from]) == PAWN && (rank_of(m.to) == 0 || rank_of(m.to) == 7)) {
    // The piece the move leaves on its square; a line that does not say is a queen.
    static const char promotion_letter_of[8] = {'q', 'q', 'q', 'r', 'b', 'n', 'q', 'q'};
    out[n++] = promotion_letter_of[type_of(m.piece)];
  }
  out[n] = '\0';
}

namespace {
// UCI's score: centipawns, or the moves to a mate (negative when the
// engine is the side mated). A side mated at ply q scores q - MATE_SCORE;
// scores beyond MATE_BOUND are mates.
void uci_score_text(int32_t score, char* out, int size) {
  if (score > MATE_BOUND) std::snprintf(out, static_cast<size_t>(size), "mate %d", (MATE_SCORE - score + 1) / 2);
  else if (score < -MATE_BOUND) std::snprintf(out, static_cast<size_t>(size), "mate -%d", (MATE_SCORE + score) / 2);
  else std::snprintf(out, static_cast<size_t>(size), "cp %d", score);
}

// The UCI progress line: depth, the deepest ply reached (never less than
// the depth), the line's number, score, nodes, speed, time and the
// variation in coordinates, replayed from the root position so that
// promotions carry their letter.
void uci_info_line(int32_t score_value, const PvEntry* moves, int n, int multipv) {
  const int64_t ms = static_cast<int64_t>(time_control.ms_source() - time_control.search_start_ms);
  const int64_t nodes = search_node_total();
  const int64_t nps = ms > 0 ? nodes * 1000 / ms : 0;
  const int seldepth = search_path.sel_depth > search_path.iteration_depth ? search_path.sel_depth : search_path.iteration_depth;
  char score[24];
  uci_score_text(score_value, score, sizeof(score));
  std::snprintf(output_state.thinking_line, sizeof(output_state.thinking_line),
                "info depth %d seldepth %d multipv %d score %s nodes %lld nps %lld hashfull %d time %lld pv",
                search_path.iteration_depth, seldepth, multipv, score, static_cast<long long>(nodes), static_cast<long long>(nps),
                hashfull(), static_cast<long long>(ms > 0 ? ms : 0));
  uint8_t squares[64];
  std::memcpy(squares, search_root.search_root_board, sizeof(squares));
  BREVALT_ASSERT(n >= 0 && n <= MAX_PLY);
  for (int i = 0; i < n; ++i) {
    char move[6];
    uci_move_text(squares, moves[i], move);
    append_format(output_state.thinking_line, THINKING_LINE_SIZE, " %s", move);
    replay_line_move(squares, moves[i]);
  }
  std::printf("%s\n", output_state.thinking_line);
}
}  // namespace

int write_pv_notation(char* buffer, int size, int max_moves) {
  buffer[0] = '\0';
  const int n = pv_moves() < max_moves ? pv_moves() : max_moves;
  // Fischer random castling is written O-O / O-O-O: the line is replayed
  // from the root to tell the king taking its own rook.
  uint8_t squares[64];
  if (control.chess960) std::memcpy(squares, search_root.search_root_board, sizeof(squares));
  for (int i = 0; i < n; ++i) {
    const PvEntry& m = search_path.pv_table[1][i];
    char move[8];
    if (control.chess960 && m.from < 64 && m.to < 64 && type_of(squares[m.from]) == KING &&
        squares[m.to] == (ROOK | colour_of(squares[m.from])))
      std::snprintf(move, sizeof(move), "%s ", m.to > m.from ? "O-O" : "O-O-O");
    else
      notation(m, move);
    if (control.chess960) replay_line_move(squares, m);
    append_format(buffer, size, "%s", move);
  }
  return static_cast<int>(std::strlen(buffer));
}

void thinking_output(Output what) {
  switch (what) {
    case Output::move_line: {
      // The move line: "move " and the move text up to its line end.
      std::snprintf(output_state.output_line, sizeof(output_state.output_line), "move ");
      const char* end = std::strchr(output_state.line_text, '\n');
      const int len = end ? static_cast<int>(end - output_state.line_text) : text_length(output_state.line_text);
      append_format(output_state.output_line, OUTPUT_LINE_SIZE, "%.*s", len, output_state.line_text);
      std::printf("%s\n", output_state.output_line);
      break;
    }
    case Output::kibitz_relay:
      if (!control.ics_mode) break;
      std::snprintf(output_state.output_line, sizeof(output_state.output_line), "tellics %s", output_state.line_text);
      std::printf("%s\n", output_state.output_line);
      break;
    case Output::thinking_line: {
      if (control.uci_mode) {
        uci_info_line(search_root.reported_score, search_path.pv_table[1], pv_moves(), 1);
        break;
      }
      // The time as measured, in centiseconds.
      const int64_t elapsed_cs = static_cast<int64_t>(time_control.ms_source() - time_control.search_start_ms) / 10;
      std::snprintf(output_state.thinking_line, sizeof(output_state.thinking_line), "%d %d %lld %lld ", search_path.iteration_depth, search_root.reported_score,
                    static_cast<long long>(elapsed_cs), static_cast<long long>(search_node_total()));
      char pv[THINKING_LINE_SIZE];
      write_pv_notation(pv, sizeof(pv), MAX_PLY);
      append_format(output_state.thinking_line, THINKING_LINE_SIZE, "%s", pv);
      std::printf("%s\n", output_state.thinking_line);
      break;
    }
    case Output::kibitz_variation: {
      // Four blanks, of which the variation overwrites two.
      append_line("    ", output_state.line_text);
      int len = text_length(output_state.line_text);
      output_state.line_text[len - 2] = '\0';
      char pv[THINKING_LINE_SIZE];
      write_pv_notation(pv, sizeof(pv), KIBITZ_PV_MOVES);
      append_line(pv, output_state.line_text);
      break;
    }
    default:
      break;
  }
}

void uci_lines_output(int count) {
  if (count > search_root.root_line_count) count = search_root.root_line_count;
  for (int k = 0; k < count; ++k) uci_info_line(search_root.root_lines[k].score, search_root.root_lines[k].moves, search_root.root_lines[k].length, k + 1);
}

void cecp_lines_output(int count) {
  if (count > search_root.root_line_count) count = search_root.root_line_count;
  const int64_t elapsed_cs = static_cast<int64_t>(time_control.ms_source() - time_control.search_start_ms) / 10;
  for (int k = 0; k < count; ++k) {
    const RootLine& line = search_root.root_lines[k];
    std::snprintf(output_state.thinking_line, sizeof(output_state.thinking_line), "%d %d %lld %lld ", search_path.iteration_depth,
                  line.score, static_cast<long long>(elapsed_cs), static_cast<long long>(search_node_total()));
    BREVALT_ASSERT(line.length >= 0 && line.length <= MAX_PLY);
    for (int i = 0; i < line.length; ++i) {
      char move[8];
      notation(line.moves[i], move);
      append_format(output_state.thinking_line, THINKING_LINE_SIZE, "%s", move);
    }
    std::printf("%s\n", output_state.thinking_line);
  }
}

void uci_current_move_output(int from, int to, int number) {
  char move[6];
  const PvEntry m{static_cast<uint8_t>(from), static_cast<uint8_t>(to), pos.board[from], 0};
  uci_move_text(pos.board, m, move);
  std::printf("info depth %d currmove %s currmovenumber %d\n", search_path.iteration_depth, move, number);
}

void iteration_report(int32_t score) {
  // Step 1. Statistics: the branching factor of this iteration in tenths.
  const int64_t p = output_state.position_nodes;
  if (search_path.nominal_depth > 3 && !control.stop_search && p > 0) {
    const int64_t q = static_cast<int64_t>(static_cast<uint32_t>(search_path.tree_nodes)) + p;
    output_state.branching_sum = static_cast<int32_t>(output_state.branching_sum + 10 * (q / p) + (q * 10 / p) % 10);
  }
  output_state.position_nodes = search_path.search_nodes;
  int32_t t = static_cast<int32_t>(time_control.time_source()) - time_control.search_start;
  output_state.position_ticks = t;
  if (t <= 0) t = 1;

  // Step 2. Depth, score, time in seconds and ticks, nodes, nodes per second.
  const int64_t nodes = search_node_total();
  const int64_t nps = (nodes / t) * 60;
  char line[THINKING_LINE_SIZE];
  std::snprintf(line, sizeof(line), "%*d%*d%*d.%.2d%*lld%*lld    ", 3, search_path.nominal_depth, 8, score, 6, t / 60,
                t % 60, 10, static_cast<long long>(nodes), 9, static_cast<long long>(nps));
  // Step 3. The variation in test notation.
  output_state.first_pv_move[0] = '\0';
  for (int i = 0; i < pv_moves(); ++i) {
    char move[8];
    test_notation(search_path.pv_table[1][i], move);
    if (i == 0) std::snprintf(output_state.first_pv_move, sizeof(output_state.first_pv_move), "%s", move);
    append_format(line, THINKING_LINE_SIZE, "%s ", move);
  }
  // Step 4. The line, on the screen and in the statistics file.
  std::printf("%s\n", line);
  if (output_state.test_stats_file) std::fprintf(output_state.test_stats_file, "%s\n", line);
}

}  // namespace brevalt

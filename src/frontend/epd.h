// Setting up positions from EPD/FEN text.
#pragma once

#include <cstdio>

#include "frontend/protocol.h"

namespace brevalt {

// What the record reader keeps of the operations after the position.
enum class EpdOperations {
  discard,  // the position loader: read and drop the operation and one more
  keep,     // the test runners: one record per line, the operation and the
            // rest of its line kept, the record checked like a "setboard"
};

// Result of reading one record.
enum class EpdRead {
  ok,          // position and operations read
  end_of_file, // the file ended before a placement was complete
  malformed,   // a bad character, an overlong rank, an unclosed operation
};

// Reads one record from file. For the position loader it goes onto the
// board the caller has cleared; for the test runners the board is cleared
// and the record put on it only when a sound record was read, so the end
// of a suite or a refused record leaves the last position in place.
EpdRead read_epd_record(std::FILE* file, EpdOperations operations);
// Reads "epd1.epd" and sets the position up; 1 on success.
int load_epd_position();
// The same from a text in memory, for when "epd1.epd" cannot be written,
// and for UCI's "position fen", which keeps the hash tables' contents.
int load_epd_text(const char* text, bool keep_tables = false);
// After a position has been set up from FEN text: the en passant square of
// the text's fourth field, when a pawn has indeed just crossed it, opens
// the capture (the record reader itself reads no en passant square).
void apply_en_passant_field(const char* text);
// Empties the board and runs new_game (keeping what the hash tables hold
// when asked to).
void clear_board(bool keep_tables = false);
// Checks a position text as "setboard" receives it without touching the
// game: nullptr when the engine can play it, else the reason it cannot.
const char* check_position_text(const char* text);
// Marks the current position (with the side to move of game_ply) in the
// repetition table as having occurred in the game.
void register_position();

}  // namespace brevalt

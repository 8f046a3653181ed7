// The opening book: a file of 16-byte records (key low and high halves,
// White wins, Black wins, draws, a reserved word; little-endian), sorted by
// the unsigned 64-bit key. Record 0 is a header and never a position.
#pragma once

#include <cstdint>

#include "search/driver_calls.h"
#include "search/root.h"

namespace brevalt {

constexpr int BOOK_RECORD_SIZE = 16;

// How one lookup ended.
enum class BookLookup { found, absent, unreadable };

// The book key of the position on the board with `side` to move (0 White,
// 8 Black, -1 the side to move in the game).
uint64_t book_key(int side);
// Looks the key up in the book file at `path`. `stats` is written only when
// the key is found; a file that cannot be opened, sized or read is
// "unreadable".
BookLookup book_lookup(const char* path, uint64_t key, BookStats* stats);

// A move of a position and what the book holds for the position it leads
// to: the games won by White and by Black and the games drawn from there.
struct BookMove {
  PvEntry move;
  BookStats stats;
};
// How asking the book about every move of a position ended.
enum class BookListing { listed, no_book, unreadable };
// Asks the book (the file the engine plays from, when it has one) about the
// position each legal move of `at` leads to, without touching the board;
// the moves the book holds go to `out` (room for MOVE_ROW), in the order of
// at.moves, and their number to `count`.
BookListing list_book_moves(const InterfacePosition& at, BookMove* out, int* count);

}  // namespace brevalt

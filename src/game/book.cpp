// The opening book probe. The file is opened for every probe and searched
// by bisection over records 1 to n - 1; nothing of it stays in memory.
#include "game/book.h"

#include <cstdio>
#include <cstring>

#include "board/position.h"
#include "core/control.h"
#include "core/exits.h"
#include "core/platform.h"
#include "core/settings.h"
#include "game/output.h"
#include "search/root.h"

namespace brevalt {

namespace {

// Record 0 is the header: the bisection starts at record 1.
constexpr long FIRST_RECORD = 1;

uint32_t read_u32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t read_u16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Reads `size` bytes at `offset`; false on any failure, so that no caller
// ever works on bytes that were not read.
bool read_at(std::FILE* f, long offset, unsigned char* out, size_t size) {
  return std::fseek(f, offset, SEEK_SET) == 0 && std::fread(out, 1, size, f) == size;
}

BookLookup search_file(std::FILE* f, uint64_t key, BookStats* stats) {
  if (std::fseek(f, 0, SEEK_END) != 0) return BookLookup::absent;
  const long size = std::ftell(f);
  if (size < 0) return BookLookup::absent;
  const long n = size / BOOK_RECORD_SIZE;
  long lo = FIRST_RECORD, hi = n - 1;
  while (lo <= hi) {
    const long mid = lo + (hi - lo) / 2;
    unsigned char bytes[BOOK_RECORD_SIZE];
    if (!read_at(f, mid * BOOK_RECORD_SIZE, bytes, 8)) return BookLookup::unreadable;
    const uint64_t record_key = uint64_t{read_u32(bytes + 4)} << 32 | read_u32(bytes);
    if (key > record_key) {
      lo = mid + 1;
    } else if (key < record_key) {
      hi = mid - 1;
    } else {
      if (!read_at(f, mid * BOOK_RECORD_SIZE + 8, bytes, 6)) return BookLookup::unreadable;
      stats->white_wins = read_u16(bytes);
      stats->black_wins = read_u16(bytes + 2);
      stats->draws = read_u16(bytes + 4);
      return BookLookup::found;
    }
  }
  return BookLookup::absent;
}

// The engine's book: the built-in copy when start-up chose it, else the
// file it named.
std::FILE* open_engine_book() {
  if (settings.book_builtin) {
    const BuiltinFile* b = builtin_file("book_normal.bin");
    return b ? open_memory_file(b->data, b->size) : nullptr;
  }
  return std::fopen(settings.book_file_name, "rb");
}

}  // namespace

uint64_t book_key(int side) {
  const KeyPair k = side_key(side, pos.hash_lo, pos.hash_hi);
  return uint64_t{k.hi} << 32 | k.lo;
}

BookLookup book_lookup(const char* path, uint64_t key, BookStats* stats) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return BookLookup::unreadable;
  const BookLookup result = search_file(f, key, stats);
  std::fclose(f);
  return result;
}

BookListing list_book_moves(const InterfacePosition& at, BookMove* out, int* count) {
  *count = 0;
  if (settings.book_file_name[0] == '\0' || control.chess960) return BookListing::no_book;
  std::FILE* f = open_engine_book();
  if (!f) return BookListing::unreadable;
  // The key holds the placement and the side to move only: the move is
  // played on a copy of the board (the castling rook, the pawn taken en
  // passant, the promotion piece go along) and the key built from it, as
  // the root driver's make-and-probe would find it.
  const int side_after = at.side ? 0 : BLACK;
  BookListing result = BookListing::listed;
  for (int i = 0; i < at.count && result == BookListing::listed; ++i) {
    uint8_t squares[64];
    std::memcpy(squares, at.board, sizeof(squares));
    replay_line_move(squares, at.moves[i]);
    KeyPair k{0, 0};
    for (int sq = 0; sq < 64; ++sq) {
      const int code = squares[sq];
      if (code == EMPTY || code > 14) continue;
      k.lo ^= zobrist[code][sq].lo;
      k.hi ^= zobrist[code][sq].hi;
    }
    k = side_key(side_after, k.lo, k.hi);
    BookStats stats{};
    switch (search_file(f, uint64_t{k.hi} << 32 | k.lo, &stats)) {
      case BookLookup::found:
        out[(*count)++] = BookMove{at.moves[i], stats};
        break;
      case BookLookup::absent:
        break;
      case BookLookup::unreadable:
        result = BookListing::unreadable;
        break;
    }
  }
  std::fclose(f);
  return result;
}

bool book_probe(int side, BookStats* stats) {
  // The book holds ordinary chess: its keys know nothing of castling
  // rooks on other files, so a Fischer random game never asks it.
  if (settings.book_file_name[0] == '\0' || control.chess960) return false;
  std::FILE* f = open_engine_book();
  const BookLookup lookup = f ? search_file(f, book_key(side), stats) : BookLookup::unreadable;
  if (f) std::fclose(f);
  switch (lookup) {
    case BookLookup::found:
      return true;
    case BookLookup::absent:
      return false;
    case BookLookup::unreadable:
      break;
  }
  // The book has gone or broken under a running game: play on without it
  // for the rest of the session, and say why once.
  write_error_file("can't read book_normal.bin: opening book switched off\n");
  settings.book_file_name[0] = '\0';
  settings.book_builtin = 0;
  search_root.in_book = 0;
  return false;
}

}  // namespace brevalt

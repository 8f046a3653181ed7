// The opening book. Until a book file is shipped and read, no position is
// in the book: the root driver then drops the book for the decision and
// searches.
#include "game/book.h"

namespace brevalt {

bool book_probe(int, BookStats*) { return false; }

}  // namespace brevalt

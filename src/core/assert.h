// BREVALT_ASSERT(cond): a check of an invariant of the engine, something
// that only a bug can break (an index past the end of a table a correct
// program never leaves, say). Debug, sanitizer and fuzz builds test it and
// stop at once, naming the file, the line and the condition; a release
// build does not even evaluate the condition. Input from outside (commands,
// files, FEN, EPD) and moves taken from the transposition tables are no
// invariants: they are checked and handled in every build.
#pragma once

#ifdef BREVALT_ASSERTS

#include <cstdio>
#include <cstdlib>

namespace brevalt {

[[noreturn]] inline void assertion_failed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

}  // namespace brevalt

#define BREVALT_ASSERT(cond) \
  ((cond) ? static_cast<void>(0) : ::brevalt::assertion_failed(__FILE__, __LINE__, #cond))

#else

// Not evaluated: sizeof only looks at the type of the condition, which
// keeps the names in it used without computing anything.
#define BREVALT_ASSERT(cond) static_cast<void>(sizeof(!(cond)))

#endif

// What several search threads need of the core: storage of which each
// thread has its own instance, and a value that one thread writes while
// others read it, with no order promised beyond the value itself.
#pragma once

#include <atomic>

namespace brevalt {

// The records one search thread owns (the position, the search path, the
// evaluation's caches) have one instance per thread. They are initialised
// by constants only (constinit), so an access from another file needs no
// call to a guard that initialises them first; and the local-exec model
// makes an access one load at a fixed offset from the thread pointer,
// which the engine and every tool are executables linking the engine
// statically, the case that model is made for. MinGW's GCC offers only
// emulated thread-local storage, a library call per access: the Windows
// build keeps one instance of each record and searches on one thread.
#if defined(_WIN32)
#define BREVALT_THREAD_LOCAL
constexpr bool SEARCH_THREADS_AVAILABLE = false;
#else
#define BREVALT_THREAD_LOCAL __attribute__((tls_model("local-exec"))) thread_local
constexpr bool SEARCH_THREADS_AVAILABLE = true;
#endif

// A flag or figure the game loop writes while search threads read it (the
// stop request, the side the engine plays, the ratings the draw score
// weighs): every read and every assignment of a value is a relaxed atomic
// access, which on the machines we build for is the plain load or store it
// was, but is not a data race. A reader sees the old value or the new,
// never a torn one. The value is a plain member, so a record holding one
// is still copied as plain bytes: records are copied and reset only while
// no search thread runs. Every member is forced inline: it is one
// instruction, and the profile-guided build must never find a copy of it
// out of line.
template <typename T>
class Relaxed {
 public:
  [[gnu::always_inline]] constexpr Relaxed(T v = T{}) noexcept : value_(v) {}
  [[gnu::always_inline]] Relaxed& operator=(T v) noexcept {
    store(v);
    return *this;
  }
  [[gnu::always_inline]] operator T() const noexcept { return load(); }
  [[gnu::always_inline]] T load() const noexcept {
    return std::atomic_ref<T>(const_cast<T&>(value_)).load(std::memory_order_relaxed);
  }
  [[gnu::always_inline]] void store(T v) noexcept { std::atomic_ref<T>(value_).store(v, std::memory_order_relaxed); }

 private:
  T value_;
};

}  // namespace brevalt

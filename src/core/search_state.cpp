// Storage of the search path of the one search thread.
#include "core/search_state.h"

namespace brevalt {

constinit BREVALT_THREAD_LOCAL SearchPath search_path;

}  // namespace brevalt

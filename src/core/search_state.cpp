// Storage of the search path of the one search thread.
#include "core/search_state.h"

namespace brevalt {

SearchPath search_path;

}  // namespace brevalt

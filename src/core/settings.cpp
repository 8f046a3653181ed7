// Storage of the settings; the defaults hold until "Brevalt.ini" has been
// read.
#include "core/settings.h"

namespace brevalt {

Settings settings;

}  // namespace brevalt

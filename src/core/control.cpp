// Storage of the control flags and the clock.
#include "core/control.h"

namespace brevalt {

Control control;
Clock game_clock;

}  // namespace brevalt

// The opening book of position statistics.
#pragma once

#include "search/driver_calls.h"

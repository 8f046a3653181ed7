// The EPD test runner: "epdtest" and "static". Its two entry points are
// declared where the interpreter that starts them can see them; the flag
// that marks a run is one of the control flags (core/control.h).
#pragma once

#include "core/control.h"
#include "frontend/test_runs.h"

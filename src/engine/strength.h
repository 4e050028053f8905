// Strength limiting: the mapping between search speed and playing strength lives with the
// search (search/time.h); the engine measures the machine's own speed once at start-up.
#pragma once

#include "search/time.h"

// Measures the search speed on a fixed position (35,000 nodes, one thread, no output) and
// sets calibration_nps and calibration_elo; prints one "info string" line.
void calibrate();

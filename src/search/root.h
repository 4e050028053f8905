// Root search with iterative deepening, aspiration windows and MultiPV.
#pragma once

#include "search/thread.h"

// Runs the root search of thread `index` until it ends or the stop flag is set. The main
// search thread (0) publishes its results and ends the search for everyone.
void root_search(int index);

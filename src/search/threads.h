// Search threads: the per-search preparation of thread records, the background search (a
// detached master thread running search thread 0 and joinable workers) and the search in the
// calling thread.
#pragma once

#include "search/thread.h"

// Creates the record of search thread `index` when missing and prepares it for a new search
// from the game position. Returns 0, or -1 when memory runs out.
int thread_init(int index);
// Starts a search with search_state = state. In the background form the caller keeps polling
// input and the clock until the search has finished (bit 64) or quit is set; the foreground
// form runs search thread 0 alone in the calling thread.
void run_search(int state, bool background);
// The foreground search with state 4 (analysis), used by the calibration and the bench.
void run_search_inline();

// Search output: publishing a new principal variation into SearchControl and the "info"
// lines (UCI) or progress lines (console) that report it.
#pragma once

#include "search/thread.h"

// Publishes the thread's completed depth, score and PV; reports it when due (MultiPV 1).
void record_pv(SearchThread& t);
// Reports one line when the noise setting allows it; line is 0, or 1..MultiPV for MultiPV.
void report_iteration(int thread_index, int line, int depth, int score, const Move* pv);
// Prints one info line unconditionally.
void print_info(int thread_index, int line, int depth, int score, const Move* pv);
// Sums the counters of the search threads that completed depth 2 into SearchControl.totals.
void sum_counters();
// The score text of an info line: "cp N", "mate N" or "mate -N" (moves, as UCI counts them).
// With UCI_ShowWDL the info line adds " wdl W D L" behind it.
void format_score(int score, char* out, int size);

// Search output: publishing a new principal variation into SearchControl and the "info"
// lines (UCI) or progress lines (console) that report it.
#pragma once

#include "search/thread.h"
#include "search/tt.h"

// Publishes the thread's completed depth, score and PV; reports it when due (MultiPV 1).
// `bound` says whether the score is exact or only a bound found by an aspiration try that
// failed high (BOUND_LOWER) or low (BOUND_UPPER), as in the transposition table.
void record_pv(SearchThread& t, int bound = BOUND_EXACT);
// Reports one line when the noise setting allows it; line is 0, or 1..MultiPV for MultiPV.
void report_iteration(int thread_index, int line, int depth, int score, const Move* pv, int bound = BOUND_EXACT);
// Prints one info line unconditionally; a bound adds "lowerbound" or "upperbound" behind the score.
void print_info(int thread_index, int line, int depth, int score, const Move* pv, int bound = BOUND_EXACT);
// Sums the counters of the search threads that completed depth 2 into SearchControl.totals.
void sum_counters();
// The score text of an info line: "cp N", "mate N" or "mate -N" (moves, as UCI counts them).
// With UCI_ShowWDL the info line adds " wdl W D L" behind it.
void format_score(int score, char* out, int size);

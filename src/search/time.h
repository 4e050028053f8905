// Time management: the search start (clock, parameters, SearchControl reset, first budget)
// and the clock check that recomputes the budget and stops the search when it is used up.
#pragma once

// Start of every search: records the start time, rebuilds the search parameters, sets the
// strength limit, resets SearchControl, steps the table age and computes the first budget.
void search_start();
// Updates elapsed and target_time; sets stop when the budget is spent.
void clock_check();
// Seconds since the search start (plus a tenth of a millisecond).
float search_elapsed();

// Strength model: Elo from a search speed (fitted to games of this engine, see time.cpp), and
// the speed for an Elo by bisection on [10, 10,000,000] (bounded for ratings outside the
// reachable interval).
double elo_from_nps(double nps);
double nps_for_elo(double elo);

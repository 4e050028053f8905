// The main alpha-beta search below the root and the quiescence search.
#pragma once

#include "search/thread.h"

// Searches the thread's position (side to move `side`) at `ply` with `depth` remaining and the
// window (alpha, beta); node_kind is NODE_PV, NODE_CUT or NODE_ALL. Writes the principal
// variation from pv[ply] on (pv has PV_SIZE + 1 entries, 0-terminated).
int search(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_kind, Move* pv);
// Captures, promotions and (at depth 0 and above) quiet checks below the horizon; the stack
// entry's eval must hold the stand-pat score.
int qsearch(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int node_kind, Move* pv);

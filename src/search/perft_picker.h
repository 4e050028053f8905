// Perft through the staged move picker: counts the leaves of the legal move tree while
// exercising the picker's generation stages.
#pragma once

#include "search/thread.h"

// While set, asked at every interior node of depth 2 or more; a true answer ends the count early
// (the console sets it so that a deep count can be interrupted). Null by default.
extern bool (*perft_interrupt)();

// Adds to t.nodes the number of legal move sequences of length depth (>= 1) from t.pos at `ply`.
void perft_picker(SearchThread& t, int ply, int depth);

// Runs perft below each legal root move of t.pos; calls report(ctx, move, count) per move in
// picker order. Returns the total.
using PerftMoveReport = void (*)(void* ctx, Move move, u64 count);
u64 perft_picker_divide(SearchThread& t, int depth, PerftMoveReport report, void* ctx);

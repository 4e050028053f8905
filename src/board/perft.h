// Perft: counts the leaves of the legal move tree.
#pragma once

#include "board/position.h"

// Number of legal move sequences of length depth (>= 1) from the position.
u64 perft(Position& pos, int depth);

// Runs perft below each legal root move; calls report(move, count) per move in generation order.
// Returns the total.
using PerftReport = void (*)(void* ctx, Move move, u64 count);
u64 perft_divide(Position& pos, int depth, PerftReport report, void* ctx);

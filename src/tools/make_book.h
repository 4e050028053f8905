// Building a Polyglot book from the opening moves of PGN games (-mkbook). The games are read line
// by line in this tool's own way: only the first plies of finished games from the standard
// position count, so no full game record is needed.
#pragma once

#include "core/types.h"

// Counts, for every (position, move) of the first plies of every finished game that starts from
// the standard position, the wins, draws and losses of the side that played it; then writes the
// moves with enough wins and draws to book_path (deleted first), sorted by key and, within a key,
// by descending weight 4 x wins - 2 x losses + draws (scaled down to at most 60000).
// Returns 0, or 1 after a one-line reason when a file cannot be opened or memory runs out (then
// no book is written).
int make_book(const char* pgn_path, const char* book_path);

// A game's moves enter the statistics while fewer than this many plies were entered before the
// line that holds them began.
constexpr int BOOK_BUILD_PLIES = 36;
// Weights are scaled so that the best move of a position gets at most this weight.
constexpr int BOOK_BUILD_MAX_WEIGHT = 60000;

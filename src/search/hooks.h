// Call points from the search into parts of the engine that sit above it or beside it. Each
// hook is null until the engine registers it; a null hook is skipped.
#pragma once

#include "board/position.h"

struct SearchHooks {
    // Tablebases. probe_wdl returns 0 (loss) .. 4 (win) or -1 when the position is not probed;
    // probe_root returns the move that the distance-to-zero ranking chooses, 0 for none;
    // max_pieces is the piece count of the largest table (0 when there are none).
    int (*probe_wdl)(const Position& pos, int depth);
    Move (*probe_root)(const Position& pos);
    int (*max_pieces)();
    // Reads and executes pending input while the search runs in the background.
    void (*poll_input)();
};
extern SearchHooks search_hooks;

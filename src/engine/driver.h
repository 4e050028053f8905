// The game driver: the main loop in play mode.
#pragma once

// Polls input about once a millisecond and starts requested searches until "quit".
void game_loop();

// Hook for the search: runs the search requested by search_state (bits 16/32) and prints its
// "bestmove". Null until the search subsystem registers it.
extern void (*start_search_hook)();

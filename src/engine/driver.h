// The game driver: the main loop in play mode, for UCI and console alike.
#pragma once

#include "core/types.h"

struct Position;

// Polls input about once a millisecond, starts requested searches, prints "bestmove" (UCI) or
// the move statistics (console), until "quit".
void game_loop();

// Registers the search's call points into the engine (input polling) and the option hooks
// that resize and clear the transposition table. Called once at start-up.
void register_search_hooks();
// Allocates the transposition table for settings.hash_mb at start-up (never fails: a smaller
// table is taken when the requested size cannot be had).
void allocate_hash_at_startup();

// A command that changes the game or the options arrived during a search: the search is
// stopped and the command runs after its "bestmove".
void defer_command(const char* line);
// Whether a command is waiting for the running search to end; no further input is read then,
// so that the commands after it keep their order.
bool command_deferred();

// Console flags: the engine plays its move after a console-started search (auto-move), or
// keeps moving for both sides (self-play).
extern int console_auto_move;
extern int console_self_play;

// Opening book probe, registered by the book module: the book move for the position from the
// named file, or 0.
extern Move (*book_probe_hook)(Position& pos, const char* file);

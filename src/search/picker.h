// The staged move picker: hash move, captures and promotions (scored by victim and attacker and
// split by an exchange test), then quiet moves scored by history, killer, counter and follow-up
// moves; in the quiescence search quiet checks after the captures. Moves are chosen by
// selection, one per call.
#pragma once

#include "search/thread.h"

// picker_state: low 4 bits the stage, high bits the mode.
constexpr int PICK_HASH = 16;
constexpr int PICK_MAIN = 64;
constexpr int PICK_QCHECKS = 128;
constexpr int PICK_MAIN_MODE = 16 + 32 + 64;   // main search
constexpr int PICK_QUIESCENCE_CHECKS = 32 + 128;
constexpr int PICK_QUIESCENCE = 32;
constexpr int PICK_ALL = 64;  // every move, exchange-scored captures, no hash move (perft)

constexpr int HISTORY_MAX = 262144;
constexpr int HISTORY_START = 16384;

// Sets up the picker of `ply`: mode (stage 0) and hash move.
void picker_start(SearchThread& t, int ply, int mode, Move hash_move);
// The next move of `ply`, or nullptr when the node's moves are exhausted.
MoveEntry* next_move(SearchThread& t, int ply);

// Capture and promotion score, with or without the exchange split.
int capture_score(const Position& pos, const MoveEntry& e, bool use_see);
// Quiet-move score from the ordering tables of the thread at `ply`.
int quiet_score(const SearchThread& t, int ply, const MoveEntry& e);

// Clears the ordering tables and the killers and hash moves of every ply (new search).
void reset_ordering(SearchThread& t);
// History, killer, counter and follow-up updates after a quiet move at `ply` scored v.
void update_quiet_history(SearchThread& t, int ply, int depth, const MoveEntry& e, bool raised_alpha);

inline int table_index(int piece, Move m) { return (piece & 15) * 64 + move_to(m); }

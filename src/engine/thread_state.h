// The per-thread record, assembled from the parts each layer owns. The game's own record
// (main_thread) holds the game position and its history; search threads get their own later.
#pragma once

#include "board/position.h"
#include "eval/eval_state.h"

constexpr int MAX_THREADS = 160;
constexpr int MAIN_THREAD_INDEX = 160;  // outside the range of search threads

struct ThreadState {
    MoveHistory history;  // board layer: undo stack, ply, last move
    Position pos;
    EvalState eval;       // evaluation: scratch, pawn hash, evaluation cache, counters
    int index;
    u32 random;
    u64 nodes;
};

extern ThreadState* main_thread;
extern ThreadState* thread_table[MAX_THREADS];

// Allocates a zero-filled record with its position bound to its history; nullptr on failure.
ThreadState* create_thread_state(int index);
void free_thread_state(ThreadState* ts);

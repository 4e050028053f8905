// The per-thread record. The search defines it (it creates search-thread records itself, on
// first use); the engine holds the game's own record in main_thread.
#pragma once

#include "search/thread.h"

using ThreadState = SearchThread;

// Allocates a zero-filled record with its position bound to its history; nullptr on failure.
inline ThreadState* create_thread_state(int index) { return create_thread_record(index); }
inline void free_thread_state(ThreadState* ts) { free_thread_record(ts); }

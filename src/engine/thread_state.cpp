#include "engine/thread_state.h"

#include <cstdlib>

#include "platform/platform.h"

ThreadState* main_thread = nullptr;
ThreadState* thread_table[MAX_THREADS];

ThreadState* create_thread_state(int index) {
    auto* ts = static_cast<ThreadState*>(platform::alloc_large(sizeof(ThreadState)));
    if (!ts) return nullptr;
    ts->pos.owner = &ts->history;
    ts->history.ply = 1;
    ts->index = index;
    ts->random = u32(rand());
    return ts;
}

void free_thread_state(ThreadState* ts) {
    if (ts) platform::free_large(ts, sizeof(ThreadState));
}

// The thread records live in the search layer (search/threads.cpp); this unit only checks
// that the engine's view of them stays the search's record.
#include "engine/thread_state.h"

#include <type_traits>

static_assert(std::is_same_v<ThreadState, SearchThread>, "the engine shares the search's thread record");

// The per-thread record of a search thread and of the game itself: the board layer's history
// and position, the evaluation's state, and the search's own data (stack, move lists, ordering
// tables, root results and counters). Records are created on first use and kept.
#pragma once

#include "board/position.h"
#include "core/settings.h"
#include "eval/eval_state.h"

constexpr int MAX_THREADS = 160;
constexpr int MAIN_THREAD_INDEX = 160;  // the game's record: outside the range of search threads
constexpr int STACK_SIZE = MAX_PLY + 4;

// Counter slots of a thread record.
enum ThreadCounter : int {
    CNT_NODES = 0,
    CNT_TB_HITS = 1,
    CNT_EVALS = 2,
    CNT_EVAL_HITS = 3,
    CNT_HASH_PROBES = 4,
    CNT_HASH_HITS = 5,
    CNT_PAWN_PROBES = 6,
    CNT_PAWN_HITS = 7,
};

// Node kinds: expected PV node, cut node, all node.
constexpr int NODE_PV = 0;
constexpr int NODE_CUT = 1;
constexpr int NODE_ALL = -1;

// One ply of the search.
struct SearchStackEntry {
    i16 node_kind;
    i16 depth;
    i16 eval;
    i16 alpha, beta;
    u16 in_check;
    u16 current_flags;
    u16 move_count;
    u16 improving;
    i32 tb_result;
    Move hash_move;
    Move killer1, killer2;
    Move check_killer;
    u8 checker;
    u16 picker_state;
    // Move picker: the list of this ply, the cursor (last entry returned) and the list end.
    MoveEntry* list_start;
    int cursor;
    int list_end;
    // The move being searched from this node and the piece that makes it (for the counter and
    // follow-up tables of the plies below); 0 for a null move.
    Move current_move;
    u8 current_piece;
    u8 null_move;  // the move from this node is a null move
};

// Root fail states.
constexpr int ROOT_INSIDE = 0;
constexpr int ROOT_FAIL_LOW = 1;
constexpr int ROOT_FAIL_HIGH = 2;

struct SearchThread {
    MoveHistory history;  // board layer: undo stack, ply, last move
    Position pos;
    EvalState eval;  // evaluation: scratch, pawn hash, evaluation cache, counters

    SearchStackEntry stack[STACK_SIZE];
    MoveEntry move_buffer[STACK_SIZE][MAX_MOVES];

    i32 history_table[1024];
    Move counter1[1024];
    Move counter2[1024];
    Move followup[1024];

    Move root_pv[PV_LENGTH];
    int index;
    u32 random;  // seed of the worker's root-order noise
    u8 iteration_depth;
    u8 fail_state;
    u8 completed_depth;
    u8 seldepth;
    i16 score;
    u64 node_limit;
    u64 counters[8];
    u64 nodes;  // perft leaf counter
};

// Reads and writes of fields that other threads read while a search runs. Relaxed atomics
// compile to plain moves; they only make the intended sharing explicit to the compiler and
// to race detectors.
template <class T>
inline T shared_read(const T& x) {
    T v;
    __atomic_load(&x, &v, __ATOMIC_RELAXED);
    return v;
}
template <class T, class V>
inline void shared_write(T& x, V v) {
    T value = T(v);
    __atomic_store(&x, &value, __ATOMIC_RELAXED);
}
inline void count_up(u64& c) { shared_write(c, shared_read(c) + 1); }

// Whether the running search has been told to stop; every node polls it.
inline bool search_stopped() { return search_control.stop.load(std::memory_order_relaxed) != 0; }
// The number of search threads of the next or running search.
inline int search_thread_count() { return clamp_int(settings.threads, 1, MAX_THREADS); }

// The game's record (driver) and the table of search-thread records (created on first use).
extern SearchThread* main_thread;
extern SearchThread* thread_table[MAX_THREADS];

// Records are published with release and read with acquire, so that a thread that finds a
// pointer also sees the record's initial contents.
inline SearchThread* thread_record(int index) { return __atomic_load_n(&thread_table[index], __ATOMIC_ACQUIRE); }
inline void publish_thread_record(int index, SearchThread* t) {
    __atomic_store_n(&thread_table[index], t, __ATOMIC_RELEASE);
}

// Allocates a zero-filled record bound to its history, with network storage sized for the
// loaded network; nullptr when memory runs out.
SearchThread* create_thread_record(int index);
void free_thread_record(SearchThread* t);

#include "platform/platform.h"
// Guards the per-depth node sums, the random draw of a new record and the illegal-hash-move
// report.
extern platform::SpinLock AuxLock;

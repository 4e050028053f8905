#include "search/threads.h"

#include <cstdlib>
#include <cstring>

#include "core/settings.h"
#include "eval/eval.h"
#include "platform/platform.h"
#include "search/hooks.h"
#include "search/report.h"
#include "search/root.h"
#include "search/time.h"
#include "search/tt.h"

SearchThread* main_thread = nullptr;
SearchThread* thread_table[MAX_THREADS];
platform::SpinLock AuxLock;
SearchHooks search_hooks = {nullptr, nullptr, nullptr, nullptr};

namespace {

constexpr u64 NO_NODE_LIMIT = 1000000000000000ull;
// How long a quitting driver waits for the search threads to wind down.
constexpr int QUIT_WAIT_MS = 5000;

// Clears what a thread reports about its search (counters, depths, score, best line), which
// other threads read while the search runs.
void clear_search_results(SearchThread& t) {
    for (Move& m : t.root_pv) shared_write(m, 0);
    shared_write(t.score, 0);
    for (u64& counter : t.counters) shared_write(counter, 0);
    shared_write(t.iteration_depth, 0);
    shared_write(t.completed_depth, 0);
    shared_write(t.seldepth, 0);
    shared_write(t.fail_state, 0);
}

void worker_main(void* arg) {
    const int index = int(reinterpret_cast<intptr_t>(arg));
    if (thread_init(index) != 0) return;
    // Workers join once the main search thread has finished its first iterations.
    while (shared_read(search_control.depth) < 2 && !search_stopped()) platform::yield_thread();
    if (shared_read(search_control.root_tb) != -1) return;
    if (index < search_thread_count()) root_search(index);
}

void master_main(void*) {
    SearchControl& c = search_control;
    if (thread_init(0) != 0) exit(-1);
    const int threads = search_thread_count();
    static platform::Thread workers[MAX_THREADS];
    for (int i = 1; i < threads; i++) {
        SearchThread* t = thread_record(i);
        if (!t) {
            AuxLock.lock();
            t = create_thread_record(i);
            AuxLock.unlock();
            if (!t) continue;  // out of memory: this worker does not search
            publish_thread_record(i, t);
        }
        // The previous search's results must not reach this search's output or time
        // management before the worker has prepared itself.
        clear_search_results(*t);
        if (platform::thread_start(workers[i], worker_main, reinterpret_cast<void*>(intptr_t(i))) != 0) exit(-1);
    }
    root_search(0);
    for (int i = 1; i < threads; i++)
        if (workers[i].handle) {
            platform::thread_join(workers[i]);
            workers[i].handle = nullptr;
        }
    shared_write(c.elapsed, search_elapsed());
    sum_counters();
    // A search that ended by itself inside the quiet period stays silent; one that was stopped
    // (by "stop", the clock or a node limit) reports its result.
    const bool quiet_period = shared_read(c.elapsed) < settings.noise && c.ended_by_itself;
    if (!quiet_period && settings.noise != NOISE_SILENT && c.result_depth > 0 && c.pv[1]) {
        tt_hashfull(c.result_depth);
        print_info(0, 1, c.result_depth, c.score, c.pv, c.score_bound);
    }
    // A ponder search that ends early keeps its answer until "ponderhit" or "stop"; so does
    // an infinite analysis, which answers only when told to stop.
    for (;;) {
        const int state = c.search_state.load();
        if (state & SEARCH_STOP_REQUESTED) break;
        if (!(state & SEARCH_PONDERING) && !(c.infinite && (state & SEARCH_THINKING))) break;
        platform::sleep_ms(1);
    }
    c.search_state |= SEARCH_FINISHED;
}

}  // namespace

SearchThread* create_thread_record(int index) {
    auto* t = static_cast<SearchThread*>(platform::alloc_large(sizeof(SearchThread)));
    if (!t) return nullptr;
    if (eval_state_init(t->eval) != 0) {
        platform::free_large(t, sizeof(SearchThread));
        return nullptr;
    }
    t->pos.owner = &t->history;
    t->history.ply = 1;
    t->index = index;
    t->random = u32(rand());
    return t;
}

void free_thread_record(SearchThread* t) {
    if (!t) return;
    eval_state_release(t->eval);
    platform::free_large(t, sizeof(SearchThread));
}

int thread_init(int index) {
    SearchThread* t = thread_record(index);
    if (!t) {
        AuxLock.lock();
        t = create_thread_record(index);
        AuxLock.unlock();
        if (!t) return -1;
        publish_thread_record(index, t);
    }
    const SearchThread& game = *main_thread;
    const int count = game.history.count;
    memcpy(t->history.entries, game.history.entries, sizeof(HistoryEntry) * size_t(count + 1));
    t->history.count = game.history.count;
    t->history.last_move = game.history.last_move;
    t->history.entries[count].move = 0;
    t->history.ply = 1;
    t->pos = game.pos;
    t->pos.owner = &t->history;
    t->node_limit = settings.node_limit ? settings.node_limit : NO_NODE_LIMIT;
    memset(&t->stack[0], 0, 3 * sizeof(SearchStackEntry));
    t->stack[0].tb_result = -1;
    t->stack[0].list_start = t->move_buffer[0];
    t->stack[1].list_start = t->move_buffer[1];
    clear_search_results(*t);
    return 0;
}

void run_search(int state, bool background) {
    SearchControl& c = search_control;
    c.search_state = state;
    search_start();
    if (!background) {
        if (thread_init(0) == 0 && settings.threads >= 1) root_search(0);
        c.search_state |= SEARCH_FINISHED;
        shared_write(c.elapsed, search_elapsed());
        return;
    }
    if (platform::thread_start_detached(master_main, nullptr) != 0) {
        c.search_state |= SEARCH_FINISHED;
        return;
    }
    while (!settings.quit) {
        clock_check();
        if (c.search_state.load() & SEARCH_FINISHED) break;
        if (!(c.search_state.load() & SEARCH_STOP_REQUESTED) && search_hooks.poll_input) search_hooks.poll_input();
        platform::sleep_ms(1);
    }
    if (settings.quit) {
        // End the search and let its threads finish before the process releases their records.
        c.search_state |= SEARCH_STOP_REQUESTED;
        c.stop = 1;
        for (int waited = 0; waited < QUIT_WAIT_MS && !(c.search_state.load() & SEARCH_FINISHED); waited++)
            platform::sleep_ms(1);
    }
    shared_write(c.elapsed, search_elapsed());
}

void run_search_inline() { run_search(SEARCH_BENCH, false); }

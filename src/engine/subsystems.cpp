#include "engine/subsystems.h"

#include <cstring>

#include "book/book.h"
#include "core/settings.h"
#include "engine/diagnostics.h"
#include "engine/driver.h"
#include "engine/options.h"
#include "engine/thread_state.h"
#include "engine/uci.h"
#include "eval/eval.h"
#include "eval/kpk.h"
#include "eval/nn.h"
#include "eval/params.h"
#include "search/hooks.h"
#include "tablebase/tablebase.h"

namespace {

void set_syzygy_path(const char* path) { tb_init(path); }

Move tablebase_root_move(const Position& pos) {
    TbRootResult result;
    return tb_probe_root(pos, &result) == 0 ? result.move : Move(0);
}

int tablebase_largest() { return TB_LARGEST; }

// Every thread record, the game's and the search threads', gets storage for a network of
// `hidden` entries before that network replaces the current one.
int reserve_thread_storage(int hidden) {
    if (main_thread && nn_reserve(main_thread->eval, hidden) != 0) return -1;
    for (ThreadState* t : thread_table)
        if (t && nn_reserve(t->eval, hidden) != 0) return -1;
    return 0;
}

int load_engine_network(const char* source) { return load_network(source, reserve_thread_storage); }

// The configured network, or the compiled-in one when the configured source cannot be loaded.
void load_startup_network() {
    if (load_engine_network(settings.nn_file) == 0) return;
    u64 embedded_size = 0;
    embedded_network(&embedded_size);
    if (strcmp(settings.nn_file, "embedded") != 0 && embedded_size && load_engine_network("embedded") == 0)
        set_field(settings.nn_file, "embedded");
}

}  // namespace

void init_tables_of_subsystems() { init_kpk(); }

void init_subsystems() {
    load_default_params();
    load_startup_network();
    option_hooks.load_network = load_engine_network;
    uci_hooks.eval = print_static_eval;
    uci_hooks.tbprobe = print_tablebase_probe;
    option_hooks.set_syzygy_path = set_syzygy_path;
    search_hooks.probe_wdl = tb_probe_wdl;
    search_hooks.probe_root = tablebase_root_move;
    search_hooks.max_pieces = tablebase_largest;
    book_probe_hook = probe_book;
    if (strlen(settings.syzygy_path) > 1) tb_init(settings.syzygy_path);
}

void release_subsystems() {
    tb_free();
    release_books();
    unload_network();
}

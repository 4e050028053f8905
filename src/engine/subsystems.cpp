#include "engine/subsystems.h"

#include <cstring>

#include "book/book.h"
#include "core/settings.h"
#include "engine/diagnostics.h"
#include "engine/driver.h"
#include "engine/options.h"
#include "engine/uci.h"
#include "eval/eval.h"
#include "eval/kpk.h"
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

}  // namespace

void init_tables_of_subsystems() { init_kpk(); }

void init_subsystems() {
    load_default_params();
    eval_startup_note();
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
}

#include "engine/diagnostics.h"

#include "board/attacks.h"
#include "core/output.h"
#include "engine/thread_state.h"
#include "eval/eval.h"
#include "eval/nn.h"
#include "tablebase/tablebase.h"

void print_static_eval() {
    ThreadState* ts = main_thread;
    Position& pos = ts->pos;
    bool in_check = checker_square(pos) != NO_SQUARE;
    int e = evaluate(pos, ts->eval, pos.side, 1, in_check);
    int h = evaluate_hce(pos, ts->eval);
    if (nn_ready(ts->eval)) print_line("info string static eval %d hce %d nn %d", e, h, nn_evaluate(pos, ts->eval));
    else print_line("info string static eval %d hce %d", e, h);
}

void print_tablebase_probe() {
    int wdl = 0;
    int dtz = 0;
    int rc = tb_probe_position(main_thread->pos, &wdl, &dtz);
    if (rc < 0) {
        print_line("info string tb wdl none dtz none");
    } else if (rc == 1) {
        print_line("info string tb wdl %d dtz none", wdl);
    } else {
        print_line("info string tb wdl %d dtz %d", wdl, dtz);
    }
}

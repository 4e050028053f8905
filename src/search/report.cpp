#include "search/report.h"

#include <cstdio>
#include <cstring>

#include "board/notation.h"
#include "core/output.h"
#include "core/settings.h"
#include "search/time.h"
#include "search/tt.h"
#include "search/wdl.h"

void sum_counters() {
    SearchControl& c = search_control;
    for (u64& total : c.totals) total = 0;
    if (thread_table[0]) c.seldepth = shared_read(thread_table[0]->seldepth);
    const int threads = search_thread_count();
    for (int i = 0; i < threads; i++) {
        SearchThread* t = thread_record(i);
        // Every thread's counters are cleared before it starts, so each one counts from its
        // first node; a search that ends at depth 1 reports the nodes it really visited.
        if (!t) continue;
        for (int k = 0; k < 8; k++) c.totals[k] += shared_read(t->counters[k]);
    }
}

void format_score(int score, char* out, int size) {
    if (score >= SCORE_SHOWN_AS_MATE) {
        snprintf(out, size_t(size), "mate %d", (SCORE_MATE - score + 1) / 2);
    } else if (score <= SCORE_SHOWN_AS_MATED) {
        // Mated at ply p (root ply 1): the opponent needs (p - 1) / 2 more moves.
        const int moves = (score + SCORE_MATE - 1) / 2;
        if (moves == 0) snprintf(out, size_t(size), "mate 0");
        else
            snprintf(out, size_t(size), "mate -%d", moves);
    } else {
        snprintf(out, size_t(size), "cp %d", score);
    }
}

void print_info(int thread_index, int line, int depth, int score, const Move* pv, int bound) {
    const SearchControl& c = search_control;
    const Settings& s = settings;
    SearchThread* t = thread_table[0] ? thread_table[0] : main_thread;
    Position& pos = t->pos;
    const bool stopped = c.stop.load() != 0;
    char moves[2048];
    int n = 0;
    moves[0] = 0;
    int side = pos.side;
    const int shown = s.uci_mode ? 80 : stopped ? 32 : 8;
    for (int i = 1; i <= 80 && pv[i] && i <= shown; i++) {
        char text[MOVE_TEXT];
        move_to_uci(pos, side, pv[i], text);
        side ^= 1;
        const char* sep = i == 1 ? "" : (!s.uci_mode && (i - 1) % 8 == 0) ? "\n                              " : " ";
        n += snprintf(moves + n, sizeof moves - size_t(n), "%s%s", sep, text);
        if (n >= int(sizeof moves) - 40) break;
    }
    const double elapsed = shared_read(c.elapsed);
    const double nodes = double(c.totals[CNT_NODES]);
    if (s.uci_mode) {
        char multipv[32] = "";
        if (s.multipv > 1) snprintf(multipv, sizeof multipv, "multipv %d ", line);
        char score_text[64];
        format_score(score, score_text, sizeof score_text);
        if (bound != BOUND_EXACT) {
            const size_t n = strlen(score_text);
            snprintf(score_text + n, sizeof score_text - n, bound == BOUND_LOWER ? " lowerbound" : " upperbound");
        }
        if (s.show_wdl) {
            const WdlRates r = wdl_from_score(score, wdl_material(pos));
            const size_t n = strlen(score_text);
            snprintf(score_text + n, sizeof score_text - n, " wdl %d %d %d", r.win, r.draw, r.loss);
        }
        const double nps = elapsed + 0.002 > 0.02 ? nodes / (elapsed + 0.002) : 0.0;
        print_line(
            "info %s%sdepth %d seldepth %d score %s time %.0f nodes %.0f nps %.0f tbhits %.0f hashfull %.0f pv %s",
            multipv, "", depth, c.seldepth > 0 ? c.seldepth - 1 : 0, score_text, elapsed * 1000.0, nodes, nps,
            double(c.totals[CNT_TB_HITS]), double(c.hashfull) * 1000.0, moves);
    } else {
        const bool last_of_group = thread_index == 0 && line == s.multipv;
        print_line("%02d] %02d%c %5.1f %7.0fK %5d  %s%s", thread_index, depth, line != 0 ? '.' : ' ', elapsed,
                   nodes * 0.001, score, moves, last_of_group ? "\n" : "");
    }
}

void report_iteration(int thread_index, int line, int depth, int score, const Move* pv, int bound) {
    SearchControl& c = search_control;
    shared_write(c.elapsed, search_elapsed());
    sum_counters();
    if (!c.stop.load() && settings.noise > shared_read(c.elapsed)) return;
    if (settings.noise == NOISE_SILENT || depth == 0 || !pv[1]) return;
    tt_hashfull(depth);
    print_info(thread_index, line, depth, score, pv, bound);
}

void record_pv(SearchThread& t, int bound) {
    SearchControl& c = search_control;
    const int depth = t.completed_depth;
    if (t.root_pv[1] != c.pv[1]) shared_write(c.best_change_depth, depth);
    for (int i = 0; i <= PV_SIZE; i++) {
        shared_write(c.pv[i], t.root_pv[i]);
        if (i > 0 && !t.root_pv[i]) break;
    }
    shared_write(c.result_depth, depth);
    shared_write(c.score, t.score);
    shared_write(c.score_bound, bound);
    if (depth >= 0 && depth < PV_LENGTH) shared_write(c.score_by_depth[depth], t.score);
    if (depth >= 2 && settings.multipv == 1) report_iteration(t.index, 0, depth, t.score, t.root_pv, bound);
}

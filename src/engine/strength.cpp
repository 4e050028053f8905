#include "engine/strength.h"

#include "board/fen.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/thread_state.h"
#include "search/threads.h"
#include "search/tt.h"

namespace {

constexpr const char* CALIBRATION_FEN = "rnb1k2r/1pq1bppp/p2p1n2/4p3/4P3/2N1BN2/PPP1BPPP/R2QK2R w KQkq -";
constexpr u64 CALIBRATION_NODES = 35000;
constexpr int CALIBRATION_RUNS = 2;
constexpr u32 CALIBRATION_TT_MASK = (1u << 15) - 1;  // 512 KB of entries per side to move

}  // namespace

void calibrate() {
    Settings& s = settings;
    SearchControl& c = search_control;
    set_fen(main_thread->pos, CALIBRATION_FEN);
    const i16 threads = s.threads;
    const u8 limit_strength = s.limit_strength;
    const float noise = s.noise;
    const u64 node_limit = s.node_limit;
    s.node_limit = CALIBRATION_NODES;
    s.threads = 1;
    s.limit_strength = 0;
    s.noise = NOISE_SILENT;
    // Fresh hash-table pages are zeroed by the system on their first touch, which in a short
    // search costs more the larger the table, while games run on warm pages. So the
    // calibration searches use a small part of the table, and the faster of two runs counts:
    // the speed does not depend on the Hash size.
    const u32 full_mask = tt.mask;
    if (tt.block && tt.mask > CALIBRATION_TT_MASK) tt.mask = CALIBRATION_TT_MASK;
    double nodes = 0.0, t = 0.0, best_rate = -1.0;
    for (int run = 0; run < CALIBRATION_RUNS; run++) {
        run_search_inline();
        const double n = thread_table[0] ? double(thread_table[0]->counters[CNT_NODES]) : 0.0;
        const double rate = n / (c.elapsed + 0.002);
        if (rate > best_rate) best_rate = rate, nodes = n, t = c.elapsed;
        c.search_state = 0;
    }
    tt.mask = full_mask;
    s.node_limit = node_limit;
    c.search_state = 0;
    s.noise = noise;
    s.threads = threads;
    s.limit_strength = limit_strength;
    s.calibration_nps = float(float(nodes / (t + 0.002)) * 1.18f);
    s.calibration_elo = float(elo_from_nps(s.calibration_nps));
    print_line("info string et= %.3f, calibration nps= %0.0f, elo= %0.0f", t, double(s.calibration_nps),
               double(s.calibration_elo));
    set_fen(main_thread->pos, START_FEN);
}

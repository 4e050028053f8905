#include "engine/bench.h"

#include "board/fen.h"
#include "core/output.h"
#include "core/settings.h"
#include "engine/options.h"
#include "engine/thread_state.h"
#include "search/report.h"
#include "search/threads.h"
#include "search/tt.h"

namespace {

const char* const BENCH_FENS[20] = {
    "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -",
    "1n5k/3q3p/pp1p2pB/5r2/1PP1Qp2/P6P/6P1/2R3K1 w - -",
    "1r1qbr1k/4bp1p/p3p2Q/3pP3/2pP4/P1N1PN2/1PR2RP1/6K1 b - -",
    "2r1q2k/7p/p1np1P1P/8/1pP2R2/8/PP1Q4/R1KN2r1 b - -",
    "r2r2k1/5pp1/2bPp3/p1N4p/1qQ5/2P2P2/BP4PP/1K1R4 b - -",
    "5r1k/5rp1/p1n1p1qp/2P1p3/P7/4QN1P/5PP1/2R1R2K w - -",
    "2r3k1/1pq1b1p1/p1b1pr1p/8/PP2pP2/2P1B3/4B1PP/RQR4K w - -",
    "1r3b2/3R2pk/6q1/3Q1p2/p6P/4B2P/1P3P1K/8 w - -",
    "r2r2k1/6bp/1P2q1p1/4pp2/p1N5/2Q5/PPR3PP/4R2K b - -",
    "2r1q2k/7p/p1np1P1P/8/1pP2R2/8/PP1Q4/R1KN2r1 b - -",
    "r1bq1r1k/p1pnbpp1/1p2p3/6p1/3PB3/5N2/PPPQ1PPP/2KR3R w - - ",
    "r1b2rk1/1p1nbppp/pq1p4/3B4/P2NP3/2N1p3/1PP3PP/R2Q1R1K w - -",
    "r3r1kb/1npb1p1p/2q2np1/4p1B1/ppP1P2Q/1P2RNNP/P1B2PP1/3R2K1 w - -",
    "r2qk2r/1pp2ppp/p1pbbn2/8/3PP3/5N2/PP3PPP/RNBQR1K1 b kq -",
    "3q1r1k/1b3ppp/p1n5/1p1pPB2/2rP4/P6N/1P2Q1PP/R4RK1 w - -",
    "r1b1k2r/1p1pppb1/p5pp/3P4/q2p1B2/3P1Q2/PPP2PPP/R3R1K1 w kq -",
    "R4bk1/2Bbp2p/2p2pp1/1rPp4/3P4/4P2P/4BPPK/1q1Q4 w - -",
    "r2q1rk1/5ppp/3b4/1nnP2P1/1Q3BbP/Pp4N1/1P4B1/1KN2R1R b - -",
    "r7/5pk1/5p2/2p5/pp6/1P1B1KPN/P6P/8 b - -",
    "r2q3r/1p1bbQ2/4p1Bk/3pP3/1n1P1P1p/pP6/Pn4PP/R1B1R1K1 w - -",
};

// The depth of the short bench ("bench", "vellum bench"): a few seconds on one thread.
constexpr int OPENBENCH_DEPTH = 13;
constexpr int BENCH_DEFAULT_DEPTH = 17;
constexpr int BENCH_DEPTH_CAP = 50;
constexpr float BENCH_MOVE_SECONDS = 99.0f;
constexpr unsigned OPENBENCH_HASH_MB = 16;

struct BenchTotals {
    double nodes = 0;
    double seconds = 0.01;  // keeps the speed finite
};

// Searches every position from an empty table with the current settings; prints a line per
// position when `report_positions` is set.
BenchTotals search_bench_positions(bool in_calling_thread, bool report_positions) {
    Settings& s = settings;
    SearchControl& c = search_control;
    BenchTotals totals;
    for (int i = 0; i < 20; i++) {
        set_fen(main_thread->pos, BENCH_FENS[i]);
        c.game_plies = 0;
        c.hashfull = 0;
        c.root_filter_count = 0;
        c.mate_moves = 0;
        if (c.hash_in_use && tt.block) tt_clear(s.threads);
        run_search(SEARCH_BENCH, !in_calling_thread);
        c.search_state = 0;
        sum_counters();
        totals.nodes += double(c.totals[CNT_NODES]);
        totals.seconds += double(c.elapsed);
        if (report_positions) print_line("pos %2d: %6.2f seconds", i, double(c.elapsed));
    }
    return totals;
}

}  // namespace

void run_bench(bool in_calling_thread) {
    Settings& s = settings;
    s.tc_time = BENCH_MOVE_SECONDS;
    s.noise = NOISE_SILENT;
    if (s.depth_limit > BENCH_DEPTH_CAP) s.depth_limit = BENCH_DEFAULT_DEPTH;
    print_line("%s running benchmark using %d threads", ENGINE_NAME, int(s.threads));
    const BenchTotals t = search_bench_positions(in_calling_thread, true);
    print_line("total time= %0.2f seconds, nodes= %.0f, nps= %.0f", t.seconds, t.nodes, t.nodes / t.seconds);
    s.quit = 1;
}

void run_openbench(int depth) {
    Settings& s = settings;
    SearchControl& c = search_control;
    // The game goes on after the bench: keep its position, history and clocks.
    static MoveHistory saved_history;
    saved_history = main_thread->history;
    const Position saved_pos = main_thread->pos;
    const float saved_clock[2] = {c.clock[0], c.clock[1]};
    const i16 saved_plies = c.game_plies;
    const Settings saved = s;
    const unsigned table_mb = search_control.hash_in_use && tt.block ? unsigned((u64(tt.entries) * 16) >> 20) : 0;
    // One thread and a table of fixed size: the node count depends on the build alone.
    s.threads = 1;
    s.tc_moves = 1;
    s.tc_time = BENCH_MOVE_SECONDS;
    s.noise = NOISE_SILENT;
    s.node_limit = 0;
    s.depth_limit = i8(depth >= 1 && depth <= BENCH_DEPTH_CAP ? depth : OPENBENCH_DEPTH);
    unsigned got = 0;
    const bool own_table = table_mb != OPENBENCH_HASH_MB && tt_allocate(OPENBENCH_HASH_MB, &got);
    const BenchTotals t = search_bench_positions(true, false);
    s = saved;
    if (own_table) tt_allocate(table_mb, &got);
    main_thread->history = saved_history;
    main_thread->pos = saved_pos;
    main_thread->pos.owner = &main_thread->history;
    c.clock[0] = saved_clock[0];
    c.clock[1] = saved_clock[1];
    c.game_plies = saved_plies;
    print_line("%.0f nodes", t.nodes);
    print_line("%.0f nps", t.nodes / t.seconds);
}

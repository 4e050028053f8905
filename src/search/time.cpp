#include "search/time.h"

#include <cmath>
#include <cstdlib>

#include "board/fen.h"
#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/thread.h"
#include "search/tt.h"

namespace {

// Strength model: rating = ELO_AT_ONE_NPS + ELO_PER_LOG_NPS * ln(nps) + ELO_PER_LOG_NPS_SQUARED * ln(nps)^2.
// Fitted to games at 10 s + 0.1 s per move on the development machine (two cores, busy with other
// work, hand-crafted evaluation) against Stockfish 15.1 with UCI_LimitStrength at UCI_Elo 1600,
// 2000 and 2400, whose levels serve as the rating scale:
//     nps         games  score   rating (95% interval)
//     25          12     5/12    1542 (1352..1731)    depth 1 and 2: the floor
//     1,000       12     4/12    1480 (1282..1677)
//     4,000       12     0/12    below 1802
//     30,000      12     5/12    1942 (1752..2131)
//     full speed  18     13/18   2340 (about 1,000,000 nps in these games; 11.5/12 against
//                                      UCI_Elo 2000, 1.5/6 against UCI_Elo 2400)
// The rating stays near 1500 up to about 1,000 nps (the first iterations are not held back) and
// then rises steeply with depth, so the curve is convex. Its lowest point is kept at 10 nps, the
// lower end of the bisection, so the model rises over the whole interval the bisection searches;
// the two free constants are a least-squares fit to the points at 1,000 and 30,000 nps and at full
// speed. The earlier model (850 + 250 ln - 5 ln^2) asked for 168 nps at 2000, which played about
// 500 points weaker.
constexpr double ELO_AT_ONE_NPS = 1412.6;
constexpr double ELO_PER_LOG_NPS = -34.76;
constexpr double ELO_PER_LOG_NPS_SQUARED = 7.548;

inline bool thinking_or_analysing(int state) { return (state & (SEARCH_THINKING | SEARCH_BENCH)) != 0; }

}  // namespace

double elo_from_nps(double nps) {
    const double l = std::log(nps);
    return ELO_AT_ONE_NPS + ELO_PER_LOG_NPS * l + ELO_PER_LOG_NPS_SQUARED * l * l;
}

double nps_for_elo(double elo) {
    double lo = 10.0, hi = 10000000.0;
    double mid = (lo + hi) / 2;
    // Ratings outside the reachable interval never meet the tolerance: stop when the interval
    // no longer shrinks, which leaves mid at the nearer end.
    for (int step = 0; step < 200; step++) {
        const float e = float(elo_from_nps(mid));
        if (std::fabs(double(e) - elo) < 0.5) break;
        if (elo > e) lo = mid;
        else
            hi = mid;
        const double next = (lo + hi) / 2;
        if (next == mid) break;
        mid = next;
    }
    return mid;
}

float search_elapsed() { return float(platform::now_seconds() - search_control.start_time + 0.0001); }

void search_start() {
    SearchControl& c = search_control;
    const Settings& s = settings;
    c.start_time = platform::now_seconds();
    c.elapsed = 0;
    build_search_params();

    c.target_nps = s.calibration_nps;
    c.nps_limited = 0;
    if (s.limit_strength && s.elo > 0) {
        c.target_nps = nps_for_elo(s.elo);
        if (0.9 * double(s.calibration_nps) > c.target_nps) c.nps_limited = 1;
    }

    c.stop = 0;
    c.depth = 0;
    c.result_depth = 0;
    c.last_depth = 0;
    c.seldepth = 0;
    c.score = 0;
    c.score_bound = BOUND_EXACT;
    c.root_side = main_thread->pos.side;
    for (Move& m : c.pv) m = 0;
    if (thread_table[0]) {
        thread_table[0]->root_pv[1] = 0;
        thread_table[0]->history.ply = 1;
    }
    c.single_reply = 0;
    c.ended_by_itself = 0;
    c.root_tb = -1;
    c.best_change_depth = 0;
    c.hashfull = 0;
    for (int i = 0; i < PV_LENGTH; i++) {
        c.score_by_depth[i] = i16(SCORE_NONE);
        c.nodes_by_depth[i] = 0;
    }
    for (u64& t : c.totals) t = 0;

    if (c.age_direction == 0) c.age_direction = 1;
    if (c.hash_age < 1) c.age_direction = 1;
    if (c.hash_age > 30) c.age_direction = -1;
    c.hash_age = u8(c.hash_age + c.age_direction);
    if (s.hash_mb < 1) c.hash_in_use = 0;

    if (s.tc_moves == 1) c.clock[main_thread->pos.side] = s.tc_time;
    clock_check();

    if (s.noise < NOISE_SILENT && (!s.uci_mode || s.log)) {
        char fen[128];
        get_fen(main_thread->pos, fen, 0);
        print_line("info string fen %s", fen);
        print_line("info string clock= %0.2f, target_time= %0.3f", double(c.clock[main_thread->pos.side]),
                   double(c.target_time));
    }
}

void clock_check() {
    SearchControl& c = search_control;
    const Settings& s = settings;
    const float elapsed = search_elapsed();
    shared_write(c.elapsed, elapsed);
    const int side = main_thread->pos.side;
    const float t = c.clock[side];
    const int state = c.search_state.load();
    float b = 0;
    if (s.increment > 0) b = t / (2 * s.increment + t) * s.increment;

    if (s.tc_moves == 1) {
        shared_write(c.movestogo, 1);
        shared_write(c.target_time, s.tc_time);
        if (thinking_or_analysing(state) && shared_read(c.depth) >= 2 && elapsed >= s.tc_time + b) c.stop = 1;
        return;
    }
    float f;
    if (s.tc_moves == 0) {
        f = 1.0f / 29;
        shared_write(c.movestogo, 28);
    } else if (s.uci_mode) {
        const int togo = shared_read(c.movestogo);
        f = 1.0f / float((togo > 0 ? togo : 1) + 1);
    } else {
        const int m = s.tc_moves;
        const int p = main_thread->history.count;
        const int togo = m * (p / (2 * m) + 1) - p / 2;
        shared_write(c.movestogo, togo);
        f = 1.0f / float(togo + 1);
    }
    float r = t - elapsed;
    if (r < 0) r = 0;
    if (s.ponder) f *= 1.25f;
    shared_write(c.target_time, f * r + b);

    SearchThread* main = thread_record(0);
    const int depth = shared_read(c.depth);
    if (!main || !thinking_or_analysing(state) || depth < 2) return;

    const int score = shared_read(c.score);
    const int margin = abs(score) < 336 ? 20 : abs(score) / 16;
    const int fail = shared_read(main->fail_state);
    if (fail == ROOT_FAIL_LOW) f += 0.2f;
    else if (fail == ROOT_FAIL_HIGH)
        f += 0.04f;
    if (depth > 3 && score <= shared_read(c.score_by_depth[depth - 1]) - margin &&
        score <= shared_read(c.score_by_depth[depth - 2]) - margin)
        f += 0.04f;
    const int threads = search_thread_count();
    if (threads >= 2) {
        const int result_depth = shared_read(c.result_depth);
        const Move best = shared_read(c.pv[1]);
        for (int i = 1; i < threads; i++) {
            SearchThread* w = thread_record(i);
            if (!w) continue;
            if (shared_read(w->completed_depth) >= result_depth && shared_read(w->root_pv[1]) != best &&
                shared_read(w->score) >= score + margin) {
                f += 0.03f;
                break;
            }
        }
    }
    if (depth >= 5 && shared_read(c.best_change_depth) >= depth - 2) f += 0.01f;

    float target = f * r + b - float(s.move_overhead) * 0.001f;
    if (target < 0.005f) target = 0.005f;
    if (shared_read(c.root_tb) != -1) target *= 0.5f;
    shared_write(c.target_time, target);
    if (elapsed >= target) c.stop = 1;
    if (shared_read(c.single_reply) && depth >= 6) c.stop = 1;
}

// The network breakdown ("ev2"): each hidden node's share of the score, per perspective.
#include "core/output.h"
#include "eval/nn.h"

namespace {

constexpr double TRACE_THRESHOLD_CP = 15.0;

// Prints the nodes of one accumulator whose contribution exceeds the threshold; returns the
// accumulator's total in centipawns.
double trace_perspective(const char* title, const i16* act, const i16* weights, int hidden, double cp_per_unit) {
    print_line("%s nodes contributing more than %.0f cp", title, TRACE_THRESHOLD_CP);
    double total = 0.0;
    for (int i = 0; i < hidden; i++) {
        const double c = double(act[i]) * double(weights[i]) * cp_per_unit;
        total += c;
        if (c > TRACE_THRESHOLD_CP || c < -TRACE_THRESHOLD_CP) print_line("%4d.  %5d * %5d ->  %5.0f", i, act[i], weights[i], c);
    }
    return total;
}

}  // namespace

void nn_trace(const Position& pos, EvalState& es) {
    if (!nn_ready(es)) {
        print_line("info string no network loaded");
        return;
    }
    nn_evaluate(pos, es);
    const NetHeader& h = network.image.header;
    const int hidden = int(h.hidden);
    const double f = double(h.cp_scale) / (double(h.out_scale) * double(h.out_scale));
    // The side to move's accumulator met the first H weights of the bucket's group.
    const i16* group = network.output + size_t(es.nn.out_bucket) * 2 * size_t(hidden);
    const i16* white_weights = pos.side == WHITE ? group : group + hidden;
    const i16* black_weights = pos.side == BLACK ? group : group + hidden;
    const double wp = trace_perspective("HL1wp", es.nn.acc[WHITE], white_weights, hidden, f);
    const double bp = trace_perspective("HL1bp", es.nn.acc[BLACK], black_weights, hidden, f);
    print_line("\neval= %5.0f, ev_wp= %5.0f, ev_bp= %5.0f, output node= %d\n", wp + bp, wp, bp, es.nn.out_bucket);
}

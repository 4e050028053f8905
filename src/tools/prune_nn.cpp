#include "tools/prune_nn.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/output.h"
#include "core/settings.h"
#include "eval/nn.h"
#include "platform/platform.h"
#include "search/thread.h"
#include "tools/tool_io.h"
#include "tools/tools.h"
#include "tools/training_store.h"

namespace {

constexpr double STATS_SCALE = 1e-6;
constexpr const char* DEFAULT_PRUNED_FILE = "pruned.bin";
// Consecutive records share no search line, but evaluating beyond ply 2 lets the accumulator
// cache follow records that differ little.
constexpr int PRUNE_EVAL_PLY = 3;

}  // namespace

void prune_collect(const Position& pos, EvalState& es, double* stats) {
    nn_evaluate(pos, es);
    const int hidden = int(network.image.header.hidden);
    const i16* group = network.output + size_t(es.nn.out_bucket) * 2 * size_t(hidden);
    for (int p = 0; p < 2; p++) {
        // The side to move's accumulator met the first H weights, the other the next H.
        const i16* w = p == pos.side ? group : group + hidden;
        const i16* act = es.nn.acc[p];
        double* s = stats + size_t(p) * size_t(hidden);
        for (int i = 0; i < hidden; i++) s[i] += std::abs(double(act[i]) * double(w[i])) * STATS_SCALE;
    }
}

void prune_rank(const double* stats, int hidden, int keep, int* kept) {
    std::vector<char> taken(size_t(hidden), 0);
    for (int slot = 0; slot < keep; slot++) {
        int best = -1;
        double best_mean = 0.0;
        for (int i = 0; i < hidden; i++) {
            if (taken[size_t(i)]) continue;
            const double mean = (stats[i] + stats[hidden + i]) / 2.0;
            if (best < 0 || mean > best_mean) best = i, best_mean = mean;
        }
        taken[size_t(best)] = 1;
        kept[slot] = best;
    }
}

void prune_copy(const NetHeader& h, const i16* weights, const int* kept, int keep, i16* out) {
    const size_t hidden = h.hidden, n = size_t(keep);
    NetHeader ph = h;
    ph.hidden = u32(keep);
    const i16* l1 = weights;
    const i16* output = l1 + nn_l1_count(h);
    const i16* bias = output + nn_output_count(h);
    i16* out_l1 = out;
    i16* out_output = out_l1 + nn_l1_count(ph);
    i16* out_bias = out_output + nn_output_count(ph);
    const size_t rows = size_t(NET_FEATURES) * h.buckets;
    for (size_t slot = 0; slot < n; slot++) {
        const size_t i = size_t(kept[slot]);
        for (size_t r = 0; r < rows; r++) out_l1[r * n + slot] = l1[r * hidden + i];
        for (size_t g = 0; g < size_t(NET_OUTPUT_GROUPS); g++) {
            out_output[g * 2 * n + slot] = output[g * 2 * hidden + i];
            out_output[g * 2 * n + n + slot] = output[g * 2 * hidden + hidden + i];
        }
        out_bias[slot] = bias[i];
        out_bias[n + slot] = bias[hidden + i];
    }
}

int prune_nn() {
    const Settings& s = settings;
    const char* out_file = s.prune_out_file[0] ? s.prune_out_file : DEFAULT_PRUNED_FILE;
    if (!s.train_file[0]) {
        tool_message("-prune_nn needs a training file: -prune_nn file.bin [out.nnue]");
        return 1;
    }
    EvalState& es = main_thread->eval;
    if (!nn_ready(es)) {
        tool_message("no network loaded: nothing to prune, nothing written");
        return 1;
    }
    const NetHeader h = network.image.header;
    const int hidden = int(h.hidden);
    if (hidden <= PRUNED_HIDDEN) {
        tool_message("the network has %d first-layer neurons, not more than %d: nothing pruned, nothing written",
                     hidden, PRUNED_HIDDEN);
        return 1;
    }
    if (load_training_file(s.train_file) != 0) return 1;

    auto* stats = static_cast<double*>(calloc(size_t(2) * size_t(hidden), sizeof(double)));
    if (!stats) {
        print_line("alloc for stats failed");
        store_free();
        return 1;
    }
    print_line("Collecting stats ...");
    Position& pos = tool_position();
    u64 used = 0;
    for (u64 i = 0; i < training_store.count; i++) {
        if (!decode_training_record(training_store, i, pos, nullptr)) continue;
        es.ply = PRUNE_EVAL_PLY;
        prune_collect(pos, es, stats);
        used++;
    }
    store_free();
    tool_message("collected the neurons' contributions over %llu positions", (unsigned long long)used);

    NetHeader ph = h;
    ph.hidden = PRUNED_HIDDEN;
    ph.count = u32(nn_weight_count(ph));
    auto* pruned = static_cast<i16*>(calloc(size_t(nn_weight_count(ph)), sizeof(i16)));
    std::vector<int> kept(PRUNED_HIDDEN);
    if (!pruned) {
        print_line("alloc for tmpW failed");
        free(stats);
        return 1;
    }
    if (platform::same_file(out_file, s.train_file) || (network.source[0] && platform::same_file(out_file, network.source))) {
        tool_message("%s is the training file or the loaded network: nothing written", out_file);
        free(pruned);
        free(stats);
        return 1;
    }
    print_line("Writing pruned net to %s ...", out_file);
    prune_rank(stats, hidden, PRUNED_HIDDEN, kept.data());
    prune_copy(h, network.image.weights, kept.data(), PRUNED_HIDDEN, pruned);
    const int rc = nn_write_file(out_file, ph, pruned);
    free(pruned);
    free(stats);
    if (rc != 0) {
        tool_message("can't write %s", out_file);
        return 1;
    }
    tool_message("kept %d of %d first-layer neurons in %s", PRUNED_HIDDEN, hidden, out_file);
    return 0;
}

// The training loop: samples from a record file, a validation block at its end, shuffled
// batches processed by all threads strip by strip (forward, loss, backward with Adam right
// after each strip's gradients), a loss report per epoch and a network file after each one.
#include "tools/trainer.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/output.h"
#include "core/settings.h"
#include "eval/nn.h"
#include "platform/platform.h"
#include "search/thread.h"
#include "tools/tool_io.h"
#include "tools/tools.h"
#include "tools/trainer_internal.h"

namespace {

constexpr int MAX_TRAIN_THREADS = 64;
constexpr u64 MIN_VALIDATION = 1000;
constexpr u64 CHECK_POSITIONS = 2000;
// How often training brings the output buckets back under the 32-bit limit.
constexpr int CONSTRAIN_EVERY_BATCHES = 200;

struct SpinBarrier {
    std::atomic<int> arrived{0};
    std::atomic<int> generation{0};
    int parties = 1;
    void wait() {
        const int gen = generation.load(std::memory_order_acquire);
        if (arrived.fetch_add(1, std::memory_order_acq_rel) + 1 == parties) {
            arrived.store(0, std::memory_order_relaxed);
            generation.fetch_add(1, std::memory_order_release);
            return;
        }
        while (generation.load(std::memory_order_acquire) == gen) std::this_thread::yield();
    }
};

enum Command : int { CMD_TRAIN, CMD_VALIDATE, CMD_QUIT };

struct Trainer {
    TrainerConfig cfg;
    TrainModel model{};
    AdamState adam{};
    int strips = 0;
    int threads = 1;
    // The batch in progress.
    const TrainSample** batch = nullptr;
    TrainSample* batch_copy = nullptr;  // the batch's samples side by side, for the caches
    int batch_n = 0;
    float* acc = nullptr;      // [strip][batch][2][TRAIN_STRIP]
    float* partial = nullptr;  // [thread][batch]
    float* d_out = nullptr;    // [batch]
    u8 touched[TRAIN_ROWS];
    StripGradients* grads = nullptr;  // one per thread
    float* merged = nullptr;          // [thread][TRAIN_FILE_ROWS][TRAIN_STRIP]
    double loss[MAX_TRAIN_THREADS];
    float lr = 0;
    int step = 0;
    int constrained = 0;  // output buckets scaled down by constrain_output_sums this epoch
    std::atomic<int> command{CMD_TRAIN};
    SpinBarrier barrier;
};

Trainer* active = nullptr;

void thread_strips(const Trainer& tr, int t, int* first, int* last) {
    *first = tr.strips * t / tr.threads;
    *last = tr.strips * (t + 1) / tr.threads;
}

void batch_part(Trainer& tr, int t) {
    const bool training = tr.command.load() == CMD_TRAIN;
    const int n = tr.batch_n;
    int first, last;
    thread_strips(tr, t, &first, &last);
    float* partial = tr.partial + size_t(t) * size_t(tr.cfg.batch);
    memset(partial, 0, sizeof(float) * size_t(n));
    float* merged = tr.merged + size_t(t) * TRAIN_FILE_ROWS * TRAIN_STRIP;
    for (int s = first; s < last; s++)
        strip_forward(tr.model, s, tr.batch, n, tr.acc + size_t(s) * size_t(tr.cfg.batch) * 2 * TRAIN_STRIP, partial,
                      merged);
    tr.barrier.wait();

    // Loss and output gradients for this thread's slice of the batch.
    double loss = 0;
    for (int i = n * t / tr.threads; i < n * (t + 1) / tr.threads; i++) {
        float out = 0;
        for (int k = 0; k < tr.threads; k++) out += tr.partial[size_t(k) * size_t(tr.cfg.batch) + size_t(i)];
        const float pred = 1.0f / (1.0f + std::exp(-TRAIN_SIGMOID_SLOPE * out));
        const float e = pred - tr.batch[i]->target;
        loss += double(e) * double(e);
        tr.d_out[i] = 2.0f * e * pred * (1.0f - pred) * TRAIN_SIGMOID_SLOPE / float(n);
    }
    tr.loss[t] = loss;
    tr.barrier.wait();
    if (!training) return;

    StripGradients& g = tr.grads[t];
    for (int s = first; s < last; s++) {
        strip_backward(tr.model, s, tr.batch, n, tr.acc + size_t(s) * size_t(tr.cfg.batch) * 2 * TRAIN_STRIP, tr.d_out,
                       tr.touched, g);
        strip_adam(tr.model, tr.adam, s, g, tr.touched, tr.lr, tr.step);
    }
}

void worker_main(void* arg) {
    const int t = int(reinterpret_cast<intptr_t>(arg));
    Trainer& tr = *active;
    for (;;) {
        tr.barrier.wait();
        if (tr.command.load() == CMD_QUIT) return;
        batch_part(tr, t);
        tr.barrier.wait();
    }
}

// Runs one batch on every thread; returns the summed squared error.
double run_batch(Trainer& tr, Command cmd) {
    tr.command.store(cmd);
    if (cmd == CMD_TRAIN) {
        memset(tr.touched, 0, sizeof tr.touched);
        for (int i = 0; i < tr.batch_n; i++) {
            const TrainSample& s = *tr.batch[i];
            for (int p = 0; p < 2; p++)
                for (int k = 0; k < s.count; k++) {
                    tr.touched[s.features[p][k]] = 1;
                    tr.touched[train_shared_row(s.features[p][k])] = 1;
                }
        }
        tr.step++;
    }
    tr.barrier.wait();
    batch_part(tr, 0);
    tr.barrier.wait();
    double loss = 0;
    for (int t = 0; t < tr.threads; t++) loss += tr.loss[t];
    return loss;
}

struct Random {
    u64 state;
    u64 next() {
        u64 z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

double validation_loss(Trainer& tr, const TrainSample* samples, u64 count) {
    double loss = 0;
    for (u64 at = 0; at < count;) {
        const int n = int(count - at < u64(tr.cfg.batch) ? count - at : u64(tr.cfg.batch));
        for (int i = 0; i < n; i++) tr.batch_copy[i] = samples[at + u64(i)];
        tr.batch_n = n;
        loss += run_batch(tr, CMD_VALIDATE);
        at += u64(n);
    }
    return count ? loss / double(count) : 0;
}

bool allocate_work(Trainer& tr) {
    const size_t batch = size_t(tr.cfg.batch);
    tr.batch = static_cast<const TrainSample**>(calloc(batch, sizeof(TrainSample*)));
    tr.batch_copy = static_cast<TrainSample*>(calloc(batch, sizeof(TrainSample)));
    if (!tr.batch || !tr.batch_copy) return false;
    for (size_t i = 0; i < batch; i++) tr.batch[i] = &tr.batch_copy[i];
    tr.acc = alloc_floats(size_t(tr.strips) * batch * 2 * TRAIN_STRIP);
    tr.partial = static_cast<float*>(calloc(batch * size_t(tr.threads), sizeof(float)));
    tr.d_out = static_cast<float*>(calloc(batch, sizeof(float)));
    tr.grads = static_cast<StripGradients*>(calloc(size_t(tr.threads), sizeof(StripGradients)));
    tr.merged = alloc_floats(size_t(tr.threads) * TRAIN_FILE_ROWS * TRAIN_STRIP);
    if (!tr.batch || !tr.acc || !tr.partial || !tr.d_out || !tr.grads || !tr.merged) return false;
    for (int t = 0; t < tr.threads; t++) {
        tr.grads[t].l1 = alloc_floats(size_t(TRAIN_ROWS) * TRAIN_STRIP);
        if (!tr.grads[t].l1) return false;
    }
    return true;
}

void free_work(Trainer& tr) {
    if (tr.grads)
        for (int t = 0; t < tr.threads; t++) free_floats(tr.grads[t].l1);
    free(tr.grads);
    free(tr.batch);
    free(tr.batch_copy);
    free_floats(tr.acc);
    free_floats(tr.merged);
    free(tr.partial);
    free(tr.d_out);
}

// The samples of a training file: the usable records, at most the configured number, the
// last validation_share of them (whole games, in file order) kept apart for validation. A few
// records of the validation part are kept as they are, for the check of the quantised network.
struct SampleSet {
    TrainSample* samples = nullptr;
    u64 train = 0, valid = 0;
    std::vector<u8> check_records;
};

int load_samples(const TrainerConfig& config, SampleSet& set) {
    if (load_training_file(config.train_file) != 0) return -1;
    const u64 limit = config.max_positions < training_store.count ? config.max_positions : training_store.count;
    set.samples = static_cast<TrainSample*>(malloc(size_t(limit ? limit : 1) * sizeof(TrainSample)));
    if (!set.samples) {
        tool_message("out of memory for %llu training samples", (unsigned long long)limit);
        store_free();
        return -1;
    }
    u64 refused = 0;
    const u64 total = samples_from_store(training_store, limit, tool_position(), set.samples, &refused);
    const u64 used = limit < training_store.count ? limit : training_store.count;
    const u64 checks = used < CHECK_POSITIONS ? used : CHECK_POSITIONS;
    set.check_records.assign(store_record(used - checks), store_record(used - checks) + checks * TRAINING_RECORD_BYTES);
    store_free();
    if (refused) tool_message("skipped %llu records that hold no usable position", (unsigned long long)refused);
    set.valid = u64(double(total) * double(config.validation_share));
    if (set.valid < MIN_VALIDATION) set.valid = total / 10;
    set.train = total - set.valid;
    if (set.train == 0) {
        tool_message("%s holds too few positions to train on", config.train_file);
        return -1;
    }
    return 0;
}

// Starts the model from the configured network file or from random weights.
int set_up_model(Trainer& tr) {
    if (tr.cfg.init_file) {
        if (read_network_into_model(tr.cfg.init_file, tr.model) != 0) return -1;
        tr.cfg.hidden = tr.model.hidden;
        print_line("continuing from %s", tr.cfg.init_file);
    } else {
        if (tr.cfg.hidden < TRAIN_STRIP || tr.cfg.hidden % TRAIN_STRIP || tr.cfg.hidden > int(NET_MAX_HIDDEN)) {
            tool_message("the hidden size must be a multiple of %d between %d and %u", TRAIN_STRIP, TRAIN_STRIP, NET_MAX_HIDDEN);
            return -1;
        }
        if (!alloc_model(tr.model, tr.cfg.hidden)) return -1;
        init_model(tr.model, tr.cfg.seed);
    }
    tr.strips = tr.cfg.hidden / TRAIN_STRIP;
    if (tr.threads > tr.strips) tr.threads = tr.strips;
    if (!alloc_adam(tr.adam, tr.cfg.hidden) || !allocate_work(tr)) {
        tool_message("out of memory for a network of %d hidden units", tr.cfg.hidden);
        return -1;
    }
    return 0;
}

void shuffle(u32* order, u64 n, Random& rng) {
    for (u64 i = n - 1; i > 0; i--) {
        const u64 j = rng.next() % (i + 1);
        const u32 tmp = order[i];
        order[i] = order[j];
        order[j] = tmp;
    }
}

// One pass over the shuffled training samples; returns the mean squared error seen.
double train_epoch(Trainer& tr, const SampleSet& set, const u32* order, double total_batches) {
    double loss = 0;
    for (u64 at = 0; at < set.train;) {
        const int n = int(set.train - at < u64(tr.cfg.batch) ? set.train - at : u64(tr.cfg.batch));
        for (int i = 0; i < n; i++) tr.batch_copy[i] = set.samples[order[at + u64(i)]];
        tr.batch_n = n;
        // Cosine from the full rate down to the floor over the whole run.
        const double progress = double(tr.step) / total_batches;
        tr.lr = float(tr.cfg.learning_rate *
                      (tr.cfg.lr_floor + (1.0 - tr.cfg.lr_floor) * 0.5 * (1.0 + std::cos(3.14159265358979 * progress))));
        loss += run_batch(tr, CMD_TRAIN);
        if (tr.step % CONSTRAIN_EVERY_BATCHES == 0) tr.constrained += constrain_output_sums(tr.model);
        at += u64(n);
    }
    return loss / double(set.train);
}

// Loads the network just written as the engine does and compares its scores with the float
// network's on positions of the validation part.
void check_written_network(const TrainModel& m, const char* path, const std::vector<u8>& records) {
    if (load_network(path, nullptr) != 0) return;
    EvalState& es = main_thread->eval;
    if (nn_reserve(es, m.hidden) != 0) return;
    Position& pos = tool_position();
    int checked = 0;
    double worst = 0, total = 0;
    for (size_t r = 0; r + TRAINING_RECORD_BYTES <= records.size(); r += TRAINING_RECORD_BYTES) {
        if (decode_record_position(&records[r], pos) != RECORD_OK) continue;
        TrainSample s{};
        position_features(pos, s);
        es.ply = 1;  // a rebuild every time
        const double engine = nn_evaluate(pos, es);
        double expected = std::round(double(model_output(m, s)) * TRAIN_CP_SCALE);
        expected = std::max(-2500.0, std::min(2500.0, expected));
        worst = std::max(worst, std::fabs(engine - expected));
        total += std::fabs(engine - expected);
        checked++;
    }
    unload_network();
    if (checked)
        print_line("quantised network against the float one on %d positions: largest difference %.0f cp, mean %.2f cp",
                   checked, worst, total / checked);
}

}  // namespace

int run_training(const TrainerConfig& config) {
    Trainer* trp = new Trainer;
    Trainer& tr = *trp;
    tr.cfg = config;
    if (tr.cfg.batch < 1) tr.cfg.batch = 1;
    tr.threads = config.threads < 1 ? 1 : config.threads > MAX_TRAIN_THREADS ? MAX_TRAIN_THREADS : config.threads;
    SampleSet set;
    u32* order = nullptr;
    int rc = 1;
    if (load_samples(tr.cfg, set) == 0 && set_up_model(tr) == 0 &&
        (order = static_cast<u32*>(malloc(size_t(set.train) * sizeof(u32))))) {
        for (u64 i = 0; i < set.train; i++) order[i] = u32(i);
        print_line("training on %llu positions, validating on %llu; H %d, batch %d, %d epochs, lr %g, %d threads",
                   (unsigned long long)set.train, (unsigned long long)set.valid, tr.cfg.hidden, tr.cfg.batch,
                   tr.cfg.epochs, double(tr.cfg.learning_rate), tr.threads);
        active = &tr;
        tr.barrier.parties = tr.threads;
        platform::Thread workers[MAX_TRAIN_THREADS];
        for (int t = 1; t < tr.threads; t++)
            platform::thread_start(workers[t], worker_main, reinterpret_cast<void*>(intptr_t(t)));
        Random rng{tr.cfg.seed ^ 0x5DEECE66Dull};
        const double total_batches =
            double((set.train + u64(tr.cfg.batch) - 1) / u64(tr.cfg.batch)) * double(tr.cfg.epochs);
        const TrainSample* valid = set.samples + set.train;
        print_line("epoch 0: validation loss %.6f", validation_loss(tr, valid, set.valid));
        rc = 0;
        for (int epoch = 1; epoch <= tr.cfg.epochs && rc == 0; epoch++) {
            shuffle(order, set.train, rng);
            tr.constrained = 0;
            const double started = platform::now_seconds();
            const double loss = train_epoch(tr, set, order, total_batches);
            const double seconds = platform::now_seconds() - started;
            print_line("epoch %d: train loss %.6f, validation loss %.6f, lr %.6f, %.0f positions/s", epoch, loss,
                       validation_loss(tr, valid, set.valid), double(tr.lr), double(set.train) / (seconds + 1e-9));
            tr.constrained += constrain_output_sums(tr.model);
            QuantizeReport report{};
            if (write_quantized_network(tr.model, tr.cfg.out_file, &report) != 0) {
                rc = 1;
                break;
            }
            print_line("wrote %s: %d units rescaled, %d weights clipped, %d output buckets scaled down, accumulator "
                       "bound %.3f, output bound %.3f of the limits; %d bucket scalings in training",
                       tr.cfg.out_file, report.scaled_units, report.clipped_weights, report.shrunk_buckets, report.worst_acc,
                       report.worst_output, tr.constrained);
        }
        tr.command.store(CMD_QUIT);
        tr.barrier.wait();
        for (int t = 1; t < tr.threads; t++) platform::thread_join(workers[t]);
        active = nullptr;
        if (rc == 0) check_written_network(tr.model, tr.cfg.out_file, set.check_records);
    }
    free(order);
    free(set.samples);
    free_model(tr.model);
    free_adam(tr.adam);
    free_work(tr);
    delete trp;
    return rc;
}

int run_trainer() {
    const Settings& s = settings;
    TrainerConfig c;
    c.train_file = s.train_file;
    c.max_positions = s.train_positions;
    // -o names the network file; the tools' default EPD name does not.
    c.out_file = has_extension(s.out_file, ".epd") ? "trained.nnue" : s.out_file;
    c.init_file = s.train_resume ? s.nn_file : nullptr;
    c.hidden = s.train_hidden;
    c.epochs = s.train_epochs;
    c.batch = int(s.minibatch);
    c.learning_rate = s.learning_rate;
    c.lr_floor = 0.05f;
    c.validation_share = 0.02f;
    c.threads = s.threads;
    c.seed = s.seed_given ? s.random_seed : 1;
    return run_training(c);
}

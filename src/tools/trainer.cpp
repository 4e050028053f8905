// The training loop: samples from a record file, a validation block at its end, shuffled
// batches processed by all threads strip by strip (forward, loss, backward with Adam right
// after each strip's gradients), a loss report per epoch and a network file after each one.
#include "tools/trainer.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "tools/tool_io.h"
#include "tools/tools.h"
#include "tools/trainer_internal.h"

namespace {

constexpr int MAX_TRAIN_THREADS = 64;
constexpr u64 MIN_VALIDATION = 1000;

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
    double loss[MAX_TRAIN_THREADS];
    float lr = 0;
    int step = 0;
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
    for (int s = first; s < last; s++)
        strip_forward(tr.model, s, tr.batch, n, tr.acc + size_t(s) * size_t(tr.cfg.batch) * 2 * TRAIN_STRIP, partial);
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
        for (int row = 0; row < TRAIN_ROWS; row++)
            if (tr.touched[row]) memset(g.l1 + size_t(row) * TRAIN_STRIP, 0, sizeof(float) * TRAIN_STRIP);
        strip_backward(tr.model, s, tr.batch, n, tr.acc + size_t(s) * size_t(tr.cfg.batch) * 2 * TRAIN_STRIP, tr.d_out, g);
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
                for (int k = 0; k < s.count; k++) tr.touched[s.features[p][k]] = 1;
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
    tr.acc = static_cast<float*>(aligned_alloc(64, size_t(tr.strips) * batch * 2 * TRAIN_STRIP * sizeof(float)));
    tr.partial = static_cast<float*>(calloc(batch * size_t(tr.threads), sizeof(float)));
    tr.d_out = static_cast<float*>(calloc(batch, sizeof(float)));
    tr.grads = static_cast<StripGradients*>(calloc(size_t(tr.threads), sizeof(StripGradients)));
    if (!tr.batch || !tr.acc || !tr.partial || !tr.d_out || !tr.grads) return false;
    for (int t = 0; t < tr.threads; t++) {
        const size_t bytes = size_t(TRAIN_ROWS) * TRAIN_STRIP * sizeof(float);
        tr.grads[t].l1 = static_cast<float*>(aligned_alloc(64, bytes));
        if (!tr.grads[t].l1) return false;
        memset(tr.grads[t].l1, 0, bytes);
    }
    return true;
}

void free_work(Trainer& tr) {
    if (tr.grads)
        for (int t = 0; t < tr.threads; t++) free(tr.grads[t].l1);
    free(tr.grads);
    free(tr.batch);
    free(tr.batch_copy);
    free(tr.acc);
    free(tr.partial);
    free(tr.d_out);
}

}  // namespace

int run_training(const TrainerConfig& config) {
    Trainer* trp = new Trainer;
    Trainer& tr = *trp;
    tr.cfg = config;
    if (tr.cfg.hidden < TRAIN_STRIP || tr.cfg.hidden % TRAIN_STRIP || tr.cfg.hidden > 4096) {
        tool_message("the hidden size must be a multiple of %d between %d and 4096", TRAIN_STRIP, TRAIN_STRIP);
        delete trp;
        return 1;
    }
    if (tr.cfg.batch < 1) tr.cfg.batch = 1;
    tr.threads = config.threads < 1 ? 1 : config.threads > MAX_TRAIN_THREADS ? MAX_TRAIN_THREADS : config.threads;
    tr.strips = tr.cfg.hidden / TRAIN_STRIP;
    if (tr.threads > tr.strips) tr.threads = tr.strips;

    if (load_training_file(config.train_file) != 0) {
        delete trp;
        return 1;
    }
    const u64 limit = config.max_positions < training_store.count ? config.max_positions : training_store.count;
    auto* samples = static_cast<TrainSample*>(malloc(size_t(limit ? limit : 1) * sizeof(TrainSample)));
    if (!samples) {
        tool_message("out of memory for %llu training samples", (unsigned long long)limit);
        store_free();
        delete trp;
        return 1;
    }
    u64 refused = 0;
    const u64 total = samples_from_store(training_store, limit, tool_position(), samples, &refused);
    store_free();
    if (refused) tool_message("skipped %llu records that hold no usable position", (unsigned long long)refused);
    // The validation block is the end of the file: whole games that training never sees.
    u64 valid = u64(double(total) * double(config.validation_share));
    if (valid < MIN_VALIDATION) valid = total / 10;
    const u64 train = total - valid;
    if (train == 0) {
        tool_message("%s holds too few positions to train on", config.train_file);
        free(samples);
        delete trp;
        return 1;
    }

    bool ok = alloc_model(tr.model, tr.cfg.hidden) && alloc_adam(tr.adam, tr.cfg.hidden) && allocate_work(tr);
    auto* order = static_cast<u32*>(malloc(size_t(train) * sizeof(u32)));
    if (!ok || !order) {
        tool_message("out of memory for a network of %d hidden units", tr.cfg.hidden);
        free(order), free(samples), free_model(tr.model), free_adam(tr.adam), free_work(tr);
        delete trp;
        return 1;
    }
    init_model(tr.model, config.seed);
    for (u64 i = 0; i < train; i++) order[i] = u32(i);

    print_line("training on %llu positions, validating on %llu; H %d, batch %d, %d epochs, lr %g, %d threads",
               (unsigned long long)train, (unsigned long long)valid, tr.cfg.hidden, tr.cfg.batch, tr.cfg.epochs,
               double(tr.cfg.learning_rate), tr.threads);
    active = &tr;
    tr.barrier.parties = tr.threads;
    platform::Thread workers[MAX_TRAIN_THREADS];
    for (int t = 1; t < tr.threads; t++)
        platform::thread_start(workers[t], worker_main, reinterpret_cast<void*>(intptr_t(t)));

    Random rng{config.seed ^ 0x5DEECE66Dull};
    const u64 batches_per_epoch = (train + u64(tr.cfg.batch) - 1) / u64(tr.cfg.batch);
    const double total_batches = double(batches_per_epoch) * double(tr.cfg.epochs);
    int rc = 0;
    print_line("epoch 0: validation loss %.6f", validation_loss(tr, samples + train, valid));
    for (int epoch = 1; epoch <= tr.cfg.epochs; epoch++) {
        for (u64 i = train - 1; i > 0; i--) {
            const u64 j = rng.next() % (i + 1);
            const u32 tmp = order[i];
            order[i] = order[j];
            order[j] = tmp;
        }
        const double started = platform::now_seconds();
        double loss = 0;
        for (u64 at = 0; at < train;) {
            const int n = int(train - at < u64(tr.cfg.batch) ? train - at : u64(tr.cfg.batch));
            for (int i = 0; i < n; i++) tr.batch_copy[i] = samples[order[at + u64(i)]];
            tr.batch_n = n;
            // Cosine from the full rate down to the floor over the whole run.
            const double progress = double(tr.step) / total_batches;
            tr.lr = float(config.learning_rate *
                          (config.lr_floor + (1.0 - config.lr_floor) * 0.5 * (1.0 + std::cos(3.14159265358979 * progress))));
            loss += run_batch(tr, CMD_TRAIN);
            at += u64(n);
        }
        const double seconds = platform::now_seconds() - started;
        const double vloss = validation_loss(tr, samples + train, valid);
        print_line("epoch %d: train loss %.6f, validation loss %.6f, lr %.6f, %.0f positions/s", epoch,
                   loss / double(train), vloss, double(tr.lr), double(train) / (seconds + 1e-9));
        QuantizeReport report{};
        if (write_quantized_network(tr.model, config.out_file, &report) != 0) {
            rc = 1;
            break;
        }
        print_line("wrote %s: %d units rescaled, %d weights clipped, accumulator bound %.3f, output bound %.3f of the limits",
                   config.out_file, report.scaled_units, report.clipped_weights, report.worst_acc, report.worst_output);
    }
    tr.command.store(CMD_QUIT);
    tr.barrier.wait();
    for (int t = 1; t < tr.threads; t++) platform::thread_join(workers[t]);
    active = nullptr;
    free(order);
    free(samples);
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
    if (c.init_file) {
        tool_message("-train with 1 (continue from a network) is not available yet; starting afresh");
        c.init_file = nullptr;
    }
    return run_training(c);
}

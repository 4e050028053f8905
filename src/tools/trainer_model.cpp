// The trainer's float network: allocation, initialisation, a plain reference forward pass, the
// per-strip kernels of a batch and the Adam step. Strips are TRAIN_STRIP consecutive hidden
// units; the loops over a strip are fixed-length so that the compiler vectorises them.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "tools/trainer_internal.h"

namespace {

constexpr float ADAM_BETA1 = 0.9f, ADAM_BETA2 = 0.999f, ADAM_EPSILON = 1e-8f;
constexpr size_t ALIGN = 64;

size_t l1_size(int hidden) { return size_t(TRAIN_ROWS) * size_t(hidden); }
size_t out_size(int hidden) { return size_t(TRAIN_OUTPUT_BUCKETS) * 2 * size_t(hidden); }

struct Random {
    u64 state;
    u64 next() {
        u64 z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float uniform(float limit) { return (float(next() >> 40) / float(1 << 24) * 2.0f - 1.0f) * limit; }
};

inline float leaky(float x) { return x > 0 ? x : x * TRAIN_LEAK; }

void adam_update(float* w, float* m, float* v, const float* g, int n, float step_size) {
    for (int j = 0; j < n; j++) {
        m[j] = ADAM_BETA1 * m[j] + (1 - ADAM_BETA1) * g[j];
        v[j] = ADAM_BETA2 * v[j] + (1 - ADAM_BETA2) * g[j] * g[j];
        w[j] -= step_size * m[j] / (std::sqrt(v[j]) + ADAM_EPSILON);
    }
}

}  // namespace

float* alloc_floats(size_t n) {
    const size_t bytes = (n * sizeof(float) + ALIGN - 1) / ALIGN * ALIGN;
    void* p = ::operator new[](bytes ? bytes : ALIGN, std::align_val_t(ALIGN), std::nothrow);
    if (p) memset(p, 0, bytes);
    return static_cast<float*>(p);
}

void free_floats(float* p) {
    if (p) ::operator delete[](p, std::align_val_t(ALIGN));
}

bool alloc_model(TrainModel& m, int hidden) {
    m.hidden = hidden;
    m.l1 = alloc_floats(l1_size(hidden));
    m.bias = alloc_floats(size_t(hidden));
    m.out = alloc_floats(out_size(hidden));
    if (m.l1 && m.bias && m.out) return true;
    free_model(m);
    return false;
}

void free_model(TrainModel& m) {
    free_floats(m.l1);
    free_floats(m.bias);
    free_floats(m.out);
    m.l1 = m.bias = m.out = nullptr;
}

bool alloc_adam(AdamState& a, int hidden) {
    a.m_l1 = alloc_floats(l1_size(hidden));
    a.v_l1 = alloc_floats(l1_size(hidden));
    a.m_bias = alloc_floats(size_t(hidden));
    a.v_bias = alloc_floats(size_t(hidden));
    a.m_out = alloc_floats(out_size(hidden));
    a.v_out = alloc_floats(out_size(hidden));
    if (a.m_l1 && a.v_l1 && a.m_bias && a.v_bias && a.m_out && a.v_out) return true;
    free_adam(a);
    return false;
}

void free_adam(AdamState& a) {
    for (float* p : {a.m_l1, a.v_l1, a.m_bias, a.v_bias, a.m_out, a.v_out}) free_floats(p);
    a = AdamState{};
}

void init_model(TrainModel& m, u64 seed) {
    Random rng{seed};
    // Uniform in +-1/sqrt(fan-in), the usual start for linear layers; biases start at zero.
    const float l1_limit = 1.0f / std::sqrt(768.0f);
    const float out_limit = 1.0f / std::sqrt(2.0f * float(m.hidden));
    for (size_t i = 0; i < l1_size(m.hidden); i++) m.l1[i] = rng.uniform(l1_limit);
    for (size_t i = 0; i < out_size(m.hidden); i++) m.out[i] = rng.uniform(out_limit);
    memset(m.bias, 0, sizeof(float) * size_t(m.hidden));
}

float model_output(const TrainModel& m, const TrainSample& s) {
    const int H = m.hidden;
    const float* w = m.out + size_t(s.bucket) * 2 * size_t(H);
    float out = 0;
    for (int j = 0; j < H; j++) {
        const int strip = j / TRAIN_STRIP, lane = j % TRAIN_STRIP;
        const float* rows = strip_l1(m, strip);
        for (int p = 0; p < 2; p++) {
            float acc = m.bias[j];
            for (int k = 0; k < s.count; k++) {
                const int row = s.features[p][k];
                acc += rows[size_t(row) * TRAIN_STRIP + lane];
                acc += rows[size_t(train_shared_row(row)) * TRAIN_STRIP + lane];
            }
            out += leaky(acc) * w[p * H + j];
        }
    }
    return out;
}

// Eight floats as one value: the compiler maps it to the widest vectors of the target (or to
// plain floats), with the same results everywhere since nothing is fused.
typedef float Lanes __attribute__((vector_size(32)));
constexpr int LANES = 8;
constexpr int STRIP_VECTORS = TRAIN_STRIP / LANES;
static_assert(TRAIN_STRIP % LANES == 0, "a strip is a whole number of vectors");

namespace {

inline Lanes leaky_lanes(Lanes x) { return x > 0 ? x : x * TRAIN_LEAK; }
inline float lane_sum(Lanes v) {
    float s = 0;
    for (int k = 0; k < LANES; k++) s += v[k];
    return s;
}
inline const Lanes* row_lanes(const float* base, int row) {
    return reinterpret_cast<const Lanes*>(base + size_t(row) * TRAIN_STRIP);
}

}  // namespace

// Asks for the rows of a sample ahead of their use; the strip's rows live in the second-level
// cache, so this hides its latency behind the current sample's work.
inline void prefetch_rows(const float* rows, const TrainSample& s) {
    for (int p = 0; p < 2; p++)
        for (int k = 0; k < s.count; k++) {
            const float* r = rows + size_t(s.features[p][k]) * TRAIN_STRIP;
            __builtin_prefetch(r);
            __builtin_prefetch(r + 16);
        }
}

// The accumulator of one perspective: bias plus the sample's rows, in four registers.
inline void accumulate(const float* rows, const Lanes* bias, const u16* features, int count, Lanes out[STRIP_VECTORS]) {
    static_assert(STRIP_VECTORS == 4, "four vectors per strip");
    Lanes a0 = bias[0], a1 = bias[1], a2 = bias[2], a3 = bias[3];
    for (int k = 0; k < count; k++) {
        const Lanes* r = row_lanes(rows, features[k]);
        a0 += r[0];
        a1 += r[1];
        a2 += r[2];
        a3 += r[3];
    }
    out[0] = a0, out[1] = a1, out[2] = a2, out[3] = a3;
}

void strip_forward(const TrainModel& m, int strip, const TrainSample* const* batch, int n, float* acc, float* partial,
                   float* merged) {
    const int H = m.hidden;
    // Each king-bucket row plus its shared row, once per batch, so that a sample adds one row
    // per piece instead of two.
    const float* weights = strip_l1(m, strip);
    for (int row = 0; row < TRAIN_FILE_ROWS; row++) {
        const Lanes* own = row_lanes(weights, row);
        const Lanes* shared = row_lanes(weights, train_shared_row(row));
        Lanes* out = reinterpret_cast<Lanes*>(merged + size_t(row) * TRAIN_STRIP);
        for (int v = 0; v < STRIP_VECTORS; v++) out[v] = own[v] + shared[v];
    }
    const float* rows = merged;
    const Lanes* bias = reinterpret_cast<const Lanes*>(m.bias + strip * TRAIN_STRIP);
    for (int i = 0; i < n; i++) {
        const TrainSample& s = *batch[i];
        if (i + 1 < n) prefetch_rows(rows, *batch[i + 1]);
        Lanes* store = reinterpret_cast<Lanes*>(acc + size_t(i) * 2 * TRAIN_STRIP);
        accumulate(rows, bias, s.features[0], s.count, store);
        accumulate(rows, bias, s.features[1], s.count, store + STRIP_VECTORS);
        const float* w = m.out + size_t(s.bucket) * 2 * size_t(H) + strip * TRAIN_STRIP;
        const Lanes* w_own = reinterpret_cast<const Lanes*>(w);
        const Lanes* w_other = reinterpret_cast<const Lanes*>(w + H);
        Lanes sum = {};
        for (int v = 0; v < STRIP_VECTORS; v++)
            sum += leaky_lanes(store[v]) * w_own[v] + leaky_lanes(store[STRIP_VECTORS + v]) * w_other[v];
        partial[i] += lane_sum(sum);
    }
}

void strip_backward(const TrainModel& m, int strip, const TrainSample* const* batch, int n, const float* acc,
                    const float* d_out, const u8* touched, StripGradients& g) {
    const int H = m.hidden;
    for (int row = 0; row < TRAIN_FILE_ROWS; row++)
        if (touched[row]) memset(g.l1 + size_t(row) * TRAIN_STRIP, 0, sizeof(float) * TRAIN_STRIP);
    Lanes bias[STRIP_VECTORS] = {};
    Lanes out[TRAIN_OUTPUT_BUCKETS][2][STRIP_VECTORS] = {};
    for (int i = 0; i < n; i++) {
        const TrainSample& s = *batch[i];
        const float d = d_out[i];
        if (d == 0) continue;
        const Lanes* a = reinterpret_cast<const Lanes*>(acc + size_t(i) * 2 * TRAIN_STRIP);
        const float* w = m.out + size_t(s.bucket) * 2 * size_t(H) + strip * TRAIN_STRIP;
        for (int p = 0; p < 2; p++) {
            const Lanes* wp = reinterpret_cast<const Lanes*>(w + p * H);
            Lanes da[STRIP_VECTORS];
            for (int v = 0; v < STRIP_VECTORS; v++) {
                const Lanes x = a[p * STRIP_VECTORS + v];
                out[s.bucket][p][v] += d * leaky_lanes(x);
                da[v] = (d * wp[v]) * (x > 0 ? Lanes{} + 1.0f : Lanes{} + TRAIN_LEAK);
                bias[v] += da[v];
            }
            const Lanes d0 = da[0], d1 = da[1], d2 = da[2], d3 = da[3];
            for (int k = 0; k < s.count; k++) {
                Lanes* r = reinterpret_cast<Lanes*>(g.l1 + size_t(s.features[p][k]) * TRAIN_STRIP);
                r[0] += d0;
                r[1] += d1;
                r[2] += d2;
                r[3] += d3;
            }
        }
    }
    // A shared row's gradient is the sum of its king-bucket rows' (rows not touched hold stale
    // values and count as zero).
    for (int shared = TRAIN_FILE_ROWS; shared < TRAIN_ROWS; shared++) {
        Lanes sum[STRIP_VECTORS] = {};
        for (int row = shared - TRAIN_FILE_ROWS; row < TRAIN_FILE_ROWS; row += TRAIN_SHARED_ROWS) {
            if (!touched[row]) continue;
            const Lanes* r = row_lanes(g.l1, row);
            for (int v = 0; v < STRIP_VECTORS; v++) sum[v] += r[v];
        }
        memcpy(g.l1 + size_t(shared) * TRAIN_STRIP, sum, sizeof sum);
    }
    memcpy(g.bias, bias, sizeof g.bias);
    memcpy(g.out, out, sizeof g.out);
}

void strip_adam(TrainModel& m, AdamState& a, int strip, const StripGradients& g, const u8* touched, float lr, int step) {
    const int H = m.hidden;
    const float correction = std::sqrt(1.0f - std::pow(ADAM_BETA2, float(step))) / (1.0f - std::pow(ADAM_BETA1, float(step)));
    const float step_size = lr * correction;
    const size_t base = size_t(strip) * TRAIN_ROWS * TRAIN_STRIP;
    for (int row = 0; row < TRAIN_ROWS; row++) {
        if (!touched[row]) continue;
        const size_t at = base + size_t(row) * TRAIN_STRIP;
        adam_update(m.l1 + at, a.m_l1 + at, a.v_l1 + at, g.l1 + size_t(row) * TRAIN_STRIP, TRAIN_STRIP, step_size);
    }
    const int b0 = strip * TRAIN_STRIP;
    adam_update(m.bias + b0, a.m_bias + b0, a.v_bias + b0, g.bias, TRAIN_STRIP, step_size);
    for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++)
        for (int p = 0; p < 2; p++) {
            const size_t at = size_t(b) * 2 * size_t(H) + size_t(p) * size_t(H) + size_t(b0);
            adam_update(m.out + at, a.m_out + at, a.v_out + at, g.out[b][p], TRAIN_STRIP, step_size);
        }
}

// The trainer's float network: allocation, initialisation, a plain reference forward pass, the
// per-strip kernels of a batch and the Adam step. Strips are TRAIN_STRIP consecutive hidden
// units; the loops over a strip are fixed-length so that the compiler vectorises them.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "tools/trainer_internal.h"

namespace {

constexpr float ADAM_BETA1 = 0.9f, ADAM_BETA2 = 0.999f, ADAM_EPSILON = 1e-8f;
constexpr size_t ALIGN = 64;

float* alloc_floats(size_t n) {
    const size_t bytes = (n * sizeof(float) + ALIGN - 1) / ALIGN * ALIGN;
    void* p = aligned_alloc(ALIGN, bytes);
    if (p) memset(p, 0, bytes);
    return static_cast<float*>(p);
}

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
    free(m.l1);
    free(m.bias);
    free(m.out);
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
    for (float* p : {a.m_l1, a.v_l1, a.m_bias, a.v_bias, a.m_out, a.v_out}) free(p);
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
            for (int k = 0; k < s.count; k++) acc += rows[size_t(s.features[p][k]) * TRAIN_STRIP + lane];
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

void strip_forward(const TrainModel& m, int strip, const TrainSample* const* batch, int n, float* acc, float* partial) {
    const int H = m.hidden;
    const float* rows = strip_l1(m, strip);
    const Lanes* bias = reinterpret_cast<const Lanes*>(m.bias + strip * TRAIN_STRIP);
    for (int i = 0; i < n; i++) {
        const TrainSample& s = *batch[i];
        Lanes a[2][STRIP_VECTORS];
        for (int p = 0; p < 2; p++) {
            for (int v = 0; v < STRIP_VECTORS; v++) a[p][v] = bias[v];
            for (int k = 0; k < s.count; k++) {
                const Lanes* r = row_lanes(rows, s.features[p][k]);
                for (int v = 0; v < STRIP_VECTORS; v++) a[p][v] += r[v];
            }
        }
        Lanes* store = reinterpret_cast<Lanes*>(acc + size_t(i) * 2 * TRAIN_STRIP);
        const float* w = m.out + size_t(s.bucket) * 2 * size_t(H) + strip * TRAIN_STRIP;
        const Lanes* w_own = reinterpret_cast<const Lanes*>(w);
        const Lanes* w_other = reinterpret_cast<const Lanes*>(w + H);
        Lanes sum = {};
        for (int v = 0; v < STRIP_VECTORS; v++) {
            store[v] = a[0][v];
            store[STRIP_VECTORS + v] = a[1][v];
            sum += leaky_lanes(a[0][v]) * w_own[v] + leaky_lanes(a[1][v]) * w_other[v];
        }
        partial[i] += lane_sum(sum);
    }
}

void strip_backward(const TrainModel& m, int strip, const TrainSample* const* batch, int n, const float* acc,
                    const float* d_out, StripGradients& g) {
    const int H = m.hidden;
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
            for (int k = 0; k < s.count; k++) {
                Lanes* r = reinterpret_cast<Lanes*>(g.l1 + size_t(s.features[p][k]) * TRAIN_STRIP);
                for (int v = 0; v < STRIP_VECTORS; v++) r[v] += da[v];
            }
        }
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

// Quantisation of the trained float network into the int16 network file. Each hidden unit's
// weights and bias are scaled by Q = 2048; a unit whose accumulator could leave the 16-bit range
// on some position is scaled down and its output weights up by the same factor (the leaky
// activation commutes with positive scales), so no accumulator ever saturates.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "eval/nn_format.h"
#include "tools/tool_io.h"
#include "tools/trainer_internal.h"

namespace {

constexpr int Q = 2048;
constexpr int S = 400;
constexpr int FILE_OUTPUT_GROUPS = 8;
// Room for the rounding of up to 33 terms (32 pieces and the bias), half a unit each.
constexpr double ACC_ROUNDING = 33 * 0.5;
constexpr double ACC_LIMIT = 32767.0 - 40.0;
constexpr double SUM_LIMIT = 2147483647.0;
// Where a bucket whose sum could overflow is brought, leaving room for the rounding.
constexpr double OUTPUT_SUM_TARGET = 0.999 * SUM_LIMIT;
constexpr int SQUARES = 64, PIECE_SLOTS = 12, BUCKET_ROWS = 768;

inline float raw_weight(const TrainModel& m, int row, int unit) {
    return strip_l1(m, unit / TRAIN_STRIP)[size_t(row) * TRAIN_STRIP + size_t(unit % TRAIN_STRIP)];
}
// The weight of a file row: its own row plus the row it shares with the other king bucket.
inline float l1_weight(const TrainModel& m, int row, int unit) {
    return raw_weight(m, row, unit) + raw_weight(m, TRAIN_FILE_ROWS + row % BUCKET_ROWS, unit);
}

// Bounds of a unit's accumulator over every position: each mapped square holds at most one
// of the twelve pieces and a position has at most 32 pieces.
void accumulator_bounds(const TrainModel& m, int unit, double* lo, double* hi) {
    *lo = *hi = 0;
    for (int bucket = 0; bucket < TRAIN_BUCKETS; bucket++) {
        double best[SQUARES], worst[SQUARES];
        for (int q = 0; q < SQUARES; q++) {
            best[q] = worst[q] = 0;
            for (int p = 0; p < PIECE_SLOTS; p++) {
                const double w = l1_weight(m, bucket * BUCKET_ROWS + 64 * p + q, unit);
                best[q] = std::max(best[q], w);
                worst[q] = std::min(worst[q], w);
            }
        }
        std::sort(best, best + SQUARES, [](double a, double b) { return a > b; });
        std::sort(worst, worst + SQUARES);
        double up = m.bias[unit], down = m.bias[unit];
        for (int k = 0; k < TRAIN_MAX_PIECES; k++) up += best[k], down += worst[k];
        *hi = std::max(*hi, up);
        *lo = std::min(*lo, down);
    }
}

i16 quantize(double v, int* clipped) {
    const double r = std::round(v);
    if (r > 32767) return ++*clipped, 32767;
    if (r < -32768) return ++*clipped, -32768;
    return i16(r);
}

// Largest magnitude of the 32-bit output sum of one bucket over all positions: each unit's
// activated accumulator lies between its lowest bound / 64 and its highest bound (widened by
// the rounding of the quantised terms), for both perspectives, and the sum's extremes take
// each term at its own extreme.
double output_sum_bound(const i16* weights, const std::vector<double>& acc_lo, const std::vector<double>& acc_hi, int H) {
    double up = 0, down = 0;
    for (int k = 0; k < 2 * H; k++) {
        const double q = weights[k];
        const double lo = (acc_lo[size_t(k % H)] - ACC_ROUNDING) / 64.0 - 1.0, hi = acc_hi[size_t(k % H)] + ACC_ROUNDING;
        up += std::max(lo * q, hi * q);
        down += std::min(lo * q, hi * q);
    }
    return std::max(up, -down);
}

}  // namespace

int write_quantized_network(const TrainModel& m, const char* path, QuantizeReport* report) {
    const int H = m.hidden;
    QuantizeReport r{};
    std::vector<double> scale(size_t(H), 1.0);
    std::vector<double> acc_hi(static_cast<size_t>(H), 0.0), acc_lo(static_cast<size_t>(H), 0.0);
    for (int j = 0; j < H; j++) {
        double lo, hi;
        accumulator_bounds(m, j, &lo, &hi);
        const double extreme = std::max(hi, -lo) * Q;
        if (extreme > ACC_LIMIT) {
            scale[size_t(j)] = ACC_LIMIT / extreme;
            r.scaled_units++;
        }
        acc_hi[size_t(j)] = hi * Q * scale[size_t(j)];
        acc_lo[size_t(j)] = lo * Q * scale[size_t(j)];
        r.worst_acc = std::max(r.worst_acc, std::max(acc_hi[size_t(j)], -acc_lo[size_t(j)]) / 32767.0);
    }

    const u64 l1 = u64(BUCKET_ROWS) * TRAIN_BUCKETS * u64(H), out = u64(FILE_OUTPUT_GROUPS) * 2 * u64(H),
              bias = 2 * u64(H);
    std::vector<i16> w(size_t(l1 + out + bias), 0);
    for (int row = 0; row < TRAIN_FILE_ROWS; row++)
        for (int j = 0; j < H; j++)
            w[size_t(row) * size_t(H) + size_t(j)] = quantize(double(l1_weight(m, row, j)) * Q * scale[size_t(j)], &r.clipped_weights);
    for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++) {
        const float* bucket_out = m.out + size_t(b) * 2 * size_t(H);
        i16* bucket_file = w.data() + size_t(l1) + size_t(b) * 2 * size_t(H);
        double shrink = 1.0;
        for (int attempt = 0; attempt < 2; attempt++) {
            int clipped = 0;
            for (int k = 0; k < 2 * H; k++)
                bucket_file[k] = quantize(double(bucket_out[k]) * Q * shrink / scale[size_t(k % H)], &clipped);
            const double bound = output_sum_bound(bucket_file, acc_lo, acc_hi, H);
            if (bound <= SUM_LIMIT || attempt == 1) {
                r.worst_output = std::max(r.worst_output, bound / SUM_LIMIT);
                r.clipped_weights += clipped;
                break;
            }
            // Some position could overflow the 32-bit sum: this bucket's scores are scaled down.
            shrink = OUTPUT_SUM_TARGET / bound;
            r.shrunk_buckets++;
        }
    }
    for (int p = 0; p < 2; p++)
        for (int j = 0; j < H; j++)
            w[size_t(l1 + out) + size_t(p) * size_t(H) + size_t(j)] = quantize(double(m.bias[j]) * Q * scale[size_t(j)], &r.clipped_weights);
    if (report) *report = r;

    NetHeader h{};
    h.kind = NET_KIND_KING_RANK;
    h.out_scale = Q;
    h.aux_scale = Q;
    h.cp_scale = S;
    h.buckets = TRAIN_BUCKETS;
    h.field5 = 5;
    h.hidden = u32(H);
    h.field9 = 5;
    h.count = u32(w.size());
    if (nn_write_file(path, h, w.data()) != 0) {
        tool_message("error writing %s", path);
        return -1;
    }
    return 0;
}

int read_network_into_model(const char* path, TrainModel& m) {
    NetImage image{};
    const char* fault = nullptr;
    const int rc = nn_read_file(path, image, &fault);
    if (rc != NET_READ_OK) {
        tool_message("can't use %s to continue from (%s)", path, fault ? fault : "unreadable or wrong length");
        return -1;
    }
    const NetHeader& h = image.header;
    const int H = int(h.hidden);
    if (h.buckets != TRAIN_BUCKETS || h.kind == NET_KIND_OPPOSITE_WINGS || H % TRAIN_STRIP != 0) {
        tool_message("%s has a shape the trainer does not train (B %u, kind %u, H %d)", path, h.buckets, h.kind, H);
        nn_free(image);
        return -1;
    }
    if (!alloc_model(m, H)) {
        tool_message("out of memory for a network of %d hidden units", H);
        nn_free(image);
        return -1;
    }
    const float q = float(h.out_scale);
    const i16* l1 = image.weights;
    const i16* out = l1 + nn_l1_count(h);
    const i16* bias = out + nn_output_count(h);
    // The file's rows carry everything; the shared rows start at zero.
    for (int row = 0; row < TRAIN_FILE_ROWS; row++)
        for (int j = 0; j < H; j++)
            strip_l1(m, j / TRAIN_STRIP)[size_t(row) * TRAIN_STRIP + size_t(j % TRAIN_STRIP)] = float(l1[size_t(row) * size_t(H) + size_t(j)]) / q;
    for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++)
        for (int k = 0; k < 2 * H; k++) m.out[size_t(b) * 2 * size_t(H) + size_t(k)] = float(out[size_t(b) * 2 * size_t(H) + size_t(k)]) / q;
    // The trainer shares one bias between the perspectives.
    for (int j = 0; j < H; j++) m.bias[j] = (float(bias[j]) + float(bias[H + j])) / (2 * q);
    nn_free(image);
    return 0;
}

// Quantisation of the trained float network into the int16 network file. Each hidden unit's
// weights and bias are scaled by Q = 2048; a unit whose accumulator could leave the 16-bit range
// on some position is scaled down and its output weights up by the same factor (the leaky
// activation commutes with positive scales), so no accumulator ever saturates. An output
// bucket whose 32-bit sum could overflow on some position is scaled down until it cannot;
// training keeps its buckets under that limit with constrain_output_sums, so that trained
// networks need no such scaling.
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
constexpr int MAX_SHRINK_ATTEMPTS = 16;
// Where training keeps each bucket's bound, so that the file needs no shrinking.
constexpr double CONSTRAIN_TARGET = 0.98;
constexpr int SQUARES = 64, PIECE_SLOTS = 12, BUCKET_ROWS = 768;

inline float raw_weight(const TrainModel& m, int row, int unit) {
    return strip_l1(m, unit / TRAIN_STRIP)[size_t(row) * TRAIN_STRIP + size_t(unit % TRAIN_STRIP)];
}
// The weight of a file row: its own row plus the row it shares with the other king bucket.
inline float l1_weight(const TrainModel& m, int row, int unit) {
    return raw_weight(m, row, unit) + raw_weight(m, train_shared_row(row), unit);
}

// Sum of the TRAIN_MAX_PIECES largest of 64 per-square values: the most a position (at most one
// piece per square, at most 32 pieces) can add to a linear function of its features.
double largest_pieces_sum(double* per_square) {
    std::partial_sort(per_square, per_square + TRAIN_MAX_PIECES, per_square + SQUARES, [](double a, double b) { return a > b; });
    double sum = 0;
    for (int k = 0; k < TRAIN_MAX_PIECES; k++) sum += per_square[k];
    return sum;
}

// Lowest and highest accumulator of one unit over the positions of one king bucket, from its
// weight for each feature of the bucket (piece slot * 64 + mapped square): each square holds
// at most one of the twelve pieces and a position has at most 32 pieces.
template <class Weight>
void unit_range(double bias, Weight weight, double* lo, double* hi) {
    double best[SQUARES], worst[SQUARES];  // per square: the largest weight, the most negative one negated
    for (int q = 0; q < SQUARES; q++) {
        best[q] = worst[q] = 0;
        for (int p = 0; p < PIECE_SLOTS; p++) {
            const double w = weight(64 * p + q);
            best[q] = std::max(best[q], w);
            worst[q] = std::max(worst[q], -w);
        }
    }
    *lo = bias - largest_pieces_sum(worst);
    *hi = bias + largest_pieces_sum(best);
}

// Bounds of a unit's float accumulator over every position, in either king bucket.
void accumulator_bounds(const TrainModel& m, int unit, double* lo, double* hi) {
    *lo = *hi = 0;
    for (int bucket = 0; bucket < TRAIN_BUCKETS; bucket++) {
        double down, up;
        unit_range(m.bias[unit], [&](int f) { return double(l1_weight(m, bucket * BUCKET_ROWS + f, unit)); }, &down, &up);
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

// A second bound on the same sum, often tighter (by about a fifth on our trained networks, by
// half where units oppose one another). Each term w * act(acc) is bounded by a
// line in acc over the unit's accumulator range (the chord of the convex activation on one
// side, a line through zero with a slope between 1/64 and 1 on the other), so the whole sum is
// bounded by a linear function of the features, whose largest value over positions (one piece
// per mapped square, at most 32 pieces, either king bucket) is found per square. Unlike the
// per-unit bound it lets the units' extremes cancel where no position reaches them together.
// Terms are integers from the file's own weights; the integer activation lies in
// [act(x), act(x) + 1).
struct LinearTerms {
    std::vector<double> slope;  // per unit
    double constant = 0;        // sum of the lines' constants and of slope * bias
};

// Largest value over positions of the linear function t for one perspective and king bucket.
double linear_feature_max(const i16* l1, int bucket, int H, const LinearTerms& t) {
    double best[SQUARES];
    for (int q = 0; q < SQUARES; q++) best[q] = 0;
    for (int p = 0; p < PIECE_SLOTS; p++)
        for (int q = 0; q < SQUARES; q++) {
            const i16* row = l1 + size_t(bucket * BUCKET_ROWS + 64 * p + q) * size_t(H);
            double v = 0;
            for (int j = 0; j < H; j++) v += t.slope[size_t(j)] * row[j];
            best[q] = std::max(best[q], v);
        }
    return t.constant + largest_pieces_sum(best);
}

// Each unit's exact accumulator range in each king bucket, from the file's integer weights and
// biases, which the trainer writes the same for both perspectives: [bucket][unit].
struct AccumulatorRanges {
    std::vector<double> lo[TRAIN_BUCKETS], hi[TRAIN_BUCKETS];
};

void accumulator_ranges(const i16* l1, const i16* bias, int H, AccumulatorRanges& r) {
    for (int bucket = 0; bucket < TRAIN_BUCKETS; bucket++) {
        r.lo[bucket].assign(size_t(H), 0.0);
        r.hi[bucket].assign(size_t(H), 0.0);
        for (int j = 0; j < H; j++)
            unit_range(
                bias[j], [&](int f) { return double(l1[size_t(bucket * BUCKET_ROWS + f) * size_t(H) + size_t(j)]); },
                &r.lo[bucket][size_t(j)], &r.hi[bucket][size_t(j)]);
    }
}

// Upper bound of sign * sum_j w_j * act(acc_j) for one perspective (weights w, biases b).
double linear_perspective_bound(const i16* l1, const i16* bias, const i16* w, int H, int sign,
                                const AccumulatorRanges& ranges) {
    double result = -1e300;
    LinearTerms t;
    t.slope.assign(size_t(H), 0.0);
    for (int bucket = 0; bucket < TRAIN_BUCKETS; bucket++) {
        t.constant = 0;
        for (int j = 0; j < H; j++) {
            const double lo = ranges.lo[bucket][size_t(j)], hi = ranges.hi[bucket][size_t(j)];
            // Chord of act over [lo, hi]: act(x) <= c0 + c1 x there; act(x) >= c1 x everywhere.
            double c1, c0;
            if (lo >= 0) c1 = 1, c0 = 0;
            else if (hi <= 0) c1 = 1.0 / 64, c0 = 0;
            else c1 = (hi - lo / 64) / (hi - lo), c0 = lo / 64 - c1 * lo;
            const double weight = sign * double(w[j]);
            // weight * act_int(x) <= weight * (chord + 1) for a positive weight, <= weight * c1 x
            // for a negative one.
            const double constant = weight > 0 ? weight * (c0 + 1) : 0;
            t.slope[size_t(j)] = weight * c1;
            t.constant += constant + weight * c1 * bias[j];
        }
        result = std::max(result, linear_feature_max(l1, bucket, H, t));
    }
    return result;
}

// `bias` is the one bias vector that the file holds for both perspectives.
double linear_output_bound(const i16* l1, const i16* bias, const i16* weights, int H, const AccumulatorRanges& ranges) {
    double up = 0, down = 0;
    for (int p = 0; p < 2; p++) {
        const i16* w = weights + size_t(p) * size_t(H);
        up += linear_perspective_bound(l1, bias, w, H, 1, ranges);
        down += linear_perspective_bound(l1, bias, w, H, -1, ranges);
    }
    // A margin for the floating-point sums.
    return std::max({up, down, 0.0}) + 1024.0;
}

// The quantised weights of a model, and what the output-bucket bounds need.
struct QuantizedNet {
    int hidden = 0;
    u64 l1 = 0, out = 0;
    std::vector<i16> w;
    std::vector<double> scale, acc_lo, acc_hi;
    AccumulatorRanges ranges;  // from the file's weights; both perspectives share the bias
    QuantizeReport report{};
};

// First layer and biases: each unit scaled so that its accumulator stays inside 16 bits.
void quantize_hidden(const TrainModel& m, QuantizedNet& n) {
    const int H = m.hidden;
    QuantizeReport& r = n.report;
    n.hidden = H;
    n.scale.assign(size_t(H), 1.0);
    n.acc_hi.assign(size_t(H), 0.0);
    n.acc_lo.assign(size_t(H), 0.0);
    for (int j = 0; j < H; j++) {
        double lo, hi;
        accumulator_bounds(m, j, &lo, &hi);
        const double extreme = std::max(hi, -lo) * Q;
        if (extreme > ACC_LIMIT) {
            n.scale[size_t(j)] = ACC_LIMIT / extreme;
            r.scaled_units++;
        }
        n.acc_hi[size_t(j)] = hi * Q * n.scale[size_t(j)];
        n.acc_lo[size_t(j)] = lo * Q * n.scale[size_t(j)];
        r.worst_acc = std::max(r.worst_acc, std::max(n.acc_hi[size_t(j)], -n.acc_lo[size_t(j)]) / 32767.0);
    }
    n.l1 = u64(BUCKET_ROWS) * TRAIN_BUCKETS * u64(H);
    n.out = u64(FILE_OUTPUT_GROUPS) * 2 * u64(H);
    n.w.assign(size_t(n.l1 + n.out + 2 * u64(H)), 0);
    for (int row = 0; row < TRAIN_FILE_ROWS; row++)
        for (int j = 0; j < H; j++)
            n.w[size_t(row) * size_t(H) + size_t(j)] =
                quantize(double(l1_weight(m, row, j)) * Q * n.scale[size_t(j)], &r.clipped_weights);
    for (int p = 0; p < 2; p++)
        for (int j = 0; j < H; j++)
            n.w[size_t(n.l1 + n.out) + size_t(p) * size_t(H) + size_t(j)] =
                quantize(double(m.bias[j]) * Q * n.scale[size_t(j)], &r.clipped_weights);
    accumulator_ranges(n.w.data(), n.w.data() + size_t(n.l1 + n.out), H, n.ranges);
}

// Quantises output bucket b of the model scaled by `shrink` into the file weights; returns the
// bound of its 32-bit sum.
double quantize_bucket(const TrainModel& m, QuantizedNet& n, int b, double shrink, int* clipped) {
    const int H = n.hidden;
    const float* bucket_out = m.out + size_t(b) * 2 * size_t(H);
    i16* bucket_file = n.w.data() + size_t(n.l1) + size_t(b) * 2 * size_t(H);
    for (int k = 0; k < 2 * H; k++)
        bucket_file[k] = quantize(double(bucket_out[k]) * Q * shrink / n.scale[size_t(k % H)], clipped);
    return std::min(output_sum_bound(bucket_file, n.acc_lo, n.acc_hi, H),
                    linear_output_bound(n.w.data(), n.w.data() + size_t(n.l1 + n.out), bucket_file, H, n.ranges));
}

}  // namespace

int constrain_output_sums(TrainModel& m) {
    QuantizedNet n;
    quantize_hidden(m, n);
    int constrained = 0;
    for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++) {
        // Repeated while clipped weights hide part of the bound.
        for (int attempt = 0; attempt < MAX_SHRINK_ATTEMPTS; attempt++) {
            int clipped = 0;
            const double bound = quantize_bucket(m, n, b, 1.0, &clipped);
            if (bound <= CONSTRAIN_TARGET * SUM_LIMIT) break;
            const float factor = float(CONSTRAIN_TARGET * SUM_LIMIT / bound);
            for (int k = 0; k < 2 * m.hidden; k++) m.out[size_t(b) * 2 * size_t(m.hidden) + size_t(k)] *= factor;
            if (attempt == 0) constrained++;
        }
    }
    return constrained;
}

int write_quantized_network(const TrainModel& m, const char* path, QuantizeReport* report) {
    const int H = m.hidden;
    QuantizedNet n;
    quantize_hidden(m, n);
    QuantizeReport& r = n.report;
    for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++) {
        double shrink = 1.0;
        // Clipped weights make a bound smaller than the unclipped weights would give, so the
        // shrink is repeated until the bound holds.
        for (int attempt = 0; attempt < MAX_SHRINK_ATTEMPTS; attempt++) {
            int clipped = 0;
            const double bound = quantize_bucket(m, n, b, shrink, &clipped);
            if (bound <= SUM_LIMIT || attempt == MAX_SHRINK_ATTEMPTS - 1) {
                r.worst_output = std::max(r.worst_output, bound / SUM_LIMIT);
                r.clipped_weights += clipped;
                break;
            }
            // Some position could overflow the 32-bit sum: this bucket's scores are scaled down.
            shrink *= OUTPUT_SUM_TARGET / bound;
            if (attempt == 0) r.shrunk_buckets++;
        }
    }
    if (report) *report = r;
    const std::vector<i16>& w = n.w;

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

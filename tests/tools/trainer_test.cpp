// The trainer: its fast kernels against the plain forward pass and against numerical
// gradients, the quantised file against the float network, and a small run that learns.
#include "tools/trainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "engine/process_util.h"
#include "tools/trainer_internal.h"
#include "tools_test_util.h"

using namespace tools_test;

namespace {

// Samples of the perft-suite positions (or a few fixed ones when the data is absent).
std::vector<TrainSample> suite_samples() {
    std::vector<std::string> fens = {START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                                     "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", "4k3/8/8/8/8/8/8/R3K3 b Q -"};
    std::ifstream in(shared_path("testdata/perft/standard.epd"));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') fens.push_back(line.substr(0, line.find(';')));
    std::vector<TrainSample> out;
    auto b = make_board();
    for (auto& f : fens) {
        set_fen(b->pos, f.c_str());
        TrainSample s{};
        position_features(b->pos, s);
        s.target = 0.25f + 0.5f * float(out.size() % 3) / 2.0f;
        out.push_back(s);
    }
    return out;
}

struct Model {
    TrainModel m{};
    explicit Model(int hidden, u64 seed = 3) {
        EXPECT_TRUE(alloc_model(m, hidden));
        init_model(m, seed);
        for (int j = 0; j < hidden; j++) m.bias[j] = 0.01f * float((j * 7) % 11 - 5);
    }
    ~Model() { free_model(m); }
};

float loss_of(const TrainModel& m, const TrainSample& s) {
    const float pred = 1.0f / (1.0f + std::exp(-TRAIN_SIGMOID_SLOPE * model_output(m, s)));
    return (pred - s.target) * (pred - s.target);
}

// The gradient of the loss of one sample for every parameter, by the strip kernels.
struct Gradients {
    std::vector<float> l1, bias, out;
};
Gradients kernel_gradients(const TrainModel& m, const TrainSample& s) {
    const int strips = m.hidden / TRAIN_STRIP;
    Gradients g{std::vector<float>(size_t(TRAIN_ROWS) * size_t(m.hidden)), std::vector<float>(size_t(m.hidden)),
                std::vector<float>(size_t(TRAIN_OUTPUT_BUCKETS) * 2 * size_t(m.hidden))};
    const TrainSample* batch[1] = {&s};
    float* acc = alloc_floats(size_t(strips) * 2 * TRAIN_STRIP);
    float partial = 0;
    float* merged = alloc_floats(size_t(TRAIN_FILE_ROWS) * TRAIN_STRIP);
    for (int k = 0; k < strips; k++) strip_forward(m, k, batch, 1, acc + size_t(k) * 2 * TRAIN_STRIP, &partial, merged);
    free_floats(merged);
    const float pred = 1.0f / (1.0f + std::exp(-TRAIN_SIGMOID_SLOPE * partial));
    const float d = 2.0f * (pred - s.target) * pred * (1 - pred) * TRAIN_SIGMOID_SLOPE;
    StripGradients sg{};
    sg.l1 = alloc_floats(size_t(TRAIN_ROWS) * TRAIN_STRIP);
    const std::vector<u8> touched(TRAIN_ROWS, 1);
    for (int k = 0; k < strips; k++) {
        // Stale values in the gradient rows must not leak into the result.
        for (size_t i = 0; i < size_t(TRAIN_ROWS) * TRAIN_STRIP; i++) sg.l1[i] = 1e3f;
        strip_backward(m, k, batch, 1, acc + size_t(k) * 2 * TRAIN_STRIP, &d, touched.data(), sg);
        for (int row = 0; row < TRAIN_ROWS; row++)
            for (int j = 0; j < TRAIN_STRIP; j++)
                g.l1[size_t(row) * size_t(m.hidden) + size_t(k * TRAIN_STRIP + j)] = sg.l1[size_t(row) * TRAIN_STRIP + size_t(j)];
        for (int j = 0; j < TRAIN_STRIP; j++) {
            g.bias[size_t(k * TRAIN_STRIP + j)] = sg.bias[j];
            for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++)
                for (int p = 0; p < 2; p++)
                    g.out[size_t(b) * 2 * size_t(m.hidden) + size_t(p) * size_t(m.hidden) + size_t(k * TRAIN_STRIP + j)] =
                        sg.out[b][p][j];
        }
    }
    free_floats(sg.l1);
    free_floats(acc);
    return g;
}

float& l1_at(TrainModel& m, int row, int unit) {
    return strip_l1(m, unit / TRAIN_STRIP)[size_t(row) * TRAIN_STRIP + size_t(unit % TRAIN_STRIP)];
}

}  // namespace

TEST(Trainer, StripKernelsMatchThePlainForwardPass) {
    Model model(64);
    const auto samples = suite_samples();
    std::vector<const TrainSample*> batch;
    for (auto& s : samples) batch.push_back(&s);
    const int n = int(batch.size());
    std::vector<float> partial(size_t(n), 0.0f);
    float* acc = alloc_floats(size_t(n) * 2 * TRAIN_STRIP);
    float* merged = alloc_floats(size_t(TRAIN_FILE_ROWS) * TRAIN_STRIP);
    for (int k = 0; k < 2; k++) strip_forward(model.m, k, batch.data(), n, acc, partial.data(), merged);
    free_floats(merged);
    free_floats(acc);
    for (int i = 0; i < n; i++) EXPECT_NEAR(partial[size_t(i)], model_output(model.m, samples[size_t(i)]), 1e-4) << i;
}

TEST(Trainer, KernelGradientsMatchNumericalOnes) {
    Model model(64);
    const auto samples = suite_samples();
    const TrainSample& s = samples[1];
    const Gradients g = kernel_gradients(model.m, s);
    const float h = 1e-3f;
    auto numeric = [&](float& w) {
        const float keep = w;
        w = keep + h;
        const double up = loss_of(model.m, s);
        w = keep - h;
        const double down = loss_of(model.m, s);
        w = keep;
        return (up - down) / (2.0 * h);
    };
    int checked = 0;
    for (int unit : {0, 17, 40, 63}) {
        for (int p = 0; p < 2; p++) {
            const int row = s.features[p][unit % s.count];
            EXPECT_NEAR(g.l1[size_t(row) * 64 + size_t(unit)], numeric(l1_at(model.m, row, unit)), 2e-4) << unit;
            const int shared = train_shared_row(row);
            EXPECT_NEAR(g.l1[size_t(shared) * 64 + size_t(unit)], numeric(l1_at(model.m, shared, unit)), 2e-4) << unit;
            float& w = model.m.out[size_t(s.bucket) * 128 + size_t(p) * 64 + size_t(unit)];
            EXPECT_NEAR(g.out[size_t(s.bucket) * 128 + size_t(p) * 64 + size_t(unit)], numeric(w), 2e-4);
            checked++;
        }
        EXPECT_NEAR(g.bias[size_t(unit)], numeric(model.m.bias[unit]), 2e-4);
    }
    // Rows of features the sample does not have get no gradient.
    EXPECT_EQ(g.l1[size_t(767) * 64], 0.0f);
    EXPECT_EQ(checked, 8);
}

TEST(Trainer, QuantisedNetworkStaysInRangeAndAgreesWithTheFloatOne) {
    Model model(32);
    // Inflate one unit so that its accumulator could leave 16 bits: the quantiser must rescale it.
    for (int row = 0; row < TRAIN_ROWS; row++) l1_at(model.m, row, 5) *= 40.0f;
    TempDir dir;
    QuantizeReport report{};
    ASSERT_EQ(write_quantized_network(model.m, (dir / "q.nnue").c_str(), &report), 0);
    EXPECT_GE(report.scaled_units, 1);
    EXPECT_LE(report.worst_acc, 1.0);
    EXPECT_LT(report.worst_output, 1.0);
    EXPECT_EQ(report.clipped_weights, 0);
    const std::string bytes = read_file(dir / "q.nnue");
    const int H = 32;
    ASSERT_EQ(bytes.size(), 24u + 2u * (768u * 2 * H + 16 * H + 2 * H));
    auto word = [&](size_t i) { return int(i16(u16(u8(bytes[24 + 2 * i]) | (u8(bytes[25 + 2 * i]) << 8)))); };
    EXPECT_EQ(u8(bytes[0]) | (u8(bytes[1]) << 8), 752);
    EXPECT_EQ(u8(bytes[12]) | (u8(bytes[13]) << 8), H);
    // Integer evaluation of the file, as the engine computes it, against the float network.
    const size_t l1 = 768 * 2 * H, out = l1, bias = l1 + 16 * H;
    for (const TrainSample& s : suite_samples()) {
        long long sum = 0;
        for (int p = 0; p < 2; p++) {
            for (int j = 0; j < H; j++) {
                int acc = word(bias + size_t(p) * H + size_t(j));
                for (int k = 0; k < s.count; k++) acc += word(size_t(s.features[p][k]) * H + size_t(j));
                ASSERT_LE(std::abs(acc), 32767);
                const int a = acc < 0 ? acc / 64 : acc;
                sum += (long long)a * word(out + size_t(s.bucket) * 2 * H + size_t(p) * H + size_t(j));
            }
        }
        const double cp = double(sum) / (2048.0 * 2048.0) * 400.0;
        EXPECT_NEAR(cp, 400.0 * model_output(model.m, s), 3.0);
    }
}

TEST(Trainer, OutputBucketsThatCouldOverflowAreScaledDown) {
    Model model(64);
    // Output weights this large let some position overflow the 32-bit sum of bucket 2.
    for (int k = 0; k < 128; k++) model.m.out[2 * 128 + k] = 12.0f * (k % 3 == 0 ? -1.0f : 1.0f);
    TempDir dir;
    QuantizeReport report{};
    ASSERT_EQ(write_quantized_network(model.m, (dir / "q.nnue").c_str(), &report), 0);
    EXPECT_EQ(report.shrunk_buckets, 1);
    EXPECT_LE(report.worst_output, 1.0);
    EXPECT_EQ(report.clipped_weights, 0);
    // Training's constraint brings the bucket under the limit itself, once; the file then needs
    // no shrinking.
    EXPECT_EQ(constrain_output_sums(model.m), 1);
    EXPECT_EQ(constrain_output_sums(model.m), 0);
    ASSERT_EQ(write_quantized_network(model.m, (dir / "q.nnue").c_str(), &report), 0);
    EXPECT_EQ(report.shrunk_buckets, 0);
    EXPECT_LE(report.worst_output, 0.99);
    // Weights so large that they clip hide part of the bound at first; the file must still
    // hold it.
    for (int k = 0; k < 128; k++) model.m.out[2 * 128 + k] = 400.0f * (k % 3 == 0 ? -1.0f : 1.0f);
    ASSERT_EQ(write_quantized_network(model.m, (dir / "q.nnue").c_str(), &report), 0);
    EXPECT_EQ(report.shrunk_buckets, 1);
    EXPECT_LE(report.worst_output, 1.0);
}

// The largest |sum| an adversary finds for one output bucket of a network file: per perspective
// and king bucket, coordinate ascent over feature sets (one of 12 pieces or none per square,
// at most 32 pieces), which includes every legal position.
double adversary_output_sum(const std::vector<int>& file, int H, int bucket) {
    const size_t out = size_t(768) * 2 * size_t(H), bias = out + 16 * size_t(H);
    double best_total[2] = {0, 0};
    for (int sign = 1; sign >= -1; sign -= 2) {
        for (int p = 0; p < 2; p++) {
            double best = -1e300;
            for (int kb = 0; kb < 2; kb++) {
                std::vector<int> piece(64, -1);
                auto value = [&]() {
                    double v = 0;
                    for (int j = 0; j < H; j++) {
                        int acc = file[bias + size_t(p * H + j)];
                        for (int q = 0; q < 64; q++)
                            if (piece[size_t(q)] >= 0) acc += file[size_t(kb * 768 + 64 * piece[size_t(q)] + q) * size_t(H) + size_t(j)];
                        v += double(acc < 0 ? acc / 64 : acc) * file[out + size_t(bucket * 2 * H + p * H + j)];
                    }
                    return sign * v;
                };
                for (int sweep = 0; sweep < 3; sweep++)
                    for (int q = 0; q < 64; q++) {
                        int count = 0;
                        for (int x : piece) count += x >= 0;
                        int choice = piece[size_t(q)];
                        double top = value();
                        for (int option = -1; option < 12; option++) {
                            if (option >= 0 && piece[size_t(q)] < 0 && count >= 32) break;
                            piece[size_t(q)] = option;
                            const double v = value();
                            if (v > top) top = v, choice = option;
                        }
                        piece[size_t(q)] = choice;
                    }
                best = std::max(best, value());
            }
            best_total[sign > 0 ? 0 : 1] += best;
        }
    }
    return std::max(best_total[0], best_total[1]);
}

TEST(Trainer, OutputSumBoundLetsOpposedUnitsCancelAndHoldsAgainstAnAdversary) {
    const int H = 32;
    Model model(H);
    // Units in opposed pairs: when one is high the other is low, so no position drives both
    // to their extremes. Bounding each unit by its own extreme would scale this network down.
    for (int j = 0; j < H; j += 2) {
        for (int row = 0; row < TRAIN_ROWS; row++) {
            l1_at(model.m, row, j) *= 30.0f;  // accumulators near the 16-bit limit
            l1_at(model.m, row, j + 1) = -l1_at(model.m, row, j);
        }
        model.m.bias[j] = model.m.bias[j + 1] = 0;
    }
    TempDir dir;
    auto write_and_read = [&](float c, QuantizeReport& report) {
        for (int k = 0; k < TRAIN_OUTPUT_BUCKETS * 2 * H; k++) model.m.out[k] = c;
        EXPECT_EQ(write_quantized_network(model.m, (dir / "q.nnue").c_str(), &report), 0);
        const std::string bytes = read_file(dir / "q.nnue");
        std::vector<int> file((bytes.size() - 24) / 2);
        for (size_t i = 0; i < file.size(); i++) file[i] = int(i16(u16(u8(bytes[24 + 2 * i]) | (u8(bytes[25 + 2 * i]) << 8))));
        return file;
    };
    QuantizeReport report{};
    std::vector<int> file = write_and_read(0.01f, report);
    ASSERT_EQ(report.clipped_weights, 0);
    // Each unit on its own extreme, from the file: the bound that ignores the pairing.
    double separate = 0;
    for (int j = 0; j < H; j++) {
        double unit = 0;
        for (int kb = 0; kb < 2; kb++) {
            std::vector<int> top(64, 0);
            for (int q = 0; q < 64; q++)
                for (int piece = 0; piece < 12; piece++)
                    top[size_t(q)] = std::max(top[size_t(q)], file[size_t(kb * 768 + 64 * piece + q) * H + size_t(j)]);
            std::sort(top.begin(), top.end(), std::greater<int>());
            double hi = 0;
            for (int k = 0; k < 32; k++) hi += top[size_t(k)];
            unit = std::max(unit, 2 * hi * file[size_t(768 * 2 * H) + size_t(j)]);
        }
        separate += unit;
    }
    ASSERT_GT(separate, 0);
    // Output weights at which the separate bound is 1.5 times the 32-bit limit.
    const float c = float(0.01 * 1.5 * 2147483647.0 / separate);
    file = write_and_read(c, report);
    EXPECT_EQ(report.shrunk_buckets, 0);
    EXPECT_LT(report.worst_output, 1.0);
    EXPECT_EQ(report.clipped_weights, 0);
    for (int b = 0; b < TRAIN_OUTPUT_BUCKETS; b++) {
        const double found = adversary_output_sum(file, H, b);
        EXPECT_LE(found, report.worst_output * 2147483647.0) << b;
        EXPECT_GT(found, 0.1 * report.worst_output * 2147483647.0) << b;  // not a vacuous bound
    }
}

TEST(Trainer, ShortRunOnSelfPlayDataLearns) {
    TempDir dir;
    auto run = [&](const std::vector<std::string>& args) { return run_engine(args, "", 300.0, dir.path); };
    ASSERT_EQ(run({"-selfplay", "30", "g.pgn", "-n", "200", "-seed", "3", "-use_hce"}).exit_code, 0);
    ASSERT_EQ(run({"-scan_pgn", "g.pgn", "-o", "g.epd"}).exit_code, 0);
    ASSERT_EQ(run({"-epd2bin", "g.epd"}).exit_code, 0);
    auto r = run({"-train", "g.bin", "1", "-hidden", "32", "-epochs", "4", "-mbatch", "256", "-lr", "0.003",
                  "-threads", "2", "-o", "g.nnue"});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    auto loss_at = [&](const std::string& epoch, const std::string& which) {
        const size_t at = r.out.find("epoch " + epoch + ": ");
        EXPECT_NE(at, std::string::npos) << r.out;
        const size_t v = r.out.find(which + " loss ", at);
        return std::stod(r.out.substr(v + which.size() + 6));
    };
    // Thirty games are few: the training loss must fall clearly; the validation loss of the
    // games held out must not grow much.
    EXPECT_LT(loss_at("4", "train"), loss_at("1", "train") * 0.6) << r.out;
    EXPECT_LT(loss_at("4", "validation"), loss_at("0", "validation") * 1.1) << r.out;
    EXPECT_GT(read_file(dir / "g.nnue").size(), 24u);
}

// The network trainer: float training with Adam on the exact shape the engine evaluates
// (768 features per king bucket and perspective, two accumulators of H units sharing one bias,
// leaky activation with slope 1/64, five output buckets by material, no output bias), then
// quantisation into the int16 network file.
#pragma once

#include "board/position.h"
#include "core/types.h"

// Width of the hidden-unit strips that one thread owns during a batch.
constexpr int TRAIN_STRIP = 32;
constexpr int TRAIN_BUCKETS = 2;             // king buckets
constexpr int TRAIN_FILE_ROWS = 768 * TRAIN_BUCKETS;  // first-layer rows of the network file
// While training, each feature also activates a row shared by both king buckets (the same
// piece on the same mapped square), so that what one bucket learns helps the other; the
// shared row is added into both buckets' rows when the network is written.
constexpr int TRAIN_SHARED_ROWS = 768;
constexpr int TRAIN_ROWS = TRAIN_FILE_ROWS + TRAIN_SHARED_ROWS;
// The shared row of a king-bucket row.
constexpr int train_shared_row(int row) { return TRAIN_FILE_ROWS + row % TRAIN_SHARED_ROWS; }
constexpr int TRAIN_OUTPUT_BUCKETS = 5;
constexpr int TRAIN_MAX_PIECES = 32;
constexpr float TRAIN_LEAK = 1.0f / 64.0f;
// The network's output is in units of 400 centipawns and W has a slope of 0.006 per
// centipawn, so the prediction is sigmoid(2.4 * output).
constexpr float TRAIN_CP_SCALE = 400.0f;
constexpr float TRAIN_SIGMOID_SLOPE = 0.006f * TRAIN_CP_SCALE;

struct TrainerConfig {
    const char* train_file;  // training records (.bin)
    u64 max_positions;       // at most this many records are used
    const char* out_file;    // the network file written after every epoch
    const char* init_file;   // a network file to start from, or null for a random start
    int hidden;              // H, a multiple of TRAIN_STRIP
    int epochs;
    int batch;
    float learning_rate;     // at the start; it falls along a cosine to lr_floor * learning_rate
    float lr_floor;
    float validation_share;  // the last part of the file, as whole games in order
    int threads;
    u64 seed;
};

// One training sample: the features of the side to move's perspective and the other's (rows
// below TRAIN_FILE_ROWS; each also activates its shared row), the output bucket and the
// target 0.65 W(sc) + 0.35 W(result).
struct TrainSample {
    u16 features[2][TRAIN_MAX_PIECES];
    u8 count;
    u8 bucket;
    float target;
};

// The float network. L1 weights are stored strip by strip ([strip][row][TRAIN_STRIP]) so that a
// thread's share is contiguous; output weights are [bucket][2H] (side to move first).
struct TrainModel {
    int hidden;
    float* l1;
    float* bias;
    float* out;
};

bool alloc_model(TrainModel& m, int hidden);
void free_model(TrainModel& m);
void init_model(TrainModel& m, u64 seed);
// Output (in network units) of one sample, computed plainly: the reference for the fast kernels.
float model_output(const TrainModel& m, const TrainSample& s);

// Features of a position for both perspectives, from the side to move's point of view, and
// its output bucket; the same mapping the engine's inference uses, plus the shared rows.
void position_features(const Position& pos, TrainSample& out);

struct QuantizeReport {
    int scaled_units;        // hidden units whose scale was moved to keep accumulators in range
    double worst_acc;        // largest possible accumulator magnitude over legal positions / 32767
    double worst_output;     // largest possible output sum / 2^31
    int clipped_weights;
    int shrunk_buckets;      // output buckets scaled down so that their 32-bit sum cannot overflow
};
// Quantises the model into the network file (Q = 2048, S = 400). Returns 0 or -1.
int write_quantized_network(const TrainModel& m, const char* path, QuantizeReport* report);
// Scales down the output weights of every bucket whose quantised 32-bit sum could come near
// overflow, so that training goes on under the limit and the file needs no shrinking, which
// would compress the bucket's scores. Returns the number of buckets scaled.
int constrain_output_sums(TrainModel& m);

// Sets up the model from a network file of the trainer's shape (B 2, king-rank buckets);
// returns 0 or -1 with a message.
int read_network_into_model(const char* path, TrainModel& m);

int run_training(const TrainerConfig& config);

// The trainer's working parts shared by its sources: sample conversion, the per-strip forward
// and backward kernels and the Adam step.
#pragma once

#include "tools/trainer.h"
#include "tools/training_store.h"

// Zero-filled float arrays aligned for vector loads (nullptr when memory runs out).
float* alloc_floats(size_t count);
void free_floats(float* p);

// Converts the usable records of a store into samples (at most `limit`); counts the refused.
u64 samples_from_store(const TrainingStore& store, u64 limit, Position& pos, TrainSample* out, u64* refused);

// Adam moments, laid out like the model.
struct AdamState {
    float *m_l1, *v_l1, *m_bias, *v_bias, *m_out, *v_out;
};
bool alloc_adam(AdamState& a, int hidden);
void free_adam(AdamState& a);

// Gradients of one strip for the batch being processed.
struct StripGradients {
    float* l1;                                    // [TRAIN_ROWS][TRAIN_STRIP]
    float bias[TRAIN_STRIP];
    float out[TRAIN_OUTPUT_BUCKETS][2][TRAIN_STRIP];
};

inline float* strip_l1(const TrainModel& m, int strip) { return m.l1 + size_t(strip) * TRAIN_ROWS * TRAIN_STRIP; }

// Pre-activation accumulators of the strip for each sample (acc[i][perspective][unit]) and
// the strip's share of each sample's output, added to partial[i]. `merged` is scratch space
// of TRAIN_FILE_ROWS * TRAIN_STRIP floats.
void strip_forward(const TrainModel& m, int strip, const TrainSample* const* batch, int n, float* acc, float* partial,
                   float* merged);
// Gradients of the strip from the accumulators and the output gradients d_out[i], for the
// rows marked in `touched` (every row that a sample of the batch activates).
void strip_backward(const TrainModel& m, int strip, const TrainSample* const* batch, int n, const float* acc,
                    const float* d_out, const u8* touched, StripGradients& g);
// Adam on the strip: L1 rows marked in `touched` only, then its bias and output weights.
void strip_adam(TrainModel& m, AdamState& a, int strip, const StripGradients& g, const u8* touched, float lr, int step);

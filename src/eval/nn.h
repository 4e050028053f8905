// The network evaluation: the one process-wide network (loaded from the compiled-in bytes, a
// file, or created zero-filled), the per-thread storage, the inference and its trace.
#pragma once

#include "board/position.h"
#include "eval/eval_state.h"
#include "eval/nn_format.h"

struct Network {
    NetImage image;        // header and weights
    const i16* l1;         // 768 * B rows of H
    const i16* output;     // 8 groups of 2H: H for the side to move's accumulator, H for the other
    const i16* bias;       // H for the white-perspective accumulator, H for the black one
    u64 generation;        // advanced whenever the network changes; caches built under another are stale
    bool loaded;
    char source[150];      // "embedded", "new" or the file it came from
};
// Changed only by the main thread while no search runs; read-only for the search threads.
extern Network network;

// Called with a candidate network's H before it replaces the current one; returns 0 when the
// per-thread storage of every thread record can hold it (the engine resizes its records here).
using NetworkPrepare = int (*)(int hidden);

// Loads the network that `source` names: "embedded" (compiled into the program), "new" (a
// zero-filled network for the training tools) or a file. The candidate is read into new
// storage and checked, and replaces the current network only when everything succeeded; on
// any failure the current network stays and an "info string" line says why. Returns 0 when
// the source was loaded.
int load_network(const char* source, NetworkPrepare prepare);
// The same for a network image in memory (the compiled-in bytes), printed under `label`.
int load_network_image(const u8* bytes, u64 size, const char* label, NetworkPrepare prepare);
// Drops the network; the evaluation entry then uses the hand-crafted evaluation.
void unload_network();

// The bytes compiled into the program; *size is 0 when the build embeds no network.
const u8* embedded_network(u64* size);

// Per-thread storage: makes the state hold accumulators of H entries (no change for H <= 0).
// Returns 0, or -1 when memory runs out and the current block is too small.
int nn_reserve(EvalState& es, int hidden);
void nn_release(EvalState& es);
// Whether the network can evaluate with this thread's state.
inline bool nn_ready(const EvalState& es) {
    return network.loaded && es.nn.capacity >= int(network.image.header.hidden);
}

// The network's score in centipawns for the side to move, clamped to -2500..2500; 0 when
// nn_ready is false (callers check it first). Reuses the thread's accumulator cache when the
// king placement keeps the feature mapping, few squares changed and es.ply > 2.
int nn_evaluate(const Position& pos, EvalState& es);
// The output bucket of a position: by the larger side's minor and major material.
int nn_output_bucket(const Position& pos);

// The kernel sets: the one this build evaluates with, and each compiled set by name so that
// the tests can compare them.
enum NnPath : int { NN_PATH_AVX2 = 0, NN_PATH_SSE2 = 1, NN_PATH_SCALAR = 2, NN_PATH_COUNT = 3 };
NnPath nn_engine_path();
const char* nn_path_name(NnPath path);
bool nn_path_usable(NnPath path);
// nn_evaluate with the given kernel set (which must be usable).
int nn_evaluate_on_path(NnPath path, const Position& pos, EvalState& es);

// Evaluates the position with the network and prints each hidden node's contribution above
// 15 centipawns for both perspectives, their totals and the output bucket ("ev2").
void nn_trace(const Position& pos, EvalState& es);

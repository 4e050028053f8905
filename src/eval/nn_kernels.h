// The network's inner loops, compiled once per instruction set (AVX2, SSE2, plain scalar) from
// one source, each into its own namespace. The engine calls the set its build chose; the tests
// run every set the processor supports and compare them.
#pragma once

#include "core/types.h"

// One weight row to add to or subtract from an accumulator.
struct RowOp {
    const i16* row;
    i32 subtract;  // 1: subtract the row, 0: add it
};

#define VELLUM_NN_KERNEL_SET                                                                 \
    /* Whether this set was compiled in and the processor can run it. */                     \
    bool usable();                                                                           \
    /* dst[i] = src[i] with every op applied in order, saturating at -32768 and 32767, for */ \
    /* i < n. dst may equal src. */                                                          \
    void apply_rows(i16* dst, const i16* src, const RowOp* ops, int count, int n);          \
    /* act[i] = the leaky activation of pre[i]; returns the sum of act[i] * weights[i] */    \
    /* modulo 2^32. */                                                                       \
    u32 activate_dot(const i16* pre, i16* act, const i16* weights, int n);

namespace nn_avx2 {
VELLUM_NN_KERNEL_SET
}
namespace nn_sse2 {
VELLUM_NN_KERNEL_SET
}
namespace nn_scalar {
VELLUM_NN_KERNEL_SET
}

#undef VELLUM_NN_KERNEL_SET

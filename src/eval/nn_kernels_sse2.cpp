// The network kernels for SSE2: 128-bit saturating additions of eight 16-bit lanes and
// multiply-and-add of 16-bit pairs into 32-bit sums.
#include "eval/nn_kernels.h"

#if defined(__SSE2__)
#define NN_SIMD_SSE2
#include "eval/nn_simd.h"

namespace nn_sse2 {
#include "eval/nn_kernels_body.h"
bool usable() { return true; }
}  // namespace nn_sse2

#else

namespace nn_sse2 {
bool usable() { return false; }
void apply_rows(i16*, const i16*, const RowOp*, int, int) {}
u32 activate_dot(const i16*, i16*, const i16*, int) { return 0; }
}  // namespace nn_sse2

#endif

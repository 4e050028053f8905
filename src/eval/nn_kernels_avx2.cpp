// The network kernels for AVX2 (this file is compiled with -mavx2 on x86-64).
#include "eval/nn_kernels.h"

#if defined(__AVX2__)
#define NN_SIMD_AVX2
#include "eval/nn_simd.h"

namespace nn_avx2 {
#include "eval/nn_kernels_body.h"
bool usable() { return __builtin_cpu_supports("avx2"); }
}  // namespace nn_avx2

#else

namespace nn_avx2 {
bool usable() { return false; }
void apply_rows(i16*, const i16*, const RowOp*, int, int) {}
u32 activate_dot(const i16*, i16*, const i16*, int) { return 0; }
}  // namespace nn_avx2

#endif

// The network kernels in plain scalar code (compiled without automatic vectorisation, so that
// this path stays what it says).
#include "eval/nn_kernels.h"

#include "eval/nn_simd.h"

namespace nn_scalar {
#include "eval/nn_kernels_body.h"
bool usable() { return true; }
}  // namespace nn_scalar

// The vector vocabulary of the network kernels, written once per instruction set. The including
// file defines NN_SIMD_AVX2 or NN_SIMD_SSE2 (and is compiled with that instruction set), or
// neither for plain scalar code with one lane. Accumulator lanes are signed 16-bit and add with
// saturation; dot products collect 32-bit sums that wrap, so every path gives the same numbers
// whatever order it sums in.
//
// Everything here has internal linkage: the file is included by the three kernel sources, each
// compiled with its own flags, and none of their code may be merged into another.
#pragma once

#include "core/types.h"

#if defined(NN_SIMD_AVX2)
#include <immintrin.h>
#elif defined(NN_SIMD_SSE2)
#include <emmintrin.h>
#endif

namespace {

// Scalar helpers, also used for the entries left over after the last whole vector.
inline i16 sat_add_16(i16 a, i16 b) {
    const int s = int(a) + int(b);
    return i16(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
}
inline i16 sat_sub_16(i16 a, i16 b) {
    const int s = int(a) - int(b);
    return i16(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
}
// The leaky activation: negative values are divided by 64, rounding toward zero.
inline i16 leaky_16(i16 v) { return v < 0 ? i16(v / 64) : v; }
inline u32 product_32(i16 a, i16 b) { return u32(i32(a) * i32(b)); }

#if defined(NN_SIMD_AVX2)

using vec16 = __m256i;
using vec32 = __m256i;
constexpr int VEC_LANES = 16;
inline vec16 vec_load(const i16* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void vec_store(i16* p, vec16 v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline vec16 vec_add_16(vec16 a, vec16 b) { return _mm256_adds_epi16(a, b); }
inline vec16 vec_sub_16(vec16 a, vec16 b) { return _mm256_subs_epi16(a, b); }
// v >= 0 stays; v < 0 becomes (v + 63) >> 6, which is v / 64 rounded toward zero and never
// below v, so the larger of v and that shift is the activation in both cases.
inline vec16 vec_leaky_16(vec16 v) {
    const vec16 bias = _mm256_and_si256(_mm256_srai_epi16(v, 15), _mm256_set1_epi16(63));
    return _mm256_max_epi16(v, _mm256_srai_epi16(_mm256_add_epi16(v, bias), 6));
}
inline vec32 vec_zero_32() { return _mm256_setzero_si256(); }
inline vec32 vec_madd_16(vec16 a, vec16 b) { return _mm256_madd_epi16(a, b); }
inline vec32 vec_add_32(vec32 a, vec32 b) { return _mm256_add_epi32(a, b); }
inline u32 vec_sum_32(vec32 v) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return u32(_mm_cvtsi128_si32(s));
}

#elif defined(NN_SIMD_SSE2)

using vec16 = __m128i;
using vec32 = __m128i;
constexpr int VEC_LANES = 8;
inline vec16 vec_load(const i16* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void vec_store(i16* p, vec16 v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline vec16 vec_add_16(vec16 a, vec16 b) { return _mm_adds_epi16(a, b); }
inline vec16 vec_sub_16(vec16 a, vec16 b) { return _mm_subs_epi16(a, b); }
inline vec16 vec_leaky_16(vec16 v) {
    const vec16 bias = _mm_and_si128(_mm_srai_epi16(v, 15), _mm_set1_epi16(63));
    return _mm_max_epi16(v, _mm_srai_epi16(_mm_add_epi16(v, bias), 6));
}
inline vec32 vec_zero_32() { return _mm_setzero_si128(); }
inline vec32 vec_madd_16(vec16 a, vec16 b) { return _mm_madd_epi16(a, b); }
inline vec32 vec_add_32(vec32 a, vec32 b) { return _mm_add_epi32(a, b); }
inline u32 vec_sum_32(vec32 v) {
    vec32 s = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return u32(_mm_cvtsi128_si32(s));
}

#else

using vec16 = i16;
using vec32 = u32;
constexpr int VEC_LANES = 1;
inline vec16 vec_load(const i16* p) { return *p; }
inline void vec_store(i16* p, vec16 v) { *p = v; }
inline vec16 vec_add_16(vec16 a, vec16 b) { return sat_add_16(a, b); }
inline vec16 vec_sub_16(vec16 a, vec16 b) { return sat_sub_16(a, b); }
inline vec16 vec_leaky_16(vec16 v) { return leaky_16(v); }
inline vec32 vec_zero_32() { return 0; }
inline vec32 vec_madd_16(vec16 a, vec16 b) { return product_32(a, b); }
inline vec32 vec_add_32(vec32 a, vec32 b) { return a + b; }
inline u32 vec_sum_32(vec32 v) { return v; }

#endif

}  // namespace

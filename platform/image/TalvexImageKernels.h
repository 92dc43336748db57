// The row kernels of the image primitives that are compiled once per instruction set (see
// platform/TalvexSimd.h): each has a portable path and, on x86-64, an AVX2 path, declared here so
// that both can be run side by side. The primitives call them through TALVEX_DISPATCH.
#pragma once

#include "platform/TalvexIppTypes.h"
#include "platform/TalvexSimd.h"

namespace Talvex::Platform::Detail {

// Linear filters. d[x] = sum_{t<n} w[t] * rows[t][x] for x < width, summed in tap order in single
// precision; the 8-bit form rounds each sum to a byte (RoundToByte), passing it through the
// integer row `sums` (width entries).
TALVEX_DECLARE_KERNEL_PATHS(void, WeightedRowSum,
                            (const float* const* rows, const float* w, int n, Ipp32f* d, int width))
TALVEX_DECLARE_KERNEL_PATHS(void, WeightedRowSum,
                            (const float* const* rows, const float* w, int n, Ipp32s* sums,
                             Ipp8u* d, int width))
// d[x] = s[x] as float, x < width.
TALVEX_DECLARE_KERNEL_PATHS(void, WidenRow, (const Ipp8u* s, float* d, int width))

// Bilateral filter. w[x] = table[|nb[x] - c[x]|] for x < count; and
// out[x] = round(sum_t w[t][x] * v[t][x] / sum_t w[t][x]) for x < n, summed in tap order in single
// precision, with w[t] and v[t] readable up to n rounded up to a multiple of 32.
TALVEX_DECLARE_KERNEL_PATHS(void, BilateralWeights,
                            (const Ipp8u* c, const Ipp8u* nb, const float* table, float* w,
                             int count))
TALVEX_DECLARE_KERNEL_PATHS(void, BilateralAccumulate,
                            (const float* const* w, const float* const* v, int taps, Ipp8u* out,
                             int n))

// Correlation. acc[x] += sum_{i<taps} t[i] * p[x + i] for x < n, in tap order; n is a multiple of
// 32 and p is readable up to p[n - 1 + taps - 1].
TALVEX_DECLARE_KERNEL_PATHS(void, CorrelateAccumulate,
                            (const float* p, const float* t, int taps, float* acc, int n))
// out[x] = num[x] / sqrt(tplEnergy * energy[x]) in double precision rounded to float, or 0 where
// tplEnergy * energy[x] is not positive, for x < n.
TALVEX_DECLARE_KERNEL_PATHS(void, NormaliseCorrelation,
                            (const float* num, const double* energy, double tplEnergy, float* out,
                             int n))

#if TALVEX_HAS_AVX512_PATH
// The AVX-512 paths of the bilateral and correlation kernels, bit-identical to the others.
TALVEX_TARGET_AVX512 void BilateralWeightsAvx512(const Ipp8u* c, const Ipp8u* nb,
                                                 const float* table, float* w, int count);
TALVEX_TARGET_AVX512 void BilateralAccumulateAvx512(const float* const* w, const float* const* v,
                                                    int taps, Ipp8u* out, int n);
TALVEX_TARGET_AVX512 void CorrelateAccumulateAvx512(const float* p, const float* t, int taps,
                                                    float* acc, int n);
#endif

// Resize. out[x] = sum_{k<taps} w[x * taps + k] * padded[idx[x] + k] (taps 2 or 4) in tap order;
// the 8-bit form rounds to a byte.
TALVEX_DECLARE_KERNEL_PATHS(void, InterpolateRow,
                            (const float* padded, const int* idx, const float* w, int taps,
                             float* out, int n))
TALVEX_DECLARE_KERNEL_PATHS(void, InterpolateRow,
                            (const float* padded, const int* idx, const float* w, int taps,
                             Ipp8u* out, int n))
// column[x] = sum_{k<taps} w[k] * rows[k][x] (taps 2 or 4) in tap order.
TALVEX_DECLARE_KERNEL_PATHS(void, BlendRows,
                            (const Ipp8u* const* rows, const float* w, int taps, float* column,
                             int n))
TALVEX_DECLARE_KERNEL_PATHS(void, BlendRows,
                            (const float* const* rows, const float* w, int taps, float* column,
                             int n))

}  // namespace Talvex::Platform::Detail

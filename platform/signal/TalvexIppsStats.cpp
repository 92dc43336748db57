// Sums, means, standard deviations, extremes and first-index searches over vectors.
//
// Floating-point sums are accumulated in double precision over four independent partial sums,
// which keeps the result accurate for the few thousand samples of an A-scan or a patch and the
// order of the additions fixed (the result never depends on alignment or vector width).
// Extremes of long vectors are reduced with SSE2 min/max over eight lanes on x86-64; the first
// index of an extreme is then found by a second, early-exiting scan for the first element equal
// to it, which preserves the first-index rule without a branch in the reduction.
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/signal/TalvexIpps.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Talvex::Platform {

namespace {

// ---- Sums ---------------------------------------------------------------------------------

template <typename T>
double SumDouble(const T* p, int len) {
  double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
  int i = 0;
  for (; i + 4 <= len; i += 4) {
    a0 += static_cast<double>(p[i]);
    a1 += static_cast<double>(p[i + 1]);
    a2 += static_cast<double>(p[i + 2]);
    a3 += static_cast<double>(p[i + 3]);
  }
  for (; i < len; ++i) a0 += static_cast<double>(p[i]);
  return (a0 + a1) + (a2 + a3);
}

template <typename T>
double SumSquaredDeviations(const T* p, int len, double mean) {
  double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
  int i = 0;
  for (; i + 4 <= len; i += 4) {
    const double d0 = static_cast<double>(p[i]) - mean;
    const double d1 = static_cast<double>(p[i + 1]) - mean;
    const double d2 = static_cast<double>(p[i + 2]) - mean;
    const double d3 = static_cast<double>(p[i + 3]) - mean;
    a0 += d0 * d0;
    a1 += d1 * d1;
    a2 += d2 * d2;
    a3 += d3 * d3;
  }
  for (; i < len; ++i) {
    const double d = static_cast<double>(p[i]) - mean;
    a0 += d * d;
  }
  return (a0 + a1) + (a2 + a3);
}

// ---- Extremes -----------------------------------------------------------------------------

struct Less {
  template <typename T>
  static T Pick(T a, T b) {
    return b < a ? b : a;
  }
#if defined(__SSE2__)
  static __m128 Pick(__m128 a, __m128 b) { return _mm_min_ps(a, b); }
  static __m128d Pick(__m128d a, __m128d b) { return _mm_min_pd(a, b); }
#endif
};

struct Greater {
  template <typename T>
  static T Pick(T a, T b) {
    return b > a ? b : a;
  }
#if defined(__SSE2__)
  static __m128 Pick(__m128 a, __m128 b) { return _mm_max_ps(a, b); }
  static __m128d Pick(__m128d a, __m128d b) { return _mm_max_pd(a, b); }
#endif
};

// Scalar reduction: the reference behaviour, used for short vectors and tails.
template <typename Op, typename T>
T ReduceScalar(const T* p, int len, T start) {
  T m = start;
  for (int i = 0; i < len; ++i) m = Op::Pick(m, p[i]);
  return m;
}

template <typename Op>
float Reduce(const float* p, int len) {
  int i = 0;
  float m = p[0];
#if defined(__SSE2__)
  if (len >= 8) {
    __m128 a = _mm_loadu_ps(p);
    __m128 b = _mm_loadu_ps(p + 4);
    for (i = 8; i + 8 <= len; i += 8) {
      a = Op::Pick(a, _mm_loadu_ps(p + i));
      b = Op::Pick(b, _mm_loadu_ps(p + i + 4));
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, Op::Pick(a, b));
    m = ReduceScalar<Op>(lanes, 4, lanes[0]);
  }
#endif
  return ReduceScalar<Op>(p + i, len - i, m);
}

template <typename Op>
double Reduce(const double* p, int len) {
  int i = 0;
  double m = p[0];
#if defined(__SSE2__)
  if (len >= 4) {
    __m128d a = _mm_loadu_pd(p);
    __m128d b = _mm_loadu_pd(p + 2);
    for (i = 4; i + 4 <= len; i += 4) {
      a = Op::Pick(a, _mm_loadu_pd(p + i));
      b = Op::Pick(b, _mm_loadu_pd(p + i + 2));
    }
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, Op::Pick(a, b));
    m = Op::Pick(lanes[0], lanes[1]);
  }
#endif
  return ReduceScalar<Op>(p + i, len - i, m);
}

// First index of the extreme under Op: the first element equal to the reduced value. When no
// element compares equal (NaN in the data), falls back to the scalar first-index scan.
template <typename Op, typename T>
int FirstExtremeIndex(const T* p, int len) {
  const T m = Reduce<Op>(p, len);
  for (int i = 0; i < len; ++i) {
    if (p[i] == m) return i;
  }
  int k = 0;
  for (int i = 1; i < len; ++i) k = Op::Pick(p[k], p[i]) != p[k] ? i : k;
  return k;
}

}  // namespace

namespace Detail {

Ipp32f MinLong32f(const Ipp32f* pSrc, int len) { return Reduce<Less>(pSrc, len); }

int MinIndxLong32f(const Ipp32f* pSrc, int len) { return FirstExtremeIndex<Less>(pSrc, len); }

}  // namespace Detail

IppStatus ippsSum_32f(const Ipp32f* pSrc, int len, Ipp32f* pSum, IppHintAlgorithm) {
  if (pSrc == nullptr || pSum == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pSum = static_cast<Ipp32f>(SumDouble(pSrc, len));
  return ippStsNoErr;
}

IppStatus ippsSum_64f(const Ipp64f* pSrc, int len, Ipp64f* pSum) {
  if (pSrc == nullptr || pSum == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pSum = SumDouble(pSrc, len);
  return ippStsNoErr;
}

IppStatus ippsSum_32s_Sfs(const Ipp32s* pSrc, int len, Ipp32s* pSum, int scaleFactor) {
  if (pSrc == nullptr || pSum == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  if (scaleFactor < -31 || scaleFactor > 31) return ippStsBadArgErr;
  // At most 2^31 terms of magnitude at most 2^31: the 64-bit sum is exact.
  std::int64_t sum = 0;
  for (int i = 0; i < len; ++i) sum += pSrc[i];
  if (scaleFactor > 0) {
    // Divide by 2^scaleFactor, rounding to nearest with halves to even.
    const std::int64_t unit = std::int64_t{1} << scaleFactor;
    std::int64_t quotient = sum >> scaleFactor;  // floor, also for negative sums
    const std::int64_t remainder = sum - quotient * unit;
    const std::int64_t half = unit >> 1;
    if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
    sum = quotient;
  } else if (scaleFactor < 0) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    // Out-of-range sums saturate whatever the factor; in-range ones are scaled exactly.
    if (sum > -kLimit && sum < kLimit) sum *= std::int64_t{1} << -scaleFactor;
  }
  constexpr std::int64_t kMax = std::numeric_limits<Ipp32s>::max();
  constexpr std::int64_t kMin = std::numeric_limits<Ipp32s>::min();
  *pSum = static_cast<Ipp32s>(sum > kMax ? kMax : (sum < kMin ? kMin : sum));
  return ippStsNoErr;
}

IppStatus ippsMean_32f(const Ipp32f* pSrc, int len, Ipp32f* pMean, IppHintAlgorithm) {
  if (pSrc == nullptr || pMean == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pMean = static_cast<Ipp32f>(SumDouble(pSrc, len) / len);
  return ippStsNoErr;
}

IppStatus ippsMean_64f(const Ipp64f* pSrc, int len, Ipp64f* pMean) {
  if (pSrc == nullptr || pMean == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pMean = SumDouble(pSrc, len) / len;
  return ippStsNoErr;
}

IppStatus ippsMeanStdDev_32f(const Ipp32f* pSrc, int len, Ipp32f* pMean, Ipp32f* pStdDev,
                             IppHintAlgorithm) {
  if (pSrc == nullptr || pMean == nullptr || pStdDev == nullptr) return ippStsNullPtrErr;
  if (len < 2) return ippStsSizeErr;
  const double mean = SumDouble(pSrc, len) / len;
  const double variance = SumSquaredDeviations(pSrc, len, mean) / (len - 1);
  *pMean = static_cast<Ipp32f>(mean);
  *pStdDev = static_cast<Ipp32f>(std::sqrt(variance));
  return ippStsNoErr;
}

IppStatus ippsMax_32f(const Ipp32f* pSrc, int len, Ipp32f* pMax) {
  if (pSrc == nullptr || pMax == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pMax = Reduce<Greater>(pSrc, len);
  return ippStsNoErr;
}

IppStatus ippsMax_64f(const Ipp64f* pSrc, int len, Ipp64f* pMax) {
  if (pSrc == nullptr || pMax == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pMax = Reduce<Greater>(pSrc, len);
  return ippStsNoErr;
}

IppStatus ippsMin_64f(const Ipp64f* pSrc, int len, Ipp64f* pMin) {
  if (pSrc == nullptr || pMin == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pMin = Reduce<Less>(pSrc, len);
  return ippStsNoErr;
}

IppStatus ippsMinMax_32f(const Ipp32f* pSrc, int len, Ipp32f* pMin, Ipp32f* pMax) {
  if (pSrc == nullptr || pMin == nullptr || pMax == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  *pMin = Reduce<Less>(pSrc, len);
  *pMax = Reduce<Greater>(pSrc, len);
  return ippStsNoErr;
}

IppStatus ippsMaxIndx_32f(const Ipp32f* pSrc, int len, Ipp32f* pMax, int* pIndx) {
  if (pSrc == nullptr || pMax == nullptr || pIndx == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  int k = 0;
  if (len > Detail::kShortVector) {
    k = FirstExtremeIndex<Greater>(pSrc, len);
  } else {
    for (int i = 1; i < len; ++i) k = pSrc[i] > pSrc[k] ? i : k;
  }
  *pMax = pSrc[k];
  *pIndx = k;
  return ippStsNoErr;
}

IppStatus ippsMinIndx_16s(const Ipp16s* pSrc, int len, Ipp16s* pMin, int* pIndx) {
  if (pSrc == nullptr || pMin == nullptr || pIndx == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  int k = 0;
  for (int i = 1; i < len; ++i) k = pSrc[i] < pSrc[k] ? i : k;
  *pMin = pSrc[k];
  *pIndx = k;
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

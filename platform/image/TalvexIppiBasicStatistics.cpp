// Image statistics and histograms, thresholds, comparisons, scaling and bitwise logic.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexIppiBasic.h"

namespace Talvex::Platform {
namespace {

using Detail::CheckImage;
using Detail::RowAt;

// First extreme in raster order: a pixel replaces the current one only when strictly better.
template <bool kMax>
IppStatus FindExtreme(const Ipp32f* src, int step, IppiSize roi, Ipp32f* value, int* ix, int* iy) {
  if (IppStatus s = CheckImage(src, step, roi)) return s;
  if (value == nullptr || ix == nullptr || iy == nullptr) return ippStsNullPtrErr;
  Ipp32f best = src[0];
  int bx = 0, by = 0;
  for (int y = 0; y < roi.height; ++y) {
    const Ipp32f* s = RowAt(src, step, y);
    // The row's extreme first (a branch-free reduction), then its first position only when the
    // row improves on the best so far.
    Ipp32f rowBest = best;
    for (int x = 0; x < roi.width; ++x)
      rowBest = kMax ? (s[x] > rowBest ? s[x] : rowBest) : (s[x] < rowBest ? s[x] : rowBest);
    if (kMax ? !(rowBest > best) : !(rowBest < best)) continue;
    best = rowBest;
    by = y;
    bx = static_cast<int>(std::find(s, s + roi.width, rowBest) - s);
  }
  *value = best;
  *ix = bx;
  *iy = by;
  return ippStsNoErr;
}

template <typename Op>
IppStatus CompareRegion(const Ipp32f* a, int aStep, const Ipp32f* b, int bStep, float c, Ipp8u* dst,
                        int dstStep, IppiSize roi, Op op) {
  for (int y = 0; y < roi.height; ++y) {
    const Ipp32f* __restrict ra = RowAt(a, aStep, y);
    const Ipp32f* __restrict rb = b != nullptr ? RowAt(b, bStep, y) : nullptr;
    Ipp8u* __restrict d = RowAt(dst, dstStep, y);
    if (rb != nullptr) {
      for (int x = 0; x < roi.width; ++x) d[x] = op(ra[x], rb[x]) ? 255 : 0;
    } else {
      for (int x = 0; x < roi.width; ++x) d[x] = op(ra[x], c) ? 255 : 0;
    }
  }
  return ippStsNoErr;
}

IppStatus Compare(const Ipp32f* a, int aStep, const Ipp32f* b, int bStep, float c, Ipp8u* dst,
                  int dstStep, IppiSize roi, IppCmpOp op) {
  switch (op) {
    case ippCmpLess:
      return CompareRegion(a, aStep, b, bStep, c, dst, dstStep, roi,
                           [](float u, float v) { return u < v; });
    case ippCmpLessEq:
      return CompareRegion(a, aStep, b, bStep, c, dst, dstStep, roi,
                           [](float u, float v) { return u <= v; });
    case ippCmpEq:
      return CompareRegion(a, aStep, b, bStep, c, dst, dstStep, roi,
                           [](float u, float v) { return u == v; });
    case ippCmpGreaterEq:
      return CompareRegion(a, aStep, b, bStep, c, dst, dstStep, roi,
                           [](float u, float v) { return u >= v; });
    case ippCmpGreater:
      return CompareRegion(a, aStep, b, bStep, c, dst, dstStep, roi,
                           [](float u, float v) { return u > v; });
  }
  return ippStsBadArgErr;
}

template <typename Op>
IppStatus BitwiseInPlace(const Ipp8u* src, int srcStep, Ipp8u* srcDst, int srcDstStep, IppiSize roi,
                         Op op) {
  if (IppStatus s = CheckImage(src, srcStep, roi)) return s;
  if (IppStatus s = CheckImage(srcDst, srcDstStep, roi)) return s;
  for (int y = 0; y < roi.height; ++y) {
    const Ipp8u* s = RowAt(src, srcStep, y);
    Ipp8u* d = RowAt(srcDst, srcDstStep, y);
    for (int x = 0; x < roi.width; ++x) d[x] = op(d[x], s[x]);
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippiSum_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize roiSize, Ipp64f* pSum) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (pSum == nullptr) return ippStsNullPtrErr;
  std::uint64_t total = 0;
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp8u* s = RowAt(pSrc, srcStep, y);
    // A row sum fits 32 bits for any row shorter than 2^24 samples; chunks keep it exact beyond.
    for (int x0 = 0; x0 < roiSize.width; x0 += 1 << 24) {
      const int x1 = std::min(roiSize.width, x0 + (1 << 24));
      std::uint32_t rowSum = 0;
      for (int x = x0; x < x1; ++x) rowSum += s[x];
      total += rowSum;
    }
  }
  *pSum = static_cast<Ipp64f>(total);
  return ippStsNoErr;
}

IppStatus ippiMax_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize roiSize, Ipp8u* pMax) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (pMax == nullptr) return ippStsNullPtrErr;
  Ipp8u best = 0;
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp8u* s = RowAt(pSrc, srcStep, y);
    for (int x = 0; x < roiSize.width; ++x) best = std::max(best, s[x]);
  }
  *pMax = best;
  return ippStsNoErr;
}

IppStatus ippiMaxIndx_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize roiSize, Ipp32f* pMax,
                              int* pIndexX, int* pIndexY) {
  return FindExtreme<true>(pSrc, srcStep, roiSize, pMax, pIndexX, pIndexY);
}

IppStatus ippiMinIndx_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize roiSize, Ipp32f* pMin,
                              int* pIndexX, int* pIndexY) {
  return FindExtreme<false>(pSrc, srcStep, roiSize, pMin, pIndexX, pIndexY);
}

IppStatus ippiHistogramRange_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize roiSize, Ipp32s* pHist,
                                    const Ipp32s* pLevels, int nLevels) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (pHist == nullptr || pLevels == nullptr) return ippStsNullPtrErr;
  if (nLevels < 2) return ippStsSizeErr;
  for (int k = 1; k < nLevels; ++k)
    if (!(pLevels[k - 1] < pLevels[k])) return ippStsRangeErr;
  // Count every byte value once, then fold the 256 counts into the bins [l_k, l_{k+1}).
  std::uint32_t counts[4][256] = {};
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp8u* s = RowAt(pSrc, srcStep, y);
    int x = 0;
    for (; x + 4 <= roiSize.width; x += 4) {
      ++counts[0][s[x]];
      ++counts[1][s[x + 1]];
      ++counts[2][s[x + 2]];
      ++counts[3][s[x + 3]];
    }
    for (; x < roiSize.width; ++x) ++counts[0][s[x]];
  }
  std::fill(pHist, pHist + (nLevels - 1), 0);
  int k = 0;
  for (int v = 0; v < 256; ++v) {
    while (k < nLevels - 1 && pLevels[k + 1] <= v) ++k;
    if (k == nLevels - 1) break;
    if (v < pLevels[k]) continue;
    pHist[k] += static_cast<Ipp32s>(counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v]);
  }
  return ippStsNoErr;
}

IppStatus ippiHistogramRange_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize roiSize,
                                     Ipp32s* pHist, const Ipp32f* pLevels, int nLevels) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (pHist == nullptr || pLevels == nullptr) return ippStsNullPtrErr;
  if (nLevels < 2) return ippStsSizeErr;
  for (int k = 1; k < nLevels; ++k)
    if (!(pLevels[k - 1] < pLevels[k])) return ippStsRangeErr;
  std::fill(pHist, pHist + (nLevels - 1), 0);
  const Ipp32f* levelsEnd = pLevels + nLevels;
  const Ipp32f lo = pLevels[0];
  const Ipp32f hi = pLevels[nLevels - 1];
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp32f* s = RowAt(pSrc, srcStep, y);
    for (int x = 0; x < roiSize.width; ++x) {
      const Ipp32f v = s[x];
      if (!(v >= lo && v <= hi)) continue;  // outside the levels, or NaN
      // Bins are half-open [l_k, l_{k+1}), but the last one is closed: v == l_{n-1} counts in bin
      // n - 2. The edge detector's normalised gradient magnitude spans exactly [0, 1] and always
      // reaches 1.0, which would otherwise fall in no bin.
      const long k = std::upper_bound(pLevels, levelsEnd, v) - pLevels - 1;
      ++pHist[std::min<long>(k, nLevels - 2)];
    }
  }
  return ippStsNoErr;
}

IppStatus ippiThreshold_LTValGTVal_8u_C1IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize,
                                           Ipp8u thresholdLT, Ipp8u valueLT, Ipp8u thresholdGT,
                                           Ipp8u valueGT) {
  if (IppStatus s = CheckImage(pSrcDst, srcDstStep, roiSize)) return s;
  if (thresholdLT > thresholdGT) return ippStsBadArgErr;
  for (int y = 0; y < roiSize.height; ++y) {
    Ipp8u* d = RowAt(pSrcDst, srcDstStep, y);
    for (int x = 0; x < roiSize.width; ++x) {
      const Ipp8u v = d[x];
      d[x] = v < thresholdLT ? valueLT : (v > thresholdGT ? valueGT : v);
    }
  }
  return ippStsNoErr;
}

IppStatus ippiCompare_32f_C1R(const Ipp32f* pSrc1, int src1Step, const Ipp32f* pSrc2, int src2Step,
                              Ipp8u* pDst, int dstStep, IppiSize roiSize, IppCmpOp ippCmpOp) {
  if (IppStatus s = CheckImage(pSrc1, src1Step, roiSize)) return s;
  if (IppStatus s = CheckImage(pSrc2, src2Step, roiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, roiSize)) return s;
  return Compare(pSrc1, src1Step, pSrc2, src2Step, 0.0f, pDst, dstStep, roiSize, ippCmpOp);
}

IppStatus ippiCompareC_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f value, Ipp8u* pDst,
                               int dstStep, IppiSize roiSize, IppCmpOp ippCmpOp) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, roiSize)) return s;
  return Compare(pSrc, srcStep, nullptr, 0, value, pDst, dstStep, roiSize, ippCmpOp);
}

IppStatus ippiMulC_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f value, Ipp32f* pDst, int dstStep,
                           IppiSize roiSize) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, roiSize)) return s;
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp32f* s = RowAt(pSrc, srcStep, y);  // may be the destination row itself
    Ipp32f* d = RowAt(pDst, dstStep, y);
    for (int x = 0; x < roiSize.width; ++x) d[x] = s[x] * value;
  }
  return ippStsNoErr;
}

IppStatus ippiAnd_8u_C1IR(const Ipp8u* pSrc, int srcStep, Ipp8u* pSrcDst, int srcDstStep,
                          IppiSize roiSize) {
  return BitwiseInPlace(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                        [](Ipp8u a, Ipp8u b) { return static_cast<Ipp8u>(a & b); });
}

IppStatus ippiOr_8u_C1IR(const Ipp8u* pSrc, int srcStep, Ipp8u* pSrcDst, int srcDstStep,
                         IppiSize roiSize) {
  return BitwiseInPlace(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                        [](Ipp8u a, Ipp8u b) { return static_cast<Ipp8u>(a | b); });
}

}  // namespace Talvex::Platform

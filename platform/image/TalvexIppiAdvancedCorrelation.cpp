// Normalised cross-correlation (no mean removal) with same-size output and zero padding: A-scans
// against step templates, lateral profiles against a window, camera images against lens patterns.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "platform/AlignedStorage.h"
#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexImageKernels.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

using Detail::RowAt;
using Detail::Scratch;

constexpr int kBlock = 32;  // outputs accumulated together in registers

// acc[x] += sum_i t[i] * p[x + i] for x < n (n a multiple of kBlock; p readable and zero beyond the
// data). Each block of outputs stays in registers while the template taps stream past it; every
// output is summed tap by tap in the same order on each instruction set.
TALVEX_ALWAYS_INLINE void CorrelateAccumulateBody(const float* __restrict p,
                                                  const float* __restrict t, int taps,
                                                  float* __restrict acc, int n) {
  for (int x = 0; x < n; x += kBlock) {
    float a[kBlock];
    for (int k = 0; k < kBlock; ++k) a[k] = acc[x + k];
    for (int i = 0; i < taps; ++i) {
      const float tv = t[i];
      const float* q = p + x + i;
      for (int k = 0; k < kBlock; ++k) a[k] += tv * q[k];
    }
    for (int k = 0; k < kBlock; ++k) acc[x + k] = a[k];
  }
}

}  // namespace

namespace Detail {

TALVEX_KERNEL_PATHS(void, CorrelateAccumulate,
                    (const float* p, const float* t, int taps, float* acc, int n),
                    (p, t, taps, acc, n))

}  // namespace Detail

namespace {

void CorrelateAccumulate(const float* p, const float* t, int taps, float* acc, int n) {
  TALVEX_DISPATCH(Detail::CorrelateAccumulate, p, t, taps, acc, n);
}

template <typename T>
IppStatus CrossCorrSameNorm(const T* pSrc, int srcStep, IppiSize srcRoiSize, const T* pTpl,
                            int tplStep, IppiSize tplRoiSize, Ipp32f* pDst, int dstStep) {
  if (pSrc == nullptr || pTpl == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (srcRoiSize.width <= 0 || srcRoiSize.height <= 0 || tplRoiSize.width <= 0 ||
      tplRoiSize.height <= 0)
    return ippStsSizeErr;
  const long long elem = static_cast<long long>(sizeof(T));
  if (srcStep < srcRoiSize.width * elem || tplStep < tplRoiSize.width * elem ||
      dstStep < srcRoiSize.width * 4LL)
    return ippStsStepErr;

  const int w = srcRoiSize.width, h = srcRoiSize.height;
  const int tw = tplRoiSize.width, th = tplRoiSize.height;
  const int ax = tw / 2, ay = th / 2;
  const long long blocks = (w + kBlock - 1LL) / kBlock * kBlock;
  const long long padded = blocks + tw + kBlock;  // zero-padded source row (ax zeros on the left)

  // Template as floats, a ring of th zero-padded source rows, the numerator row, and per padded
  // column the energy summed over the template's rows.
  Scratch<float> floats(static_cast<long long>(tw) * th + padded * th + blocks);
  Scratch<double> doubles(padded);
  Scratch<int> ringRow(th);
  if (!floats || !doubles || !ringRow) return ippStsMemAllocErr;
  float* tpl = floats.get();
  float* ring = tpl + static_cast<long long>(tw) * th;
  float* num = ring + padded * th;
  double* energyColumns = doubles.get();
  std::fill(ringRow.get(), ringRow.get() + th, -1);

  double tplEnergy = 0.0;
  for (int j = 0; j < th; ++j) {
    const T* row = RowAt(pTpl, tplStep, j);
    for (int i = 0; i < tw; ++i) {
      const float v = static_cast<float>(row[i]);
      tpl[j * tw + i] = v;
      tplEnergy += static_cast<double>(v) * v;
    }
  }

  for (int y = 0; y < h; ++y) {
    const int firstRow = std::max(0, y - ay);
    const int lastRow = std::min(h - 1, y - ay + th - 1);
    std::fill(num, num + blocks, 0.0f);
    std::fill(energyColumns, energyColumns + w + tw - 1, 0.0);
    for (int sy = firstRow; sy <= lastRow; ++sy) {
      const int slot = sy % th;
      float* prow = ring + padded * slot;
      if (ringRow.get()[slot] != sy) {
        // Left ax and right padding stay zero from the allocation.
        const T* srow = RowAt(pSrc, srcStep, sy);
        for (int x = 0; x < w; ++x) prow[ax + x] = static_cast<float>(srow[x]);
        ringRow.get()[slot] = sy;
      }
      for (int k = 0; k < w + tw - 1; ++k)
        energyColumns[k] += static_cast<double>(prow[k]) * prow[k];
      CorrelateAccumulate(prow, tpl + (sy - y + ay) * tw, tw, num, static_cast<int>(blocks));
    }
    // Window energy as a running sum along the row: one add and one subtract per output.
    double energy = 0.0;
    for (int i = 0; i < tw; ++i) energy += energyColumns[i];
    Ipp32f* out = RowAt(pDst, dstStep, y);
    for (int x = 0; x < w; ++x) {
      if (x > 0) energy += energyColumns[x + tw - 1] - energyColumns[x - 1];
      const double den = tplEnergy * energy;
      out[x] = den > 0.0 ? static_cast<float>(num[x] / std::sqrt(den)) : 0.0f;
    }
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippiCrossCorrSame_Norm_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize srcRoiSize,
                                         const Ipp32f* pTpl, int tplStep, IppiSize tplRoiSize,
                                         Ipp32f* pDst, int dstStep) {
  return CrossCorrSameNorm(pSrc, srcStep, srcRoiSize, pTpl, tplStep, tplRoiSize, pDst, dstStep);
}

IppStatus ippiCrossCorrSame_Norm_8u32f_C1R(const Ipp8u* pSrc, int srcStep, IppiSize srcRoiSize,
                                           const Ipp8u* pTpl, int tplStep, IppiSize tplRoiSize,
                                           Ipp32f* pDst, int dstStep) {
  return CrossCorrSameNorm(pSrc, srcStep, srcRoiSize, pTpl, tplStep, tplRoiSize, pDst, dstStep);
}

}  // namespace Talvex::Platform

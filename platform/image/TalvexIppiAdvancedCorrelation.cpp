// Normalised cross-correlation (no mean removal) with same-size output and zero padding: A-scans
// against step templates, lateral profiles against a window, camera images against lens patterns.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/AlignedStorage.h"
#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexImageKernels.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

using Detail::RowAt;

constexpr int kBlock = 32;  // outputs accumulated together in registers
// Work areas that stay on the stack: a 1024-sample A-scan against a 100-sample template fits.
constexpr int kStackFloats = 3072, kStackDoubles = 2560, kStackRows = 16;

// acc[x] += sum_i t[i] * p[x + i] for x < n (n a multiple of kBlock; p readable and zero beyond the
// data). Each block of outputs stays in registers while the template taps stream past it; every
// output is summed tap by tap in the same order on each instruction set.
// Blocks of Block outputs (a multiple of kBlock) over the first n / Block * Block outputs.
template <int Block = kBlock>
TALVEX_ALWAYS_INLINE void CorrelateAccumulateBody(const float* __restrict p,
                                                  const float* __restrict t, int taps,
                                                  float* __restrict acc, int n) {
  for (int x = 0; x + Block <= n; x += Block) {
    float a[Block];
    for (int k = 0; k < Block; ++k) a[k] = acc[x + k];
    for (int i = 0; i < taps; ++i) {
      const float tv = t[i];
      const float* q = p + x + i;
      for (int k = 0; k < Block; ++k) a[k] += tv * q[k];
    }
    for (int k = 0; k < Block; ++k) acc[x + k] = a[k];
  }
}

TALVEX_ALWAYS_INLINE void NormaliseCorrelationBody(const float* num, const double* energy,
                                                   double tplEnergy, float* out, int n) {
  for (int x = 0; x < n; ++x) {
    const double den = tplEnergy * energy[x];
    out[x] = den > 0.0 ? static_cast<float>(num[x] / std::sqrt(den)) : 0.0f;
  }
}

// Work area of count elements: on the stack up to N (one A-scan against a step template), not
// initialised; from the heap beyond, zero-filled; get() is null when the heap allocation failed.
template <typename T, int N>
class WorkArea {
 public:
  explicit WorkArea(long long count) noexcept {
    if (count <= N) {
      data_ = local_;
      return;
    }
    try {
      heap_ = Detail::AllocateZeroed<T>(count);
    } catch (const std::bad_alloc&) {
      heap_ = nullptr;
    }
    data_ = heap_;
  }
  ~WorkArea() { Detail::Release(heap_); }
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;
  T* get() const noexcept { return data_; }

 private:
  alignas(64) T local_[N];
  T* heap_ = nullptr;
  T* data_ = nullptr;
};

}  // namespace

namespace Detail {

TALVEX_KERNEL_PATHS(void, CorrelateAccumulate,
                    (const float* p, const float* t, int taps, float* acc, int n),
                    (p, t, taps, acc, n))

#if TALVEX_HAS_AVX512_PATH
// Blocks of 64 outputs (four 16-lane sums per tap), then a last block of 32.
TALVEX_TARGET_AVX512 void CorrelateAccumulateAvx512(const float* p, const float* t, int taps,
                                                    float* acc, int n) {
  const int wide = n / (2 * kBlock) * (2 * kBlock);
  CorrelateAccumulateBody<2 * kBlock>(p, t, taps, acc, wide);
  CorrelateAccumulateBody(p + wide, t, taps, acc + wide, n - wide);
}
#endif

void NormaliseCorrelationPortable(const float* num, const double* energy, double tplEnergy,
                                  float* out, int n) {
  NormaliseCorrelationBody(num, energy, tplEnergy, out, n);
}
#if TALVEX_HAS_AVX2_PATH
// Four outputs at a time; square root, quotient and rounding to float are the correctly rounded
// operations of the scalar loop.
TALVEX_TARGET_AVX2 void NormaliseCorrelationAvx2(const float* num, const double* energy,
                                                 double tplEnergy, float* out, int n) {
  const __m256d scale = _mm256_set1_pd(tplEnergy), zero = _mm256_setzero_pd();
  int x = 0;
  for (; x + 4 <= n; x += 4) {
    const __m256d den = _mm256_mul_pd(scale, _mm256_loadu_pd(energy + x));
    const __m256d q = _mm256_div_pd(_mm256_cvtps_pd(_mm_loadu_ps(num + x)), _mm256_sqrt_pd(den));
    const __m256d kept = _mm256_and_pd(q, _mm256_cmp_pd(den, zero, _CMP_GT_OQ));
    _mm_storeu_ps(out + x, _mm256_cvtpd_ps(kept));
  }
  NormaliseCorrelationBody(num + x, energy + x, tplEnergy, out + x, n - x);
}
#endif

}  // namespace Detail

namespace {

void CorrelateAccumulate(const float* p, const float* t, int taps, float* acc, int n) {
  TALVEX_DISPATCH_WIDE(Detail::CorrelateAccumulate, p, t, taps, acc, n);
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

  // Template as floats, a ring of th zero-padded source rows, the numerator row, per padded
  // column the energy summed over the template's rows, and the window energies of a row.
  WorkArea<float, kStackFloats> floats(static_cast<long long>(tw) * th + padded * th + blocks);
  WorkArea<double, kStackDoubles> doubles(padded + w);
  WorkArea<int, kStackRows> ringRow(th);
  if (!floats.get() || !doubles.get() || !ringRow.get()) return ippStsMemAllocErr;
  float* tpl = floats.get();
  float* ring = tpl + static_cast<long long>(tw) * th;
  float* num = ring + padded * th;
  double* energyColumns = doubles.get();
  double* energyRow = energyColumns + padded;
  std::fill(ringRow.get(), ringRow.get() + th, -1);
  std::fill(ring, ring + padded * th, 0.0f);  // the padding of every ring row stays zero

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
        // Left ax and right padding stay zero.
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
    energyRow[0] = energy;
    for (int x = 1; x < w; ++x)
      energyRow[x] = energy += energyColumns[x + tw - 1] - energyColumns[x - 1];
    TALVEX_DISPATCH(Detail::NormaliseCorrelation, num, energyRow, tplEnergy,
                    RowAt(pDst, dstStep, y), w);
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

// Gaussian bilateral filter of 8-bit B-scans with a rectangular mask, driven by weight tables.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexImageKernels.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

constexpr std::uint32_t kPlanMagic = 0x42694c46u;  // marks an initialised weight-table buffer
constexpr std::size_t kAlign = 64;
constexpr int kStrip = 512;  // pixels per row strip; the strip sums live on the stack

// Header at the start of the (aligned) weight-table buffer; the table follows it.
struct alignas(kAlign) PlanHeader {
  std::uint32_t magic;
  int radius;        // largest chessboard distance the table covers
  int stepInKernel;  // sampling step of mask offsets
  float valSquareSigma;
  float posSquareSigma;
};

int OddReduced(int size) { return (size % 2 == 0) ? size - 1 : size; }

int TableRadius(IppiSize maxKernelSize) {
  return (std::max(OddReduced(maxKernelSize.width), OddReduced(maxKernelSize.height)) - 1) / 2;
}

std::size_t PlanBytes(int radius) {
  return kAlign /* slack to align the caller's buffer */ + sizeof(PlanHeader) +
         static_cast<std::size_t>(radius + 1) * 256 * sizeof(float);
}

template <typename Byte>
Byte* AlignUp(Byte* p) {
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  return p + ((kAlign - address % kAlign) % kAlign);
}

// One row strip: accumulates every mask offset into num and den, then writes rounded quotients.
//   c        centre pixels of the strip (n of them)
//   src      the source at the same place; rows are srcStep bytes apart
void FilterStrip(const Ipp8u* c, int srcStep, Ipp8u* out, int n, int rw, int rh, int step,
                 const float* table) {
  alignas(kAlign) float num[kStrip];
  alignas(kAlign) float den[kStrip];
  alignas(kAlign) float w[kStrip];
  alignas(kAlign) float value[kStrip + 2 * 128];
  alignas(kAlign) Ipp8u diff[kStrip];
  std::fill(num, num + n, 0.0f);
  std::fill(den, den + n, 0.0f);

  for (int dy = -(rh / step) * step; dy <= rh; dy += step) {
    const Ipp8u* row = Detail::RowAt(c, srcStep, dy);
    // Neighbour values of this mask row as floats, from column -rw to n - 1 + rw.
    const int span = n + 2 * rw;
    const Ipp8u* rowLeft = row - rw;
    for (int k = 0; k < span; ++k) value[k] = static_cast<float>(rowLeft[k]);
    for (int dx = -(rw / step) * step; dx <= rw; dx += step) {
      const float* weights = table + 256 * std::max(std::abs(dx), std::abs(dy));
      const Ipp8u* nb = row + dx;
      // Absolute grey-level differences (vectorised on bytes), then one table lookup each.
      for (int k = 0; k < n; ++k) {
        const Ipp8u a = nb[k], b = c[k];
        diff[k] = static_cast<Ipp8u>(std::max(a, b) - std::min(a, b));
      }
      for (int k = 0; k < n; ++k) w[k] = weights[diff[k]];
      const float* v = value + rw + dx;
      for (int k = 0; k < n; ++k) {
        num[k] += w[k] * v[k];
        den[k] += w[k];
      }
    }
  }
  for (int k = 0; k < n; ++k) out[k] = Detail::RoundToByte(num[k] / den[k]);
}

constexpr int kBlock = 32;           // outputs whose sums stay in registers across the mask
constexpr int kShareFloats = 12288;  // stack floats of the shared-weight path (48 KB)
constexpr int kShareMinStrip = 64;   // narrower strips leave the masks to FilterStrip
constexpr int kShareMaxTaps = 256;

// w[x] = table[|nb[x] - c[x]|] for x < count.
TALVEX_ALWAYS_INLINE void BilateralWeightsBody(const Ipp8u* __restrict c,
                                               const Ipp8u* __restrict nb,
                                               const float* __restrict table, float* __restrict w,
                                               int count) {
  for (int x = 0; x < count; ++x) {
    const Ipp8u a = nb[x], b = c[x];
    w[x] = table[static_cast<Ipp8u>(std::max(a, b) - std::min(a, b))];
  }
}

// out[x] = round(sum_t w[t][x] * v[t][x] / sum_t w[t][x]) for x < n, summed tap by tap in single
// precision, Lanes floats per vector; element-wise arithmetic on vectors rounds exactly as on
// single floats. Reads w[t] and v[t] up to n rounded up to a whole block.
template <int Lanes>
TALVEX_ALWAYS_INLINE void BilateralAccumulateBody(const float* const* w, const float* const* v,
                                                  int taps, Ipp8u* out, int n) {
  typedef float Vec __attribute__((vector_size(Lanes * sizeof(float))));
  constexpr int kVectors = kBlock / Lanes;
  for (int x = 0; x < n; x += kBlock) {
    Vec num[kVectors], den[kVectors];
    for (int j = 0; j < kVectors; ++j) num[j] = den[j] = Vec{};
    for (int t = 0; t < taps; ++t) {
      const float* wt = w[t] + x;
      const float* vt = v[t] + x;
      for (int j = 0; j < kVectors; ++j) {
        Vec weight, value;
        std::memcpy(&weight, wt + j * Lanes, sizeof weight);
        std::memcpy(&value, vt + j * Lanes, sizeof value);
        num[j] += weight * value;
        den[j] += weight;
      }
    }
    float sums[kBlock];
    for (int j = 0; j < kVectors; ++j) {
      const Vec q = num[j] / den[j];
      std::memcpy(sums + j * Lanes, &q, sizeof q);
    }
    Ipp8u q[kBlock];
    for (int k = 0; k < kBlock; ++k) q[k] = Detail::RoundToByte(sums[k]);
    std::memcpy(out + x, q, static_cast<std::size_t>(std::min(kBlock, n - x)));
  }
}

}  // namespace

namespace Detail {

void BilateralWeightsPortable(const Ipp8u* c, const Ipp8u* nb, const float* table, float* w,
                              int count) {
  BilateralWeightsBody(c, nb, table, w, count);
}
#if TALVEX_HAS_AVX2_PATH
// Sixteen differences at a time, looked up by two eight-lane gathers.
TALVEX_TARGET_AVX2 void BilateralWeightsAvx2(const Ipp8u* c, const Ipp8u* nb, const float* table,
                                             float* w, int count) {
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nb + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + x));
    const __m128i d = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
    _mm256_storeu_ps(w + x, _mm256_i32gather_ps(table, _mm256_cvtepu8_epi32(d), 4));
    _mm256_storeu_ps(w + x + 8,
                     _mm256_i32gather_ps(table, _mm256_cvtepu8_epi32(_mm_srli_si128(d, 8)), 4));
  }
  BilateralWeightsBody(c + x, nb + x, table, w + x, count - x);
}
#endif
void BilateralAccumulatePortable(const float* const* w, const float* const* v, int taps, Ipp8u* out,
                                 int n) {
  BilateralAccumulateBody<8>(w, v, taps, out, n);
}
#if TALVEX_HAS_AVX2_PATH
TALVEX_TARGET_AVX2 void BilateralAccumulateAvx2(const float* const* w, const float* const* v,
                                                int taps, Ipp8u* out, int n) {
  BilateralAccumulateBody<8>(w, v, taps, out, n);
}
#endif
#if TALVEX_HAS_AVX512_PATH
TALVEX_TARGET_AVX512 void BilateralAccumulateAvx512(const float* const* w, const float* const* v,
                                                    int taps, Ipp8u* out, int n) {
  BilateralAccumulateBody<16>(w, v, taps, out, n);
}

// Sixteen differences at a time looked up in registers: the 256-entry table sits in sixteen
// vectors; eight two-vector permutes pick by the low five bits, bits 5, 6 and 7 choose among them
// (two permutes and bit 5 when all sixteen differences are below 64).
TALVEX_TARGET_AVX512 void BilateralWeightsAvx512(const Ipp8u* c, const Ipp8u* nb,
                                                 const float* table, float* w, int count) {
  __m512 t[16];
  for (int j = 0; j < 16; ++j) t[j] = _mm512_loadu_ps(table + 16 * j);
  const __m512i bit5 = _mm512_set1_epi32(32), bit6 = _mm512_set1_epi32(64);
  const __m512i bit7 = _mm512_set1_epi32(128);
  const __m128i high = _mm_set1_epi8(static_cast<char>(0xC0));
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nb + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + x));
    const __m128i bytes = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
    // The zero-masked widening: the unmasked form trips a false uninitialised-use warning.
    const __m512i d = _mm512_maskz_cvtepu8_epi32(0xFFFF, bytes);
    const __mmask16 m5 = _mm512_test_epi32_mask(d, bit5);
    if (_mm_testz_si128(bytes, high)) {
      // Neighbouring grey levels mostly differ by less than 64: the first four vectors suffice.
      const __m512 lo = _mm512_permutex2var_ps(t[0], d, t[1]);
      _mm512_storeu_ps(w + x, _mm512_mask_mov_ps(lo, m5, _mm512_permutex2var_ps(t[2], d, t[3])));
      continue;
    }
    __m512 p[8];
    for (int j = 0; j < 8; ++j) p[j] = _mm512_permutex2var_ps(t[2 * j], d, t[2 * j + 1]);
    const __mmask16 m6 = _mm512_test_epi32_mask(d, bit6);
    const __m512 q0 = _mm512_mask_mov_ps(p[0], m5, p[1]), q1 = _mm512_mask_mov_ps(p[2], m5, p[3]);
    const __m512 q2 = _mm512_mask_mov_ps(p[4], m5, p[5]), q3 = _mm512_mask_mov_ps(p[6], m5, p[7]);
    const __m512 r0 = _mm512_mask_mov_ps(q0, m6, q1), r1 = _mm512_mask_mov_ps(q2, m6, q3);
    _mm512_storeu_ps(w + x, _mm512_mask_mov_ps(r0, _mm512_test_epi32_mask(d, bit7), r1));
  }
  BilateralWeightsBody(c + x, nb + x, table, w + x, count - x);
}
#endif

}  // namespace Detail

namespace {

// The weight of a pair of pixels depends only on their grey-level difference and chessboard
// distance, so the weight pixel p gives neighbour p + o is the weight p + o gives p: each pair is
// looked up once. The mask offsets are numbered in raster order (dy, then dx); offset t and
// taps - 1 - t mirror each other, and the centre is t = forward. Per row strip, the weights of the
// forward offsets t > forward are kept for the last ry + 1 rows (a ring of weight rows), the
// grey levels as floats for the 2 ry + 1 rows the mask covers; every output then sums its taps in
// the same raster order as FilterStrip, so the two paths give identical bytes.
class SharedWeightFilter {
 public:
  SharedWeightFilter(int rw, int rh, int step, const float* table)
      : step_(step), rx_(rw / step * step), ry_(rh / step * step), table_(table) {
    cols_ = 2 * (rx_ / step) + 1;
    taps_ = cols_ * (2 * (ry_ / step) + 1);
    forward_ = (taps_ - 1) / 2;
    ringRows_ = ry_ + 1;
    valueRows_ = 2 * ry_ + 1;
    const int perColumn = forward_ * ringRows_ + valueRows_ + 1;
    strip_ = std::min(kStrip, (kShareFloats / perColumn - 2 * rx_) / kBlock * kBlock);
    span_ = strip_ + 2 * rx_;
  }

  // False when the mask needs more weight rows than the stack holds for a useful strip.
  bool Fits() const { return strip_ >= kShareMinStrip && taps_ <= kShareMaxTaps; }

  void Run(const Ipp8u* src, int srcStep, Ipp8u* dst, int dstStep, IppiSize roi) {
    alignas(kAlign) float store[kShareFloats];
    const int used = (forward_ * ringRows_ + valueRows_ + 1) * span_;
    std::fill(store, store + used, 0.0f);
    weights_ = store;
    values_ = weights_ + static_cast<std::ptrdiff_t>(forward_) * ringRows_ * span_;
    centre_ = values_ + static_cast<std::ptrdiff_t>(valueRows_) * span_;
    std::fill(centre_, centre_ + span_, table_[0]);
    for (int x0 = 0; x0 < roi.width; x0 += strip_)
      RunStrip(src + x0, srcStep, dst + x0, dstStep, std::min(strip_, roi.width - x0), roi.height);
  }

 private:
  int OffsetY(int t) const { return (t / cols_) * step_ - ry_; }
  int OffsetX(int t) const { return (t % cols_) * step_ - rx_; }
  // Weight row of forward offset f (t = forward + 1 + f) for source row r >= -ry, shifted so
  // that index 0 is the strip's first column.
  float* WeightRow(int f, int r) const {
    return weights_ + (static_cast<std::ptrdiff_t>(f) * ringRows_ + (r + ry_) % ringRows_) * span_ +
           rx_;
  }
  float* ValueRow(int r) const {
    return values_ + static_cast<std::ptrdiff_t>((r + ry_) % valueRows_) * span_ + rx_;
  }

  // Weights of every forward offset with the centre in source row r, over the columns where the
  // offset or its mirror reads them.
  void FillWeights(const Ipp8u* src, int srcStep, int r, int n) const {
    const Ipp8u* centre = Detail::RowAt(src, srcStep, r);
    for (int f = 0; f < forward_; ++f) {
      const int t = forward_ + 1 + f, dy = OffsetY(t), dx = OffsetX(t);
      const int lo = dx > 0 ? -dx : 0, hi = dx < 0 ? n - dx : n;
      const float* table = table_ + 256 * std::max(std::abs(dx), std::abs(dy));
      const Ipp8u* nb = Detail::RowAt(src, srcStep, r + dy) + dx;
      TALVEX_DISPATCH_WIDE(Detail::BilateralWeights, centre + lo, nb + lo, table,
                           WeightRow(f, r) + lo, hi - lo);
    }
  }

  void FillValues(const Ipp8u* src, int srcStep, int r, int n) const {
    TALVEX_DISPATCH(Detail::WidenRow, Detail::RowAt(src, srcStep, r) - rx_, ValueRow(r) - rx_,
                    n + 2 * rx_);
  }

  void RunStrip(const Ipp8u* src, int srcStep, Ipp8u* dst, int dstStep, int n, int height) {
    const float* w[kShareMaxTaps];
    const float* v[kShareMaxTaps];
    for (int r = -ry_; r < ry_; ++r) FillValues(src, srcStep, r, n);
    for (int r = -ry_; r < 0; ++r) FillWeights(src, srcStep, r, n);
    for (int y = 0; y < height; ++y) {
      FillValues(src, srcStep, y + ry_, n);
      FillWeights(src, srcStep, y, n);
      for (int t = 0; t < taps_; ++t) {
        const int dy = OffsetY(t), dx = OffsetX(t);
        v[t] = ValueRow(y + dy) + dx;
        if (t == forward_)
          w[t] = centre_;
        else if (t > forward_)
          w[t] = WeightRow(t - forward_ - 1, y);
        else  // the mirror offset's weight, stored with the centre at (y + dy, x + dx)
          w[t] = WeightRow(forward_ - 1 - t, y + dy) + dx;
      }
      TALVEX_DISPATCH_WIDE(Detail::BilateralAccumulate, w, v, taps_, Detail::RowAt(dst, dstStep, y),
                           n);
    }
  }

  int step_, rx_, ry_, cols_ = 0, taps_ = 0, forward_ = 0, ringRows_ = 0, valueRows_ = 0;
  int strip_ = 0, span_ = 0;
  const float* table_;
  float* weights_ = nullptr;
  float* values_ = nullptr;
  float* centre_ = nullptr;
};

}  // namespace

IppStatus ippiFilterBilateralGetBufSize_8u_C1R(IppiFilterBilateralType filter,
                                               IppiSize maxDstRoiSize, IppiSize maxKernelSize,
                                               int* pBufferSize) {
  if (pBufferSize == nullptr) return ippStsNullPtrErr;
  if (filter != ippiFilterBilateralGauss) return ippStsBadArgErr;
  if (maxDstRoiSize.width <= 0 || maxDstRoiSize.height <= 0) return ippStsSizeErr;
  if (maxKernelSize.width <= 0 || maxKernelSize.height <= 0) return ippStsMaskSizeErr;
  const int radius = TableRadius(maxKernelSize);
  if (radius > 127) return ippStsMaskSizeErr;
  *pBufferSize = static_cast<int>(PlanBytes(radius));
  return ippStsNoErr;
}

IppStatus ippiFilterBilateralInit_8u_C1R(IppiFilterBilateralType filter, IppiSize maxKernelSize,
                                         Ipp32f valSquareSigma, Ipp32f posSquareSigma,
                                         int stepInKernel, IppiFilterBilateralSpec* pSpec) {
  if (pSpec == nullptr) return ippStsNullPtrErr;
  if (filter != ippiFilterBilateralGauss) return ippStsBadArgErr;
  if (maxKernelSize.width <= 0 || maxKernelSize.height <= 0) return ippStsMaskSizeErr;
  const int radius = TableRadius(maxKernelSize);
  if (radius > 127) return ippStsMaskSizeErr;
  if (!(valSquareSigma > 0.0f) || !(posSquareSigma > 0.0f) || !std::isfinite(valSquareSigma) ||
      !std::isfinite(posSquareSigma) || stepInKernel < 1)
    return ippStsBadArgErr;

  auto* base = AlignUp(reinterpret_cast<unsigned char*>(pSpec));
  PlanHeader header{kPlanMagic, radius, stepInKernel, valSquareSigma, posSquareSigma};
  std::memcpy(base, &header, sizeof header);
  auto* table = reinterpret_cast<float*>(base + sizeof(PlanHeader));
  // Weights are evaluated in double and stored in single precision: product of the intensity and
  // the spatial Gaussian, so the filter needs one lookup per neighbour.
  for (int r = 0; r <= radius; ++r) {
    const double spatial = std::exp(-static_cast<double>(r) * r / (2.0 * posSquareSigma));
    for (int d = 0; d < 256; ++d) {
      const double intensity = std::exp(-static_cast<double>(d) * d / (2.0 * valSquareSigma));
      table[256 * r + d] = static_cast<float>(intensity * spatial);
    }
  }
  return ippStsNoErr;
}

IppStatus ippiFilterBilateral_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize dstRoiSize, IppiSize kernelSize,
                                     const IppiFilterBilateralSpec* pSpec) {
  if (pSrc == nullptr || pDst == nullptr || pSpec == nullptr) return ippStsNullPtrErr;
  if (dstRoiSize.width <= 0 || dstRoiSize.height <= 0) return ippStsSizeErr;
  if (kernelSize.width <= 0 || kernelSize.height <= 0) return ippStsMaskSizeErr;
  if (srcStep < dstRoiSize.width || dstStep < dstRoiSize.width) return ippStsStepErr;
  const auto* base = AlignUp(reinterpret_cast<const unsigned char*>(pSpec));
  PlanHeader header;
  std::memcpy(&header, base, sizeof header);
  if (header.magic != kPlanMagic) return ippStsBadArgErr;
  const int rw = (OddReduced(kernelSize.width) - 1) / 2;
  const int rh = (OddReduced(kernelSize.height) - 1) / 2;
  if (std::max(rw, rh) > header.radius) return ippStsMaskSizeErr;

  const auto* table = reinterpret_cast<const float*>(base + sizeof(PlanHeader));
  SharedWeightFilter shared(rw, rh, header.stepInKernel, table);
  if (shared.Fits()) {
    shared.Run(pSrc, srcStep, pDst, dstStep, dstRoiSize);
    return ippStsNoErr;
  }
  for (int y = 0; y < dstRoiSize.height; ++y) {
    const Ipp8u* srcRow = Detail::RowAt(pSrc, srcStep, y);
    Ipp8u* dstRow = Detail::RowAt(pDst, dstStep, y);
    for (int x0 = 0; x0 < dstRoiSize.width; x0 += kStrip) {
      const int n = std::min(kStrip, dstRoiSize.width - x0);
      FilterStrip(srcRow + x0, srcStep, dstRow + x0, n, rw, rh, header.stepInKernel, table);
    }
  }
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

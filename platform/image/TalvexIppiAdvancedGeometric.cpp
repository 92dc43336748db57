// Resizing (point-pixel mapping, replicated edges) and map-driven remapping of B-scans and maps.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <type_traits>

#include "platform/AlignedStorage.h"
#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexImageKernels.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

using Detail::RowAt;
using Detail::Scratch;

inline void Store(float v, float* out) { *out = v; }
inline void Store(float v, Ipp8u* out) { *out = Detail::RoundToByte(v); }
inline void Store(Ipp8u v, Ipp8u* out) { *out = v; }

int TapCount(int interpolation) {
  return interpolation == IPPI_INTER_NN ? 1 : interpolation == IPPI_INTER_LINEAR ? 2 : 4;
}

// Interpolation weights at fraction t in [0, 1) for the taps x0, x0 + 1 (linear) or
// x0 - 1 .. x0 + 2 (4-point Lagrange); t = 0 gives the single weight 1 on x0.
inline void LinearWeights(float t, float* w) {
  w[0] = 1.0f - t;
  w[1] = t;
}
inline void LagrangeWeights(float t, float* w) {
  const float a = t + 1.0f, b = t, c = t - 1.0f, d = t - 2.0f;
  w[0] = -b * c * d / 6.0f;
  w[1] = a * c * d / 2.0f;
  w[2] = -a * b * d / 2.0f;
  w[3] = a * b * c / 6.0f;
}

// A row interpolated along x is read from a float copy of the source row with the edge sample
// replicated kPadLeft places to the left and kPadRight to the right, so the taps of every
// destination sample are consecutive: one start index per destination sample, no clamping.
constexpr int kPadLeft = 1;
constexpr int kPadRight = 3;

// Taps of one axis of a resize, per destination index:
//   taps == 1 (every position a whole number): index = the source index, clamped to the region;
//             step >= 0 when index[d] = index[0] + step * d for every d (a strided copy)
//   taps 2, 4: index = position of the first tap in the padded row, weight = the taps' weights.
struct AxisTaps {
  int taps = 1;
  int step = -1;
  int* index = nullptr;
  float* weight = nullptr;
};

void BuildAxis(int dstLen, int srcLen, double factor, int interpolation, AxisTaps& axis) {
  const int taps = TapCount(interpolation);
  axis.taps = taps;
  bool integral = true;
  for (int d = 0; d < dstLen; ++d) {
    double pos = d / factor;
    const double whole = std::round(pos);
    if (std::abs(pos - whole) <= 1e-6 * std::max(1.0, std::abs(pos))) pos = whole;
    const double base = std::floor(pos);
    const float t = static_cast<float>(pos - base);
    if (t != 0.0f && interpolation != IPPI_INTER_NN) integral = false;
    const long long x0 = static_cast<long long>(std::min(base, 1e9));
    float w[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    long long first = x0;
    if (interpolation == IPPI_INTER_LINEAR) {
      LinearWeights(t, w);
    } else if (interpolation == IPPI_INTER_CUBIC) {
      LagrangeWeights(t, w);
      first = x0 - 1;
    }
    // A first tap beyond the last sample reads the replicated edge only, like the clamped taps.
    axis.index[d] = kPadLeft + static_cast<int>(std::clamp<long long>(first, -1, srcLen - 1));
    for (int k = 0; k < taps; ++k) axis.weight[d * taps + k] = w[k];
  }
  if (integral) {
    // Whole-number positions: one tap of weight 1 on x0, clamped into the region.
    const int centre = (interpolation == IPPI_INTER_CUBIC) ? 1 : 0;
    for (int d = 0; d < dstLen; ++d)
      axis.index[d] = std::min(axis.index[d] - kPadLeft + centre, srcLen - 1);
    axis.taps = 1;
    axis.step = dstLen > 1 ? axis.index[1] - axis.index[0] : 0;
    for (int d = 1; d < dstLen && axis.step >= 0; ++d)
      if (axis.index[d] != axis.index[0] + axis.step * d) axis.step = -1;
  }
}

// out[x] = row[index[x]] for whole-number positions; constant steps become strided copies.
template <typename In, typename Out>
void GatherPass(const In* __restrict row, const AxisTaps& ax, Out* __restrict out, int n) {
  const int* idx = ax.index;
  const In* r = row + idx[0];
  switch (ax.step) {
    case 1:
      for (int x = 0; x < n; ++x) Store(r[x], out + x);
      return;
    case 2:
      for (int x = 0; x < n; ++x) Store(r[2 * x], out + x);
      return;
    case 3:
      for (int x = 0; x < n; ++x) Store(r[3 * x], out + x);
      return;
    case 4:
      for (int x = 0; x < n; ++x) Store(r[4 * x], out + x);
      return;
    default:
      for (int x = 0; x < n; ++x) Store(row[idx[x]], out + x);
      return;
  }
}

// The per-row kernels below have a portable and an AVX2 path (platform/TalvexSimd.h). Both give
// identical results: element-wise products and sums in the same order, no fused multiply-add.

// out[x] = sum_k w[x, k] * padded[index[x] + k], summed in tap order in single precision.
template <typename Out>
TALVEX_ALWAYS_INLINE void InterpolateRowBody(const float* __restrict padded,
                                             const int* __restrict idx, const float* __restrict w,
                                             int taps, Out* __restrict out, int n) {
  if (taps == 2) {
    for (int x = 0; x < n; ++x) {
      const float* p = padded + idx[x];
      Store(w[2 * x] * p[0] + w[2 * x + 1] * p[1], out + x);
    }
  } else {
    for (int x = 0; x < n; ++x) {
      const float* p = padded + idx[x];
      const float* c = w + 4 * x;
      Store(c[0] * p[0] + c[1] * p[1] + c[2] * p[2] + c[3] * p[3], out + x);
    }
  }
}

// column[x] = sum_k w[k] * rows[k][x] over 2 or 4 source rows, summed in tap order.
template <typename T>
TALVEX_ALWAYS_INLINE void BlendRowsBody(const T* const* rows, const float* w, int taps,
                                        float* __restrict column, int n) {
  const T* __restrict a = rows[0];
  const T* __restrict b = rows[1];
  const float w0 = w[0], w1 = w[1];
  if (taps == 2) {
    for (int x = 0; x < n; ++x)
      column[x] = w0 * static_cast<float>(a[x]) + w1 * static_cast<float>(b[x]);
    return;
  }
  const T* __restrict c = rows[2];
  const T* __restrict d = rows[3];
  const float w2 = w[2], w3 = w[3];
  for (int x = 0; x < n; ++x)
    column[x] = w0 * static_cast<float>(a[x]) + w1 * static_cast<float>(b[x]) +
                w2 * static_cast<float>(c[x]) + w3 * static_cast<float>(d[x]);
}

}  // namespace

namespace Detail {

TALVEX_KERNEL_PATHS(void, InterpolateRow,
                    (const float* padded, const int* idx, const float* w, int taps, float* out,
                     int n),
                    (padded, idx, w, taps, out, n))
TALVEX_KERNEL_PATHS(void, InterpolateRow,
                    (const float* padded, const int* idx, const float* w, int taps, Ipp8u* out,
                     int n),
                    (padded, idx, w, taps, out, n))
TALVEX_KERNEL_PATHS(void, BlendRows,
                    (const Ipp8u* const* rows, const float* w, int taps, float* column, int n),
                    (rows, w, taps, column, n))
TALVEX_KERNEL_PATHS(void, BlendRows,
                    (const float* const* rows, const float* w, int taps, float* column, int n),
                    (rows, w, taps, column, n))

}  // namespace Detail

namespace {

// The kernels above, on the processor's best instruction set.
template <typename Out>
void InterpolateRow(const float* padded, const int* idx, const float* w, int taps, Out* out,
                    int n) {
  TALVEX_DISPATCH(Detail::InterpolateRow, padded, idx, w, taps, out, n);
}
template <typename T>
void BlendRows(const T* const* rows, const float* w, int taps, float* column, int n) {
  TALVEX_DISPATCH(Detail::BlendRows, rows, w, taps, column, n);
}

template <typename T>
void Widen(const T* __restrict row, float* __restrict column, int n) {
  for (int x = 0; x < n; ++x) column[x] = static_cast<float>(row[x]);
}

// Replicates the edge samples of the row held at padded[kPadLeft .. kPadLeft + len).
inline void PadRow(float* padded, int len) {
  for (int k = 0; k < kPadLeft; ++k) padded[k] = padded[kPadLeft];
  for (int k = 0; k < kPadRight; ++k) padded[kPadLeft + len + k] = padded[kPadLeft + len - 1];
}

// Source region [x0, x1] x [y0, y1] (inclusive) of an image.
struct Region {
  int x0, y0, x1, y1;
};

// The source rectangle clipped to the image; false when nothing of it lies inside.
bool ClipToImage(IppiSize size, IppiRect roi, Region* r) {
  const long long x0 = std::max<long long>(roi.x, 0);
  const long long y0 = std::max<long long>(roi.y, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(roi.x) + roi.width, size.width);
  const long long y1 = std::min<long long>(static_cast<long long>(roi.y) + roi.height, size.height);
  if (x1 <= x0 || y1 <= y0) return false;
  *r = Region{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - 1),
              static_cast<int>(y1 - 1)};
  return true;
}

template <typename T>
IppStatus ResizeImpl(const T* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi, T* pDst,
                     int dstStep, IppiSize dstRoiSize, double xFactor, double yFactor,
                     int interpolation) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (srcSize.width <= 0 || srcSize.height <= 0 || dstRoiSize.width <= 0 || dstRoiSize.height <= 0)
    return ippStsSizeErr;
  const long long elem = static_cast<long long>(sizeof(T));
  if (srcStep < srcSize.width * elem || dstStep < dstRoiSize.width * elem) return ippStsStepErr;
  if (!(xFactor > 0.0) || !(yFactor > 0.0) || !std::isfinite(xFactor) || !std::isfinite(yFactor))
    return ippStsResizeFactorErr;
  if (interpolation != IPPI_INTER_NN && interpolation != IPPI_INTER_LINEAR &&
      interpolation != IPPI_INTER_CUBIC)
    return ippStsInterpolationErr;
  Region src;
  if (!ClipToImage(srcSize, srcRoi, &src)) return ippStsRoiErr;
  const int roiW = src.x1 - src.x0 + 1;
  const int roiH = src.y1 - src.y0 + 1;

  const int taps = TapCount(interpolation);
  const long long dw = dstRoiSize.width, dh = dstRoiSize.height;
  Scratch<int> indices(dw + dh);
  Scratch<float> floats((dw + dh) * taps + kPadLeft + roiW + kPadRight);
  if (!indices || !floats) return ippStsMemAllocErr;
  AxisTaps ax{taps, -1, indices.get(), floats.get()};
  AxisTaps ay{taps, -1, indices.get() + dw, floats.get() + dw * taps};
  float* padded = floats.get() + (dw + dh) * taps;  // one row, interpolated across rows, padded
  float* column = padded + kPadLeft;
  BuildAxis(dstRoiSize.width, roiW, xFactor, interpolation, ax);
  BuildAxis(dstRoiSize.height, roiH, yFactor, interpolation, ay);

  const T* origin = RowAt(pSrc, srcStep, src.y0) + src.x0;
  for (int y = 0; y < dstRoiSize.height; ++y) {
    T* out = RowAt(pDst, dstStep, y);
    // The source rows of this destination row and their weights; a weight of exactly 1 on one
    // row (a whole-number position) reads that row alone.
    const T* single = nullptr;
    if (ay.taps == 1) {
      single = RowAt(origin, srcStep, ay.index[y]);
    } else {
      const int first = ay.index[y] - kPadLeft;
      const float* wy = ay.weight + y * taps;
      if (taps == 2 && wy[0] == 1.0f) {
        single = RowAt(origin, srcStep, std::min(first, roiH - 1));
      } else if (taps == 4 && wy[1] == 1.0f && wy[0] == 0.0f && wy[2] == 0.0f && wy[3] == 0.0f) {
        single = RowAt(origin, srcStep, std::min(first + 1, roiH - 1));
      } else {
        // column = sum_k wy[k] * row(first + k), rows clamped into the region, in tap order.
        const T* r[4] = {};
        for (int k = 0; k < taps; ++k)
          r[k] = RowAt(origin, srcStep, std::clamp(first + k, 0, roiH - 1));
        BlendRows(r, wy, taps, column, roiW);
      }
    }
    if (single != nullptr) {
      if (ax.taps == 1) {
        GatherPass(single, ax, out, dstRoiSize.width);
        continue;
      }
      Widen(single, column, roiW);
    }
    if (ax.taps == 1) {
      GatherPass(static_cast<const float*>(column), ax, out, dstRoiSize.width);
    } else {
      PadRow(padded, roiW);
      InterpolateRow(padded, ax.index, ax.weight, ax.taps, out, dstRoiSize.width);
    }
  }
  return ippStsNoErr;
}

// Remap of one pixel at source position (x, y), inside the region [x0, x1] x [y0, y1].

inline float Pixel(const Ipp8u* src, int step, int x, int y) {
  return static_cast<float>(src[static_cast<std::ptrdiff_t>(step) * y + x]);
}

inline float SampleNearest(const Ipp8u* src, int step, const Region& r, float x, float y) {
  const int ix = std::min(static_cast<int>(std::floor(x + 0.5f)), r.x1);
  const int iy = std::min(static_cast<int>(std::floor(y + 0.5f)), r.y1);
  return Pixel(src, step, ix, iy);
}

inline float SampleLinear(const Ipp8u* src, int step, const Region& r, float x, float y) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  const float tx = x - fx, ty = y - fy;
  const int ix1 = std::min(ix + 1, r.x1), iy1 = std::min(iy + 1, r.y1);
  const float top = (1.0f - tx) * Pixel(src, step, ix, iy) + tx * Pixel(src, step, ix1, iy);
  const float bottom = (1.0f - tx) * Pixel(src, step, ix, iy1) + tx * Pixel(src, step, ix1, iy1);
  return (1.0f - ty) * top + ty * bottom;
}

inline float SampleCubic(const Ipp8u* src, int step, const Region& r, float x, float y) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float wx[4], wy[4];
  LagrangeWeights(x - fx, wx);
  LagrangeWeights(y - fy, wy);
  int cx[4];
  for (int k = 0; k < 4; ++k) cx[k] = std::clamp(ix - 1 + k, r.x0, r.x1);
  float sum = 0.0f;
  for (int j = 0; j < 4; ++j) {
    const int row = std::clamp(iy - 1 + j, r.y0, r.y1);
    float acc = 0.0f;
    for (int k = 0; k < 4; ++k) acc += wx[k] * Pixel(src, step, cx[k], row);
    sum += wy[j] * acc;
  }
  return sum;
}

template <typename Sampler>
void RemapRows(const Ipp8u* pSrc, int srcStep, const Region& r, const Ipp32f* pxMap, int xMapStep,
               const Ipp32f* pyMap, int yMapStep, Ipp8u* pDst, int dstStep, IppiSize size,
               Sampler sample) {
  const float lx = static_cast<float>(r.x0), hx = static_cast<float>(r.x1);
  const float ly = static_cast<float>(r.y0), hy = static_cast<float>(r.y1);
  for (int y = 0; y < size.height; ++y) {
    const Ipp32f* xm = RowAt(pxMap, xMapStep, y);
    const Ipp32f* ym = RowAt(pyMap, yMapStep, y);
    Ipp8u* out = RowAt(pDst, dstStep, y);
    for (int x = 0; x < size.width; ++x) {
      const float sx = xm[x], sy = ym[x];
      // Positions outside the region (or NaN) are skipped; the region's edge is inside.
      if (!(sx >= lx && sx <= hx && sy >= ly && sy <= hy)) continue;
      // A whole-pixel position reads its pixel: every interpolation's weights are 1 there and 0
      // on the other taps, so the value is the same, without the taps.
      const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
      if (static_cast<float>(ix) == sx && static_cast<float>(iy) == sy) {
        out[x] = pSrc[static_cast<std::ptrdiff_t>(srcStep) * iy + ix];
        continue;
      }
      Store(sample(pSrc, srcStep, r, sx, sy), out + x);
    }
  }
}

}  // namespace

IppStatus ippiResize_8u_C1R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                            Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                            double yFactor, int interpolation) {
  return ResizeImpl(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,
                    interpolation);
}

IppStatus ippiResize_32f_C1R(const Ipp32f* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                             Ipp32f* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                             double yFactor, int interpolation) {
  return ResizeImpl(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,
                    interpolation);
}

IppStatus ippiRemap_8u_C1R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                           const Ipp32f* pxMap, int xMapStep, const Ipp32f* pyMap, int yMapStep,
                           Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, int interpolation) {
  if (pSrc == nullptr || pxMap == nullptr || pyMap == nullptr || pDst == nullptr)
    return ippStsNullPtrErr;
  if (srcSize.width <= 0 || srcSize.height <= 0 || dstRoiSize.width <= 0 || dstRoiSize.height <= 0)
    return ippStsSizeErr;
  if (srcStep < srcSize.width || dstStep < dstRoiSize.width || xMapStep < dstRoiSize.width * 4LL ||
      yMapStep < dstRoiSize.width * 4LL)
    return ippStsStepErr;
  Region r;
  if (!ClipToImage(srcSize, srcRoi, &r)) return ippStsRoiErr;
  switch (interpolation) {
    case IPPI_INTER_NN:
      RemapRows(pSrc, srcStep, r, pxMap, xMapStep, pyMap, yMapStep, pDst, dstStep, dstRoiSize,
                SampleNearest);
      return ippStsNoErr;
    case IPPI_INTER_LINEAR:
      RemapRows(pSrc, srcStep, r, pxMap, xMapStep, pyMap, yMapStep, pDst, dstStep, dstRoiSize,
                SampleLinear);
      return ippStsNoErr;
    case IPPI_INTER_CUBIC:
      RemapRows(pSrc, srcStep, r, pxMap, xMapStep, pyMap, yMapStep, pDst, dstStep, dstRoiSize,
                SampleCubic);
      return ippStsNoErr;
    default:
      return ippStsInterpolationErr;
  }
}

}  // namespace Talvex::Platform

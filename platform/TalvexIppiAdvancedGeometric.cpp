// Resizing (point-pixel mapping, replicated edges) and map-driven remapping of B-scans and maps.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <type_traits>

#include "common/data_structures/AlignedStorage.h"
#include "platform/TalvexImageAccess.h"
#include "platform/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

using Detail::Scratch;

template <typename T>
const T* RowOf(const T* base, int step, int row) {
  return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(base) +
                                    static_cast<std::ptrdiff_t>(step) * row);
}
template <typename T>
T* RowOf(T* base, int step, int row) {
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(base) +
                              static_cast<std::ptrdiff_t>(step) * row);
}

inline void Store(float v, float* out) { *out = v; }
inline void Store(float v, Ipp8u* out) {
  // Round to nearest, halves upwards, saturated to 0..255.
  const float r = std::min(std::max(v + 0.5f, 0.0f), 255.0f);
  *out = static_cast<Ipp8u>(static_cast<int>(r));
}

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

// Taps of one axis of a resize: for each destination index, `taps` source indices (relative to the
// region, clamped into it) and their weights. `integral` is set when every position is a whole
// number, so one tap of weight 1 suffices.
struct AxisTaps {
  int taps = 1;
  bool integral = true;
  int* index = nullptr;
  float* weight = nullptr;
};

void BuildAxis(int dstLen, int srcLen, double factor, int interpolation, AxisTaps& axis) {
  const int taps = TapCount(interpolation);
  axis.taps = taps;
  axis.integral = true;
  for (int d = 0; d < dstLen; ++d) {
    double pos = d / factor;
    const double whole = std::round(pos);
    if (std::abs(pos - whole) <= 1e-6 * std::max(1.0, std::abs(pos))) pos = whole;
    const double base = std::floor(pos);
    const float t = static_cast<float>(pos - base);
    if (t != 0.0f && interpolation != IPPI_INTER_NN) axis.integral = false;
    const long long x0 = static_cast<long long>(std::min(base, 1e9));
    float w[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    long long first = x0;
    if (interpolation == IPPI_INTER_LINEAR) {
      LinearWeights(t, w);
    } else if (interpolation == IPPI_INTER_CUBIC) {
      LagrangeWeights(t, w);
      first = x0 - 1;
    }
    for (int k = 0; k < taps; ++k) {
      axis.index[d * taps + k] = static_cast<int>(std::clamp<long long>(first + k, 0, srcLen - 1));
      axis.weight[d * taps + k] = w[k];
    }
  }
  if (axis.integral && taps > 1) {
    // Whole-number positions: keep the tap on x0 alone (weight exactly 1).
    const int centre = (interpolation == IPPI_INTER_CUBIC) ? 1 : 0;
    for (int d = 0; d < dstLen; ++d) axis.index[d] = axis.index[d * taps + centre];
    axis.taps = 1;
  }
}

// dst[x] = sum_k w[x, k] * row[index[x, k]] for one destination row. The gathers write floats
// (into dst itself, or into `sums` for 8-bit output, which a separate vectorised pass rounds).
template <typename In, typename Out>
void HorizontalPass(const In* __restrict row, const AxisTaps& ax, Out* __restrict dst,
                    float* __restrict sums, int n) {
  const int* idx = ax.index;
  const float* w = ax.weight;
  if constexpr (std::is_same_v<In, Out>) {
    if (ax.taps == 1) {
      for (int x = 0; x < n; ++x) dst[x] = row[idx[x]];  // whole-number positions: a gather
      return;
    }
  }
  float* acc = nullptr;
  if constexpr (std::is_same_v<Out, float>) {
    acc = dst;
  } else {
    acc = sums;
  }
  switch (ax.taps) {
    case 1:
      for (int x = 0; x < n; ++x) acc[x] = static_cast<float>(row[idx[x]]);
      break;
    case 2:
      for (int x = 0; x < n; ++x) {
        const int* i = idx + 2 * x;
        const float* c = w + 2 * x;
        acc[x] = c[0] * row[i[0]] + c[1] * row[i[1]];
      }
      break;
    default:
      for (int x = 0; x < n; ++x) {
        const int* i = idx + 4 * x;
        const float* c = w + 4 * x;
        acc[x] = c[0] * row[i[0]] + c[1] * row[i[1]] + c[2] * row[i[2]] + c[3] * row[i[3]];
      }
      break;
  }
  if constexpr (!std::is_same_v<Out, float>) {
    for (int x = 0; x < n; ++x) Store(acc[x], dst + x);
  }
}

template <typename T>
IppStatus ResizeImpl(const T* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi, T* pDst,
                     int dstStep, IppiSize dstRoiSize, double xFactor, double yFactor,
                     int interpolation) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (srcSize.width <= 0 || srcSize.height <= 0 || dstRoiSize.width <= 0 || dstRoiSize.height <= 0)
    return ippStsSizeErr;
  const int elem = static_cast<int>(sizeof(T));
  if (srcStep < srcSize.width * elem || dstStep < dstRoiSize.width * elem) return ippStsStepErr;
  if (!(xFactor > 0.0) || !(yFactor > 0.0) || !std::isfinite(xFactor) || !std::isfinite(yFactor))
    return ippStsResizeFactorErr;
  if (interpolation != IPPI_INTER_NN && interpolation != IPPI_INTER_LINEAR &&
      interpolation != IPPI_INTER_CUBIC)
    return ippStsInterpolationErr;
  const long long rx0 = std::max<long long>(srcRoi.x, 0);
  const long long ry0 = std::max<long long>(srcRoi.y, 0);
  const long long rx1 =
      std::min<long long>(static_cast<long long>(srcRoi.x) + srcRoi.width, srcSize.width);
  const long long ry1 =
      std::min<long long>(static_cast<long long>(srcRoi.y) + srcRoi.height, srcSize.height);
  if (rx1 <= rx0 || ry1 <= ry0) return ippStsRoiErr;
  const int roiW = static_cast<int>(rx1 - rx0);
  const int roiH = static_cast<int>(ry1 - ry0);

  const int taps = TapCount(interpolation);
  const long long dw = dstRoiSize.width, dh = dstRoiSize.height;
  Scratch<int> indices((dw + dh) * taps);
  Scratch<float> floats((dw + dh) * taps + roiW + dw);
  if (!indices || !floats) return ippStsMemAllocErr;
  AxisTaps ax{taps, true, indices.get(), floats.get()};
  AxisTaps ay{taps, true, indices.get() + dw * taps, floats.get() + dw * taps};
  float* column = floats.get() + (dw + dh) * taps;  // one source row interpolated across rows
  float* sums = column + roiW;                      // one destination row before rounding
  BuildAxis(dstRoiSize.width, roiW, xFactor, interpolation, ax);
  BuildAxis(dstRoiSize.height, roiH, yFactor, interpolation, ay);

  const T* origin = RowOf(pSrc, srcStep, static_cast<int>(ry0)) + rx0;
  for (int y = 0; y < dstRoiSize.height; ++y) {
    T* out = RowOf(pDst, dstStep, y);
    const int* iy = ay.index + y * ay.taps;
    const float* wy = ay.weight + y * ay.taps;
    if (ay.taps == 1 || (wy[0] == 1.0f && taps == 2)) {
      HorizontalPass(RowOf(origin, srcStep, iy[0]), ax, out, sums, dstRoiSize.width);
      continue;
    }
    if (taps == 4 && wy[1] == 1.0f && wy[0] == 0.0f && wy[2] == 0.0f && wy[3] == 0.0f) {
      HorizontalPass(RowOf(origin, srcStep, iy[1]), ax, out, sums, dstRoiSize.width);
      continue;
    }
    const T* r0 = RowOf(origin, srcStep, iy[0]);
    const float w0 = wy[0];
    for (int x = 0; x < roiW; ++x) column[x] = w0 * static_cast<float>(r0[x]);
    for (int k = 1; k < ay.taps; ++k) {
      const T* rk = RowOf(origin, srcStep, iy[k]);
      const float wk = wy[k];
      for (int x = 0; x < roiW; ++x) column[x] += wk * static_cast<float>(rk[x]);
    }
    HorizontalPass(static_cast<const float*>(column), ax, out, sums, dstRoiSize.width);
  }
  return ippStsNoErr;
}

// Remap of one pixel at source position (x, y), inside the region [x0, x1] x [y0, y1].
struct Region {
  int x0, y0, x1, y1;
};

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
    const Ipp32f* xm = RowOf(pxMap, xMapStep, y);
    const Ipp32f* ym = RowOf(pyMap, yMapStep, y);
    Ipp8u* out = RowOf(pDst, dstStep, y);
    for (int x = 0; x < size.width; ++x) {
      const float sx = xm[x], sy = ym[x];
      // Positions outside the region (or NaN) are skipped; the region's edge is inside.
      if (!(sx >= lx && sx <= hx && sy >= ly && sy <= hy)) continue;
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
  if (srcStep < srcSize.width || dstStep < dstRoiSize.width || xMapStep < dstRoiSize.width * 4 ||
      yMapStep < dstRoiSize.width * 4)
    return ippStsStepErr;
  const long long x0 = std::max<long long>(srcRoi.x, 0);
  const long long y0 = std::max<long long>(srcRoi.y, 0);
  const long long x1 =
      std::min<long long>(static_cast<long long>(srcRoi.x) + srcRoi.width, srcSize.width);
  const long long y1 =
      std::min<long long>(static_cast<long long>(srcRoi.y) + srcRoi.height, srcSize.height);
  if (x1 <= x0 || y1 <= y0) return ippStsRoiErr;
  const Region r{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - 1),
                 static_cast<int>(y1 - 1)};
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

// Exact Euclidean distance transform of two-valued B-scan images (Felzenszwalb-Huttenlocher).
//
// Pass 1 (columns, done row by row so every loop runs over contiguous memory): g(x, y) = distance
// along column x from (x, y) to the nearest zero pixel of that column, or "none".
// Pass 2 (rows): d²(x, y) = min over u of (x - u)² + g(u, y)², the lower envelope of the parabolas
// rooted at the columns that have a zero pixel. All squared distances are integers held exactly
// in double precision; the envelope breakpoints are compared with exact-integer positions, so
// the result is the exact distance, rounded once when the square root is taken.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "platform/vision/TalvexIppcv.h"

namespace Talvex::Platform {

namespace {

// Column distances above any real one mean "this column has no zero pixel".
constexpr std::int32_t kNoZero = std::numeric_limits<std::int32_t>::max() / 2;

constexpr std::size_t kAlign = 64;

std::size_t RoundUp(std::size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; }

// Work buffer layout (each part 64-byte aligned inside the caller's buffer):
//   g        width * height int32   column distances
//   roots    width int32            envelope parabola roots
//   breaks   (width + 1) double     envelope breakpoints
//   heights  width double           g² of each envelope root
//   inverse  width double           1 / (2 d) for d = 1 ... width - 1
struct Layout {
  std::size_t g, roots, breaks, heights, inverse, total;
};

Layout ComputeLayout(IppiSize roi) {
  const auto w = static_cast<std::size_t>(roi.width);
  const auto h = static_cast<std::size_t>(roi.height);
  Layout l{};
  l.g = 0;
  l.roots = l.g + RoundUp(w * h * sizeof(std::int32_t));
  l.breaks = l.roots + RoundUp(w * sizeof(std::int32_t));
  l.heights = l.breaks + RoundUp((w + 1) * sizeof(double));
  l.inverse = l.heights + RoundUp(w * sizeof(double));
  l.total = l.inverse + RoundUp(w * sizeof(double)) + kAlign;  // slack to align the start
  return l;
}

IppStatus BufferSize(IppiSize roi, int* pBufferSize) {
  if (pBufferSize == nullptr) return ippStsNullPtrErr;
  if (roi.width <= 0 || roi.height <= 0) return ippStsSizeErr;
  const Layout l = ComputeLayout(roi);
  if (l.total > static_cast<std::size_t>(std::numeric_limits<int>::max())) return ippStsSizeErr;
  *pBufferSize = static_cast<int>(l.total);
  return ippStsNoErr;
}

// Distance along each column to the nearest zero pixel, computed row by row.
void ColumnPass(const Ipp8u* pSrc, int srcStep, std::int32_t* g, int width, int height) {
  {
    const Ipp8u* __restrict src = pSrc;
    std::int32_t* __restrict row = g;
    for (int x = 0; x < width; ++x) row[x] = src[x] == 0 ? 0 : kNoZero;
  }
  for (int y = 1; y < height; ++y) {
    const Ipp8u* __restrict src = pSrc + static_cast<std::ptrdiff_t>(y) * srcStep;
    const std::int32_t* __restrict above = g + static_cast<std::ptrdiff_t>(y - 1) * width;
    std::int32_t* __restrict row = g + static_cast<std::ptrdiff_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const std::int32_t next = above[x] + 1;
      row[x] = src[x] == 0 ? 0 : (next < kNoZero ? next : kNoZero);
    }
  }
  for (int y = height - 2; y >= 0; --y) {
    const std::int32_t* __restrict below = g + static_cast<std::ptrdiff_t>(y + 1) * width;
    std::int32_t* __restrict row = g + static_cast<std::ptrdiff_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const std::int32_t next = below[x] + 1;
      row[x] = next < row[x] ? next : row[x];
    }
  }
}

// Lower envelope of the parabolas (x - u)² + g(u)² along one row; writes sqrt of its values.
void RowPass(const std::int32_t* __restrict g, Ipp32f* __restrict dst, int width,
             std::int32_t* __restrict roots, double* __restrict breaks, double* __restrict heights,
             const double* __restrict inverse) {
  int k = -1;
  for (int q = 0; q < width; ++q) {
    if (g[q] >= kNoZero) continue;
    const double fq = static_cast<double>(g[q]) * g[q];
    const double keyQ = fq + static_cast<double>(q) * q;
    if (k < 0) {
      k = 0;
      roots[0] = q;
      heights[0] = fq;
      breaks[0] = -std::numeric_limits<double>::infinity();
      continue;
    }
    // Drop the parabolas that the new one hides; breaks[0] = -infinity keeps the first.
    double s;
    for (;;) {
      const int v = roots[k];
      s = (keyQ - (heights[k] + static_cast<double>(v) * v)) * inverse[q - v];
      if (s > breaks[k]) break;
      --k;
    }
    ++k;
    roots[k] = q;
    heights[k] = fq;
    breaks[k] = s;
  }
  if (k < 0) {
    // No zero pixel anywhere in the image: the minimum over an empty set.
    for (int x = 0; x < width; ++x) dst[x] = std::numeric_limits<float>::infinity();
    return;
  }
  breaks[k + 1] = std::numeric_limits<double>::infinity();
  int j = 0;
  for (int x = 0; x < width; ++x) {
    while (breaks[j + 1] < x) ++j;
    const double dx = x - roots[j];
    dst[x] = std::sqrt(static_cast<float>(dx * dx + heights[j]));
  }
}

IppStatus Transform(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst, int dstStep, IppiSize roi,
                    Ipp8u* pBuffer) {
  if (pSrc == nullptr || pDst == nullptr || pBuffer == nullptr) return ippStsNullPtrErr;
  if (roi.width <= 0 || roi.height <= 0) return ippStsSizeErr;
  if (srcStep < roi.width || dstStep < roi.width * static_cast<int>(sizeof(Ipp32f)) ||
      dstStep % static_cast<int>(sizeof(Ipp32f)) != 0)
    return ippStsStepErr;
  const Layout l = ComputeLayout(roi);
  const auto address = reinterpret_cast<std::uintptr_t>(pBuffer);
  Ipp8u* base = pBuffer + (kAlign - address % kAlign) % kAlign;
  auto* g = reinterpret_cast<std::int32_t*>(base + l.g);
  auto* roots = reinterpret_cast<std::int32_t*>(base + l.roots);
  auto* breaks = reinterpret_cast<double*>(base + l.breaks);
  auto* heights = reinterpret_cast<double*>(base + l.heights);
  auto* inverse = reinterpret_cast<double*>(base + l.inverse);
  inverse[0] = 0.0;
  for (int d = 1; d < roi.width; ++d) inverse[d] = 0.5 / d;

  ColumnPass(pSrc, srcStep, g, roi.width, roi.height);
  for (int y = 0; y < roi.height; ++y) {
    auto* dst = reinterpret_cast<Ipp32f*>(reinterpret_cast<Ipp8u*>(pDst) +
                                          static_cast<std::ptrdiff_t>(y) * dstStep);
    RowPass(g + static_cast<std::ptrdiff_t>(y) * roi.width, dst, roi.width, roots, breaks, heights,
            inverse);
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippiTrueDistanceTransformGetBufferSize_8u32f_C1R(IppiSize roiSize, int* pBufferSize) {
  return BufferSize(roiSize, pBufferSize);
}

IppStatus ippiTrueDistanceTransform_8u32f_C1R(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst,
                                              int dstStep, IppiSize roiSize, Ipp8u* pBuffer) {
  return Transform(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);
}

IppStatus ippiFastMarchingGetBufferSize_8u32f_C1R(IppiSize roiSize, int* pBufferSize) {
  return BufferSize(roiSize, pBufferSize);
}

// The corneal thickness is read from this image as the distance from an anterior-surface pixel to
// the posterior surface, so the values must be true Euclidean distances. A first-order
// fast-marching solution is only an approximation of them (0.7071 at diagonal neighbours, errors
// growing with the thickness) and would bias every thickness map, so this function computes the
// exact Euclidean distance transform instead; the radius of the marching front has no role in it.
IppStatus ippiFastMarching_8u32f_C1R(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                     IppiSize roiSize, Ipp32f radius, Ipp8u* pBuffer) {
  if (!(radius >= 0.0f)) return ippStsBadArgErr;
  return Transform(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);
}

}  // namespace Talvex::Platform

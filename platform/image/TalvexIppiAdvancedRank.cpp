// Rank and morphological filters of 8-bit images: median, maximum, 3 x 3 dilation, erosion.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/AlignedStorage.h"
#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

using Detail::RowAt;
using Detail::Scratch;

// Common argument checks of the mask filters.
IppStatus CheckMaskFilter(const void* src, int srcStep, const void* dst, int dstStep, IppiSize roi,
                          IppiSize mask, IppiPoint anchor) {
  if (src == nullptr || dst == nullptr) return ippStsNullPtrErr;
  if (roi.width <= 0 || roi.height <= 0) return ippStsSizeErr;
  if (mask.width <= 0 || mask.height <= 0) return ippStsMaskSizeErr;
  if (anchor.x < 0 || anchor.y < 0 || anchor.x >= mask.width || anchor.y >= mask.height)
    return ippStsAnchorErr;
  if (srcStep < roi.width || dstStep < roi.width) return ippStsStepErr;
  return ippStsNoErr;
}

// Byte maximum by value (std::max returns a reference, which keeps the loops below scalar).
inline Ipp8u Max8(Ipp8u a, Ipp8u b) { return a > b ? a : b; }
inline Ipp8u Min8(Ipp8u a, Ipp8u b) { return a < b ? a : b; }

inline void MinInto(Ipp8u* __restrict dst, const Ipp8u* __restrict src, int n) {
  for (int x = 0; x < n; ++x) dst[x] = Min8(dst[x], src[x]);
}

// out[x] = max(row[x .. x + width - 1]); fused for the common widths so that each output byte is
// loaded and stored once.
template <int N>
void ShiftedMax(const Ipp8u* __restrict row, Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) {
    Ipp8u m = row[x];
    for (int k = 1; k < N; ++k) m = Max8(m, row[x + k]);
    out[x] = m;
  }
}
void ShiftedMax(const Ipp8u* __restrict row, int width, Ipp8u* __restrict out, int n) {
  switch (width) {
    case 3:
      return ShiftedMax<3>(row, out, n);
    case 5:
      return ShiftedMax<5>(row, out, n);
    case 7:
      return ShiftedMax<7>(row, out, n);
    default:
      std::memcpy(out, row, static_cast<std::size_t>(n));
      for (int k = 1; k < width; ++k)
        for (int x = 0; x < n; ++x) out[x] = Max8(out[x], row[x + k]);
  }
}

// out[x] = max over the `count` rows of rows[k][x].
template <int N>
void RowsMax(const Ipp8u* const* rows, Ipp8u* __restrict out, int n) {
  const Ipp8u* r[N];
  for (int k = 0; k < N; ++k) r[k] = rows[k];
  for (int x = 0; x < n; ++x) {
    Ipp8u m = r[0][x];
    for (int k = 1; k < N; ++k) m = Max8(m, r[k][x]);
    out[x] = m;
  }
}
void RowsMax(const Ipp8u* const* rows, int count, Ipp8u* __restrict out, int n) {
  switch (count) {
    case 3:
      return RowsMax<3>(rows, out, n);
    case 5:
      return RowsMax<5>(rows, out, n);
    case 7:
      return RowsMax<7>(rows, out, n);
    default:
      std::memcpy(out, rows[0], static_cast<std::size_t>(n));
      for (int k = 1; k < count; ++k) {
        const Ipp8u* __restrict row = rows[k];
        for (int x = 0; x < n; ++x) out[x] = Max8(out[x], row[x]);
      }
  }
}

// Separable maximum: every source row is reduced along the row once (kept in a ring of mask-height
// rows), then each output row is the maximum of mask-height reduced rows. A source row is reduced
// before any output row that covers it is written, so the filter may run in place.
IppStatus SeparableMax(const Ipp8u* origin, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roi,
                       IppiSize mask) {
  const long long stride = (roi.width + 63) / 64 * 64;
  Scratch<Ipp8u> block(stride * mask.height);
  Scratch<const Ipp8u*> rows(mask.height);
  if (!block || !rows) return ippStsMemAllocErr;
  const auto reduced = [&](int sourceRow) {
    return block.get() + stride * (sourceRow % mask.height);
  };
  for (int r = 0; r < mask.height - 1; ++r)
    ShiftedMax(RowAt(origin, srcStep, r), mask.width, reduced(r), roi.width);
  for (int y = 0; y < roi.height; ++y) {
    const int last = y + mask.height - 1;
    ShiftedMax(RowAt(origin, srcStep, last), mask.width, reduced(last), roi.width);
    for (int k = 0; k < mask.height; ++k) rows.get()[k] = reduced(y + k);
    RowsMax(rows.get(), mask.height, RowAt(pDst, dstStep, y), roi.width);
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippiFilterMedian_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                  IppiSize dstRoiSize, IppiSize maskSize, IppiPoint anchor) {
  const IppStatus status =
      CheckMaskFilter(pSrc, srcStep, pDst, dstStep, dstRoiSize, maskSize, anchor);
  if (status != ippStsNoErr) return status;

  const int mw = maskSize.width;
  const int mh = maskSize.height;
  const int rank = mw * mh / 2;  // 0-based rank of the median among the mask's samples
  const Ipp8u* origin = pSrc - anchor.x - static_cast<std::ptrdiff_t>(srcStep) * anchor.y;

  // Huang's running histogram: per output row, slide the mask along the row, removing the column
  // that leaves and adding the one that enters. `below` counts the samples smaller than the current
  // median m; m moves by single grey levels until below <= rank < below + hist[m].
  int hist[256];
  for (int y = 0; y < dstRoiSize.height; ++y) {
    const Ipp8u* top = RowAt(origin, srcStep, y);
    Ipp8u* out = RowAt(pDst, dstStep, y);
    std::fill(hist, hist + 256, 0);
    for (int j = 0; j < mh; ++j) {
      const Ipp8u* row = RowAt(top, srcStep, j);
      for (int i = 0; i < mw; ++i) ++hist[row[i]];
    }
    int m = 0;
    int below = 0;
    while (below + hist[m] <= rank) below += hist[m++];
    out[0] = static_cast<Ipp8u>(m);

    for (int x = 1; x < dstRoiSize.width; ++x) {
      const Ipp8u* leave = top + (x - 1);
      const Ipp8u* enter = top + (x - 1 + mw);
      for (int j = 0; j < mh; ++j) {
        const int a = leave[static_cast<std::ptrdiff_t>(srcStep) * j];
        const int b = enter[static_cast<std::ptrdiff_t>(srcStep) * j];
        --hist[a];
        ++hist[b];
        below += static_cast<int>(b < m) - static_cast<int>(a < m);
      }
      while (below > rank) below -= hist[--m];
      while (below + hist[m] <= rank) below += hist[m++];
      out[x] = static_cast<Ipp8u>(m);
    }
  }
  return ippStsNoErr;
}

IppStatus ippiFilterMax_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                               IppiSize dstRoiSize, IppiSize maskSize, IppiPoint anchor) {
  const IppStatus status =
      CheckMaskFilter(pSrc, srcStep, pDst, dstStep, dstRoiSize, maskSize, anchor);
  if (status != ippStsNoErr) return status;

  const Ipp8u* origin = pSrc - anchor.x - static_cast<std::ptrdiff_t>(srcStep) * anchor.y;
  return SeparableMax(origin, srcStep, pDst, dstStep, dstRoiSize, maskSize);
}

IppStatus ippiDilate3x3_8u_C1IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize) {
  if (pSrcDst == nullptr) return ippStsNullPtrErr;
  if (roiSize.width <= 0 || roiSize.height <= 0) return ippStsSizeErr;
  if (srcDstStep < roiSize.width) return ippStsStepErr;

  // Every image row is reduced along the row before the row above it is written, so each output
  // sees the original neighbours.
  const Ipp8u* origin = pSrcDst - 1 - srcDstStep;
  return SeparableMax(origin, srcDstStep, pSrcDst, srcDstStep, roiSize, IppiSize{3, 3});
}

IppStatus ippiErode_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                           IppiSize dstRoiSize, const Ipp8u* pMask, IppiSize maskSize,
                           IppiPoint anchor) {
  if (pMask == nullptr) return ippStsNullPtrErr;
  const IppStatus status =
      CheckMaskFilter(pSrc, srcStep, pDst, dstStep, dstRoiSize, maskSize, anchor);
  if (status != ippStsNoErr) return status;
  const int members = static_cast<int>(std::count_if(
      pMask, pMask + maskSize.width * maskSize.height, [](Ipp8u v) { return v != 0; }));
  if (members == 0) return ippStsBadArgErr;

  const Ipp8u* origin = pSrc - anchor.x - static_cast<std::ptrdiff_t>(srcStep) * anchor.y;
  for (int y = 0; y < dstRoiSize.height; ++y) {
    Ipp8u* out = RowAt(pDst, dstStep, y);
    std::fill(out, out + dstRoiSize.width, Ipp8u{255});
    const Ipp8u* top = RowAt(origin, srcStep, y);
    for (int j = 0; j < maskSize.height; ++j) {
      const Ipp8u* row = RowAt(top, srcStep, j);
      for (int i = 0; i < maskSize.width; ++i)
        if (pMask[j * maskSize.width + i] != 0) MinInto(out, row + i, dstRoiSize.width);
    }
  }
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

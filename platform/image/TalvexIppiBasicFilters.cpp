// Linear filters: separable row and column convolutions (float and 8-bit), the 2-D convolution
// used for the edge detector's derivative images, and the in-place box filter.
//
// Every B-scan is smoothed and differentiated through the row and column filters, so they are the
// hottest loops of the library. All of them reduce to one kernel, WeightedRowSum: an output row is
// a weighted sum of n input rows (for the row filter, n shifted views of the same row). It walks
// the output in blocks of 32 samples held in registers, adds one tap after the other and stores
// each block once, so each tap costs one load and one multiply-add per sample and the loops
// vectorise as written.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexImageKernels.h"
#include "platform/image/TalvexIppiBasic.h"

namespace Talvex::Platform {
namespace {

using Detail::CheckImage;
using Detail::RowAt;
using Detail::Scratch;

inline IppStatus CheckKernel(const Ipp32f* kernel, int size, int anchor) {
  if (kernel == nullptr) return ippStsNullPtrErr;
  if (size < 1) return ippStsSizeErr;
  if (anchor < 0 || anchor >= size) return ippStsAnchorErr;
  return ippStsNoErr;
}

// Float sum to 8 bits (Detail::RoundToByte, kept as a 32-bit integer until the row is narrowed).
using Detail::kJustBelowHalf;
TALVEX_ALWAYS_INLINE int RoundSaturate(float v) { return Detail::RoundToByte(v); }

// Eight float lanes: one AVX register, or two SSE registers on the baseline instruction set. The
// lanes only ever see element-wise multiplies and adds, so every output sample goes through the
// same operations in the same order whatever the instruction set (no fused multiply-add).
typedef float Lanes __attribute__((vector_size(32)));
typedef int LanesInt __attribute__((vector_size(32)));
constexpr int kLanes = 8;

// Unaligned view of eight samples of a row.
typedef float UnalignedLanes __attribute__((vector_size(32), aligned(4), may_alias));
TALVEX_ALWAYS_INLINE void LoadLanes(Lanes& v, const float* p) {
  v = *reinterpret_cast<const UnalignedLanes*>(p);
}
TALVEX_ALWAYS_INLINE void StoreLanes(float* p, const Lanes& v) {
  *reinterpret_cast<UnalignedLanes*>(p) = v;
}

// Unaligned view of eight 32-bit integers.
typedef int UnalignedLanesInt __attribute__((vector_size(32), aligned(4), may_alias));

// Stores eight sums: as they are for float output, or through RoundSaturate (branch-free) for
// 8-bit output, which keeps them as 32-bit integers until the row is narrowed.
TALVEX_ALWAYS_INLINE void StoreSums(float* p, const Lanes& v) { StoreLanes(p, v); }
TALVEX_ALWAYS_INLINE void StoreSums(Ipp32s* p, const Lanes& sums) {
  const Lanes zero = Lanes{}, top = zero + 255.0f, justBelowHalf = zero + kJustBelowHalf;
  Lanes v = sums > zero ? sums : zero;
  v = v < top ? v : top;
  *reinterpret_cast<UnalignedLanesInt*>(p) = __builtin_convertvector(v + justBelowHalf, LanesInt);
}
TALVEX_ALWAYS_INLINE void StoreSum(float* p, float v) { *p = v; }
TALVEX_ALWAYS_INLINE void StoreSum(Ipp32s* p, float v) { *p = RoundSaturate(v); }

// d[x .. x + 8V) = sum_{t<n} w[t] * rows[t][x ..], accumulated in tap order in registers.
template <int V, typename Out>
TALVEX_ALWAYS_INLINE void WeightedBlock(const float* const* rows, const float* w, int n,
                                        Out* __restrict d, int x) {
  Lanes acc[V], in;
  const Lanes w0 = Lanes{} + w[0];  // broadcast
  const float* r0 = rows[0] + x;
  for (int v = 0; v < V; ++v) {
    LoadLanes(in, r0 + v * kLanes);
    acc[v] = w0 * in;
  }
  for (int t = 1; t < n; ++t) {
    const Lanes wt = Lanes{} + w[t];
    const float* r = rows[t] + x;
    for (int v = 0; v < V; ++v) {
      LoadLanes(in, r + v * kLanes);
      acc[v] += wt * in;
    }
  }
  for (int v = 0; v < V; ++v) StoreSums(d + x + v * kLanes, acc[v]);
}

// One sample, same operations as one lane of WeightedBlock.
template <typename Out>
TALVEX_ALWAYS_INLINE void WeightedSample(const float* const* rows, const float* w, int n, Out* d,
                                         int x) {
  float acc = w[0] * rows[0][x];
  for (int t = 1; t < n; ++t) acc += w[t] * rows[t][x];
  StoreSum(d + x, acc);
}

template <typename Out>
TALVEX_ALWAYS_INLINE void WeightedSums(const float* const* rows, const float* w, int n, Out* d,
                                       int width) {
  int x = 0;
  for (; x + 4 * kLanes <= width; x += 4 * kLanes) WeightedBlock<4>(rows, w, n, d, x);
  for (; x + kLanes <= width; x += kLanes) WeightedBlock<1>(rows, w, n, d, x);
  for (; x < width; ++x) WeightedSample(rows, w, n, d, x);
}

TALVEX_ALWAYS_INLINE void WeightedRowSumBody(const float* const* rows, const float* w, int n,
                                             Ipp32f* d, int width) {
  WeightedSums(rows, w, n, d, width);
}

// 8-bit output: the rounded sums go to the integer row `sums`, then are narrowed to bytes.
TALVEX_ALWAYS_INLINE void WeightedRowSumBody(const float* const* rows, const float* w, int n,
                                             Ipp32s* __restrict sums, Ipp8u* __restrict d,
                                             int width) {
  WeightedSums(rows, w, n, sums, width);
  for (int x = 0; x < width; ++x) d[x] = static_cast<Ipp8u>(sums[x]);
}

// Bytes to floats (exact), for the 8-bit filters' source rows.
TALVEX_ALWAYS_INLINE void WidenRowBody(const Ipp8u* __restrict s, float* __restrict d, int width) {
  for (int x = 0; x < width; ++x) d[x] = static_cast<float>(s[x]);
}

}  // namespace

namespace Detail {

TALVEX_KERNEL_PATHS(void, WeightedRowSum,
                    (const float* const* rows, const float* w, int n, Ipp32f* d, int width),
                    (rows, w, n, d, width))
TALVEX_KERNEL_PATHS(void, WeightedRowSum,
                    (const float* const* rows, const float* w, int n, Ipp32s* sums, Ipp8u* d,
                     int width),
                    (rows, w, n, sums, d, width))
TALVEX_KERNEL_PATHS(void, WidenRow, (const Ipp8u* s, float* d, int width), (s, d, width))

}  // namespace Detail

namespace {

// The kernels above, on the processor's best instruction set.
void WeightedRowSum(const float* const* rows, const float* w, int n, Ipp32f* d, int width) {
  TALVEX_DISPATCH(Detail::WeightedRowSum, rows, w, n, d, width);
}
void WeightedRowSum(const float* const* rows, const float* w, int n, Ipp32s* sums, Ipp8u* d,
                    int width) {
  TALVEX_DISPATCH(Detail::WeightedRowSum, rows, w, n, sums, d, width);
}
void WidenRow(const Ipp8u* s, float* d, int width) {
  TALVEX_DISPATCH(Detail::WidenRow, s, d, width);
}

// Row convolution. An 8-bit source row is converted to float into `line` first (it is read from
// x = anchor - (n - 1) to width - 1 + anchor), and the rounded sums go through the integer row
// `sums`.
template <typename In, typename Out>
IppStatus FilterRow(const In* src, int srcStep, Out* dst, int dstStep, IppiSize roi,
                    const Ipp32f* kernel, int n, int anchor) {
  if (IppStatus s = CheckImage(src, srcStep, roi)) return s;
  if (IppStatus s = CheckImage(dst, dstStep, roi)) return s;
  if (IppStatus s = CheckKernel(kernel, n, anchor)) return s;
  constexpr bool kBytes = std::is_same_v<In, Ipp8u>;
  const int span = roi.width + n - 1;
  Scratch<const float*> rows(static_cast<std::size_t>(n));
  Scratch<float> line(kBytes ? static_cast<std::size_t>(span) : 0);
  Scratch<Ipp32s> sums(kBytes ? static_cast<std::size_t>(roi.width) : 0);
  if (!rows || !line || !sums) return ippStsMemAllocErr;
  for (int y = 0; y < roi.height; ++y) {
    const In* s = RowAt(src, srcStep, y);
    if constexpr (kBytes) {
      float* l = line.get();
      WidenRow(s + anchor - (n - 1), l, span);
      for (int i = 0; i < n; ++i) rows[i] = l + (n - 1 - i);
      WeightedRowSum(rows.get(), kernel, n, sums.get(), RowAt(dst, dstStep, y), roi.width);
    } else {
      for (int i = 0; i < n; ++i) rows[i] = s + anchor - i;
      WeightedRowSum(rows.get(), kernel, n, RowAt(dst, dstStep, y), roi.width);
    }
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippiFilterRow_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                int xAnchor) {
  return FilterRow(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
}

IppStatus ippiFilterRow32f_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                  IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                  int xAnchor) {
  return FilterRow(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
}

IppStatus ippiFilterColumn_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                   IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                   int yAnchor) {
  if (IppStatus s = CheckImage(pSrc, srcStep, dstRoiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, dstRoiSize)) return s;
  if (IppStatus s = CheckKernel(pKernel, kernelSize, yAnchor)) return s;
  Scratch<const float*> rows(static_cast<std::size_t>(kernelSize));
  if (!rows) return ippStsMemAllocErr;
  for (int y = 0; y < dstRoiSize.height; ++y) {
    for (int i = 0; i < kernelSize; ++i) rows[i] = RowAt(pSrc, srcStep, y + yAnchor - i);
    WeightedRowSum(rows.get(), pKernel, kernelSize, RowAt(pDst, dstStep, y), dstRoiSize.width);
  }
  return ippStsNoErr;
}

IppStatus ippiFilterColumn32f_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                     int yAnchor) {
  if (IppStatus s = CheckImage(pSrc, srcStep, dstRoiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, dstRoiSize)) return s;
  if (IppStatus s = CheckKernel(pKernel, kernelSize, yAnchor)) return s;
  const int n = kernelSize;
  const int w = dstRoiSize.width;
  // Each source row is converted to float once, into a ring of n rows: source row
  // (first + j) lives in slot j % n, where first = yAnchor - (n - 1) is the topmost row read.
  const std::size_t stride = (static_cast<std::size_t>(w) + 15) / 16 * 16;
  Scratch<float> ring(stride * static_cast<std::size_t>(n));
  Scratch<const float*> rows(static_cast<std::size_t>(n));
  Scratch<Ipp32s> sums(static_cast<std::size_t>(w));
  if (!ring || !rows || !sums) return ippStsMemAllocErr;
  const int first = yAnchor - (n - 1);
  auto load = [&](int j) {
    WidenRow(RowAt(pSrc, srcStep, first + j), ring.get() + stride * static_cast<std::size_t>(j % n),
             w);
  };
  for (int j = 0; j < n - 1; ++j) load(j);
  for (int y = 0; y < dstRoiSize.height; ++y) {
    load(y + n - 1);  // source row y + yAnchor
    // Tap i reads source row y + yAnchor - i, i.e. ring index y + n - 1 - i.
    for (int i = 0; i < n; ++i)
      rows[i] = ring.get() + stride * static_cast<std::size_t>((y + n - 1 - i) % n);
    WeightedRowSum(rows.get(), pKernel, n, sums.get(), RowAt(pDst, dstStep, y), w);
  }
  return ippStsNoErr;
}

IppStatus ippiFilter_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                             IppiSize dstRoiSize, const Ipp32f* pKernel, IppiSize kernelSize,
                             IppiPoint anchor) {
  if (IppStatus s = CheckImage(pSrc, srcStep, dstRoiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, dstRoiSize)) return s;
  if (pKernel == nullptr) return ippStsNullPtrErr;
  if (kernelSize.width < 1 || kernelSize.height < 1) return ippStsSizeErr;
  if (anchor.x < 0 || anchor.x >= kernelSize.width || anchor.y < 0 || anchor.y >= kernelSize.height)
    return ippStsAnchorErr;
  const int kw = kernelSize.width;
  const int taps = kw * kernelSize.height;
  Scratch<const float*> rows(static_cast<std::size_t>(taps));
  if (!rows) return ippStsMemAllocErr;
  for (int y = 0; y < dstRoiSize.height; ++y) {
    // Tap (i, j) of the kernel reads src(x + anchor.x - i, y + anchor.y - j).
    for (int j = 0; j < kernelSize.height; ++j) {
      const Ipp32f* s = RowAt(pSrc, srcStep, y + anchor.y - j) + anchor.x;
      for (int i = 0; i < kw; ++i) rows[j * kw + i] = s - i;
    }
    WeightedRowSum(rows.get(), pKernel, taps, RowAt(pDst, dstStep, y), dstRoiSize.width);
  }
  return ippStsNoErr;
}

IppStatus ippiFilterBox_32f_C1IR(Ipp32f* pSrcDst, int srcDstStep, IppiSize dstRoiSize,
                                 IppiSize maskSize, IppiPoint anchor) {
  if (IppStatus s = CheckImage(pSrcDst, srcDstStep, dstRoiSize)) return s;
  if (maskSize.width < 1 || maskSize.height < 1) return ippStsMaskSizeErr;
  if (anchor.x < 0 || anchor.x >= maskSize.width || anchor.y < 0 || anchor.y >= maskSize.height)
    return ippStsAnchorErr;
  const int mw = maskSize.width;
  const int mh = maskSize.height;
  const int w = dstRoiSize.width;
  const int span = w + mw - 1;  // columns read per row, from x = -anchor.x on
  // The filter works in place, so the original values of the mh source rows that the current
  // output row still needs are kept in a ring (source row (-anchor.y + j) in slot j % mh), and
  // their column sums in `column`. Output row y reads source rows y - anchor.y ... y - anchor.y +
  // mh - 1; the last of them is at or below y (anchor.y < mh), so it is loaded before row y is
  // overwritten.
  const std::size_t stride = (static_cast<std::size_t>(span) + 15) / 16 * 16;
  Scratch<float> ring(stride * static_cast<std::size_t>(mh));
  Scratch<double> column(static_cast<std::size_t>(span));
  Scratch<double> row(mw > 1 ? static_cast<std::size_t>(w) : 0);
  if (!ring || !column || !row) return ippStsMemAllocErr;
  double* __restrict sum = column.get();
  double* __restrict across = row.get();
  std::fill(sum, sum + span, 0.0);
  auto load = [&](int j) {
    const Ipp32f* s = RowAt(pSrcDst, srcDstStep, j - anchor.y) - anchor.x;
    float* __restrict r = ring.get() + stride * static_cast<std::size_t>(j % mh);
    std::memcpy(r, s, static_cast<std::size_t>(span) * sizeof(float));
    for (int x = 0; x < span; ++x) sum[x] += static_cast<double>(r[x]);
  };
  const double scale = 1.0 / (static_cast<double>(mw) * mh);
  for (int j = 0; j < mh - 1; ++j) load(j);
  for (int y = 0; y < dstRoiSize.height; ++y) {
    load(y + mh - 1);
    Ipp32f* __restrict d = RowAt(pSrcDst, srcDstStep, y);
    if (mw == 1) {
      for (int x = 0; x < w; ++x) d[x] = static_cast<float>(sum[x] * scale);
    } else {
      // Horizontal window: one pass per mask column over the whole row.
      for (int x = 0; x < w; ++x) across[x] = sum[x];
      for (int i = 1; i < mw; ++i)
        for (int x = 0; x < w; ++x) across[x] += sum[x + i];
      for (int x = 0; x < w; ++x) d[x] = static_cast<float>(across[x] * scale);
    }
    const float* __restrict oldest = ring.get() + stride * static_cast<std::size_t>(y % mh);
    for (int x = 0; x < span; ++x) sum[x] -= static_cast<double>(oldest[x]);
  }
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

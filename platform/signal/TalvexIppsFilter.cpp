// Full linear convolution and the running median of a row.
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/TalvexSimd.h"
#include "platform/signal/TalvexIpps.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Talvex::Platform {

namespace {

// ---- Convolution --------------------------------------------------------------------------
//
// dst[t] = sum_j kernel[j] * signal[t - j]. Evaluated as one scaled-add pass of the whole signal
// per kernel tap (dst[j .. j + n) += kernel[j] * signal), a contiguous loop the compiler
// vectorises; the rows involved (up to a few thousand samples) stay in the first-level cache.
// Every output sums its products in increasing tap order, so results are reproducible.
template <typename T>
TALVEX_ALWAYS_INLINE void ScaledAddPasses(const T* signal, int n, const T* kernel, int k, T* out) {
  const int outLen = n + k - 1;
  for (int t = 0; t < outLen; ++t) out[t] = T(0);
  for (int j = 0; j < k; ++j) {
    const T c = kernel[j];
    T* __restrict o = out + j;
    const T* __restrict in = signal;
    for (int i = 0; i < n; ++i) o[i] += c * in[i];
  }
}

#if TALVEX_HAS_AVX2_PATH
// The same loops compiled for eight-lane vectors. Separate multiply and add (no fused
// multiply-add), element by element in the same order: bit-identical to the baseline path.
TALVEX_TARGET_AVX2 void ScaledAddPassesAvx2(const Ipp32f* signal, int n, const Ipp32f* kernel,
                                            int k, Ipp32f* out) {
  ScaledAddPasses(signal, n, kernel, k, out);
}
TALVEX_TARGET_AVX2 void ScaledAddPassesAvx2(const Ipp64f* signal, int n, const Ipp64f* kernel,
                                            int k, Ipp64f* out) {
  ScaledAddPasses(signal, n, kernel, k, out);
}
#endif

template <typename T>
void ConvolveKernel(const T* signal, int n, const T* kernel, int k, T* out) {
#if TALVEX_HAS_AVX2_PATH
  if (Detail::CpuHasAvx2()) return ScaledAddPassesAvx2(signal, n, kernel, k, out);
#endif
  ScaledAddPasses(signal, n, kernel, k, out);
}

template <typename T>
IppStatus Convolve(const T* pSrc1, int src1Len, const T* pSrc2, int src2Len, T* pDst) {
  if (pSrc1 == nullptr || pSrc2 == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (src1Len <= 0 || src2Len <= 0) return ippStsSizeErr;
  // Convolution is symmetric: let the longer operand be the signal, for long inner loops.
  const T* signal = pSrc1;
  const T* kernel = pSrc2;
  int n = src1Len;
  int k = src2Len;
  if (k > n) {
    signal = pSrc2;
    kernel = pSrc1;
    n = src2Len;
    k = src1Len;
  }
  ConvolveKernel(signal, n, kernel, k, pDst);
  return ippStsNoErr;
}

// ---- Median by selection network (masks 3 to 15) --------------------------------------------
//
// For the short masks each output is the middle element of its window computed by a fixed
// network of min/max exchanges: Batcher's odd-even merge sort reduced to the exchanges the middle
// position depends on (and to the half, min or max, of each exchange that is used). The network
// has no data-dependent branch, so four consecutive outputs are computed at once in SSE
// registers, from a copy of the row extended by h replicated samples at each end.

struct Comparator {
  int lo;    // slot that receives the minimum
  int hi;    // slot that receives the maximum
  int keep;  // 1: only the minimum is used later, 2: only the maximum, 3: both
};

constexpr Comparator kMedian3[] = {{0, 1, 3}, {0, 2, 2}, {1, 2, 3}};
constexpr Comparator kMedian5[] = {{0, 1, 3}, {2, 3, 3}, {0, 2, 3}, {1, 3, 3}, {1, 2, 3}, {0, 4, 2},
                                   {2, 4, 3}, {1, 2, 3}, {3, 4, 2}, {2, 4, 1}, {1, 2, 2}};
constexpr Comparator kMedian7[] = {{0, 1, 3}, {2, 3, 3}, {0, 2, 3}, {1, 3, 3}, {1, 2, 3},
                                   {4, 5, 3}, {4, 6, 3}, {5, 6, 3}, {0, 4, 2}, {2, 6, 3},
                                   {2, 4, 3}, {1, 5, 3}, {3, 5, 3}, {1, 2, 2}, {3, 4, 3},
                                   {5, 6, 1}, {2, 4, 2}, {3, 5, 1}, {3, 4, 1}};
constexpr Comparator kMedian9[] = {
    {0, 1, 3}, {2, 3, 3}, {0, 2, 3}, {1, 3, 3}, {1, 2, 3}, {4, 5, 3}, {6, 7, 3}, {4, 6, 3},
    {5, 7, 3}, {5, 6, 3}, {0, 4, 3}, {2, 6, 3}, {2, 4, 3}, {1, 5, 3}, {3, 7, 1}, {3, 5, 3},
    {1, 2, 2}, {3, 4, 3}, {5, 6, 1}, {0, 8, 2}, {4, 8, 1}, {2, 4, 2}, {3, 5, 1}, {3, 4, 2}};
constexpr Comparator kMedian11[] = {
    {0, 1, 3},  {2, 3, 3},  {0, 2, 3}, {1, 3, 3}, {1, 2, 3},  {4, 5, 3},  {6, 7, 3}, {4, 6, 3},
    {5, 7, 3},  {5, 6, 3},  {0, 4, 3}, {2, 6, 3}, {2, 4, 3},  {1, 5, 3},  {3, 7, 1}, {3, 5, 3},
    {1, 2, 3},  {3, 4, 3},  {5, 6, 3}, {8, 9, 3}, {8, 10, 3}, {9, 10, 3}, {0, 8, 2}, {4, 8, 2},
    {2, 10, 2}, {6, 10, 1}, {6, 8, 1}, {1, 9, 2}, {5, 9, 1},  {3, 5, 2},  {5, 6, 1}};
constexpr Comparator kMedian13[] = {
    {0, 1, 3},  {2, 3, 3},  {0, 2, 3},  {1, 3, 3},  {1, 2, 3},   {4, 5, 3},  {6, 7, 3},
    {4, 6, 3},  {5, 7, 3},  {5, 6, 3},  {0, 4, 3},  {2, 6, 3},   {2, 4, 3},  {1, 5, 3},
    {3, 7, 1},  {3, 5, 3},  {1, 2, 3},  {3, 4, 3},  {5, 6, 3},   {8, 9, 3},  {10, 11, 3},
    {8, 10, 3}, {9, 11, 3}, {9, 10, 3}, {8, 12, 3}, {10, 12, 3}, {9, 10, 3}, {11, 12, 3},
    {0, 8, 2},  {4, 12, 1}, {4, 8, 2},  {2, 10, 2}, {6, 10, 1},  {6, 8, 1},  {1, 9, 2},
    {5, 9, 1},  {3, 11, 1}, {3, 5, 2},  {5, 6, 2}};
constexpr Comparator kMedian15[] = {
    {0, 1, 3},   {2, 3, 3},   {0, 2, 3},  {1, 3, 3},   {1, 2, 3},   {4, 5, 3},   {6, 7, 3},
    {4, 6, 3},   {5, 7, 3},   {5, 6, 3},  {0, 4, 3},   {2, 6, 3},   {2, 4, 3},   {1, 5, 3},
    {3, 7, 3},   {3, 5, 3},   {1, 2, 3},  {3, 4, 3},   {5, 6, 3},   {8, 9, 3},   {10, 11, 3},
    {8, 10, 3},  {9, 11, 3},  {9, 10, 3}, {12, 13, 3}, {12, 14, 3}, {13, 14, 3}, {8, 12, 3},
    {10, 14, 3}, {10, 12, 3}, {9, 13, 3}, {11, 13, 3}, {9, 10, 3},  {11, 12, 3}, {13, 14, 3},
    {0, 8, 2},   {4, 12, 1},  {4, 8, 2},  {2, 10, 2},  {6, 14, 1},  {6, 10, 1},  {6, 8, 2},
    {1, 9, 2},   {5, 13, 1},  {5, 9, 2},  {3, 11, 2},  {7, 11, 1},  {7, 9, 1},   {7, 8, 1}};

// Windows up to this length use a selection network.
constexpr int kLargestNetworkMask = 15;

// Scalar lanes use exactly the selection rules of the SSE instructions, so that the tail of a
// row is computed like its body.
inline float Lower(float a, float b) { return a < b ? a : b; }
inline float Upper(float a, float b) { return a > b ? a : b; }
#if defined(__SSE2__)
inline __m128 Lower(__m128 a, __m128 b) { return _mm_min_ps(a, b); }
inline __m128 Upper(__m128 a, __m128 b) { return _mm_max_ps(a, b); }
#endif

template <int kLo, int kHi, int kKeep, typename V>
inline void Exchange(V* v) {
  const V a = v[kLo];
  const V b = v[kHi];
  if constexpr ((kKeep & 1) != 0) v[kLo] = Lower(a, b);
  if constexpr ((kKeep & 2) != 0) v[kHi] = Upper(a, b);
}

template <const auto& kNet, typename V, std::size_t... I>
inline void RunNetwork(V* v, std::index_sequence<I...>) {
  (Exchange<kNet[I].lo, kNet[I].hi, kNet[I].keep>(v), ...);
}

// out[i] = median of padded[i .. i + M), for i in [0, len).
template <int M, const auto& kNet>
void MedianByNetwork(const Ipp32f* padded, Ipp32f* out, int len) {
  constexpr auto kSteps =
      std::make_index_sequence<std::extent_v<std::remove_reference_t<decltype(kNet)>>>{};
  int i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= len; i += 4) {
    __m128 v[M];
    for (int j = 0; j < M; ++j) v[j] = _mm_loadu_ps(padded + i + j);
    RunNetwork<kNet>(v, kSteps);
    _mm_storeu_ps(out + i, v[M / 2]);
  }
#endif
  for (; i < len; ++i) {
    float v[M];
    for (int j = 0; j < M; ++j) v[j] = padded[i + j];
    RunNetwork<kNet>(v, kSteps);
    out[i] = v[M / 2];
  }
}

void MedianSmallMask(const Ipp32f* padded, Ipp32f* out, int len, int m) {
  switch (m) {
    case 3:
      return MedianByNetwork<3, kMedian3>(padded, out, len);
    case 5:
      return MedianByNetwork<5, kMedian5>(padded, out, len);
    case 7:
      return MedianByNetwork<7, kMedian7>(padded, out, len);
    case 9:
      return MedianByNetwork<9, kMedian9>(padded, out, len);
    case 11:
      return MedianByNetwork<11, kMedian11>(padded, out, len);
    case 13:
      return MedianByNetwork<13, kMedian13>(padded, out, len);
    default:
      return MedianByNetwork<15, kMedian15>(padded, out, len);
  }
}

// ---- Median by sorted window (masks above 15) -------------------------------------------------
//
// The window is kept twice: in arrival order (a ring, to know which sample leaves) and sorted
// (to read the median). Each step replaces the leaving sample by the arriving one inside the
// sorted copy: a binary search for the leaving value, then a shift of the elements between its
// slot and the arriving value's slot: O(log m + distance) per sample.

// First slot of the sorted window whose value is not less than v (plain binary search, well
// defined whatever the data).
int LowerBound(const Ipp32f* sorted, int m, Ipp32f v) {
  int lo = 0;
  int hi = m;
  while (lo < hi) {
    const int mid = (lo + hi) >> 1;
    if (sorted[mid] < v) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

void ReplaceInSorted(Ipp32f* sorted, int m, Ipp32f leaving, Ipp32f arriving) {
  int p = LowerBound(sorted, m, leaving);
  if (p == m || !(sorted[p] == leaving)) {
    // Only NaN fails to compare equal: find the identical bit pattern instead.
    p = 0;
    for (int j = 0; j < m; ++j) {
      if (std::memcmp(&sorted[j], &leaving, sizeof leaving) == 0) {
        p = j;
        break;
      }
    }
  }
  // Slot p is free; move it to where the arriving value belongs.
  if (p + 1 < m && sorted[p + 1] < arriving) {
    do {
      sorted[p] = sorted[p + 1];
      ++p;
    } while (p + 1 < m && sorted[p + 1] < arriving);
  } else {
    while (p > 0 && arriving < sorted[p - 1]) {
      sorted[p] = sorted[p - 1];
      --p;
    }
  }
  sorted[p] = arriving;
}

// Median of every sample with a sorted window of m samples, in place.
IppStatus MedianBySortedWindow(Ipp32f* x, int len, int m) {
  std::unique_ptr<Ipp32f[]> buffer(new (std::nothrow) Ipp32f[2 * static_cast<std::size_t>(m)]);
  if (!buffer) return ippStsMemAllocErr;
  Ipp32f* ring = buffer.get();
  Ipp32f* sorted = ring + m;
  const int h = m / 2;

  // Window of sample 0: positions -h .. h, those outside the row equal to the nearest end.
  const int last = len - 1;
  for (int j = 0; j < m; ++j) {
    const int pos = j - h;
    ring[j] = x[pos < 0 ? 0 : (pos > last ? last : pos)];
  }
  for (int j = 0; j < m; ++j) {
    const Ipp32f v = ring[j];
    int p = j;
    for (; p > 0 && v < sorted[p - 1]; --p) sorted[p] = sorted[p - 1];
    sorted[p] = v;
  }

  // The sample leaving the window of i + 1 is ring[oldest]; the arriving one is at i + h + 1
  // (clamped), always to the right of i, so it has not been overwritten yet.
  int oldest = 0;
  for (int i = 0;; ++i) {
    x[i] = sorted[h];
    if (i == last) break;
    const int next = i + h + 1;
    const Ipp32f arriving = x[next > last ? last : next];
    const Ipp32f leaving = ring[oldest];
    ring[oldest] = arriving;
    oldest = (oldest + 1 == m) ? 0 : oldest + 1;
    ReplaceInSorted(sorted, m, leaving, arriving);
  }
  return ippStsNoErr;
}

// Rows up to this many samples (plus the replicated ends) are copied on the stack.
constexpr int kStackRow = 2048;

}  // namespace

IppStatus ippsConv_32f(const Ipp32f* pSrc1, int src1Len, const Ipp32f* pSrc2, int src2Len,
                       Ipp32f* pDst) {
  return Convolve(pSrc1, src1Len, pSrc2, src2Len, pDst);
}

IppStatus ippsConv_64f(const Ipp64f* pSrc1, int src1Len, const Ipp64f* pSrc2, int src2Len,
                       Ipp64f* pDst) {
  return Convolve(pSrc1, src1Len, pSrc2, src2Len, pDst);
}

IppStatus ippsFilterMedian_32f_I(Ipp32f* pSrcDst, int len, int maskSize) {
  if (pSrcDst == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  if (maskSize <= 0) return ippStsMaskSizeErr;
  // An even mask has no centre: use the next lower odd length.
  const int m = (maskSize % 2 == 0) ? maskSize - 1 : maskSize;
  // A single sample, or a row of one sample replicated, is its own median.
  if (m == 1 || len == 1) return ippStsNoErr;
  if (m > kLargestNetworkMask) return MedianBySortedWindow(pSrcDst, len, m);

  // Copy of the row with h replicated samples before and after it.
  const int h = m / 2;
  const int paddedLen = len + 2 * h;
  Ipp32f onStack[kStackRow];
  std::unique_ptr<Ipp32f[]> onHeap;
  Ipp32f* padded = onStack;
  if (paddedLen > kStackRow) {
    onHeap.reset(new (std::nothrow) Ipp32f[static_cast<std::size_t>(paddedLen)]);
    if (!onHeap) return ippStsMemAllocErr;
    padded = onHeap.get();
  }
  for (int j = 0; j < h; ++j) {
    padded[j] = pSrcDst[0];
    padded[h + len + j] = pSrcDst[len - 1];
  }
  std::memcpy(padded + h, pSrcDst, static_cast<std::size_t>(len) * sizeof(Ipp32f));
  MedianSmallMask(padded, pSrcDst, len, m);
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

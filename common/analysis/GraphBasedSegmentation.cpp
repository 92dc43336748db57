#include "common/analysis/GraphBasedSegmentation.h"

#include <algorithm>
#include <new>

#include "common/data_structures/CMatrix.h"

namespace Talvex::Common::Algorithms::Analysis {

namespace {

using DataStructures::CMatrix;

constexpr float kUnreachable = 1e10f;
constexpr int kMaxWindow = 500;
constexpr int kMaxFlippedHeight = 4096;

// Lowest index of the minimum of v[0 .. n-1].
inline int FirstMinIndex(const float* v, int n) {
  int best = 0;
  for (int i = 1; i < n; ++i)
    if (v[i] < v[best]) best = i;
  return best;
}

// One step of the forward pass: cur[c] = cost[c] + min(prev[c-m .. c+m]) for c in [m, W-m).
// The window minimum is built as the running minimum of 2m+1 shifted copies of prev, so the inner
// loops run over contiguous columns and vectorise.
void AccumulateRow(const float* __restrict prev, const float* __restrict cost,
                   float* __restrict cur, int width, int m) {
  const int first = m, count = width - 2 * m;
  float* out = cur + first;
  const float* base = prev;  // prev[c - m] for c = first is prev[0]
  std::copy(base, base + count, out);
  for (int k = 1; k <= 2 * m; ++k) {
    const float* shifted = base + k;
    for (int i = 0; i < count; ++i) out[i] = std::min(out[i], shifted[i]);
  }
  const float* c = cost + first;
  for (int i = 0; i < count; ++i) out[i] += c[i];
}

template <typename T>
int Search(const float* image, int height, int width, int m, T* layer, bool flipcc) {
  if (m > kMaxWindow || m < 0) return -1;
  // A cost image without any usable column has no path at all.
  if (height < 1 || width < 2 * m + 1) return -1;
  if (flipcc && height > kMaxFlippedHeight) return -1;
  try {
    CMatrix<float> accumulated(height, width);
    float** a = accumulated.getmatrix();
    std::fill(a[0], a[0] + static_cast<long long>(height) * width, kUnreachable);
    std::copy(image + m, image + width - m, a[0] + m);
    for (int r = 1; r < height; ++r)
      AccumulateRow(a[r - 1], image + static_cast<long long>(r) * width, a[r], width, m);
    if (flipcc) std::reverse(a, a + height);  // reverse the row order of the accumulated costs

    layer[height - 1] = static_cast<T>(FirstMinIndex(a[height - 1], width));
    for (int r = height - 2; r >= 0; --r) {
      const int p = static_cast<int>(layer[r + 1]);
      // The window never leaves the image, even for non-finite costs.
      const int s = std::min(std::max(p, m) - m, width - 2 * m - 1);
      layer[r] = static_cast<T>(s + FirstMinIndex(a[r] + s, 2 * m + 1));
    }
    if (flipcc) std::reverse(layer, layer + height);
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace

int GraphBasedSegmentation(const float* image, int height, int width, int searchWindow,
                           float* layer, bool flipcc) {
  return Search(image, height, width, searchWindow, layer, flipcc);
}

int GraphBasedSegmentation(const float* image, int height, int width, int searchWindow,
                           double* layer, bool flipcc) {
  return Search(image, height, width, searchWindow, layer, flipcc);
}

}  // namespace Talvex::Common::Algorithms::Analysis

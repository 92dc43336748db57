#include "common/analysis/Regions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/image/TalvexIppiAdvanced.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Analysis {

namespace {

using namespace Talvex::Platform;

constexpr long long kMaxPixels = 0x7fffffff;

struct IppsDeleter {
  void operator()(Ipp8u* p) const noexcept { ippsFree(p); }
};
using IppsBytes = std::unique_ptr<Ipp8u[], IppsDeleter>;

// The mask padded with a zero row above and a zero column on the left (height x width), stored
// inside one more ring of sentinel pixels so that neighbours need no bounds checks: padded pixel
// (y, x) is at (y + 1) * stride + x + 1.
struct PaddedMask {
  int height;
  int width;
  int stride;
  std::vector<unsigned char> value;

  PaddedMask(unsigned char* const* image, int rows, int cols)
      : height(rows + 1),
        width(cols + 1),
        stride(cols + 3),
        value(static_cast<size_t>(rows + 3) * (cols + 3), 0) {
    for (int r = 0; r < rows; ++r)
      std::memcpy(&value[Index(r + 1, 1)], image[r], static_cast<size_t>(cols));
  }
  int Index(int y, int x) const { return (y + 1) * stride + x + 1; }
};

// The complement of the reconstruction by dilation of the complemented marker under the
// complemented mask equals the reconstruction by erosion of the marker over the mask itself:
// R(p) = min over paths from the frame to p of the largest mask value on the path. It is computed
// here directly, by a flood in increasing order of value (a queue per grey level): a pixel is
// final when taken from the lowest non-empty level. Sentinels hold R = 0 and are never entered.
std::vector<unsigned char> ReconstructFromFrame(const PaddedMask& m, int connectivity) {
  const int h = m.height, w = m.width, s = m.stride;
  std::vector<unsigned char> r(m.value.size(), 0);
  for (int y = 0; y < h; ++y) std::memset(&r[m.Index(y, 0)], 255, static_cast<size_t>(w));
  std::array<std::vector<int>, 256> level;
  auto seed = [&](int y, int x) {
    const int p = m.Index(y, x);
    r[p] = m.value[p];
    level[r[p]].push_back(p);
  };
  for (int x = 0; x < w; ++x) seed(0, x), seed(h - 1, x);
  for (int y = 1; y + 1 < h; ++y) seed(y, 0), seed(y, w - 1);
  const int offsets[8] = {-s, s, -1, 1, -s - 1, -s + 1, s - 1, s + 1};
  for (int v = 0; v < 256; ++v) {
    std::vector<int>& queue = level[v];
    while (!queue.empty()) {
      const int p = queue.back();
      queue.pop_back();
      if (r[p] != v) continue;  // lowered again after it was queued here
      for (int n = 0; n < connectivity; ++n) {
        const int q = p + offsets[n];
        const unsigned char reach =
            std::max<unsigned char>(static_cast<unsigned char>(v), m.value[q]);
        if (reach < r[q]) {
          r[q] = reach;
          level[reach].push_back(q);
        }
      }
    }
    std::vector<int>().swap(queue);
  }
  return r;
}

}  // namespace

int imfillholes(unsigned char** image, int cols, int rows, int connectivity, int mode) {
  if (image == nullptr || rows <= 0 || cols <= 0) return -1;
  if (connectivity != 4 && connectivity != 8) return -1;
  if ((static_cast<long long>(rows) + 3) * (static_cast<long long>(cols) + 3) > kMaxPixels)
    return -1;
  for (int r = 0; r < rows; ++r)
    if (image[r] == nullptr) return -1;
  try {
    const PaddedMask padded(image, rows, cols);
    const std::vector<unsigned char> filled = ReconstructFromFrame(padded, connectivity);
    for (int y = 0; y < rows; ++y) {
      const unsigned char* in = &filled[padded.Index(y + 1, 1)];
      unsigned char* out = image[y];
      for (int x = 0; x < cols; ++x) {
        if (mode != 0)
          out[x] = in[x];
        else if (in[x] != 0)
          out[x] = 1;
      }
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int bwperim(unsigned char** image, int cols, int rows) {
  if (image == nullptr || image[0] == nullptr || rows <= 0 || cols <= 0) return -1;
  const long long paddedWidth = static_cast<long long>(cols) + 2;
  const long long paddedBytes = (static_cast<long long>(rows) + 2) * paddedWidth;
  if (paddedBytes > kMaxPixels) return -1;
  const int step = static_cast<int>(paddedWidth);
  IppsBytes padded(ippsMalloc_8u(static_cast<int>(paddedBytes)));  // zero-filled frame
  IppsBytes eroded(ippsMalloc_8u(rows * cols));
  if (!padded || !eroded) return -1;
  unsigned char* pixels = image[0];
  for (int r = 0; r < rows; ++r)
    std::memcpy(padded.get() + (r + 1) * paddedWidth + 1, pixels + static_cast<long long>(r) * cols,
                static_cast<size_t>(cols));
  static constexpr Ipp8u kCross[9] = {0, 1, 0, 1, 1, 1, 0, 1, 0};
  if (ippiErode_8u_C1R(padded.get() + step + 1, step, eroded.get(), cols, {cols, rows}, kCross,
                       {3, 3}, {1, 1}) != ippStsNoErr)
    return -1;
  const long long n = static_cast<long long>(rows) * cols;
  for (long long i = 0; i < n; ++i) pixels[i] = static_cast<unsigned char>(pixels[i] & ~eroded[i]);
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Analysis

#include "common/analysis/Morphology.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/signal/TalvexIpps.h"
#include "platform/vision/TalvexIppcv.h"

namespace Talvex::Common::Algorithms::Analysis {

namespace {

using namespace Talvex::Platform;

struct IppsDeleter {
  void operator()(Ipp8u* p) const noexcept { ippsFree(p); }
};
using IppsBytes = std::unique_ptr<Ipp8u[], IppsDeleter>;

struct MorphStateDeleter {
  void operator()(IppiMorphState* s) const noexcept { ippiMorphologyFree(s); }
};
struct MorphAdvStateDeleter {
  void operator()(IppiMorphAdvState* s) const noexcept { ippiMorphAdvFree(s); }
};

// Number of corner diagonals cut off the rectangle. From rows + cols on, every entry is cut
// whatever r is, so larger values are limited to that.
int CornerCut(float diameter, int rows, int cols) {
  const double r = std::trunc(static_cast<double>(diameter) / 2.0 + 0.5);
  if (!(r >= 0.0)) return -1;  // negative or NaN: no corners cut
  return static_cast<int>(std::min(r, static_cast<double>(rows) + cols));
}

// Zeroes columns [from, to) of one element row, clipped to the row.
void ClearSpan(unsigned char* row, int cols, int from, int to) {
  from = std::max(from, 0);
  to = std::min(to, cols);
  if (from < to) std::memset(row + from, 0, static_cast<size_t>(to - from));
}

struct Geometry {
  IppiSize roi;
  IppiSize maskSize;
  IppiPoint anchor;
};

bool Valid(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
           int maskCols, const unsigned char* dst) {
  return src != nullptr && dst != nullptr && mask != nullptr && rows > 0 && cols > 0 &&
         maskRows > 0 && maskCols > 0;
}

// Runs `op(from, to)` from src into dst; when dst is src, into a copy that is then copied back,
// so the operation never reads pixels it has already written.
template <typename Op>
int IntoDestination(const unsigned char* src, int rows, int cols, unsigned char* dst, Op op) {
  if (dst != src) return op(src, dst) == ippStsNoErr ? 0 : -1;
  const long long bytes = static_cast<long long>(rows) * cols;
  if (bytes > 0x7fffffff) return -1;
  IppsBytes copy(ippsMalloc_8u(static_cast<int>(bytes)));
  if (!copy) return -1;
  if (op(src, copy.get()) != ippStsNoErr) return -1;
  std::memcpy(dst, copy.get(), static_cast<size_t>(bytes));
  return 0;
}

// Dilation (kDilate) or erosion with a replicated border.
template <bool kDilate>
int DilateOrErode(const unsigned char* src, int rows, int cols, const unsigned char* mask,
                  int maskRows, int maskCols, unsigned char* dst) {
  if (!Valid(src, rows, cols, mask, maskRows, maskCols, dst)) return -1;
  const Geometry g{{cols, rows}, {maskCols, maskRows}, {maskCols / 2, maskRows / 2}};
  IppiMorphState* raw = nullptr;
  if (ippiMorphologyInitAlloc_8u_C1R(cols, mask, g.maskSize, g.anchor, &raw) != ippStsNoErr)
    return -1;
  const std::unique_ptr<IppiMorphState, MorphStateDeleter> state(raw);
  return IntoDestination(src, rows, cols, dst, [&](const Ipp8u* from, Ipp8u* to) {
    return kDilate ? ippiDilateBorderReplicate_8u_C1R(from, cols, to, cols, g.roi, ippBorderRepl,
                                                      state.get())
                   : ippiErodeBorderReplicate_8u_C1R(from, cols, to, cols, g.roi, ippBorderRepl,
                                                     state.get());
  });
}

// Opening (kOpen) or closing with a replicated border.
template <bool kOpen>
int OpenOrClose(const unsigned char* src, int rows, int cols, const unsigned char* mask,
                int maskRows, int maskCols, unsigned char* dst) {
  if (!Valid(src, rows, cols, mask, maskRows, maskCols, dst)) return -1;
  const Geometry g{{cols, rows}, {maskCols, maskRows}, {maskCols / 2, maskRows / 2}};
  IppiMorphAdvState* raw = nullptr;
  if (ippiMorphAdvInitAlloc_8u_C1R(&raw, g.roi, mask, g.maskSize, g.anchor) != ippStsNoErr)
    return -1;
  const std::unique_ptr<IppiMorphAdvState, MorphAdvStateDeleter> state(raw);
  return IntoDestination(src, rows, cols, dst, [&](const Ipp8u* from, Ipp8u* to) {
    return kOpen
               ? ippiMorphOpenBorder_8u_C1R(from, cols, to, cols, g.roi, ippBorderRepl, state.get())
               : ippiMorphCloseBorder_8u_C1R(from, cols, to, cols, g.roi, ippBorderRepl,
                                             state.get());
  });
}

}  // namespace

void diskstr(unsigned char* se, int rows, int cols, float diameter) {
  if (se == nullptr || rows <= 0 || cols <= 0) return;
  std::memset(se, 1, static_cast<size_t>(rows) * static_cast<size_t>(cols));
  const int r = CornerCut(diameter, rows, cols);
  for (int k = 0; k <= r; ++k) {
    const int cut = r + 1 - k;  // entries lost at each end of row k (and of row rows - 1 - k)
    const int top = k;
    const int bottom = rows - 1 - k;
    if (top < rows) {
      ClearSpan(se + static_cast<long long>(top) * cols, cols, 0, cut);
      ClearSpan(se + static_cast<long long>(top) * cols, cols, cols - cut, cols);
    }
    if (bottom >= 0) {
      ClearSpan(se + static_cast<long long>(bottom) * cols, cols, 0, cut);
      ClearSpan(se + static_cast<long long>(bottom) * cols, cols, cols - cut, cols);
    }
  }
}

void rectstr(unsigned char* se, int rows, int cols) {
  if (se == nullptr || rows <= 0 || cols <= 0) return;
  std::memset(se, 1, static_cast<size_t>(rows) * static_cast<size_t>(cols));
}

int imdilate(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
             int maskCols, unsigned char* dst) {
  return DilateOrErode<true>(src, rows, cols, mask, maskRows, maskCols, dst);
}

int imerode(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
            int maskCols, unsigned char* dst) {
  return DilateOrErode<false>(src, rows, cols, mask, maskRows, maskCols, dst);
}

int imopen(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
           int maskCols, unsigned char* dst) {
  return OpenOrClose<true>(src, rows, cols, mask, maskRows, maskCols, dst);
}

int imclose(const unsigned char* src, int rows, int cols, const unsigned char* mask, int maskRows,
            int maskCols, unsigned char* dst) {
  return OpenOrClose<false>(src, rows, cols, mask, maskRows, maskCols, dst);
}

}  // namespace Talvex::Common::Algorithms::Analysis

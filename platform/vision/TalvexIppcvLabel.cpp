// Connected-region labelling of 8-bit masks, in place.
//
// The mask is scanned row by row into runs of foreground pixels. Runs of consecutive rows that
// touch (diagonally too under 8-connectivity) are merged in a union-find forest whose root is
// always the earliest run of the set, which is the run holding the region's first pixel in raster
// order. A second walk over the runs in scan order therefore meets the regions in the order of
// their first pixels and numbers them, then writes the labels run by run. No recursion, no queue:
// memory is the caller's buffer, four integers per run plus one per row.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/vision/TalvexIppcv.h"

namespace Talvex::Platform {

namespace {

constexpr std::size_t kAlign = 64;

std::size_t RoundUp(std::size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; }

// A row of width w holds at most (w + 1) / 2 runs.
std::size_t MaxRuns(IppiSize roi) {
  return static_cast<std::size_t>(roi.height) * ((static_cast<std::size_t>(roi.width) + 1) / 2);
}

struct Layout {
  std::size_t starts, ends, parents, labels, rowBegin, total;
};

Layout ComputeLayout(IppiSize roi) {
  const std::size_t runBytes = RoundUp(MaxRuns(roi) * sizeof(std::int32_t));
  Layout l{};
  l.starts = 0;
  l.ends = l.starts + runBytes;
  l.parents = l.ends + runBytes;
  l.labels = l.parents + runBytes;
  l.rowBegin = l.labels + runBytes;
  l.total = l.rowBegin +
            RoundUp((static_cast<std::size_t>(roi.height) + 1) * sizeof(std::int32_t)) +
            kAlign;  // slack to align the start
  return l;
}

std::int32_t Find(std::int32_t* parents, std::int32_t r) {
  while (parents[r] != r) {
    parents[r] = parents[parents[r]];
    r = parents[r];
  }
  return r;
}

void Union(std::int32_t* parents, std::int32_t a, std::int32_t b) {
  a = Find(parents, a);
  b = Find(parents, b);
  if (a < b) {
    parents[b] = a;
  } else if (b < a) {
    parents[a] = b;
  }
}

std::uint64_t Load8(const Ipp8u* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

// True when none of the 8 bytes is zero.
bool NoZeroByte(std::uint64_t v) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = 0x8080808080808080ull;
  return ((v - kOnes) & ~v & kHighs) == 0;
}

// Appends the foreground runs of one row; returns the new run count.
std::int32_t ScanRow(const Ipp8u* row, int width, std::int32_t count, std::int32_t* starts,
                     std::int32_t* ends, std::int32_t* parents) {
  int x = 0;
  while (x < width) {
    while (x + 8 <= width && Load8(row + x) == 0) x += 8;
    while (x < width && row[x] == 0) ++x;
    if (x == width) break;
    const int start = x;
    while (x + 8 <= width && NoZeroByte(Load8(row + x))) x += 8;
    while (x < width && row[x] != 0) ++x;
    starts[count] = start;
    ends[count] = x;
    parents[count] = count;
    ++count;
  }
  return count;
}

}  // namespace

IppStatus ippiLabelMarkersGetBufferSize_8u_C1R(IppiSize roiSize, int* pBufSize) {
  if (pBufSize == nullptr) return ippStsNullPtrErr;
  if (roiSize.width <= 0 || roiSize.height <= 0) return ippStsSizeErr;
  const Layout l = ComputeLayout(roiSize);
  if (l.total > static_cast<std::size_t>(std::numeric_limits<int>::max())) return ippStsSizeErr;
  *pBufSize = static_cast<int>(l.total);
  return ippStsNoErr;
}

IppStatus ippiLabelMarkers_8u_C1IR(Ipp8u* pMarker, int markerStep, IppiSize roiSize, int minLabel,
                                   int maxLabel, IppiNorm norm, int* pNumber, Ipp8u* pBuffer) {
  if (pMarker == nullptr || pNumber == nullptr || pBuffer == nullptr) return ippStsNullPtrErr;
  if (roiSize.width <= 0 || roiSize.height <= 0) return ippStsSizeErr;
  if (markerStep < roiSize.width) return ippStsStepErr;
  if (minLabel < 1 || maxLabel > 254 || minLabel > maxLabel) return ippStsBadArgErr;
  if (norm != ippiNormInf && norm != ippiNormL1) return ippStsBadArgErr;
  const Layout l = ComputeLayout(roiSize);
  if (l.total > static_cast<std::size_t>(std::numeric_limits<int>::max())) return ippStsSizeErr;

  const auto address = reinterpret_cast<std::uintptr_t>(pBuffer);
  Ipp8u* base = pBuffer + (kAlign - address % kAlign) % kAlign;
  auto* starts = reinterpret_cast<std::int32_t*>(base + l.starts);
  auto* ends = reinterpret_cast<std::int32_t*>(base + l.ends);
  auto* parents = reinterpret_cast<std::int32_t*>(base + l.parents);
  auto* labels = reinterpret_cast<std::int32_t*>(base + l.labels);
  auto* rowBegin = reinterpret_cast<std::int32_t*>(base + l.rowBegin);

  // Runs [s1, e1) and [s2, e2) of consecutive rows touch when s1 < e2 + reach and
  // s2 < e1 + reach: reach 1 admits diagonal contact (8-connectivity), reach 0 does not.
  const int reach = norm == ippiNormInf ? 1 : 0;
  std::int32_t count = 0;
  for (int y = 0; y < roiSize.height; ++y) {
    rowBegin[y] = count;
    const Ipp8u* row = pMarker + static_cast<std::ptrdiff_t>(y) * markerStep;
    count = ScanRow(row, roiSize.width, count, starts, ends, parents);
    if (y == 0) continue;
    std::int32_t i = rowBegin[y - 1];
    const std::int32_t iEnd = rowBegin[y];
    std::int32_t j = rowBegin[y];
    while (i < iEnd && j < count) {
      if (starts[i] < ends[j] + reach && starts[j] < ends[i] + reach) Union(parents, i, j);
      if (ends[i] < ends[j]) {
        ++i;
      } else {
        ++j;
      }
    }
  }
  rowBegin[roiSize.height] = count;

  // Roots are the earliest run of their set, and every parent precedes its child, so one walk in
  // scan order numbers the regions by their first pixel.
  const int range = maxLabel - minLabel + 1;
  int regions = 0;
  for (std::int32_t r = 0; r < count; ++r) {
    const std::int32_t p = parents[r];
    if (p == r) {
      labels[r] = minLabel + regions % range;
      ++regions;
    } else {
      labels[r] = labels[Find(parents, p)];
    }
  }
  for (int y = 0; y < roiSize.height; ++y) {
    Ipp8u* row = pMarker + static_cast<std::ptrdiff_t>(y) * markerStep;
    for (std::int32_t r = rowBegin[y]; r < rowBegin[y + 1]; ++r)
      std::memset(row + starts[r], labels[r], static_cast<std::size_t>(ends[r] - starts[r]));
  }
  *pNumber = regions;
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

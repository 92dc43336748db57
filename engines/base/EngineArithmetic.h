// Conversions the engines share: nearest sample index of a layer depth, the search band around
// it and the 8-bit wrap of a grey level. All are defined for every input, NaN, infinities and
// extreme offsets included.
#pragma once

#include <algorithm>
#include <cmath>

namespace Talvex::SDOCT::Algorithms::Detail {

// The nearest index (int)(v + 0.5) of a depth v, limited to 0 .. hi: negative depths and NaN give
// 0, depths beyond hi give hi.
inline int NearestClamped(double v, int hi) {
  const double d = v + 0.5;
  if (!(d >= 0.0)) return 0;
  if (d >= static_cast<double>(hi)) return hi;
  return static_cast<int>(d);
}

// The band of a row of `width` samples that starts `before` samples above centre c and spans
// `span` samples: start = max(c - before, 1), end = min(start + span, width - 2), length =
// min(end - start, room). Computed in 64 bits, so any offsets are safe; the band never reaches the
// last sample of the row. length < 1 means the row has no band (start is then meaningless).
struct Band {
  int start;
  int length;
};
inline Band BandAround(int c, long long before, long long span, int width, int room) {
  const long long start = std::max<long long>(c - before, 1);
  const long long end = std::min<long long>(start + span, static_cast<long long>(width) - 2);
  const long long length = std::min<long long>(end - start, room);
  if (length < 1) return {0, 0};
  // end <= width - 2 and start < end: both fit an int.
  return {static_cast<int>(start), static_cast<int>(length)};
}

// ((unsigned)v) & 255 as an 8-bit grey level: truncation toward zero, then the low byte in two's
// complement (so -9.5 gives 247, 300 gives 44). Non-finite values give 0.
inline int WrapToByte(double v) {
  if (!std::isfinite(v)) return 0;
  const double limited = std::fmax(std::fmin(v, 1e18), -1e18);
  return static_cast<int>(static_cast<long long>(limited) & 255);
}

}  // namespace Talvex::SDOCT::Algorithms::Detail

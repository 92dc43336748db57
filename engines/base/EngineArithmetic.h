// Conversions the engines share: nearest sample index of a layer depth and the 8-bit wrap of a
// grey level. Both are defined for every input, NaN and infinities included.
#pragma once

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

// ((unsigned)v) & 255 as an 8-bit grey level: truncation toward zero, then the low byte in two's
// complement (so -9.5 gives 247, 300 gives 44). Non-finite values give 0.
inline int WrapToByte(double v) {
  if (!std::isfinite(v)) return 0;
  const double limited = std::fmax(std::fmin(v, 1e18), -1e18);
  return static_cast<int>(static_cast<long long>(limited) & 255);
}

}  // namespace Talvex::SDOCT::Algorithms::Detail

// Helpers of the cornea dewarp engine: nearest sample of a surface and placement of a traced
// point in the corrected image.
#pragma once

namespace Talvex::SDOCT::Algorithms::DewarpDetail {

// nearest(v) = (int)(v + 0.5), limited to 0 .. hi (negative depths and NaN give 0).
inline int NearestSample(double v, int hi) {
  const double d = v + 0.5;
  if (!(d >= 0.0)) return 0;
  if (d >= hi) return hi;
  return static_cast<int>(d);
}

// The index nearest(v) when it lies in 1 .. limit - 1 (index 0 is excluded), else -1; NaN and
// infinities give -1.
inline int InnerIndex(double v, int limit) {
  const double d = v + 0.5;
  if (!(d >= 1.0 && d < limit)) return -1;
  return static_cast<int>(d);
}

}  // namespace Talvex::SDOCT::Algorithms::DewarpDetail

// Applying the shifts of CCorneaMotionCorrectionAlgorithm to the layers of a radial scan.
//
// The correction returns, per meridian, the shift (x, y, z) in micrometres that puts the
// meridian's points back on the common surface, meridians in ascending order of the library's
// normalised angle. A B-scan's layers can take two of its three parts:
//   - z moves every layer sample axially by z / depth2um samples;
//   - the lateral part along the meridian, x cos a - y sin a for scanner angle a (A-scans run
//     along (cos a, -sin a) en face), moves the samples along the B-scan by that many
//     micrometres, fovum / (bscanWidth - 1) per A-scan, the layer being resampled linearly.
// The part across the meridian would move the B-scan off its own plane and is left out (on a
// near-symmetric cornea it is barely determined anyway). The mean of the z shifts is left out
// too: a shift common to all meridians is arbitrary, and the returned z also carries each
// meridian's apex depth, so the layers keep their mean depth in the image.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace Talvex::Tools {

// B-scan index of every output position of the motion correction (ascending normalised angle:
// a -> 180 - a, + 360 when negative, - 180 when above 180).
inline std::vector<int> MotionShiftOrder(const float* anglesDeg, int numBscans) {
  std::vector<float> normalised(numBscans);
  for (int b = 0; b < numBscans; ++b) {
    float a = 180.0f - anglesDeg[b];
    if (a < 0.0f) a += 360.0f;
    normalised[b] = a > 180.0f ? a - 180.0f : a;
  }
  std::vector<int> order(numBscans);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int p, int q) { return normalised[p] < normalised[q]; });
  return order;
}

// Shifts numBscans layers of bscanWidth depths each (samples, -1 = no value; acquisition order,
// scanner angles anglesDeg) by the correction's xyz (3 * numBscans values) in place. A sample
// takes the value interpolated between the two A-scans around its source position, or -1 when
// either has none or the source lies outside the B-scan.
inline void ApplyMotionShifts(const double* xyz, const float* anglesDeg, int numBscans,
                              int bscanWidth, float depth2um, float fovum, float* layers) {
  const std::vector<int> order = MotionShiftOrder(anglesDeg, numBscans);
  double meanZ = 0.0;
  for (int i = 0; i < numBscans; ++i) meanZ += xyz[2 * numBscans + i] / numBscans;
  const double pitch = fovum / (bscanWidth - 1.0);
  std::vector<float> source(bscanWidth);
  for (int i = 0; i < numBscans; ++i) {
    const int b = order[i];
    const double a = anglesDeg[b] * M_PI / 180.0;
    const double along = (xyz[i] * std::cos(a) - xyz[numBscans + i] * std::sin(a)) / pitch;
    const double axial = (xyz[2 * numBscans + i] - meanZ) / depth2um;
    float* row = layers + static_cast<std::size_t>(b) * bscanWidth;
    std::copy(row, row + bscanWidth, source.begin());
    for (int q = 0; q < bscanWidth; ++q) {
      const double from = q - along;
      const int j = static_cast<int>(std::floor(from));
      const double t = from - j;
      row[q] = -1.0f;
      if (j < 0 || j >= bscanWidth || (t > 0.0 && j + 1 >= bscanWidth)) continue;
      const float v0 = source[j], v1 = t > 0.0 ? source[j + 1] : v0;
      if (v0 < 0.0f || v1 < 0.0f) continue;
      row[q] = static_cast<float>((1.0 - t) * v0 + t * v1 + axial);
    }
  }
}

}  // namespace Talvex::Tools

// Test oracle for the mirror-image attenuation: the two regions written out from their
// definitions, sample by sample, for layers whose mirrored apex lies nearest the B-scan centre.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace MirrorOracle {

struct Layers {
  int width = 0, length = 0;
  std::vector<float> anterior, posterior, irisLens;
};

inline bool Present(float v) { return v != -1.0f; }

// 1 above the anterior surface (the whole A-scan where it is missing), 0 below.
inline std::vector<std::uint8_t> AnteriorRegion(const Layers& l) {
  std::vector<std::uint8_t> region(static_cast<size_t>(l.width) * l.length, 0);
  for (int i = 0; i < l.width; ++i) {
    const float a = l.anterior[i];
    const int depth = Present(a) ? std::clamp(static_cast<int>(a), 0, l.length) : l.length;
    for (int z = 0; z < depth; ++z) region[static_cast<size_t>(i) * l.length + z] = 1;
  }
  return region;
}

// Closest approach of the mirrored anterior surface m and the posterior surface p in a range.
inline int Crossing(const std::vector<float>& m, const std::vector<float>& p, int first, int last) {
  int at = -1;
  double best = 1e30;
  for (int i = first; i <= last; ++i)
    if (Present(m[i]) && Present(p[i]) && std::fabs(m[i] - p[i]) < best)
      best = std::fabs(m[i] - p[i]), at = i;
  return at;
}

// Checks the mirror mask against the region between p and m (fold c = length / 2 - 20) from the
// left to the right crossing, ending 20 samples above the iris/lens: samples clear of the outline
// by the local slope plus one sample must be in the mask, samples as far outside must not.
// Counts the samples found inside into *inside.
inline void CheckMirrorRegion(const Layers& l, const std::uint8_t* mask, long* inside) {
  const int c = l.length / 2 - 20;
  std::vector<float> m(l.anterior);
  for (float& v : m)
    if (Present(v)) v = 2.0f * c - v;
  const int left = Crossing(m, l.posterior, 0, l.width / 2 - 1);
  const int right = Crossing(m, l.posterior, l.width / 2, l.width - 1);
  EXPECT_GE(left, 0);
  EXPECT_GT(right, left);
  *inside = 0;
  for (int i = 0; i < l.width; ++i) {
    const int lo = std::max(i - 1, 0), hi = std::min(i + 1, l.width - 1);
    bool known = true;
    for (int k = lo; k <= hi; ++k) known = known && Present(m[k]) && Present(l.posterior[k]);
    const bool between = i > left + 1 && i < right - 1 && known;
    const bool beside = i < left - 1 || i > right + 1 || !Present(l.irisLens[i]);
    float pTop = 1e9f, pBottom = -1e9f, mTop = 1e9f, mBottom = -1e9f;
    for (int k = lo; k <= hi && known; ++k) {
      pTop = std::min(pTop, l.posterior[k]), pBottom = std::max(pBottom, l.posterior[k]);
      mTop = std::min(mTop, m[k]), mBottom = std::max(mBottom, m[k]);
    }
    const double floor = Present(l.irisLens[i]) ? std::trunc(l.irisLens[i]) : -1e9;
    for (int z = 0; z < l.length; ++z) {
      const std::uint8_t v = mask[static_cast<size_t>(i) * l.length + z];
      const bool aboveIris = z + 20 <= floor;
      if (between && aboveIris && z > pBottom + 1 && z < mTop - 1) {
        ++*inside;
        ASSERT_EQ(v, 1) << "A-scan " << i << " depth " << z;
      } else if (beside || !aboveIris || (known && (z < pTop - 1 || z > mBottom + 1))) {
        ASSERT_EQ(v, 0) << "A-scan " << i << " depth " << z;
      }
    }
  }
}

}  // namespace MirrorOracle

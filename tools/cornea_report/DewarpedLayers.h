// Helpers shared by the programs that dewarp segmented scans: gap bridging of segmented layers
// before the dewarping (it needs a value at every A-scan) and the dewarped overlay picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Talvex::Tools {

// A copy of numBscans layers of W values with every gap (-1) bridged: linear between the values
// around it, the end values carried outward. A B-scan without any value stays all -1.
inline std::vector<float> Bridged(const std::vector<float>& layer, int numBscans, int W) {
  std::vector<float> out(layer);
  for (int b = 0; b < numBscans; ++b) {
    float* row = out.data() + std::size_t(b) * W;
    int last = -1;
    for (int j = 0; j <= W; ++j) {
      if (j < W && row[j] < 0) continue;
      for (int k = last + 1; k < j; ++k)
        row[k] = last < 0 ? (j < W ? row[j] : -1)
                 : j == W ? row[last]
                          : row[last] + (row[j] - row[last]) * (k - last) / float(j - last);
      last = j;
    }
  }
  return out;
}

// RGB picture (row = depth) of one dewarped B-scan of W A-scans of D samples, stored A-scan after
// A-scan, with the dewarped anterior (green) and posterior (blue) surfaces; values < 0 are not
// drawn.
inline std::vector<std::uint8_t> DewarpedOverlayRgb(const std::uint8_t* bscan, int W, int D,
                                                    const float* ant, const float* pst) {
  std::vector<std::uint8_t> rgb(std::size_t(W) * D * 3);
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < D; ++z)
      std::memset(&rgb[(std::size_t(z) * W + j) * 3], bscan[std::size_t(j) * D + z], 3);
  auto plot = [&](int j, float depth, std::uint8_t g, std::uint8_t bl) {
    const int z = static_cast<int>(depth + 0.5f);
    if (depth < 0 || z >= D) return;
    std::uint8_t* p = &rgb[(std::size_t(z) * W + j) * 3];
    p[0] = 0, p[1] = g, p[2] = bl;
  };
  for (int j = 0; j < W; ++j) plot(j, ant[j], 255, 0), plot(j, pst[j], 128, 255);
  return rgb;
}

}  // namespace Talvex::Tools

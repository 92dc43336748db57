// talvex-demo: runs the library's main job on built-in data and prints the results.
//
// The data is a synthetic wide-field B-scan geometry: the posterior corneal surface is a circle
// of radius 6.5 mm, the iris/lens surface a flat plane with a shallow lens bulge; the iris/lens
// surface is found over a narrower span than the cornea so the chamber's ends are closed by
// straight lines.
#include <cmath>
#include <cstdio>
#include <vector>

#include "interface/Talvex.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CAnteriorChamberAlgorithm;

struct SyntheticChamber {
  int bscanWidth = 1024;
  int ascanLength = 1024;
  float widthMu = 16000.0f;  // lateral extent of the B-scan
  float depthMu = 7000.0f;   // tissue-equivalent depth of the A-scan
  std::vector<float> posterior, irisLens;
};

// Builds both surfaces in pixels, -1 where the segmentation found nothing.
SyntheticChamber BuildChamber() {
  SyntheticChamber c;
  c.posterior.assign(c.bscanWidth, -1.0f);
  c.irisLens.assign(c.bscanWidth, -1.0f);
  const double dx = c.widthMu / c.bscanWidth, dz = c.depthMu / c.ascanLength;
  const double radius = 6500.0, apexDepth = 1200.0, irisDepth = 4200.0, center = c.widthMu / 2;
  for (int i = 0; i < c.bscanWidth; ++i) {
    const double x = i * dx - center;
    if (std::fabs(x) < 6000.0) {
      const double sag = radius - std::sqrt(radius * radius - x * x);
      c.posterior[i] = static_cast<float>((apexDepth + sag) / dz);
    }
    if (std::fabs(x) < 5200.0) {
      const double lens = std::fabs(x) < 2500.0 ? 300.0 * (1.0 - (x * x) / (2500.0 * 2500.0)) : 0.0;
      c.irisLens[i] = static_cast<float>((irisDepth - lens) / dz);
    }
  }
  return c;
}

}  // namespace

int main() {
  const SyntheticChamber chamber = BuildChamber();
  CAnteriorChamberAlgorithm algorithm;
  try {
    const float area = algorithm.AnteriorChamberArea(
        chamber.posterior.data(), chamber.irisLens.data(), chamber.bscanWidth, chamber.ascanLength,
        chamber.widthMu, chamber.depthMu);
    std::printf("Synthetic wide-field B-scan: %d A-scans x %d samples, %.1f x %.1f mm\n",
                chamber.bscanWidth, chamber.ascanLength, chamber.widthMu / 1000.0,
                chamber.depthMu / 1000.0);
    std::printf("Anterior chamber area: %.0f um^2 (%.3f mm^2)\n", area, area / 1.0e6);
  } catch (const AlgorithmException& e) {
    std::fprintf(stderr, "talvex-demo: %s\n", e.what());
    return 1;
  }
  return 0;
}

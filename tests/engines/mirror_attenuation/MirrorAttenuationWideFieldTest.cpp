#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engines/mirror_attenuation/CMirrorImageAttenuation.h"
#include "interface/CMirrorImageAttenuationAlgorithm.h"
#include "tests/engines/mirror_attenuation/MirrorRegionOracle.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using Talvex::SDOCT::Algorithms::CMirrorImageAttenuation;
using Talvex::SDOCT::Algorithms::CMirrorImageAttenuationAlgorithm;
using namespace Talvex::Synthetic;

struct WideField {
  SimulatedScan scan;
  MirrorOracle::Layers layers;
};

// A Gullstrand wide-field B-scan of 512 x 1024 with its mirror image, layers from the truth.
const WideField& Scan() {
  static const WideField w = [] {
    WideField f;
    f.scan = SimulateScan(GullstrandEye(), WideFieldProtocol(0.0, 512, 1024), WideFieldRendering(),
                          11, 0);
    const BscanTruth& t = f.scan.truth.bscans[0];
    f.layers = {f.scan.bscanWidth, f.scan.ascanLength, t.anterior, t.posterior, t.irisLens};
    return f;
  }();
  return w;
}

TEST(MirrorAttenuationWideField, DarkensExactlyTheTwoRegionsAndLeavesTheRestBitIdentical) {
  const WideField& w = Scan();
  const MirrorOracle::Layers& l = w.layers;
  CMirrorImageAttenuationAlgorithm facade;
  facade.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  std::vector<std::uint8_t> image = w.scan.volume;
  const float percent = 0.6f;
  facade.AttenuateMirrorImage(image.data(), l.width, l.length, percent);

  CMirrorImageAttenuation engine;
  engine.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  const std::uint8_t* a = engine.AnteriorMask();
  const std::uint8_t* m = engine.MirrorMask();
  ASSERT_EQ(std::vector<std::uint8_t>(a, a + image.size()), MirrorOracle::AnteriorRegion(l));
  long inside = 0;
  MirrorOracle::CheckMirrorRegion(l, m, &inside);
  EXPECT_GT(inside, 20000);

  const float f = 1.0f - percent;
  long changed = 0;
  for (size_t k = 0; k < image.size(); ++k) {
    int v = w.scan.volume[k];
    for (int pass = 0; pass < a[k] + m[k]; ++pass) v = static_cast<int>(f * v);
    ASSERT_EQ(image[k], v) << k;
    changed += image[k] != w.scan.volume[k];
  }
  EXPECT_GT(changed, 100000);
}

TEST(MirrorAttenuationWideField, CoversTheMirrorImageWhereItFallsIntoTheAnteriorChamber) {
  const WideField& w = Scan();
  const MirrorOracle::Layers& l = w.layers;
  const BscanTruth& t = w.scan.truth.bscans[0];
  ASSERT_EQ(t.mirrorFoldSample, l.length / 2 - 20);
  CMirrorImageAttenuation engine;
  engine.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  const std::uint8_t* m = engine.MirrorMask();
  // The mirror image fills every sample above the folded anterior surface. Between the two
  // closest approaches of that fold and the posterior surface, every chamber sample above it (two
  // samples clear of the posterior surface and of the band 20 samples above the iris/lens) is in
  // the mirror mask.
  const int left = MirrorOracle::Crossing(t.mirrorAnterior, t.posterior, 0, l.width / 2 - 1);
  const int right = MirrorOracle::Crossing(t.mirrorAnterior, t.posterior, l.width / 2, l.width - 1);
  ASSERT_GE(left, 0);
  long covered = 0;
  for (int i = left + 2; i <= right - 2; ++i) {
    if (t.mirrorAnterior[i] < 0.0f || t.irisLens[i] < 0.0f || t.posterior[i] < 0.0f) continue;
    const double bottom = std::min<double>(t.mirrorAnterior[i] - 2.0, t.irisLens[i] - 22.0);
    for (int z = static_cast<int>(std::ceil(t.posterior[i] + 2.0)); z <= bottom; ++z, ++covered)
      ASSERT_EQ(m[static_cast<size_t>(i) * l.length + z], 1) << "A-scan " << i << " depth " << z;
  }
  EXPECT_GT(covered, 50000);
}

}  // namespace

// The options of the segmentation record beyond the classic pipeline, its validation, and the
// level estimation: each case shows the classic fault and the option's answer side by side.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "interface/CCorneaSegmentationAlgorithm.h"
#include "interface/CorneaSegPresets.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;
using Bytes = std::vector<std::uint8_t>;
using Floats = std::vector<float>;

constexpr int kW = 1020, kL = 640;  // a device export: 8 mm over 1020 A-scans, 2.3 mm deep
constexpr double kUmPerSample = 2300.0 / kL;

// A cornea B-scan of the device's kind: air `air`, a saturated anterior reflection, stroma
// `stroma` with multiplicative grain, aqueous `aqueous`; apex radius 7.8 mm, 540 um thick.
struct Cornea {
  double air = 3, stroma = 85, aqueous = 2, reflection = 250;
  double Anterior(int i) const {
    const double x = (i - kW / 2.0) * 8000.0 / kW;
    return (120.0 + x * x / (2 * 7800.0)) / kUmPerSample;
  }
  double Posterior(int i) const {
    const double x = (i - kW / 2.0) * 8000.0 / kW;
    return (660.0 + x * x / (2 * 6500.0)) / kUmPerSample;
  }
  Bytes Render(unsigned seed) const {
    Bytes im(std::size_t(kW) * kL);
    std::mt19937 rng(seed);
    std::normal_distribution<double> grain(0.0, 0.25);
    for (int i = 0; i < kW; ++i)
      for (int z = 0; z < kL; ++z) {
        double v = z < Anterior(i)    ? air
                   : z < Posterior(i) ? stroma * std::exp(grain(rng))
                                      : aqueous;
        if (z >= Anterior(i) && z < Anterior(i) + 3) v = reflection;
        im[std::size_t(i) * kL + z] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
      }
    return im;
  }
};

CorneaSegParameter Classic() {
  CorneaSegParameter p = CorneaSegPresetRadial640();
  p.robustFitSearchPastEmptyTrials = p.requireCorneaEvidence = false;
  p.fullDepthPositionsWhenSubsampled = false;
  return p;
}

struct Result {
  Floats ant, pst, antC, pstC;
  std::vector<CorneaBscanOutcome> outcomes;
  int Confident() const {
    int n = 0;
    for (std::size_t i = 0; i < antC.size(); ++i) n += antC[i] == 1.0f && pstC[i] == 1.0f;
    return n;
  }
};

Result Segment(const CorneaSegParameter& p, const Bytes& im, const int* random, int nRandom) {
  const int n = static_cast<int>(im.size() / kL);
  Result r{Floats(n, -1), Floats(n, -1), Floats(n, -1), Floats(n, -1), {}};
  Bytes buffer(im.size());
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(p);
  facade.SegmentCornea(im.data(), n / kW, kW, kL, random, nRandom, buffer.data(), r.ant.data(),
                       r.pst.data(), r.antC.data(), r.pstC.data());
  r.outcomes = facade.LastBscanOutcomes();
  return r;
}

std::vector<int> RandomArray(unsigned seed) {
  std::mt19937 g(seed);
  std::vector<int> v(4096);
  for (int& x : v) x = static_cast<int>(g() >> 1);
  return v;
}

TEST(RobustFit, ClassicSearchEndsAfterAnEmptyFirstTrialWhileTheOptionFindsTheParabola) {
  CCorneaSegmentation e;
  e.ransacMinNumPoints = 8, e.ransacDistThresh = 4.0f, e.ransacProbability = 0.99f;
  e.ransacMaxDataTrials = 100, e.ransacMaxTrials = 500;
  const int n = 200;
  std::vector<double> x(n), y(n), truth(n), coeff(3);
  std::vector<int> inliers(n);
  for (int i = 0; i < n; ++i) x[i] = i, truth[i] = y[i] = 150.0 + 2e-3 * (i - 100) * (i - 100);
  // The first sample the random array draws is the eight points 0 .. 7, outliers alternating
  // far above and below: their parabola passes near no point at all.
  for (int i = 0; i < 8; ++i) y[i] = i % 2 ? 600.0 : 5.0;
  std::vector<int> random = RandomArray(3);
  for (int i = 0; i < 8; ++i) random[i] = i;
  for (bool searchOn : {false, true}) {
    SCOPED_TRACE(searchOn ? "search past empty trials" : "classic");
    e.robustFitSearchPastEmptyTrials = searchOn;
    e.SetSearchPastEmptyTrials(searchOn);
    e.SetRandomArray(random.data(), static_cast<std::uint32_t>(random.size()));
    std::vector<double> fitted = y;
    int ninliers = -1;
    e.FitPoints(x.data(), fitted.data(), n, 2, inliers.data(), ninliers, coeff.data());
    if (!searchOn) {
      EXPECT_EQ(ninliers, 0);
      EXPECT_EQ(fitted, y);
    } else {
      EXPECT_EQ(ninliers, n - 8);
      for (int i = 0; i < n; ++i) EXPECT_NEAR(fitted[i], truth[i], 1e-6);
    }
  }
}

TEST(CorneaEvidence, FramesWithoutACorneaGiveNoConfidentAscanWhileACorneaStaysConfident) {
  std::mt19937 rng(9);
  std::normal_distribution<double> n(0.0, 1.0);
  const auto frame = [&](auto value) {
    Bytes im(std::size_t(kW) * kL);
    for (int i = 0; i < kW; ++i)
      for (int z = 0; z < kL; ++z)
        im[std::size_t(i) * kL + z] =
            static_cast<std::uint8_t>(std::clamp(value(i, z), 0.0, 255.0));
    return im;
  };
  // An edge and a flat band (the hundred synthetic frames of the end-to-end tests cover noise, air
  // and the rest): the classic record rates them confident, the preset never.
  const std::vector<std::pair<const char*, Bytes>> frames = {
      {"single edge", frame([&](int, int z) { return z > 200 ? 90 + 10 * n(rng) : 3.0; })},
      {"flat band", frame([&](int, int z) { return z > 150 && z < 300 ? 90 + 15 * n(rng) : 3.0; })},
  };
  const std::vector<int> random = RandomArray(1);
  int classic = 0;
  for (const auto& [name, im] : frames) {
    SCOPED_TRACE(name);
    const Result r = Segment(CorneaSegPresetRadial640(), im, random.data(), 4096);
    for (int i = 0; i < kW; ++i) ASSERT_TRUE(r.antC[i] != 1.0f && r.pstC[i] != 1.0f) << i;
    classic += Segment(Classic(), im, random.data(), 4096).Confident();
  }
  EXPECT_GT(classic, 0);
  const Result cornea =
      Segment(CorneaSegPresetRadial640(), Cornea().Render(4), random.data(), 4096);
  EXPECT_EQ(cornea.outcomes[0], CorneaBscanOutcome::Segmented);
  EXPECT_GT(cornea.Confident(), kW / 2);
}

TEST(ReflectionPeak, SurfacesMoveFromTheEdgesOntoSubsampleReflectionCentres) {
  CCorneaSegmentation e;
  e.depthMicron = 2300;
  const int W = 40, L = 400;
  Bytes im(std::size_t(W) * L, 20);
  Floats ant(W), pst(W);
  std::vector<double> antPeak(W), pstPeak(W);
  for (int i = 0; i < W; ++i) {
    antPeak[i] = 100.0 + 0.37 * i / W + 0.1 * i;  // sub-sample centres, a slope across A-scans
    pstPeak[i] = 300.0 - 0.23 * i / W;
    for (int z = 0; z < L; ++z) {
      const double v = 20 + 200 * std::exp(-0.5 * std::pow((z - antPeak[i]) / 1.5, 2)) +
                       120 * std::exp(-0.5 * std::pow((z - pstPeak[i]) / 1.5, 2));
      im[std::size_t(i) * L + z] = static_cast<std::uint8_t>(v);
    }
    ant[i] = static_cast<float>(antPeak[i] - 2.6);  // the rising edge above the reflection
    pst[i] = static_cast<float>(pstPeak[i] + 2.6);  // the falling edge below it
  }
  ant[5] = -1.0f;  // no value: stays
  e.RefineToReflectionPeak(im.data(), W, L, ant.data(), 1);
  e.RefineToReflectionPeak(im.data(), W, L, pst.data(), 0);
  EXPECT_EQ(ant[5], -1.0f);
  for (int i = 0; i < W; ++i) {
    if (i != 5) {
      EXPECT_NEAR(ant[i], antPeak[i], 0.25) << i;
    }
    EXPECT_NEAR(pst[i], pstPeak[i], 0.25) << i;
  }
}

// Four of every nine A-scans bright two samples above the posterior reflection (speckle of the
// stroma): the median of any nine neighbours ignores them, so every point still moves onto the
// reflection itself.
TEST(ReflectionPeak, BrightSamplesInFewerThanHalfTheNeighboursDoNotMoveTheSurface) {
  CCorneaSegmentation e;
  e.depthMicron = 2300;
  const int W = 41, L = 400;  // no run of neighbours at the ends holds a bright majority either
  constexpr double kPeak = 300.0;
  Bytes im(std::size_t(W) * L, 20);
  Floats pst(W, static_cast<float>(kPeak + 2.6));
  for (int i = 0; i < W; ++i) {
    for (int z = 0; z < L; ++z)
      im[std::size_t(i) * L + z] =
          static_cast<std::uint8_t>(20 + 120 * std::exp(-0.5 * std::pow((z - kPeak) / 1.5, 2)));
    if (i % 9 >= 5) im[std::size_t(i) * L + 297] = im[std::size_t(i) * L + 298] = 250;
  }
  e.RefineToReflectionPeak(im.data(), W, L, pst.data(), 0);
  for (int i = 0; i < W; ++i) EXPECT_NEAR(pst[i], kPeak, 0.1) << i;
}

TEST(CorneaSegParameter, FieldsOutsideTheirRangeAreRefusedByNameBeforeAnythingIsWritten) {
  const Bytes im = Cornea().Render(1);
  const std::vector<int> random = RandomArray(1);
  const auto refuse = [&](void (*spoil)(CorneaSegParameter&), const char* text) {
    CorneaSegParameter p = CorneaSegPresetRadial640();
    spoil(p);
    try {
      const Result r = Segment(p, im, random.data(), 4096);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const AlgorithmException& ex) {
      EXPECT_STREQ(ex.what(), text);
    }
  };
  refuse([](CorneaSegParameter& p) { p.sigmaLateral = std::numeric_limits<float>::quiet_NaN(); },
         "CorneaSegParameter.sigmaLateral out of range: at most 100 (0 or less: off).");
  refuse([](CorneaSegParameter& p) { p.sigmaAxial = 1e30f; },
         "CorneaSegParameter.sigmaAxial out of range: at most 100 (0 or less: off).");
  refuse([](CorneaSegParameter& p) { p.gaussYsize = 4; },
         "CorneaSegParameter.gaussYsize out of range: allowed odd sizes 1 to 63.");
  refuse([](CorneaSegParameter& p) { p.layerOffset = 0; },
         "CorneaSegParameter.layerOffset out of range: allowed 4 to 765 um for A-scans of 640 "
         "samples.");
  refuse([](CorneaSegParameter& p) { p.layerOffset = 2000000000; },
         "CorneaSegParameter.layerOffset out of range: allowed 4 to 765 um for A-scans of 640 "
         "samples.");
  refuse([](CorneaSegParameter& p) { p.ransacMinNumPoints = 2; },
         "CorneaSegParameter.ransacMinNumPoints out of range: allowed 3 to 1024.");
  refuse([](CorneaSegParameter& p) { p.lateralXMicron = 0; },
         "CorneaSegParameter.lateralXMicron out of range: allowed 1 to 100000.");
  refuse([](CorneaSegParameter& p) { p.corrCoeffThresh = 1.5f; },
         "CorneaSegParameter.corrCoeffThresh out of range: -1 to 1.");
}

TEST(AxialSubsample, FullDepthOptionKeepsConfidencesAndLeavesAbandonedRowsAtMinusOne) {
  Bytes im = Cornea().Render(2);
  im.resize(im.size() * 2, 0);  // a second, black B-scan: abandoned
  const std::vector<int> random = RandomArray(2);
  CorneaSegParameter classic = Classic(), fixed = CorneaSegPresetRadial640();
  classic.axialSubsample = fixed.axialSubsample = 2;
  const Result c = Segment(classic, im, random.data(), 4096);
  const Result f = Segment(fixed, im, random.data(), 4096);
  EXPECT_EQ(c.Confident(), 0);  // the documented hazard of the classic pipeline
  EXPECT_GT(f.Confident(), kW / 2);
  EXPECT_EQ(f.outcomes[1], CorneaBscanOutcome::NoCandidates);
  EXPECT_EQ(c.ant[kW + 10], -2.0f);
  EXPECT_EQ(f.ant[kW + 10], -1.0f);
  for (int i = kW / 4; i < 3 * kW / 4; ++i) EXPECT_NEAR(f.ant[i], Cornea().Anterior(i), 3.0) << i;
}

TEST(CorneaSegAdaptLevels, MeasuresADeviceGreyScaleAndKeepsThePresetWithoutACornea) {
  Cornea cornea;
  cornea.air = 4, cornea.stroma = 140, cornea.aqueous = 6;
  const Bytes im = cornea.Render(3);
  CorneaGreyLevels levels;
  const CorneaSegParameter p =
      CorneaSegAdaptLevels(im.data(), 1, kW, kL, CorneaSegPresetRadial640(), &levels);
  EXPECT_EQ(levels.bscansMeasured, 1);
  EXPECT_NEAR(levels.air, 4, 3);
  EXPECT_NEAR(levels.stroma, 140, 10);  // the grain's median, not its mean
  EXPECT_NEAR(levels.posteriorStroma, 140, 10);
  EXPECT_NEAR(levels.aqueous, 6, 3);
  EXPECT_NEAR(levels.anteriorReflection, 250, 1);
  // The measured levels are applied only when they segment at least as confidently.
  const CorneaSegParameter preset = CorneaSegPresetRadial640();
  if (levels.applied) {
    EXPECT_EQ(p.signal1Level_0, levels.air);
    EXPECT_EQ(p.signal1Level_1, levels.stroma);
    EXPECT_LE(p.signal1Level_2, levels.anteriorReflection);  // lowered until it cannot wrap
    EXPECT_EQ(p.signal2Level_0, levels.posteriorStroma);
    EXPECT_EQ(p.signal2Level_1, levels.aqueous);
  } else {
    EXPECT_EQ(p.signal1Level_0, preset.signal1Level_0);
    EXPECT_EQ(p.signal1Level_2, preset.signal1Level_2);
    EXPECT_EQ(p.signal2Level_1, preset.signal2Level_1);
  }
  EXPECT_EQ(p.signal2Level_2, preset.signal2Level_2);
  const Bytes grey(std::size_t(kW) * kL, 100);
  const CorneaSegParameter kept =
      CorneaSegAdaptLevels(grey.data(), 1, kW, kL, CorneaSegPresetRadial640(), &levels);
  EXPECT_EQ(levels.bscansMeasured, 0);
  EXPECT_EQ(kept.signal1Level_1, CorneaSegPresetRadial640().signal1Level_1);
}

TEST(CorneaSegmentationFacade, NullLayersAreRefusedOrSkippedNeverDereferenced) {
  CCorneaSegmentationAlgorithm facade;
  Floats layer(8, 1.0f);
  try {
    facade.SmoothLayer(nullptr, 1, 8, 0.5f, layer.data());
    ADD_FAILURE();
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "Input layer is NULL.");
  }
  try {
    facade.SmoothLayer(layer.data(), 1, 8, 0.5f, nullptr);
    ADD_FAILURE();
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "Output layer is NULL.");
  }
  const Bytes im = Cornea().Render(5);
  Bytes buffer(im.size());
  Floats ant(kW, -1);
  facade.Initialize(CorneaSegPresetRadial640());
  const std::vector<int> random = RandomArray(5);
  facade.SegmentHDCornea(im.data(), 1, kW, kL, random.data(), 4096, buffer.data(), ant.data(),
                         nullptr);
  EXPECT_NEAR(ant[kW / 2], Cornea().Anterior(kW / 2), 3.0);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "interface/CCorneaSegmentationAlgorithm.h"
#include "interface/CorneaSegPresets.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;

// A simple cornea B-scan: air 25, a bright anterior surface, stroma 70 with grain, aqueous 25,
// surfaces on parabolas (depth in samples).
struct SimpleScan {
  int W = 512, L = 512, numBscans = 2;
  std::vector<std::uint8_t> volume;
  double Anterior(int i) const { return 120 + 2.0e-3 * (i - W / 2.0) * (i - W / 2.0) / 4; }
  double Posterior(int i) const {
    return Anterior(i) + 260 + 1.0e-3 * (i - W / 2.0) * (i - W / 2.0) / 4;
  }
  SimpleScan() : volume(size_t(numBscans) * W * L) {
    std::mt19937 rng(3);
    std::normal_distribution<double> grain(0.0, 6.0);
    for (int b = 0; b < numBscans; ++b)
      for (int i = 0; i < W; ++i)
        for (int z = 0; z < L; ++z) {
          double v = 25;
          if (z >= Anterior(i) && z < Posterior(i)) v = 70;
          if (z >= Anterior(i) && z < Anterior(i) + 3) v = 110;
          v += grain(rng);
          volume[(size_t(b) * W + i) * L + z] =
              static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
  }
};

// The path lies on the last dark or first bright sample of each edge.
constexpr double kSurfaceTolerancePx = 1.5;

CorneaSegParameter SimpleParameters(const SimpleScan& s) {
  CorneaSegParameter p = CorneaSegPresetRadial1024();
  p.depthMicron = 2 * s.L;  // 2 um per sample like the preset
  p.lateralXMicron = 9000 * s.W / 1024;
  p.adjustAnterior = false;  // the simple scan's surface is the rise of its bright band
  return p;
}

TEST(CorneaPipeline, FindsBothSurfacesOfASimpleScan) {
  SimpleScan s;
  const int n = s.numBscans * s.W;
  std::vector<std::uint8_t> buffer(s.volume.size());
  std::vector<float> ant(n, -7), pst(n, -7), antC(n, -7), pstC(n, -7);
  const auto* random = CAnteriorSegmentModule::DefaultRandomValues();
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(SimpleParameters(s));
  facade.SegmentCornea(s.volume.data(), s.numBscans, s.W, s.L, random, 65536, buffer.data(),
                       ant.data(), pst.data(), antC.data(), pstC.data());
  double antErr = 0, pstErr = 0;
  int confident = 0;
  for (int b = 0; b < s.numBscans; ++b)
    for (int i = 0; i < s.W; ++i) {
      antErr = std::max(antErr, std::fabs(ant[b * s.W + i] - s.Anterior(i)));
      pstErr = std::max(pstErr, std::fabs(pst[b * s.W + i] - s.Posterior(i)));
      confident += antC[b * s.W + i] == 1.0f;
    }
  EXPECT_LT(antErr, kSurfaceTolerancePx);
  EXPECT_LT(pstErr, kSurfaceTolerancePx);
  EXPECT_GT(confident, n * 9 / 10);

  // Repeatable: the same random array gives bit-identical outputs.
  std::vector<float> ant2(n, -7), pst2(n, -7), antC2(n, -7), pstC2(n, -7);
  facade.SegmentCornea(s.volume.data(), s.numBscans, s.W, s.L, random, 65536, buffer.data(),
                       ant2.data(), pst2.data(), antC2.data(), pstC2.data());
  EXPECT_EQ(ant, ant2);
  EXPECT_EQ(pst, pst2);
  EXPECT_EQ(antC, antC2);
  EXPECT_EQ(pstC, pstC2);

  // Each surface alone: the anterior-only call gives the same anterior surface; the posterior-only
  // call finds the posterior surface from its own template.
  std::vector<float> alone(n, -7), aloneC(n, -7);
  facade.SegmentAnterior(s.volume.data(), s.numBscans, s.W, s.L, random, 65536, buffer.data(),
                         alone.data(), aloneC.data());
  EXPECT_EQ(alone, ant);
  facade.SegmentPosterior(s.volume.data(), s.numBscans, s.W, s.L, random, 65536, buffer.data(),
                          alone.data(), aloneC.data());
  for (int i = 0; i < n; ++i) ASSERT_NEAR(alone[i], s.Posterior(i % s.W), kSurfaceTolerancePx);
}

TEST(CorneaPipeline, AxialSubsampleTwoReportsFullDepthPositions) {
  SimpleScan s;
  const int n = s.numBscans * s.W;
  std::vector<std::uint8_t> buffer(s.volume.size());
  std::vector<float> ant(n, -7), pst(n, -7);
  CorneaSegParameter p = SimpleParameters(s);
  p.axialSubsample = 2;
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(p);
  facade.SegmentCornea(s.volume.data(), s.numBscans, s.W, s.L,
                       CAnteriorSegmentModule::DefaultRandomValues(), 65536, buffer.data(),
                       ant.data(), pst.data(), nullptr, nullptr);
  for (int i = 0; i < n; ++i) {
    ASSERT_NEAR(ant[i], s.Anterior(i % s.W), 2 * kSurfaceTolerancePx);
    ASSERT_NEAR(pst[i], s.Posterior(i % s.W), 2 * kSurfaceTolerancePx);
  }
}

TEST(CorneaPipeline, HighDefinitionCallSegmentsOnlyTheFirstBscan) {
  SimpleScan s;
  const int n = s.numBscans * s.W;
  std::vector<std::uint8_t> buffer(s.volume.size());
  std::vector<float> ant(n, -7), pst(n, -7);
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(SimpleParameters(s));
  facade.SegmentHDCornea(s.volume.data(), s.numBscans, s.W, s.L,
                         CAnteriorSegmentModule::DefaultRandomValues(), 65536, buffer.data(),
                         ant.data(), pst.data());
  for (int i = 0; i < s.W; ++i) {
    ASSERT_NEAR(ant[i], s.Anterior(i), kSurfaceTolerancePx);
    ASSERT_NEAR(pst[i], s.Posterior(i), kSurfaceTolerancePx);
    ASSERT_EQ(ant[s.W + i], -7.0f);
  }
}

TEST(CorneaPipeline, NothingCorrelatesSoEveryRowKeepsTheCallersValues) {
  SimpleScan s;
  std::fill(s.volume.begin(), s.volume.end(), std::uint8_t{0});
  const int n = s.numBscans * s.W;
  std::vector<std::uint8_t> buffer(s.volume.size());
  std::vector<float> ant(n, -7), pst(n, -7), antC(n, 0.9f), pstC(n, 0.9f);
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(SimpleParameters(s));
  facade.SegmentCornea(s.volume.data(), s.numBscans, s.W, s.L,
                       CAnteriorSegmentModule::DefaultRandomValues(), 65536, buffer.data(),
                       ant.data(), pst.data(), antC.data(), pstC.data());
  EXPECT_EQ(ant, std::vector<float>(n, -7));
  EXPECT_EQ(pst, std::vector<float>(n, -7));
  // Only the thresholding and the marks act on the caller's values: -7 lies above the top.
  EXPECT_EQ(antC, std::vector<float>(n, -3.0f));
}

TEST(CorneaPipeline, AbandonedRowsKeepTheCallersConfidencesThroughTheThresholdAndMedianOf11) {
  SimpleScan s;
  std::fill(s.volume.begin(), s.volume.end(), std::uint8_t{0});
  const int W = s.W;
  // One B-scan, anterior only (no marks): 0.9 everywhere but runs of 5 and 6 A-scans at 0.1.
  std::vector<float> conf(W, 0.9f), ant(W, -7);
  for (int i = 100; i < 105; ++i) conf[i] = 0.1f;
  for (int i = 300; i < 306; ++i) conf[i] = 0.1f;
  std::vector<std::uint8_t> buffer(size_t(W) * s.L);
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(SimpleParameters(s));
  facade.SegmentAnterior(s.volume.data(), 1, W, s.L, CAnteriorSegmentModule::DefaultRandomValues(),
                         65536, buffer.data(), ant.data(), conf.data());
  // Reference: threshold at anteriorConfidenceThreshold, then a centred running median of 11
  // (the runs lie far from the row's ends).
  std::vector<float> thresholded(W), expected(W);
  for (int i = 0; i < W; ++i)
    thresholded[i] = (i >= 100 && i < 105) || (i >= 300 && i < 306) ? -1 : 1;
  for (int i = 5; i < W - 5; ++i) {
    std::vector<float> window(thresholded.begin() + i - 5, thresholded.begin() + i + 6);
    std::nth_element(window.begin(), window.begin() + 5, window.end());
    expected[i] = window[5];
  }
  for (int i = 5; i < W - 5; ++i) ASSERT_EQ(conf[i], expected[i]) << i;
  EXPECT_EQ(conf[102], 1.0f);   // a run of 5 is removed
  EXPECT_EQ(conf[302], -1.0f);  // a run of 6 keeps its middle
}

TEST(CorneaPipeline, PeakOptionPutsTheAnteriorSurfaceOnTheMiddleOfItsSaturatedReflection) {
  SimpleScan s;  // reflection: 3 samples of 110 from the anterior depth down
  for (auto& v : s.volume) v = std::min<int>(v, 200);
  const int n = s.numBscans * s.W;
  std::vector<std::uint8_t> buffer(s.volume.size());
  std::vector<float> edge(n, -1), peak(n, -1);
  for (bool refine : {false, true}) {
    CorneaSegParameter p = SimpleParameters(s);
    p.refineToReflectionPeaks = refine;
    CCorneaSegmentationAlgorithm facade;
    facade.Initialize(p);
    facade.SegmentAnterior(s.volume.data(), s.numBscans, s.W, s.L,
                           CAnteriorSegmentModule::DefaultRandomValues(), 65536, buffer.data(),
                           (refine ? peak : edge).data(), nullptr);
  }
  double edgeError = 0, peakError = 0;
  for (int i = 0; i < n; ++i) {
    const double centre = std::ceil(s.Anterior(i % s.W)) + 1.0;  // samples ceil(A) .. ceil(A) + 2
    edgeError += std::fabs(edge[i] - centre) / n;
    peakError += std::fabs(peak[i] - centre) / n;
  }
  EXPECT_LT(peakError, 0.6);
  EXPECT_GT(edgeError, peakError + 0.3);
}

TEST(CorneaPipeline, RefusesMissingInputsAndImpossibleSettingsWithExactMessages) {
  SimpleScan s;
  const int n = s.numBscans * s.W;
  std::vector<std::uint8_t> buffer(s.volume.size());
  std::vector<float> ant(n, -7);
  const int* random = CAnteriorSegmentModule::DefaultRandomValues();
  CCorneaSegmentationAlgorithm facade;
  auto message = [&](auto call) {
    try {
      call();
    } catch (const AlgorithmException& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  auto anterior = [&](const std::uint8_t* volume, std::uint8_t* buf, const int* rv) {
    return [=, &facade, &ant] {
      facade.SegmentAnterior(volume, s.numBscans, s.W, s.L, rv, 65536, buf, ant.data(), ant.data());
    };
  };
  EXPECT_EQ(message(anterior(s.volume.data(), buffer.data(), random)),
            "CCorneaSegmentationAlgorithm::SegmentCornea: parameter initialization is missing.");
  EXPECT_EQ(ant, std::vector<float>(n, -7));
  CorneaSegParameter p = SimpleParameters(s);
  facade.Initialize(p);
  EXPECT_EQ(message(anterior(nullptr, buffer.data(), random)), "Input SD-OCT volume is NULL.");
  EXPECT_EQ(message(anterior(s.volume.data(), nullptr, random)),
            "Input SD-OCT volume buffer is NULL.");
  EXPECT_EQ(message(anterior(s.volume.data(), buffer.data(), nullptr)), "SetRandomArray() failed.");
  p.bsplineWavelength = 1.5f;  // longer than the layer: the smoothing spline refuses
  facade.Initialize(p);
  EXPECT_EQ(message(anterior(s.volume.data(), buffer.data(), random)),
            "TalvexAlgorithm: bspline() failed.");
  facade.Initialize(CorneaSegParameter());  // all zero: would divide by zero
  EXPECT_EQ(message(anterior(s.volume.data(), buffer.data(), random)),
            "CorneaSegParameter.lateralSubsample out of range: allowed 1 to 64.");
}

TEST(CorneaPipeline, WorkingWidthLimitAndTemplateLengthAreExactBoundaries) {
  CorneaSegParameter p = CorneaSegPresetRadial1024();
  p.lateralSubsample = 1, p.depthMicron = 2000;  // 20 um per sample
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(p);
  const int* random = CAnteriorSegmentModule::DefaultRandomValues();
  const auto run = [&](int W, int L) {
    std::vector<std::uint8_t> volume(std::size_t(W) * L + 1, 40), buffer(volume.size());
    std::vector<float> layer(W + 1, -1);
    facade.SegmentAnterior(volume.data(), 1, W, L, random, 65536, buffer.data(), layer.data(),
                           nullptr);
  };
  EXPECT_NO_THROW(run(2048, 101));  // 2048 working A-scans are accepted
  try {
    run(2049, 101);
    ADD_FAILURE();
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "Working B-scan width exceeds 2048 A-scans.");
  }
  // A working A-scan no longer than the 100-sample template gives no candidate at all.
  run(64, 100);
  EXPECT_EQ(facade.LastBscanOutcomes()[0], CorneaBscanOutcome::NoCandidates);
  EXPECT_NO_THROW(run(0, 100));  // an empty B-scan is nothing to do
}

TEST(CorneaPipeline, TinyOrOddScansGiveAFixedRefusalOrAnOutcomeNeverACrash) {
  // Run under the sanitizers in CI: scans smaller than the kernels, the bands and the templates.
  CCorneaSegmentationAlgorithm facade;
  facade.Initialize(CorneaSegPresetRadial1024());
  const int* random = CAnteriorSegmentModule::DefaultRandomValues();
  struct Case {
    int W, L;
    const char* message;         // the refusal, or null
    CorneaBscanOutcome outcome;  // otherwise the outcome of the B-scan
  };
  const Case cases[] = {
      {1,
       1,
       "CorneaSegParameter.layerOffset out of range: A-scans of 1 samples hold no anterior "
       "band.",
       {}},
      {2,
       7,
       "CorneaSegParameter.layerOffset out of range: allowed 329 to 657 um for A-scans of 7 "
       "samples.",
       {}},
      {3, 64, "TalvexAlgorithm: BilateralFilter::filterBilateral() failed.", {}},
      {64, 11, nullptr, CorneaBscanOutcome::NoCandidates},
      {40, 130, nullptr, CorneaBscanOutcome::NoCorneaEvidence},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.L));
    std::vector<std::uint8_t> volume(c.W * c.L), buffer(c.W * c.L);
    for (int i = 0; i < c.W * c.L; ++i) volume[i] = static_cast<std::uint8_t>((i * 97) % 256);
    std::vector<float> ant(c.W, -1), pst(c.W, -1), antC(c.W), pstC(c.W);
    try {
      facade.SegmentCornea(volume.data(), 1, c.W, c.L, random, 65536, buffer.data(), ant.data(),
                           pst.data(), antC.data(), pstC.data());
      EXPECT_EQ(c.message, nullptr);
      ASSERT_EQ(facade.LastBscanOutcomes().size(), 1u);
      EXPECT_EQ(facade.LastBscanOutcomes()[0], c.outcome);
      for (float v : antC) EXPECT_EQ(v, -1.0f);  // never a confident surface in a stripe pattern
    } catch (const AlgorithmException& e) {
      ASSERT_NE(c.message, nullptr) << e.what();
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

}  // namespace

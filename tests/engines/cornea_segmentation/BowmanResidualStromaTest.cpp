// Bowman layer on a known step and the residual stroma against closed-form offset curves, with the
// exact messages of both facade operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tests/support/MessageOf.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;

using Talvex::Testing::MessageOf;

// W A-scans of 1024 samples with a faint step as Bowman's layer makes it: 10 grey levels up at
// depth step - 0.5, blurred by an axial point-spread function of 1.2 samples (strong steps
// saturate the cost image, whose upsampling then rings).
std::vector<std::uint8_t> StepBscan(int W, int step) {
  std::vector<std::uint8_t> v(W * 1024);
  for (int i = 0; i < W; ++i) {
    for (int z = 0; z < 1024; ++z) {
      const double level = 60.0 + 5.0 * (1.0 + std::erf((z - step + 0.5) / (1.2 * std::sqrt(2.0))));
      v[i * 1024 + z] = static_cast<std::uint8_t>(level + 0.5);
    }
  }
  return v;
}

TEST(SegmentBowman, FindsADarkToBrightStepWithinTheHundredMicronBand) {
  // depthMicron 2300 over 1024 samples: the band is (int)(102400 / 2300) = 44 samples starting
  // 15 below the anterior surface at 100, so it covers depths 115 .. 158.
  CCorneaSegmentationAlgorithm segmentation;
  segmentation.Initialize(CorneaSegPresetRadial1024());
  const int W = 64;
  std::vector<float> anterior(W, 100.0f), bowman(W, -5.0f), confidence(W, -5.0f);
  for (int step : {130, 155}) {
    const auto bscan = StepBscan(W, step);
    segmentation.SegmentBowman(bscan.data(), 1, W, 1024, anterior.data(), bowman.data(),
                               confidence.data());
    for (int i = 0; i < W; ++i) {
      // The step lies between samples step - 1 and step.
      EXPECT_NEAR(bowman[i], step - 0.5, 0.1) << step << " " << i;
      EXPECT_EQ(confidence[i], 1.0f);
    }
  }
  const auto beyond = StepBscan(W, 170);
  segmentation.SegmentBowman(beyond.data(), 1, W, 1024, anterior.data(), bowman.data(),
                             confidence.data());
  for (int i = 0; i < W; ++i) EXPECT_LT(bowman[i], 159.0f) << i;
}

TEST(SegmentBowman, ReportsMissingInitialisationAndNullArraysVerbatim) {
  CCorneaSegmentationAlgorithm segmentation;
  std::vector<std::uint8_t> volume(16 * 1024, 50);
  std::vector<float> ant(16, 100.0f), bow(16, 7.0f), conf(16, 7.0f);
  auto run = [&](const std::uint8_t* v, const float* a, float* b, float* c) {
    return MessageOf([&] { segmentation.SegmentBowman(v, 1, 16, 1024, a, b, c); });
  };
  EXPECT_EQ(run(volume.data(), ant.data(), bow.data(), conf.data()),
            "CCorneaSegmentationAlgorithm::SegmentCornea: parameter initialization is missing.");
  EXPECT_EQ(bow[0], 7.0f);
  segmentation.Initialize(CorneaSegPresetRadial1024());
  EXPECT_EQ(run(nullptr, ant.data(), bow.data(), conf.data()), "Input SD-OCT volume is NULL.");
  EXPECT_EQ(run(volume.data(), nullptr, bow.data(), conf.data()), "Input anterior layers is NULL.");
  EXPECT_EQ(run(volume.data(), ant.data(), nullptr, conf.data()), "Output bowman layers is NULL.");
  EXPECT_EQ(run(volume.data(), ant.data(), bow.data(), nullptr),
            "Output confidence bowman layers is NULL.");
}

// ---- Residual stroma on a B-scan 8 mm wide and 2.3 mm deep in 1024 x 1024 samples.
constexpr int kW = 1024, kL = 1024, kDepthUm = 2300, kWidthUm = 8000;

double ToSamples(double um) { return um / kDepthUm * kL; }

// A circular anterior surface of radius r um with its apex 500 um deep (centre at 500 + r).
double CircleUm(double r, double centre, double p) { return centre - std::sqrt(r * r - p * p); }

// The facade's result for a layer of in.size() A-scans over 8 mm.
std::vector<float> Offset(const std::vector<float>& in, float offsetUm) {
  std::vector<float> out(in.size(), -7.0f);
  CCorneaSegmentationAlgorithm segmentation;  // needs no Initialize
  segmentation.ResidualStroma(in.data(), static_cast<int>(in.size()), kL, kDepthUm, kWidthUm,
                              offsetUm, out.data());
  return out;
}

TEST(ResidualStroma, AFlatLayerMovesByTheOffsetTowardTheTop) {
  const std::vector<float> flat(kW, 300.0f);
  const auto out = Offset(flat, 100.0f);
  for (int i = 0; i < kW; ++i) EXPECT_NEAR(out[i], 300.0 - ToSamples(100.0), 1e-3) << i;
  const auto same = Offset(flat, 0.0f);
  for (int i = 0; i < kW; ++i) EXPECT_NEAR(same[i], 300.0f, 1e-3) << i;
}

// Each moved point is binned to the A-scan at or below its lateral position, an error of up to
// one A-scan along the curve: slope x lateral pitch / axial pitch samples (about 1.3 samples at
// 3 mm from the apex with 1024 A-scans over 8 mm, half that with 2048).
TEST(ResidualStroma, ACircleBecomesTheConcentricCircleWithinOneSample) {
  const double r = 7700.0, centre = 500.0 + r;
  struct Case {
    int width;
    double halfSpanUm;
  };
  for (const Case k : {Case{1024, 2000.0}, Case{2048, 3000.0}}) {
    const int W = k.width;
    auto lateral = [&](int i) { return (-1.0 + 2.0 * i / (W - 1)) * kWidthUm / 2; };
    std::vector<float> layer(W);
    for (int i = 0; i < W; ++i)
      layer[i] = static_cast<float>(ToSamples(CircleUm(r, centre, lateral(i))));
    for (float offset : {0.0f, 120.0f, -450.0f}) {
      std::vector<float> out(W);
      CCorneaSegmentationAlgorithm().ResidualStroma(layer.data(), W, kL, kDepthUm, kWidthUm, offset,
                                                    out.data());
      double worst = 0.0;
      for (int i = 0; i < W; ++i) {
        if (std::fabs(lateral(i)) > k.halfSpanUm) continue;
        const double expected = ToSamples(CircleUm(r + offset, centre, lateral(i)));
        worst = std::max(worst, std::fabs(out[i] - expected));
      }
      EXPECT_LE(worst, offset == 0.0f ? 1e-3 : 1.0) << W << " " << offset;
    }
  }
}

TEST(ResidualStroma, GapsAreFilledForTheCurveAndMarkedAgainInTheResult) {
  std::vector<float> layer(kW, 400.0f);
  for (int i : {0, 1, 2, 500, 501, 502, 1023}) layer[i] = -1.0f;
  const auto out = Offset(layer, 100.0f);
  for (int i = 0; i < kW; ++i) {
    if (layer[i] == -1.0f)
      EXPECT_EQ(out[i], -1.0f) << i;
    else
      EXPECT_NEAR(out[i], 400.0 - ToSamples(100.0), 1e-3) << i;
  }
  EXPECT_EQ(layer[500], -1.0f);  // the caller's layer is left as it was
}

TEST(ResidualStroma, ReportsNullLayersAndTheWidthLimitVerbatim) {
  CCorneaSegmentationAlgorithm segmentation;
  std::vector<float> in(4097, 300.0f), out(4097, 0.0f);
  auto run = [&](const float* i, int width, float* o) {
    return MessageOf(
        [&] { segmentation.ResidualStroma(i, width, kL, kDepthUm, kWidthUm, 50.0f, o); });
  };
  EXPECT_EQ(run(nullptr, 16, out.data()), "ResidualStroma: input layer is NULL.");
  EXPECT_EQ(run(in.data(), 16, nullptr), "ResidualStroma: output layer is NULL.");
  EXPECT_EQ(run(in.data(), 4097, out.data()),
            "ResidualStroma: max layer length must be smaller than 2049.");
  EXPECT_EQ(run(in.data(), 4096, out.data()), "no exception");
  std::vector<float> gaps(16, -1.0f);
  EXPECT_EQ(run(gaps.data(), 16, out.data()), "TalvexAlgorithm: cspline() failed.");
}

}  // namespace

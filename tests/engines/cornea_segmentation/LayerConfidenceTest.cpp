#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CCorneaSegmentation;
using Bytes = std::vector<std::uint8_t>;
using Floats = std::vector<float>;

struct Engine : CCorneaSegmentation {
  Engine() {
    ransacMinNumPoints = 3, ransacDistThresh = 2.0f, ransacProbability = 0.99f;
    ransacMaxDataTrials = 100, ransacMaxTrials = 1000, depthMicron = 400;
    gaussXsigma = 1.5f, gaussXsize = 5, gaussYsigma = 1.5f, gaussYsize = 7;
  }
};

double Parabola(double x) { return 4e-3 * (x - 150) * (x - 150) + 100; }

template <typename F>
void ExpectMessage(F call, const char* text) {
  try {
    call();
    ADD_FAILURE() << "no exception";
  } catch (const AlgorithmException& ex) {
    EXPECT_STREQ(ex.what(), text);
  }
}

TEST(FitPoints, ReplacesCandidatesWithOutliersAndGapsByTheRobustParabola) {
  Engine e;
  const int n = 300;
  std::mt19937 rng(7);
  std::vector<double> x(n), y(n), coeff(3);
  std::vector<int> inl(n);
  for (int i = 0; i < n; ++i) {
    x[i] = i;
    y[i] = Parabola(i) + (rng() % 100) / 100.0 - 0.5;
    if (i % 7 == 3) y[i] = 0.0;                    // no candidate
    if (i % 5 == 1) y[i] += i % 2 ? 45.0 : -40.0;  // outlier
  }
  int nin = 0;
  e.FitPoints(x.data(), y.data(), n, 2, inl.data(), nin, coeff.data());
  EXPECT_GT(nin, n / 2);
  EXPECT_LT(nin, n);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(y[i], Parabola(i), 0.3) << i;
}

TEST(FitPoints, AbandonsWithTooFewCandidatesAndKeepsAFullConsensusRaw) {
  Engine e;
  e.ransacMinNumPoints = 8;  // 15 candidates on a parabola are one too few, 16 enough
  const int n = 100;
  std::vector<double> x(n), y(n, 0.0), all(n), coeff(3);
  std::vector<int> inl(n);
  for (int i = 0; i < n; ++i) x[i] = i, all[i] = Parabola(i) + (i % 3) * 0.1;
  for (int c = 0; c < 15; ++c) y[c * 6] = Parabola(c * 6);
  std::vector<double> few = y, allBefore = all;
  int nin = -1;
  e.FitPoints(x.data(), few.data(), n, 2, inl.data(), nin, coeff.data());
  EXPECT_EQ(nin, 0);
  EXPECT_EQ(few, y);
  y[90] = Parabola(90);
  e.FitPoints(x.data(), y.data(), n, 2, inl.data(), nin, coeff.data());
  EXPECT_EQ(nin, 16);  // the gaps are tested, fail, and receive the curve
  for (int i = 0; i < n; ++i) EXPECT_NEAR(y[i], Parabola(i), 1e-6);
  // Every point agrees: the noisy candidates stay as they are.
  e.FitPoints(x.data(), all.data(), n, 2, inl.data(), nin, coeff.data());
  EXPECT_EQ(nin, n);
  EXPECT_EQ(all, allBefore);
}

TEST(AdjustToPick, MovesDownByZeroToSixSamplesOntoTheFirstBrightest) {
  Engine e;
  const int len = 40;
  Bytes im(5 * len, 10);
  im[2] = im[10] = 255, im[9] = 100, im[6] = 100;   // 3.9: window 3 .. 9, first max 6
  im[len + len - 1] = 255, im[len + len - 8] = 90;  // 38: window 32 .. 38
  im[3 * len + 7] = 255, im[3 * len + 6] = 30;      // -0.7 truncates to 0: window 0 .. 6
  Floats l = {3.9f, len - 2.0f, -1.0f, -0.7f, NAN};
  e.AdjustToPick(im.data(), 5, len, l.data());
  EXPECT_EQ(Floats(l.begin(), l.end() - 1), (Floats{6.0f, len - 8.0f, -1.0f, 6.0f}));
  EXPECT_TRUE(std::isnan(l[4]));  // no depth to start from: left alone
  Bytes tiny = {1, 1, 1, 1, 9};   // shorter than the window: stays inside the A-scan
  e.AdjustToPick(tiny.data(), 1, 5, l.data());
  EXPECT_EQ(l[0], 4.0f);
}

// A-scans dark above depth 100 and bright below it (or the reverse).
Bytes Step(int rows, int len, bool darkToBright) {
  Bytes im(rows * len);
  for (int i = 0; i < rows * len; ++i) im[i] = ((i % len) >= 100) == darkToBright ? 200 : 20;
  return im;
}

TEST(ComputeConfidence, NearOneOnTheExpectedEdgeAndLowOnTheOpposite) {
  Engine e;
  const int rows = 30, len = 200;
  Floats layer(rows, 99.5f), conf(rows);
  for (int which : {1, 0}) {
    for (bool up : {true, false}) {
      e.ComputeConfidence(Step(rows, len, up).data(), rows, len, layer.data(), which, conf.data());
      const bool expected = up == (which == 1);  // dark-to-bright is the anterior polarity
      for (float c : conf) EXPECT_TRUE(expected ? c > 0.95f : c < 0.05f) << which << " " << c;
    }
  }
  // Depths near, beyond or outside the A-scan never read past it; the values stay in [0, 1].
  Floats odd = {NAN, 1e30f, -1.0f, len - 1.0f, len - 3.0f, -1e30f};
  Bytes im = Step(6, len, true);
  e.ComputeConfidence(im.data(), 6, len, odd.data(), 1, conf.data());
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(conf[i] >= 0.0f && conf[i] <= 1.0f) << i;
}

TEST(LayerConfidenceProcessing, ClosesInnerGapsAndAppliesTheFiftyAScanRule) {
  Engine e;
  Floats a = {1, -1, -1, 1, 1, 1, 1}, b = {-1, 1, -1, -1, 1, 1, 1};
  e.LayerConfidenceProcessing(a.data(), 7);
  e.LayerConfidenceProcessing(b.data(), 7);
  EXPECT_EQ(a, (Floats{1, -1, -1, 1, 1, 1, 1}));  // the gap's neighbour is index 0
  EXPECT_EQ(b, (Floats{-1, 1, 1, 1, 1, 1, 1}));
  // h - 50 = 0 leaves index 0 alone; from h - 50 = 1 on, it joins the unreliable run.
  for (int len : {101, 103}) {
    Floats r(len, 1.0f);
    r[1] = r[2] = r[len - 2] = -1.0f;
    e.LayerConfidenceProcessing(r.data(), len);
    EXPECT_EQ(r[0], len == 101 ? 1.0f : -1.0f);
    EXPECT_EQ(r[len - 2], -1.0f);
    EXPECT_EQ(r[len - 1], len == 101 ? 1.0f : -1.0f);
  }
  Floats r(201, 1.0f);  // h = 100
  for (int i : {30, 31, 80, 81, 82, 120, 170, 197, 198, 199}) r[i] = -1.0f;
  for (int i = 0; i < 8; ++i) r[i] = -1.0f;  // reaches index 0: kept
  e.LayerConfidenceProcessing(r.data(), 201);
  for (int i = 0; i < 201; ++i) EXPECT_EQ(r[i], i < 8 || i >= 197 ? -1.0f : 1.0f) << i;
}

TEST(NormalizedCC, MatchesPearsonInDoublePrecision) {
  Engine e;
  std::mt19937 rng(11);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  const int n = 1000;
  Floats f1(n), f2(n), neg(n);
  for (int i = 0; i < n; ++i)
    f1[i] = 50 + 10 * noise(rng), f2[i] = 0.3f * f1[i] + noise(rng), neg[i] = 7 - 2 * f1[i];
  double m1 = 0, m2 = 0, s11 = 0, s22 = 0, s12 = 0;
  for (int i = 0; i < n; ++i) m1 += f1[i] / double(n), m2 += f2[i] / double(n);
  for (int i = 0; i < n; ++i)
    s11 += (f1[i] - m1) * (f1[i] - m1), s22 += (f2[i] - m2) * (f2[i] - m2),
        s12 += (f1[i] - m1) * (f2[i] - m2);
  const double kSinglePrecisionSum = 2e-5;
  EXPECT_NEAR(e.NormalizedCC(f1.data(), f2.data(), n), s12 / std::sqrt(s11 * s22),
              kSinglePrecisionSum);
  EXPECT_NEAR(e.NormalizedCC(f1.data(), neg.data(), n), -1.0, kSinglePrecisionSum);
  ExpectMessage([&] { e.NormalizedCC(f1.data(), f2.data(), 1); },
                "IPP: ippsMeanStdDev_32f() failed.");
}

// A bright streak of Gaussian lateral profile (centre c, width sigma) above a surface at depth
// 160 in 300 A-scans of 256 samples; the tissue below the surface is bright everywhere.
Bytes Streak(double c, double sigma) {
  Bytes im(300 * 256);
  for (int i = 0; i < 300; ++i)
    for (int z = 0; z < 256; ++z)
      im[i * 256 + z] = z >= 160 ? 150 : 10 + 180 * std::exp(-0.5 * std::pow((i - c) / sigma, 2));
  return im;
}

TEST(DetectSpecularReflection, FindsAGaussianStreakAboveTheSurfaceAndNothingInAFlatImage) {
  Engine e;
  const Floats layer(300, 160.0f);
  // The 5 x 5 maximum and the 5-tap box widen the streak's profile by up to about 1.4 A-scans.
  const double kWidening = 3.5;
  // (centre, width) of a streak; width 0 is a flat image (grey level = centre).
  for (auto [c, sigma] :
       {std::pair{140.0, 4.0}, {60.0, 6.0}, {230.0, 9.0}, {0.0, 0.0}, {40.0, 0.0}}) {
    Bytes im = sigma > 0 ? Streak(c, sigma) : Bytes(300 * 256, c), maxim(im.size(), 0);
    int xPos = 0, xOffset = 0;
    e.DetectSpecularReflection(im.data(), 300, 256, maxim.data(), layer.data(), 0.5f, xPos,
                               xOffset);
    EXPECT_EQ(xPos, sigma > 0 ? c : -1);
    EXPECT_GE(xOffset, sigma > 0 ? 2.5 * sigma - 1.0 : -1);
    EXPECT_LE(xOffset, sigma > 0 ? 2.5 * sigma + kWidening : -1);
  }
}

// B-scan b, A-scan i, sample z holds 100 b + 10 i + z; layer row b holds 10 b + i.
TEST(ReorderBscansLayers, MirrorsBscansFacingBackAndSortsTheMeridians) {
  Engine e;
  const int nb = 3, w = 4, len = 3;
  for (bool bowman : {false, true}) {
    Bytes vol(nb * w * len);
    std::vector<Floats> rows(6, Floats(nb * w));
    for (int b = 0; b < nb; ++b)
      for (int i = 0; i < w; ++i) {
        for (int z = 0; z < len; ++z) vol[(b * w + i) * len + z] = 100 * b + 10 * i + z;
        for (auto& r : rows) r[b * w + i] = 10 * b + i;
      }
    Floats angles = {0, 90, 200};
    std::vector<int> order(nb);
    if (bowman)
      e.ReorderBscansLayers(vol.data(), nb, w, len, rows[0].data(), rows[1].data(), rows[2].data(),
                            rows[3].data(), rows[4].data(), rows[5].data(), angles.data(),
                            order.data());
    else  // the posterior layer is not given
      e.ReorderBscansLayers(vol.data(), nb, w, len, rows[0].data(), nullptr, rows[3].data(),
                            rows[4].data(), angles.data(), order.data());
    EXPECT_EQ(angles, (Floats{90, 160, 180}));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));
    for (int b = 0; b < nb; ++b)
      for (int i = 0; i < w; ++i) {
        const int from = b < 2 ? w - 1 - i : i;  // B-scans 0 and 1 flipped
        for (int z = 0; z < len; ++z)
          EXPECT_EQ(vol[(b * w + i) * len + z], 100 * b + 10 * from + z);
        for (int r = 0; r < 6; ++r) {
          const bool given = bowman || r == 0 || r == 3 || r == 4;
          EXPECT_EQ(rows[r][b * w + i], 10 * b + (given ? from : i)) << r;
        }
      }
  }
  Floats many(2049, 0.0f);
  std::vector<int> order(2049);
  ExpectMessage(
      [&] {
        e.ReorderBscansLayers(nullptr, 2049, 1, 1, nullptr, nullptr, nullptr, nullptr, many.data(),
                              order.data());
      },
      "Number of B-scans exceeds 2048.");
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/CAnteriorSegmentModule.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;

// Opens the samplers and the exclusion flags to the tests.
class FitEngine : public CAnteriorSegmentModule {
 public:
  using CAnteriorSegmentModule::m_excludeFlags;
  using CAnteriorSegmentModule::polyrandsample;
  using CAnteriorSegmentModule::quadrandsample;
};

// Uniform in [lo, hi) from the raw 32-bit output (identical on every platform).
double Uniform(std::mt19937& rng, double lo, double hi) {
  return lo + (hi - lo) * (rng() / 4294967296.0);
}

std::vector<int> RandomArray(unsigned seed, int n) {
  std::mt19937 rng(seed);
  std::vector<int> v(n);
  for (int& x : v) x = static_cast<int>(rng() >> 1);
  return v;
}

// Moves every point i with i % 10 < 3 (30 %) between minOff and maxOff away, up or down.
int AddOutliers(std::vector<float>& v, double minOff, double maxOff, std::mt19937& rng) {
  int outliers = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if ((i * 7) % 10 < 3) {
      v[i] += static_cast<float>((rng() & 1 ? 1 : -1) * Uniform(rng, minOff, maxOff));
      ++outliers;
    }
  return outliers;
}

// Largest |a[i] / norm - b[i] / norm| with norm the largest |b|.
double RelativeCoefficientError(const float* a, const std::vector<double>& b) {
  double norm = 0, err = 0;
  for (double v : b) norm = std::max(norm, std::fabs(v));
  for (size_t i = 0; i < b.size(); ++i) err = std::max(err, std::fabs(a[i] - b[i]) / norm);
  return err;
}

constexpr float kProbability = 0.99f;
constexpr int kMaxDataTrials = 100, kMaxTrials = 1000;

TEST(RobustParabola, RecoversASurfaceProfileFromThirtyPercentOutliers) {
  // A-scans 0..511, depth 0.002 x^2 - x + 300; inliers within 0.3 px, outliers 8..150 px off.
  const int n = 512;
  std::mt19937 rng(11);
  std::vector<float> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = float(i);
    y[i] = float(0.002 * i * i - i + 300 + Uniform(rng, -0.3, 0.3));
  }
  const int outliers = AddOutliers(y, 8, 150, rng);
  CAnteriorSegmentModule engine;  // draws from the default random array
  float c[3];
  int ninliers = -1;
  ASSERT_EQ(engine.ParabolaCoeff(x.data(), y.data(), n, 3, 1.0f, kProbability, kMaxDataTrials,
                                 kMaxTrials, c, ninliers),
            0);
  EXPECT_GE(ninliers, 0.9 * (n - outliers));
  EXPECT_LE(ninliers, n - outliers);
  constexpr double kProfileTolerancePx = 0.25;
  for (int i = 0; i < n; ++i)
    EXPECT_NEAR(c[0] * double(i) * i + c[1] * double(i) + c[2], 0.002 * i * i - i + 300,
                kProfileTolerancePx);
}

TEST(RobustConic, RecoversAnEllipticArcFromThirtyPercentOutliers) {
  // A-scans -240..240, upper arc of (x/300)^2 + ((y-50)/200)^2 = 1 (depths 170..250 px);
  // outliers 5..100 px off, threshold 1 px.
  const double a = 300, b = 200, y0 = 50;
  const int n = 481;
  std::vector<float> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = float(i - 240);
    y[i] = float(y0 + b * std::sqrt(1 - x[i] * x[i] / (a * a)));
  }
  std::mt19937 rng(5);
  const int outliers = AddOutliers(y, 5, 100, rng);
  const double k = 1 - y0 * y0 / (b * b);  // the constant term normalised to -1
  const std::vector<double> expected = {1 / (a * a * k),       0, 1 / (b * b * k), 0,
                                        -2 * y0 / (b * b * k), -1};
  CAnteriorSegmentModule engine;
  const std::vector<int> rv = RandomArray(3, 5000);
  engine.SetRandomArray(rv.data(), rv.size());
  float c[6];
  int ninliers = 0;
  ASSERT_EQ(engine.QuadraticCoeff(x.data(), y.data(), n, 5, 1.0f, kProbability, kMaxDataTrials,
                                  kMaxTrials, c, ninliers),
            0);
  EXPECT_EQ(ninliers, n - outliers);
  constexpr double kCoefficientTolerance = 1e-4;
  EXPECT_LT(RelativeCoefficientError(c, expected), kCoefficientTolerance);
}

TEST(RobustQuadric, RecoversAnEllipsoidSheetFromThirtyPercentOutliers) {
  // Lower sheet of x^2/64 + y^2/36 + (z-6)^2/16 = 1 (mm) over a 30 x 30 grid; outliers 0.5..5 mm
  // off, threshold 0.05 mm.
  const double a = 8, b = 6, cz = 4, z0 = 6;
  std::vector<float> x, y, z;
  for (int i = 0; i < 30; ++i)
    for (int j = 0; j < 30; ++j) {
      const double xi = -4.8 + 9.6 * i / 29, yj = -3.6 + 7.2 * j / 29;
      x.push_back(float(xi));
      y.push_back(float(yj));
      z.push_back(float(z0 - cz * std::sqrt(1 - xi * xi / (a * a) - yj * yj / (b * b))));
    }
  std::mt19937 rng(9);
  const int n = static_cast<int>(x.size()), outliers = AddOutliers(z, 0.5, 5, rng);
  const double k = 1 - z0 * z0 / (cz * cz);
  const std::vector<double> expected = {1 / (a * a * k),
                                        1 / (b * b * k),
                                        1 / (cz * cz * k),
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        -2 * z0 / (cz * cz * k),
                                        -1};
  CAnteriorSegmentModule engine;
  const std::vector<int> rv = RandomArray(4, 5000);
  engine.SetRandomArray(rv.data(), rv.size());
  float c[10];
  int ninliers = 0;
  ASSERT_EQ(engine.QuadricCoeff(x.data(), y.data(), z.data(), n, 9, 0.05f, kProbability,
                                kMaxDataTrials, kMaxTrials, c, ninliers),
            0);
  EXPECT_EQ(ninliers, n - outliers);
  constexpr double kCoefficientTolerance = 1e-4;
  EXPECT_LT(RelativeCoefficientError(c, expected), kCoefficientTolerance);
}

TEST(RobustParabola, IsRepeatableForOneRandomArrayAndVariesWithAnother) {
  // Noise of +-1.5 px against a 1 px threshold: each consensus set depends on the samples drawn.
  const int n = 400;
  std::mt19937 rng(21);
  std::vector<float> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = float(i);
    y[i] = float(-0.001 * i * i + 0.5 * i + 40 + Uniform(rng, -1.5, 1.5));
  }
  AddOutliers(y, 10, 80, rng);
  const std::vector<int> rvA = RandomArray(1, 3000), rvB = RandomArray(2, 3000);
  CAnteriorSegmentModule engine;
  auto run = [&](const std::vector<int>& rv, std::vector<int>& inliers, float* c) {
    engine.SetRandomArray(rv.data(), rv.size());
    int count = 0;
    inliers.assign(n, 0);
    EXPECT_EQ(engine.ransacpoly(x.data(), y.data(), n, 2, 3, 1.0f, kProbability, kMaxDataTrials,
                                kMaxTrials, inliers.data(), &count, c),
              0);
    inliers.resize(count);
  };
  std::vector<int> in1, in2, in3;
  float c1[3], c2[3], c3[3];
  run(rvA, in1, c1);
  run(rvA, in2, c2);
  run(rvB, in3, c3);
  EXPECT_EQ(in1, in2);
  EXPECT_EQ(0, std::memcmp(c1, c2, sizeof(c1)));
  EXPECT_NE(in1, in3);
  EXPECT_NE(0, std::memcmp(c1, c3, sizeof(c1)));
}

TEST(RobustSampler, NeverDrawsExcludedPointsButCountsThemAsInliers) {
  FitEngine engine;
  const int n = 100;
  for (int i = 0; i < n; i += 2) engine.m_excludeFlags[i] = 1;
  int sample[5];
  for (int trial = 0; trial < 200; ++trial) {
    ASSERT_EQ(engine.polyrandsample(n, 5, sample), 0);
    for (int j = 0; j < 5; ++j) {
      EXPECT_EQ(sample[j] % 2, 1);
      if (j > 0) {
        EXPECT_LT(sample[j - 1], sample[j]);  // distinct, ascending
      }
    }
    ASSERT_EQ(engine.quadrandsample(n, 5, sample), 0);
    EXPECT_TRUE(std::all_of(sample, sample + 5, [](int i) { return i % 2 == 1; }));
  }
  std::vector<double> x(n), y(n), c(3);
  for (int i = 0; i < n; ++i) y[i] = 0.02 * (x[i] = i) * i - 3 * i + 7;
  std::vector<int> inliers(n);
  int count = 0;
  ASSERT_EQ(engine.ransacpoly(x.data(), y.data(), n, 2, 3, 0.5, 0.99, 100, 1000, inliers.data(),
                              &count, c.data()),
            0);
  EXPECT_EQ(count, n);
}

TEST(RobustSampler, FailsInsteadOfHangingOnUnusableRandomValues) {
  FitEngine engine;
  int sample[3];
  const int constant[] = {4, 4, 4, 4};
  engine.SetRandomArray(constant, 4);
  EXPECT_EQ(engine.polyrandsample(50, 2, sample), -1);  // only ever reaches point 4
  const int negative[] = {3, -1, 5};
  engine.SetRandomArray(negative, 3);
  EXPECT_EQ(engine.polyrandsample(50, 3, sample), -1);
  engine.SetRandomArray(constant, 0);
  EXPECT_EQ(engine.polyrandsample(50, 1, sample), -1);
  engine.SetRandomArray(constant, 4);
  EXPECT_EQ(engine.polyrandsample(50, 0, sample), -1);
  EXPECT_EQ(engine.polyrandsample(2, 3, sample), -1);
  EXPECT_EQ(engine.polyrandsample(CAnteriorSegmentModule::kMaxFitPoints + 1, 2, sample), -1);
}

TEST(RobustSampler, CursorSkipsRepeatsWrapsAroundAndCarriesOver) {
  FitEngine engine;
  const int rv[] = {7, 17, 3};  // 17 mod 10 repeats 7
  engine.SetRandomArray(rv, 3);
  int sample[2];
  ASSERT_EQ(engine.polyrandsample(10, 2, sample), 0);
  EXPECT_EQ(sample[0], 3);
  EXPECT_EQ(sample[1], 7);
  ASSERT_EQ(engine.polyrandsample(10, 1, sample), 0);
  EXPECT_EQ(sample[0], 7);  // wrapped to the first value
}

TEST(RobustParabola, StopsAfterOneTrialWhenEveryPointFits) {
  const int n = 200;
  std::vector<double> x(n), y(n), c(3);
  for (int i = 0; i < n; ++i) y[i] = 0.01 * (x[i] = i) * i - 2 * i + 120;
  std::vector<int> rv(1000);
  for (int i = 0; i < 1000; ++i) rv[i] = i;
  FitEngine engine;
  engine.SetRandomArray(rv.data(), rv.size());
  std::vector<int> inliers(n);
  int count = 0;
  ASSERT_EQ(engine.ransacpoly(x.data(), y.data(), n, 2, 3, 1.0, 0.99, 100, 1000, inliers.data(),
                              &count, c.data()),
            0);
  EXPECT_EQ(count, n);
  EXPECT_NEAR(c[0], 0.01, 1e-12);
  EXPECT_NEAR(c[1], -2, 1e-9);
  EXPECT_NEAR(c[2], 120, 1e-7);
  int next = -1;
  ASSERT_EQ(engine.polyrandsample(n, 1, &next), 0);
  EXPECT_EQ(next, 3);  // exactly one sample of three values was drawn
}

TEST(RobustFits, RefuseTooFewPointsAndReportTooSmallAConsensus) {
  CAnteriorSegmentModule engine;
  const float x[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  float y[10], z[10], c[10];
  for (int i = 0; i < 10; ++i) y[i] = z[i] = x[i] * x[i] - 4 * x[i] + 2;
  int ninliers = 7;
  std::fill(c, c + 10, 9.0f);
  EXPECT_EQ(engine.ParabolaCoeff(x, y, 10, 3, 1.0f, 0.99f, 100, 1000, c, ninliers), 0);
  EXPECT_EQ(ninliers, 0);  // all 10 points agree, but 10 are too few for a profile
  EXPECT_TRUE(std::all_of(c, c + 3, [](float v) { return v == 0.0f; }));
  std::fill(c, c + 10, 9.0f);
  EXPECT_EQ(engine.ParabolaCoeff(x, y, 2, 3, 1.0f, 0.99f, 100, 1000, c, ninliers), -1);
  EXPECT_TRUE(std::all_of(c, c + 3, [](float v) { return v == 0.0f; }));
  EXPECT_EQ(engine.QuadraticCoeff(x, y, 4, 5, 1.0f, 0.99f, 100, 1000, c, ninliers), -1);
  EXPECT_TRUE(std::all_of(c, c + 6, [](float v) { return v == 0.0f; }));
  EXPECT_EQ(engine.QuadricCoeff(x, y, z, 8, 9, 1.0f, 0.99f, 100, 1000, c, ninliers), -1);
  EXPECT_TRUE(std::all_of(c, c + 10, [](float v) { return v == 0.0f; }));
}

TEST(RandomValues, NullArrayThrowsAndDefaultArrayIsFixedAndWellMixed) {
  CAnteriorSegmentModule engine;
  try {
    engine.SetRandomArray(nullptr, 10);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "SetRandomArray() failed.");
  }
  const int* values = CAnteriorSegmentModule::DefaultRandomValues();
  EXPECT_EQ(values, CAnteriorSegmentModule::DefaultRandomValues());
  std::vector<int> sorted(values, values + CAnteriorSegmentModule::kDefaultRandomCount);
  EXPECT_GE(*std::min_element(sorted.begin(), sorted.end()), 0);
  std::sort(sorted.begin(), sorted.end());
  const auto distinct = std::unique(sorted.begin(), sorted.end()) - sorted.begin();
  EXPECT_GT(distinct, 65000);  // 31-bit values: repeats are rare
}

TEST(FitWrappers, MatchTheKnownFitsAndRefuseMoreThan2048Points) {
  const float x[3] = {0, 1, 2}, y[3] = {1, 3, 5};
  float p[2], v;
  ASSERT_EQ(CAnteriorSegmentModule::polyfitWrapper(x, y, 3, 1, p), 0);
  EXPECT_NEAR(p[0], 2, 1e-6);
  EXPECT_NEAR(p[1], 1, 1e-6);
  const float at3 = 3;
  ASSERT_EQ(CAnteriorSegmentModule::polyvalWrapper(p, &at3, 1, 1, &v), 0);
  EXPECT_NEAR(v, 7, 1e-5);
  std::vector<float> cx(2049), cy(2049);
  for (int i = 0; i < 2049; ++i) {
    cx[i] = float(2 * std::cos(i * 0.01));
    cy[i] = float(2 * std::sin(i * 0.01));
  }
  float c[6];
  ASSERT_EQ(CAnteriorSegmentModule::quadraticfitrWrapper(cx.data(), cy.data(), 2048, c), 0);
  EXPECT_NEAR(c[0], 0.25, 1e-6);
  EXPECT_NEAR(c[2], 0.25, 1e-6);
  EXPECT_EQ(CAnteriorSegmentModule::quadraticfitrWrapper(cx.data(), cy.data(), 2049, c), -1);
  EXPECT_EQ(CAnteriorSegmentModule::polyfitWrapper(cx.data(), cy.data(), 2049, 2, c), -1);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

constexpr double kExactTolerance = 1e-9;  // double fits of noiseless data
constexpr float kFloatTolerance = 1e-3f;  // float fits of noiseless data
constexpr double kNoisyTolerance = 0.02;  // coefficients recovered from noisy samples

TEST(PolynomialFit, RecoversChosenCoefficientsFromExactAndNoisyData) {
  std::vector<float> x = {0, 1, 2}, y = {1, 3, 5}, p(2);
  ASSERT_EQ(polyfit(x.data(), y.data(), 3, 1, p.data()), 0);
  EXPECT_NEAR(p[0], 2.0f, kFloatTolerance);
  EXPECT_NEAR(p[1], 1.0f, kFloatTolerance);
  float at3 = 0, three = 3;
  polyval(p.data(), &three, 1, 1, &at3);
  EXPECT_NEAR(at3, 7.0f, kFloatTolerance);

  // A corneal-profile-like parabola over 400 A-scans, then a cubic with noise.
  const std::vector<double> truth = {-0.002, 0.8, 120.0};
  std::vector<double> xs(400), ys(400), fit(3), back(400);
  for (int i = 0; i < 400; ++i) xs[i] = i;
  polyval(truth.data(), xs.data(), 400, 2, ys.data());
  ASSERT_EQ(polyfit(xs.data(), ys.data(), 400, 2, fit.data()), 0);
  for (int j = 0; j < 3; ++j)
    EXPECT_NEAR(fit[j], truth[j], kExactTolerance * 1e3 * std::fabs(truth[j]));
  polyval(fit.data(), xs.data(), 400, 2, back.data());
  for (int i = 0; i < 400; i += 50) EXPECT_NEAR(back[i], ys[i], 1e-8);

  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0.0, 0.01);
  const std::vector<double> cubic = {0.5, -1.0, 2.0, 3.0};
  std::vector<double> cx(200), cy(200), cf(4);
  for (int i = 0; i < 200; ++i) {
    cx[i] = -2.0 + i * 0.02;
    cy[i] = ((0.5 * cx[i] - 1.0) * cx[i] + 2.0) * cx[i] + 3.0 + noise(rng);
  }
  ASSERT_EQ(polyfit(cx.data(), cy.data(), 200, 3, cf.data()), 0);
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(cf[j], cubic[j], kNoisyTolerance);
}

// A parabola y = 0.5 u^2 - 3 u + 40 in u = x - base, written in raw powers of x: every
// coefficient and every sample at integer x is exact in single precision.
std::vector<double> ParabolaAround(double base) {
  return {0.5, -3.0 - base, 0.5 * base * base + 3.0 * base + 40.0};
}

TEST(PolynomialFit, SinglePrecisionRecoversParabolasFarFromTheOrigin) {
  // Relative error of a recovered coefficient: a few float roundings of the centred solution,
  // amplified by the rewriting in raw powers.
  constexpr double kCoefficientRelTolerance = 1e-5;
  for (const double base : {700.0, 1500.0, 2000.0}) {
    const std::vector<double> truth = ParabolaAround(base);
    for (int n = 3; n <= 6; ++n) {
      std::vector<float> x(n), y(n), p(3);
      for (int i = 0; i < n; ++i) {
        x[i] = static_cast<float>(base + i);
        y[i] = static_cast<float>((0.5 * i - 3.0) * i + 40.0);
      }
      ASSERT_EQ(polyfit(x.data(), y.data(), n, 2, p.data()), 0) << base << " " << n;
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(p[j], truth[j], kCoefficientRelTolerance * std::fabs(truth[j]))
            << "base " << base << ", " << n << " points, coefficient " << j;
    }
  }
}

TEST(PolynomialFit, FailsWithTooFewPointsOrRepeatedAbscissae) {
  std::vector<double> x = {1, 2}, y = {1, 2}, p(3);
  EXPECT_EQ(polyfit(x.data(), y.data(), 2, 2, p.data()), -1);
  std::vector<double> same = {4, 4, 4, 4}, ys = {1, 2, 3, 4};
  EXPECT_EQ(polyfit(same.data(), ys.data(), 4, 1, p.data()), -1);
  // Single precision, far from the origin: two distinct abscissae cannot carry a parabola, one
  // cannot carry a line, however many points repeat them.
  std::vector<float> pairs = {2000, 2000, 2001, 2001, 2000}, fy = {1, 1, 2, 2, 1}, fp(3);
  EXPECT_EQ(polyfit(pairs.data(), fy.data(), 5, 2, fp.data()), -1);
  std::vector<float> single = {1500, 1500, 1500};
  EXPECT_EQ(polyfit(single.data(), fy.data(), 3, 1, fp.data()), -1);
}

TEST(ConicFit, RecoversACircleAndKeepsTheUpperRoot) {
  std::vector<float> x, y;
  for (int k = 0; k < 12; ++k) {
    x.push_back(2.0f * std::cos(k * 0.5f));
    y.push_back(2.0f * std::sin(k * 0.5f));
  }
  std::vector<float> c(6);
  ASSERT_EQ(quadraticfitr(x.data(), y.data(), 12, c.data()), 0);
  const float expected[6] = {0.25f, 0, 0.25f, 0, 0, -1};
  for (int j = 0; j < 6; ++j) EXPECT_NEAR(c[j], expected[j], kFloatTolerance);

  const float at[2] = {0.0f, 3.0f}, circle[6] = {0.25f, 0, 0.25f, 0, 0, -1};
  float xo[2], yo[2];
  int count = -1;
  quadraticval(circle, at, 2, xo, yo, count);
  ASSERT_EQ(count, 1);  // x = 3 lies outside the circle
  EXPECT_EQ(xo[0], 0.0f);
  EXPECT_FLOAT_EQ(yo[0], 2.0f);
  // Off-centre circle (x - 1)^2 + (y + 0.5)^2 = 4: every linear term takes part.
  const float shifted[6] = {1, 0, 1, -2, 1, -2.75f}, at2[2] = {1.0f, 2.0f};
  quadraticval(shifted, at2, 2, xo, yo, count);
  ASSERT_EQ(count, 2);
  EXPECT_FLOAT_EQ(yo[0], 1.5f);
  EXPECT_NEAR(yo[1], -0.5 + std::sqrt(3.0), kFloatTolerance);

  std::vector<float> line = {0, 1, 2, 3, 4, 5}, onLine = {0, 1, 2, 3, 4, 5};
  EXPECT_EQ(quadraticfitr(line.data(), onLine.data(), 6, c.data()), -1);  // rank deficient
  EXPECT_EQ(quadraticfitr(line.data(), onLine.data(), 4, c.data()), -1);  // too few points
}

TEST(QuadricFit, RecoversAnEllipsoidAndTakesTheLowerRoot) {
  std::vector<double> x, y, z;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 5; ++j) {
      const double th = 0.3 + 0.45 * i, ph = 1.2 * j;
      x.push_back(2 * std::sin(th) * std::cos(ph));
      y.push_back(2 * std::sin(th) * std::sin(ph));
      z.push_back(1 + 3 * std::cos(th));  // (x/2)^2 + (y/2)^2 + ((z-1)/3)^2 = 1
    }
  std::vector<double> c(10);
  ASSERT_EQ(quadricfit(x.data(), y.data(), z.data(), 30, c.data()), 0);
  // Divided by the constant term: x^2/4 + y^2/4 + z^2/9 - 2z/9 + 1/9 - 1 = 0.
  const double k = 8.0 / 9.0;
  const double expected[10] = {0.25 / k, 0.25 / k, 1 / (9 * k), 0, 0, 0, 0, 0, -2 / (9 * k), -1};
  for (int j = 0; j < 10; ++j) EXPECT_NEAR(c[j], expected[j], kExactTolerance * 1e3);

  const double sphere[10] = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1}, px[2] = {0, 2}, py[2] = {0, 0};
  double pz[2] = {5, 5};
  quadricval(sphere, px, py, 2, pz);
  EXPECT_EQ(pz[0], -1.0);
  EXPECT_EQ(pz[1], 5.0);  // no real root: left as it was
  EXPECT_EQ(quadricfit(x.data(), y.data(), z.data(), 8, c.data()), -1);
}

TEST(Weights, GaussianSumsToOneAndSigmoidIsCentred) {
  std::vector<float> x(41), g(41);
  for (int i = 0; i < 41; ++i) x[i] = static_cast<float>(i);
  ASSERT_EQ(Gauss1D(x.data(), 41, 20.0f, 4.0f, g.data()), 0);
  double sum = 0;
  for (float v : g) sum += v;
  EXPECT_NEAR(sum, 1.0, 1e-6);
  EXPECT_FLOAT_EQ(g[18], g[22]);
  EXPECT_GT(g[20], g[19]);
  // Far from every sample all weights underflow: zeros kept, success.
  ASSERT_EQ(Gauss1D(x.data(), 41, 1e6f, 1.0f, g.data()), 0);
  for (float v : g) EXPECT_EQ(v, 0.0f);

  std::vector<float> s = {0.0f, 200.0f, -200.0f, 2.0f};
  ASSERT_EQ(SigmoidTrans(s.data(), 4), 0);
  EXPECT_EQ(s[0], 0.5f);
  EXPECT_EQ(s[1], 1.0f);
  EXPECT_EQ(s[2], 0.0f);  // exp overflows to +inf: 1 / (1 + inf) = 0
  EXPECT_NEAR(s[3], 1.0 / (1.0 + std::exp(-2.0)), 1e-7);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "common/numerics/BSpline.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

constexpr double kLuTolerance = 1e-10;     // banded LU against dense elimination, double
constexpr double kFloatBasisError = 2e-5;  // basis values are single precision
constexpr double kPi = 3.14159265358979;
// The penalty weights and basis values are single precision in both variants, so a smoothed
// polynomial carries a relative error of a few 1e-6 of its range.
constexpr double kPenaltyRoundOff = 2e-5;

std::vector<double> Positions(int n) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = i;
  return x;
}

// Dense Gaussian elimination without pivoting: the oracle for the banded routines.
std::vector<double> DenseSolve(std::vector<std::vector<double>> a, std::vector<double> b) {
  const size_t n = b.size();
  for (size_t k = 0; k < n; ++k)
    for (size_t i = k + 1; i < n; ++i) {
      const double f = a[i][k] / a[k][k];
      for (size_t j = k; j < n; ++j) a[i][j] -= f * a[k][j];
      b[i] -= f * b[k];
    }
  for (size_t i = n; i-- > 0;) {
    for (size_t j = i + 1; j < n; ++j) b[i] -= a[i][j] * b[j];
    b[i] /= a[i][i];
  }
  return b;
}

TEST(BandedMatrix, StoresSevenBandsAndReadsZeroOutsideThem) {
  BandedMatrix<double> m;
  EXPECT_FALSE(m.setup(5, 1, -1));
  EXPECT_FALSE(m.setup(0, -3, 3));
  EXPECT_FALSE(m.setup(2, -3, 3));
  ASSERT_TRUE(m.setup(6, -3, 3));
  EXPECT_EQ(m.numBands(), 7);
  m = 2.0;
  EXPECT_EQ(m[0][3], 2.0);
  EXPECT_EQ(m(6, 3), 2.0);  // 1-based (6, 3) is 0-based (5, 2)
  EXPECT_EQ(m[0][4], 0.0);  // four off the diagonal: not stored
  m[0][4] = 9.0;            // writing outside the bands has no effect
  EXPECT_EQ(m[0][4], 0.0);
  EXPECT_EQ(m[5][6], 0.0);
  m[2][4] = 7.0;
  EXPECT_EQ(m(3, 5), 7.0);
  EXPECT_EQ(m[4][2], 2.0);
}

TEST(BandedLU, MatchesDenseEliminationOnARandomBandedSystem) {
  const int n = 40;
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  BandedMatrix<double> a;
  ASSERT_TRUE(a.setup(n, -3, 3));
  std::vector<std::vector<double>> dense(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i)
    for (int j = std::max(0, i - 3); j <= std::min(n - 1, i + 3); ++j)
      dense[i][j] = a[i][j] = i == j ? 8 + u(rng) : u(rng);
  std::vector<double> b(n);
  for (double& v : b) v = u(rng);
  const std::vector<double> expected = DenseSolve(dense, b);
  ASSERT_EQ(LU_factor_banded(a, 3), 0);
  ASSERT_EQ(LU_solve_banded(a, b, 3), 0);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(b[i], expected[i], kLuTolerance);

  BandedMatrix<double> singular;
  ASSERT_TRUE(singular.setup(4, -3, 3));
  singular = 1.0;
  singular[0][0] = 0.0;
  EXPECT_EQ(LU_factor_banded(singular, 3), 1);
  EXPECT_EQ(LU_solve_banded(BandedMatrix<double>(), b, 3), 1);
}

TEST(SmoothingSpline, ChoosesTheNodeCountFromTheWavelength) {
  struct Case {
    int nx;
    float wl;
    int expectedM;
  };
  // Hand-worked with the node rule: stop after 15 nodes per wavelength (1024/100, 50/45) or at
  // 2 data points per interval (100/30, 1024/10).
  for (const Case c :
       {Case{1024, 100, 153}, Case{100, 30, 49}, Case{1024, 10, 511}, Case{50, 45, 16}}) {
    const std::vector<double> x = Positions(c.nx), y(c.nx, 1.0);
    BSpline<double> s(x.data(), c.nx, y.data(), c.wl, 2, 0);
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(s.nIntervals(), c.expectedM) << c.nx << " points, wavelength " << c.wl;
    EXPECT_FLOAT_EQ(s.intervalLength(), static_cast<float>((c.nx - 1.0) / c.expectedM));
  }
  const std::vector<double> x = Positions(200), y(200, 0.0);
  EXPECT_EQ(BSpline<double>(x.data(), 200, y.data(), 50, 2, 5).nIntervals(), 4);
  EXPECT_EQ(BSpline<double>(x.data(), 200, y.data(), 0, 2, 0).nIntervals(), 200);
}

TEST(SmoothingSpline, RefusesBadArgumentsAndWavelengthsBeyondTheData) {
  const std::vector<double> x = Positions(100), y(100, 3.0);
  BSpline<double> tooLong(x.data(), 100, y.data(), 100.0f, 2, 0);  // span is 99
  EXPECT_FALSE(tooLong.ok());
  EXPECT_EQ(tooLong.evaluate(50.0), 0.0);
  EXPECT_FALSE(BSpline<double>(x.data(), 100, y.data(), 1.0f, 2, 0).ok());  // too few points
  BSpline<double> s(x.data(), 100, y.data(), 30.0f, 2, 0);
  ASSERT_TRUE(s.ok());
  EXPECT_FALSE(s.setDomain(x.data(), 100, 30.0f, 3, 0));
  EXPECT_FALSE(s.setDomain(x.data(), 100, -1.0f, 2, 0));
  EXPECT_FALSE(s.setDomain(nullptr, 100, 30.0f, 2, 0));
  EXPECT_FALSE(s.setDomain(x.data(), 0, 30.0f, 2, 0));
  EXPECT_FALSE(BSpline<double>(x.data(), 100, y.data(), 30.0f, 3, 0).ok());
  const std::vector<double> same(10, 4.0);
  EXPECT_FALSE(BSpline<double>(same.data(), 10, same.data(), 0.0f, 2, 4).ok());
}

TEST(SmoothingSpline, KeepsAConstantForEveryBoundaryConditionAndNodeCount) {
  const std::vector<double> x = Positions(40), y(40, 7.0);
  EXPECT_FALSE(BSpline<double>(x.data(), 40, y.data(), 10.0f, 2, 2).ok());  // one interval
  const std::vector<float> xf(x.begin(), x.end()), yf(40, -2.5f);
  for (int bc = 0; bc <= 2; ++bc) {
    // The smallest node counts, then the node rule (0) in single precision.
    for (int nodes = 3; nodes <= 5; ++nodes) {
      BSpline<double> s(x.data(), 40, y.data(), 10.0f, bc, nodes);
      ASSERT_TRUE(s.ok()) << nodes << " nodes, bc " << bc;
      EXPECT_NEAR(s.evaluate(20.5), 7.0, 1e-12);
      EXPECT_EQ(s.evaluate(1e30), 7.0);  // beyond every basis function: the mean
    }
    BSpline<float> f(xf.data(), 40, yf.data(), 10.0f, bc, 0);
    ASSERT_TRUE(f.ok());
    for (int i = 0; i < 40; i += 3) EXPECT_FLOAT_EQ(f.evaluate(xf[i]), -2.5f);
  }
}

TEST(SmoothingSpline, LeavesALineUnchangedAndACubicUnchangedAwayFromTheEnds) {
  const int n = 1024;
  const float wl = 32;
  const std::vector<double> x = Positions(n);
  std::vector<double> line(n), cubic(n);
  for (int i = 0; i < n; ++i) {
    const double t = (x[i] - 512) / 512;
    line[i] = 0.25 * x[i] + 100;
    cubic[i] = 300 + 40 * t - 25 * t * t + 30 * t * t * t;
  }
  BSpline<double> straight(x.data(), n, line.data(), wl, 2, 0);
  BSpline<double> curved(x.data(), n, cubic.data(), wl, 2, 0);
  ASSERT_TRUE(straight.ok());
  ASSERT_TRUE(curved.ok());
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(straight.evaluate(x[i]), line[i], kPenaltyRoundOff * 256) << i;
    if (i > 3 * wl && i < n - 1 - 3 * wl) {
      EXPECT_NEAR(curved.evaluate(x[i]), cubic[i], kPenaltyRoundOff * 100) << i;
    }
  }
  // The float variant of the line.
  const std::vector<float> xf(x.begin(), x.end()), yf(line.begin(), line.end());
  BSpline<float> f(xf.data(), n, yf.data(), wl, 2, 0);
  ASSERT_TRUE(f.ok());
  for (int i = 0; i < n; i += 13) EXPECT_NEAR(f.evaluate(xf[i]), yf[i], 0.02f) << i;
}

// Amplitude of the interior of a smoothed sinusoid, relative to the input's.
double Passband(double period, float wl) {
  const int n = 1024;
  const std::vector<double> x = Positions(n);
  std::vector<double> y(n);
  for (int i = 0; i < n; ++i) y[i] = 50 + 10 * std::sin(2 * kPi * x[i] / period);
  BSpline<double> s(x.data(), n, y.data(), wl, 2, 0);
  if (!s.ok()) return -1;
  double peak = 0;
  for (int i = 200; i < n - 200; ++i) peak = std::max(peak, std::fabs(s.evaluate(x[i]) - 50));
  return peak / 10;
}

TEST(SmoothingSpline, RemovesUndulationsShorterThanTheCutOffAndPassesLongOnes) {
  // A corneal layer of 1024 A-scans smoothed with a cut-off of about 3 % of its length.
  EXPECT_LT(Passband(32.0 / 3, 32), 0.05);
  EXPECT_LT(Passband(16, 32), 0.15);
  EXPECT_GT(Passband(128, 32), 0.99);
  EXPECT_GT(Passband(256, 32), 0.999);
}

// Least-squares fit on the nodes when there is no smoothing penalty, against a dense fit built
// here from the basis formula and the curvature-free end condition (phantom node weights
// 2, -1 at each end).
TEST(SmoothingSpline, WithoutPenaltyIsThePlainLeastSquaresFitOnTheNodes) {
  const int n = 100, M = 10;
  const std::vector<double> x = Positions(n);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-5, 5);
  std::vector<double> y(n);
  double mean = 0;
  for (double& v : y) mean += (v = u(rng)) / n;
  BSpline<double> s(x.data(), n, y.data(), 0.0f, 2, M + 1);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.alphaWeight(), 0.0f);

  const double dx = (n - 1.0) / M;
  const auto bspline = [](double z) {
    const double a = std::fabs(z);
    if (a >= 2) return 0.0;
    return std::pow(2 - a, 3) / 4 - (a < 1 ? std::pow(1 - a, 3) : 0.0);
  };
  const auto phi = [&](int m, double at) {
    double v = bspline(at / dx - m);
    const double beta[4] = {2, -1, -1, 2};
    if (m <= 1) v += beta[m] * bspline(at / dx + 1);
    if (m >= M - 1) v += beta[m - M + 3] * bspline(at / dx - M - 1);
    return v;
  };
  std::vector<std::vector<double>> normal(M + 1, std::vector<double>(M + 1, 0.0));
  std::vector<double> rhs(M + 1, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= M; ++j) {
      rhs[j] += phi(j, x[i]) * (y[i] - mean);
      for (int k = 0; k <= M; ++k) normal[j][k] += phi(j, x[i]) * phi(k, x[i]);
    }
  const std::vector<double> a = DenseSolve(normal, rhs);
  for (int i = 0; i < n; ++i) {
    double expected = mean;
    for (int j = 0; j <= M; ++j) expected += a[j] * phi(j, x[i]);
    EXPECT_NEAR(s.evaluate(x[i]), expected, kFloatBasisError * 10) << i;
  }
}

TEST(SmoothingSpline, SolvesNewOrdinatesWithTheSameFactorsAndKnowsItsDomain) {
  const int n = 500;
  const std::vector<double> x = Positions(n);
  std::vector<double> a(n), b(n);
  for (int i = 0; i < n; ++i) {
    a[i] = std::sin(i * 0.01);
    b[i] = std::cos(i * 0.03) + 0.001 * i;
  }
  BSpline<double> reused(x.data(), n, a.data(), 25.0f, 2, 0);
  ASSERT_TRUE(reused.solve(b.data()));
  BSpline<double> fresh(x.data(), n, b.data(), 25.0f, 2, 0);
  for (int i = 0; i < n; i += 3) EXPECT_EQ(reused.evaluate(x[i]), fresh.evaluate(x[i]));
  EXPECT_TRUE(fresh.inDomain(0.0));
  EXPECT_TRUE(fresh.inDomain(fresh.Xmin() + fresh.nIntervals() * fresh.intervalLength()));
  EXPECT_FALSE(fresh.inDomain(-0.5));
  EXPECT_FALSE(fresh.inDomain(n));
}

}  // namespace

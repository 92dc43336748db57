#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/numerics/GaussFit.h"
#include "common/numerics/SparseSolver.h"
#include "common/numerics/ZernikeFit.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

constexpr double kPi = 3.14159265358979323846;
constexpr double kBasisTolerance = 1e-12;
constexpr double kRecoveryTolerance = 1e-8;
constexpr double kSolveTolerance = 1e-10;

TEST(GaussFit, RecoversCentreWidthAndAreaOfANoisyReflectionProfile) {
  const int n = 1024;
  const float area = 1.0f, mu = 400.3f, sigma = 25.0f;
  std::mt19937 rng(17);
  const float peak = area / std::sqrt(6.2831855f * sigma * sigma);
  std::normal_distribution<float> noise(0.0f, 0.01f * peak);
  std::vector<float> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i);
    y[i] = peak * std::exp(-0.5f * std::pow((x[i] - mu) / sigma, 2.0f)) + noise(rng);
  }
  float a = 0, c = 0, s = 0;
  ASSERT_EQ(CGaussFit::gaussfit(x.data(), y.data(), n, &a, &c, &s), 0);
  EXPECT_NEAR(c, mu, 0.2f);
  EXPECT_NEAR(s, sigma, 0.3f);
  EXPECT_NEAR(a, area, 0.02f);
}

TEST(GaussFit, StopsAtOnceWithTheStartValuesWhenTheAreaEstimateIsZero) {
  const std::vector<float> x = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::vector<float> zeros(11, 0.0f);
  // Start values passed in are kept; an all-zero profile gives area 0.
  float a = 0, c = 7, s = 3;
  ASSERT_EQ(CGaussFit::gaussfit(x.data(), zeros.data(), 11, &a, &c, &s), 0);
  EXPECT_EQ(a, 0.0f);
  EXPECT_EQ(c, 7.0f);
  EXPECT_EQ(s, 3.0f);
  // Without a local peak the centre is the first maximum; the width estimate |μ0 - x(i0)| is 0,
  // so the width starts at half the last abscissa.
  c = s = 0;
  ASSERT_EQ(CGaussFit::gaussfit(x.data(), zeros.data(), 11, &a, &c, &s), 0);
  EXPECT_EQ(c, 0.0f);
  EXPECT_EQ(s, 5.0f);
  // A spike at index 6 with ends balancing the trapezoidal sum: the centre is the spike, the
  // first sample above the threshold is the spike itself, so the width falls back likewise.
  std::vector<float> spike(11, 0.0f);
  spike[6] = 1.0f;
  spike[0] = spike[10] = -1.0f;
  a = c = s = 0;
  ASSERT_EQ(CGaussFit::gaussfit(x.data(), spike.data(), 11, &a, &c, &s), 0);
  EXPECT_EQ(c, 6.0f);
  EXPECT_EQ(s, 5.0f);
  EXPECT_EQ(a, 0.0f);
  EXPECT_EQ(CGaussFit::gaussfit(x.data(), spike.data(), 0, &a, &c, &s), -1);
}

// R_n^m by its factorial sum.
double Radial(int n, int m, double rho) {
  const auto f = [](int k) { return std::tgamma(k + 1.0); };
  double r = 0;
  for (int s = 0; s <= (n - m) / 2; ++s)
    r += (s % 2 ? -1 : 1) * f(n - s) / (f(s) * f((n + m) / 2 - s) * f((n - m) / 2 - s)) *
         std::pow(rho, n - 2 * s);
  return r;
}

double Zernike(int n, int m, double rho, double theta) {
  const double r = Radial(n, std::abs(m), rho);
  if (m == 0) return std::sqrt(n + 1.0) * r;
  return std::sqrt(2.0 * (n + 1)) * r * (m > 0 ? std::cos(m * theta) : std::sin(-m * theta));
}

TEST(ZernikeFit, OrdersTermsByOrderThenAzimuthAndMatchesTheFactorialFormula) {
  int n[6], m[6];
  ASSERT_EQ(CZernikeFit::zernike_terms(2, n, m), 6);
  const int en[6] = {0, 1, 1, 2, 2, 2}, em[6] = {0, -1, 1, -2, 0, 2};
  for (int t = 0; t < 6; ++t) {
    EXPECT_EQ(n[t], en[t]);
    EXPECT_EQ(m[t], em[t]);
  }
  const int order = 10, terms = CZernikeFit::zernike_term_count(order), pts = 50;
  std::vector<int> on(terms), om(terms);
  CZernikeFit::zernike_terms(order, on.data(), om.data());
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<double> rho(pts), theta(pts), basis(size_t(pts) * terms);
  for (int i = 0; i < pts; ++i) {
    rho[i] = u(rng);
    theta[i] = 2 * kPi * u(rng) - kPi;
  }
  ASSERT_EQ(
      CZernikeFit::zernike_basisfun(rho.data(), theta.data(), basis.data(), pts, terms, order), 0);
  for (int i = 0; i < pts; ++i)
    for (int t = 0; t < terms; ++t)
      EXPECT_NEAR(basis[size_t(i) * terms + t], Zernike(on[t], om[t], rho[i], theta[i]),
                  kBasisTolerance * 100)
          << "point " << i << " term " << t;
  EXPECT_EQ(CZernikeFit::zernike_basisfun(rho.data(), theta.data(), basis.data(), pts, 67, order),
            -1);
}

TEST(ZernikeFit, RecoversFifteenCoefficientsFromScatteredPolarSamples) {
  const int order = 4, terms = 15, pts = 400;
  const double maxRadius = 4000;  // micrometres
  std::vector<int> on(terms), om(terms);
  CZernikeFit::zernike_terms(order, on.data(), om.data());
  std::vector<double> truth(terms);
  for (int t = 0; t < terms; ++t) truth[t] = 500.0 / (t + 1) - 20 * (t % 3);
  const auto surface = [&](double rho, double theta) {
    double v = 0;
    for (int t = 0; t < terms; ++t) v += truth[t] * Zernike(on[t], om[t], rho, theta);
    return v;
  };
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(0, 1);
  const double rmax = 3500;  // largest selected radius: the normalisation
  std::vector<double> r(pts), th(pts), z(pts);
  for (int i = 0; i < pts; ++i) {
    r[i] = i == 0 ? rmax : rmax * std::sqrt(u(rng));
    th[i] = 2 * kPi * u(rng);
    z[i] = surface(r[i] / rmax, th[i]);
  }
  z[5] = 0;              // missing sample
  r[6] = maxRadius + 1;  // beyond the fitting radius
  std::vector<double> basis(size_t(pts) * terms), coef(terms), work(pts);
  ASSERT_EQ(CZernikeFit::zernike_fit(r.data(), th.data(), z.data(), pts, maxRadius, order,
                                     basis.data(), coef.data(), terms, work.data()),
            0);
  for (int t = 0; t < terms; ++t) EXPECT_NEAR(coef[t], truth[t], kRecoveryTolerance) << t;
  for (int i = 0; i < pts; ++i) {
    const double expected = (i == 5 || i == 6) ? surface(0, 0) : z[i];
    EXPECT_NEAR(work[i], expected, kRecoveryTolerance * 10) << i;
  }
  // No usable sample at all.
  const std::vector<double> none(pts, 0.0);
  EXPECT_EQ(CZernikeFit::zernike_fit(r.data(), th.data(), none.data(), pts, maxRadius, order,
                                     basis.data(), coef.data(), terms, work.data()),
            -1);
}

// Upper-triangle CSR (one-based) of a dense symmetric matrix, skipping zeros.
void ToCsr(const std::vector<std::vector<double>>& a, bool upperOnly, std::vector<double>& values,
           std::vector<int>& columns, std::vector<int>& rows) {
  rows.assign(1, 1);
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = upperOnly ? i : 0; j < a.size(); ++j) {
      if (a[i][j] == 0) continue;
      values.push_back(a[i][j]);
      columns.push_back(static_cast<int>(j) + 1);
    }
    rows.push_back(static_cast<int>(values.size()) + 1);
  }
}

TEST(SparseSolver, SolvesARandomPositiveDefiniteSystemLikeADenseSolve) {
  const int n = 30;
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i) {
    a[i][i] = 10;
    for (int j = i + 1; j < n; ++j)
      if (u(rng) > 0.7) a[i][j] = a[j][i] = u(rng);
  }
  std::vector<double> b(n);
  for (double& v : b) v = u(rng);
  // Dense Gaussian elimination (no pivoting needed: diagonally dominant).
  std::vector<std::vector<double>> d = a;
  std::vector<double> expected = b;
  for (int k = 0; k < n; ++k)
    for (int i = k + 1; i < n; ++i) {
      const double f = d[i][k] / d[k][k];
      for (int j = k; j < n; ++j) d[i][j] -= f * d[k][j];
      expected[i] -= f * expected[k];
    }
  for (int i = n - 1; i >= 0; --i) {
    for (int j = i + 1; j < n; ++j) expected[i] -= d[i][j] * expected[j];
    expected[i] /= d[i][i];
  }
  for (const bool symmetric : {true, false}) {
    std::vector<double> values, x(n);
    std::vector<int> columns, rows;
    ToCsr(a, symmetric, values, columns, rows);
    ASSERT_EQ(SparseSolver(values.data(), columns.data(), rows.data(), b.data(), n, n,
                           static_cast<int>(values.size()), x.data(), symmetric ? 1 : 0),
              0);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], expected[i], kSolveTolerance) << i;
  }
}

TEST(SparseSolver, SolvesTheOneByOneSystemAndRejectsSingularOrNonSquareOnes) {
  double value = 2, rhs = 4, solution = 0;
  int column = 1, rows[2] = {1, 2};
  ASSERT_EQ(SparseSolver(&value, &column, rows, &rhs, 1, 1, 1, &solution, 1), 0);
  EXPECT_DOUBLE_EQ(solution, 2.0);
  double ones[4] = {1, 1, 1, 1}, b2[2] = {1, 2}, x2[2];
  int cols[4] = {1, 2, 1, 2}, rows2[3] = {1, 3, 5};
  EXPECT_EQ(SparseSolver(ones, cols, rows2, b2, 2, 2, 4, x2, 0), -1);
  EXPECT_EQ(SparseSolver(ones, cols, rows2, b2, 2, 3, 4, x2, 0), -1);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"

using namespace Talvex::Platform;

namespace {

// The call sequence of the numerics library's cubic interpolation: 0 on success, -1 on failure.
// When coeff is given it receives the 4·(n-1) cell coefficients.
int Cspline(const float* x, const float* y, int n, const float* xi, float* yi, int m,
            MKL_INT sitehint = DF_SORTED_DATA, std::vector<float>* coeff = nullptr) {
  DFTaskPtr task = nullptr;
  if (dfsNewTask1D(&task, n, x, DF_NON_UNIFORM_PARTITION, 1, y, DF_NO_HINT) != 0) return -1;
  std::vector<float> storage(4 * static_cast<std::size_t>(n) + 96);
  const MKL_INT dorder[] = {1};
  int result = -1;
  if (dfsEditPPSpline1D(task, DF_PP_CUBIC, DF_PP_BESSEL, DF_BC_NOT_A_KNOT, nullptr, DF_NO_IC,
                        nullptr, storage.data(), DF_NO_HINT) == 0 &&
      dfsConstruct1D(task, DF_PP_SPLINE, DF_METHOD_STD) == 0 &&
      dfsInterpolate1D(task, DF_INTERP, DF_METHOD_PP, m, xi, sitehint, 1, dorder, nullptr, yi,
                       DF_MATRIX_STORAGE_ROWS, nullptr) == 0) {
    result = 0;
  }
  if (dfDeleteTask(&task) != 0 || task != nullptr) result = -1;
  if (coeff != nullptr) *coeff = storage;
  return result;
}

std::vector<float> UnevenAbscissae(int n, std::mt19937& rng) {
  std::uniform_real_distribution<float> step(0.5f, 3.0f);
  std::vector<float> x(n);
  x[0] = -2.0f;
  for (int i = 1; i < n; ++i) x[i] = x[i - 1] + step(rng);
  return x;
}

}  // namespace

TEST(DataFittingSpline, ReproducesAQuadraticOrTwoPointLineInsideAndWhenExtrapolating) {
  std::mt19937 rng(7);
  for (int n : {2, 3, 4, 5, 9, 40}) {
    const double a = n == 2 ? 0.0 : 0.3;  // two points give the straight line
    auto q = [a](double t) { return a * t * t - 2.0 * t + 5.0; };
    const std::vector<float> x = UnevenAbscissae(n, rng);
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) y[i] = static_cast<float>(q(x[i]));
    std::vector<float> xi;
    for (float t = x[0] - 4.0f; t <= x[n - 1] + 4.0f; t += 0.37f) xi.push_back(t);
    std::vector<float> yi(xi.size());
    ASSERT_EQ(Cspline(x.data(), y.data(), n, xi.data(), yi.data(), int(xi.size())), 0) << n;
    for (std::size_t j = 0; j < xi.size(); ++j) {
      EXPECT_NEAR(yi[j], q(xi[j]), 2e-4 * std::max(1.0, std::abs(q(xi[j])))) << n << " " << xi[j];
    }
  }
}

TEST(DataFittingSpline, FailsForTooFewPointsAndForAbscissaeThatDoNotIncrease) {
  const float xi[] = {0.5f};
  float yi[1];
  const float one[] = {1.0f};
  EXPECT_EQ(Cspline(one, one, 1, xi, yi, 1), -1);
  EXPECT_EQ(Cspline(one, one, 0, xi, yi, 1), -1);
  const float y[] = {1.0f, 2.0f, 3.0f, 4.0f};
  const float repeated[] = {0.0f, 1.0f, 1.0f, 2.0f};
  const float decreasing[] = {0.0f, 2.0f, 1.0f, 3.0f};
  EXPECT_EQ(Cspline(repeated, y, 4, xi, yi, 1), -1);
  EXPECT_EQ(Cspline(decreasing, y, 4, xi, yi, 1), -1);
  DFTaskPtr task = nullptr;
  EXPECT_NE(dfsNewTask1D(&task, 1, one, DF_NON_UNIFORM_PARTITION, 1, one, DF_NO_HINT), 0);
  EXPECT_EQ(task, nullptr);
}

TEST(DataFittingSpline, BesselSlopesAndNotAKnotEndsMatchAHandComputation) {
  // h = {1, 2, 1}, chord slopes s = {2, -0.5, 3}. Interior: d1 = (2·2 + 1·(-0.5))/3 = 7/6,
  // d2 = (1·(-0.5) + 2·3)/3 = 11/6. Ends: d0 = 2·2 - 7/6 + (1/2)²(7/6 + 11/6 + 1) = 23/6,
  // d3 = 2·3 - 11/6 + (1/2)²·4 = 31/6.
  const float x[] = {0.0f, 1.0f, 3.0f, 4.0f};
  const float y[] = {0.0f, 2.0f, 1.0f, 4.0f};
  const float xi[] = {0.0f, 1.0f, 3.0f, 4.0f};
  float yi[4];
  std::vector<float> c;
  ASSERT_EQ(Cspline(x, y, 4, xi, yi, 4, DF_SORTED_DATA, &c), 0);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(yi[i], y[i]);
  EXPECT_NEAR(c[1], 23.0 / 6, 1e-6);
  EXPECT_NEAR(c[5], 7.0 / 6, 1e-6);
  EXPECT_NEAR(c[9], 11.0 / 6, 1e-6);
  EXPECT_NEAR(c[9] + 2 * c[10] + 3 * c[11], 31.0 / 6, 1e-5);  // slope at x3 of the last cell
  // Not-a-knot: the third derivative (6·c3) is the same in the first two and the last two cells.
  EXPECT_NEAR(c[3], c[7], 1e-6);
  EXPECT_NEAR(c[7], c[11], 1e-6);
}

TEST(DataFittingSpline, PassesThroughTheSamplesAndIgnoresTheOrderOfUnsortedSites) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> value(-50.0f, 50.0f);
  const int n = 30;
  const std::vector<float> x = UnevenAbscissae(n, rng);
  std::vector<float> y(n);
  for (float& v : y) v = value(rng);
  std::vector<float> yi(n);
  ASSERT_EQ(Cspline(x.data(), y.data(), n, x.data(), yi.data(), n), 0);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(yi[i], y[i], 1e-4f);

  std::vector<float> sorted(64);
  for (int j = 0; j < 64; ++j) sorted[j] = x[0] - 1.0f + (x[n - 1] - x[0] + 2.0f) * j / 63.0f;
  std::vector<float> shuffled = sorted;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  std::vector<float> a(64), b(64);
  ASSERT_EQ(Cspline(x.data(), y.data(), n, sorted.data(), a.data(), 64), 0);
  ASSERT_EQ(Cspline(x.data(), y.data(), n, shuffled.data(), b.data(), 64, DF_NO_HINT), 0);
  for (int j = 0; j < 64; ++j) {
    const auto at = std::find(sorted.begin(), sorted.end(), shuffled[j]) - sorted.begin();
    EXPECT_EQ(b[j], a[at]);
  }
}

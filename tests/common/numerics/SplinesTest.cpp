#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/numerics/Splines.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

constexpr float kFloatExact = 2e-4f;   // float round-off of reproduced polynomials
constexpr float kSmoothError = 1e-4f;  // interpolation error of sin on 40 samples per period
constexpr double kDoubleExact = 1e-12;

float Quadratic(float x) { return 0.5f * x * x - 3.0f * x + 2.0f; }

TEST(CubicSpline, ReproducesAQuadraticExactlyInsideAndBeyondTheSamples) {
  const std::vector<float> x = {0.0f, 0.7f, 1.5f, 3.0f, 3.2f, 5.0f, 8.0f};
  std::vector<float> y;
  for (float v : x) y.push_back(Quadratic(v));
  std::vector<float> sites, out(41);
  for (int j = 0; j < 41; ++j) sites.push_back(-2.0f + 0.3f * j);  // -2 .. 10: both ends beyond
  ASSERT_EQ(cspline(x.data(), y.data(), 7, sites.data(), out.data(), 41), 0);
  for (int j = 0; j < 41; ++j)
    EXPECT_NEAR(out[j], Quadratic(sites[j]), kFloatExact * 20) << "site " << sites[j];

  // Two samples give the straight line, three the parabola, both extrapolated.
  const float lx[2] = {1, 3}, ly[2] = {2, 6}, at[2] = {0, 5};
  float lo[2];
  ASSERT_EQ(cspline(lx, ly, 2, at, lo, 2), 0);
  EXPECT_NEAR(lo[0], 0.0f, kFloatExact);
  EXPECT_NEAR(lo[1], 10.0f, kFloatExact);
  const float px[3] = {0, 1, 3}, py[3] = {Quadratic(0), Quadratic(1), Quadratic(3)};
  ASSERT_EQ(cspline(px, py, 3, at, lo, 2), 0);
  EXPECT_NEAR(lo[1], Quadratic(5), kFloatExact * 10);
}

TEST(CubicSpline, FollowsASmoothLayerAndPassesThroughItsSamples) {
  const int n = 41;
  std::vector<float> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i) * 6.2831853f / 40.0f;
    y[i] = std::sin(x[i]);
  }
  std::vector<float> sites(400), out(400);
  for (int j = 0; j < 400; ++j) sites[j] = x[n - 1] * j / 399.0f;
  ASSERT_EQ(cspline(x.data(), y.data(), n, sites.data(), out.data(), 400), 0);
  for (int j = 0; j < 400; ++j) EXPECT_NEAR(out[j], std::sin(sites[j]), kSmoothError);
  ASSERT_EQ(cspline(x.data(), y.data(), n, x.data(), out.data(), n), 0);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(out[i], y[i], 1e-6f);
}

TEST(CubicSpline, RefusesFewerThanTwoSamplesAndUnorderedAbscissae) {
  const float x[3] = {0, 2, 1}, y[3] = {1, 2, 3}, at[1] = {0.5f};
  float out[1];
  EXPECT_EQ(cspline(x, y, 1, at, out, 1), -1);
  EXPECT_EQ(cspline(x, y, 0, at, out, 1), -1);
  EXPECT_EQ(cspline(x, y, 3, at, out, 1), -1);
  EXPECT_EQ(cspline(x, y, 2, at, out, 0), -1);
}

TEST(LinearInterpolation, HitsNodesAndSegmentsForUnsortedSamplesAndQueries) {
  // Samples of y = |x - 2| + 1 given out of order.
  const double x[5] = {4, 0, 2, 1, 3}, y[5] = {3, 3, 1, 2, 2};
  const double q[7] = {2, 0.5, 3.75, 0, 4, 1.25, 2.5};
  double out[7];
  ASSERT_EQ(linterpol1(x, y, 5, q, out, 7), 0);
  for (int j = 0; j < 7; ++j) EXPECT_NEAR(out[j], std::fabs(q[j] - 2) + 1, kDoubleExact);
}

TEST(LinearInterpolation, KeepsTheCallersOrderAndExtrapolatesBothSides) {
  const double x[3] = {0, 1, 3}, y[3] = {0, 2, 3};  // slopes 2, then 0.5
  const double descending[5] = {5, 3, 2, 0, -1};
  double out[5];
  ASSERT_EQ(linterpol1(x, y, 3, descending, out, 5), 0);
  const double expected[5] = {4, 3, 2.5, 0, -2};  // 5: last segment continued; -1: first
  for (int j = 0; j < 5; ++j) EXPECT_NEAR(out[j], expected[j], kDoubleExact) << j;

  // With no query inside the samples, the segment stays the first one on both sides.
  const double outside[2] = {-1, 4};
  ASSERT_EQ(linterpol1(x, y, 3, outside, out, 2), 0);
  EXPECT_NEAR(out[0], -2, kDoubleExact);
  EXPECT_NEAR(out[1], 8, kDoubleExact);
}

TEST(LinearInterpolation, RefusesTooFewSamples) {
  const double x[1] = {0}, y[1] = {1}, q[1] = {0};
  double out[1];
  EXPECT_EQ(linterpol1(x, y, 1, q, out, 1), -1);
  EXPECT_EQ(linterpol1(nullptr, y, 2, q, out, 1), -1);
}

}  // namespace

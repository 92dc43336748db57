#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/CAnteriorSegmentModule.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;

TEST(ReorderLayers, ThreeMeridiansAreFlippedSortedAndConvertedToRadians) {
  const int w = 4;
  std::vector<float> in = {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}, out(12);
  float angles[3] = {0.0f, 90.0f, 200.0f};
  CAnteriorSegmentModule m;
  m.ReorderLayers(in.data(), out.data(), 3, w, angles);
  const float deg = 0.01745329238474369f;
  EXPECT_FLOAT_EQ(angles[0], 90 * deg);
  EXPECT_FLOAT_EQ(angles[1], 160 * deg);
  EXPECT_FLOAT_EQ(angles[2], 180 * deg);
  EXPECT_EQ(in, (std::vector<float>{13, 12, 11, 10, 20, 21, 22, 23, 3, 2, 1, 0}));
  EXPECT_EQ(out, (std::vector<float>{3, 2, 1, 0, 13, 12, 11, 10, 20, 21, 22, 23}));
}

// A noisy corneal layer: a parabola plus a ripple of 8 A-scans.
std::vector<float> NoisyLayer(int w, int row) {
  std::vector<float> layer(w);
  for (int i = 0; i < w; ++i)
    layer[i] = static_cast<float>(200 + row + 1e-4 * (i - w / 2.0) * (i - w / 2.0) +
                                  3 * std::sin(i * 2 * M_PI / 8));
  return layer;
}

// A straight layer; the splines must reproduce it (the smoothing spline with zero curvature at
// the ends exactly, the cubic spline reproduces any quadratic).
double Line(double i) { return 120.0 + 0.02 * i; }

// Single-precision splines over a few thousand A-scans: a few float roundings of values near 200.
constexpr double kLineTolerance = 1e-3;
// The parabola under the ripple passes the low-pass smoothing up to this, away from the ends.
constexpr double kTrendTolerance = 0.3;

TEST(SmoothLayer, ReproducesAStraightRowAndRemovesARippleFromAParabola) {
  const int w = 512;
  std::vector<float> layer(2 * w), smooth(2 * w, -5.0f);
  std::vector<double> line(w), lineSmooth(w, -5.0);
  const auto noisy = NoisyLayer(w, 1);
  for (int i = 0; i < w; ++i) {
    line[i] = layer[i] = static_cast<float>(Line(i));
    layer[w + i] = noisy[i];
  }
  CAnteriorSegmentModule m;
  m.SmoothLayer(layer.data(), 2, w, 0.05f, smooth.data());
  m.SmoothLayer(line.data(), 1, w, 0.05, lineSmooth.data());
  for (int i = 0; i < w; ++i) {
    EXPECT_NEAR(smooth[i], Line(i), kLineTolerance) << i;
    EXPECT_NEAR(lineSmooth[i], Line(i), kLineTolerance) << i;
    const double trend = 201 + 1e-4 * (i - w / 2.0) * (i - w / 2.0);
    if (i > 20 && i < w - 20) {
      EXPECT_NEAR(smooth[w + i], trend, kTrendTolerance) << i;
    }
  }
  // A wavelength longer than the layer cannot be honoured.
  try {
    m.SmoothLayer(layer.data(), 1, w, 1.5f, smooth.data());
    FAIL();
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "bspline() failed.");
  }
}

TEST(BsplineWrapper, LeavesOutputsOutsideTheDataUnchanged) {
  std::vector<double> x = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, y(x.size());
  for (size_t i = 0; i < x.size(); ++i) y[i] = 2 * x[i] + 1;
  const double xi[4] = {5, 10, 15, 25};
  double yi[4] = {-7, -7, -7, -7};
  CAnteriorSegmentModule m;
  ASSERT_EQ(m.bspline(x.data(), y.data(), 11, xi, yi, 4, 3.0f, 2), 0);
  EXPECT_EQ(yi[0], -7);
  EXPECT_NEAR(yi[1], 21, 1e-6);  // a straight line passes unchanged
  EXPECT_NEAR(yi[2], 31, 1e-6);
  EXPECT_EQ(yi[3], -7);
  EXPECT_EQ(m.bspline(x.data(), y.data(), 11, xi, yi, 4, 30.0f, 2), -1);
}

TEST(ResampleLayer, ReproducesAParabolaSkipsGapsAndRescalesDepth) {
  const int n = 64, m = 256;
  std::vector<float> in(n), out(m);
  auto parabola = [](double x) { return 100 + 0.001 * x * x; };
  for (int i = 0; i < n; ++i) in[i] = static_cast<float>(parabola((m - 1) * double(i) / (n - 1)));
  CAnteriorSegmentModule mod;
  mod.ResampleLayer(in.data(), n, out.data(), m);
  for (int j = 0; j < m; ++j) EXPECT_NEAR(out[j], parabola(j), kLineTolerance) << j;
  // With a gap (-1) the spline runs through the remaining points; axial subsample 2 doubles the
  // depths; mode 1 smooths without moving a parabola.
  in[10] = in[11] = -1.0f;
  mod.ResampleLayer(in.data(), n, out.data(), m, 2, 1, 0.1f);
  for (int j = 0; j < m; ++j) EXPECT_NEAR(out[j], 2 * parabola(j), 0.05) << j;
}

TEST(LayerSplines, RowsWiderThan2048AScansAreInterpolatedEverywhere) {
  // A straight layer over 3000 A-scans with every seventh A-scan missing (never the first or
  // the last, so every output lies within the points' span).
  const int w = 3000;
  std::vector<float> x(w), layer(w), out(w);
  for (int i = 0; i < w; ++i) {
    x[i] = static_cast<float>(i);
    layer[i] = i % 7 == 4 ? -1.0f : static_cast<float>(Line(i));
  }
  CAnteriorSegmentModule m;
  auto expectLine = [&](const char* what) {
    for (int i = 0; i < w; ++i) ASSERT_NEAR(out[i], Line(i), kLineTolerance) << what << " " << i;
  };
  std::fill(out.begin(), out.end(), -7.0f);
  m.CsplineInterpolation(x.data(), layer.data(), w, x.data(), out.data(), w);
  expectLine("cubic spline");
  std::fill(out.begin(), out.end(), -7.0f);
  m.BsplineInterpolation(x.data(), layer.data(), w, x.data(), out.data(), w, 0.05f);
  expectLine("smoothing spline");
  std::fill(out.begin(), out.end(), -7.0f);
  m.ResampleLayer(layer.data(), w, out.data(), w, 1, 1, 0.05f);
  expectLine("resampling");
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/numerics/BSpline.h"
#include "common/numerics/Splines.h"
#include "engines/base/CAnteriorSegmentModule.h"
#include "core/AlgorithmException.h"

namespace {

using Talvex::Common::Algorithms::Numerics::BSpline;
using Talvex::Common::Algorithms::Numerics::cspline;
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

TEST(SmoothLayer, EachRowEqualsItsSmoothingSplineAndLosesTheRipple) {
  const int w = 512, rows = 2;
  std::vector<float> layer, smooth(rows * w, -5.0f), x(w);
  for (int r = 0; r < rows; ++r) {
    const auto row = NoisyLayer(w, r);
    layer.insert(layer.end(), row.begin(), row.end());
  }
  for (int i = 0; i < w; ++i) x[i] = static_cast<float>(i);
  CAnteriorSegmentModule m;
  m.SmoothLayer(layer.data(), rows, w, 0.05f, smooth.data());
  for (int r = 0; r < rows; ++r) {
    const BSpline<float> spline(x.data(), w, layer.data() + r * w, w * 0.05f, 2, 0);
    for (int i = 0; i < w; ++i) {
      EXPECT_EQ(smooth[r * w + i], spline.evaluate(x[i]));
      const double trend = 200 + r + 1e-4 * (i - w / 2.0) * (i - w / 2.0);
      if (i > 20 && i < w - 20) {
        EXPECT_NEAR(smooth[r * w + i], trend, 0.3);
      }
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

TEST(ResampleLayer, FollowsTheCubicSplineSkipsGapsAndRescalesDepth) {
  const int n = 64, m = 256;
  std::vector<float> in(n), xin(n), xout(m), viaSpline(m), out(m);
  for (int i = 0; i < n; ++i) {
    xin[i] = static_cast<float>((m - 1) * static_cast<double>(i) / (n - 1));
    in[i] = 100 + 0.001f * xin[i] * xin[i];
  }
  for (int j = 0; j < m; ++j) xout[j] = static_cast<float>(j);
  CAnteriorSegmentModule mod;
  mod.ResampleLayer(in.data(), n, out.data(), m);
  ASSERT_EQ(cspline(xin.data(), in.data(), n, xout.data(), viaSpline.data(), m), 0);
  EXPECT_EQ(out, viaSpline);
  // With a gap (-1) the spline runs through the remaining points; axial subsample 2 doubles the
  // depths; mode 1 smooths without moving a parabola.
  std::vector<float> gappy = in;
  gappy[10] = gappy[11] = -1.0f;
  mod.ResampleLayer(gappy.data(), n, out.data(), m, 2, 1, 0.1f);
  for (int j = 0; j < m; ++j) EXPECT_NEAR(out[j], 2 * (100 + 0.001 * j * j), 0.05) << j;
}

}  // namespace

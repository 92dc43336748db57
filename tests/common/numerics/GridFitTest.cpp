#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/numerics/GridFit.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

constexpr double kPi = 3.14159265358979323846;

std::vector<float> Nodes(float a, float b, int n) {
  std::vector<float> v(n);
  for (int k = 0; k < n; ++k) v[k] = static_cast<float>(a + (b - a) * k / (n - 1.0));
  return v;
}

// A smooth corneal-like surface (mm): paraboloid, gentle tilt and a cone-shaped bump whose
// apex is rounded off so that the surface stays smooth.
double KnownSurface(double x, double y) {
  const double d = std::hypot(x - 0.8, y + 0.5);
  const double bump = 0.15 * std::exp(-d * d / 0.5);
  return 0.55 + 0.04 * (x * x + y * y) + 0.02 * x - 0.015 * y + bump;
}

// Samples of 16 meridians of 1024 points across a 6 mm scan.
struct Radial {
  std::vector<float> x, y, z;
};
Radial RadialSamples(int meridians, int points, double halfWidth) {
  Radial s;
  for (int b = 0; b < meridians; ++b) {
    const double theta = kPi * b / meridians;
    for (int k = 0; k < points; ++k) {
      const double r = -halfWidth + 2.0 * halfWidth * k / (points - 1);
      s.x.push_back(static_cast<float>(r * std::cos(theta)));
      s.y.push_back(static_cast<float>(r * std::sin(theta)));
      s.z.push_back(static_cast<float>(KnownSurface(s.x.back(), s.y.back())));
    }
  }
  return s;
}

TEST(Histc, ValuesOnAnEdgeOpenTheirBinAndTheLastEdgeHasItsOwnBin) {
  const std::vector<float> edges = {0.0f, 1.0f, 2.5f, 4.0f};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> x = {0.0f, 0.999f, 1.0f, 2.5f, 3.99f, 4.0f, -0.1f, 4.1f, nan};
  std::vector<int> bin(4, -7), idx(x.size(), -7);
  ASSERT_EQ(histc(x.data(), static_cast<int>(x.size()), edges.data(), 4, bin.data(), idx.data()),
            0);
  EXPECT_EQ(idx, (std::vector<int>{0, 0, 1, 2, 2, 3, 0, 0, 0}));
  EXPECT_EQ(bin, (std::vector<int>{2, 1, 2, 1}));  // outside and NaN not counted
}

TEST(GridFit, SortsTripletEntriesByRowThenColumnWithTheirValues) {
  std::vector<int> i = {2, 0, 2, 1, 0, 2}, j = {3, 1, 0, 2, 0, 0};
  std::vector<float> x = {1, 2, 3, 4, 5, 6};
  CsMatrix T(cs_set(i.data(), j.data(), x.data(), 6, 3, 4));
  ASSERT_EQ(CGridFit::sortmatrixij(T.get()), 0);
  EXPECT_EQ(std::vector<int>(T->i, T->i + 6), (std::vector<int>{0, 0, 1, 2, 2, 2}));
  EXPECT_EQ(std::vector<int>(T->p, T->p + 6), (std::vector<int>{0, 1, 2, 0, 0, 3}));
  // Equal positions keep their order: (2, 0) holds 3 before 6.
  EXPECT_EQ(std::vector<float>(T->x, T->x + 6), (std::vector<float>{5, 2, 4, 3, 6, 1}));
}

TEST(GridFit, ReconstructsASmoothSurfaceFromRadialMeridiansForEverySchemeAndRegulariser) {
  const Radial s = RadialSamples(16, 1024, 3.0);
  const int nodes = 128;
  const std::vector<float> g = Nodes(-3.0f, 3.0f, nodes);
  for (int interp : {0, 1}) {
    for (int regul : {0, 1}) {
      std::vector<float> zi(nodes * nodes);
      ASSERT_EQ(CGridFit::gridfit(s.x.data(), s.y.data(), s.z.data(), static_cast<int>(s.x.size()),
                                  g.data(), nodes, g.data(), nodes, interp, regul, 1.0f, zi.data()),
                0);
      double err2 = 0, ref2 = 0;
      for (int ix = 0; ix < nodes; ++ix) {
        for (int iy = 0; iy < nodes; ++iy) {
          if (std::hypot(g[ix], g[iy]) > 2.9) continue;
          const double truth = KnownSurface(g[ix], g[iy]);
          err2 += std::pow(zi[ix * nodes + iy] - truth, 2);
          ref2 += truth * truth;
        }
      }
      const double relativeRms = std::sqrt(err2 / ref2);
      EXPECT_LT(relativeRms, 0.005) << "interp " << interp << " regul " << regul;
      RecordProperty("rms_interp" + std::to_string(interp) + "_regul" + std::to_string(regul),
                     std::to_string(relativeRms));
    }
  }
}

TEST(GridFit, ReproducesSamplesOnTheNodesWithoutSmoothingLastNodeIncluded) {
  // Every node of a 3 x 4 grid carries one sample, the last nodes of both axes included: with no
  // smoothing the fit must return the samples themselves.
  const std::vector<float> xi = {0.0f, 1.0f, 3.0f}, yi = {-1.0f, 0.0f, 0.5f, 2.0f};
  std::vector<float> x, y, z;
  for (float a : xi)
    for (float b : yi) {
      x.push_back(a);
      y.push_back(b);
      z.push_back(a * a - 2 * b + a * b);
    }
  for (int interp : {0, 1}) {
    std::vector<float> zi(12);
    ASSERT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 12, xi.data(), 3, yi.data(), 4,
                                interp, 0, 0.0f, zi.data()),
              0);
    for (int g = 0; g < 12; ++g) EXPECT_NEAR(zi[g], z[g], 1e-4) << "interp " << interp;
  }
}

TEST(GridFit, DropsSamplesOutsideTheNodeRangeInsteadOfFoldingThemIntoTheFirstCell) {
  const std::vector<float> g = Nodes(-1.0f, 1.0f, 9);
  std::vector<float> x, y, z;
  for (int k = 0; k < 200; ++k) {
    x.push_back(static_cast<float>(std::cos(k * 0.37) * 0.95));
    y.push_back(static_cast<float>(std::sin(k * 0.53) * 0.95));
    z.push_back(2.0f + 0.5f * x.back() - 0.25f * y.back());  // a plane
  }
  std::vector<float> inside(81), withOutliers(81);
  ASSERT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 200, g.data(), 9, g.data(), 9, 1, 0,
                              0.5f, inside.data()),
            0);
  // The fit of a plane is the plane (its second differences vanish).
  for (int ix = 0; ix < 9; ++ix)
    for (int iy = 0; iy < 9; ++iy)
      EXPECT_NEAR(inside[ix * 9 + iy], 2.0f + 0.5f * g[ix] - 0.25f * g[iy], 1e-4);
  // Far-away samples of a wrong value change nothing.
  x.insert(x.end(), {-5.0f, 3.0f, 0.0f, std::numeric_limits<float>::quiet_NaN()});
  y.insert(y.end(), {-5.0f, 0.0f, 1.5f, 0.0f});
  z.insert(z.end(), {1000.0f, 1000.0f, 1000.0f, 1000.0f});
  ASSERT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 204, g.data(), 9, g.data(), 9, 1, 0,
                              0.5f, withOutliers.data()),
            0);
  EXPECT_EQ(withOutliers, inside);
}

TEST(GridFit, RefusesSingularSystemsAndUndefinedSchemes) {
  const std::vector<float> g = Nodes(0.0f, 4.0f, 5);
  const std::vector<float> x = {0.5f, 1.5f, 2.5f}, y = {0.5f, 0.5f, 0.5f}, z = {1, 2, 3};
  std::vector<float> zi(25, -3.0f);
  // No smoothing and nodes that no sample touches: the normal matrix is singular.
  EXPECT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 5, g.data(), 5, 1, 0, 0.0f,
                              zi.data()),
            -1);
  // With smoothing the same samples give a surface.
  EXPECT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 5, g.data(), 5, 1, 0, 1.0f,
                              zi.data()),
            0);
  EXPECT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 5, g.data(), 5, 2, 0, 1.0f,
                              zi.data()),
            -1);
  EXPECT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 5, g.data(), 5, 1, 2, 1.0f,
                              zi.data()),
            -1);
  EXPECT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 1, g.data(), 5, 1, 0, 1.0f,
                              zi.data()),
            -1);
  // An interp outside 0 .. 2 is the triangle scheme.
  std::vector<float> triangle(25), outOfRange(25);
  ASSERT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 5, g.data(), 5, 0, 1, 1.0f,
                              triangle.data()),
            0);
  ASSERT_EQ(CGridFit::gridfit(x.data(), y.data(), z.data(), 3, g.data(), 5, g.data(), 5, 7, 1, 1.0f,
                              outOfRange.data()),
            0);
  EXPECT_EQ(triangle, outOfRange);
}

}  // namespace

// The vertex methods on an analytic sphere with a known apex, the caller's arrays they
// change, their limits and exact messages, and the leveling and correlation helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/numerics/ZernikeFit.h"
#include "common/numerics/ZernikeRadialCartesian.h"
#include "core/AlgorithmException.h"
#include "engines/cornea_vertex/CCorneaVertex.h"
#include "interface/CCorneaVertexAlgorithm.h"
#include "tests/support/MessageOf.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

constexpr int kN = 8, kW = 256, kDepthPix = 1000;
constexpr float kDepthMu = 2000.0f, kHalfField = 4000.0f;
constexpr double kApexX = 400.0, kApexY = -240.0, kRadius = 7700.0;

// Facade rows of a sphere of apex (apexX, apexY): meridian b has angle 180 - 180 b / N, which
// the library turns into b * 180 / N with the row reversed.
struct Sphere {
  std::vector<float> layers, degrees;
  explicit Sphere(double apexX = kApexX, double apexY = kApexY, double radius = kRadius)
      : layers(kN * kW), degrees(kN) {
    for (int b = 0; b < kN; ++b) {
      degrees[b] = 180.0f - 180.0f * b / kN;
      const double c = M_PI * b / kN;
      for (int j = 0; j < kW; ++j) {
        const double r = -kHalfField + 2.0 * kHalfField * j / (kW - 1);
        const double x = r * std::cos(c), y = r * std::sin(c);
        const double d2 = (x - apexX) * (x - apexX) + (y - apexY) * (y - apexY);
        const double z = 300.0 + radius - std::sqrt(radius * radius - d2);
        layers[b * kW + (kW - 1 - j)] = static_cast<float>(z * kDepthPix / kDepthMu);
      }
    }
  }
};

double GridX(float column) { return -kHalfField + column * 2.0 * kHalfField / (kW - 1); }

using Talvex::Testing::MessageOf;

TEST(CorneaVertex, QuadricAndZernikeFindTheApexOfASphereWithinOnePixel) {
  Sphere p;
  const float fov[2] = {kHalfField, kHalfField};
  const double pixel = 2.0 * kHalfField / (kW - 1);
  CCorneaVertexAlgorithm vertex;
  float q[2], z[2];
  vertex.CorneaVertexQ(p.layers.data(), p.degrees.data(), kN, kW, kDepthPix, kDepthMu, fov, 2500.0f,
                       q);
  EXPECT_NEAR(GridX(q[0]), kApexX, pixel);
  EXPECT_NEAR(GridX(q[1]), kApexY, pixel);
  vertex.CorneaVertexZ(p.layers.data(), p.degrees.data(), kN, kDepthPix, kW,
                       static_cast<int>(kDepthMu), static_cast<int>(2 * kHalfField), 4, z);
  EXPECT_NEAR(GridX(z[0]), kApexX, pixel);
  EXPECT_NEAR(GridX(z[1]), kApexY, pixel);
}

// Method Z by the whole reconstruction: the leveled rows in micrometres (missing samples 0.0),
// every node of the grid evaluated, and the first node of the smallest single-precision value,
// nodes exactly 0.0 excluded.
std::pair<float, float> ZernikeReference(std::vector<float> rows, int N, int W, int depthPix,
                                         int depthMu, int widthMu, int order) {
  using Common::Algorithms::Numerics::CZernikeFit;
  using Common::Algorithms::Numerics::CZernikeRadialCartesian;
  CCorneaVertex().CorrectZ(rows.data(), N, W, -1.0f);
  std::vector<double> elevation(rows.size(), 0.0);
  for (std::size_t k = 0; k < rows.size(); ++k)
    if (rows[k] != -1.0f) elevation[k] = double(rows[k]) * (double(depthMu) / depthPix);
  const std::size_t P = std::size_t(W) * W, terms = CZernikeFit::zernike_term_count(order);
  std::vector<double> zernbase(terms * std::max(P, rows.size())), work(4 * P + rows.size());
  std::vector<double> angle(rows.size()), radius(rows.size()), grid(P);
  CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), elevation.data(), N, W,
                                            grid.data(), 0.5 * widthMu, order, zernbase.data(),
                                            work.data());
  std::size_t best = 0;
  const auto value = [&](std::size_t k) { return grid[k] == 0.0 ? 1e16f : float(grid[k]); };
  for (std::size_t k = 1; k < P; ++k)
    if (value(k) < value(best)) best = k;
  return {float(best % W), float(best / W)};
}

// Rows of a sphere (apex at (ax, ay) um, radius 7.7 mm) over an 8 mm field, in depth pixels of
// 2 um, with a ripple of the given amplitude and every `gap`-th sample missing (0: none).
std::vector<float> SphereRows(int N, int W, double ax, double ay, double ripple, int gap) {
  std::vector<float> rows(std::size_t(N) * W);
  for (int b = 0; b < N; ++b) {
    for (int j = 0; j < W; ++j) {
      const double r = -kHalfField + 2.0 * kHalfField * j / (W - 1), c = M_PI * b / N;
      const double direction = j < W / 2 ? c + M_PI : c;
      const double x = std::fabs(r) * std::cos(direction), y = std::fabs(r) * std::sin(direction);
      const double d2 = (x - ax) * (x - ax) + (y - ay) * (y - ay);
      const double z =
          300 + kRadius - std::sqrt(kRadius * kRadius - d2) + ripple * std::sin(0.3 * j);
      const bool missing = gap > 0 && (b * W + j) % gap == 0;
      rows[b * W + j] = missing ? -1.0f : static_cast<float>(z / 2.0);
    }
  }
  return rows;
}

TEST(CorneaVertex, ZernikeVertexIsTheShallowestNodeOfTheWholeReconstructedGrid) {
  struct Case {
    int N, W, order;
    double ax, ay, ripple;
    int gap;
  };
  const Case cases[] = {{8, 96, 4, 400, -240, 0, 0},     {6, 129, 2, 0, 0, 0, 0},
                        {8, 129, 6, -900, 350, 3, 7},    {12, 100, 8, 250, 700, 8, 5},
                        {5, 64, 10, -2500, -1800, 1, 0}, {7, 90, 3, 30, -20, 20, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "order " << c.order << ", width " << c.W);
    const std::vector<float> rows = SphereRows(c.N, c.W, c.ax, c.ay, c.ripple, c.gap);
    const std::vector<float> angles(c.N, 0.0f);
    float z[2];
    CCorneaVertex().CorneaVertexZ(rows.data(), angles.data(), c.N, 1000, c.W, 2000, 8000, c.order,
                                  z);
    const auto reference = ZernikeReference(rows, c.N, c.W, 1000, 2000, 8000, c.order);
    EXPECT_EQ(z[0], reference.first);
    EXPECT_EQ(z[1], reference.second);
  }
  // Order 0: the grid is one constant, the corner node (0, 0) is the first of equals.
  const std::vector<float> rows = SphereRows(4, 50, 300, 300, 0, 0), angles(4, 0.0f);
  float z[2];
  CCorneaVertex().CorneaVertexZ(rows.data(), angles.data(), 4, 1000, 50, 2000, 8000, 0, z);
  EXPECT_EQ(z[0], 0.0f);
  EXPECT_EQ(z[1], 0.0f);
}

TEST(CorneaVertex, ZernikeMethodLeavesTheCallersRowsSortedAndReversed) {
  Sphere p;
  const std::vector<float> given = p.layers;
  float z[2];
  CCorneaVertexAlgorithm().CorneaVertexZ(p.layers.data(), p.degrees.data(), kN, kDepthPix, kW, 2000,
                                         8000, 4, z);
  // Angles 180, 157.5, ... convert to 0, 22.5, ...: already ascending, every row reversed.
  for (int b = 0; b < kN; ++b)
    for (int j = 0; j < kW; ++j) ASSERT_EQ(p.layers[b * kW + j], given[b * kW + kW - 1 - j]);
}

TEST(CorneaVertex, QuadricVertexIsTheFirstGridNodeWhenTheApexLiesBeyondThatCorner) {
  Sphere p(-20000.0, -20000.0, 50000.0);
  const float fov[2] = {kHalfField, kHalfField};
  float q[2];
  CCorneaVertexAlgorithm().CorneaVertexQ(p.layers.data(), p.degrees.data(), kN, kW, kDepthPix,
                                         kDepthMu, fov, 2500.0f, q);
  EXPECT_EQ(q[0], 0.0f);
  EXPECT_EQ(q[1], 0.0f);
}

TEST(CorneaVertex, MeridianMethodAveragesTheApexProjections) {
  Sphere p;
  const float fov[2] = {kHalfField, kHalfField};
  std::vector<int> random(4096);
  for (std::size_t k = 0; k < random.size(); ++k)
    random[k] = static_cast<int>(k * 2654435761u % 2147483647u);
  float m[2];
  CCorneaVertexAlgorithm().CorneaVertexM(p.layers.data(), p.degrees.data(), kN, kW, kDepthPix,
                                         kDepthMu, fov, 2500.0f, random.data(),
                                         static_cast<std::uint32_t>(random.size()), m);
  // Evenly spaced meridians: the mean of the projections is half the apex offset.
  const double pitch = 2.0 * kHalfField / kW;
  EXPECT_NEAR((m[0] - kW / 2) * pitch, kApexX / 2, pitch);
  EXPECT_NEAR((m[1] - kW / 2) * pitch, kApexY / 2, pitch);
}

TEST(CorneaVertex, SpecularMethodBlanksTheCorneaAndFindsNoReflectionInAnEmptyScan) {
  std::vector<std::uint8_t> bscans(2 * 64 * 100, 0);
  std::vector<float> anterior(2 * 64, 20.0f), posterior(2 * 64, 60.0f), angles{0.0f, 1.0f};
  float s[2];
  CCorneaVertexAlgorithm().CorneaVertexS(bscans.data(), 2, 64, 100, anterior.data(),
                                         posterior.data(), angles.data(), 0.5f, s);
  EXPECT_EQ(s[0], -1.0f);
  EXPECT_EQ(s[1], -1.0f);

  std::fill(bscans.begin(), bscans.end(), 100);
  CCorneaVertexAlgorithm().CorneaVertexS(bscans.data(), 2, 64, 100, anterior.data(),
                                         posterior.data(), angles.data(), 0.5f, s);
  for (int i = 0; i < 2 * 64; ++i)
    for (int d = 0; d < 100; ++d)
      ASSERT_EQ(bscans[i * 100 + d], d >= 15 && d < 65 ? 0 : 100) << i << " " << d;
}

// A symmetric streak behind the cornea centred between A-scans 100 and 101: the reflection
// is found there to a tenth of an A-scan (each A-scan's profile sums that A-scan alone).
TEST(CorneaVertex, ReflectionIsFoundAtTheCentreOfASymmetricStreak) {
  constexpr int kAscans = 256, kLength = 100;
  constexpr double kCentre = 100.5;
  std::vector<std::uint8_t> image(kAscans * kLength, 10);
  for (int i = 0; i < kAscans; ++i)
    for (int d = 70; d < 90; ++d)
      image[i * kLength + d] = static_cast<std::uint8_t>(
          10 + 200 * std::exp(-0.5 * (i - kCentre) * (i - kCentre) / 16.0));
  std::vector<float> anterior(kAscans, 20.0f), posterior(kAscans, 60.0f);
  const float x = CCorneaVertex().MeridianSpecularReflection(
      image.data(), kAscans, kLength, anterior.data(), posterior.data(), kAscans, -1.0f, 0.9f);
  EXPECT_NEAR(x, kCentre, 0.1);
}

TEST(CorneaVertex, RefusesWideBscansAndTooManyMeridiansWithClearMessages) {
  EXPECT_EQ(MessageOf([] {
              float v[2], l[1] = {0}, a[1] = {0}, f[2] = {1, 1};
              CCorneaVertexAlgorithm().CorneaVertexQ(l, a, 1, 2049, 10, 1.0f, f, 1.0f, v);
            }),
            "Input B-scan width exceeds 2048 A-scans.");
  EXPECT_EQ(MessageOf([] {
              float v[2], l[1] = {0}, a[1] = {0}, f[2] = {1, 1};
              int r[1] = {0};
              CCorneaVertexAlgorithm().CorneaVertexM(l, a, 361, 16, 10, 1.0f, f, 1.0f, r, 1, v);
            }),
            "Number of meridians exceeds 360.");
  EXPECT_EQ(MessageOf([] {
              float v[2], l[1] = {0}, a[1] = {0};
              CCorneaVertexAlgorithm().CorneaVertexZ(l, a, 361, 10, 16, 1, 1, 2, v);
            }),
            "Number of meridians exceeds 360.");
  EXPECT_EQ(MessageOf([] {
              float v[2], l[1] = {0}, a[1] = {0};
              std::uint8_t im[1] = {0};
              CCorneaVertexAlgorithm().CorneaVertexS(im, 1, 2049, 10, l, l, a, 0.5f, v);
            }),
            "Input B-scan width exceeds 2048 A-scans.");
  // A meridian without a sample in the region cannot give its parabola.
  EXPECT_EQ(MessageOf([] {
              std::vector<float> l(64, -1.0f);
              float v[2], a[1] = {90}, f[2] = {4000, 4000};
              int r[4] = {1, 2, 3, 4};
              CCorneaVertexAlgorithm().CorneaVertexM(l.data(), a, 1, 64, 10, 1.0f, f, 100.0f, r, 4,
                                                     v);
            }),
            "ParabolaCoeff() failed.");
}

TEST(CorneaVertex, LevelingSubtractsTheCentralValueOnlyWithEnoughSamples) {
  CCorneaVertex engine;
  std::vector<float> r(101), z(101), few(101, -1.0f);
  for (int j = 0; j < 101; ++j) {
    r[j] = j - 50.0f;
    z[j] = 7.0f + 0.01f * r[j] * r[j] + 0.2f * r[j];
    if (j < 50) few[j] = z[j];
  }
  ASSERT_EQ(engine.CorrectZ(r.data(), z.data(), 101, 101, -1.0f), 0);
  EXPECT_NEAR(z[50], 0.0f, 1e-3);
  const std::vector<float> before = few;
  ASSERT_EQ(engine.CorrectZ(r.data(), few.data(), 101, 101, -1.0f), 0);
  EXPECT_EQ(few, before);  // 50 usable samples: left as it was
}

TEST(CorneaVertex, NormalisedCorrelationIsOneForEqualAndMinusOneForOppositeProfiles) {
  const float f[5] = {1, 3, 2, 5, 4}, g[5] = {-1, -3, -2, -5, -4};
  EXPECT_NEAR(CCorneaVertex::NormalizedCC(f, f, 5), 1.0f, 1e-5);
  EXPECT_NEAR(CCorneaVertex::NormalizedCC(f, g, 5), -1.0f, 1e-5);
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/numerics/ZernikeCartesian.h"
#include "common/numerics/ZernikeFit.h"
#include "common/numerics/ZernikeRadialCartesian.h"
#include "core/AlgorithmException.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;
using Talvex::SDOCT::Algorithms::AlgorithmException;

constexpr double kPi = 3.14159265358979;

// A polynomial of degree 4 in x and y: it lies in the span of the first 15 Zernike terms, so an
// order-4 fit must reproduce it exactly.
double Quartic(double x, double y) {
  return 550 + 20 * x * x + 15 * y * y - 8 * x + 3 * y + 2 * x * y + 0.5 * x * x * x -
         0.3 * x * x * y + 0.2 * x * x * x * x + 0.1 * x * x * y * y - 0.05 * y * y * y * y;
}

struct Polar {
  std::vector<double> angle, radius, value;
};

// 16 meridians of 1024 samples across a 6 mm scan, in polar form.
Polar RadialScan(int meridians, int points, double half) {
  Polar p;
  for (int b = 0; b < meridians; ++b) {
    const double theta = kPi * b / meridians;
    for (int k = 0; k < points; ++k) {
      const double r = -half + 2 * half * k / (points - 1);
      const double direction = r < 0 ? theta + kPi : theta;
      p.angle.push_back(direction);
      p.radius.push_back(std::fabs(r));
      p.value.push_back(
          Quartic(std::fabs(r) * std::cos(direction), std::fabs(r) * std::sin(direction)));
    }
  }
  return p;
}

TEST(ZernikeRadialCartesian, ScatteredSamplesOfAnOrderFourSurfaceAreReproducedOnTheGrid) {
  const Polar p = RadialScan(16, 1024, 3.0);
  const int n = static_cast<int>(p.value.size()), w = 128, order = 4, terms = 15;
  std::vector<double> zernbase(static_cast<size_t>(terms) * n), work(4 * w * w + n);
  std::vector<float> z(w * w);
  CZernikeRadialCartesian::Radial2Cartesian(p.angle.data(), p.radius.data(), p.value.data(), n, w,
                                            z.data(), 3.0, order, zernbase.data(), work.data());
  double worst = 0;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < w; ++j) {
      const double x = -3 + 6.0 * i / (w - 1), y = -3 + 6.0 * j / (w - 1);
      // z[i * w + j] is the value at (x_i, y_j); nodes beyond the radius hold the centre value.
      const double truth = std::hypot(x, y) > 3.0 ? Quartic(0, 0) : Quartic(x, y);
      worst = std::max(worst, std::fabs(z[i * w + j] - truth) / std::fabs(truth));
    }
  }
  EXPECT_LT(worst, 1e-5);
}

TEST(ZernikeRadialCartesian, RadialScanOverloadBuildsItsPositionsAndReproducesTheSurface) {
  const int scans = 8, steps = 65, order = 4, terms = 15, P = steps * steps;
  const double maxRadius = 3.0;
  std::vector<double> angle(scans * steps, -5), radius(scans * steps, -5), value(scans * steps);
  for (int b = 0; b < scans; ++b) {
    const double theta = b * (kPi - kPi / scans) / (scans - 1);
    for (int k = 0; k < steps; ++k) {
      const double r = k * 2 * maxRadius / (steps - 1) - maxRadius;
      const double direction = k < steps / 2 ? theta + kPi : theta;
      value[b * steps + k] =
          Quartic(std::fabs(r) * std::cos(direction), std::fabs(r) * std::sin(direction));
    }
  }
  std::vector<double> zernbase(static_cast<size_t>(terms) * P), work(4 * P + scans * steps), z(P);
  CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), value.data(), scans, steps,
                                            z.data(), maxRadius, order, zernbase.data(),
                                            work.data());
  EXPECT_NEAR(radius[3 * steps + 0], 3.0, 1e-12);
  EXPECT_EQ(radius[3 * steps + steps - 1], 3.0);
  EXPECT_NEAR(angle[0], kPi, 1e-12);                                     // first half reversed
  EXPECT_EQ(angle[(scans - 1) * steps + steps - 1], kPi - kPi / scans);  // last row exact
  for (int i = 0; i < steps; ++i) {
    for (int j = 0; j < steps; ++j) {
      const double x = -3 + 6.0 * j / (steps - 1), y = -3 + 6.0 * i / (steps - 1);
      // No transpose: z[i * w + j] is the value at (x_j, y_i).
      const double truth = std::hypot(x, y) > 3.0 ? Quartic(0, 0) : Quartic(x, y);
      EXPECT_NEAR(z[i * steps + j], truth, 1e-9 * truth);
    }
  }
}

TEST(ZernikeRadialCartesian, OrderZeroIsTheMeanOfTheValidSamplesAndMissingOnesAreLeftOut) {
  // Values -1 (no value) and a sample beyond the radius are left out of the fit.
  const std::vector<double> angle = {0.1, 1.0, 2.0, 3.0, 4.0}, radius = {0.5, 1.0, 1.5, 1.0, 9.0};
  const std::vector<double> value = {1.0, 2.0, 3.0, -1.0, 100.0};
  std::vector<double> zernbase(25), work(4 * 25 + 5);
  std::vector<float> z(25);
  CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), value.data(), 5, 5,
                                            z.data(), 2.0, 0, zernbase.data(), work.data());
  for (float v : z) EXPECT_FLOAT_EQ(v, 2.0f);

  // Every sample left out: the fit has nothing to work on.
  const std::vector<double> none = {-1.0, -1.0, -1.0, -1.0, -1.0};
  try {
    CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), none.data(), 5, 5,
                                              z.data(), 2.0, 0, zernbase.data(), work.data());
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexALgorithm: CZernikeFit::zernike_fit() failed.");
  }
}

TEST(ZernikeRadialCartesian, OnlyTheScatteredOverloadLimitsTheOrderTo23) {
  try {
    // Refused before any work: the arrays are never touched.
    CZernikeRadialCartesian::Radial2Cartesian(
        nullptr, nullptr, nullptr, 10, 10, static_cast<float*>(nullptr), 3.0, 24, nullptr, nullptr);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "max oder of zernike polymnomial allowed is 23.");
  }
  const int scans = 24, steps = 33, P = steps * steps, terms = 325;
  std::vector<double> angle(scans * steps), radius(scans * steps), value(scans * steps, 7.0);
  std::vector<double> zernbase(static_cast<size_t>(terms) * P), work(4 * P + scans * steps), z(P);
  EXPECT_NO_THROW(CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(),
                                                            value.data(), scans, steps, z.data(),
                                                            3.0, 24, zernbase.data(), work.data()));
}

// A rough surface of order 8 with missing samples: the split fit-and-evaluate gives the grid of
// the whole reconstruction bit for bit, at any node, and the Cartesian polynomial agrees with it
// within the rounding its magnitude bound allows.
TEST(ZernikeRadialCartesian, NodeEvaluationMatchesTheWholeGridAndTheCartesianFormAgrees) {
  const int scans = 6, steps = 40, order = 8, P = steps * steps, n = scans * steps;
  const int terms = CZernikeFit::zernike_term_count(order);
  const double maxRadius = 3.2;
  std::vector<double> angle(n), radius(n), value(n);
  for (int k = 0; k < n; ++k)
    value[k] = k % 11 == 0 ? 0.0 : 500 + 40 * std::sin(0.37 * k) + 0.01 * (k % 13) * k;
  std::vector<double> zernbase(static_cast<size_t>(terms) * P), work(4 * P + n), z(P);
  CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), value.data(), scans, steps,
                                            z.data(), maxRadius, order, zernbase.data(),
                                            work.data());
  const auto e =
      CZernikeRadialCartesian::FitRadialScan(angle.data(), radius.data(), value.data(), scans,
                                             steps, maxRadius, order, zernbase.data(), work.data());
  std::vector<int> nodes;
  for (int k = P - 1; k >= 0; k -= 3) nodes.push_back(k);  // any order, any subset
  std::vector<double> at(nodes.size());
  CZernikeRadialCartesian::EvaluateNodes(e, nodes.data(), static_cast<int>(nodes.size()),
                                         at.data());
  for (size_t k = 0; k < nodes.size(); ++k) ASSERT_EQ(at[k], z[nodes[k]]) << nodes[k];

  const CZernikeCartesian poly(e.coef.data(), order);
  const double R = std::trunc(maxRadius + 0.5), tolerance = 1e-12 * poly.magnitudeBound(1.2);
  std::vector<double> b(order + 1);
  for (int i = 0; i < steps; ++i) {
    const double y = -R + 2 * R * i / (steps - 1);
    poly.rowCoefficients(y / e.rmax, b.data());
    for (int j = 0; j < steps; ++j) {
      const double x = -R + 2 * R * j / (steps - 1);
      if (std::hypot(x, y) > maxRadius) continue;
      EXPECT_NEAR(poly.evaluateRow(b.data(), x / e.rmax), z[i * steps + j], tolerance);
    }
  }
}

}  // namespace

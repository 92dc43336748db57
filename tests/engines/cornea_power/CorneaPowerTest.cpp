// Corneal power on analytic corneas: paraboloids (whose meridian parabolas are exact, so the
// powers are the paraxial ones for any apex position), spheres against a least-squares parabola
// written here as the oracle, the one-third rule, the size limits and the facade lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tests/support/MessageOf.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kN1 = 1.376, kN2 = 1.336;

// A radial scan of synthetic surfaces: depth (um) as a function of the en-face position (um).
// A-scan j of the meridian at scanner angle a lies at r_j (cos a, -sin a), r_j evenly spaced
// from -F to F; depthPix samples span depthMu micrometres.
struct RadialScan {
  int meridians = 16, width = 1024, depthPix = 1024;
  float depthMu = 2300.0f, halfField = 4000.0f;
  std::vector<float> anterior, posterior, angles;

  double Position(int j) const { return -halfField + 2.0 * halfField * j / (width - 1); }

  void Build(const std::function<double(double, double)>& ant,
             const std::function<double(double, double)>& pst) {
    anterior.assign(static_cast<size_t>(meridians) * width, -1.0f);
    posterior = anterior;
    angles.resize(meridians);
    for (int b = 0; b < meridians; ++b) {
      angles[b] = static_cast<float>(180.0 * b / meridians);
      const double a = angles[b] * kPi / 180.0;
      for (int j = 0; j < width; ++j) {
        const double x = Position(j) * std::cos(a), y = -Position(j) * std::sin(a);
        anterior[b * width + j] = static_cast<float>(ant(x, y) * depthPix / depthMu);
        posterior[b * width + j] = static_cast<float>(pst(x, y) * depthPix / depthMu);
      }
    }
  }
};

struct Powers {
  int status = 0;
  float anterior = -99, posterior = -99, total = -99;
};

Powers PowerOf(CCorneaPowerAlgorithm& power, const RadialScan& s, float roi, float cct = 0.0f) {
  const float fov[2] = {s.halfField, s.halfField};
  Powers p;
  p.status = power.CornealPower(s.anterior.data(), s.posterior.data(), s.angles.data(), s.meridians,
                                s.width, s.depthPix, s.depthMu, fov, roi, cct, p.anterior,
                                p.posterior, p.total);
  return p;
}

Powers PowerOf(const RadialScan& s, float roi, float cct = 0.0f,
               CorneaPowerParameter parameters = CorneaPowerPresetStandard()) {
  CCorneaPowerAlgorithm power;
  power.Initialize(parameters);
  return PowerOf(power, s, roi, cct);
}

double ThickLens(double pa, double pp, double tUm) { return pa + pp - tUm * 1e-6 * pa * pp / kN1; }

// Sag of a sphere of radius R (um) centred on the axis, apex at depth z0.
std::function<double(double, double)> Sphere(double R, double z0) {
  return [=](double x, double y) { return z0 + R - std::sqrt(R * R - x * x - y * y); };
}

// Least-squares parabola z = a s^2 + b s + c through f at the scan's positions within [lo, hi],
// from the normal equations solved by Cramer's rule.
struct Parabola {
  double a = 0, b = 0, c = 0;
  double Vertex() const { return -b / (2 * a); }
  double Radius() const { return 1.0 / std::fabs(2 * a); }  // at the vertex
};

Parabola LeastSquares(const RadialScan& s, const std::function<double(double)>& f, double lo,
                      double hi) {
  double m[3][3] = {}, r[3] = {};
  for (int j = 0; j < s.width; ++j) {
    const double x = s.Position(j);
    if (x < lo || x > hi) continue;
    const double p[3] = {x * x, x, 1};
    for (int u = 0; u < 3; ++u) {
      r[u] += p[u] * f(x);
      for (int v = 0; v < 3; ++v) m[u][v] += p[u] * p[v];
    }
  }
  const auto det = [](const double k[3][3]) {
    return k[0][0] * (k[1][1] * k[2][2] - k[1][2] * k[2][1]) -
           k[0][1] * (k[1][0] * k[2][2] - k[1][2] * k[2][0]) +
           k[0][2] * (k[1][0] * k[2][1] - k[1][1] * k[2][0]);
  };
  double x[3];
  for (int col = 0; col < 3; ++col) {
    double k[3][3];
    for (int u = 0; u < 3; ++u)
      for (int v = 0; v < 3; ++v) k[u][v] = v == col ? r[u] : m[u][v];
    x[col] = det(k) / det(m);
  }
  return {x[0], x[1], x[2]};
}

// Circle of radius R through the meridian, lowest at s0: the section of a sphere.
std::function<double(double)> Circle(double R, double s0) {
  return [=](double x) { return R - std::sqrt(R * R - (x - s0) * (x - s0)); };
}

// Radius at the vertex of the least-squares parabola through a centred circle over the zone.
double FittedSphereRadius(const RadialScan& s, double R, double roi) {
  return LeastSquares(s, Circle(R, 0), -roi, roi).Radius();
}

TEST(CorneaPower, ParaboloidsGiveTheirApicalPowersWhereverTheApexLies) {
  // Paraboloids of revolution about an axis 0.3 mm nasal and 0.2 mm down: every meridian cuts a
  // parabola of the apical radius, so the fit is exact once the zone is found.
  const double Ra = 7700, Rp = 6800, cct = 500, x0 = 300, y0 = -200;
  RadialScan s;
  const auto paraboloid = [=](double R, double z0) {
    return [=](double x, double y) {
      return z0 + ((x - x0) * (x - x0) + (y - y0) * (y - y0)) / (2 * R);
    };
  };
  s.Build(paraboloid(Ra, 400), paraboloid(Rp, 400 + cct));
  const Powers p = PowerOf(s, 1500);
  const double pa = (kN1 - 1) / (Ra * 1e-6), pp = (kN2 - kN1) / (Rp * 1e-6);
  ASSERT_EQ(p.status, 0);
  EXPECT_NEAR(p.anterior, pa, 0.01);   // 48.83 D
  EXPECT_NEAR(p.posterior, pp, 0.01);  // -5.88 D
  // The thickness is read along the A-scan at the anterior apex: the paraboloids are parallel
  // along the depth axis, so it is cct on every meridian.
  EXPECT_NEAR(p.total, ThickLens(pa, pp, cct), 0.01);
}

TEST(CorneaPower, SpheresGiveTheRadiusOfTheLeastSquaresParabolaOverTheZone) {
  for (const double roi : {1000.0, 1500.0, 2000.0}) {
    const double Ra = 7800, Rp = 6500, cct = 540;
    RadialScan s;
    s.Build(Sphere(Ra, 300), Sphere(Rp, 300 + cct));
    const Powers p = PowerOf(s, static_cast<float>(roi));
    const double pa = (kN1 - 1) / (FittedSphereRadius(s, Ra, roi) * 1e-6);
    const double pp = (kN2 - kN1) / (FittedSphereRadius(s, Rp, roi) * 1e-6);
    ASSERT_EQ(p.status, 0) << roi;
    EXPECT_NEAR(p.anterior, pa, 0.005) << roi;
    EXPECT_NEAR(p.posterior, pp, 0.005) << roi;
    EXPECT_NEAR(p.total, ThickLens(pa, pp, cct), 0.005) << roi;
    // A parabola fitted over a zone of a sphere bends more than the sphere's apex.
    EXPECT_GT(p.anterior, (kN1 - 1) / (Ra * 1e-6) + 0.01) << roi;
  }
}

TEST(CorneaPower, OffCentreSpheresAreFittedOverAZoneCentredOnTheirApex) {
  // Spheres centred 0.5 mm off the scan centre: meridian b cuts circles of radius
  // sqrt(R^2 - d_b^2), d_b the distance of its line from the spheres' axis, lowest at s0. Fitted
  // over the zone around the scan centre only, the meridians along the offset would read about
  // 0.3 D steeper.
  const double Ra = 7700, Rp = 6800, cct = 500, x0 = 500, roi = 1500;
  RadialScan s;
  const auto sphere = [=](double R, double z0) {
    return
        [=](double x, double y) { return z0 + R - std::sqrt(R * R - (x - x0) * (x - x0) - y * y); };
  };
  s.Build(sphere(Ra, 300), sphere(Rp, 300 + cct));
  // Anterior: a zone around the scan centre, then one around that first vertex; posterior: the
  // zone around the anterior vertex.
  double pa = 0, pp = 0, pt = 0;
  for (int b = 0; b < s.meridians; ++b) {
    const double a = s.angles[b] * kPi / 180.0;
    const double d = x0 * std::sin(a), s0 = x0 * std::cos(a);
    const double ra = std::sqrt(Ra * Ra - d * d), rp = std::sqrt(Rp * Rp - d * d);
    const double v1 = LeastSquares(s, Circle(ra, s0), -roi, roi).Vertex();
    const Parabola ant = LeastSquares(s, Circle(ra, s0), v1 - roi, v1 + roi);
    const double v = ant.Vertex();
    const Parabola pst = LeastSquares(s, Circle(rp, s0), v - roi, v + roi);
    const double cct_v = cct + Circle(rp, s0)(v) - Circle(ra, s0)(v) + (Rp - rp) - (Ra - ra);
    const double ppower = (kN2 - kN1) / (pst.Radius() * 1e-6);
    const double apower = (kN1 - 1) / (ant.Radius() * 1e-6);
    pa += apower / s.meridians;
    pp += ppower / s.meridians;
    pt += ThickLens(apower, ppower, cct_v) / s.meridians;
  }
  const Powers p = PowerOf(s, static_cast<float>(roi));
  ASSERT_EQ(p.status, 0);
  EXPECT_NEAR(p.anterior, pa, 0.02);
  EXPECT_NEAR(p.posterior, pp, 0.02);
  EXPECT_NEAR(p.total, pt, 0.02);
}

TEST(CorneaPower, AGivenCentralThicknessReplacesTheMeasuredOne) {
  RadialScan s;
  s.Build(Sphere(7700, 300), Sphere(6800, 800));
  const Powers measured = PowerOf(s, 1500), given = PowerOf(s, 1500, 650.0f);
  ASSERT_EQ(given.status, 0);
  EXPECT_FLOAT_EQ(given.anterior, measured.anterior);
  EXPECT_FLOAT_EQ(given.posterior, measured.posterior);
  EXPECT_NEAR(given.total, ThickLens(given.anterior, given.posterior, 650), 0.002);
  EXPECT_NEAR(measured.total, ThickLens(measured.anterior, measured.posterior, 500), 0.002);
}

TEST(CorneaPower, FewerThanAThirdOfTheMeridiansSucceedingGivesMinusOneAndLeavesTheOutputs) {
  // 9 meridians; those without anterior samples near the centre are skipped.
  RadialScan s;
  s.meridians = 9;
  s.Build(Sphere(7700, 300), Sphere(6800, 800));
  const auto keepOnly = [&](int kept) {
    RadialScan t = s;
    for (int b = kept; b < t.meridians; ++b)
      for (int j = 0; j < t.width; ++j)
        if (std::fabs(t.Position(j)) < 1600) t.anterior[b * t.width + j] = -1.0f;
    return t;
  };
  const Powers two = PowerOf(keepOnly(2), 1500);
  EXPECT_EQ(two.status, -1);
  EXPECT_EQ(two.anterior, -99);
  EXPECT_EQ(two.posterior, -99);
  EXPECT_EQ(two.total, -99);
  const Powers three = PowerOf(keepOnly(3), 1500), all = PowerOf(s, 1500);
  EXPECT_EQ(three.status, 0);
  EXPECT_NEAR(three.anterior, all.anterior, 1e-3);  // the same sphere on every meridian
  // A minimum sample count above the gathered count fails every meridian.
  CorneaPowerParameter tooMany = CorneaPowerPresetStandard();
  tooMany.ransacPercPoints = 1.5f;
  EXPECT_EQ(PowerOf(s, 1500, 0, tooMany).status, -1);
}

using Talvex::Testing::MessageOf;

TEST(CorneaPower, SizesBeyondTheWorkingTablesAndMissingInputsAreRefusedWithTheirMessages) {
  RadialScan s;
  s.meridians = 3;
  s.width = 64;
  s.Build(Sphere(7700, 300), Sphere(6800, 800));
  CCorneaPowerAlgorithm power;
  power.Initialize(CorneaPowerPresetStandard());
  const float fov[2] = {4000, 4000};
  float a = 0, p = 0, t = 0;
  const auto call = [&](const float* ant, const float* pst, int meridians, int width) {
    return [&, ant, pst, meridians, width] {
      power.CornealPower(ant, pst, s.angles.data(), meridians, width, 1024, 2300, fov, 1500, 0, a,
                         p, t);
    };
  };
  const std::string meridians = "CornealPower: the number of meridians must be between 1 and 360.";
  const std::string width =
      "CornealPower: the number of A-scans per B-scan must be between 1 and 2048.";
  // The size checks come before any array is read, so short arrays are safe here.
  EXPECT_EQ(MessageOf(call(s.anterior.data(), s.posterior.data(), 361, 1)), meridians);
  EXPECT_EQ(MessageOf(call(s.anterior.data(), s.posterior.data(), 0, 1)), meridians);
  EXPECT_EQ(MessageOf(call(s.anterior.data(), s.posterior.data(), 1, 2049)), width);
  EXPECT_EQ(MessageOf(call(s.anterior.data(), s.posterior.data(), 1, 0)), width);
  EXPECT_EQ(MessageOf(call(nullptr, s.posterior.data(), 3, 64)), "Input anterior layer is NULL.");
  EXPECT_EQ(MessageOf(call(s.anterior.data(), nullptr, 3, 64)), "Input posterior layer is NULL.");
  // Two meridians need no success (2 / 3 = 0), and the mean of none fails.
  std::vector<float> empty(2 * 64, -1.0f);
  EXPECT_EQ(MessageOf(call(empty.data(), empty.data(), 2, 64)), "IPP: ippsMean_32f() failed.");
  // The largest scan is taken: 360 meridians of 2048 A-scans.
  RadialScan big;
  big.meridians = 360;
  big.width = 2048;
  big.Build(Sphere(7700, 300), Sphere(6800, 800));
  EXPECT_EQ(PowerOf(power, big, 1500).status, 0);
}

TEST(CorneaPower, FacadeNeedsInitializeKeepsItsCopyOfTheRecordAndLeavesTheCallersArrays) {
  RadialScan s;
  s.meridians = 6;
  s.Build(Sphere(7700, 300), Sphere(6800, 800));
  const std::string missing = "CornealPower: parameter initialization is missing.";
  CCorneaPowerAlgorithm power;
  EXPECT_EQ(MessageOf([&] { PowerOf(power, s, 1500); }), missing);

  CorneaPowerParameter record = CorneaPowerPresetStandard();
  power.Initialize(record);
  const RadialScan before = s;
  const Powers first = PowerOf(power, s, 1500);
  EXPECT_EQ(s.anterior, before.anterior);
  EXPECT_EQ(s.posterior, before.posterior);
  EXPECT_EQ(s.angles, before.angles);
  // A changed record acts only through a new Initialize; repeated calls are identical.
  record.n1 = 1.3375f;
  const Powers second = PowerOf(power, s, 1500);
  EXPECT_EQ(second.anterior, first.anterior);
  EXPECT_EQ(second.total, first.total);
  power.Initialize(record);
  EXPECT_NEAR(PowerOf(power, s, 1500).anterior, first.anterior * 0.3375 / 0.376, 1e-3);

  power.Dispose();
  EXPECT_EQ(MessageOf([&] { PowerOf(power, s, 1500); }), missing);
  power.Dispose();  // a second release is harmless
  power.Initialize(CorneaPowerPresetStandard());
  EXPECT_EQ(PowerOf(power, s, 1500).anterior, first.anterior);
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

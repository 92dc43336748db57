// Corneal power on analytic corneas: paraboloids (whose meridian parabolas are exact, so the
// powers are the paraxial ones for any apex position), spheres against a least-squares parabola
// written here as the oracle, the one-third rule, the size limits and the facade lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "interface/Talvex.h"

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

// Radius at the vertex of the least-squares parabola z = a s^2 + c through the sag of a centred
// sphere at the scan's positions within roi (the sag is even, so the linear term vanishes).
double FittedSphereRadius(const RadialScan& s, double R, double roi) {
  double m0 = 0, m2 = 0, m4 = 0, f0 = 0, f2 = 0;
  for (int j = 0; j < s.width; ++j) {
    const double r = s.Position(j);
    if (std::fabs(r) > roi) continue;
    const double z = R - std::sqrt(R * R - r * r);
    m0 += 1, m2 += r * r, m4 += r * r * r * r, f0 += z, f2 += r * r * z;
  }
  const double a = (m0 * f2 - m2 * f0) / (m0 * m4 - m2 * m2);
  return 1.0 / (2.0 * a);
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

template <typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const AlgorithmException& e) {
    return e.what();
  }
  return "no exception";
}

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

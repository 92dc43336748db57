// Corneal power of synthetic eyes from the simulator's true image-space surfaces, dewarped, so
// that the test isolates the power from the segmentation: the powers must agree with the same
// meridian parabola fit evaluated on the exact surfaces (the simulator's fit power), and the
// table shows how far that fit lies from Gaussian optics of the apical radii.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

constexpr int kMeridians = 16, kWidth = 1024, kLength = 1024;
constexpr double kTotalToleranceD = 0.1, kSurfaceToleranceD = 0.15;

struct EyeCase {
  std::string name;
  Synthetic::ModelEye eye;
  friend void PrintTo(const EyeCase& c, std::ostream* os) { *os << c.name; }
};

struct Dewarped {
  Synthetic::SimulatedScan scan;
  std::vector<float> anterior, posterior, angles;
};

Dewarped DewarpTrueSurfaces(const Synthetic::ModelEye& eye) {
  Dewarped d;
  Synthetic::RenderSettings render;
  render.speckle = render.noise = false;
  d.scan = Synthetic::SimulateScan(eye, Synthetic::RadialProtocol(kMeridians, kWidth, kLength),
                                   render, 7, 0);
  const int n = kMeridians * kWidth, D = static_cast<int>(std::ceil(kLength * 1.386));
  std::vector<float> ant(n), pst(n);
  for (int b = 0; b < kMeridians; ++b) {
    const auto& t = d.scan.truth.bscans[b];
    std::copy(t.anterior.begin(), t.anterior.end(), ant.begin() + b * kWidth);
    std::copy(t.posterior.begin(), t.posterior.end(), pst.begin() + b * kWidth);
    d.angles.push_back(static_cast<float>(t.angleDeg));
  }
  // The scanner's description with the eye's own corneal indices.
  DewarpScanner s = DewarpPresetRadial8mm();
  s.n_phase[0] = static_cast<float>(eye.cornea.phase);
  s.n_group[0] = static_cast<float>(eye.cornea.group);
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeCornea(s.n_phase[0], s.n_group[0], s.n_ref, kMeridians, d.angles.data(),
                             s.half_FOV, s.half_telecentricity, s.scan_sag, s.scan_depth);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n) * D);
  d.anterior.assign(n, -1);
  d.posterior.assign(n, -1);
  dewarping.DewarpCornea(d.scan.volume.data(), kMeridians, kWidth, kLength, 0.05f, ant.data(),
                         pst.data(), out.data(), D, d.anterior.data(), d.posterior.data());
  return d;
}

struct Powers {
  float anterior = 0, posterior = 0, total = 0;
};

// Powers of the dewarped surfaces for a given half field (micrometres), with the eye's indices
// (the Navarro eye's 1.3771 / 1.3374 differ from the preset's by 0.3 D of anterior power).
Powers PowerOf(const Dewarped& d, const Synthetic::ModelEye& eye, float halfFieldMu) {
  CorneaPowerParameter record = CorneaPowerPresetStandard();
  record.n1 = static_cast<float>(eye.cornea.phase);
  record.n2 = static_cast<float>(eye.aqueous.phase);
  CCorneaPowerAlgorithm power;
  power.Initialize(record);
  const float fov[2] = {halfFieldMu, halfFieldMu};
  const DewarpScanner s = DewarpPresetRadial8mm();
  Powers p;
  const int status = power.CornealPower(
      d.anterior.data(), d.posterior.data(), d.angles.data(), kMeridians, kWidth, kLength,
      s.scan_depth * 1000.0f, fov, static_cast<float>(Synthetic::kFitPowerZoneRadiusMm * 1000.0),
      0.0f, p.anterior, p.posterior, p.total);
  EXPECT_EQ(status, 0);
  return p;
}

class CorneaPowerSyntheticEye : public ::testing::TestWithParam<EyeCase> {};

TEST_P(CorneaPowerSyntheticEye, PowerOfDewarpedTrueSurfacesMatchesTheFitOnTheExactSurfaces) {
  const Dewarped d = DewarpTrueSurfaces(GetParam().eye);
  // The dewarped image has columns of 2F / W: A-scan j sits at (j - W / 2) 2F / W, so the field
  // that puts W evenly spaced A-scans end to end at that pitch is F (W - 1) / W.
  const double F = DewarpPresetRadial8mm().half_FOV[0] * 1000.0;
  const Synthetic::ModelEye& eye = GetParam().eye;
  const Powers p = PowerOf(d, eye, static_cast<float>(F * (kWidth - 1) / kWidth));
  const Powers endToEnd = PowerOf(d, eye, static_cast<float>(F));
  const Synthetic::MeridianFitPower& fit = d.scan.truth.fitPower;
  const Synthetic::CornealPower& gauss = d.scan.truth.power;
  std::printf(
      "%-16s measured %+7.3f %+7.3f %+7.3f | field F: %+7.3f %+7.3f %+7.3f | fit (r %.1f mm) "
      "%+7.3f %+7.3f %+7.3f | Gaussian %+7.3f %+7.3f %+7.3f | fit - Gaussian %+6.3f %+6.3f "
      "%+6.3f D\n",
      GetParam().name.c_str(), p.anterior, p.posterior, p.total, endToEnd.anterior,
      endToEnd.posterior, endToEnd.total, fit.zoneRadiusMm, fit.anterior, fit.posterior, fit.total,
      gauss.anterior, gauss.posterior, gauss.total, fit.anterior - gauss.anterior,
      fit.posterior - gauss.posterior, fit.total - gauss.total);
  EXPECT_NEAR(p.anterior, fit.anterior, kSurfaceToleranceD);
  EXPECT_NEAR(p.posterior, fit.posterior, kSurfaceToleranceD);
  EXPECT_NEAR(p.total, fit.total, kTotalToleranceD);
}

INSTANTIATE_TEST_SUITE_P(
    Eyes, CorneaPowerSyntheticEye,
    ::testing::Values(EyeCase{"Gullstrand", Synthetic::GullstrandEye()},
                      EyeCase{"Navarro", Synthetic::NavarroEye()},
                      EyeCase{"PostRefractive", Synthetic::PostRefractiveEye()}),
    [](const ::testing::TestParamInfo<EyeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

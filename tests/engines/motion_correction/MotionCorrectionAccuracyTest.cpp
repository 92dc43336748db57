// Accuracy of the motion correction on simulated radial scans whose eye moves between meridians
// by a known amount (up to 50 um en face along each axis, up to 30 um axially): from the
// simulator's image-space anterior surfaces, which isolates the correction, and from the anterior
// surfaces segmented in the rendered scans.
//
// What can be compared: the correction finds the shifts up to one shift common to all meridians,
// and on a rotationally symmetric cornea only the lateral component along each meridian is
// determined (a meridian moved across its own direction samples the same surface). The test
// removes the common shift that best explains the differences (least squares) and compares the
// along-meridian and axial components; the across-meridian error is printed for information.
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
constexpr double kLateralMotionMm = 0.05, kAxialMotionMm = 0.03;
// RMS tolerance of the recovered along-meridian and axial shifts, um.
constexpr double kRmsToleranceUm = 5.0;

// The library's normalised angle of a scanner angle, degrees.
double LibraryAngleDeg(double a) {
  double c = 180.0 - a;
  if (c < 0) c += 360.0;
  return c > 180.0 ? c - 180.0 : c;
}

struct Recovery {
  double alongRms = 0, axialRms = 0, acrossRms = 0;
  double motionAlongRms = 0, motionAxialRms = 0;  // the motion itself, after the same gauge
};

// The common lateral shift T minimising sum_i ((d_i - T) . u_i)^2, u_i the meridian directions
// (2 x 2 normal equations).
void CommonLateralShift(const std::vector<double>& dx, const std::vector<double>& dy,
                        const std::vector<double>& theta, double* tx, double* ty) {
  double a = 0, b = 0, c = 0, p = 0, q = 0;
  for (std::size_t i = 0; i < theta.size(); ++i) {
    const double ux = std::cos(theta[i]), uy = std::sin(theta[i]);
    const double along = dx[i] * ux + dy[i] * uy;
    a += ux * ux, b += ux * uy, c += uy * uy, p += along * ux, q += along * uy;
  }
  const double det = a * c - b * b;
  *tx = (p * c - q * b) / det;
  *ty = (a * q - b * p) / det;
}

// RMS of the along, across and axial components of d after removing the best common shift.
void GaugeFreeRms(const std::vector<double>& dx, const std::vector<double>& dy,
                  const std::vector<double>& dz, const std::vector<double>& theta, double* along,
                  double* across, double* axial) {
  double tx = 0, ty = 0, tz = 0;
  CommonLateralShift(dx, dy, theta, &tx, &ty);
  for (double v : dz) tz += v / dz.size();
  double sa = 0, sc = 0, sz = 0;
  for (std::size_t i = 0; i < theta.size(); ++i) {
    const double ux = std::cos(theta[i]), uy = std::sin(theta[i]);
    const double ex = dx[i] - tx, ey = dy[i] - ty;
    sa += std::pow(ex * ux + ey * uy, 2);
    sc += std::pow(-ex * uy + ey * ux, 2);
    sz += std::pow(dz[i] - tz, 2);
  }
  const double n = static_cast<double>(theta.size());
  *along = std::sqrt(sa / n), *across = std::sqrt(sc / n), *axial = std::sqrt(sz / n);
}

// The anterior surface as segmented in the rendered scan (speckle and noise on).
std::vector<float> SegmentedAnterior(const Synthetic::SimulatedScan& scan,
                                     const std::vector<int>& random) {
  const int n = kMeridians * kWidth;
  std::vector<float> anterior(n, -1.0f), confidence(n, -1.0f);
  std::vector<std::uint8_t> buffer(scan.volume.size());
  CCorneaSegmentationAlgorithm segmentation;
  segmentation.Initialize(CorneaSegPresetRadial1024());
  segmentation.SegmentAnterior(scan.volume.data(), kMeridians, kWidth, kLength, random.data(),
                               static_cast<std::uint32_t>(random.size()), buffer.data(),
                               anterior.data(), confidence.data());
  return anterior;
}

Recovery Recover(const Synthetic::ModelEye& eye, std::uint64_t seed, bool segmented) {
  Synthetic::ScanProtocol protocol = Synthetic::RadialProtocol(kMeridians, kWidth, kLength);
  protocol.randomMotionLateralMm = kLateralMotionMm;
  protocol.randomMotionAxialMm = kAxialMotionMm;
  Synthetic::RenderSettings render;
  render.speckle = render.noise = segmented;
  const Synthetic::SimulatedScan scan = Synthetic::SimulateScan(eye, protocol, render, seed, 0);
  std::vector<int> random(4096);
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<int>(i * 7919 % 65521);

  std::vector<float> layers(kMeridians * kWidth), angles(kMeridians);
  for (int b = 0; b < kMeridians; ++b) {
    const auto& t = scan.truth.bscans[b];
    std::copy(t.anterior.begin(), t.anterior.end(), layers.begin() + b * kWidth);
    angles[b] = static_cast<float>(t.angleDeg);
  }
  if (segmented) layers = SegmentedAnterior(scan, random);
  // The anterior surface is seen through air: its depths are air micrometres at the optical
  // path of one sample.
  const float depth2um =
      static_cast<float>(Synthetic::kReferenceGroupIndex * 1000.0 * protocol.scanDepthMm / kLength);
  const float fovum = static_cast<float>(2000.0 * protocol.halfFieldMm[0]);
  std::vector<double> xyz(3 * kMeridians, 0.0);
  CCorneaMotionCorrectionAlgorithm correction;
  EXPECT_EQ(correction.MotionCorrectionParam(layers.data(), kMeridians, kWidth, 1, angles.data(),
                                             depth2um, fovum, random.data(),
                                             static_cast<int>(random.size()), xyz.data()),
            0);

  // Truth in the order of the output: ascending library angle.
  std::vector<int> order(kMeridians);
  for (int b = 0; b < kMeridians; ++b) order[b] = b;
  std::sort(order.begin(), order.end(),
            [&](int p, int q) { return LibraryAngleDeg(angles[p]) < LibraryAngleDeg(angles[q]); });
  std::vector<double> dx(kMeridians), dy(kMeridians), dz(kMeridians), theta(kMeridians);
  std::vector<double> mx(kMeridians), my(kMeridians), mz(kMeridians);
  for (int i = 0; i < kMeridians; ++i) {
    const auto& t = scan.truth.bscans[order[i]];
    theta[i] = LibraryAngleDeg(t.angleDeg) * M_PI / 180.0;
    dx[i] = xyz[i] - t.motionCorrectionUm[0];
    dy[i] = xyz[kMeridians + i] - t.motionCorrectionUm[1];
    dz[i] = xyz[2 * kMeridians + i] - t.motionCorrectionUm[2];
    mx[i] = t.motionCorrectionUm[0], my[i] = t.motionCorrectionUm[1],
    mz[i] = t.motionCorrectionUm[2];
  }
  Recovery r;
  GaugeFreeRms(dx, dy, dz, theta, &r.alongRms, &r.acrossRms, &r.axialRms);
  double unused = 0;
  GaugeFreeRms(mx, my, mz, theta, &r.motionAlongRms, &unused, &r.motionAxialRms);
  return r;
}

struct EyeCase {
  std::string name;
  Synthetic::ModelEye eye;
  std::uint64_t seed;
  friend void PrintTo(const EyeCase& c, std::ostream* os) { *os << c.name; }
};

class MotionCorrectionAccuracy : public ::testing::TestWithParam<EyeCase> {};

void ExpectRecovery(const EyeCase& c, bool segmented) {
  const Recovery r = Recover(c.eye, c.seed, segmented);
  std::printf(
      "%s, %s layers: motion RMS along %.2f um, axial %.2f um; error RMS along %.2f um, axial "
      "%.2f um, across %.2f um\n",
      c.name.c_str(), segmented ? "segmented" : "true", r.motionAlongRms, r.motionAxialRms,
      r.alongRms, r.axialRms, r.acrossRms);
  EXPECT_LT(r.alongRms, kRmsToleranceUm);
  EXPECT_LT(r.axialRms, kRmsToleranceUm);
}

TEST_P(MotionCorrectionAccuracy, RecoversTheShiftAlongEachMeridianAndTheAxialShift) {
  ExpectRecovery(GetParam(), false);
}

TEST_P(MotionCorrectionAccuracy, RecoversThemFromTheSegmentedAnteriorSurface) {
  ExpectRecovery(GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(Eyes, MotionCorrectionAccuracy,
                         ::testing::Values(EyeCase{"Gullstrand", Synthetic::GullstrandEye(), 11},
                                           EyeCase{"Navarro", Synthetic::NavarroEye(), 23},
                                           EyeCase{"Keratoconus", Synthetic::KeratoconusEye(), 37}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

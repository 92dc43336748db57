// What the motion correction buys a pachymetry map. A simulated radial scan whose eye moves
// between meridians (up to 50 um en face along each axis, 30 um axially) gives its true image
// layers; the correction runs on the anterior surface, its shifts are applied to both surfaces
// (Tools::ApplyMotionShifts: axially and along each meridian), the layers are dewarped as a host
// does and CCorneaMapAlgorithm::PachymetryMap builds the map. The map with the correction must lie
// closer to the true map than the one without.
//
// Map conventions (the facade's header): display pixel (column, row) of the n-wide map
// reconstructed on N nodes lies at -W/2 + min(i N / n, N - 1) W / (N - 1) along x (column) and
// along -y (row), y up. The true map states the thickness at the foot of the posterior normal, the
// facade at its anterior end, so each true pixel is read there (as the map accuracy tests do).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "interface/Talvex.h"
#include "tools/cornea_report/DewarpedLayers.h"
#include "tools/cornea_report/MotionShifts.h"
#include "tools/synthetic_eye/EyeGeometry.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

constexpr int kMeridians = 16, kWidth = 1024, kLength = 1024, kNodes = 128;
constexpr float kMapWidthMu = 8000.0f;
constexpr double kZoneRadiusMm = 3.0;

struct Layers {
  std::vector<float> anterior, posterior, angles;
};

Layers TrueLayers(const Synthetic::SimulatedScan& scan) {
  Layers l;
  for (const auto& t : scan.truth.bscans) {
    l.anterior.insert(l.anterior.end(), t.anterior.begin(), t.anterior.end());
    l.posterior.insert(l.posterior.end(), t.posterior.begin(), t.posterior.end());
    l.angles.push_back(static_cast<float>(t.angleDeg));
  }
  return l;
}

// The display map (kWidth x kWidth) of image-space layers: dewarped, posterior gaps bridged and
// marked unconfident, sub-pixel thickness, bilinear grid fit.
std::vector<float> PachymetryOf(const Synthetic::SimulatedScan& scan, const Layers& l) {
  const DewarpScanner s = DewarpPresetRadial8mm();
  const int depthPix = static_cast<int>(std::ceil(kLength * s.n_ref));
  const float depthMu = 1000.0f * s.scan_depth * depthPix / kLength;
  const int n = kMeridians * kWidth;
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeCornea(s.n_phase[0], s.n_group[0], s.n_ref, kMeridians, l.angles.data(),
                             s.half_FOV, s.half_telecentricity, s.scan_sag, s.scan_depth);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(n) * depthPix);
  std::vector<float> ant(n, -1), pst(n, -1), antConf(n, 1.0f), pstConf(n, 1.0f);
  std::vector<float> antIn = Tools::Bridged(l.anterior, kMeridians, kWidth);
  std::vector<float> pstIn = Tools::Bridged(l.posterior, kMeridians, kWidth);
  dewarping.DewarpCornea(scan.volume.data(), kMeridians, kWidth, kLength, 0.05f, antIn.data(),
                         pstIn.data(), image.data(), depthPix, ant.data(), pst.data());
  for (int k = 0; k < n; ++k) {
    if (l.anterior[k] < 0 || ant[k] < 0) antConf[k] = -1.0f;
    if (l.posterior[k] < 0 || pst[k] < 0) pstConf[k] = -1.0f;
  }
  ant = Tools::Bridged(ant, kMeridians, kWidth);
  pst = Tools::Bridged(pst, kMeridians, kWidth);
  const float fov[2] = {1000.0f * static_cast<float>(s.half_FOV[0]),
                        1000.0f * static_cast<float>(s.half_FOV[1])};
  std::vector<float> map(static_cast<std::size_t>(kWidth) * kWidth);
  std::vector<std::uint8_t> mask(map.size());
  CCorneaMapAlgorithm facade;
  facade.PachymetryMap(ant.data(), pst.data(), kMeridians, kWidth, depthPix, 0.05f, antConf.data(),
                       pstConf.data(), 0.0f, fov, depthMu, l.angles.data(), map.data(), mask.data(),
                       kNodes, kMapWidthMu, 1, 0, 1.0f,
                       CCorneaMapAlgorithm::ThicknessMeasure::SubPixel);
  for (std::size_t k = 0; k < map.size(); ++k)
    if (mask[k]) map[k] = -1.0f;
  return map;
}

// The display map read at (x, y) mm, y up, bilinearly; NaN where a neighbour has no value.
double MapAt(const std::vector<float>& map, double x, double y) {
  const auto index = [](double mm) {
    return (1000.0 * mm + kMapWidthMu / 2) * (kNodes - 1) / kMapWidthMu * kWidth / kNodes;
  };
  const double fc = index(x), fr = index(-y);
  const int c = static_cast<int>(std::floor(fc)), r = static_cast<int>(std::floor(fr));
  if (c < 0 || r < 0 || c + 1 >= kWidth || r + 1 >= kWidth) return NAN;
  const auto v = [&](int rr, int cc) { return map[static_cast<std::size_t>(rr) * kWidth + cc]; };
  if (v(r, c) < 0 || v(r + 1, c) < 0 || v(r, c + 1) < 0 || v(r + 1, c + 1) < 0) return NAN;
  const double u = fc - c, w = fr - r;
  return (1 - w) * ((1 - u) * v(r, c) + u * v(r, c + 1)) +
         w * ((1 - u) * v(r + 1, c) + u * v(r + 1, c + 1));
}

// RMS of map minus truth over the true pixels inside the central zone that the map covers.
double RmsAgainstTruth(const Synthetic::ModelEye& eye, const Synthetic::ThicknessMap& truth,
                       const std::vector<float>& map) {
  const double pitch = truth.diameterMm / (truth.width - 1), half = (truth.width - 1) / 2.0;
  double sum = 0;
  int count = 0;
  for (int r = 0; r < truth.width; ++r) {
    for (int c = 0; c < truth.width; ++c) {
      const double X = (c - half) * pitch, Y = (half - r) * pitch;
      const float t = truth.values[static_cast<std::size_t>(r) * truth.width + c];
      if (X * X + Y * Y > kZoneRadiusMm * kZoneRadiusMm || t < 0) continue;
      const auto n = Synthetic::Detail::SurfaceNormal(eye, Synthetic::Surface::Posterior, X, Y);
      const double v = MapAt(map, X + t / 1000.0 * n.x, Y + t / 1000.0 * n.y);
      if (std::isnan(v)) continue;
      sum += (v - t) * (v - t);
      ++count;
    }
  }
  EXPECT_GT(count, 2000);
  return std::sqrt(sum / std::max(count, 1));
}

// The keratoconus-like eye: its thickness varies across the map, so displaced meridians misplace
// it by several micrometres.
TEST(MotionCorrectedMap, PachymetryAfterTheCorrectionLiesCloserToTheTrueMap) {
  const Synthetic::ModelEye eye = Synthetic::KeratoconusEye();
  Synthetic::ScanProtocol protocol = Synthetic::RadialProtocol(kMeridians, kWidth, kLength);
  protocol.randomMotionLateralMm = 0.05;
  protocol.randomMotionAxialMm = 0.03;
  Synthetic::RenderSettings render;
  render.speckle = render.noise = false;
  const Synthetic::SimulatedScan scan = Synthetic::SimulateScan(eye, protocol, render, 11, 101);
  const Layers moved = TrueLayers(scan);

  std::vector<int> random(4096);
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<int>(i * 7919 % 65521);
  const float depth2um =
      static_cast<float>(Synthetic::kReferenceGroupIndex * 1000.0 * protocol.scanDepthMm / kLength);
  const float fovum = static_cast<float>(2000.0 * protocol.halfFieldMm[0]);
  std::vector<double> xyz(3 * kMeridians);
  CCorneaMotionCorrectionAlgorithm correction;
  ASSERT_EQ(correction.MotionCorrectionParam(moved.anterior.data(), kMeridians, kWidth, 1,
                                             moved.angles.data(), depth2um, fovum, random.data(),
                                             static_cast<int>(random.size()), xyz.data()),
            0);
  Layers corrected = moved;
  for (float* layer : {corrected.anterior.data(), corrected.posterior.data()})
    Tools::ApplyMotionShifts(xyz.data(), moved.angles.data(), kMeridians, kWidth, depth2um, fovum,
                             layer);

  const double before = RmsAgainstTruth(eye, scan.truth.pachymetry, PachymetryOf(scan, moved));
  const double after = RmsAgainstTruth(eye, scan.truth.pachymetry, PachymetryOf(scan, corrected));
  // The same eye scanned without motion: what the map pipeline itself leaves.
  Synthetic::ScanProtocol steady = protocol;
  steady.randomMotionLateralMm = steady.randomMotionAxialMm = 0.0;
  const Synthetic::SimulatedScan still = Synthetic::SimulateScan(eye, steady, render, 11, 101);
  const double floor =
      RmsAgainstTruth(eye, still.truth.pachymetry, PachymetryOf(still, TrueLayers(still)));
  std::printf(
      "pachymetry against the true map (central 6 mm): %.2f um RMS without the motion correction, "
      "%.2f um with it, %.2f um for the eye scanned without motion\n",
      before, after, floor);
  EXPECT_LT(after, before);
  // The error the motion adds (in quadrature above the still eye's) drops by more than 15 %: the
  // correction removes the part along the meridians, not the part across them.
  const auto added = [&](double rms) {
    return std::sqrt(std::max(rms * rms - floor * floor, 0.0));
  };
  EXPECT_LT(added(after), 0.85 * added(before));
}

TEST(MotionShifts, MoveSamplesAlongTheirMeridianAndAxiallyLessTheMeanAxialShift) {
  // B-scan 0 at 0 degrees (normalised 180: second output), B-scan 1 at 90 degrees (normalised 90:
  // first output); 11 A-scans over 100 um, 10 um apart; 2 um per depth sample.
  const float angles[2] = {0.0f, 90.0f};
  // Output 0 (B-scan 1, A-scans along (0, -1)): y = -20 um, 2 A-scans along; z = 10 um.
  // Output 1 (B-scan 0, along (1, 0)): x = -15 um, 1.5 A-scans back; z = 30 um. Mean z: 20 um.
  const double xyz[6] = {0.0, -15.0, -20.0, 0.0, 10.0, 30.0};
  std::vector<float> layers(22);
  for (int k = 0; k < 22; ++k) layers[k] = 100.0f + k % 11;
  layers[15] = -1.0f;  // B-scan 1, A-scan 4
  Tools::ApplyMotionShifts(xyz, angles, 2, 11, 2.0f, 100.0f, layers.data());
  for (int q = 0; q < 11; ++q) {
    const float b0 = q <= 8 ? 100.0f + q + 1.5f + 5.0f : -1.0f;
    const float b1 = q < 2 || q == 6 ? -1.0f : 100.0f + q - 2 - 5.0f;
    EXPECT_FLOAT_EQ(layers[q], b0) << q;
    EXPECT_FLOAT_EQ(layers[11 + q], b1) << q;
  }
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

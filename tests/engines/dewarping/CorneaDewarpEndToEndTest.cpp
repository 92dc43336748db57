// Dewarped corneal surfaces of the synthetic eye against its ray-traced physical surfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

struct Errors {
  double mean = 0, max = 0;
  int count = 0;
};

// Compares a dewarped layer of one B-scan with the physical points (eye frame, mm) of the same
// surface: each point is placed in the corrected image (lateral along the B-scan, axial from the
// zero delay; `samples` samples per `depth` mm) and the layer is read there by linear
// interpolation between columns. The error stems mostly from the whole-sample surface positions
// at which the beams are refracted and carried.
void Accumulate(const std::vector<float>& layer, int row, int W, int samples, double F,
                double depth, double angleDeg, double apexDepthMm, const std::vector<float>& image,
                const std::vector<float>& X, const std::vector<float>& Y,
                const std::vector<float>& Z, Errors& e) {
  const double a = angleDeg * M_PI / 180.0;
  for (int j = 0; j < W; ++j) {
    if (image[j] < 0) continue;
    const double lateral = X[j] * std::cos(a) - Y[j] * std::sin(a);
    const double c = lateral / (2 * F) * W + W / 2.0;
    const double p = (Z[j] + apexDepthMm) / depth * samples;
    const int c0 = static_cast<int>(std::floor(c));
    if (std::fabs(lateral) > 4.0 || c0 < 1 || c0 + 1 >= W) continue;
    const float v0 = layer[row + c0], v1 = layer[row + c0 + 1];
    if (v0 < 0 || v1 < 0) continue;
    const double err = std::fabs(v0 + (v1 - v0) * (c - c0) - p);
    e.mean += err;
    e.max = std::max(e.max, err);
    ++e.count;
  }
}

TEST(CorneaDewarpEndToEnd, DewarpedSurfacesLandOnThePhysicalSurfacesOfTheSyntheticEye) {
  const int W = 512, L = 512, D = static_cast<int>(std::ceil(L * 1.386));
  Synthetic::ScanProtocol protocol = Synthetic::RadialProtocol(4, W, L);
  Synthetic::RenderSettings render;
  render.speckle = render.noise = false;
  const Synthetic::SimulatedScan scan =
      Synthetic::SimulateScan(Synthetic::GullstrandEye(), protocol, render, 3);
  const int n = scan.numBscans;
  std::vector<float> ant(n * W), pst(n * W), directions(n), dAnt(n * W), dPst(n * W);
  for (int b = 0; b < n; ++b) {
    const auto& t = scan.truth.bscans[b];
    std::copy(t.anterior.begin(), t.anterior.end(), ant.begin() + b * W);
    std::copy(t.posterior.begin(), t.posterior.end(), pst.begin() + b * W);
    directions[b] = static_cast<float>(t.angleDeg);
  }
  const DewarpScanner s = DewarpPresetRadial8mm();
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeHDCornea(s.n_phase, s.n_group, s.n_ref, n, directions.data(), s.half_FOV,
                               s.half_telecentricity, s.scan_sag, s.scan_depth);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n) * W * D);
  dewarping.DewarpHDCorneaAnt(scan.volume.data(), n, W, L, ant.data(), pst.data(), out.data(), D,
                              dAnt.data(), dPst.data());
  Errors anterior, posterior;
  for (int b = 0; b < n; ++b) {
    const auto& t = scan.truth.bscans[b];
    Accumulate(dAnt, b * W, W, L, t.halfLengthMm, s.scan_depth, t.angleDeg, protocol.apexDepthMm,
               t.anterior, t.anteriorX, t.anteriorY, t.anteriorZ, anterior);
    Accumulate(dPst, b * W, W, L, t.halfLengthMm, s.scan_depth, t.angleDeg, protocol.apexDepthMm,
               t.posterior, t.posteriorX, t.posteriorY, t.posteriorZ, posterior);
  }
  ASSERT_GT(anterior.count, n * W * 8 / 10);
  ASSERT_GT(posterior.count, n * W * 8 / 10);
  anterior.mean /= anterior.count;
  posterior.mean /= posterior.count;
  std::printf("anterior mean %.3f max %.3f, posterior mean %.3f max %.3f samples\n", anterior.mean,
              anterior.max, posterior.mean, posterior.max);
  EXPECT_LT(anterior.mean, 0.6);
  EXPECT_LT(anterior.max, 1.2);
  EXPECT_LT(posterior.mean, 0.8);
  EXPECT_LT(posterior.max, 1.5);
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

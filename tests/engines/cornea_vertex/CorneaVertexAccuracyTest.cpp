// Accuracy of the four vertex methods on radial scans of a synthetic Gullstrand eye whose apex is
// decentred by 0, 0.3 mm (two diagonal directions) and 0.8 mm (four directions), with the eye
// tilted. Q, Z and M read the simulator's true anterior surface, dewarped (a Cartesian frame, as
// the methods assume); S reads the rendered B-scans with the true image-space surfaces. The
// positions are compared with the true vertices of the simulator: the apex of the surface as the
// scanner sees it (Q, Z, M) and the normal-incidence point of the scanner's beam (S).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/cornea_vertex/CCorneaVertex.h"
#include "interface/CCorneaVertexAlgorithm.h"
#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

constexpr int kMeridians = 16, kWidth = 1024, kLength = 1024;
constexpr double kHalfFieldUm = 4000.0;
// Within one map pixel or 20 um, whichever is larger.
constexpr double kToleranceUm = 20.0;
constexpr float kRoiRadiusUm = 2500.0f;
constexpr int kZernikeOrder = 6;
constexpr float kCorrelationThreshold = 0.95f;
constexpr double kTiltDeg[2] = {1.0, -0.5};

struct Case {
  double offsetMm, directionDeg;
};

// A simulated scan with its dewarped anterior surface and the inputs of every method.
struct VertexScan {
  Synthetic::SimulatedScan scan;
  std::vector<float> dewarped;             // anterior surface, dewarped samples
  int dewarpedLength = 0;                  // samples of the dewarped A-scan
  std::vector<float> degrees;              // meridian angles as the scanner gives them
  std::vector<float> radians;              // S: direction of each B-scan's second half
  std::vector<float> anterior, posterior;  // image-space surfaces
};

VertexScan Simulate(const Case& c) {
  VertexScan v;
  Synthetic::ScanProtocol p = Synthetic::RadialProtocol(kMeridians, kWidth, kLength);
  // Meridians at 180 / N .. 180 degrees: their converted angles are 0, 180 / N, ... as the
  // Zernike method lays them out.
  p.firstAngleDeg = 180.0 / kMeridians;
  p.eyeXMm = c.offsetMm * std::cos(c.directionDeg * M_PI / 180.0);
  p.eyeYMm = c.offsetMm * std::sin(c.directionDeg * M_PI / 180.0);
  p.eyeTiltDeg[0] = kTiltDeg[0];
  p.eyeTiltDeg[1] = kTiltDeg[1];
  v.scan =
      Synthetic::SimulateScan(Synthetic::GullstrandEye(), p, Synthetic::RenderSettings(), 11, 0);
  const int n = kMeridians * kWidth;
  v.anterior.resize(n);
  v.posterior.resize(n);
  for (int b = 0; b < kMeridians; ++b) {
    const auto& t = v.scan.truth.bscans[b];
    std::copy(t.anterior.begin(), t.anterior.end(), v.anterior.begin() + b * kWidth);
    std::copy(t.posterior.begin(), t.posterior.end(), v.posterior.begin() + b * kWidth);
    v.degrees.push_back(static_cast<float>(t.angleDeg));
    v.radians.push_back(static_cast<float>(-t.angleDeg * M_PI / 180.0));
  }
  const DewarpScanner s = DewarpPresetRadial8mm();
  v.dewarpedLength = static_cast<int>(std::ceil(kLength * 1.386));
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeCornea(s.n_phase[0], s.n_group[0], s.n_ref, kMeridians, v.degrees.data(),
                             s.half_FOV, s.half_telecentricity, s.scan_sag, s.scan_depth);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n) * v.dewarpedLength);
  std::vector<float> pst(n, -1.0f);
  v.dewarped.assign(n, -1.0f);
  dewarping.DewarpCornea(v.scan.volume.data(), kMeridians, kWidth, kLength, 0.05f,
                         v.anterior.data(), v.posterior.data(), out.data(), v.dewarpedLength,
                         v.dewarped.data(), pst.data());
  return v;
}

// En-face position (um) of each method's result.
struct Point {
  double x, y;
};
Point GridNode(const float* p, double halfSpanUm) {
  const double pitch = 2.0 * halfSpanUm / (kWidth - 1);
  return {-halfSpanUm + p[0] * pitch, -halfSpanUm + p[1] * pitch};
}
Point AroundHalfWidth(const float* p, double pitchUm) {
  return {(p[0] - kWidth / 2) * pitchUm, (p[1] - kWidth / 2) * pitchUm};
}

struct Results {
  Point q, z, m, s, apex, normal;
  Point apexProjections;    // mean of the apex's projections onto the meridians
  Point streakProjections;  // mean of the true reflection positions of the streaked B-scans
  // Reflection A-scan found and true, of every B-scan met at normal incidence within one lobe
  // width of the specular reflection.
  std::vector<std::pair<float, double>> reflections;
};

// The reflection of each B-scan whose beam meets the surface within one lobe width of normal
// incidence, found on a copy of its image.
void Reflections(const VertexScan& v, Results* r) {
  const double lobeDeg = Synthetic::RenderSettings().specularWidthDeg;
  for (int b = 0; b < kMeridians; ++b) {
    const auto& t = v.scan.truth.bscans[b];
    double smallest = 90.0;
    for (float i : t.incidenceDeg)
      if (i >= 0.0f) smallest = std::min(smallest, double(i));
    if (smallest > lobeDeg) continue;
    const std::size_t bytes = std::size_t(kWidth) * kLength;
    std::vector<std::uint8_t> image(v.scan.volume.begin() + b * bytes,
                                    v.scan.volume.begin() + (b + 1) * bytes);
    CCorneaVertex engine;
    const float x = engine.MeridianSpecularReflection(
        image.data(), kWidth, kLength, v.anterior.data() + b * kWidth,
        v.posterior.data() + b * kWidth, kWidth, -1.0f, kCorrelationThreshold);
    r->reflections.push_back({x, t.specularCentre});
  }
}

// The mean of the meridians' own vertex positions that M and S average: the apex projected onto
// every meridian (M), and the true reflection A-scan of every B-scan with a streak (S).
void MeridianOracles(const VertexScan& v, Results* r) {
  double mx = 0, my = 0, sx = 0, sy = 0;
  int streaked = 0;
  for (const auto& t : v.scan.truth.bscans) {
    const double a = -t.angleDeg * M_PI / 180.0;
    const double along = r->apex.x * std::cos(a) + r->apex.y * std::sin(a);
    mx += along * std::cos(a) / kMeridians, my += along * std::sin(a) / kMeridians;
    if (t.specularFirst < 0) continue;
    const double lateral =
        (t.specularCentre - kWidth * 0.5) * 2000.0 * t.halfLengthMm / (kWidth - 1);
    sx += lateral * std::cos(a), sy += lateral * std::sin(a), ++streaked;
  }
  r->apexProjections = {mx, my};
  r->streakProjections = {sx / std::max(streaked, 1), sy / std::max(streaked, 1)};
}

Results RunMethods(VertexScan& v) {
  CCorneaVertexAlgorithm vertex;
  const float depthMu = 1000.0f * DewarpPresetRadial8mm().scan_depth;
  const float fov[2] = {static_cast<float>(kHalfFieldUm), static_cast<float>(kHalfFieldUm)};
  float q[2], z[2], m[2], s[2];
  vertex.CorneaVertexQ(v.dewarped.data(), v.degrees.data(), kMeridians, kWidth, v.dewarpedLength,
                       depthMu, fov, kRoiRadiusUm, q);
  vertex.CorneaVertexM(v.dewarped.data(), v.degrees.data(), kMeridians, kWidth, v.dewarpedLength,
                       depthMu, fov, kRoiRadiusUm, CAnteriorSegmentModule::DefaultRandomValues(),
                       CAnteriorSegmentModule::kDefaultRandomCount, m);
  std::vector<float> sorted = v.dewarped;
  vertex.CorneaVertexZ(sorted.data(), v.degrees.data(), kMeridians, v.dewarpedLength, kWidth,
                       static_cast<int>(depthMu), static_cast<int>(2 * kHalfFieldUm), kZernikeOrder,
                       z);
  std::vector<std::uint8_t> bscans = v.scan.volume;
  vertex.CorneaVertexS(bscans.data(), kMeridians, kWidth, kLength, v.anterior.data(),
                       v.posterior.data(), v.radians.data(), kCorrelationThreshold, s);
  const auto& t = v.scan.truth.vertex;
  Results r{GridNode(q, kHalfFieldUm),
            GridNode(z, std::trunc(kHalfFieldUm + 0.5)),
            AroundHalfWidth(m, 2.0 * kHalfFieldUm / kWidth),
            AroundHalfWidth(s, 2.0 * kHalfFieldUm / (kWidth - 1)),
            {1000.0 * t.apexXMm, 1000.0 * t.apexYMm},
            {1000.0 * t.normalScanXMm, 1000.0 * t.normalScanYMm},
            {},
            {},
            {}};
  MeridianOracles(v, &r);
  Reflections(v, &r);
  return r;
}

double Distance(const Point& a, const Point& b) { return std::hypot(a.x - b.x, a.y - b.y); }

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = [] {
    // The large offset in all four directions, the small one along a diagonal both ways: seven
    // simulated scans (each takes about two seconds, many more under the sanitizers).
    std::vector<Case> c{{0.0, 0.0}, {0.3, 45.0}, {0.3, 225.0}};
    for (double direction : {0.0, 90.0, 180.0, 270.0}) c.push_back({0.8, direction});
    return c;
  }();
  return cases;
}

// Every case is simulated and measured once for all the tests below.
const std::vector<Results>& AllResults() {
  static const std::vector<Results> results = [] {
    std::vector<Results> r;
    for (const Case& c : Cases()) {
      VertexScan v = Simulate(c);
      r.push_back(RunMethods(v));
    }
    return r;
  }();
  return results;
}

// One test for all cases and methods: every case takes several seconds to simulate, and each
// test runs in a process of its own.
//   Z finds the apex within the tolerance.
//   Q finds the apex within the tolerance (its quadric is fitted to the leveled depths moved
//     1 mm down; on the leveled depths themselves it drifted up to about 30 um at 0.8 mm).
//   M averages the meridian apexes, each the apex's projection onto its meridian: with evenly
//     spaced meridians the mean lies halfway between the scan centre and the apex.
//   S: every B-scan met at normal incidence shows its reflection where the beam is normal to the
//     surface; S then averages those positions and reaches the normal-incidence point itself
//     only where meridians through that point alone see the streak (see the table).
TEST(CorneaVertexAccuracy, EveryMethodFindsItsVertexOnDecentredTiltedScans) {
  const double pixelUm = 2.0 * kHalfFieldUm / (kWidth - 1);
  std::printf("offset dir | apex x, y um | Q | Z | M | M vs projections | S | S vs projections\n");
  int reflections = 0;
  for (std::size_t k = 0; k < Cases().size(); ++k) {
    const Results& r = AllResults()[k];
    std::printf("%4.1f %4.0f | %5.0f %5.0f | %5.1f | %5.1f | %5.1f | %5.1f | %5.1f | %5.1f\n",
                Cases()[k].offsetMm, Cases()[k].directionDeg, r.apex.x, r.apex.y,
                Distance(r.q, r.apex), Distance(r.z, r.apex), Distance(r.m, r.apex),
                Distance(r.m, r.apexProjections), Distance(r.s, r.normal),
                Distance(r.s, r.streakProjections));
    SCOPED_TRACE(k);
    EXPECT_LE(Distance(r.z, r.apex), kToleranceUm);
    EXPECT_LE(Distance(r.q, r.apex), kToleranceUm);
    EXPECT_LE(Distance(r.m, r.apexProjections), kToleranceUm);
    EXPECT_LE(Distance(r.m, {r.apex.x / 2, r.apex.y / 2}), kToleranceUm);
    for (const auto& [found, truth] : r.reflections) {
      ASSERT_GE(found, 0.0f);
      EXPECT_LE(std::fabs(found - truth) * pixelUm, kToleranceUm);
      ++reflections;
    }
  }
  EXPECT_GE(reflections, static_cast<int>(Cases().size()));
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

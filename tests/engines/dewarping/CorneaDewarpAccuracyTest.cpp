// Accuracy of DewarpCornea on radial scans of three synthetic eyes (Gullstrand, Navarro,
// keratoconus-like): the simulator's image-space surfaces go in, so the test isolates the
// dewarping; the dewarped surfaces are compared with the ray-traced physical surfaces and the
// central corneal thickness, measured along the posterior surface normal on the dewarped layers,
// with the eye's true thickness.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tools/cornea_report/DewarpedThickness.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

// Tolerances of the dewarped surfaces against the physical surfaces, in samples of the A-scan
// (2.25 µm each at 1024 samples over 2.3 mm): mean and largest error over the central 7 mm, and
// largest error over the whole 8 mm field, where the outermost posterior points (beyond 3.6 mm)
// lie outside the lateral reach of the refracted beams of the first A-scans and their layer
// values come from the edge of the carried data. Central thickness: µm.
constexpr double kSurfaceMeanSamples = 0.6;
constexpr double kSurfaceMaxSamples = 1.25;
constexpr double kSurfaceMaxSamplesFullField = 2.6;
constexpr double kCentralHalfFieldMm = 3.5, kFullHalfFieldMm = 4.0;
constexpr double kThicknessUm = 3.0;

constexpr int kMeridians = 4, kWidth = 1024, kLength = 1024;

// A dewarped radial scan with the geometry needed to read its layers in millimetres.
struct DewarpedScan {
  Synthetic::ScanProtocol protocol;
  Synthetic::SimulatedScan scan;
  std::vector<float> anterior, posterior;  // dewarped layers, samples
  double depthMm = 0;                      // physical depth of the corrected A-scan
};

DewarpedScan Dewarp(const Synthetic::ModelEye& eye) {
  DewarpedScan d;
  d.protocol = Synthetic::RadialProtocol(kMeridians, kWidth, kLength);
  Synthetic::RenderSettings render;
  render.speckle = render.noise = false;
  d.scan = Synthetic::SimulateScan(eye, d.protocol, render, 7, 0);
  const int n = kMeridians * kWidth, D = static_cast<int>(std::ceil(kLength * 1.386));
  std::vector<float> ant(n), pst(n), directions(kMeridians);
  for (int b = 0; b < kMeridians; ++b) {
    const auto& t = d.scan.truth.bscans[b];
    std::copy(t.anterior.begin(), t.anterior.end(), ant.begin() + b * kWidth);
    std::copy(t.posterior.begin(), t.posterior.end(), pst.begin() + b * kWidth);
    directions[b] = static_cast<float>(t.angleDeg);
  }
  const DewarpScanner s = DewarpPresetRadial8mm();
  d.depthMm = s.scan_depth;
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeCornea(s.n_phase[0], s.n_group[0], s.n_ref, kMeridians, directions.data(),
                             s.half_FOV, s.half_telecentricity, s.scan_sag, s.scan_depth);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(n) * D);
  d.anterior.assign(n, -1);
  d.posterior.assign(n, -1);
  dewarping.DewarpCornea(d.scan.volume.data(), kMeridians, kWidth, kLength, 0.05f, ant.data(),
                         pst.data(), out.data(), D, d.anterior.data(), d.posterior.data());
  return d;
}

// One dewarped layer of B-scan b as a curve in the B-scan plane: lateral mm along the B-scan,
// depth mm in the eye frame (from the anterior apex).
struct Curve {
  const float* layer;
  double F, depthMm, apexMm;
  double Lateral(double c) const { return (c - kWidth / 2.0) * 2 * F / kWidth; }
  double Column(double x) const { return x / (2 * F) * kWidth + kWidth / 2.0; }
  // Depth at lateral x by linear interpolation; NaN where the layer has no value.
  double DepthAt(double x) const {
    const double c = Column(x);
    const int c0 = static_cast<int>(std::floor(c));
    if (c0 < 0 || c0 + 1 >= kWidth || layer[c0] < 0 || layer[c0 + 1] < 0) return NAN;
    const double s = layer[c0] + (layer[c0 + 1] - layer[c0]) * (c - c0);
    return s * depthMm / kLength - apexMm;
  }
};

Curve CurveOf(const DewarpedScan& d, const std::vector<float>& layer, int b) {
  return {layer.data() + b * kWidth, d.scan.truth.bscans[b].halfLengthMm, d.depthMm,
          d.protocol.apexDepthMm};
}

double LateralOf(double X, double Y, double angleDeg) {
  const double a = angleDeg * M_PI / 180.0;
  return X * std::cos(a) - Y * std::sin(a);
}

struct Errors {
  double mean = 0, max = 0, maxFullField = 0;
  int count = 0;
  void Add(double e) { mean += e, max = std::max(max, e), ++count; }
};

// Distance in samples between the dewarped layer and the physical points of the same surface,
// read at each point's lateral position.
void Accumulate(const Curve& curve, const std::vector<float>& image, const std::vector<float>& X,
                const std::vector<float>& Y, const std::vector<float>& Z, double angleDeg,
                Errors& e) {
  for (int j = 0; j < kWidth; ++j) {
    const double x = LateralOf(X[j], Y[j], angleDeg);
    if (image[j] < 0 || std::fabs(x) > kFullHalfFieldMm) continue;
    const double z = curve.DepthAt(x);
    if (std::isnan(z)) continue;
    const double error = std::fabs(z - Z[j]) / curve.depthMm * kLength;
    e.maxFullField = std::max(e.maxFullField, error);
    if (std::fabs(x) <= kCentralHalfFieldMm) e.Add(error);
  }
}

struct EyeCase {
  std::string name;
  Synthetic::ModelEye eye;
  friend void PrintTo(const EyeCase& c, std::ostream* os) { *os << c.name; }
};

class CorneaDewarpAccuracy : public ::testing::TestWithParam<EyeCase> {};

TEST_P(CorneaDewarpAccuracy, DewarpedSurfacesAndCentralThicknessMatchThePhysicalCornea) {
  const DewarpedScan d = Dewarp(GetParam().eye);
  Errors anterior, posterior;
  double worstThickness = 0;
  for (int b = 0; b < kMeridians; ++b) {
    const auto& t = d.scan.truth.bscans[b];
    const Curve ant = CurveOf(d, d.anterior, b), pst = CurveOf(d, d.posterior, b);
    Accumulate(ant, t.anterior, t.anteriorX, t.anteriorY, t.anteriorZ, t.angleDeg, anterior);
    Accumulate(pst, t.posterior, t.posteriorX, t.posteriorY, t.posteriorZ, t.angleDeg, posterior);
    const int c = kWidth / 2;
    const double x = LateralOf(t.posteriorX[c], t.posteriorY[c], t.angleDeg);
    const auto curve = [&](const std::vector<float>& layer) {
      return Tools::DewarpedCurve{layer.data() + b * kWidth, kWidth, kLength, t.halfLengthMm,
                                  d.depthMm};
    };
    const double cct =
        Tools::ThicknessAlongPosteriorNormal(curve(d.anterior), curve(d.posterior), x);
    std::printf("%s %5.1f deg: CCT %.2f um (truth %.2f, error %+.2f)\n", GetParam().name.c_str(),
                t.angleDeg, cct, t.thicknessUm[c], cct - t.thicknessUm[c]);
    worstThickness = std::max(worstThickness, std::fabs(cct - t.thicknessUm[c]));
  }
  ASSERT_GT(anterior.count, kMeridians * kWidth * 8 / 10);
  ASSERT_GT(posterior.count, kMeridians * kWidth * 8 / 10);
  anterior.mean /= anterior.count;
  posterior.mean /= posterior.count;
  std::printf(
      "%s: within 3.5 mm anterior mean %.3f max %.3f, posterior mean %.3f max %.3f; "
      "within 4 mm max %.3f, %.3f samples\n",
      GetParam().name.c_str(), anterior.mean, anterior.max, posterior.mean, posterior.max,
      anterior.maxFullField, posterior.maxFullField);
  EXPECT_LT(anterior.mean, kSurfaceMeanSamples);
  EXPECT_LT(anterior.max, kSurfaceMaxSamples);
  EXPECT_LT(posterior.mean, kSurfaceMeanSamples);
  EXPECT_LT(posterior.max, kSurfaceMaxSamples);
  EXPECT_LT(anterior.maxFullField, kSurfaceMaxSamplesFullField);
  EXPECT_LT(posterior.maxFullField, kSurfaceMaxSamplesFullField);
  EXPECT_LT(worstThickness, kThicknessUm);
}

// Wide-field scan of the Gullstrand eye (16 mm, 7 mm deep, one B-scan at 0 degrees) with the
// simulator's anterior, posterior and iris/lens surfaces as layers.
struct WideField {
  Synthetic::ScanProtocol protocol = Synthetic::WideFieldProtocol(0.0, kWidth, kLength);
  Synthetic::ModelEye eye;
  Synthetic::SimulatedScan scan;
  DewarpScanner scanner;
  explicit WideField(const Synthetic::ModelEye& model = Synthetic::GullstrandEye()) : eye(model) {
    Synthetic::RenderSettings render;
    render.speckle = render.noise = false;
    scan = Synthetic::SimulateScan(eye, protocol, render, 7, 0);
    scanner = DewarpPresetRadial8mm();
    scanner.half_FOV[0] = scanner.half_FOV[1] = static_cast<float>(protocol.halfFieldMm[0]);
    scanner.half_telecentricity[0] = scanner.half_telecentricity[1] =
        static_cast<float>(protocol.halfTelecentricityDeg[0]);
    scanner.scan_depth = static_cast<float>(protocol.scanDepthMm);
  }
  // Mean and largest depth distance (mm) of the dewarped iris/lens layer from the physical iris
  // front or lens surface at the same en-face position, within `halfFieldMm` of the centre.
  Errors IrisLensError(const std::vector<float>& layer, double halfFieldMm) const {
    const auto& t = scan.truth.bscans[0];
    const Curve curve{layer.data(), t.halfLengthMm, scanner.scan_depth, protocol.apexDepthMm};
    Errors e;
    for (int j = 0; j < kWidth; ++j) {
      const double x = (j - kWidth / 2.0) * 2 * t.halfLengthMm / kWidth;
      if (t.irisLens[j] < 0 || layer[j] < 0 || std::fabs(x) > halfFieldMm) continue;
      const Synthetic::Surface surface =
          Synthetic::SurfaceCovers(eye, Synthetic::Surface::IrisFront, x, 0)
              ? Synthetic::Surface::IrisFront
              : Synthetic::Surface::Lens;
      if (!Synthetic::SurfaceCovers(eye, surface, x, 0)) continue;
      const double z = curve.DepthAt(x);
      if (!std::isnan(z)) e.Add(std::fabs(z - Synthetic::SurfaceSag(eye, surface, x, 0)));
    }
    e.mean /= std::max(e.count, 1);
    return e;
  }
};

// The iris/lens layer of B-scan 0 dewarped with one refraction (anterior) and with two
// (anterior, then posterior): its distance (mm) from the physical surfaces within each half field.
void CompareRefractions(const WideField& w, std::initializer_list<double> halfFields,
                        double centralMeanUm) {
  const auto& t = w.scan.truth.bscans[0];
  const DewarpScanner& s = w.scanner;
  const float direction = 0.0f;
  const int D = static_cast<int>(std::ceil(kLength * 1.386));
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeHDField(s.n_phase, s.n_group, s.n_ref, 1, &direction, s.half_FOV,
                              s.half_telecentricity, s.scan_sag, s.scan_depth);
  std::vector<std::uint8_t> out1(static_cast<std::size_t>(kWidth) * D), out2(out1.size());
  std::vector<float> a1(kWidth), p1(kWidth), i1(kWidth), a2(kWidth), p2(kWidth), i2(kWidth);
  dewarping.DewarpHDFieldAnt(w.scan.volume.data(), 1, kWidth, kLength, 0.0f, t.anterior.data(),
                             t.posterior.data(), t.irisLens.data(), out1.data(), D, a1.data(),
                             p1.data(), i1.data());
  dewarping.DewarpHDFieldAntPst(w.scan.volume.data(), 1, kWidth, kLength, 0.0f, t.anterior.data(),
                                t.posterior.data(), t.irisLens.data(), out1.data(), out2.data(), D,
                                a2.data(), p2.data(), i2.data());
  const double samplesPerMm = kLength / s.scan_depth;
  for (double half : halfFields) {
    const Errors single = w.IrisLensError(i1, half), two = w.IrisLensError(i2, half);
    std::printf(
        "%s within %.0f mm: one refraction mean %.1f max %.1f um, two mean %.1f "
        "max %.1f um (%d, %d A-scans; %.1f um per sample)\n",
        w.eye.name.c_str(), half, 1000 * single.mean, 1000 * single.max, 1000 * two.mean,
        1000 * two.max, single.count, two.count, 1000 / samplesPerMm);
    ASSERT_GT(two.count, 50);
    EXPECT_LT(two.mean, single.mean);
    if (half == *halfFields.begin()) {
      EXPECT_LT(1000 * two.mean, centralMeanUm);
    }
  }
}

// Mean distance from the physical surface within 2 mm after both refractions: the second pass
// bends the beams by their turn at the anterior surface alone, so about 1 to 2 samples remain.
constexpr double kLensAfterTwoRefractionsUm = 16.0;       // measured 11.1
constexpr double kReflectorAfterTwoRefractionsUm = 12.0;  // measured 7.6

TEST(CorneaDewarpAccuracyWideField, SecondRefractionBringsIrisAndLensOntoTheirPhysicalSurfaces) {
  CompareRefractions(WideField(), {2.0, 5.0}, kLensAfterTwoRefractionsUm);
}

// A flat reflector in the aqueous, 1.3 mm below the corneal apex: the lens surface of a model eye
// made flat (radius 100 m) and moved forward, behind a pupil wide enough to leave it bare.
TEST(CorneaDewarpAccuracyWideField, SecondRefractionBringsAFlatReflectorInTheAqueousCloser) {
  Synthetic::ModelEye eye = Synthetic::GullstrandEye();
  eye.name = "flat reflector";
  eye.lensDepthMm = 1.3;
  eye.lensRadiusMm = 1e5;
  eye.pupilRadiusMm = 4.4;
  CompareRefractions(WideField(eye), {2.0, 4.0}, kReflectorAfterTwoRefractionsUm);
}

INSTANTIATE_TEST_SUITE_P(SyntheticEyes, CorneaDewarpAccuracy,
                         ::testing::Values(EyeCase{"Gullstrand", Synthetic::GullstrandEye()},
                                           EyeCase{"Navarro", Synthetic::NavarroEye()},
                                           EyeCase{"Keratoconus", Synthetic::KeratoconusEye()}),
                         [](const ::testing::TestParamInfo<EyeCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms

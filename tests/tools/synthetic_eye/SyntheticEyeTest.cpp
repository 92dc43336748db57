// Tests of the synthetic eye: traced geometry against an independent two-dimensional trace,
// rendered boundaries against the traced ones, closed-form thickness and power, determinism,
// the specular streak, the mirror image, eye motion and tilt, repeat acquisitions, interface-peak
// rendering, the device export (levels measured here independently, fan mask, streak, JPEG),
// frames without a cornea and the command's option parsing.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/synthetic_eye/DeviceExport.h"
#include "tools/synthetic_eye/NoCorneaFrames.h"
#include "tools/synthetic_eye/SynthCommand.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::Synthetic;

constexpr double kPi = 3.14159265358979323846;

// Smooth, noise-free rendering without the specular lobe: boundaries are clean Gaussian peaks.
RenderSettings CleanRendering() {
  RenderSettings r;
  r.speckle = false;
  r.noise = false;
  r.specular = false;
  return r;
}

// Independent trace of a meridional beam of a line scan at 0° through two spherical surfaces in
// the B-scan plane (lateral u, depth z). Returns the sample positions of both crossings.
struct Plane {
  double u, z;
};
bool CircleHit(Plane p, Plane d, Plane c, double r, double* t) {
  const double px = p.u - c.u, pz = p.z - c.z;
  const double b = px * d.u + pz * d.z, q = px * px + pz * pz - r * r, disc = b * b - q;
  if (disc < 0) return false;
  const double t1 = -b - std::sqrt(disc), t2 = -b + std::sqrt(disc);
  *t = t1 > 1e-12 ? t1 : t2;
  return *t > 1e-12;
}
void Snell2D(Plane* d, Plane n, double n1, double n2) {
  double c = -(n.u * d->u + n.z * d->z);
  if (c < 0) {
    n = {-n.u, -n.z};
    c = -c;
  }
  const double eta = n1 / n2, k = 1 - eta * eta * (1 - c * c);
  *d = {eta * d->u + (eta * c - std::sqrt(k)) * n.u, eta * d->z + (eta * c - std::sqrt(k)) * n.z};
}
void OracleTrace(const ModelEye& e, const ScanProtocol& p, int j, double* ant, double* pst) {
  const double x = -1.0 + 2.0 * j / (p.bscanWidth - 1);
  const double a = p.halfTelecentricityDeg[0] * kPi / 180 * x;
  const double sampleOpl = kReferenceGroupIndex * p.scanDepthMm / p.ascanLength;
  Plane o{x * p.halfFieldMm[0] - p.eyeXMm, p.scanSagMm[0] * x * x - p.apexDepthMm};
  Plane d{-std::sin(a), std::cos(a)};
  const Plane ca{0, e.anterior.radiusMm}, cp{0, e.posterior.apexDepthMm + e.posterior.radiusMm};
  double t1, t2;
  ASSERT_TRUE(CircleHit(o, d, ca, e.anterior.radiusMm, &t1));
  const Plane pa{o.u + t1 * d.u, o.z + t1 * d.z};
  Snell2D(&d, {(pa.u - ca.u) / e.anterior.radiusMm, (pa.z - ca.z) / e.anterior.radiusMm}, 1.0,
          e.cornea.phase);
  ASSERT_TRUE(CircleHit(pa, d, cp, e.posterior.radiusMm, &t2));
  *ant = t1 / sampleOpl;
  *pst = (t1 + e.cornea.group * t2) / sampleOpl;
}

TEST(SyntheticEyeTrace, MatchesAnIndependentTwoDimensionalTraceOfTheGullstrandCornea) {
  const ModelEye eye = GullstrandEye();
  ScanProtocol p = LineProtocol(0.0, 96, 1024);
  p.scanSagMm[0] = p.scanSagMm[1] = 0.08;
  p.halfTelecentricityDeg[0] = 5.0;
  p.eyeXMm = 0.2;
  const SimulatedScan s = SimulateScan(eye, p, CleanRendering(), 1, 0);
  const BscanTruth& t = s.truth.bscans[0];
  constexpr double kTolerance = 0.01;  // samples
  int compared = 0;
  for (int j = 0; j < p.bscanWidth; ++j) {
    double ant, pst;
    OracleTrace(eye, p, j, &ant, &pst);
    ASSERT_GE(t.anterior[j], 0.0f) << j;
    EXPECT_NEAR(t.anterior[j], ant, kTolerance) << j;
    if (pst < p.ascanLength - 1) {
      EXPECT_NEAR(t.posterior[j], pst, kTolerance) << j;
      ++compared;
    }
  }
  EXPECT_GT(compared, p.bscanWidth / 2);
}

// Sub-sample position of the brightest sample within +-3 samples of `guess` (parabola through
// the peak and its neighbours).
double PeakNear(const std::uint8_t* ascan, int length, double guess) {
  const int g = static_cast<int>(guess + 0.5);
  int best = g;
  for (int k = std::max(1, g - 3); k <= std::min(length - 2, g + 3); ++k)
    if (ascan[k] > ascan[best]) best = k;
  const double a = ascan[best - 1], b = ascan[best], c = ascan[best + 1];
  const double den = a - 2 * b + c;
  return den < 0 ? best + 0.5 * (a - c) / den : best;
}

// Where the grey level of a 40 log10 A-scan rises from the tissue above guess into a bright band
// below it: the crossing of half the intensity step (the midpoint of a blurred step), linear in
// intensity between samples; -1 when there is none within 4 samples of guess.
double RiseNear(const std::uint8_t* ascan, int length, double guess) {
  const int g = static_cast<int>(guess + 0.5);
  if (g < 6 || g + 5 >= length) return -1.0;
  auto intensity = [](double grey) { return std::pow(10.0, grey / 20.0); };
  const double above = intensity(ascan[g - 5]);
  const double below = intensity(*std::max_element(ascan + g + 1, ascan + g + 5));
  const double half = 0.5 * (above + below);
  for (int k = g - 4; k < g + 4; ++k) {
    const double i0 = intensity(ascan[k]), i1 = intensity(ascan[k + 1]);
    if (i0 < half && i1 >= half) return k + (half - i0) / (i1 - i0);
  }
  return -1.0;
}

// The anterior and posterior surfaces are reflections centred on the interface; Bowman's layer is
// a bright band whose rise begins at its surface.
TEST(SyntheticEyeRendering, PutsEveryCornealBoundaryWithinHalfASampleOfItsTracedPosition) {
  constexpr double kHalfSample = 0.5;
  for (const char* preset : {"gullstrand", "keratoconus"}) {
    ModelEye eye;
    ASSERT_TRUE(PresetByName(preset, &eye));
    const ScanProtocol p = RadialProtocol(3, 256, 1024);
    const SimulatedScan s = SimulateScan(eye, p, CleanRendering(), 7, 0);
    int checked = 0;
    for (int b = 0; b < s.numBscans; ++b) {
      const BscanTruth& t = s.truth.bscans[b];
      for (int j = 0; j < s.bscanWidth; ++j) {
        const std::uint8_t* a =
            s.volume.data() + (static_cast<size_t>(b) * s.bscanWidth + j) * s.ascanLength;
        for (const std::vector<float>* layer : {&t.anterior, &t.bowman, &t.posterior}) {
          const float truth = (*layer)[j];
          if (truth < 10.0f || truth > s.ascanLength - 10) continue;
          const double found = layer == &t.bowman ? RiseNear(a, s.ascanLength, truth)
                                                  : PeakNear(a, s.ascanLength, truth);
          EXPECT_NEAR(found, truth, kHalfSample) << preset << " B-scan " << b << " A-scan " << j;
          ++checked;
        }
      }
    }
    EXPECT_GT(checked, 3 * 256 * 2) << preset;
  }
}

TEST(SyntheticEyePower, GivesTheGaussianOpticsPowersOfTheSchematicEyes) {
  constexpr double kDioptre = 0.01;
  const ModelEye g = GullstrandEye();
  const CornealPower pg = ComputeCornealPower(g);
  EXPECT_NEAR(pg.anterior, 48.83, kDioptre);
  EXPECT_NEAR(pg.posterior, -5.88, kDioptre);
  EXPECT_NEAR(pg.total, 43.05, kDioptre);
  EXPECT_NEAR(pg.keratometric, 337.5 / 7.7, kDioptre);

  const ModelEye n = NavarroEye();
  const double p1 = (n.cornea.phase - 1) / 7.72e-3,
               p2 = (n.aqueous.phase - n.cornea.phase) / 6.5e-3;
  const CornealPower pn = ComputeCornealPower(n);
  EXPECT_NEAR(pn.anterior, p1, kDioptre);
  EXPECT_NEAR(pn.posterior, p2, kDioptre);
  EXPECT_NEAR(pn.total, p1 + p2 - 0.55e-3 / n.cornea.phase * p1 * p2, kDioptre);

  // A toric anterior surface: 7.5 mm along 0°, 8.0 mm along 90°; the flat meridian is 90°.
  ModelEye t = GullstrandEye();
  t.anterior.radiusMm = 7.5;
  t.anterior.radiusOtherMm = 8.0;
  const CornealPower pt = ComputeCornealPower(t);
  EXPECT_NEAR(pt.anteriorSteep, 376.0 / 7.5, kDioptre);
  EXPECT_NEAR(pt.anteriorFlat, 376.0 / 8.0, kDioptre);
  EXPECT_NEAR(pt.flatMeridianDeg, 90.0, 0.1);
}

TEST(SyntheticEyeThickness, AgreesWithClosedFormsAndPlacesTheConeWhereItWasPut) {
  constexpr double kMicron = 0.01;
  // Concentric spheres: every posterior normal passes through the common centre.
  ModelEye c = GullstrandEye();
  c.posterior = {7.2, 7.2, 0.0, 0.0, 0.5};
  const ThicknessMap m = PachymetryMap(c, 41, 8.0);
  int valid = 0;
  for (float v : m.values) {
    if (v < 0) continue;
    EXPECT_NEAR(v, 500.0, kMicron);
    ++valid;
  }
  EXPECT_GT(valid, 41 * 41 / 2);

  // Gullstrand: thinnest at the apex (0.5 mm); off axis the posterior normal runs from the
  // posterior centre, 0.4 mm above the anterior one, at angle phi to the axis.
  const ModelEye g = GullstrandEye();
  EXPECT_NEAR(ThicknessAlongPosteriorNormal(g, 0, 0), 500.0, kMicron);
  const double phi = std::asin(3.0 / 6.8);
  const double along =
      -0.4 * std::cos(phi) + std::sqrt(7.7 * 7.7 - std::pow(0.4 * std::sin(phi), 2));
  EXPECT_NEAR(ThicknessAlongPosteriorNormal(g, 0, 3.0), 1000.0 * (along - 6.8), kMicron);
  EXPECT_NEAR(EpitheliumAlongAnteriorNormal(g, 0, 0), 53.0, kMicron);
  EXPECT_NEAR(EpitheliumAlongAnteriorNormal(g, 2.0, 1.0), 53.0, 0.2);  // first-order offset
  EXPECT_EQ(ThicknessAlongPosteriorNormal(g, 6.0, 0), -1.0);

  const ThicknessMap k = PachymetryMap(KeratoconusEye(), 81, 8.0);
  EXPECT_NEAR(k.thinnestUm, 450.0, 10.0);
  EXPECT_LT(k.thinnestXMm, 0.0);  // inferotemporal (examiner's left, down)
  EXPECT_LT(k.thinnestYMm, 0.0);
  EXPECT_NEAR(std::hypot(k.thinnestXMm, k.thinnestYMm), 0.8, 0.15);
}

TEST(SyntheticEyeDeterminism, GivesIdenticalBytesForASeedAndDifferentBytesForAnother) {
  const ScanProtocol p = RadialProtocol(2, 128, 256);
  const RenderSettings r;
  const SimulatedScan a = SimulateScan(KeratoconusEye(), p, r, 42, 0);
  const SimulatedScan b = SimulateScan(KeratoconusEye(), p, r, 42, 0);
  const SimulatedScan c = SimulateScan(KeratoconusEye(), p, r, 43, 0);
  EXPECT_EQ(a.volume, b.volume);
  EXPECT_NE(a.volume, c.volume);
  EXPECT_EQ(a.truth.bscans[1].posterior, c.truth.bscans[1].posterior);  // geometry is not random
}

// Normal incidence: the beam of a sphere passes through its centre of curvature. Found by
// bisection on the side of the centre relative to the beam line.
double NormalIncidenceAscan(const ScanProtocol& p, double centreU, double centreZ) {
  auto side = [&](double x) {
    const double a = p.halfTelecentricityDeg[0] * kPi / 180 * x;
    const double ou = x * p.halfFieldMm[0], oz = p.scanSagMm[0] * x * x;
    return (centreU - ou) * std::cos(a) - (centreZ - oz) * -std::sin(a);
  };
  double lo = -1, hi = 1;
  for (int i = 0; i < 100; ++i) {
    const double mid = 0.5 * (lo + hi);
    (side(lo) * side(mid) <= 0 ? hi : lo) = mid;
  }
  return (0.5 * (lo + hi) + 1) * 0.5 * (p.bscanWidth - 1);
}

TEST(SyntheticEyeSpecular, DrawsTheStreakWhereTheBeamMeetsTheApexAtNormalIncidence) {
  ScanProtocol p = LineProtocol(0.0, 512, 512);
  p.eyeXMm = 0.6;
  p.halfTelecentricityDeg[0] = 6.0;
  const ModelEye eye = GullstrandEye();
  const SimulatedScan s = SimulateScan(eye, p, RenderSettings(), 3, 0);
  const BscanTruth& t = s.truth.bscans[0];
  const double expected = NormalIncidenceAscan(p, p.eyeXMm, p.apexDepthMm + 7.7);
  EXPECT_NEAR(t.specularCentre, expected, 0.5);
  EXPECT_LE(t.specularFirst, expected);
  EXPECT_GE(t.specularLast, expected);

  // Brightness above the cornea (less a margin), per A-scan: its excess over the median column
  // must be centred on the normal-incidence A-scan.
  std::vector<double> above(s.bscanWidth, 0.0);
  for (int j = 0; j < s.bscanWidth; ++j) {
    const int top = static_cast<int>(t.anterior[j]) - 8;
    for (int k = 0; k < top; ++k) above[j] += s.volume[static_cast<size_t>(j) * s.ascanLength + k];
    above[j] /= std::max(1, top);
  }
  std::vector<double> sorted = above;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const double median = sorted[sorted.size() / 2];
  double sum = 0, weighted = 0;
  for (int j = 0; j < s.bscanWidth; ++j) {
    const double excess = above[j] - median;
    if (excess > 10.0) {
      sum += excess;
      weighted += excess * j;
    }
  }
  ASSERT_GT(sum, 0.0);
  EXPECT_NEAR(weighted / sum, expected, 2.0);
  EXPECT_GT(std::fabs(expected - 0.5 * (s.bscanWidth - 1)), 20.0);  // really off centre
}

TEST(SyntheticEyeMirror, FoldsTheCorneaAboutTheFoldLineOnlyInWideFieldScans) {
  ScanProtocol p = WideFieldProtocol(0.0, 128, 1024);
  RenderSettings r = WideFieldRendering();
  r.speckle = r.noise = r.specular = false;
  const SimulatedScan with = SimulateScan(GullstrandEye(), p, r, 5, 0);
  r.mirrorImage = false;
  const SimulatedScan without = SimulateScan(GullstrandEye(), p, r, 5, 0);
  const int fold = p.ascanLength / 2 - 20, j = p.bscanWidth / 2;
  const double ant = with.truth.bscans[0].anterior[j];
  const std::uint8_t* a = with.volume.data() + static_cast<size_t>(j) * p.ascanLength;
  const std::uint8_t* b = without.volume.data() + static_cast<size_t>(j) * p.ascanLength;
  const double mirrored = 2.0 * fold - ant;
  EXPECT_NEAR(PeakNear(a, p.ascanLength, mirrored), mirrored, 0.5);
  EXPECT_NEAR(a[static_cast<int>(mirrored + 0.5)], r.anteriorPeakLevel - r.mirrorAttenuationDb, 3);
  EXPECT_LT(b[static_cast<int>(mirrored + 0.5)], 40);
  EXPECT_EQ(a[static_cast<int>(ant + 0.5)], b[static_cast<int>(ant + 0.5)]);

  // The truth records the fold and where the folded corneal surfaces lie.
  const BscanTruth& t = with.truth.bscans[0];
  EXPECT_EQ(t.mirrorFoldSample, fold);
  EXPECT_FLOAT_EQ(t.mirrorAnterior[j], static_cast<float>(mirrored));
  EXPECT_FLOAT_EQ(t.mirrorPosterior[j], static_cast<float>(2.0 * fold - t.posterior[j]));
  const double folded = t.mirrorPosterior[j];
  EXPECT_NEAR(PeakNear(a, p.ascanLength, folded), folded, 0.5);
  for (int i = 0; i < p.bscanWidth; ++i) {
    if (t.anterior[i] < 0.0f || 2.0 * fold - t.anterior[i] > p.ascanLength - 1) {
      EXPECT_EQ(t.mirrorAnterior[i], -1.0f);
    }
  }
  EXPECT_EQ(without.truth.bscans[0].mirrorFoldSample, -1);
  for (float v : without.truth.bscans[0].mirrorAnterior) EXPECT_EQ(v, -1.0f);
}

TEST(SyntheticEyeMotion, ShiftsTheEyeOfEachBscanByItsMotionAndRecordsIt) {
  ScanProtocol p = RadialProtocol(2, 65, 512);
  p.motionMm = {0, 0, 0, 0, 0, 0.1};
  const SimulatedScan s = SimulateScan(GullstrandEye(), p, CleanRendering(), 1, 0);
  const double sampleOpl = kReferenceGroupIndex * p.scanDepthMm / p.ascanLength;
  EXPECT_NEAR(s.truth.bscans[1].anterior[32] - s.truth.bscans[0].anterior[32], 0.1 / sampleOpl,
              1e-3);
  EXPECT_EQ(s.truth.bscans[1].motionMm[2], 0.1);
  EXPECT_EQ(s.truth.bscans[1].motionCorrectionUm[2], -100.0);
  EXPECT_EQ(s.truth.bscans[0].motionCorrectionUm[2], 0.0);

  p.motionMm.clear();
  p.randomMotionLateralMm = 0.05;
  const SimulatedScan r = SimulateScan(GullstrandEye(), p, CleanRendering(), 9, 0);
  EXPECT_EQ(r.truth.bscans[0].motionMm[0], 0.0);
  EXPECT_LE(std::fabs(r.truth.bscans[1].motionMm[0]), 0.05);
  EXPECT_NE(r.truth.bscans[1].motionMm[0], 0.0);
  EXPECT_THROW(SimulateScan(GullstrandEye(), RadialProtocol(0, 64, 64), CleanRendering(), 1),
               std::invalid_argument);
}

TEST(SyntheticEyeTrace, MeetsTheLensApexAndTheIrisOfAWideFieldScanWhereTheyAre) {
  const ModelEye eye = GullstrandEye();
  const ScanProtocol p = WideFieldProtocol(0.0, 257, 1024);
  const SimulatedScan s = SimulateScan(eye, p, CleanRendering(), 1, 0);
  const BscanTruth& t = s.truth.bscans[0];
  // The central beam runs along the axis at normal incidence: no refraction on its way.
  const double sampleOpl = kReferenceGroupIndex * p.scanDepthMm / p.ascanLength;
  const double lensOpl = p.apexDepthMm + eye.cornea.group * 0.5 + eye.aqueous.group * (3.6 - 0.5);
  EXPECT_NEAR(t.irisLens[128], lensOpl / sampleOpl, 1e-3);
  EXPECT_NEAR(t.thicknessUm[128], 500.0, 0.01);
  // 4 mm off axis the beam meets the iris in front of the lens: shallower than the lens apex.
  const int iris = 128 + static_cast<int>(4.0 / 8.0 * 128);
  EXPECT_GT(t.irisLens[iris], 0.0f);
  EXPECT_LT(t.irisLens[iris], t.irisLens[128]);
  // The edge beams meet the sclera: anterior surface, but no Bowman layer or posterior surface.
  EXPECT_GT(t.anterior[0], 0.0f);
  EXPECT_EQ(t.bowman[0], -1.0f);
  EXPECT_EQ(t.posterior[0], -1.0f);
}

TEST(SyntheticEyeRendering, GivesTissueItsMeanGreyAndFullyDevelopedSpeckle) {
  // Stroma samples well inside the central cornea of a line scan, noise off.
  RenderSettings r;
  r.noise = r.specular = false;
  const ScanProtocol p = LineProtocol(0.0, 512, 1024);
  const SimulatedScan s = SimulateScan(GullstrandEye(), p, r, 11, 0);
  const BscanTruth& t = s.truth.bscans[0];
  double grey = 0, sum = 0, sum2 = 0;
  int n = 0;
  for (int j = 156; j < 356; ++j) {
    const int top = static_cast<int>(t.bowman[j]) + 15, bottom = top + 30;
    for (int k = top; k < bottom; ++k) {
      const double g = s.volume[static_cast<size_t>(j) * p.ascanLength + k];
      const double intensity = std::pow(10.0, g / 20.0);
      grey += g;
      sum += intensity;
      sum2 += intensity * intensity;
      ++n;
    }
  }
  // Slightly below the stroma level: its attenuation over the first 40 um of stroma.
  EXPECT_NEAR(grey / n, r.stromaLevel, 2.0);
  // Exponentially distributed intensity: standard deviation equals the mean (speckle contrast 1).
  const double mean = sum / n, sd = std::sqrt(sum2 / n - mean * mean);
  EXPECT_NEAR(sd / mean, 1.0, 0.15);

  // The noise floor of the air above the cornea has its mean grey level.
  r.noise = true;
  const SimulatedScan a = SimulateScan(GullstrandEye(), p, r, 11, 0);
  double air = 0;
  int m = 0;
  for (int j = 0; j < 100; ++j)
    for (int k = 0; k < 60; ++k, ++m) air += a.volume[static_cast<size_t>(j) * p.ascanLength + k];
  EXPECT_NEAR(air / m, r.noiseLevel, 1.0);
}

TEST(SyntheticEyeThickness, ThickensTheEpitheliumInferiorlyByItsGradient) {
  ModelEye e = GullstrandEye();
  e.epithelium.inferiorGradientUmPerMm = 2.0;
  EXPECT_NEAR(EpitheliumAlongAnteriorNormal(e, 0.0, -2.0), 57.0, 0.2);
  EXPECT_NEAR(EpitheliumAlongAnteriorNormal(e, 0.0, 2.0), 53.0, 0.2);
  const ThicknessMap m = EpitheliumMap(e, 21, 6.0);
  EXPECT_GT(m.values[20 * 21 + 10], m.values[0 * 21 + 10]);  // bottom row thicker than top row
  EXPECT_GE(m.thinnestYMm, 0.0);
}

// Reads a PNG as 8-bit grey rows (libpng's simplified reader).
std::vector<std::uint8_t> ReadGreyPng(const std::string& path, int* width, int* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_GRAY;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  return pixels;
}

TEST(SynthCommandRun, WritesPicturesWithAscansAsColumnsTheRawVolumeAndTheTruth) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "talvex_synth_command_test";
  std::filesystem::remove_all(dir);
  SynthOptions o;
  o.meridians = 2;
  o.ascans = 64;
  o.samples = 128;
  o.mapWidth = 11;
  o.outputDir = dir.string();
  std::string error;
  ASSERT_EQ(RunSynth(o, &error), 0) << error;

  std::ifstream raw(dir / "volume.raw", std::ios::binary);
  const std::vector<char> volume((std::istreambuf_iterator<char>(raw)),
                                 std::istreambuf_iterator<char>());
  ASSERT_EQ(volume.size(), 2u * 64 * 128);
  int width = 0, height = 0;
  const std::vector<std::uint8_t> png =
      ReadGreyPng((dir / "bscan_001.png").string(), &width, &height);
  ASSERT_EQ(width, 64);
  ASSERT_EQ(height, 128);
  for (int j = 0; j < 64; ++j)
    for (int k = 0; k < 128; ++k)
      ASSERT_EQ(png[static_cast<size_t>(k) * 64 + j],
                static_cast<std::uint8_t>(volume[64 * 128 + static_cast<size_t>(j) * 128 + k]));

  std::ifstream js(dir / "truth.json");
  const nlohmann::json truth = nlohmann::json::parse(js);
  EXPECT_EQ(truth["volume"]["bscanWidth"], 64);
  EXPECT_EQ(truth["bscans"].size(), 2u);
  EXPECT_EQ(truth["bscans"][1]["anterior"].size(), 64u);
  EXPECT_EQ(truth["bscans"][1]["angleDeg"], 90.0);
  EXPECT_EQ(truth["bscans"][1]["mirrorFoldSample"], -1);  // radial scans have no mirror image
  EXPECT_EQ(truth["bscans"][1]["mirrorAnterior"].size(), 64u);
  EXPECT_EQ(truth["bscans"][1]["motionCorrectionUm"].size(), 3u);
  EXPECT_EQ(truth["bscans"][1]["motionMm"].size(), 3u);
  EXPECT_NEAR(truth["power"]["totalD"].get<double>(), 43.05, 0.01);
  EXPECT_EQ(truth["pachymetryMap"]["valuesUm"].size(), 121u);
  std::filesystem::remove_all(dir);
}

TEST(SynthCommandOptions, ParsesTheOptionsAndRejectsUnknownOnes) {
  SynthOptions o;
  std::string error;
  ASSERT_TRUE(ParseSynthOptions({"--preset", "keratoconus", "--scan", "wide-field", "--ascans",
                                 "512", "--seed", "99", "--no-noise", "--out", "x"},
                                &o, &error));
  EXPECT_EQ(o.preset, "keratoconus");
  EXPECT_EQ(o.scan, ScanType::WideField);
  EXPECT_EQ(o.ascans, 512);
  EXPECT_EQ(o.seed, 99u);
  EXPECT_FALSE(o.noise);
  EXPECT_EQ(o.outputDir, "x");
  EXPECT_FALSE(ParseSynthOptions({"--frobnicate"}, &o, &error));
  EXPECT_EQ(error, "Unknown option --frobnicate.");
  EXPECT_FALSE(ParseSynthOptions({"--preset", "cyclops"}, &o, &error));
  EXPECT_EQ(error, "Invalid value 'cyclops' for --preset.");
  EXPECT_FALSE(ParseSynthOptions({"--samples"}, &o, &error));
  EXPECT_EQ(error, "Missing value after --samples.");

  // Device export: preset, then the level options in order; checked as a whole.
  SynthOptions d;
  ASSERT_TRUE(ParseSynthOptions(
      {"--stroma-level", "90", "--jpeg-quality", "0", "--no-fan-mask", "--device-export", "dim"},
      &d, &error))
      << error;
  DeviceExport device;
  bool enabled = false;
  ASSERT_TRUE(SynthDeviceExport(d, &device, &enabled, &error));
  EXPECT_TRUE(enabled);
  EXPECT_EQ(device.stromaLevel, 90.0);
  EXPECT_EQ(device.anteriorReflectionLevel, 205.0);  // from the preset
  EXPECT_EQ(device.jpegQuality, 0);
  EXPECT_FALSE(device.fanMask);
  EXPECT_FALSE(ParseSynthOptions({"--stroma-level", "240"}, &d, &error));
  EXPECT_EQ(error, "Device export: the stroma level must be below the anterior reflection level.");
  EXPECT_FALSE(ParseSynthOptions({"--no-cornea", "cube"}, &d, &error));
  EXPECT_EQ(error, "Invalid value 'cube' for --no-cornea.");
}

TEST(SyntheticEyeTrace, TiltTurnsTheEyeAboutItsApex) {
  ScanProtocol p = LineProtocol(0.0, 513, 512);
  p.halfTelecentricityDeg[0] = 6.0;
  p.eyeTiltDeg[0] = 3.0;  // axis toward +X: the centre of curvature moves to +X
  const SimulatedScan s = SimulateScan(GullstrandEye(), p, RenderSettings(), 3, 0);
  const BscanTruth& t = s.truth.bscans[0];
  const double a = 3.0 * kPi / 180, sampleOpl = kReferenceGroupIndex * p.scanDepthMm / 512;
  const double expected =
      NormalIncidenceAscan(p, 7.7 * std::sin(a), p.apexDepthMm + 7.7 * std::cos(a));
  EXPECT_NEAR(t.specularCentre, expected, 0.5);
  EXPECT_GT(expected - NormalIncidenceAscan(p, 0.0, p.apexDepthMm + 7.7), 10.0);
  EXPECT_NEAR(t.anterior[256], p.apexDepthMm / sampleOpl, 1e-3);  // the apex stays in place
}

TEST(SyntheticEyeRepeats, ShiftAndTiltEachRepeatWithinTheLimitsWithNewSpeckle) {
  const RepeatSettings settings{4, 50.0, 0.5};
  const ScanProtocol p = LineProtocol(0.0, 96, 256);
  const RenderSettings r;
  const std::vector<RepeatScan> v = SimulateRepeatScans(GullstrandEye(), p, r, settings, 3);
  ASSERT_EQ(v.size(), 4u);
  for (size_t i = 0; i < v.size(); ++i) {
    EXPECT_LE(std::hypot(v[i].shiftUm[0], v[i].shiftUm[1]), 50.0);
    EXPECT_GT(std::hypot(v[i].shiftUm[0], v[i].shiftUm[1]), 0.0);
    EXPECT_LE(std::fabs(v[i].tiltDeg[0]), 0.5);
    EXPECT_LE(std::fabs(v[i].tiltDeg[1]), 0.5);
    EXPECT_DOUBLE_EQ(v[i].protocol.eyeXMm, 1e-3 * v[i].shiftUm[0]);
    for (size_t k = 0; k < i; ++k) EXPECT_NE(v[i].scan.volume, v[k].scan.volume);
  }
  // Each repeat's record reproduces it, truth included.
  const SimulatedScan again = SimulateScan(GullstrandEye(), v[2].protocol, r, v[2].seed, 0);
  EXPECT_EQ(again.volume, v[2].scan.volume);
  EXPECT_EQ(again.truth.bscans[0].posterior, v[2].scan.truth.bscans[0].posterior);
  EXPECT_THROW(SimulateRepeatScans(GullstrandEye(), p, r, {0, 50.0, 0.5}, 3),
               std::invalid_argument);
}

TEST(SyntheticEyeRendering, InterfacePeaksSitOnTheSurfacesBetweenEqualLevels) {
  RenderSettings r = CleanRendering();
  r.interfacePeaksOnly = true;
  const ScanProtocol p = LineProtocol(0.0, 128, 1024);
  const SimulatedScan s = SimulateScan(GullstrandEye(), p, r, 1, 0);
  const BscanTruth& t = s.truth.bscans[0];
  for (int j = 16; j < 112; ++j) {
    const std::uint8_t* a = s.volume.data() + static_cast<size_t>(j) * p.ascanLength;
    for (const float surface : {t.anterior[j], t.posterior[j]}) {
      const int k = static_cast<int>(std::lround(surface));
      EXPECT_NEAR(a[k - 10], a[k + 10], 1) << j;  // the same tissue level on both sides
      EXPECT_GT(a[k], a[k - 10] + 20) << j;       // a bright line
      EXPECT_NEAR(PeakNear(a, p.ascanLength, surface), surface, 0.3) << j;
    }
    const int bowman = static_cast<int>(std::lround(t.bowman[j]));
    EXPECT_NEAR(a[bowman], a[bowman - 8], 1) << j;  // no Bowman reflection
  }
}

// ---- Device export ----------------------------------------------------------------------

// Levels measured here, apart from the export's own regions: the A-scans through the cornea 12
// A-scans clear of the streak; air 4 to 12 samples above the anterior surface, stroma from 15
// samples below the Bowman surface to 12 above the posterior surface, posterior stroma 12 to 6
// samples above it.
struct Measured {
  double air = 0, stroma = 0, posteriorStroma = 0;
};
Measured Measure(const SimulatedScan& s, int b) {
  const BscanTruth& t = s.truth.bscans[b];
  double sum[3] = {0, 0, 0};
  int n[3] = {0, 0, 0};
  auto add = [&](int i, const std::uint8_t* a, int k0, int k1) {
    for (int k = k0; k < k1; ++k) sum[i] += a[k], ++n[i];
  };
  for (int j = 0; j < s.bscanWidth; ++j) {
    if ((j > t.device.streakFirst - 12 && j < t.device.streakLast + 12) || t.anterior[j] < 12 ||
        t.bowman[j] < 0 || t.posterior[j] < 0)
      continue;
    const std::uint8_t* a = s.volume.data() + (size_t(b) * s.bscanWidth + j) * s.ascanLength;
    const int ant = int(t.anterior[j]), bow = int(t.bowman[j]), post = int(t.posterior[j]);
    add(0, a, ant - 12, ant - 4);
    add(1, a, bow + 15, post - 12);
    add(2, a, post - 12, post - 6);
  }
  return {sum[0] / n[0], sum[1] / n[1], sum[2] / n[2]};
}

DeviceExport Device(double air, double stroma, double anterior, double saturation) {
  DeviceExport d;
  d.airLevel = air;
  d.stromaLevel = stroma;
  d.anteriorReflectionLevel = anterior;
  d.saturationLevel = d.streakLevel = saturation;
  return d;
}

TEST(SyntheticEyeDeviceExport, GivesTheRequestedAndRecordedGreyLevelsAndKeepsTheSurfaces) {
  constexpr double kGrey = 3.0;  // "a few grey levels"
  const ModelEye eye = GullstrandEye();
  const ScanProtocol p = DeviceProtocol(1);
  for (const DeviceExport& d :
       {Device(2, 120, 235, 255), Device(5, 65, 205, 230), Device(1, 185, 250, 255)}) {
    const SimulatedScan s = SimulateDeviceExport(eye, p, RenderSettings(), d, 5, 0);
    const SimulatedScan plain = SimulateScan(eye, p, DeviceRendering(RenderSettings(), d), 5, 0);
    const BscanTruth& t = s.truth.bscans[0];
    EXPECT_EQ(t.anterior, plain.truth.bscans[0].anterior);
    EXPECT_EQ(t.posterior, plain.truth.bscans[0].posterior);
    const DeviceLevels& l = t.device.levels;
    const Measured m = Measure(s, 0);
    ASSERT_TRUE(l.valid);
    EXPECT_NEAR(m.stroma, l.stroma, kGrey) << d.stromaLevel;
    EXPECT_NEAR(l.stroma, d.stromaLevel, kGrey) << d.stromaLevel;
    EXPECT_NEAR(m.air, l.air, kGrey) << d.stromaLevel;
    EXPECT_NEAR(l.air, d.airLevel, kGrey) << d.stromaLevel;
    EXPECT_NEAR(m.posteriorStroma, l.posteriorStroma, 2 * kGrey) << d.stromaLevel;
    EXPECT_NEAR(l.anteriorPeak, d.anteriorReflectionLevel, 3 * kGrey) << d.stromaLevel;
    EXPECT_LT(l.aqueous, l.air + kGrey) << d.stromaLevel;
    EXPECT_DOUBLE_EQ(s.truth.deviceLevels.stroma, l.stroma);
  }
  // Epithelium, its dark basal band and the bright Bowman layer below the truth, aligned on it.
  const SimulatedScan s = SimulateDeviceExport(eye, p, RenderSettings(), DeviceExport(), 5, 0);
  const BscanTruth& t = s.truth.bscans[0];
  double epithelium = 0, basal = 0, bowman = 0;
  for (int j = 300; j < 400; ++j) {
    const std::uint8_t* a = s.volume.data() + size_t(j) * s.ascanLength;
    const int ant = int(std::lround(t.anterior[j])), bow = int(std::lround(t.bowman[j]));
    epithelium += (a[ant + 4] + a[ant + 5] + a[ant + 6]) / 300.0;
    basal += (a[bow - 3] + a[bow - 2]) / 200.0;
    bowman += (a[bow + 1] + a[bow + 2]) / 200.0;
  }
  EXPECT_LT(basal, epithelium - 15);
  EXPECT_GT(bowman, epithelium + 15);
}

TEST(SyntheticEyeDeviceExport, BlanksAFanBelowTheCorneaAndDrawsTheStreakAtTheApex) {
  DeviceExport d;
  d.jpegQuality = 0;
  const ScanProtocol p = DeviceProtocol(2);
  const SimulatedScan cone = SimulateDeviceExport(KeratoconusEye(), p, RenderSettings(), d, 2, 0);
  const SimulatedScan round = SimulateDeviceExport(GullstrandEye(), p, RenderSettings(), d, 2, 0);
  const double pitchUm = 1000.0 * p.scanDepthMm / p.ascanLength;
  int streaks = 0;
  for (int i = 0; i < 4; ++i) {
    const int b = i % 2;
    const SimulatedScan& s = i < 2 ? cone : round;
    const BscanTruth& t = s.truth.bscans[b];
    const std::uint8_t* bscan = s.volume.data() + size_t(b) * p.bscanWidth * p.ascanLength;
    int masked = 0;
    for (int j = 0; j < p.bscanWidth; ++j) {
      const float top = t.device.maskTop[j];
      if (top < 0 || (j >= t.device.streakFirst - 2 && j <= t.device.streakLast + 2)) continue;
      ++masked;
      EXPECT_GT(top, t.posterior[j] + 3) << j;  // never over the cornea
      for (int k = int(top); k < int(t.device.maskBottom[j]); ++k)
        ASSERT_EQ(bscan[size_t(j) * p.ascanLength + k], 0) << b << " " << j << " " << k;
    }
    EXPECT_GT(masked, p.bscanWidth / 4);
    const int apex = int(std::min_element(t.posterior.begin(), t.posterior.end(),
                                          [](float x, float y) { return x >= 0 && x < y; }) -
                         t.posterior.begin());
    EXPECT_NEAR(t.device.maskTop[apex + 10], t.posterior[apex] + d.fanGapUm / pitchUm, 2.0);

    // The streak: saturated through the whole depth at the normal-incidence A-scans, where the
    // beam meets the cone at normal incidence at all.
    if (t.specularCentre < 0) {
      EXPECT_EQ(t.device.streakFirst, -1);
      continue;
    }
    ++streaks;
    EXPECT_NEAR(0.5 * (t.device.streakFirst + t.device.streakLast), t.specularCentre, 1.0);
    EXPECT_EQ(t.device.streakLast - t.device.streakFirst, 2 * d.streakHalfWidth);
    for (int j = t.device.streakFirst; j <= t.device.streakLast; ++j)
      for (int k = 0; k < p.ascanLength; ++k)
        ASSERT_EQ(bscan[size_t(j) * p.ascanLength + k], 255) << j << " " << k;
    const std::uint8_t* away = bscan + size_t(t.device.streakLast + 30) * p.ascanLength;
    EXPECT_LT(std::accumulate(away, away + 20, 0) / 20.0, 10.0);
  }
  EXPECT_GT(streaks, 0);
  d.fanMask = d.streak = false;
  const SimulatedScan plain = SimulateDeviceExport(KeratoconusEye(), p, RenderSettings(), d, 2, 0);
  EXPECT_EQ(plain.truth.bscans[0].device.streakFirst, -1);
  for (float top : plain.truth.bscans[0].device.maskTop) EXPECT_EQ(top, -1.0f);
}

TEST(SyntheticEyeDeviceExport, JpegRoundTripChangesPixelsButKeepsTheMean) {
  DeviceExport d;
  d.jpegQuality = 0;
  const ScanProtocol p = DeviceProtocol(1);
  const SimulatedScan raw = SimulateDeviceExport(GullstrandEye(), p, RenderSettings(), d, 4, 0);
  d.jpegQuality = 90;
  const SimulatedScan jpeg = SimulateDeviceExport(GullstrandEye(), p, RenderSettings(), d, 4, 0);
  size_t changed = 0;
  double sumRaw = 0, sumJpeg = 0;
  for (size_t i = 0; i < raw.volume.size(); ++i) {
    changed += raw.volume[i] != jpeg.volume[i];
    sumRaw += raw.volume[i];
    sumJpeg += jpeg.volume[i];
  }
  EXPECT_GT(changed, raw.volume.size() / 5);
  EXPECT_NEAR(sumJpeg / raw.volume.size(), sumRaw / raw.volume.size(), 0.5);
  EXPECT_EQ(jpeg.truth.bscans[0].anterior, raw.truth.bscans[0].anterior);
  EXPECT_NEAR(jpeg.truth.deviceLevels.stroma, raw.truth.deviceLevels.stroma, 1.0);
  d.jpegQuality = 101;
  EXPECT_THROW(SimulateDeviceExport(GullstrandEye(), p, RenderSettings(), d, 4, 0),
               std::invalid_argument);
}

// ---- Frames without a cornea --------------------------------------------------------------

double Mean(const std::vector<std::uint8_t>& v, const NoCorneaFrame& f, int z0, int z1) {
  double sum = 0;
  for (int j = 0; j < f.bscanWidth; ++j)
    for (int z = z0; z < z1; ++z) sum += v[size_t(j) * f.ascanLength + z];
  return sum / (double(f.bscanWidth) * (z1 - z0));
}

TEST(SyntheticEyeNoCornea, FramesRepeatPerSeedAndShowTheirShapeLevelAndGrain) {
  NoCorneaFrame f;
  f.bscanWidth = 200;
  f.ascanLength = 160;
  f.level = 100;
  const int L = f.ascanLength, edge = int(f.edgeDepth * L);
  for (const char* name : {"speckle", "uniform", "air", "half-plane", "eyelid", "iris"}) {
    ASSERT_TRUE(NoCorneaKindByName(name, &f.kind)) << name;
    const std::vector<std::uint8_t> a = SimulateNoCorneaFrame(f, 7);
    EXPECT_EQ(a, SimulateNoCorneaFrame(f, 7)) << name;
    if (f.kind != NoCorneaKind::Uniform) {
      EXPECT_NE(a, SimulateNoCorneaFrame(f, 8)) << name;
    }
    const double top = Mean(a, f, 0, L / 10), all = Mean(a, f, 0, L);
    switch (f.kind) {
      case NoCorneaKind::Uniform:
        EXPECT_EQ(*std::min_element(a.begin(), a.end()), 100);
        EXPECT_EQ(*std::max_element(a.begin(), a.end()), 100);
        break;
      case NoCorneaKind::Speckle:
        EXPECT_NEAR(all, f.level, 1.5);
        break;
      case NoCorneaKind::Air:
        EXPECT_NEAR(all, f.floorLevel, 0.5);
        break;
      case NoCorneaKind::HalfPlane:
        EXPECT_NEAR(Mean(a, f, 0, edge - 2), f.floorLevel, 0.5);
        EXPECT_NEAR(Mean(a, f, edge + 2, L), f.level, 2.0);
        break;
      default:  // eyelid and iris: a bright band below air
        EXPECT_LT(top, f.floorLevel + 1);
        EXPECT_GT(all, 10.0);
    }
  }
  // Grain: neighbouring A-scans are nearly independent at grain 0 and alike at grain 3.
  f.kind = NoCorneaKind::Speckle;
  auto lateralCorrelation = [&](double grain) {
    f.grainAscans = f.grainSamples = grain;
    const std::vector<std::uint8_t> v = SimulateNoCorneaFrame(f, 1);
    double sx = 0, sxx = 0, sxy = 0;
    const size_t n = v.size() - L;
    for (size_t i = 0; i < n; ++i)
      sx += v[i], sxx += double(v[i]) * v[i], sxy += double(v[i]) * v[i + L];
    const double mean = sx / n, var = sxx / n - mean * mean;
    return (sxy / n - mean * mean) / var;
  };
  EXPECT_LT(lateralCorrelation(0.0), 0.1);
  EXPECT_GT(lateralCorrelation(3.0), 0.6);
}

}  // namespace

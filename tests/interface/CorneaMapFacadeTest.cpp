#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "interface/CorneaMapScan.h"
#include "interface/Talvex.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CCorneaMapAlgorithm;
using Measure = CCorneaMapAlgorithm::ThicknessMeasure;
namespace Detail = Talvex::SDOCT::Algorithms::Detail;

constexpr double kPi = 3.14159265358979;
constexpr int kWidth = 256, kDepth = 256;
constexpr float kFieldMu = 6000.0f;

// Thickness (um) at (x, y) um on the cornea, y up.
using Profile = std::function<double(double, double)>;

// A radial scan as the scanner delivers it: meridian a (degrees) holds A-scan k at
// (r cos a, -r sin a) with r running from -3 mm to 3 mm; the anterior surface is level at sample
// 60 and the lower surface lies the profile's thickness below it.
struct Scan {
  std::vector<float> angles, anterior, lower, confidence;
  float depthMu;
  float fov[2] = {kFieldMu / 2, kFieldMu / 2};
  float smoothing = 0.1f;  // cut-off wavelength of the layer smoothing, share of the width
};
Scan MakeScan(const std::vector<float>& angles, float depthMu, const Profile& thickness) {
  Scan s{angles, {}, {}, {}, depthMu};
  for (float a : angles) {
    const double c = std::cos(a * kPi / 180), sn = std::sin(a * kPi / 180);
    for (int k = 0; k < kWidth; ++k) {
      const double r = -kFieldMu / 2 + kFieldMu * k / (kWidth - 1);
      s.anterior.push_back(60.0f);
      s.lower.push_back(static_cast<float>(60 + thickness(r * c, -r * sn) * kDepth / depthMu));
      s.confidence.push_back(1.0f);
    }
  }
  return s;
}

// Eight meridians 22.5 degrees apart, half of them given from the opposite end (a + 180 or
// a - 180), so that both branches of the angle conversion are taken.
const std::vector<float> kMeridians = {0, 202.5f, 45, 247.5f, -90, 112.5f, 315, 157.5f};

double Pachymetry(double x, double y) { return 520 + 30 * x / 3000 + 15 * y / 3000; }

struct Pachy {
  std::vector<float> map = std::vector<float>(kWidth * kWidth);
  std::vector<std::uint8_t> mask = std::vector<std::uint8_t>(kWidth * kWidth);
};
// The map of the grid-pixel measure (the facade's default, option left out) or of the sub-pixel
// one.
Pachy PachymetryOf(const Scan& s, bool subPixel = false) {
  Pachy p;
  CCorneaMapAlgorithm facade;
  auto run = [&](auto... option) {
    facade.PachymetryMap(s.anterior.data(), s.lower.data(), 8, kWidth, kDepth, s.smoothing,
                         s.confidence.data(), s.confidence.data(), 0.0f, s.fov, s.depthMu,
                         s.angles.data(), p.map.data(), p.mask.data(), 64, kFieldMu, 1, 0, 1.0f,
                         option...);
  };
  if (subPixel)
    run(Measure::SubPixel);
  else
    run();
  return p;
}

// Display pixel (column, row) of an N-wide map spanning widthMu, reconstructed on `recon` nodes:
// position in um, y up.
double NodePosition(int i, int n, int recon, double widthMu) {
  return -widthMu / 2 +
         std::min(i * static_cast<double>(recon) / n, recon - 1.0) * widthMu / (recon - 1);
}

// RMS and largest error of a display map against a profile within `radius` um of the centre.
struct Error {
  double rms = 0, worst = 0, meanSigned = 0;
};
Error Compare(const std::vector<float>& map, int n, int recon, double widthMu, double radius,
              const Profile& truth) {
  Error e;
  int count = 0;
  for (int row = 0; row < n; ++row)
    for (int col = 0; col < n; ++col) {
      const double x = NodePosition(col, n, recon, widthMu);
      const double y = -NodePosition(row, n, recon, widthMu);  // rows run downwards
      if (std::hypot(x, y) > radius) continue;
      const double d = map[row * n + col] - truth(x, y);
      e.rms += d * d;
      e.meanSigned += d;
      e.worst = std::max(e.worst, std::fabs(d));
      ++count;
    }
  e.rms = std::sqrt(e.rms / count);
  e.meanSigned /= count;
  return e;
}

TEST(CorneaMapScan, AnglesAreConvertedSortedAndTheirBscansReversedWhereNeeded) {
  const float angles[] = {0, 270, -45, 100}, fov[] = {3000, 2000};
  const Detail::RadialScan scan = Detail::PrepareRadialScan(angles, 4, 3, fov);
  // 0 -> 180 reversed; 270 -> 90 kept; -45 -> 45 kept; 100 -> 80 reversed.
  EXPECT_EQ(scan.source, (std::vector<int>{2, 3, 1, 0}));
  EXPECT_EQ(scan.reversed, (std::vector<bool>{false, true, false, true}));
  const double degree = kPi / 180;
  for (int k = 0; k < 4; ++k) {
    const double expected[] = {45, 80, 90, 180};
    EXPECT_NEAR(scan.angles[k], expected[k] * degree, 1e-6);
    const double c = std::cos(expected[k] * degree), s = std::sin(expected[k] * degree);
    EXPECT_NEAR(scan.lengths[k], 2 * std::sqrt(9e6 * c * c + 4e6 * s * s), 0.01);
  }
  const float rows[] = {0, 1, 2, 10, 11, 12, 20, 21, 22, 30, 31, 32};
  EXPECT_EQ(scan.Arrange(rows), (std::vector<float>{20, 21, 22, 32, 31, 30, 10, 11, 12, 2, 1, 0}));
  // Engine layout (x-major) to display: top row is the highest y.
  float map[] = {1, 2, 3, 4};  // (x0,y0) (x0,y1) (x1,y0) (x1,y1)
  Detail::ToDisplayOrientation(map, 2);
  EXPECT_EQ(std::vector<float>(map, map + 4), (std::vector<float>{2, 4, 1, 3}));
  // Odd and even widths, across and off the in-place turn's tiles: display (y, x) is engine
  // (x, W - 1 - y).
  for (int w : {1, 3, 16, 17, 40}) {
    std::vector<float> engine(static_cast<size_t>(w) * w), display;
    for (size_t k = 0; k < engine.size(); ++k) engine[k] = static_cast<float>(k);
    display = engine;
    Detail::ToDisplayOrientation(display.data(), w);
    for (int y = 0; y < w; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(display[y * w + x], engine[x * w + w - 1 - y]) << w << ": " << y << ", " << x;
  }
}

TEST(CorneaMapFacade, PachymetryMapOfATiltedCorneaIsUprightAndAccurate) {
  const Scan s = MakeScan(kMeridians, 1500.0f, Pachymetry);
  const Pachy fine = PachymetryOf(s, true);
  const Error e = Compare(fine.map, kWidth, 64, kFieldMu, 2500, Pachymetry);
  // A map turned or mirrored would be off by up to 2 x 33 um at the rim of this region.
  EXPECT_LT(e.rms, 0.8);
  EXPECT_LT(e.worst, 1.5);
  // The grid-pixel measure (the default) reads thin by a fraction of a sample (5.9 um).
  const Pachy gridPixel = PachymetryOf(s);
  const Error l = Compare(gridPixel.map, kWidth, 64, kFieldMu, 2500, Pachymetry);
  EXPECT_LT(l.meanSigned, e.meanSigned - 0.2 * 1500 / kDepth);
  EXPECT_GT(l.meanSigned, e.meanSigned - 1.2 * 1500 / kDepth);
  // Fully confident meridians mask only the outside of the inscribed circle.
  for (int k = 0; k < kWidth * kWidth; ++k) ASSERT_EQ(fine.mask[k], fine.map[k] == -1.0f) << k;
}

TEST(CorneaMapFacade, MaskCoversTheWedgeBeyondTheLastConfidentPosteriorAscan) {
  Scan s = MakeScan(kMeridians, 1500.0f, Pachymetry);
  // Meridian 0 (towards +x for growing A-scans) loses its last 20 A-scans: radius 107.9 pixels.
  // Their posterior positions are wrong (40 samples, 234 um too deep) and must not reach the map;
  // the smoothing is kept short so that the step spills over to confident A-scans little (the
  // spline through the step still rings by some 15 um there).
  s.smoothing = 0.01f;
  for (int k = kWidth - 20; k < kWidth; ++k) {
    s.confidence[k] = -1.0f;
    s.lower[k] += 40.0f;
  }
  // Meridian -90 (index 4) is nowhere exactly confident: it adds nothing.
  std::fill(s.confidence.begin() + 4 * kWidth, s.confidence.begin() + 5 * kWidth, 0.5f);
  const Pachy p = PachymetryOf(s);
  const double c = (kWidth - 1) / 2.0;
  auto maskAt = [&](double radius, double degrees) {
    const int col = static_cast<int>(std::lround(c + radius * std::cos(degrees * kPi / 180)));
    const int row = static_cast<int>(std::lround(c - radius * std::sin(degrees * kPi / 180)));
    return p.mask[row * kWidth + col];
  };
  const double x117 = NodePosition(static_cast<int>(std::lround(c + 117)), kWidth, 64, kFieldMu);
  EXPECT_NEAR(p.map[static_cast<int>(c) * kWidth + static_cast<int>(std::lround(c + 117))],
              Pachymetry(x117, 0), 25.0);
  EXPECT_EQ(maskAt(117, 0), 1);
  EXPECT_EQ(maskAt(117, 15), 1);
  EXPECT_EQ(maskAt(117, -15), 1);
  EXPECT_EQ(maskAt(117, 30), 0);   // beyond the wedge of one meridian spacing
  EXPECT_EQ(maskAt(100, 0), 0);    // inside the last confident A-scan
  EXPECT_EQ(maskAt(117, 180), 0);  // the other half of the meridian is confident
  EXPECT_EQ(maskAt(117, 90), 0);   // the unconfident meridian
  EXPECT_EQ(maskAt(117, -90), 0);
  EXPECT_EQ(maskAt(0, 0), 0);
  EXPECT_EQ(p.mask[0], 1);  // outside the circle
}

double Epithelium(double x, double y) { return 55 + 15 * x / 1500 + 7.5 * y / 1500; }

std::vector<float> EpitheliumOf(const Scan& s, const double* shift) {
  std::vector<float> map(128 * 128);
  CCorneaMapAlgorithm facade;
  if (shift)
    facade.EpithelialMap(s.anterior.data(), s.lower.data(), 8, kWidth, kDepth, 0.1f, nullptr,
                         nullptr, 0.0f, s.fov, s.depthMu, s.angles.data(), map.data(), 32, 3000.0f,
                         128, 1, 0, 1.0f, shift, Measure::SubPixel);
  else
    facade.EpithelialMap(s.anterior.data(), s.lower.data(), 8, kWidth, kDepth, 0.1f, nullptr,
                         nullptr, 0.0f, s.fov, s.depthMu, s.angles.data(), map.data(), 32, 3000.0f,
                         128, 1, 0, 1.0f, Measure::SubPixel);
  return map;
}

TEST(CorneaMapFacade, EpithelialMapOverTheCentralAscansFollowsTheBowmanLayerAndItsShifts) {
  const Scan s = MakeScan(kMeridians, 1000.0f, Epithelium);
  const std::vector<float> map = EpitheliumOf(s, nullptr);
  const Error e = Compare(map, 128, 32, 3000, 1200, Epithelium);
  EXPECT_LT(e.rms, 0.7);
  EXPECT_LT(e.worst, 1.5);
  // Every meridian moved 300 um right, then 300 um up: the map reads the profile 300 um back.
  std::vector<double> shift(16, 0.0);
  std::fill(shift.begin(), shift.begin() + 8, 300.0);
  const Error right = Compare(EpitheliumOf(s, shift.data()), 128, 32, 3000, 1000,
                              [](double x, double y) { return Epithelium(x - 300, y); });
  std::fill(shift.begin(), shift.begin() + 8, 0.0);
  std::fill(shift.begin() + 8, shift.end(), 300.0);
  const Error up = Compare(EpitheliumOf(s, shift.data()), 128, 32, 3000, 1000,
                           [](double x, double y) { return Epithelium(x, y - 300); });
  // Measured against the unshifted map's own offset; a shift the wrong way would read 3 um (x) or
  // 1.5 um (y) lower, a shift on the wrong axis 1.5 um higher or lower.
  EXPECT_NEAR(right.meanSigned, e.meanSigned, 0.3);
  EXPECT_NEAR(up.meanSigned, e.meanSigned, 0.3);
}

TEST(CorneaMapFacade, StatelessFacadeReportsEngineFailuresAndStaysUsable) {
  Scan s = MakeScan(kMeridians, 1500.0f, Pachymetry);
  CCorneaMapAlgorithm facade;  // no initialisation needed
  std::vector<float> map(kWidth * kWidth, 7.0f);
  std::vector<std::uint8_t> mask(kWidth * kWidth);
  std::vector<float> wide(2049, 60.0f);
  try {
    facade.PachymetryMap(wide.data(), wide.data(), 1, 2049, kDepth, 0.1f, wide.data(), wide.data(),
                         0.0f, s.fov, s.depthMu, s.angles.data(), map.data(), mask.data(), 64,
                         kFieldMu, 1, 0, 1.0f);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "Maximum number of Ascan in a Bscan must be smaller than 2049.");
  }
  EXPECT_EQ(map[0], 7.0f);  // refused before anything was written
  std::vector<float> lower = s.lower;
  // A meridian with a single posterior value: its smoothing fails, and the facade passes the
  // engine's message on unchanged.
  std::fill(lower.begin() + 3 * kWidth + 1, lower.begin() + 4 * kWidth, -1.0f);
  try {
    facade.PachymetryMap(s.anterior.data(), lower.data(), 8, kWidth, kDepth, 0.0f,
                         s.confidence.data(), s.confidence.data(), 0.0f, s.fov, s.depthMu,
                         s.angles.data(), map.data(), mask.data(), 64, kFieldMu, 1, 0, 1.0f);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexAlgorithm: bspline() failed.");
  }
  try {
    facade.EpithelialMap(s.anterior.data(), s.lower.data(), 8, kWidth, kDepth, 0.1f, nullptr,
                         nullptr, 0.0f, s.fov, s.depthMu, s.angles.data(), map.data(), 32, 3000.0f,
                         kWidth + 1, 1, 0, 1.0f);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), CCorneaMapAlgorithm::kMapWidthTooLarge);
  }
  facade.Dispose();  // releases nothing: the same object keeps working
  facade.PachymetryMap(s.anterior.data(), s.lower.data(), 8, kWidth, kDepth, 0.1f,
                       s.confidence.data(), s.confidence.data(), 0.0f, s.fov, s.depthMu,
                       s.angles.data(), map.data(), mask.data(), 64, kFieldMu, 1, 0, 1.0f);
  EXPECT_NEAR(map[128 * kWidth + 128], 520.0f, 6.0f);
}

TEST(CorneaMapFacade, NearestPosteriorAscanUsesTheScanLengthAlongTheGivenAngle) {
  // Anterior level at 300 um, posterior tilted (900 + 0.3 x um) over a 2 mm meridian: the half
  // extent along 0 degrees with angle 0, along 90 degrees with angle pi / 2 (radians as given).
  const int w = 256, depthPix = 1024;
  const double length = 2000, dz = 3000.0 / depthPix, slope = 0.3;
  std::vector<float> anterior(w, static_cast<float>(300 / dz)), posterior(w);
  std::vector<double> x(w);
  for (int i = 0; i < w; ++i) {
    x[i] = -length / 2 + length * i / (w - 1);
    posterior[i] = static_cast<float>((900 + slope * x[i]) / dz);
  }
  const float along0[] = {1000, 4000}, along90[] = {4000, 1000};
  using Case = std::pair<const float*, float>;
  for (const auto& [fov, angle] : {Case{along0, 0.0f}, Case{along90, float(kPi / 2)}}) {
    std::vector<int> nearest(w);
    CCorneaMapAlgorithm().AnteriorToPosteriorDistIdx(anterior.data(), posterior.data(), depthPix, w,
                                                     3000.0f, fov, angle, nearest.data());
    for (int i = 40; i < 200; ++i) {
      const double foot = (x[i] + slope * (300 - 900)) / (1 + slope * slope);
      EXPECT_NEAR(nearest[i], (foot + length / 2) * (w - 1) / length, 0.51) << angle << " " << i;
    }
  }
}

}  // namespace

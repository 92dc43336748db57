#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/geometric_transform/ImResize.h"
#include "common/numerics/Splines.h"
#include "core/AlgorithmException.h"
#include "engines/cornea_map/CCorneaMap.h"
#include "platform/vision/TalvexIppcv.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CCorneaMap;
using Measure = CCorneaMap::ThicknessMeasure;

// One B-scan geometry: depthPix samples over depthMu, widthPix A-scans over widthMu.
struct Scan {
  int depthPix, widthPix;
  float depthMu, widthMu;
  double dz() const { return static_cast<double>(depthMu) / depthPix; }
  // Lateral position (um) of A-scan i from the centre, in the engine's square-pixel convention:
  // isoWidth columns of one depth sample each span the A-scans 0 .. widthPix - 1.
  double x(int i) const {
    const double iso = std::trunc(static_cast<double>(widthMu) / depthMu * depthPix + 0.5);
    return (i - (widthPix - 1) / 2.0) * (iso - 1) / (widthPix - 1) * dz();
  }
};

// Layers (pixels) of the surfaces depth(x) in micrometres.
std::vector<float> Layer(const Scan& s, const std::function<double(double)>& depthMu) {
  std::vector<float> layer(s.widthPix);
  for (int i = 0; i < s.widthPix; ++i) layer[i] = static_cast<float>(depthMu(s.x(i)) / s.dz());
  return layer;
}

std::vector<float> Thickness(const Scan& s, const std::vector<float>& anterior,
                             const std::vector<float>& posterior, Measure measure, int method = 0) {
  std::vector<float> pach(s.widthPix);
  CCorneaMap engine;
  engine.ComputeMap(anterior.data(), posterior.data(), 1, s.depthPix, s.widthPix, s.depthMu,
                    s.widthMu, method, pach.data(), measure);
  return pach;
}

// Concentric circles: anterior radius 7800 um, posterior 550 um less, apex 300 um deep. The
// distance from any anterior point to the posterior circle is 550 um.
constexpr double kR1 = 7800, kShell = 550, kApex = 300;
double AnteriorCircle(double x) { return kApex + kR1 - std::sqrt(kR1 * kR1 - x * x); }
double PosteriorCircle(double x) {
  const double r2 = kR1 - kShell;
  return kApex + kR1 - std::sqrt(r2 * r2 - x * x);
}

// Square pixels (1024 A-scans over 3 mm) and non-square ones (512 over 6 mm, resampled to 2048
// square-pixel columns), both 1024 samples over 3 mm deep.
const Scan kSquare{1024, 1024, 3000.0f, 3000.0f};
const Scan kWide{1024, 512, 3000.0f, 6000.0f};

TEST(CorneaThickness, ShellBetweenConcentricCirclesIsItsRadialWidth) {
  for (const Scan& s : {kSquare, kWide}) {
    const auto anterior = Layer(s, AnteriorCircle), posterior = Layer(s, PosteriorCircle);
    const auto fine = Thickness(s, anterior, posterior, Measure::SubPixel);
    const auto grid = Thickness(s, anterior, posterior, Measure::GridPixel);
    double offset = 0, worst = 0;
    for (int i = 0; i < s.widthPix; ++i) {
      EXPECT_NEAR(fine[i], kShell, 1.0) << "A-scan " << i << " of " << s.widthPix;
      worst = std::max(worst, std::fabs(fine[i] - kShell));
      // The grid measure reads to the first whole sample of the posterior region: thin by half a
      // sample where the surface is level, up to one where it is tilted, plus the anterior
      // rounding and, on non-square pixels, the lateral read-back offset at the scan's ends.
      EXPECT_LE(grid[i], kShell + 0.5 * s.dz() + 0.01);
      EXPECT_GE(grid[i], kShell - 2.5 * s.dz());
      offset += (grid[i] - kShell) / s.widthPix;
    }
    EXPECT_LT(offset, -0.3 * s.dz());
    EXPECT_GT(offset, -1.1 * s.dz());
    RecordProperty("grid_offset_um_width" + std::to_string(s.widthPix), std::to_string(offset));
    RecordProperty("subpixel_worst_um_width" + std::to_string(s.widthPix), std::to_string(worst));
  }
}

TEST(CorneaThickness, CircleAboveATiltedLineIsThePerpendicularDistanceToTheLine) {
  const double slope = std::tan(10.0 * 3.14159265358979 / 180.0);
  auto line = [slope](double x) { return 1500.0 + slope * x; };
  for (const Scan& s : {kSquare, kWide}) {
    const auto anterior = Layer(s, AnteriorCircle), posterior = Layer(s, line);
    const auto fine = Thickness(s, anterior, posterior, Measure::SubPixel);
    const double half = s.x(s.widthPix - 1);
    for (int i = 0; i < s.widthPix; ++i) {
      const double x = s.x(i);
      if (std::fabs(x) > half - 200) continue;  // the foot of the normal must lie on the scan
      const double truth = (line(x) - AnteriorCircle(x)) / std::sqrt(1 + slope * slope);
      EXPECT_NEAR(fine[i], truth, 1.0) << "A-scan " << i << " of " << s.widthPix;
    }
  }
}

TEST(CorneaThickness, BothDistanceMethodsGiveTheSameExactDistances) {
  const auto anterior = Layer(kWide, AnteriorCircle), posterior = Layer(kWide, PosteriorCircle);
  EXPECT_EQ(Thickness(kWide, anterior, posterior, Measure::GridPixel, 0),
            Thickness(kWide, anterior, posterior, Measure::GridPixel, 1));
}

int IsoWidth(const Scan& s) {
  return static_cast<int>(
      std::trunc(static_cast<double>(s.widthMu) / s.depthMu * s.depthPix + 0.5));
}

// The posterior surface at the square-pixel columns, as the engine resamples it (cubic spline
// through the valid samples, clamped to the A-scan).
std::vector<float> SquarePixelPosterior(const Scan& s, const std::vector<float>& posterior) {
  namespace Numerics = Talvex::Common::Algorithms::Numerics;
  using Talvex::Common::Algorithms::DataStructures::CLineSpace;
  const int iso = IsoWidth(s);
  std::vector<float> x, y, edge(iso);
  for (int i = 0; i < s.widthPix; ++i)
    if (posterior[i] > -1.0f) x.push_back(static_cast<float>(i)), y.push_back(posterior[i]);
  auto query = CLineSpace<float>::linspace(0.0f, static_cast<float>(s.widthPix - 1), iso);
  EXPECT_EQ(Numerics::cspline(x.data(), y.data(), static_cast<int>(x.size()), query->getdata(),
                              edge.data(), iso),
            0);
  for (float& d : edge) d = std::clamp(d, 0.0f, static_cast<float>(s.depthPix - 1));
  return edge;
}

// The grid-pixel per-B-scan thickness on the whole square-pixel image: region from the truncated
// posterior depth down, exact distance transform of the whole image, linear lateral resize, read
// at the rounded anterior depth (isotropic pixels).
std::vector<float> WholeImageThickness(const Scan& s, const std::vector<float>& anterior,
                                       const std::vector<float>& posterior) {
  const int iso = IsoWidth(s);
  const std::vector<float> edge = SquarePixelPosterior(s, posterior);
  const size_t pixels = static_cast<size_t>(iso) * s.depthPix;
  std::vector<std::uint8_t> bin(pixels, 255);
  for (int j = 0; j < iso; ++j) {
    std::fill(bin.begin() + static_cast<size_t>(j) * s.depthPix + static_cast<int>(edge[j]),
              bin.begin() + static_cast<size_t>(j + 1) * s.depthPix, 0);
  }
  using namespace Talvex::Platform;
  int size = 0;
  EXPECT_EQ(ippiTrueDistanceTransformGetBufferSize_8u32f_C1R({s.depthPix, iso}, &size), 0);
  std::vector<std::uint8_t> buffer(static_cast<size_t>(size));
  std::vector<float> dist(pixels), resized(static_cast<size_t>(s.widthPix) * s.depthPix);
  EXPECT_EQ(ippiTrueDistanceTransform_8u32f_C1R(bin.data(), s.depthPix, dist.data(), s.depthPix * 4,
                                                {s.depthPix, iso}, buffer.data()),
            0);
  EXPECT_EQ(Talvex::Common::Algorithms::GeometricTransform::ImResize(
                dist.data(), iso, s.depthPix, 1, resized.data(), s.widthPix, s.depthPix),
            0);
  std::vector<float> pach(s.widthPix, -1.0f);
  for (int i = 0; i < s.widthPix; ++i)
    if (anterior[i] >= 0.0f && posterior[i] >= 0.0f)
      pach[i] = resized[static_cast<size_t>(i) * s.depthPix +
                        std::min(static_cast<int>(anterior[i] + 0.5), s.depthPix - 1)];
  return pach;
}

// The engine transforms only the band of depths from the shallowest anterior read to the deepest
// posterior edge; every distance it reads must be the one of the whole image, also for anterior
// points below every posterior edge (0) and beside gaps of either layer.
TEST(CorneaThickness, DepthBandGivesTheDistancesOfTheWholeImage) {
  for (const Scan& s : {kSquare, kWide}) {
    auto anterior = Layer(s, AnteriorCircle), posterior = Layer(s, PosteriorCircle);
    for (int i = 0; i < s.widthPix; i += 97) anterior[i] = posterior[i] + 40.0f * (i % 3);
    anterior[5] = -1.0f;
    posterior[s.widthPix / 3] = -1.0f;
    anterior[s.widthPix / 2] = static_cast<float>(s.depthPix - 2);  // below every edge
    const int iso =
        static_cast<int>(std::trunc(static_cast<double>(s.widthMu) / s.depthMu * s.depthPix + 0.5));
    const size_t pixels = static_cast<size_t>(std::max(iso, s.widthPix)) * s.depthPix;
    std::vector<std::uint8_t> bin(pixels);
    std::vector<float> dist(pixels), resized(pixels), pach(s.widthPix);
    int size = 0;
    ASSERT_EQ(Talvex::Platform::ippiTrueDistanceTransformGetBufferSize_8u32f_C1R({s.depthPix, iso},
                                                                                 &size),
              0);
    std::vector<std::uint8_t> buffer(static_cast<size_t>(size));
    CCorneaMap engine;
    ASSERT_EQ(engine.BscanMap(anterior.data(), posterior.data(), s.depthPix, s.widthPix, s.depthMu,
                              s.widthMu, 0, bin.data(), dist.data(), buffer.data(), resized.data(),
                              pach.data()),
              0);
    EXPECT_EQ(pach, WholeImageThickness(s, anterior, posterior)) << s.widthPix << " A-scans";
    EXPECT_EQ(pach[s.widthPix / 2], 0.0f);
  }
}

// ComputeMap computes the two distances each A-scan reads on their own, without the images; they
// and their lateral blend must be those of the whole image bit for bit: resampling factors that
// are whole (square, wide) and not (a radial meridian's 3077 columns for 700 A-scans, 128
// columns for 512), a jittered gently tilted posterior surface and a steep one (nearest pixels
// far to the side), gaps, anterior points on and below the surface.
TEST(CorneaThickness, ThicknessWithoutImagesEqualsTheWholeImageTransform) {
  const Scan meridian{1000, 700, 2600.0f, 8000.0f}, coarse{256, 512, 3000.0f, 1500.0f};
  for (const Scan& s : {kSquare, kWide, meridian, coarse}) {
    const double steep = 1500.0 / s.widthMu;  // a drop of 1.5 mm across the scan
    for (double slope : {0.05, steep, -steep}) {
      auto anterior = Layer(s, AnteriorCircle);
      auto posterior = Layer(s, [slope](double x) { return 1000.0 + slope * x; });
      for (int i = 0; i < s.widthPix; ++i) posterior[i] += 0.9f * ((i * 7919) % 11 - 5) / 5.0f;
      for (int i = 0; i < s.widthPix; i += 61) anterior[i] = posterior[i] + 25.0f * (i % 3 - 1);
      anterior[7] = -1.0f;
      posterior[s.widthPix / 4] = -1.0f;
      const float scale = static_cast<float>(static_cast<double>(s.depthMu) / s.depthPix);
      std::vector<float> expected = WholeImageThickness(s, anterior, posterior);
      for (float& v : expected) v = v * scale > 0.0f ? v * scale : -1.0f;
      EXPECT_EQ(Thickness(s, anterior, posterior, Measure::GridPixel, 1), expected)
          << s.widthPix << " A-scans, slope " << slope;
    }
  }
}

// A surface with sample-to-sample jitter has many local minima of the distance along it; the
// sub-pixel measure must still find the nearest point of the whole curve (brute force over every
// segment as the oracle).
TEST(CorneaThickness, SubPixelFindsTheNearestPointOfANoisySurface) {
  for (const Scan& s : {kSquare, kWide}) {
    const auto anterior = Layer(s, AnteriorCircle);
    auto posterior = Layer(s, PosteriorCircle);
    for (int i = 0; i < s.widthPix; ++i) posterior[i] += 0.7f * ((i * 7919) % 13 - 6) / 6.0f;
    const auto fine = Thickness(s, anterior, posterior, Measure::SubPixel);
    const std::vector<float> curve = SquarePixelPosterior(s, posterior);
    const double lateral = (IsoWidth(s) - 1.0) / (s.widthPix - 1.0);
    for (int i = 0; i < s.widthPix; ++i) {
      const double px = i * lateral, pz = anterior[i];
      double best = 1e30;
      for (size_t j = 0; j + 1 < curve.size(); ++j) {
        const double dz = curve[j + 1] - curve[j];
        const double t = std::clamp(((px - j) + (pz - curve[j]) * dz) / (1 + dz * dz), 0.0, 1.0);
        best = std::min(best, std::hypot(px - (j + t), pz - (curve[j] + t * dz)));
      }
      ASSERT_NEAR(fine[i], best * s.dz(), 1e-3) << "A-scan " << i << " of " << s.widthPix;
    }
  }
}

// A workspace kept between calls holds what the previous B-scan left behind, in areas of another
// size; a B-scan measured before and after one of another depth, width and length must read the
// same thicknesses as with areas of its own.
TEST(CorneaThickness, WorkspaceKeptBetweenBscansOfOtherSizesChangesNoThickness) {
  const Scan other{1200, 300, 2500.0f, 4000.0f};  // more pixels, fewer A-scans, another band
  auto tilted = [](double x) { return 1500.0 + 0.3 * x; };
  const auto anterior = Layer(kWide, AnteriorCircle), posterior = Layer(kWide, PosteriorCircle);
  const auto otherAnterior = Layer(other, AnteriorCircle), otherPosterior = Layer(other, tilted);
  CCorneaMap engine;
  CCorneaMap::Workspace work;
  const auto measure = [&](const Scan& s, const std::vector<float>& a, const std::vector<float>& p,
                           Measure m) {
    std::vector<float> pach(s.widthPix);
    engine.ComputeMap(a.data(), p.data(), 1, s.depthPix, s.widthPix, s.depthMu, s.widthMu, 1,
                      pach.data(), m, work);
    return pach;
  };
  for (Measure m : {Measure::GridPixel, Measure::SubPixel}) {
    const auto own = Thickness(kWide, anterior, posterior, m, 1);
    EXPECT_EQ(measure(kWide, anterior, posterior, m), own);
    EXPECT_EQ(measure(other, otherAnterior, otherPosterior, m),
              Thickness(other, otherAnterior, otherPosterior, m, 1));
    EXPECT_EQ(measure(kWide, anterior, posterior, m), own);
  }
}

TEST(CorneaThickness, MissingOrInvertedSurfacesGiveNoValue) {
  const Scan s{256, 64, 1000.0f, 1000.0f};
  std::vector<float> anterior(64, 50.0f), posterior(64, 150.0f);
  anterior[3] = -1.0f;    // no anterior value
  posterior[10] = -1.0f;  // no posterior value (the surface is interpolated across)
  anterior[20] = 200.0f;  // anterior below the posterior surface: distance 0
  anterior[21] = 150.0f;  // anterior on the posterior surface
  const auto pach = Thickness(s, anterior, posterior, Measure::GridPixel);
  EXPECT_EQ(pach[3], -1.0f);
  EXPECT_EQ(pach[10], -1.0f);
  EXPECT_EQ(pach[20], -1.0f);
  EXPECT_EQ(pach[21], -1.0f);
  EXPECT_FLOAT_EQ(pach[30], 100 * 1000.0f / 256);
  EXPECT_EQ(Thickness(s, anterior, posterior, Measure::SubPixel)[20], -1.0f);
}

TEST(CorneaThickness, RefusesWideBscansBeforeWritingAndFailsWithoutPosteriorSamples) {
  CCorneaMap engine;
  std::vector<float> layer(2049, 10.0f), pach(2049, 7.0f);
  try {
    engine.ComputeMap(layer.data(), layer.data(), 1, 64, 2049, 1000.0f, 1000.0f, 0, pach.data());
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "Maximum number of Ascan in a Bscan must be smaller than 2049.");
  }
  EXPECT_EQ(pach, std::vector<float>(2049, 7.0f));

  std::vector<float> anterior(32, 5.0f), posterior(32, -1.0f);
  posterior[7] = 20.0f;  // a single sample: no spline
  try {
    engine.ComputeMap(anterior.data(), posterior.data(), 1, 64, 32, 500.0f, 500.0f, 1, pach.data());
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexAlgorithm: cspline() failed.");
  }
}

}  // namespace

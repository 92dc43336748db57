#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/cornea_map/CCorneaMap.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CCorneaMap;

constexpr double kPi = 3.14159265358979;

// A smooth pachymetry profile (um) over the map plane (um): thinnest slightly off centre.
double Pachymetry(double x, double y) {
  const double u = (x - 150) / 3000, v = (y + 100) / 3000;
  return 530 + 60 * (u * u + v * v) + 8 * u * v;
}

// Meridians of widthPix samples over 6 mm, angles ascending in [0, pi), first A-scan on the side
// opposite to the angle.
struct Meridians {
  int count, widthPix;
  std::vector<float> rows, fov, angles;
};
Meridians RadialThickness(int count, int widthPix) {
  Meridians m{count, widthPix, {}, std::vector<float>(count, 6000.0f), {}};
  for (int b = 0; b < count; ++b) {
    const double theta = kPi * b / count;
    m.angles.push_back(static_cast<float>(theta));
    for (int j = 0; j < widthPix; ++j) {
      const double r = -3000 + 6000.0 * j / (widthPix - 1);
      m.rows.push_back(static_cast<float>(Pachymetry(r * std::cos(theta), r * std::sin(theta))));
    }
  }
  return m;
}

std::vector<float> Map(const Meridians& m, int recon, int interp, int regul, float smooth) {
  std::vector<float> map(m.widthPix * m.widthPix);
  CCorneaMap engine;
  engine.CorneaMap(m.rows.data(), m.count, m.widthPix, m.fov.data(), m.angles.data(), map.data(),
                   recon, 6000.0f, interp, regul, smooth);
  return map;
}

TEST(CorneaMapReconstruction, GridFitAndZernikeAgreeWithTheProfileAndEachOther) {
  const Meridians m = RadialThickness(16, 256);
  const int w = m.widthPix, recon = 128;
  const auto grid = Map(m, recon, 1, 0, 1.0f);
  const auto zernike = Map(m, recon, -1, 0, 8.0f);
  // Output pixel i reads the reconstruction node i * recon / w (no half-pixel shift).
  auto position = [&](int i) {
    return -3000 + std::min(i * static_cast<double>(recon) / w, recon - 1.0) * 6000 / (recon - 1);
  };
  double diff2 = 0, gridErr2 = 0, zernErr2 = 0;
  int count = 0;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < w; ++j) {
      const float g = grid[i * w + j], z = zernike[i * w + j];
      ASSERT_EQ(g == -1.0f, z == -1.0f);
      if (g == -1.0f || std::hypot(position(i), position(j)) > 2900) continue;
      const double truth = Pachymetry(position(i), position(j));  // i runs along x
      diff2 += (g - z) * (g - z);
      gridErr2 += (g - truth) * (g - truth);
      zernErr2 += (z - truth) * (z - truth);
      ++count;
    }
  }
  EXPECT_LT(std::sqrt(diff2 / count), 1.0);
  EXPECT_LT(std::sqrt(gridErr2 / count), 1.0);
  EXPECT_LT(std::sqrt(zernErr2 / count), 1.0);
  // Outside the inscribed circle, the corners above all, there is no value.
  for (int k : {0, w - 1, (w - 1) * w, w * w - 1}) EXPECT_EQ(grid[k], -1.0f);
}

TEST(CorneaMapReconstruction, OutOfRangeInterpolationMeansBilinearGradientSmoothing20) {
  const Meridians m = RadialThickness(8, 48);
  EXPECT_EQ(Map(m, 48, 5, 1, 3.0f), Map(m, 48, 1, 0, 20.0f));
}

TEST(CorneaMapReconstruction, ManyMeridiansOnASmallZernikeGridKeepToTheirBuffers) {
  // 16 x 64 samples on an 8 x 8 grid: more samples than nodes.
  Meridians m = RadialThickness(16, 64);
  for (float& v : m.rows) v = 540.0f;
  const auto map = Map(m, 8, -1, 0, 2.0f);
  for (int k = 0; k < 64 * 64; ++k) {
    if (map[k] != -1.0f) {
      EXPECT_NEAR(map[k], 540.0f, 1e-3);
    }
  }
}

TEST(CorneaMapReconstruction, SingularFitAndMissingMeridianAreReported) {
  Meridians m = RadialThickness(2, 32);
  try {
    Map(m, 32, 1, 0, 0.0f);  // two meridians cannot reach every node without smoothing
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexAlgorithm: gridfit() failed.");
  }
  for (int j = 0; j < 32; ++j) m.rows[j] = -1.0f;  // meridian 0 without any value
  try {
    Map(m, 16, 1, 0, 1.0f);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexAlgorithm: linterpol1() failed.");
  }
}

TEST(CorneaMapHelpers, NearestPosteriorAscanFollowsTheNormalOfATiltedSurface) {
  const int w = 256;
  const float fov = 6000, depthMu = 3000;
  const int depthPix = 1024;
  const double dz = depthMu / depthPix, slope = 0.3;
  std::vector<float> anterior(w), posterior(w);
  std::vector<double> x(w);
  for (int i = 0; i < w; ++i) {
    x[i] = -fov / 2 + fov * i / (w - 1.0);
    anterior[i] = static_cast<float>(300 / dz);
    posterior[i] = static_cast<float>((900 + slope * x[i]) / dz);
  }
  anterior[40] = -1.0f;  // a gap is bridged by the spline
  std::vector<int> nearest(w);
  CCorneaMap engine;
  engine.AnteriorToPosteriorDistIdx(anterior.data(), posterior.data(), depthPix, w, depthMu, fov,
                                    nearest.data());
  for (int i = 40; i < 200; ++i) {
    // Foot of the perpendicular from (x_i, 300) onto z = 900 + slope x.
    const double foot = (x[i] + slope * (300 - 900)) / (1 + slope * slope);
    EXPECT_NEAR(nearest[i], (foot + fov / 2) * (w - 1) / fov, 0.51) << i;
  }
  std::vector<int> tiny(7, 9);
  engine.AnteriorToPosteriorDistIdx(anterior.data(), posterior.data(), depthPix, 7, depthMu, fov,
                                    tiny.data());
  EXPECT_EQ(tiny, std::vector<int>(7, 0));  // empty search window
}

}  // namespace

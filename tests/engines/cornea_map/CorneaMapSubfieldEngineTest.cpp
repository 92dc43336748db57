#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engines/cornea_map/CCorneaMapSubfield.h"

namespace {

using Talvex::SDOCT::Algorithms::CCorneaMapSubfield;

TEST(CorneaMapSubfieldEngine, SectorMaskMatchesThePixelTestOfEveryPixel) {
  // MaskROI visits a bounding box and decides membership without an arc tangent away from the
  // edges; the oracle runs InsideSector over the whole map. The box samples the outer arc every
  // degree, so it may only miss pixels lying within a hair of the outer radius.
  const CCorneaMapSubfield engine;
  const int w = 96;
  const float x0 = 47.3f, y0 = 50.6f;
  std::uint32_t seed = 12345;
  auto uniform = [&](double lo, double hi) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(lo + (hi - lo) * (seed >> 8) / 16777216.0);
  };
  struct Sector {
    float r0, dR, theta0, dTheta;
  };
  std::vector<Sector> sectors = {{0, 30, 0, 359.999f * 3.1415927f / 180},
                                 {0, 40, 0, 6.283168f},
                                 {10, 20, 1.0f, 3.1415927f},
                                 {5, 30, -0.4f, 0.0f},
                                 {5, 30, 2.0f, -0.5f},
                                 {0, 60, -20.0f, 6.2f}};
  for (int k = 0; k < 60; ++k)
    sectors.push_back({uniform(0, 30), uniform(1, 40), uniform(-7, 7), uniform(0, 6.28)});
  for (const Sector& s : sectors) {
    std::vector<std::uint8_t> mask(w * w, 0);
    engine.MaskROI(w, x0, y0, s.r0, s.dR, s.theta0, s.dTheta, mask.data());
    for (int y = 0; y < w; ++y)
      for (int x = 0; x < w; ++x) {
        const bool inside = engine.InsideSector(x, y, x0, y0, s.r0, s.dR, s.theta0, s.dTheta);
        if (mask[y * w + x] == inside) continue;
        const double r = std::hypot(x - x0, y0 - y);
        EXPECT_TRUE(inside && r > s.r0 + s.dR - 0.01)
            << "pixel " << x << "," << y << " sector " << s.r0 << " " << s.dR << " " << s.theta0
            << " " << s.dTheta;
      }
  }
}

TEST(CorneaMapSubfieldEngine, AnglesAreNormalisedByWholeTurns) {
  const CCorneaMapSubfield engine;
  EXPECT_FLOAT_EQ(engine.NormalizeTheta(-0.5f), 6.2831855f - 0.5f);
  EXPECT_FLOAT_EQ(engine.NormalizeTheta(7.0f), 7.0f - 6.2831855f);
  EXPECT_EQ(engine.NormalizeTheta(6.2831855f), 0.0f);
  const float far = engine.NormalizeTheta(1.0e6f);  // a whole number of turns, not a million steps
  EXPECT_GE(far, 0.0f);
  EXPECT_LT(far, 6.2831855f);
}

}  // namespace

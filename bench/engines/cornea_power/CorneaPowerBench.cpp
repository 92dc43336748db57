// Corneal power of a 16-meridian radial scan of 1024 A-scans (1024 samples over 2.3 mm): a
// 7.7 / 6.8 mm spherical cornea with a 2 um jitter on every traced depth and 5 % of the A-scans
// thrown 40 um off, so that the robust fits reject outliers as on traced surfaces. Timed through
// the facade (layer copies and reordering included) with the standard preset and a 1.5 mm zone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "interface/CCorneaPowerAlgorithm.h"
#include "interface/CorneaPowerPresets.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;

constexpr int kMeridians = 16, kWidth = 1024, kDepthPix = 1024;
constexpr float kDepthMu = 2300.0f, kHalfField = 4000.0f;

struct Scan {
  std::vector<float> anterior, posterior, angles;
};

Scan MakeScan() {
  Scan s;
  std::uint32_t state = 12345u;
  const auto uniform = [&state] {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / 16777216.0;
  };
  const auto depth = [&](double R, double z0, double r) {
    const double jitter = 4.0 * (uniform() - 0.5) + (uniform() < 0.05 ? 40.0 : 0.0);
    return static_cast<float>((z0 + R - std::sqrt(R * R - r * r) + jitter) * kDepthPix / kDepthMu);
  };
  for (int b = 0; b < kMeridians; ++b) {
    s.angles.push_back(180.0f * b / kMeridians);
    for (int j = 0; j < kWidth; ++j) {
      const double r = -kHalfField + 2.0 * kHalfField * j / (kWidth - 1);
      s.anterior.push_back(depth(7700, 300, r));
      s.posterior.push_back(depth(6800, 800, r));
    }
  }
  return s;
}

void BM_CornealPower16x1024(benchmark::State& state) {
  const Scan s = MakeScan();
  CCorneaPowerAlgorithm power;
  power.Initialize(CorneaPowerPresetStandard());
  const float fov[2] = {kHalfField, kHalfField};
  float a = 0, p = 0, t = 0;
  for (auto _ : state) {
    const int status =
        power.CornealPower(s.anterior.data(), s.posterior.data(), s.angles.data(), kMeridians,
                           kWidth, kDepthPix, kDepthMu, fov, 1500.0f, 0.0f, a, p, t);
    benchmark::DoNotOptimize(status);
  }
  state.counters["anteriorD"] = a;
  state.counters["posteriorD"] = p;
  state.counters["totalD"] = t;
}
BENCHMARK(BM_CornealPower16x1024)->Unit(benchmark::kMillisecond);

}  // namespace

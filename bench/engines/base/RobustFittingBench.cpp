// Timing of the robust parabola fit that traces a surface profile along one B-scan: A-scans
// 0 .. n-1 on a parabola of 200 px sag, inliers within 0.5 px, 30 % outliers 5 .. 200 px away,
// threshold 2 px, probability 0.99.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engines/base/CAnteriorSegmentModule.h"

namespace {

using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;

// Args: number of points (A-scans), sample size s (minNumPoints).
void BM_ParabolaCoeff(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), s = static_cast<int>(state.range(1));
  std::mt19937 rng(7);
  auto uniform = [&](double lo, double hi) { return lo + (hi - lo) * (rng() / 4294967296.0); };
  const double centre = 0.5 * (n - 1), sag = 200.0;
  std::vector<float> x(n), y(n);
  for (int i = 0; i < n; ++i) {
    const double u = (i - centre) / centre;
    x[i] = static_cast<float>(i);
    y[i] = static_cast<float>(100.0 + sag * u * u + uniform(-0.5, 0.5));
    if ((i * 7) % 10 < 3) y[i] += static_cast<float>((rng() & 1 ? 1 : -1) * uniform(5, 200));
  }
  std::vector<int> randomValues(8192);
  for (int& v : randomValues) v = static_cast<int>(rng() >> 1);

  CAnteriorSegmentModule engine;
  float coeff[3];
  int ninliers = 0;
  for (auto _ : state) {
    // Restarting the cursor makes every iteration the same fit.
    engine.SetRandomArray(randomValues.data(), static_cast<std::uint32_t>(randomValues.size()));
    if (engine.ParabolaCoeff(x.data(), y.data(), n, s, 2.0f, 0.99f, 100, 1000, coeff, ninliers) !=
        0)
      state.SkipWithError("fit failed");
    benchmark::DoNotOptimize(coeff);
  }
  state.counters["inliers"] = ninliers;
}
BENCHMARK(BM_ParabolaCoeff)
    ->Args({512, 3})
    ->Args({512, 10})
    ->Args({2048, 3})
    ->Args({2048, 10})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

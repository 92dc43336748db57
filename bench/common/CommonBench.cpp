// Timing of the common library's hot paths at B-scan sizes: the layer search, Gaussian smoothing
// and Gaussian-derivative filtering, and resizing.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using namespace Talvex::Common::Algorithms;

std::vector<float> RandomFloats(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> v(n);
  for (float& x : v) x = u(rng);
  return v;
}

// Args: rows (A-scans, path steps), columns (depth), search window.
void BM_GraphBasedSegmentation(benchmark::State& state) {
  const int h = static_cast<int>(state.range(0)), w = static_cast<int>(state.range(1));
  const int m = static_cast<int>(state.range(2));
  const std::vector<float> cost = RandomFloats(size_t(h) * w, 1);
  std::vector<float> layer(h);
  for (auto _ : state) {
    if (Analysis::GraphBasedSegmentation(cost.data(), h, w, m, layer.data(), false) != 0)
      state.SkipWithError("search failed");
    benchmark::DoNotOptimize(layer.data());
  }
}
BENCHMARK(BM_GraphBasedSegmentation)
    ->Args({1024, 192, 2})
    ->Args({1024, 192, 5})
    ->Args({512, 600, 2})
    ->Args({512, 600, 5})
    ->Unit(benchmark::kMicrosecond);

// Separable Gaussian smoothing (7 taps across A-scans, 7 along depth) of an n x n float image.
void BM_Gauss2Dsep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> original = RandomFloats(size_t(n) * n, 2);
  std::vector<float> image = original;
  const float sigma[2] = {1.5f, 1.5f};
  const int size[2] = {7, 7};
  for (auto _ : state) {
    Filters::Gauss_2Dsep(image.data(), n, n, sigma, size);
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_Gauss2Dsep)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

// Gaussian-derivative edge image: order-1 kernel along depth, Gaussian across A-scans, as the
// engine base builds it (kernel sizes 15 and 7).
void BM_GaussianDerivativeImage(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> image = RandomFloats(size_t(n) * n, 3);
  std::vector<float> along(15), across(7);
  Filters::GetGaussianDerivKernel1D(1, 2.5f, 15, 3.0f, along.data());
  Filters::GetGaussianDerivKernel1D(0, 1.0f, 7, 3.0f, across.data());
  for (auto _ : state) {
    Filters::ConvRow2D(image.data(), n, n, along.data(), 15);
    Filters::ConvCol2D(image.data(), n, n, across.data(), 7);
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_GaussianDerivativeImage)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

void BM_ImResizeHalf(benchmark::State& state) {
  const int method = static_cast<int>(state.range(0));
  std::vector<std::uint8_t> src(1024 * 1024), dst(512 * 512);
  std::mt19937 rng(4);
  for (auto& v : src) v = static_cast<std::uint8_t>(rng());
  for (auto _ : state) {
    GeometricTransform::ImResize(src.data(), 1024, 1024, method, dst.data(), 512, 512);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_ImResizeHalf)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// One parabola fit of n layer points, as the robust fits repeat it thousands of times per B-scan.
void BM_PolyfitParabola(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> x(n), y(n), p(3);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i);
    y[i] = 0.001f * (i - n / 2.0f) * (i - n / 2.0f) + 100.0f;
  }
  for (auto _ : state) {
    Talvex::Common::Algorithms::Numerics::polyfit(x.data(), y.data(), n, 2, p.data());
    benchmark::DoNotOptimize(p.data());
  }
}
BENCHMARK(BM_PolyfitParabola)->Arg(3)->Arg(50)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

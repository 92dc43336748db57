// Thickness-map timing on a 16-meridian radial scan of 1024 A-scans: the regularised grid fit
// onto 128 x 128 nodes, the order-8 Zernike resampling onto the same grid, and the per-B-scan
// thickness of 16 B-scans of 1024 x 1024 (grid measure and sub-pixel measure).
//
// CPU time on one core of the shared build machine (fastest of 12 runs; before = simplicial
// LDL^T solve and the distance transform of the whole square-pixel image, after = supernodal
// Cholesky and the transform of the depth band that is read):
//   GridFit/1/0 (bilinear, gradient)      182 -> 128 ms
//   GridFit/0/1 (triangle, Laplacian)     165 -> 116 ms
//   ZernikeResampling                       8 ->   8 ms
//   ComputeMap/0/3000 (grid, 3 mm)         60 ->  12 ms
//   ComputeMap/1/3000 (sub-pixel, 3 mm)    60 ->  25 ms
//   ComputeMap/0/6000 (grid, 6 mm)        181 ->  48 ms
//   ComputeMap/1/6000 (sub-pixel, 6 mm)   191 ->  63 ms
// The sub-pixel measure's exact search of the posterior curve costs 13-15 ms of the last figures.
// The machine is shared: in one interval the 6 mm figures of both builds doubled (memory traffic
// of other jobs); the figures above come from interleaved runs of the two builds.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "common/numerics/GridFit.h"
#include "common/numerics/ZernikeFit.h"
#include "common/numerics/ZernikeRadialCartesian.h"
#include "engines/cornea_map/CCorneaMap.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;
using Talvex::SDOCT::Algorithms::CCorneaMap;

constexpr double kPi = 3.14159265358979;
constexpr int kMeridians = 16, kWidth = 1024, kNodes = 128;

// Thickness samples (um) of 16 meridians over 6 mm, in Cartesian and polar form.
struct Samples {
  std::vector<float> x, y, z;
  std::vector<double> angle, radius, value;
};

const Samples& RadialSamples() {
  static const Samples s = [] {
    Samples r;
    for (int b = 0; b < kMeridians; ++b) {
      const double theta = kPi * b / kMeridians;
      for (int k = 0; k < kWidth; ++k) {
        const double t = -3000 + 6000.0 * k / (kWidth - 1);
        const double x = t * std::cos(theta), y = t * std::sin(theta);
        const double v = 530 + 60 * (x * x + y * y) / 9e6 + 10 * x / 3000;
        r.x.push_back(static_cast<float>(x));
        r.y.push_back(static_cast<float>(y));
        r.z.push_back(static_cast<float>(v));
        r.angle.push_back(t < 0 ? theta + kPi : theta);
        r.radius.push_back(std::fabs(t));
        r.value.push_back(v);
      }
    }
    return r;
  }();
  return s;
}

// arg 0: interp (0 triangle, 1 bilinear); arg 1: regul (0 gradient, 1 Laplacian).
void BM_GridFit(benchmark::State& state) {
  const Samples& s = RadialSamples();
  std::vector<float> nodes(kNodes), zi(kNodes * kNodes);
  for (int k = 0; k < kNodes; ++k) nodes[k] = -3000.0f + 6000.0f * k / (kNodes - 1);
  for (auto _ : state) {
    if (CGridFit::gridfit(s.x.data(), s.y.data(), s.z.data(), static_cast<int>(s.x.size()),
                          nodes.data(), kNodes, nodes.data(), kNodes,
                          static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 1.0f,
                          zi.data()) != 0)
      state.SkipWithError("gridfit failed");
    benchmark::DoNotOptimize(zi.data());
  }
}
BENCHMARK(BM_GridFit)->Args({1, 0})->Args({0, 1})->Unit(benchmark::kMillisecond);

void BM_ZernikeResampling(benchmark::State& state) {
  const Samples& s = RadialSamples();
  const int n = static_cast<int>(s.value.size()), order = 8;
  const int terms = CZernikeFit::zernike_term_count(order);
  std::vector<double> zernbase(static_cast<size_t>(terms) * std::max(n, kNodes * kNodes));
  std::vector<double> work(4 * kNodes * kNodes + n);
  std::vector<float> z(kNodes * kNodes);
  for (auto _ : state) {
    CZernikeRadialCartesian::Radial2Cartesian(s.angle.data(), s.radius.data(), s.value.data(), n,
                                              kNodes, z.data(), 3000.0, order, zernbase.data(),
                                              work.data());
    benchmark::DoNotOptimize(z.data());
  }
}
BENCHMARK(BM_ZernikeResampling)->Unit(benchmark::kMillisecond);

// Anterior and posterior surfaces (pixels) of 16 B-scans of 1024 A-scans over widthMu, 1024
// samples over 3 mm deep: spheres of 7.8 and 6.5 mm radius, 550 um apart at the apex.
struct Layers {
  std::vector<float> anterior, posterior;
};
Layers BscanLayers(double widthMu) {
  Layers r;
  const double dz = 3000.0 / 1024;
  for (int b = 0; b < kMeridians; ++b) {
    for (int i = 0; i < kWidth; ++i) {
      const double x = widthMu * (i / (kWidth - 1.0) - 0.5);
      r.anterior.push_back(static_cast<float>((300 + 7800 - std::sqrt(7800 * 7800 - x * x)) / dz));
      r.posterior.push_back(static_cast<float>((850 + 6500 - std::sqrt(6500 * 6500 - x * x)) / dz));
    }
  }
  return r;
}

// arg 0: 0 grid measure, 1 sub-pixel measure; arg 1: scan width in um (3000: square pixels,
// 6000: 2048 square-pixel columns).
void BM_ComputeMap(benchmark::State& state) {
  const float widthMu = static_cast<float>(state.range(1));
  const Layers l = BscanLayers(widthMu);
  const auto measure = state.range(0) != 0 ? CCorneaMap::ThicknessMeasure::SubPixel
                                           : CCorneaMap::ThicknessMeasure::GridPixel;
  std::vector<float> pach(kMeridians * kWidth);
  for (auto _ : state) {
    CCorneaMap engine;
    engine.ComputeMap(l.anterior.data(), l.posterior.data(), kMeridians, 1024, kWidth, 3000.0f,
                      widthMu, 0, pach.data(), measure);
    benchmark::DoNotOptimize(pach.data());
  }
}
BENCHMARK(BM_ComputeMap)
    ->Args({0, 3000})
    ->Args({1, 3000})
    ->Args({0, 6000})
    ->Args({1, 6000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

// Vertex timing on a 16-meridian radial scan of 1024 A-scans over 8 mm: the quadric (Q), Zernike
// (Z, orders 4 and 6), meridian-parabola (M) and specular-reflection (S) methods. The surface is a
// sphere of 7.7 mm radius with its apex 0.5 mm off centre; the B-scans of S are 1024 samples deep
// with a reflection streak below the cornea of the meridians through the apex.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engines/base/CAnteriorSegmentModule.h"
#include "interface/CCorneaVertexAlgorithm.h"

namespace {

using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;
using Talvex::SDOCT::Algorithms::CCorneaVertexAlgorithm;

constexpr int kN = 16, kW = 1024, kDepth = 1024;
constexpr float kDepthMu = 2300.0f, kHalfField = 4000.0f;
constexpr double kPi = 3.14159265358979;

struct Scan {
  std::vector<float> layers, degrees, radians, anterior, posterior;
  std::vector<std::uint8_t> bscans;
};

const Scan& SphereScan() {
  static const Scan s = [] {
    Scan r;
    const double R = 7700.0, ax = 500.0;
    for (int b = 0; b < kN; ++b) {
      r.degrees.push_back(180.0f - 180.0f * b / kN);
      r.radians.push_back(static_cast<float>(kPi * b / kN));
      const double c = kPi * b / kN;
      for (int j = 0; j < kW; ++j) {
        const double t = -kHalfField + 2.0 * kHalfField * j / (kW - 1);
        const double x = t * std::cos(c), y = t * std::sin(c);
        const double z = 300.0 + R - std::sqrt(R * R - (x - ax) * (x - ax) - y * y);
        r.layers.push_back(static_cast<float>(z * kDepth / kDepthMu));
      }
    }
    // S reads its rows as given: the second half along the angle in radians.
    r.anterior.resize(r.layers.size());
    for (int b = 0; b < kN; ++b)
      for (int j = 0; j < kW; ++j) r.anterior[b * kW + j] = r.layers[b * kW + kW - 1 - j];
    r.posterior = r.anterior;
    for (float& v : r.posterior) v += 230.0f;
    r.bscans.assign(static_cast<std::size_t>(kN) * kW * kDepth, 20);
    const int streak = static_cast<int>(kW / 2 + ax / (2 * kHalfField / (kW - 1)));
    for (int b = 0; b < kN; ++b) {
      if (b != 0) continue;
      for (int j = streak - 3; j <= streak + 3; ++j)
        for (int d = 0; d < kDepth; ++d)
          r.bscans[(static_cast<std::size_t>(b) * kW + j) * kDepth + d] = 200;
    }
    return r;
  }();
  return s;
}

void BM_VertexQ(benchmark::State& state) {
  const Scan& s = SphereScan();
  const float fov[2] = {kHalfField, kHalfField};
  float v[2];
  for (auto _ : state) {
    CCorneaVertexAlgorithm().CorneaVertexQ(s.layers.data(), s.degrees.data(), kN, kW, kDepth,
                                           kDepthMu, fov, 2500.0f, v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_VertexQ)->Unit(benchmark::kMillisecond);

void BM_VertexZ(benchmark::State& state) {
  const Scan& s = SphereScan();
  float v[2];
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<float> layers = s.layers;
    state.ResumeTiming();
    CCorneaVertexAlgorithm().CorneaVertexZ(layers.data(), s.degrees.data(), kN, kDepth, kW,
                                           static_cast<int>(kDepthMu), 8000,
                                           static_cast<int>(state.range(0)), v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_VertexZ)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_VertexM(benchmark::State& state) {
  const Scan& s = SphereScan();
  const float fov[2] = {kHalfField, kHalfField};
  float v[2];
  for (auto _ : state) {
    CCorneaVertexAlgorithm().CorneaVertexM(s.layers.data(), s.degrees.data(), kN, kW, kDepth,
                                           kDepthMu, fov, 2500.0f,
                                           CAnteriorSegmentModule::DefaultRandomValues(),
                                           CAnteriorSegmentModule::kDefaultRandomCount, v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_VertexM)->Unit(benchmark::kMillisecond);

void BM_VertexS(benchmark::State& state) {
  const Scan& s = SphereScan();
  float v[2];
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::uint8_t> bscans = s.bscans;
    state.ResumeTiming();
    CCorneaVertexAlgorithm().CorneaVertexS(bscans.data(), kN, kW, kDepth, s.anterior.data(),
                                           s.posterior.data(), s.radians.data(), 0.95f, v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_VertexS)->Unit(benchmark::kMillisecond);

}  // namespace

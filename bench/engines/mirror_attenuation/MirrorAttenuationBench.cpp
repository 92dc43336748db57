// Mirror-image attenuation of one synthetic Gullstrand wide-field B-scan of 2048 A-scans x 1024
// samples, layers from the simulator's truth: building the two regions (Initialize) and darkening
// one B-scan with them (AttenuateMirrorImage), through the facade.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;

const Talvex::Synthetic::SimulatedScan& Scan() {
  static const Talvex::Synthetic::SimulatedScan scan = Talvex::Synthetic::SimulateScan(
      Talvex::Synthetic::GullstrandEye(), Talvex::Synthetic::WideFieldProtocol(0.0, 2048, 1024),
      Talvex::Synthetic::WideFieldRendering(), 7, 0);
  return scan;
}

void Initialize(CMirrorImageAttenuationAlgorithm& facade) {
  const auto& s = Scan();
  const auto& t = s.truth.bscans[0];
  facade.Initialize(t.anterior.data(), t.posterior.data(), t.irisLens.data(), s.bscanWidth,
                    s.ascanLength);
}

void BM_MirrorRegions(benchmark::State& state) {
  CMirrorImageAttenuationAlgorithm facade;
  for (auto _ : state) Initialize(facade);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MirrorRegions)->Unit(benchmark::kMillisecond);

void BM_AttenuateMirrorImage(benchmark::State& state) {
  const auto& s = Scan();
  CMirrorImageAttenuationAlgorithm facade;
  Initialize(facade);
  std::vector<std::uint8_t> image = s.volume;
  for (auto _ : state) {
    facade.AttenuateMirrorImage(image.data(), s.bscanWidth, s.ascanLength, 0.5f);
    benchmark::DoNotOptimize(image.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AttenuateMirrorImage)->Unit(benchmark::kMillisecond);

// Regions and darkening together, as for a B-scan whose layers change with every scan.
void BM_RegionsAndAttenuation(benchmark::State& state) {
  const auto& s = Scan();
  CMirrorImageAttenuationAlgorithm facade;
  std::vector<std::uint8_t> image = s.volume;
  for (auto _ : state) {
    Initialize(facade);
    facade.AttenuateMirrorImage(image.data(), s.bscanWidth, s.ascanLength, 0.5f);
    benchmark::DoNotOptimize(image.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegionsAndAttenuation)->Unit(benchmark::kMillisecond);

}  // namespace

// Cornea segmentation per B-scan on a synthetic 16-meridian radial scan of 1024 x 1024, with all
// four outputs, at lateral/axial subsampling 1/1, 2/1 (the preset) and 2/2; and the Bowman layer
// per B-scan below the segmented anterior surface.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;

const Talvex::Synthetic::SimulatedScan& Scan() {
  static const auto scan = Talvex::Synthetic::SimulateGullstrandRadialScan(16, 1024, 1024, 3);
  return scan;
}

void BM_SegmentCorneaPerBscan(benchmark::State& state) {
  const auto& scan = Scan();
  CorneaSegParameter p = CorneaSegPresetRadial1024();
  p.lateralSubsample = static_cast<int>(state.range(0));
  p.axialSubsample = static_cast<int>(state.range(1));
  CCorneaSegmentationAlgorithm segmentation;
  segmentation.Initialize(p);
  std::mt19937 generator(5);
  std::vector<int> random(4096);
  for (int& v : random) v = static_cast<int>(generator() >> 1);
  const int n = scan.numBscans * scan.bscanWidth;
  std::vector<std::uint8_t> buffer(scan.volume.size());
  std::vector<float> ant(n), pst(n), antC(n), pstC(n);
  for (auto _ : state) {
    segmentation.SegmentCornea(scan.volume.data(), scan.numBscans, scan.bscanWidth,
                               scan.ascanLength, random.data(), 4096, buffer.data(), ant.data(),
                               pst.data(), antC.data(), pstC.data());
    benchmark::ClobberMemory();
  }
  // Reported per B-scan.
  state.SetItemsProcessed(state.iterations() * scan.numBscans);
  state.counters["s_per_bscan"] =
      benchmark::Counter(static_cast<double>(state.iterations() * scan.numBscans),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SegmentCorneaPerBscan)
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({2, 2})
    ->Unit(benchmark::kMillisecond);

void BM_SegmentBowmanPerBscan(benchmark::State& state) {
  const auto& scan = Scan();
  CCorneaSegmentationAlgorithm segmentation;
  segmentation.Initialize(CorneaSegPresetRadial1024());
  std::mt19937 generator(5);
  std::vector<int> random(4096);
  for (int& v : random) v = static_cast<int>(generator() >> 1);
  const int n = scan.numBscans * scan.bscanWidth;
  std::vector<std::uint8_t> buffer(scan.volume.size());
  std::vector<float> ant(n), antC(n), bow(n), bowC(n);
  segmentation.SegmentAnterior(scan.volume.data(), scan.numBscans, scan.bscanWidth,
                               scan.ascanLength, random.data(), 4096, buffer.data(), ant.data(),
                               antC.data());
  for (auto _ : state) {
    segmentation.SegmentBowman(scan.volume.data(), scan.numBscans, scan.bscanWidth,
                               scan.ascanLength, ant.data(), bow.data(), bowC.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * scan.numBscans);
  state.counters["s_per_bscan"] =
      benchmark::Counter(static_cast<double>(state.iterations() * scan.numBscans),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SegmentBowmanPerBscan)->Unit(benchmark::kMillisecond);

}  // namespace

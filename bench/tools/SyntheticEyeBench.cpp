// Times the synthetic eye on the scan every end-to-end benchmark uses: a 16-meridian radial scan
// of 1024 A-scans x 1024 samples of the Gullstrand eye, speckle and noise on, truth maps off; and
// a wide-field B-scan and a device-exported B-scan.
#include <benchmark/benchmark.h>

#include "tools/synthetic_eye/DeviceExport.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::Synthetic;

void BM_SyntheticRadialScan16x1024x1024(benchmark::State& state) {
  const ModelEye eye = GullstrandEye();
  const ScanProtocol protocol = RadialProtocol(16, 1024, 1024);
  const RenderSettings render;
  std::uint64_t seed = 1;
  for (auto _ : state) {
    SimulatedScan scan = SimulateScan(eye, protocol, render, seed++, 0);
    benchmark::DoNotOptimize(scan.volume.data());
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(BM_SyntheticRadialScan16x1024x1024)->Unit(benchmark::kMillisecond);

void BM_SyntheticWideFieldBscan(benchmark::State& state) {
  const ModelEye eye = GullstrandEye();
  const ScanProtocol protocol = WideFieldProtocol(0.0, 1024, 1024);
  const RenderSettings render = WideFieldRendering();
  for (auto _ : state) {
    SimulatedScan scan = SimulateScan(eye, protocol, render, 1, 0);
    benchmark::DoNotOptimize(scan.volume.data());
  }
}
BENCHMARK(BM_SyntheticWideFieldBscan)->Unit(benchmark::kMillisecond);

// One B-scan of the exported geometry (1020 x 640) as a device exports it: simulation, display
// curve, mask, streak and JPEG round trip.
void BM_SyntheticDeviceExportBscan(benchmark::State& state) {
  const ModelEye eye = GullstrandEye();
  const ScanProtocol protocol = DeviceProtocol(1);
  const DeviceExport device;
  for (auto _ : state) {
    SimulatedScan scan = SimulateDeviceExport(eye, protocol, RenderSettings(), device, 1, 0);
    benchmark::DoNotOptimize(scan.volume.data());
  }
}
BENCHMARK(BM_SyntheticDeviceExportBscan)->Unit(benchmark::kMillisecond);

}  // namespace

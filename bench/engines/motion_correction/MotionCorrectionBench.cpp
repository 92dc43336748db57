// Motion correction of a synthetic 16-meridian radial scan of 1024 A-scans (Gullstrand eye moved
// by up to 50 um en face and 30 um axially between meridians), the simulator's anterior surfaces
// as layers, using every A-scan, every 4th and every 8th. The solver's printout of each objective
// value goes to /dev/null while the correction runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;
namespace Synthetic = Talvex::Synthetic;

constexpr int kMeridians = 16, kWidth = 1024, kLength = 1024;

struct Input {
  std::vector<float> layers, angles;
  std::vector<int> random;
  float depth2um = 0, fovum = 0;
};

const Input& Data() {
  static const Input input = [] {
    Synthetic::ScanProtocol p = Synthetic::RadialProtocol(kMeridians, kWidth, kLength);
    p.randomMotionLateralMm = 0.05;
    p.randomMotionAxialMm = 0.03;
    Synthetic::RenderSettings render;
    render.speckle = render.noise = false;
    const Synthetic::SimulatedScan scan =
        Synthetic::SimulateScan(Synthetic::GullstrandEye(), p, render, 5, 0);
    Input in;
    for (const auto& t : scan.truth.bscans) {
      in.layers.insert(in.layers.end(), t.anterior.begin(), t.anterior.end());
      in.angles.push_back(static_cast<float>(t.angleDeg));
    }
    in.depth2um =
        static_cast<float>(Synthetic::kReferenceGroupIndex * 1000.0 * p.scanDepthMm / kLength);
    in.fovum = static_cast<float>(2000.0 * p.halfFieldMm[0]);
    for (int i = 0; i < 4096; ++i) in.random.push_back(static_cast<int>(i * 7919 % 65521));
    return in;
  }();
  return input;
}

// Sends standard output to /dev/null for its lifetime.
class QuietStdout {
 public:
  QuietStdout() : saved_(dup(1)), null_(open("/dev/null", O_WRONLY)) {
    std::fflush(stdout);
    dup2(null_, 1);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    close(null_);
  }

 private:
  int saved_, null_;
};

void BM_MotionCorrection16x1024(benchmark::State& state) {
  const Input& in = Data();
  const int subSample = static_cast<int>(state.range(0));
  std::vector<double> xyz(3 * kMeridians);
  CCorneaMotionCorrectionAlgorithm correction;
  int result = 0;
  {
    QuietStdout quiet;
    for (auto _ : state) {
      result = correction.MotionCorrectionParam(
          in.layers.data(), kMeridians, kWidth, subSample, in.angles.data(), in.depth2um, in.fovum,
          in.random.data(), static_cast<int>(in.random.size()), xyz.data());
      benchmark::DoNotOptimize(xyz.data());
    }
  }
  if (result != 0) state.SkipWithError("the correction failed");
}
BENCHMARK(BM_MotionCorrection16x1024)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

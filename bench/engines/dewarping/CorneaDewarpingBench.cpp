// Dewarping per B-scan on a synthetic 8-meridian radial scan of 1024 x 1024 with the simulator's
// surfaces as layers: DewarpCornea with anterior, Bowman and posterior layers (one refraction),
// and DewarpHDCorneaAntPst (refraction at the anterior, then at the posterior surface).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "interface/Talvex.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;

struct Input {
  Talvex::Synthetic::SimulatedScan scan;
  std::vector<float> ant, bow, pst, directions;
  int D = 0;
};

const Input& Data() {
  static const Input input = [] {
    Input in;
    in.scan = Talvex::Synthetic::SimulateGullstrandRadialScan(8, 1024, 1024, 3);
    for (const auto& t : in.scan.truth.bscans) {
      in.ant.insert(in.ant.end(), t.anterior.begin(), t.anterior.end());
      in.bow.insert(in.bow.end(), t.bowman.begin(), t.bowman.end());
      in.pst.insert(in.pst.end(), t.posterior.begin(), t.posterior.end());
      in.directions.push_back(static_cast<float>(t.angleDeg));
    }
    in.D = static_cast<int>(std::ceil(in.scan.ascanLength * 1.386));
    return in;
  }();
  return input;
}

void PerBscan(benchmark::State& state, int numBscans) {
  state.SetItemsProcessed(state.iterations() * numBscans);
  state.counters["s_per_bscan"] =
      benchmark::Counter(static_cast<double>(state.iterations() * numBscans),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DewarpCorneaPerBscan(benchmark::State& state) {
  const Input& in = Data();
  const auto& s = in.scan;
  const DewarpScanner p = DewarpPresetRadial8mm();
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeCornea(p.n_phase[0], p.n_group[0], p.n_ref, s.numBscans, in.directions.data(),
                             p.half_FOV, p.half_telecentricity, p.scan_sag, p.scan_depth);
  const std::size_t n = in.ant.size();
  std::vector<std::uint8_t> out(n * in.D);
  std::vector<float> dAnt(n), dBow(n), dPst(n);
  for (auto _ : state) {
    dewarping.DewarpCornea(s.volume.data(), s.numBscans, s.bscanWidth, s.ascanLength, 0.05f,
                           in.ant.data(), in.bow.data(), in.pst.data(), out.data(), in.D,
                           dAnt.data(), dBow.data(), dPst.data());
    benchmark::ClobberMemory();
  }
  PerBscan(state, s.numBscans);
}
BENCHMARK(BM_DewarpCorneaPerBscan)->Unit(benchmark::kMillisecond);

void BM_DewarpHDCorneaAntPstPerBscan(benchmark::State& state) {
  const Input& in = Data();
  const auto& s = in.scan;
  const DewarpScanner p = DewarpPresetRadial8mm();
  CCorneaDewarpingAlgorithm dewarping;
  dewarping.InitializeHDCornea(p.n_phase, p.n_group, p.n_ref, s.numBscans, in.directions.data(),
                               p.half_FOV, p.half_telecentricity, p.scan_sag, p.scan_depth);
  const std::size_t n = in.ant.size();
  std::vector<std::uint8_t> out1(n * in.D), out2(n * in.D);
  std::vector<float> dAnt(n), dPst(n);
  for (auto _ : state) {
    dewarping.DewarpHDCorneaAntPst(s.volume.data(), s.numBscans, s.bscanWidth, s.ascanLength,
                                   in.ant.data(), in.pst.data(), out1.data(), out2.data(), in.D,
                                   dAnt.data(), dPst.data());
    benchmark::ClobberMemory();
  }
  PerBscan(state, s.numBscans);
}
BENCHMARK(BM_DewarpHDCorneaAntPstPerBscan)->Unit(benchmark::kMillisecond);

}  // namespace

// Step-template levels measured from the volume itself: segment a few B-scans with the preset,
// then read the grey levels in regions fixed relative to the traced surfaces.
#include <algorithm>
#include <cmath>
#include <vector>

#include "interface/CCorneaSegmentationAlgorithm.h"
#include "interface/CorneaSegPresets.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr int kMaxBscansMeasured = 4;
constexpr double kCentralShare = 0.6;  // of the A-scans read
constexpr int kRandomCount = 4096;

// Regions in micrometres relative to a surface (positive: deeper).
struct Region {
  double fromUm, toUm;
};
constexpr Region kAir{-120.0, -20.0};       // above the anterior surface
constexpr Region kReflection{-20.0, 20.0};  // around the anterior surface (maximum)
constexpr Region kStromaStart{100.0, 0.0};  // from below the anterior ...
constexpr Region kStromaEnd{0.0, -50.0};    // ... to above the posterior surface
constexpr Region kPosteriorStroma{-80.0, -20.0};
constexpr Region kAqueous{20.0, 120.0};

// A fixed, well-spread random array for the robust fits of the measurement.
std::vector<int> MeasurementRandomValues() {
  std::vector<int> v(kRandomCount);
  std::uint32_t state = 0x2545F491u;
  for (int& x : v) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    x = static_cast<int>(state >> 1);
  }
  return v;
}

// Mean (or maximum) of A-scan samples [from, to), clipped; NaN when fewer than 3 remain.
double Read(const std::uint8_t* a, int L, double from, double to, bool maximum) {
  const long long f = std::max(0LL, std::llround(from));
  const long long t = std::min(static_cast<long long>(L), std::llround(to));
  if (t - f < 3) return NAN;
  double acc = maximum ? 0.0 : 0.0;
  for (long long z = f; z < t; ++z) acc = maximum ? std::max(acc, double(a[z])) : acc + a[z];
  return maximum ? acc : acc / static_cast<double>(t - f);
}

float MedianOf(std::vector<double> v) {
  v.erase(std::remove_if(v.begin(), v.end(), [](double d) { return !(d == d); }), v.end());
  if (v.empty()) return NAN;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return static_cast<float>(v[v.size() / 2]);
}

struct Samples {
  std::vector<double> air, reflection, stroma, posteriorStroma, aqueous;
};

// Reads the regions of every central A-scan of one B-scan whose two surfaces are ordered.
void ReadBscan(const std::uint8_t* bscan, int W, int L, double perUm, const float* ant,
               const float* pst, Samples& s) {
  const int first = static_cast<int>(W * (1.0 - kCentralShare) / 2.0);
  for (int i = first; i < W - first; ++i) {
    const double a = ant[i], p = pst[i];
    if (!(a >= 0.0 && p > a && p < L)) continue;
    const std::uint8_t* col = bscan + static_cast<long long>(i) * L;
    s.air.push_back(Read(col, L, a + kAir.fromUm * perUm, a + kAir.toUm * perUm, false));
    s.reflection.push_back(
        Read(col, L, a + kReflection.fromUm * perUm, a + kReflection.toUm * perUm, true));
    s.stroma.push_back(
        Read(col, L, a + kStromaStart.fromUm * perUm, p + kStromaEnd.toUm * perUm, false));
    s.posteriorStroma.push_back(Read(col, L, p + kPosteriorStroma.fromUm * perUm,
                                     p + kPosteriorStroma.toUm * perUm, false));
    s.aqueous.push_back(
        Read(col, L, p + kAqueous.fromUm * perUm, p + kAqueous.toUm * perUm, false));
  }
}

}  // namespace

CorneaSegParameter CorneaSegAdaptLevels(const std::uint8_t* volume, int numBscans, int bscanWidth,
                                        int ascanLength, const CorneaSegParameter& preset,
                                        CorneaGreyLevels* levels) {
  CorneaGreyLevels measured;
  CorneaSegParameter adapted = preset;
  const int W = bscanWidth, L = ascanLength;
  const int count = std::min(numBscans, kMaxBscansMeasured);
  if (volume == nullptr) throw AlgorithmException("Input SD-OCT volume is NULL.");
  if (count < 1 || W < 1 || L < 1) {
    if (levels != nullptr) *levels = measured;
    return adapted;
  }
  CorneaSegParameter search = preset;
  search.robustFitSearchPastEmptyTrials = true;
  search.requireCorneaEvidence = true;
  CCorneaSegmentationAlgorithm segmentation;
  segmentation.Initialize(search);
  const std::vector<int> random = MeasurementRandomValues();
  const long long bytes = static_cast<long long>(W) * L;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bytes));
  std::vector<float> ant(W), pst(W), antC(W), pstC(W);
  const double perUm = static_cast<double>(L) / preset.depthMicron;
  Samples s;
  for (int k = 0; k < count; ++k) {
    // B-scans spread evenly over the volume.
    const int b = static_cast<int>((static_cast<long long>(2 * k + 1) * numBscans) / (2 * count));
    std::fill(ant.begin(), ant.end(), -1.0f);
    std::fill(pst.begin(), pst.end(), -1.0f);
    segmentation.SegmentCornea(volume + b * bytes, 1, W, L, random.data(), kRandomCount,
                               buffer.data(), ant.data(), pst.data(), antC.data(), pstC.data());
    if (segmentation.LastBscanOutcomes().front() != CorneaBscanOutcome::Segmented) continue;
    ReadBscan(volume + b * bytes, W, L, perUm, ant.data(), pst.data(), s);
    ++measured.bscansMeasured;
  }
  if (measured.bscansMeasured > 0) {
    measured.air = MedianOf(s.air);
    measured.anteriorReflection = MedianOf(s.reflection);
    measured.stroma = MedianOf(s.stroma);
    measured.posteriorStroma = MedianOf(s.posteriorStroma);
    measured.aqueous = MedianOf(s.aqueous);
    adapted.signal1Level_0 = measured.air;
    adapted.signal1Level_1 = measured.stroma;
    if (preset.signal1Level_2 > -100.0f) adapted.signal1Level_2 = measured.anteriorReflection;
    adapted.signal2Level_0 = measured.posteriorStroma;
    adapted.signal2Level_1 = measured.aqueous;
  }
  if (levels != nullptr) *levels = measured;
  return adapted;
}

}  // namespace Talvex::SDOCT::Algorithms

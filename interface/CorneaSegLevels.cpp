// Step-template levels measured from the volume itself: segment a few B-scans with the preset,
// then read the grey levels in regions fixed relative to the traced surfaces.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engines/base/CAnteriorSegmentModule.h"
#include "interface/CCorneaSegmentationAlgorithm.h"
#include "interface/CorneaSegPresets.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr int kMaxBscansMeasured = 4;
constexpr double kCentralShare = 0.6;  // of the A-scans read
constexpr int kRandomCount = 4096;
constexpr float kLevelStep = 5.0f;          // grey levels per step of the template search
constexpr float kTemplateCeiling = 250.0f;  // highest template sample kept clear of wrapping
constexpr float kTemplateSlack = 5.0f;      // how far below its dark side a template may dip
constexpr float kNoReflection = -100.0f;

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

// Mean of A-scan samples [from, to), clipped, or (peak) the mean of the brightest sample there
// and its brighter neighbour: the level of a reflection one or two samples wide, not of its
// brightest speckle. NaN when fewer than 3 samples remain.
double Read(const std::uint8_t* a, int L, double from, double to, bool peak) {
  const long long f = std::max(0LL, std::llround(from));
  const long long t = std::min(static_cast<long long>(L), std::llround(to));
  if (t - f < 3) return NAN;
  if (peak) {
    const long long m = std::clamp<long long>(std::max_element(a + f, a + t) - a, f + 1, t - 2);
    return (a[m] + std::max(a[m - 1], a[m + 1])) / 2.0;
  }
  double sum = 0.0;
  for (long long z = f; z < t; ++z) sum += a[z];
  return sum / static_cast<double>(t - f);
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

// Whether the modelled anterior profile of p stays a clean step: on the 8-bit scale and never
// darker than its darker side. A very dark air or a bright reflection makes the blurred model
// ring below zero and wrap around on the 8-bit scale, a template no surface resembles.
bool CleanTemplate(CAnteriorSegmentModule& module, const CorneaSegParameter& p, int depth,
                   std::vector<float>& profile) {
  module.StepFunction(p.depthMicron, depth, p.axialRes1Micron, p.signal1Level_0, p.signal1Level_1,
                      p.signal1Level_2, profile.data());
  const auto [lo, hi] = std::minmax_element(profile.begin(), profile.end());
  return *hi <= kTemplateCeiling &&
         *lo >= std::min(p.signal1Level_0, p.signal1Level_1) - kTemplateSlack;
}

// The anterior template closest to the measured levels that is clean: the air raised and the
// reflection lowered in steps of kLevelStep (the reflection dropped last); false when none is.
bool FitCleanTemplate(CorneaSegParameter& p, int ascanLength, float air, float reflection) {
  CAnteriorSegmentModule module;
  const int depth = std::max(ascanLength / std::max(p.axialSubsample, 1), 1);
  std::vector<float> profile(static_cast<std::size_t>(depth));
  for (p.signal1Level_0 = air; p.signal1Level_0 < p.signal1Level_1;
       p.signal1Level_0 += kLevelStep) {
    for (p.signal1Level_2 = reflection; p.signal1Level_2 > p.signal1Level_1;
         p.signal1Level_2 -= kLevelStep)
      if (CleanTemplate(module, p, depth, profile)) return true;
    p.signal1Level_2 = kNoReflection;
    if (CleanTemplate(module, p, depth, profile)) return true;
  }
  return false;
}

// Single B-scans of one volume segmented with a record (robust fits searching past empty trials,
// cornea evidence required) and the measurement's fixed random array; the surfaces and
// confidences of the last B-scan stay readable.
class BscanSegmenter {
 public:
  BscanSegmenter(const std::uint8_t* volume, int W, int L, CorneaSegParameter p)
      : ant(W),
        pst(W),
        antC(W),
        pstC(W),
        volume_(volume),
        W_(W),
        L_(L),
        random_(MeasurementRandomValues()),
        buffer_(static_cast<std::size_t>(W) * L) {
    p.robustFitSearchPastEmptyTrials = p.requireCorneaEvidence = true;
    segmentation_.Initialize(p);
  }

  // Segments B-scan b; true when it shows a cornea.
  bool Segment(int b) {
    for (auto* v : {&ant, &pst, &antC, &pstC}) std::fill(v->begin(), v->end(), -1.0f);
    segmentation_.SegmentCornea(Bscan(b), 1, W_, L_, random_.data(), kRandomCount, buffer_.data(),
                                ant.data(), pst.data(), antC.data(), pstC.data());
    return segmentation_.LastBscanOutcomes().front() == CorneaBscanOutcome::Segmented;
  }

  const std::uint8_t* Bscan(int b) const { return volume_ + static_cast<long long>(b) * W_ * L_; }

  // Surfaces and confidences of the last B-scan segmented.
  std::vector<float> ant, pst, antC, pstC;

 private:
  const std::uint8_t* volume_;
  int W_, L_;
  std::vector<int> random_;
  std::vector<std::uint8_t> buffer_;
  CCorneaSegmentationAlgorithm segmentation_;
};

// The number of A-scans of the given B-scans with both surfaces confident under p.
long long ConfidentAscans(const std::uint8_t* volume, const std::vector<int>& bscans, int W, int L,
                          const CorneaSegParameter& p) {
  BscanSegmenter segmenter(volume, W, L, p);
  long long confident = 0;
  for (int b : bscans) {
    segmenter.Segment(b);
    for (int i = 0; i < W; ++i) confident += segmenter.antC[i] == 1.0f && segmenter.pstC[i] == 1.0f;
  }
  return confident;
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
  BscanSegmenter segmenter(volume, W, L, preset);
  const double perUm = static_cast<double>(L) / preset.depthMicron;
  Samples s;
  std::vector<int> measuredBscans;
  for (int k = 0; k < count; ++k) {
    // B-scans spread evenly over the volume.
    const int b = static_cast<int>((static_cast<long long>(2 * k + 1) * numBscans) / (2 * count));
    if (!segmenter.Segment(b)) continue;
    ReadBscan(segmenter.Bscan(b), W, L, perUm, segmenter.ant.data(), segmenter.pst.data(), s);
    measuredBscans.push_back(b);
    ++measured.bscansMeasured;
  }
  if (measured.bscansMeasured > 0) {
    measured.air = MedianOf(s.air);
    measured.anteriorReflection = MedianOf(s.reflection);
    measured.stroma = MedianOf(s.stroma);
    measured.posteriorStroma = MedianOf(s.posteriorStroma);
    measured.aqueous = MedianOf(s.aqueous);
    adapted.signal1Level_1 = measured.stroma;
    adapted.signal2Level_0 = measured.posteriorStroma;
    adapted.signal2Level_1 = measured.aqueous;
    const float reflection =
        preset.signal1Level_2 > kNoReflection ? measured.anteriorReflection : kNoReflection;
    const bool clean = FitCleanTemplate(adapted, L, measured.air, reflection);
    // The measured levels replace the preset's only where they segment the measured B-scans at
    // least as confidently: a step model of the device's own grey scale is not always the better
    // match for the correlation.
    measured.applied = clean && ConfidentAscans(volume, measuredBscans, W, L, adapted) >=
                                    ConfidentAscans(volume, measuredBscans, W, L, preset);
    if (!measured.applied) adapted = preset;
  }
  if (levels != nullptr) *levels = measured;
  return adapted;
}

}  // namespace Talvex::SDOCT::Algorithms

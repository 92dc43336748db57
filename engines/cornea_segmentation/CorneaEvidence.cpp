// Judging traced surfaces: whether a B-scan shows a cornea at all, and the sub-sample move of a
// surface from the steepest edge of its boundary reflection onto the reflection's centre.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/numerics/Fits.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

// Evidence thresholds of a cornea, in grey levels, micrometres and A-scan counts.
constexpr double kMinContrast = 10.0;          // tissue over air or aqueous
constexpr double kMinRelativeContrast = 0.25;  // ... and over a quarter of the tissue level
constexpr double kMinThicknessUm = 200.0, kMaxThicknessUm = 1500.0;
constexpr double kMinRadiusUm = 3500.0, kMaxRadiusUm = 50000.0;
constexpr double kMarginUm = 20.0;     // kept clear of each surface's own reflection
constexpr double kRegionUm = 100.0;    // depth of the air and aqueous regions averaged
constexpr double kCentralShare = 0.6;  // of the A-scans judged
constexpr int kMinJudgedAscans = 10;
constexpr double kMinContrastedShare = 0.7;  // of the judged A-scans, each with its own contrast

// Reflection search depth and the lateral smoothing of the peak shift.
constexpr double kPeakSearchUm = 25.0;
constexpr int kShiftMedian = 9;

double Median(std::vector<double>& v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Mean of samples [from, to) of one A-scan, clipped to it; NaN when fewer than 3 remain.
double MeanOf(const std::uint8_t* ascan, int L, long long from, long long to) {
  from = std::max(from, 0LL);
  to = std::min(to, static_cast<long long>(L));
  if (to - from < 3) return NAN;
  double sum = 0.0;
  for (long long z = from; z < to; ++z) sum += ascan[z];
  return sum / static_cast<double>(to - from);
}

bool Valid(const float* layer, int i, int L) {
  return layer != nullptr && layer[i] >= 0.0f && layer[i] < static_cast<float>(L);
}

// Level of the tissue against the dark side: enough contrast in absolute and relative terms.
bool Contrasted(double tissue, double dark) {
  return tissue - dark >= std::max(kMinContrast, kMinRelativeContrast * tissue);
}

}  // namespace

bool CCorneaSegmentation::ShowsCornea(const std::uint8_t* bscan, int W, int L,
                                      const float* anterior, const float* posterior) const {
  const double umPerSample = static_cast<double>(depthMicron) / L;
  const double umPerAscan = static_cast<double>(lateralXMicron) / W;
  const long long margin = std::max(2LL, std::llround(kMarginUm / umPerSample));
  const long long region = std::max(3LL, std::llround(kRegionUm / umPerSample));
  const int first = static_cast<int>(W * (1.0 - kCentralShare) / 2.0);
  const int last = W - first;
  std::vector<double> air, tissue, aqueous, thickness, x, y;
  int judged = 0, contrasted = 0;
  for (int i = first; i < last; ++i) {
    const std::uint8_t* ascan = bscan + static_cast<long long>(i) * L;
    const bool hasA = Valid(anterior, i, L), hasP = Valid(posterior, i, L);
    const long long a = hasA ? static_cast<long long>(anterior[i]) : -1;
    const long long p = hasP ? static_cast<long long>(posterior[i]) : -1;
    if (hasA) {
      air.push_back(MeanOf(ascan, L, a - margin - region, a - margin));
      x.push_back(i * umPerAscan);
      y.push_back(anterior[i] * umPerSample);
    }
    if (hasP) aqueous.push_back(MeanOf(ascan, L, p + margin, p + margin + region));
    if (hasA && hasP) {
      tissue.push_back(MeanOf(ascan, L, a + margin, p - margin));
      thickness.push_back((p - a) * umPerSample);
    } else if (hasA != hasP) {
      // One surface only: the tissue is the region on its bright side.
      tissue.push_back(hasA ? MeanOf(ascan, L, a + margin, a + margin + region)
                            : MeanOf(ascan, L, p - margin - region, p - margin));
    }
    // The A-scan's own contrast on every side it has (NaN regions never pass).
    if (hasA || hasP) {
      ++judged;
      const double t = tissue.back();
      contrasted +=
          (!hasA || Contrasted(t, air.back())) && (!hasP || Contrasted(t, aqueous.back()));
    }
  }
  const auto dropNaN = [](std::vector<double>& v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double d) { return !(d == d); }), v.end());
  };
  for (auto* v : {&air, &tissue, &aqueous}) dropNaN(*v);
  if (static_cast<int>(tissue.size()) < kMinJudgedAscans) return false;
  // A cornea is tissue across the whole centre: an iris, with the pupil between its two halves,
  // or a patchy texture has too many A-scans without it.
  if (contrasted < kMinContrastedShare * judged) return false;
  const double tissueLevel = Median(tissue);
  if (anterior != nullptr) {
    if (static_cast<int>(air.size()) < kMinJudgedAscans) return false;
    if (!Contrasted(tissueLevel, Median(air))) return false;
    // A convex anterior surface (depth growing away from its apex) of plausible apical radius.
    double c[3];
    if (Common::Algorithms::Numerics::polyfit(x.data(), y.data(), static_cast<int>(x.size()), 2,
                                              c) != 0)
      return false;
    if (!(c[0] > 0.0)) return false;
    const double radius = 1.0 / (2.0 * c[0]);
    if (radius < kMinRadiusUm || radius > kMaxRadiusUm) return false;
  }
  if (posterior != nullptr) {
    if (static_cast<int>(aqueous.size()) < kMinJudgedAscans) return false;
    if (!Contrasted(tissueLevel, Median(aqueous))) return false;
  }
  if (!thickness.empty()) {
    const double t = Median(thickness);
    if (t < kMinThicknessUm || t > kMaxThicknessUm) return false;
  }
  return true;
}

void CCorneaSegmentation::RefineToReflectionPeak(const std::uint8_t* bscan, int W, int L,
                                                 float* layer, int which) const {
  const double umPerSample = static_cast<double>(depthMicron) / L;
  const int reach = std::max(3, static_cast<int>(std::lround(kPeakSearchUm / umPerSample)));
  std::vector<float> shift(W, NAN);
  for (int i = 0; i < W; ++i) {
    if (!(layer[i] >= 0.0f) || layer[i] > static_cast<float>(L - 1)) continue;
    const std::uint8_t* ascan = bscan + static_cast<long long>(i) * L;
    const int z = static_cast<int>(layer[i] + 0.5f);
    // The traced edge and the reach beyond it on the reflection's side, one sample of slack on
    // the other; the ends of the A-scan keep one neighbour for the vertex.
    const int from = std::max(which != 0 ? z - 1 : z - reach, 1);
    const int to = std::min(which != 0 ? z + reach : z + 1, L - 2);
    if (from > to) continue;
    int best = from;
    for (int k = from + 1; k <= to; ++k)
      if (ascan[k] > ascan[best]) best = k;
    // A saturated reflection is a plateau of equal maxima: its centre is the reflection's.
    int end = best;
    while (end < to && ascan[end + 1] == ascan[best]) ++end;
    double peak = 0.5 * (best + end);
    if (end == best) {
      const double left = ascan[best - 1], centre = ascan[best], right = ascan[best + 1];
      const double curvature = left - 2.0 * centre + right;
      if (curvature < 0.0) peak += 0.5 * (left - right) / curvature;
    }
    shift[i] = static_cast<float>(peak - layer[i]);
  }
  // Running median of the shifts over the A-scans that have one.
  std::vector<float> window;
  for (int i = 0; i < W; ++i) {
    if (!(shift[i] == shift[i])) continue;
    window.clear();
    for (int j = std::max(i - kShiftMedian / 2, 0); j <= std::min(i + kShiftMedian / 2, W - 1); ++j)
      if (shift[j] == shift[j]) window.push_back(shift[j]);
    std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
    layer[i] = static_cast<float>(layer[i] + window[window.size() / 2]);
  }
}

}  // namespace Talvex::SDOCT::Algorithms

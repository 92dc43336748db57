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

// Reflection search depth, and the half-width along the surface of the A-scans whose profiles are
// combined before the peak is sought (A-scans when the record gives no scan width).
constexpr double kPeakSearchUm = 25.0;
constexpr double kPeakAverageUm = 60.0;
constexpr int kPeakAverageFallback = 4;

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

namespace {

// Grey level of an A-scan at `offset` samples from its layer point (linear between samples), or
// NaN where the A-scan has no layer point or does not reach that depth.
double AlignedValue(const std::uint8_t* ascan, int L, float point, double offset) {
  if (!(point >= 0.0f) || point > static_cast<float>(L - 1)) return NAN;
  const double z = point + offset;
  if (z < 0.0 || z > L - 1) return NAN;
  const int z0 = std::min(static_cast<int>(z), L - 2);
  const double f = z - z0;
  return (1.0 - f) * ascan[z0] + f * ascan[z0 + 1];
}

// The values of a run of at most `capacity` A-scans, kept sorted as the run slides along the
// B-scan; NaN values are never held. A run holds a few dozen values at most: the place of a value
// is a branch-free count of the smaller ones, cheaper than a binary search whose every step is a
// mispredicted branch.
class SlidingMedian {
 public:
  explicit SlidingMedian(int capacity) : values_(static_cast<std::size_t>(capacity)) {}
  void Clear() { size_ = 0; }
  void Add(double v) {
    if (v != v) return;
    double* x = values_.data();
    const int at = CountBelow(v);
    for (int k = size_; k > at; --k) x[k] = x[k - 1];
    x[at] = v;
    ++size_;
  }
  void Remove(double v) {
    if (v != v) return;
    double* x = values_.data();
    --size_;
    for (int k = CountBelow(v); k < size_; ++k) x[k] = x[k + 1];
  }
  // Remove(out) then Add(in) in one pass: `in` takes the place of `out` and moves past the
  // neighbours it is not in order with (neighbouring A-scans mostly have close values: few moves).
  void Replace(double out, double in) {
    if (out != out) return Add(in);
    if (in != in) return Remove(out);
    double* x = values_.data();
    int k = CountBelow(out);
    while (k + 1 < size_ && x[k + 1] < in) x[k] = x[k + 1], ++k;
    while (k > 0 && x[k - 1] > in) x[k] = x[k - 1], --k;
    x[k] = in;
  }
  // The element of rank size / 2 (the upper one of an even count), -1 when empty.
  double Median() const { return size_ == 0 ? -1.0 : values_[size_ / 2]; }

 private:
  int CountBelow(double v) const {
    int below = 0;
    for (int k = 0; k < size_; ++k) below += values_[k] < v;
    return below;
  }
  std::vector<double> values_;
  int size_ = 0;
};

// medians[i] = median over the A-scans within `half` of A-scan i of their grey level at `offset`
// from their own layer points: the reflection lines up along the surface, while speckle and the
// few A-scans of a specular streak (bright at every depth) do not move it. -1 where no A-scan of
// the run reaches that depth. `window` holds 2 half + 1 values.
void AlignedMedians(const std::uint8_t* bscan, int W, int L, const float* layer, int half,
                    double offset, std::vector<double>& values, SlidingMedian& window,
                    double* medians) {
  values.resize(W);
  for (int j = 0; j < W; ++j)
    values[j] = AlignedValue(bscan + static_cast<long long>(j) * L, L, layer[j], offset);
  window.Clear();
  for (int j = 0; j <= std::min(half, W - 1); ++j) window.Add(values[j]);
  for (int i = 0; i < W; ++i) {
    medians[i] = window.Median();
    const bool leaves = i - half >= 0, enters = i + half + 1 <= W - 1;
    if (leaves && enters)
      window.Replace(values[i - half], values[i + half + 1]);
    else if (leaves)
      window.Remove(values[i - half]);
    else if (enters)
      window.Add(values[i + half + 1]);
  }
}

// Sub-sample position of the largest value of m[1 .. n-2]: the vertex of the parabola through it
// and its neighbours, or the middle of a plateau of equal maxima (a saturated reflection).
// -1 when there is none.
double PeakOf(const std::vector<double>& m) {
  const int n = static_cast<int>(m.size());
  int best = 1;
  for (int k = 2; k <= n - 2; ++k)
    if (m[k] > m[best]) best = k;
  if (m[best] < 0.0) return -1.0;
  int end = best;
  while (end < n - 2 && m[end + 1] == m[best]) ++end;
  double peak = 0.5 * (best + end);
  if (end == best && m[best - 1] >= 0.0 && m[best + 1] >= 0.0) {
    const double curvature = m[best - 1] - 2.0 * m[best] + m[best + 1];
    if (curvature < 0.0) peak += 0.5 * (m[best - 1] - m[best + 1]) / curvature;
  }
  return peak;
}

}  // namespace

void CCorneaSegmentation::RefineToReflectionPeak(const std::uint8_t* bscan, int W, int L,
                                                 float* layer, int which) const {
  const double umPerSample = static_cast<double>(depthMicron) / L;
  const int reach = std::max(3, static_cast<int>(std::lround(kPeakSearchUm / umPerSample)));
  const int half =
      lateralXMicron > 0
          ? std::max(1, static_cast<int>(std::lround(kPeakAverageUm * W / lateralXMicron)))
          : kPeakAverageFallback;
  // Offsets from the traced edge: the reach on the reflection's side, one sample of slack on the
  // other, and one more on each side for the vertex.
  const int lo = (which != 0 ? -1 : -reach) - 1, hi = (which != 0 ? reach : 1) + 1;
  const int offsets = hi - lo + 1;
  std::vector<double> medians(static_cast<std::size_t>(offsets) * W), m(offsets), shift(W, NAN),
      values;
  SlidingMedian window(2 * half + 1);
  for (int k = lo; k <= hi; ++k)
    AlignedMedians(bscan, W, L, layer, half, k, values, window, &medians[std::size_t(k - lo) * W]);
  for (int i = 0; i < W; ++i) {
    if (!(layer[i] >= 0.0f) || layer[i] > static_cast<float>(L - 1)) continue;
    for (int k = 0; k < offsets; ++k) m[k] = medians[std::size_t(k) * W + i];
    const double peak = PeakOf(m);
    if (peak >= 0.0) shift[i] = peak + lo;
  }
  for (int i = 0; i < W; ++i)
    if (shift[i] == shift[i]) layer[i] = static_cast<float>(layer[i] + shift[i]);
}

}  // namespace Talvex::SDOCT::Algorithms

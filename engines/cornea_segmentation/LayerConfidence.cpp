// Judging a traced corneal surface: the robust parabola through the per-A-scan surface candidates,
// the snap of the anterior surface onto its brightest nearby sample, the per-A-scan confidence from
// the local edge strength, and the tidying of a row of reliable / unreliable flags.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <new>

#include "common/data_structures/CVector.h"
#include "common/filters/LinearFilters.h"
#include "common/numerics/Fits.h"
#include "core/AlgorithmException.h"
#include "engines/base/EngineArithmetic.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CVector;
using Engines::RequireSuccess;

namespace {

// Samples looked at below a surface point when it is snapped to the brightest one.
constexpr int kPickWindow = 7;

// Depth extent of the edge looked at around a surface point when judging it.
constexpr double kConfidenceDepthMicron = 30.0;

// Smoothing of the cost patch: across A-scans (sigma, taps) first, along depth second, in the
// argument order of Gauss_2Dsep.
constexpr float kCostSmoothSigma[2] = {3.0f, 1.0f};
constexpr int kCostSmoothSize[2] = {15, 5};

// The A-scans more than this far from the centre of the row lose every value from the first
// unreliable one outward.
constexpr int kReliableHalfWidth = 50;

}  // namespace

void CCorneaSegmentation::FitPoints(double* x, double* y, int n, int order, int* inliers,
                                    int& ninliers, double* coeff) {
  ninliers = 0;
  if (n <= 0) return;  // nothing to fit: the B-scan is abandoned
  // The sampler keeps one exclusion flag per point; a longer row cannot be sampled.
  if (n > kMaxFitPoints) throw AlgorithmException(Engines::Messages::kRansacpolyFailed);

  // A-scans without a candidate (y = 0) never enter a sample, but the consensus still tests them
  // against each model like every other point.
  std::memset(m_excludeFlags, 0, static_cast<std::size_t>(n));
  int missing = 0;
  for (int i = 0; i < n; ++i) {
    if (y[i] == 0.0) {
      m_excludeFlags[i] = 1;
      ++missing;
    }
  }
  // Fewer than two minimal samples' worth of candidates: no parabola worth trusting.
  if (static_cast<long long>(n) - missing < 2LL * ransacMinNumPoints) return;

  RequireSuccess(
      ransacpoly(x, y, n, order, ransacMinNumPoints, static_cast<double>(ransacDistThresh),
                 static_cast<double>(ransacProbability), ransacMaxDataTrials, ransacMaxTrials,
                 inliers, &ninliers, coeff),
      Engines::Messages::kRansacpolyFailed);

  // Every point agreeing with the parabola: the raw candidates are kept as they are. No
  // consensus (ninliers = 0): y stays untouched and the caller abandons the B-scan.
  if (ninliers > 0 && ninliers < n) Common::Algorithms::Numerics::polyval(coeff, x, n, order, y);
}

void CCorneaSegmentation::AdjustToPick(const std::uint8_t* im, int numascan, int ascanlen,
                                       float* layer) {
  if (numascan <= 0 || ascanlen <= 0) return;
  // The 7-sample window starts at most at ascanlen - 8, so its last sample is ascanlen - 2. An
  // A-scan shorter than 8 samples has no such window: it starts at the top and covers as many
  // samples as the A-scan holds (at most 7), never reading past the A-scan's end.
  const int zMax = std::max(ascanlen - 8, 0);
  const int window = std::min(kPickWindow, ascanlen);
  float samples[kPickWindow];
  for (int i = 0; i < numascan; ++i) {
    const double v = layer[i];
    // -1 marks an A-scan without a surface; a NaN depth has no position to start from either.
    if (v == -1.0 || v != v) continue;
    int z0 = 0;  // truncation toward zero, then limited to 0 .. zMax
    if (v >= static_cast<double>(zMax)) {
      z0 = zMax;
    } else if (v > 0.0) {
      z0 = static_cast<int>(v);
    }
    const std::uint8_t* a = im + static_cast<std::size_t>(i) * ascanlen + z0;
    for (int k = 0; k < window; ++k) samples[k] = a[k];
    float peak = 0.0f;
    int index = 0;
    TALVEX_IPP(ippsMaxIndx_32f, samples, window, &peak, &index);
    layer[i] = static_cast<float>(z0 + index);
  }
}

void CCorneaSegmentation::ComputeConfidence(const std::uint8_t* bscan, int numascans, int ascanlen,
                                            const float* layer, int which, float* confidence) {
  if (numascans <= 0 || ascanlen <= 0) return;

  // 30 um in samples, made odd, with one sample of margin on either side; the patch is twice
  // that wide so that the surface sits on its centre column.
  double mReal =
      static_cast<double>(ascanlen) * kConfidenceDepthMicron / static_cast<double>(depthMicron) +
      0.5;
  // A depth range of 15 um or less (or none at all) would make the patch wider than twice the
  // A-scan; beyond that every row is already constant around the centre, so the width is capped
  // there. A negative range gives the narrowest patch.
  const double mCap = std::min(2.0 * static_cast<double>(ascanlen) + 1.0, 16777215.0);
  if (!(mReal >= 0.0)) mReal = 0.0;
  if (mReal > mCap) mReal = mCap;
  int m = static_cast<int>(mReal);
  if (m % 2 == 0) m += 1;
  const int width = (m + 2) * 2;
  const int centre = width / 2;

  const std::size_t rowLen = static_cast<std::size_t>(width);
  if (static_cast<long long>(numascans) * width > INT_MAX) throw std::bad_alloc();
  CVector<float> patchStore(numascans * width);
  float* patch = patchStore.getdata();
  std::fill(patch, patch + static_cast<std::size_t>(numascans) * rowLen, 1.0f);

  for (int i = 0; i < numascans; ++i) {
    // Nearest sample of the surface; a depth beyond the A-scan leaves the row at 1.0 (the cap
    // keeps s above ascanlen - 1), a NaN depth counts as the top.
    const int z = Detail::NearestClamped(layer[i], ascanlen + width);
    const int s = std::max(z - centre, 0);
    if (s > ascanlen - 1) continue;
    const int count = std::min(width, ascanlen - s);
    const std::uint8_t* src = bscan + static_cast<std::size_t>(i) * ascanlen + s;
    float* dst = patch + static_cast<std::size_t>(i) * rowLen;
    for (int k = 0; k < count; ++k) dst[k] = src[k];
  }

  GaussDerivitiveBscan(patch, numascans, width, gaussXsigma, gaussXsize, gaussYsigma, gaussYsize);
  CostImageROI(patch, numascans, width, which);
  RequireSuccess(Common::Algorithms::Filters::Gauss_2Dsep(patch, numascans, width, kCostSmoothSigma,
                                                          kCostSmoothSize),
                 "TalvexAlgorithm: Gauss_2Dsep() failed.");

  // Low cost at the surface means a strong edge of the expected polarity: confidence near 1.
  for (int i = 0; i < numascans; ++i)
    confidence[i] = static_cast<float>(
        1.0 - static_cast<double>(
                  patch[static_cast<std::size_t>(i) * rowLen + static_cast<std::size_t>(centre)]));
}

void CCorneaSegmentation::LayerConfidenceProcessing(float* confidence, int len) {
  if (len <= 0) return;
  const int h = len / 2;

  // Left half, from the centre outward: a run of -1 whose outer neighbour is a value at index 1
  // or beyond is a gap inside the reliable stretch and is closed. A run reaching index 0, or
  // whose outer neighbour is index 0 itself, stays.
  for (int i = h; i >= 0;) {
    if (confidence[i] != -1.0f) {
      --i;
      continue;
    }
    int j = i - 1;
    while (j >= 0 && confidence[j] == -1.0f) --j;
    if (j >= 1) std::fill(confidence + j + 1, confidence + i + 1, 1.0f);
    i = j;
  }

  // Beyond kReliableHalfWidth A-scans left of the centre: everything from the first value that
  // is not reliable outward becomes unreliable (index 0 itself is never the stopping point).
  int k = h - kReliableHalfWidth;
  while (k > 0 && confidence[k] == 1.0f) --k;
  if (k > 0) std::fill(confidence, confidence + k + 1, -1.0f);

  // Right half, the mirror image: a gap is closed when its outer neighbour lies before the last
  // index.
  for (int i = h; i < len;) {
    if (confidence[i] != -1.0f) {
      ++i;
      continue;
    }
    int j = i + 1;
    while (j < len && confidence[j] == -1.0f) ++j;
    if (j < len - 1) std::fill(confidence + i, confidence + j, 1.0f);
    i = j;
  }

  k = h + kReliableHalfWidth;
  while (k < len && confidence[k] == 1.0f) ++k;
  if (k < len) std::fill(confidence + k, confidence + len, -1.0f);
}

}  // namespace Talvex::SDOCT::Algorithms

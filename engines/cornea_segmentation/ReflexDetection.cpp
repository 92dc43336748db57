// Specular reflection: the bright vertical streak that the corneal apex throws back along the
// A-scans hitting it at normal incidence. It is found from the lateral profile of the image above
// the anterior surface, which a single Gaussian describes well when a streak is present.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>

#include "common/data_structures/CVector.h"
#include "common/filters/LinearFilters.h"
#include "common/numerics/GaussFit.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "platform/image/TalvexIppiAdvanced.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CVector;
using Engines::RequireSuccess;
using Platform::IppiPoint;
using Platform::IppiSize;

namespace {

// Samples kept above the anterior surface are those more than this far above it.
constexpr double kSurfaceMargin = 5.0;

// Square neighbourhood of the maximum filter that spreads the streak (5 x 5, anchor at its centre).
constexpr int kMaxFilterSize = 5;
constexpr int kMaxFilterAnchor = 2;

// Lateral box smoothing of the profile.
constexpr int kProfileBoxTaps = 5;
constexpr float kProfileBox[kProfileBoxTaps] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};

// 2 pi in single precision, as the Gaussian model is normalised with it.
constexpr double kTwoPi = 6.2831854820251465;

// Half-width of the marked streak in Gaussian widths.
constexpr double kStreakHalfWidthInSigmas = 2.5;

// (int)(v) for a value already known to be finite, limited to the int range.
int TruncateLimited(double v) {
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

float CCorneaSegmentation::NormalizedCC(const float* f1, const float* f2, int n) {
  Platform::Ipp32f m1 = 0.0f, s1 = 0.0f, m2 = 0.0f, s2 = 0.0f;
  TALVEX_IPP(ippsMeanStdDev_32f, f1, n, &m1, &s1, Platform::ippAlgHintAccurate);
  TALVEX_IPP(ippsMeanStdDev_32f, f2, n, &m2, &s2, Platform::ippAlgHintAccurate);
  // The co-moment is accumulated in single precision, term by term in order.
  float sum = 0.0f;
  for (int i = 0; i < n; ++i)
    sum = static_cast<float>(static_cast<double>(sum) +
                             (static_cast<double>(f2[i]) - m2) * (static_cast<double>(f1[i]) - m1));
  // A constant input has no defined correlation: the result is then NaN (0 / 0) and compares
  // false against any threshold.
  return static_cast<float>(static_cast<double>(sum) /
                            (static_cast<double>(s2) * s1 * (static_cast<double>(n) - 1.0)));
}

void CCorneaSegmentation::DetectSpecularReflection(std::uint8_t* im, int numascan, int ascanlen,
                                                   std::uint8_t* maxim, const float* layer,
                                                   float threshold, int& xPos, int& xOffset) {
  xPos = -1;
  xOffset = -1;
  // The maximum filter needs a 5 x 5 neighbourhood around at least one sample; a smaller image
  // is refused as the filter itself refuses an empty region.
  if (numascan < kMaxFilterSize || ascanlen < kMaxFilterSize)
    Engines::ThrowIppFailure("ippiFilterMax_8u_C1R");
  const std::size_t len = static_cast<std::size_t>(ascanlen);

  // Keep only the region above the anterior surface, less a margin, so that the tissue's own
  // brightness does not enter the profile.
  for (int i = 0; i < numascan; ++i) {
    const double v = layer[i];
    if (v == -1.0 || v != v) continue;  // no surface known in this A-scan
    const double top = v - kSurfaceMargin;
    if (top >= static_cast<double>(ascanlen)) continue;
    const int z0 = top > 0.0 ? static_cast<int>(top) : 0;
    std::uint8_t* a = im + static_cast<std::size_t>(i) * len;
    std::fill(a + z0, a + len, std::uint8_t{0});
  }

  // Spread every bright sample over its 5 x 5 neighbourhood (interior only: the two outer
  // A-scans and samples on each side of maxim keep the caller's contents).
  const std::size_t interior = 2 * len + 2;
  TALVEX_IPP(ippiFilterMax_8u_C1R, im + interior, ascanlen, maxim + interior, ascanlen,
             IppiSize{ascanlen - 4, numascan - 4}, IppiSize{kMaxFilterSize, kMaxFilterSize},
             IppiPoint{kMaxFilterAnchor, kMaxFilterAnchor});

  // Lateral profile: the brightness of each A-scan of the filtered image.
  CVector<float> profileStore(numascan);
  CVector<float> modelStore(numascan);
  CVector<float> abscissaStore(numascan);
  float* p = profileStore.getdata();
  float* g = modelStore.getdata();
  float* x = abscissaStore.getdata();
  for (int i = 0; i < numascan; ++i) {
    Platform::Ipp64f rowSum = 0.0;
    TALVEX_IPP(ippiSum_8u_C1R, maxim + static_cast<std::size_t>(i) * len, ascanlen,
               IppiSize{ascanlen, 1}, &rowSum);
    p[i] = static_cast<float>(rowSum);
  }

  // Remove the background level, smooth laterally, keep the part above the background and
  // normalise it to unit area.
  Platform::Ipp32f mean = 0.0f;
  TALVEX_IPP(ippsMean_32f, p, numascan, &mean, Platform::ippAlgHintAccurate);
  TALVEX_IPP(ippsAddC_32f_I, static_cast<float>(-static_cast<double>(mean)), p, numascan);
  RequireSuccess(Common::Algorithms::Filters::Conv1D(p, numascan, kProfileBox, kProfileBoxTaps, p),
                 "TalvexAlgorithm: Conv1D() failed.");
  for (int i = 0; i < numascan; ++i) p[i] = p[i] < 0.0f ? 0.0f : p[i];
  Platform::Ipp32f total = 0.0f;
  TALVEX_IPP(ippsSum_32f, p, numascan, &total, Platform::ippAlgHintAccurate);
  // Nothing stands out above the background (a flat region): there is no streak to find.
  if (!(total > 0.0f)) return;
  TALVEX_IPP(ippsMulC_32f_I, static_cast<float>(1.0 / static_cast<double>(total)), p, numascan);

  // One Gaussian through the profile, started from the automatic estimates.
  for (int i = 0; i < numascan; ++i) x[i] = static_cast<float>(i);
  float area = 0.0f, mu = 0.0f, sigma = 0.0f;
  if (Common::Algorithms::Numerics::CGaussFit::gaussfit(x, p, numascan, &area, &mu, &sigma) == -1)
    return;
  // A collapsed or runaway fit describes no streak (its model would be NaN everywhere).
  if (!(sigma != 0.0f) || !std::isfinite(sigma) || !std::isfinite(mu) || !std::isfinite(area))
    return;

  const double a = area;
  const double c = mu;
  const double w = sigma;
  const double norm = std::sqrt(kTwoPi * w * w);
  for (int i = 0; i < numascan; ++i) {
    const double u = (static_cast<double>(i) - c) / w;
    g[i] = static_cast<float>(a * std::exp(-0.5 * u * u) / norm);
  }

  // The streak is accepted when the Gaussian explains the profile well.
  if (NormalizedCC(p, g, numascan) > threshold) {
    xPos = TruncateLimited(c + 0.5);
    xOffset = TruncateLimited(w * kStreakHalfWidthInSigmas + 0.5);
  }
}

}  // namespace Talvex::SDOCT::Algorithms

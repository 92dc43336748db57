// Specular-reflection method of the vertex engine (S): where the beam meets the anterior surface
// at normal incidence, the reflection saturates the detector and leaves a bright vertical streak
// through the whole A-scan. Below the cornea it stands out against the dark aqueous, so the
// brightness profile across the B-scan, with the cornea blanked, peaks at the reflection.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/filters/LinearFilters.h"
#include "common/numerics/GaussFit.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_vertex/CCorneaVertex.h"
#include "platform/image/TalvexIppiAdvanced.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using namespace Platform;

constexpr const char* kConv1DFailed = "TalvexAlgorithm: Conv1D() failed.";
constexpr const char* kGaussfitFailed = "TalvexAlgorithm: gaussfit() failed.";
constexpr float kPi = 3.1415927f;
constexpr float kNoReflection = -1.0f;

// Sets the cornea of each A-scan with both surfaces to 0, with 5 samples of margin.
void BlankCornea(std::uint8_t* im, int numascan, int ascanlen, const float* anterior,
                 const float* posterior, int npts, float nan) {
  const int rows = std::min(numascan, npts);
  for (int i = 0; i < rows; ++i) {
    if (anterior[i] == nan || posterior[i] == nan) continue;
    const int from = std::max(static_cast<int>(anterior[i] - 5.0), 0);
    const int to = std::min(static_cast<int>(posterior[i] + 5.0), ascanlen - 1);
    std::uint8_t* ascan = im + static_cast<long long>(i) * ascanlen;
    if (to > from) std::fill(ascan + from, ascan + to, std::uint8_t{0});
  }
}

// Brightness profile across the B-scan: 5 x 5 maximum filter of the interior, then one sum per
// A-scan.
std::vector<float> AscanSums(const std::uint8_t* im, int numascan, int ascanlen) {
  std::vector<std::uint8_t> filtered(static_cast<std::size_t>(numascan) * ascanlen, 0);
  const int step = ascanlen;
  const long long inset = 2LL * step + 2;
  TALVEX_IPP(ippiFilterMax_8u_C1R, im + inset, step, filtered.data() + inset, step,
             IppiSize{ascanlen - 4, numascan - 4}, IppiSize{5, 5}, IppiPoint{2, 2});
  std::vector<float> profile(numascan);
  for (int i = 0; i < numascan; ++i) {
    Ipp64f sum = 0.0;
    TALVEX_IPP(ippiSum_8u_C1R, filtered.data() + static_cast<long long>(i) * step, step,
               IppiSize{ascanlen, 1}, &sum);
    profile[i] = static_cast<float>(sum);
  }
  return profile;
}

// The profile less its mean, smoothed, clipped at 0, its outer sixths cleared and normalised to
// unit sum. false when nothing positive is left.
bool NormaliseProfile(std::vector<float>& p) {
  const int n = static_cast<int>(p.size());
  Ipp32f mean = 0.0f;
  TALVEX_IPP(ippsMean_32f, p.data(), n, &mean, ippAlgHintAccurate);
  TALVEX_IPP(ippsAddC_32f_I, -mean, p.data(), n);
  const float ones[5] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  Engines::RequireSuccess(Common::Algorithms::Filters::Conv1D(p.data(), n, ones, 5, p.data()),
                          kConv1DFailed);
  for (float& v : p) v = std::max(v, 0.0f);
  const int edge = static_cast<int>(n / 6.0);
  std::fill(p.begin(), p.begin() + std::min(edge, n), 0.0f);
  std::fill(p.begin() + std::max(n - edge - 1, 0), p.end(), 0.0f);
  Ipp32f sum = 0.0f;
  TALVEX_IPP(ippsSum_32f, p.data(), n, &sum, ippAlgHintAccurate);
  if (!(sum > 0.0f)) return false;
  for (float& v : p) v = static_cast<float>(double(v) / sum);
  return true;
}

}  // namespace

float CCorneaVertex::MeridianSpecularReflection(std::uint8_t* im, int numascan, int ascanlen,
                                                const float* anterior, const float* posterior,
                                                int npts, float nan, float threshold) {
  BlankCornea(im, numascan, ascanlen, anterior, posterior, npts, nan);
  std::vector<float> p = AscanSums(im, numascan, ascanlen);
  if (!NormaliseProfile(p)) return kNoReflection;

  std::vector<float> x(numascan);
  for (int i = 0; i < numascan; ++i) x[i] = static_cast<float>(i);
  float k = 0.0f, mu = 0.0f, sigma = 0.0f;
  if (Common::Algorithms::Numerics::CGaussFit::gaussfit(x.data(), p.data(), numascan, &k, &mu,
                                                        &sigma) == -1)
    throw AlgorithmException(kGaussfitFailed);

  std::vector<float> g(numascan);
  const double norm = std::sqrt(6.2831855 * double(sigma) * sigma);
  for (int i = 0; i < numascan; ++i) {
    const double t = (i - double(mu)) / sigma;
    g[i] = static_cast<float>(k * std::exp(-0.5 * t * t) / norm);
  }
  return NormalizedCC(p.data(), g.data(), numascan) > threshold ? mu : kNoReflection;
}

float CCorneaVertex::NormalizedCC(const float* f1, const float* f2, int n) {
  Ipp32f mean1 = 0.0f, std1 = 0.0f, mean2 = 0.0f, std2 = 0.0f;
  TALVEX_IPP(ippsMeanStdDev_32f, f1, n, &mean1, &std1, ippAlgHintAccurate);
  TALVEX_IPP(ippsMeanStdDev_32f, f2, n, &mean2, &std2, ippAlgHintAccurate);
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += (double(f2[i]) - mean2) * (double(f1[i]) - mean1);
  return static_cast<float>(sum / (double(std1) * std2 * (n - 1)));
}

void CCorneaVertex::CorneaVertexS(std::uint8_t* bscans, int numbscan, int numascans, int ascanlen,
                                  const float* anterior, const float* posterior,
                                  const float* angles, float ccthreh, float* vertexPosition) {
  RequireLimits(numascans, numbscan);
  const float h = static_cast<float>(numascans * 0.5);
  std::vector<float> dx, dy;
  for (int b = 0; b < numbscan; ++b) {
    const long long row = static_cast<long long>(b) * numascans;
    const float xPos =
        MeridianSpecularReflection(bscans + row * ascanlen, numascans, ascanlen, anterior + row,
                                   posterior + row, numascans, -1.0f, ccthreh);
    if (xPos == kNoReflection) continue;
    const double d = std::fabs(double(xPos) - h);
    const float direction = xPos > h ? angles[b] : angles[b] + kPi;
    dx.push_back(static_cast<float>(std::cos(direction) * d));
    dy.push_back(static_cast<float>(std::sin(direction) * d));
  }
  const int count = static_cast<int>(dx.size());
  if (count == 0) {
    vertexPosition[0] = vertexPosition[1] = -1.0f;
    return;
  }
  float meanX = dx[0], meanY = dy[0];
  if (count > 1) {
    TALVEX_IPP(ippsMean_32f, dx.data(), count, &meanX, ippAlgHintAccurate);
    TALVEX_IPP(ippsMean_32f, dy.data(), count, &meanY, ippAlgHintAccurate);
  }
  vertexPosition[0] = h + meanX;
  vertexPosition[1] = h + meanY;
}

}  // namespace Talvex::SDOCT::Algorithms

#include "engines/cornea_segmentation/CResidualStroma.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/filters/LinearFilters.h"
#include "common/numerics/Splines.h"
#include "engines/base/LibraryStatus.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CLineSpace;
using Engines::RequireSuccess;

namespace {

constexpr double kPi = 3.1415927410125732;  // pi in single precision
constexpr const char* kConv1DFailed = "TalvexAlgorithm: Conv1D() failed.";

// Interpolating cubic spline through the points (x[i], y[i]) that pass keep(y[i]), evaluated at
// every x into out.
template <class Keep>
void SplineThrough(const float* x, const float* y, int n, float* out, Keep keep) {
  std::vector<float> px, py;
  for (int i = 0; i < n; ++i) {
    if (!keep(y[i])) continue;
    px.push_back(x[i]);
    py.push_back(y[i]);
  }
  const int m = static_cast<int>(px.size());
  RequireSuccess(Common::Algorithms::Numerics::cspline(px.data(), py.data(), m, x, out, n),
                 Engines::Messages::kCsplineFailed);
}

// End-corrected central differences: d[0] = v[1] - v[0], d[i] = (v[i+1] - v[i-1]) / 2,
// d[n-1] = v[n-1] - v[n-2].
std::vector<double> Differences(const std::vector<float>& v) {
  const int n = static_cast<int>(v.size());
  std::vector<double> d(n);
  d[0] = static_cast<double>(v[1]) - v[0];
  for (int i = 1; i < n - 1; ++i) d[i] = (static_cast<double>(v[i + 1]) - v[i - 1]) * 0.5;
  d[n - 1] = static_cast<double>(v[n - 1]) - v[n - 2];
  return d;
}

// Raised-cosine window cos(j / r pi) + 1, j = -r .. r, r = nearest(n / 12) (one tap for r = 0).
std::vector<double> TangentWindow(int n) {
  const int r = static_cast<int>(n / 12.0 + 0.5);
  std::vector<double> k(2 * r + 1);
  for (int j = -r; j <= r; ++j) k[j + r] = std::cos(r > 0 ? double(j) / r * kPi : 0.0) + 1.0;
  return k;
}

}  // namespace

void CResidualStroma::ResidualStroma(float* layerIn, int bscanwidth, int ascanlen, int depthum,
                                     int widthum, float coffset, float* layerOut) {
  if (layerIn == nullptr) throw AlgorithmException("ResidualStroma: input layer is NULL.");
  if (layerOut == nullptr) throw AlgorithmException("ResidualStroma: output layer is NULL.");
  if (bscanwidth > kMaxLayerLength)
    throw AlgorithmException("ResidualStroma: max layer length must be smaller than 2049.");
  const int W = bscanwidth;
  if (W < 1) return;
  if (W == 1) {
    layerOut[0] = layerIn[0];
    return;
  }
  const auto u = CLineSpace<float>::linspace(-1.0f, 1.0f, W);
  const auto xv = CLineSpace<float>::linspace(0.0f, static_cast<float>(W - 1), W);
  const float* x = xv->getdata();
  SplineThrough(x, layerIn, W, layerIn, [](float v) { return v >= 0.0f; });

  std::vector<float> z(W), p(W);
  for (int i = 0; i < W; ++i) {
    z[i] = static_cast<float>(static_cast<double>(layerIn[i]) / ascanlen * depthum);
    p[i] = static_cast<float>(static_cast<double>(u->getdata()[i]) * widthum / 2);
  }
  std::vector<double> dz = Differences(z), dp = Differences(p);
  const std::vector<double> window = TangentWindow(W);
  const int taps = static_cast<int>(window.size());
  RequireSuccess(Common::Algorithms::Filters::Conv1D(dz.data(), W, window.data(), taps, dz.data()),
                 kConv1DFailed);
  RequireSuccess(Common::Algorithms::Filters::Conv1D(dp.data(), W, window.data(), taps, dp.data()),
                 kConv1DFailed);

  std::vector<float> moved(W, 0.0f);
  for (int i = 0; i < W; ++i) {
    const float fdp = static_cast<float>(dp[i]), fdz = static_cast<float>(dz[i]);
    const float length = std::sqrt(fdp * fdp + fdz * fdz);
    const float nx = fdp / length, nz = -fdz / length;
    const double zs =
        (static_cast<double>(z[i]) - nx * static_cast<double>(coffset)) / depthum * ascanlen;
    const double ps =
        (static_cast<double>(p[i]) - nz * static_cast<double>(coffset)) / widthum * W + W / 2.0;
    if (ps > 0.0 && ps < W && zs > 0.0 && zs < ascanlen)
      moved[static_cast<int>(ps)] = static_cast<float>(zs);
  }
  std::fill(layerOut, layerOut + W, 0.0f);
  SplineThrough(x, moved.data(), W, layerOut, [](float v) { return v > 0.0f; });
}

}  // namespace Talvex::SDOCT::Algorithms

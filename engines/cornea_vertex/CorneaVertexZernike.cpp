// Zernike method of the vertex engine (Z): the leveled anterior elevation is fitted by a Zernike
// expansion, and the vertex is the node of the reconstruction grid (widthPix x widthPix over the
// scan field) where the fitted surface is shallowest.
//
// Reconstructing the whole grid evaluates every basis function at every node: T values per
// node, hundreds of megabytes and more than a second at 1024 A-scans. The search here finds the
// same node without that grid. It walks the nodes row by row through the expansion rewritten as
// a Cartesian polynomial (a few operations per node), keeps every node whose value lies within
// a rounding margin of the smallest seen, and evaluates only those few term by term exactly as
// the reconstruction does. The node of the smallest of these exact values, the first in
// row-major order among equals, is the node the whole-grid search would return: the margin
// bounds the rounding of both evaluations and the single-precision step of the comparison.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "common/data_structures/CMeshgrid.h"
#include "common/numerics/ZernikeCartesian.h"
#include "common/numerics/ZernikeFit.h"
#include "common/numerics/ZernikeRadialCartesian.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_vertex/CCorneaVertex.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using namespace Platform;
using Common::Algorithms::DataStructures::CMeshgrid;
using Common::Algorithms::Numerics::CZernikeCartesian;
using Common::Algorithms::Numerics::CZernikeFit;
using Common::Algorithms::Numerics::CZernikeRadialCartesian;
using Expansion = CZernikeRadialCartesian::RadialExpansion;

constexpr const char* kCorrectZFailed = "CorrectZ() failed.";
constexpr float kMissing = -1.0f;
// Grid nodes without a Zernike value (exactly 0.0) never win.
constexpr float kNoSurface = 1.0e16f;
// The candidate margin relative to the magnitude bound of the polynomial: far above the
// accumulated rounding of either evaluation (a few hundred machine epsilons at order 23), far
// below the depth step between neighbouring nodes near a corneal apex.
constexpr double kMarginFactor = 1.0e-9;
// Candidate lists longer than this are pruned against the smallest value so far.
constexpr std::size_t kPruneAt = 4096;

// The float value the vertex search compares: exact 0.0 marks a node without a value.
inline float SearchValue(double v) { return v == 0.0 ? kNoSurface : static_cast<float>(v); }

// Reference search: the whole grid reconstructed, the first node of the smallest value.
void WholeGridShallowest(const double* elevation, int numLayers, int W, double maxRadius,
                         int maxOrder, float* vertexPosition) {
  const std::size_t n = static_cast<std::size_t>(numLayers) * W;
  const std::size_t nodes = static_cast<std::size_t>(W) * W;
  const std::size_t terms = std::max(CZernikeFit::zernike_term_count(maxOrder), 1);
  std::vector<double> zernbase(terms * std::max(nodes, n) + 100);
  std::vector<double> work(4 * nodes + n), angle(n), radius(n), grid(nodes);
  CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), elevation, numLayers, W,
                                            grid.data(), maxRadius, maxOrder, zernbase.data(),
                                            work.data());
  std::vector<float> depth(nodes);
  for (std::size_t k = 0; k < nodes; ++k) depth[k] = SearchValue(grid[k]);
  Ipp32f minimum = 0.0f;
  int column = 0, row = 0;
  TALVEX_IPP(ippiMinIndx_32f_C1R, depth.data(), W * static_cast<int>(sizeof(float)), IppiSize{W, W},
             &minimum, &column, &row);
  vertexPosition[0] = static_cast<float>(column);
  vertexPosition[1] = static_cast<float>(row);
}

// Nodes within the margin of the smallest polynomial value, in row-major order, and the first
// node beyond maxRadius (which carries the value at the centre), or -1.
struct Candidates {
  std::vector<int> nodes;
  int firstOutside = -1;
};

Candidates NearShallowest(const Expansion& e, const std::vector<double>& xs,
                          const std::vector<double>& ys) {
  const int w = e.width;
  const CZernikeCartesian poly(e.coef.data(), e.maxOrder);
  const double margin = kMarginFactor * poly.magnitudeBound(std::max(1.0, e.maxRadius / e.rmax));
  const auto within = [margin](double f, double best) {
    return f <= best + margin + 4.0 * FLT_EPSILON * (std::fabs(best) + margin);
  };
  std::vector<double> us(w), b(poly.degree() + 1);
  for (int j = 0; j < w; ++j) us[j] = xs[j] / e.rmax;
  struct Seen {
    int node;
    double value;
  };
  std::vector<Seen> seen;
  double best = std::numeric_limits<double>::infinity();
  Candidates c;
  for (int i = 0; i < w; ++i) {
    poly.rowCoefficients(ys[i] / e.rmax, b.data());
    const double y2 = ys[i] * ys[i];
    for (int j = 0; j < w; ++j) {
      // The node radius as the reconstruction computes it: sqrt(x^2 + y^2).
      if (std::sqrt(xs[j] * xs[j] + y2) > e.maxRadius) {
        if (c.firstOutside < 0) c.firstOutside = i * w + j;
        continue;
      }
      const double f = poly.evaluateRow(b.data(), us[j]);
      if (!within(f, best)) continue;
      best = std::min(best, f);
      seen.push_back({i * w + j, f});
      if (seen.size() < kPruneAt) continue;
      seen.erase(std::remove_if(seen.begin(), seen.end(),
                                [&](const Seen& s) { return !within(s.value, best); }),
                 seen.end());
    }
  }
  for (const Seen& s : seen)
    if (within(s.value, best)) c.nodes.push_back(s.node);
  return c;
}

// The shallowest node without the whole grid; false when the search cannot decide (a value
// that is not finite, or a candidate without a value), and the whole grid must be searched.
bool ShallowestNode(const Expansion& e, float* vertexPosition) {
  for (double v : e.coef)
    if (!std::isfinite(v)) return false;
  const int w = e.width;
  const double R = std::trunc(e.maxRadius + 0.5);
  if (!(-R < R) || !(e.rmax > 0.0)) return false;
  std::vector<double> xs(w), ys(w);
  CMeshgrid<double>::axisX(-R, R, w, xs.data());
  CMeshgrid<double>::axisY(-R, R, w, ys.data());
  Candidates c = NearShallowest(e, xs, ys);
  if (c.firstOutside >= 0) c.nodes.push_back(c.firstOutside);
  if (c.nodes.empty()) return false;
  std::vector<double> values(c.nodes.size());
  CZernikeRadialCartesian::EvaluateNodes(e, c.nodes.data(), static_cast<int>(c.nodes.size()),
                                         values.data());
  int bestNode = -1;
  float bestValue = 0.0f;
  for (std::size_t k = 0; k < c.nodes.size(); ++k) {
    if (values[k] == 0.0 || !std::isfinite(values[k])) return false;
    const float v = SearchValue(values[k]);
    if (bestNode < 0 || v < bestValue || (v == bestValue && c.nodes[k] < bestNode)) {
      bestNode = c.nodes[k];
      bestValue = v;
    }
  }
  vertexPosition[0] = static_cast<float>(bestNode % w);
  vertexPosition[1] = static_cast<float>(bestNode / w);
  return true;
}

}  // namespace

void CCorneaVertex::CorneaVertexZ(const float* layerData, const float* /*angles*/, int numLayers,
                                  int depthPix, int widthPix, int depthMu, int widthMu,
                                  int maxOrder, float* vertexPosition) {
  RequireLimits(widthPix, numLayers);
  const int W = widthPix;
  const std::size_t n = static_cast<std::size_t>(numLayers) * W;
  std::vector<float> leveled(layerData, layerData + n);
  if (CorrectZ(leveled.data(), numLayers, W, kMissing) != 0)
    throw AlgorithmException(kCorrectZFailed);

  // Elevations in micrometres; a missing sample is 0.0, which the reconstruction leaves out.
  std::vector<double> elevation(n, 0.0);
  for (std::size_t k = 0; k < n; ++k)
    if (leveled[k] != kMissing) elevation[k] = leveled[k];
  TALVEX_IPP(ippsMulC_64f_I, double(depthMu) / depthPix, elevation.data(), static_cast<int>(n));

  const double maxRadius = 0.5 * widthMu;
  const std::size_t terms = std::max(CZernikeFit::zernike_term_count(maxOrder), 1);
  // The basis of the samples (T values each) is written by the fit before it is read: no need
  // to clear megabytes first.
  const std::unique_ptr<double[]> zernbase(new double[terms * n + 100]);
  std::vector<double> work(n), angle(n), radius(n);
  const Expansion e = CZernikeRadialCartesian::FitRadialScan(
      angle.data(), radius.data(), elevation.data(), numLayers, W, maxRadius, maxOrder,
      zernbase.get(), work.data());
  if (!ShallowestNode(e, vertexPosition))
    WholeGridShallowest(elevation.data(), numLayers, W, maxRadius, maxOrder, vertexPosition);
}

}  // namespace Talvex::SDOCT::Algorithms

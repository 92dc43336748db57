// Surface methods of the vertex engine: the quadric (Q), Zernike (Z) and meridian-parabola (M)
// vertices and the leveling of meridians they share.
#include "engines/cornea_vertex/CCorneaVertex.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CMeshgrid.h"
#include "common/numerics/Fits.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using namespace Platform;
using Common::Algorithms::DataStructures::CLineSpace;
using Common::Algorithms::DataStructures::CMeshgrid;
namespace Numerics = Common::Algorithms::Numerics;

constexpr const char* kCorrectZFailed = "CorrectZ() failed.";
constexpr const char* kQuadricFailed = "QuadricCoeff() failed.";
constexpr const char* kParabolaFailed = "ParabolaCoeff() failed.";
constexpr float kPi = 3.1415927f;
constexpr float kMissing = -1.0f;
// Grid nodes that cannot be the vertex (no real quadric solution).
constexpr float kNoSurface = 1.0e16f;
// The leveling of method Q uses at most the central 4 mm of a meridian.
constexpr float kLevelingSpanMu = 4000.0f;
// Method Q fits its quadric to the leveled depths moved this far down (um). The fit fixes the
// constant term at -1, so it cannot describe a surface through the origin, and the leveled apex
// lies there: on those depths the fit is poorly posed and drifts the shallowest node outward by
// tens of micrometres. Moving every depth by one constant moves the surface without changing
// which node is shallowest.
constexpr float kQuadricDepthOffsetMu = 1000.0f;

// Depths in pixels to micrometres, in place; missing values stay -1.
void ScaleDepths(float* z, long long n, double scale) {
  for (long long k = 0; k < n; ++k)
    if (z[k] != kMissing) z[k] = static_cast<float>(z[k] * scale);
}

// Mean of n floats (accurate hint).
float Mean(const float* v, int n) {
  Ipp32f mean = 0.0f;
  TALVEX_IPP(ippsMean_32f, v, n, &mean, ippAlgHintAccurate);
  return mean;
}

// Direction of A-scan j of a meridian at theta: the first half points the opposite way.
inline float DirectionOf(int j, int widthPix, float theta) {
  return j < widthPix / 2 ? theta + kPi : theta;
}

// Depth of the quadric c at (x, y): the root (sqrt(B^2 - 4AC) - B) / (2A) of A z^2 + B z + C,
// or kNoSurface where it has no real root.
inline float QuadricDepth(const float* c, double x, double y) {
  const double A = c[2];
  const double B = c[4] * x + c[5] * y + c[8];
  const double C = c[0] * x * x + c[1] * y * y + c[3] * x * y + c[6] * x + c[7] * y + c[9];
  const double D = B * B - 4.0 * A * C;
  return D >= 0.0 ? static_cast<float>((std::sqrt(D) - B) / (2.0 * A)) : kNoSurface;
}

// (column, row) of the shallowest node of the quadric c over the w x w grid of [-h, h]^2 (the
// meshgrid's coordinates, x along a row, y down the rows). The nodes are visited in row-major
// order and only a strictly smaller depth moves the vertex: the first node of the smallest
// depth wins, as a minimum search over the whole depth image would find it, without that image.
void ShallowestQuadricNode(const float* c, float h, int w, float* vertexPosition) {
  std::vector<float> xs(w, 0.0f), ys(w, 0.0f);  // all zeros for an empty span, as the meshgrid
  if (-h < h) {
    CMeshgrid<float>::axisX(-h, h, w, xs.data());
    CMeshgrid<float>::axisY(-h, h, w, ys.data());
  }
  float best = QuadricDepth(c, xs[0], ys[0]);
  int column = 0, row = 0;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < w; ++j) {
      const float z = QuadricDepth(c, xs[j], ys[i]);
      if (!(z < best)) continue;
      best = z;
      column = j;
      row = i;
    }
  }
  vertexPosition[0] = static_cast<float>(column);
  vertexPosition[1] = static_cast<float>(row);
}

}  // namespace

void CCorneaVertex::RequireLimits(int width, int meridians) {
  if (width > kMaxWidth) throw AlgorithmException(kWidthLimit);
  if (meridians > kMaxMeridians) throw AlgorithmException(kMeridianLimit);
  if (width < 1) throw AlgorithmException(kWidthTooSmall);
  if (meridians < 1) throw AlgorithmException(kMeridiansTooFew);
}

void CCorneaVertex::VReorderLayers(float* layersIn, float* layersOut, int numLayers, int widthPix,
                                   float* angles) {
  ReorderLayers(layersIn, layersOut, numLayers, widthPix, angles);
}

// ---- Leveling -------------------------------------------------------------------------------

int CCorneaVertex::CorrectZ(const float* r, float* z, int npts, int fitnpts, float nan) {
  const int from = std::max(npts / 2 - fitnpts / 2, 0);
  const int to = std::min(npts / 2 + fitnpts / 2, npts);
  std::vector<float> rs, zs;
  rs.reserve(std::max(to - from, 0));
  zs.reserve(std::max(to - from, 0));
  for (int j = from; j < to; ++j) {
    if (z[j] == nan) continue;
    rs.push_back(r[j]);
    zs.push_back(z[j]);
  }
  const int count = static_cast<int>(rs.size());
  if (count <= 50) return 0;
  float coeff[3];
  int inliers = 0;
  if (ParabolaCoeff(rs.data(), zs.data(), count, static_cast<int>(count * 0.1), 5.0f, 0.98f, 100,
                    300, coeff, inliers) != 0)
    return -1;
  const float origin = 0.0f;
  float offset = 0.0f;
  Numerics::polyval(coeff, &origin, 1, 2, &offset);
  for (int j = 0; j < npts; ++j)
    if (z[j] != nan) z[j] = static_cast<float>(double(z[j]) - offset);
  return 0;
}

int CCorneaVertex::CorrectZ(float* z, int numLayers, int npts, float nan) {
  std::vector<float> index, value;
  index.reserve(npts);
  value.reserve(npts);
  const float centre = static_cast<float>((npts - 1) / 2);
  for (int b = 0; b < numLayers; ++b) {
    float* row = z + static_cast<long long>(b) * npts;
    index.clear();
    value.clear();
    for (int j = 0; j < npts; ++j) {
      if (row[j] == nan) continue;
      index.push_back(static_cast<float>(j));
      value.push_back(row[j]);
    }
    if (index.size() <= 5) continue;
    float p[3], offset = 0.0f;
    if (Numerics::polyfit(index.data(), value.data(), static_cast<int>(index.size()), 2, p) != 0)
      return -1;
    Numerics::polyval(p, &centre, 1, 2, &offset);
    for (int j = 0; j < npts; ++j)
      if (row[j] != nan) row[j] = static_cast<float>(double(row[j]) - offset);
  }
  return 0;
}

// ---- Method Q -------------------------------------------------------------------------------

void CCorneaVertex::CorneaVertexQ(float* layerData, const float* angles, int numLayers,
                                  int widthPix, int depthPix, float depthMu,
                                  const float* scanLengthMu, float roiRadius,
                                  float* vertexPosition) {
  RequireLimits(widthPix, numLayers);
  const int W = widthPix;
  ScaleDepths(layerData, static_cast<long long>(numLayers) * W, double(depthMu) / depthPix);

  const double roi2 = double(roiRadius) * roiRadius;
  std::vector<float> xs, ys, zs;
  for (int b = 0; b < numLayers; ++b) {
    const float L = scanLengthMu[b];
    const auto r = CLineSpace<float>::linspace(-L / 2.0f, L / 2.0f, W);
    const int fitnpts = L < kLevelingSpanMu ? W : static_cast<int>(W * kLevelingSpanMu / L);
    float* z = layerData + static_cast<long long>(b) * W;
    if (CorrectZ(r->getdata(), z, W, fitnpts, kMissing) != 0)
      throw AlgorithmException(kCorrectZFailed);
    for (int j = 0; j < W; ++j) {
      const float direction = DirectionOf(j, W, angles[b]);
      const float radius = std::fabs(r->getdata()[j]);
      const float x = static_cast<float>(std::cos(direction) * radius);
      const float y = static_cast<float>(std::sin(direction) * radius);
      if (double(x) * x + double(y) * y > roi2 || z[j] == kMissing) continue;
      xs.push_back(x);
      ys.push_back(y);
      zs.push_back(z[j] + kQuadricDepthOffsetMu);
    }
  }

  const int n = static_cast<int>(xs.size());
  float c[10];
  int inliers = 0;
  if (QuadricCoeff(xs.data(), ys.data(), zs.data(), n, static_cast<int>(n * 0.25), 10.0f, 0.98f,
                   100, 300, c, inliers) != 0)
    throw AlgorithmException(kQuadricFailed);

  float D = 0.0f;
  TALVEX_IPP(ippsMax_32f, scanLengthMu, numLayers, &D);
  ShallowestQuadricNode(c, D / 2.0f, W, vertexPosition);
}

// ---- Method M -------------------------------------------------------------------------------

void CCorneaVertex::CorneaVertexM(const float* layerData, const float* angles, int numLayers,
                                  int widthPix, int depthPix, float depthMu,
                                  const float* scanLengthMu, float roiRadius,
                                  const int* randomValues, std::uint32_t nRandom,
                                  float* vertexPosition) {
  RequireLimits(widthPix, numLayers);
  SetRandomArray(randomValues, nRandom);
  const int W = widthPix;
  const double scale = double(depthMu) / depthPix;
  std::vector<float> rs, zs, apexX, apexY;
  for (int b = 0; b < numLayers; ++b) {
    const float L = scanLengthMu[b];
    const auto r = CLineSpace<float>::linspace(-L / 2.0f, L / 2.0f, W);
    const float* z = layerData + static_cast<long long>(b) * W;
    rs.clear();
    zs.clear();
    for (int j = 0; j < W; ++j) {
      if (std::fabs(r->getdata()[j]) > roiRadius || z[j] == kMissing) continue;
      rs.push_back(r->getdata()[j]);
      zs.push_back(static_cast<float>(z[j] * scale));
    }
    const int m = static_cast<int>(rs.size());
    const int q = static_cast<int>(m * 0.25);
    float coeff[3];
    int inliers = 0;
    if (ParabolaCoeff(rs.data(), zs.data(), m, q, 5.0f, 0.98f, 100, 300, coeff, inliers) == -1)
      throw AlgorithmException(kParabolaFailed);
    if (inliers <= q) continue;
    const float apex = static_cast<float>(-double(coeff[1]) / (2.0 * coeff[0]));
    const float direction = apex > 0.0f ? angles[b] : angles[b] + kPi;
    const double d = double(W) * std::fabs(apex) / L;
    apexX.push_back(static_cast<float>(W / 2 + std::cos(direction) * d));
    apexY.push_back(static_cast<float>(W / 2 + std::sin(direction) * d));
  }
  const int count = static_cast<int>(apexX.size());
  vertexPosition[0] = count == 0 ? 0.0f : count == 1 ? apexX[0] : Mean(apexX.data(), count);
  vertexPosition[1] = count == 0 ? 0.0f : count == 1 ? apexY[0] : Mean(apexY.data(), count);
}

}  // namespace Talvex::SDOCT::Algorithms

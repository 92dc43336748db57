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
#include "common/numerics/ZernikeRadialCartesian.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "platform/image/TalvexIppiBasic.h"
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
// Grid nodes that cannot be the vertex (no real quadric solution, no Zernike value).
constexpr float kNoSurface = 1.0e16f;
// The leveling of method Q uses at most the central 4 mm of a meridian.
constexpr float kLevelingSpanMu = 4000.0f;

// Depths in pixels to micrometres, in place; missing values stay -1.
void ScaleDepths(float* z, long long n, double scale) {
  for (long long k = 0; k < n; ++k)
    if (z[k] != kMissing) z[k] = static_cast<float>(z[k] * scale);
}

// (column, row) of the smallest value of a w x w float grid.
void MinimumNode(const float* grid, int w, float* vertexPosition) {
  Ipp32f minimum = 0.0f;
  int column = 0, row = 0;
  TALVEX_IPP(ippiMinIndx_32f_C1R, grid, w * static_cast<int>(sizeof(float)), IppiSize{w, w},
             &minimum, &column, &row);
  vertexPosition[0] = static_cast<float>(column);
  vertexPosition[1] = static_cast<float>(row);
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

// Shallowest node of the quadric c over the grid X, Y.
void QuadricDepthGrid(const float* c, const float* X, const float* Y, long long nodes, float* z) {
  const double A = c[2];
  for (long long k = 0; k < nodes; ++k) {
    const double x = X[k], y = Y[k];
    const double B = c[4] * x + c[5] * y + c[8];
    const double C = c[0] * x * x + c[1] * y * y + c[3] * x * y + c[6] * x + c[7] * y + c[9];
    const double D = B * B - 4.0 * A * C;
    z[k] = D >= 0.0 ? static_cast<float>((std::sqrt(D) - B) / (2.0 * A)) : kNoSurface;
  }
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
      zs.push_back(z[j]);
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
  const auto X = CMeshgrid<float>::meshgridX(-D / 2.0f, D / 2.0f, W);
  const auto Y = CMeshgrid<float>::meshgridY(-D / 2.0f, D / 2.0f, W);
  std::vector<float> depth(static_cast<std::size_t>(W) * W);
  QuadricDepthGrid(c, X->getdata(), Y->getdata(), static_cast<long long>(W) * W, depth.data());
  MinimumNode(depth.data(), W, vertexPosition);
}

// ---- Method Z -------------------------------------------------------------------------------

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

  const std::size_t nodes = static_cast<std::size_t>(W) * W;
  const std::size_t terms = static_cast<std::size_t>(maxOrder + 1) * (maxOrder + 2) / 2;
  std::vector<double> zernbase(terms * std::max(nodes, n) + 100);
  std::vector<double> work(4 * nodes + n), angle(n), radius(n), grid(nodes);
  Numerics::CZernikeRadialCartesian::Radial2Cartesian(angle.data(), radius.data(), elevation.data(),
                                                      numLayers, W, grid.data(), 0.5 * widthMu,
                                                      maxOrder, zernbase.data(), work.data());

  std::vector<float> depth(nodes);
  for (std::size_t k = 0; k < nodes; ++k)
    depth[k] = grid[k] == 0.0 ? kNoSurface : static_cast<float>(grid[k]);
  MinimumNode(depth.data(), W, vertexPosition);
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

// Radial-to-Cartesian reconstruction of thickness maps and the two layer helpers of the map
// facade.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/geometric_transform/ImResize.h"
#include "common/numerics/GridFit.h"
#include "common/numerics/Splines.h"
#include "common/numerics/ZernikeFit.h"
#include "common/numerics/ZernikeRadialCartesian.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_map/CCorneaMap.h"
#include "engines/cornea_map/CorneaMapDetail.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using namespace Platform;
using Common::Algorithms::DataStructures::CLineSpace;
using CorneaMapDetail::RequireWidth;
namespace Numerics = Common::Algorithms::Numerics;

constexpr const char* kLinterpolFailed = "TalvexAlgorithm: linterpol1() failed.";
constexpr const char* kGridfitFailed = "TalvexAlgorithm: gridfit() failed.";
constexpr double kHalfTurn = 3.1415927;

// Thickness samples of all meridians, compacted: position on the cornea and value.
struct MapSamples {
  std::vector<double> x, y, value;
};

// One meridian of widthPix values resampled linearly to n over its scan length; a missing source
// value marks the destination sample it falls on as missing.
void ResampleRow(const float* row, int widthPix, float length, int n, double* out) {
  auto src = CLineSpace<double>::linspace(-length / 2.0, length / 2.0, widthPix);
  auto dst = CLineSpace<double>::linspace(-length / 2.0, length / 2.0, n);
  std::vector<double> x, y;
  for (int i = 0; i < widthPix; ++i) {
    if (row[i] > -1.0f) {
      x.push_back(src->getdata()[i]);
      y.push_back(row[i]);
    }
  }
  Engines::RequireSuccess(
      Numerics::linterpol1(x.data(), y.data(), static_cast<int>(x.size()), dst->getdata(), out, n),
      kLinterpolFailed);
  for (int i = 0; i < widthPix; ++i)
    if (row[i] == -1.0f) out[static_cast<int>(static_cast<double>(i) * n / widthPix)] = -1.0;
}

// Rows at the reconstruction size S (numLayers x S, double).
std::vector<double> RowsAtSize(const float* mapData, int numLayers, int widthPix,
                               const float* fovMu, int S) {
  std::vector<double> rows(static_cast<size_t>(numLayers) * S);
  for (int b = 0; b < numLayers; ++b) {
    const float* row = mapData + static_cast<size_t>(b) * widthPix;
    double* out = rows.data() + static_cast<size_t>(b) * S;
    if (S == widthPix)
      std::copy(row, row + widthPix, out);
    else
      ResampleRow(row, widthPix, fovMu[b], S, out);
  }
  return rows;
}

// Positions of the samples on the cornea (shifted by dxy when given), then only the valid ones.
MapSamples PlaceSamples(const std::vector<double>& rows, int numLayers, int S, const float* fovMu,
                        const float* angles, const double* dxy) {
  std::vector<double> x(rows.size()), y(rows.size());
  for (int b = 0; b < numLayers; ++b) {
    auto r = CLineSpace<float>::linspace(-fovMu[b] / 2, fovMu[b] / 2, S);
    double* xb = x.data() + static_cast<size_t>(b) * S;
    double* yb = y.data() + static_cast<size_t>(b) * S;
    for (int j = 0; j < S; ++j) {
      const float rj = r->getdata()[j];
      const double direction = rj >= 0.0f ? angles[b] : angles[b] + kHalfTurn;
      xb[j] = std::cos(direction) * std::fabs(rj);
      yb[j] = std::sin(direction) * std::fabs(rj);
    }
    if (dxy != nullptr) {
      TALVEX_IPP(ippsAddC_64f_I, dxy[b], xb, S);
      TALVEX_IPP(ippsAddC_64f_I, dxy[numLayers + b], yb, S);
    }
  }
  MapSamples s;
  for (size_t k = 0; k < rows.size(); ++k) {
    if (rows[k] == -1.0) continue;
    s.x.push_back(x[k]);
    s.y.push_back(y[k]);
    s.value.push_back(rows[k]);
  }
  return s;
}

// Zernike expansion of order trunc(smooth) over the radius W / 2 onto the S x S grid.
void ZernikeGrid(const MapSamples& s, int numLayers, int S, float W, float smooth, float* grid) {
  const int n = static_cast<int>(s.value.size());
  const int order = static_cast<int>(smooth);
  const size_t terms = static_cast<size_t>(Numerics::CZernikeFit::zernike_term_count(order));
  // Room for the basis of every node and of every sample, whichever is more.
  std::vector<double> zernbase(terms * std::max<size_t>(static_cast<size_t>(S) * S, n) + 100);
  std::vector<double> work(static_cast<size_t>(4 * S + numLayers) * S);
  std::vector<double> magnitude(n), phase(n);
  TALVEX_IPP(ippsCartToPolar_64f, s.x.data(), s.y.data(), magnitude.data(), phase.data(), n);
  Numerics::CZernikeRadialCartesian::Radial2Cartesian(phase.data(), magnitude.data(),
                                                      s.value.data(), n, S, grid, W / 2.0, order,
                                                      zernbase.data(), work.data());
}

// Regularised grid fit on nodes linspace(-W/2, W/2, S) along both axes.
void GridFitGrid(const MapSamples& s, int S, float W, int interp, int regul, float smooth,
                 float* grid) {
  const std::vector<float> x(s.x.begin(), s.x.end()), y(s.y.begin(), s.y.end());
  const std::vector<float> v(s.value.begin(), s.value.end());
  auto nodes = CLineSpace<float>::linspace(-W / 2, W / 2, S);
  const float* g = nodes->getdata();
  Engines::RequireSuccess(
      Numerics::CGridFit::gridfit(x.data(), y.data(), v.data(), static_cast<int>(x.size()), g, S, g,
                                  S, interp, regul, smooth, grid),
      kGridfitFailed);
}

// -1 outside the circle inscribed in the widthPix x widthPix map (index distances).
void MaskOutsideCircle(float* map, int widthPix) {
  const double c = widthPix * 0.5;
  for (int i = 0; i < widthPix; ++i)
    for (int j = 0; j < widthPix; ++j)
      if ((j - c) * (j - c) + (i - c) * (i - c) > c * c) map[i * widthPix + j] = -1.0f;
}

// Gaps (-1) of a layer filled by a cubic spline through its other values over x.
void FillGaps(std::vector<float>& layer, const std::vector<float>& x) {
  std::vector<float> px, py;
  for (size_t i = 0; i < layer.size(); ++i) {
    if (layer[i] != -1.0f) {
      px.push_back(x[i]);
      py.push_back(layer[i]);
    }
  }
  Engines::RequireSuccess(Numerics::cspline(px.data(), py.data(), static_cast<int>(px.size()),
                                            x.data(), layer.data(), static_cast<int>(x.size())),
                          Engines::Messages::kCsplineFailed);
}

}  // namespace

void CCorneaMap::CorneaMap(const float* pachData, int numLayers, int widthPix, const float* fovMu,
                           const float* angles, float* corneaMap, int pachMapWidthPix,
                           float pachMapWidthMu, int interp, int regul, float smooth) {
  CorneaMap(pachData, numLayers, widthPix, fovMu, angles, corneaMap, pachMapWidthPix,
            pachMapWidthMu, interp, regul, smooth, nullptr);
}

void CCorneaMap::CorneaMap(const float* mapData, int numLayers, int widthPix, const float* fovMu,
                           const float* angles, float* corneaMap, int reconWidthPix,
                           float mapWidthMu, int interp, int regul, float smooth,
                           const double* dxy) {
  RequireWidth(widthPix);
  const int S = reconWidthPix == widthPix ? widthPix : reconWidthPix;
  const std::vector<double> rows = RowsAtSize(mapData, numLayers, widthPix, fovMu, S);
  const MapSamples samples = PlaceSamples(rows, numLayers, S, fovMu, angles, dxy);
  if (interp < -1 || interp > 1) {
    interp = 1;
    regul = 0;
    smooth = 20.0f;
  }
  std::vector<float> grid(static_cast<size_t>(S) * S);
  if (interp == -1)
    ZernikeGrid(samples, numLayers, S, mapWidthMu, smooth, grid.data());
  else
    GridFitGrid(samples, S, mapWidthMu, interp, regul, smooth, grid.data());
  if (S != widthPix)
    Engines::RequireSuccess(Common::Algorithms::GeometricTransform::ImResize(
                                grid.data(), S, S, 2, corneaMap, widthPix, widthPix),
                            Engines::Messages::kImResizeFailed);
  else
    std::copy(grid.begin(), grid.end(), corneaMap);
  MaskOutsideCircle(corneaMap, widthPix);
}

void CCorneaMap::MapSmoothLayer(const float* layer, int bscanWidth, float smooth,
                                float* smoothLayer) {
  auto p = CLineSpace<float>::linspace(0.0f, static_cast<float>(bscanWidth - 1), bscanWidth);
  if (!p) throw AlgorithmException(Engines::Messages::kBsplineFailed);
  BsplineInterpolation(p->getdata(), layer, bscanWidth, p->getdata(), smoothLayer, bscanWidth,
                       smooth);
}

void CCorneaMap::AnteriorToPosteriorDistIdx(const float* anteriorLayer, const float* posteriorLayer,
                                            int depthPix, int widthPix, float depthMu, float fovMu,
                                            int* posteriorPos) {
  RequireWidth(widthPix);
  if (widthPix < 1) return;
  auto lateral = CLineSpace<float>::linspace(-fovMu / 2, fovMu / 2, widthPix);
  const std::vector<float> x(lateral->getdata(), lateral->getdata() + widthPix);
  std::vector<float> anterior(anteriorLayer, anteriorLayer + widthPix);
  std::vector<float> posterior(posteriorLayer, posteriorLayer + widthPix);
  const double scale = static_cast<double>(depthMu) / depthPix;
  for (std::vector<float>* layer : {&anterior, &posterior})
    for (float& v : *layer)
      if (v != -1.0f) v = static_cast<float>(v * scale);
  FillGaps(anterior, x);
  FillGaps(posterior, x);
  // Nearest posterior A-scan within the window; the first of equal distances, 0 when the window
  // is empty (every distance then stays at the table's initial 1e16).
  const int w = widthPix / 8;
  for (int i = 0; i < widthPix; ++i) {
    float best = 1.0e16f;
    posteriorPos[i] = 0;
    for (int j = std::max(i - w, 0); j < std::min(i + w, widthPix); ++j) {
      const double dx = static_cast<double>(x[i]) - x[j];
      const double dz = static_cast<double>(anterior[i]) - posterior[j];
      const float d = static_cast<float>(dx * dx + dz * dz);
      if (d < best) {
        best = d;
        posteriorPos[i] = j;
      }
    }
  }
}

}  // namespace Talvex::SDOCT::Algorithms

// Per-B-scan thickness of the cornea map engine: the posterior region drawn on square pixels, its
// distance transform read at the anterior surface, and the optional sub-pixel refinement.
#include "engines/cornea_map/CCorneaMap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/geometric_transform/ImResize.h"
#include "common/numerics/Splines.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_map/CorneaMapDetail.h"
#include "platform/signal/TalvexIpps.h"
#include "platform/vision/TalvexIppcv.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using namespace Platform;
using CorneaMapDetail::RequireWidth;

constexpr const char* kBscanMapFailed = "BscanMap() failed.";
constexpr const char* kFastMarchingSize = "ippiFastMarchingGetBufferSize_8u32f_C1R";
constexpr const char* kTrueDistanceSize = "ippiTrueDistanceTransformGetBufferSize_8u32f_C1R";
// Owner of a block from ippsMalloc_8u.
struct IppFree {
  void operator()(Ipp8u* p) const { ippsFree(p); }
};

// Columns that make pixels square: the B-scan width in depth samples.
int IsoWidth(float widthMu, float depthMu, double depthPix) {
  const double w = std::trunc(static_cast<double>(widthMu) / depthMu * depthPix + 0.5);
  return w >= 1.0 && w <= 1 << 20 ? static_cast<int>(w) : 0;
}

// Working arrays of one B-scan, allocated once per call.
struct Scratch {
  Scratch(int widthPix, int isoWidth)
      : sampleX(widthPix),
        sampleY(widthPix),
        query(Common::Algorithms::DataStructures::CLineSpace<float>::linspace(
            0.0f, static_cast<float>(widthPix - 1), isoWidth)),
        posterior(isoWidth),
        curveLo(Blocks(isoWidth)),
        curveHi(curveLo.size()),
        edgeLo(curveLo.size()) {}
  // Runs of kBlock segments (curve) or columns (region) that the nearest-point searches skip
  // whole when their bounding box is no nearer than the best point so far.
  static constexpr int kBlock = 16;
  static size_t Blocks(int isoWidth) { return static_cast<size_t>(isoWidth / kBlock + 1); }
  std::vector<float> sampleX, sampleY;
  std::unique_ptr<Common::Algorithms::DataStructures::CVector<float>> query;
  std::vector<float> posterior;  // resampled posterior depth per square-pixel column
  // Least and greatest posterior depth of the vertices of each run of segments (segments
  // b * kBlock .. b * kBlock + kBlock - 1 join vertices b * kBlock .. (b + 1) * kBlock).
  std::vector<float> curveLo, curveHi;
  std::vector<int> edgeLo;  // least region edge of each run of columns
};

struct Geometry {
  int depthPix, widthPix, isoWidth;
};

// Posterior surface through its valid samples at the isoWidth columns, clamped to the A-scan.
void ResamplePosterior(const float* posteriorLayer, const Geometry& g, Scratch& s) {
  int n = 0;
  for (int i = 0; i < g.widthPix; ++i) {
    if (posteriorLayer[i] > -1.0f) {
      s.sampleX[n] = static_cast<float>(i);
      s.sampleY[n++] = posteriorLayer[i];
    }
  }
  Engines::RequireSuccess(
      Common::Algorithms::Numerics::cspline(s.sampleX.data(), s.sampleY.data(), n,
                                            s.query->getdata(), s.posterior.data(), g.isoWidth),
      Engines::Messages::kCsplineFailed);
  for (float& d : s.posterior) {
    if (d < 0.0f) d = 0.0f;
    if (static_cast<double>(d) >= g.depthPix) d = static_cast<float>(g.depthPix - 1);
  }
}

// Depths [top, bottom) of the distance image that the thickness needs. Every square-pixel column
// is 0 from its posterior edge down, so at a depth d the nearest 0 pixel of column j lies at depth
// max(d, edge j): for reads at d >= top the depths above top never hold a nearest pixel, and below
// the deepest edge every column is 0 at d, so every distance there is 0 and needs no image. The
// band runs from the shallowest anterior depth read to one past the deepest edge; the distances
// inside it are those of the whole image.
struct Band {
  int top, bottom;
  int Width() const { return bottom - top; }
};

// Depth sample read for A-scan i (the anterior depth to the nearest sample).
int ReadDepth(float anterior, const Geometry& g) {
  return std::min(static_cast<int>(anterior + 0.5), g.depthPix - 1);
}

bool HasThickness(const float* anteriorLayer, const float* posteriorLayer, int i) {
  return anteriorLayer[i] >= 0.0f && posteriorLayer[i] >= 0.0f;
}

Band DepthBand(const float* anteriorLayer, const float* posteriorLayer,
               const std::vector<float>& posterior, const Geometry& g) {
  int deepest = 0;
  for (float d : posterior) deepest = std::max(deepest, static_cast<int>(d));
  Band band{deepest, deepest + 1};
  for (int i = 0; i < g.widthPix; ++i)
    if (HasThickness(anteriorLayer, posteriorLayer, i))
      band.top = std::min(band.top, ReadDepth(anteriorLayer[i], g));
  return band;
}

// The band of the two-valued image, band.Width() bytes per column: 255 above the posterior
// surface, 0 from its (truncated) depth down.
void DrawPosteriorRegion(const std::vector<float>& posterior, const Geometry& g, const Band& band,
                         Ipp8u* binIm) {
  const int w = band.Width();
  if (w < 1) return;
  for (int j = 0; j < g.isoWidth; ++j) {
    Ipp8u* row = binIm + static_cast<size_t>(j) * static_cast<size_t>(w);
    const int edge = std::clamp(static_cast<int>(posterior[j]) - band.top, 0, w);
    std::memset(row, 255, static_cast<unsigned>(edge));
    std::memset(row + edge, 0, static_cast<unsigned>(w - edge));
  }
}

// Distance in pixels from every pixel of the band to the nearest 0 pixel. Both entries write
// every pixel of distIm, so it needs no clearing beforehand.
IppStatus DistanceTransform(int method, const Ipp8u* binIm, float* distIm, const Geometry& g,
                            const Band& band, Ipp8u* buffer) {
  const IppiSize roi{band.Width(), g.isoWidth};
  const int step = band.Width() * static_cast<int>(sizeof(float));
  if (method != 0)
    return ippiFastMarching_8u32f_C1R(binIm, band.Width(), distIm, step, roi, 1.0f, buffer);
  return ippiTrueDistanceTransform_8u32f_C1R(binIm, band.Width(), distIm, step, roi, buffer);
}

// ---- Sub-pixel refinement -------------------------------------------------------------------
// The posterior curve is the polyline through (j, posterior[j]) in square-pixel units.

double VertexDistance2(const std::vector<float>& c, int j, double px, double pz) {
  const double dx = px - j, dz = pz - c[j];
  return dx * dx + dz * dz;
}

double SegmentDistance2(const std::vector<float>& c, int j, double px, double pz) {
  const double z0 = c[j], dz = static_cast<double>(c[j + 1]) - z0;
  const double t = std::clamp(((px - j) + (pz - z0) * dz) / (1.0 + dz * dz), 0.0, 1.0);
  const double ex = px - (j + t), ez = pz - (z0 + t * dz);
  return ex * ex + ez * ez;
}

// Squared distance to the two segments around vertex j (the vertex alone on a one-point curve).
double AroundVertex(const std::vector<float>& c, int j, double px, double pz) {
  double best = VertexDistance2(c, j, px, pz);
  if (j > 0) best = std::min(best, SegmentDistance2(c, j - 1, px, pz));
  if (j + 1 < static_cast<int>(c.size())) best = std::min(best, SegmentDistance2(c, j, px, pz));
  return best;
}

// Walks from vertex j downhill in vertex distance to a local minimum.
int WalkToNearestVertex(const std::vector<float>& c, int j, double px, double pz) {
  const int n = static_cast<int>(c.size());
  j = std::clamp(j, 0, n - 1);
  double d = VertexDistance2(c, j, px, pz);
  while (j > 0 && VertexDistance2(c, j - 1, px, pz) < d) d = VertexDistance2(c, --j, px, pz);
  while (j + 1 < n && VertexDistance2(c, j + 1, px, pz) < d) d = VertexDistance2(c, ++j, px, pz);
  return j;
}

// Squared distance from (px, pz) to the curve, and in `nearest` the vertex next to the nearest
// point. A walk from the previous A-scan's vertex gives a first distance; the segments are then
// scanned outward from there in both directions until the lateral gap alone exceeds the best
// distance found, so the result is the nearest point of the whole curve even where a noisy
// surface makes the walk stop at a local minimum. A run of segments whose common bounding box
// (lo, hi: its least and greatest depth) is no nearer than the best point is passed over whole:
// each of its segments would have been passed over on its own box.
double NearestOnCurve(const std::vector<float>& c, const Scratch& s, double px, double pz,
                      int& nearest) {
  constexpr int K = Scratch::kBlock;
  const int n = static_cast<int>(c.size());
  nearest = WalkToNearestVertex(c, nearest, px, pz);
  double best = AroundVertex(c, nearest, px, pz);
  const int start = nearest;
  const auto gapZ = [pz](double lo, double hi) {
    return pz < lo ? lo - pz : (pz > hi ? pz - hi : 0.0);
  };
  // The box of the vertices x0 .. x1 at depths lo .. hi is no nearer than the best point.
  const auto farBox = [&](double x0, double x1, double lo, double hi) {
    const double gz = gapZ(lo, hi);
    const double gx = px < x0 ? x0 - px : (px > x1 ? px - x1 : 0.0);
    return gx * gx + gz * gz >= best;
  };
  const auto consider = [&](int j) {  // the segment from vertex j to j + 1
    if (farBox(j, j + 1, std::min(c[j], c[j + 1]), std::max(c[j], c[j + 1]))) return;
    const double d = SegmentDistance2(c, j, px, pz);
    if (d < best) best = d, nearest = px - j < 0.5 ? j : j + 1;
  };
  const auto beyondRight = [&](int j) {
    const double gap = j - px;
    return gap > 0.0 && gap * gap >= best;
  };
  const auto beyondLeft = [&](int j) {
    const double gap = px - (j + 1);
    return gap > 0.0 && gap * gap >= best;
  };
  for (int j = start + 1; j + 1 < n && !beyondRight(j);) {
    const int b = j / K, end = std::min((b + 1) * K, n - 1);
    if (farBox(j, end, s.curveLo[b], s.curveHi[b])) {
      j = end;
      continue;
    }
    for (; j < end && !beyondRight(j); ++j) consider(j);
    if (j < end) break;
  }
  for (int j = start - 2; j >= 0 && !beyondLeft(j);) {
    const int b = j / K, first = b * K;
    if (farBox(first, j + 1, s.curveLo[b], s.curveHi[b])) {
      j = first - 1;
      continue;
    }
    for (; j >= first && !beyondLeft(j); --j) consider(j);
    if (j >= first) break;
  }
  return best;
}

// Least and greatest depth of the vertices of every run of segments of the posterior curve.
void CurveBlocks(Scratch& s) {
  constexpr int K = Scratch::kBlock;
  const int n = static_cast<int>(s.posterior.size());
  for (int b = 0; b * K < n - 1; ++b) {
    const auto first = s.posterior.begin() + b * K;
    const auto [lo, hi] =
        std::minmax_element(first, s.posterior.begin() + std::min((b + 1) * K, n - 1) + 1);
    s.curveLo[b] = *lo;
    s.curveHi[b] = *hi;
  }
}

// Replaces the grid distances of pachLine (square pixels) by distances to the posterior curve.
void RefineToCurve(const float* anteriorLayer, Scratch& s, const Geometry& g, float* pachLine) {
  CurveBlocks(s);
  const double lateral = g.widthPix > 1 ? (g.isoWidth - 1.0) / (g.widthPix - 1.0) : 0.0;
  int nearest = 0;
  for (int i = 0; i < g.widthPix; ++i) {
    if (!(pachLine[i] > 0.0f)) continue;
    const double d2 = NearestOnCurve(s.posterior, s, i * lateral, anteriorLayer[i], nearest);
    pachLine[i] = static_cast<float>(std::sqrt(d2));
  }
}

// ---- One B-scan ---------------------------------------------------------------------------

int RunBscan(const float* anteriorLayer, const float* posteriorLayer, const Geometry& g, int method,
             CCorneaMap::ThicknessMeasure measure, Scratch& s, Ipp8u* binIm, float* distIm,
             Ipp8u* distBuffer, float* disImOrg, float* pachLine) {
  ResamplePosterior(posteriorLayer, g, s);
  const Band band = DepthBand(anteriorLayer, posteriorLayer, s.posterior, g);
  DrawPosteriorRegion(s.posterior, g, band, binIm);
  if (DistanceTransform(method, binIm, distIm, g, band, distBuffer) != ippStsNoErr) return -1;
  const int w = band.Width();
  if (Common::Algorithms::GeometricTransform::ImResize(distIm, g.isoWidth, w, 1, disImOrg,
                                                       g.widthPix, w) == -1)
    return -1;
  for (int i = 0; i < g.widthPix; ++i) {
    pachLine[i] = -1.0f;
    if (!HasThickness(anteriorLayer, posteriorLayer, i)) continue;
    const int d = ReadDepth(anteriorLayer[i], g);
    pachLine[i] = d < band.bottom ? disImOrg[static_cast<size_t>(i) * w + d - band.top] : 0.0f;
  }
  if (measure == CCorneaMap::ThicknessMeasure::SubPixel)
    RefineToCurve(anteriorLayer, s, g, pachLine);
  return 0;
}

// ---- One B-scan without the images ---------------------------------------------------------
// The grid thickness of an A-scan reads the distance image at its depth on two square-pixel
// columns only, blended by the lateral resampling. Each of those distances is computed on its
// own: the nearest 0 pixel of column j at depth d lies at depth max(d, edge j), so the squared
// distance from (r, d) is the least (r - j)^2 + max(0, edge j - d)^2 over the columns, the same
// whole number the distance transform finds, and columns farther than its root are not looked
// at.

// Squared distance in square pixels from column r at depth d to the drawn posterior region. A run
// of columns whose least edge and nearest column are no nearer than the best so far is passed
// over whole.
long long RegionDistance2(const std::vector<int>& edge, const std::vector<int>& edgeLo, int r,
                          int d) {
  constexpr int K = Scratch::kBlock;
  const auto below = [d](int e) {
    const long long g = std::max(0, e - d);
    return g * g;
  };
  const auto lateral = [r](int j) { return static_cast<long long>(j - r) * (j - r); };
  long long best = below(edge[r]);
  const int n = static_cast<int>(edge.size());
  for (int j = r + 1; j < n && lateral(j) < best;) {
    const int end = std::min((j / K + 1) * K, n);
    if (lateral(j) + below(edgeLo[j / K]) >= best) {
      j = end;
      continue;
    }
    for (; j < end && lateral(j) < best; ++j) best = std::min(best, lateral(j) + below(edge[j]));
    if (j < end) break;
  }
  for (int j = r - 1; j >= 0 && lateral(j) < best;) {
    const int first = j / K * K;
    if (lateral(j) + below(edgeLo[j / K]) >= best) {
      j = first - 1;
      continue;
    }
    for (; j >= first && lateral(j) < best; --j) best = std::min(best, lateral(j) + below(edge[j]));
    if (j >= first) break;
  }
  return best;
}

// The distance as the transform stores it: the square root taken in single precision.
float RegionDistance(const std::vector<int>& edge, const std::vector<int>& edgeLo, int r, int d) {
  return std::sqrt(static_cast<float>(static_cast<double>(RegionDistance2(edge, edgeLo, r, d))));
}

// The two source columns and weights of destination row i of ImResize's linear resampling of
// `rows` rows to `resized` rows (the factor divided in single precision, positions within 1e-6
// of a whole number taken as whole, the second column clamped to the last).
struct LateralTaps {
  int first, second;
  float w0, w1;
};

LateralTaps ResizeTaps(int i, int rows, int resized) {
  const double factor = static_cast<float>(resized) / static_cast<float>(rows);
  double pos = i / factor;
  const double whole = std::round(pos);
  if (std::abs(pos - whole) <= 1e-6 * std::max(1.0, std::abs(pos))) pos = whole;
  const double base = std::floor(pos);
  const float t = static_cast<float>(pos - base);
  const int first = static_cast<int>(std::clamp<double>(base, 0.0, rows - 1.0));
  return {first, std::min(first + 1, rows - 1), 1.0f - t, t};
}

void RunBscanDirect(const float* anteriorLayer, const float* posteriorLayer, const Geometry& g,
                    CCorneaMap::ThicknessMeasure measure, Scratch& s, std::vector<int>& edge,
                    float* pachLine) {
  ResamplePosterior(posteriorLayer, g, s);
  const Band band = DepthBand(anteriorLayer, posteriorLayer, s.posterior, g);
  edge.resize(static_cast<size_t>(g.isoWidth));
  for (int j = 0; j < g.isoWidth; ++j) edge[j] = static_cast<int>(s.posterior[j]);
  for (int j = 0; j < g.isoWidth; j += Scratch::kBlock)
    s.edgeLo[j / Scratch::kBlock] = *std::min_element(
        edge.begin() + j, edge.begin() + std::min(j + Scratch::kBlock, g.isoWidth));
  for (int i = 0; i < g.widthPix; ++i) {
    pachLine[i] = -1.0f;
    if (!HasThickness(anteriorLayer, posteriorLayer, i)) continue;
    const int d = ReadDepth(anteriorLayer[i], g);
    if (d >= band.bottom) {
      pachLine[i] = 0.0f;
      continue;
    }
    const LateralTaps t = ResizeTaps(i, g.isoWidth, g.widthPix);
    pachLine[i] = t.w0 * RegionDistance(edge, s.edgeLo, t.first, d) +
                  t.w1 * RegionDistance(edge, s.edgeLo, t.second, d);
  }
  if (measure == CCorneaMap::ThicknessMeasure::SubPixel)
    RefineToCurve(anteriorLayer, s, g, pachLine);
}

}  // namespace

int CCorneaMap::BscanMap(const float* anteriorLayer, const float* posteriorLayer, int depthPix,
                         int widthPix, float depthMu, float widthMu, int method,
                         std::uint8_t* binIm, float* distIm, std::uint8_t* distBuffer,
                         float* disImOrg, float* pachLine, ThicknessMeasure measure) {
  RequireWidth(widthPix);
  const Geometry g{depthPix, widthPix, IsoWidth(widthMu, depthMu, depthPix)};
  if (g.isoWidth < 1 || depthPix < 1 || widthPix < 1) return -1;
  Scratch s(widthPix, g.isoWidth);
  return RunBscan(anteriorLayer, posteriorLayer, g, method, measure, s, binIm, distIm, distBuffer,
                  disImOrg, pachLine);
}

// The posterior region's depth per square-pixel column, grown as needed.
struct CCorneaMap::Workspace::Areas {
  std::vector<int> edge;
};

CCorneaMap::Workspace::Workspace() : areas_(std::make_unique<Areas>()) {}
CCorneaMap::Workspace::~Workspace() = default;

void CCorneaMap::ComputeMap(const float* anteriorLayers, const float* posteriorLayers,
                            int numLayers, int depthPix, int widthPix, float depthMu, float widthMu,
                            int method, float* pachData, ThicknessMeasure measure) {
  Workspace work;
  ComputeMap(anteriorLayers, posteriorLayers, numLayers, depthPix, widthPix, depthMu, widthMu,
             method, pachData, measure, work);
}

void CCorneaMap::ComputeMap(const float* anteriorLayers, const float* posteriorLayers,
                            int numLayers, int depthPix, int widthPix, float depthMu, float widthMu,
                            int method, float* pachData, ThicknessMeasure measure,
                            Workspace& work) {
  RequireWidth(widthPix);
  const Geometry g{depthPix, widthPix, IsoWidth(widthMu, depthMu, static_cast<float>(depthPix))};
  const char* sizeName = method != 0 ? kFastMarchingSize : kTrueDistanceSize;
  if (g.isoWidth < 1 || depthPix < 1 || widthPix < 1) Engines::ThrowIppFailure(sizeName);
  int bufferSize = 0;
  const IppiSize roi{depthPix, g.isoWidth};
  Engines::IppCheck(method != 0
                        ? ippiFastMarchingGetBufferSize_8u32f_C1R(roi, &bufferSize)
                        : ippiTrueDistanceTransformGetBufferSize_8u32f_C1R(roi, &bufferSize),
                    sizeName);
  Scratch s(widthPix, g.isoWidth);
  for (int b = 0; b < numLayers; ++b) {
    const size_t row = static_cast<size_t>(b) * widthPix;
    RunBscanDirect(anteriorLayers + row, posteriorLayers + row, g, measure, s, work.areas_->edge,
                   pachData + row);
  }
  const int count = numLayers * widthPix;
  TALVEX_IPP(ippsMulC_32f_I, static_cast<float>(static_cast<double>(depthMu) / depthPix), pachData,
             count);
  for (int k = 0; k < count; ++k)
    if (pachData[k] <= 0.0f) pachData[k] = -1.0f;
}

}  // namespace Talvex::SDOCT::Algorithms

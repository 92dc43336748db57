// Layer correction of the cornea dewarp engine: layers carried through the same refraction as
// the image, with the turn angle of every beam at the refracting surface.
#include <cmath>
#include <vector>

#include "common/numerics/Splines.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/dewarping/CCorneaDewarp.h"
#include "engines/dewarping/DewarpPlacement.h"

namespace Talvex::SDOCT::Algorithms {

using DewarpDetail::InnerIndex;
using DewarpDetail::NearestSample;

namespace {

// Interpolates the traced values over the integer columns c0 .. c1 of the traced abscissae and
// writes them into out (bscanwidth values, -1 outside); grid and values are work vectors.
void WriteOverColumns(const std::vector<float>& X, const std::vector<float>& Y, int bscanwidth,
                      std::vector<float>& grid, std::vector<float>& values, float* out) {
  for (int i = 0; i < bscanwidth; ++i) out[i] = -1.0f;
  const int n = static_cast<int>(X.size());
  if (n == 0) return;
  const int c0 = static_cast<int>(X.front());
  if (n == 1) {
    out[c0] = Y.front();
    return;
  }
  const int c1 = static_cast<int>(X.back());
  grid.resize(c1 - c0 + 1);
  for (int i = 0; i < static_cast<int>(grid.size()); ++i) grid[i] = static_cast<float>(c0 + i);
  values.resize(grid.size());
  Engines::RequireSuccess(
      Common::Algorithms::Numerics::cspline(X.data(), Y.data(), n, grid.data(), values.data(),
                                            static_cast<int>(grid.size())),
      Engines::Messages::kCsplineFailed);
  for (std::size_t i = 0; i < grid.size(); ++i) out[c0 + i] = values[i];
}

float Asin(double v) { return std::asin(static_cast<float>(std::fmin(v, 1.0))); }

}  // namespace

void CCorneaDewarp::DewarpCurves(int bscanwidth, int ascanlen, const float* layer1In,
                                 const float* layer2In, float* ray_angles, float offset,
                                 float* layer2Out, int dewarpascanlen) {
  // The engine's work vectors keep their capacity: no allocation after the first B-scan.
  CurveWork& w = curveWork_;
  w.sample.assign(bscanwidth, -1.0f);
  w.column.assign(bscanwidth, -1.0f);
  std::vector<float>& sample = w.sample;
  std::vector<float>& column = w.column;
  const double W = bscanwidth;
  for (int j = 0; j < bscanwidth; ++j) {
    if (!(layer1In[j] >= 0.0f) || !(layer2In[j] >= 0.0f)) continue;
    const int s1 = NearestSample(layer1In[j], ascanlen - 1);
    const Refraction r = Refract(j);
    // Turn of the beam at the surface: incidence minus refraction angle, signed by the side to
    // which the tangential part points.
    const double dLen =
        std::sqrt(static_cast<float>(static_cast<double>(beamAxial[j]) * beamAxial[j] +
                                     static_cast<double>(beamLateral[j]) * beamLateral[j]));
    const double tLen =
        std::sqrt(static_cast<float>(r.tAxial * r.tAxial + r.tLateral * r.tLateral));
    const double rLen =
        std::sqrt(static_cast<float>(r.rAxial * r.rAxial + r.rLateral * r.rLateral));
    const double sign = r.tLateral < 0.0 ? -1.0 : 1.0;
    const double turn =
        (Asin(tLen / dLen) - Asin(std::sqrt(static_cast<float>(r.q)) / rLen)) * sign;
    // The carried point lies at the truncated sample of layer 2 along the refracted beam.
    const int s2 = static_cast<int>(std::fmin(layer2In[j], static_cast<float>(ascanlen - 1)));
    const double L = (static_cast<double>(sampleDepth[s2]) - sampleDepth[s1]) / n_group;
    const double a = r.rAxial * L + surfaceAxial[j];
    const double l = r.rLateral * L + surfaceLateral[j];
    const double c = l / scan_width * W + W / 2;
    const double p = a / scan_depth * ascanlen - offset;
    const int ci = InnerIndex(c, bscanwidth);
    if (ci < 0 || InnerIndex(p, dewarpascanlen) < 0) continue;
    sample[ci] = static_cast<float>(p);
    column[ci] = static_cast<float>(c);
    ray_angles[ci] = static_cast<float>(turn);
  }
  w.X.clear(), w.Y.clear(), w.A.clear();
  for (int i = 0; i < bscanwidth; ++i) {
    if (!(sample[i] > 0.0f)) continue;
    w.X.push_back(column[i]);
    w.Y.push_back(sample[i]);
    w.A.push_back(ray_angles[i]);
  }
  WriteOverColumns(w.X, w.Y, bscanwidth, w.grid, w.values, layer2Out);
  WriteOverColumns(w.X, w.A, bscanwidth, w.grid, w.values, ray_angles);
}

void CCorneaDewarp::DewarpSurfaces(int numbscans, int bscanwidth, int ascanlen,
                                   const float* layer1In, const float* layer2In, bool pivoit,
                                   float* ray_angles, float nn, float offset, float* layer2Out,
                                   int dewarpascanlen) {
  if (bscanwidth > kMaxSize || ascanlen > kMaxSize)
    throw AlgorithmException("Maximum number of Ascan in a Bscan must be smaller than 2049.");
  if (numbscans < 1 || bscanwidth < 1 || ascanlen < 1) return;
  FillSampleDepths(ascanlen, nn);
  for (int b = 0; b < numbscans; ++b) {
    const std::size_t row = static_cast<std::size_t>(b) * bscanwidth;
    GeneralPreComputation(layer1In + row, bscanwidth, ascanlen, ray_angles + row, pivoit);
    DewarpCurves(bscanwidth, ascanlen, layer1In + row, layer2In + row, ray_angles + row, offset,
                 layer2Out + row, dewarpascanlen);
  }
}

}  // namespace Talvex::SDOCT::Algorithms

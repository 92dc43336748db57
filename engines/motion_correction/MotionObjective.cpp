// The objective of the motion correction: how far the shifted meridians lie from one quadric
// surface, as the mean squared depth residual of a least-squares quadric through all of them.
#include <cstddef>
#include <vector>

#include "common/numerics/Fits.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/motion_correction/CCorneaMotionCorrection.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

namespace Numerics = Common::Algorithms::Numerics;

// Marks a point where the fitted quadric has no real depth.
constexpr double kNoDepth = -10000.0;

// Shifts the points of every meridian into the work arrays, then keeps the points with a value
// at the front of the work arrays, in order. Returns how many were kept.
int ShiftAndCompact(const CCorneaMotionCorrection::ObjectiveFunctionInput& in, const double* x,
                    int k) {
  const int ns = in.numSamples;
  for (int i = 0; i < in.numLayers; ++i) {
    const std::size_t off = static_cast<std::size_t>(i) * ns;
    TALVEX_IPP(ippsAddC_64f, in.X + off, x[i], in.ShiftedX + off, ns);
    TALVEX_IPP(ippsAddC_64f, in.Y + off, x[k + i], in.ShiftedY + off, ns);
    TALVEX_IPP(ippsAddC_64f, in.Z + off, x[2 * k + i], in.ShiftedZ + off, ns);
  }
  const std::size_t total = static_cast<std::size_t>(in.numLayers) * ns;
  int kept = 0;
  for (std::size_t p = 0; p < total; ++p) {
    if (in.Z[p] == -1.0) continue;
    in.ShiftedX[kept] = in.ShiftedX[p];
    in.ShiftedY[kept] = in.ShiftedY[p];
    in.ShiftedZ[kept] = in.ShiftedZ[p];
    ++kept;
  }
  return kept;
}

}  // namespace

void CCorneaMotionCorrection::ObjectiveFunction(int* /*m*/, int* n, double* x, double* f,
                                                void* objdata) {
  const auto& in = *static_cast<const ObjectiveFunctionInput*>(objdata);
  if (in.reduced != nullptr) {
    f[0] = in.reduced->Value(x);
    return;
  }
  const int c = ShiftAndCompact(in, x, *n / 3);
  double* X = in.ShiftedX;
  double* Y = in.ShiftedY;
  double* Z = in.ShiftedZ;
  if (c > 0) {
    double mean = 0.0;
    TALVEX_IPP(ippsMean_64f, Z, c, &mean);
    TALVEX_IPP(ippsAddC_64f_I, -mean, Z, c);
  }
  double quadric[10];
  if (Numerics::quadricfit(X, Y, Z, c, quadric) == -1) throw AlgorithmException(kQuadricFitFailed);
  std::vector<double> fitted(static_cast<std::size_t>(c), kNoDepth);
  Numerics::quadricval(quadric, X, Y, c, fitted.data());

  double sum = 0.0, flat = 0.0;
  int used = 0;
  for (int p = 0; p < c; ++p) {
    flat += Z[p] * Z[p];
    if (fitted[p] == kNoDepth) continue;
    const double r = fitted[p] - Z[p];
    sum += r * r;
    ++used;
  }
  // A quadric without a real depth at any point explains nothing: score it as the flat surface
  // through the mean depth.
  f[0] = used > 0 ? sum / used : flat / c;
}

}  // namespace Talvex::SDOCT::Algorithms

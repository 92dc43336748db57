#include "common/numerics/ZernikeRadialCartesian.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/data_structures/CMeshgrid.h"
#include "common/numerics/ZernikeFit.h"
#include "core/AlgorithmException.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;
using DataStructures::CMeshgrid;
using SDOCT::Algorithms::AlgorithmException;

constexpr const char* kOrderLimit = "max oder of zernike polymnomial allowed is 23.";
constexpr const char* kFitFailed = "TalvexALgorithm: CZernikeFit::zernike_fit() failed.";
constexpr const char* kBasisFailed = "TalvexALgorithm: CZernikeFit::zernike_basisfun() failed.";
constexpr double kPi = 3.14159265358979;

void Ipp(IppStatus status, const char* name) {
  if (status != ippStsNoErr) throw AlgorithmException(std::string("IPP: ") + name + "() failed.");
}

// The samples handed to the fit: a left-out sample is (radius 0, angle 0, value 0).
struct Samples {
  std::vector<double> radius, angle, value;
};

Samples CopySamples(const double* angle, const double* radius, const double* value, int n,
                    double maxRadius, double missing) {
  Samples s{std::vector<double>(radius, radius + n), std::vector<double>(angle, angle + n),
            std::vector<double>(value, value + n)};
  for (int k = 0; k < n; ++k) {
    if (s.value[k] == missing || s.radius[k] > maxRadius) s.radius[k] = s.angle[k] = s.value[k] = 0;
  }
  return s;
}

// The expansion fitted to the samples, and the radius that normalises them (the largest radius
// of the samples the fit used, value != 0).
struct Expansion {
  std::vector<double> coef;
  double rmax = 0.0;
};

Expansion Fit(Samples& s, double maxRadius, int maxOrder, int terms, double* zernbase,
              double* work) {
  const int n = static_cast<int>(s.value.size());
  Expansion e{std::vector<double>(static_cast<size_t>(std::max(terms, 1))), 0.0};
  if (n < 1 ||
      CZernikeFit::zernike_fit(s.radius.data(), s.angle.data(), s.value.data(), n, maxRadius,
                               maxOrder, zernbase, e.coef.data(), terms, work) == -1)
    throw AlgorithmException(kFitFailed);
  for (int k = 0; k < n; ++k)
    if (s.value[k] != 0.0) e.rmax = std::max(e.rmax, s.radius[k]);
  return e;
}

// Polar coordinates of the w x w nodes over [-R, R]^2, R = trunc(maxRadius + 0.5); node (row i,
// column j) lies at (x_j, y_i).
void NodePolar(int w, double maxRadius, double* nodeAngle, double* nodeRadius) {
  const double R = std::trunc(maxRadius + 0.5);
  const int P = w * w;
  auto X = CMeshgrid<double>::meshgridX(-R, R, w);
  auto Y = CMeshgrid<double>::meshgridY(-R, R, w);
  double* x = X->getdata();
  double* y = Y->getdata();
  Ipp(ippsAtan2_64f_A50(y, x, nodeAngle, P), "ippsAtan2_64f_A50");
  Ipp(ippsSqr_64f_I(x, P), "ippsSqr_64f_I");
  Ipp(ippsSqr_64f_I(y, P), "ippsSqr_64f_I");
  Ipp(ippsAdd_64f(x, y, nodeRadius, P), "ippsAdd_64f");
  Ipp(ippsSqrt_64f_I(nodeRadius, P), "ippsSqrt_64f_I");
}

// Basis of the w x w nodes into zernbase (T values per node). work holds, from its start: node
// angles, node radii, the angles used and the normalised radii used (P each); a node beyond
// maxRadius is evaluated at the centre.
void NodeBasis(int w, double maxRadius, int maxOrder, int terms, double rmax, double* zernbase,
               double* work) {
  const int P = w * w;
  double* nodeAngle = work;
  double* nodeRadius = work + P;
  double* angleUsed = work + 2 * P;
  double* radiusUsed = work + 3 * P;
  NodePolar(w, maxRadius, nodeAngle, nodeRadius);
  std::copy(nodeAngle, nodeAngle + P, angleUsed);
  std::copy(nodeRadius, nodeRadius + P, radiusUsed);
  for (int k = 0; k < P; ++k)
    if (radiusUsed[k] > maxRadius) radiusUsed[k] = angleUsed[k] = 0.0;
  Ipp(ippsDivC_64f_I(rmax, radiusUsed, P), "ippsDivC_64f_I");
  std::fill(zernbase, zernbase + static_cast<size_t>(terms) * P, 0.0);
  if (CZernikeFit::zernike_basisfun(radiusUsed, angleUsed, zernbase, P, terms, maxOrder) == -1)
    throw AlgorithmException(kBasisFailed);
}

// The expansion at one node: its T basis values times the coefficients, summed in order in double.
double NodeSum(const double* basis, const std::vector<double>& coef) {
  double sum = 0.0;
  for (size_t t = 0; t < coef.size(); ++t) sum += basis[t] * coef[t];
  return sum;
}

// Sample positions of a regular radial scan (see the header), written to the caller's arrays.
void RadialPositions(int numScans, int numSteps, double maxRadius, double* angle, double* radius) {
  const double step = 2.0 * maxRadius / (numSteps - 1);
  for (int k = 0; k < numSteps - 1; ++k) radius[k] = k * step - maxRadius;
  radius[numSteps - 1] = maxRadius;
  Ipp(ippsAbs_64f_I(radius, numSteps), "ippsAbs_64f_I");
  const double last = kPi - kPi / numScans;
  const double delta = numScans > 1 ? last / (numScans - 1) : 0.0;
  for (int b = 0; b < numScans; ++b) {
    double* a = angle + static_cast<size_t>(b) * numSteps;
    std::copy(radius, radius + numSteps, radius + static_cast<size_t>(b) * numSteps);
    std::fill(a, a + numSteps, b == numScans - 1 ? last : b * delta);
    for (int k = 0; k < numSteps / 2; ++k) a[k] += kPi;
  }
}

}  // namespace

void CZernikeRadialCartesian::Radial2Cartesian(const double* angle, const double* radius,
                                               const double* elevation, int npts, int cartwidth,
                                               float* z, double maxRadius, int maxOrder,
                                               double* zernbase, double* work) {
  if (maxOrder > kMaxOrder) throw AlgorithmException(kOrderLimit);
  if (cartwidth < 1) Ipp(ippStsSizeErr, "ippsAtan2_64f_A50");
  const int w = cartwidth, P = w * w, terms = CZernikeFit::zernike_term_count(maxOrder);
  std::fill(work, work + 4 * P + std::max(npts, 0), 0.0);
  Samples s = CopySamples(angle, radius, elevation, std::max(npts, 0), maxRadius, -1.0);
  const Expansion e = Fit(s, maxRadius, maxOrder, terms, zernbase, work);
  NodeBasis(w, maxRadius, maxOrder, terms, e.rmax, zernbase, work + npts);
  for (int k = 0; k < P; ++k) {
    const double* b = zernbase + static_cast<size_t>(k) * terms;
    float sum = 0.0f;
    for (int t = 0; t < terms; ++t) sum += static_cast<float>(b[t] * e.coef[t]);
    z[k] = sum;
  }
  Ipp(ippiTranspose_32f_C1IR(z, w * static_cast<int>(sizeof(float)), {w, w}),
      "ippiTranspose_32f_C1IR");
}

void CZernikeRadialCartesian::Radial2Cartesian(double* angle, double* radius,
                                               const double* elevation, int numScans, int numSteps,
                                               double* z, double maxRadius, int maxOrder,
                                               double* zernbase, double* work) {
  if (numScans < 1 || numSteps < 2) Ipp(ippStsSizeErr, "ippsAbs_64f_I");
  const int w = numSteps, P = w * w, npts = numScans * numSteps;
  const int terms = CZernikeFit::zernike_term_count(maxOrder);
  std::fill(work, work + 4 * P + npts, 0.0);
  const RadialExpansion e = FitRadialScan(angle, radius, elevation, numScans, numSteps, maxRadius,
                                          maxOrder, zernbase, work);
  NodeBasis(w, maxRadius, maxOrder, terms, e.rmax, zernbase, work + npts);
  for (int k = 0; k < P; ++k) z[k] = NodeSum(zernbase + static_cast<size_t>(k) * terms, e.coef);
}

CZernikeRadialCartesian::RadialExpansion CZernikeRadialCartesian::FitRadialScan(
    double* angle, double* radius, const double* elevation, int numScans, int numSteps,
    double maxRadius, int maxOrder, double* zernbase, double* work) {
  if (numScans < 1 || numSteps < 2) Ipp(ippStsSizeErr, "ippsAbs_64f_I");
  const int terms = CZernikeFit::zernike_term_count(maxOrder);
  RadialPositions(numScans, numSteps, maxRadius, angle, radius);
  Samples s = CopySamples(angle, radius, elevation, numScans * numSteps, maxRadius, 0.0);
  Expansion fit = Fit(s, maxRadius, maxOrder, terms, zernbase, work);
  RadialExpansion e;
  e.coef = std::move(fit.coef);
  e.rmax = fit.rmax;
  e.maxRadius = maxRadius;
  e.maxOrder = maxOrder;
  e.width = numSteps;
  return e;
}

void CZernikeRadialCartesian::EvaluateNodes(const RadialExpansion& e, const int* nodes, int count,
                                            double* values) {
  if (count < 1) return;
  const int w = e.width, terms = CZernikeFit::zernike_term_count(e.maxOrder);
  const double R = std::trunc(e.maxRadius + 0.5);
  std::vector<double> xs(w, 0.0), ys(w, 0.0);
  if (-R < R) {
    CMeshgrid<double>::axisX(-R, R, w, xs.data());
    CMeshgrid<double>::axisY(-R, R, w, ys.data());
  }
  // The node polar coordinates and the reset of nodes beyond maxRadius, one node at a time with
  // the operations the grid applies element by element.
  std::vector<double> x(count), y(count), angle(count), radius(count);
  for (int k = 0; k < count; ++k) {
    x[k] = xs[nodes[k] % w];
    y[k] = ys[nodes[k] / w];
  }
  Ipp(ippsAtan2_64f_A50(y.data(), x.data(), angle.data(), count), "ippsAtan2_64f_A50");
  Ipp(ippsSqr_64f_I(x.data(), count), "ippsSqr_64f_I");
  Ipp(ippsSqr_64f_I(y.data(), count), "ippsSqr_64f_I");
  Ipp(ippsAdd_64f(x.data(), y.data(), radius.data(), count), "ippsAdd_64f");
  Ipp(ippsSqrt_64f_I(radius.data(), count), "ippsSqrt_64f_I");
  for (int k = 0; k < count; ++k)
    if (radius[k] > e.maxRadius) radius[k] = angle[k] = 0.0;
  Ipp(ippsDivC_64f_I(e.rmax, radius.data(), count), "ippsDivC_64f_I");
  std::vector<double> basis(static_cast<size_t>(terms) * count, 0.0);
  if (CZernikeFit::zernike_basisfun(radius.data(), angle.data(), basis.data(), count, terms,
                                    e.maxOrder) == -1)
    throw AlgorithmException(kBasisFailed);
  for (int k = 0; k < count; ++k)
    values[k] = NodeSum(basis.data() + static_cast<size_t>(k) * terms, e.coef);
}

}  // namespace Talvex::Common::Algorithms::Numerics

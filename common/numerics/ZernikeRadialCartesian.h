// Reconstruction of a surface on a square Cartesian grid from samples in polar form (angle,
// radius, value) through a least-squares Zernike expansion: thickness maps from the meridians of
// a radial scan, and the elevation of the corneal vertex search.
#pragma once

#include <vector>

namespace Talvex::Common::Algorithms::Numerics {

class CZernikeRadialCartesian {
 public:
  // Largest radial order of the scattered overload.
  static constexpr int kMaxOrder = 23;

  // Scattered samples to a cartwidth x cartwidth grid (single precision):
  //   1. a sample whose value is exactly -1.0 (no value) or whose radius exceeds maxRadius becomes
  //      (radius 0, angle 0, value 0), which the fit leaves out;
  //   2. the coefficients c_t of the expansion sum_t c_t Z_t(r / rmax, angle) up to maxOrder
  //      (T = (maxOrder+1)(maxOrder+2)/2 terms) are fitted by CZernikeFit::zernike_fit, rmax
  //      being the largest radius of the samples it used;
  //   3. the grid nodes are x_j = -R + 2R j / (w - 1) (likewise y_i), R = trunc(maxRadius + 0.5);
  //      a node beyond maxRadius takes the value at the centre (radius 0);
  //   4. z[i * w + j] = sum_t float(Z_t(node (x_i, y_j)) * c_t), summed in float: the first index
  //      runs along x (the layout of the grid fit).
  //   angle, radius, elevation  npts samples: radians, length unit of maxRadius, any unit
  //   zernbase  at least T * max(w * w, npts) doubles (the basis of the samples, then of the
  //             nodes, T values per point)
  //   work      at least 4 * w * w + npts doubles
  // Throws "max oder of zernike polymnomial allowed is 23." (maxOrder > 23, before any work),
  // "TalvexALgorithm: CZernikeFit::zernike_fit() failed." (among others when every sample was
  // reset in 1, or all lie at radius 0), "TalvexALgorithm: CZernikeFit::zernike_basisfun()
  // failed." and "IPP: <primitive>() failed." (also for cartwidth < 1).
  static void Radial2Cartesian(const double* angle, const double* radius, const double* elevation,
                               int npts, int cartwidth, float* z, double maxRadius, int maxOrder,
                               double* zernbase, double* work);

  // Regular radial scan to a numSteps x numSteps grid (double precision). The operation writes
  // the sample positions into angle and radius (numScans rows of numSteps):
  //   radius[b][k] = |k * 2 maxRadius / (numSteps - 1) - maxRadius| (the last exactly maxRadius);
  //   angle[b][k]  = b * (pi - pi / numScans) / (numScans - 1) (the last row exactly
  //                  pi - pi / numScans), plus pi for k < numSteps / 2: the first half of a
  //                  meridian points the opposite way.
  // A sample whose value is exactly 0.0 or whose radius exceeds maxRadius is left out; fit and
  // grid as above with w = numSteps, no order limit, sums in double, and no transpose:
  // z[i * w + j] is the value at (x_j, y_i).
  //   elevation  numScans rows of numSteps values;  numScans >= 1, numSteps >= 2
  //   zernbase   at least T * max(numSteps^2, numScans * numSteps) doubles
  //   work       at least 4 * numSteps^2 + numScans * numSteps doubles
  // Throws the messages of the scattered overload except the order limit.
  static void Radial2Cartesian(double* angle, double* radius, const double* elevation, int numScans,
                               int numSteps, double* z, double maxRadius, int maxOrder,
                               double* zernbase, double* work);

  // The two halves of the radial-scan overload, for callers that need the surface at a few nodes
  // only (a minimum search) and not the whole grid with its basis of T values per node.
  struct RadialExpansion {
    std::vector<double> coef;  // T coefficients in the order of CZernikeFit
    double rmax = 0.0;         // divisor of the node radii: the largest radius the fit used
    double maxRadius = 0.0;
    int maxOrder = 0;
    int width = 0;  // numSteps: nodes per grid axis over [-R, R], R = trunc(maxRadius + 0.5)
  };

  // The fit of the radial-scan overload: positions written to angle and radius as there, the
  // same samples left out, the same coefficients.
  //   zernbase  at least T * numScans * numSteps doubles;  work  at least numScans * numSteps
  // Throws as the radial-scan overload.
  static RadialExpansion FitRadialScan(double* angle, double* radius, const double* elevation,
                                       int numScans, int numSteps, double maxRadius, int maxOrder,
                                       double* zernbase, double* work);

  // values[k] = the grid value of node nodes[k] (row-major index i * width + j, node (x_j, y_i)),
  // bit for bit the z[nodes[k]] of the radial-scan overload with the same fit. Throws
  // "TalvexALgorithm: CZernikeFit::zernike_basisfun() failed." and "IPP: <primitive>() failed.".
  static void EvaluateNodes(const RadialExpansion& e, const int* nodes, int count, double* values);
};

}  // namespace Talvex::Common::Algorithms::Numerics

// A Zernike expansion rewritten as a polynomial in Cartesian coordinates, for evaluation along
// the rows of a grid at a few operations per node:
//   f(u, v) = sum_{p + q <= N} a_pq u^p v^q,  u = x / rmax, v = y / rmax,
// with rho^k cos(k theta) = Re (u + iv)^k and rho^k sin(k theta) = Im (u + iv)^k. The result
// differs from the term-by-term evaluation of CZernikeFit only by rounding; magnitudeBound
// bounds the size of what is summed, and so that rounding.
#pragma once

#include <vector>

namespace Talvex::Common::Algorithms::Numerics {

class CZernikeCartesian {
 public:
  // coef: the zernike_term_count(maxOrder) coefficients of an expansion of order maxOrder >= 0,
  // ordered and normalised as in CZernikeFit.
  CZernikeCartesian(const double* coef, int maxOrder);

  int degree() const { return m_degree; }

  // The row polynomial at v: b[p] = sum_q a_pq v^q, degree() + 1 values; then
  // f(u, v) = sum_p b[p] u^p (evaluateRow).
  void rowCoefficients(double v, double* b) const;
  double evaluateRow(const double* b, double u) const {
    double f = b[m_degree];
    for (int p = m_degree - 1; p >= 0; --p) f = f * u + b[p];
    return f;
  }

  // sum_pq |a|_pq s^(p+q), where |a|_pq sums the magnitudes of every contribution to a_pq: for
  // |u|, |v| <= s (s >= 1) it bounds every partial sum of either evaluation, so both lie within
  // a small multiple of the machine epsilon times it of the exact polynomial.
  double magnitudeBound(double s) const;

 private:
  int m_degree = 0;
  std::vector<double> m_a;          // a_pq at p * (N + 1) + q
  std::vector<double> m_magnitude;  // |a|_pq, same layout
};

}  // namespace Talvex::Common::Algorithms::Numerics

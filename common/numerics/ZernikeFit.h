// Zernike polynomials on the unit disk: evaluation of the basis and least-squares fit of a
// surface (a thickness or elevation map) given as scattered samples in polar form.
//
// Terms are ordered by radial order n = 0 .. N and, within an order, by azimuthal index
// m = -n, -n+2, .., n, so order N has (N+1)(N+2)/2 terms and term (n, m) has the index
// n(n+1)/2 + (n+m)/2. Each term is
//   Z_n^m(ρ, θ) = c_nm · R_n^|m|(ρ) · { cos(mθ) m > 0;  1 m = 0;  sin(|m|θ) m < 0 },
//   R_n^k(ρ) = sum_{s=0}^{(n-k)/2} (-1)^s (n-s)! / (s! ((n+k)/2-s)! ((n-k)/2-s)!) ρ^(n-2s),
//   c_nm = sqrt(2(n+1)) for m != 0, sqrt(n+1) for m = 0,
// orthonormal over the unit disk with the measure dA/π.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

class CZernikeFit {
 public:
  // Number of terms up to radial order maxOrder: (maxOrder+1)(maxOrder+2)/2; 0 when negative.
  static int zernike_term_count(int maxOrder);

  // Writes the (n, m) pairs of the terms up to maxOrder in the order above into orders and
  // azimuths (zernike_term_count(maxOrder) entries each). Returns that count, -1 when maxOrder
  // < 0 or a pointer is null.
  static int zernike_terms(int maxOrder, int* orders, int* azimuths);

  // Evaluates the first nterms terms at npts points: basis[i·nterms + t] = Z_t(a[i], b[i])
  // (point-major: the nterms values of a point are contiguous).
  //   a  npts normalised radii ρ (the disk is ρ <= 1; larger radii are evaluated as they come)
  //   b  npts polar angles θ in radians
  //   nterms  1 .. zernike_term_count(maxOrder);  maxOrder >= 0
  // Returns 0, or -1 on a null pointer, a bad size, an allocation or a primitive failure.
  static int zernike_basisfun(const double* a, const double* b, double* basis, int npts, int nterms,
                              int maxOrder);

  // Least-squares Zernike fit of the samples z(a, b) (a radii, b angles in radians):
  //   1. selects the samples with z != 0 and a <= maxRadius (a value of exactly 0 marks a
  //      missing sample) and normalises their radii by the largest of them, rmax;
  //   2. solves the normal equations (BᵀB)·coef = Bᵀz of their basis matrix B (dgesv);
  //   3. writes into work[0 .. npts) the fitted value sum_t coef[t]·Z_t of every sample at its
  //      radius / rmax, except that samples not selected in 1 are evaluated at the centre
  //      (radius 0, angle 0); basis then holds the npts x nterms basis of these positions.
  //   basis  at least npts·nterms doubles;  coef  nterms doubles;  work  at least npts doubles
  // Returns 0, or -1 on a null pointer, a bad size, no selected sample (or rmax = 0), fewer
  // selected samples than make the normal equations regular, or an allocation failure.
  static int zernike_fit(const double* a, const double* b, const double* z, int npts,
                         double maxRadius, int maxOrder, double* basis, double* coef, int nterms,
                         double* work);
};

}  // namespace Talvex::Common::Algorithms::Numerics

#include "common/numerics/ZernikeFit.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;

// Index of term (n, m) in the ordering by order, then azimuthal index.
inline int TermIndex(int n, int m) { return n * (n + 1) / 2 + (n + m) / 2; }

// Coefficients of R_n^k(ρ) = ρ^k · sum_{j=0}^{h} c[j] (ρ²)^(h-j), h = (n-k)/2, highest power
// first (c[j] is the coefficient of ρ^(n-2j)). The ratio of consecutive coefficients keeps every
// intermediate an exact integer for the orders in use.
void RadialCoefficients(int n, int k, std::vector<double>& c) {
  const int h = (n - k) / 2, p = (n + k) / 2;
  c.assign(static_cast<size_t>(h) + 1, 0.0);
  double binomial = 1;  // C(n, h) = n! / (p! h!)
  for (int i = 1; i <= h; ++i) binomial = binomial * (p + i) / i;
  c[0] = binomial;
  for (int s = 0; s < h; ++s)
    c[s + 1] = -(c[s] * (p - s) * (h - s)) / (static_cast<double>(s + 1) * (n - s));
}

}  // namespace

int CZernikeFit::zernike_term_count(int maxOrder) {
  return maxOrder < 0 ? 0 : (maxOrder + 1) * (maxOrder + 2) / 2;
}

int CZernikeFit::zernike_terms(int maxOrder, int* orders, int* azimuths) {
  if (maxOrder < 0 || orders == nullptr || azimuths == nullptr) return -1;
  int t = 0;
  for (int n = 0; n <= maxOrder; ++n) {
    for (int m = -n; m <= n; m += 2, ++t) {
      orders[t] = n;
      azimuths[t] = m;
    }
  }
  return t;
}

int CZernikeFit::zernike_basisfun(const double* a, const double* b, double* basis, int npts,
                                  int nterms, int maxOrder) {
  const int count = zernike_term_count(maxOrder);
  if (a == nullptr || b == nullptr || basis == nullptr || npts < 1 || maxOrder < 0 ||
      maxOrder > 32767 || nterms < 1 || nterms > count)
    return -1;
  try {
    // Term table and the distinct azimuthal orders |m| in ascending order.
    std::vector<int> orders(static_cast<size_t>(count)), azimuths(static_cast<size_t>(count));
    zernike_terms(maxOrder, orders.data(), azimuths.data());
    std::vector<Ipp16s> absM(static_cast<size_t>(nterms));
    for (int t = 0; t < nterms; ++t) absM[t] = static_cast<Ipp16s>(azimuths[t]);
    if (ippsAbs_16s(absM.data(), absM.data(), nterms) != ippStsNoErr) return -1;
    if (ippsSortAscend_16s_I(absM.data(), nterms) != ippStsNoErr) return -1;
    absM.erase(std::unique(absM.begin(), absM.end()), absM.end());

    const size_t np = static_cast<size_t>(npts);
    std::vector<double> scratch(7 * np);
    double* rho2 = scratch.data();  // ρ²
    double* power = rho2 + np;      // ρ^k for the current k
    double* radial = power + np;    // normalised R_n^k
    double* cosK = radial + np;     // cos(kθ)
    double* sinK = cosK + np;       // sin(kθ)
    double* cos1 = sinK + np;       // cos θ
    double* sin1 = cos1 + np;       // sin θ
    for (size_t i = 0; i < np; ++i) {
      rho2[i] = a[i] * a[i];
      power[i] = 1;
      cosK[i] = 1;
      sinK[i] = 0;
      cos1[i] = std::cos(b[i]);
      sin1[i] = std::sin(b[i]);
    }

    std::vector<double> c;
    int k = 0;  // azimuthal order of power, cosK and sinK
    for (const Ipp16s target : absM) {
      // Advance ρ^k and the angle multiples kθ (rotation recurrence) to k = target.
      for (; k < target; ++k) {
        if (ippsMul_64f_I(a, power, npts) != ippStsNoErr) return -1;
        for (size_t i = 0; i < np; ++i) {
          const double cn = cosK[i] * cos1[i] - sinK[i] * sin1[i];
          sinK[i] = sinK[i] * cos1[i] + cosK[i] * sin1[i];
          cosK[i] = cn;
        }
      }
      for (int n = k; n <= maxOrder; n += 2) {
        const int plus = TermIndex(n, k), minus = TermIndex(n, -k);
        if (minus >= nterms && plus >= nterms) continue;
        // R_n^k(ρ) = ρ^k · P(ρ²) by Horner, then the normalisation.
        RadialCoefficients(n, k, c);
        for (size_t i = 0; i < np; ++i) {
          double v = c[0];
          for (size_t j = 1; j < c.size(); ++j) v = v * rho2[i] + c[j];
          radial[i] = v;
        }
        if (ippsMul_64f_I(power, radial, npts) != ippStsNoErr) return -1;
        if (ippsMulC_64f_I(std::sqrt(2.0 * (n + 1)), radial, npts) != ippStsNoErr) return -1;
        if (k == 0) {
          if (ippsMulC_64f_I(1.0 / std::sqrt(2.0), radial, npts) != ippStsNoErr) return -1;
          for (size_t i = 0; i < np; ++i) basis[i * nterms + plus] = radial[i];
          continue;
        }
        if (plus < nterms)
          for (size_t i = 0; i < np; ++i) basis[i * nterms + plus] = radial[i] * cosK[i];
        if (minus < nterms)
          for (size_t i = 0; i < np; ++i) basis[i * nterms + minus] = radial[i] * sinK[i];
      }
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int CZernikeFit::zernike_fit(const double* a, const double* b, const double* z, int npts,
                             double maxRadius, int maxOrder, double* basis, double* coef,
                             int nterms, double* work) {
  if (a == nullptr || b == nullptr || z == nullptr || basis == nullptr || coef == nullptr ||
      work == nullptr || npts < 1 || nterms < 1 || nterms > zernike_term_count(maxOrder))
    return -1;
  try {
    // 1-2. Samples with a value inside the fitting radius, radii normalised by the largest.
    std::vector<double> radius, angle, value;
    radius.reserve(static_cast<size_t>(npts));
    angle.reserve(static_cast<size_t>(npts));
    value.reserve(static_cast<size_t>(npts));
    for (int i = 0; i < npts; ++i) {
      if (z[i] != 0 && a[i] <= maxRadius) {
        radius.push_back(a[i]);
        angle.push_back(b[i]);
        value.push_back(z[i]);
      }
    }
    const int selected = static_cast<int>(radius.size());
    if (selected == 0) return -1;
    double rmax = 0;
    if (ippsMax_64f(radius.data(), selected, &rmax) != ippStsNoErr) return -1;
    if (ippsDivC_64f_I(rmax, radius.data(), selected) != ippStsNoErr) return -1;

    // 3. Normal equations BᵀB·coef = Bᵀz of the selected samples' basis (built in `basis`).
    if (zernike_basisfun(radius.data(), angle.data(), basis, selected, nterms, maxOrder) != 0)
      return -1;
    const size_t T = static_cast<size_t>(nterms);
    std::vector<double> normal(T * T, 0.0);
    std::fill(coef, coef + T, 0.0);
    int i = 0;
    // Four samples per pass over the upper triangle.
    for (; i + 4 <= selected; i += 4) {
      const double* r0 = basis + static_cast<size_t>(i) * T;
      const double *r1 = r0 + T, *r2 = r1 + T, *r3 = r2 + T;
      for (size_t j = 0; j < T; ++j) {
        const double b0 = r0[j], b1 = r1[j], b2 = r2[j], b3 = r3[j];
        double* row = normal.data() + j * T;
        for (size_t k = j; k < T; ++k) row[k] += b0 * r0[k] + b1 * r1[k] + b2 * r2[k] + b3 * r3[k];
        coef[j] += b0 * value[i] + b1 * value[i + 1] + b2 * value[i + 2] + b3 * value[i + 3];
      }
    }
    for (; i < selected; ++i) {
      const double* r = basis + static_cast<size_t>(i) * T;
      for (size_t j = 0; j < T; ++j) {
        double* row = normal.data() + j * T;
        for (size_t k = j; k < T; ++k) row[k] += r[j] * r[k];
        coef[j] += r[j] * value[i];
      }
    }
    for (size_t j = 0; j < T; ++j)
      for (size_t k = 0; k < j; ++k) normal[j * T + k] = normal[k * T + j];
    std::vector<MKL_INT> pivots(T);
    const MKL_INT order = nterms, one = 1;
    MKL_INT info = 0;
    dgesv(&order, &one, normal.data(), &order, pivots.data(), coef, &order, &info);
    if (info != 0) return -1;

    // 4. Fitted values of all samples; unselected samples are evaluated at the centre.
    radius.assign(a, a + npts);
    angle.assign(b, b + npts);
    for (int s = 0; s < npts; ++s) {
      if (z[s] == 0 || a[s] > maxRadius) radius[s] = angle[s] = 0;
    }
    if (ippsDivC_64f_I(rmax, radius.data(), npts) != ippStsNoErr) return -1;
    std::fill(basis, basis + static_cast<size_t>(npts) * T, 0.0);
    if (zernike_basisfun(radius.data(), angle.data(), basis, npts, nterms, maxOrder) != 0)
      return -1;
    for (int s = 0; s < npts; ++s) {
      const double* r = basis + static_cast<size_t>(s) * T;
      double sum = 0;
      for (size_t k = 0; k < T; ++k) sum += r[k] * coef[k];
      work[s] = sum;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace Talvex::Common::Algorithms::Numerics

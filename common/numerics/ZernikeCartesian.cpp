#include "common/numerics/ZernikeCartesian.h"

#include <cmath>

namespace Talvex::Common::Algorithms::Numerics {

namespace {

// Binomial coefficient C(n, k) in double (exact for the orders in use).
double Binomial(int n, int k) {
  double c = 1.0;
  for (int i = 1; i <= k; ++i) c = c * (n - k + i) / i;
  return c;
}

// Coefficient of rho^(n - 2s) in R_n^k: (-1)^s (n-s)! / (s! ((n+k)/2 - s)! ((n-k)/2 - s)!).
double RadialCoefficient(int n, int k, int s) {
  double c = s % 2 == 0 ? 1.0 : -1.0;
  for (int i = 2; i <= n - s; ++i) c *= i;
  for (int i = 2; i <= s; ++i) c /= i;
  for (int i = 2; i <= (n + k) / 2 - s; ++i) c /= i;
  for (int i = 2; i <= (n - k) / 2 - s; ++i) c /= i;
  return c;
}

}  // namespace

CZernikeCartesian::CZernikeCartesian(const double* coef, int maxOrder) : m_degree(maxOrder) {
  const int N = maxOrder, stride = N + 1;
  m_a.assign(static_cast<size_t>(stride) * stride, 0.0);
  m_magnitude.assign(m_a.size(), 0.0);
  int t = 0;
  for (int n = 0; n <= N; ++n) {
    for (int m = -n; m <= n; m += 2, ++t) {
      const int k = m < 0 ? -m : m;
      const double norm = std::sqrt((m == 0 ? 1.0 : 2.0) * (n + 1));
      // c_nm R_n^k(rho) {cos, 1, sin}(k theta) = c_nm sum_s r_s (u^2 + v^2)^(h - s) G(u, v),
      // G = Re or Im of (u + iv)^k = sum_q C(k, q) u^(k-q) (iv)^q: q even for Re, odd for Im.
      for (int s = 0; s <= (n - k) / 2; ++s) {
        const int e = (n - k) / 2 - s;
        const double radial = coef[t] * norm * RadialCoefficient(n, k, s);
        for (int i = 0; i <= e; ++i) {
          const double ring = radial * Binomial(e, i);  // u^(2i) v^(2(e - i))
          for (int q = (m < 0 ? 1 : 0); q <= k; q += 2) {
            const double sign = (q / 2) % 2 == 0 ? 1.0 : -1.0;  // i^q: 1, i, -1, -i
            const double term = ring * sign * Binomial(k, q);
            const size_t at = static_cast<size_t>(2 * i + k - q) * stride + 2 * (e - i) + q;
            m_a[at] += term;
            m_magnitude[at] += std::fabs(term);
          }
        }
      }
    }
  }
}

void CZernikeCartesian::rowCoefficients(double v, double* b) const {
  const int stride = m_degree + 1;
  for (int p = 0; p <= m_degree; ++p) {
    const double* a = m_a.data() + static_cast<size_t>(p) * stride;
    double f = a[m_degree - p];
    for (int q = m_degree - p - 1; q >= 0; --q) f = f * v + a[q];
    b[p] = f;
  }
}

double CZernikeCartesian::magnitudeBound(double s) const {
  const int stride = m_degree + 1;
  double bound = 0.0;
  for (int p = 0; p <= m_degree; ++p)
    for (int q = 0; p + q <= m_degree; ++q)
      bound += m_magnitude[static_cast<size_t>(p) * stride + q] * std::pow(s, p + q);
  return bound;
}

}  // namespace Talvex::Common::Algorithms::Numerics

#include "common/numerics/Fits.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CVector.h"
#include "platform/matrix/TalvexIppm.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using DataStructures::CMatrix;
using DataStructures::CVector;
using namespace Talvex::Platform;

// The QR primitives of one element type.
IppStatus QRDecomp(const float* a, int rowStride, float* scratch, float* qr, int width,
                   int height) {
  return ippmQRDecomp_m_32f(a, rowStride, sizeof(float), scratch, qr, rowStride, sizeof(float),
                            width, height);
}
IppStatus QRDecomp(const double* a, int rowStride, double* scratch, double* qr, int width,
                   int height) {
  return ippmQRDecomp_m_64f(a, rowStride, sizeof(double), scratch, qr, rowStride, sizeof(double),
                            width, height);
}
IppStatus QRSolve(const float* qr, int rowStride, float* scratch, const float* rhs, float* out,
                  int width, int height) {
  return ippmQRBackSubst_mva_32f(qr, rowStride, sizeof(float), scratch, rhs, 0, sizeof(float), out,
                                 0, sizeof(float), width, height, 1);
}
IppStatus QRSolve(const double* qr, int rowStride, double* scratch, const double* rhs, double* out,
                  int width, int height) {
  return ippmQRBackSubst_mva_64f(qr, rowStride, sizeof(double), scratch, rhs, 0, sizeof(double),
                                 out, 0, sizeof(double), width, height, 1);
}

// Least-squares solution of design (n x unknowns, row-major) * out = rhs: one decomposition and
// one back-substitution. -1 on any failure (too few rows, rank deficiency, allocation).
template <typename T>
int SolveLeastSquares(const CMatrix<T>& design, int n, int unknowns, const T* rhs, T* out) {
  try {
    CVector<T> scratch(n);
    CMatrix<T> qr(n, unknowns);
    const int rowStride = unknowns * static_cast<int>(sizeof(T));
    if (QRDecomp(design.getdata(), rowStride, scratch.getdata(), qr.getdata(), unknowns, n) != 0)
      return -1;
    if (QRSolve(qr.getdata(), rowStride, scratch.getdata(), rhs, out, unknowns, n) != 0) return -1;
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

inline float Power(float x, float j) { return std::pow(x, j); }
inline double Power(double x, double j) { return std::pow(x, j); }

template <typename T>
int PolyFit(const T* x, const T* y, int n, int order, T* p) {
  if (order < 1 || n < order + 1) return -1;
  const int cols = order + 1;
  try {
    CMatrix<T> design(n, cols);
    T** a = design.getmatrix();
    for (int i = 0; i < n; ++i) {
      for (int j = order; j >= 2; --j) a[i][order - j] = Power(x[i], static_cast<T>(j));
      a[i][order - 1] = x[i];
      a[i][order] = T(1);
    }
    return SolveLeastSquares(design, n, cols, y, p);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// Rewrites q, the coefficients (descending powers) of a polynomial in t = (x - centre) / scale,
// as the coefficients p of the same polynomial in x, by Horner's scheme on polynomials:
// p <- p * (x / scale - centre / scale) + q_k for k = 0 .. order. Done in double.
void UncentreCoefficients(const double* q, int order, double centre, double scale, double* p) {
  const double a = 1.0 / scale, b = -centre / scale;
  for (int j = 0; j <= order; ++j) p[j] = 0.0;
  // p holds a polynomial of degree k - 1 in its last k entries (descending powers).
  for (int k = 0; k <= order; ++k) {
    const int first = order - k;  // the new leading entry
    for (int j = first; j < order; ++j) p[j] = p[j] * b + p[j + 1] * a;
    p[order] = p[order] * b + q[k];
  }
}

// The single-precision polynomial fit works on centred and scaled abscissae t in [-1, 1]: raw
// powers of abscissae far from 0 (A-scan positions near 2000, say) make nearly parallel columns,
// which the single-precision rank test (relative to each column's own length) would take for a
// rank deficiency although the system is well posed. The coefficients in t are then rewritten in
// powers of x in double precision.
int PolyFitCentred(const float* x, const float* y, int n, int order, float* p) {
  if (order < 1 || n < order + 1) return -1;
  const auto extremes = std::minmax_element(x, x + n);
  const double lo = *extremes.first, hi = *extremes.second;
  const double centre = 0.5 * (lo + hi), scale = 0.5 * (hi - lo);
  // All abscissae equal (or not finite): fewer than order + 1 distinct values.
  if (!(scale > 0.0) || !std::isfinite(scale)) return -1;
  try {
    CVector<float> t(n), q(order + 1);
    for (int i = 0; i < n; ++i) t.getdata()[i] = static_cast<float>((x[i] - centre) / scale);
    if (PolyFit(t.getdata(), y, n, order, q.getdata()) != 0) return -1;
    CVector<double> qd(order + 1), pd(order + 1);
    for (int j = 0; j <= order; ++j) qd.getdata()[j] = q.getdata()[j];
    UncentreCoefficients(qd.getdata(), order, centre, scale, pd.getdata());
    for (int j = 0; j <= order; ++j) p[j] = static_cast<float>(pd.getdata()[j]);
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// Right-hand side of the implicit fits: n ones.
template <typename T>
int FitImplicit(CMatrix<T>& design, int n, int unknowns, T* coefficients) {
  try {
    CVector<T> ones(n);
    T* o = ones.getdata();
    for (int i = 0; i < n; ++i) o[i] = T(1);
    if (SolveLeastSquares(design, n, unknowns, o, coefficients) != 0) return -1;
    coefficients[unknowns] = T(-1);
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

template <typename T>
int QuadraticFit(const T* x, const T* y, int n, T* c) {
  if (n < 5) return -1;
  try {
    CMatrix<T> design(n, 5);
    T** a = design.getmatrix();
    for (int i = 0; i < n; ++i) {
      a[i][0] = x[i] * x[i];
      a[i][1] = x[i] * y[i];
      a[i][2] = y[i] * y[i];
      a[i][3] = x[i];
      a[i][4] = y[i];
    }
    return FitImplicit(design, n, 5, c);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

template <typename T>
int QuadricFit(const T* x, const T* y, const T* z, int n, T* c) {
  if (n < 9) return -1;
  try {
    CMatrix<T> design(n, 9);
    T** a = design.getmatrix();
    for (int i = 0; i < n; ++i) {
      const T row[9] = {x[i] * x[i], y[i] * y[i], z[i] * z[i], x[i] * y[i], z[i] * x[i],
                        z[i] * y[i], x[i],        y[i],        z[i]};
      for (int j = 0; j < 9; ++j) a[i][j] = row[j];
    }
    return FitImplicit(design, n, 9, c);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// x^j by repeated squaring, every product rounded to float.
float PowerBySquaring(float x, int j) {
  float result = 1.0f, base = x;
  while (j > 0) {
    if (j & 1) result *= base;
    base *= base;
    j >>= 1;
  }
  return result;
}

}  // namespace

int polyfit(const float* x, const float* y, int n, int order, float* p) {
  return PolyFitCentred(x, y, n, order, p);
}
int polyfit(const double* x, const double* y, int n, int order, double* p) {
  return PolyFit(x, y, n, order, p);
}

void polyval(const float* p, const float* x, int n, int order, float* out) {
  for (int i = 0; i < n; ++i) {
    float v = 0.0f;
    for (int j = order; j >= 2; --j)
      v = static_cast<float>(v + double(p[order - j]) * PowerBySquaring(x[i], j));
    v = static_cast<float>(v + double(p[order - 1]) * x[i]);
    out[i] = static_cast<float>(v + double(p[order]));
  }
}

void polyval(const double* p, const double* x, int n, int order, double* out) {
  for (int i = 0; i < n; ++i) {
    double v = 0.0;
    for (int j = order; j >= 2; --j) v += p[order - j] * std::pow(x[i], double(j));
    out[i] = v + p[order - 1] * x[i] + p[order];
  }
}

int quadraticfitr(const float* x, const float* y, int n, float* c) {
  return QuadraticFit(x, y, n, c);
}
int quadraticfitr(const double* x, const double* y, int n, double* c) {
  return QuadraticFit(x, y, n, c);
}

void quadraticval(const float* c, const float* x, int n, float* xOut, float* yOut, int& count) {
  count = 0;
  for (int i = 0; i < n; ++i) {
    const float b = c[1] * x[i] + c[4];
    const float k = c[0] * x[i] * x[i] + c[3] * x[i] + c[5];
    const float disc = b * b - k * (4.0f * c[2]);
    if (disc < 0.0f) continue;
    xOut[count] = x[i];
    yOut[count] = (std::sqrt(disc) - b) / (2.0f * c[2]);
    ++count;
  }
}

int quadricfit(const float* x, const float* y, const float* z, int n, float* c) {
  return QuadricFit(x, y, z, n, c);
}
int quadricfit(const double* x, const double* y, const double* z, int n, double* c) {
  return QuadricFit(x, y, z, n, c);
}

void quadricval(const double* c, const double* x, const double* y, int n, double* z) {
  for (int i = 0; i < n; ++i) {
    const double b = c[4] * x[i] + c[5] * y[i] + c[8];
    const double k = c[1] * y[i] * y[i] + c[0] * x[i] * x[i] + c[3] * x[i] * y[i] + c[6] * x[i] +
                     c[7] * y[i] + c[9];
    const double disc = b * b - k * (4.0 * c[2]);
    if (disc >= 0.0) z[i] = (-b - std::sqrt(disc)) / (2.0 * c[2]);
  }
}

}  // namespace Talvex::Common::Algorithms::Numerics

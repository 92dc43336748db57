// Small-matrix algebra for the surface fits and the Gaussian peak fit.
//
// The QR factorisation is the left-looking Householder method in compact form: the reflections
// found so far, H_0 ... H_{j-1}, are applied to column j at once as I - V T V^T (V the stored
// Householder vectors, T a small upper-triangular matrix), reading the design matrix row by row.
// Everything a column needs (V^T a, the Gram products of V that build T, the reflected column) is
// accumulated in double in a few streaming passes over the rows, so no work array of the
// observation count is needed and the single-precision variant is computed in double as well.
// The fits call this thousands of times per B-scan with up to ~2000 observations and at most
// nine unknowns; all small arrays live on the stack.
#include "platform/matrix/TalvexIppm.h"

#include <cmath>
#include <cstddef>
#include <type_traits>

namespace Talvex::Platform {

namespace {

// Largest number of unknowns handled (the conic fit uses 5, the quadric fit 9).
constexpr int kMaxUnknowns = 32;

template <typename T>
constexpr double kRankTolerance = 1e-12;
template <>
constexpr double kRankTolerance<Ipp32f> = 1e-6;

template <typename T>
bool ValidStride(int stride) {
  return stride > 0 && stride % static_cast<int>(sizeof(T)) == 0;
}

// Read/write access to a matrix given by byte strides.
template <typename T>
struct StridedMatrix {
  char* base;
  std::ptrdiff_t stride1;
  std::ptrdiff_t stride2;

  T* At(int i, int j) const { return reinterpret_cast<T*>(base + i * stride1 + j * stride2); }
  const char* Row(int i) const { return base + i * stride1; }
};

template <typename T>
StridedMatrix<T> Matrix(const T* p, int stride1, int stride2) {
  return {reinterpret_cast<char*>(const_cast<T*>(p)), stride1, stride2};
}

// Row i of the first `cols` Householder vectors: v_k(i) = 0 above the diagonal, 1 on it, the
// stored value below it.
template <typename T>
inline void LoadVectorRow(const StridedMatrix<T>& d, int i, int cols, double* vr) {
  const char* row = d.Row(i);
  if (i >= cols) {
    for (int k = 0; k < cols; ++k)
      vr[k] = static_cast<double>(*reinterpret_cast<const T*>(row + k * d.stride2));
    return;
  }
  for (int k = 0; k < i; ++k)
    vr[k] = static_cast<double>(*reinterpret_cast<const T*>(row + k * d.stride2));
  vr[i] = 1.0;
  for (int k = i + 1; k < cols; ++k) vr[k] = 0.0;
}

// Column c of the compact-form factor: T(c, c) = tau_c and
// T(0 .. c-1, c) = -tau_c T(0 .. c-1, 0 .. c-1) gram(0 .. c-1), gram(m) = v_m^T v_c.
inline void ExtendFactor(double (*tm)[kMaxUnknowns], int c, double tau, const double* gram) {
  for (int k = 0; k < c; ++k) {
    double s = 0.0;
    for (int m = k; m < c; ++m) s += tm[k][m] * gram[m];
    tm[k][c] = -tau * s;
  }
  tm[c][c] = tau;
}

// Per-call state of the factorisation, all on the stack.
struct QRWork {
  double tm[kMaxUnknowns][kMaxUnknowns];     // compact-form factor T (upper triangle)
  double cross[kMaxUnknowns][kMaxUnknowns];  // cross[k][m] = v_k^T a_m for k < m
  double gram[kMaxUnknowns][kMaxUnknowns];   // gram[k][j] = v_k^T v_j for k < j
  double vv[kMaxUnknowns];                   // v_j^T v_j
  double norm2[kMaxUnknowns];                // ||a_m||²
};

template <typename T>
inline double Get(const char* row, std::ptrdiff_t stride2, int k) {
  return static_cast<double>(*reinterpret_cast<const T*>(row + k * stride2));
}

// Column j of the factorisation. Width and column index are either std::integral_constant (the
// common small widths: every inner loop then has a fixed trip count and unrolls) or plain ints.
template <typename T, typename Width, typename Column>
IppStatus DecomposeColumn(const StridedMatrix<T>& a, const StridedMatrix<T>& d, int n, QRWork& w,
                          Width width, Column column) {
  constexpr double tolerance = kRankTolerance<T>;
  const int p = width;
  const int j = column;
  const std::ptrdiff_t as2 = a.stride2, ds2 = d.stride2;
  if (j > 0) {
    double g[kMaxUnknowns];
    for (int m = 0; m < j - 1; ++m) g[m] = w.gram[m][j - 1];
    ExtendFactor(w.tm, j - 1, 2.0 / w.vv[j - 1], g);
  }
  // Reflections 0 ... j-1 applied to a_j: w = a_j - V z with z = T^T V^T a_j.
  double z[kMaxUnknowns];
  for (int k = 0; k < j; ++k) {
    double s = 0.0;
    for (int m = 0; m <= k; ++m) s += w.tm[m][k] * w.cross[m][j];
    z[k] = s;
  }
  // Pass 2: rows above the diagonal give R's column; the length of the rest decides rank.
  double above[kMaxUnknowns];
  for (int i = 0; i < j; ++i) {
    const char* dr = d.Row(i);
    double r = Get<T>(a.Row(i), as2, j) - z[i];
    for (int k = 0; k < i; ++k) r -= Get<T>(dr, ds2, k) * z[k];
    above[i] = r;
  }
  auto reflected = [&](int i) {
    const char* dr = d.Row(i);
    double r = Get<T>(a.Row(i), as2, j);
    for (int k = 0; k < j; ++k) r -= Get<T>(dr, ds2, k) * z[k];
    return r;
  };
  const double wj = reflected(j);
  double sigma2 = wj * wj;
  for (int i = j + 1; i < n; ++i) {
    const double r = reflected(i);
    sigma2 += r * r;
  }
  const double sigma = std::sqrt(sigma2);
  if (!(sigma > tolerance * std::sqrt(w.norm2[j]))) return ippStsSingularErr;
  // Pass 3: the Householder vector of column j, scaled to v_j(j) = 1 and stored in the element
  // type; tau and R(j, j) come from the stored vector, so the reflection used later is exact.
  // The same pass forms v_j^T a_m for the later columns and the Gram products with v_0 ... v_{j-1}.
  const double alpha = wj >= 0.0 ? -sigma : sigma;
  const double scale = 1.0 / (wj - alpha);
  double vv = 1.0, vw = wj;
  double cross[kMaxUnknowns], gram[kMaxUnknowns];
  {
    const char* ar = a.Row(j);
    const char* dr = d.Row(j);
    for (int m = j + 1; m < p; ++m) cross[m] = Get<T>(ar, as2, m);
    for (int k = 0; k < j; ++k) gram[k] = Get<T>(dr, ds2, k);
  }
  for (int i = j + 1; i < n; ++i) {
    const char* ar = a.Row(i);
    char* dr = d.base + i * d.stride1;
    double r = Get<T>(ar, as2, j);
    for (int k = 0; k < j; ++k) r -= Get<T>(dr, ds2, k) * z[k];
    const T stored = static_cast<T>(r * scale);
    *reinterpret_cast<T*>(dr + j * ds2) = stored;
    const double v = static_cast<double>(stored);
    vv += v * v;
    vw += v * r;
    for (int m = j + 1; m < p; ++m) cross[m] += v * Get<T>(ar, as2, m);
    for (int k = 0; k < j; ++k) gram[k] += v * Get<T>(dr, ds2, k);
  }
  for (int m = j + 1; m < p; ++m) w.cross[j][m] = cross[m];
  for (int k = 0; k < j; ++k) w.gram[k][j] = gram[k];
  w.vv[j] = vv;
  for (int i = 0; i < j; ++i) *d.At(i, j) = static_cast<T>(above[i]);
  *d.At(j, j) = static_cast<T>(wj - (2.0 / vv) * vw);
  return ippStsNoErr;
}

template <typename T, typename Width>
void ColumnNorms(const StridedMatrix<T>& a, int n, Width width, QRWork& w) {
  const int p = width;
  double norm2[kMaxUnknowns] = {};
  for (int i = 0; i < n; ++i) {
    const char* ar = a.Row(i);
    for (int m = 0; m < p; ++m) {
      const double v = Get<T>(ar, a.stride2, m);
      norm2[m] += v * v;
    }
  }
  for (int m = 0; m < p; ++m) w.norm2[m] = norm2[m];
}

template <typename T, int kWidth, int kColumn>
IppStatus DecomposeFixed(const StridedMatrix<T>& a, const StridedMatrix<T>& d, int n, QRWork& w) {
  if constexpr (kColumn == kWidth) {
    return ippStsNoErr;
  } else {
    const IppStatus status = DecomposeColumn(a, d, n, w, std::integral_constant<int, kWidth>{},
                                             std::integral_constant<int, kColumn>{});
    if (status != ippStsNoErr) return status;
    return DecomposeFixed<T, kWidth, kColumn + 1>(a, d, n, w);
  }
}

template <typename T, int kWidth>
IppStatus DecomposeWidth(const StridedMatrix<T>& a, const StridedMatrix<T>& d, int n, QRWork& w) {
  ColumnNorms(a, n, std::integral_constant<int, kWidth>{}, w);
  return DecomposeFixed<T, kWidth, 0>(a, d, n, w);
}

template <typename T>
IppStatus QRDecomp(const T* pSrc, int srcStride1, int srcStride2, T* pDst, int dstStride1,
                   int dstStride2, int width, int height) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (width <= 0 || height <= 0 || width > kMaxUnknowns || height < width) return ippStsSizeErr;
  if (!ValidStride<T>(srcStride1) || !ValidStride<T>(srcStride2) || !ValidStride<T>(dstStride1) ||
      !ValidStride<T>(dstStride2))
    return ippStsStepErr;
  const StridedMatrix<T> a = Matrix(pSrc, srcStride1, srcStride2);
  const StridedMatrix<T> d = Matrix(pDst, dstStride1, dstStride2);
  QRWork w;
  switch (width) {
    case 1:
      return DecomposeWidth<T, 1>(a, d, height, w);
    case 2:
      return DecomposeWidth<T, 2>(a, d, height, w);
    case 3:
      return DecomposeWidth<T, 3>(a, d, height, w);
    case 4:
      return DecomposeWidth<T, 4>(a, d, height, w);
    case 5:
      return DecomposeWidth<T, 5>(a, d, height, w);
    case 6:
      return DecomposeWidth<T, 6>(a, d, height, w);
    case 7:
      return DecomposeWidth<T, 7>(a, d, height, w);
    case 8:
      return DecomposeWidth<T, 8>(a, d, height, w);
    case 9:
      return DecomposeWidth<T, 9>(a, d, height, w);
    case 10:
      return DecomposeWidth<T, 10>(a, d, height, w);
    default:
      break;
  }
  ColumnNorms(a, height, width, w);
  for (int j = 0; j < width; ++j) {
    const IppStatus status = DecomposeColumn(a, d, height, w, width, j);
    if (status != ippStsNoErr) return status;
  }
  return ippStsNoErr;
}

// Least-squares solutions from the packed factors; Width as in DecomposeColumn.
template <typename T, typename Width>
IppStatus BackSubstWidth(const StridedMatrix<T>& d, int n, Width width, const T* pSrc2,
                         std::ptrdiff_t src2Stride0, std::ptrdiff_t src2Stride2, T* pDst,
                         std::ptrdiff_t dstStride0, std::ptrdiff_t dstStride2, int count) {
  const int p = width;
  const std::ptrdiff_t ds2 = d.stride2;
  auto rhs = [&](int v, int i) {
    return static_cast<double>(*reinterpret_cast<const T*>(reinterpret_cast<const char*>(pSrc2) +
                                                           v * src2Stride0 + i * src2Stride2));
  };
  // One pass: Gram matrix of the stored vectors (for T) and y = V^T b of the first vector.
  double g[kMaxUnknowns][kMaxUnknowns] = {};
  double y[kMaxUnknowns] = {};
  double vr[kMaxUnknowns];
  for (int i = 0; i < p; ++i) {
    LoadVectorRow(d, i, p, vr);
    const double bi = rhs(0, i);
    for (int k = 0; k < p; ++k) {
      y[k] += vr[k] * bi;
      for (int m = k; m < p; ++m) g[k][m] += vr[k] * vr[m];
    }
  }
  for (int i = p; i < n; ++i) {
    const char* dr = d.Row(i);
    for (int k = 0; k < p; ++k) vr[k] = Get<T>(dr, ds2, k);
    const double bi = rhs(0, i);
    for (int k = 0; k < p; ++k) {
      y[k] += vr[k] * bi;
      for (int m = k; m < p; ++m) g[k][m] += vr[k] * vr[m];
    }
  }
  double tm[kMaxUnknowns][kMaxUnknowns];
  double column[kMaxUnknowns];
  for (int c = 0; c < p; ++c) {
    for (int m = 0; m < c; ++m) column[m] = g[m][c];
    ExtendFactor(tm, c, 2.0 / g[c][c], column);
  }

  for (int v = 0; v < count; ++v) {
    if (v > 0) {
      for (int k = 0; k < p; ++k) y[k] = 0.0;
      for (int i = 0; i < n; ++i) {
        LoadVectorRow(d, i, p, vr);
        const double bi = rhs(v, i);
        for (int k = 0; k < p; ++k) y[k] += vr[k] * bi;
      }
    }
    // c = (Q^T b)[0 .. p-1] = b[0 .. p-1] - V(0 .. p-1, :) T^T y.
    double z[kMaxUnknowns];
    for (int k = 0; k < p; ++k) {
      double s = 0.0;
      for (int m = 0; m <= k; ++m) s += tm[m][k] * y[m];
      z[k] = s;
    }
    double x[kMaxUnknowns];
    for (int k = 0; k < p; ++k) {
      LoadVectorRow(d, k, p, vr);
      double s = rhs(v, k);
      for (int m = 0; m <= k; ++m) s -= vr[m] * z[m];
      x[k] = s;
    }
    // R x = c, from the last unknown up.
    for (int k = p - 1; k >= 0; --k) {
      double s = x[k];
      for (int m = k + 1; m < p; ++m) s -= static_cast<double>(*d.At(k, m)) * x[m];
      const double r = static_cast<double>(*d.At(k, k));
      if (r == 0.0) return ippStsSingularErr;
      x[k] = s / r;
    }
    char* out = reinterpret_cast<char*>(pDst) + v * dstStride0;
    for (int k = 0; k < p; ++k) *reinterpret_cast<T*>(out + k * dstStride2) = static_cast<T>(x[k]);
  }
  return ippStsNoErr;
}

template <typename T>
IppStatus QRBackSubst(const T* pSrc1, int src1Stride1, int src1Stride2, const T* pSrc2,
                      int src2Stride0, int src2Stride2, T* pDst, int dstStride0, int dstStride2,
                      int width, int height, int count) {
  if (pSrc1 == nullptr || pSrc2 == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (width <= 0 || height <= 0 || count <= 0 || width > kMaxUnknowns || height < width)
    return ippStsSizeErr;
  if (!ValidStride<T>(src1Stride1) || !ValidStride<T>(src1Stride2) ||
      !ValidStride<T>(src2Stride2) || !ValidStride<T>(dstStride2) ||
      (count > 1 && (!ValidStride<T>(src2Stride0) || !ValidStride<T>(dstStride0))))
    return ippStsStepErr;
  const StridedMatrix<T> d = Matrix(pSrc1, src1Stride1, src1Stride2);
#define TALVEX_BACKSUBST(W) \
  BackSubstWidth(d, height, W, pSrc2, src2Stride0, src2Stride2, pDst, dstStride0, dstStride2, count)
  switch (width) {
    case 1:
      return TALVEX_BACKSUBST((std::integral_constant<int, 1>{}));
    case 2:
      return TALVEX_BACKSUBST((std::integral_constant<int, 2>{}));
    case 3:
      return TALVEX_BACKSUBST((std::integral_constant<int, 3>{}));
    case 4:
      return TALVEX_BACKSUBST((std::integral_constant<int, 4>{}));
    case 5:
      return TALVEX_BACKSUBST((std::integral_constant<int, 5>{}));
    case 6:
      return TALVEX_BACKSUBST((std::integral_constant<int, 6>{}));
    case 7:
      return TALVEX_BACKSUBST((std::integral_constant<int, 7>{}));
    case 8:
      return TALVEX_BACKSUBST((std::integral_constant<int, 8>{}));
    case 9:
      return TALVEX_BACKSUBST((std::integral_constant<int, 9>{}));
    case 10:
      return TALVEX_BACKSUBST((std::integral_constant<int, 10>{}));
    default:
      return TALVEX_BACKSUBST(width);
  }
#undef TALVEX_BACKSUBST
}

}  // namespace

IppStatus ippmQRDecomp_m_32f(const Ipp32f* pSrc, int srcStride1, int srcStride2,
                             Ipp32f* /*pBuffer*/, Ipp32f* pDst, int dstStride1, int dstStride2,
                             int width, int height) {
  return QRDecomp(pSrc, srcStride1, srcStride2, pDst, dstStride1, dstStride2, width, height);
}

IppStatus ippmQRDecomp_m_64f(const Ipp64f* pSrc, int srcStride1, int srcStride2,
                             Ipp64f* /*pBuffer*/, Ipp64f* pDst, int dstStride1, int dstStride2,
                             int width, int height) {
  return QRDecomp(pSrc, srcStride1, srcStride2, pDst, dstStride1, dstStride2, width, height);
}

IppStatus ippmQRBackSubst_mva_32f(const Ipp32f* pSrc1, int src1Stride1, int src1Stride2,
                                  Ipp32f* /*pBuffer*/, const Ipp32f* pSrc2, int src2Stride0,
                                  int src2Stride2, Ipp32f* pDst, int dstStride0, int dstStride2,
                                  int width, int height, int count) {
  return QRBackSubst(pSrc1, src1Stride1, src1Stride2, pSrc2, src2Stride0, src2Stride2, pDst,
                     dstStride0, dstStride2, width, height, count);
}

IppStatus ippmQRBackSubst_mva_64f(const Ipp64f* pSrc1, int src1Stride1, int src1Stride2,
                                  Ipp64f* /*pBuffer*/, const Ipp64f* pSrc2, int src2Stride0,
                                  int src2Stride2, Ipp64f* pDst, int dstStride0, int dstStride2,
                                  int width, int height, int count) {
  return QRBackSubst(pSrc1, src1Stride1, src1Stride2, pSrc2, src2Stride0, src2Stride2, pDst,
                     dstStride0, dstStride2, width, height, count);
}

IppStatus ippmInvert_m_32f(const Ipp32f* pSrc, int srcStride1, int srcStride2, Ipp32f* /*pBuffer*/,
                           Ipp32f* pDst, int dstStride1, int dstStride2, int widthHeight) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (widthHeight <= 0 || widthHeight > 3) return ippStsSizeErr;
  if (!ValidStride<Ipp32f>(srcStride1) || !ValidStride<Ipp32f>(srcStride2) ||
      !ValidStride<Ipp32f>(dstStride1) || !ValidStride<Ipp32f>(dstStride2))
    return ippStsStepErr;
  const StridedMatrix<Ipp32f> s = Matrix(pSrc, srcStride1, srcStride2);
  const StridedMatrix<Ipp32f> d = Matrix(pDst, dstStride1, dstStride2);
  const int n = widthHeight;
  double m[3][3];
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) m[i][j] = static_cast<double>(*s.At(i, j));
  double adj[3][3];  // adjugate: transposed cofactors
  double det;
  if (n == 1) {
    adj[0][0] = 1.0;
    det = m[0][0];
  } else if (n == 2) {
    adj[0][0] = m[1][1];
    adj[0][1] = -m[0][1];
    adj[1][0] = -m[1][0];
    adj[1][1] = m[0][0];
    det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
  } else {
    adj[0][0] = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    adj[1][0] = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    adj[2][0] = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    adj[0][1] = m[0][2] * m[2][1] - m[0][1] * m[2][2];
    adj[1][1] = m[0][0] * m[2][2] - m[0][2] * m[2][0];
    adj[2][1] = m[0][1] * m[2][0] - m[0][0] * m[2][1];
    adj[0][2] = m[0][1] * m[1][2] - m[0][2] * m[1][1];
    adj[1][2] = m[0][2] * m[1][0] - m[0][0] * m[1][2];
    adj[2][2] = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    det = m[0][0] * adj[0][0] + m[0][1] * adj[1][0] + m[0][2] * adj[2][0];
  }
  if (det == 0.0 || !std::isfinite(det)) return ippStsSingularErr;
  float inv[3][3];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      inv[i][j] = static_cast<float>(adj[i][j] / det);
      if (!std::isfinite(inv[i][j])) return ippStsSingularErr;
    }
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) *d.At(i, j) = inv[i][j];
  return ippStsNoErr;
}

IppStatus ippmMul_mv_32f(const Ipp32f* pSrc1, int src1Stride1, int src1Stride2, int src1Width,
                         int src1Height, const Ipp32f* pSrc2, int src2Stride2, int src2Len,
                         Ipp32f* pDst, int dstStride2) {
  if (pSrc1 == nullptr || pSrc2 == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (src1Width <= 0 || src1Height <= 0 || src2Len != src1Width) return ippStsSizeErr;
  if (!ValidStride<Ipp32f>(src1Stride1) || !ValidStride<Ipp32f>(src1Stride2) ||
      !ValidStride<Ipp32f>(src2Stride2) || !ValidStride<Ipp32f>(dstStride2))
    return ippStsStepErr;
  const StridedMatrix<Ipp32f> m = Matrix(pSrc1, src1Stride1, src1Stride2);
  const char* v = reinterpret_cast<const char*>(pSrc2);
  char* out = reinterpret_cast<char*>(pDst);
  for (int r = 0; r < src1Height; ++r) {
    double s = 0.0;
    for (int c = 0; c < src1Width; ++c)
      s += static_cast<double>(*m.At(r, c)) *
           *reinterpret_cast<const Ipp32f*>(v + static_cast<std::ptrdiff_t>(c) * src2Stride2);
    *reinterpret_cast<Ipp32f*>(out + static_cast<std::ptrdiff_t>(r) * dstStride2) =
        static_cast<Ipp32f>(s);
  }
  return ippStsNoErr;
}

}  // namespace Talvex::Platform

// Small-matrix algebra: least-squares QR solves for the polynomial, conic and quadric fits of
// surface profiles, and the 3 x 3 inverse and matrix-vector product of the Gaussian peak fit.
//
// Matrices are addressed by two strides in BYTES: element (i, j) (row i, column j) of a matrix at p
// is at (char*)p + i * stride1 + j * stride2; for a row-major matrix of w columns, stride1 = w *
// sizeof(element) and stride2 = sizeof(element). Vectors use stride2 between elements; an array of
// vectors uses stride0 between consecutive vectors. Every stride must be positive and a multiple of
// the element size (else ippStsStepErr). Status: 0 on success, ippStsNullPtrErr for a null
// pointer, ippStsSizeErr for a non-positive or unsupported size, ippStsSingularErr for a singular
// or rank-deficient matrix.
#pragma once

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// ---------------------------------------------------------------------------------------------
// Least squares by Householder QR
//
// ippmQRDecomp factors the height x width design matrix A (height = n observations, width = p
// unknowns, n >= p) as A = Q R with Q = H_0 H_1 ... H_{p-1}, H_k = I - tau_k v_k v_kᵀ, and R upper
// triangular. All arithmetic is carried out in double precision whatever the element type; only
// the stored factors take the element type.
//
// Packed layout of the decomposition (height x width elements at the destination strides; read
// only by ippmQRBackSubst):
//   - element (i, j) with i <= j holds R(i, j);
//   - element (i, j) with i > j holds v_j(i), the Householder vector of column j scaled so that
//     v_j(j) = 1 (not stored) and v_j(i) = 0 for i < j;
//   - tau_j is not stored: it is 2 / (v_jᵀ v_j), recomputed from the stored (rounded) vector, so
//     every H_j is exactly orthogonal for the vector actually stored.
//
// Rank test: column j is dependent on the columns before it when |R(j, j)|, the length of the
// part of column j orthogonal to them, is not above tolerance * ||a_j|| (a_j = column j of A).
// tolerance = 1e-6 for single precision elements (a few units of the element's own rounding) and
// 1e-12 for double precision. The test is per column, so raw powers of large abscissae (columns of
// very different magnitude) are not mistaken for dependence. A zero or non-finite column fails.
// ---------------------------------------------------------------------------------------------

// QR decomposition of the height x width matrix pSrc into the packed form above at pDst.
//   pSrc, srcStride1, srcStride2   design matrix A, height rows of width elements
//   pBuffer                        scratch of height elements as the vendor interface provides;
//                                  not used here and may be null
//   pDst, dstStride1, dstStride2   packed decomposition, height x width elements; pDst may be
//                                  pSrc when the strides are equal
//   width                          number of unknowns p, 1 ... 32 (else ippStsSizeErr)
//   height                         number of observations n, >= width (else ippStsSizeErr)
// Returns ippStsSingularErr when A is rank deficient (see the rank test); pDst then holds a
// partial result.
IppStatus ippmQRDecomp_m_32f(const Ipp32f* pSrc, int srcStride1, int srcStride2, Ipp32f* pBuffer,
                             Ipp32f* pDst, int dstStride1, int dstStride2, int width, int height);
IppStatus ippmQRDecomp_m_64f(const Ipp64f* pSrc, int srcStride1, int srcStride2, Ipp64f* pBuffer,
                             Ipp64f* pDst, int dstStride1, int dstStride2, int width, int height);

// Least-squares solution x = argmin ||A x - b||₂ for each of `count` right-hand sides, from the
// packed decomposition of ippmQRDecomp: x = R⁻¹ (Qᵀ b)[0 .. p-1].
//   pSrc1, src1Stride1, src1Stride2  packed decomposition (same strides as written)
//   pBuffer                          scratch of height elements; not used here and may be null
//   pSrc2, src2Stride0, src2Stride2  right-hand sides: vector k starts at (char*)pSrc2 + k *
//                                    src2Stride0, element i at + i * src2Stride2; height elements
//   pDst, dstStride0, dstStride2     solutions: width elements per vector
//   width, height                    as passed to ippmQRDecomp (height >= width > 0)
//   count                            number of right-hand sides, > 0 (the fits pass 1)
// Only ever call it on a decomposition that succeeded; a zero diagonal in R gives
// ippStsSingularErr. When count is 1 the stride0 arguments are not used.
IppStatus ippmQRBackSubst_mva_32f(const Ipp32f* pSrc1, int src1Stride1, int src1Stride2,
                                  Ipp32f* pBuffer, const Ipp32f* pSrc2, int src2Stride0,
                                  int src2Stride2, Ipp32f* pDst, int dstStride0, int dstStride2,
                                  int width, int height, int count);
IppStatus ippmQRBackSubst_mva_64f(const Ipp64f* pSrc1, int src1Stride1, int src1Stride2,
                                  Ipp64f* pBuffer, const Ipp64f* pSrc2, int src2Stride0,
                                  int src2Stride2, Ipp64f* pDst, int dstStride0, int dstStride2,
                                  int width, int height, int count);

// ---------------------------------------------------------------------------------------------
// Small square matrices
// ---------------------------------------------------------------------------------------------

// Inverse of a widthHeight x widthHeight matrix (widthHeight 1, 2 or 3; else ippStsSizeErr) by
// cofactors: inv = adj(M) / det(M), evaluated in double precision and rounded once to float.
//   pSrc, srcStride1, srcStride2   the matrix M
//   pBuffer                        scratch as the vendor interface provides; not used, may be null
//   pDst, dstStride1, dstStride2   the inverse; must not overlap pSrc
// Returns ippStsSingularErr when det(M) is zero or not finite, or when an entry of the inverse is
// not finite in single precision.
IppStatus ippmInvert_m_32f(const Ipp32f* pSrc, int srcStride1, int srcStride2, Ipp32f* pBuffer,
                           Ipp32f* pDst, int dstStride1, int dstStride2, int widthHeight);

// Matrix times vector: dst[r] = sum over c of M(r, c) * v[c], for r < src1Height, accumulated in
// double and rounded once.
//   pSrc1, src1Stride1, src1Stride2   matrix M, src1Height rows of src1Width elements
//   src1Width, src1Height             both > 0
//   pSrc2, src2Stride2, src2Len       vector v; src2Len must equal src1Width (else ippStsSizeErr)
//   pDst, dstStride2                  result, src1Height elements; must not overlap the inputs
IppStatus ippmMul_mv_32f(const Ipp32f* pSrc1, int src1Stride1, int src1Stride2, int src1Width,
                         int src1Height, const Ipp32f* pSrc2, int src2Stride2, int src2Len,
                         Ipp32f* pDst, int dstStride2);

}  // namespace Talvex::Platform

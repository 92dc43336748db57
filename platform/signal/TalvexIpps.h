// Signal-domain primitives: aligned work buffers, element-wise arithmetic on vectors, statistics
// and index searches, stable sorts, full linear convolution, the running median, and vector
// arctangent.
//
// Conventions shared by every function below:
// - A vector is a pointer to its first element and a length in elements.
// - The return value is an IppStatus: 0 on success; ippStsNullPtrErr (-8) when a required pointer
//   is null; ippStsSizeErr (-6) when a length is not positive; other negative codes are listed
//   with the function. No function ever returns a positive value.
// - Floating-point results follow IEEE arithmetic: overflow gives +-inf, underflow gives 0 (or a
//   subnormal), invalid operations give NaN, and none of these is reported as a failure.
// - Functions with the suffix _I work in place on pSrcDst.
// - Functions that search for an extreme value report the FIRST index at which it occurs; the
//   layer tracers and peak pickers break ties on that rule.
//
// The three functions that the layer tracer calls once per cell of its cost table (ippsAddC_32f,
// ippsMin_32f, ippsMinIndx_32f, on windows of a handful of samples) are defined inline here so
// that the compiler can fold them into the tracer's loop; longer vectors go to the out-of-line
// vector kernels.
#pragma once

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// ---------------------------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------------------------

// Allocates len bytes on a 64-byte boundary, zero-filled.
//   len  number of bytes, >= 1.
// Returns null when len < 1 or the allocation fails. Release with ippsFree.
Ipp8u* ippsMalloc_8u(int len);

// Allocates len single-precision floats on a 64-byte boundary, zero-filled.
//   len  number of elements, >= 1.
// Returns null when len < 1 or the allocation fails. Release with ippsFree.
Ipp32f* ippsMalloc_32f(int len);

// Allocates len complex single-precision values {re, im} on a 64-byte boundary, zero-filled.
//   len  number of complex elements, >= 1.
// Returns null when len < 1 or the allocation fails. Release with ippsFree.
Ipp32fc* ippsMalloc_32fc(int len);

// Releases a block obtained from ippsMalloc_8u, ippsMalloc_32f or ippsMalloc_32fc.
//   ptr  the block, or null (then nothing happens).
void ippsFree(void* ptr);

// ---------------------------------------------------------------------------------------------
// Element-wise arithmetic
// ---------------------------------------------------------------------------------------------

namespace Detail {
// Out-of-line kernels behind the inline hot-path functions, for vectors longer than a window.
void AddCLong32f(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len);
Ipp32f MinLong32f(const Ipp32f* pSrc, int len);
int MinIndxLong32f(const Ipp32f* pSrc, int len);
// Vectors up to this length are handled by the inline scalar loop.
inline constexpr int kShortVector = 32;
}  // namespace Detail

// pDst[i] = pSrc[i] + val, for i in [0, len).
//   pSrc  source vector.
//   val   constant added to every element.
//   pDst  destination vector; may equal pSrc.
//   len   number of elements, >= 1.
inline IppStatus ippsAddC_32f(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  if (len > Detail::kShortVector) {
    Detail::AddCLong32f(pSrc, val, pDst, len);
  } else {
    for (int i = 0; i < len; ++i) pDst[i] = pSrc[i] + val;
  }
  return ippStsNoErr;
}

// pSrcDst[i] = pSrcDst[i] + val.
//   val      constant added to every element.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsAddC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len);

// pDst[i] = pSrc[i] + val, in double precision.
//   pSrc  source vector.
//   val   constant added to every element.
//   pDst  destination vector; may equal pSrc.
//   len   number of elements, >= 1.
IppStatus ippsAddC_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len);

// pSrcDst[i] = pSrcDst[i] + val, in double precision.
//   val      constant added to every element.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsAddC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len);

// pDst[i] = pSrc1[i] + pSrc2[i], in double precision.
//   pSrc1, pSrc2  source vectors.
//   pDst          destination vector; may equal either source.
//   len           number of elements, >= 1.
IppStatus ippsAdd_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, Ipp64f* pDst, int len);

// pSrcDst[i] = pSrcDst[i] * val, a single-precision product.
//   val      factor (for example 0.01745329238474369f for degrees to radians).
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsMulC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len);

// pSrcDst[i] = pSrcDst[i] * val, in double precision.
//   val      factor.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsMulC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len);

// pSrcDst[i] = pSrcDst[i] * pSrc[i], in double precision.
//   pSrc     second factor vector.
//   pSrcDst  first factor vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsMul_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len);

// pDst[i] = pSrc2[i] - pSrc1[i]: the FIRST operand is subtracted from the SECOND
// (a residual y - model is ippsSub_32f(model, y, r, n)).
//   pSrc1  subtrahend vector.
//   pSrc2  minuend vector.
//   pDst   destination vector; may equal either source.
//   len    number of elements, >= 1.
IppStatus ippsSub_32f(const Ipp32f* pSrc1, const Ipp32f* pSrc2, Ipp32f* pDst, int len);

// pSrcDst[i] = pSrcDst[i] / val, a true double-precision division (not a reciprocal product).
//   val      divisor; 0 returns ippStsDivByZeroErr and leaves the vector unchanged.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsDivC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len);

// pSrcDst[i] = val / pSrcDst[i] (reverse division). A zero element gives +-inf (IEEE), status 0.
//   val      dividend (1.0f in the sigmoid transform).
//   pSrcDst  divisor vector, replaced by the quotients.
//   len      number of elements, >= 1.
IppStatus ippsDivCRev_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len);

// pDst[i] = pSrc[i]^2.
//   pSrc  source vector.
//   pDst  destination vector; may equal pSrc.
//   len   number of elements, >= 1.
IppStatus ippsSqr_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len);

// pSrcDst[i] = pSrcDst[i]^2.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsSqr_32f_I(Ipp32f* pSrcDst, int len);

// pSrcDst[i] = pSrcDst[i]^2, in double precision.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsSqr_64f_I(Ipp64f* pSrcDst, int len);

// pSrcDst[i] = sqrt(pSrcDst[i]), correctly rounded. A negative element gives NaN (IEEE), status 0.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsSqrt_64f_I(Ipp64f* pSrcDst, int len);

// pDst[i] = |pSrc[i]|, saturated: |-32768| = 32767.
//   pSrc  source vector of 16-bit integers.
//   pDst  destination vector; may equal pSrc.
//   len   number of elements, >= 1.
IppStatus ippsAbs_16s(const Ipp16s* pSrc, Ipp16s* pDst, int len);

// pSrcDst[i] = |pSrcDst[i]|, in double precision.
//   pSrcDst  vector, updated in place.
//   len      number of elements, >= 1.
IppStatus ippsAbs_64f_I(Ipp64f* pSrcDst, int len);

// pDst[i] = e^pSrc[i] in single precision, within 1 ulp of the correctly rounded value (checked
// over every float argument in [-110, 90]), including subnormal results.
// Arguments above ~88.72 give +inf, arguments below ~-103.97 give 0, subnormal results are
// produced in between; NaN stays NaN. Overflow and underflow are NOT failures: the status is 0
// (a Gaussian far out in its tail is a row of zeros, and the sigmoid transform relies on
// 1 / (1 + inf) = 0).
//   pSrc  exponents.
//   pDst  destination vector; may equal pSrc.
//   len   number of elements, >= 1.
IppStatus ippsExp_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len);

// pSrcDst[i] = e^pSrcDst[i]; same accuracy and overflow/underflow behaviour as ippsExp_32f.
//   pSrcDst  exponents, replaced by the powers.
//   len      number of elements, >= 1.
IppStatus ippsExp_32f_I(Ipp32f* pSrcDst, int len);

// pDst[i] = sqrt(pSrcRe[i]^2 + pSrcIm[i]^2), e.g. the gradient magnitude from the x- and
// y-derivative images.
//   pSrcRe  first component (x-derivative).
//   pSrcIm  second component (y-derivative).
//   pDst    destination vector; may equal either source.
//   len     number of elements, >= 1.
IppStatus ippsMagnitude_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDst, int len);

// Cartesian to polar: pDstMagn[i] = hypot(x, y), pDstPhase[i] = atan2(y, x) in radians,
// in (-pi, pi], with x = pSrcRe[i] and y = pSrcIm[i].
//   pSrcRe     x coordinates.
//   pSrcIm     y coordinates.
//   pDstMagn   radii.
//   pDstPhase  angles in radians.
//   len        number of points, >= 1.
IppStatus ippsCartToPolar_64f(const Ipp64f* pSrcRe, const Ipp64f* pSrcIm, Ipp64f* pDstMagn,
                              Ipp64f* pDstPhase, int len);

// pSrcDst[i] = min(pSrcDst[i], pSrc[i]).
//   pSrc     second operand.
//   pSrcDst  first operand, replaced by the minima.
//   len      number of elements, >= 1.
IppStatus ippsMinEvery_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len);

// pSrcDst[i] = max(pSrcDst[i], pSrc[i]).
//   pSrc     second operand.
//   pSrcDst  first operand, replaced by the maxima.
//   len      number of elements, >= 1.
IppStatus ippsMaxEvery_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len);

// ---------------------------------------------------------------------------------------------
// Vector math
// ---------------------------------------------------------------------------------------------

// pDst[i] = atan2(pSrc1[i], pSrc2[i]) in radians, in (-pi, pi]: the FIRST source holds the
// ordinates y, the SECOND the abscissae x (node angle = atan2(Y, X)). Full double precision
// (better than the 50 correct bits the name promises).
//   pSrc1  y values.
//   pSrc2  x values.
//   pDst   angles; may equal either source.
//   len    number of elements, >= 1.
IppStatus ippsAtan2_64f_A50(const Ipp64f* pSrc1, const Ipp64f* pSrc2, Ipp64f* pDst, Ipp32s len);

// ---------------------------------------------------------------------------------------------
// Statistics and index searches
// ---------------------------------------------------------------------------------------------

// *pSum = sum of pSrc[0 .. len), accumulated in double precision and rounded once to float,
// whatever the hint.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pSum  the sum.
//   hint  accepted for compatibility (ippAlgHintAccurate at every call site); no effect.
IppStatus ippsSum_32f(const Ipp32f* pSrc, int len, Ipp32f* pSum, IppHintAlgorithm hint);

// *pSum = sum of pSrc[0 .. len) in double precision.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pSum  the sum.
IppStatus ippsSum_64f(const Ipp64f* pSrc, int len, Ipp64f* pSum);

// *pSum = (sum of pSrc[0 .. len)) * 2^-scaleFactor, accumulated exactly in 64 bits, rounded to
// nearest with halves to even when scaleFactor > 0, and saturated to the 32-bit range.
//   pSrc         source vector.
//   len          number of elements, >= 1.
//   pSum         the scaled sum.
//   scaleFactor  power-of-two scale, in [-31, 31] (0 for a plain count of set flags);
//                outside that range ippStsBadArgErr.
IppStatus ippsSum_32s_Sfs(const Ipp32s* pSrc, int len, Ipp32s* pSum, int scaleFactor);

// *pMean = (sum of pSrc[0 .. len)) / len, accumulated in double and rounded once to float,
// whatever the hint.
//   pSrc   source vector.
//   len    number of elements; len <= 0 FAILS with ippStsSizeErr (a region where no pixel
//          qualifies is an error for the caller).
//   pMean  the mean.
//   hint   accepted for compatibility (accurate or fast); no effect.
IppStatus ippsMean_32f(const Ipp32f* pSrc, int len, Ipp32f* pMean, IppHintAlgorithm hint);

// *pMean = (sum of pSrc[0 .. len)) / len in double precision.
//   pSrc   source vector.
//   len    number of elements, >= 1 (else ippStsSizeErr).
//   pMean  the mean.
IppStatus ippsMean_64f(const Ipp64f* pSrc, int len, Ipp64f* pMean);

// Mean m and sample standard deviation s = sqrt(sum (x_i - m)^2 / (len - 1)), normalised by
// len - 1, computed in two passes in double precision and rounded once to float.
//   pSrc     source vector.
//   len      number of elements, >= 2 (else ippStsSizeErr: the deviation is undefined).
//   pMean    the mean.
//   pStdDev  the standard deviation.
//   hint     accepted for compatibility; no effect.
IppStatus ippsMeanStdDev_32f(const Ipp32f* pSrc, int len, Ipp32f* pMean, Ipp32f* pStdDev,
                             IppHintAlgorithm hint);

// *pMax = largest element.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pMax  the maximum.
IppStatus ippsMax_32f(const Ipp32f* pSrc, int len, Ipp32f* pMax);

// *pMax = largest element, double precision.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pMax  the maximum.
IppStatus ippsMax_64f(const Ipp64f* pSrc, int len, Ipp64f* pMax);

// *pMin = smallest element. Inline: called once per cell of the layer tracer on 2m+1 values.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pMin  the minimum.
inline IppStatus ippsMin_32f(const Ipp32f* pSrc, int len, Ipp32f* pMin) {
  if (pSrc == nullptr || pMin == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  if (len > Detail::kShortVector) {
    *pMin = Detail::MinLong32f(pSrc, len);
  } else {
    Ipp32f m = pSrc[0];
    for (int i = 1; i < len; ++i) m = pSrc[i] < m ? pSrc[i] : m;
    *pMin = m;
  }
  return ippStsNoErr;
}

// *pMin = smallest element, double precision.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pMin  the minimum.
IppStatus ippsMin_64f(const Ipp64f* pSrc, int len, Ipp64f* pMin);

// Smallest and largest element in one pass.
//   pSrc  source vector.
//   len   number of elements, >= 1.
//   pMin  the minimum.
//   pMax  the maximum.
IppStatus ippsMinMax_32f(const Ipp32f* pSrc, int len, Ipp32f* pMin, Ipp32f* pMax);

// Largest element and the FIRST index at which it occurs.
//   pSrc   source vector.
//   len    number of elements, >= 1.
//   pMax   the maximum.
//   pIndx  its first index, in [0, len).
IppStatus ippsMaxIndx_32f(const Ipp32f* pSrc, int len, Ipp32f* pMax, int* pIndx);

// Smallest element and the FIRST index at which it occurs (the layer tracer's "lowest column on
// ties"). Inline: called once per row of the tracer on 2m+1 values, and on whole rows.
//   pSrc   source vector.
//   len    number of elements, >= 1.
//   pMin   the minimum.
//   pIndx  its first index, in [0, len).
inline IppStatus ippsMinIndx_32f(const Ipp32f* pSrc, int len, Ipp32f* pMin, int* pIndx) {
  if (pSrc == nullptr || pMin == nullptr || pIndx == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  int k = 0;
  if (len > Detail::kShortVector) {
    k = Detail::MinIndxLong32f(pSrc, len);
  } else {
    for (int i = 1; i < len; ++i) k = pSrc[i] < pSrc[k] ? i : k;
  }
  *pMin = pSrc[k];
  *pIndx = k;
  return ippStsNoErr;
}

// Smallest 16-bit element and the FIRST index at which it occurs.
//   pSrc   source vector.
//   len    number of elements, >= 1.
//   pMin   the minimum.
//   pIndx  its first index, in [0, len).
IppStatus ippsMinIndx_16s(const Ipp16s* pSrc, int len, Ipp16s* pMin, int* pIndx);

// ---------------------------------------------------------------------------------------------
// Sorting. Every index sort is STABLE: equal values keep their original relative order, so
// pDstIdx lists the positions of equal values in increasing order. After the call
// pSrcDst[k] = original[pDstIdx[k]]. NaN values (floating types) sort after every number.
// ---------------------------------------------------------------------------------------------

// Sorts ascending in place and writes the permutation.
//   pSrcDst  values, sorted in place.
//   pDstIdx  len entries: original position of the value now at each position.
//   len      number of elements, >= 1.
// ippStsMemAllocErr when the work buffer of a long vector cannot be allocated.
IppStatus ippsSortIndexAscend_32f_I(Ipp32f* pSrcDst, int* pDstIdx, int len);

// As ippsSortIndexAscend_32f_I for 32-bit integers.
//   pSrcDst  values, sorted in place.
//   pDstIdx  original positions.
//   len      number of elements, >= 1.
IppStatus ippsSortIndexAscend_32s_I(Ipp32s* pSrcDst, int* pDstIdx, int len);

// As ippsSortIndexAscend_32f_I in double precision.
//   pSrcDst  values, sorted in place.
//   pDstIdx  original positions.
//   len      number of elements, >= 1.
IppStatus ippsSortIndexAscend_64f_I(Ipp64f* pSrcDst, int* pDstIdx, int len);

// Sorts 32-bit integers in DESCENDING order in place, stably (equal values keep increasing
// original positions), and writes the permutation.
//   pSrcDst  values, sorted in place.
//   pDstIdx  original positions.
//   len      number of elements, >= 1.
IppStatus ippsSortIndexDescend_32s_I(Ipp32s* pSrcDst, int* pDstIdx, int len);

// Sorts 16-bit integers ascending in place (no permutation).
//   pSrcDst  values, sorted in place.
//   len      number of elements, >= 1.
IppStatus ippsSortAscend_16s_I(Ipp16s* pSrcDst, int len);

// ---------------------------------------------------------------------------------------------
// One-dimensional filters
// ---------------------------------------------------------------------------------------------

// Full linear convolution: pDst[t] = sum over j of pSrc1[j] * pSrc2[t - j], for
// t in [0, src1Len + src2Len - 1), with zeros outside both vectors. Symmetric in its operands.
// Direct O(src1Len * src2Len) evaluation, single-precision accumulation.
//   pSrc1    first vector (the signal).
//   src1Len  its length, >= 1.
//   pSrc2    second vector (the kernel).
//   src2Len  its length, >= 1.
//   pDst     src1Len + src2Len - 1 outputs; must not overlap either source.
IppStatus ippsConv_32f(const Ipp32f* pSrc1, int src1Len, const Ipp32f* pSrc2, int src2Len,
                       Ipp32f* pDst);

// As ippsConv_32f in double precision.
//   pSrc1    first vector.
//   src1Len  its length, >= 1.
//   pSrc2    second vector.
//   src2Len  its length, >= 1.
//   pDst     src1Len + src2Len - 1 outputs; must not overlap either source.
IppStatus ippsConv_64f(const Ipp64f* pSrc1, int src1Len, const Ipp64f* pSrc2, int src2Len,
                       Ipp64f* pDst);

// Running median in place: with m = maskSize, reduced to m - 1 when even, and h = m / 2,
// x[i] <- median of original x[i - h .. i + h], where samples before the start of the row equal
// x[0] and samples beyond its end equal x[len - 1]. A mask of 1 (or 2) leaves the row unchanged.
// An even mask is not reported (status 0).
//   pSrcDst   row, filtered in place.
//   len       number of samples, >= 1.
//   maskSize  window length, >= 1 (else ippStsMaskSizeErr).
// ippStsMemAllocErr when the window buffers of a very long mask cannot be allocated.
IppStatus ippsFilterMedian_32f_I(Ipp32f* pSrcDst, int len, int maskSize);

}  // namespace Talvex::Platform

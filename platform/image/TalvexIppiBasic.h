// Basic image primitives: aligned image memory, copies and conversions, bordered copies, flips and
// transposes, separable and 2-D linear filters, the box filter, image statistics and histograms,
// thresholds, comparisons and bitwise logic.
//
// Conventions shared by every function here:
//  - An image is a pointer to its first pixel, a row step in BYTES (the distance between the first
//    pixels of two consecutive rows) and an IppiSize {width, height} in pixels. Rows are B-scan
//    rows as the engines lay them out (for most callers one row is one A-scan).
//  - Points and anchors are {x, y}: x counts samples along a row, y counts rows.
//  - Return value: ippStsNoErr (0) on success; a negative status on failure, in which case the
//    destination is left untouched unless stated otherwise. A null pointer gives ippStsNullPtrErr,
//    a non-positive width, height or length ippStsSizeErr, a row step shorter than one row of the
//    region ippStsStepErr. No function ever returns a positive warning.
//  - Unless stated otherwise source and destination must not overlap.
#pragma once

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// ---------------------------------------------------------------------------------------------
// Memory
// ---------------------------------------------------------------------------------------------

// Allocates a zero-filled single-channel float image of widthPixels x heightPixels.
// Every row starts on a 64-byte boundary: the row step, written to *pStepBytes, is
// 4 * widthPixels rounded up to a multiple of 64 bytes.
//   widthPixels, heightPixels  image size in pixels (> 0)
//   pStepBytes                 receives the row step in bytes
// Returns the first pixel, or nullptr when a size is not positive, pStepBytes is null or the
// allocation fails. Release with ippiFree.
Ipp32f* ippiMalloc_32f_C1(int widthPixels, int heightPixels, int* pStepBytes);

// Releases an image allocated by ippiMalloc_32f_C1. A null pointer is accepted and ignored.
void ippiFree(void* ptr);

// ---------------------------------------------------------------------------------------------
// Copies and conversions
// ---------------------------------------------------------------------------------------------

// dst(x, y) = src(x, y) over roiSize.
//   pSrc, srcStep  source region and its row step in bytes
//   pDst, dstStep  destination region and its row step in bytes
//   roiSize        size of the region in pixels
IppStatus ippiCopy_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                          IppiSize roiSize);

// Float version of ippiCopy_8u_C1R. Only the region is written: the border of a bordered
// destination keeps whatever it held.
IppStatus ippiCopy_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                           IppiSize roiSize);

// dst(x, y) = (float)src(x, y); exact.
IppStatus ippiConvert_8u32f_C1R(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                IppiSize roiSize);

// dst(x, y) = saturate_0_255(round(src(x, y))).
//   roundMode  ippRndZero: truncation toward zero; ippRndNear: nearest, half to even;
//              ippRndFinancial: nearest, half away from zero (0.5 -> 1, 2.5 -> 3).
// Values below 0 (and NaN) give 0, values above 255 give 255. Any other mode: ippStsBadArgErr.
IppStatus ippiConvert_32f8u_C1R(const Ipp32f* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                IppiSize roiSize, IppRoundMode roundMode);

// Copies a srcRoiSize image into the larger dstRoiSize image with the source placed at row
// topBorderHeight, column leftBorderWidth; the border around it replicates the nearest edge pixel
// of the source. The bottom border has dstRoiSize.height - srcRoiSize.height - topBorderHeight
// rows and the right border dstRoiSize.width - srcRoiSize.width - leftBorderWidth columns.
//   topBorderHeight, leftBorderWidth  >= 0; a negative bottom or right border: ippStsSizeErr
IppStatus ippiCopyReplicateBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize srcRoiSize,
                                         Ipp8u* pDst, int dstStep, IppiSize dstRoiSize,
                                         int topBorderHeight, int leftBorderWidth);

// As ippiCopyReplicateBorder_8u_C1R, but every border pixel takes the constant `value`.
IppStatus ippiCopyConstBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize srcRoiSize,
                                     Ipp8u* pDst, int dstStep, IppiSize dstRoiSize,
                                     int topBorderHeight, int leftBorderWidth, Ipp8u value);

// In-place flip of the region.
//   flip  ippAxsHorizontal (0): about the horizontal axis, i.e. the ROW order is reversed (row y
//         swaps with row height-1-y; for a B-scan stored one A-scan per row this reverses the
//         A-scan order); ippAxsVertical (1): every row is reversed; ippAxsBoth (2): both.
//         Any other value: ippStsBadArgErr.
IppStatus ippiMirror_8u_C1IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize, IppiAxis flip);

// Float version of ippiMirror_8u_C1IR.
IppStatus ippiMirror_32f_C1IR(Ipp32f* pSrcDst, int srcDstStep, IppiSize roiSize, IppiAxis flip);

// In-place transpose of a square region: element (x, y) swaps with (y, x).
// roiSize.width != roiSize.height: ippStsSizeErr.
IppStatus ippiTranspose_32f_C1IR(Ipp32f* pSrcDst, int srcDstStep, IppiSize roiSize);

// ---------------------------------------------------------------------------------------------
// Linear filters
//
// All linear filters are true convolutions (the kernel is applied mirrored):
//   row     dst(x, y) = sum_{i=0}^{n-1} k[i] * src(x + xAnchor - i, y)
//   column  dst(x, y) = sum_{i=0}^{n-1} k[i] * src(x, y + yAnchor - i)
// The order-1 Gaussian derivative kernel -x * G(x), sampled at increasing x, runs {+, 0, -} (for
// example {1, 0, -1}); convolved with anchor 1 it gives src(x + 1) - src(x - 1), so a
// dark-to-bright ramp gives a positive derivative (the kernel {-1, 0, 1} gives a negative one). The
// filters do not extend the border: the source is read at x - (n - 1 - xAnchor) ... x + xAnchor
// (rows likewise), outside the destination region, and the caller pads the source beforehand (for
// example with ippiCopyReplicateBorder_8u_C1R). Sums are accumulated in single precision, tap by
// tap in kernel order. Kernel checks: null kernel ippStsNullPtrErr, kernelSize < 1 ippStsSizeErr,
// anchor outside 0 .. kernelSize-1 ippStsAnchorErr.
// ---------------------------------------------------------------------------------------------

// Row (along x) convolution of float images.
//   pSrc, srcStep      source pixel corresponding to destination pixel (0, 0), and row step
//   pDst, dstStep      destination region and row step
//   dstRoiSize         size of the destination region
//   pKernel, kernelSize  kernel taps k[0 .. kernelSize-1]
//   xAnchor            tap that lines up with src(x, y)
IppStatus ippiFilterRow_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                int xAnchor);

// Column (along y) convolution of float images; parameters as ippiFilterRow_32f_C1R with yAnchor
// the tap that lines up with src(x, y).
IppStatus ippiFilterColumn_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                   IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                   int yAnchor);

// Row convolution of an 8-bit image with a float kernel, 8-bit result: the float sum is rounded
// to nearest (halves away from zero) and saturated to 0 .. 255.
IppStatus ippiFilterRow32f_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                  IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                  int xAnchor);

// Column convolution of an 8-bit image with a float kernel; rounding and saturation as
// ippiFilterRow32f_8u_C1R.
IppStatus ippiFilterColumn32f_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize dstRoiSize, const Ipp32f* pKernel, int kernelSize,
                                     int yAnchor);

// 2-D convolution of a float image with a kernelSize.width x kernelSize.height kernel stored row
// by row (K[j * width + i] is column i of kernel row j):
//   dst(x, y) = sum_j sum_i K[j * width + i] * src(x + anchor.x - i, y + anchor.y - j).
// The source is read anchor.x columns / anchor.y rows before the region and
// width-1-anchor.x columns / height-1-anchor.y rows after it (a bordered copy).
IppStatus ippiFilter_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                             IppiSize dstRoiSize, const Ipp32f* pKernel, IppiSize kernelSize,
                             IppiPoint anchor);

// In-place box filter (neighbourhood mean):
//   dst(x, y) = (1 / (w * h)) * sum_{j<h} sum_{i<w} src(x - anchor.x + i, y - anchor.y + j)
// with maskSize {w, h}, computed entirely from the ORIGINAL values (the filter keeps its own copy
// of the rows it still needs). Pixels outside the region are read but never written: for example
// a 1 x 7 mask with anchor (0, 3) over A-scans 3 .. W-4 averages seven neighbouring A-scans and
// leaves the three A-scans at either end unfiltered. Sums are accumulated in double.
//   maskSize  > 0 in both directions (ippStsMaskSizeErr otherwise)
//   anchor    inside the mask (ippStsAnchorErr otherwise)
IppStatus ippiFilterBox_32f_C1IR(Ipp32f* pSrcDst, int srcDstStep, IppiSize dstRoiSize,
                                 IppiSize maskSize, IppiPoint anchor);

// ---------------------------------------------------------------------------------------------
// Statistics and histograms
// ---------------------------------------------------------------------------------------------

// *pSum = sum of all pixels of the region (exact, returned as a double).
IppStatus ippiSum_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize roiSize, Ipp64f* pSum);

// *pMax = largest pixel of the region.
IppStatus ippiMax_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize roiSize, Ipp8u* pMax);

// *pMax = largest pixel; (*pIndexX, *pIndexY) = its column and row. On ties the FIRST pixel in
// raster order (smallest row, then smallest column) is reported. NaN pixels are never selected
// unless the first pixel is NaN.
IppStatus ippiMaxIndx_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize roiSize, Ipp32f* pMax,
                              int* pIndexX, int* pIndexY);

// Smallest pixel and the column and row of its first occurrence in raster order.
IppStatus ippiMinIndx_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize roiSize, Ipp32f* pMin,
                              int* pIndexX, int* pIndexY);

// Histogram over nLevels increasing levels: nLevels - 1 bins, bin k counts the pixels v with
// pLevels[k] <= v < pLevels[k+1]. Values outside [pLevels[0], pLevels[nLevels-1]) are not
// counted; with the 256 levels 0 .. 255, bin k counts the value k and 255 is not counted.
//   pHist    receives nLevels - 1 counts
//   nLevels  >= 2 (ippStsSizeErr otherwise); levels not strictly increasing: ippStsRangeErr
IppStatus ippiHistogramRange_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize roiSize, Ipp32s* pHist,
                                    const Ipp32s* pLevels, int nLevels);

// Float histogram over nLevels increasing levels with nLevels - 1 bins [pLevels[k],
// pLevels[k+1]), EXCEPT that the last bin is closed: it also counts v == pLevels[nLevels-1].
// The gradient-magnitude histogram of the edge detector spans exactly [0, 1] and its maximum is
// 1.0 by construction, which therefore lands in the last bin. NaN and values outside
// [pLevels[0], pLevels[nLevels-1]] are not counted. Arguments as ippiHistogramRange_8u_C1R.
IppStatus ippiHistogramRange_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize roiSize,
                                     Ipp32s* pHist, const Ipp32f* pLevels, int nLevels);

// ---------------------------------------------------------------------------------------------
// Threshold, comparison, arithmetic and logic
// ---------------------------------------------------------------------------------------------

// In place: v < thresholdLT -> valueLT; v > thresholdGT -> valueGT; otherwise v is kept.
// thresholdLT > thresholdGT: ippStsBadArgErr.
IppStatus ippiThreshold_LTValGTVal_8u_C1IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize,
                                           Ipp8u thresholdLT, Ipp8u valueLT, Ipp8u thresholdGT,
                                           Ipp8u valueGT);

// dst(x, y) = (src1(x, y) OP src2(x, y)) ? 255 : 0, with OP one of <, <=, ==, >=, > (IppCmpOp).
// Comparisons involving NaN are false. Unknown operation: ippStsBadArgErr.
IppStatus ippiCompare_32f_C1R(const Ipp32f* pSrc1, int src1Step, const Ipp32f* pSrc2, int src2Step,
                              Ipp8u* pDst, int dstStep, IppiSize roiSize, IppCmpOp ippCmpOp);

// dst(x, y) = (src(x, y) OP value) ? 255 : 0.
IppStatus ippiCompareC_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f value, Ipp8u* pDst,
                               int dstStep, IppiSize roiSize, IppCmpOp ippCmpOp);

// dst(x, y) = src(x, y) * value (single precision). pDst may equal pSrc with the same step.
IppStatus ippiMulC_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f value, Ipp32f* pDst, int dstStep,
                           IppiSize roiSize);

// In place: srcDst(x, y) &= src(x, y).
IppStatus ippiAnd_8u_C1IR(const Ipp8u* pSrc, int srcStep, Ipp8u* pSrcDst, int srcDstStep,
                          IppiSize roiSize);

// In place: srcDst(x, y) |= src(x, y).
IppStatus ippiOr_8u_C1IR(const Ipp8u* pSrc, int srcStep, Ipp8u* pSrcDst, int srcDstStep,
                         IppiSize roiSize);

}  // namespace Talvex::Platform

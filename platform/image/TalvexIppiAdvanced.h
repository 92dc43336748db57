// Rank and morphological filters, the bilateral filter, resizing and remapping, and normalised
// cross-correlation of 8-bit and float images.
//
// These are the heavier image primitives of the engines: hole filling of dewarped B-scans (7 x 7
// median), maximum filters and dilations of masks, the perimeter erosion, edge-preserving B-scan
// smoothing, B-scan and map rescaling, the dewarping gather, and template matching of A-scans and
// camera images. They keep the vendor primitive names and argument orders the engines were written
// against, inside the project's own namespace.
//
// Conventions shared by every function here:
// - An image is a pointer to its first pixel (of the region of interest), a row step in BYTES and
//   a size {width, height} in pixels; anchors are {x, y}. Rows are contiguous.
// - The return value is 0 (ippStsNoErr) on success and a negative status on failure; a function
//   that fails writes nothing. Null pointers give ippStsNullPtrErr, an empty region ippStsSizeErr,
//   a row step smaller than the row it must hold ippStsStepErr.
// - 8-bit results of weighted sums are rounded to nearest (halves upwards) and saturated to 0..255.
// - No function allocates inside its per-pixel loops, keeps state between calls or creates threads.
#pragma once

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// Status codes of the resize primitives (not among the shared codes).
enum : IppStatus {
  ippStsInterpolationErr = -22,  // interpolation code other than 1, 2 or 4
  ippStsResizeFactorErr = -23,   // a scale factor that is not positive and finite
};

// ---------------------------------------------------------------------------------------------
// Rank and morphological filters
// ---------------------------------------------------------------------------------------------

// Median filter with a rectangular mask.
//
// dst(x, y) = the element of rank n/2 (0-based, ascending) among the n = maskSize.width *
// maskSize.height samples src(x - anchor.x + i, y - anchor.y + j), 0 <= i < maskSize.width,
// 0 <= j < maskSize.height; for odd n this is the ordinary median.
// The source is read outside the region of interest (the caller guarantees those pixels exist,
// typically by filtering only the interior of a B-scan); nothing outside dstRoiSize is written.
// Computed with a running 256-bin histogram per output row (Huang's method), so the cost per pixel
// grows with the mask height, not with its area.
//
//   pSrc        first source pixel of the region (the pixel under the anchor for dst(0, 0))
//   srcStep     source row step in bytes
//   pDst        first destination pixel of the region
//   dstStep     destination row step in bytes
//   dstRoiSize  region size; a non-positive width or height gives ippStsSizeErr
//   maskSize    mask size; non-positive gives ippStsMaskSizeErr
//   anchor      position of the output pixel inside the mask; outside gives ippStsAnchorErr
IppStatus ippiFilterMedian_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                  IppiSize dstRoiSize, IppiSize maskSize, IppiPoint anchor);

// Maximum filter with a rectangular mask:
// dst(x, y) = max over 0 <= i < maskSize.width, 0 <= j < maskSize.height of
// src(x - anchor.x + i, y - anchor.y + j).
// The source is read outside the region (the caller filters an interior, e.g. 5 x 5 with anchor
// (2, 2) over a region inset by 2 pixels); pixels outside dstRoiSize are not written.
// Separable: a column maximum into a row buffer, then a row maximum.
//
//   pSrc, srcStep      source region (pixel under the anchor of dst(0, 0)) and row step in bytes
//   pDst, dstStep      destination region and row step in bytes
//   dstRoiSize         region size (non-positive: ippStsSizeErr)
//   maskSize, anchor   as for ippiFilterMedian_8u_C1R (ippStsMaskSizeErr, ippStsAnchorErr)
// May return ippStsMemAllocErr if the row buffer cannot be obtained.
IppStatus ippiFilterMax_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                               IppiSize dstRoiSize, IppiSize maskSize, IppiPoint anchor);

// 3 x 3 dilation (maximum) in place:
// img(x, y) <- max over |i| <= 1, |j| <= 1 of the ORIGINAL img(x + i, y + j), for every pixel of
// the region. The one-pixel ring around the region is read but never written, so the caller passes
// the interior of a mask (rows 1 .. height-2, columns 1 .. width-2) and its border keeps its
// values. Original rows are kept in three row buffers, so results never feed later pixels.
//
//   pSrcDst      first pixel of the region; the ring around it must be readable
//   srcDstStep   row step in bytes
//   roiSize      region size (non-positive: ippStsSizeErr)
// May return ippStsMemAllocErr if the row buffers cannot be obtained.
IppStatus ippiDilate3x3_8u_C1IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize);

// Erosion (minimum) with an arbitrary mask:
// dst(x, y) = min over the mask members (i, j) (pMask[j * maskSize.width + i] != 0) of
// src(x - anchor.x + i, y - anchor.y + j).
// The mask is not reflected. The source is read outside the region: the perimeter extraction
// passes a copy padded with a one-pixel zero border and the 3 x 3 cross (0 1 0 / 1 1 1 / 0 1 0)
// with anchor (1, 1), so foreground pixels touching the image border erode to 0.
//
//   pSrc, srcStep     source region and row step in bytes
//   pDst, dstStep     destination region and row step in bytes
//   dstRoiSize        region size (non-positive: ippStsSizeErr)
//   pMask             maskSize.width * maskSize.height bytes, row by row; non-zero = member.
//                     A mask without members gives ippStsBadArgErr.
//   maskSize, anchor  mask size (ippStsMaskSizeErr) and anchor (ippStsAnchorErr)
IppStatus ippiErode_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                           IppiSize dstRoiSize, const Ipp8u* pMask, IppiSize maskSize,
                           IppiPoint anchor);

// ---------------------------------------------------------------------------------------------
// Bilateral filter
// ---------------------------------------------------------------------------------------------

// Opaque filter state: the weight tables, built by ippiFilterBilateralInit_8u_C1R inside a
// byte buffer the caller allocates with the size ippiFilterBilateralGetBufSize_8u_C1R reports.
struct IppiFilterBilateralSpec;

// Size in bytes of the weight-table buffer for the Gaussian bilateral filter.
//
//   filter          must be ippiFilterBilateralGauss (100), else ippStsBadArgErr
//   maxDstRoiSize   largest region that will be filtered (positive, else ippStsSizeErr); the
//                   filter works in fixed-size row strips, so the size does not depend on it
//   maxKernelSize   largest mask {width, height} that will be used (positive, else
//                   ippStsMaskSizeErr); even sizes count as the next lower odd size
//   pBufferSize     receives the byte count (null: ippStsNullPtrErr)
IppStatus ippiFilterBilateralGetBufSize_8u_C1R(IppiFilterBilateralType filter,
                                               IppiSize maxDstRoiSize, IppiSize maxKernelSize,
                                               int* pBufferSize);

// Builds the weight tables of the Gaussian bilateral filter in the caller's buffer.
//
// Weight of the neighbour at offset (i, j) (i along the row, j across rows) of the centre pixel:
//
//   w(i, j) = exp(-(v_ij - v_00)^2 / (2 * valSquareSigma))
//           * exp(-max(|i|, |j|)^2 / (2 * posSquareSigma))
//
// where v_ij is the 8-bit neighbour value and v_00 the centre value: a Gaussian of the intensity
// difference times a Gaussian of the chessboard (maximum-norm) distance, each with its SQUARED
// sigma as given. The tables hold w for every distance 0 .. (odd max kernel - 1)/2 and every
// absolute difference 0 .. 255, in single precision.
//
//   filter           ippiFilterBilateralGauss (100), else ippStsBadArgErr
//   maxKernelSize    as passed to ippiFilterBilateralGetBufSize_8u_C1R (ippStsMaskSizeErr)
//   valSquareSigma   squared intensity sigma, in grey levels squared; must be > 0 and finite
//   posSquareSigma   squared spatial sigma, in pixels squared; must be > 0 and finite
//                    (either invalid: ippStsBadArgErr)
//   stepInKernel     use every stepInKernel-th row and column of the mask (offsets that are
//                    multiples of it); the engines pass 1. Must be >= 1 (ippStsBadArgErr)
//   pSpec            buffer of at least the reported size (null: ippStsNullPtrErr); no alignment
//                    is required of it
IppStatus ippiFilterBilateralInit_8u_C1R(IppiFilterBilateralType filter, IppiSize maxKernelSize,
                                         Ipp32f valSquareSigma, Ipp32f posSquareSigma,
                                         int stepInKernel, IppiFilterBilateralSpec* pSpec);

// Gaussian bilateral filter of an 8-bit image over a region:
//
//   dst(x, y) = round( sum w(i, j) * src(x + i, y + j) / sum w(i, j) )
//
// summed over the rectangular mask |i| <= rW, |j| <= rH (offsets that are multiples of
// stepInKernel), with w from ippiFilterBilateralInit_8u_C1R, rW = (kW - 1) / 2 and
// rH = (kH - 1) / 2 where kW, kH are kernelSize reduced to the next lower odd size when even (a
// 6 x 4 mask filters as 5 x 3). The result is rounded to nearest. The centre weight is 1, so the
// sum of weights never vanishes; a flat image is returned unchanged. The source is read rW columns
// and rH rows around the region; the caller filters the interior of a border-replicated copy:
// region (width - kernel width) x (height - kernel height) starting at row kernel height / 2,
// column kernel width / 2. Nothing is allocated: the sums are kept in fixed-size row strips on the
// stack. For masks up to about 5 x 5 the weight of each pair of pixels is looked up once and
// serves both of them (the weight is symmetric); the result is the same to the bit.
//
//   pSrc, srcStep   source region (centre pixel of dst(0, 0)) and row step in bytes
//   pDst, dstStep   destination region and row step in bytes; must not overlap the source
//   dstRoiSize      region size (non-positive: ippStsSizeErr)
//   kernelSize      mask {width, height}; non-positive, or larger than the initialised maximum
//                   after the odd reduction, gives ippStsMaskSizeErr
//   pSpec           buffer initialised by ippiFilterBilateralInit_8u_C1R (null:
//                   ippStsNullPtrErr; not initialised: ippStsBadArgErr)
IppStatus ippiFilterBilateral_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize dstRoiSize, IppiSize kernelSize,
                                     const IppiFilterBilateralSpec* pSpec);

// ---------------------------------------------------------------------------------------------
// Geometric transforms
// ---------------------------------------------------------------------------------------------

// Resizes the source region by the given factors (point-pixel mapping, no half-pixel shift).
//
// Destination pixel (x, y) samples the source region at
//   xs = srcRoi.x + x / xFactor,   ys = srcRoi.y + y / yFactor
// (source positions within 1e-6 relative of a whole number are taken as that whole number, so that
// factors rounded to single precision still land on the samples they mean). Source neighbours
// beyond the region are replaced by the nearest edge pixel of the region (replicated edges).
//   IPPI_INTER_NN (1):     the sample at (floor(xs), floor(ys)), i.e. dst[x] = src[x / xFactor].
//   IPPI_INTER_LINEAR (2): bilinear: with x0 = floor(xs), t = xs - x0:
//                          (1 - t) * s(x0) + t * s(x0 + 1), across rows, then along the row.
//   IPPI_INTER_CUBIC (4):  separable 4-point Lagrange polynomial through x0 - 1 .. x0 + 2:
//                          weights -t(t-1)(t-2)/6, (t+1)(t-1)(t-2)/2, -(t+1)t(t-2)/2,
//                          (t+1)t(t-1)/6; across rows, then along the row.
// Whole-number positions reproduce the source sample exactly with every code (a factor of 1 is a
// copy; a factor of 2 puts src[k] at dst[2k]). Sums are formed in single precision, tap by tap;
// the results do not depend on the instruction set the process runs on. 8-bit results are rounded
// to nearest (halves upwards) and saturated.
//
//   pSrc        first pixel of the source IMAGE (not of the region)
//   srcSize     source image size (non-positive: ippStsSizeErr)
//   srcStep     source row step in bytes
//   srcRoi      region of the source to resample; it is clipped to the image, and an empty
//               intersection gives ippStsRoiErr
//   pDst        first destination pixel
//   dstStep     destination row step in bytes
//   dstRoiSize  destination size (non-positive: ippStsSizeErr)
//   xFactor     destination over source width; yFactor destination over source height (not
//               positive and finite: ippStsResizeFactorErr)
//   interpolation  IPPI_INTER_NN, IPPI_INTER_LINEAR or IPPI_INTER_CUBIC (else
//               ippStsInterpolationErr)
// May return ippStsMemAllocErr if the tap tables cannot be obtained.
IppStatus ippiResize_8u_C1R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                            Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                            double yFactor, int interpolation);

// Float variant of ippiResize_8u_C1R (same mapping and interpolation, no rounding).
IppStatus ippiResize_32f_C1R(const Ipp32f* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                             Ipp32f* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                             double yFactor, int interpolation);

// Gathers a destination image through coordinate maps:
//   dst(x, y) = src(xMap(x, y), yMap(x, y))
// with xMap holding source columns (samples along the row) and yMap source rows (A-scans), both
// in source IMAGE coordinates. Whole-number coordinates give the source pixel exactly with every
// interpolation code (so a map of zeros fills with src(0, 0)). A destination pixel whose
// coordinates fall outside the source region [srcRoi.x, srcRoi.x + srcRoi.width - 1] x
// [srcRoi.y, srcRoi.y + srcRoi.height - 1] (or are NaN) is left unwritten; coordinates ON the
// region's edge are used. Fractional coordinates interpolate with neighbours clamped to the region:
//   IPPI_INTER_NN (1):     the nearest pixel (halves round upwards)
//   IPPI_INTER_LINEAR (2): bilinear
//   IPPI_INTER_CUBIC (4):  4 x 4 Lagrange, as in ippiResize_8u_C1R
// Results are rounded to nearest and saturated.
//
//   pSrc            first pixel of the source image
//   srcSize         source image size (non-positive: ippStsSizeErr)
//   srcStep         source row step in bytes
//   srcRoi          readable source region, clipped to the image (empty: ippStsRoiErr)
//   pxMap, xMapStep float map of source columns and its row step in bytes
//   pyMap, yMapStep float map of source rows and its row step in bytes
//   pDst, dstStep   destination and row step in bytes
//   dstRoiSize      destination (and map) size (non-positive: ippStsSizeErr)
//   interpolation   1, 2 or 4 (else ippStsInterpolationErr)
IppStatus ippiRemap_8u_C1R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                           const Ipp32f* pxMap, int xMapStep, const Ipp32f* pyMap, int yMapStep,
                           Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, int interpolation);

// ---------------------------------------------------------------------------------------------
// Normalised cross-correlation
// ---------------------------------------------------------------------------------------------

// Normalised cross-correlation of a float image with a template, output of the source's size:
//
//   dst(x, y) = sum t(i, j) * s(x + i - ax, y + j - ay)
//               / sqrt( sum t(i, j)^2 * sum s(x + i - ax, y + j - ay)^2 )
//
// summed over 0 <= i < tplRoiSize.width, 0 <= j < tplRoiSize.height, with the template centred on
// the output position by the anchor (ax, ay) = (tplRoiSize.width / 2, tplRoiSize.height / 2). No
// mean is removed. Source samples outside the region count as 0 (the source is never read
// outside it). Where the denominator is 0 (template or window all zero) the output is 0.
// A 1-row source against a 1-row template correlates one A-scan or profile; the window energy is
// kept as a running sum, so each output costs one dot product.
//
//   pSrc, srcStep     source region and row step in bytes
//   srcRoiSize        source size = output size (non-positive: ippStsSizeErr)
//   pTpl, tplStep     template and row step in bytes
//   tplRoiSize        template size (non-positive: ippStsSizeErr); it may exceed the source
//   pDst, dstStep     float output and row step in bytes
// May return ippStsMemAllocErr if the row buffers cannot be obtained.
IppStatus ippiCrossCorrSame_Norm_32f_C1R(const Ipp32f* pSrc, int srcStep, IppiSize srcRoiSize,
                                         const Ipp32f* pTpl, int tplStep, IppiSize tplRoiSize,
                                         Ipp32f* pDst, int dstStep);

// The same for an 8-bit source and template with float output (camera image against a lens
// pattern). Sums of squares are exact; the numerator is summed in single precision.
IppStatus ippiCrossCorrSame_Norm_8u32f_C1R(const Ipp8u* pSrc, int srcStep, IppiSize srcRoiSize,
                                           const Ipp8u* pTpl, int tplStep, IppiSize tplRoiSize,
                                           Ipp32f* pDst, int dstStep);

}  // namespace Talvex::Platform

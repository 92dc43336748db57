// Computer-vision primitives on 8-bit B-scan masks: grey-level morphology with replicated borders,
// the exact Euclidean distance transform used for corneal thickness, and connected-region
// labelling.
//
// Conventions shared by every function here:
// - Images are passed as a pointer to the first pixel, a row step in BYTES and an IppiSize
//   {width, height} in pixels; anchors are {x, y} (column, row).
// - The status is 0 on success and negative on failure: ippStsNullPtrErr for a null pointer,
//   ippStsSizeErr for a non-positive or unsupported size, ippStsStepErr for a row step shorter than
//   a row, ippStsBadArgErr for an unsupported selector, ippStsMemAllocErr when a state cannot be
//   allocated.
// - No function keeps hidden state: everything a call needs is in its arguments, its state object
//   or the caller's work buffer. A state object serves one call at a time.
#pragma once

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// Opaque state of ippiDilateBorderReplicate_8u_C1R / ippiErodeBorderReplicate_8u_C1R: the
// structuring element decomposed into horizontal runs, plus the row buffers for the widest ROI.
struct IppiMorphState;
// Opaque state of ippiMorphOpenBorder_8u_C1R / ippiMorphCloseBorder_8u_C1R: a morphology state
// plus an intermediate image of the ROI size.
struct IppiMorphAdvState;

// ---------------------------------------------------------------------------------------------
// Morphology
//
// Structuring element: maskSize.height rows of maskSize.width bytes (row after row, no gaps); a
// non-zero byte makes its offset a member. With anchor (ax, ay), the member at mask row i and
// column j stands for the offset (j - ax, i - ay). The element is NOT reflected:
//
//   dilate: dst(x, y) = max over members (i, j) of src(x + j - ax, y + i - ay)
//   erode:  dst(x, y) = min over members (i, j) of src(x + j - ax, y + i - ay)
//
// Source pixels outside the ROI take the value of the nearest ROI pixel (replicated border), so
// the ROI is the whole image. Even mask sizes and anchors off the centre are allowed (for example
// a 1 x 4 line element with anchor 2 covers offsets -2 ... +1).
// ---------------------------------------------------------------------------------------------

// Creates the state for dilation and erosion of images up to roiWidth pixels wide.
//   roiWidth   widest ROI the state will serve, > 0 (else ippStsSizeErr)
//   pMask      maskSize.width x maskSize.height bytes, non-zero = member; at least one member
//              (else ippStsBadArgErr)
//   maskSize   element size, both > 0 (else ippStsMaskSizeErr)
//   anchor     element position that lands on the output pixel; inside the mask (else
//              ippStsAnchorErr). Callers pass (maskSize.width / 2, maskSize.height / 2).
//   ppState    receives the new state; release it with ippiMorphologyFree.
IppStatus ippiMorphologyInitAlloc_8u_C1R(int roiWidth, const Ipp8u* pMask, IppiSize maskSize,
                                         IppiPoint anchor, IppiMorphState** ppState);

// Releases a state created by ippiMorphologyInitAlloc_8u_C1R. A null state is accepted (status 0).
IppStatus ippiMorphologyFree(IppiMorphState* pState);

// Grey-level dilation (maximum over the element, see above) with replicated borders.
//   pSrc, srcStep  source image and its row step in bytes (>= roiSize.width)
//   pDst, dstStep  destination image and its row step in bytes (>= roiSize.width). pDst may equal
//                  pSrc when the steps are equal (in place); other overlaps are not allowed.
//   roiSize        image size; width at most the state's roiWidth (else ippStsSizeErr)
//   borderType     must be ippBorderRepl (1) (else ippStsBadArgErr)
//   pState         state from ippiMorphologyInitAlloc_8u_C1R
IppStatus ippiDilateBorderReplicate_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                           IppiSize roiSize, IppiBorderType borderType,
                                           IppiMorphState* pState);

// Grey-level erosion (minimum over the element, see above) with replicated borders. Arguments as
// for ippiDilateBorderReplicate_8u_C1R.
IppStatus ippiErodeBorderReplicate_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                          IppiSize roiSize, IppiBorderType borderType,
                                          IppiMorphState* pState);

// Creates the state for opening and closing of images up to roiSize.
//   ppState    receives the new state; release it with ippiMorphAdvFree.
//   roiSize    largest ROI the state will serve, both > 0 (else ippStsSizeErr)
//   pMask, maskSize, anchor   as for ippiMorphologyInitAlloc_8u_C1R
IppStatus ippiMorphAdvInitAlloc_8u_C1R(IppiMorphAdvState** ppState, IppiSize roiSize,
                                       const Ipp8u* pMask, IppiSize maskSize, IppiPoint anchor);

// Releases a state created by ippiMorphAdvInitAlloc_8u_C1R. A null state is accepted (status 0).
IppStatus ippiMorphAdvFree(IppiMorphAdvState* pState);

// Opening: erosion followed by dilation, both with the same (unreflected) element and replicated
// borders, exactly as two calls of the functions above. Arguments as for
// ippiDilateBorderReplicate_8u_C1R; roiSize must fit the state's ROI (else ippStsSizeErr); pDst may
// equal pSrc.
IppStatus ippiMorphOpenBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize roiSize, IppiBorderType borderType,
                                     IppiMorphAdvState* pState);

// Closing: dilation followed by erosion, both with the same element and replicated borders.
// Arguments as for ippiMorphOpenBorder_8u_C1R.
IppStatus ippiMorphCloseBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                      IppiSize roiSize, IppiBorderType borderType,
                                      IppiMorphAdvState* pState);

// ---------------------------------------------------------------------------------------------
// Distance transform
//
//   dst(x, y) = min over pixels (u, v) with src(u, v) == 0 of sqrt((x - u)^2 + (y - v)^2)
//
// the exact Euclidean distance in pixels (square pixels) from every pixel to the nearest zero
// pixel; zero pixels get 0. Computed with the Felzenszwalb-Huttenlocher lower-envelope method in
// integer squared distances, so every value is the correctly rounded float square root of an
// integer. An image without any zero pixel has no finite distance: every output pixel is then
// +infinity (the minimum over an empty set), with status 0.
// ---------------------------------------------------------------------------------------------

// Size in bytes of the work buffer for ippiTrueDistanceTransform_8u32f_C1R on roiSize.
//   roiSize       both > 0 (else ippStsSizeErr)
//   pBufferSize   receives the size in bytes (ippStsSizeErr if it would not fit an int)
IppStatus ippiTrueDistanceTransformGetBufferSize_8u32f_C1R(IppiSize roiSize, int* pBufferSize);

// Exact Euclidean distance transform (definition above).
//   pSrc, srcStep  8-bit image (0 = background, non-zero = object) and row step in bytes
//   pDst, dstStep  float distances in pixels and row step in bytes (>= 4 * width, a multiple of 4)
//   roiSize        image size, both > 0
//   pBuffer        work buffer of the size given by the GetBufferSize function (any alignment)
IppStatus ippiTrueDistanceTransform_8u32f_C1R(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst,
                                              int dstStep, IppiSize roiSize, Ipp8u* pBuffer);

// Size in bytes of the work buffer for ippiFastMarching_8u32f_C1R on roiSize (as above).
IppStatus ippiFastMarchingGetBufferSize_8u32f_C1R(IppiSize roiSize, int* pBufferSize);

// Distance from every non-zero pixel to the nearest zero pixel, as used for the corneal thickness
// map. This is the EXACT Euclidean distance transform above, not a first-order fast-marching
// approximation (see the definition for why). Arguments as for ippiTrueDistanceTransform_8u32f_C1R;
//   radius   accepted for call compatibility and otherwise unused; must not be negative or NaN
//            (else ippStsBadArgErr)
IppStatus ippiFastMarching_8u32f_C1R(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                     IppiSize roiSize, Ipp32f radius, Ipp8u* pBuffer);

// ---------------------------------------------------------------------------------------------
// Connected-region labelling
// ---------------------------------------------------------------------------------------------

// Size in bytes of the work buffer for ippiLabelMarkers_8u_C1IR on roiSize.
//   roiSize    both > 0 (else ippStsSizeErr)
//   pBufSize   receives the size in bytes (ippStsSizeErr if it would not fit an int)
IppStatus ippiLabelMarkersGetBufferSize_8u_C1R(IppiSize roiSize, int* pBufSize);

// Labels the connected regions of non-zero pixels in place.
//   pMarker, markerStep  8-bit image, 0 = background, any non-zero value = foreground; on return
//                        every foreground pixel holds its region's label, background stays 0
//   roiSize              image size, both > 0
//   minLabel, maxLabel   label range, 1 <= minLabel <= maxLabel <= 254 (else ippStsBadArgErr)
//   norm                 ippiNormInf (0): 8-connectivity (diagonal neighbours join regions);
//                        ippiNormL1 (1): 4-connectivity; anything else gives ippStsBadArgErr
//   pNumber              receives the number of regions found
//   pBuffer              work buffer of the size given by ippiLabelMarkersGetBufferSize_8u_C1R
// Regions are numbered in raster order (row by row, left to right) of each region's first pixel:
// the k-th region (k = 0, 1, ...) gets minLabel + k. Beyond maxLabel the labels wrap around:
// region k gets minLabel + k mod (maxLabel - minLabel + 1), so distinct regions may then share a
// label; *pNumber still counts every region.
IppStatus ippiLabelMarkers_8u_C1IR(Ipp8u* pMarker, int markerStep, IppiSize roiSize, int minLabel,
                                   int maxLabel, IppiNorm norm, int* pNumber, Ipp8u* pBuffer);

}  // namespace Talvex::Platform

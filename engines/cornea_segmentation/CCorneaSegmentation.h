// CCorneaSegmentation: anterior and posterior corneal surfaces of every B-scan of a volume, with a
// confidence per A-scan.
//
// Per B-scan: smooth and decimate the image, correlate every A-scan with a modelled intensity step
// to get one surface candidate per A-scan, fit a robust parabola through the candidates, cut a band
// of the image around it, turn the band's depth gradient into a cost image, trace the cheapest
// path, interpolate the path back to full width and smooth it. The posterior surface is searched
// in a band 500 um below the anterior one. Confidences come from the local edge strength and are
// then marked for specular reflections (-2) and for surfaces near the top or bottom of the A-scan
// (-3).
//
// Layers: one float per A-scan, B-scan after B-scan, the depth in samples of the full A-scan;
// -1 = no value. Confidences: 1 reliable, -1 unreliable, -2 specular reflection, -3 too close to
// the top or bottom of the A-scan.
#pragma once

#include <cstdint>
#include <vector>

#include "core/CorneaSegOutcome.h"
#include "core/CorneaSegParameter.h"
#include "engines/base/CAnteriorSegmentModule.h"

namespace Talvex::SDOCT::Algorithms {

// The engine is its parameter record: the fields of CorneaSegParameter (sigmaLateral ..
// pachymetryScan) are the engine's own, by the same names, filled by Configure.
class CCorneaSegmentation : public CAnteriorSegmentModule, public CorneaSegParameter {
 public:
  // The largest working width (A-scans after lateral decimation) and the largest number of
  // B-scans or A-scans the reordering handles.
  static constexpr int kMaxWorkingWidth = 2048;

  CCorneaSegmentation() = default;
  ~CCorneaSegmentation() override = default;

  // ---- Pipeline -------------------------------------------------------------------------------

  // Segments every B-scan of volume (numBscans x bscanWidth x ascanLength bytes, read only).
  // volBuffer (same size) receives the smoothed working copy. Any of the four outputs
  // (numBscans x bscanWidth floats each) may be null: it is then neither computed nor written.
  // A B-scan whose candidates admit no robust parabola keeps the caller's values in its rows.
  // Throws "Input SD-OCT volume is NULL.", "Input SD-OCT volume buffer is NULL.", the messages of
  // the operations it calls, or "Working B-scan width exceeds 2048 A-scans." when
  // bscanWidth / lateralSubsample > 2048.
  void SegmentCornea(const std::uint8_t* volume, int numBscans, int bscanWidth, int ascanLength,
                     const int* randomvalues, std::uint32_t nrandom, std::uint8_t* volBuffer,
                     float* anteriorLayer, float* posteriorLayer, float* anteriorConfidence,
                     float* posteriorConfidence);

  // Smooths one B-scan's layer: a smoothing spline of wavelength bscanWidth * smooth through the
  // points >= 0, evaluated at every A-scan within their span (others are not written). layer and
  // smoothLayer may be the same array. Throws "TalvexAlgorithm: bspline() failed.".
  void SmoothLayer(const float* layer, int bscanWidth, float smooth, float* smoothLayer);
  using CAnteriorSegmentModule::SmoothLayer;

  // ---- Bowman layer ---------------------------------------------------------------------------

  // Traces Bowman's layer in every B-scan of volume (numBscans x bscanWidth x ascanLength bytes)
  // below the given anterior surface (numBscans x bscanWidth floats, full-depth samples, without
  // gaps): the dark-to-bright step from the epithelium to the Bowman band, searched in a band of
  // (int)(ascanLength * 100 / depthMicron) samples that starts 15 samples below the anterior
  // surface smoothed with wavelength bsplineWavelength * bscanWidth, located to a fifteenth of a
  // sample and smoothed the same way. bowmanLayer receives the depths (full-depth samples),
  // bowmanConfidence 1.0 everywhere. Uses depthMicron, bsplineWavelength and the gaussX/gaussY
  // kernels. Throws "Input SD-OCT volume is NULL.", "Input anterior layers is NULL.",
  // "Output bowman layers is NULL.", "Output confidence bowman layers is NULL.",
  // "IPP: ippiConvert_8u32f_C1R() failed.", "TalvexAlgorithm: bspline() failed.",
  // "IPP: ippiFilterBox_32f_C1IR() failed.", the messages of the Gaussian-derivative filter and
  // the cost image, "TalvexAlgorithm: ImResize() failed." (also for a band shorter than one
  // sample), "TalvexAlgorithm: GraphBasedSegmentation() failed." or
  // "IPP: ippsMulC_32f_I() failed.".
  void SegmentBowman(const std::uint8_t* volume, int numBscans, int bscanWidth, int ascanLength,
                     const float* anteriorLayer, float* bowmanLayer, float* bowmanConfidence);

  // ---- Confidence, specular reflection and reordering ----------------------------------------

  // Robust parabola (degree `order`) through the candidates y[i] != 0 at abscissae x (n <= 2048).
  // Points with y = 0 are never sampled but are tested as inliers. With fewer than
  // 2 * ransacMinNumPoints candidates, or 10 or fewer inliers, ninliers = 0 and y is unchanged;
  // with 0 < ninliers < n, y receives the fitted curve at every x; with ninliers = n the raw
  // candidates stay. n <= 0 makes no fit (ninliers = 0). Sets the first n exclusion flags. Throws
  // "TalvexAlgorithm: ransacpoly() failed." (also for n > 2048).
  void FitPoints(double* x, double* y, int n, int order, int* inliers, int& ninliers,
                 double* coeff);

  // Moves every layer point (!= -1) of a numascan x ascanlen B-scan to the brightest of the 7
  // samples from its truncated depth z0 (limited to 0 .. ascanlen - 8) downward: 0 to 6 samples;
  // the first maximum wins ties. An A-scan shorter than 8 samples is searched from sample 0 over
  // at most its whole length. NaN points are left as they are. Throws
  // "IPP: ippsMaxIndx_32f() failed.".
  void AdjustToPick(const std::uint8_t* im, int numascan, int ascanlen, float* layer);

  // Per A-scan confidence of a surface: 1 minus the smoothed edge cost at the layer position in a
  // patch of about 4 x 30 um around it; near 1 on a strong edge of the expected polarity
  // (which = 1: dark-to-bright anterior; 0: bright-to-dark posterior), near 0 on the opposite
  // one. Patch samples beyond the A-scan (and rows of depths beyond it) count as grey level 1;
  // a NaN depth counts as 0. Needs depthMicron (um per A-scan). Throws the messages of the
  // Gaussian-derivative filter and cost image, or "TalvexAlgorithm: Gauss_2Dsep() failed.".
  void ComputeConfidence(const std::uint8_t* bscan, int numascans, int ascanlen, const float* layer,
                         int which, float* confidence);

  // Tidies a row of +-1 posterior confidences in place: closes -1 gaps inside the reliable
  // stretch around the centre, and beyond 50 A-scans from the centre marks everything from the
  // first unreliable value outward as -1. Runs of -1 reaching either end of the row stay, as do
  // runs whose outer neighbour is the first or last value. Values other than +-1 are neither
  // filled nor passed by the outward marking.
  void LayerConfidenceProcessing(float* confidence, int len);

  // Pearson correlation coefficient of f1 and f2 (n >= 2): the co-moment summed in single
  // precision over the two sample standard deviations and n - 1. NaN when either input is
  // constant. Throws "IPP: ippsMeanStdDev_32f() failed." (also for n < 2).
  float NormalizedCC(const float* f1, const float* f2, int n);

  // Looks for a specular streak above the anterior surface in a numascan x ascanlen B-scan im
  // (modified: cleared below the surface) with scratch image maxim of the same size. When the
  // lateral profile of the bright region is well described by one Gaussian (correlation above
  // threshold), xPos receives its centre A-scan and xOffset 2.5 widths; otherwise both are -1.
  // Only the interior of maxim is written (2 A-scans and 2 samples of border keep the caller's
  // values, which enter the profile: pass a zeroed scratch image). Needs numascan and
  // ascanlen >= 5. Throws "IPP: ippiFilterMax_8u_C1R() failed." (also for smaller images),
  // "IPP: ippiSum_8u_C1R() failed.", "IPP: ippsMean_32f() failed.",
  // "IPP: ippsAddC_32f_I() failed.", "TalvexAlgorithm: Conv1D() failed.",
  // "IPP: ippsSum_32f() failed.", "IPP: ippsMulC_32f_I() failed." or
  // "IPP: ippsMeanStdDev_32f() failed.".
  void DetectSpecularReflection(std::uint8_t* im, int numascan, int ascanlen, std::uint8_t* maxim,
                                const float* layer, float threshold, int& xPos, int& xOffset);

  // Orients the B-scans of a radial scan (angles in degrees, one per B-scan): B-scans whose
  // angle a = 180 - angle (+360 when negative) is at most 180 are mirrored in place together with
  // the rows of every layer and confidence, the others take a - 180; angles receive the sorted
  // values and orderIdx[k] the B-scan that comes k-th. Null layer or confidence arrays are
  // skipped. Throws "Number of B-scans exceeds 2048.", "B-scan width exceeds 2048 A-scans.",
  // "IPP: ippiMirror_8u_C1IR() failed." (a B-scan to flip in a null or empty volume) or
  // "IPP: ippsSortIndexAscend_32f_I() failed." (null angles or orderIdx, numBscans < 1).
  void ReorderBscansLayers(std::uint8_t* volume, int numBscans, int bscanWidth, int ascanLen,
                           float* anteriorLayer, float* posteriorLayer, float* anteriorConfidence,
                           float* posteriorConfidence, float* angles, int* orderIdx);
  void ReorderBscansLayers(std::uint8_t* volume, int numBscans, int bscanWidth, int ascanLen,
                           float* anteriorLayer, float* posteriorLayer, float* bowmanLayer,
                           float* anteriorConfidence, float* posteriorConfidence,
                           float* bowmanConfidence, float* angles, int* orderIdx);

  // Why a B-scan of the last call has (or lacks) surfaces.
  using BscanOutcome = CorneaBscanOutcome;

  // Checks every field of the record for a scan of W A-scans of L samples; throws
  // "CorneaSegParameter.<field> out of range: <allowed range>." for the first field outside the
  // range the pipeline can run with (SegmentCornea calls it before any work).
  void ValidateParameters(int W, int L) const;

  // Whether the traced surfaces of one B-scan (W A-scans of L bytes; full-width rows of
  // full-depth positions, -1 = none; either row may be null) are those of a cornea, judged on
  // the central 60 % of the A-scans: tissue between the surfaces brighter than the air above the
  // anterior and the aqueous below the posterior surface by at least 10 grey levels and a
  // quarter of its own level (in the medians and in at least 70 % of the A-scans on their own),
  // a median thickness of 200 to 1500 um along the A-scan, and an
  // anterior surface that is convex with an apical radius of 3.5 to 50 mm (needs lateralXMicron
  // and depthMicron). False when fewer than 10 A-scans carry both surfaces.
  bool ShowsCornea(const std::uint8_t* bscan, int W, int L, const float* anterior,
                   const float* posterior) const;

  // Moves each point of a layer row (full-depth samples, -1 = none) onto the centre of the
  // boundary reflection next to it. The grey levels of the A-scans within 60 um along the B-scan
  // (by lateralXMicron; 4 A-scans either side without it) are combined by their median at equal
  // offsets from their own layer points, so the reflection lines up along the surface while
  // speckle and the few A-scans of a specular streak do not. The point moves to the brightest
  // offset of that median profile within 25 um below (which = 1, anterior: the tracer sits on the
  // rising edge above the reflection) or above (which = 0, posterior: on the falling edge below
  // it), one sample of slack on the other side, refined to sub-sample precision by the vertex of
  // the parabola through the maximum and its two neighbours (the middle of a plateau of equal
  // maxima: a saturated reflection). bscan should be unsmoothed across A-scans: on a sloped
  // surface such smoothing blurs the reflection in depth, and its bright tissue side pulls the
  // blurred maximum toward itself.
  void RefineToReflectionPeak(const std::uint8_t* bscan, int W, int L, float* layer,
                              int which) const;

  // The outcome of every B-scan of the last SegmentCornea call.
  std::vector<BscanOutcome> lastOutcomes;

  // Takes a copy of every field of the record; the engine reads only its copy.
  void Configure(const CorneaSegParameter& record) {
    static_cast<CorneaSegParameter&>(*this) = record;
  }

  // ---- State of the last call ------------------------------------------------------------------
  int numBscans = 0;
  int bscanWidth = 0;
  int ascanLength = 0;
  std::uint8_t* workingVolume = nullptr;
};

}  // namespace Talvex::SDOCT::Algorithms

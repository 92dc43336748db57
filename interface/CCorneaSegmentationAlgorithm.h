// CCorneaSegmentationAlgorithm: anterior and posterior corneal surfaces, with a confidence per
// A-scan, of every B-scan of a corneal OCT volume (for example the 8 to 32 meridians of a radial
// pachymetry scan).
//
// Arrays (caller-owned, passed without copying):
//   volumeData        numBscans * bscanWidth * ascanLength bytes: 8-bit B-scans, A-scan after
//                     A-scan (ascanLength contiguous samples, depth 0 first). Read only.
//   volumeBufferData  the same size; receives the smoothed working copy.
//   RandomvaluesData  nRandom >= 1 non-negative integers that drive the robust parabola fits: the
//                     same array, data and parameters give bit-identical results.
//   layers            numBscans * bscanWidth floats: surface depth in samples of the full A-scan
//                     (fractional); a B-scan in which no surface could be found keeps the values
//                     passed in.
//   confidences       numBscans * bscanWidth floats: 1 reliable, -1 unreliable, -2 inside a
//                     specular reflection, -3 surface within dropOutsOffset of the top or bottom.
// Physical depths (depthMicron) are tissue-equivalent micrometres: the optical path of the A-scan
// divided by the group index 1.386.
//
// Errors: AlgorithmException. Before Initialize every segmentation operation throws
// "CCorneaSegmentationAlgorithm::SegmentCornea: parameter initialization is missing." and writes
// nothing; a null volume gives "Input SD-OCT volume is NULL.", a null buffer "Input SD-OCT volume
// buffer is NULL.", a null random array "SetRandomArray() failed."; a record field outside the
// range the pipeline runs with gives "CorneaSegParameter.<field> out of range: <allowed range>."
// before any work; a working width (bscanWidth / lateralSubsample) above 2048 gives "Working
// B-scan width exceeds 2048 A-scans.". Library failures carry the failing function's message;
// the facade stays usable.
//
// Hazards of the classic pipeline with axialSubsample above 1 (set the record's
// fullDepthPositionsWhenSubsampled to avoid both): the anterior snap (adjustAnterior) and the
// confidences read the full-depth B-scan at working-depth positions, so every confidence comes
// out -1 and the snapped anterior surface lands several samples off; and a B-scan abandoned
// without surfaces gets its caller's -1 multiplied by axialSubsample (-2 for a subsample of 2).
#pragma once

#include <cstdint>
#include <vector>

#include "core/CorneaSegOutcome.h"
#include "core/CorneaSegParameter.h"
#include "interface/FacadeSupport.h"

namespace Talvex::SDOCT::Algorithms {

class CCorneaSegmentation;

class CCorneaSegmentationAlgorithm {
 public:
  // The widest working B-scan (bscanWidth / lateralSubsample A-scans) a segmentation takes.
  static constexpr int kMaxWorkingWidth = 2048;

  CCorneaSegmentationAlgorithm();
  ~CCorneaSegmentationAlgorithm();
  CCorneaSegmentationAlgorithm(const CCorneaSegmentationAlgorithm&) = delete;
  CCorneaSegmentationAlgorithm& operator=(const CCorneaSegmentationAlgorithm&) = delete;

  // Replaces the engine by a new one holding a copy of every field of parameters; later changes
  // to the record act only after the next Initialize.
  void Initialize(const CorneaSegParameter& parameters);

  // Both surfaces and both confidences.
  void SegmentCornea(const std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength,
                     const int* RandomvaluesData, std::uint32_t nRandom,
                     std::uint8_t* volumeBufferData, float* AnteriorData, float* PosteriorData,
                     float* AnteriorConfidenceData, float* PosteriorConfidenceData);

  // The anterior surface and its confidence only.
  void SegmentAnterior(const std::uint8_t* volumeData, int numBscans, int bscanWidth,
                       int ascanLength, const int* RandomvaluesData, std::uint32_t nRandom,
                       std::uint8_t* volumeBufferData, float* AnteriorData,
                       float* AnteriorConfidenceData);

  // The posterior surface and its confidence only, found from its own step template.
  void SegmentPosterior(const std::uint8_t* volumeData, int numBscans, int bscanWidth,
                        int ascanLength, const int* RandomvaluesData, std::uint32_t nRandom,
                        std::uint8_t* volumeBufferData, float* PosteriorData,
                        float* PosteriorConfidenceData);

  // One high-definition B-scan (numBscans above 1 is treated as 1): both surfaces without
  // confidences, each then smoothed with the record's bsplineWavelength. A null layer is neither
  // segmented nor smoothed.
  void SegmentHDCornea(const std::uint8_t* volumeData, int numBscans, int bscanWidth,
                       int ascanLength, const int* RandomvaluesData, std::uint32_t nRandom,
                       std::uint8_t* volumeBufferData, float* AnteriorData, float* PosteriorData);

  // Bowman's layer of every B-scan under the caller's anterior surface (AnteriorData, as
  // SegmentCornea returns it: numBscans * bscanWidth floats without gaps): BowmanData receives its
  // depth in samples of the full A-scan, BowmanConfidenceData 1.0 for every A-scan. The layer is
  // the dark-to-bright step from the epithelium to the Bowman band, searched 15 samples and more
  // below the smoothed anterior surface over 100 um. Null arrays give "Input SD-OCT volume is
  // NULL.", "Input anterior layers is NULL.", "Output bowman layers is NULL." or "Output
  // confidence bowman layers is NULL.".
  void SegmentBowman(const std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength,
                     const float* AnteriorData, float* BowmanData, float* BowmanConfidenceData);

  // The curve coffset um from one B-scan's layer (bscanwidth floats, -1.0 = no value) along its
  // normal, toward the top of the B-scan for a positive coffset (for example the stromal bed left
  // under an ablation of coffset um), for a B-scan depthum um deep (ascanlen samples) and widthum
  // um wide. The input is not changed; layerOutData is -1.0 wherever layerInData is -1.0. Needs no
  // Initialize. Null arrays give "ResidualStroma: input layer is NULL." or "ResidualStroma:
  // output layer is NULL."; a layer above 4096 A-scans "ResidualStroma: max layer length must be
  // smaller than 2049.".
  void ResidualStroma(const float* layerInData, int bscanwidth, int ascanlen, int depthum,
                      int widthum, float coffset, float* layerOutData);

  // Smooths every B-scan row of a layer with a smoothing spline of wavelength
  // bsplineWavelength * bscanWidth A-scans through its values >= 0; A-scans outside the span of
  // those values are not written. In place is allowed. Needs no Initialize. Null arrays give
  // "Input layer is NULL." / "Output layer is NULL." (nothing to do when numBscans < 1).
  void SmoothLayer(const float* layerInData, int numBscans, int bscanWidth, float bsplineWavelength,
                   float* layerOutData);

  // Orients the B-scans of a radial scan for maps: with a = 180 - angle (+360 when negative),
  // B-scans with a <= 180 are mirrored in place (volume, layers and confidences) and keep a, the
  // others take a - 180; angleData receives the sorted angles (degrees) and orderIdxData[k] the
  // B-scan that comes k-th. Needs no Initialize.
  void ReorderBscansLayers(std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength,
                           float* AnteriorData, float* PosteriorData, float* AnteriorConfidenceData,
                           float* PosteriorConfidenceData, float* angleData, int* orderIdxData);
  void ReorderBscansLayers(std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength,
                           float* AnteriorData, float* PosteriorData, float* BowmanData,
                           float* AnteriorConfidenceData, float* PosteriorConfidenceData,
                           float* BowmanConfidenceData, float* angleData, int* orderIdxData);

  // Why each B-scan of the last segmentation call has (or lacks) surfaces, one entry per B-scan;
  // empty before the first call, after Dispose and after a call that failed its checks.
  std::vector<CorneaBscanOutcome> LastBscanOutcomes() const;

  // Releases the engine; the facade must be initialised again before segmenting.
  void Dispose();

 private:
  Detail::HeldEngine<CCorneaSegmentation> corneaSegment_;
};

}  // namespace Talvex::SDOCT::Algorithms

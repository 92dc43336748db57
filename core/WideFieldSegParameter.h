// WideFieldSegParameter: the settings of the wide-field segmentation
// (CWideFieldSegmentationAlgorithm).
//
// A plain record: public fields, all 0 / false when constructed, no validation; Initialize copies
// it. Depths in um are tissue-equivalent micrometres (optical path / 1.386).
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

class WideFieldSegParameter {
 public:
  WideFieldSegParameter() = default;

  float axialDepth = 0.0f;                    // physical A-scan depth (um)
  float lateralWidth = 0.0f;                  // physical B-scan width (um)
  float sigmaLateral = 0.0f;                  // pre-smoothing sigma across A-scans (<= 0: none)
  float sigmaAxial = 0.0f;                    // pre-smoothing sigma along depth (<= 0: none)
  std::int32_t lateralSubsample = 0;          // decimation across A-scans of the working image
  std::int32_t axialSubsample = 0;            // decimation along depth
  std::int32_t bilateralMaxKernelWidth = 0;   // bilateral kernel extent along depth
  std::int32_t bilateralMaxKernelHeight = 0;  // bilateral kernel extent across A-scans
  float bilateralValSquareSigma = 0.0f;       // bilateral intensity variance
  float bilateralPosSquareSigma = 0.0f;       // bilateral spatial variance
  float cannyNonEdge = 0.0f;                  // edge detector: share of non-edge pixels
  float cannyLowThreshPerc = 0.0f;            // edge detector: low threshold fraction
  float cannySigma = 0.0f;                    // edge detector: smoothing sigma
  float parabolaMinAxialDist = 0.0f;     // minimum axial distance of the two surface parabolas (um)
  float parabolaAxialShift = 0.0f;       // axial shift of the surface parabolas (um)
  std::int32_t gaussXsize = 0;           // Gaussian-derivative kernel across A-scans: size
  float gaussXsigma = 0.0f;              // and sigma
  std::int32_t gaussYsize = 0;           // Gaussian-derivative kernel along depth: size
  float gaussYsigma = 0.0f;              // and sigma
  std::int32_t ransacMinNumPoints = 0;   // robust parabola fits: sample size
  float ransacDistThresh = 0.0f;         // inlier distance
  float ransacProbability = 0.0f;        // probability of an outlier-free sample
  std::int32_t ransacMaxDataTrials = 0;  // attempts at a non-degenerate sample
  std::int32_t ransacMaxTrials = 0;      // upper bound on trials
  std::int32_t roiCentralSearchDepth = 0;   // central search band depth (um)
  std::int32_t roiAntPstSearchDepth = 0;    // anterior/posterior search band depth (um)
  std::int32_t roiPstSearchDepth = 0;       // stored, not read by the segmentation
  std::int32_t roiPstOffset = 0;            // posterior band offset (um)
  float bsplineWavelength = 0.0f;           // smoothing wavelength fraction
  float irislensCenteralWidth = 0.0f;       // width of the central iris/lens region (um)
  std::int32_t irislensAxialLineSE = 0;     // axial line structuring element length (samples)
  std::int32_t irislensDiskSE = 0;          // disk structuring element radius (samples)
  std::int32_t irislensLateralLineSE = 0;   // lateral line structuring element length (samples)
  std::int32_t roiIrislensSearchDepth = 0;  // iris/lens search depth (um)
  std::int32_t mirrorImagePosition = 0;     // stored; the overlap operations take it as argument
};

}  // namespace Talvex::SDOCT::Algorithms

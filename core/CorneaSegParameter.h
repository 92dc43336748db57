// CorneaSegParameter: the settings of the cornea segmentation (CCorneaSegmentationAlgorithm).
//
// A plain record: every field is public and a new record holds 0, 0.0f and false everywhere.
// The segmentation validates it before any work and refuses a field outside its range with a
// message that names the field. Initialize copies every field into the engine, which reads only its
// copy, so changing a record after Initialize has no effect until Initialize is called again.
// Before segmenting, lateralSubsample, axialSubsample and depthMicron must be at least 1 and the
// kernel sizes positive (odd for the Gaussian-derivative kernels).
//
// Units: um = micrometres (depth: tissue-equivalent micrometres, the optical path divided by the
// group index 1.386), px = samples of the B-scan as passed in; depth um are converted to px as
// value * ascanLength / depthMicron. Grey levels are on the 8-bit 40 log10 scale of the B-scans.
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

class CorneaSegParameter {
 public:
  CorneaSegParameter() = default;

  float sigmaLateral = 0.0f;  // lateral smoothing sigma of the working volume (A-scans); <= 0: off
  float sigmaAxial = 0.0f;    // axial smoothing sigma (px); <= 0: off
  std::int32_t lateralSubsample = 0;          // working width = bscanWidth / lateralSubsample
  std::int32_t axialSubsample = 0;            // working depth = ascanLength / axialSubsample
  std::int32_t bilateralMaxKernelWidth = 0;   // bilateral kernel extent along depth (px)
  std::int32_t bilateralMaxKernelHeight = 0;  // bilateral kernel extent across A-scans
  float bilateralValSquareSigma = 0.0f;       // bilateral intensity variance (grey levels^2)
  float bilateralPosSquareSigma = 0.0f;       // bilateral spatial variance (px^2)
  std::int32_t lateralXMicron = 0;       // physical B-scan width (um); sizes the specular window
  std::int32_t lateralYMicron = 0;       // physical extent in the other lateral direction (um)
  std::int32_t depthMicron = 0;          // physical A-scan depth (um)
  float axialRes1Micron = 0.0f;          // axial resolution (um) of the anterior step template
  float axialRes2Micron = 0.0f;          // axial resolution (um) of the posterior step template
  float signal1Level_0 = 0.0f;           // anterior template: grey level above the surface
  float signal1Level_1 = 0.0f;           // anterior template: grey level below the surface
  float signal1Level_2 = 0.0f;           // anterior template: reflection peak (<= -100: none)
  float signal2Level_0 = 0.0f;           // posterior template: grey level above the surface
  float signal2Level_1 = 0.0f;           // posterior template: grey level below the surface
  float signal2Level_2 = 0.0f;           // posterior template: reflection peak (<= -100: none)
  float corrCoeffThresh = 0.0f;          // minimum normalised correlation peak of a candidate
  std::int32_t posteriorTopROI = 0;      // um above the posterior guide where its band starts
  std::int32_t posteriorBottomROI = 0;   // um length of the posterior band
  std::int32_t gaussXsize = 0;           // Gaussian-derivative kernel size across A-scans
  float gaussXsigma = 0.0f;              // and its sigma
  std::int32_t gaussYsize = 0;           // Gaussian-derivative kernel size along depth
  float gaussYsigma = 0.0f;              // and its sigma
  std::int32_t ransacMinNumPoints = 0;   // sample size and minimum candidates of the robust fit
  float ransacDistThresh = 0.0f;         // inlier distance of the robust fit (px)
  float ransacProbability = 0.0f;        // required probability of one outlier-free sample
  std::int32_t ransacMaxDataTrials = 0;  // attempts to draw a non-degenerate sample
  std::int32_t ransacMaxTrials = 0;      // upper bound on robust-fit trials
  std::int32_t layerOffset = 0;     // um: anterior band starts this far above the guide, 3x long
  float bsplineWavelength = 0.0f;   // smoothing wavelength as a fraction of the layer length
  std::int32_t dropOutsOffset = 0;  // um from the top/bottom of the A-scan: confidence -3
  float anteriorConfidenceThreshold = 0.0f;   // anterior confidence above this becomes 1
  float posteriorConfidenceThreshold = 0.0f;  // posterior confidence above this becomes 1
  bool adjustAnterior = false;  // move each anterior point to the nearby intensity peak
  bool pachymetryScan = false;  // stored, not used by the segmentation

  // ---- Options beyond the classic pipeline (false everywhere keeps the classic behaviour) ----

  // The robust parabola fits go on past a trial whose model no candidate agrees with. Classic:
  // such a first trial ends the search, so a B-scan with a clearly visible cornea is abandoned
  // for some random arrays and not for others (a few per cent of B-scans on device exports).
  bool robustFitSearchPastEmptyTrials = false;
  // A B-scan counts as showing a cornea only when its traced surfaces have the polarity and
  // contrast of one (darker air above the anterior surface, brighter tissue between the
  // surfaces, darker aqueous below the posterior one), a plausible thickness and a convex
  // anterior surface of plausible curvature. Otherwise every confidence of the B-scan is -1.
  // Classic: confidences judge only the local edge, so noise, a single edge or an eyelid give
  // confident surfaces.
  bool requireCorneaEvidence = false;
  // Moves both surfaces onto the centre of their boundary reflections with sub-sample precision
  // (the traced path follows the steepest edge of each reflection: the anterior lies a few
  // micrometres above the interface, the posterior below it, and the thickness reads long).
  bool refineToReflectionPeaks = false;
  // With axialSubsample above 1, positions are full-depth samples before the anterior snap and
  // the confidences read the full-depth B-scan, and a B-scan that is abandoned keeps the
  // caller's values unscaled. Classic: both read the full-depth B-scan at working-depth
  // positions (every confidence comes out -1, the snap misplaces the anterior surface) and the
  // axial rescaling turns an abandoned B-scan's -1 into -axialSubsample.
  bool fullDepthPositionsWhenSubsampled = false;
};

}  // namespace Talvex::SDOCT::Algorithms

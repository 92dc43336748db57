#include "interface/CorneaSegPresets.h"

namespace Talvex::SDOCT::Algorithms {

CorneaSegParameter CorneaSegPresetRadial1024() {
  CorneaSegParameter p;
  // Light lateral smoothing only: smoothing along depth widens the thin boundary reflections and
  // moves the traced edges away from them.
  p.sigmaLateral = 1.0f;
  p.sigmaAxial = 0.0f;
  // Half the A-scans (8 um apart) still sample the surfaces densely; full depth keeps the 2.2 um
  // axial sampling, and the anterior snap and the confidences read full-depth positions.
  p.lateralSubsample = 2;
  p.axialSubsample = 1;
  // 5 x 5 edge-preserving filter for the template correlation: speckle (grey-level spread about
  // 20) is smoothed, the 45-level tissue steps are kept.
  p.bilateralMaxKernelWidth = 5;
  p.bilateralMaxKernelHeight = 5;
  p.bilateralValSquareSigma = 400.0f;
  p.bilateralPosSquareSigma = 4.0f;
  p.lateralXMicron = 8000;
  p.lateralYMicron = 8000;
  p.depthMicron = 2300;
  // Step templates on the 40 log10 grey scale: air/aqueous about 25, stroma about 70, a bright
  // air/tear-film reflection at the anterior surface and none modelled at the posterior one.
  p.axialRes1Micron = 10.0f;
  p.axialRes2Micron = 10.0f;
  p.signal1Level_0 = 25.0f;
  p.signal1Level_1 = 70.0f;
  p.signal1Level_2 = 110.0f;
  p.signal2Level_0 = 70.0f;
  p.signal2Level_1 = 25.0f;
  p.signal2Level_2 = -100.0f;
  // The correlation is not mean-removed, so a good match of positive profiles is close to 1.
  p.corrCoeffThresh = 0.9f;
  // Posterior band: from 300 um to 1050 um below the anterior surface along the A-scan (a
  // thinnest cornea of 400 um up to a peripheral cornea seen obliquely). Its length must reach
  // the band height 3 x layerOffset: a shorter band leaves a zero tail whose edge would attract
  // the path.
  p.posteriorTopROI = 200;
  p.posteriorBottomROI = 800;
  // Cost-image kernels: a 7-A-scan Gaussian across and a 5-sample derivative along depth. The
  // derivative kernel's gain falls with the cube of gaussYsigma; at sigma 2 a tissue step still
  // saturates the cost at 0 while speckle in the aqueous stays near 0.5, so the path cannot
  // wander through noise (at sigma 1 both saturate).
  p.gaussXsize = 7;
  p.gaussXsigma = 2.0f;
  p.gaussYsize = 5;
  p.gaussYsigma = 2.0f;
  // Parabola through the per-A-scan candidates: 8-point samples, 4-sample inlier band.
  p.ransacMinNumPoints = 8;
  p.ransacDistThresh = 4.0f;
  p.ransacProbability = 0.99f;
  p.ransacMaxDataTrials = 100;
  p.ransacMaxTrials = 500;
  // Anterior band from 250 um above the guide parabola, 750 um long.
  p.layerOffset = 250;
  // Smoothing wavelength 5 % of the B-scan (0.4 mm on 8 mm).
  p.bsplineWavelength = 0.05f;
  // Surfaces within 20 um of the top or bottom of the A-scan are marked as leaving the image.
  p.dropOutsOffset = 20;
  p.anteriorConfidenceThreshold = 0.6f;
  p.posteriorConfidenceThreshold = 0.6f;
  // Snap the anterior surface to the air/tear-film reflection peak (0 to 6 samples below the
  // traced edge).
  p.adjustAnterior = true;
  p.pachymetryScan = true;
  // The corrections of the classic pipeline that cost nothing on a good scan: robust fits that
  // do not give up after one unlucky sample, no confident surface in a frame without a cornea,
  // and full-depth positions when a host raises axialSubsample. The move onto the reflection
  // peaks (refineToReflectionPeaks) changes the measured thickness by about 10 um and stays a
  // host's choice.
  p.robustFitSearchPastEmptyTrials = true;
  p.requireCorneaEvidence = true;
  p.fullDepthPositionsWhenSubsampled = true;
  return p;
}

CorneaSegParameter CorneaSegPresetRadial640() {
  CorneaSegParameter p = CorneaSegPresetRadial1024();
  // Every value is physical or per A-scan except the depth kernel, which keeps its 5 samples
  // (18 um instead of 11 um): still shorter than the boundary reflections are wide.
  return p;
}

}  // namespace Talvex::SDOCT::Algorithms

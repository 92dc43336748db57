#include "interface/CorneaSegPresets.h"

namespace Talvex::SDOCT::Algorithms {

CorneaSegParameter CorneaSegPresetRadial1024() {
  CorneaSegParameter p;
  p.sigmaLateral = 1.0f;
  p.sigmaAxial = 1.0f;
  p.lateralSubsample = 2;
  p.axialSubsample = 1;
  p.bilateralMaxKernelWidth = 5;
  p.bilateralMaxKernelHeight = 5;
  p.bilateralValSquareSigma = 400.0f;
  p.bilateralPosSquareSigma = 4.0f;
  p.lateralXMicron = 8000;
  p.lateralYMicron = 8000;
  p.depthMicron = 2300;
  p.axialRes1Micron = 10.0f;
  p.axialRes2Micron = 10.0f;
  p.signal1Level_0 = 25.0f;
  p.signal1Level_1 = 70.0f;
  p.signal1Level_2 = 110.0f;
  p.signal2Level_0 = 70.0f;
  p.signal2Level_1 = 25.0f;
  p.signal2Level_2 = -100.0f;
  p.corrCoeffThresh = 0.9f;
  p.posteriorTopROI = 200;
  p.posteriorBottomROI = 800;
  p.gaussXsize = 5;
  p.gaussXsigma = 1.5f;
  p.gaussYsize = 5;
  p.gaussYsigma = 1.0f;
  p.ransacMinNumPoints = 8;
  p.ransacDistThresh = 4.0f;
  p.ransacProbability = 0.99f;
  p.ransacMaxDataTrials = 100;
  p.ransacMaxTrials = 500;
  p.layerOffset = 250;
  p.bsplineWavelength = 0.05f;
  p.dropOutsOffset = 20;
  p.anteriorConfidenceThreshold = 0.6f;
  p.posteriorConfidenceThreshold = 0.6f;
  p.adjustAnterior = false;
  p.pachymetryScan = true;
  return p;
}

CorneaSegParameter CorneaSegPresetRadial640() {
  CorneaSegParameter p = CorneaSegPresetRadial1024();
  return p;
}

}  // namespace Talvex::SDOCT::Algorithms

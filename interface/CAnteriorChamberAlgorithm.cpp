#include "interface/CAnteriorChamberAlgorithm.h"

#include "engines/angle_wide_field/CAnteriorChamber.h"

namespace Talvex::SDOCT::Algorithms {

float CAnteriorChamberAlgorithm::AnteriorChamberArea(const float* PosteriorData,
                                                     const float* IrisLensData, int bscanWidth,
                                                     int ascanLength, float widthMu,
                                                     float depthMu) {
  const Engines::CAnteriorChamber engine;
  return engine.AnteriorChamberArea(PosteriorData, IrisLensData, bscanWidth, ascanLength, widthMu,
                                    depthMu);
}

}  // namespace Talvex::SDOCT::Algorithms

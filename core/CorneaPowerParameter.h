// CorneaPowerParameter: the settings of the corneal power (CCorneaPowerAlgorithm).
//
// A plain record: public fields, all 0 when constructed, no validation; Initialize copies it.
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

class CorneaPowerParameter {
 public:
  CorneaPowerParameter() = default;

  float n1 = 0.0f;  // refractive index of the cornea: anterior power (n1 - 1) / radius
  float n2 = 0.0f;  // index behind the cornea: posterior power (n2 - n1) / radius
  float ransacPercPoints = 0.0f;         // fraction of a meridian's points forming the sample size
  float ransacDistThresh = 0.0f;         // inlier distance of the robust parabola fit
  float ransacProbability = 0.0f;        // required probability of an outlier-free sample
  std::int32_t ransacMaxDataTrials = 0;  // attempts to draw a non-degenerate sample
  std::int32_t ransacMaxTrials = 0;      // upper bound on trials
  float inlierPerc = 0.0f;               // minimum inlier fraction for a meridian's fit to count
};

}  // namespace Talvex::SDOCT::Algorithms

// AngleSegParameter: the settings of the angle segmentation (CAngleDewarpAlgorithm).
//
// A plain record: public fields, all 0 when constructed, no validation; Initialize copies it.
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

class AngleSegParameter {
 public:
  AngleSegParameter() = default;

  float axialDepth = 0.0f;      // physical A-scan depth (um): sample j lies at axialDepth j / L
  float lateralWidth = 0.0f;    // physical B-scan width (um): A-scan j lies at lateralWidth j / W
  std::int32_t gaussXsize = 0;  // Gaussian-derivative kernel across A-scans: size
  float gaussXsigma = 0.0f;     // and sigma
  std::int32_t gaussYsize = 0;  // Gaussian-derivative kernel along depth: size
  float gaussYsigma = 0.0f;     // and sigma
  float bsplineWavelength = 0.0f;  // smoothing wavelength fraction of the anterior layer
};

}  // namespace Talvex::SDOCT::Algorithms

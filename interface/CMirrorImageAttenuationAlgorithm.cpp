#include "interface/CMirrorImageAttenuationAlgorithm.h"

#include "engines/mirror_attenuation/CMirrorImageAttenuation.h"

namespace Talvex::SDOCT::Algorithms {

namespace {
constexpr const char* kMissingInitialization = "Initialization is missing.";
}  // namespace

CMirrorImageAttenuationAlgorithm::CMirrorImageAttenuationAlgorithm() = default;
CMirrorImageAttenuationAlgorithm::~CMirrorImageAttenuationAlgorithm() = default;

void CMirrorImageAttenuationAlgorithm::Initialize(const float* AnteriorData,
                                                  const float* PosteriorData,
                                                  const float* IrisLensData, int bscanWidth,
                                                  int ascanLength) {
  initialized_ = false;
  mirrorImageAtten_.Replace().Initialize(AnteriorData, PosteriorData, IrisLensData, bscanWidth,
                                         ascanLength);
  initialized_ = true;
}

void CMirrorImageAttenuationAlgorithm::AttenuateMirrorImage(std::uint8_t* imageData, int bscanWidth,
                                                            int ascanLength, float percent) {
  if (!initialized_) throw AlgorithmException(kMissingInitialization);
  mirrorImageAtten_.Require(kMissingInitialization)
      .AttenuateMirrorImage(imageData, bscanWidth, ascanLength, percent);
}

void CMirrorImageAttenuationAlgorithm::Dispose() {
  mirrorImageAtten_.Release();
  initialized_ = false;
}

}  // namespace Talvex::SDOCT::Algorithms

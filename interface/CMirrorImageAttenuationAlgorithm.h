// CMirrorImageAttenuationAlgorithm: darkens the mirror (complex-conjugate) artefact of wide-field
// anterior-segment B-scans.
//
// The strong corneal reflection folds a mirror image about the depth ascanLength / 2 - 20. The
// facade darkens two regions: the samples above the anterior corneal surface, and the region
// between the posterior corneal surface and the mirrored anterior surface, ending 20 samples above
// the iris/lens. The regions are built once from the segmented layers of a B-scan (Initialize)
// and then applied to any number of B-scans of the same size (AttenuateMirrorImage).
//
// Arrays (caller-owned, passed without copying):
//   AnteriorData, PosteriorData, IrisLensData   bscanWidth floats each: depth in samples
//                     (fractional) of the anterior and posterior corneal surfaces and of the
//                     anterior iris/lens surface; -1 = no value. Read only.
//   imageData         bscanWidth * ascanLength bytes, A-scan after A-scan (ascanLength contiguous
//                     samples, depth 0 first); changed in place.
// An A-scan without anterior value is darkened over its whole depth; an A-scan without iris/lens
// value has no mirror region.
#pragma once

#include <cstdint>

#include "interface/FacadeSupport.h"

namespace Talvex::SDOCT::Algorithms {

class CMirrorImageAttenuation;

class CMirrorImageAttenuationAlgorithm {
 public:
  CMirrorImageAttenuationAlgorithm();
  ~CMirrorImageAttenuationAlgorithm();
  CMirrorImageAttenuationAlgorithm(const CMirrorImageAttenuationAlgorithm&) = delete;
  CMirrorImageAttenuationAlgorithm& operator=(const CMirrorImageAttenuationAlgorithm&) = delete;

  // Replaces the engine by a new one and builds its two regions from the layers. The facade
  // counts as initialised only when this succeeds: after a failure AttenuateMirrorImage refuses
  // until an Initialize succeeds.
  //
  // Throws AlgorithmException: "Iutput anterior layer is NULL.", "Iutput posterior layer is
  // NULL.", "Iutput iris/lens layer is NULL.", "IPP: ippsMaxIndx_32f() failed." (bscanWidth < 1),
  // "IPP: ippsMinIndx_16s() failed.", "TalvexAlgorithm: imfillholes() failed." (ascanLength < 1),
  // "Memory allocation failed.".
  void Initialize(const float* AnteriorData, const float* PosteriorData, const float* IrisLensData,
                  int bscanWidth, int ascanLength);

  // Scales the samples of both regions by (1 - percent), percent from 0 to 1; a sample in both
  // regions is scaled twice (trunc toward zero after each). bscanWidth * ascanLength must not
  // exceed the size given to Initialize.
  //
  // Throws AlgorithmException: "Initialization is missing." (no successful Initialize, or after
  // Dispose; the image is untouched), "Input image is NULL.", "B-scan is larger than the mirror
  // masks.".
  void AttenuateMirrorImage(std::uint8_t* imageData, int bscanWidth, int ascanLength,
                            float percent);

  // Releases the engine; the facade must be initialised again before attenuating.
  void Dispose();

 private:
  bool initialized_ = false;
  Detail::HeldEngine<CMirrorImageAttenuation> mirrorImageAtten_;
};

}  // namespace Talvex::SDOCT::Algorithms

// CMirrorImageAttenuation: darkens the mirror (complex-conjugate) artefact of wide-field
// anterior-segment B-scans.
//
// The strong corneal reflection of a wide-field scan folds a mirror image about the depth
// c = ascanLength / 2 - 20 samples. Two regions are darkened: everything above the anterior
// corneal surface, and the region enclosed between the posterior corneal surface and the mirrored
// anterior surface (2c - anterior), down to 20 samples above the iris/lens. Initialize builds both
// masks from three segmented layers; AttenuateMirrorImage then applies them to any number of
// B-scans of that size.
//
// Images and masks are A-scan-major: sample z of A-scan a is at a * ascanLength + z. Layers hold
// one depth in samples per A-scan; -1 marks a missing value.
#pragma once

#include <cstdint>
#include <memory>

namespace Talvex::SDOCT::Algorithms {

class CMirrorImageAttenuation {
 public:
  // Depth above the middle of the A-scan about which the mirror image folds: c = L / 2 - 20.
  static constexpr int kFoldAboveMiddle = 20;
  // Samples kept clear of the mirror mask above the iris/lens surface.
  static constexpr int kIrisLensMargin = 20;

  CMirrorImageAttenuation() = default;
  CMirrorImageAttenuation(const CMirrorImageAttenuation&) = delete;
  CMirrorImageAttenuation& operator=(const CMirrorImageAttenuation&) = delete;
  virtual ~CMirrorImageAttenuation() = default;

  // Builds the anterior mask and the mirror mask (bscanWidth x ascanLength bytes each, 1 inside
  // the region) and replaces those of an earlier call. The layers hold bscanWidth values and are
  // only read.
  //
  // Where the mirrored anterior surface m and the posterior surface p bound the mirror region
  // depends on where the mirrored apex (the first maximum of m) lies: nearest the left edge, the
  // region runs from the first A-scan with m to the A-scan where |m - p| is smallest; nearest the
  // right edge, from that A-scan to the last one with m; nearest the centre, between the closest
  // approaches of m and p in the left and in the right half. When m and p share no A-scan (in
  // the half searched) there is no enclosed region and the mirror mask stays empty. Outline
  // samples falling outside the B-scan are dropped.
  //
  // Throws AlgorithmException: "Iutput anterior layer is NULL.", "Iutput posterior layer is
  // NULL.", "Iutput iris/lens layer is NULL.", "IPP: ippsMaxIndx_32f() failed." (bscanWidth < 1),
  // "IPP: ippsMinIndx_16s() failed.", "TalvexAlgorithm: imfillholes() failed." (also for
  // ascanLength < 1), "Memory allocation failed.". After a failure the engine holds no masks.
  void Initialize(const float* anteriorLayer, const float* posteriorLayer,
                  const float* irisLensLayer, int bscanWidth, int ascanLength);

  // Scales every sample inside a mask by (1 - percent): first the anterior mask, then the mirror
  // mask, so a sample in both is scaled twice. A scaled sample is trunc(f * sample) kept to its
  // low 8 bits, f = 1 - percent in single precision (percent 0 leaves the image unchanged, 1
  // blackens both regions). image holds bscanwidth * ascanlen bytes, changed in place; a
  // non-positive size does nothing.
  //
  // Throws AlgorithmException: "Input image is NULL."; "Initialization is missing." when no masks
  // exist (Initialize not run or failed); "B-scan is larger than the mirror masks." when
  // bscanwidth * ascanlen exceeds the size given to Initialize (nothing is changed).
  void AttenuateMirrorImage(std::uint8_t* image, int bscanwidth, int ascanlen, float percent) const;

  // The masks (bscanWidth x ascanLength bytes), or null before a successful Initialize.
  const std::uint8_t* MirrorMask() const { return mirrorMask_.get(); }
  const std::uint8_t* AnteriorMask() const { return anteriorMask_.get(); }
  int BscanWidth() const { return bscanWidth_; }
  int AscanLength() const { return ascanLength_; }

 private:
  using Mask = std::unique_ptr<std::uint8_t[]>;

  // Sets the samples of the segment from (A-scan x1, depth y1) to (A-scan x2, depth y2) to 255
  // with a lateral and an axial sweep, so steep and flat segments are both drawn without gaps;
  // the end point itself is left to the next segment. Samples outside the B-scan are skipped, and
  // so is a segment with an end beyond 1e7 samples (no layer position).
  void DrawLine(float x1, float x2, float y1, float y2, std::uint8_t* image) const;

  // The enclosed region between the posterior and the mirrored anterior surface, outlined, filled
  // and cut above the iris/lens, into the zeroed working mask.
  void OutlineMirrorRegion(const float* mirrored, const float* posterior, std::uint8_t* work) const;
  void FillMirrorRegion(std::uint8_t* work, const float* irisLens) const;

  int bscanWidth_ = 0;
  int ascanLength_ = 0;
  Mask mirrorMask_;
  Mask anteriorMask_;
};

}  // namespace Talvex::SDOCT::Algorithms

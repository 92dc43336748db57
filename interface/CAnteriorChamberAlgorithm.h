// CAnteriorChamberAlgorithm: anterior chamber area of one wide-field B-scan.
#pragma once

namespace Talvex::SDOCT::Algorithms {

// Per-call facade: no state, no Initialize; each call builds its engine and destroys it before
// returning (also when it throws).
class CAnteriorChamberAlgorithm {
 public:
  // Cross-sectional area of the anterior chamber, in square micrometres: the region between the
  // posterior corneal surface and the iris/lens anterior surface of one B-scan.
  //
  //   PosteriorData  bscanWidth floats, posterior corneal surface per A-scan: depth in pixels
  //                  (sample index, fractional), -1 = no value. Read only.
  //   IrisLensData   bscanWidth floats, iris/lens anterior surface per A-scan, same convention.
  //   bscanWidth     A-scans in the B-scan, 1 to 4096.
  //   ascanLength    samples per A-scan.
  //   widthMu        lateral extent of the B-scan in micrometres.
  //   depthMu        axial extent of the A-scan in tissue-equivalent micrometres (optical path
  //                  divided by the group index 1.386).
  //
  // Where one surface starts or ends before the other, the gap is closed with the straight line
  // between the two end points. Throws AlgorithmException with "Input posterior layer is NULL.",
  // "Input iris/lens layer is NULL.", "area cannot be found due to bad segmentation." (a surface
  // without any value, or bscanWidth < 1) or "Input B-scan width exceeds 4096 A-scans.".
  float AnteriorChamberArea(const float* PosteriorData, const float* IrisLensData, int bscanWidth,
                            int ascanLength, float widthMu, float depthMu);

  // Nothing to release: the facade holds no engine between calls.
  void Dispose() {}
};

}  // namespace Talvex::SDOCT::Algorithms

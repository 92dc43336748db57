// CAnteriorChamber: cross-sectional area of the anterior chamber in one B-scan.
#pragma once

namespace Talvex::SDOCT::Engines {

class CAnteriorChamber {
 public:
  // Largest B-scan width (A-scans) the area computation accepts.
  static constexpr int kMaxAscans = 4096;

  // Area (square micrometres) between the posterior corneal surface and the iris/lens surface.
  //
  // posteriorLayer, irisLensLayer: bscanWidth depths in pixels (fractional), -1 = no value.
  // widthMu: lateral extent of the B-scan (um); depthMu: axial extent of the A-scan (um).
  // Depths are converted with dz = depthMu / ascanLength, lateral positions with
  // dx = widthMu / bscanWidth. Where one surface starts (or ends) before the other, the missing
  // surface over the gap is filled with the straight line joining the two end points, so the
  // surfaces meet at the outer ends. The area is the sum of |q - p| * dx over the A-scans where the
  // posterior surface has a value.
  //
  // Throws AlgorithmException:
  //   "Input posterior layer is NULL." / "Input iris/lens layer is NULL." for a null array;
  //   "area cannot be found due to bad segmentation." when a surface has no value at all
  //   (also for bscanWidth < 1);
  //   "Input B-scan width exceeds 4096 A-scans." for bscanWidth > 4096 (nothing is read).
  float AnteriorChamberArea(const float* posteriorLayer, const float* irisLensLayer, int bscanWidth,
                            int ascanLength, float widthMu, float depthMu) const;
};

}  // namespace Talvex::SDOCT::Engines

// CCorneaPowerAlgorithm: anterior, posterior and total refractive power of the cornea, in
// dioptres, from the anterior and posterior surfaces of a radial scan.
//
// Along every meridian a parabola is fitted robustly to each surface within roiRadius of the
// corneal apex; the radius of curvature at its vertex gives the surface power (anterior
// (n1 - 1) / R, posterior (n2 - n1) / R), the thick-lens combination with the apical thickness
// the total power, and each power is averaged over the meridians whose fits succeeded. A parabola
// fitted over a zone of finite radius to a sphere or a prolate cornea reads somewhat steeper than
// the paraxial (apical) curvature.
//
// Arguments:
//   anteriorLayerData, posteriorLayerData  numLayers x widthPix floats: surface depth in samples
//                      (-1 = no value), as the segmentation gives them, best after dewarping so
//                      that depth and lateral positions are physical. Not modified (the facade
//                      reorders copies).
//   angleData          numLayers meridian angles in degrees, the scanner's convention, in the
//                      acquisition order; the facade converts and sorts them itself, so pass the
//                      layers and angles as acquired, not reordered.
//   depthPix, depthMu  samples per A-scan and the physical depth they span (micrometres).
//   fovMuData          half extents f0 (along 0 degrees) and f1 (along 90 degrees) of the scan
//                      field, micrometres; the meridian at theta is 2 sqrt(f0^2 cos^2 + f1^2 sin^2)
//                      long, its A-scans evenly spaced from end to end.
//   roiRadius          radius (micrometres) of the fit zone around the apex.
//   centThickness      corneal thickness (micrometres) used on every meridian; 0 or less
//                      measures it per meridian at the apex.
// Returns 0 with the three powers written, or -1 (outputs unchanged) when fewer than a third of
// the meridians (integer division) gave both fits.
//
// Robust fits draw from the library's fixed default random array, restarted by every call: the
// same inputs and parameters give the same powers.
//
// Limits: 1 to 360 meridians and 1 to 2048 A-scans per B-scan, refused before any work with
// "CornealPower: the number of meridians must be between 1 and 360." and "CornealPower: the
// number of A-scans per B-scan must be between 1 and 2048.".
// Errors: "CornealPower: parameter initialization is missing." before Initialize (or after
// Dispose), "Input anterior layer is NULL.", "Input posterior layer is NULL.", and
// "IPP: ippsMean_32f() failed." when no meridian succeeds on a scan of fewer than 3 meridians.
#pragma once

#include "core/CorneaPowerParameter.h"
#include "interface/FacadeSupport.h"

namespace Talvex::SDOCT::Algorithms {

class CCorneaPower;

class CCorneaPowerAlgorithm {
 public:
  CCorneaPowerAlgorithm();
  ~CCorneaPowerAlgorithm();
  CCorneaPowerAlgorithm(const CCorneaPowerAlgorithm&) = delete;
  CCorneaPowerAlgorithm& operator=(const CCorneaPowerAlgorithm&) = delete;

  // Replaces the engine by a new one holding a copy of every field of parameters; later changes
  // to the record act only after the next Initialize.
  void Initialize(const CorneaPowerParameter& parameters);

  int CornealPower(const float* anteriorLayerData, const float* posteriorLayerData,
                   const float* angleData, int numLayers, int widthPix, int depthPix, float depthMu,
                   const float* fovMuData, float roiRadius, float centThickness,
                   float& anteriorPower, float& posteriorPower, float& totalPower);

  // Releases the engine; the facade must be initialised again before use.
  void Dispose();

 private:
  Detail::HeldEngine<CCorneaPower> corneaPower_;
};

}  // namespace Talvex::SDOCT::Algorithms

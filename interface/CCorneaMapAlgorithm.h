// CCorneaMapAlgorithm: corneal thickness maps of a radial scan (pachymetry and epithelium), their
// ring and sector values, the thinnest point, and anterior-to-posterior A-scan matching.
#pragma once

#include <cstdint>

#include "core/MapPoint.h"

namespace Talvex::SDOCT::Algorithms {

// Per-call facade: no state, no Initialize; each call builds its engines and destroys them before
// returning (also when it throws). Arrays are the caller's; inputs are never modified (the layers
// are worked on in copies).
//
// Radial scans. The maps take the meridians exactly as the scanner delivered them: numbscans
// B-scans of bscanwidth A-scans, the meridian of B-scan b given by AngleData[b] in degrees. The
// facade converts the angles itself (meridian a becomes 180 - a, plus 360 when negative; a
// meridian whose converted angle is at most 180 has its A-scan order reversed, otherwise 180 is
// subtracted), sorts the meridians by angle and reads the scan length of each from the elliptical
// field: L = 2 sqrt(f0^2 cos^2 + f1^2 sin^2) with f0 = fovMuData[0] (half extent along 0 degrees)
// and f1 = fovMuData[1] (along 90 degrees), micrometres.
// Layers and angles that have already been reordered (CCorneaSegmentationAlgorithm::
// ReorderBscansLayers) must NOT be fed to this facade, nor to the power and vertex facades: their
// angles would be converted a second time and the map would come out rotated and mirrored. Pass
// the segmentation's (or the dewarping's) layers in acquisition order with the scanner's angles.
//
// Layers: numbscans * bscanwidth floats, depth in samples per A-scan, -1 = no value; ascanlen
// samples span depthMu micrometres (tissue-equivalent). Confidences: same shape, 1 = confident,
// negative = unusable.
//
// Maps come out in display orientation: row-major, the column index growing with x and the row
// index growing downwards (decreasing y); thickness in micrometres, -1 where there is none
// (outside the inscribed circle above all). In the scanner's own frame, A-scan k of a meridian
// of angle a lies at (r cos a, r sin a) with r growing with k and y pointing down the map's rows.
//
// Thickness measure. The maps measure, for every A-scan, the distance from the anterior surface
// to the lower surface on square pixels. ThicknessMeasure::GridPixel (the default) reads it from
// the distance transform of the lower surface drawn on whole samples; this reads about half to one
// sample thin. ThicknessMeasure::SubPixel refines it to the distance to the fractional surface
// itself, at some extra cost per A-scan; choose it when micrometre accuracy matters. The option
// is the last argument of the map operations, so that calls written without it get the grid-pixel
// behaviour and the facade stays stateless.
//
// Ring, sector and minimum values read a finished map. Pixels the host considers unreliable (the
// PachymetryMapMask pixels above all, or its own masking) must be set to -1 in the map given to
// ComputeSubfields and MinimumCorneaMap: they do not read the mask, and skip only pixels without
// a value (not above 0 for the subfields, negative for the minimum, where 0 would count).
//
// Errors: every failure throws AlgorithmException with a fixed message; the engine messages pass
// through unchanged ("TalvexAlgorithm: cspline() failed." for a meridian without enough lower
// surface values, "Maximum number of Ascan in a Bscan must be smaller than 2049." beyond 2048
// A-scans, "TalvexAlgorithm: gridfit() failed.", ...). Outputs may be partly written then.
class CCorneaMapAlgorithm {
 public:
  enum class ThicknessMeasure { GridPixel = 0, SubPixel = 1 };

  static constexpr const char* kMapWidthTooLarge =
      "Epithelial map width must be between 1 and the B-scan width.";

  // Pachymetry: anterior to posterior surface.
  //   bsplineWavelength   smoothing of both surfaces per meridian (cut-off wavelength as a
  //                       fraction of bscanwidth) before the thickness is measured.
  //   confThresh          not used.
  //   PachymetryMap       out, bscanwidth x bscanwidth floats, spanning pachMapWidthMu um.
  //   PachymetryMapMask   out, bscanwidth x bscanwidth bytes: 1 where the map has no value, and
  //                       beyond the outermost confident posterior A-scan of every half-meridian
  //                       (a wedge of one meridian spacing around it); 0 elsewhere.
  //   pachMapWidth        reconstruction grid (N x N, resized to bscanwidth when different).
  //   interp, regul, smooth  reconstruction: interp -1 Zernike of order trunc(smooth); 0
  //                       (triangle) or 1 (bilinear) the regularised grid fit with regulariser
  //                       regul (0 gradient, 1 Laplacian) and weight smooth; other values mean
  //                       1, 0, 20.
  // A-scans whose anterior or posterior confidence is negative carry no thickness.
  void PachymetryMap(const float* AnteriorData, const float* PosteriorData, int numbscans,
                     int bscanwidth, int ascanlen, float bsplineWavelength,
                     const float* AnteriorConfidenceData, const float* PosteriorConfidenceData,
                     float confThresh, const float* fovMuData, float depthMu,
                     const float* AngleData, float* PachymetryMap, std::uint8_t* PachymetryMapMask,
                     int pachMapWidth, float pachMapWidthMu, int interp, int regul, float smooth,
                     ThicknessMeasure measure = ThicknessMeasure::GridPixel);

  // Epithelium: anterior surface (smoothed) to Bowman layer (as given), over the central mapWidth
  // A-scans of every meridian (1 <= mapWidth <= bscanwidth, else kMapWidthTooLarge).
  //   EpithelialMap       out, mapWidth x mapWidth floats spanning mapWidthMu um.
  //   mapResampleWidth    reconstruction grid size.
  //   dxyzData            2 x numbscans doubles: the meridian at sorted position k (ascending
  //                       converted angle) is shifted by (dxyzData[k], dxyzData[numbscans + k])
  //                       micrometres (x right, y up) before the fit, e.g. to undo eye motion.
  // The confidences and confThresh are not used (may be null).
  void EpithelialMap(const float* AnteriorData, const float* BowmanData, int numbscans,
                     int bscanwidth, int ascanlen, float bsplineWavelength,
                     const float* AnteriorConfidenceData, const float* BowmanConfidenceData,
                     float confThresh, const float* fovMuData, float depthMu,
                     const float* AngleData, float* EpithelialMap, int mapResampleWidth,
                     float mapWidthMu, int mapWidth, int interp, int regul, float smooth,
                     const double* dxyzData,
                     ThicknessMeasure measure = ThicknessMeasure::GridPixel);
  // As above without shifts.
  void EpithelialMap(const float* AnteriorData, const float* BowmanData, int numbscans,
                     int bscanwidth, int ascanlen, float bsplineWavelength,
                     const float* AnteriorConfidenceData, const float* BowmanConfidenceData,
                     float confThresh, const float* fovMuData, float depthMu,
                     const float* AngleData, float* EpithelialMap, int mapResampleWidth,
                     float mapWidthMu, int mapWidth, int interp, int regul, float smooth,
                     ThicknessMeasure measure = ThicknessMeasure::GridPixel);

  // Mean, minimum and maximum of the centre disc and of the sectors of each ring of a map
  // widthPix pixels (widthmm mm) wide, about (xCenter, yCenter) in pixels (column, row).
  //   regionRadiusesData  numRegion increasing radii, mm: the disc has radius R0, ring k spans
  //                       R(k-1) .. R(k). The usual layout is {1, 2.5, 3.5} with 8 sectors.
  //   subfield*Data       out, 1 + (numRegion - 1) numSubfields floats each: entry 0 the disc,
  //                       entry 1 + (k - 1) numSubfields + j sector j of ring k. Sector 0 is
  //                       centred on +x (towards the higher columns) and the sectors follow
  //                       counter-clockwise as seen on the map (sector numSubfields / 4 points to
  //                       the top rows).
  // Pixels count when their value is above 0. A region whose counted pixels cover less than
  // areaPerc (0 .. 1) of its geometric area reports -1 for all three values.
  // Throws "input map is NULL.".
  void ComputeSubfields(const float* pachMapData, int widthPix, float widthmm, float xCenter,
                        float yCenter, float areaPerc, const float* regionRadiusesData,
                        int numRegion, int numSubfields, float* subfieldMeanData,
                        float* subfieldMinData, float* subfieldMaxData);

  // Thinnest point within roiRadiusmm of (xCenter, yCenter): the pixel (column, row) of the
  // smallest value >= 0, or the centroid of the pixels sharing it. Throws
  // "IPP: ippsMean_32f() failed." when the region holds no value.
  void MinimumCorneaMap(const float* mapData, int widthPix, float widthmm, float xCenter,
                        float yCenter, float roiRadiusmm, MapPoint& minPoint);

  // For every anterior A-scan of one B-scan (widthPix A-scans, depthPix samples over depthMu um)
  // the index of the nearest posterior A-scan, with the scan length read from fovMuData at angle
  // (radians, taken as it is).
  void AnteriorToPosteriorDistIdx(const float* anteriorLayerData, const float* posteriorLayerData,
                                  int depthPix, int widthPix, float depthMu, const float* fovMuData,
                                  float angle, int* posteriorPosData);

  // Nothing to release: the facade holds no engine between calls.
  void Dispose() {}
};

}  // namespace Talvex::SDOCT::Algorithms

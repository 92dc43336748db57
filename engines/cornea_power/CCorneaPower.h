// CCorneaPower: anterior, posterior and total refractive power of the cornea (dioptres) from the
// anterior and posterior surfaces of a radial scan.
//
// Along every meridian a parabola z = a s^2 + b s + c is fitted robustly to each surface within
// roiRadius of the apex (s signed position along the meridian, z depth, both micrometres). The
// radius of curvature at the parabola's vertex gives the surface power: anterior
// (n1 - 1) / Ra, posterior (n2 - n1) / Rp; the total is the thick-lens combination
// Pa + Pp - t / n1 * Pa * Pp with t the corneal thickness at the apex. Each power is averaged
// over the meridians whose fits succeeded.
//
// Layers hold numLayers rows of widthPix depths in samples (-1 = no value); depthPix samples span
// depthMu micrometres. Angles are radians in ascending order, as ReorderLayers leaves them; the
// first half of the A-scans of a meridian lies in direction angle + pi. fovMu holds the length
// (micrometres) of every meridian. A position along a meridian is signed by its en-face direction
// (negative when the direction lies in [pi, 2 pi)); at the angle pi (the scanner's 0 degrees) that
// makes the A-scans run from positive to negative positions, and the vertex and the apex A-scan
// are placed by the same sign, so that this meridian too is fitted around its own apex.
//
// The robust fits draw from the engine base's default random array; every CornealPower call
// restarts its cursor, so a call depends only on its inputs and parameters.
#pragma once

#include <cstdint>

#include "engines/base/CAnteriorSegmentModule.h"

namespace Talvex::SDOCT::Algorithms {

class CorneaPowerParameter;

class CCorneaPower : public CAnteriorSegmentModule {
 public:
  // Working limits: A-scans per B-scan (one exclusion flag per fitted point) and meridians (the
  // per-meridian thickness and power tables).
  static constexpr int kMaxWidth = 2048;
  static constexpr int kMaxMeridians = 360;

  CCorneaPower() = default;
  ~CCorneaPower() override = default;

  // Copies every field of the record.
  void Configure(const CorneaPowerParameter& parameters);

  // Refuses sizes outside the working tables before any work: numLayers outside 1 .. 360 throws
  // "CornealPower: the number of meridians must be between 1 and 360.", widthPix outside
  // 1 .. 2048 "CornealPower: the number of A-scans per B-scan must be between 1 and 2048.".
  static void CheckSizes(int numLayers, int widthPix);

  // Powers of a radial scan into the three outputs; returns 0, or -1 (outputs unchanged) when
  // fewer than numLayers / 3 meridians succeeded. centThickness > 0 (micrometres) is used as the
  // corneal thickness of every meridian; otherwise the thickness is measured per meridian as the
  // posterior minus the anterior depth at the anterior apex A-scan. A meridian whose fits fail,
  // or whose apex falls outside its A-scans, is skipped. Throws "Input anterior layer is NULL.",
  // "Input posterior layer is NULL.", the size messages of CheckSizes and
  // "IPP: ippsMean_32f() failed." (no meridian succeeded while fewer than 3 were given).
  int CornealPower(const float* anteriorLayer, const float* posteriorLayer, const float* angles,
                   int numLayers, int widthPix, int depthPix, float depthMu, const float* fovMu,
                   float roiRadius, float centThickness, float& anteriorPower,
                   float& posteriorPower, float& totalPower);

  // Radius of curvature at the vertex of the robust parabola through the n samples (x, y, z)
  // within roi of pt (z == -1 is no value), or -1 when the fit fails or is rejected. pt is the
  // fit centre on entry and the vertex on exit ((-1, -1) on failure). which = 1 (anterior) fits
  // twice, the second time around the first vertex; which = 0 (posterior) fits once.
  float MeridianRadiusCurvature(const float* x, const float* y, const float* z, int n, float* pt,
                                int which, float roi, float angle);

  // ReorderLayers of the engine base.
  void PReorderLayers(float* layersIn, float* layersOut, int numLayers, int widthPix,
                      float* angles);

 private:
  // Robust parabola through the samples within roi of pt: coeff (a, b, c) and the number of
  // gathered samples in m; false when there are too few or the fit fails.
  bool FitAround(const float* x, const float* y, const float* z, int n, const float* pt, float roi,
                 float* coeff, int& m, int& ninliers);

  // The parameters, by the names of the record's fields.
  float n1 = 0.0f;
  float n2 = 0.0f;
  float ransacPercPoints = 0.0f;
  float ransacDistThresh = 0.0f;
  float ransacProbability = 0.0f;
  std::int32_t ransacMaxDataTrials = 0;
  std::int32_t ransacMaxTrials = 0;
  float inlierPerc = 0.0f;
};

}  // namespace Talvex::SDOCT::Algorithms

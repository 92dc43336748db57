// CCorneaMapSubfield: statistics of a finished thickness map over rings and sectors, the
// thinnest point of a region, and the masking of a sector.
//
// Maps are width x width floats, row-major (row = y, column = x); a value not above 0 (-1 as a
// rule) marks a pixel without thickness. Regions are annular sectors about a centre (x0, y0) in
// pixels: radii r0 .. r0 + dR, polar angles theta0 .. theta0 + dTheta in radians, measured
// counter-clockwise with y pointing up, so that pixel (x, y) has the polar angle
// atan2(y0 - y, x - x0).
//
// Only the pixels of a bounding box of the sector are visited: the box of the sector's corner
// points and of its outer arc sampled every degree, each point's coordinates truncated, clamped
// to the map.
//
// The engine keeps no state between calls apart from the coverage fraction of the last
// ComputeSubfields; a caller builds it for one call.
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

class CCorneaMapSubfield {
 public:
  // Most pixels at the minimum whose centroid MinimumCorneaMap takes (the first in scan order).
  static constexpr int kMaxMinimumPixels = 4096;

  CCorneaMapSubfield();

  // Mean, minimum and maximum thickness of the centre disc and of numSubfields sectors of every
  // ring of a map widthPix pixels (widthmm millimetres) wide, about (xCenter, yCenter) pixels.
  // regionRadiuses: numRegion increasing radii in mm; R0 bounds the centre disc, R(k-1) .. R(k)
  // ring k. Entry 0 of each output is the disc, entry 1 + (k - 1) numSubfields + j sector j of
  // ring k: sector 0 is centred on +x, the others follow counter-clockwise. A region whose valid
  // pixels (value > 0) cover less than areaPerc of its geometric area, or none, reports -1 in all
  // three. numRegion < 1 writes nothing. Throws "input map is NULL.".
  void ComputeSubfields(const float* map, int widthPix, float widthmm, float xCenter, float yCenter,
                        float areaPerc, const float* regionRadiuses, int numRegion,
                        int numSubfields, float* subfieldMean, float* subfieldMin,
                        float* subfieldMax);

  // {mean, min, max} of the values > 0 inside the sector, or {-1, -1, -1} when their count is 0
  // or below areaPerc * subfieldArea (pixels).
  void SubFieldValues(const float* diffMap, int width, float x0, float y0, float r0, float dR,
                      float theta0, float dTheta, float subfieldArea, float* subfieldValues) const;

  // Pixel (x, y) lies at distance d = r0 .. r0 + dR from the centre and at an angle 0 .. dTheta
  // beyond theta0 (boundaries included).
  bool InsideSector(float x, float y, float x0, float y0, float r0, float dR, float theta0,
                    float dTheta) const;

  // The angle brought into [0, 2 pi) by whole turns (non-finite angles are returned unchanged).
  float NormalizeTheta(float theta) const;

  // Sets mask[y * width + x] = 1 for every pixel inside the sector; other bytes stay as they are.
  void MaskROI(int width, float x0, float y0, float r0, float dR, float theta0, float dTheta,
               std::uint8_t* mask) const;

  // Position {x, y} (pixels) of the thinnest point inside the sector: the smallest value >= 0,
  // and where several pixels hold it (within 1e-6) the centroid of the first kMaxMinimumPixels of
  // them in scan order. Throws "IPP: ippsMean_32f() failed." when no pixel of the sector has a
  // value.
  void MinimumCorneaMap(const float* map, int width, float x0, float y0, float r0, float dR,
                        float theta0, float dTheta, float* pos) const;

 private:
  struct Box {
    int xmin, xmax, ymin, ymax;
  };
  Box SectorBox(int width, float x0, float y0, float r0, float dR, float theta0,
                float dTheta) const;

  float m_pi;
  float m_twoPi;
  float m_areaPerc = 0.0f;
};

}  // namespace Talvex::SDOCT::Algorithms

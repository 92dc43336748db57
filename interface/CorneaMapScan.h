// Preparation of a radial scan for the map engines and display orientation of their maps (the
// working steps of CCorneaMapAlgorithm).
#pragma once

#include <cstdint>
#include <vector>

namespace Talvex::SDOCT::Algorithms::Detail {

// The meridians of a radial scan in the order and direction the map engine takes them.
struct RadialScan {
  int bscanwidth = 0;
  std::vector<float> angles;   // converted angles in radians, ascending
  std::vector<float> lengths;  // scan length of each sorted meridian, micrometres
  std::vector<int> source;     // scanner B-scan at each sorted position
  std::vector<bool> reversed;  // whether that B-scan's A-scan order is reversed

  // Copy of a layer-shaped array (one row of bscanwidth floats per scanner B-scan): the rows in
  // sorted order, each reversed where its meridian is.
  std::vector<float> Arrange(const float* layerData) const;
};

// Scan length along a meridian of angle theta (radians) of the elliptical field with half
// extents fovMuData[0] (along 0) and fovMuData[1] (along 90 degrees).
float ScanLength(const float* fovMuData, float theta);

// Converts the scanner angles (degrees), sorts the meridians and reads their lengths. Throws
// "IPP: ippsMulC_32f_I() failed." and "IPP: ippsSortIndexAscend_32f_I() failed." (numbscans < 1).
RadialScan PrepareRadialScan(const float* AngleData, int numbscans, int bscanwidth,
                             const float* fovMuData);

// Engine layout (element [i * width + j] at the i-th x and j-th y node) to display orientation
// (rows from top = high y to bottom, columns along x), in place: the transpose followed by the
// mirror of the rows. Throws "IPP: ippiTranspose_32f_C1IR() failed." for a null map or a width
// below 1.
void ToDisplayOrientation(float* map, int width);

// Adds to the mask (bscanwidth x bscanwidth, display orientation) the periphery of each sorted
// meridian beyond its outermost confident (exactly 1) posterior A-scan: a wedge of width
// 2 pi / numbscans around each half-meridian, from the radius of that A-scan (map pixels, the
// scan length spanning the map width) outward. Only the outer part of each half is searched
// (A-scans more than 100 away from the middle); a half confident from its first A-scan, or never,
// adds nothing. fov and angles are the sorted lengths and angles, confidence the sorted rows.
void CorneaMapMask(int numbscans, int bscanwidth, const float* fov, const float* angles,
                   const float* confidence, std::uint8_t* mask);

}  // namespace Talvex::SDOCT::Algorithms::Detail

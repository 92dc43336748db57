// A thickness map as a colour picture: a perceptually uniform colour scale (viridis) with a
// legend labelled in micrometres, the centre disc, rings and sector boundaries with the sector
// means written in, the thinnest point marked and the orientation letters (S at the top, I at the
// bottom; N and T left and right when the eye side is known). Text is drawn with a small
// built-in bitmap font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cornea_report/PachymetryRoad.h"

namespace Talvex::Tools {

struct MapPicture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // row after row, 3 bytes per pixel
};

// The colour of t in 0..1 on the viridis scale (dark violet to yellow).
void ViridisColour(double t, std::uint8_t rgb[3]);

// Draws `map` (geometry g) with the ring and sector layout of `layout`. eyeSide: "OD" (right eye:
// temporal on the left of the picture), "OS" (left eye: temporal on the right) or "" (unknown:
// no N/T letters). The colour scale spans the map's values within the outer ring, rounded out
// to 10 um.
MapPicture DrawMapPicture(const MapResult& map, const MapGeometry& g, const RoadOptions& layout,
                          const std::string& title, const std::string& eyeSide);

// Writes the picture as a PNG; false with *error on failure.
bool WriteMapPicture(const std::string& path, const MapPicture& picture, std::string* error);

}  // namespace Talvex::Tools

// MapPoint: a position on an en-face map, in map pixels (x = column, y = row).
#pragma once

namespace Talvex::SDOCT::Algorithms {

struct MapPoint {
  float x = 0.0f;
  float y = 0.0f;
};

}  // namespace Talvex::SDOCT::Algorithms

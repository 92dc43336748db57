// Helpers shared by the source files of the cornea map engine.
#pragma once

#include "core/AlgorithmException.h"
#include "engines/cornea_map/CCorneaMap.h"

namespace Talvex::SDOCT::Algorithms::CorneaMapDetail {

constexpr const char* kWidthLimit = "Maximum number of Ascan in a Bscan must be smaller than 2049.";

// Refuses B-scans wider than the engine's working arrays, before anything is read or written.
inline void RequireWidth(int widthPix) {
  if (widthPix > CCorneaMap::kMaxWidth) throw AlgorithmException(kWidthLimit);
}

}  // namespace Talvex::SDOCT::Algorithms::CorneaMapDetail

// Named scanner descriptions for CCorneaDewarpingAlgorithm.
//
//   DewarpScanner s = DewarpPresetRadial8mm();
//   dewarping.InitializeHDCornea(s.n_phase, s.n_group, s.n_ref, numDirections, directions,
//                                s.half_FOV, s.half_telecentricity, s.scan_sag, s.scan_depth);
//   (InitializeCornea takes s.n_phase[0], s.n_group[0].)
#pragma once

#include "core/DewarpScanner.h"

namespace Talvex::SDOCT::Algorithms {

// Radial scan of 8 mm (half field 4 mm in both directions) with a beam that sweeps +-2 degrees
// across the field, a flat scan surface (sag 0) and A-scans of 2.3 mm tissue-equivalent depth
// (3.19 mm optical path). Cornea: phase index 1.376, group index 1.386; aqueous: phase 1.336,
// group 1.345; reference index 1.386. This is the scanner of the project's synthetic eye.
DewarpScanner DewarpPresetRadial8mm();

}  // namespace Talvex::SDOCT::Algorithms

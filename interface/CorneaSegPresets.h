// Named starting points for CorneaSegParameter, each for a stated scan geometry.
//
// A record has no defaults of its own; these functions return a filled record that segments the
// stated scans well (validated on the project's synthetic eyes). Adjust lateralXMicron,
// lateralYMicron and depthMicron to the scanner's real extents; the other values are in physical
// units or per A-scan and carry over to similar scans.
#pragma once

#include "interface/CorneaSegParameter.h"

namespace Talvex::SDOCT::Algorithms {

// Radial pachymetry scan: 1024 A-scans across 9 mm, 1024 samples over 2 mm tissue-equivalent
// depth (about 2 um per sample, 1.95 um axial sampling for a ~6 um axial resolution).
CorneaSegParameter CorneaSegPresetRadial1024();

// The same scan geometry read out with 640 samples over 2 mm (about 3.1 um per sample).
CorneaSegParameter CorneaSegPresetRadial640();

}  // namespace Talvex::SDOCT::Algorithms

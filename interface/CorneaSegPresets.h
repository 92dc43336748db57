// Named starting points for CorneaSegParameter, each for a stated scan geometry.
//
// A record has no defaults of its own; these functions return a filled record that segments the
// stated scans well (validated on the project's synthetic eyes). Adjust lateralXMicron,
// lateralYMicron and depthMicron to the scanner's real extents; the other values are in physical
// units or per A-scan and carry over to similar scans.
#pragma once

#include "core/CorneaSegParameter.h"

namespace Talvex::SDOCT::Algorithms {

// Radial pachymetry scan: 1024 A-scans across 8 mm, 1024 samples over 2.3 mm tissue-equivalent
// depth (2.25 um per sample, for an axial resolution of about 6 um).
CorneaSegParameter CorneaSegPresetRadial1024();

// The same scan read out with 640 samples over 2.3 mm (3.6 um per sample).
CorneaSegParameter CorneaSegPresetRadial640();

}  // namespace Talvex::SDOCT::Algorithms

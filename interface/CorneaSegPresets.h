// Named starting points for CorneaSegParameter, each for a stated scan geometry.
//
// A record has no defaults of its own; these functions return a filled record that segments the
// stated scans well (validated on the project's synthetic eyes). Adjust lateralXMicron,
// lateralYMicron and depthMicron to the scanner's real extents; the other values are in physical
// units or per A-scan and carry over to similar scans.
#pragma once

#include <cstdint>

#include "core/CorneaSegParameter.h"

namespace Talvex::SDOCT::Algorithms {

// Radial pachymetry scan: 1024 A-scans across 8 mm, 1024 samples over 2.3 mm tissue-equivalent
// depth (2.25 um per sample, for an axial resolution of about 6 um).
CorneaSegParameter CorneaSegPresetRadial1024();

// The same scan read out with 640 samples over 2.3 mm (3.6 um per sample).
CorneaSegParameter CorneaSegPresetRadial640();

}  // namespace Talvex::SDOCT::Algorithms

namespace Talvex::SDOCT::Algorithms {

// Grey levels of a corneal volume, measured around its traced surfaces (means over regions,
// medians over the central A-scans of the B-scans measured).
struct CorneaGreyLevels {
  float air = 0;                 // 20 to 120 um above the anterior surface
  float anteriorReflection = 0;  // brightest 2 adjacent samples within 20 um of the anterior
  float stroma = 0;              // from 100 um below the anterior to 50 um above the posterior
  float posteriorStroma = 0;     // 80 to 20 um above the posterior surface
  float aqueous = 0;             // 20 to 120 um below the posterior surface
  int bscansMeasured = 0;        // B-scans whose surfaces were found (0: levels not estimated)
  bool applied = false;          // the returned record carries these levels
};

// The preset with its step-template levels set to the volume's own grey levels, so that a host
// need not know its device's grey scale: signal1Level_0/1/2 become air, stroma and the anterior
// reflection (the reflection only when the preset models one: signal1Level_2 > -100),
// signal2Level_0/1 the posterior stroma and the aqueous. The modelled anterior profile must stay
// a clean step on the 8-bit scale: a very dark air or a bright reflection makes it ring and wrap,
// so the air is raised and the reflection lowered (or dropped) in steps of 5 until it does. The
// levels are measured around the surfaces that the preset itself finds (robust fits searching
// past empty trials, cornea evidence required) in up to four B-scans spread over the volume
// (numBscans x bscanWidth x ascanLength bytes, as for SegmentCornea). The adapted record is
// returned only when it segments those B-scans with at least as many confident A-scans as the
// preset (levels->applied); otherwise, and when no B-scan yields surfaces
// (levels->bscansMeasured = 0), the preset comes back unchanged. `levels`, when given, receives
// what was measured. Throws "Input SD-OCT volume is NULL." and what SegmentCornea throws.
CorneaSegParameter CorneaSegAdaptLevels(const std::uint8_t* volume, int numBscans, int bscanWidth,
                                        int ascanLength, const CorneaSegParameter& preset,
                                        CorneaGreyLevels* levels = nullptr);

}  // namespace Talvex::SDOCT::Algorithms

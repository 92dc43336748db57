// Named starting point for CorneaPowerParameter.
#pragma once

#include "core/CorneaPowerParameter.h"

namespace Talvex::SDOCT::Algorithms {

// Corneal power of dewarped surfaces from a radial scan of 512 to 2048 A-scans per meridian:
// Gullstrand's corneal and aqueous indices and robust fits that keep a meridian only when most
// of its central samples agree with one parabola.
CorneaPowerParameter CorneaPowerPresetStandard();

}  // namespace Talvex::SDOCT::Algorithms

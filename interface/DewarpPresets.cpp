#include "interface/DewarpPresets.h"

namespace Talvex::SDOCT::Algorithms {

DewarpScanner DewarpPresetRadial8mm() {
  DewarpScanner s;
  s.n_phase[0] = 1.376f;
  s.n_phase[1] = 1.336f;
  s.n_group[0] = 1.386f;
  s.n_group[1] = 1.345f;
  s.n_ref = 1.386f;
  s.half_FOV[0] = s.half_FOV[1] = 4.0f;
  s.half_telecentricity[0] = s.half_telecentricity[1] = 2.0f;
  s.scan_sag[0] = s.scan_sag[1] = 0.0f;
  s.scan_depth = 2.3f;
  return s;
}

}  // namespace Talvex::SDOCT::Algorithms

// DewarpScanner: the scanner description that the dewarping initialisations take, as one record.
#pragma once

namespace Talvex::SDOCT::Algorithms {

// Entries [0], [1]: horizontal, then vertical scan direction (half fields, telecentricity, sag);
// cornea, then the medium behind the posterior surface (indices).
struct DewarpScanner {
  float n_phase[2] = {0, 0};              // phase refractive indices
  float n_group[2] = {0, 0};              // group refractive indices
  float n_ref = 0;                        // group index that turns optical path into depth
  float half_FOV[2] = {0, 0};             // half lateral field of view, mm
  float half_telecentricity[2] = {0, 0};  // half beam sweep angle, degrees
  float scan_sag[2] = {0, 0};             // axial sag of the scan surface at the field edge, mm
  float scan_depth = 0;                   // A-scan depth, tissue-equivalent mm (optical / n_ref)
};

}  // namespace Talvex::SDOCT::Algorithms

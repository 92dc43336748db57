#include "interface/CCorneaDewarpingAlgorithm.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/AlgorithmException.h"
#include "engines/dewarping/CCorneaDewarp.h"

namespace Talvex::SDOCT::Algorithms {

// Scan model of one radial B-scan: half field width, half beam sweep (degrees) and sag along
// its direction.
struct CCorneaDewarpingAlgorithm::ScanModel {
  float halfField, halfSweep, sag;
};

CCorneaDewarpingAlgorithm::CCorneaDewarpingAlgorithm() = default;
CCorneaDewarpingAlgorithm::~CCorneaDewarpingAlgorithm() = default;

void CCorneaDewarpingAlgorithm::Dispose() {
  m_radial_directions.reset();
  m_num_radial_scans = 0;
}

void CCorneaDewarpingAlgorithm::StoreScanner(bool& familyFlag, float n_ref, int num_radial_scans,
                                             const float* radial_directionData,
                                             const float* half_FOVData,
                                             const float* half_telecentricityData,
                                             const float* scan_sagData, float scan_depth) {
  m_n_ref = n_ref;
  // Without directions the family is not usable: its flag is cleared until they are stored.
  familyFlag = false;
  Dispose();
  const int count = std::max(num_radial_scans, 0);
  m_radial_directions.reset(new (std::nothrow) float[std::max(count, 1)]);
  if (!m_radial_directions) throw AlgorithmException("memory allocation failed.");
  std::copy(radial_directionData, radial_directionData + count, m_radial_directions.get());
  m_num_radial_scans = count;
  m_half_FOV_horizontal = half_FOVData[0];
  m_half_FOV_vertical = half_FOVData[1];
  m_half_telecentricity_horizontal = half_telecentricityData[0];
  m_half_telecentricity_vertical = half_telecentricityData[1];
  m_scan_sag_horizontal = scan_sagData[0];
  m_scan_sag_vertical = scan_sagData[1];
  m_scan_depth = scan_depth;
  familyFlag = true;
}

void CCorneaDewarpingAlgorithm::InitializeCornea(float n_phase, float n_group, float n_ref,
                                                 int num_radial_scans,
                                                 const float* radial_directionData,
                                                 const float* half_FOVData,
                                                 const float* half_telecentricityData,
                                                 const float* scan_sagData, float scan_depth) {
  m_n_phase1 = n_phase;
  m_n_group1 = n_group;
  StoreScanner(m_CorneaIntitialized, n_ref, num_radial_scans, radial_directionData, half_FOVData,
               half_telecentricityData, scan_sagData, scan_depth);
}

void CCorneaDewarpingAlgorithm::InitializeHDCornea(
    const float* n_phaseData, const float* n_groupData, float n_ref, int num_radial_scans,
    const float* radial_directionData, const float* half_FOVData,
    const float* half_telecentricityData, const float* scan_sagData, float scan_depth) {
  StoreTwoMedia(n_phaseData, n_groupData);
  StoreScanner(m_HDCorneaIntitialized, n_ref, num_radial_scans, radial_directionData, half_FOVData,
               half_telecentricityData, scan_sagData, scan_depth);
}

void CCorneaDewarpingAlgorithm::InitializeHDField(
    const float* n_phaseData, const float* n_groupData, float n_ref, int num_radial_scans,
    const float* radial_directionData, const float* half_FOVData,
    const float* half_telecentricityData, const float* scan_sagData, float scan_depth) {
  StoreTwoMedia(n_phaseData, n_groupData);
  StoreScanner(m_HDFieldIntitialized, n_ref, num_radial_scans, radial_directionData, half_FOVData,
               half_telecentricityData, scan_sagData, scan_depth);
}

void CCorneaDewarpingAlgorithm::StoreTwoMedia(const float* n_phaseData, const float* n_groupData) {
  m_n_phase1 = n_phaseData[0];
  m_n_phase2 = n_phaseData[1];
  m_n_group1 = n_groupData[0];
  m_n_group2 = n_groupData[1];
}

void CCorneaDewarpingAlgorithm::RequireDirections(int numbscans) const {
  if (numbscans > m_num_radial_scans) throw AlgorithmException(kTooFewDirections);
}

CCorneaDewarpingAlgorithm::ScanModel CCorneaDewarpingAlgorithm::ModelOf(int b) const {
  const float theta =
      static_cast<float>(static_cast<double>(m_radial_directions[b]) * m_pi / 180.0);
  const double c = std::cos(theta), s = std::sin(theta);
  const auto along = [&](float h, float v) {
    return std::sqrt(static_cast<float>(h * h * c * c + v * v * s * s));
  };
  return {along(m_half_FOV_horizontal, m_half_FOV_vertical),
          along(m_half_telecentricity_horizontal, m_half_telecentricity_vertical),
          along(m_scan_sag_horizontal, m_scan_sag_vertical)};
}

void CCorneaDewarpingAlgorithm::SetUpFirstPass(CCorneaDewarp& engine, int b) const {
  const ScanModel m = ModelOf(b);
  engine.Initialize(m_n_phase1, m_n_group1, m.halfSweep, m.halfField, m.sag, 2.0f * m.halfField,
                    m_scan_depth);
}

// The second refraction happens in the corrected image of the first: no beam sweep and no sag
// any more, the index ratios of the medium behind the posterior surface to the cornea, and the
// optical depth of the corrected A-scan.
void CCorneaDewarpingAlgorithm::SetUpSecondPass(CCorneaDewarp& engine, int b) const {
  const ScanModel m = ModelOf(b);
  engine.Initialize(m_n_phase2 / m_n_phase1, m_n_group2 / m_n_group1, 0.0f, m.halfField, 0.0f,
                    2.0f * m.halfField, m_n_ref * m_scan_depth);
}

}  // namespace Talvex::SDOCT::Algorithms

// The `--dewarp` stage of `talvex segment-cornea`: the segmented B-scans corrected for the scan
// geometry and for refraction at the anterior surface, with the surfaces as points in millimetres.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tools/cli/OutputFiles.h"

namespace Talvex::Cli {

using SDOCT::Algorithms::CorneaBscanOutcome;
using SDOCT::Algorithms::DewarpScanner;

// Names of the result files of the stage.
constexpr const char* kDewarpedJson = "dewarped.json";
constexpr const char* kDewarpedCsv = "dewarped.csv";

// The scanner description of the run: the synthetic eye's radial 8 mm scanner, with its half
// field and A-scan depth replaced by the segmentation's scan width and depth (the pictures' own
// geometry); then, when `path` is not empty, the fields its JSON object names (n_phase, n_group,
// half_FOV, half_telecentricity and scan_sag as [horizontal, vertical] or [cornea, aqueous]
// pairs; n_ref and scan_depth as numbers). Throws CliError(InputMissing) for a file that cannot
// be read and CliError(BadParameter) for malformed JSON, an unknown field or a value out of range.
DewarpScanner RunScanner(const std::string& path, int scanWidthMicron, int depthMicron);

// The segmented scan handed to the stage: numBscans B-scans of width A-scans of length samples,
// A-scan after A-scan; surfaces in samples (-1 none); meridian angles in degrees (empty: 0).
struct SegmentedScan {
  const std::uint8_t* volume;
  int numBscans, width, length;
  const std::vector<float>& anterior;
  const std::vector<float>& posterior;
  const std::vector<CorneaBscanOutcome>& outcomes;
  const std::vector<double>& anglesDeg;
};

// Dewarped scan: A-scans of `length` = ceil(source length x n_ref) samples (the air part of the
// source stretched by the reference index fits); surfaces in dewarped samples, -1 where the
// segmentation gave none or the B-scan was not dewarped (no surface found).
struct DewarpedScan {
  int length = 0;
  std::vector<std::uint8_t> images;
  std::vector<float> anterior, posterior;
  std::vector<bool> dewarped;  // per B-scan
};

// Dewarps every B-scan with surfaces (CCorneaDewarpingAlgorithm::DewarpCornea, the anterior
// surface smoothed with the given B-spline wavelength). Throws CliError(Segmentation) with the
// library's message.
DewarpedScan DewarpSegmentedScan(const SegmentedScan& scan, const DewarpScanner& scanner,
                                 float bsplineWavelength);

// Writes dewarped.json, dewarped.csv and (overlays) dewarped_overlay_NNN.png. Points are in the
// eye frame, mm: X right, Y up (a meridian of angle a runs along (cos a, -sin a)), Z depth below
// the shallowest dewarped anterior point of the scan (the apex estimate).
void WriteDewarped(StagedOutputs& out, const SegmentedScan& scan, const DewarpedScan& dewarped,
                   const DewarpScanner& scanner, bool overlays);

}  // namespace Talvex::Cli

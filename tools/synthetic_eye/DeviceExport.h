// Device export: a simulated scan turned into the picture a clinical anterior-segment OCT device
// exports. Such exports are 8-bit JPEGs (about 1020 x 640, 4.3 µm per sample axially, 6-9 µm per
// A-scan) on the device's own display scale: air almost black (0-5 with sparse noise), stroma
// anywhere from 60 to 190 depending on device and patient, the anterior reflection saturating at
// 200-255, a saturated vertical streak through the whole depth at the apex, the epithelium, a
// dark band at its base and the Bowman layer visible, a black fan-shaped mask below the cornea
// where the device blanked the image, and JPEG block artefacts.
//
// The export maps every grey value of the simulator's 40·log10 scale through one monotone
// piecewise-linear display curve (0 up to a gate, then through the stroma and anterior-peak
// levels, clipped at the saturation level) after a light smoothing, calibrated on the scan so that
// the mean air and the mean stroma come out at the requested levels; then adds grey-level noise,
// blanks the fan mask, draws the streak and round-trips every B-scan through a JPEG encoder and
// decoder. Surfaces are geometric, so the truth's surfaces stay exact; the truth gains the grey
// levels measured on the exported pixels (DeviceLevels) and, per B-scan, the mask and the streak.
#pragma once

#include <cstdint>
#include <string>

#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex {
namespace Synthetic {

// Settings of a device export; grey levels are on the exported 0-255 scale.
struct DeviceExport {
  double airLevel = 2.0;                   // mean grey of the air above the cornea
  double stromaLevel = 120.0;              // mean grey of the stroma
  double anteriorReflectionLevel = 235.0;  // grey of the median anterior reflection peak
  double saturationLevel = 255.0;          // brightest grey the device writes
  double greyNoise = 2.0;                  // standard deviation of additive grey noise
  // Gaussian smoothing (standard deviation, pixels) of the simulator's grey values before the
  // display curve, as devices filter their pictures; 0: none.
  double smoothingPx = 1.0;
  bool streak = true;  // saturated vertical streak at the apex
  double streakLevel = 255.0;
  int streakHalfWidth = 2;  // A-scans each side of the apex A-scan in the streak's core
  // Fan mask: a black sector below the cornea pointing down: its arc (radius fanRadiusMm about a
  // pivot straight below the posterior apex) starts fanGapUm below the posterior apex, its sides
  // meet at the pivot fanHalfAngleDeg either side of the vertical. It never reaches above the
  // posterior surface plus the level regions' margin, nor into A-scans without a posterior surface.
  bool fanMask = true;
  double fanGapUm = 120.0;
  double fanRadiusMm = 4.0;
  double fanHalfAngleDeg = 35.0;
  int jpegQuality = 90;  // 1-100; 0: no JPEG round trip
};

// Presets: "typical" (the defaults), "dim" (stroma 65, anterior 205, saturation 230) and
// "bright" (air 4, stroma 185, anterior 250). False when the name is unknown (device unchanged).
bool DeviceExportPreset(const std::string& name, DeviceExport* device);

// Checks the ranges: 0 <= air < stroma < anterior <= saturation <= 255, noise 0-50, streak level
// 0-255 and half width 0-50, smoothing 0-10 pixels, fan gap 0-5000 µm, radius 0.1-50 mm, half angle
// 1-80°, JPEG quality 0-100. False with a message naming the first field out of range.
bool ValidateDeviceExport(const DeviceExport& device, std::string* error);

// A radial protocol of the exported geometry: 1020 A-scans 8 µm apart, 640 samples of 4.3 µm.
ScanProtocol DeviceProtocol(int meridians);

// The rendering of a device-exported scan: base with a dark basal band of the epithelium (12 µm),
// an epithelium a little brighter than the stroma and a brighter Bowman band, the specular
// reflection of the surfaces on exactly when the device draws its streak, and no simulated streak
// (the device draws its own).
RenderSettings DeviceRendering(RenderSettings base, const DeviceExport& device);

// Exports *scan, simulated with protocol and render, in place: display curve, grey noise (drawn
// from seed), fan mask, streak, JPEG round trip; fills truth.deviceLevels and every B-scan's
// truth.device. Throws std::invalid_argument when the settings are out of range and
// std::runtime_error when the JPEG codec fails.
void ApplyDeviceExport(const DeviceExport& device, const ScanProtocol& protocol,
                       const RenderSettings& render, std::uint64_t seed, SimulatedScan* scan);

// SimulateScan with DeviceRendering(render, device), then ApplyDeviceExport.
SimulatedScan SimulateDeviceExport(const ModelEye& eye, const ScanProtocol& protocol,
                                   const RenderSettings& render, const DeviceExport& device,
                                   std::uint64_t seed, int mapWidth = 101);

}  // namespace Synthetic
}  // namespace Talvex

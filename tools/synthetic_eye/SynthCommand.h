// The `synth` command: options, their parsing and the run that writes a simulated scan to a
// folder (one PNG per B-scan, the raw volume, the ground truth and every parameter as JSON).
// Kept apart from main() so that another program can offer the same command.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/imaging/ImageCodecs.h"
#include "tools/synthetic_eye/DeviceExport.h"
#include "tools/synthetic_eye/NoCorneaFrames.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex {
namespace Synthetic {

struct SynthOptions {
  std::string preset = "gullstrand";
  ScanType scan = ScanType::Radial;
  int meridians = 16;
  int ascans = 0;   // A-scans per B-scan; 0: 1024, or 1020 for device exports and frames
  int samples = 0;  // samples per A-scan; 0: 1024, or 640 for device exports and frames
  std::uint64_t seed = 1;
  std::string outputDir = "synth-out";
  bool speckle = true, noise = true, specular = true;
  double angleDeg = 0.0;  // line and wide-field scans; first meridian of radial scans
  double motionLateralUm = 0.0, motionAxialUm = 0.0;  // random eye motion between meridians
  double eyeUm[2] = {0.0, 0.0};                       // en-face position of the eye's apex (X, Y)
  double eyeTiltDeg[2] = {0.0, 0.0};                  // eye tilt toward X and toward Y
  int mapWidth = 101;
  bool writePngs = true;
  bool showHelp = false;
  bool interfacePeaks = false;  // RenderSettings::interfacePeaksOnly
  // Device export: the preset (empty: none, unless a level option was given) and the level
  // options in the order given (option name without value for --no-fan-mask).
  std::string devicePreset;
  std::vector<std::pair<std::string, double>> deviceOptions;
  // Frames without a cornea instead of an eye: their kind (empty: an eye), count and settings.
  std::string noCornea;
  int frames = 1;
  NoCorneaFrame frame;
};

// Usage text of the command (program name first).
std::string SynthUsage(const std::string& program);

// Parses arguments args (without the program name) into *options. Returns false with a message
// in *error on an unknown option, a missing or malformed value or an unknown preset or scan type.
bool ParseSynthOptions(const std::vector<std::string>& args, SynthOptions* options,
                       std::string* error);

// Builds the eye, protocol and rendering of the options (the preset name must be valid). With a
// device export the protocol takes the exported pitch (4.3 µm per sample, 8 µm per A-scan) for
// radial and line scans, and the rendering is DeviceRendering's.
void SynthSetup(const SynthOptions& options, ModelEye* eye, ScanProtocol* protocol,
                RenderSettings* render);

// True when the options ask for a device export; *device is then its settings (preset, then the
// level options in order). False with *error when a setting is out of range.
bool SynthDeviceExport(const SynthOptions& options, DeviceExport* device, bool* enabled,
                       std::string* error);

// Simulates the scan (or the frames without a cornea) and writes into options.outputDir (created
// if missing): bscan_NNN.png (8-bit grey, A-scans as columns, depth downward), volume.raw
// (numBscans · bscanWidth · ascanLength bytes, A-scan after A-scan) and truth.json (with the
// device export's settings and measured grey levels when there is one). Returns 0, or 1 with
// *error set.
int RunSynth(const SynthOptions& options, std::string* error);

// Writes one B-scan (bscanWidth A-scans of ascanLength bytes) as an 8-bit grey PNG of
// bscanWidth columns and ascanLength rows, at zlib level compressionLevel (0-9) through the
// tools' PNG writer (tools/imaging/ImageCodecs.h). Returns false with *error on failure.
bool WriteBscanPng(const std::string& path, const std::uint8_t* bscan, int bscanWidth,
                   int ascanLength, std::string* error,
                   int compressionLevel = Tools::kPngDefaultCompression);

}  // namespace Synthetic
}  // namespace Talvex

// The `synth` command: options, their parsing and the run that writes a simulated scan to a
// folder (one PNG per B-scan, the raw volume, the ground truth and every parameter as JSON).
// Kept apart from main() so that another program can offer the same command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex {
namespace Synthetic {

struct SynthOptions {
  std::string preset = "gullstrand";
  ScanType scan = ScanType::Radial;
  int meridians = 16;
  int ascans = 1024;   // A-scans per B-scan
  int samples = 1024;  // samples per A-scan
  std::uint64_t seed = 1;
  std::string outputDir = "synth-out";
  bool speckle = true, noise = true, specular = true;
  double angleDeg = 0.0;  // line and wide-field scans; first meridian of radial scans
  double motionLateralUm = 0.0, motionAxialUm = 0.0;  // random eye motion between meridians
  int mapWidth = 101;
  bool writePngs = true;
  bool showHelp = false;
};

// Usage text of the command (program name first).
std::string SynthUsage(const std::string& program);

// Parses arguments args (without the program name) into *options. Returns false with a message
// in *error on an unknown option, a missing or malformed value or an unknown preset or scan type.
bool ParseSynthOptions(const std::vector<std::string>& args, SynthOptions* options,
                       std::string* error);

// Builds the eye, protocol and rendering of the options (the preset name must be valid).
void SynthSetup(const SynthOptions& options, ModelEye* eye, ScanProtocol* protocol,
                RenderSettings* render);

// Simulates the scan and writes into options.outputDir (created if missing): bscan_NNN.png
// (8-bit grey, A-scans as columns, depth downward), volume.raw (numBscans · bscanWidth ·
// ascanLength bytes, A-scan after A-scan) and truth.json. Returns 0, or 1 with *error set.
int RunSynth(const SynthOptions& options, std::string* error);

// Writes an 8-bit PNG of width x height pixels with 1 (grey) or 3 (RGB) bytes per pixel, row after
// row. Returns false with *error on failure.
bool WritePng(const std::string& path, const std::uint8_t* pixels, int width, int height,
              int channels, std::string* error);

// Writes one B-scan (bscanWidth A-scans of ascanLength bytes) as an 8-bit grey PNG of
// bscanWidth columns and ascanLength rows. Returns false with *error on failure.
bool WriteBscanPng(const std::string& path, const std::uint8_t* bscan, int bscanWidth,
                   int ascanLength, std::string* error);

}  // namespace Synthetic
}  // namespace Talvex

// `talvex pachymetry`: the pachymetry map of a radial scan read from picture files (one B-scan
// per file with its meridian angle) or from the synthetic eye's output folder, with its ring and
// sector values, thinnest point, corneal power and vertex, written as pictures, arrays, JSON and
// CSV.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace Talvex::Cli {

struct PachymetryOptions {
  static constexpr int kKeep = INT_MIN;  // not given: the preset's (or the truth file's) value

  std::vector<std::string> inputs;  // picture files and folders, as for segment-cornea
  std::string outputDir = "talvex-pachymetry";
  std::vector<double> anglesDeg;  // one meridian angle per B-scan
  bool radialAngles = false;      // angles b * 180 / numBscans
  int widthMicron = kKeep;        // scan length (both axes)
  int depthMicron = kKeep;        // tissue-equivalent A-scan depth
  std::uint32_t seed = 1;
  bool motionCorrect = false;
  bool epithelium = false;
  bool gridPixel = false;  // grid-pixel thickness measure instead of the sub-pixel one
  std::string side;        // "OD", "OS" or "" (unknown)
  bool quiet = false;
};

// Names of the result files.
constexpr const char* kPachymetryJson = "pachymetry.json";
constexpr const char* kPachymetryCsv = "pachymetry_subfields.csv";
constexpr const char* kPachymetryPng = "pachymetry.png";
constexpr const char* kPachymetryNpy = "pachymetry.npy";
constexpr const char* kEpitheliumPng = "epithelium.png";
constexpr const char* kEpitheliumNpy = "epithelium.npy";

// Runs the command. Returns 0; every failure throws CliError with its exit code, after removing
// any result file of this run.
int RunPachymetry(const PachymetryOptions& options);

}  // namespace Talvex::Cli

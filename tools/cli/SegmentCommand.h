// `talvex segment-cornea`: both corneal surfaces of every B-scan read from picture files, written
// as JSON, CSV and overlay pictures.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace Talvex::Cli {

struct SegmentOptions {
  static constexpr int kKeep = INT_MIN;  // the option was not given: keep the record's value

  // Picture files and folders; a folder contributes its .png, .tif, .tiff, .bmp, .jpg and .jpeg
  // files sorted by name. The B-scans of the scan are the files in the order given.
  std::vector<std::string> inputs;
  std::string outputDir = "talvex-results";
  std::string preset = "radial1024";
  std::string parameterFile;      // JSON object of CorneaSegParameter fields; "" = none
  int widthMicron = kKeep;        // lateralXMicron (and lateralYMicron)
  int depthMicron = kKeep;        // depthMicron (tissue-equivalent)
  int lateralSubsample = kKeep;   // lateralSubsample
  std::vector<double> anglesDeg;  // one meridian angle per B-scan; empty = none
  bool radialAngles = false;      // angles b * 180 / numBscans
  std::uint32_t seed = 1;         // seed of the random values of the robust fits
  bool overlays = true;
  bool quiet = false;
  bool printParameters = false;  // print the record as JSON and stop
  // "auto": the step-template levels measured from the scan (CorneaSegAdaptLevels); "preset":
  // the record's own.
  std::string levels = "auto";
  bool refinePeaks = false;  // surfaces on their reflection peaks (refineToReflectionPeaks)
  bool dewarp = false;       // also write the dewarped surfaces (dewarped.json / .csv, overlays)
  std::string scannerFile;   // JSON scanner description for --dewarp; "" = the preset
};

// Names of the result files in the output folder.
constexpr const char* kResultJson = "cornea.json";
constexpr const char* kResultCsv = "cornea.csv";
constexpr const char* kSummaryCsv = "cornea_summary.csv";

// Number of random values handed to the segmentation.
constexpr int kRandomValues = 65536;

// The random values of the robust fits: std::mt19937 seeded with `seed`, each draw shifted right
// by one bit (non-negative 31-bit integers). The same seed gives the same array on every system.
std::vector<int> SegmentationRandomValues(std::uint32_t seed);

// The input files of a scan: files as given, folders contribute their picture files (.png, .tif,
// .tiff, .bmp, .jpg, .jpeg) sorted by name. Throws CliError(InputMissing) for a missing input
// or a folder without pictures.
std::vector<std::string> ListInputFiles(const std::vector<std::string>& inputs);

// The scan: numBscans B-scans of bscanWidth A-scans of ascanLength samples, A-scan after A-scan.
struct Volume {
  int numBscans = 0, bscanWidth = 0, ascanLength = 0;
  std::vector<std::uint8_t> data;
};

// Reads every file into the volume, transposing picture rows (depths) into A-scans; the first
// picture fixes the size, and its width is checked against the segmentation's capacity (with the
// given subsampling) before the other files are read. Throws CliError (BadImage, BadScan, ...).
Volume ReadVolume(const std::vector<std::string>& files, int lateralSubsample, int axialSubsample);

// Runs the command. Returns 0; every failure throws CliError with its exit code, after removing
// any result file of this run.
int RunSegmentCornea(const SegmentOptions& options);

}  // namespace Talvex::Cli

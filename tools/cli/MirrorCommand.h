// `talvex attenuate-mirror`: darkens the mirror artefact of one wide-field B-scan picture from its
// segmented layers and writes the attenuated picture.
#pragma once

#include <string>

namespace Talvex::Cli {

struct MirrorOptions {
  std::string image;   // the wide-field B-scan picture (row = depth, column = A-scan)
  std::string layers;  // JSON with the anterior, posterior and irisLens arrays
  int bscan = 0;       // entry of a "bscans" array in the layers file
  float percent = 0.5f;
  std::string outputDir = "talvex-results";
  bool quiet = false;
};

// Name of the result file in the output folder.
constexpr const char* kAttenuatedPng = "attenuated.png";

// Runs the command. Returns 0; every failure throws CliError with its exit code, leaving no
// result file behind.
int RunAttenuateMirror(const MirrorOptions& options);

}  // namespace Talvex::Cli

// talvex-synth: writes a simulated anterior-segment OCT scan of a model eye with its ground truth.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/synthetic_eye/SynthCommand.h"

int main(int argc, char** argv) {
  using namespace Talvex::Synthetic;
  const std::vector<std::string> args(argv + 1, argv + argc);
  SynthOptions options;
  std::string error;
  if (!ParseSynthOptions(args, &options, &error)) {
    std::fprintf(stderr, "%s\n%s", error.c_str(), SynthUsage("talvex-synth").c_str());
    return 2;
  }
  if (options.showHelp) {
    std::printf("%s", SynthUsage("talvex-synth").c_str());
    return 0;
  }
  if (RunSynth(options, &error) != 0) {
    std::fprintf(stderr, "talvex-synth: %s\n", error.c_str());
    return 1;
  }
  std::printf("Wrote %s\n", options.outputDir.c_str());
  return 0;
}

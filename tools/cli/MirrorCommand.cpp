#include "tools/cli/MirrorCommand.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "interface/Talvex.h"
#include "tools/cli/CliError.h"
#include "tools/cli/ImageFiles.h"
#include "tools/cli/OutputFiles.h"
#include "tools/imaging/ImageCodecs.h"

namespace Talvex::Cli {

namespace {

using nlohmann::json;

struct MirrorLayers {
  std::vector<float> anterior, posterior, irisLens;
};

// One layer array: numbers in samples, null or negative = no value (-1).
std::vector<float> LayerArray(const json& entry, const char* name, const std::string& file) {
  const auto it = entry.find(name);
  if (it == entry.end() || !it->is_array())
    throw CliError(ExitCode::BadParameter, file + ": no \"" + name + "\" array.");
  std::vector<float> values;
  for (const json& v : *it) {
    if (v.is_null()) {
      values.push_back(-1.0f);
    } else if (v.is_number()) {
      const float f = v.get<float>();
      values.push_back(f < 0.0f ? -1.0f : f);
    } else {
      throw CliError(ExitCode::BadParameter, file + ": \"" + name + "\" holds a non-number.");
    }
  }
  return values;
}

// The layers file: an object with the three arrays, or one whose "bscans" array holds such
// objects (as segment-cornea writes them), entry `bscan` taken.
MirrorLayers ReadLayers(const std::string& file, int bscan) {
  std::ifstream in(file);
  if (!in) throw CliError(ExitCode::InputMissing, file + ": cannot open the layers file.");
  json j;
  try {
    j = json::parse(in);
  } catch (const json::exception& e) {
    throw CliError(ExitCode::BadParameter, file + ": not JSON (" + e.what() + ").");
  }
  if (!j.is_object()) throw CliError(ExitCode::BadParameter, file + ": not a JSON object.");
  const json* entry = &j;
  if (j.contains("bscans")) {
    const json& list = j["bscans"];
    if (!list.is_array() || bscan < 0 || bscan >= static_cast<int>(list.size()))
      throw CliError(ExitCode::BadParameter,
                     file + ": no B-scan " + std::to_string(bscan) + " in \"bscans\".");
    entry = &list[static_cast<std::size_t>(bscan)];
  }
  return {LayerArray(*entry, "anterior", file), LayerArray(*entry, "posterior", file),
          LayerArray(*entry, "irisLens", file)};
}

void CheckWidths(const MirrorLayers& l, int width, const std::string& file) {
  for (const auto* layer : {&l.anterior, &l.posterior, &l.irisLens})
    if (static_cast<int>(layer->size()) != width)
      throw CliError(ExitCode::BadScan,
                     file + ": the layers hold " + std::to_string(layer->size()) +
                         " values, the picture has " + std::to_string(width) + " A-scans.");
}

// Picture rows (depth) to A-scans and back.
std::vector<std::uint8_t> Transposed(const std::uint8_t* p, int rows, int columns) {
  std::vector<std::uint8_t> t(static_cast<std::size_t>(rows) * columns);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      t[static_cast<std::size_t>(c) * rows + r] = p[static_cast<std::size_t>(r) * columns + c];
  return t;
}

}  // namespace

int RunAttenuateMirror(const MirrorOptions& o) {
  const GreyImage picture = ReadGreyImage(o.image);
  const MirrorLayers layers = ReadLayers(o.layers, o.bscan);
  CheckWidths(layers, picture.width, o.layers);
  const int W = picture.width, L = picture.height;
  std::vector<std::uint8_t> ascans = Transposed(picture.pixels.data(), L, W);
  try {
    SDOCT::Algorithms::CMirrorImageAttenuationAlgorithm mirror;
    mirror.Initialize(layers.anterior.data(), layers.posterior.data(), layers.irisLens.data(), W,
                      L);
    mirror.AttenuateMirrorImage(ascans.data(), W, L, o.percent);
  } catch (const SDOCT::Algorithms::AlgorithmException& e) {
    throw CliError(ExitCode::Segmentation, std::string("mirror attenuation failed: ") + e.what());
  }
  const std::vector<std::uint8_t> rows = Transposed(ascans.data(), W, L);

  StagedOutputs outputs(o.outputDir);
  std::string error;
  if (!Tools::WritePng(outputs.Stage(kAttenuatedPng), rows.data(), W, L, 1,
                       Tools::kPngDefaultCompression, &error))
    throw CliError(ExitCode::OutputFailed, error);
  outputs.Commit();
  if (!o.quiet) std::printf("Wrote %s\n", (outputs.folder() / kAttenuatedPng).string().c_str());
  return 0;
}

}  // namespace Talvex::Cli

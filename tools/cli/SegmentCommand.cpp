// `talvex segment-cornea`: reads the B-scans, segments them one by one through
// CCorneaSegmentationAlgorithm and writes the results. Each B-scan is segmented with its own call
// and the random array from its start, so the result of a file does not depend on the other
// files of the scan.
#include "tools/cli/SegmentCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "interface/Talvex.h"
#include "tools/cli/CliError.h"
#include "tools/cli/CorneaParameters.h"
#include "tools/cli/DewarpStage.h"
#include "tools/cli/ImageFiles.h"
#include "tools/cli/OutputFiles.h"
#include "tools/imaging/ImageCodecs.h"

namespace Talvex::Cli {

namespace {

namespace fs = std::filesystem;
using SDOCT::Algorithms::AlgorithmException;
using SDOCT::Algorithms::CCorneaSegmentationAlgorithm;
using SDOCT::Algorithms::CorneaBscanOutcome;
using SDOCT::Algorithms::CorneaGreyLevels;
using SDOCT::Algorithms::CorneaSegAdaptLevels;

constexpr int kMaxWorkingWidth = CCorneaSegmentationAlgorithm::kMaxWorkingWidth;
// Smallest working B-scan (after subsampling): the templates, kernels and bands need room.
constexpr int kMinAscans = 16;
constexpr int kMinSamples = 64;

bool IsImageName(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".png" || ext == ".tif" || ext == ".tiff" || ext == ".bmp" || ext == ".jpg" ||
         ext == ".jpeg";
}

}  // namespace

std::vector<std::string> ListInputFiles(const std::vector<std::string>& inputs) {
  std::vector<std::string> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (!fs::exists(input, ec))
      throw CliError(ExitCode::InputMissing, input + ": no such file or folder.");
    if (!fs::is_directory(input, ec)) {
      files.push_back(input);
      continue;
    }
    std::vector<std::string> found;
    for (const fs::directory_entry& e : fs::directory_iterator(input, ec))
      if (e.is_regular_file(ec) && IsImageName(e.path())) found.push_back(e.path().string());
    if (ec)
      throw CliError(ExitCode::InputMissing,
                     input + ": cannot list the folder (" + ec.message() + ").");
    if (found.empty())
      throw CliError(ExitCode::InputMissing,
                     input + ": the folder holds no .png, .tif, .tiff, .bmp, .jpg or .jpeg file.");
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

namespace {

CorneaSegParameter BuildParameters(const SegmentOptions& o) {
  CorneaSegParameter p;
  if (!CorneaPresetByName(o.preset, &p))
    throw CliError(ExitCode::BadParameter,
                   "unknown preset \"" + o.preset + "\" (radial1024 or radial640).");
  if (!o.parameterFile.empty()) LoadCorneaParameterFile(o.parameterFile, &p);
  auto option = [](const char* name, int value, int hi) {
    if (value == SegmentOptions::kKeep) return false;
    if (value < 1 || value > hi)
      throw CliError(ExitCode::BadParameter, std::string(name) + " must be an integer from 1 to " +
                                                 std::to_string(hi) + " (got " +
                                                 std::to_string(value) + ").");
    return true;
  };
  if (option("--width-um", o.widthMicron, 100000))
    p.lateralXMicron = p.lateralYMicron = o.widthMicron;
  if (option("--depth-um", o.depthMicron, 100000)) p.depthMicron = o.depthMicron;
  if (option("--lateral-subsample", o.lateralSubsample, 64))
    p.lateralSubsample = o.lateralSubsample;
  if (o.refinePeaks) p.refineToReflectionPeaks = true;
  ValidateCorneaParameters(p, o.parameterFile.empty() ? "preset " + o.preset : o.parameterFile);
  return p;
}

std::string SizeText(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

}  // namespace

// Reads every file into the volume, transposing picture rows (depths) into A-scans; the first
// picture fixes the size, and its width is checked against the segmentation's capacity before
// the other files are read.
Volume ReadVolume(const std::vector<std::string>& files, int lateralSubsample, int axialSubsample) {
  Volume v;
  for (size_t b = 0; b < files.size(); ++b) {
    const GreyImage image = ReadGreyImage(files[b]);
    if (b == 0) {
      v.bscanWidth = image.width;
      v.ascanLength = image.height;
      const long long maxWidth = static_cast<long long>(kMaxWorkingWidth) * lateralSubsample;
      if (image.width > maxWidth)
        throw CliError(ExitCode::BadScan, files[b] + ": B-scan width of " +
                                              std::to_string(image.width) +
                                              " A-scans is above the " + std::to_string(maxWidth) +
                                              " the segmentation accepts with lateral subsample " +
                                              std::to_string(lateralSubsample) + " (" +
                                              std::to_string(kMaxWorkingWidth) +
                                              " A-scans after subsampling); raise lateralSubsample "
                                              "(--lateral-subsample).");
      if (image.width / lateralSubsample < kMinAscans ||
          image.height / axialSubsample < kMinSamples)
        throw CliError(ExitCode::BadScan,
                       files[b] + ": B-scan of " + SizeText(image.width, image.height) +
                           " pixels is too small: the segmentation needs at least " +
                           std::to_string(kMinAscans) + " A-scans (columns) of " +
                           std::to_string(kMinSamples) + " samples (rows) after subsampling " +
                           "(lateral " + std::to_string(lateralSubsample) + ", axial " +
                           std::to_string(axialSubsample) + ").");
      v.numBscans = static_cast<int>(files.size());
      v.data.resize(static_cast<size_t>(v.numBscans) * image.width * image.height);
    } else if (image.width != v.bscanWidth || image.height != v.ascanLength) {
      throw CliError(ExitCode::BadScan, files[b] + ": image of " +
                                            SizeText(image.width, image.height) + " pixels, but " +
                                            files[0] + " is " +
                                            SizeText(v.bscanWidth, v.ascanLength) +
                                            "; all B-scans of one scan must have the same size.");
    }
    const int W = v.bscanWidth, L = v.ascanLength;
    std::uint8_t* bscan = v.data.data() + b * static_cast<size_t>(W) * L;
    for (int z = 0; z < L; ++z) {
      const std::uint8_t* row = image.pixels.data() + static_cast<size_t>(z) * W;
      for (int j = 0; j < W; ++j) bscan[static_cast<size_t>(j) * L + z] = row[j];
    }
  }
  return v;
}

namespace {

// A one-line progress bar on standard error, drawn only when it is a terminal.
class ProgressBar {
 public:
  ProgressBar(int total, bool enabled) : total_(total), enabled_(enabled) { Show(0); }
  ~ProgressBar() {
    if (enabled_) std::fputc('\n', stderr);
  }
  void Show(int done) {
    if (!enabled_) return;
    constexpr int kCells = 30;
    const int filled = total_ > 0 ? done * kCells / total_ : kCells;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kCells, '.');
    std::fprintf(stderr, "\rSegmenting [%s] %d/%d B-scans", bar.c_str(), done, total_);
    std::fflush(stderr);
  }

 private:
  int total_;
  bool enabled_;
};

// Results: numBscans x bscanWidth values each.
struct Layers {
  std::vector<float> anterior, posterior, anteriorConfidence, posteriorConfidence;
};

struct BscanSummary {
  int centralAscan = 0;
  // Median (posterior - anterior) over the A-scans within 0.5 mm of the centre whose two
  // confidences are 1; -1 when there is none (no thickness from unconfident surfaces).
  double centralThicknessUm = -1;
  double anteriorShare = 0, posteriorShare = 0, bothShare = 0;
  CorneaBscanOutcome outcome = CorneaBscanOutcome::Segmented;
};

constexpr double kCentralHalfWidthUm = 500.0;

BscanSummary Summarise(const Layers& r, int b, int W, int L, const CorneaSegParameter& p,
                       CorneaBscanOutcome outcome) {
  BscanSummary s;
  s.centralAscan = W / 2;
  s.outcome = outcome;
  const int reach = W > 1 ? static_cast<int>(kCentralHalfWidthUm * (W - 1) / p.lateralXMicron) : 0;
  std::vector<double> central;
  int a = 0, q = 0, both = 0;
  for (int j = 0; j < W; ++j) {
    const size_t k = static_cast<size_t>(b) * W + j;
    const bool ca = r.anteriorConfidence[k] == 1.0f, cp = r.posteriorConfidence[k] == 1.0f;
    a += ca;
    q += cp;
    both += ca && cp;
    if (ca && cp && std::abs(j - s.centralAscan) <= reach)
      central.push_back((static_cast<double>(r.posterior[k]) - r.anterior[k]) * p.depthMicron / L);
  }
  if (!central.empty()) {
    std::nth_element(central.begin(), central.begin() + central.size() / 2, central.end());
    s.centralThicknessUm = central[central.size() / 2];
  }
  s.anteriorShare = double(a) / W;
  s.posteriorShare = double(q) / W;
  s.bothShare = double(both) / W;
  return s;
}

// Overlay colours by confidence: reliable anterior green, reliable posterior light blue,
// unreliable red, specular reflection yellow, surface at the image edge magenta.
void ConfidenceColour(float confidence, bool anterior, std::uint8_t rgb[3]) {
  std::uint8_t r = 255, g = 0, b = 0;  // -1 and anything unexpected
  if (confidence == 1.0f) {
    r = 0, g = anterior ? 255 : 160, b = anterior ? 0 : 255;
  } else if (confidence == -2.0f) {
    r = 255, g = 255, b = 0;
  } else if (confidence == -3.0f) {
    r = 255, g = 0, b = 255;
  }
  rgb[0] = r, rgb[1] = g, rgb[2] = b;
}

// The B-scan as a picture with both surfaces drawn three pixels thick in the colour of their
// confidence, and a 6-pixel strip at the top (anterior) and bottom (posterior) marking every
// A-scan whose confidence is not 1.
std::vector<std::uint8_t> DrawOverlay(const Volume& v, const Layers& r, int b) {
  const int W = v.bscanWidth, L = v.ascanLength;
  std::vector<std::uint8_t> rgb(static_cast<size_t>(W) * L * 3);
  const std::uint8_t* bscan = v.data.data() + static_cast<size_t>(b) * W * L;
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < L; ++z) {
      std::uint8_t* p = &rgb[(static_cast<size_t>(z) * W + j) * 3];
      p[0] = p[1] = p[2] = bscan[static_cast<size_t>(j) * L + z];
    }
  auto put = [&](int j, int z, const std::uint8_t c[3]) {
    if (z < 0 || z >= L) return;
    std::uint8_t* p = &rgb[(static_cast<size_t>(z) * W + j) * 3];
    p[0] = c[0], p[1] = c[1], p[2] = c[2];
  };
  const int strip = std::min(6, L / 16);
  for (int j = 0; j < W; ++j) {
    const size_t k = static_cast<size_t>(b) * W + j;
    for (int s = 0; s < 2; ++s) {
      const float depth = s == 0 ? r.anterior[k] : r.posterior[k];
      const float conf = s == 0 ? r.anteriorConfidence[k] : r.posteriorConfidence[k];
      std::uint8_t c[3];
      ConfidenceColour(conf, s == 0, c);
      if (depth >= 0) {
        const int z = static_cast<int>(depth + 0.5f);
        for (int dz = -1; dz <= 1; ++dz) put(j, z + dz, c);
      }
      if (conf != 1.0f)
        for (int t = 0; t < strip; ++t) put(j, s == 0 ? t : L - 1 - t, c);
    }
  }
  return rgb;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char ch : text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return quoted + "\"";
}

std::string Fixed(double v, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string OverlayName(int b) {
  char name[32];
  std::snprintf(name, sizeof name, "overlay_%03d.png", b);
  return name;
}

struct RunInfo {
  std::vector<std::string> files;
  std::vector<CorneaBscanOutcome> outcomes;  // one per B-scan
  std::string levelsMode;                    // "auto" or "preset"
  CorneaGreyLevels levels;                   // measured (auto)
  std::vector<double> angles;                // empty or one per B-scan
  CorneaSegParameter parameters;
  std::uint32_t seed = 1;
  bool overlays = true;
};

void WriteResults(StagedOutputs& out, const Volume& v, const Layers& r, const RunInfo& info) {
  const int N = v.numBscans, W = v.bscanWidth, L = v.ascanLength;
  const CorneaSegParameter& p = info.parameters;
  std::vector<BscanSummary> summaries;
  for (int b = 0; b < N; ++b) summaries.push_back(Summarise(r, b, W, L, p, info.outcomes[b]));

  if (info.overlays)
    for (int b = 0; b < N; ++b) {
      const std::vector<std::uint8_t> rgb = DrawOverlay(v, r, b);
      std::string error;
      // Overlays are speckled pictures that no effort compresses much: the fast setting.
      if (!Tools::WritePng(out.Stage(OverlayName(b)), rgb.data(), W, L, 3,
                           Tools::kPngFastCompression, &error))
        throw CliError(ExitCode::OutputFailed, error);
    }

  const double umPerAscan = W > 1 ? double(p.lateralXMicron) / (W - 1) : 0.0;
  std::ostringstream csv;
  csv << "bscan,file,angle_deg,ascan,x_um,anterior_px,posterior_px,anterior_confidence,"
         "posterior_confidence\n";
  for (int b = 0; b < N; ++b) {
    const std::string prefix = std::to_string(b) + "," + CsvField(info.files[b]) + "," +
                               (info.angles.empty() ? "" : Fixed(info.angles[b], 4)) + ",";
    for (int j = 0; j < W; ++j) {
      const size_t k = static_cast<size_t>(b) * W + j;
      csv << prefix << j << ',' << Fixed((j - (W - 1) / 2.0) * umPerAscan, 2) << ','
          << Fixed(r.anterior[k], 3) << ',' << Fixed(r.posterior[k], 3) << ','
          << r.anteriorConfidence[k] << ',' << r.posteriorConfidence[k] << '\n';
    }
  }
  out.WriteText(kResultCsv, csv.str());

  std::ostringstream summary;
  summary << "bscan,file,angle_deg,status,central_ascan,central_thickness_um,"
             "anterior_confident_share,posterior_confident_share,both_confident_share,overlay\n";
  for (int b = 0; b < N; ++b) {
    const BscanSummary& s = summaries[b];
    summary << b << ',' << CsvField(info.files[b]) << ','
            << (info.angles.empty() ? "" : Fixed(info.angles[b], 4)) << ','
            << CorneaBscanOutcomeName(s.outcome) << ',' << s.centralAscan << ','
            << (s.centralThicknessUm >= 0 ? Fixed(s.centralThicknessUm, 2) : "") << ','
            << Fixed(s.anteriorShare, 4) << ',' << Fixed(s.posteriorShare, 4) << ','
            << Fixed(s.bothShare, 4) << ',' << (info.overlays ? OverlayName(b) : "") << '\n';
  }
  out.WriteText(kSummaryCsv, summary.str());

  nlohmann::ordered_json j;
  j["program"] = "talvex segment-cornea";
  j["numBscans"] = N;
  j["bscanWidth"] = W;
  j["ascanLength"] = L;
  j["scanWidthMicron"] = p.lateralXMicron;
  j["scanDepthMicron"] = p.depthMicron;
  j["micronPerSample"] = double(p.depthMicron) / L;
  j["seed"] = info.seed;
  j["randomValues"] = kRandomValues;
  j["conventions"] = {
      {"surfaces", "depth in samples from the top of the image (fractional); -1 = none"},
      {"confidence", "1 reliable, -1 unreliable, -2 specular reflection, -3 at the image edge"},
      {"status", "segmented, no candidates, fit abandoned or no cornea evidence"},
      {"centralThicknessMicron",
       "median (posterior - anterior) x scanDepthMicron / ascanLength over the A-scans within "
       "0.5 mm of the centre with both confidences 1; null when there is none"}};
  j["parameters"] = CorneaParametersToJson(p);
  nlohmann::ordered_json lv;
  lv["mode"] = info.levelsMode;
  if (info.levelsMode == "auto") {
    lv["bscansMeasured"] = info.levels.bscansMeasured;
    lv["applied"] = info.levels.applied;
    if (info.levels.bscansMeasured > 0)
      lv["measured"] = {{"air", info.levels.air},
                        {"anteriorReflection", info.levels.anteriorReflection},
                        {"stroma", info.levels.stroma},
                        {"posteriorStroma", info.levels.posteriorStroma},
                        {"aqueous", info.levels.aqueous}};
  }
  lv["used"] = {{"signal1Level_0", p.signal1Level_0}, {"signal1Level_1", p.signal1Level_1},
                {"signal1Level_2", p.signal1Level_2}, {"signal2Level_0", p.signal2Level_0},
                {"signal2Level_1", p.signal2Level_1}, {"signal2Level_2", p.signal2Level_2}};
  j["levels"] = std::move(lv);
  nlohmann::ordered_json bscans = nlohmann::ordered_json::array();
  for (int b = 0; b < N; ++b) {
    const BscanSummary& s = summaries[b];
    const auto row = [&](const std::vector<float>& a) {
      return std::vector<float>(a.begin() + static_cast<long>(b) * W,
                                a.begin() + static_cast<long>(b + 1) * W);
    };
    nlohmann::ordered_json e;
    e["index"] = b;
    e["file"] = info.files[b];
    e["angleDeg"] =
        info.angles.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(info.angles[b]);
    e["overlay"] = info.overlays ? nlohmann::ordered_json(OverlayName(b)) : nullptr;
    e["status"] = CorneaBscanOutcomeName(s.outcome);
    e["centralAscan"] = s.centralAscan;
    e["centralThicknessMicron"] =
        s.centralThicknessUm >= 0 ? nlohmann::ordered_json(s.centralThicknessUm) : nullptr;
    e["anteriorConfidentShare"] = s.anteriorShare;
    e["posteriorConfidentShare"] = s.posteriorShare;
    e["confidentShare"] = s.bothShare;
    e["anterior"] = row(r.anterior);
    e["posterior"] = row(r.posterior);
    e["anteriorConfidence"] = row(r.anteriorConfidence);
    e["posteriorConfidence"] = row(r.posteriorConfidence);
    bscans.push_back(std::move(e));
  }
  j["bscans"] = std::move(bscans);
  // Written last and renamed last: a cornea.json in place means the whole run finished.
  out.WriteText(kResultJson, j.dump(1) + "\n");
}

// The console summary: per B-scan without a surface the reason, "no cornea found" when no B-scan
// shows one, and a mean central thickness only over B-scans with confident central A-scans.
void PrintSummary(const Layers& r, const Volume& v, const RunInfo& info, double seconds,
                  const std::string& folder, bool overlays) {
  const int N = v.numBscans, W = v.bscanWidth, L = v.ascanLength;
  double sum = 0;
  int count = 0, cornea = 0;
  for (int b = 0; b < N; ++b) {
    const BscanSummary s = Summarise(r, b, W, L, info.parameters, info.outcomes[b]);
    if (s.centralThicknessUm >= 0) sum += s.centralThicknessUm, ++count;
    if (s.outcome == CorneaBscanOutcome::Segmented)
      ++cornea;
    else
      std::printf("B-scan %d (%s): no surface: %s\n", b, info.files[b].c_str(),
                  CorneaBscanOutcomeName(s.outcome));
  }
  std::printf("Segmented %d B-scan%s of %d x %d in %.2f s", N, N == 1 ? "" : "s", W, L, seconds);
  if (cornea == 0)
    std::printf("; no cornea found");
  else if (count > 0)
    std::printf("; mean central thickness %.1f um", sum / count);
  if (info.levelsMode == "auto")
    std::printf("\nLevels: %s", info.levels.applied              ? "measured from the scan"
                                : info.levels.bscansMeasured > 0 ? "measured, preset kept"
                                                                 : "preset (none measured)");
  std::printf("\nResults in %s: %s, %s, %s%s\n", folder.c_str(), kResultJson, kResultCsv,
              kSummaryCsv, overlays ? ", overlay_NNN.png" : "");
}

}  // namespace

std::vector<int> SegmentationRandomValues(std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<int> values(kRandomValues);
  for (int& v : values) v = static_cast<int>(generator() >> 1);
  return values;
}

int RunSegmentCornea(const SegmentOptions& o) {
  CorneaSegParameter p = BuildParameters(o);
  if (o.printParameters) {
    std::printf("%s\n", CorneaParametersToJson(p).dump(2).c_str());
    return 0;
  }
  if (o.inputs.empty()) throw CliError(ExitCode::Usage, "no input file or folder given.");
  if (!o.anglesDeg.empty() && o.radialAngles)
    throw CliError(ExitCode::Usage, "give either --angles or --radial, not both.");

  RunInfo info;
  info.files = ListInputFiles(o.inputs);
  info.parameters = p;
  info.seed = o.seed;
  info.overlays = o.overlays;
  const int N = static_cast<int>(info.files.size());
  if (!o.anglesDeg.empty() && static_cast<int>(o.anglesDeg.size()) != N)
    throw CliError(ExitCode::Usage, "--angles gives " + std::to_string(o.anglesDeg.size()) +
                                        " angle(s) for " + std::to_string(N) +
                                        " B-scan(s); give one per B-scan.");
  info.angles = o.anglesDeg;
  if (o.radialAngles)
    for (int b = 0; b < N; ++b) info.angles.push_back(180.0 * b / N);

  if (!o.scannerFile.empty() && !o.dewarp)
    throw CliError(ExitCode::Usage, "--scanner needs --dewarp.");
  // Read before the scan, so that a broken scanner file fails at once.
  const DewarpScanner scanner =
      o.dewarp ? RunScanner(o.scannerFile, p.lateralXMicron, p.depthMicron) : DewarpScanner();

  const auto start = std::chrono::steady_clock::now();
  const Volume v = ReadVolume(info.files, p.lateralSubsample, p.axialSubsample);
  const int W = v.bscanWidth, L = v.ascanLength;
  info.levelsMode = o.levels;
  if (o.levels == "auto") {
    try {
      p = CorneaSegAdaptLevels(v.data.data(), N, W, L, p, &info.levels);
    } catch (const AlgorithmException& e) {
      throw CliError(ExitCode::Segmentation, std::string("level estimation failed: ") + e.what());
    }
    info.parameters = p;
  }
  const size_t perBscan = static_cast<size_t>(W) * L, perLayer = static_cast<size_t>(N) * W;

  // Layers start at -1 (no value): a B-scan in which no surface is found keeps them.
  Layers r;
  r.anterior.assign(perLayer, -1.0f);
  r.posterior.assign(perLayer, -1.0f);
  r.anteriorConfidence.assign(perLayer, -1.0f);
  r.posteriorConfidence.assign(perLayer, -1.0f);
  const std::vector<int> random = SegmentationRandomValues(o.seed);
  std::vector<std::uint8_t> buffer(perBscan);
  {
    ProgressBar progress(N, !o.quiet && N > 3 && ::isatty(STDERR_FILENO) == 1);
    CCorneaSegmentationAlgorithm segmentation;
    segmentation.Initialize(p);
    for (int b = 0; b < N; ++b) {
      const size_t k = static_cast<size_t>(b) * W;
      try {
        segmentation.SegmentCornea(v.data.data() + b * perBscan, 1, W, L, random.data(),
                                   static_cast<std::uint32_t>(random.size()), buffer.data(),
                                   &r.anterior[k], &r.posterior[k], &r.anteriorConfidence[k],
                                   &r.posteriorConfidence[k]);
        info.outcomes.push_back(segmentation.LastBscanOutcomes().front());
      } catch (const AlgorithmException& e) {
        throw CliError(ExitCode::Segmentation,
                       info.files[b] + ": segmentation failed: " + e.what());
      }
      progress.Show(b + 1);
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  StagedOutputs out(o.outputDir);
  if (o.dewarp) {
    const SegmentedScan scan{v.data.data(), N,          W, L, r.anterior, r.posterior,
                             info.outcomes, info.angles};
    const DewarpedScan dewarped = DewarpSegmentedScan(scan, scanner, p.bsplineWavelength);
    WriteDewarped(out, scan, dewarped, scanner, o.overlays);
  }
  WriteResults(out, v, r, info);
  out.Commit();
  if (!o.quiet) PrintSummary(r, v, info, seconds, out.folder().string(), o.overlays);
  return 0;
}

}  // namespace Talvex::Cli

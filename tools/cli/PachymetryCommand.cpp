// `talvex pachymetry`: reads the B-scans, runs the pachymetry road (tools/cornea_report) and
// writes its results.
#include "tools/cli/PachymetryCommand.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "tools/cli/CliError.h"
#include "tools/cli/OutputFiles.h"
#include "tools/cli/SegmentCommand.h"
#include "tools/cornea_report/MapPicture.h"
#include "tools/cornea_report/PachymetryRoad.h"

namespace Talvex::Cli {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using SDOCT::Algorithms::AlgorithmException;

// Scan geometry and angles of the run: from the options, else from a synthetic eye's truth.json.
struct ScanSetup {
  std::vector<double> angles;
  double halfFieldUm[2] = {4000, 4000};
  double depthUm = 2300;
  std::string source = "pictures";
};

ScanSetup ReadSetup(const PachymetryOptions& o, int numBscans) {
  ScanSetup s;
  const fs::path truth = o.inputs.size() == 1 ? fs::path(o.inputs[0]) / "truth.json" : fs::path();
  std::error_code ec;
  if (!truth.empty() && fs::is_regular_file(truth, ec)) {
    std::ifstream in(truth);
    try {
      const nlohmann::json j = nlohmann::json::parse(in);
      for (const auto& b : j.at("bscans")) s.angles.push_back(b.at("angleDeg").get<double>());
      const auto& p = j.at("protocol");
      s.halfFieldUm[0] = p.at("halfFieldUm")[0].get<double>();
      s.halfFieldUm[1] = p.at("halfFieldUm")[1].get<double>();
      s.depthUm = p.at("depthMicron").get<double>();
      s.source = "synthetic eye";
    } catch (const nlohmann::json::exception& e) {
      throw CliError(ExitCode::BadParameter,
                     truth.string() + ": not a synthetic eye's truth file (" + e.what() + ").");
    }
  }
  if (!o.anglesDeg.empty() && o.radialAngles)
    throw CliError(ExitCode::Usage, "give either --angles or --radial, not both.");
  if (!o.anglesDeg.empty()) s.angles = o.anglesDeg;
  if (o.radialAngles) {
    s.angles.clear();
    for (int b = 0; b < numBscans; ++b) s.angles.push_back(180.0 * b / numBscans);
  }
  if (s.angles.empty())
    throw CliError(ExitCode::Usage,
                   "the meridian angles are missing: give --angles or --radial (or the folder of "
                   "a synthetic eye with its truth.json).");
  if (static_cast<int>(s.angles.size()) != numBscans)
    throw CliError(ExitCode::Usage, std::to_string(s.angles.size()) + " angle(s) for " +
                                        std::to_string(numBscans) +
                                        " B-scan(s); give one per B-scan.");
  auto option = [](const char* name, int value) {
    if (value == PachymetryOptions::kKeep) return false;
    if (value < 1 || value > 100000)
      throw CliError(ExitCode::BadParameter, std::string(name) +
                                                 " must be an integer from 1 to 100000 (got " +
                                                 std::to_string(value) + ").");
    return true;
  };
  if (option("--width-um", o.widthMicron))
    s.halfFieldUm[0] = s.halfFieldUm[1] = o.widthMicron / 2.0;
  if (option("--depth-um", o.depthMicron)) s.depthUm = o.depthMicron;
  return s;
}

// A float32 array as NumPy's .npy (version 1.0, little-endian, C order).
void WriteNpy(StagedOutputs& out, const std::string& name, const std::vector<float>& values,
              int rows, int cols) {
  std::string header = "{'descr': '<f4', 'fortran_order': False, 'shape': (" +
                       std::to_string(rows) + ", " + std::to_string(cols) + "), }";
  header.resize(((10 + header.size() + 1 + 63) / 64) * 64 - 10 - 1, ' ');
  header += '\n';
  std::ofstream f(out.Stage(name), std::ios::binary);
  const std::uint16_t length = static_cast<std::uint16_t>(header.size());
  f.write("\x93NUMPY\x01\x00", 8);
  f.put(static_cast<char>(length & 0xff)).put(static_cast<char>(length >> 8));
  f << header;
  f.write(reinterpret_cast<const char*>(values.data()),
          static_cast<std::streamsize>(values.size() * sizeof(float)));
  if (!f) throw CliError(ExitCode::OutputFailed, name + ": cannot be written.");
}

void WritePicture(StagedOutputs& out, const std::string& name, const Tools::MapResult& m,
                  const Tools::RoadResult& r, const Tools::RoadOptions& ro, const char* title,
                  const std::string& side) {
  std::string error;
  if (!Tools::WriteMapPicture(out.Stage(name),
                              Tools::DrawMapPicture(m, r.geometry, ro, title, side), &error))
    throw CliError(ExitCode::OutputFailed, error);
}

// A value for JSON: null where the road reports none (-1).
json Value(double v) { return v < 0 ? json() : json(v); }

json MapJson(const Tools::MapResult& m, const Tools::RoadOptions& o) {
  json regions = json::array();
  for (std::size_t k = 0; k < m.subfieldMean.size(); ++k) {
    const int ring = k == 0 ? 0 : 1 + static_cast<int>(k - 1) / o.sectors;
    regions.push_back({{"ring", ring},
                       {"sector", k == 0 ? json() : json(static_cast<int>(k - 1) % o.sectors)},
                       {"innerMm", ring == 0 ? 0.0 : o.regionRadiiMm[ring - 1]},
                       {"outerMm", o.regionRadiiMm[ring]},
                       {"meanUm", Value(m.subfieldMean[k])},
                       {"minUm", Value(m.subfieldMin[k])},
                       {"maxUm", Value(m.subfieldMax[k])}});
  }
  json thinnest;
  if (m.thinnestFound)
    thinnest = {{"xMm", m.thinnestXUm / 1000},
                {"yMm", m.thinnestYUm / 1000},
                {"thicknessUm", m.thinnestUm}};
  return {{"subfields", regions}, {"thinnest", thinnest}};
}

std::string SubfieldCsv(const Tools::RoadResult& r, const Tools::RoadOptions& o) {
  std::ostringstream csv;
  csv << "region,ring,sector,inner_mm,outer_mm,mean_um,min_um,max_um";
  if (r.hasEpithelium) csv << ",epithelium_mean_um,epithelium_min_um,epithelium_max_um";
  csv << '\n';
  auto cell = [](float v) { return v < 0 ? std::string() : std::to_string(v); };
  for (std::size_t k = 0; k < r.pachymetry.subfieldMean.size(); ++k) {
    const int ring = k == 0 ? 0 : 1 + static_cast<int>(k - 1) / o.sectors;
    csv << k << ',' << ring << ',' << (k == 0 ? std::string() : std::to_string((k - 1) % o.sectors))
        << ',' << (ring == 0 ? 0.0f : o.regionRadiiMm[ring - 1]) << ',' << o.regionRadiiMm[ring]
        << ',' << cell(r.pachymetry.subfieldMean[k]) << ',' << cell(r.pachymetry.subfieldMin[k])
        << ',' << cell(r.pachymetry.subfieldMax[k]);
    if (r.hasEpithelium)
      csv << ',' << cell(r.epithelium.subfieldMean[k]) << ',' << cell(r.epithelium.subfieldMin[k])
          << ',' << cell(r.epithelium.subfieldMax[k]);
    csv << '\n';
  }
  return csv.str();
}

json ResultJson(const ScanSetup& s, const Volume& v, const PachymetryOptions& o,
                const Tools::RoadOptions& ro, const Tools::RoadResult& r) {
  json j;
  j["scan"] = {{"source", s.source},         {"numBscans", v.numBscans},
               {"bscanWidth", v.bscanWidth}, {"ascanLength", v.ascanLength},
               {"anglesDeg", s.angles},      {"halfFieldUm", {s.halfFieldUm[0], s.halfFieldUm[1]}},
               {"depthUm", s.depthUm}};
  const Tools::MapGeometry& g = r.geometry;
  j["map"] = {{"file", kPachymetryNpy},
              {"width", g.width},
              {"pixelUm", g.PitchUm()},
              {"centreColumn", g.CentreColumn()},
              {"centreRow", g.CentreRow()},
              {"orientation", "row 0 superior, column 0 at -x"},
              {"thicknessMeasure", o.gridPixel ? "grid pixel" : "sub-pixel"},
              {"noValue", -1}};
  j["pachymetry"] = MapJson(r.pachymetry, ro);
  j["power"] = r.powerStatus == 0 ? json{{"anteriorD", r.anteriorPower},
                                         {"posteriorD", r.posteriorPower},
                                         {"totalD", r.totalPower},
                                         {"zoneRadiusMm", ro.powerZoneRadiusUm / 1000}}
                                  : json();
  j["vertex"] = {
      {"quadricMm", r.vertexQFound ? json{r.vertexQUm[0] / 1000, r.vertexQUm[1] / 1000} : json()},
      {"specularMm", r.vertexSFound ? json{r.vertexSUm[0] / 1000, r.vertexSUm[1] / 1000} : json()},
      {"mapCentreMm", {0.0, 0.0}}};
  if (o.motionCorrect) {
    json shifts = json::array();
    for (int b = 0; b < v.numBscans; ++b)
      shifts.push_back(
          {{"bscan", b}, {"xUm", r.shiftXUm[b]}, {"yUm", r.shiftYUm[b]}, {"zUm", r.shiftZUm[b]}});
    j["motion"] = {{"corrected", r.motionStatus == 0}, {"shifts", shifts}};
  }
  if (r.hasEpithelium) {
    j["epithelium"] = MapJson(r.epithelium, ro);
    j["epithelium"]["file"] = kEpitheliumNpy;
  }
  json stages = json::array();
  for (const auto& t : r.times) stages.push_back({{"stage", t.stage}, {"ms", t.ms}});
  j["stages"] = stages;
  return j;
}

// Standard output sent to /dev/null for the object's lifetime (when `active`).
class QuietStdout {
 public:
  explicit QuietStdout(bool active) {
    if (!active) return;
    std::fflush(stdout);
    saved_ = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    if (saved_ < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) Restore();
    if (null >= 0) ::close(null);
  }
  ~QuietStdout() { Restore(); }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  int saved_ = -1;
};

// Progress on standard error when it is a terminal: the stage the road is in.
Tools::RoadOptions RoadOptionsFor(const PachymetryOptions& o, const ScanSetup& s, int stages) {
  Tools::RoadOptions ro;
  ro.subPixel = !o.gridPixel;
  ro.motionCorrect = o.motionCorrect;
  ro.epithelium = o.epithelium;
  ro.segmentation.lateralXMicron = static_cast<int>(std::lround(2 * s.halfFieldUm[0]));
  ro.segmentation.lateralYMicron = static_cast<int>(std::lround(2 * s.halfFieldUm[1]));
  ro.segmentation.depthMicron = static_cast<int>(std::lround(s.depthUm));
  if (!o.quiet && ::isatty(STDERR_FILENO) == 1) {
    auto done = std::make_shared<int>(0);
    ro.onStage = [done, stages](const char* stage) {
      constexpr int kCells = 20;
      std::string bar(static_cast<std::size_t>(*done * kCells / stages), '#');
      bar.resize(kCells, '.');
      std::fprintf(stderr, "\rPachymetry [%s] %-16s", bar.c_str(), stage);
      std::fflush(stderr);
      ++*done;
    };
  }
  return ro;
}

}  // namespace

int RunPachymetry(const PachymetryOptions& o) {
  if (o.inputs.empty()) throw CliError(ExitCode::Usage, "no input file or folder given.");
  if (!o.side.empty() && o.side != "OD" && o.side != "OS")
    throw CliError(ExitCode::Usage, "--side must be OD or OS.");
  const std::vector<std::string> files = ListInputFiles(o.inputs);
  const int N = static_cast<int>(files.size());
  if (N < 2)
    throw CliError(
        ExitCode::BadScan,
        "a pachymetry map needs at least 2 meridians (B-scans); got " + std::to_string(N) + ".");
  const ScanSetup setup = ReadSetup(o, N);
  const int stages = 6 + (o.motionCorrect ? 1 : 0) + (o.epithelium ? 2 : 0);
  Tools::RoadOptions ro = RoadOptionsFor(o, setup, stages);
  const Volume v =
      ReadVolume(files, ro.segmentation.lateralSubsample, ro.segmentation.axialSubsample);
  Tools::RadialScan scan;
  scan.volume = v.data.data();
  scan.numBscans = N, scan.bscanWidth = v.bscanWidth, scan.ascanLength = v.ascanLength;
  for (double a : setup.angles) scan.anglesDeg.push_back(static_cast<float>(a));
  scan.halfFieldUm[0] = static_cast<float>(setup.halfFieldUm[0]);
  scan.halfFieldUm[1] = static_cast<float>(setup.halfFieldUm[1]);
  scan.depthUm = static_cast<float>(setup.depthUm);
  Tools::RoadResult r;
  try {
    ro.segmentation = SDOCT::Algorithms::CorneaSegAdaptLevels(v.data.data(), N, v.bscanWidth,
                                                              v.ascanLength, ro.segmentation);
    // The motion solver prints its objective values on standard output: not shown.
    const QuietStdout quiet(o.motionCorrect);
    r = Tools::RunPachymetryRoad(scan, ro, SegmentationRandomValues(o.seed));
  } catch (const AlgorithmException& e) {
    if (ro.onStage) std::fputc('\n', stderr);
    throw CliError(ExitCode::Segmentation, std::string("pachymetry failed: ") + e.what());
  } catch (const std::runtime_error& e) {
    if (ro.onStage) std::fputc('\n', stderr);
    throw CliError(ExitCode::Segmentation, std::string("pachymetry failed: ") + e.what());
  }
  if (ro.onStage) std::fputc('\n', stderr);

  StagedOutputs out(o.outputDir);
  const int W = r.geometry.width;
  WritePicture(out, kPachymetryPng, r.pachymetry, r, ro, "PACHYMETRY", o.side);
  WriteNpy(out, kPachymetryNpy, r.pachymetry.values, W, W);
  if (r.hasEpithelium) {
    WritePicture(out, kEpitheliumPng, r.epithelium, r, ro, "EPITHELIUM", o.side);
    WriteNpy(out, kEpitheliumNpy, r.epithelium.values, W, W);
  }
  out.WriteText(kPachymetryCsv, SubfieldCsv(r, ro));
  out.WriteText(kPachymetryJson, ResultJson(setup, v, o, ro, r).dump(1) + "\n");
  out.Commit();
  if (o.quiet) return 0;
  std::printf("Pachymetry of %d meridians of %d x %d in %.2f s: centre %.1f um", N, v.bscanWidth,
              v.ascanLength, r.TotalMs() / 1000, r.pachymetry.subfieldMean[0]);
  if (r.pachymetry.thinnestFound)
    std::printf(", thinnest %.1f um at (%+.2f, %+.2f) mm", r.pachymetry.thinnestUm,
                r.pachymetry.thinnestXUm / 1000, r.pachymetry.thinnestYUm / 1000);
  if (r.powerStatus == 0)
    std::printf("; power %+.2f / %+.2f / %+.2f D", r.anteriorPower, r.posteriorPower, r.totalPower);
  std::printf("\nResults in %s\n", out.folder().string().c_str());
  return 0;
}

}  // namespace Talvex::Cli

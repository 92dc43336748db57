// The `synth` command: option parsing and writing a simulated scan (PNG per B-scan through
// libpng, raw volume, ground truth and parameters as JSON through nlohmann-json).
#include "tools/synthetic_eye/SynthCommand.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

namespace Talvex {
namespace Synthetic {

namespace {

const char* ScanName(ScanType t) {
  switch (t) {
    case ScanType::Radial:
      return "radial";
    case ScanType::Line:
      return "line";
    case ScanType::WideField:
      return "wide-field";
  }
  return "radial";
}

bool ParseInt(const std::string& s, int lo, int hi, int* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseDouble(const std::string& s, double* out) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0' || errno != 0 || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

nlohmann::json MapJson(const ThicknessMap& m) {
  return {{"width", m.width},
          {"diameterMm", m.diameterMm},
          {"thinnestXMm", m.thinnestXMm},
          {"thinnestYMm", m.thinnestYMm},
          {"thinnestUm", m.thinnestUm},
          {"valuesUm", m.values}};
}

nlohmann::json ConicJson(const ConicSurface& c) {
  return {{"radiusMm", c.radiusMm},
          {"radiusOtherMm", c.radiusOtherMm},
          {"axisDeg", c.axisDeg},
          {"asphericity", c.asphericity},
          {"apexDepthMm", c.apexDepthMm}};
}

nlohmann::json EyeJson(const ModelEye& e) {
  return {{"name", e.name},
          {"anterior", ConicJson(e.anterior)},
          {"posterior", ConicJson(e.posterior)},
          {"cone",
           {{"centreXMm", e.cone.centreXMm},
            {"centreYMm", e.cone.centreYMm},
            {"sigmaMm", e.cone.sigmaMm},
            {"anteriorBulgeMm", e.cone.anteriorBulgeMm},
            {"posteriorBulgeMm", e.cone.posteriorBulgeMm},
            {"epitheliumThinningUm", e.cone.epitheliumThinningUm}}},
          {"epithelium",
           {{"centralUm", e.epithelium.centralUm},
            {"inferiorGradientUmPerMm", e.epithelium.inferiorGradientUmPerMm},
            {"radialGradientUmPerMm2", e.epithelium.radialGradientUmPerMm2}}},
          {"bowmanThicknessUm", e.bowmanThicknessUm},
          {"limbusRadiusMm", e.limbusRadiusMm},
          {"scleraRadiusMm", e.scleraRadiusMm},
          {"angleRadiusMm", e.angleRadiusMm},
          {"pupilRadiusMm", e.pupilRadiusMm},
          {"irisThicknessMm", e.irisThicknessMm},
          {"irisRootThicknessMm", e.irisRootThicknessMm},
          {"irisBowMm", e.irisBowMm},
          {"lensDepthMm", e.lensDepthMm},
          {"lensRadiusMm", e.lensRadiusMm},
          {"cornea", {{"phase", e.cornea.phase}, {"group", e.cornea.group}}},
          {"aqueous", {{"phase", e.aqueous.phase}, {"group", e.aqueous.group}}},
          {"lens", {{"phase", e.lens.phase}, {"group", e.lens.group}}}};
}

nlohmann::json ProtocolJson(const ScanProtocol& p) {
  return {{"type", ScanName(p.type)},
          {"numBscans", p.numBscans},
          {"bscanWidth", p.bscanWidth},
          {"ascanLength", p.ascanLength},
          {"firstAngleDeg", p.firstAngleDeg},
          {"halfFieldMm", {p.halfFieldMm[0], p.halfFieldMm[1]}},
          {"halfFieldUm", {1000.0 * p.halfFieldMm[0], 1000.0 * p.halfFieldMm[1]}},
          {"halfTelecentricityDeg", {p.halfTelecentricityDeg[0], p.halfTelecentricityDeg[1]}},
          {"scanSagMm", {p.scanSagMm[0], p.scanSagMm[1]}},
          {"scanDepthMm", p.scanDepthMm},
          {"depthMicron", 1000.0 * p.scanDepthMm},
          {"referenceGroupIndex", kReferenceGroupIndex},
          {"apexDepthMm", p.apexDepthMm},
          {"eyeXMm", p.eyeXMm},
          {"eyeYMm", p.eyeYMm},
          {"randomMotionLateralMm", p.randomMotionLateralMm},
          {"randomMotionAxialMm", p.randomMotionAxialMm}};
}

nlohmann::json RenderJson(const RenderSettings& r) {
  return {{"speckle", r.speckle},
          {"noise", r.noise},
          {"specular", r.specular},
          {"mirrorImage", r.mirrorImage},
          {"axialResolutionUm", r.axialResolutionUm},
          {"lateralResolutionUm", r.lateralResolutionUm},
          {"noiseLevel", r.noiseLevel},
          {"rollOffDb", r.rollOffDb},
          {"epitheliumLevel", r.epitheliumLevel},
          {"stromaLevel", r.stromaLevel},
          {"bowmanLevel", r.bowmanLevel},
          {"scleraLevel", r.scleraLevel},
          {"irisLevel", r.irisLevel},
          {"irisPigmentLevel", r.irisPigmentLevel},
          {"lensLevel", r.lensLevel},
          {"anteriorPeakLevel", r.anteriorPeakLevel},
          {"bowmanPeakLevel", r.bowmanPeakLevel},
          {"posteriorPeakLevel", r.posteriorPeakLevel},
          {"irisPeakLevel", r.irisPeakLevel},
          {"lensPeakLevel", r.lensPeakLevel},
          {"obliqueLossDbPerDeg", r.obliqueLossDbPerDeg},
          {"specularWidthDeg", r.specularWidthDeg},
          {"specularPeakLevel", r.specularPeakLevel},
          {"streakLevel", r.streakLevel},
          {"mirrorAttenuationDb", r.mirrorAttenuationDb},
          {"mirrorFoldSample", r.mirrorFoldSample}};
}

nlohmann::json BscanJson(const BscanTruth& t) {
  return {{"angleDeg", t.angleDeg},
          {"halfLengthMm", t.halfLengthMm},
          {"halfTelecentricityDeg", t.halfTelecentricityDeg},
          {"scanSagMm", t.scanSagMm},
          {"motionMm", {t.motionMm[0], t.motionMm[1], t.motionMm[2]}},
          {"specularFirst", t.specularFirst},
          {"specularLast", t.specularLast},
          {"specularCentre", t.specularCentre},
          {"anterior", t.anterior},
          {"bowman", t.bowman},
          {"posterior", t.posterior},
          {"irisLens", t.irisLens},
          {"thicknessUm", t.thicknessUm},
          {"incidenceDeg", t.incidenceDeg},
          {"anteriorPointMm", {{"x", t.anteriorX}, {"y", t.anteriorY}, {"z", t.anteriorZ}}},
          {"posteriorPointMm", {{"x", t.posteriorX}, {"y", t.posteriorY}, {"z", t.posteriorZ}}}};
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string SynthUsage(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "Simulates an anterior-segment SD-OCT scan of a model eye with exact ground truth.\n"
         "  --preset NAME      gullstrand | navarro | keratoconus | post-refractive (gullstrand)\n"
         "  --scan TYPE        radial | line | wide-field (radial)\n"
         "  --meridians N      B-scans of a radial scan (16)\n"
         "  --ascans N         A-scans per B-scan (1024)\n"
         "  --samples N        samples per A-scan (1024)\n"
         "  --angle DEG        angle of a line or wide-field scan, first meridian of a radial one\n"
         "  --seed N           seed of speckle, noise and motion (1)\n"
         "  --motion UM        random lateral eye motion between meridians, +-UM micrometres\n"
         "  --axial-motion UM  random axial eye motion between meridians\n"
         "  --map-width N      width of the truth maps in pixels (101; 0 = none)\n"
         "  --no-speckle       smooth tissue levels\n"
         "  --no-noise         no noise floor\n"
         "  --no-specular      no specular reflection or streak\n"
         "  --no-png           write only the volume and the truth\n"
         "  --out DIR          output folder (synth-out)\n"
         "  --help             this text\n";
}

bool ParseSynthOptions(const std::vector<std::string>& args, SynthOptions* o, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) {
        *error = "Missing value after " + a + ".";
        return false;
      }
      *v = args[++i];
      return true;
    };
    std::string v;
    auto bad = [&]() {
      *error = "Invalid value '" + v + "' for " + a + ".";
      return false;
    };
    if (a == "--help" || a == "-h") {
      o->showHelp = true;
    } else if (a == "--no-speckle") {
      o->speckle = false;
    } else if (a == "--no-noise") {
      o->noise = false;
    } else if (a == "--no-specular") {
      o->specular = false;
    } else if (a == "--no-png") {
      o->writePngs = false;
    } else if (a == "--preset") {
      if (!value(&v)) return false;
      ModelEye probe;
      if (!PresetByName(v, &probe)) return bad();
      o->preset = v;
    } else if (a == "--scan") {
      if (!value(&v)) return false;
      if (v == "radial") {
        o->scan = ScanType::Radial;
      } else if (v == "line") {
        o->scan = ScanType::Line;
      } else if (v == "wide-field") {
        o->scan = ScanType::WideField;
      } else {
        return bad();
      }
    } else if (a == "--meridians") {
      if (!value(&v) || !ParseInt(v, 1, 360, &o->meridians)) return v.empty() ? false : bad();
    } else if (a == "--ascans") {
      if (!value(&v) || !ParseInt(v, 2, 8192, &o->ascans)) return v.empty() ? false : bad();
    } else if (a == "--samples") {
      if (!value(&v) || !ParseInt(v, 2, 8192, &o->samples)) return v.empty() ? false : bad();
    } else if (a == "--map-width") {
      if (!value(&v) || !ParseInt(v, 0, 4096, &o->mapWidth)) return v.empty() ? false : bad();
    } else if (a == "--seed") {
      if (!value(&v)) return false;
      char* end = nullptr;
      errno = 0;
      const unsigned long long s = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || errno != 0 || v[0] == '-') return bad();
      o->seed = s;
    } else if (a == "--angle") {
      if (!value(&v) || !ParseDouble(v, &o->angleDeg)) return v.empty() ? false : bad();
    } else if (a == "--motion") {
      if (!value(&v) || !ParseDouble(v, &o->motionLateralUm)) return v.empty() ? false : bad();
    } else if (a == "--axial-motion") {
      if (!value(&v) || !ParseDouble(v, &o->motionAxialUm)) return v.empty() ? false : bad();
    } else if (a == "--out") {
      if (!value(&v)) return false;
      o->outputDir = v;
    } else {
      *error = "Unknown option " + a + ".";
      return false;
    }
  }
  return true;
}

void SynthSetup(const SynthOptions& o, ModelEye* eye, ScanProtocol* protocol,
                RenderSettings* render) {
  PresetByName(o.preset, eye);
  *render = RenderSettings();
  switch (o.scan) {
    case ScanType::Radial:
      *protocol = RadialProtocol(o.meridians, o.ascans, o.samples);
      protocol->firstAngleDeg = o.angleDeg;
      break;
    case ScanType::Line:
      *protocol = LineProtocol(o.angleDeg, o.ascans, o.samples);
      break;
    case ScanType::WideField:
      *protocol = WideFieldProtocol(o.angleDeg, o.ascans, o.samples);
      *render = WideFieldRendering();
      break;
  }
  protocol->randomMotionLateralMm = 1e-3 * o.motionLateralUm;
  protocol->randomMotionAxialMm = 1e-3 * o.motionAxialUm;
  render->speckle = o.speckle;
  render->noise = o.noise;
  render->specular = o.specular;
}

bool WritePng(const std::string& path, const std::uint8_t* pixels, int width, int height,
              int channels, std::string* error) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    *error = "Cannot open " + path + " for writing.";
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    *error = "libpng: cannot create the writer.";
    return false;
  }
  std::vector<png_bytep> rows(height);
  for (int k = 0; k < height; ++k)
    rows[k] = const_cast<png_bytep>(pixels + static_cast<size_t>(k) * width * channels);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "libpng: failed writing " + path + ".";
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, width, height, 8,
               channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WriteBscanPng(const std::string& path, const std::uint8_t* bscan, int bscanWidth,
                   int ascanLength, std::string* error) {
  // Rows of the picture are depths: transpose the A-scan-major B-scan.
  std::vector<std::uint8_t> image(static_cast<size_t>(bscanWidth) * ascanLength);
  for (int j = 0; j < bscanWidth; ++j)
    for (int k = 0; k < ascanLength; ++k)
      image[static_cast<size_t>(k) * bscanWidth + j] =
          bscan[static_cast<size_t>(j) * ascanLength + k];
  return WritePng(path, image.data(), bscanWidth, ascanLength, 1, error);
}

int RunSynth(const SynthOptions& o, std::string* error) {
  ModelEye eye;
  if (!PresetByName(o.preset, &eye)) {
    *error = "Unknown preset " + o.preset + ".";
    return 1;
  }
  ScanProtocol protocol;
  RenderSettings render;
  SynthSetup(o, &eye, &protocol, &render);
  SimulatedScan scan;
  try {
    scan = SimulateScan(eye, protocol, render, o.seed, o.mapWidth);
  } catch (const std::exception& e) {
    *error = e.what();
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(o.outputDir, ec);
  if (ec) {
    *error = "Cannot create " + o.outputDir + ": " + ec.message();
    return 1;
  }
  const std::filesystem::path dir(o.outputDir);
  const size_t bscanBytes = static_cast<size_t>(scan.bscanWidth) * scan.ascanLength;
  if (o.writePngs) {
    for (int b = 0; b < scan.numBscans; ++b) {
      char name[32];
      std::snprintf(name, sizeof name, "bscan_%03d.png", b);
      if (!WriteBscanPng((dir / name).string(), scan.volume.data() + bscanBytes * b,
                         scan.bscanWidth, scan.ascanLength, error))
        return 1;
    }
  }
  {
    std::ofstream raw(dir / "volume.raw", std::ios::binary);
    raw.write(reinterpret_cast<const char*>(scan.volume.data()),
              static_cast<std::streamsize>(scan.volume.size()));
    if (!raw) {
      *error = "Cannot write " + (dir / "volume.raw").string() + ".";
      return 1;
    }
  }
  nlohmann::json j;
  j["generator"] = "talvex-synth";
  j["seed"] = o.seed;
  j["volume"] = {{"file", "volume.raw"},
                 {"numBscans", scan.numBscans},
                 {"bscanWidth", scan.bscanWidth},
                 {"ascanLength", scan.ascanLength},
                 {"layout", "uint8, A-scan after A-scan (depth contiguous), B-scan after B-scan"},
                 {"depthConvention",
                  "optical path from the scan surface; tissue-equivalent depth = optical path / "
                  "referenceGroupIndex"}};
  j["eye"] = EyeJson(eye);
  j["protocol"] = ProtocolJson(protocol);
  j["render"] = RenderJson(render);
  const CornealPower& p = scan.truth.power;
  j["power"] = {{"anteriorD", p.anterior},
                {"posteriorD", p.posterior},
                {"totalD", p.total},
                {"anteriorFlatD", p.anteriorFlat},
                {"anteriorSteepD", p.anteriorSteep},
                {"totalFlatD", p.totalFlat},
                {"totalSteepD", p.totalSteep},
                {"flatMeridianDeg", p.flatMeridianDeg},
                {"keratometricD", p.keratometric}};
  j["pachymetryMap"] = MapJson(scan.truth.pachymetry);
  j["epitheliumMap"] = MapJson(scan.truth.epithelium);
  nlohmann::json bscans = nlohmann::json::array();
  for (const BscanTruth& t : scan.truth.bscans) bscans.push_back(BscanJson(t));
  j["bscans"] = std::move(bscans);
  std::ofstream js(dir / "truth.json");
  js << j.dump(1) << '\n';
  if (!js) {
    *error = "Cannot write " + (dir / "truth.json").string() + ".";
    return 1;
  }
  return 0;
}

}  // namespace Synthetic
}  // namespace Talvex

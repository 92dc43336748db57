// The `synth` command: option parsing and writing a simulated scan (PNG per B-scan through the
// tools' PNG writer, raw volume, ground truth and parameters as JSON through nlohmann-json).
#include "tools/synthetic_eye/SynthCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "tools/imaging/ImageCodecs.h"

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
          {"eyeTiltDeg", {p.eyeTiltDeg[0], p.eyeTiltDeg[1]}},
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
          {"mirrorFoldSample", r.mirrorFoldSample},
          {"basalBandUm", r.basalBandUm},
          {"basalBandLevel", r.basalBandLevel},
          {"interfacePeaksOnly", r.interfacePeaksOnly}};
}

nlohmann::json DeviceJson(const DeviceExport& d) {
  return {{"airLevel", d.airLevel},
          {"stromaLevel", d.stromaLevel},
          {"anteriorReflectionLevel", d.anteriorReflectionLevel},
          {"saturationLevel", d.saturationLevel},
          {"greyNoise", d.greyNoise},
          {"smoothingPx", d.smoothingPx},
          {"streak", d.streak},
          {"streakLevel", d.streakLevel},
          {"streakHalfWidth", d.streakHalfWidth},
          {"fanMask", d.fanMask},
          {"fanGapUm", d.fanGapUm},
          {"fanRadiusMm", d.fanRadiusMm},
          {"fanHalfAngleDeg", d.fanHalfAngleDeg},
          {"jpegQuality", d.jpegQuality}};
}

nlohmann::json LevelsJson(const DeviceLevels& l) {
  return {{"air", l.air},
          {"stroma", l.stroma},
          {"anteriorPeak", l.anteriorPeak},
          {"posteriorStroma", l.posteriorStroma},
          {"aqueous", l.aqueous}};
}

nlohmann::json BscanJson(const BscanTruth& t) {
  nlohmann::json j = {
      {"angleDeg", t.angleDeg},
      {"halfLengthMm", t.halfLengthMm},
      {"halfTelecentricityDeg", t.halfTelecentricityDeg},
      {"scanSagMm", t.scanSagMm},
      {"motionMm", {t.motionMm[0], t.motionMm[1], t.motionMm[2]}},
      {"motionCorrectionUm",
       {t.motionCorrectionUm[0], t.motionCorrectionUm[1], t.motionCorrectionUm[2]}},
      {"specularFirst", t.specularFirst},
      {"specularLast", t.specularLast},
      {"specularCentre", t.specularCentre},
      {"anterior", t.anterior},
      {"bowman", t.bowman},
      {"posterior", t.posterior},
      {"irisLens", t.irisLens},
      {"mirrorFoldSample", t.mirrorFoldSample},
      {"mirrorAnterior", t.mirrorAnterior},
      {"mirrorPosterior", t.mirrorPosterior},
      {"thicknessUm", t.thicknessUm},
      {"incidenceDeg", t.incidenceDeg},
      {"anteriorPointMm", {{"x", t.anteriorX}, {"y", t.anteriorY}, {"z", t.anteriorZ}}},
      {"posteriorPointMm", {{"x", t.posteriorX}, {"y", t.posteriorY}, {"z", t.posteriorZ}}}};
  if (t.device.levels.valid)
    j["device"] = {{"levels", LevelsJson(t.device.levels)},
                   {"maskTop", t.device.maskTop},
                   {"maskBottom", t.device.maskBottom},
                   {"streakFirst", t.device.streakFirst},
                   {"streakLast", t.device.streakLast}};
  return j;
}

constexpr const char* kDeviceOptions[] = {"--air-level",  "--stroma-level", "--anterior-level",
                                          "--saturation", "--grey-noise",   "--streak-level",
                                          "--fan-gap",    "--jpeg-quality"};

bool IsDeviceOption(const std::string& a) {
  for (const char* o : kDeviceOptions)
    if (a == o) return true;
  return false;
}

// Applies one level option of the device export (validated as a whole afterwards).
bool ApplyDeviceOption(const std::string& name, double v, DeviceExport* d) {
  if (name == "--air-level") {
    d->airLevel = v;
  } else if (name == "--stroma-level") {
    d->stromaLevel = v;
  } else if (name == "--anterior-level") {
    d->anteriorReflectionLevel = v;
  } else if (name == "--saturation") {
    d->saturationLevel = v;
  } else if (name == "--grey-noise") {
    d->greyNoise = v;
  } else if (name == "--streak-level") {
    d->streak = v > 0.0;
    d->streakLevel = v;
  } else if (name == "--fan-gap") {
    d->fanGapUm = v;
  } else if (name == "--no-fan-mask") {
    d->fanMask = false;
  } else if (name == "--jpeg-quality") {
    if (v != std::floor(v)) return false;
    d->jpegQuality = static_cast<int>(v);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string SynthUsage(const std::string& program) {
  return "Usage: " + program +
         " [options]\n"
         "Simulates an anterior-segment SD-OCT scan of a model eye with exact ground truth.\n"
         "  --preset NAME      gullstrand | navarro | keratoconus | post-refractive (gullstrand)\n"
         "  --scan TYPE        radial | line | wide-field (radial)\n"
         "  --meridians N      B-scans of a radial scan (16)\n"
         "  --ascans N         A-scans per B-scan (1024; 1020 for device exports and frames)\n"
         "  --samples N        samples per A-scan (1024; 640 for device exports and frames)\n"
         "  --angle DEG        angle of a line or wide-field scan, first meridian of a radial one\n"
         "  --seed N           seed of speckle, noise and motion (1)\n"
         "  --motion UM        random lateral eye motion between meridians, +-UM micrometres\n"
         "  --axial-motion UM  random axial eye motion between meridians\n"
         "  --eye-x UM, --eye-y UM  en-face position of the eye's apex (decentration, 0)\n"
         "  --tilt-x DEG, --tilt-y DEG  eye tilt toward +X and toward +Y (0)\n"
         "  --map-width N      width of the truth maps in pixels (101; 0 = none)\n"
         "  --no-speckle       smooth tissue levels\n"
         "  --no-noise         no noise floor\n"
         "  --no-specular      no specular reflection or streak\n"
         "  --interface-peaks  surfaces as thin reflection peaks between equal tissue levels\n"
         "  --no-png           write only the volume and the truth\n"
         "  --out DIR          output folder (synth-out)\n"
         "  --help             this text\n"
         "Device export (the grey scale of a clinical device's exported JPEGs, 1020 x 640 of\n"
         "4.3 um x 8 um by default; truth.json gains the measured grey levels):\n"
         "  --device-export P  preset typical | dim | bright\n"
         "  --air-level G      mean grey of the air (typical: 2)\n"
         "  --stroma-level G   mean grey of the stroma (120)\n"
         "  --anterior-level G grey of the anterior reflection (235)\n"
         "  --saturation G     brightest grey written (255)\n"
         "  --grey-noise SD    additive grey noise (2)\n"
         "  --streak-level G   saturated streak at the apex (255; 0 = none)\n"
         "  --fan-gap UM       black fan mask from UM below the posterior apex (120)\n"
         "  --no-fan-mask      no fan mask\n"
         "  --jpeg-quality Q   JPEG round trip of every B-scan at quality Q (90; 0 = none)\n"
         "  A level option alone implies --device-export typical.\n"
         "Frames without a cornea (instead of an eye):\n"
         "  --no-cornea KIND   speckle | uniform | air | half-plane | eyelid | iris\n"
         "  --frames N         number of frames (1); frame f is drawn from seed + f\n"
         "  --level G          mean grey of the texture or the uniform frame (60)\n"
         "  --contrast G       spread of the texture (12)\n"
         "  --grain N          speckle grain in pixels (1.5)\n";
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
    } else if (a == "--interface-peaks") {
      o->interfacePeaks = true;
    } else if (a == "--device-export") {
      if (!value(&v)) return false;
      DeviceExport probe;
      if (!DeviceExportPreset(v, &probe)) return bad();
      o->devicePreset = v;
    } else if (a == "--no-fan-mask") {
      o->deviceOptions.emplace_back(a, 0.0);
    } else if (IsDeviceOption(a)) {
      double x = 0;
      if (!value(&v) || !ParseDouble(v, &x)) return v.empty() ? false : bad();
      o->deviceOptions.emplace_back(a, x);
    } else if (a == "--no-cornea") {
      if (!value(&v)) return false;
      if (!NoCorneaKindByName(v, &o->frame.kind)) return bad();
      o->noCornea = v;
    } else if (a == "--frames") {
      if (!value(&v) || !ParseInt(v, 1, 360, &o->frames)) return v.empty() ? false : bad();
    } else if (a == "--level") {
      if (!value(&v) || !ParseDouble(v, &o->frame.level)) return v.empty() ? false : bad();
    } else if (a == "--contrast") {
      if (!value(&v) || !ParseDouble(v, &o->frame.contrast) || o->frame.contrast < 0)
        return v.empty() ? false : bad();
    } else if (a == "--grain") {
      if (!value(&v) || !ParseDouble(v, &o->frame.grainAscans) || o->frame.grainAscans < 0 ||
          o->frame.grainAscans > 50)
        return v.empty() ? false : bad();
      o->frame.grainSamples = o->frame.grainAscans;
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
    } else if (a == "--eye-x" || a == "--eye-y") {
      double* target = &o->eyeUm[a == "--eye-x" ? 0 : 1];
      if (!value(&v) || !ParseDouble(v, target)) return v.empty() ? false : bad();
    } else if (a == "--tilt-x" || a == "--tilt-y") {
      double* target = &o->eyeTiltDeg[a == "--tilt-x" ? 0 : 1];
      if (!value(&v) || !ParseDouble(v, target)) return v.empty() ? false : bad();
    } else if (a == "--out") {
      if (!value(&v)) return false;
      o->outputDir = v;
    } else {
      *error = "Unknown option " + a + ".";
      return false;
    }
  }
  DeviceExport device;
  bool deviceOn = false;
  if (!SynthDeviceExport(*o, &device, &deviceOn, error)) return false;
  if (deviceOn && !o->noCornea.empty()) {
    *error = "--no-cornea cannot be combined with a device export.";
    return false;
  }
  return true;
}

bool SynthDeviceExport(const SynthOptions& o, DeviceExport* device, bool* enabled,
                       std::string* error) {
  *enabled = !o.devicePreset.empty() || !o.deviceOptions.empty();
  if (!*enabled) return true;
  DeviceExportPreset(o.devicePreset.empty() ? "typical" : o.devicePreset, device);
  for (const auto& [name, value] : o.deviceOptions)
    if (!ApplyDeviceOption(name, value, device)) {
      *error = "Invalid value for " + name + ".";
      return false;
    }
  return ValidateDeviceExport(*device, error);
}

void SynthSetup(const SynthOptions& o, ModelEye* eye, ScanProtocol* protocol,
                RenderSettings* render) {
  PresetByName(o.preset, eye);
  *render = RenderSettings();
  DeviceExport device;
  bool deviceOn = false;
  std::string error;
  SynthDeviceExport(o, &device, &deviceOn, &error);
  const int ascans = o.ascans > 0 ? o.ascans : (deviceOn ? 1020 : 1024);
  const int samples = o.samples > 0 ? o.samples : (deviceOn ? 640 : 1024);
  switch (o.scan) {
    case ScanType::Radial:
      *protocol = RadialProtocol(o.meridians, ascans, samples);
      protocol->firstAngleDeg = o.angleDeg;
      break;
    case ScanType::Line:
      *protocol = LineProtocol(o.angleDeg, ascans, samples);
      break;
    case ScanType::WideField:
      *protocol = WideFieldProtocol(o.angleDeg, ascans, samples);
      *render = WideFieldRendering();
      break;
  }
  if (deviceOn && o.scan != ScanType::WideField) {
    const ScanProtocol pitch = DeviceProtocol(1);
    protocol->scanDepthMm = pitch.scanDepthMm / pitch.ascanLength * samples;
    protocol->halfFieldMm[0] = protocol->halfFieldMm[1] =
        pitch.halfFieldMm[0] / (pitch.bscanWidth - 1) * (ascans - 1);
  }
  protocol->randomMotionLateralMm = 1e-3 * o.motionLateralUm;
  protocol->randomMotionAxialMm = 1e-3 * o.motionAxialUm;
  protocol->eyeXMm += 1e-3 * o.eyeUm[0];
  protocol->eyeYMm += 1e-3 * o.eyeUm[1];
  protocol->eyeTiltDeg[0] += o.eyeTiltDeg[0];
  protocol->eyeTiltDeg[1] += o.eyeTiltDeg[1];
  render->speckle = o.speckle;
  render->noise = o.noise;
  render->specular = o.specular;
  render->interfacePeaksOnly = o.interfacePeaks;
  if (deviceOn) *render = DeviceRendering(*render, device);
}

bool WriteBscanPng(const std::string& path, const std::uint8_t* bscan, int bscanWidth,
                   int ascanLength, std::string* error, int compressionLevel) {
  // Rows of the picture are depths: transpose the A-scan-major B-scan.
  std::vector<std::uint8_t> image(static_cast<size_t>(bscanWidth) * ascanLength);
  for (int j = 0; j < bscanWidth; ++j)
    for (int k = 0; k < ascanLength; ++k)
      image[static_cast<size_t>(k) * bscanWidth + j] =
          bscan[static_cast<size_t>(j) * ascanLength + k];
  return Tools::WritePng(path, image.data(), bscanWidth, ascanLength, 1, compressionLevel, error);
}

namespace {

// Writes the PNGs (when asked), volume.raw and truth.json (with the volume's description) of a
// volume of numBscans x bscanWidth x ascanLength bytes into options.outputDir.
int WriteOutputs(const SynthOptions& o, const std::vector<std::uint8_t>& volume, int numBscans,
                 int bscanWidth, int ascanLength, nlohmann::json truth, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(o.outputDir, ec);
  if (ec) {
    *error = "Cannot create " + o.outputDir + ": " + ec.message();
    return 1;
  }
  const std::filesystem::path dir(o.outputDir);
  const size_t bscanBytes = static_cast<size_t>(bscanWidth) * ascanLength;
  if (o.writePngs) {
    for (int b = 0; b < numBscans; ++b) {
      char name[32];
      std::snprintf(name, sizeof name, "bscan_%03d.png", b);
      if (!WriteBscanPng((dir / name).string(), volume.data() + bscanBytes * b, bscanWidth,
                         ascanLength, error))
        return 1;
    }
  }
  {
    std::ofstream raw(dir / "volume.raw", std::ios::binary);
    raw.write(reinterpret_cast<const char*>(volume.data()),
              static_cast<std::streamsize>(volume.size()));
    if (!raw) {
      *error = "Cannot write " + (dir / "volume.raw").string() + ".";
      return 1;
    }
  }
  truth["volume"] = {
      {"file", "volume.raw"},
      {"numBscans", numBscans},
      {"bscanWidth", bscanWidth},
      {"ascanLength", ascanLength},
      {"layout", "uint8, A-scan after A-scan (depth contiguous), B-scan after B-scan"},
      {"depthConvention",
       "optical path from the scan surface; tissue-equivalent depth = optical path / "
       "referenceGroupIndex"}};
  std::ofstream js(dir / "truth.json");
  js << truth.dump(1) << '\n';
  if (!js) {
    *error = "Cannot write " + (dir / "truth.json").string() + ".";
    return 1;
  }
  return 0;
}

// Frames without a cornea: frame f from seed + f; the truth records the settings.
int RunFrames(const SynthOptions& o, std::string* error) {
  NoCorneaFrame f = o.frame;
  f.bscanWidth = o.ascans > 0 ? o.ascans : 1020;
  f.ascanLength = o.samples > 0 ? o.samples : 640;
  std::vector<std::uint8_t> volume;
  nlohmann::json frames = nlohmann::json::array();
  try {
    for (int i = 0; i < o.frames; ++i) {
      const std::vector<std::uint8_t> one = SimulateNoCorneaFrame(f, o.seed + i);
      volume.insert(volume.end(), one.begin(), one.end());
      frames.push_back({{"seed", o.seed + i}, {"cornea", false}});
    }
  } catch (const std::exception& e) {
    *error = e.what();
    return 1;
  }
  nlohmann::json j;
  j["generator"] = "talvex-synth";
  j["seed"] = o.seed;
  j["noCornea"] = {{"kind", NoCorneaKindName(f.kind)}, {"level", f.level},
                   {"contrast", f.contrast},           {"grainAscans", f.grainAscans},
                   {"grainSamples", f.grainSamples},   {"floorLevel", f.floorLevel},
                   {"floorNoise", f.floorNoise},       {"edgeDepth", f.edgeDepth},
                   {"edgeTiltDeg", f.edgeTiltDeg},     {"bandFraction", f.bandFraction}};
  j["bscans"] = std::move(frames);
  return WriteOutputs(o, volume, o.frames, f.bscanWidth, f.ascanLength, std::move(j), error);
}

}  // namespace

int RunSynth(const SynthOptions& o, std::string* error) {
  if (!o.noCornea.empty()) return RunFrames(o, error);
  ModelEye eye;
  if (!PresetByName(o.preset, &eye)) {
    *error = "Unknown preset " + o.preset + ".";
    return 1;
  }
  DeviceExport device;
  bool deviceOn = false;
  if (!SynthDeviceExport(o, &device, &deviceOn, error)) return 1;
  ScanProtocol protocol;
  RenderSettings render;
  SynthSetup(o, &eye, &protocol, &render);
  SimulatedScan scan;
  try {
    scan = SimulateScan(eye, protocol, render, o.seed, o.mapWidth);
    if (deviceOn) ApplyDeviceExport(device, protocol, render, o.seed, &scan);
  } catch (const std::exception& e) {
    *error = e.what();
    return 1;
  }
  nlohmann::json j;
  j["generator"] = "talvex-synth";
  j["seed"] = o.seed;
  j["eye"] = EyeJson(eye);
  j["protocol"] = ProtocolJson(protocol);
  j["render"] = RenderJson(render);
  if (deviceOn) {
    j["deviceExport"] = DeviceJson(device);
    j["deviceLevels"] = LevelsJson(scan.truth.deviceLevels);
  }
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
  if (protocol.type == ScanType::Radial) {
    const MeridianFitPower& f = scan.truth.fitPower;
    j["fitPower"] = {{"zoneRadiusMm", f.zoneRadiusMm},
                     {"anteriorD", f.anterior},
                     {"posteriorD", f.posterior},
                     {"totalD", f.total}};
  }
  const VertexTruth& v = scan.truth.vertex;
  j["vertex"] = {{"apexXMm", v.apexXMm},
                 {"apexYMm", v.apexYMm},
                 {"apexDepthMm", v.apexDepthMm},
                 {"normalIncidenceXMm", v.normalXMm},
                 {"normalIncidenceYMm", v.normalYMm},
                 {"normalIncidenceScanXMm", v.normalScanXMm},
                 {"normalIncidenceScanYMm", v.normalScanYMm},
                 {"normalIncidenceResidualDeg", v.normalIncidenceDeg}};
  j["pachymetryMap"] = MapJson(scan.truth.pachymetry);
  j["epitheliumMap"] = MapJson(scan.truth.epithelium);
  nlohmann::json bscans = nlohmann::json::array();
  for (const BscanTruth& t : scan.truth.bscans) bscans.push_back(BscanJson(t));
  j["bscans"] = std::move(bscans);
  return WriteOutputs(o, scan.volume, scan.numBscans, scan.bscanWidth, scan.ascanLength,
                      std::move(j), error);
}

}  // namespace Synthetic
}  // namespace Talvex

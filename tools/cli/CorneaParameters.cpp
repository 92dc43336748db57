// Field table of CorneaSegParameter: name, type and accepted range of every field. The ranges
// refuse values the segmentation cannot use (a zero subsample, an even derivative kernel, a
// probability of 1) and values no scan needs, so a typing error is caught before any work.
#include "tools/cli/CorneaParameters.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "interface/CorneaSegPresets.h"
#include "tools/cli/CliError.h"

namespace Talvex::Cli {

namespace {

using P = CorneaSegParameter;

enum class Kind { Int, Float, Bool };

struct Field {
  const char* name;
  Kind kind;
  std::int32_t P::*i;
  float P::*f;
  bool P::*b;
  double lo, hi;
  bool loOpen, hiOpen;  // the bound itself is excluded
  bool odd;
};

constexpr Field Int(const char* n, std::int32_t P::*m, double lo, double hi, bool odd = false) {
  return {n, Kind::Int, m, nullptr, nullptr, lo, hi, false, false, odd};
}
constexpr Field Real(const char* n, float P::*m, double lo, double hi, bool loOpen = false,
                     bool hiOpen = false) {
  return {n, Kind::Float, nullptr, m, nullptr, lo, hi, loOpen, hiOpen, false};
}
constexpr Field Flag(const char* n, bool P::*m) {
  return {n, Kind::Bool, nullptr, nullptr, m, 0, 0, false, false, false};
}

constexpr double kUm = 100000;  // 10 cm: above any anterior-segment scan extent

const Field kFields[] = {
    Real("sigmaLateral", &P::sigmaLateral, 0, 50),
    Real("sigmaAxial", &P::sigmaAxial, 0, 50),
    Int("lateralSubsample", &P::lateralSubsample, 1, 64),
    Int("axialSubsample", &P::axialSubsample, 1, 64),
    Int("bilateralMaxKernelWidth", &P::bilateralMaxKernelWidth, 1, 31),
    Int("bilateralMaxKernelHeight", &P::bilateralMaxKernelHeight, 1, 31),
    Real("bilateralValSquareSigma", &P::bilateralValSquareSigma, 0, 1e6, true),
    Real("bilateralPosSquareSigma", &P::bilateralPosSquareSigma, 0, 1e4, true),
    Int("lateralXMicron", &P::lateralXMicron, 1, kUm),
    Int("lateralYMicron", &P::lateralYMicron, 1, kUm),
    Int("depthMicron", &P::depthMicron, 1, kUm),
    Real("axialRes1Micron", &P::axialRes1Micron, 0, 1000, true),
    Real("axialRes2Micron", &P::axialRes2Micron, 0, 1000, true),
    Real("signal1Level_0", &P::signal1Level_0, -1000, 1000),
    Real("signal1Level_1", &P::signal1Level_1, -1000, 1000),
    Real("signal1Level_2", &P::signal1Level_2, -1000, 1000),
    Real("signal2Level_0", &P::signal2Level_0, -1000, 1000),
    Real("signal2Level_1", &P::signal2Level_1, -1000, 1000),
    Real("signal2Level_2", &P::signal2Level_2, -1000, 1000),
    Real("corrCoeffThresh", &P::corrCoeffThresh, 0, 1),
    Int("posteriorTopROI", &P::posteriorTopROI, 0, kUm),
    Int("posteriorBottomROI", &P::posteriorBottomROI, 1, kUm),
    Int("gaussXsize", &P::gaussXsize, 1, 99, true),
    Real("gaussXsigma", &P::gaussXsigma, 0, 100, true),
    Int("gaussYsize", &P::gaussYsize, 1, 99, true),
    Real("gaussYsigma", &P::gaussYsigma, 0, 100, true),
    Int("ransacMinNumPoints", &P::ransacMinNumPoints, 3, 1000),
    Real("ransacDistThresh", &P::ransacDistThresh, 0, 1000, true),
    Real("ransacProbability", &P::ransacProbability, 0, 1, true, true),
    Int("ransacMaxDataTrials", &P::ransacMaxDataTrials, 1, 100000),
    Int("ransacMaxTrials", &P::ransacMaxTrials, 1, 1000000),
    Int("layerOffset", &P::layerOffset, 1, kUm),
    Real("bsplineWavelength", &P::bsplineWavelength, 0, 1, true),
    Int("dropOutsOffset", &P::dropOutsOffset, 0, kUm),
    Real("anteriorConfidenceThreshold", &P::anteriorConfidenceThreshold, -1, 1),
    Real("posteriorConfidenceThreshold", &P::posteriorConfidenceThreshold, -1, 1),
    Flag("adjustAnterior", &P::adjustAnterior),
    Flag("pachymetryScan", &P::pachymetryScan),
    Flag("robustFitSearchPastEmptyTrials", &P::robustFitSearchPastEmptyTrials),
    Flag("requireCorneaEvidence", &P::requireCorneaEvidence),
    Flag("refineToReflectionPeaks", &P::refineToReflectionPeaks),
    Flag("fullDepthPositionsWhenSubsampled", &P::fullDepthPositionsWhenSubsampled),
};

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

// "an odd integer from 1 to 99", "a number above 0 and below 1", ...
std::string Rule(const Field& f) {
  if (f.kind == Kind::Bool) return "true or false";
  std::string r = f.kind == Kind::Int ? (f.odd ? "an odd integer" : "an integer") : "a number";
  if (!f.loOpen && !f.hiOpen) return r + " from " + Number(f.lo) + " to " + Number(f.hi);
  return r + (f.loOpen ? " above " : " from ") + Number(f.lo) +
         (f.hiOpen ? " and below " : " and at most ") + Number(f.hi);
}

bool InRange(const Field& f, double v) {
  if (!std::isfinite(v)) return false;
  if (f.loOpen ? v <= f.lo : v < f.lo) return false;
  if (f.hiOpen ? v >= f.hi : v > f.hi) return false;
  if (f.odd && std::fmod(v, 2.0) == 0.0) return false;
  return true;
}

// The shortest decimal that reads back as the same float (0.05f is written 0.05, not
// 0.0500000007).
double ShortestDecimal(float v) {
  char text[32];
  for (int digits = 6; digits < 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
    if (std::strtof(text, nullptr) == v) return std::strtod(text, nullptr);
  }
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return std::strtod(text, nullptr);
}

[[noreturn]] void Refuse(const std::string& source, const std::string& what) {
  throw CliError(ExitCode::BadParameter, source + ": " + what);
}

}  // namespace

bool CorneaPresetByName(const std::string& name, CorneaSegParameter* parameters) {
  if (name == "radial1024") {
    *parameters = SDOCT::Algorithms::CorneaSegPresetRadial1024();
  } else if (name == "radial640") {
    *parameters = SDOCT::Algorithms::CorneaSegPresetRadial640();
  } else {
    return false;
  }
  return true;
}

void ApplyCorneaParameterJson(const nlohmann::json& j, const std::string& source,
                              CorneaSegParameter* parameters) {
  if (!j.is_object())
    Refuse(source, "a parameter file holds one JSON object of \"field\": value pairs.");
  CorneaSegParameter p = *parameters;
  for (const auto& [key, value] : j.items()) {
    const Field* field = nullptr;
    for (const Field& f : kFields)
      if (key == f.name) field = &f;
    if (field == nullptr) Refuse(source, "unknown parameter \"" + key + "\".");
    const std::string refusal =
        "parameter \"" + key + "\" must be " + Rule(*field) + " (got " + value.dump() + ").";
    switch (field->kind) {
      case Kind::Bool:
        if (!value.is_boolean()) Refuse(source, refusal);
        p.*(field->b) = value.get<bool>();
        break;
      case Kind::Int: {
        if (!value.is_number_integer()) Refuse(source, refusal);
        const double v = value.is_number_unsigned() ? double(value.get<std::uint64_t>())
                                                    : double(value.get<std::int64_t>());
        if (!InRange(*field, v)) Refuse(source, refusal);
        p.*(field->i) = static_cast<std::int32_t>(v);
        break;
      }
      case Kind::Float: {
        if (!value.is_number()) Refuse(source, refusal);
        const double v = value.get<double>();
        if (!InRange(*field, v)) Refuse(source, refusal);
        p.*(field->f) = static_cast<float>(v);
        break;
      }
    }
  }
  *parameters = p;
}

void LoadCorneaParameterFile(const std::string& path, CorneaSegParameter* parameters) {
  std::ifstream in(path);
  if (!in) throw CliError(ExitCode::InputMissing, path + ": cannot open the parameter file.");
  std::stringstream text;
  text << in.rdbuf();
  nlohmann::json j;
  try {
    j = nlohmann::json::parse(text.str());
  } catch (const nlohmann::json::parse_error& e) {
    std::string what = e.what();
    const size_t bracket = what.find("] ");
    if (bracket != std::string::npos) what = what.substr(bracket + 2);
    Refuse(path, "not valid JSON (" + what + ").");
  }
  ApplyCorneaParameterJson(j, path, parameters);
}

void ValidateCorneaParameters(const CorneaSegParameter& p, const std::string& source) {
  for (const Field& f : kFields) {
    if (f.kind == Kind::Bool) continue;
    const double v = f.kind == Kind::Int ? double(p.*(f.i)) : double(p.*(f.f));
    if (!InRange(f, v))
      Refuse(source, std::string("parameter \"") + f.name + "\" must be " + Rule(f) + " (got " +
                         Number(v) + ").");
  }
}

nlohmann::ordered_json CorneaParametersToJson(const CorneaSegParameter& p) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  for (const Field& f : kFields) {
    switch (f.kind) {
      case Kind::Int:
        j[f.name] = p.*(f.i);
        break;
      case Kind::Float:
        j[f.name] = ShortestDecimal(p.*(f.f));
        break;
      case Kind::Bool:
        j[f.name] = p.*(f.b);
        break;
    }
  }
  return j;
}

}  // namespace Talvex::Cli

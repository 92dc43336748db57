// The dewarping stage of `talvex segment-cornea`.
#include "tools/cli/DewarpStage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tools/cli/CliError.h"
#include "tools/cornea_report/DewarpedLayers.h"
#include "tools/cornea_report/DewarpedThickness.h"
#include "tools/imaging/ImageCodecs.h"

namespace Talvex::Cli {

namespace {

using SDOCT::Algorithms::AlgorithmException;
using SDOCT::Algorithms::CCorneaDewarpingAlgorithm;
using json = nlohmann::json;

// The apex estimate is the shallowest anterior point within this distance of the scan centre,
// away from the field edge where the dewarped surface is least certain.
constexpr double kApexSearchMm = 2.0;

[[noreturn]] void Refuse(const std::string& path, const std::string& what) {
  throw CliError(ExitCode::BadParameter, path + ": " + what);
}

// Reads a number of the scanner file within [lo, hi].
float Number(const json& v, const std::string& path, const std::string& name, double lo,
             double hi) {
  if (!v.is_number()) Refuse(path, "\"" + name + "\" must be a number.");
  const double x = v.get<double>();
  if (!(x >= lo && x <= hi)) {
    std::ostringstream range;
    range << "\"" << name << "\" must be from " << lo << " to " << hi << " (got " << x << ").";
    Refuse(path, range.str());
  }
  return static_cast<float>(x);
}

void Pair(const json& v, const std::string& path, const std::string& name, double lo, double hi,
          float out[2]) {
  if (!v.is_array() || v.size() != 2) Refuse(path, "\"" + name + "\" must be a pair [a, b].");
  out[0] = Number(v[0], path, name, lo, hi);
  out[1] = Number(v[1], path, name, lo, hi);
}

void ApplyScannerJson(const json& j, const std::string& path, DewarpScanner* s) {
  if (!j.is_object()) Refuse(path, "the scanner description must be a JSON object.");
  for (const auto& [name, v] : j.items()) {
    if (name == "n_phase")
      Pair(v, path, name, 1.0, 2.0, s->n_phase);
    else if (name == "n_group")
      Pair(v, path, name, 1.0, 2.0, s->n_group);
    else if (name == "half_FOV")
      Pair(v, path, name, 0.1, 20.0, s->half_FOV);
    else if (name == "half_telecentricity")
      Pair(v, path, name, -30.0, 30.0, s->half_telecentricity);
    else if (name == "scan_sag")
      Pair(v, path, name, -5.0, 5.0, s->scan_sag);
    else if (name == "n_ref")
      s->n_ref = Number(v, path, name, 1.0, 2.0);
    else if (name == "scan_depth")
      s->scan_depth = Number(v, path, name, 0.1, 20.0);
    else
      Refuse(path, "unknown scanner field \"" + name +
                       "\" (n_phase, n_group, n_ref, half_FOV, half_telecentricity, scan_sag, "
                       "scan_depth).");
  }
}

json PairJson(const float v[2]) { return json::array({v[0], v[1]}); }

json ScannerJson(const DewarpScanner& s) {
  return {{"n_phase", PairJson(s.n_phase)},
          {"n_group", PairJson(s.n_group)},
          {"n_ref", s.n_ref},
          {"half_FOV", PairJson(s.half_FOV)},
          {"half_telecentricity", PairJson(s.half_telecentricity)},
          {"scan_sag", PairJson(s.scan_sag)},
          {"scan_depth", s.scan_depth}};
}

// Half field along the meridian of angle a, as the dewarping forms it from the two directions.
double HalfFieldAlong(const DewarpScanner& s, double angleDeg) {
  const double a = angleDeg * M_PI / 180.0, c = std::cos(a), n = std::sin(a);
  return std::sqrt(s.half_FOV[0] * s.half_FOV[0] * c * c + s.half_FOV[1] * s.half_FOV[1] * n * n);
}

std::string OverlayName(int b) {
  char name[40];
  std::snprintf(name, sizeof name, "dewarped_overlay_%03d.png", b);
  return name;
}

std::string Fixed(double v, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

// Geometry of one dewarped B-scan: column and sample to millimetres.
struct Frame {
  double halfField, angleDeg, mmPerSample, apexMm;
  int width;
  double Lateral(int c) const { return (c - width / 2.0) * 2.0 * halfField / width; }
  double X(int c) const { return Lateral(c) * std::cos(angleDeg * M_PI / 180.0); }
  double Y(int c) const { return -Lateral(c) * std::sin(angleDeg * M_PI / 180.0); }
  double Z(float sample) const { return sample * mmPerSample - apexMm; }
};

Frame FrameOf(const SegmentedScan& scan, const DewarpScanner& s, int b, double apexMm) {
  const double angle = scan.anglesDeg.empty() ? 0.0 : scan.anglesDeg[b];
  return {HalfFieldAlong(s, angle), angle, s.scan_depth / scan.length, apexMm, scan.width};
}

double ApexDepthMm(const SegmentedScan& scan, const DewarpedScan& d, const DewarpScanner& s) {
  double apex = 0;
  bool found = false;
  for (int b = 0; b < scan.numBscans; ++b) {
    if (!d.dewarped[b]) continue;
    const Frame f = FrameOf(scan, s, b, 0.0);
    for (int c = 0; c < scan.width; ++c) {
      const float v = d.anterior[std::size_t(b) * scan.width + c];
      if (v < 0 || std::fabs(f.Lateral(c)) > kApexSearchMm) continue;
      if (!found || f.Z(v) < apex) apex = f.Z(v), found = true;
    }
  }
  return apex;
}

// Thickness along the posterior normal at the scan centre, µm; NaN when a surface is missing.
double CentralThicknessUm(const DewarpedScan& d, const Frame& f, int b, int length) {
  const std::size_t row = std::size_t(b) * f.width;
  const Tools::DewarpedCurve ant{d.anterior.data() + row, f.width, length, f.halfField,
                                 f.mmPerSample * length};
  Tools::DewarpedCurve pst = ant;
  pst.layer = d.posterior.data() + row;
  return Tools::ThicknessAlongPosteriorNormal(ant, pst, 0.0);
}

json Points(const DewarpedScan& d, const Frame& f, const std::vector<float>& layer, int b) {
  json x = json::array(), y = json::array(), z = json::array();
  for (int c = 0; c < f.width; ++c) {
    const float v = layer[std::size_t(b) * f.width + c];
    x.push_back(f.X(c)), y.push_back(f.Y(c));
    z.push_back(v >= 0 && d.dewarped[b] ? json(f.Z(v)) : json());
  }
  return {{"x", x}, {"y", y}, {"z", z}};
}

}  // namespace

DewarpScanner RunScanner(const std::string& path, int scanWidthMicron, int depthMicron) {
  DewarpScanner s = SDOCT::Algorithms::DewarpPresetRadial8mm();
  s.half_FOV[0] = s.half_FOV[1] = static_cast<float>(scanWidthMicron / 2000.0);
  s.scan_depth = static_cast<float>(depthMicron / 1000.0);
  if (path.empty()) return s;
  std::ifstream in(path);
  if (!in) throw CliError(ExitCode::InputMissing, path + ": cannot open the scanner file.");
  std::stringstream text;
  text << in.rdbuf();
  json j;
  try {
    j = json::parse(text.str());
  } catch (const json::parse_error&) {
    Refuse(path, "not valid JSON.");
  }
  ApplyScannerJson(j, path, &s);
  return s;
}

DewarpedScan DewarpSegmentedScan(const SegmentedScan& scan, const DewarpScanner& s,
                                 float bsplineWavelength) {
  const int N = scan.numBscans, W = scan.width, L = scan.length;
  DewarpedScan d;
  d.length = static_cast<int>(std::ceil(L * static_cast<double>(s.n_ref)));
  d.images.assign(std::size_t(N) * W * d.length, 0);
  d.anterior.assign(std::size_t(N) * W, -1.0f);
  d.posterior.assign(std::size_t(N) * W, -1.0f);
  d.dewarped.assign(N, false);
  // The dewarping needs a value at every A-scan: gaps are bridged, and marked -1 again after.
  const std::vector<float> ant = Tools::Bridged(scan.anterior, N, W);
  const std::vector<float> pst = Tools::Bridged(scan.posterior, N, W);
  CCorneaDewarpingAlgorithm dewarping;
  for (int b = 0; b < N; ++b) {
    const std::size_t row = std::size_t(b) * W;
    if (scan.outcomes[b] != CorneaBscanOutcome::Segmented || ant[row] < 0 || pst[row] < 0) continue;
    // One B-scan per call, so each call's single direction is this B-scan's meridian.
    const float direction = scan.anglesDeg.empty() ? 0.0f : static_cast<float>(scan.anglesDeg[b]);
    try {
      dewarping.InitializeCornea(s.n_phase[0], s.n_group[0], s.n_ref, 1, &direction, s.half_FOV,
                                 s.half_telecentricity, s.scan_sag, s.scan_depth);
      dewarping.DewarpCornea(scan.volume + row * L, 1, W, L, bsplineWavelength, &ant[row],
                             &pst[row], &d.images[row * d.length], d.length, &d.anterior[row],
                             &d.posterior[row]);
    } catch (const AlgorithmException& e) {
      throw CliError(ExitCode::Segmentation,
                     "B-scan " + std::to_string(b) + ": dewarping failed: " + e.what());
    }
    for (std::size_t k = row; k < row + W; ++k) {
      if (scan.anterior[k] < 0) d.anterior[k] = -1.0f;
      if (scan.posterior[k] < 0) d.posterior[k] = -1.0f;
    }
    d.dewarped[b] = true;
  }
  return d;
}

void WriteDewarped(StagedOutputs& out, const SegmentedScan& scan, const DewarpedScan& d,
                   const DewarpScanner& s, bool overlays) {
  const int N = scan.numBscans, W = scan.width;
  const double apex = ApexDepthMm(scan, d, s);
  if (overlays)
    for (int b = 0; b < N; ++b) {
      if (!d.dewarped[b]) continue;
      const std::size_t row = std::size_t(b) * W;
      const std::vector<std::uint8_t> rgb = Tools::DewarpedOverlayRgb(
          &d.images[row * d.length], W, d.length, &d.anterior[row], &d.posterior[row]);
      std::string error;
      if (!Tools::WritePng(out.Stage(OverlayName(b)), rgb.data(), W, d.length, 3,
                           Tools::kPngFastCompression, &error))
        throw CliError(ExitCode::OutputFailed, error);
    }

  std::ostringstream csv;
  csv << "bscan,angle_deg,column,lateral_mm,x_mm,y_mm,anterior_z_mm,posterior_z_mm\n";
  nlohmann::ordered_json j;
  j["program"] = "talvex segment-cornea --dewarp";
  j["scanner"] = ScannerJson(s);
  j["dewarpedAscanLength"] = d.length;
  j["apexDepthMm"] = apex;
  j["conventions"] = {
      {"points",
       "eye frame, mm: x right, y up, z depth below apexDepthMm (the shallowest "
       "dewarped anterior point within 2 mm of the scan centre); null = no surface"},
      {"meridian",
       "B-scan column c lies at (c - width/2) x 2 x halfField / width mm along "
       "(cos a, -sin a)"},
      {"depth", "tissue-equivalent: scan_depth is the optical path of the A-scan / n_ref"}};
  json bscans = json::array();
  for (int b = 0; b < N; ++b) {
    const Frame f = FrameOf(scan, s, b, apex);
    for (int c = 0; c < W; ++c) {
      const std::size_t k = std::size_t(b) * W + c;
      const auto z = [&](float v) { return v >= 0 && d.dewarped[b] ? Fixed(f.Z(v), 5) : ""; };
      csv << b << ',' << Fixed(f.angleDeg, 4) << ',' << c << ',' << Fixed(f.Lateral(c), 5) << ','
          << Fixed(f.X(c), 5) << ',' << Fixed(f.Y(c), 5) << ',' << z(d.anterior[k]) << ','
          << z(d.posterior[k]) << '\n';
    }
    const double cct = d.dewarped[b] ? CentralThicknessUm(d, f, b, scan.length) : NAN;
    json e;
    e["index"] = b;
    e["angleDeg"] = f.angleDeg;
    e["dewarped"] = bool(d.dewarped[b]);
    e["halfFieldMm"] = f.halfField;
    e["centralThicknessAlongNormalMicron"] = std::isnan(cct) ? json() : json(cct);
    e["overlay"] = overlays && d.dewarped[b] ? json(OverlayName(b)) : json();
    e["anterior"] = Points(d, f, d.anterior, b);
    e["posterior"] = Points(d, f, d.posterior, b);
    bscans.push_back(std::move(e));
  }
  j["bscans"] = std::move(bscans);
  out.WriteText(kDewarpedCsv, csv.str());
  out.WriteText(kDewarpedJson, j.dump(1) + "\n");
}

}  // namespace Talvex::Cli

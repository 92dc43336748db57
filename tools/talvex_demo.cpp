// talvex-demo: the whole pachymetry road on a synthetic radial corneal scan, figure by figure
// beside the truth.
//
//   talvex-demo [--eye gullstrand|navarro|keratoconus|post-refractive] [--map FILE]
//               [--epithelium FILE] [--side OD|OS] [--grid-pixel] [--motion LATERAL_UM,AXIAL_UM]
//               [--overlay FILE] [--dewarped-overlay FILE] [--meridian M] [--seed N]
//
// A 16-meridian radial scan of 1024 A-scans x 1024 samples (8 mm x 2.3 mm) is simulated, and the
// road runs: both corneal surfaces of every meridian (the 1024-sample preset), optionally the eye
// motion between meridians, dewarping with the synthetic eye's scanner, the pachymetry map
// (sub-pixel thickness; --grid-pixel for the grid-pixel measure), its centre disc and ring sectors
// (2 mm, 2-5 mm, 5-7 mm, 8 sectors), the thinnest point, the corneal power and the vertex (Q and
// S); with --epithelium also the Bowman layer and the epithelium map. The report prints each
// figure with the truth beside it and the time of every stage, and the maps are written as
// colour pictures. Overlays of one meridian (raw and dewarped) show the segmented surfaces.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tools/cornea_report/CorneaAccuracy.h"
#include "tools/cornea_report/DewarpedLayers.h"
#include "tools/cornea_report/MapPicture.h"
#include "tools/cornea_report/PachymetryRoad.h"
#include "tools/cornea_report/RoadTruth.h"
#include "tools/imaging/ImageCodecs.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace {

using namespace Talvex::SDOCT::Algorithms;
namespace Synthetic = Talvex::Synthetic;
namespace Tools = Talvex::Tools;

struct Options {
  std::string eye = "gullstrand";
  std::string map = "talvex-demo-pachymetry.png";
  std::string epithelium;  // "" = no epithelium map
  std::string side;
  std::string overlay = "talvex-demo-overlay.png";
  std::string dewarpedOverlay = "talvex-demo-dewarped.png";
  bool gridPixel = false;
  double motionUm[2] = {0, 0};
  int meridian = 0;
  unsigned long long seed = 1;
};

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    if (key == "--grid-pixel") {
      o->gridPixel = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (key == "--eye")
      o->eye = value;
    else if (key == "--map")
      o->map = value;
    else if (key == "--epithelium")
      o->epithelium = value;
    else if (key == "--side" && (value == "OD" || value == "OS"))
      o->side = value;
    else if (key == "--overlay")
      o->overlay = value;
    else if (key == "--dewarped-overlay")
      o->dewarpedOverlay = value;
    else if (key == "--meridian")
      o->meridian = std::atoi(value.c_str());
    else if (key == "--seed")
      o->seed = std::strtoull(value.c_str(), nullptr, 10);
    else if (key == "--motion" &&
             std::sscanf(value.c_str(), "%lf,%lf", &o->motionUm[0], &o->motionUm[1]) == 2)
      continue;
    else
      return false;
  }
  return true;
}

bool WriteRgb(const std::string& path, const std::vector<std::uint8_t>& rgb, int W, int H) {
  std::string error;
  if (Tools::WritePng(path, rgb.data(), W, H, 3, Tools::kPngFastCompression, &error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

// Overlay of B-scan b: the scan as a picture (depth downward) with both surfaces drawn (green
// anterior, blue posterior, red where not confident, yellow strip over specular A-scans).
bool WriteOverlay(const std::string& path, const Synthetic::SimulatedScan& scan, int b,
                  const Tools::RoadResult& r) {
  const int W = scan.bscanWidth, L = scan.ascanLength;
  std::vector<unsigned char> rgb(size_t(W) * L * 3);
  const std::uint8_t* bscan = scan.volume.data() + size_t(b) * W * L;
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < L; ++z)
      std::memset(&rgb[(size_t(z) * W + j) * 3], bscan[size_t(j) * L + z], 3);
  auto plot = [&](int j, float depth, unsigned char red, unsigned char g, unsigned char bl) {
    const int z = static_cast<int>(depth + 0.5f);
    if (depth < 0 || z >= L) return;
    unsigned char* p = &rgb[(size_t(z) * W + j) * 3];
    p[0] = red, p[1] = g, p[2] = bl;
  };
  for (int j = 0; j < W; ++j) {
    const int k = b * W + j;
    r.anteriorConfidence[k] == 1.0f ? plot(j, r.anterior[k], 0, 255, 0)
                                    : plot(j, r.anterior[k], 255, 0, 0);
    r.posteriorConfidence[k] == 1.0f ? plot(j, r.posterior[k], 0, 128, 255)
                                     : plot(j, r.posterior[k], 255, 0, 0);
    if (r.anteriorConfidence[k] == -2.0f)
      for (int z = 0; z < 6; ++z) plot(j, static_cast<float>(z), 255, 255, 0);
  }
  return WriteRgb(path, rgb, W, L);
}

const char* RegionName(int k, char* buffer, std::size_t size) {
  if (k == 0) return "centre 0-2 mm";
  const int ring = (k - 1) / 8, sector = (k - 1) % 8;
  std::snprintf(buffer, size, "%s sector %d (%3d deg)", ring == 0 ? "2-5 mm" : "5-7 mm", sector,
                sector * 45);
  return buffer;
}

// Sector table, thinnest point and range of a map beside the truth.
void PrintMap(const char* title, const Tools::MapResult& m, const Tools::MapGeometry& g,
              const Tools::ThicknessField& truth, const Tools::RoadOptions& o) {
  const Tools::FieldSummary t = Tools::SummariseField(truth, o);
  const Tools::MapError e = Tools::CompareMap(m, g, truth);
  std::printf("\n%s map: error inside 6 mm rms %.2f um, mean %+.2f um, max %.2f um (%d points)\n",
              title, e.rms, e.mean, e.max, e.count);
  std::printf("  region                     mean um (true)    min um   max um\n");
  for (std::size_t k = 0; k < m.subfieldMean.size(); ++k) {
    char name[48];
    std::printf("  %-24s %7.1f (%6.1f) %8.1f %8.1f\n", RegionName(int(k), name, sizeof name),
                m.subfieldMean[k], t.sectorMean[k], m.subfieldMin[k], m.subfieldMax[k]);
  }
  if (m.thinnestFound)
    std::printf(
        "  thinnest %.1f um at (%+.2f, %+.2f) mm (true %.1f um at (%+.2f, %+.2f) mm, %.2f "
        "mm apart)\n",
        m.thinnestUm, m.thinnestXUm / 1000, m.thinnestYUm / 1000, t.thinnestUm,
        t.thinnestXUm / 1000, t.thinnestYUm / 1000,
        std::hypot(m.thinnestXUm - t.thinnestXUm, m.thinnestYUm - t.thinnestYUm) / 1000);
  double c, lo, hi;
  Tools::MapRange(m, g, 3.0, 40.0, &c, &lo, &hi);
  std::printf("  within 6 mm: central %.1f um (true %.1f), min %.1f (%.1f), max %.1f (%.1f)\n", c,
              t.centralUm, lo, t.minUm, hi, t.maxUm);
}

bool WritePicture(const std::string& path, const Tools::MapResult& m, const Tools::MapGeometry& g,
                  const Tools::RoadOptions& o, const char* title, const std::string& side) {
  std::string error;
  if (!Tools::WriteMapPicture(path, Tools::DrawMapPicture(m, g, o, title, side), &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::printf("%s map picture: %s\n", title, path.c_str());
  return true;
}

void PrintReport(const Options& o, const Synthetic::ModelEye& eye,
                 const Synthetic::ScanProtocol& protocol, const Synthetic::SimulatedScan& scan,
                 const Tools::RoadOptions& ro, const Tools::RoadResult& r) {
  const auto all = Tools::MeasureCornea(scan, r.anterior.data(), r.posterior.data(),
                                        r.anteriorConfidence.data(), r.posteriorConfidence.data());
  std::printf(
      "Segmentation: anterior error mean %.2f / p95 %.2f px, posterior %.2f / %.2f px, "
      "confident within 6 mm %.1f %%\n",
      all.anterior.mean, all.anterior.p95, all.posterior.mean, all.posterior.p95,
      100 * all.centralConfidentShare);
  if (ro.motionCorrect) {
    std::printf("Motion (um, x / y / z, relative to the mean of all meridians; true beside):\n");
    double mx[3] = {0, 0, 0};
    for (const auto& t : scan.truth.bscans)
      for (int c = 0; c < 3; ++c) mx[c] += t.motionCorrectionUm[c] / scan.numBscans;
    for (int b = 0; b < scan.numBscans; ++b) {
      const auto& t = scan.truth.bscans[b];
      std::printf("  %6.1f deg  %+6.1f %+6.1f %+6.1f   (%+6.1f %+6.1f %+6.1f)\n", t.angleDeg,
                  r.shiftXUm[b], r.shiftYUm[b], r.shiftZUm[b], t.motionCorrectionUm[0] - mx[0],
                  t.motionCorrectionUm[1] - mx[1], t.motionCorrectionUm[2] - mx[2]);
    }
    if (r.motionStatus != 0) std::printf("  (the motion fit failed: nothing corrected)\n");
  }
  PrintMap(o.gridPixel ? "Pachymetry (grid-pixel)" : "Pachymetry", r.pachymetry, r.geometry,
           Tools::TruePachymetry(eye, protocol), ro);
  if (r.hasEpithelium)
    PrintMap("Epithelium", r.epithelium, r.geometry, Tools::TrueEpithelium(eye, protocol), ro);
  const auto& fit = scan.truth.fitPower;
  const auto& gauss = scan.truth.power;
  std::printf(
      "\nPower (D)       measured  fit on the exact surfaces (r %.1f mm)  Gaussian optics\n",
      fit.zoneRadiusMm);
  if (r.powerStatus == 0) {
    std::printf("  anterior      %+7.2f   %+7.2f                              %+7.2f\n",
                r.anteriorPower, fit.anterior, gauss.anterior);
    std::printf("  posterior     %+7.2f   %+7.2f                              %+7.2f\n",
                r.posteriorPower, fit.posterior, gauss.posterior);
    std::printf("  total         %+7.2f   %+7.2f                              %+7.2f\n",
                r.totalPower, fit.total, gauss.total);
  } else {
    std::printf("  too few meridians gave both surface fits\n");
  }
  const auto& v = scan.truth.vertex;
  std::printf("\nVertex (mm from the scan centre, x right, y up; the map centre is 0, 0):\n");
  if (r.vertexQFound)
    std::printf("  Q (apex)              (%+.3f, %+.3f)  true apex (%+.3f, %+.3f)\n",
                r.vertexQUm[0] / 1000, r.vertexQUm[1] / 1000, v.apexXMm, v.apexYMm);
  if (r.vertexSFound)
    std::printf("  S (normal incidence)  (%+.3f, %+.3f)  true (%+.3f, %+.3f)\n",
                r.vertexSUm[0] / 1000, r.vertexSUm[1] / 1000, v.normalScanXMm, v.normalScanYMm);
  std::printf("\nStages:");
  for (const auto& t : r.times) std::printf(" %s %.0f ms,", t.stage.c_str(), t.ms);
  std::printf(" total %.0f ms\n", r.TotalMs());
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  Synthetic::ModelEye eye;
  if (!ParseOptions(argc, argv, &o) || !Synthetic::PresetByName(o.eye, &eye) || o.meridian < 0 ||
      o.meridian > 15) {
    std::fprintf(stderr,
                 "usage: talvex-demo [--eye gullstrand|navarro|keratoconus|post-refractive] "
                 "[--map FILE] [--epithelium FILE] [--side OD|OS] [--grid-pixel] [--motion "
                 "LATERAL_UM,AXIAL_UM] [--overlay FILE] [--dewarped-overlay FILE] [--meridian "
                 "0-15] [--seed N]\n");
    return 2;
  }
  const int meridians = 16, W = 1024, L = 1024;
  Synthetic::ScanProtocol protocol = Synthetic::RadialProtocol(meridians, W, L);
  protocol.randomMotionLateralMm = o.motionUm[0] / 1000;
  protocol.randomMotionAxialMm = o.motionUm[1] / 1000;
  const Synthetic::SimulatedScan scan =
      Synthetic::SimulateScan(eye, protocol, Synthetic::RenderSettings(), o.seed, 0);
  Tools::RadialScan input;
  input.volume = scan.volume.data();
  input.numBscans = meridians, input.bscanWidth = W, input.ascanLength = L;
  for (const auto& t : scan.truth.bscans) input.anglesDeg.push_back(float(t.angleDeg));
  Tools::RoadOptions ro;
  ro.subPixel = !o.gridPixel;
  ro.epithelium = !o.epithelium.empty();
  ro.motionCorrect = o.motionUm[0] > 0 || o.motionUm[1] > 0;
  // The eye's own refractive indices for the dewarping and the power.
  ro.scanner.n_phase[0] = float(eye.cornea.phase), ro.scanner.n_group[0] = float(eye.cornea.group);
  ro.power.n1 = float(eye.cornea.phase), ro.power.n2 = float(eye.aqueous.phase);
  Tools::RoadResult r;
  try {
    r = Tools::RunPachymetryRoad(input, ro, Tools::RoadRandomValues(2026));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "talvex-demo: %s\n", e.what());
    return 1;
  }
  std::printf("Synthetic %s eye, %d meridians of %d x %d\n", o.eye.c_str(), meridians, W, L);
  PrintReport(o, eye, protocol, scan, ro, r);
  std::printf("\n");
  if (!WritePicture(o.map, r.pachymetry, r.geometry, ro, "PACHYMETRY", o.side)) return 1;
  if (r.hasEpithelium &&
      !WritePicture(o.epithelium, r.epithelium, r.geometry, ro, "EPITHELIUM", o.side))
    return 1;
  if (!WriteOverlay(o.overlay, scan, o.meridian, r)) return 1;
  const size_t row = size_t(o.meridian) * W;
  if (!WriteRgb(o.dewarpedOverlay,
                Tools::DewarpedOverlayRgb(r.dewarpedVolume.data() + row * r.dewarpedLength, W,
                                          r.dewarpedLength, r.dewarpedAnterior.data() + row,
                                          r.dewarpedPosterior.data() + row),
                W, r.dewarpedLength))
    return 1;
  std::printf("overlays of meridian %d: %s, %s\n", o.meridian, o.overlay.c_str(),
              o.dewarpedOverlay.c_str());
  return 0;
}

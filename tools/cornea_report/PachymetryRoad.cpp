// The pachymetry road: segmentation, motion correction, dewarping, maps, sectors, thinnest point,
// power and vertex through the library's facades, each stage timed.
#include "tools/cornea_report/PachymetryRoad.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>

#include "tools/cornea_report/DewarpedLayers.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Talvex::Tools {

namespace {

using namespace SDOCT::Algorithms;
using Clock = std::chrono::steady_clock;

// Times one stage into result->times.
class StageTimer {
 public:
  StageTimer(RoadResult* result, const char* stage, const RoadOptions& o)
      : result_(result), stage_(stage), start_(Clock::now()), cpuStart_(std::clock()) {
    if (o.onStage) o.onStage(stage);
  }
  ~StageTimer() {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    const double cpu = 1000.0 * double(std::clock() - cpuStart_) / CLOCKS_PER_SEC;
    result_->times.push_back({stage_, ms, cpu});
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  RoadResult* result_;
  const char* stage_;
  Clock::time_point start_;
  std::clock_t cpuStart_;
};

// Everything the stages share about the scan.
struct ScanFrame {
  int N = 0, W = 0, L = 0, D = 0;  // meridians, A-scans, samples, dewarped samples
  float depthMuDewarped = 0;       // depth spanned by the D dewarped samples, um
  // Half field handed to the map, power and vertex: the dewarped A-scans lie 2F / W apart, so
  // W A-scans evenly spaced end to end at that pitch span 2F (W - 1) / W.
  float fov[2] = {0, 0};
  DewarpScanner scanner;
};

ScanFrame Frame(const RadialScan& scan, const RoadOptions& o) {
  ScanFrame f;
  f.N = scan.numBscans, f.W = scan.bscanWidth, f.L = scan.ascanLength;
  f.scanner = o.scanner;
  f.scanner.half_FOV[0] = scan.halfFieldUm[0] / 1000.0f;
  f.scanner.half_FOV[1] = scan.halfFieldUm[1] / 1000.0f;
  f.scanner.scan_depth = scan.depthUm / 1000.0f;
  f.D = static_cast<int>(std::ceil(f.L * static_cast<double>(f.scanner.n_ref)));
  f.depthMuDewarped = scan.depthUm * f.D / f.L;
  for (int i = 0; i < 2; ++i) f.fov[i] = scan.halfFieldUm[i] * (f.W - 1) / f.W;
  return f;
}

// The surfaces the later stages read: the segmentation's, moved by the motion correction when
// it ran, with the confidences of the A-scans that carry a thickness.
struct WorkLayers {
  std::vector<float> anterior, posterior, anteriorConfidence, posteriorConfidence, bowman;
};

// Library order of the meridians: ascending normalised angle (180 - a, + 360 when negative,
// - 180 when above 180). Returns the acquisition index of each sorted position.
std::vector<int> SortedMeridians(const std::vector<float>& anglesDeg) {
  std::vector<float> key;
  for (float a : anglesDeg) {
    float c = 180.0f - a;
    if (c < 0) c += 360.0f;
    key.push_back(c > 180.0f ? c - 180.0f : c);
  }
  std::vector<int> order(key.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[a] < key[b]; });
  return order;
}

void Segment(const RadialScan& scan, const RoadOptions& o, const std::vector<int>& random,
             RoadResult* r) {
  StageTimer timer(r, "segment", o);
  const std::size_t n = std::size_t(scan.numBscans) * scan.bscanWidth;
  for (auto* v : {&r->anterior, &r->posterior, &r->anteriorConfidence, &r->posteriorConfidence})
    v->assign(n, -1.0f);
  // The smoothed working copy of the volume, written in full by the segmentation.
  std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> buffer(
      std::size_t(scan.bscanWidth) * scan.ascanLength * scan.numBscans);
  CCorneaSegmentationAlgorithm segmentation;
  segmentation.Initialize(o.segmentation);
  segmentation.SegmentCornea(scan.volume, scan.numBscans, scan.bscanWidth, scan.ascanLength,
                             random.data(), static_cast<std::uint32_t>(random.size()),
                             buffer.data(), r->anterior.data(), r->posterior.data(),
                             r->anteriorConfidence.data(), r->posteriorConfidence.data());
  for (int b = 0; b < scan.numBscans; ++b) {
    const auto row = r->posterior.begin() + std::size_t(b) * scan.bscanWidth;
    const auto ant = r->anterior.begin() + std::size_t(b) * scan.bscanWidth;
    if (std::count(row, row + scan.bscanWidth, -1.0f) == scan.bscanWidth ||
        std::count(ant, ant + scan.bscanWidth, -1.0f) == scan.bscanWidth)
      throw std::runtime_error("B-scan " + std::to_string(b) +
                               ": no corneal surface found; a map needs every meridian.");
  }
}

// Row shifted by `along` A-scans (value at j taken from j - along, linear) and by `depth`
// samples; -1 where a neighbour has no value. Confidences follow the nearest source A-scan.
void ShiftRow(float* row, float* confidence, int W, double along, double depth) {
  const std::vector<float> v(row, row + W), c(confidence, confidence + W);
  for (int j = 0; j < W; ++j) {
    const double s = j - along;
    const int i = static_cast<int>(std::floor(s));
    const double t = s - i;
    const int nearest = std::clamp(static_cast<int>(std::lround(s)), 0, W - 1);
    confidence[j] = c[nearest];
    if (i < 0 || i + 1 >= W || v[i] < 0 || v[i + 1] < 0) {
      row[j] = -1.0f;
      confidence[j] = std::min(confidence[j], -1.0f);
      continue;
    }
    row[j] = static_cast<float>(v[i] + t * (v[i + 1] - v[i]) + depth);
  }
}

// Estimates the motion between meridians from the anterior surfaces and moves every layer of a
// meridian by its shift: along the meridian and in depth. The component across a meridian
// cannot be applied to its samples (they stay on the meridian's line); the correction leaves it
// out, as the motion fit barely constrains it. A shift common to all meridians is arbitrary and
// removed.
void CorrectMotion(const RadialScan& scan, const ScanFrame& f, const RoadOptions& o,
                   const std::vector<int>& random, WorkLayers* w, RoadResult* r) {
  StageTimer timer(r, "motion", o);
  const float depth2um = f.scanner.n_ref * scan.depthUm / f.L;  // air um per raw sample
  std::vector<double> xyz(3 * std::size_t(f.N));
  CCorneaMotionCorrectionAlgorithm motion;
  r->motionStatus = motion.MotionCorrectionParam(
      r->anterior.data(), f.N, f.W, o.motionSubsample, scan.anglesDeg.data(), depth2um,
      2.0f * scan.halfFieldUm[0], random.data(), static_cast<int>(random.size()), xyz.data());
  r->shiftXUm.assign(f.N, 0.0), r->shiftYUm.assign(f.N, 0.0), r->shiftZUm.assign(f.N, 0.0);
  if (r->motionStatus != 0) return;
  const std::vector<int> order = SortedMeridians(scan.anglesDeg);
  std::vector<double>* out[3] = {&r->shiftXUm, &r->shiftYUm, &r->shiftZUm};
  for (int c = 0; c < 3; ++c) {
    double mean = 0;
    for (int k = 0; k < f.N; ++k) mean += xyz[c * f.N + k] / f.N;
    for (int k = 0; k < f.N; ++k) (*out[c])[order[k]] = xyz[c * f.N + k] - mean;
  }
  for (int b = 0; b < f.N; ++b) {
    const double a = scan.anglesDeg[b] * M_PI / 180.0;
    const double F =
        std::hypot(scan.halfFieldUm[0] * std::cos(a), scan.halfFieldUm[1] * std::sin(a));
    const double along =
        (r->shiftXUm[b] * std::cos(a) - r->shiftYUm[b] * std::sin(a)) / (2.0 * F / (f.W - 1));
    const double depth = r->shiftZUm[b] / depth2um;
    const std::size_t row = std::size_t(b) * f.W;
    std::vector<float> unused(f.W, 1.0f);
    ShiftRow(&w->anterior[row], &w->anteriorConfidence[row], f.W, along, depth);
    ShiftRow(&w->posterior[row], &w->posteriorConfidence[row], f.W, along, depth);
    if (!w->bowman.empty()) ShiftRow(&w->bowman[row], unused.data(), f.W, along, depth);
  }
}

// Moves the dewarped layer `out` (acquisition order) by the fraction of a raw sample that the
// dewarping dropped from each point of `raw`: `step` is the move of a dewarped point per raw
// sample deeper at each column (-1 where unknown).
void AddDroppedFraction(const std::vector<float>& raw, const std::vector<float>& step,
                        std::vector<float>* out) {
  for (std::size_t k = 0; k < out->size(); ++k) {
    if ((*out)[k] < 0 || raw[k] < 0 || step[k] < 0) continue;
    (*out)[k] += (raw[k] - std::floor(raw[k])) * step[k];
  }
}

// Dewarps the scan with its (bridged) surfaces; A-scans without a raw or dewarped value are
// bridged again and lose their confidence, so they carry no thickness.
//
// The dewarping carries a layer point from the whole raw sample below it (the fraction is
// dropped): every surface comes out up to one raw sample (1.4 dewarped samples, 3 um) shallow, by
// an amount that follows the sub-sample positions of the segmented surface, which bends the
// meridian parabolas of the power by 0.1 to 0.2 D. A point carried one raw sample deeper moves
// along the beam refracted at the anterior surface by the same step whichever layer it belongs
// to, so the anterior surface is carried a second time one sample deeper (in the slot of the
// Bowman layer), and every dewarped layer gets its dropped fraction of that step back. The
// fraction is read at the A-scan of the same index: exact where a beam's points stay in their
// column (the anterior surface, the centre), a zero-mean scatter where the refracted beam has
// drifted a few columns (the periphery of the posterior surface).
void Dewarp(const RadialScan& scan, const ScanFrame& f, const RoadOptions& o, WorkLayers* w,
            std::vector<float>* dewarpedBowman, RoadResult* r) {
  StageTimer timer(r, "dewarp", o);
  const int N = f.N, W = f.W;
  const std::size_t n = std::size_t(N) * W;
  CCorneaDewarpingAlgorithm dewarping;
  const DewarpScanner& s = f.scanner;
  dewarping.InitializeCornea(s.n_phase[0], s.n_group[0], s.n_ref, N, scan.anglesDeg.data(),
                             s.half_FOV, s.half_telecentricity, s.scan_sag, s.scan_depth);
  r->dewarpedLength = f.D;
  r->dewarpedVolume.resize(n * f.D);  // every B-scan is written in full
  r->dewarpedAnterior.assign(n, -1.0f);
  r->dewarpedPosterior.assign(n, -1.0f);
  const std::vector<float> ant = Bridged(w->anterior, N, W);
  const std::vector<float> pst = Bridged(w->posterior, N, W);
  std::vector<float> deeper(ant), step(n, -1.0f);
  for (float& v : deeper)
    if (v >= 0) v += 1.0f;
  const float wavelength = o.segmentation.bsplineWavelength;
  dewarping.DewarpCornea(scan.volume, N, W, f.L, wavelength, ant.data(), deeper.data(), pst.data(),
                         r->dewarpedVolume.data(), f.D, r->dewarpedAnterior.data(), step.data(),
                         r->dewarpedPosterior.data());
  for (std::size_t k = 0; k < n; ++k)
    step[k] = step[k] >= 0 && r->dewarpedAnterior[k] >= 0 ? step[k] - r->dewarpedAnterior[k] : -1;
  if (!w->bowman.empty()) {
    const std::vector<float> bow = Bridged(w->bowman, N, W);
    // The image and the outer surfaces come out as in the first call (the Bowman layer is only
    // carried), so they are written over those of the first call.
    std::vector<float> unusedA(n), unusedP(n);
    dewarpedBowman->assign(n, -1.0f);
    dewarping.DewarpCornea(scan.volume, N, W, f.L, wavelength, ant.data(), bow.data(), pst.data(),
                           r->dewarpedVolume.data(), f.D, unusedA.data(), dewarpedBowman->data(),
                           unusedP.data());
    AddDroppedFraction(bow, step, dewarpedBowman);
  }
  AddDroppedFraction(ant, step, &r->dewarpedAnterior);
  AddDroppedFraction(pst, step, &r->dewarpedPosterior);
  for (std::size_t k = 0; k < n; ++k) {
    if (w->anterior[k] < 0) r->dewarpedAnterior[k] = -1.0f;
    if (w->posterior[k] < 0) r->dewarpedPosterior[k] = -1.0f;
    if (r->dewarpedAnterior[k] < 0)
      w->anteriorConfidence[k] = std::min(w->anteriorConfidence[k], -1.0f);
    if (r->dewarpedPosterior[k] < 0)
      w->posteriorConfidence[k] = std::min(w->posteriorConfidence[k], -1.0f);
  }
}

// Ring and sector values and the thinnest point of a finished map (values -1 where unreliable).
void Evaluate(const RoadOptions& o, const MapGeometry& g, MapResult* m) {
  const int entries = 1 + (static_cast<int>(o.regionRadiiMm.size()) - 1) * o.sectors;
  m->subfieldMean.assign(entries, -1), m->subfieldMin.assign(entries, -1);
  m->subfieldMax.assign(entries, -1);
  CCorneaMapAlgorithm maps;
  const float widthMm = static_cast<float>(g.SubfieldWidthMm());
  const float cx = static_cast<float>(g.CentreColumn()), cy = static_cast<float>(g.CentreRow());
  maps.ComputeSubfields(m->values.data(), g.width, widthMm, cx, cy, o.areaPerc,
                        o.regionRadiiMm.data(), static_cast<int>(o.regionRadiiMm.size()), o.sectors,
                        m->subfieldMean.data(), m->subfieldMin.data(), m->subfieldMax.data());
  MapPoint p;
  try {
    maps.MinimumCorneaMap(m->values.data(), g.width, widthMm, cx, cy, o.thinnestRadiusMm, p);
  } catch (const AlgorithmException&) {
    return;  // no value in the region
  }
  m->thinnestFound = true;
  m->thinnestXUm = g.XUm(p.x), m->thinnestYUm = g.YUm(p.y);
  const int c = std::clamp(static_cast<int>(p.x + 0.5f), 0, g.width - 1);
  const int row = std::clamp(static_cast<int>(p.y + 0.5f), 0, g.width - 1);
  m->thinnestUm = m->values[std::size_t(row) * g.width + c];
}

void Pachymetry(const RadialScan& scan, const ScanFrame& f, const RoadOptions& o,
                const WorkLayers& w, RoadResult* r) {
  const std::size_t pixels = std::size_t(f.W) * f.W;
  r->pachymetry.values.assign(pixels, -1.0f);
  r->pachymetryMask.assign(pixels, 1);
  {
    StageTimer timer(r, "map", o);
    const std::vector<float> ant = Bridged(r->dewarpedAnterior, f.N, f.W);
    const std::vector<float> pst = Bridged(r->dewarpedPosterior, f.N, f.W);
    CCorneaMapAlgorithm maps;
    maps.PachymetryMap(ant.data(), pst.data(), f.N, f.W, f.D, o.segmentation.bsplineWavelength,
                       w.anteriorConfidence.data(), w.posteriorConfidence.data(), 0.0f, f.fov,
                       f.depthMuDewarped, scan.anglesDeg.data(), r->pachymetry.values.data(),
                       r->pachymetryMask.data(), o.mapNodes, r->geometry.spanUm, 1, 0, o.mapSmooth,
                       o.subPixel ? CCorneaMapAlgorithm::ThicknessMeasure::SubPixel
                                  : CCorneaMapAlgorithm::ThicknessMeasure::GridPixel);
    for (std::size_t k = 0; k < pixels; ++k)
      if (r->pachymetryMask[k]) r->pachymetry.values[k] = -1.0f;
  }
  StageTimer timer(r, "subfields", o);
  Evaluate(o, r->geometry, &r->pachymetry);
}

void Epithelium(const RadialScan& scan, const ScanFrame& f, const RoadOptions& o,
                const std::vector<float>& dewarpedBowman, RoadResult* r) {
  StageTimer timer(r, "epithelium map", o);
  const std::size_t pixels = std::size_t(f.W) * f.W;
  r->epithelium.values.assign(pixels, -1.0f);
  const std::vector<float> ant = Bridged(r->dewarpedAnterior, f.N, f.W);
  const std::vector<float> bow = Bridged(dewarpedBowman, f.N, f.W);
  CCorneaMapAlgorithm maps;
  maps.EpithelialMap(ant.data(), bow.data(), f.N, f.W, f.D, o.segmentation.bsplineWavelength,
                     nullptr, nullptr, 0.0f, f.fov, f.depthMuDewarped, scan.anglesDeg.data(),
                     r->epithelium.values.data(), o.mapNodes, r->geometry.spanUm, f.W, 1, 0,
                     o.mapSmooth,
                     o.subPixel ? CCorneaMapAlgorithm::ThicknessMeasure::SubPixel
                                : CCorneaMapAlgorithm::ThicknessMeasure::GridPixel);
  // The epithelium is read where the pachymetry is reliable.
  for (std::size_t k = 0; k < pixels; ++k)
    if (r->pachymetryMask[k]) r->epithelium.values[k] = -1.0f;
  Evaluate(o, r->geometry, &r->epithelium);
  r->hasEpithelium = true;
}

// Power from the confident A-scans: the anterior surface without its specular streak (the
// saturated A-scans at the apex), the posterior surface with it. The streak's mark is set on both
// surfaces, but the posterior surface under it lies as well as anywhere (within 0.1 sample on the
// synthetic eyes), and a zone fit with a hole in its centre reads a surface that departs from a
// parabola (the keratoconus-like posterior) up to 0.2 D away from the fit over the whole zone.
// The apical thickness of the thick-lens sum is the map's central value (the posterior surface
// may have no confident value at the apex A-scan itself).
void Power(const RadialScan& scan, const ScanFrame& f, const RoadOptions& o, const WorkLayers& w,
           RoadResult* r) {
  StageTimer timer(r, "power", o);
  std::vector<float> ant = r->dewarpedAnterior, pst = r->dewarpedPosterior;
  for (std::size_t k = 0; k < ant.size(); ++k) {
    if (w.anteriorConfidence[k] != 1.0f) ant[k] = -1.0f;
    if (w.posteriorConfidence[k] != 1.0f && w.posteriorConfidence[k] != -2.0f) pst[k] = -1.0f;
  }
  const double central = r->pachymetry.At(r->geometry, 0, 0);
  const float centre = std::isnan(central) ? 0.0f : static_cast<float>(central);
  CCorneaPowerAlgorithm power;
  power.Initialize(o.power);
  r->powerStatus = power.CornealPower(ant.data(), pst.data(), scan.anglesDeg.data(), f.N, f.W, f.D,
                                      f.depthMuDewarped, f.fov, o.powerZoneRadiusUm, centre,
                                      r->anteriorPower, r->posteriorPower, r->totalPower);
}

// Vertex by the quadric of the dewarped anterior surface (Q) and by the specular reflection in
// the B-scans (S, on a copy: the method blanks the cornea). A method that fails reports none.
void Vertex(const RadialScan& scan, const ScanFrame& f, const RoadOptions& o, RoadResult* r) {
  StageTimer timer(r, "vertex", o);
  CCorneaVertexAlgorithm vertex;
  float q[2] = {-1, -1}, s[2] = {-1, -1};
  // The quadric reads every value within its zone as a depth: gaps are bridged.
  const std::vector<float> anterior = Bridged(r->dewarpedAnterior, f.N, f.W);
  try {
    vertex.CorneaVertexQ(anterior.data(), scan.anglesDeg.data(), f.N, f.W, f.D, f.depthMuDewarped,
                         f.fov, o.vertexRoiRadiusUm, q);
    const double span = 2.0 * std::max(f.fov[0], f.fov[1]);
    r->vertexQUm[0] = -span / 2 + q[0] * span / (f.W - 1);
    r->vertexQUm[1] = -span / 2 + q[1] * span / (f.W - 1);
    // A quadric that is not a bowl within the field has its shallowest node on the grid's
    // border: no apex then.
    r->vertexQFound = q[0] > 0 && q[1] > 0 && q[0] < f.W - 1 && q[1] < f.W - 1;
  } catch (const AlgorithmException&) {
  }
  std::vector<std::uint8_t> bscans(scan.volume, scan.volume + std::size_t(f.N) * f.W * f.L);
  std::vector<float> directions;
  for (float a : scan.anglesDeg) directions.push_back(static_cast<float>(-a * M_PI / 180.0));
  try {
    vertex.CorneaVertexS(bscans.data(), f.N, f.W, f.L, r->anterior.data(), r->posterior.data(),
                         directions.data(), o.specularCorrelation, s);
  } catch (const AlgorithmException&) {
    return;
  }
  if (s[0] < 0 && s[1] < 0) return;
  const double pitch = 2.0 * scan.halfFieldUm[0] / (f.W - 1);
  r->vertexSUm[0] = (s[0] - f.W * 0.5) * pitch;
  r->vertexSUm[1] = (s[1] - f.W * 0.5) * pitch;
  r->vertexSFound = true;
}

}  // namespace

void* AllocateImageBlock(std::size_t bytes) {
  constexpr std::size_t kHugePage = std::size_t(2) << 20;
  const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  if (whole < bytes) throw std::bad_alloc();
  void* block = std::aligned_alloc(kHugePage, whole);
  if (block == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  madvise(block, whole, MADV_HUGEPAGE);  // advice only: nothing to handle when refused
#endif
  return block;
}

void FreeImageBlock(void* block) noexcept { std::free(block); }

double MapResult::At(const MapGeometry& g, double xUm, double yUm) const {
  const double fc = g.Column(xUm), fr = g.Row(yUm);
  const int c = static_cast<int>(std::floor(fc)), row = static_cast<int>(std::floor(fr));
  if (c < 0 || row < 0 || c + 1 >= g.width || row + 1 >= g.width) return NAN;
  const auto v = [&](int rr, int cc) { return values[std::size_t(rr) * g.width + cc]; };
  if (v(row, c) < 0 || v(row, c + 1) < 0 || v(row + 1, c) < 0 || v(row + 1, c + 1) < 0) return NAN;
  const double u = fc - c, w = fr - row;
  return (1 - w) * ((1 - u) * v(row, c) + u * v(row, c + 1)) +
         w * ((1 - u) * v(row + 1, c) + u * v(row + 1, c + 1));
}

double RoadResult::TotalMs() const {
  double total = 0;
  for (const StageTime& t : times) total += t.ms;
  return total;
}

std::vector<int> RoadRandomValues(unsigned seed, int count) {
  std::mt19937 generator(seed);
  std::vector<int> values(count);
  for (int& v : values) v = static_cast<int>(generator() >> 1);
  return values;
}

RoadResult RunPachymetryRoad(const RadialScan& scan, const RoadOptions& o,
                             const std::vector<int>& random) {
  if (scan.numBscans < 1 || !scan.volume) throw std::invalid_argument("the scan holds no B-scan.");
  if (static_cast<int>(scan.anglesDeg.size()) != scan.numBscans)
    throw std::invalid_argument("one meridian angle per B-scan is needed.");
  const ScanFrame f = Frame(scan, o);
  RoadResult r;
  r.geometry.width = f.W;
  r.geometry.nodes = o.mapNodes;
  r.geometry.spanUm = 2.0f * std::max(f.fov[0], f.fov[1]);
  Segment(scan, o, random, &r);
  WorkLayers w{r.anterior, r.posterior, r.anteriorConfidence, r.posteriorConfidence, {}};
  std::vector<float> dewarpedBowman;
  if (o.epithelium) {
    StageTimer timer(&r, "bowman", o);
    w.bowman.assign(r.anterior.size(), -1.0f);
    std::vector<float> bowmanConfidence(r.anterior.size(), -1.0f);
    CCorneaSegmentationAlgorithm segmentation;
    segmentation.Initialize(o.segmentation);
    segmentation.SegmentBowman(scan.volume, f.N, f.W, f.L, r.anterior.data(), w.bowman.data(),
                               bowmanConfidence.data());
  }
  if (o.motionCorrect) CorrectMotion(scan, f, o, random, &w, &r);
  Dewarp(scan, f, o, &w, &dewarpedBowman, &r);
  Pachymetry(scan, f, o, w, &r);
  Power(scan, f, o, w, &r);
  if (o.vertex) Vertex(scan, f, o, &r);
  if (o.epithelium) Epithelium(scan, f, o, dewarpedBowman, &r);
  return r;
}

}  // namespace Talvex::Tools

// Device export of a simulated scan: display curve calibrated on the scan's own air and stroma,
// grey noise, fan mask, apex streak, JPEG round trip, and the grey levels of the result measured
// in regions cut from the truth surfaces.
#include "tools/synthetic_eye/DeviceExport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "tools/imaging/ImageCodecs.h"
#include "tools/synthetic_eye/SynthRandom.h"

namespace Talvex {
namespace Synthetic {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int kExcludePad = 3;  // A-scans beside a streak that the level regions leave out

// ---- Level regions -------------------------------------------------------------------------

enum Region { kAir, kStroma, kPosteriorStroma, kAqueous, kRegions };

// Sizes of the level regions of a scan, in samples, and the A-scans they leave out.
struct RegionLayout {
  int width = 0, length = 0;
  int margin = 0;  // m: distance kept from every surface
  int band = 0;    // b: thickness of the bands beside the posterior surface
  int excludeFirst = -1, excludeLast = -2;
  bool Excluded(int j) const { return j >= excludeFirst && j <= excludeLast; }
};

RegionLayout LayoutOf(const ScanProtocol& p, const RenderSettings& r) {
  RegionLayout lay;
  lay.width = p.bscanWidth;
  lay.length = p.ascanLength;
  const double pitchUm = 1000.0 * p.scanDepthMm / p.ascanLength;
  lay.margin = static_cast<int>(std::ceil(2.0 * r.axialResolutionUm / pitchUm)) + 2;
  lay.band = std::max(3, static_cast<int>(std::lround(20.0 / pitchUm)));
  return lay;
}

// Calls visit(region, j, k0, k1) for the samples [k0, k1) of each level region in A-scan j.
template <class Visit>
void ForEachRegion(const BscanTruth& t, const RegionLayout& lay, Visit visit) {
  const int L = lay.length, m = lay.margin, b = lay.band;
  auto clampRange = [&](Region region, int j, int k0, int k1) {
    k0 = std::max(0, k0);
    k1 = std::min(L, k1);
    if (k1 > k0) visit(region, j, k0, k1);
  };
  for (int j = 0; j < lay.width; ++j) {
    if (lay.Excluded(j)) continue;
    const float ant = t.anterior[j], bow = t.bowman[j], post = t.posterior[j];
    if (ant >= 0.0f) clampRange(kAir, j, 0, static_cast<int>(std::floor(ant)) - m);
    if (post < 0.0f) continue;
    const int p = static_cast<int>(std::floor(post));
    if (bow >= 0.0f) clampRange(kStroma, j, static_cast<int>(std::ceil(bow)) + b + m, p - m);
    clampRange(kPosteriorStroma, j, p - m - b, p - m);
    clampRange(kAqueous, j, p + 1 + m, p + 1 + m + b);
  }
}

// Brightest sample within 2 samples of the anterior surface of every A-scan that has one.
template <class Visit>
void ForEachAnteriorPeak(const BscanTruth& t, const RegionLayout& lay, const std::uint8_t* bscan,
                         Visit visit) {
  for (int j = 0; j < lay.width; ++j) {
    const float ant = t.anterior[j];
    if (lay.Excluded(j) || ant < 2.0f || ant > lay.length - 3) continue;
    const int c = static_cast<int>(std::lround(ant));
    const std::uint8_t* a = bscan + static_cast<size_t>(j) * lay.length;
    visit(*std::max_element(a + c - 2, a + c + 3));
  }
}

// Sums of the regions and the anterior peaks, for one B-scan or pooled over a scan.
struct LevelSums {
  std::array<double, kRegions> sum{};
  std::array<long long, kRegions> count{};
  std::vector<int> peaks;

  void Add(const BscanTruth& t, const RegionLayout& lay, const std::uint8_t* bscan) {
    ForEachRegion(t, lay, [&](Region r, int j, int k0, int k1) {
      const std::uint8_t* a = bscan + static_cast<size_t>(j) * lay.length;
      for (int k = k0; k < k1; ++k) sum[r] += a[k];
      count[r] += k1 - k0;
    });
    ForEachAnteriorPeak(t, lay, bscan, [&](int v) { peaks.push_back(v); });
  }
  DeviceLevels Levels() {
    DeviceLevels l;
    l.valid = true;
    auto mean = [&](Region r) { return count[r] > 0 ? sum[r] / count[r] : -1.0; };
    l.air = mean(kAir);
    l.stroma = mean(kStroma);
    l.posteriorStroma = mean(kPosteriorStroma);
    l.aqueous = mean(kAqueous);
    if (!peaks.empty()) {
      std::nth_element(peaks.begin(), peaks.begin() + peaks.size() / 2, peaks.end());
      l.anteriorPeak = peaks[peaks.size() / 2];
    }
    return l;
  }
};

// ---- Display curve -------------------------------------------------------------------------

// 0 up to the gate g, linear to stromaOut at the simulator's stroma level, on to anteriorOut at
// its anterior peak level and beyond with the same slope; the caller clips.
struct DisplayCurve {
  double gate = 0, simStroma = 70, stromaOut = 120, simPeak = 118, anteriorOut = 235;
  double operator()(double s) const {
    if (s <= gate) return 0.0;
    if (s <= simStroma) return stromaOut * (s - gate) / (simStroma - gate);
    return stromaOut + (anteriorOut - stromaOut) * (s - simStroma) / (simPeak - simStroma);
  }
};

// Mean of clip(v + sigma·Z, 0, top) for a standard normal Z: the exported grey of a value v.
double ExpectedGrey(double v, double sigma, double top) {
  if (sigma <= 0.0) return std::min(top, std::max(0.0, v));
  auto positivePart = [&](double mu) {  // E[max(mu + sigma Z, 0)]
    const double z = mu / sigma;
    return mu * 0.5 * std::erfc(-z / std::sqrt(2.0)) +
           sigma * std::exp(-0.5 * z * z) / std::sqrt(2.0 * kPi);
  };
  return positivePart(v) - positivePart(v - top);
}

using Histogram = std::array<double, 256>;

double ExpectedMean(const Histogram& h, const DisplayCurve& curve, const DeviceExport& d) {
  double sum = 0.0, n = 0.0;
  for (int s = 0; s < 256; ++s) {
    if (h[s] <= 0.0) continue;
    sum += h[s] * ExpectedGrey(curve(s), d.greyNoise, d.saturationLevel);
    n += h[s];
  }
  return sum / n;
}

// Bisection of an increasing function f on [lo, hi] for f(x) = target.
template <class F>
double Solve(F f, double lo, double hi, double target) {
  for (int i = 0; i < 50; ++i) {
    const double mid = 0.5 * (lo + hi);
    (f(mid) < target ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// The curve whose expected air and stroma means over the scan's own histograms are the
// requested levels (the gate sets the air, the stroma output the stroma; solved in turn) and
// that takes simPeak, the scan's median anterior peak, to the anterior reflection level.
DisplayCurve Calibrate(const Histogram& air, const Histogram& stroma, double simPeak,
                       const RenderSettings& r, const DeviceExport& d) {
  DisplayCurve c;
  c.simStroma = r.stromaLevel;
  c.simPeak = std::max(simPeak, r.stromaLevel + 1.0);
  c.anteriorOut = d.anteriorReflectionLevel;
  c.stromaOut = d.stromaLevel;
  c.gate = std::min(r.noiseLevel + 5.0, c.simStroma - 1.0);
  const bool hasAir = std::any_of(air.begin(), air.end(), [](double v) { return v > 0; });
  const bool hasStroma = std::any_of(stroma.begin(), stroma.end(), [](double v) { return v > 0; });
  for (int round = 0; round < 6; ++round) {
    if (hasStroma)
      c.stromaOut = Solve(
          [&](double x) {
            DisplayCurve t = c;
            t.stromaOut = x;
            return ExpectedMean(stroma, t, d);
          },
          0.5, c.anteriorOut - 0.5, d.stromaLevel);
    if (hasAir)  // the air mean falls as the gate rises
      c.gate = Solve(
          [&](double x) {
            DisplayCurve t = c;
            t.gate = x;
            return -ExpectedMean(air, t, d);
          },
          -20.0, c.simStroma - 1.0, -d.airLevel);
  }
  return c;
}

// ---- Mask and streak -----------------------------------------------------------------------

// Fan mask of one B-scan: maskTop / maskBottom per A-scan ([top, bottom) blanked), -1 for none.
void FanMask(const DeviceExport& d, const ScanProtocol& p, const RegionLayout& lay,
             const BscanTruth& t, std::vector<float>* top, std::vector<float>* bottom) {
  const int W = lay.width, L = lay.length;
  top->assign(W, -1.0f);
  bottom->assign(W, -1.0f);
  int apex = -1;
  for (int j = 0; j < W; ++j)
    if (t.posterior[j] >= 0.0f && (apex < 0 || t.posterior[j] < t.posterior[apex])) apex = j;
  if (!d.fanMask || apex < 0) return;
  const double pitchMm = p.scanDepthMm / L;
  const double spacingMm = W > 1 ? 2.0 * t.halfLengthMm / (W - 1) : 0.0;
  const double R = d.fanRadiusMm, h = d.fanHalfAngleDeg * kDeg;
  const double pivot = t.posterior[apex] * pitchMm + 1e-3 * d.fanGapUm + R;
  for (int j = 0; j < W; ++j) {
    const double dx = std::fabs((j - apex) * spacingMm);
    if (t.posterior[j] < 0.0f || dx > R * std::sin(h)) continue;
    const double arc = (pivot - std::sqrt(R * R - dx * dx)) / pitchMm;
    const double side = (pivot - dx / std::tan(h)) / pitchMm;
    const double k0 = std::ceil(std::max(arc, static_cast<double>(t.posterior[j]) + lay.margin));
    const double k1 = std::min(static_cast<double>(L), std::ceil(side));
    if (k0 >= k1) continue;
    (*top)[j] = static_cast<float>(k0);
    (*bottom)[j] = static_cast<float>(k1);
  }
}

// A-scan of the streak: the simulated specular centre, else the smallest incidence below 1°.
int StreakCentre(const BscanTruth& t) {
  if (t.specularCentre >= 0.0) return static_cast<int>(std::lround(t.specularCentre));
  int best = -1;
  for (int j = 0; j < static_cast<int>(t.incidenceDeg.size()); ++j)
    if (t.incidenceDeg[j] >= 0.0f && (best < 0 || t.incidenceDeg[j] < t.incidenceDeg[best]))
      best = j;
  return best >= 0 && t.incidenceDeg[best] < 1.0f ? best : -1;
}

// Streak core at full level through the whole depth, two shoulder A-scans each side fading.
void DrawStreak(const DeviceExport& d, int centre, int W, int L, std::uint8_t* bscan) {
  static constexpr double kShoulder[] = {0.7, 0.4};
  for (int off = -(d.streakHalfWidth + 2); off <= d.streakHalfWidth + 2; ++off) {
    const int j = centre + off, beyond = std::abs(off) - d.streakHalfWidth;
    if (j < 0 || j >= W) continue;
    const double level = beyond <= 0 ? d.streakLevel : d.streakLevel * kShoulder[beyond - 1];
    const auto grey = static_cast<std::uint8_t>(std::lround(level));
    std::uint8_t* a = bscan + static_cast<size_t>(j) * L;
    for (int k = 0; k < L; ++k) a[k] = std::max(a[k], grey);
  }
}

// Separable Gaussian smoothing of one B-scan in place (replicated borders, rounded to grey).
void Smooth(double sigma, int W, int L, std::uint8_t* bscan) {
  const int r = static_cast<int>(std::ceil(3.0 * sigma));
  if (sigma <= 0.0 || r < 1) return;
  std::vector<float> k(2 * r + 1);
  float sum = 0.0f;
  for (int t = -r; t <= r; ++t)
    sum += k[t + r] = static_cast<float>(std::exp(-0.5 * t * t / (sigma * sigma)));
  for (float& v : k) v /= sum;
  std::vector<float> along(static_cast<size_t>(W) * L);
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < L; ++z) {
      float v = 0.0f;
      for (int t = -r; t <= r; ++t)
        v += k[t + r] * bscan[static_cast<size_t>(j) * L + std::min(L - 1, std::max(0, z + t))];
      along[static_cast<size_t>(j) * L + z] = v;
    }
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < L; ++z) {
      float v = 0.0f;
      for (int t = -r; t <= r; ++t)
        v += k[t + r] * along[static_cast<size_t>(std::min(W - 1, std::max(0, j + t))) * L + z];
      bscan[static_cast<size_t>(j) * L + z] = static_cast<std::uint8_t>(v + 0.5f);
    }
}

// Encodes and decodes one B-scan (A-scan-major) as a JPEG picture (row = depth) in place.
void JpegRoundTrip(int quality, int W, int L, std::uint8_t* bscan) {
  std::vector<std::uint8_t> picture(static_cast<size_t>(W) * L), jpeg;
  for (int j = 0; j < W; ++j)
    for (int k = 0; k < L; ++k) picture[static_cast<size_t>(k) * W + j] = bscan[size_t(j) * L + k];
  std::string error;
  Tools::Picture decoded;
  if (!Tools::EncodeGreyJpeg(picture.data(), W, L, quality, false, &jpeg, &error) ||
      !Tools::DecodeJpeg(jpeg.data(), jpeg.size(), static_cast<long long>(W) * L, &decoded,
                         &error) ||
      decoded.channels != 1)
    throw std::runtime_error("Synthetic eye: JPEG round trip failed: " + error);
  for (int j = 0; j < W; ++j)
    for (int k = 0; k < L; ++k) bscan[size_t(j) * L + k] = decoded.pixels[size_t(k) * W + j];
}

// Excludes the device streak and the simulated specular streak from the level regions.
void ExcludeStreaks(const BscanTruth& t, int streakCentre, int halfWidth, RegionLayout* lay) {
  lay->excludeFirst = lay->width;
  lay->excludeLast = -1;
  auto take = [&](int first, int last) {
    lay->excludeFirst = std::min(lay->excludeFirst, first - kExcludePad);
    lay->excludeLast = std::max(lay->excludeLast, last + kExcludePad);
  };
  if (streakCentre >= 0) take(streakCentre - halfWidth - 2, streakCentre + halfWidth + 2);
  if (t.specularFirst >= 0) take(t.specularFirst, t.specularLast);
}

}  // namespace

bool DeviceExportPreset(const std::string& name, DeviceExport* device) {
  DeviceExport d;
  if (name == "dim") {
    d.airLevel = 1.0;
    d.stromaLevel = 65.0;
    d.anteriorReflectionLevel = 205.0;
    d.saturationLevel = 230.0;
    d.streakLevel = 230.0;
    d.greyNoise = 1.5;
  } else if (name == "bright") {
    d.airLevel = 4.0;
    d.stromaLevel = 185.0;
    d.anteriorReflectionLevel = 250.0;
    d.greyNoise = 3.0;
  } else if (name != "typical") {
    return false;
  }
  *device = d;
  return true;
}

bool ValidateDeviceExport(const DeviceExport& d, std::string* error) {
  auto fail = [&](const char* what) {
    *error = std::string("Device export: ") + what + ".";
    return false;
  };
  if (!(d.airLevel >= 0.0 && d.airLevel < d.stromaLevel))
    return fail("the air level must be at least 0 and below the stroma level");
  if (!(d.stromaLevel < d.anteriorReflectionLevel))
    return fail("the stroma level must be below the anterior reflection level");
  if (!(d.anteriorReflectionLevel <= d.saturationLevel && d.saturationLevel <= 255.0))
    return fail("the anterior reflection level must not exceed the saturation level, nor it 255");
  if (!(d.greyNoise >= 0.0 && d.greyNoise <= 50.0)) return fail("the grey noise must be 0-50");
  if (!(d.smoothingPx >= 0.0 && d.smoothingPx <= 10.0))
    return fail("the smoothing must be 0-10 pixels");
  if (!(d.streakLevel >= 0.0 && d.streakLevel <= 255.0) || d.streakHalfWidth < 0 ||
      d.streakHalfWidth > 50)
    return fail("the streak level must be 0-255 and its half width 0-50 A-scans");
  if (!(d.fanGapUm >= 0.0 && d.fanGapUm <= 5000.0) ||
      !(d.fanRadiusMm >= 0.1 && d.fanRadiusMm <= 50.0) ||
      !(d.fanHalfAngleDeg >= 1.0 && d.fanHalfAngleDeg <= 80.0))
    return fail("the fan gap must be 0-5000 um, its radius 0.1-50 mm, its half angle 1-80 deg");
  if (d.jpegQuality < 0 || d.jpegQuality > 100) return fail("the JPEG quality must be 0-100");
  return true;
}

ScanProtocol DeviceProtocol(int meridians) {
  ScanProtocol p = RadialProtocol(meridians, 1020, 640);
  p.scanDepthMm = 640 * 4.3e-3;
  p.halfFieldMm[0] = p.halfFieldMm[1] = 0.5 * (1020 - 1) * 8e-3;
  return p;
}

RenderSettings DeviceRendering(RenderSettings base, const DeviceExport& device) {
  base.basalBandUm = 12.0;
  base.basalBandLevel = base.stromaLevel - 20.0;
  base.epitheliumLevel = base.stromaLevel + 6.0;
  base.bowmanLevel = base.stromaLevel + 24.0;
  base.specular = device.streak;
  base.streakLevel = -400.0;
  return base;
}

void ApplyDeviceExport(const DeviceExport& d, const ScanProtocol& protocol,
                       const RenderSettings& render, std::uint64_t seed, SimulatedScan* scan) {
  std::string error;
  if (!ValidateDeviceExport(d, &error)) throw std::invalid_argument(error);
  const int W = scan->bscanWidth, L = scan->ascanLength, N = scan->numBscans;
  const size_t bscanBytes = static_cast<size_t>(W) * L;
  std::vector<RegionLayout> layouts(N, LayoutOf(protocol, render));
  std::vector<int> centres(N, -1);
  Histogram air{}, stroma{};
  LevelSums simulated;  // for the anterior peaks of the simulated scan
  for (int b = 0; b < N; ++b) {
    const BscanTruth& t = scan->truth.bscans[b];
    if (d.streak) centres[b] = StreakCentre(t);
    ExcludeStreaks(t, centres[b], d.streakHalfWidth, &layouts[b]);
    std::uint8_t* bscan = scan->volume.data() + bscanBytes * b;
    Smooth(d.smoothingPx, W, L, bscan);
    ForEachRegion(t, layouts[b], [&](Region r, int j, int k0, int k1) {
      if (r != kAir && r != kStroma) return;
      Histogram& h = r == kAir ? air : stroma;
      for (int k = k0; k < k1; ++k) h[bscan[static_cast<size_t>(j) * L + k]] += 1.0;
    });
    ForEachAnteriorPeak(t, layouts[b], bscan, [&](int v) { simulated.peaks.push_back(v); });
  }
  const double simPeak =
      simulated.peaks.empty() ? render.anteriorPeakLevel : simulated.Levels().anteriorPeak;
  const DisplayCurve curve = Calibrate(air, stroma, simPeak, render, d);
  std::array<float, 256> table;
  for (int s = 0; s < 256; ++s) table[s] = static_cast<float>(curve(s));

  LevelSums pooled;
  for (int b = 0; b < N; ++b) {
    BscanTruth& t = scan->truth.bscans[b];
    std::uint8_t* bscan = scan->volume.data() + bscanBytes * b;
    std::uint64_t state = seed ^ 0x3C6EF372FE94F82Bull ^ (0x9E3779B97F4A7C15ull * (b + 1));
    Detail::Xoshiro256 rng(Detail::SplitMix64(&state));
    const float sigma = static_cast<float>(d.greyNoise),
                top = static_cast<float>(d.saturationLevel);
    for (size_t i = 0; i < bscanBytes; ++i) {
      const float v = table[bscan[i]] + (sigma > 0.0f ? sigma * rng.Normal() : 0.0f);
      bscan[i] = static_cast<std::uint8_t>(std::floor(std::min(top, std::max(0.0f, v)) + 0.5f));
    }
    FanMask(d, protocol, layouts[b], t, &t.device.maskTop, &t.device.maskBottom);
    for (int j = 0; j < W; ++j)
      if (t.device.maskTop[j] >= 0.0f)
        std::fill(bscan + static_cast<size_t>(j) * L + static_cast<int>(t.device.maskTop[j]),
                  bscan + static_cast<size_t>(j) * L + static_cast<int>(t.device.maskBottom[j]), 0);
    t.device.streakFirst = t.device.streakLast = -1;
    if (centres[b] >= 0) {
      DrawStreak(d, centres[b], W, L, bscan);
      t.device.streakFirst = std::max(0, centres[b] - d.streakHalfWidth);
      t.device.streakLast = std::min(W - 1, centres[b] + d.streakHalfWidth);
    }
    if (d.jpegQuality > 0) JpegRoundTrip(d.jpegQuality, W, L, bscan);
    LevelSums one;
    one.Add(t, layouts[b], bscan);
    t.device.levels = one.Levels();
    pooled.Add(t, layouts[b], bscan);
  }
  scan->truth.deviceLevels = pooled.Levels();
}

SimulatedScan SimulateDeviceExport(const ModelEye& eye, const ScanProtocol& protocol,
                                   const RenderSettings& render, const DeviceExport& device,
                                   std::uint64_t seed, int mapWidth) {
  std::string error;
  if (!ValidateDeviceExport(device, &error)) throw std::invalid_argument(error);
  const RenderSettings r = DeviceRendering(render, device);
  SimulatedScan scan = SimulateScan(eye, protocol, r, seed, mapWidth);
  ApplyDeviceExport(device, protocol, r, seed, &scan);
  return scan;
}

}  // namespace Synthetic
}  // namespace Talvex

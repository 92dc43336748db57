// The synthetic eye's truth in the road's conventions.
#include "tools/cornea_report/RoadTruth.h"

#include <algorithm>
#include <cmath>

#include "tools/synthetic_eye/EyeGeometry.h"

namespace Talvex::Tools {

namespace {

namespace Synth = Synthetic;

// Region index of (x, y) um on the layout, or -1 outside every region.
int RegionOf(double x, double y, const RoadOptions& o) {
  const double r = std::hypot(x, y) / 1000.0;
  const std::vector<float>& R = o.regionRadiiMm;
  if (r <= R[0]) return 0;
  const double width = 2 * M_PI / o.sectors;
  for (std::size_t k = 1; k < R.size(); ++k) {
    if (r > R[k]) continue;
    double t = std::atan2(y, x) + width / 2;
    while (t < 0) t += 2 * M_PI;
    const int j = std::min(static_cast<int>(t / width), o.sectors - 1);
    return 1 + static_cast<int>(k - 1) * o.sectors + j;
  }
  return -1;
}

// Every grid point of pitch p within radius rUm about the centre.
template <typename F>
void ForGrid(double rUm, double p, F&& f) {
  const int n = static_cast<int>(rUm / p);
  for (int i = -n; i <= n; ++i)
    for (int j = -n; j <= n; ++j)
      if (std::hypot(i * p, j * p) <= rUm) f(i * p, j * p);
}

}  // namespace

ThicknessField TruePachymetry(const Synth::ModelEye& eye, const Synth::ScanProtocol& protocol) {
  const double ex = protocol.eyeXMm, ey = protocol.eyeYMm;
  return [eye, ex, ey](double xUm, double yUm) {
    // Fixed point: the foot F whose normal ends at P satisfies F = P - t(F) n(F).
    const double px = xUm / 1000.0 - ex, py = yUm / 1000.0 - ey;
    double fx = px, fy = py, t = -1;
    for (int k = 0; k < 6; ++k) {
      t = Synth::ThicknessAlongPosteriorNormal(eye, fx, fy);
      if (t < 0) return -1.0;
      const auto n = Synth::Detail::SurfaceNormal(eye, Synth::Surface::Posterior, fx, fy);
      fx = px - t / 1000.0 * n.x, fy = py - t / 1000.0 * n.y;
    }
    return Synth::ThicknessAlongPosteriorNormal(eye, fx, fy);
  };
}

ThicknessField TrueEpithelium(const Synth::ModelEye& eye, const Synth::ScanProtocol& protocol) {
  const double ex = protocol.eyeXMm, ey = protocol.eyeYMm;
  return [eye, ex, ey](double xUm, double yUm) {
    return Synth::EpitheliumAlongAnteriorNormal(eye, xUm / 1000.0 - ex, yUm / 1000.0 - ey);
  };
}

FieldSummary SummariseField(const ThicknessField& field, const RoadOptions& o, double zoneRadiusMm,
                            double pitchUm) {
  FieldSummary s;
  const int regions = 1 + (static_cast<int>(o.regionRadiiMm.size()) - 1) * o.sectors;
  std::vector<double> sum(regions, 0.0);
  std::vector<int> count(regions, 0);
  ForGrid(1000.0 * o.regionRadiiMm.back(), pitchUm, [&](double x, double y) {
    const int k = RegionOf(x, y, o);
    const double v = field(x, y);
    if (k < 0 || v <= 0) return;
    sum[k] += v, ++count[k];
  });
  for (int k = 0; k < regions; ++k) s.sectorMean.push_back(count[k] ? sum[k] / count[k] : -1);
  // Thinnest: the smallest grid value, then a finer grid around it.
  double best = 1e30, bx = 0, by = 0;
  ForGrid(1000.0 * o.thinnestRadiusMm, pitchUm, [&](double x, double y) {
    const double v = field(x, y);
    if (v >= 0 && v < best) best = v, bx = x, by = y;
  });
  if (best < 1e30) {
    const double cx = bx, cy = by;
    for (int i = -10; i <= 10; ++i)
      for (int j = -10; j <= 10; ++j) {
        const double x = cx + i * pitchUm / 10, y = cy + j * pitchUm / 10;
        const double v = field(x, y);
        if (v >= 0 && v < best) best = v, bx = x, by = y;
      }
    s.thinnestXUm = bx, s.thinnestYUm = by, s.thinnestUm = best;
  }
  s.centralUm = field(0, 0);
  double lo = 1e30, hi = -1;
  ForGrid(1000.0 * zoneRadiusMm, pitchUm, [&](double x, double y) {
    const double v = field(x, y);
    if (v < 0) return;
    lo = std::min(lo, v), hi = std::max(hi, v);
  });
  if (hi >= 0) s.minUm = lo, s.maxUm = hi;
  return s;
}

void MapRange(const MapResult& map, const MapGeometry& g, double zoneRadiusMm, double pitchUm,
              double* centralUm, double* minUm, double* maxUm) {
  const double c = map.At(g, 0, 0);
  *centralUm = std::isnan(c) ? -1 : c;
  double lo = 1e30, hi = -1;
  ForGrid(1000.0 * zoneRadiusMm, pitchUm, [&](double x, double y) {
    const double v = map.At(g, x, y);
    if (std::isnan(v)) return;
    lo = std::min(lo, v), hi = std::max(hi, v);
  });
  *minUm = hi >= 0 ? lo : -1;
  *maxUm = hi;
}

MapError CompareMap(const MapResult& map, const MapGeometry& g, const ThicknessField& truth,
                    double zoneRadiusMm, double pitchUm) {
  MapError e;
  ForGrid(1000.0 * zoneRadiusMm, pitchUm, [&](double x, double y) {
    const double t = truth(x, y);
    if (t < 0) return;
    const double v = map.At(g, x, y);
    if (std::isnan(v)) {
      ++e.missing;
      return;
    }
    const double d = v - t;
    e.mean += d, e.rms += d * d, e.max = std::max(e.max, std::fabs(d)), ++e.count;
  });
  e.mean /= std::max(e.count, 1);
  e.rms = std::sqrt(e.rms / std::max(e.count, 1));
  return e;
}

}  // namespace Talvex::Tools

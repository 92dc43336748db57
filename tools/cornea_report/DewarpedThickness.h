// Corneal thickness on dewarped layers: both layers of one dewarped B-scan read as curves in
// millimetres, and the thickness along the normal of the posterior curve to the anterior curve.
#pragma once

#include <cmath>

namespace Talvex::Tools {

// One dewarped layer of a B-scan of `width` A-scans as a curve in the B-scan plane: lateral mm
// from the scan centre (half field `halfFieldMm`), depth mm (`depthMm` over `samples` samples).
struct DewarpedCurve {
  const float* layer;
  int width, samples;
  double halfFieldMm, depthMm;

  double Column(double x) const { return x / (2 * halfFieldMm) * width + width / 2.0; }
  // Depth at lateral x by linear interpolation between A-scans; NaN where the layer has no value.
  double DepthAt(double x) const {
    const double c = Column(x);
    const int c0 = static_cast<int>(std::floor(c));
    if (c0 < 0 || c0 + 1 >= width || layer[c0] < 0 || layer[c0 + 1] < 0) return NAN;
    const double s = layer[c0] + (layer[c0 + 1] - layer[c0]) * (c - c0);
    return s * depthMm / samples;
  }
};

// Thickness (µm) at lateral x0 of the posterior curve, along its normal (slope of a least-squares
// parabola over +-0.3 mm) up to the anterior curve; NaN where the posterior curve is missing.
inline double ThicknessAlongPosteriorNormal(const DewarpedCurve& ant, const DewarpedCurve& pst,
                                            double x0) {
  double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
  for (int k = -30; k <= 30; ++k) {
    const double u = 0.01 * k, z = pst.DepthAt(x0 + u);
    if (std::isnan(z)) continue;
    for (int e = 0; e < 5; ++e) s[e] += std::pow(u, e);
    for (int e = 0; e < 3; ++e) t[e] += z * std::pow(u, e);
  }
  if (s[0] < 3) return NAN;
  auto det3 = [](double a, double b, double c, double d, double e, double f, double g, double h,
                 double i) {
    return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  };
  const double D = det3(s[0], s[1], s[2], s[1], s[2], s[3], s[2], s[3], s[4]);
  const double c0 = det3(t[0], s[1], s[2], t[1], s[2], s[3], t[2], s[3], s[4]) / D;
  const double c1 = det3(s[0], t[0], s[2], s[1], t[1], s[3], s[2], t[2], s[4]) / D;
  const double norm = std::sqrt(1 + c1 * c1), nx = c1 / norm, nz = -1 / norm;
  auto gap = [&](double r) { return ant.DepthAt(x0 + r * nx) - (c0 + r * nz); };
  double lo = 0, hi = 1.5;
  for (int k = 0; k < 60; ++k) {
    const double mid = (lo + hi) / 2;
    (gap(mid) < 0 ? lo : hi) = mid;
  }
  return 1000 * (lo + hi) / 2;
}

}  // namespace Talvex::Tools

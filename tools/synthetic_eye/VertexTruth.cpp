// True corneal vertices of a scan: the apex of the anterior surface as the scanner sees it, and
// the point where a beam of the scan pattern meets the surface at normal incidence.
#include <cmath>
#include <functional>

#include "tools/synthetic_eye/EyeGeometry.h"

namespace Talvex {
namespace Synthetic {

using Detail::Vec3;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// The eye's tilt: the axis turned toward +X (about Y), then toward +Y (about X). ToEye takes a
// scanner-frame vector relative to the apex into the eye frame, FromEye back.
struct Tilt {
  double cosX, sinX, cosY, sinY;
  explicit Tilt(const ScanProtocol& p)
      : cosX(std::cos(p.eyeTiltDeg[0] * kDeg)),
        sinX(std::sin(p.eyeTiltDeg[0] * kDeg)),
        cosY(std::cos(p.eyeTiltDeg[1] * kDeg)),
        sinY(std::sin(p.eyeTiltDeg[1] * kDeg)) {}
  Vec3 ToEye(const Vec3& v) const {
    const Vec3 u{v.x, v.y * cosY - v.z * sinY, v.y * sinY + v.z * cosY};
    return {u.x * cosX - u.z * sinX, u.y, u.x * sinX + u.z * cosX};
  }
  Vec3 FromEye(const Vec3& e) const {
    const Vec3 u{e.x * cosX + e.z * sinX, e.y, -e.x * sinX + e.z * cosX};
    return {u.x, u.y * cosY + u.z * sinY, -u.y * sinY + u.z * cosY};
  }
};

// Compass search of the minimum of f over the plane from (x, y), step halved down to tol.
void Minimise(const std::function<double(double, double)>& f, double* x, double* y, double step,
              double tol) {
  double best = f(*x, *y);
  while (step > tol) {
    bool moved = false;
    const double dx[4] = {step, -step, 0, 0}, dy[4] = {0, 0, step, -step};
    for (int k = 0; k < 4; ++k) {
      const double v = f(*x + dx[k], *y + dy[k]);
      if (v < best) best = v, *x += dx[k], *y += dy[k], moved = true;
    }
    if (!moved) step *= 0.5;
  }
}

// The beam that leaves the scan surface at en-face (ox, oy): the radial scan pattern through that
// point (its angle a has the en-face direction (cos a, -sin a)), in the scanner frame.
struct Beam {
  Vec3 origin, direction;
};
Beam BeamAt(const ScanProtocol& p, double ox, double oy) {
  const double rho = std::hypot(ox, oy);
  const double phi = rho > 0.0 ? std::atan2(oy, ox) : 0.0;
  const double c = std::cos(phi), s = std::sin(phi);
  auto blend = [&](const double v[2]) {
    return std::sqrt(v[0] * v[0] * c * c + v[1] * v[1] * s * s);
  };
  const double x = rho / blend(p.halfFieldMm);
  const double alpha = blend(p.halfTelecentricityDeg) * kDeg * x;
  return {{ox, oy, blend(p.scanSagMm) * x * x},
          {-std::sin(alpha) * c, -std::sin(alpha) * s, std::cos(alpha)}};
}

}  // namespace

VertexTruth ComputeVertexTruth(const ModelEye& eye, const ScanProtocol& p) {
  const Tilt tilt(p);
  const Vec3 offset{p.eyeXMm, p.eyeYMm, p.apexDepthMm};
  auto toScanner = [&](const Vec3& e) { return tilt.FromEye(e) + offset; };
  VertexTruth v;

  // Apex: the anterior point (eye frame u, w) of smallest scanner depth.
  double u = 0.0, w = 0.0;
  auto depth = [&](double a, double b) {
    return toScanner({a, b, SurfaceSag(eye, Surface::Anterior, a, b)}).z;
  };
  Minimise(depth, &u, &w, 0.5, 1e-7);
  const Vec3 apex = toScanner({u, w, SurfaceSag(eye, Surface::Anterior, u, w)});
  v.apexXMm = apex.x, v.apexYMm = apex.y, v.apexDepthMm = apex.z;

  // Normal incidence: the beam start whose incidence on the anterior surface is smallest.
  const double maxPath = 4.0 * (p.apexDepthMm + 1.0);
  auto trace = [&](double ox, double oy, Vec3* hit) {
    const Beam beam = BeamAt(p, ox, oy);
    const Vec3 p0 = tilt.ToEye(beam.origin - offset), d = tilt.ToEye(beam.direction);
    const double t = Detail::IntersectRay(eye, Surface::Anterior, p0, d, 0.0, maxPath);
    if (t < 0.0) return kPi;
    const Vec3 pa = p0 + t * d;
    if (hit != nullptr) *hit = pa;
    return Detail::IncidenceAngle(d, Detail::SurfaceNormal(eye, Surface::Anterior, pa.x, pa.y));
  };
  double ox = apex.x, oy = apex.y;
  Minimise([&](double a, double b) { return trace(a, b, nullptr); }, &ox, &oy, 0.25, 1e-7);
  Vec3 hit;
  v.normalIncidenceDeg = trace(ox, oy, &hit) / kDeg;
  const Vec3 normal = toScanner(hit);
  v.normalXMm = normal.x, v.normalYMm = normal.y;
  v.normalScanXMm = ox, v.normalScanYMm = oy;
  return v;
}

}  // namespace Synthetic
}  // namespace Talvex

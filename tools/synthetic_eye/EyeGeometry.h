// Internal geometry of the synthetic eye: small 3-vectors, surface normals, ray-surface
// intersection and refraction. Eye frame in millimetres, Z is depth (downward).
#pragma once

#include <cmath>

#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex {
namespace Synthetic {
namespace Detail {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, const Vec3& a) { return {s * a.x, s * a.y, s * a.z}; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Normalised(const Vec3& a) { return (1.0 / std::sqrt(Dot(a, a))) * a; }

// Unit normal of a surface at en-face (x, y), pointing up (toward the scanner, negative depth):
// (df/dx, df/dy, -1) normalised, with central differences of the sag.
Vec3 SurfaceNormal(const ModelEye& eye, Surface s, double x, double y);

// Smallest t in (tMin, tMax] at which the ray p + t·d crosses the surface from the side where
// sign · (depth - sag) < 0 to the other side; the crossing is bracketed by stepping along the ray
// and refined by the Illinois variant of regula falsi to 1e-10 mm. Returns -1 when there is none.
double IntersectRay(const ModelEye& eye, Surface s, const Vec3& p, const Vec3& d, double tMin,
                    double tMax, double sign = 1.0);

// Refracts the unit direction d at a surface with unit normal n (either orientation) from phase
// index n1 into n2 by Snell's law. Returns false on total internal reflection (d unchanged).
bool Refract(Vec3* d, const Vec3& n, double n1, double n2);

// Incidence angle (radians) between the unit direction d and the unit normal n.
inline double IncidenceAngle(const Vec3& d, const Vec3& n) {
  const double c = std::fabs(Dot(d, n));
  return std::acos(c > 1.0 ? 1.0 : c);
}

}  // namespace Detail
}  // namespace Synthetic
}  // namespace Talvex

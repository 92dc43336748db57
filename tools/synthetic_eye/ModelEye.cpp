// The model eye: surface sags, presets, ray-surface intersection, refraction, true thickness
// maps and corneal power by Gaussian optics.
#include <algorithm>
#include <cmath>

#include "tools/synthetic_eye/EyeGeometry.h"

namespace Talvex {
namespace Synthetic {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLensRadiusOfView = 4.5;  // en-face radius up to which the lens surface is kept

// Sag of a toric conicoid at (x, y) relative to its apex, in its principal axes:
// b = u²/Ru + v²/Rv, a = (1 + Q) / sqrt(Ru Rv), z = b / (1 + sqrt(1 - a b)). Beyond the turning
// point (a b > 1) the square root is clamped so the function stays defined and continuous.
double ConicSag(const ConicSurface& c, double x, double y) {
  const double ca = std::cos(c.axisDeg * kPi / 180.0), sa = std::sin(c.axisDeg * kPi / 180.0);
  const double u = x * ca + y * sa, v = -x * sa + y * ca;
  const double b = u * u / c.radiusMm + v * v / c.radiusOtherMm;
  const double a = (1.0 + c.asphericity) / std::sqrt(c.radiusMm * c.radiusOtherMm);
  const double root = 1.0 - a * b;
  return b / (1.0 + std::sqrt(root > 0.0 ? root : 0.0));
}

double ConeBump(const ConeDeformation& k, double x, double y) {
  if (k.sigmaMm <= 0.0) return 0.0;
  const double dx = x - k.centreXMm, dy = y - k.centreYMm;
  return std::exp(-(dx * dx + dy * dy) / (2.0 * k.sigmaMm * k.sigmaMm));
}

// Anterior corneal surface (conic with the cone's bulge), without the scleral continuation.
double CorneaAnteriorSag(const ModelEye& e, double x, double y) {
  return e.anterior.apexDepthMm + ConicSag(e.anterior, x, y) -
         e.cone.anteriorBulgeMm * ConeBump(e.cone, x, y);
}

double EpitheliumUm(const ModelEye& e, double x, double y) {
  const EpitheliumProfile& p = e.epithelium;
  return p.centralUm + p.inferiorGradientUmPerMm * std::max(0.0, -y) +
         p.radialGradientUmPerMm2 * (x * x + y * y) -
         e.cone.epitheliumThinningUm * ConeBump(e.cone, x, y);
}

double LensSag(const ModelEye& e, double r) {
  const double q = e.lensRadiusMm * e.lensRadiusMm - r * r;
  return e.lensDepthMm + e.lensRadiusMm - std::sqrt(q > 0.0 ? q : 0.0);
}

// Iris profile at radius r: front depth and thickness. s runs from 0 at the pupil margin to 1 at
// the root; the front surface runs straight from the pupil margin (resting on the lens) to the
// angle recess with a forward bow; the thickness peaks at the collarette (s = 0.35).
void IrisProfile(const ModelEye& e, double r, double* front, double* thickness) {
  const double rp = e.pupilRadiusMm, rr = e.angleRadiusMm;
  double s = (r - rp) / (rr - rp);
  s = std::min(1.0, std::max(0.0, s));
  const double pupilThickness = 0.6 * e.irisThicknessMm;
  double t;
  if (s < 0.35) {
    t = pupilThickness + (e.irisThicknessMm - pupilThickness) * std::sin(0.5 * kPi * s / 0.35);
  } else {
    const double w = (s - 0.35) / 0.65, smooth = w * w * (3.0 - 2.0 * w);
    t = e.irisThicknessMm + (e.irisRootThicknessMm - e.irisThicknessMm) * smooth;
  }
  const double pupilFront = LensSag(e, rp) - pupilThickness;
  const double rootFront = SurfaceSag(e, Surface::Posterior, rr, 0.0);
  *front = pupilFront + (rootFront - pupilFront) * s - e.irisBowMm * std::sin(kPi * s);
  *thickness = t;
}

}  // namespace

double SurfaceSag(const ModelEye& e, Surface s, double x, double y) {
  switch (s) {
    case Surface::Anterior: {
      const double r = std::sqrt(x * x + y * y), rl = e.limbusRadiusMm;
      if (r <= rl) return CorneaAnteriorSag(e, x, y);
      // Sclera: a sphere of radius scleraRadiusMm centred on the eye axis through the limbus
      // point of the same meridian (the slight kink is the limbal sulcus).
      const double xl = x * rl / r, yl = y * rl / r, rs = e.scleraRadiusMm;
      const double q = std::max(0.0, rs * rs - r * r);
      return CorneaAnteriorSag(e, xl, yl) + std::sqrt(rs * rs - rl * rl) - std::sqrt(q);
    }
    case Surface::Bowman: {
      // Offset by the epithelium thickness along the anterior normal (to first order), so that
      // the epithelium keeps its thickness toward the periphery.
      const double h = 1e-5;
      const double fx = (CorneaAnteriorSag(e, x + h, y) - CorneaAnteriorSag(e, x - h, y)) / (2 * h);
      const double fy = (CorneaAnteriorSag(e, x, y + h) - CorneaAnteriorSag(e, x, y - h)) / (2 * h);
      return CorneaAnteriorSag(e, x, y) +
             1e-3 * EpitheliumUm(e, x, y) * std::sqrt(1.0 + fx * fx + fy * fy);
    }
    case Surface::Posterior:
      return e.posterior.apexDepthMm + ConicSag(e.posterior, x, y) -
             e.cone.posteriorBulgeMm * ConeBump(e.cone, x, y);
    case Surface::IrisFront:
    case Surface::IrisBack: {
      double front, thickness;
      IrisProfile(e, std::sqrt(x * x + y * y), &front, &thickness);
      return s == Surface::IrisFront ? front : front + thickness;
    }
    case Surface::Lens:
      return LensSag(e, std::sqrt(x * x + y * y));
  }
  return 0.0;
}

bool SurfaceCovers(const ModelEye& e, Surface s, double x, double y) {
  const double r = std::sqrt(x * x + y * y);
  switch (s) {
    case Surface::Anterior:
      return true;
    case Surface::Bowman:
      return r <= e.limbusRadiusMm;
    case Surface::Posterior:
      return r <= e.angleRadiusMm;
    case Surface::IrisFront:
    case Surface::IrisBack:
      return r >= e.pupilRadiusMm && r <= e.angleRadiusMm;
    case Surface::Lens:
      return r < std::min(kLensRadiusOfView, e.angleRadiusMm);
  }
  return false;
}

namespace Detail {

Vec3 SurfaceNormal(const ModelEye& e, Surface s, double x, double y) {
  const double h = 1e-5;
  const double fx = (SurfaceSag(e, s, x + h, y) - SurfaceSag(e, s, x - h, y)) / (2.0 * h);
  const double fy = (SurfaceSag(e, s, x, y + h) - SurfaceSag(e, s, x, y - h)) / (2.0 * h);
  return Normalised({fx, fy, -1.0});
}

double IntersectRay(const ModelEye& e, Surface s, const Vec3& p, const Vec3& d, double tMin,
                    double tMax, double sign) {
  auto g = [&](double t) {
    const Vec3 q = p + t * d;
    return sign * (q.z - SurfaceSag(e, s, q.x, q.y));
  };
  double lo = tMin, glo = g(lo);
  if (glo >= 0.0) return -1.0;
  // Bracket: steps of at most 0.25 mm, shorter when the surface is near.
  double hi = lo, ghi = glo;
  while (true) {
    const double step = std::min(0.25, std::max(2e-3, 0.5 * -ghi));
    hi = std::min(tMax, lo + step);
    ghi = g(hi);
    if (ghi == 0.0) return hi;
    if (ghi > 0.0) break;
    if (hi >= tMax) return -1.0;
    lo = hi;
    glo = ghi;
  }
  // Illinois regula falsi.
  int side = 0;
  for (int it = 0; it < 100 && hi - lo > 1e-10; ++it) {
    const double t = (lo * ghi - hi * glo) / (ghi - glo);
    const double gt = g(t);
    if (gt == 0.0) return t;
    if (gt < 0.0) {
      lo = t;
      glo = gt;
      if (side == -1) ghi *= 0.5;
      side = -1;
    } else {
      hi = t;
      ghi = gt;
      if (side == 1) glo *= 0.5;
      side = 1;
    }
  }
  return -glo <= ghi ? lo : hi;
}

bool Refract(Vec3* d, const Vec3& normal, double n1, double n2) {
  Vec3 n = normal;
  double cosi = -Dot(n, *d);
  if (cosi < 0.0) {
    n = -1.0 * n;
    cosi = -cosi;
  }
  const double eta = n1 / n2;
  const double k = 1.0 - eta * eta * (1.0 - cosi * cosi);
  if (k < 0.0) return false;
  *d = Normalised(eta * *d + (eta * cosi - std::sqrt(k)) * n);
  return true;
}

}  // namespace Detail

using Detail::Vec3;

double ThicknessAlongPosteriorNormal(const ModelEye& e, double x, double y) {
  if (!SurfaceCovers(e, Surface::Posterior, x, y)) return -1.0;
  const Vec3 p{x, y, SurfaceSag(e, Surface::Posterior, x, y)};
  const Vec3 n = Detail::SurfaceNormal(e, Surface::Posterior, x, y);  // points to the anterior
  const double t = Detail::IntersectRay(e, Surface::Anterior, p, n, 0.0, 5.0, -1.0);
  return t < 0.0 ? -1.0 : 1000.0 * t;
}

double EpitheliumAlongAnteriorNormal(const ModelEye& e, double x, double y) {
  if (!SurfaceCovers(e, Surface::Bowman, x, y)) return -1.0;
  const Vec3 p{x, y, SurfaceSag(e, Surface::Anterior, x, y)};
  const Vec3 n = -1.0 * Detail::SurfaceNormal(e, Surface::Anterior, x, y);  // into the cornea
  const double t = Detail::IntersectRay(e, Surface::Bowman, p, n, 0.0, 1.0);
  return t < 0.0 ? -1.0 : 1000.0 * t;
}

namespace {

// Principal curvatures (1/mm) of a surface at the eye axis and the direction (degrees) of the
// flatter one, from the Hessian of the sag by central differences.
void ApexCurvatures(const ModelEye& e, Surface s, double* flat, double* steep, double* flatDeg) {
  const double h = 1e-3;
  const double f0 = SurfaceSag(e, s, 0, 0);
  const double fxx = (SurfaceSag(e, s, h, 0) - 2 * f0 + SurfaceSag(e, s, -h, 0)) / (h * h);
  const double fyy = (SurfaceSag(e, s, 0, h) - 2 * f0 + SurfaceSag(e, s, 0, -h)) / (h * h);
  const double fxy = (SurfaceSag(e, s, h, h) - SurfaceSag(e, s, h, -h) - SurfaceSag(e, s, -h, h) +
                      SurfaceSag(e, s, -h, -h)) /
                     (4 * h * h);
  const double m = 0.5 * (fxx + fyy), r = std::sqrt(0.25 * (fxx - fyy) * (fxx - fyy) + fxy * fxy);
  *flat = m - r;
  *steep = m + r;
  // Eigenvector of the smaller eigenvalue.
  double ang = 0.5 * std::atan2(2 * fxy, fxx - fyy) * 180.0 / kPi + 90.0;
  if (r < 1e-9) ang = 0.0;
  *flatDeg = std::fmod(ang + 180.0, 180.0);
}

double ThickLensPower(double p1, double p2, double t, double n) {
  return p1 + p2 - t / n * p1 * p2;
}

}  // namespace

CornealPower ComputeCornealPower(const ModelEye& e) {
  double af, as, adeg, pf, ps, pdeg;
  ApexCurvatures(e, Surface::Anterior, &af, &as, &adeg);
  ApexCurvatures(e, Surface::Posterior, &pf, &ps, &pdeg);
  const double nc = e.cornea.phase, na = e.aqueous.phase;
  const double t = 1e-3 * (SurfaceSag(e, Surface::Posterior, 0, 0) -
                           SurfaceSag(e, Surface::Anterior, 0, 0));  // metres
  // Curvatures in 1/mm become dioptres by x 1000.
  CornealPower p;
  p.anterior = (nc - 1.0) * 500.0 * (af + as);
  p.posterior = (na - nc) * 500.0 * (pf + ps);
  p.total = ThickLensPower(p.anterior, p.posterior, t, nc);
  p.anteriorFlat = (nc - 1.0) * 1000.0 * af;
  p.anteriorSteep = (nc - 1.0) * 1000.0 * as;
  // Along a principal meridian of the anterior surface the posterior curvature is taken in the
  // same en-face direction (normal curvature of its Hessian).
  auto posteriorAlong = [&](double deg) {
    const double c = std::cos(deg * kPi / 180.0), s = std::sin(deg * kPi / 180.0), h = 1e-3;
    const double f0 = SurfaceSag(e, Surface::Posterior, 0, 0);
    const double f2 = (SurfaceSag(e, Surface::Posterior, h * c, h * s) - 2 * f0 +
                       SurfaceSag(e, Surface::Posterior, -h * c, -h * s)) /
                      (h * h);
    return (na - nc) * 1000.0 * f2;
  };
  p.flatMeridianDeg = adeg;
  p.totalFlat = ThickLensPower(p.anteriorFlat, posteriorAlong(adeg), t, nc);
  p.totalSteep = ThickLensPower(p.anteriorSteep, posteriorAlong(adeg + 90.0), t, nc);
  p.keratometric = 337.5 * 0.5 * (af + as);
  return p;
}

namespace {

// Least-squares parabola z = A s^2 + B s + C through the sag of surface `s` along the line
// (u, v) s, sampled densely over c - r <= s <= c + r; coefficients {A, B, C}.
struct Parabola {
  double A = 0, B = 0, C = 0;
  double Vertex() const { return -B / (2 * A); }
  double RadiusAt(double s) const {
    const double slope = 2 * A * s + B;
    return std::pow(1 + slope * slope, 1.5) / std::fabs(2 * A);
  }
};

Parabola FitSag(const ModelEye& e, Surface surface, double u, double v, double c, double r) {
  // Normal equations in t = s - c (well conditioned), solved by Cramer's rule.
  constexpr int kSamples = 2001;
  double m[3][3] = {}, rhs[3] = {};
  for (int i = 0; i < kSamples; ++i) {
    const double t = -r + 2 * r * i / (kSamples - 1);
    const double z = SurfaceSag(e, surface, (c + t) * u, (c + t) * v);
    const double p[3] = {t * t, t, 1};
    for (int a = 0; a < 3; ++a) {
      rhs[a] += p[a] * z;
      for (int b = 0; b < 3; ++b) m[a][b] += p[a] * p[b];
    }
  }
  const auto det = [](const double k[3][3]) {
    return k[0][0] * (k[1][1] * k[2][2] - k[1][2] * k[2][1]) -
           k[0][1] * (k[1][0] * k[2][2] - k[1][2] * k[2][0]) +
           k[0][2] * (k[1][0] * k[2][1] - k[1][1] * k[2][0]);
  };
  double x[3];
  for (int col = 0; col < 3; ++col) {
    double k[3][3];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) k[a][b] = b == col ? rhs[a] : m[a][b];
    x[col] = det(k) / det(m);
  }
  // Back from t to s = t + c.
  return {x[0], x[1] - 2 * x[0] * c, x[2] - x[1] * c + x[0] * c * c};
}

}  // namespace

MeridianFitPower ComputeMeridianFitPower(const ModelEye& e, const std::vector<double>& anglesDeg,
                                         double zoneRadiusMm) {
  MeridianFitPower p;
  p.zoneRadiusMm = zoneRadiusMm;
  if (anglesDeg.empty()) return p;
  const double nc = e.cornea.phase, na = e.aqueous.phase;
  for (double deg : anglesDeg) {
    const double u = std::cos(deg * kPi / 180.0), v = -std::sin(deg * kPi / 180.0);
    const Parabola first = FitSag(e, Surface::Anterior, u, v, 0.0, zoneRadiusMm);
    const Parabola ant = FitSag(e, Surface::Anterior, u, v, first.Vertex(), zoneRadiusMm);
    const double apex = ant.Vertex();
    const Parabola pst = FitSag(e, Surface::Posterior, u, v, apex, zoneRadiusMm);
    // Radii in mm: powers in dioptres by x 1000; thickness in metres.
    const double pa = 1000.0 * (nc - 1.0) / ant.RadiusAt(apex);
    const double pp = 1000.0 * (na - nc) / pst.RadiusAt(pst.Vertex());
    const double t = 1e-3 * (SurfaceSag(e, Surface::Posterior, apex * u, apex * v) -
                             SurfaceSag(e, Surface::Anterior, apex * u, apex * v));
    p.anterior += pa;
    p.posterior += pp;
    p.total += ThickLensPower(pa, pp, t, nc);
  }
  const double n = static_cast<double>(anglesDeg.size());
  p.anterior /= n;
  p.posterior /= n;
  p.total /= n;
  return p;
}

namespace {

template <typename F>
ThicknessMap BuildMap(int width, double diameterMm, F value) {
  ThicknessMap m;
  m.width = width;
  m.diameterMm = diameterMm;
  if (width < 2) return m;
  m.values.assign(static_cast<size_t>(width) * width, -1.0f);
  const double pitch = diameterMm / (width - 1), c = 0.5 * (width - 1), radius = 0.5 * diameterMm;
  double best = 1e30, bx = 0, by = 0;
  for (int r = 0; r < width; ++r) {
    for (int col = 0; col < width; ++col) {
      const double x = (col - c) * pitch, y = (c - r) * pitch;
      if (x * x + y * y > radius * radius * (1.0 + 1e-12)) continue;
      const double v = value(x, y);
      m.values[static_cast<size_t>(r) * width + col] = static_cast<float>(v);
      if (v >= 0.0 && v < best) {
        best = v;
        bx = x;
        by = y;
      }
    }
  }
  // Refine the thinnest point on two finer grids of +-1 pitch around it.
  double span = pitch;
  for (int pass = 0; pass < 2 && best < 1e30; ++pass) {
    const double cx = bx, cy = by;
    for (int i = -10; i <= 10; ++i) {
      for (int j = -10; j <= 10; ++j) {
        const double x = cx + i * span / 10.0, y = cy + j * span / 10.0;
        if (x * x + y * y > radius * radius) continue;
        const double v = value(x, y);
        if (v >= 0.0 && v < best) {
          best = v;
          bx = x;
          by = y;
        }
      }
    }
    span /= 10.0;
  }
  m.thinnestXMm = bx;
  m.thinnestYMm = by;
  m.thinnestUm = best < 1e30 ? best : -1.0;
  return m;
}

}  // namespace

ThicknessMap PachymetryMap(const ModelEye& e, int width, double diameterMm) {
  return BuildMap(width, diameterMm,
                  [&](double x, double y) { return ThicknessAlongPosteriorNormal(e, x, y); });
}

ThicknessMap EpitheliumMap(const ModelEye& e, int width, double diameterMm) {
  return BuildMap(width, diameterMm,
                  [&](double x, double y) { return EpitheliumAlongAnteriorNormal(e, x, y); });
}

ModelEye GullstrandEye() {
  ModelEye e;
  e.name = "gullstrand";
  e.anterior = {7.7, 7.7, 0.0, 0.0, 0.0};
  e.posterior = {6.8, 6.8, 0.0, 0.0, 0.5};
  e.cornea = {1.376, 1.386};
  e.aqueous = {1.336, 1.345};
  e.lensDepthMm = 3.6;
  e.lensRadiusMm = 10.0;
  return e;
}

ModelEye NavarroEye() {
  ModelEye e;
  e.name = "navarro";
  e.anterior = {7.72, 7.72, 0.0, -0.26, 0.0};
  e.posterior = {6.50, 6.50, 0.0, 0.0, 0.55};
  e.cornea = {1.3771, 1.3871};
  e.aqueous = {1.3374, 1.3464};
  e.lensDepthMm = 3.05;
  e.lensRadiusMm = 10.2;
  return e;
}

ModelEye KeratoconusEye() {
  ModelEye e;
  e.name = "keratoconus";
  e.anterior = {7.35, 7.6, 90.0, -0.45, 0.0};
  e.posterior = {6.05, 6.3, 90.0, -0.3, 0.5};
  // Inferotemporal for a right eye seen by the examiner: down and to the examiner's left.
  const double off = 1.0 / std::sqrt(2.0);
  e.cone = {-off, -off, 1.0, 0.045, 0.103, 10.0};
  e.epithelium = {52.0, 0.0, 0.6};
  e.angleRadiusMm = 5.5;
  e.lensDepthMm = 3.7;
  return e;
}

ModelEye PostRefractiveEye() {
  ModelEye e;
  e.name = "post-refractive";
  e.anterior = {8.6, 8.6, 0.0, 0.7, 0.0};
  e.posterior = {6.6, 6.6, 0.0, -0.1, 0.47};
  e.epithelium = {60.0, 0.0, -0.6};
  e.angleRadiusMm = 5.6;
  return e;
}

bool PresetByName(const std::string& name, ModelEye* eye) {
  if (name == "gullstrand") {
    *eye = GullstrandEye();
  } else if (name == "navarro") {
    *eye = NavarroEye();
  } else if (name == "keratoconus") {
    *eye = KeratoconusEye();
  } else if (name == "post-refractive") {
    *eye = PostRefractiveEye();
  } else {
    return false;
  }
  return true;
}

}  // namespace Synthetic
}  // namespace Talvex

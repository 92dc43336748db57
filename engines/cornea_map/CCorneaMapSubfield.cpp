// Ring and sector statistics, thinnest point and sector masks of a finished thickness map.
#include "engines/cornea_map/CCorneaMapSubfield.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr const char* kNullMap = "input map is NULL.";
// The centre disc spans all but a thousandth of a degree, so that its sector test never wraps.
constexpr double kDiscDegrees = 359.999;

// Truncated pixel coordinate of a box point; far or undefined points fall just outside the map
// and are clamped afterwards.
int BoxCoordinate(double v, int width) {
  if (!(v >= -1.0)) return -1;
  if (!(v <= width)) return width;
  return static_cast<int>(v);
}

// Sector membership of the pixels of one sector, as InsideSector decides it, without an arc
// tangent for every pixel: away from the sector's edges the side of each edge ray is read from a
// cross product; pixels within a hair of an edge (kEdgeMargin radians, far above the rounding of
// the angles) take InsideSector itself.
class SectorTest {
 public:
  SectorTest(const CCorneaMapSubfield& engine, float x0, float y0, float r0, float dR, float theta0,
             float dTheta, float twoPi)
      : engine_(engine), x0_(x0), y0_(y0), r0_(r0), dR_(dR), theta0_(theta0), dTheta_(dTheta) {
    // Far angles lose the precision the margin relies on once rounded to float.
    if (!(std::fabs(theta0) <= kNearAngle) || !(std::fabs(dTheta) <= kNearAngle)) {
      mode_ = Mode::Exact;
    } else if (dTheta < 0.0f) {
      mode_ = Mode::None;
    } else if (dTheta >= twoPi) {
      mode_ = Mode::All;
    } else {
      // A sector narrower than a half turn is the cone between its edges; a wider one is
      // everything but the cone of the remaining angles.
      mode_ = dTheta < twoPi / 2 ? Mode::Cone : Mode::OutsideCone;
      const double a = theta0, b = static_cast<double>(theta0) + dTheta;
      const double from = mode_ == Mode::Cone ? a : b, to = mode_ == Mode::Cone ? b : a;
      fromX_ = std::cos(from), fromY_ = std::sin(from), toX_ = std::cos(to), toY_ = std::sin(to);
    }
  }

  bool operator()(int x, int y) const {
    const double dx = x - static_cast<double>(x0_), dy = static_cast<double>(y0_) - y;
    const double r = std::sqrt(dx * dx + dy * dy);
    const float d = static_cast<float>(r - r0_);
    if (!(d >= 0.0f && d <= dR_)) return false;
    if (mode_ == Mode::All || mode_ == Mode::None) return mode_ == Mode::All;
    if (mode_ == Mode::Exact) return Exact(x, y);
    const double margin = kEdgeMargin * r;
    const double afterFrom = fromX_ * dy - fromY_ * dx, beforeTo = dx * toY_ - dy * toX_;
    const bool inCone = mode_ == Mode::Cone;
    if (afterFrom > margin && beforeTo > margin) return inCone;
    if (afterFrom < -margin || beforeTo < -margin) return !inCone;
    return Exact(x, y);
  }

 private:
  bool Exact(int x, int y) const {
    return engine_.InsideSector(x, y, x0_, y0_, r0_, dR_, theta0_, dTheta_);
  }

  static constexpr double kEdgeMargin = 1.0e-4;
  static constexpr float kNearAngle = 16.0f;
  enum class Mode { None, All, Cone, OutsideCone, Exact };
  const CCorneaMapSubfield& engine_;
  float x0_, y0_, r0_, dR_, theta0_, dTheta_;
  Mode mode_ = Mode::None;
  double fromX_ = 0, fromY_ = 0, toX_ = 0, toY_ = 0;
};

}  // namespace

CCorneaMapSubfield::CCorneaMapSubfield() : m_pi(3.1415927f), m_twoPi(6.2831855f) {}

float CCorneaMapSubfield::NormalizeTheta(float theta) const {
  if (!std::isfinite(theta)) return theta;
  // A whole number of turns first, so that a far angle does not take millions of steps.
  if (std::fabs(theta) > 64.0f * m_twoPi)
    theta = static_cast<float>(std::fmod(static_cast<double>(theta), m_twoPi));
  while (theta >= m_twoPi) theta = theta - m_twoPi;
  while (theta < 0.0f) theta = theta + m_twoPi;
  return theta;
}

bool CCorneaMapSubfield::InsideSector(float x, float y, float x0, float y0, float r0, float dR,
                                      float theta0, float dTheta) const {
  const double dx = static_cast<double>(x) - x0, dy = static_cast<double>(y0) - y;
  const float d = static_cast<float>(std::sqrt(dx * dx + dy * dy) - r0);
  if (!(d >= 0.0f && d <= dR)) return false;
  const float a = NormalizeTheta(static_cast<float>(std::atan2(dy, dx) - theta0));
  return a >= 0.0f && a <= dTheta;
}

CCorneaMapSubfield::Box CCorneaMapSubfield::SectorBox(int width, float x0, float y0, float r0,
                                                      float dR, float theta0, float dTheta) const {
  const double dT = NormalizeTheta(dTheta), outer = static_cast<double>(r0) + dR;
  Box b;
  b.xmin = b.xmax = BoxCoordinate(x0 + r0 * std::cos(static_cast<double>(theta0)) + 0.5, width);
  b.ymin = b.ymax = BoxCoordinate(y0 - r0 * std::sin(static_cast<double>(theta0)) + 0.5, width);
  auto extend = [&](double r, double a) {
    const double px = x0 + r * std::cos(a), py = y0 - r * std::sin(a);
    if (px < b.xmin) b.xmin = BoxCoordinate(px, width);
    if (px > b.xmax) b.xmax = BoxCoordinate(px, width);
    if (py < b.ymin) b.ymin = BoxCoordinate(py, width);
    if (py > b.ymax) b.ymax = BoxCoordinate(py, width);
  };
  extend(outer, theta0);
  extend(outer, theta0 + dT);
  extend(r0, theta0 + dT);
  const double degree = static_cast<double>(m_pi) / 180.0;
  for (int k = 0; k * degree < dT; ++k) extend(outer, theta0 + k * degree);
  b.xmin = std::clamp(b.xmin, 0, width - 1);
  b.xmax = std::clamp(b.xmax, 0, width - 1);
  b.ymin = std::clamp(b.ymin, 0, width - 1);
  b.ymax = std::clamp(b.ymax, 0, width - 1);
  return b;
}

void CCorneaMapSubfield::SubFieldValues(const float* diffMap, int width, float x0, float y0,
                                        float r0, float dR, float theta0, float dTheta,
                                        float subfieldArea, float* subfieldValues) const {
  const Box b = SectorBox(width, x0, y0, r0, dR, theta0, dTheta);
  const SectorTest inside(*this, x0, y0, r0, dR, theta0, dTheta, m_twoPi);
  double sum = 0.0;
  int count = 0;
  float lo = 1.0e16f, hi = 0.0f;
  for (int y = b.ymin; y <= b.ymax; ++y) {
    for (int x = b.xmin; x <= b.xmax; ++x) {
      const float v = diffMap[static_cast<size_t>(y) * width + x];
      if (!(v > 0.0f) || !inside(x, y)) continue;
      sum += v;
      ++count;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  const bool covered = count > 0 && static_cast<double>(count) / subfieldArea >= m_areaPerc;
  subfieldValues[0] = covered ? static_cast<float>(sum / count) : -1.0f;
  subfieldValues[1] = covered ? lo : -1.0f;
  subfieldValues[2] = covered ? hi : -1.0f;
}

void CCorneaMapSubfield::ComputeSubfields(const float* map, int widthPix, float widthmm,
                                          float xCenter, float yCenter, float areaPerc,
                                          const float* regionRadiuses, int numRegion,
                                          int numSubfields, float* subfieldMean, float* subfieldMin,
                                          float* subfieldMax) {
  if (map == nullptr) throw AlgorithmException(kNullMap);
  if (numRegion < 1) return;
  const float s = static_cast<float>(static_cast<double>(widthPix) / widthmm);
  const float area = static_cast<float>(static_cast<double>(widthPix) * widthPix /
                                        (static_cast<double>(widthmm) * widthmm));
  m_areaPerc = areaPerc;
  auto store = [&](int entry, const float* v) {
    subfieldMean[entry] = v[0];
    subfieldMin[entry] = v[1];
    subfieldMax[entry] = v[2];
  };
  float v[3];
  const double r0mm = regionRadiuses[0];
  SubFieldValues(map, widthPix, xCenter, yCenter, 0.0f, static_cast<float>(r0mm * s), 0.0f,
                 static_cast<float>(kDiscDegrees * m_pi / 180.0),
                 static_cast<float>(r0mm * r0mm * m_pi * area), v);
  store(0, v);
  const float delta = static_cast<float>(360.0 / numSubfields * m_pi / 180.0);
  for (int k = 1; k < numRegion; ++k) {
    const double inner = regionRadiuses[k - 1], outer = regionRadiuses[k];
    const float ringArea =
        static_cast<float>((outer * outer - inner * inner) * m_pi / numSubfields * area);
    for (int j = 0; j < numSubfields; ++j) {
      SubFieldValues(map, widthPix, xCenter, yCenter, static_cast<float>(inner * s),
                     static_cast<float>((outer - inner) * s),
                     static_cast<float>(j * static_cast<double>(delta) - delta / 2.0), delta,
                     ringArea, v);
      store(1 + (k - 1) * numSubfields + j, v);
    }
  }
}

void CCorneaMapSubfield::MaskROI(int width, float x0, float y0, float r0, float dR, float theta0,
                                 float dTheta, std::uint8_t* mask) const {
  const Box b = SectorBox(width, x0, y0, r0, dR, theta0, dTheta);
  const SectorTest inside(*this, x0, y0, r0, dR, theta0, dTheta, m_twoPi);
  for (int y = b.ymin; y <= b.ymax; ++y)
    for (int x = b.xmin; x <= b.xmax; ++x)
      if (inside(x, y)) mask[static_cast<size_t>(y) * width + x] = 1;
}

void CCorneaMapSubfield::MinimumCorneaMap(const float* map, int width, float x0, float y0, float r0,
                                          float dR, float theta0, float dTheta, float* pos) const {
  const Box b = SectorBox(width, x0, y0, r0, dR, theta0, dTheta);
  const SectorTest inside(*this, x0, y0, r0, dR, theta0, dTheta, m_twoPi);
  auto at = [&](int x, int y) { return map[static_cast<size_t>(y) * width + x]; };
  float m = 1.0e32f;
  for (int y = b.ymin; y <= b.ymax; ++y)
    for (int x = b.xmin; x <= b.xmax; ++x)
      if (at(x, y) >= 0.0f && at(x, y) < m && inside(x, y)) m = at(x, y);
  std::vector<float> xs, ys;
  xs.reserve(kMaxMinimumPixels);
  ys.reserve(kMaxMinimumPixels);
  for (int y = b.ymin; y <= b.ymax; ++y) {
    for (int x = b.xmin; x <= b.xmax && static_cast<int>(xs.size()) < kMaxMinimumPixels; ++x) {
      const float v = at(x, y);
      if (v == -1.0f || !(std::fabs(static_cast<double>(v) - m) < 1.0e-6)) continue;
      if (!inside(x, y)) continue;
      xs.push_back(static_cast<float>(x));
      ys.push_back(static_cast<float>(y));
    }
  }
  const int n = static_cast<int>(xs.size());
  TALVEX_IPP(ippsMean_32f, xs.data(), n, &pos[0], Platform::ippAlgHintAccurate);
  TALVEX_IPP(ippsMean_32f, ys.data(), n, &pos[1], Platform::ippAlgHintAccurate);
}

}  // namespace Talvex::SDOCT::Algorithms

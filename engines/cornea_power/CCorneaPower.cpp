// Corneal power from robust parabola fits of the corneal surfaces along each meridian.
#include "engines/cornea_power/CCorneaPower.h"

#include <array>
#include <cmath>
#include <memory>

#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CVector.h"
#include "core/AlgorithmException.h"
#include "core/CorneaPowerParameter.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CLineSpace;
using Common::Algorithms::DataStructures::CVector;

namespace {

constexpr float kPi = 3.1415927f;
constexpr double kMicronsPerMetre = 1000000.0;

// Distance from the meridian's centre, negative on the half whose direction lies in [pi, 2 pi).
float SignedPosition(float x, float y) {
  const double d = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y);
  // The angle in single precision, so that the direction pi itself counts to the negative half.
  const float a = std::atan2(y, x);
  return static_cast<float>(a >= kPi || a < 0.0f ? -d : d);
}

// Unit vector of the positive half of a meridian: the direction whose points SignedPosition
// counts positive. It is the meridian's direction (cos, sin) for angles in [0, pi); at the angle
// pi (the scanner's 0 degrees after conversion) sin is slightly negative in single precision, the
// direction itself counts negative and the A-scans run from positive to negative positions, so
// the positive half is the opposite direction and `reversed` is set.
void PositiveHalf(float angle, double& ex, double& ey, bool& reversed) {
  ex = std::cos(static_cast<double>(angle));
  ey = std::sin(static_cast<double>(angle));
  reversed = SignedPosition(static_cast<float>(ex), static_cast<float>(ey)) < 0.0f;
  if (reversed) ex = -ex, ey = -ey;
}

// Point of the meridian at signed position s.
void PlaceOnMeridian(float angle, float s, float* pt) {
  double ex, ey;
  bool reversed;
  PositiveHalf(angle, ex, ey, reversed);
  pt[0] = static_cast<float>(ex * s);
  pt[1] = static_cast<float>(ey * s);
}

// En-face positions (micrometres) of the A-scans of one meridian of length L at angle `angle`.
void MeridianPositions(float angle, float L, int widthPix, float* x, float* y) {
  const std::unique_ptr<CVector<float>> r = CLineSpace<float>::linspace(-L / 2, L / 2, widthPix);
  const float* rv = r->getdata();
  for (int j = 0; j < widthPix; ++j) {
    const double direction = j < widthPix / 2 ? angle + static_cast<double>(kPi) : angle;
    const double len = std::fabs(rv[j]);
    x[j] = static_cast<float>(std::cos(direction) * len);
    y[j] = static_cast<float>(std::sin(direction) * len);
  }
}

// One layer row in micrometres of depth; missing values stay -1.
void ScaledDepths(const float* row, int widthPix, double micronsPerSample, float* z) {
  for (int j = 0; j < widthPix; ++j)
    z[j] = row[j] == -1.0f ? -1.0f : static_cast<float>(row[j] * micronsPerSample);
}

float Vertex(const float* coeff) {
  return static_cast<float>(-static_cast<double>(coeff[1]) / (2.0 * coeff[0]));
}

}  // namespace

void CCorneaPower::Configure(const CorneaPowerParameter& p) {
  n1 = p.n1;
  n2 = p.n2;
  ransacPercPoints = p.ransacPercPoints;
  ransacDistThresh = p.ransacDistThresh;
  ransacProbability = p.ransacProbability;
  ransacMaxDataTrials = p.ransacMaxDataTrials;
  ransacMaxTrials = p.ransacMaxTrials;
  inlierPerc = p.inlierPerc;
}

void CCorneaPower::CheckSizes(int numLayers, int widthPix) {
  if (numLayers < 1 || numLayers > kMaxMeridians)
    throw AlgorithmException("CornealPower: the number of meridians must be between 1 and 360.");
  if (widthPix < 1 || widthPix > kMaxWidth)
    throw AlgorithmException(
        "CornealPower: the number of A-scans per B-scan must be between 1 and 2048.");
}

void CCorneaPower::PReorderLayers(float* layersIn, float* layersOut, int numLayers, int widthPix,
                                  float* angles) {
  ReorderLayers(layersIn, layersOut, numLayers, widthPix, angles);
}

bool CCorneaPower::FitAround(const float* x, const float* y, const float* z, int n, const float* pt,
                             float roi, float* coeff, int& m, int& ninliers) {
  CVector<float> s(n), zs(n);
  m = 0;
  const double roi2 = static_cast<double>(roi) * roi;
  for (int k = 0; k < n; ++k) {
    const double dx = static_cast<double>(x[k]) - pt[0], dy = static_cast<double>(y[k]) - pt[1];
    if (dx * dx + dy * dy > roi2 || z[k] == -1.0f) continue;
    s.getdata()[m] = SignedPosition(x[k], y[k]);
    zs.getdata()[m] = z[k];
    ++m;
  }
  const int q = static_cast<int>(m * static_cast<double>(ransacPercPoints));
  if (m == 0 || m < q) return false;
  if (ParabolaCoeff(s.getdata(), zs.getdata(), m, q, ransacDistThresh, ransacProbability,
                    ransacMaxDataTrials, ransacMaxTrials, coeff, ninliers) == -1)
    return false;
  // A parabola without curvature (no consensus) has no vertex.
  return coeff[0] != 0.0f;
}

float CCorneaPower::MeridianRadiusCurvature(const float* x, const float* y, const float* z, int n,
                                            float* pt, int which, float roi, float angle) {
  float coeff[3];
  int m = 0, ninliers = 0;
  bool ok = FitAround(x, y, z, n, pt, roi, coeff, m, ninliers);
  if (ok && which == 1) {
    // Second pass centred on the first vertex, so the fit window is symmetric about the apex.
    PlaceOnMeridian(angle, Vertex(coeff), pt);
    ok = FitAround(x, y, z, n, pt, roi, coeff, m, ninliers);
  }
  if (!ok || ninliers < inlierPerc * static_cast<double>(m)) {
    pt[0] = pt[1] = -1.0f;
    return -1.0f;
  }
  const float vertex = Vertex(coeff);
  PlaceOnMeridian(angle, vertex, pt);
  const float slope = static_cast<float>(2.0 * coeff[0] * vertex + coeff[1]);
  const float base = static_cast<float>(1.0 + static_cast<double>(slope) * slope);
  return static_cast<float>(std::pow(base, 1.5f) / std::fabs(2.0 * coeff[0]));
}

int CCorneaPower::CornealPower(const float* anteriorLayer, const float* posteriorLayer,
                               const float* angles, int numLayers, int widthPix, int depthPix,
                               float depthMu, const float* fovMu, float roiRadius,
                               float centThickness, float& anteriorPower, float& posteriorPower,
                               float& totalPower) {
  if (anteriorLayer == nullptr) throw AlgorithmException("Input anterior layer is NULL.");
  if (posteriorLayer == nullptr) throw AlgorithmException("Input posterior layer is NULL.");
  CheckSizes(numLayers, widthPix);
  // Every call starts at the beginning of the default random array: repeatable results.
  SetRandomArray(DefaultRandomValues(), kDefaultRandomCount);

  std::array<float, kMaxMeridians> thickness{}, pa{}, pp{}, pt{};
  if (centThickness > 0) thickness.fill(centThickness);
  CVector<float> x(widthPix), y(widthPix), z(widthPix);
  const double micronsPerSample = static_cast<double>(depthMu) / depthPix;
  int c = 0;
  for (int b = 0; b < numLayers; ++b) {
    const float L = fovMu[b];
    MeridianPositions(angles[b], L, widthPix, x.getdata(), y.getdata());
    ScaledDepths(anteriorLayer + static_cast<long long>(b) * widthPix, widthPix, micronsPerSample,
                 z.getdata());
    float apex[2] = {0.0f, 0.0f};
    const float Ra = MeridianRadiusCurvature(x.getdata(), y.getdata(), z.getdata(), widthPix, apex,
                                             1, roiRadius, angles[b]);
    if (Ra == -1.0f) continue;
    // A-scan of the anterior vertex; on a reversed meridian the positions fall with the index.
    double ex, ey;
    bool reversed;
    PositiveHalf(angles[b], ex, ey, reversed);
    const float d = SignedPosition(apex[0], apex[1]) * (reversed ? -1.0f : 1.0f);
    const double index = static_cast<double>(d) * widthPix / L + widthPix * 0.5 + 0.5;
    if (!(index >= 0.0 && index < widthPix)) continue;
    const int apexIdx = static_cast<int>(index);
    const float zA = z.getdata()[apexIdx];

    ScaledDepths(posteriorLayer + static_cast<long long>(b) * widthPix, widthPix, micronsPerSample,
                 z.getdata());
    const float Rp = MeridianRadiusCurvature(x.getdata(), y.getdata(), z.getdata(), widthPix, apex,
                                             0, roiRadius, angles[b]);
    if (Rp == -1.0f) continue;
    if (!(centThickness > 0)) thickness[b] = z.getdata()[apexIdx] - zA;

    const double Pa = (n1 - 1.0) / (Ra / kMicronsPerMetre);
    const double Pp = (static_cast<double>(n2) - n1) / (Rp / kMicronsPerMetre);
    pa[c] = static_cast<float>(Pa);
    pp[c] = static_cast<float>(Pp);
    pt[c] = static_cast<float>(Pp + Pa - (thickness[b] / kMicronsPerMetre) * Pa * Pp / n1);
    ++c;
  }
  if (c < numLayers / 3) return -1;
  TALVEX_IPP(ippsMean_32f, pa.data(), c, &anteriorPower, Platform::ippAlgHintAccurate);
  TALVEX_IPP(ippsMean_32f, pp.data(), c, &posteriorPower, Platform::ippAlgHintAccurate);
  TALVEX_IPP(ippsMean_32f, pt.data(), c, &totalPower, Platform::ippAlgHintAccurate);
  return 0;
}

}  // namespace Talvex::SDOCT::Algorithms

#include "engines/angle_wide_field/CAnteriorChamber.h"

#include <cmath>

#include "common/data_structures/CVector.h"
#include "core/AlgorithmException.h"

namespace Talvex::SDOCT::Engines {

namespace {

using Algorithms::AlgorithmException;
using Common::Algorithms::DataStructures::CVector;

constexpr float kMissing = -1.0f;
constexpr const char* kBadSegmentation = "area cannot be found due to bad segmentation.";

// Working surfaces of one B-scan, all in micrometres: lateral position x, posterior depth p,
// iris/lens depth q (-1 where a surface has no value).
struct ChamberProfile {
  explicit ChamberProfile(int n) : x(n), p(n), q(n) {}
  CVector<float> x, p, q;
};

int FirstValid(const float* v, int n) {
  for (int i = 0; i < n; ++i)
    if (v[i] != kMissing) return i;
  return -1;
}

int LastValid(const float* v, int n) {
  for (int i = n - 1; i >= 0; --i)
    if (v[i] != kMissing) return i;
  return -1;
}

// Fills target[from..to] (inclusive) with the straight line through (x[a], from_a) and
// (x[b], to_b). Every expression is evaluated in double and stored as float.
void DrawLine(const float* x, int ia, float za, int ib, float zb, float* target, int from, int to) {
  const float m = static_cast<float>((static_cast<double>(zb) - za) / (double(x[ib]) - x[ia]));
  const float b = static_cast<float>(za - static_cast<double>(m) * x[ia]);
  for (int j = from; j <= to; ++j) target[j] = static_cast<float>(x[j] * double(m) + b);
}

// Joins the surfaces where one starts before the other: the surface missing over the gap gets the
// line from the posterior end point to the iris/lens end point. pEnd and qEnd are the end indices
// on one side; the surface with the outer end keeps its values.
void CloseGap(ChamberProfile& s, int pEnd, int qEnd, bool leftSide) {
  if (pEnd == qEnd) return;
  float* x = s.x.getdata();
  float* p = s.p.getdata();
  float* q = s.q.getdata();
  const int lo = pEnd < qEnd ? pEnd : qEnd;
  const int hi = pEnd < qEnd ? qEnd : pEnd;
  // On the left the surface that starts later is extended outward; on the right the surface
  // that ends earlier is extended outward.
  const bool fillIrisLens = leftSide ? (qEnd > pEnd) : (qEnd < pEnd);
  DrawLine(x, pEnd, p[pEnd], qEnd, q[qEnd], fillIrisLens ? q : p, lo, hi);
}

}  // namespace

float CAnteriorChamber::AnteriorChamberArea(const float* posteriorLayer, const float* irisLensLayer,
                                            int bscanWidth, int ascanLength, float widthMu,
                                            float depthMu) const {
  if (posteriorLayer == nullptr) throw AlgorithmException("Input posterior layer is NULL.");
  if (irisLensLayer == nullptr) throw AlgorithmException("Input iris/lens layer is NULL.");
  // The working profiles hold at most 4096 A-scans; wider inputs are refused before any read.
  if (bscanWidth > kMaxAscans) throw AlgorithmException("Input B-scan width exceeds 4096 A-scans.");
  if (bscanWidth < 1) throw AlgorithmException(kBadSegmentation);

  const int n = bscanWidth;
  ChamberProfile s(n);
  float* x = s.x.getdata();
  float* p = s.p.getdata();
  float* q = s.q.getdata();
  const float dx = static_cast<float>(static_cast<double>(widthMu) / n);
  const float dz = static_cast<float>(static_cast<double>(depthMu) / ascanLength);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i * static_cast<double>(dx));
    p[i] = posteriorLayer[i] != kMissing ? static_cast<float>(posteriorLayer[i] * double(dz))
                                         : kMissing;
    q[i] =
        irisLensLayer[i] != kMissing ? static_cast<float>(irisLensLayer[i] * double(dz)) : kMissing;
  }

  const int pStart = FirstValid(p, n), qStart = FirstValid(q, n);
  if (pStart < 0 || qStart < 0) throw AlgorithmException(kBadSegmentation);
  CloseGap(s, pStart, qStart, /*leftSide=*/true);

  const int pEnd = LastValid(p, n), qEnd = LastValid(q, n);
  if (pEnd < 0 || qEnd < 0) throw AlgorithmException(kBadSegmentation);
  CloseGap(s, pEnd, qEnd, /*leftSide=*/false);

  // Only the posterior surface decides which A-scans count.
  float area = 0.0f;
  for (int i = 0; i < n; ++i) {
    if (p[i] != kMissing) area = static_cast<float>(area + std::fabs(double(q[i]) - p[i]) * dx);
  }
  return area;
}

}  // namespace Talvex::SDOCT::Engines

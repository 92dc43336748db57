// Accuracy of a cornea segmentation against the synthetic eye's ground truth: the figures the
// demo prints, the end-to-end tests check and the benchmarks report.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::Tools {

// Absolute boundary errors in samples over the A-scans with confidence 1 and a true position.
struct SurfaceErrors {
  double mean = 0, p95 = 0, max = 0;
  int count = 0;
  int over4 = 0;  // errors above 4 samples
};

struct CorneaAccuracy {
  SurfaceErrors anterior, posterior;
  double centralConfidentShare = 0;  // A-scans within the central 6 mm with both confidences 1
  int specularMissed = 0;            // B-scans whose true streak centre is not marked -2
  int specularTotal = 0;             // B-scans with a specular streak
  int outsideNotMarked = 0;          // A-scans whose surface leaves the image but are not -3/-2
  int outsideTotal = 0;
};

inline SurfaceErrors Summarise(std::vector<double> errors) {
  SurfaceErrors s;
  s.count = static_cast<int>(errors.size());
  if (errors.empty()) return s;
  std::sort(errors.begin(), errors.end());
  double sum = 0;
  for (double e : errors) {
    sum += e;
    s.over4 += e > 4.0;
  }
  s.mean = sum / errors.size();
  s.p95 = errors[std::min(errors.size() - 1, static_cast<size_t>(0.95 * errors.size()))];
  s.max = errors.back();
  return s;
}

// Layers and confidences: numBscans x bscanWidth floats from the segmentation of scan.
// firstBscan / count select the B-scans to measure (all by default).
inline CorneaAccuracy MeasureCornea(const Synthetic::SimulatedScan& scan, const float* anterior,
                                    const float* posterior, const float* anteriorConfidence,
                                    const float* posteriorConfidence, int firstBscan = 0,
                                    int count = -1) {
  CorneaAccuracy a;
  const int W = scan.bscanWidth;
  const int last = count < 0 ? scan.numBscans : std::min(scan.numBscans, firstBscan + count);
  std::vector<double> antErr, pstErr;
  int central = 0, centralConfident = 0;
  for (int b = firstBscan; b < last; ++b) {
    const Synthetic::BscanTruth& t = scan.truth.bscans[b];
    for (int j = 0; j < W; ++j) {
      const int k = b * W + j;
      const float ta = t.anterior[j], tp = t.posterior[j];
      if (ta >= 0 && anteriorConfidence[k] == 1.0f) antErr.push_back(std::fabs(anterior[k] - ta));
      if (tp >= 0 && posteriorConfidence[k] == 1.0f) pstErr.push_back(std::fabs(posterior[k] - tp));
      const double xMm = (-1.0 + 2.0 * j / (W - 1)) * t.halfLengthMm;
      if (std::fabs(xMm) <= 3.0) {
        ++central;
        centralConfident += anteriorConfidence[k] == 1.0f && posteriorConfidence[k] == 1.0f;
      }
      for (auto [truth, conf] :
           {std::pair{ta, anteriorConfidence[k]}, std::pair{tp, posteriorConfidence[k]}}) {
        if (truth >= 0) continue;
        ++a.outsideTotal;
        a.outsideNotMarked += conf != -3.0f && conf != -2.0f;
      }
    }
    if (t.specularCentre >= 0) {
      ++a.specularTotal;
      const int c = static_cast<int>(t.specularCentre + 0.5);
      a.specularMissed += anteriorConfidence[b * W + c] != -2.0f;
    }
  }
  a.anterior = Summarise(std::move(antErr));
  a.posterior = Summarise(std::move(pstErr));
  a.centralConfidentShare = central > 0 ? double(centralConfident) / central : 0;
  return a;
}

}  // namespace Talvex::Tools

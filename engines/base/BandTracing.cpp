// Band tracing of the engine base: a surface is traced inside a band of fixed height that follows a
// guide curve (a parabola, a conic or a previous trace), above or below it.
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CVector.h"
#include "common/numerics/Fits.h"
#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/base/EngineArithmetic.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CMatrix;
using Common::Algorithms::DataStructures::CVector;

namespace {

// (int)(v + 0.5) truncated toward zero, saturated to the int range (NaN gives 0).
int RoundHalfUpSaturated(double v) {
  const double d = v + 0.5;
  if (!(d == d)) return 0;
  const double lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  return static_cast<int>(std::fmin(std::fmax(d, lo), hi));
}

}  // namespace

void CAnteriorSegmentModule::ImageROILimit(float x0, const float* y, int n, int N, int from, int to,
                                           float** image, int height, int width, float** roiImage) {
  const int r0 = Detail::NearestClamped(x0, std::max(height, 0));
  const int rows = std::min(n, height - r0);
  for (int j = 0; j < rows; ++j) {
    const int c = Detail::NearestClamped(y[j], width - 1);
    const Detail::Band band = Detail::BandAround(c, from, to, width, N);
    if (band.length < 1) continue;
    const float* row = image[r0 + j];
    std::copy(row + band.start, row + band.start + band.length, roiImage[j]);
  }
}

// Cuts the band of N samples along guide g (len A-scans from xlayer[0]) above the guide
// (which != 0) or below it, traces the minimum-cost path in it and writes its depth in the B-scan
// to ylayer. An empty A-scan range has no path.
void CAnteriorSegmentModule::TraceAlongGuide(float** image, int height, int width, int N, int which,
                                             bool flipcc, const float* gSigma, const int* gSize,
                                             int searchWin, const float* xlayer, const float* g,
                                             float* ylayer, int len) {
  if (len < 1 || N < 1) throw AlgorithmException(Engines::Messages::kGraphSearchFailed);
  const int from = which != 0 ? N : 0;
  const float offset = which != 0 ? static_cast<float>(-N) : 0.0f;
  CMatrix<float> band(len, N);
  ImageROILimit(xlayer[0], g, len, N, from, N, image, height, width, band.getmatrix());
  DetectLayer(band.getdata(), len, N, gSigma[0], gSize[0], gSigma[1], gSize[1], which, searchWin,
              ylayer, flipcc);
  for (int j = 0; j < len; ++j)
    ylayer[j] = static_cast<float>(static_cast<double>(ylayer[j]) + g[j] + offset);
}

void CAnteriorSegmentModule::SegmentSideCornea(float** image, int height, int width, int N,
                                               const float* P, int fitType, int which, bool flipcc,
                                               int xmin, int xmax, int verOffset,
                                               const float* gSigma, const int* gSize, int searchWin,
                                               float* xlayer, float* ylayer, int& len) {
  len = std::max(xmax - xmin + 1, 0);
  for (int j = 0; j < len; ++j) xlayer[j] = static_cast<float>(xmin + j);
  CVector<float> guide(std::max(len, 1));
  float* g = guide.getdata();
  if (fitType != 0) {
    polyvalWrapper(P, xlayer, len, 2, g);
  } else {
    // A conic has no value where its discriminant is negative: those A-scans are dropped and len
    // counts the ones kept.
    Common::Algorithms::Numerics::quadraticval(P, xlayer, len, xlayer, g, len);
  }
  if (verOffset != 0) TALVEX_IPP(ippsAddC_32f_I, static_cast<float>(verOffset), g, len);
  TraceAlongGuide(image, height, width, N, which, flipcc, gSigma, gSize, searchWin, xlayer, g,
                  ylayer, len);
}

void CAnteriorSegmentModule::SegmentSideCornea(float** image, int height, int width, int N,
                                               int which, bool flipcc, int verOffset,
                                               const float* gSigma, const int* gSize, int searchWin,
                                               float* xlayer, float* ylayer, int& len) {
  CVector<float> guide(std::max(len, 1));
  float* g = guide.getdata();
  std::copy(ylayer, ylayer + std::max(len, 0), g);
  if (verOffset != 0) TALVEX_IPP(ippsAddC_32f_I, static_cast<float>(verOffset), g, len);
  TraceAlongGuide(image, height, width, N, which, flipcc, gSigma, gSize, searchWin, xlayer, g,
                  ylayer, len);
}

void CAnteriorSegmentModule::SegmentCentralCornea(
    float** image, int height, int width, int N, int numIter, float* P1, const float* P2, int which,
    int verCenter, int verOffset, const float* gSigma, const int* gSize, int minNumPoints,
    float distThresh, float probability, int maxDataTrials, int maxTrials, float* xlayer,
    float* ylayer, int& len) {
  CVector<float> guide(std::max(height, 1));
  float* g = guide.getdata();
  for (int iter = 0; iter < numIter; ++iter) {
    // The extent is where parabola P1 crosses depth verCenter; all A-scans when it never does.
    const double a = P1[0], b = P1[1], c = P1[2];
    const double D = b * b - 4.0 * a * (c - verCenter);
    int x0 = 0, x1 = height - 1;
    if (!(D < 0.0) && a != 0.0) {
      x0 = RoundHalfUpSaturated((-b - std::sqrt(D)) / (2.0 * a));
      x1 = RoundHalfUpSaturated((std::sqrt(D) - b) / (2.0 * a));
      if (x0 > x1) std::swap(x0, x1);
      x0 = std::max(x0, 0);
      x1 = std::min(x1, height - 1);
    }
    len = std::max(x1 - x0 + 1, 0);
    for (int j = 0; j < len; ++j) xlayer[j] = static_cast<float>(x0 + j);
    polyvalWrapper(P2, xlayer, len, 2, g);
    if (verOffset != 0) TALVEX_IPP(ippsAddC_32f_I, static_cast<float>(verOffset), g, len);
    TraceAlongGuide(image, height, width, N, which, false, gSigma, gSize, 2, xlayer, g, ylayer,
                    len);
    float coeff[3];
    int ninliers = 0;
    if (ParabolaCoeff(xlayer, ylayer, len, minNumPoints, distThresh, probability, maxDataTrials,
                      maxTrials, coeff, ninliers) == 0)
      std::copy(coeff, coeff + 3, P1);
  }
}

}  // namespace Talvex::SDOCT::Algorithms

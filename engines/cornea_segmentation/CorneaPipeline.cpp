// The cornea segmentation pipeline: per B-scan, template correlation, robust parabola, search band,
// minimum-cost path and spline smoothing for the anterior and the posterior surface, then the
// confidences and their specular and drop-out marks.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "common/analysis/GraphBasedSegmentation.h"
#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CVector.h"
#include "common/filters/BilateralFilter.h"
#include "common/geometric_transform/ImResize.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "platform/image/TalvexIppiAdvanced.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CLineSpace;
using Common::Algorithms::DataStructures::CMatrix;
using Common::Algorithms::DataStructures::CVector;
using Engines::RequireSuccess;
using Platform::IppiSize;

namespace {

// Named figures of the pipeline.
constexpr double kTemplateSamples = 100.0;    // correlated template length, full-depth samples
constexpr double kPosteriorGuideUm = 500.0;   // posterior guide below the anterior path
constexpr double kSpecularWindowUm = 750.0;   // widest specular streak that is marked
constexpr float kSpecularCorrelation = 0.5f;  // Gaussian-profile match of a specular streak
constexpr int kConfidenceMedian = 11;         // running median over the thresholded confidences
using Engines::Messages::kBilateralInitFailed;
using Engines::Messages::kBsplineFailed;
using Engines::Messages::kImResizeFailed;

using Outcome = CCorneaSegmentation::BscanOutcome;

// Sizes of one call, in working (decimated) pixels.
struct WorkingGeometry {
  int width = 0;       // W' = W / lateralSubsample
  int depth = 0;       // D' = L / axialSubsample
  int tplLength = 0;   // T, the correlated part of a step template
  int tplStart = 0;    // first template sample used: D'/2 - T/2
  int antOffset = 0;   // A: the anterior band starts this far above the guide
  int bandHeight = 0;  // H = 3 A
  int pstTop = 0;      // the posterior band starts this far above its guide
  int pstLength = 0;   // and is this long
  int pstGuide = 0;    // 500 um: posterior guide below the anterior path
  int padRows = 0, padCols = 0, padTop = 0, padLeft = 0;
};

// (int)(v) for a real value that may be out of range or NaN: saturated, NaN gives 0.
int TruncSaturated(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::fmin(std::fmax(v, -2147483648.0), 2147483647.0));
}

// Per-call scratch, allocated once before the B-scan loop.
struct Scratch {
  Scratch(const WorkingGeometry& g, int W)
      : decimated(g.width * g.depth),
        padded(g.padRows * g.padCols),
        filtered(g.padRows * g.padCols),
        image(g.width, g.depth),
        band(g.width, std::max(g.bandHeight, 1)),
        correlation(g.depth),
        antTemplate(g.depth),
        pstTemplate(g.depth),
        xs(g.width),
        candidates(g.width),
        coeff(3),
        inliers(g.width),
        start(g.width),
        guide(g.width),
        path(g.width),
        full(W) {}
  CVector<std::uint8_t> decimated, padded, filtered;
  CMatrix<float> image, band;
  CVector<float> correlation, antTemplate, pstTemplate;
  CVector<double> xs, candidates, coeff;
  CVector<int> inliers, start;
  CVector<float> guide, path, full;
};

}  // namespace

void CCorneaSegmentation::SmoothLayer(const float* layer, int width, float smooth,
                                      float* smoothLayer) {
  const auto x = CLineSpace<float>::linspace(0.0f, static_cast<float>(width - 1), width);
  if (!x) throw AlgorithmException(kBsplineFailed);
  BsplineInterpolation(x->getdata(), layer, width, x->getdata(), smoothLayer, width, smooth);
}

namespace {

WorkingGeometry MakeGeometry(const CCorneaSegmentation& e, int W, int L) {
  WorkingGeometry g;
  g.width = W / e.lateralSubsample;
  g.depth = L / e.axialSubsample;
  if (g.width > CCorneaSegmentation::kMaxWorkingWidth)
    throw AlgorithmException("Working B-scan width exceeds 2048 A-scans.");
  const double perMicron = static_cast<double>(g.depth) / e.depthMicron;
  g.tplLength = static_cast<int>(kTemplateSamples / e.axialSubsample + 0.5);
  g.tplStart = g.depth / 2 - g.tplLength / 2;
  g.antOffset = TruncSaturated(e.layerOffset * perMicron);
  g.bandHeight = 3 * g.antOffset;
  g.pstTop = TruncSaturated(e.posteriorTopROI * perMicron);
  g.pstLength = TruncSaturated(e.posteriorBottomROI * perMicron);
  g.pstGuide = TruncSaturated(g.depth * kPosteriorGuideUm / e.depthMicron);
  g.padTop = e.bilateralMaxKernelHeight / 2;
  g.padLeft = e.bilateralMaxKernelWidth / 2;
  g.padRows = e.bilateralMaxKernelHeight + g.width - 1;
  g.padCols = e.bilateralMaxKernelWidth + g.depth - 1;
  return g;
}

// Converts the working image inside a padded 8-bit image to float.
void PaddedToFloat(const std::uint8_t* padded, const WorkingGeometry& g, float* image) {
  TALVEX_IPP(ippiConvert_8u32f_C1R, padded + g.padTop * g.padCols + g.padLeft, g.padCols, image,
             g.depth * static_cast<int>(sizeof(float)), IppiSize{g.depth, g.width});
}

// One surface candidate per working A-scan: the depth where the A-scan correlates best with the
// step template, or 0 when the best correlation stays below the threshold.
void CorrelationCandidates(const WorkingGeometry& g, float threshold, const float* tpl,
                           Scratch& s) {
  float** rows = s.image.getmatrix();
  float* corr = s.correlation.getdata();
  double* y = s.candidates.getdata();
  for (int i = 0; i < g.width; ++i) {
    if (g.depth <= g.tplLength) {
      y[i] = 0.0;
      continue;
    }
    Engines::IppCheck(Platform::ippiCrossCorrSame_Norm_32f_C1R(
                          rows[i], g.depth * 4, IppiSize{g.depth, 1}, tpl + g.tplStart,
                          g.tplLength * 4, IppiSize{g.tplLength, 1}, corr, g.depth * 4),
                      "ippiCrossCorrSame_NormLevel_8u_C1RSfs");
    float best = 0.0f;
    int index = 0;
    TALVEX_IPP(ippsMaxIndx_32f, corr, g.depth, &best, &index);
    y[i] = best >= threshold ? static_cast<double>(index) : 0.0;
  }
}

// Traces the minimum-cost path in the band cut along guide s.guide; path receives working depths.
void TraceBand(CCorneaSegmentation& e, const WorkingGeometry& g, int offset1, int offset2,
               int which, Scratch& s) {
  PaddedToFloat(s.padded.getdata(), g, s.image.getdata());
  std::fill(s.band.getdata(), s.band.getdata() + static_cast<long long>(g.width) * g.bandHeight,
            0.0f);
  e.ImageROI(s.guide.getdata(), s.image.getmatrix(), g.width, g.depth, s.band.getmatrix(), g.width,
             g.bandHeight, offset1, offset2, s.start.getdata());
  e.GaussDerivitiveBscan(s.band.getdata(), g.width, g.bandHeight, e.gaussXsigma, e.gaussXsize,
                         e.gaussYsigma, e.gaussYsize);
  e.CostImageROI(s.band.getdata(), g.width, g.bandHeight, which);
  float* path = s.path.getdata();
  RequireSuccess(Common::Algorithms::Analysis::GraphBasedSegmentation(s.band.getdata(), g.width,
                                                                      g.bandHeight, 2, path, false),
                 Engines::Messages::kGraphSearchFailed);
  const int* start = s.start.getdata();
  for (int i = 0; i < g.width; ++i) path[i] = static_cast<float>(path[i] + start[i]);
}

// Smoothing spline of wavelength bsplineWavelength * W through the full-width layer, in place.
void SmoothFullWidth(CCorneaSegmentation& e, const float* xf, float* layer, int W) {
  const float wavelength = static_cast<float>(static_cast<double>(e.bsplineWavelength) * W);
  RequireSuccess(e.bspline(xf, layer, W, xf, layer, W, wavelength, 2), kBsplineFailed);
}

// Confidence above threshold becomes 1, anything else -1; then a running median of 11.
void ThresholdConfidence(float* row, int W, float threshold) {
  for (int i = 0; i < W; ++i) row[i] = row[i] > threshold ? 1.0f : -1.0f;
  TALVEX_IPP(ippsFilterMedian_32f_I, row, W, kConfidenceMedian);
}

struct Outputs {
  float* anterior;
  float* posterior;
  float* anteriorConfidence;
  float* posteriorConfidence;
};

// Robust parabola through the candidates into the guide; otherwise why the B-scan is abandoned.
Outcome FitCandidates(CCorneaSegmentation& e, const WorkingGeometry& g, Scratch& s) {
  const double* y = s.candidates.getdata();
  const long long found = g.width - std::count(y, y + g.width, 0.0);
  int ninliers = 0;
  e.FitPoints(s.xs.getdata(), s.candidates.getdata(), g.width, 2, s.inliers.getdata(), ninliers,
              s.coeff.getdata());
  if (ninliers == 0)
    return found < 2LL * e.ransacMinNumPoints ? Outcome::NoCandidates : Outcome::FitAbandoned;
  for (int i = 0; i < g.width; ++i) s.guide.getdata()[i] = static_cast<float>(y[i]);
  return Outcome::Segmented;
}

// Working-depth positions of a full-width row to full-depth samples, when the record asks for
// full-depth positions before the snap and the confidences.
void ToFullDepth(const CCorneaSegmentation& e, float* row, int W) {
  if (!e.fullDepthPositionsWhenSubsampled || e.axialSubsample <= 1) return;
  for (int i = 0; i < W; ++i) row[i] = static_cast<float>(row[i] * e.axialSubsample);
}

// Both surfaces of B-scan b, in working depths (the axial rescaling follows for the whole volume)
// or, with fullDepthPositionsWhenSubsampled, already in full-depth samples. input is the caller's
// B-scan, used to snap the anterior surface to its intensity peak. Returns the B-scan's outcome.
Outcome SegmentBscan(CCorneaSegmentation& e, int b, const WorkingGeometry& g, Scratch& s,
                     const float* xw, const float* xf, const std::uint8_t* input,
                     const Outputs& out) {
  const int W = e.bscanWidth, L = e.ascanLength;
  const long long row = static_cast<long long>(b) * W;
  const std::uint8_t* working = e.workingVolume + row * L;
  float* full = s.full.getdata();
  if (out.anterior != nullptr) {
    PaddedToFloat(s.filtered.getdata(), g, s.image.getdata());
    CorrelationCandidates(g, e.corrCoeffThresh, s.antTemplate.getdata(), s);
    const Outcome fit = FitCandidates(e, g, s);
    if (fit != Outcome::Segmented) return fit;
    TraceBand(e, g, g.antOffset, g.bandHeight, 1, s);
    e.CsplineInterpolation(xw, s.path.getdata(), g.width, xf, full, W);
    SmoothFullWidth(e, xf, full, W);
    ToFullDepth(e, full, W);
    std::copy(full, full + W, out.anterior + row);
    if (e.adjustAnterior) e.AdjustToPick(input, W, L, out.anterior + row);
    if (out.anteriorConfidence != nullptr)
      e.ComputeConfidence(working, W, L, full, 1, out.anteriorConfidence + row);
  }
  if (out.posterior == nullptr) return Outcome::Segmented;
  float* guide = s.guide.getdata();
  if (out.anterior != nullptr) {
    // 500 um below this B-scan's anterior path, kept inside the working A-scan.
    const float* path = s.path.getdata();
    for (int i = 0; i < g.width; ++i) {
      guide[i] = static_cast<float>(path[i] + g.pstGuide);
      if (guide[i] > g.depth) guide[i] = static_cast<float>(g.depth - 1);
    }
  } else {
    PaddedToFloat(s.filtered.getdata(), g, s.image.getdata());
    CorrelationCandidates(g, e.corrCoeffThresh, s.pstTemplate.getdata(), s);
    const Outcome fit = FitCandidates(e, g, s);
    if (fit != Outcome::Segmented) return fit;
  }
  TraceBand(e, g, g.pstTop, g.pstLength, 0, s);
  e.CsplineInterpolation(xw, s.path.getdata(), g.width, xf, full, W);
  ToFullDepth(e, full, W);
  std::copy(full, full + W, out.posterior + row);
  if (out.posteriorConfidence != nullptr) {
    SmoothFullWidth(e, xf, full, W);
    e.ComputeConfidence(working, W, L, full, 0, out.posteriorConfidence + row);
  }
  return Outcome::Segmented;
}

// Marks both confidences -2 across a specular streak found in the central third of each B-scan.
void MarkSpecularReflections(CCorneaSegmentation& e, const Outputs& out) {
  const int W = e.bscanWidth, L = e.ascanLength, C = W / 3;
  if (C < 5 || L < 5) return;  // too narrow for the 5 x 5 maximum filter
  const int halfWindow =
      TruncSaturated(static_cast<double>(W) * kSpecularWindowUm / e.lateralXMicron + 0.5) / 2;
  CVector<std::uint8_t> third(C * L), maxima(C * L);
  for (int b = 0; b < e.numBscans; ++b) {
    const long long row = static_cast<long long>(b) * W;
    TALVEX_IPP(ippiCopy_8u_C1R, e.workingVolume + (row + C) * L, L, third.getdata(), L,
               IppiSize{L, C});
    int xPos = -1, xOffset = -1;
    e.DetectSpecularReflection(third.getdata(), C, L, maxima.getdata(), out.anterior + row + C,
                               kSpecularCorrelation, xPos, xOffset);
    if (xPos <= 0 || xOffset >= halfWindow) continue;
    const int from = std::max(xPos - xOffset + C, 0), to = std::min(xPos + xOffset + C, W);
    for (int x = from; x < to; ++x)
      out.anteriorConfidence[row + x] = out.posteriorConfidence[row + x] = -2.0f;
  }
}

// Confidence -3 where a surface lies within dropOutsOffset of the top or bottom of the A-scan.
void MarkDropOuts(const CCorneaSegmentation& e, const Outputs& out) {
  const float scaled = static_cast<float>(e.dropOutsOffset) * static_cast<float>(e.ascanLength) /
                       static_cast<float>(e.depthMicron);
  const int d = static_cast<std::int16_t>(TruncSaturated(scaled));
  if (d <= 0) return;
  const long long n = static_cast<long long>(e.numBscans) * e.bscanWidth;
  const float top = static_cast<float>(d), bottom = static_cast<float>(e.ascanLength - d);
  for (long long i = 0; i < n; ++i) {
    if (out.anterior[i] < top || out.anterior[i] > bottom) out.anteriorConfidence[i] = -3.0f;
    if (out.posterior[i] < top || out.posterior[i] > bottom) out.posteriorConfidence[i] = -3.0f;
  }
}

// On the full-depth rows of every segmented B-scan: the move onto the reflection peaks and the
// cornea check, as the record asks.
void JudgeSurfaces(CCorneaSegmentation& e, const std::uint8_t* volume, const Outputs& out) {
  const int W = e.bscanWidth, L = e.ascanLength;
  for (int b = 0; b < e.numBscans; ++b) {
    if (e.lastOutcomes[b] != Outcome::Segmented) continue;
    const long long row = static_cast<long long>(b) * W;
    const std::uint8_t* bscan = e.workingVolume + row * L;
    float* ant = out.anterior != nullptr ? out.anterior + row : nullptr;
    float* pst = out.posterior != nullptr ? out.posterior + row : nullptr;
    if (e.refineToReflectionPeaks) {
      // The caller's B-scan: smoothing across A-scans would blur a sloped reflection in depth,
      // and its bright tissue side would pull the blurred peak toward itself.
      const std::uint8_t* input = volume + row * L;
      if (ant != nullptr) e.RefineToReflectionPeak(input, W, L, ant, 1);
      if (pst != nullptr) e.RefineToReflectionPeak(input, W, L, pst, 0);
    }
    if (e.requireCorneaEvidence && !e.ShowsCornea(bscan, W, L, ant, pst))
      e.lastOutcomes[b] = Outcome::NoCorneaEvidence;
  }
}

// Every confidence -1 in B-scans judged not to show a cornea.
void ClearConfidenceWithoutCornea(const CCorneaSegmentation& e, const Outputs& out) {
  const int W = e.bscanWidth;
  for (int b = 0; b < e.numBscans; ++b) {
    if (e.lastOutcomes[b] != Outcome::NoCorneaEvidence) continue;
    for (float* c : {out.anteriorConfidence, out.posteriorConfidence})
      if (c != nullptr) std::fill(c + static_cast<long long>(b) * W, c + (b + 1LL) * W, -1.0f);
  }
}

// Axial rescaling of the layers, thresholding of the confidences and, with all four outputs, the
// specular and drop-out marks.
void FinishOutputs(CCorneaSegmentation& e, const std::uint8_t* volume, const Outputs& out) {
  const int W = e.bscanWidth;
  const int n = e.numBscans * W;
  if (e.axialSubsample > 1 && !e.fullDepthPositionsWhenSubsampled) {
    for (float* layer : {out.anterior, out.posterior})
      if (layer != nullptr)
        TALVEX_IPP(ippsMulC_32f_I, static_cast<float>(e.axialSubsample), layer, n);
  }
  JudgeSurfaces(e, volume, out);
  for (int b = 0; b < e.numBscans; ++b) {
    if (out.anteriorConfidence != nullptr)
      ThresholdConfidence(out.anteriorConfidence + b * W, W, e.anteriorConfidenceThreshold);
    if (out.posteriorConfidence != nullptr) {
      ThresholdConfidence(out.posteriorConfidence + b * W, W, e.posteriorConfidenceThreshold);
      e.LayerConfidenceProcessing(out.posteriorConfidence + b * W, W);
    }
  }
  if (out.anterior != nullptr && out.posterior != nullptr && out.anteriorConfidence != nullptr &&
      out.posteriorConfidence != nullptr) {
    MarkSpecularReflections(e, out);
    MarkDropOuts(e, out);
  }
  ClearConfidenceWithoutCornea(e, out);
}

}  // namespace

void CCorneaSegmentation::SegmentCornea(const std::uint8_t* volume, int numBscans_, int bscanWidth_,
                                        int ascanLength_, const int* randomvalues,
                                        std::uint32_t nrandom, std::uint8_t* volBuffer,
                                        float* anteriorLayer, float* posteriorLayer,
                                        float* anteriorConfidence, float* posteriorConfidence) {
  if (volume == nullptr) throw AlgorithmException("Input SD-OCT volume is NULL.");
  if (volBuffer == nullptr) throw AlgorithmException("Input SD-OCT volume buffer is NULL.");
  ValidateParameters(bscanWidth_, ascanLength_);
  SetRandomArray(randomvalues, nrandom);
  SetSearchPastEmptyTrials(robustFitSearchPastEmptyTrials);
  lastOutcomes.assign(static_cast<std::size_t>(std::max(numBscans_, 0)), Outcome::Segmented);
  numBscans = numBscans_;
  bscanWidth = bscanWidth_;
  ascanLength = ascanLength_;
  workingVolume = volBuffer;
  if (numBscans < 1 || bscanWidth < 1 || ascanLength < 1) return;
  const int W = bscanWidth, L = ascanLength;
  const long long bscanBytes = static_cast<long long>(W) * L;
  const WorkingGeometry g = MakeGeometry(*this, W, L);
  // The working copy: the laterally smoothed volume written straight into the buffer.
  if (sigmaLateral > 0.0f)
    LateralSmooth(volume, volBuffer, numBscans, W, L, sigmaLateral);
  else
    std::memcpy(volBuffer, volume, static_cast<size_t>(bscanBytes) * numBscans);
  if (sigmaAxial > 0.0f) AxialSmooth(volBuffer, numBscans, W, L, sigmaAxial);

  // Sizes that leave no working image or no bordered image fail where the decimation or the
  // filter set-up would, before any scratch is sized from them.
  if (g.width < 1 || g.depth < 1) throw AlgorithmException(kImResizeFailed);
  if (g.padRows < 1 || g.padCols < 1) throw AlgorithmException(kBilateralInitFailed);
  Scratch s(g, W);
  StepFunction(depthMicron, g.depth, axialRes1Micron, signal1Level_0, signal1Level_1,
               signal1Level_2, s.antTemplate.getdata());
  StepFunction(depthMicron, g.depth, axialRes2Micron, signal2Level_0, signal2Level_1,
               signal2Level_2, s.pstTemplate.getdata());
  Common::Algorithms::Filters::BilateralFilter bilateral;
  const int mask[2] = {bilateralMaxKernelWidth, bilateralMaxKernelHeight};
  const float sigmas[2] = {bilateralValSquareSigma, bilateralPosSquareSigma};
  if (bilateral.BilateralFilterInit(g.padRows, g.padCols, mask, sigmas, 1) == -1)
    throw AlgorithmException(kBilateralInitFailed);

  for (int i = 0; i < g.width; ++i) s.xs.getdata()[i] = i;
  const auto xw = CLineSpace<float>::linspace(0.0f, static_cast<float>(W - 1), g.width);
  const auto xf = CLineSpace<float>::linspace(0.0f, static_cast<float>(W - 1), W);
  if (!xw || !xf) throw AlgorithmException(kImResizeFailed);

  for (int b = 0; b < numBscans; ++b) {
    const std::uint8_t* working = volBuffer + b * bscanBytes;
    RequireSuccess(Common::Algorithms::GeometricTransform::ImResize(
                       working, W, L, 0, s.decimated.getdata(), g.width, g.depth),
                   kImResizeFailed);
    TALVEX_IPP(ippiCopyReplicateBorder_8u_C1R, s.decimated.getdata(), g.depth,
               IppiSize{g.depth, g.width}, s.padded.getdata(), g.padCols,
               IppiSize{g.padCols, g.padRows}, g.padTop, g.padLeft);
    // The filter leaves the last working A-scan and depth sample unwritten: they keep the
    // unfiltered values rather than zeros.
    std::memcpy(s.filtered.getdata(), s.padded.getdata(),
                static_cast<size_t>(g.padRows) * g.padCols);
    if (bilateral.filterBilateral(s.padded.getdata(), s.filtered.getdata()) == -1)
      throw AlgorithmException(Engines::Messages::kBilateralFilterFailed);
    const Outputs out{anteriorLayer, posteriorLayer, anteriorConfidence, posteriorConfidence};
    lastOutcomes[b] =
        SegmentBscan(*this, b, g, s, xw->getdata(), xf->getdata(), volume + b * bscanBytes, out);
  }
  FinishOutputs(*this, volume,
                {anteriorLayer, posteriorLayer, anteriorConfidence, posteriorConfidence});
}

}  // namespace Talvex::SDOCT::Algorithms

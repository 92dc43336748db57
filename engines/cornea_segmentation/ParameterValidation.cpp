// Validation of the segmentation record before any work: every field that sizes a buffer, divides,
// or becomes a kernel, a loop bound or an integer is checked against the range the pipeline can
// run with, and refused with a message that names the field and the allowed range.
#include <cmath>
#include <string>

#include "core/AlgorithmException.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

// Generous physical bounds: an A-scan of 100 mm, smoothing and kernels far beyond any real use.
constexpr double kMaxMicron = 100000.0;
constexpr double kMaxSigma = 100.0;
constexpr int kMaxKernel = 63;
constexpr int kMaxSubsample = 64;
constexpr int kMaxTrials = 1000000;

[[noreturn]] void Refuse(const char* field, const std::string& range) {
  throw AlgorithmException(std::string("CorneaSegParameter.") + field + " out of range: " + range +
                           ".");
}

void RequireInt(const char* field, long long v, long long lo, long long hi) {
  if (v < lo || v > hi)
    Refuse(field, "allowed " + std::to_string(lo) + " to " + std::to_string(hi));
}

void RequireReal(const char* field, double v, double lo, double hi, const char* range) {
  if (!(v >= lo && v <= hi)) Refuse(field, range);
}

void RequireOddKernel(const char* field, int size) {
  if (size < 1 || size > kMaxKernel || size % 2 == 0)
    Refuse(field, "allowed odd sizes 1 to " + std::to_string(kMaxKernel));
}

}  // namespace

void CCorneaSegmentation::ValidateParameters(int W, int L) const {
  RequireInt("lateralSubsample", lateralSubsample, 1, kMaxSubsample);
  RequireInt("axialSubsample", axialSubsample, 1, kMaxSubsample);
  RequireInt("depthMicron", depthMicron, 1, static_cast<long long>(kMaxMicron));
  RequireInt("lateralXMicron", lateralXMicron, 1, static_cast<long long>(kMaxMicron));
  RequireReal("sigmaLateral", sigmaLateral, -HUGE_VAL, kMaxSigma, "at most 100 (0 or less: off)");
  RequireReal("sigmaAxial", sigmaAxial, -HUGE_VAL, kMaxSigma, "at most 100 (0 or less: off)");
  RequireInt("bilateralMaxKernelWidth", bilateralMaxKernelWidth, 1, kMaxKernel);
  RequireInt("bilateralMaxKernelHeight", bilateralMaxKernelHeight, 1, kMaxKernel);
  RequireReal("bilateralValSquareSigma", bilateralValSquareSigma, 1e-6, 1e12, "above 0, finite");
  RequireReal("bilateralPosSquareSigma", bilateralPosSquareSigma, 1e-6, 1e12, "above 0, finite");
  RequireReal("axialRes1Micron", axialRes1Micron, 1e-3, kMaxMicron, "above 0 up to 100000 um");
  RequireReal("axialRes2Micron", axialRes2Micron, 1e-3, kMaxMicron, "above 0 up to 100000 um");
  RequireReal("signal1Level_0", signal1Level_0, 0.0, 255.0, "0 to 255");
  RequireReal("signal1Level_1", signal1Level_1, 0.0, 255.0, "0 to 255");
  RequireReal("signal1Level_2", signal1Level_2, -1000.0, 255.0,
              "-1000 to 255 (-100 or less: none)");
  RequireReal("signal2Level_0", signal2Level_0, 0.0, 255.0, "0 to 255");
  RequireReal("signal2Level_1", signal2Level_1, 0.0, 255.0, "0 to 255");
  RequireReal("signal2Level_2", signal2Level_2, -1000.0, 255.0,
              "-1000 to 255 (-100 or less: none)");
  RequireReal("corrCoeffThresh", corrCoeffThresh, -1.0, 1.0, "-1 to 1");
  RequireInt("posteriorTopROI", posteriorTopROI, 0, depthMicron);
  RequireInt("posteriorBottomROI", posteriorBottomROI, 1, depthMicron);
  RequireOddKernel("gaussXsize", gaussXsize);
  RequireOddKernel("gaussYsize", gaussYsize);
  RequireReal("gaussXsigma", gaussXsigma, 1e-3, kMaxSigma, "above 0 up to 100");
  RequireReal("gaussYsigma", gaussYsigma, 1e-3, kMaxSigma, "above 0 up to 100");
  RequireInt("ransacMinNumPoints", ransacMinNumPoints, 3, kMaxFitPoints / 2);
  RequireReal("ransacDistThresh", ransacDistThresh, 1e-6, 1e6, "above 0, finite");
  RequireReal("ransacProbability", ransacProbability, 1e-6, 1.0 - 1e-7, "between 0 and 1");
  RequireInt("ransacMaxDataTrials", ransacMaxDataTrials, 1, kMaxTrials);
  RequireInt("ransacMaxTrials", ransacMaxTrials, 1, kMaxTrials);
  RequireReal("bsplineWavelength", bsplineWavelength, 1e-6, 1e6, "above 0, finite");
  RequireInt("dropOutsOffset", dropOutsOffset, 0, depthMicron);
  RequireReal("anteriorConfidenceThreshold", anteriorConfidenceThreshold, -2.0, 2.0, "-2 to 2");
  RequireReal("posteriorConfidenceThreshold", posteriorConfidenceThreshold, -2.0, 2.0, "-2 to 2");
  // The anterior band (3 x layerOffset, in working samples) must hold at least one sample and
  // fit the working A-scan.
  if (W < 1 || L < 1) return;
  const long long depth = L / axialSubsample;
  if (depth < 3)
    Refuse("layerOffset", "A-scans of " + std::to_string(L) + " samples hold no anterior band");
  const double umPerSample = static_cast<double>(depthMicron) / depth;
  const long long band = static_cast<long long>(layerOffset / umPerSample);
  if (band < 1 || 3 * band > depth)
    Refuse("layerOffset", "allowed " + std::to_string(std::lround(std::ceil(umPerSample))) +
                              " to " + std::to_string(std::lround(depth / 3 * umPerSample)) +
                              " um for A-scans of " + std::to_string(L) + " samples");
}

}  // namespace Talvex::SDOCT::Algorithms

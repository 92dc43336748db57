// B-scan conditioning of the engine base: volume smoothing, bilateral filtering,
// Gaussian-derivative filtering, the modelled intensity step of a surface, search bands and cost
// images.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/analysis/GraphBasedSegmentation.h"
#include "common/data_structures/CVector.h"
#include "common/filters/BilateralFilter.h"
#include "common/filters/FFT.h"
#include "common/filters/LinearFilters.h"
#include "common/numerics/Weights.h"
#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/base/EngineArithmetic.h"
#include "engines/base/LibraryStatus.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CVector;
using Engines::RequireSuccess;
using Platform::IppiSize;

namespace {

// Largest smoothing sigma accepted: far beyond any B-scan, and it bounds the work of summing the
// kernel's taps.
constexpr float kMaxSmoothingSigma = 1.0e5f;

// Normalised Gaussian for sigma sig over an image `extent` samples long in the smoothing
// direction: k = (int)(5 sig) made odd, h = k / 2, taps exp(-j^2 / (2 sig^2)) for j = -h .. h
// normalised to sum 1. With replicated borders every tap at |j| >= extent - 1 reads the edge
// sample from every position, so those taps are added into the tap at +-(extent - 1): the kernel
// never has more than 2 extent - 1 taps and the result is that of the full kernel. A sigma that is
// not finite or above kMaxSmoothingSigma is refused with a message naming the operation.
std::vector<float> SmoothingKernel(float sig, int extent, const char* operation) {
  if (!std::isfinite(sig))
    throw AlgorithmException(std::string(operation) + "(): sig is not a finite number.");
  if (sig > kMaxSmoothingSigma)
    throw AlgorithmException(std::string(operation) + "(): sig too large (above 100000).");
  int k = static_cast<int>(static_cast<double>(sig) * 5.0);
  if (k % 2 == 0) k += 1;
  const int h = k / 2;
  const int reach = std::min(h, std::max(extent - 1, 0));
  std::vector<double> taps(2 * reach + 1, 0.0);
  double sum = 0.0;
  for (int j = -h; j <= h; ++j) {
    const double w = std::exp(-static_cast<double>(j) * j / (2.0 * sig * sig));
    taps[std::clamp(j, -reach, reach) + reach] += w;
    sum += w;
  }
  std::vector<float> kernel(taps.size());
  for (size_t i = 0; i < taps.size(); ++i) kernel[i] = static_cast<float>(taps[i] / sum);
  return kernel;
}

// Samples of a B-scan padded by h on both sides along `extent`; the primitives index it with int.
int PaddedSize(int extent, int h, int across) {
  const long long count = (static_cast<long long>(extent) + 2LL * h) * across;
  if (count > INT_MAX) Engines::ThrowIppFailure("ippiCopyReplicateBorder_8u_C1R");
  return static_cast<int>(count);
}

using KernelBuilder = int (*)(int, float, int, float, float*);

// One pass of the derivative filter is refused before any work when its sigma is not a finite
// number or its kernel has more than 2 extent + 1 taps (it would reach past the replicated border
// on both sides of every sample; such sizes come from a wrong parameter and would only cost
// memory). Messages name the operation and the parameter.
void CheckDerivativePass(const char* operation, const char* sigmaName, float sigma,
                         const char* sizeName, int size, int extent) {
  if (size <= 0) return;  // the pass is skipped
  if (!std::isfinite(sigma))
    throw AlgorithmException(std::string(operation) + "(): " + sigmaName +
                             " is not a finite number.");
  if (size > 2LL * std::max(extent, 0) + 1)
    throw AlgorithmException(std::string(operation) + "(): " + sizeName +
                             " too large: the kernel is over twice as long as the image.");
}

// Builds a kernel of `size` taps; a builder failure or a tap that is not finite (a sigma so small
// or so large that the Gaussian under- or overflows) ends the operation.
void BuildKernel(KernelBuilder build, int order, float sigma, int size, float* kernel) {
  const int n = size | 1;
  if (build(order, sigma, size, 3.0f, kernel) != 0 ||
      !std::all_of(kernel, kernel + n, [](float v) { return std::isfinite(v); }))
    throw AlgorithmException("TalvexAlgorithm: GetGaussDerivKernel1D() failed.");
}

void GaussDerivative(float* bscan, int rows, int cols, float xsigma, int xsize, float ysigma,
                     int ysize, KernelBuilder build, const char* operation) {
  CheckDerivativePass(operation, "gaussXsigma", xsigma, "gaussXsize", xsize, rows);
  CheckDerivativePass(operation, "gaussYsigma", ysigma, "gaussYsize", ysize, cols);
  // The kernel builders return size | 1 taps: size the buffer for the odd size so that an even
  // request cannot write past it (the even kernel is then refused by the convolution).
  const int taps = std::max({xsize | 1, ysize | 1, 1});
  CVector<float> kernel(taps);
  if (xsize > 0) {
    BuildKernel(build, 0, xsigma, xsize, kernel.getdata());
    RequireSuccess(
        Common::Algorithms::Filters::ConvCol2D(bscan, rows, cols, kernel.getdata(), xsize),
        "TalvexAlgorithm: ConvCol2D() failed.");
  }
  if (ysize > 0) {
    std::fill(kernel.getdata(), kernel.getdata() + taps, 0.0f);
    BuildKernel(build, 1, ysigma, ysize, kernel.getdata());
    RequireSuccess(
        Common::Algorithms::Filters::ConvRow2D(bscan, rows, cols, kernel.getdata(), ysize),
        "TalvexAlgorithm: ConvRow2D() failed.");
  }
}

}  // namespace

void CAnteriorSegmentModule::LateralSmooth(std::uint8_t* volume, int slices, int rows, int cols,
                                           float sig) {
  LateralSmooth(volume, volume, slices, rows, cols, sig);
}

void CAnteriorSegmentModule::LateralSmooth(const std::uint8_t* source, std::uint8_t* volume,
                                           int slices, int rows, int cols, float sig) {
  const auto copy = [&] {
    const long long bytes = static_cast<long long>(slices) * rows * cols;
    if (source != volume && bytes > 0) std::memcpy(volume, source, static_cast<size_t>(bytes));
  };
  if (sig <= 0.0f) return copy();
  const std::vector<float> kernel = SmoothingKernel(sig, rows, "LateralSmooth");
  const int h = static_cast<int>(kernel.size()) / 2;
  if (h == 0) return copy();  // a single tap of weight 1 leaves the volume as it is
  const IppiSize size{cols, rows};
  const IppiSize padded{cols, rows + 2 * h};
  CVector<std::uint8_t> buffer(PaddedSize(rows, h, cols));
  for (int s = 0; s < slices; ++s) {
    const long long offset = static_cast<long long>(s) * rows * cols;
    TALVEX_IPP(ippiCopyReplicateBorder_8u_C1R, source + offset, cols, size, buffer.getdata(), cols,
               padded, h, 0);
    TALVEX_IPP(ippiFilterColumn32f_8u_C1R, buffer.getdata() + h * cols, cols, volume + offset, cols,
               size, kernel.data(), static_cast<int>(kernel.size()), h);
  }
}

void CAnteriorSegmentModule::AxialSmooth(std::uint8_t* volume, int slices, int rows, int cols,
                                         float sig) {
  if (sig <= 0.0f) return;
  const std::vector<float> kernel = SmoothingKernel(sig, cols, "AxialSmooth");
  const int h = static_cast<int>(kernel.size()) / 2;
  if (h == 0) return;
  const IppiSize size{cols, rows};
  const IppiSize padded{cols + 2 * h, rows};
  CVector<std::uint8_t> buffer(PaddedSize(cols, h, rows));
  for (int s = 0; s < slices; ++s) {
    std::uint8_t* slice = volume + static_cast<long long>(s) * rows * cols;
    TALVEX_IPP(ippiCopyReplicateBorder_8u_C1R, slice, cols, size, buffer.getdata(), padded.width,
               padded, 0, h);
    TALVEX_IPP(ippiFilterRow32f_8u_C1R, buffer.getdata() + h, padded.width, slice, cols, size,
               kernel.data(), static_cast<int>(kernel.size()), h);
  }
}

void CAnteriorSegmentModule::BilateralFiltering(std::uint8_t* image, int rows, int cols,
                                                int maxKernelHeight, int maxKernelWidth,
                                                float valSquareSigma, float posSquareSigma) {
  const IppiSize size{cols, rows};
  const IppiSize padded{cols + maxKernelWidth - 1, rows + maxKernelHeight - 1};
  const int mask[2] = {maxKernelWidth, maxKernelHeight};
  const float sigmas[2] = {valSquareSigma, posSquareSigma};
  Common::Algorithms::Filters::BilateralFilter filter;
  if (padded.width < 1 || padded.height < 1 ||
      filter.BilateralFilterInit(padded.height, padded.width, mask, sigmas, 1) == -1)
    throw AlgorithmException(Engines::Messages::kBilateralInitFailed);
  const int top = maxKernelHeight / 2, left = maxKernelWidth / 2;
  CVector<std::uint8_t> source(padded.width * padded.height);
  TALVEX_IPP(ippiCopyReplicateBorder_8u_C1R, image, cols, size, source.getdata(), padded.width,
             padded, top, left);
  // The filter writes all but the last A-scan and the last depth sample of the image region; start
  // the output from the bordered input so those keep their original values.
  CVector<std::uint8_t> filtered(padded.width * padded.height, source.getdata());
  if (filter.filterBilateral(source.getdata(), filtered.getdata()) == -1)
    throw AlgorithmException(Engines::Messages::kBilateralFilterFailed);
  TALVEX_IPP(ippiCopy_8u_C1R, filtered.getdata() + top * padded.width + left, padded.width, image,
             cols, size);
}

void CAnteriorSegmentModule::GaussDerivitiveBscan(float* bscan, int numBscans, int numAscans,
                                                  float gaussXsigma, int gaussXsize,
                                                  float gaussYsigma, int gaussYsize) {
  GaussDerivative(bscan, numBscans, numAscans, gaussXsigma, gaussXsize, gaussYsigma, gaussYsize,
                  &Common::Algorithms::Filters::GetGaussDerivKernel1D, "GaussDerivitiveBscan");
}

void CAnteriorSegmentModule::GaussianDerivitiveBscan(float* bscan, int numBscans, int numAscans,
                                                     float gaussXsigma, int gaussXsize,
                                                     float gaussYsigma, int gaussYsize) {
  GaussDerivative(bscan, numBscans, numAscans, gaussXsigma, gaussXsize, gaussYsigma, gaussYsize,
                  &Common::Algorithms::Filters::GetGaussianDerivKernel1D,
                  "GaussianDerivitiveBscan");
}

void CAnteriorSegmentModule::StepFunction(int depthMicron, int depthPixel, float axialResMicron,
                                          float level1, float level2, float level3,
                                          float* stepFunction) {
  if (depthMicron <= 0)
    throw AlgorithmException("StepFunction(): depthMicron must be a positive number.");
  if (!std::isfinite(axialResMicron))
    throw AlgorithmException("StepFunction(): axialResMicron is not a finite number.");
  Common::Algorithms::Filters::CFFT_RToC forward;
  Common::Algorithms::Filters::CFFT_CToC inverse;
  if (forward.FFTInit(depthPixel) == -1)
    throw AlgorithmException("TalvexAlgorithm: CFFT_RToC::FFTInit() failed.");
  if (inverse.FFTInit(depthPixel) == -1)
    throw AlgorithmException("TalvexAlgorithm: CFFT_CToC::FFTInit() failed.");
  const int n = depthPixel, h = n / 2;
  const double dz = static_cast<double>(depthMicron) / n;
  const double dk = 6.2831854820251465 / depthMicron;

  // The ideal step: level1 above the surface, level2 below it, the mean at the step and at the
  // wrap-around sample 0; optionally a reflection peak that the blur turns into height level3.
  const double a1 = std::pow(10.0, level1 / 40.0), a2 = std::pow(10.0, level2 / 40.0);
  const double a3 = std::pow(10.0, level3 / 40.0);
  CVector<float> step(n);
  float* s = step.getdata();
  for (int i = 1; i < h; ++i) s[i] = static_cast<float>(a1);
  for (int i = h + 1; i < n; ++i) s[i] = static_cast<float>(a2);
  s[0] = s[h] = static_cast<float>((a1 + a2) / 2.0);
  const double w = axialResMicron / (2.0 * std::sqrt(std::log(2.0)));
  if (level3 > -100.0f) s[h] = static_cast<float>(s[h] + a3 * 1.7724559 * w / dz);

  // Gaussian transfer function exp(-w^2 k^2 / 4), zero frequency moved to the first entry.
  CVector<float> transfer(n), rotated(n);
  float* g = transfer.getdata();
  for (int i = 0; i < n; ++i) g[i] = static_cast<float>((i - h) * dk);
  TALVEX_IPP(ippsSqr_32f_I, g, n);
  TALVEX_IPP(ippsMulC_32f_I, static_cast<float>(-0.25 * w * w), g, n);
  TALVEX_IPP(ippsExp_32f, g, rotated.getdata(), n);
  const int c = static_cast<int>(n * 0.5 + 0.5);
  for (int i = 0; i < n; ++i) g[i] = rotated.getdata()[(static_cast<long long>(i) + c) % n];

  CVector<Platform::Ipp32fc> spectrum(n);
  Platform::Ipp32fc* S = spectrum.getdata();
  if (forward.FFT(s, S, n) == -1)
    throw AlgorithmException("TalvexAlgorithm: CFFT_RToC::FFT() failed.");
  for (int i = 0; i < n; ++i) {
    const double gain = static_cast<double>(n) * g[i];
    S[i].re = static_cast<float>(S[i].re * gain);
    S[i].im = static_cast<float>(S[i].im * gain);
  }
  if (inverse.FFT(S, n, -1) == -1)
    throw AlgorithmException("TalvexAlgorithm: CFFT_RToC::FFT() failed.");
  for (int i = 0; i < n; ++i)
    stepFunction[i] = static_cast<float>(Detail::WrapToByte(std::log10(S[i].re) * 40.0 + 0.5));
  // The circular convolution wraps the two levels into each other at the ends: restore them.
  const int ends = std::min(5, n);
  for (int i = 0; i < ends; ++i) {
    stepFunction[i] = static_cast<float>(Detail::WrapToByte(level1));
    stepFunction[n - 1 - i] = static_cast<float>(Detail::WrapToByte(level2));
  }
}

void CAnteriorSegmentModule::ImageROI(const float* layer, float** grad, int gheight, int gwidth,
                                      float** roigrad, int rheight, int rwidth, int offset1,
                                      int offset2, int* startidx) {
  const int rows = std::min(gheight, rheight);
  for (int i = 0; i < rows; ++i) {
    const int c = Detail::NearestClamped(layer[i], gwidth - 1);
    const Detail::Band band = Detail::BandAround(c, offset1, offset2, gwidth, rwidth);
    if (band.length < 1) continue;
    std::copy(grad[i] + band.start, grad[i] + band.start + band.length, roigrad[i]);
    startidx[i] = band.start;
  }
}

void CAnteriorSegmentModule::CostImageROI(float* roigrad, int rheight, int rwidth, int which) {
  const int n = rheight * rwidth;
  if (which != 0) TALVEX_IPP(ippsMulC_32f_I, -1.0f, roigrad, n);
  RequireSuccess(Common::Algorithms::Numerics::SigmoidTrans(roigrad, n),
                 "TalvexAlgorithm: SigmoidTrans() failed.");
}

void CAnteriorSegmentModule::DetectLayer(float* image, int height, int width, float xsigma,
                                         int xsize, float ysigma, int ysize, int dir,
                                         int searchWindow, float* layer, bool flipcc) {
  GaussDerivitiveBscan(image, height, width, xsigma, xsize, ysigma, ysize);
  CostImageROI(image, height, width, dir);
  RequireSuccess(Common::Algorithms::Analysis::GraphBasedSegmentation(image, height, width,
                                                                      searchWindow, layer, flipcc),
                 Engines::Messages::kGraphSearchFailed);
}

}  // namespace Talvex::SDOCT::Algorithms

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using Talvex::Common::Algorithms::Filters::BilateralFilter;
using Talvex::Common::Algorithms::Filters::CFFT_CToC;
using Talvex::Common::Algorithms::Filters::CFFT_RToC;
using Talvex::Platform::Ipp32fc;

constexpr double kSpectrumTolerance = 1e-5;  // relative to the signal's magnitude

TEST(FFTObjects, RealForwardThenComplexInverseReturnsTheInputDividedByN) {
  for (int n : {1, 64, 160, 1000}) {  // powers of two and depth-sized lengths
    std::mt19937 rng(n);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> signal(n);
    for (float& v : signal) v = u(rng);
    std::vector<Ipp32fc> spectrum(n);
    CFFT_RToC forward;
    CFFT_CToC inverse;
    ASSERT_EQ(forward.FFTInit(n), 0);
    ASSERT_EQ(inverse.FFTInit(n), 0);
    ASSERT_EQ(forward.FFT(signal.data(), spectrum.data(), n), 0);
    // Bin 1 against its definition (1/n) sum x_t e^(-2 pi i t / n).
    std::complex<double> bin1 = 0;
    for (int t = 0; t < n; ++t) bin1 += double(signal[t]) * std::polar(1.0, -2 * M_PI * t / n);
    if (n > 1) {
      EXPECT_NEAR(spectrum[1].re, bin1.real() / n, kSpectrumTolerance);
      EXPECT_NEAR(spectrum[1].im, bin1.imag() / n, kSpectrumTolerance);
      EXPECT_NEAR(spectrum[n - 1].im, -spectrum[1].im, kSpectrumTolerance);
    }
    ASSERT_EQ(inverse.FFT(spectrum.data(), n, 0), 0);  // direction 0: inverse
    for (int t = 0; t < n; ++t) {
      ASSERT_NEAR(spectrum[t].re, signal[t] / n, kSpectrumTolerance / n) << "n " << n;
      ASSERT_NEAR(spectrum[t].im, 0.0, kSpectrumTolerance / n);
    }
  }
}

TEST(FFTObjects, ComplexForwardIsUnscaledAndMisuseFails) {
  CFFT_CToC fft;
  std::vector<Ipp32fc> impulse(12, Ipp32fc{0, 0});
  EXPECT_EQ(fft.FFT(impulse.data(), 12, 1), -1);  // before FFTInit
  ASSERT_EQ(fft.FFTInit(12), 0);
  impulse[0] = {1, 0};
  ASSERT_EQ(fft.FFT(impulse.data(), 12, 1), 0);
  for (const Ipp32fc& v : impulse) EXPECT_NEAR(v.re, 1.0, 1e-6);
  EXPECT_EQ(fft.FFT(impulse.data(), 8, 1), -1);  // not the initialised length
  EXPECT_EQ(fft.FFTInit(0), -1);
  CFFT_RToC real;
  EXPECT_EQ(real.FFTInit(-4), -1);
}

TEST(BilateralFilterObject, FiltersOnlyTheInteriorAndPreservesEdges) {
  const int width = 100, height = 50;  // width = samples per row, height = rows
  const int mask[2] = {5, 5};
  const float sigmas[2] = {400.0f, 4.0f};
  std::vector<std::uint8_t> src(width * height), dst(width * height, 7);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) src[r * width + c] = c < 50 ? 40 : 200;  // a sharp step
  BilateralFilter filter;
  EXPECT_EQ(filter.filterBilateral(src.data(), dst.data()), -1);  // before init
  ASSERT_EQ(filter.BilateralFilterInit(height, width, mask, sigmas, 1), 0);
  ASSERT_EQ(filter.filterBilateral(src.data(), dst.data()), 0);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      const bool interior = r >= 2 && r < 2 + 45 && c >= 2 && c < 2 + 95;
      // The step is far above the intensity sigma: it stays sharp; flat regions are unchanged.
      ASSERT_EQ(dst[r * width + c], interior ? src[r * width + c] : 7) << r << "," << c;
    }

  std::mt19937 rng(1);
  for (auto& v : src) v = static_cast<std::uint8_t>(100 + rng() % 9);
  ASSERT_EQ(filter.filterBilateral(src.data(), dst.data()), 0);
  double noiseIn = 0, noiseOut = 0;
  for (int r = 2; r < 47; ++r)
    for (int c = 2; c < 97; ++c) {
      noiseIn += std::fabs(src[r * width + c] - 104.0);
      noiseOut += std::fabs(dst[r * width + c] - 104.0);
    }
  EXPECT_LT(noiseOut, 0.6 * noiseIn);  // small-amplitude noise is smoothed
}

}  // namespace

namespace {

// Threads of this process, from the kernel's task list.
int ThreadCount() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(Library, RunsEveryCommonPathWithoutCreatingAThread) {
  using namespace Talvex::Common::Algorithms;
  const int before = ThreadCount();
  std::vector<float> image(64 * 96);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<float>((i * 37) % 101);
  std::vector<float> layer(64), kernel(9), p(3);
  ASSERT_EQ(Filters::GetGaussianDerivKernel1D(1, 2.0f, 9, 3.0f, kernel.data()), 0);
  ASSERT_EQ(Filters::ConvRow2D(image.data(), 64, 96, kernel.data(), 9), 0);
  ASSERT_EQ(Numerics::SigmoidTrans(image.data(), 64 * 96), 0);
  ASSERT_EQ(Analysis::GraphBasedSegmentation(image.data(), 64, 96, 2, layer.data(), false), 0);
  std::vector<float> x(64);
  for (int i = 0; i < 64; ++i) x[i] = static_cast<float>(i);
  ASSERT_EQ(Numerics::polyfit(x.data(), layer.data(), 64, 2, p.data()), 0);
  std::vector<Ipp32fc> spectrum(96);
  CFFT_RToC fft;
  ASSERT_EQ(fft.FFTInit(96), 0);
  ASSERT_EQ(fft.FFT(image.data(), spectrum.data(), 96), 0);
  EXPECT_EQ(ThreadCount(), before);
}

}  // namespace

// Step-template filtering transforms at A-scan depths: forward real transform into the packed
// spectrum (alone and with its expansion to all bins) and the complex inverse, for 512, 640
// (a common working depth that is not a power of two), 1024 and 2048 samples. OpenCV's cv::dft
// computes the same packed real spectrum and the same scaled complex inverse and is timed beside.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "platform/signal/TalvexFft.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

using namespace Talvex::Platform;

std::vector<float> Profile(int n) {
  std::vector<float> x(n);
  for (int j = 0; j < n; ++j) x[j] = (j < n / 2 ? 25.0f : 70.0f) + std::sin(0.37f * j);
  return x;
}

void BM_FftForwardRealToPack(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IppsFFTSpec_R_32f* plan = nullptr;
  if (tvxsFFTInitAllocLength_R_32f(&plan, n, IPP_FFT_DIV_FWD_BY_N, ippAlgHintFast) != 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  const std::vector<float> x = Profile(n);
  std::vector<float> packed(n);
  for (auto _ : state) {
    ippsFFTFwd_RToPack_32f(x.data(), packed.data(), plan, nullptr);
    benchmark::DoNotOptimize(packed.data());
  }
  ippsFFTFree_R_32f(plan);
}

void BM_FftForwardRealFullSpectrum(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IppsFFTSpec_R_32f* plan = nullptr;
  if (tvxsFFTInitAllocLength_R_32f(&plan, n, IPP_FFT_DIV_FWD_BY_N, ippAlgHintFast) != 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  const std::vector<float> x = Profile(n);
  std::vector<float> packed(n);
  std::vector<Ipp32fc> full(n);
  for (auto _ : state) {
    ippsFFTFwd_RToPack_32f(x.data(), packed.data(), plan, nullptr);
    ippsConjPack_32fc(packed.data(), full.data(), n);
    benchmark::DoNotOptimize(full.data());
  }
  ippsFFTFree_R_32f(plan);
}

void BM_FftInverseComplex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IppsFFTSpec_C_32fc* plan = nullptr;
  if (tvxsFFTInitAllocLength_C_32fc(&plan, n, IPP_FFT_DIV_INV_BY_N, ippAlgHintFast) != 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  const std::vector<float> x = Profile(n);
  std::vector<Ipp32fc> spectrum(n), out(n);
  for (int j = 0; j < n; ++j) spectrum[j] = {x[j], 0.5f * x[n - 1 - j]};
  for (auto _ : state) {
    ippsFFTInv_CToC_32fc(spectrum.data(), out.data(), plan, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  ippsFFTFree_C_32fc(plan);
}

BENCHMARK(BM_FftForwardRealToPack)->Arg(512)->Arg(640)->Arg(1024)->Arg(2048);
BENCHMARK(BM_FftForwardRealFullSpectrum)->Arg(512)->Arg(640)->Arg(1024)->Arg(2048);
BENCHMARK(BM_FftInverseComplex)->Arg(512)->Arg(640)->Arg(1024)->Arg(2048);

#ifdef TALVEX_HAVE_OPENCV
// Row transform of a real signal: OpenCV writes the same packed layout (R0, R1, I1, ..., R(N/2)).
void BM_OpenCvForwardRealToPack(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> x = Profile(n), packed(n);
  const cv::Mat src(1, n, CV_32F, x.data());
  cv::Mat dst(1, n, CV_32F, packed.data());
  for (auto _ : state) {
    cv::dft(src, dst, cv::DFT_SCALE);
    benchmark::DoNotOptimize(dst.data);
  }
}

void BM_OpenCvInverseComplex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> x = Profile(n);
  std::vector<float> spectrum(2 * n), out(2 * n);
  for (int j = 0; j < n; ++j) spectrum[2 * j] = x[j], spectrum[2 * j + 1] = 0.5f * x[n - 1 - j];
  const cv::Mat src(1, n, CV_32FC2, spectrum.data());
  cv::Mat dst(1, n, CV_32FC2, out.data());
  for (auto _ : state) {
    cv::dft(src, dst, cv::DFT_INVERSE | cv::DFT_SCALE);
    benchmark::DoNotOptimize(dst.data);
  }
}

BENCHMARK(BM_OpenCvForwardRealToPack)->Arg(512)->Arg(640)->Arg(1024)->Arg(2048);
BENCHMARK(BM_OpenCvInverseComplex)->Arg(512)->Arg(640)->Arg(1024)->Arg(2048);
#endif

}  // namespace

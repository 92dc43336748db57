// B-scan conditioning of the engine base at acquisition sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engines/base/CAnteriorSegmentModule.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;

std::vector<std::uint8_t> RandomBytes(size_t n) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng() & 255);
  return v;
}

// One radial scan: 16 B-scans of 1024 A-scans x 1024 samples, smoothed across and along.
void BM_LateralAndAxialSmoothVolume(benchmark::State& state) {
  const int slices = 16, rows = 1024, cols = 1024;
  const auto original = RandomBytes(size_t(slices) * rows * cols);
  auto volume = original;
  CAnteriorSegmentModule m;
  for (auto _ : state) {
    m.LateralSmooth(volume.data(), slices, rows, cols, 1.0f);
    m.AxialSmooth(volume.data(), slices, rows, cols, 1.0f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LateralAndAxialSmoothVolume)->Unit(benchmark::kMillisecond);

void BM_BilateralFiltering512(benchmark::State& state) {
  const auto original = RandomBytes(512 * 512);
  auto image = original;
  CAnteriorSegmentModule m;
  for (auto _ : state) {
    image = original;
    m.BilateralFiltering(image.data(), 512, 512, 5, 5, 400.0f, 4.0f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BilateralFiltering512)->Unit(benchmark::kMillisecond);

#ifdef TALVEX_HAVE_OPENCV
// Yardstick: OpenCV's bilateral filter of diameter 5 (its spatial weight is radial, ours uses the
// Chebyshev distance, so the work per pixel is the same but the weights differ slightly).
void BM_OpenCvBilateral512(benchmark::State& state) {
  const auto original = RandomBytes(512 * 512);
  cv::Mat src(512, 512, CV_8UC1, const_cast<std::uint8_t*>(original.data())), dst;
  cv::setNumThreads(1);
  for (auto _ : state) {
    cv::bilateralFilter(src, dst, 5, 20.0, 2.0);
    benchmark::DoNotOptimize(dst.data);
  }
}
BENCHMARK(BM_OpenCvBilateral512)->Unit(benchmark::kMillisecond);

void BM_OpenCvGaussianVolume(benchmark::State& state) {
  const int slices = 16, rows = 1024, cols = 1024;
  auto volume = RandomBytes(size_t(slices) * rows * cols);
  cv::setNumThreads(1);
  for (auto _ : state) {
    for (int s = 0; s < slices; ++s) {
      cv::Mat slice(rows, cols, CV_8UC1, volume.data() + size_t(s) * rows * cols);
      cv::GaussianBlur(slice, slice, cv::Size(5, 5), 1.0, 1.0, cv::BORDER_REPLICATE);
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenCvGaussianVolume)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

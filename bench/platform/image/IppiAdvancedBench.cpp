// Rank, morphological, bilateral, resize and correlation primitives at B-scan sizes, with OpenCV's
// counterparts side by side where they compute the same thing (single-threaded).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiAdvanced.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

using namespace Talvex::Platform;

namespace {

// Speckled B-scan-like image: a bright band over a noisy background.
std::vector<Ipp8u> BScan(int w, int h) {
  std::mt19937 rng(42);
  std::vector<Ipp8u> img(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int band = (x > w / 3 && x < w / 2) ? 120 : 20;
      img[y * w + x] = static_cast<Ipp8u>(std::min<unsigned>(255, band + rng() % 100));
    }
  return img;
}

#ifdef TALVEX_HAVE_OPENCV
struct SingleThreadedOpenCv {
  SingleThreadedOpenCv() { cv::setNumThreads(1); }
} const kSingleThreaded;
#endif

void Bilateral(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), k = static_cast<int>(state.range(1));
  const auto src = BScan(n, n);
  std::vector<Ipp8u> dst(src.size());
  int bytes = 0;
  ippiFilterBilateralGetBufSize_8u_C1R(ippiFilterBilateralGauss, {n, n}, {k, k}, &bytes);
  std::vector<Ipp8u> plan(bytes);
  auto* s = reinterpret_cast<IppiFilterBilateralSpec*>(plan.data());
  ippiFilterBilateralInit_8u_C1R(ippiFilterBilateralGauss, {k, k}, 400.0f, 4.0f, 1, s);
  const int off = (k / 2) * n + k / 2;
  for (auto _ : state) {
    ippiFilterBilateral_8u_C1R(src.data() + off, n, dst.data() + off, n, {n - k, n - k}, {k, k}, s);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(Bilateral)->Args({512, 5})->Args({1024, 5})->Args({512, 9})->Args({1024, 9})->Unit(
    benchmark::kMillisecond);

void Median7x7(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto src = BScan(n, n);
  std::vector<Ipp8u> dst(src.size());
  for (auto _ : state) {
    ippiFilterMedian_8u_C1R(src.data() + 3 * n + 3, n, dst.data() + 3 * n + 3, n, {n - 6, n - 6},
                            {7, 7}, {3, 3});
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(Median7x7)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

void FilterMax5x5(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto src = BScan(n, n);
  std::vector<Ipp8u> dst(src.size());
  for (auto _ : state) {
    ippiFilterMax_8u_C1R(src.data() + 2 * n + 2, n, dst.data() + 2 * n + 2, n, {n - 4, n - 4},
                         {5, 5}, {2, 2});
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(FilterMax5x5)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

void Dilate3x3(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto img = BScan(n, n);
  for (auto _ : state) {
    ippiDilate3x3_8u_C1IR(img.data() + n + 1, n, {n - 2, n - 2});
    benchmark::DoNotOptimize(img.data());
  }
}
BENCHMARK(Dilate3x3)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

void Resize8uHalf(benchmark::State& state) {
  const int code = static_cast<int>(state.range(0));
  const auto src = BScan(1024, 1024);
  std::vector<Ipp8u> dst(512 * 512);
  for (auto _ : state) {
    ippiResize_8u_C1R(src.data(), {1024, 1024}, 1024, {0, 0, 1024, 1024}, dst.data(), 512,
                      {512, 512}, 0.5, 0.5, code);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(Resize8uHalf)
    ->Arg(IPPI_INTER_LINEAR)
    ->Arg(IPPI_INTER_CUBIC)
    ->Unit(benchmark::kMicrosecond);

// Downscale by a factor that does not land on whole source positions (1024 -> 700).
void Resize8uFractional(benchmark::State& state) {
  const int code = static_cast<int>(state.range(0));
  const auto src = BScan(1024, 1024);
  std::vector<Ipp8u> dst(700 * 700);
  const double f = static_cast<double>(700.0f / 1024.0f);
  for (auto _ : state) {
    ippiResize_8u_C1R(src.data(), {1024, 1024}, 1024, {0, 0, 1024, 1024}, dst.data(), 700,
                      {700, 700}, f, f, code);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(Resize8uFractional)
    ->Arg(IPPI_INTER_LINEAR)
    ->Arg(IPPI_INTER_CUBIC)
    ->Unit(benchmark::kMicrosecond);

// A 512 A-scan x 64 sample band resampled 15 times along depth.
void Resize32fDepthX15(benchmark::State& state) {
  const int code = static_cast<int>(state.range(0));
  const auto b = BScan(64, 512);
  const std::vector<float> src(b.begin(), b.end());
  std::vector<float> dst(512 * 960);
  for (auto _ : state) {
    ippiResize_32f_C1R(src.data(), {64, 512}, 256, {0, 0, 64, 512}, dst.data(), 960 * 4, {960, 512},
                       15.0, 1.0, code);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(Resize32fDepthX15)
    ->Arg(IPPI_INTER_LINEAR)
    ->Arg(IPPI_INTER_CUBIC)
    ->Unit(benchmark::kMicrosecond);

// 512 A-scans of 512 samples, each against a 100-sample template: one call per A-scan as the
// segmentation does, and one call over the whole B-scan (a 1-row template correlates row by row).
std::vector<float> Template100() {
  std::vector<float> t(100);
  for (int i = 0; i < 100; ++i) t[i] = i < 50 ? 20.0f : 120.0f - i;
  return t;
}

void CorrelationPerAScan(benchmark::State& state) {
  const auto b = BScan(512, 512);
  const std::vector<float> src(b.begin(), b.end());
  const auto t = Template100();
  std::vector<float> dst(src.size());
  for (auto _ : state) {
    for (int r = 0; r < 512; ++r)
      ippiCrossCorrSame_Norm_32f_C1R(src.data() + r * 512, 2048, {512, 1}, t.data(), 400, {100, 1},
                                     dst.data() + r * 512, 2048);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(CorrelationPerAScan)->Unit(benchmark::kMillisecond);

void CorrelationWholeBScan(benchmark::State& state) {
  const auto b = BScan(512, 512);
  const std::vector<float> src(b.begin(), b.end());
  const auto t = Template100();
  std::vector<float> dst(src.size());
  for (auto _ : state) {
    ippiCrossCorrSame_Norm_32f_C1R(src.data(), 2048, {512, 512}, t.data(), 400, {100, 1},
                                   dst.data(), 2048);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(CorrelationWholeBScan)->Unit(benchmark::kMillisecond);

#ifdef TALVEX_HAVE_OPENCV
void CvMedianBlur7(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto src = BScan(n, n);
  cv::Mat s(n, n, CV_8UC1, src.data()), d;
  for (auto _ : state) {
    cv::medianBlur(s, d, 7);
    benchmark::DoNotOptimize(d.data);
  }
}
BENCHMARK(CvMedianBlur7)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

void CvDilate(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), k = static_cast<int>(state.range(1));
  auto src = BScan(n, n);
  cv::Mat s(n, n, CV_8UC1, src.data()), d;
  const cv::Mat element = cv::getStructuringElement(cv::MORPH_RECT, {k, k});
  for (auto _ : state) {
    cv::dilate(s, d, element, {-1, -1}, 1, cv::BORDER_REPLICATE);
    benchmark::DoNotOptimize(d.data);
  }
}
BENCHMARK(CvDilate)->Args({512, 5})->Args({1024, 5})->Args({512, 3})->Args({1024, 3})->Unit(
    benchmark::kMicrosecond);

// OpenCV's resize uses half-pixel centres and another cubic: a reference for speed only.
void CvResizeHalf(benchmark::State& state) {
  const int code = state.range(0) == IPPI_INTER_LINEAR ? cv::INTER_LINEAR : cv::INTER_CUBIC;
  auto src = BScan(1024, 1024);
  cv::Mat s(1024, 1024, CV_8UC1, src.data()), d;
  for (auto _ : state) {
    cv::resize(s, d, {512, 512}, 0, 0, code);
    benchmark::DoNotOptimize(d.data);
  }
}
BENCHMARK(CvResizeHalf)
    ->Arg(IPPI_INTER_LINEAR)
    ->Arg(IPPI_INTER_CUBIC)
    ->Unit(benchmark::kMicrosecond);

void CvResizeFractional(benchmark::State& state) {
  const int code = state.range(0) == IPPI_INTER_LINEAR ? cv::INTER_LINEAR : cv::INTER_CUBIC;
  auto src = BScan(1024, 1024);
  cv::Mat s(1024, 1024, CV_8UC1, src.data()), d;
  for (auto _ : state) {
    cv::resize(s, d, {700, 700}, 0, 0, code);
    benchmark::DoNotOptimize(d.data);
  }
}
BENCHMARK(CvResizeFractional)
    ->Arg(IPPI_INTER_LINEAR)
    ->Arg(IPPI_INTER_CUBIC)
    ->Unit(benchmark::kMicrosecond);

void CvResize32fDepthX15(benchmark::State& state) {
  const int code = state.range(0) == IPPI_INTER_LINEAR ? cv::INTER_LINEAR : cv::INTER_CUBIC;
  const auto b = BScan(64, 512);
  std::vector<float> src(b.begin(), b.end());
  cv::Mat s(512, 64, CV_32FC1, src.data()), d;
  for (auto _ : state) {
    cv::resize(s, d, {960, 512}, 0, 0, code);
    benchmark::DoNotOptimize(d.data);
  }
}
BENCHMARK(CvResize32fDepthX15)
    ->Arg(IPPI_INTER_LINEAR)
    ->Arg(IPPI_INTER_CUBIC)
    ->Unit(benchmark::kMicrosecond);

// Same definition: the zero-padded B-scan matched with TM_CCORR_NORMED gives the same-size map.
void CvMatchTemplateCcorrNormed(benchmark::State& state) {
  const auto b = BScan(512, 512);
  std::vector<float> src(b.begin(), b.end());
  auto t = Template100();
  cv::Mat s(512, 512, CV_32FC1, src.data()), tm(1, 100, CV_32FC1, t.data()), padded, d;
  for (auto _ : state) {
    cv::copyMakeBorder(s, padded, 0, 0, 50, 49, cv::BORDER_CONSTANT, 0);
    cv::matchTemplate(padded, tm, d, cv::TM_CCORR_NORMED);
    benchmark::DoNotOptimize(d.data);
  }
}
BENCHMARK(CvMatchTemplateCcorrNormed)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

// Computer-vision primitives at B-scan sizes, beside OpenCV's functions of the same definition
// (single-threaded, as the library is): exact distance transform, dilation/erosion with a
// replicated border, 8-connected labelling.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/vision/TalvexIppcv.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace Talvex::Platform;

// Thickness-map style image: 255 above a curved posterior surface, 0 on and below it.
std::vector<Ipp8u> SurfaceImage(int n) {
  std::vector<Ipp8u> img(static_cast<size_t>(n) * n, 255);
  for (int y = 0; y < n; ++y) {
    const double t = (y - n / 2.0) / n;
    const int depth = static_cast<int>(n * (0.55 + 0.6 * t * t));
    for (int x = depth; x < n; ++x) img[static_cast<size_t>(y) * n + x] = 0;
  }
  return img;
}

std::vector<Ipp8u> NoiseImage(int n) {
  std::mt19937 rng(1);
  std::vector<Ipp8u> img(static_cast<size_t>(n) * n);
  for (auto& v : img) v = static_cast<Ipp8u>(rng());
  return img;
}

// Scattered discs and specks: a mask with a few hundred regions.
std::vector<Ipp8u> BlobImage(int n) {
  std::mt19937 rng(2);
  std::vector<Ipp8u> img(static_cast<size_t>(n) * n, 0);
  for (int k = 0; k < n / 2; ++k) {
    const int cx = rng() % n, cy = rng() % n, r = 1 + rng() % 12;
    for (int y = std::max(0, cy - r); y < std::min(n, cy + r + 1); ++y)
      for (int x = std::max(0, cx - r); x < std::min(n, cx + r + 1); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) img[size_t(y) * n + x] = 255;
  }
  return img;
}

void BM_TrueDistanceTransform(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto src = SurfaceImage(n);
  std::vector<float> dst(src.size());
  int size = 0;
  ippiTrueDistanceTransformGetBufferSize_8u32f_C1R({n, n}, &size);
  std::vector<Ipp8u> buffer(size);
  for (auto _ : state) {
    ippiTrueDistanceTransform_8u32f_C1R(src.data(), n, dst.data(), n * 4, {n, n}, buffer.data());
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_TrueDistanceTransform)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

template <bool kDilate>
void BM_Morphology(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int rows = static_cast<int>(state.range(1)), cols = static_cast<int>(state.range(2));
  const auto src = NoiseImage(n);
  std::vector<Ipp8u> dst(src.size()), mask(static_cast<size_t>(rows) * cols, 1);
  IppiMorphState* morph = nullptr;
  ippiMorphologyInitAlloc_8u_C1R(n, mask.data(), {cols, rows}, {cols / 2, rows / 2}, &morph);
  for (auto _ : state) {
    if (kDilate)
      ippiDilateBorderReplicate_8u_C1R(src.data(), n, dst.data(), n, {n, n}, ippBorderRepl, morph);
    else
      ippiErodeBorderReplicate_8u_C1R(src.data(), n, dst.data(), n, {n, n}, ippBorderRepl, morph);
    benchmark::DoNotOptimize(dst.data());
  }
  ippiMorphologyFree(morph);
}
BENCHMARK(BM_Morphology<true>)
    ->ArgsProduct({{512, 1024}, {3}, {3}})
    ->Args({512, 1, 15})
    ->Args({1024, 1, 15})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Morphology<false>)
    ->ArgsProduct({{512, 1024}, {3}, {3}})
    ->Args({512, 1, 15})
    ->Args({1024, 1, 15})
    ->Unit(benchmark::kMicrosecond);

void BM_LabelMarkers(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto src = BlobImage(n);
  std::vector<Ipp8u> work(src.size());
  int size = 0, number = 0;
  ippiLabelMarkersGetBufferSize_8u_C1R({n, n}, &size);
  std::vector<Ipp8u> buffer(size);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), src.data(), src.size());
    state.ResumeTiming();
    ippiLabelMarkers_8u_C1IR(work.data(), n, {n, n}, 1, 254, ippiNormInf, &number, buffer.data());
    benchmark::DoNotOptimize(work.data());
  }
  state.counters["regions"] = number;
}
BENCHMARK(BM_LabelMarkers)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

#ifdef TALVEX_HAVE_OPENCV
void BM_OpenCV_DistanceTransform(benchmark::State& state) {
  cv::setNumThreads(1);
  const int n = static_cast<int>(state.range(0));
  auto srcData = SurfaceImage(n);
  const cv::Mat src(n, n, CV_8UC1, srcData.data());
  cv::Mat dst;
  for (auto _ : state) {
    cv::distanceTransform(src, dst, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
    benchmark::DoNotOptimize(dst.data);
  }
}
BENCHMARK(BM_OpenCV_DistanceTransform)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

template <bool kDilate>
void BM_OpenCV_Morphology(benchmark::State& state) {
  cv::setNumThreads(1);
  const int n = static_cast<int>(state.range(0));
  const int rows = static_cast<int>(state.range(1)), cols = static_cast<int>(state.range(2));
  auto srcData = NoiseImage(n);
  const cv::Mat src(n, n, CV_8UC1, srcData.data());
  const cv::Mat kernel = cv::Mat::ones(rows, cols, CV_8UC1);
  cv::Mat dst(n, n, CV_8UC1);
  for (auto _ : state) {
    if (kDilate)
      cv::dilate(src, dst, kernel, cv::Point(cols / 2, rows / 2), 1, cv::BORDER_REPLICATE);
    else
      cv::erode(src, dst, kernel, cv::Point(cols / 2, rows / 2), 1, cv::BORDER_REPLICATE);
    benchmark::DoNotOptimize(dst.data);
  }
}
BENCHMARK(BM_OpenCV_Morphology<true>)
    ->ArgsProduct({{512, 1024}, {3}, {3}})
    ->Args({512, 1, 15})
    ->Args({1024, 1, 15})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenCV_Morphology<false>)
    ->ArgsProduct({{512, 1024}, {3}, {3}})
    ->Args({512, 1, 15})
    ->Args({1024, 1, 15})
    ->Unit(benchmark::kMicrosecond);

void BM_OpenCV_ConnectedComponents(benchmark::State& state) {
  cv::setNumThreads(1);
  const int n = static_cast<int>(state.range(0));
  auto srcData = BlobImage(n);
  const cv::Mat src(n, n, CV_8UC1, srcData.data());
  cv::Mat labels;
  int number = 0;
  for (auto _ : state) {
    number = cv::connectedComponents(src, labels, 8, CV_32S);
    benchmark::DoNotOptimize(labels.data);
  }
  state.counters["regions"] = number - 1;
}
BENCHMARK(BM_OpenCV_ConnectedComponents)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

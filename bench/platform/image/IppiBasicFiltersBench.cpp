// Separable row/column filters and the box filter at B-scan sizes, beside OpenCV where the
// definitions match. The sources are pre-padded images and the filters write the interior region,
// as the smoothing and derivative passes do. OpenCV correlates, so it is given the flipped kernel,
// and it is run on the interior view of the same padded image (its border handling then reads
// the real padding, as ours does). OpenCV runs on one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <type_traits>
#include <vector>

#include "platform/image/TalvexIppiBasic.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace Talvex::Platform;

std::vector<float> Gaussian(int n) {
  std::vector<float> k(n);
  const double sigma = n / 5.0;
  double sum = 0;
  for (int i = 0; i < n; ++i)
    sum += k[i] = float(std::exp(-(i - n / 2) * (i - n / 2) / (2 * sigma * sigma)));
  for (float& v : k) v = float(v / sum);
  return k;
}

// A padded float or byte image of (size + 2 * pad)^2 random pixels.
template <typename T>
std::vector<T> Padded(int size, int pad) {
  std::mt19937 rng(1);
  std::vector<T> v(std::size_t(size + 2 * pad) * (size + 2 * pad));
  for (T& x : v) x = T(rng() % 256);
  return v;
}

enum class Pass { kRow, kColumn };

template <typename T, Pass kPass>
void BM_Talvex(benchmark::State& state) {
  const int size = int(state.range(0)), n = int(state.range(1)), pad = n;
  const std::vector<T> src = Padded<T>(size, pad);
  std::vector<T> dst(std::size_t(size) * size);
  const std::vector<float> k = Gaussian(n);
  const int step = (size + 2 * pad) * int(sizeof(T));
  const T* origin = src.data() + std::size_t(pad) * (size + 2 * pad) + pad;
  for (auto _ : state) {
    IppStatus s;
    if constexpr (std::is_same_v<T, float>) {
      s = kPass == Pass::kRow ? ippiFilterRow_32f_C1R(origin, step, dst.data(), size * 4,
                                                      {size, size}, k.data(), n, n / 2)
                              : ippiFilterColumn_32f_C1R(origin, step, dst.data(), size * 4,
                                                         {size, size}, k.data(), n, n / 2);
    } else {
      s = kPass == Pass::kRow ? ippiFilterRow32f_8u_C1R(origin, step, dst.data(), size,
                                                        {size, size}, k.data(), n, n / 2)
                              : ippiFilterColumn32f_8u_C1R(origin, step, dst.data(), size,
                                                           {size, size}, k.data(), n, n / 2);
    }
    benchmark::DoNotOptimize(s);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * size * size);
}

void BM_TalvexBox(benchmark::State& state) {
  const int size = int(state.range(0)), mw = int(state.range(1)), mh = int(state.range(2));
  std::vector<float> img = Padded<float>(size, 8);
  const int stride = size + 16;
  for (auto _ : state) {
    IppStatus s = ippiFilterBox_32f_C1IR(img.data() + 8 * stride + 8, stride * 4, {size, size},
                                         {mw, mh}, {mw / 2, mh / 2});
    benchmark::DoNotOptimize(s);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * size * size);
}

#define FILTER_ARGS Args({512, 7})->Args({512, 15})->Args({1024, 7})->Args({1024, 15})
#define BOX_ARGS Args({512, 1, 7})->Args({512, 7, 7})->Args({1024, 1, 7})->Args({1024, 7, 7})
BENCHMARK_TEMPLATE(BM_Talvex, float, Pass::kRow)->FILTER_ARGS;
BENCHMARK_TEMPLATE(BM_Talvex, float, Pass::kColumn)->FILTER_ARGS;
BENCHMARK_TEMPLATE(BM_Talvex, Ipp8u, Pass::kRow)->FILTER_ARGS;
BENCHMARK_TEMPLATE(BM_Talvex, Ipp8u, Pass::kColumn)->FILTER_ARGS;
BENCHMARK(BM_TalvexBox)->BOX_ARGS;

#ifdef TALVEX_HAVE_OPENCV
template <typename T, Pass kPass>
void BM_OpenCV(benchmark::State& state) {
  cv::setNumThreads(1);
  const int size = int(state.range(0)), n = int(state.range(1)), pad = n;
  std::vector<T> src = Padded<T>(size, pad);
  const int type = std::is_same_v<T, float> ? CV_32F : CV_8U;
  const cv::Mat padded(size + 2 * pad, size + 2 * pad, type, src.data());
  const cv::Mat roi = padded(cv::Rect(pad, pad, size, size));
  cv::Mat dst(size, size, type);
  std::vector<float> k = Gaussian(n);
  std::reverse(k.begin(), k.end());  // convolution -> correlation
  const cv::Mat kernel(n, 1, CV_32F, k.data()), one = cv::Mat::ones(1, 1, CV_32F);
  for (auto _ : state) {
    if (kPass == Pass::kRow)
      cv::sepFilter2D(roi, dst, type, kernel, one, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    else
      cv::sepFilter2D(roi, dst, type, one, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * size * size);
}

void BM_OpenCVBox(benchmark::State& state) {
  cv::setNumThreads(1);
  const int size = int(state.range(0)), mw = int(state.range(1)), mh = int(state.range(2));
  std::vector<float> img = Padded<float>(size, 8);
  const cv::Mat padded(size + 16, size + 16, CV_32F, img.data());
  const cv::Mat roi = padded(cv::Rect(8, 8, size, size));
  cv::Mat dst(size, size, CV_32F);
  for (auto _ : state) {
    cv::boxFilter(roi, dst, CV_32F, cv::Size(mw, mh), cv::Point(-1, -1), true,
                  cv::BORDER_REPLICATE);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * size * size);
}

BENCHMARK_TEMPLATE(BM_OpenCV, float, Pass::kRow)->FILTER_ARGS;
BENCHMARK_TEMPLATE(BM_OpenCV, float, Pass::kColumn)->FILTER_ARGS;
BENCHMARK_TEMPLATE(BM_OpenCV, Ipp8u, Pass::kRow)->FILTER_ARGS;
BENCHMARK_TEMPLATE(BM_OpenCV, Ipp8u, Pass::kColumn)->FILTER_ARGS;
BENCHMARK(BM_OpenCVBox)->BOX_ARGS;
#endif

}  // namespace

// Signal primitives at B-scan sizes: the running median of a confidence row, the convolution of
// an A-scan profile, the exponential of a cost image, and the per-cell work of the layer tracer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/signal/TalvexIpps.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace Talvex::Platform;

std::vector<float> RandomRow(int n, float lo, float hi, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(lo, hi);
  std::vector<float> v(n);
  for (float& x : v) x = u(rng);
  return v;
}

// ---- Running median over one row (args: row length, mask) ----------------------------------

void BM_FilterMedian_32f_I(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int mask = static_cast<int>(state.range(1));
  const std::vector<float> row = RandomRow(n, -1.0f, 1.0f);
  std::vector<float> work(n);
  for (auto _ : state) {
    work = row;
    ippsFilterMedian_32f_I(work.data(), n, mask);
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FilterMedian_32f_I)->ArgsProduct({{512, 1024, 4096}, {5, 11}});

#ifdef TALVEX_HAVE_OPENCV
// A one-row image with a replicated border: the 5x5 window holds each of the 5 row samples five
// times, so its median is the 1-D median of mask 5 with replicated ends.
void BM_OpenCV_MedianBlurRow5(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> row = RandomRow(n, -1.0f, 1.0f);
  cv::Mat src(1, n, CV_32F, row.data()), dst;
  for (auto _ : state) {
    cv::medianBlur(src, dst, 5);
    benchmark::DoNotOptimize(dst.data);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_OpenCV_MedianBlurRow5)->Arg(512)->Arg(1024)->Arg(4096);
#endif

// ---- Full convolution of a row (args: row length, kernel length) ----------------------------

void BM_Conv_32f(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int k = static_cast<int>(state.range(1));
  const std::vector<float> row = RandomRow(n, 0.0f, 255.0f);
  const std::vector<float> kernel = RandomRow(k, -1.0f, 1.0f, 2);
  std::vector<float> out(n + k - 1);
  for (auto _ : state) {
    ippsConv_32f(row.data(), n, kernel.data(), k, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Conv_32f)->ArgsProduct({{512, 1024}, {5, 87, 171}});

void BM_Conv_64f(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int k = static_cast<int>(state.range(1));
  std::vector<double> row(n), kernel(k), out(n + k - 1);
  for (int i = 0; i < n; ++i) row[i] = std::sin(0.01 * i);
  for (int j = 0; j < k; ++j) kernel[j] = std::cos(3.14159 * (j - k / 2) / (k / 2 + 1)) + 1.0;
  for (auto _ : state) {
    ippsConv_64f(row.data(), n, kernel.data(), k, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Conv_64f)->ArgsProduct({{512, 1024}, {87, 171}});

#ifdef TALVEX_HAVE_OPENCV
// The centre of the full convolution (what the callers keep), computed by OpenCV's correlation
// with the flipped kernel and zero borders. Reference only: it produces n outputs, not n + k - 1.
void BM_OpenCV_Filter2DRowCentre(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int k = static_cast<int>(state.range(1));
  std::vector<float> row = RandomRow(n, 0.0f, 255.0f);
  std::vector<float> kernel = RandomRow(k, -1.0f, 1.0f, 2);
  cv::Mat src(1, n, CV_32F, row.data()), dst, flipped;
  cv::flip(cv::Mat(1, k, CV_32F, kernel.data()), flipped, 1);
  for (auto _ : state) {
    cv::filter2D(src, dst, CV_32F, flipped, cv::Point(-1, -1), 0.0, cv::BORDER_CONSTANT);
    benchmark::DoNotOptimize(dst.data);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_OpenCV_Filter2DRowCentre)->ArgsProduct({{512, 1024}, {5, 87, 171}});
#endif

// ---- Exponential of a cost image (args: side of a square image) ------------------------------

void BM_Exp_32f(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0) * state.range(0));
  const std::vector<float> image = RandomRow(n, -30.0f, 30.0f);
  std::vector<float> out(n);
  for (auto _ : state) {
    ippsExp_32f(image.data(), out.data(), n);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Exp_32f)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

void BM_StdExpLoop(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0) * state.range(0));
  const std::vector<float> image = RandomRow(n, -30.0f, 30.0f);
  std::vector<float> out(n);
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) out[i] = std::exp(image[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdExpLoop)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);

#ifdef TALVEX_HAVE_OPENCV
void BM_OpenCV_Exp(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<float> image = RandomRow(n * n, -30.0f, 30.0f);
  cv::Mat src(n, n, CV_32F, image.data()), dst;
  for (auto _ : state) {
    cv::exp(src, dst);
    benchmark::DoNotOptimize(dst.data);
  }
  state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_OpenCV_Exp)->Arg(512)->Arg(1024)->Unit(benchmark::kMicrosecond);
#endif

// ---- Layer tracer forward pass: AddC + Min per cell, window 2m + 1 (args: side, m) -----------

void BM_TracerForwardPass(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const int m = static_cast<int>(state.range(1));
  const int w = 2 * m + 1;
  const std::vector<float> cost = RandomRow(side * side, 0.0f, 1.0f);
  std::vector<float> acc(side * side), window(w);
  for (auto _ : state) {
    std::fill(acc.begin(), acc.end(), 1e10f);
    for (int c = m; c < side - m; ++c) acc[c] = cost[c];
    for (int r = 1; r < side; ++r) {
      const float* above = acc.data() + (r - 1) * side;
      float* row = acc.data() + r * side;
      const float* costRow = cost.data() + r * side;
      for (int c = m; c < side - m; ++c) {
        ippsAddC_32f(above + c - m, costRow[c], window.data(), w);
        ippsMin_32f(window.data(), w, row + c);
      }
    }
    benchmark::DoNotOptimize(acc.data());
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_TracerForwardPass)->ArgsProduct({{512, 1024}, {2}})->Unit(benchmark::kMicrosecond);

void BM_MinIndx_32f(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> row = RandomRow(n, 0.0f, 1.0f);
  float m = 0.0f;
  int k = 0;
  for (auto _ : state) {
    ippsMinIndx_32f(row.data(), n, &m, &k);
    benchmark::DoNotOptimize(k);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_MinIndx_32f)->Arg(5)->Arg(512)->Arg(1024);

}  // namespace

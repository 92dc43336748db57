// Least-squares QR solves as the surface fits run them (n observations, p unknowns, one
// right-hand side), beside OpenCV's Householder-QR solve.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "platform/matrix/TalvexIppm.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

using namespace Talvex::Platform;

// Raw-power polynomial design matrix on abscissae 0 ... n-1, as polyfit builds it.
template <typename T>
void Problem(int n, int p, std::vector<T>* a, std::vector<T>* b) {
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 1.0);
  a->resize(static_cast<size_t>(n) * p);
  b->resize(n);
  for (int i = 0; i < n; ++i) {
    const double x = i * 0.5;
    double power = 1.0;
    for (int j = p - 1; j >= 0; --j, power *= x) (*a)[i * p + j] = static_cast<T>(power);
    (*b)[i] = static_cast<T>(0.001 * x * x - 0.7 * x + 3.0 + noise(rng));
  }
}

template <typename T>
void BM_QRSolve(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), p = static_cast<int>(state.range(1));
  std::vector<T> a, b, qr(static_cast<size_t>(n) * p), scratch(n), x(p);
  Problem(n, p, &a, &b);
  const int s = static_cast<int>(sizeof(T));
  for (auto _ : state) {
    if constexpr (sizeof(T) == 8) {
      ippmQRDecomp_m_64f(a.data(), p * s, s, scratch.data(), qr.data(), p * s, s, p, n);
      ippmQRBackSubst_mva_64f(qr.data(), p * s, s, scratch.data(), b.data(), n * s, s, x.data(),
                              p * s, s, p, n, 1);
    } else {
      ippmQRDecomp_m_32f(a.data(), p * s, s, scratch.data(), qr.data(), p * s, s, p, n);
      ippmQRBackSubst_mva_32f(qr.data(), p * s, s, scratch.data(), b.data(), n * s, s, x.data(),
                              p * s, s, p, n, 1);
    }
    benchmark::DoNotOptimize(x.data());
  }
}
BENCHMARK(BM_QRSolve<double>)->Args({1000, 3})->Args({1000, 6})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QRSolve<float>)->Args({1000, 3})->Args({1000, 6})->Unit(benchmark::kMicrosecond);

#ifdef TALVEX_HAVE_OPENCV
template <typename T>
void BM_OpenCV_QRSolve(benchmark::State& state) {
  cv::setNumThreads(1);
  const int n = static_cast<int>(state.range(0)), p = static_cast<int>(state.range(1));
  std::vector<T> a, b;
  Problem(n, p, &a, &b);
  const int type = sizeof(T) == 8 ? CV_64F : CV_32F;
  const cv::Mat ma(n, p, type, a.data()), mb(n, 1, type, b.data());
  cv::Mat x;
  for (auto _ : state) {
    cv::solve(ma, mb, x, cv::DECOMP_QR);
    benchmark::DoNotOptimize(x.data);
  }
}
BENCHMARK(BM_OpenCV_QRSolve<double>)
    ->Args({1000, 3})
    ->Args({1000, 6})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenCV_QRSolve<float>)
    ->Args({1000, 3})
    ->Args({1000, 6})
    ->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

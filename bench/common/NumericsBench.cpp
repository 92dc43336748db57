// Timing of the numerics used on every B-scan and every map: smoothing a segmented layer with
// the cut-off B-spline, resampling it with the cubic spline, the Zernike fit of a radial-scan
// thickness map, the Gaussian fit of a specular-reflection profile and the simplex fit of the
// angle segmentation's flexible sigmoid.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/numerics/BSpline.h"
#include "common/numerics/GaussFit.h"
#include "common/numerics/Optimisers.h"
#include "common/numerics/Splines.h"
#include "common/numerics/ZernikeFit.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

constexpr double kPi = 3.14159265358979;

// A noisy anterior-surface-like layer (depth in pixels) over n A-scans.
template <typename T>
std::vector<T> Layer(int n) {
  std::mt19937 rng(4);
  std::normal_distribution<double> noise(0.0, 1.5);
  std::vector<T> y(n);
  for (int i = 0; i < n; ++i) {
    const double t = (i - n / 2.0) / (n / 2.0);
    y[i] = static_cast<T>(200 + 120 * t * t + noise(rng));
  }
  return y;
}

// Fit and evaluation at every A-scan of a 1024-point layer; arg = cut-off in % of the span.
template <typename T>
void BM_SmoothingSpline(benchmark::State& state) {
  const int n = 1024;
  const float wl = static_cast<float>(state.range(0)) / 100.0f * n;
  std::vector<T> x(n), out(n);
  for (int i = 0; i < n; ++i) x[i] = static_cast<T>(i);
  const std::vector<T> y = Layer<T>(n);
  for (auto _ : state) {
    BSpline<T> spline(x.data(), n, y.data(), wl, 2, 0);
    if (!spline.ok()) state.SkipWithError("spline refused");
    for (int i = 0; i < n; ++i) out[i] = spline.evaluate(x[i]);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK_TEMPLATE(BM_SmoothingSpline, float)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_SmoothingSpline, double)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

// Resampling a 1024-point layer to 1024 positions.
void BM_CubicSpline(benchmark::State& state) {
  const int n = 1024;
  std::vector<float> x(n), xi(n), out(n);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i);
    xi[i] = i * 1023.0f / 1024.0f;
  }
  const std::vector<float> y = Layer<float>(n);
  for (auto _ : state) {
    if (cspline(x.data(), y.data(), n, xi.data(), out.data(), n) != 0)
      state.SkipWithError("cspline failed");
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_CubicSpline)->Unit(benchmark::kMicrosecond);

// Zernike fit of order 8 (45 terms) to 16 meridians of 1024 thickness samples.
void BM_ZernikeFit(benchmark::State& state) {
  const int meridians = 16, steps = 1024, n = meridians * steps, order = 8;
  const int terms = CZernikeFit::zernike_term_count(order);
  std::vector<double> r(n), th(n), z(n), basis(size_t(n) * terms), coef(terms), work(n);
  for (int b = 0; b < meridians; ++b)
    for (int k = 0; k < steps; ++k) {
      const int i = b * steps + k;
      const double signedRadius = -4000 + 8000.0 * k / (steps - 1);
      r[i] = std::fabs(signedRadius);
      th[i] = b * kPi / meridians + (signedRadius < 0 ? kPi : 0);
      z[i] = 540 + 2e-5 * r[i] * r[i] + 10 * std::cos(th[i]);
    }
  for (auto _ : state) {
    if (CZernikeFit::zernike_fit(r.data(), th.data(), z.data(), n, 4000, order, basis.data(),
                                 coef.data(), terms, work.data()) != 0)
      state.SkipWithError("zernike_fit failed");
    benchmark::DoNotOptimize(work.data());
  }
}
BENCHMARK(BM_ZernikeFit)->Unit(benchmark::kMillisecond);

// Specular-reflection profile: 1024 samples normalised to sum 1, automatic start.
void BM_GaussFit(benchmark::State& state) {
  const int n = 1024;
  std::vector<float> x(n), y(n);
  std::mt19937 rng(8);
  std::normal_distribution<float> noise(0.0f, 2e-5f);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i);
    y[i] =
        std::exp(-0.5f * std::pow((i - 530.0f) / 18.0f, 2.0f)) / (18.0f * 2.5066283f) + noise(rng);
  }
  for (auto _ : state) {
    float a = 0, c = 0, s = 0;
    if (CGaussFit::gaussfit(x.data(), y.data(), n, &a, &c, &s) != 0)
      state.SkipWithError("gaussfit failed");
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_GaussFit)->Unit(benchmark::kMicrosecond);

// The angle segmentation's surface model: p0 + (-D - p0) / (1 + p1 exp(-(x - p3) p2))^(1 / p4),
// D the image depth; FlexSigmoid returns the Euclidean norm of the residuals over the n samples
// of data (n abscissae, then n ordinates), D = param[0].
double SigmoidModel(const double* p, double x, double D) {
  return p[0] + (-D - p[0]) / std::pow(1 + p[1] * std::exp(-(x - p[3]) * p[2]), 1 / p[4]);
}

double FlexSigmoid(double* p, int, double* data, int, int n, double* param, int) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const double r = data[n + i] - SigmoidModel(p, data[i], param[0]);
    sum += r * r;
  }
  return std::sqrt(sum);
}

// Five-parameter sigmoid fit to a 200-sample anterior-surface profile (millimetres) from the
// start (1, 1, 1, 1, 1) with the angle segmentation's settings: tolerances 1e-5, 1000
// evaluations, 1000 iterations. Reports the residual norm of the fit.
void BM_FminsearchFlexSigmoid(benchmark::State& state) {
  const int n = 200;
  double depth[] = {3.0};
  const double truth[] = {1.6, 2.0, 1.2, 5.0, 0.8};
  std::vector<double> data(2 * n);
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 0.01);
  for (int i = 0; i < n; ++i) {
    data[i] = i * 12.0 / n;
    data[n + i] = SigmoidModel(truth, data[i], depth[0]) + noise(rng);
  }
  double residual = 0.0;
  for (auto _ : state) {
    double p[5] = {1, 1, 1, 1, 1};
    fminsearch(p, 5, data.data(), 2, n, depth, 1, FlexSigmoid, 0.00001f, 0.00001f, 1000, 1000);
    residual = FlexSigmoid(p, 5, data.data(), 2, n, depth, 1);
    benchmark::DoNotOptimize(p);
  }
  state.counters["residual_mm"] = residual;
}
BENCHMARK(BM_FminsearchFlexSigmoid)->Unit(benchmark::kMicrosecond);

}  // namespace

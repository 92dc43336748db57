// Math-kernel services at the sizes the engines use them:
//   - the cubic spline filling a segmented boundary across a B-scan (512 or 1024 valid A-scans
//     interpolated onto 1024 A-scans), full task sequence per call;
//   - the sparse solve of the thickness-map grid fit: the upper triangle of I + LᵀL on a g x g
//     node grid (L the 5-point Laplacian, 13 entries per full row), g = 32 and 64;
//   - the dense solve of the Zernike normal equations, 300 x 300 (order 23). OpenCV's cv::solve
//     with DECOMP_LU is the same LU with partial pivoting and is timed beside it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

using namespace Talvex::Platform;

void BM_CsplineLayer(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int m = 1024;
  std::vector<float> x(n), y(n), xi(m), yi(m);
  for (int i = 0; i < n; ++i) {
    x[i] = static_cast<float>(i) * (m - 1) / (n - 1);
    y[i] = 300.0f + 40.0f * std::sin(0.004f * x[i]) + 0.3f * static_cast<float>(i % 7);
  }
  for (int j = 0; j < m; ++j) xi[j] = static_cast<float>(j);
  std::vector<float> coeff(4 * static_cast<std::size_t>(n) + 96);
  const MKL_INT dorder[] = {1};
  for (auto _ : state) {
    DFTaskPtr task = nullptr;
    dfsNewTask1D(&task, n, x.data(), DF_NON_UNIFORM_PARTITION, 1, y.data(), DF_NO_HINT);
    dfsEditPPSpline1D(task, DF_PP_CUBIC, DF_PP_BESSEL, DF_BC_NOT_A_KNOT, nullptr, DF_NO_IC, nullptr,
                      coeff.data(), DF_NO_HINT);
    dfsConstruct1D(task, DF_PP_SPLINE, DF_METHOD_STD);
    dfsInterpolate1D(task, DF_INTERP, DF_METHOD_PP, m, xi.data(), DF_SORTED_DATA, 1, dorder,
                     nullptr, yi.data(), DF_MATRIX_STORAGE_ROWS, nullptr);
    dfDeleteTask(&task);
    benchmark::DoNotOptimize(yi.data());
  }
}
BENCHMARK(BM_CsplineLayer)->Arg(512)->Arg(1024);

struct UpperCsr {
  std::vector<MKL_INT> rowIndex, columns;
  std::vector<double> values;
};

// Upper triangle of I + LᵀL for the 5-point Laplacian L on a g x g grid, one-based rows.
UpperCsr GridNormalMatrix(int g) {
  const int n = g * g;
  std::vector<std::map<int, double>> lap(n);
  for (int ix = 0; ix < g; ++ix) {
    for (int iy = 0; iy < g; ++iy) {
      const int r = ix * g + iy;
      lap[r][r] = 4.0;
      if (ix > 0) lap[r][r - g] = -1.0;
      if (ix + 1 < g) lap[r][r + g] = -1.0;
      if (iy > 0) lap[r][r - 1] = -1.0;
      if (iy + 1 < g) lap[r][r + 1] = -1.0;
    }
  }
  std::vector<std::map<int, double>> normal(n);
  for (int r = 0; r < n; ++r) normal[r][r] += 1.0;
  for (int k = 0; k < n; ++k) {  // LᵀL = sum over rows k of L of the outer product of row k
    for (const auto& [i, a] : lap[k]) {
      for (const auto& [j, b] : lap[k]) {
        if (j >= i) normal[i][j] += a * b;
      }
    }
  }
  UpperCsr csr;
  csr.rowIndex.push_back(1);
  for (int r = 0; r < n; ++r) {
    for (const auto& [c, v] : normal[r]) {
      csr.columns.push_back(c + 1);
      csr.values.push_back(v);
    }
    csr.rowIndex.push_back(static_cast<MKL_INT>(csr.values.size()) + 1);
  }
  return csr;
}

void BM_SparseSolveGridFit(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  const MKL_INT n = g * g;
  const UpperCsr a = GridNormalMatrix(g);
  const MKL_INT nnz = static_cast<MKL_INT>(a.values.size());
  std::vector<double> rhs(n), solution(n);
  for (MKL_INT i = 0; i < n; ++i) rhs[i] = std::sin(0.01 * i);
  const MKL_INT defaults = MKL_DSS_DEFAULTS, sym = MKL_DSS_SYMMETRIC;
  const MKL_INT indefinite = MKL_DSS_INDEFINITE, one = 1;
  for (auto _ : state) {
    MKL_DSS_HANDLE h = nullptr;
    dss_create_(&h, &defaults);
    dss_define_structure_(&h, &sym, a.rowIndex.data(), &n, &n, a.columns.data(), &nnz);
    dss_reorder_(&h, &defaults, nullptr);
    if (dss_factor_real_(&h, &indefinite, a.values.data()) != 0) state.SkipWithError("factor");
    dss_solve_real_(&h, &defaults, rhs.data(), &one, solution.data());
    dss_delete_(&h, &defaults);
    benchmark::DoNotOptimize(solution.data());
  }
}
BENCHMARK(BM_SparseSolveGridFit)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

// A well-conditioned symmetric T x T system like the Zernike normal equations (column-major).
std::vector<double> NormalMatrix(int t) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> v(-1.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(t) * t);
  for (int i = 0; i < t; ++i) {
    for (int j = 0; j <= i; ++j) a[i * t + j] = a[j * t + i] = v(rng) + (i == j ? t : 0.0);
  }
  return a;
}

void BM_DenseSolveZernike(benchmark::State& state) {
  const MKL_INT t = static_cast<MKL_INT>(state.range(0)), nrhs = 1;
  const std::vector<double> a0 = NormalMatrix(t);
  std::vector<double> a(a0.size()), b(t);
  std::vector<MKL_INT> ipiv(t);
  MKL_INT info = 0;
  for (auto _ : state) {
    a = a0;
    for (MKL_INT i = 0; i < t; ++i) b[i] = 1.0 + i;
    dgesv(&t, &nrhs, a.data(), &t, ipiv.data(), b.data(), &t, &info);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_DenseSolveZernike)->Arg(300)->Unit(benchmark::kMillisecond);

#ifdef TALVEX_HAVE_OPENCV
void BM_DenseSolveZernike_OpenCV(benchmark::State& state) {
  const int t = static_cast<int>(state.range(0));
  const std::vector<double> a0 = NormalMatrix(t);
  cv::Mat a(t, t, CV_64F), b(t, 1, CV_64F), x;
  for (auto _ : state) {
    std::copy(a0.begin(), a0.end(), a.ptr<double>());
    for (int i = 0; i < t; ++i) b.at<double>(i) = 1.0 + i;
    cv::solve(a, b, x, cv::DECOMP_LU);
    benchmark::DoNotOptimize(x.data);
  }
}
BENCHMARK(BM_DenseSolveZernike_OpenCV)->Arg(300)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

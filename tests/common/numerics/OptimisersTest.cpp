#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/numerics/Optimisers.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

double Rosenbrock(const double* x, int n) {
  double f = 0.0;
  for (int j = 0; j + 1 < n; ++j) {
    f += 100.0 * (x[j + 1] - x[j] * x[j]) * (x[j + 1] - x[j] * x[j]) + (1 - x[j]) * (1 - x[j]);
  }
  return f;
}

// Minimum on the line x0 + x1 = 3: every point of it is a minimiser.
double FlatValley(const double* x) { return (x[0] + x[1] - 3.0) * (x[0] + x[1] - 3.0); }

// (x0 - 3)² + 2 (x1 + 1)² + (x2 - 0.5)², minimised over [0, 2] x [0, 5] x [-1, 1]: the bounds
// x0 = 2 and x1 = 0 are active, x2 = 0.5 is interior. The simplex sees the box as a penalty.
constexpr double kLower[] = {0.0, 0.0, -1.0}, kUpper[] = {2.0, 5.0, 1.0};
double BoxedQuadratic(const double* x) {
  double f = 0.0, c[3];
  for (int j = 0; j < 3; ++j) {
    c[j] = std::clamp(x[j], kLower[j], kUpper[j]);
    f += (x[j] - c[j]) * (x[j] - c[j]);
  }
  return f + (c[0] - 3) * (c[0] - 3) + 2 * (c[1] + 1) * (c[1] + 1) + (c[2] - 0.5) * (c[2] - 0.5);
}

// The test functions: 0 Rosenbrock, 1 flat valley, 2 bounded quadratic, 3 a staircase on a bowl
// (makes the simplex shrink), 4 a sphere around (1, -2) lifted by 0.005.
double Function(int kind, const double* x, int n) {
  if (kind == 0) return Rosenbrock(x, n);
  if (kind == 1) return FlatValley(x);
  if (kind == 2) return BoxedQuadratic(x);
  if (kind == 3)
    return std::floor(4 * x[0]) + 0.5 * std::floor(4 * x[1]) + x[0] * x[0] + x[1] * x[1];
  return 0.005 + (x[0] - 1) * (x[0] - 1) + (x[1] + 2) * (x[1] + 2);
}

// Simplex objective; data2[0] selects the function and data2[1] counts evaluations.
double Simplex(double* p, int n, double*, int, int, double* data2, int) {
  data2[1] += 1;
  return Function(static_cast<int>(data2[0]), p, n);
}

// A plain Nelder-Mead written from its textbook definition, the vertices physically sorted: the
// oracle for the exact sequence of steps (coefficients, branch order, tie rule, shrink).
std::vector<double> ReferenceNelderMead(std::vector<double> x, int iterations, double* data2) {
  const int n = static_cast<int>(x.size());
  auto f = [&](std::vector<double> p) { return Simplex(p.data(), n, nullptr, 0, 0, data2, 0); };
  std::vector<std::pair<double, std::vector<double>>> s;
  for (int k = 0; k <= n; ++k) {
    std::vector<double> v = x;
    if (k > 0) v[k - 1] = v[k - 1] != 0 ? v[k - 1] * 1.05f : 0.00025f;
    s.emplace_back(f(v), v);
  }
  auto byValue = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::stable_sort(s.begin(), s.end(), byValue);
  for (int it = 1; it < iterations; ++it) {
    std::vector<double> c(n, 0.0);
    for (int j = 0; j < n; ++j) {
      for (int k = 0; k < n; ++k) c[j] += s[k].second[j];
      c[j] /= n;
    }
    auto along = [&](double t) {  // c + t (c - worst)
      std::vector<double> p(n);
      for (int j = 0; j < n; ++j) p[j] = (1 + t) * c[j] - t * s[n].second[j];
      return p;
    };
    const std::vector<double> r = along(1), e = along(2), oc = along(0.5), ic = along(-0.5);
    const double fr = f(r), fw = s[n].first;
    bool shrink = false;
    if (fr < s[0].first) {
      const double fe = f(e);
      s[n] = fe < fr ? std::make_pair(fe, e) : std::make_pair(fr, r);
    } else if (fr < s[n - 1].first) {
      s[n] = {fr, r};
    } else if (fr < fw) {
      const double fc = f(oc);
      fc <= fr ? void(s[n] = {fc, oc}) : void(shrink = true);
    } else {
      const double fc = f(ic);
      fc < fw ? void(s[n] = {fc, ic}) : void(shrink = true);
    }
    for (int k = 1; shrink && k <= n; ++k) {
      for (int j = 0; j < n; ++j)
        s[k].second[j] = s[0].second[j] + 0.5 * (s[k].second[j] - s[0].second[j]);
      s[k].first = f(s[k].second);
    }
    std::stable_sort(s.begin(), s.end(), byValue);
  }
  return s[0].second;
}

TEST(Fminsearch, FollowsTheTextbookSimplexStepByStep) {
  const std::vector<std::vector<double>> starts = {
      {-1.2, 1.0}, {-1.2, 1.0, 0.0, 2.0, -0.5, 1.5}, {5.0, -4.0}, {3.0, 3.0, 0.0}, {1.0, -1.0}};
  const double kinds[] = {0, 0, 1, 2, 3};
  for (std::size_t c = 0; c < starts.size(); ++c) {
    for (int iterations : {2, 7, 60}) {
      double mine[2] = {kinds[c], 0}, ref[2] = {kinds[c], 0};
      std::vector<double> x = starts[c];
      fminsearch(x.data(), static_cast<int>(x.size()), nullptr, 0, 0, mine, 0, Simplex, 0.0f, 0.0f,
                 100000, iterations);
      EXPECT_EQ(x, ReferenceNelderMead(starts[c], iterations, ref)) << c << " " << iterations;
      EXPECT_EQ(mine[1], ref[1]) << "evaluations, case " << c;
    }
  }
}

TEST(Fminsearch, ReachesKnownMinimaOfRosenbrockAFlatValleyAndABoundedQuadratic) {
  for (int n : {2, 6}) {
    std::vector<double> x(n, -1.0);
    double data2[2] = {0, 0};
    fminsearch(x.data(), n, nullptr, 0, 0, data2, 0, Simplex, 1e-10f, 1e-12f, 100000, 100000);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(x[j], 1.0, 1e-4) << n << " " << j;
  }
  double valley[] = {5.0, -4.0}, data2[2] = {1, 0};
  fminsearch(valley, 2, nullptr, 0, 0, data2, 0, Simplex, 1e-8f, 1e-12f, 10000, 10000);
  EXPECT_NEAR(valley[0] + valley[1], 3.0, 1e-5);
  double box[] = {1.0, 1.0, 0.0};
  data2[0] = 2;
  fminsearch(box, 3, nullptr, 0, 0, data2, 0, Simplex, 1e-8f, 1e-12f, 10000, 10000);
  EXPECT_NEAR(box[0], 2.0, 1e-5);
  EXPECT_NEAR(box[1], 0.0, 1e-5);
  EXPECT_NEAR(box[2], 0.5, 1e-5);
}

// Records every evaluated point into data1 (n values each) and counts them in data2[0]; checks
// that the pass-through arguments arrive unchanged.
double Recorder(double* p, int n, double* data1, int n1, int n2, double* data2, int n3) {
  EXPECT_EQ(n1, 11);
  EXPECT_EQ(n2, 22);
  EXPECT_EQ(n3, 33);
  const int k = static_cast<int>(data2[0]++);
  if (k < 8) std::copy(p, p + n, data1 + k * n);
  return -p[1];  // the vertex that stretches coordinate 1 is best
}

TEST(Fminsearch, InitialSimplexStretchesEachCoordinateAndMovesZerosOff) {
  double x[] = {2.0, 4.0, 0.0}, log[24] = {}, count[1] = {0};
  fminsearch(x, 3, log, 11, 22, count, 33, Recorder, 1e-5f, 1e-5f, 1000, 1);
  ASSERT_EQ(count[0], 4);  // MaxIter 1: the initial simplex only
  const double expected[4][3] = {{2.0, 4.0, 0.0},
                                 {2.0 * 1.05f, 4.0, 0.0},
                                 {2.0, 4.0 * 1.05f, 0.0},
                                 {2.0, 4.0, static_cast<double>(0.00025f)}};
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ(log[3 * k + j], expected[k][j]) << k << " " << j;
  }
  for (int j = 0; j < 3; ++j) EXPECT_EQ(x[j], expected[2][j]);
}

TEST(Fminsearch, StopsOnlyWhenBothValuesAndVerticesAreWithinTolerance) {
  // One tolerance loose, the other tight: the tight one decides where the search ends.
  const float tolerances[2][2] = {{1e3f, 1e-10f}, {1e-5f, 1e3f}};  // {TolX, TolFun}
  for (const auto& tol : tolerances) {
    double x[] = {1.0, 1.0, 0.0}, data2[2] = {2, 0};
    fminsearch(x, 3, nullptr, 0, 0, data2, 0, Simplex, tol[0], tol[1], 100000, 100000);
    EXPECT_LT(data2[1], 2000) << tol[0];  // stopped by the tolerances, far from the limits
    EXPECT_NEAR(x[0], 2.0, 1e-3) << tol[0];
    EXPECT_NEAR(x[2], 0.5, 1e-3) << tol[0];
  }
}

TEST(Fminsearch, RefusesMoreThanAHundredVariablesAndBoundsItsEvaluations) {
  std::vector<double> x(101, 0.5), data2 = {0, 0};
  fminsearch(x.data(), 101, nullptr, 0, 0, data2.data(), 0, Simplex, 0, 0, 1000, 1000);
  EXPECT_EQ(data2[1], 0);
  EXPECT_EQ(x, std::vector<double>(101, 0.5));
  fminsearch(x.data(), 100, nullptr, 0, 0, data2.data(), 0, Simplex, 0, 0, 1000, 1000);
  EXPECT_GE(data2[1], 1000);
  EXPECT_LE(data2[1], 1000 + 100 + 1);  // a started step may finish
  EXPECT_LT(Rosenbrock(x.data(), 100), Rosenbrock(std::vector<double>(100, 0.5).data(), 100));
}

// Quasi-Newton objective; the Problem record is the data pointer.
struct Problem {
  int kind = 0;                // the test function
  std::vector<double> values;  // every objective value computed, in order
};

void Objective(int* m, int* n, double* x, double* f, void* data) {
  auto* problem = static_cast<Problem*>(data);
  f[0] = Function(problem->kind, x, *n);
  for (int i = 1; i < *m; ++i) f[i] = 1e3 * x[0] * i;  // extra values the solver must ignore
  problem->values.push_back(f[0]);
}

struct Box {
  std::vector<double> l, u;
  std::vector<long> nbd;
  explicit Box(int n, long type = 0) : l(n, -10.0), u(n, 10.0), nbd(n, type) {}
};

int Solve(std::vector<double>& x, Problem& p, const Box& b, long m = 1, double eps = 1e-6,
          double ftol = 0.0, int maxIter = 100000, double factr = 1e7) {
  return lbfgssolver(x.data(), static_cast<long>(x.size()), m, const_cast<double*>(b.l.data()),
                     const_cast<double*>(b.u.data()), const_cast<long*>(b.nbd.data()), &p,
                     Objective, eps, factr, 1e-5, ftol, maxIter);
}

TEST(Lbfgssolver, ReachesKnownMinimaOfRosenbrockAFlatValleyAndABoundedQuadratic) {
  for (int n : {2, 6}) {
    std::vector<double> x(n, -1.0);
    Problem p;
    EXPECT_EQ(Solve(x, p, Box(n), 1, 1e-6, 0.0, 100000, 10.0), kLbfgsConverged) << n;
    for (int j = 0; j < n; ++j) EXPECT_NEAR(x[j], 1.0, 1e-3) << n << " " << j;
  }
  std::vector<double> valley = {5.0, -4.0};
  Problem flat;
  flat.kind = 1;
  EXPECT_EQ(Solve(valley, flat, Box(2, 2)), kLbfgsConverged);
  EXPECT_NEAR(valley[0] + valley[1], 3.0, 1e-4);

  std::vector<double> x = {1.0, 1.0, 0.0};
  Box box(3, 2);
  for (int j = 0; j < 3; ++j) box.l[j] = kLower[j], box.u[j] = kUpper[j];
  Problem quadratic;
  quadratic.kind = 2;
  for (long m : {1, 3}) {  // with m = 3 the objective also writes two values to ignore
    x = {1.0, 1.0, 0.0};
    EXPECT_EQ(Solve(x, quadratic, box, m), kLbfgsConverged) << m;
    EXPECT_EQ(x[0], 2.0);  // active bounds are met exactly
    EXPECT_EQ(x[1], 0.0);
    EXPECT_NEAR(x[2], 0.5, 1e-5);
  }
}

TEST(Lbfgssolver, IterationLimitIsASuccessWithTheLastIterate) {
  std::vector<double> x = {-1.2, 1.0};
  Problem p;
  EXPECT_EQ(Solve(x, p, Box(2), 1, 1e-6, 0.0, 1), kLbfgsIterationLimit);
  EXPECT_LT(Rosenbrock(x.data(), 2), p.values.front());  // moved downhill from the start
  // x is the last point the solver evaluated (the 4 evaluations after it are the gradient's)
  EXPECT_EQ(Rosenbrock(x.data(), 2), p.values[p.values.size() - 5]);
  // (x0 - 1)² + (x1 + 2)² from (4, 3): the first iterate is the unit step down the gradient.
  std::vector<double> q = {4.0, 3.0};
  Problem sphere;
  sphere.kind = 4;
  EXPECT_EQ(Solve(q, sphere, Box(2), 1, 1e-6, 0.0, 1), kLbfgsIterationLimit);
  const double norm = std::hypot(3.0, 5.0);
  EXPECT_NEAR(q[0], 4.0 - 3.0 / norm, 1e-9);
  EXPECT_NEAR(q[1], 3.0 - 5.0 / norm, 1e-9);
  std::vector<double> y = {-1.2, 1.0};
  EXPECT_EQ(Solve(y, p, Box(2), 1, 1e-6, 0.0, 5), kLbfgsIterationLimit);
  EXPECT_LT(Rosenbrock(y.data(), 2), Rosenbrock(x.data(), 2));
}

TEST(Lbfgssolver, StopsWhenOneEvaluationChangesTheValueByLessThanFtol) {
  std::vector<double> x = {1.05, -2.0};
  Problem p;
  p.kind = 4;  // 0.005 + 0.0025 at the start: within 0.01 of the initial reference 0
  testing::internal::CaptureStdout();
  EXPECT_EQ(Solve(x, p, Box(2), 1, 1e-6, 0.01), kLbfgsConverged);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(p.values.size(), 1u);
  EXPECT_EQ(x, std::vector<double>({1.05, -2.0}));
}

TEST(Lbfgssolver, PrintsEveryAcceptedObjectiveValue) {
  std::vector<double> x = {4.0, 3.0};
  Problem p;
  p.kind = 4;
  testing::internal::CaptureStdout();
  ASSERT_EQ(Solve(x, p, Box(2), 1, 1e-6, 1e-9), kLbfgsConverged);
  const std::string printed = testing::internal::GetCapturedStdout();
  // Evaluations: the solver's own (each followed by the 4 of its central-difference gradient)
  // and the last one, which ended the run and is not printed.
  std::string expected;
  char line[64];
  for (std::size_t k = 0; k + 1 < p.values.size(); k += 5) {
    std::snprintf(line, sizeof line, "%fl\n", p.values[k]);
    expected += line;
  }
  ASSERT_GT(p.values.size(), 5u);
  EXPECT_EQ(printed, expected);
  EXPECT_NEAR(x[0], 1.0, 1e-4);
  EXPECT_NEAR(x[1], -2.0, 1e-4);
}

TEST(Lbfgssolver, FailsOnABadGradientStepAnInfeasibleBoxOrBadSizes) {
  std::vector<double> x = {0.5, 0.5};
  Problem p;
  EXPECT_EQ(Solve(x, p, Box(2), 1, 0.0), kLbfgsFailed);  // the Jacobian service refuses step 0
  Box infeasible(2, 2);
  infeasible.l[1] = 11.0;
  EXPECT_EQ(Solve(x, p, infeasible), kLbfgsFailed);
  Box badType(2, 4);
  EXPECT_EQ(Solve(x, p, badType), kLbfgsFailed);
  EXPECT_EQ(Solve(x, p, Box(2), 0), kLbfgsFailed);
  EXPECT_EQ(Solve(x, p, Box(2), 101), kLbfgsFailed);
  std::vector<double> none;
  EXPECT_EQ(Solve(none, p, Box(0)), kLbfgsFailed);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>

#include "platform/math_kernel/TalvexMkl.h"

using namespace Talvex::Platform;

namespace {

// f0 = x0² x1 + sin(x2) + c,  f1 = exp(x0) - x1 x2  (c passed through the data pointer).
void Objective(int* m, int* n, double* x, double* f, void* data) {
  ASSERT_EQ(*m, 2);
  ASSERT_EQ(*n, 3);
  f[0] = x[0] * x[0] * x[1] + std::sin(x[2]) + *static_cast<double*>(data);
  f[1] = std::exp(x[0]) - x[1] * x[2];
}

}  // namespace

TEST(FiniteDifferenceJacobian, MatchesTheAnalyticJacobianInColumnMajorOrder) {
  double x[] = {0.7, -1.3, 2.1};
  double c = 10.0;
  int n = 3, m = 2;
  double eps = 1e-6;
  double fjac[6];
  ASSERT_EQ(djacobix(Objective, &n, &m, fjac, x, &eps, &c), TR_SUCCESS);
  const double expected[6] = {2 * x[0] * x[1], std::exp(x[0]),  // d/dx0
                              x[0] * x[0],     -x[2],           // d/dx1
                              std::cos(x[2]),  -x[1]};          // d/dx2
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(fjac[k], expected[k], 1e-6) << k;
  EXPECT_EQ(x[0], 0.7);
  EXPECT_EQ(x[1], -1.3);
  EXPECT_EQ(x[2], 2.1);
}

TEST(FiniteDifferenceJacobian, RejectsBadArguments) {
  double x[] = {0.0, 0.0, 0.0};
  double c = 0.0, fjac[6];
  int n = 3, m = 2, zero = 0;
  double eps = 1e-6, badEps = 0.0;
  EXPECT_EQ(djacobix(Objective, &zero, &m, fjac, x, &eps, &c), TR_INVALID_OPTION);
  EXPECT_EQ(djacobix(Objective, &n, &m, fjac, x, &badEps, &c), TR_INVALID_OPTION);
  EXPECT_EQ(djacobix(nullptr, &n, &m, fjac, x, &eps, &c), TR_INVALID_OPTION);
}

namespace {

// q(x) = sum_j a_j x_j^2 + b_j x_j: a central difference of a quadratic is exact whatever the step,
// so with a large step a one-sided difference (error a_j * eps) or a wrong scaling shows at once.
void Quadratic(int* m, int* n, double* x, double* f, void*) {
  static constexpr double a[] = {3.0, -0.5, 2.0, 1.25}, b[] = {-1.0, 4.0, 0.5, -2.0};
  f[0] = 0.0;
  for (int j = 0; j < *n; ++j) f[0] += a[j] * x[j] * x[j] + b[j] * x[j];
  *m = -1;  // a careless callback: the next call must still see the true sizes
  *n = -1;
}

}  // namespace

TEST(FiniteDifferenceJacobian, GradientOfAQuadraticIsExactForALargeStep) {
  double x[] = {1.5, -2.0, 0.25, 3.0};
  int n = 4, m = 1;
  double eps = 0.5, grad[4];
  ASSERT_EQ(djacobix(Quadratic, &n, &m, grad, x, &eps, nullptr), TR_SUCCESS);
  const double expected[] = {2 * 3.0 * 1.5 - 1.0, 2 * -0.5 * -2.0 + 4.0, 2 * 2.0 * 0.25 + 0.5,
                             2 * 1.25 * 3.0 - 2.0};
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(grad[j], expected[j], 1e-12) << j;
}

TEST(ThreadCount, StaysAValidCountWhateverIsSet) {
  const int saved = MKL_Get_Max_Threads();
  for (int nt : {0, -3}) {
    MKL_Set_Num_Threads(nt);
    EXPECT_EQ(MKL_Get_Max_Threads(), saved) << nt;
  }
  EXPECT_GE(saved, 1);
}

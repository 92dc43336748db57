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

TEST(ThreadCount, StoresAndReturnsTheCountIgnoringValuesBelowOne) {
  const int saved = MKL_Get_Max_Threads();
  EXPECT_GE(saved, 1);
  MKL_Set_Num_Threads(4);
  EXPECT_EQ(MKL_Get_Max_Threads(), 4);
  MKL_Set_Num_Threads(0);
  EXPECT_EQ(MKL_Get_Max_Threads(), 4);
  MKL_Set_Num_Threads(saved);
  EXPECT_EQ(MKL_Get_Max_Threads(), saved);
}

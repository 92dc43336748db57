#include <dirent.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/math_kernel/TalvexMkl.h"
#include "platform/solvers/TalvexLbfgsb.h"

using namespace Talvex::Platform;

namespace {

// f(x) = (x0 - 3)² + 2 (x1 + 1)², whose unconstrained minimum (3, -1) lies outside the box.
void Quadratic(int*, int*, double* x, double* f, void*) {
  f[0] = (x[0] - 3.0) * (x[0] - 3.0) + 2.0 * (x[1] + 1.0) * (x[1] + 1.0);
}

int ThreadsOfThisProcess() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* e = readdir(dir)) count += e->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

struct Problem {
  int n = 2, m = 5, iprint = -1;
  std::vector<double> x{0.5, 2.0}, l{0.0, -5.0}, u{2.0, 5.0}, g = std::vector<double>(2);
  std::vector<int> nbd{2, 2}, iwa = std::vector<int>(3 * 2);
  std::vector<double> wa = std::vector<double>((2 * 5 + 5) * 2 + 11 * 25 + 8 * 5);
  double f = 0.0, factr = 1e7, pgtol = 1e-8;
  LbfgsbState state;
  int Step(int task) {
    setulb(&n, &m, x.data(), l.data(), u.data(), nbd.data(), &f, g.data(), &factr, &pgtol,
           wa.data(), iwa.data(), &task, &iprint, &state);
    return task;
  }
  // The driver's answer to a function-and-gradient request: f and the finite-difference gradient.
  void Evaluate() {
    int one = 1;
    double eps = 1e-6;
    Quadratic(&one, &n, x.data(), &f, nullptr);
    ASSERT_EQ(djacobix(Quadratic, &n, &one, g.data(), x.data(), &eps, nullptr), TR_SUCCESS);
  }
};

}  // namespace

TEST(LbfgsbBinding, SolvesABoundedQuadraticThroughIntegerTaskCodes) {
  const int threadsBefore = ThreadsOfThisProcess();
  Problem p;
  std::vector<int> codes;
  int task = LBFGSB_START;
  for (int step = 0; step < 200; ++step) {
    task = p.Step(task);
    codes.push_back(task);
    if (LbfgsbIsFg(task)) {
      p.Evaluate();
    } else if (task != LBFGSB_NEW_X) {
      break;
    }
  }
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes.front(), LBFGSB_FG_START);
  EXPECT_TRUE(codes.back() == LBFGSB_CONV_GRAD || codes.back() == LBFGSB_CONV_F) << codes.back();
  for (std::size_t k = 1; k + 1 < codes.size(); ++k) {
    EXPECT_TRUE(codes[k] == LBFGSB_FG_LNSRCH || codes[k] == LBFGSB_NEW_X) << codes[k];
  }
  EXPECT_NEAR(p.x[0], 2.0, 1e-9);  // on the upper bound
  EXPECT_NEAR(p.x[1], -1.0, 1e-4);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
}

TEST(LbfgsbBinding, StopsOnRequestAndReportsInputErrorsAsCodes) {
  Problem p;
  int task = p.Step(LBFGSB_START);
  while (task != LBFGSB_NEW_X) {
    ASSERT_TRUE(LbfgsbIsFg(task)) << task;
    p.Evaluate();
    task = p.Step(task);
  }
  const std::vector<double> iterate = p.x;  // the driver's iteration limit: x keeps the iterate
  EXPECT_EQ(p.Step(LBFGSB_STOP), LBFGSB_STOP);
  EXPECT_EQ(p.x, iterate);

  Problem badNbd;
  badNbd.nbd[1] = 5;
  EXPECT_EQ(badNbd.Step(LBFGSB_START), LBFGSB_ERROR_NBD);
  Problem infeasible;
  infeasible.l[0] = 3.0;
  EXPECT_EQ(infeasible.Step(LBFGSB_START), LBFGSB_ERROR_FEAS);
  Problem noVariables;
  noVariables.n = 0;
  EXPECT_EQ(noVariables.Step(LBFGSB_START), LBFGSB_ERROR_N0);
  Problem notAnEntryCode;
  EXPECT_EQ(notAnEntryCode.Step(LBFGSB_CONV_GRAD), LBFGSB_ERROR);
}
